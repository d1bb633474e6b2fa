// Figures of the walks through the simulated client: what one user can reach over a whole volume
// and over a whole tree (the reverse query), and a subtree audit of each, the whole volume or tree
// scanned with everything below it. The volume has 10,000 directories with 100,000 trustee
// assignments, the tree 100,000 objects with 1,000 groups and nested containers (both made by
// the tree generator that trovalen-tree generate runs); each is also measured at half size, to
// show what a doubling costs. Each figure is the median of five runs, the runs of the two sizes
// taken in turn; the peak memory of an audit that keeps its records is measured in a process of
// its own, which loads only the world it walks.
//
// Usage: reach_bench [--runs N] [--scale F] [--only FIGURE] [--equal-share P]
//   F scales both sizes (default 1); FIGURE: volume-reach, volume-audit, volume-records,
//   volume-changes, tree-reach, tree-audit, tree-records or tree-changes (default: all), for
//   profiling one of them; P: the share of users in groups (default 5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "GeneratedUser.h"
#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/TreeGenerate.h"
#include "directory/DSContext.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

// A generated world served by the simulated client, with a context at the top of its tree.
struct TWorld {
    std::shared_ptr<TSimClient> Client;
    NWHandle Primary = NO_PRIMARY_CONN;
    NWHandle Context = 0;
    size_t Objects = 0;
    size_t Directories = 0;
    size_t Assignments = 0;
    std::string User; // the user the reverse queries ask for
};

// A user that is security equal to two groups, in a unit of the deepest level: the one whose
// rights come the most ways.
bool Serve(const convert::TGenerateOptions& options, TWorld& world) {
    std::string json = convert::GenerateTreeJson(options);
    world.Objects = static_cast<size_t>(U_CountOf(json, "\"class\":"));
    // Every directory trustee's rights start with R; so do the masks of some directories.
    world.Assignments =
        static_cast<size_t>(U_CountOf(json, "\": \"R") - U_CountOf(json, "\"irm\": \"R"));
    world.User = bench::QueriedUser(json);
    std::string error;
    auto loaded = sim::LoadTreeText(json, "generated", error);
    if (!loaded) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    world.Client = std::make_shared<TSimClient>(loaded);
    if (InitNetWare(world.Client.get(), world.Primary) != 0)
        return false;
    world.Client->NewContext(world.Context);
    U_DSChangeCurrentTreeAndContext(world.Client.get(), world.Context,
                                    U_GetPrimaryTree(world.Client.get()), "[Root]");
    U_DSSetContextFlags(world.Client.get(), world.Context, '+', DCV_TYPELESS_NAMES);
    return true;
}

struct TFigure {
    double Median = 0;
    size_t Entries = 0; // listed
    size_t Walked = 0;  // reached
    size_t Lines = 0;   // trustee lines of the listed entries
    bool Complete = false;
};

// A host as trovalen-scan's: it shows no progress text of the analysis.
class TQuietHost : public TScanHost {
public:
    bool ShowsStatusText() const override { return false; }
};

// The request as trovalen-scan sends it for world.
TScanRequest ForWorld(const TWorld& world, TScanRequest request) {
    request.Client = world.Client.get();
    request.ConnHandle = world.Primary;
    request.ScanContext = world.Context;
    request.UserContext = world.Context;
    request.BrowseContext = world.Context;
    request.CurrentTree = U_GetPrimaryTree(world.Client.get());
    request.VariantName = "Trovalen";
    // As trovalen-scan runs it without --details; the records are kept only when the request
    // asks (--format json keeps them, the printed summary does not).
    request.KeepDetails = false;
    return request;
}

// One run of request; the figure's counts are the run's.
double RunOnce(const TScanRequest& request, TFigure& figure) {
    TQuietHost host;
    TScanResult result;
    auto start = Clock::now();
    TScanRun(request, host).Run(result);
    const double seconds = Seconds(start);
    figure.Entries = result.Entries.size();
    figure.Walked = static_cast<size_t>(result.EntriesTotal);
    figure.Lines = 0;
    for (const auto& line : result.Summary)
        if (U_StartsWith(line.Text, "Effective Trustee:") ||
            U_StartsWith(line.Text, "Effective Rights:"))
            ++figure.Lines;
    figure.Complete = U_ScanComplete(result);
    return seconds;
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void PrintRuns(const char* size, const std::vector<double>& times) {
    if (std::getenv("REACH_BENCH_RUNS") == nullptr)
        return;
    std::fprintf(stderr, "    %s:", size);
    for (double t : times)
        std::fprintf(stderr, " %.2f", t);
    std::fprintf(stderr, "\n");
}

// The request over both sizes, a run of the half size and one of the full size in turn, so that
// a machine that slows down or speeds up during the benchmark weighs on both alike.
// request: what is asked of a world.
template <class TRequestFor>
std::pair<TFigure, TFigure> Measure(const TWorld& half, const TWorld& full, TRequestFor request,
                                    int runs) {
    const TScanRequest halfRequest = ForWorld(half, request(half));
    const TScanRequest fullRequest = ForWorld(full, request(full));
    std::pair<TFigure, TFigure> figures;
    std::vector<double> halfTimes, fullTimes;
    for (int i = 0; i < runs; ++i) {
        halfTimes.push_back(RunOnce(halfRequest, figures.first));
        fullTimes.push_back(RunOnce(fullRequest, figures.second));
    }
    PrintRuns("half", halfTimes);
    PrintRuns("full", fullTimes);
    figures.first.Median = Median(halfTimes);
    figures.second.Median = Median(fullTimes);
    return figures;
}

std::string gOnly;
uint32_t gEqualShare = 5;

bool Wanted(const std::string& figure) {
    return gOnly.empty() || gOnly == figure;
}

void Print(const char* what, const std::pair<TFigure, TFigure>& figures) {
    const TFigure& f = figures.second;
    std::printf("  %-30s %7.2f s  (half size %5.2f s: %4.2f times)  %6zu entries walked, %6zu "
                "listed, %8zu trustee lines (%4.2f times)%s\n",
                what, f.Median, figures.first.Median, f.Median / figures.first.Median, f.Walked,
                f.Entries, f.Lines,
                static_cast<double>(f.Lines) /
                    static_cast<double>(std::max<size_t>(1, figures.first.Lines)),
                f.Complete && figures.first.Complete ? "" : " (incomplete)");
}

// The peak memory of one run of request over a world made with options, in a child process in
// which nothing else was loaded or run before (as trovalen-scan runs it), in MiB; -1 when the
// run could not be made.
double PeakAlone(const convert::TGenerateOptions& options, const TScanRequest& request) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        double peak = -1;
        TWorld world;
        if (Serve(options, world)) {
            TFigure ignored;
            RunOnce(ForWorld(world, request), ignored);
            peak = PeakMiB();
        }
        const ssize_t written = write(fds[1], &peak, sizeof peak);
        _exit(written == sizeof peak ? 0 : 1);
    }
    close(fds[1]);
    double peak = -1;
    if (pid < 0 || read(fds[0], &peak, sizeof peak) != sizeof peak)
        peak = -1;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    return peak;
}

// The volume: 10,000 directories, ten trustees each, of a tree of 2,000 users in 1,000 groups.
convert::TGenerateOptions VolumeOptions(double scale) {
    convert::TGenerateOptions o;
    o.Users = static_cast<uint32_t>(2000 * scale);
    o.Groups = static_cast<uint32_t>(1000 * scale);
    o.Depth = 3;
    o.Fanout = 4;
    o.Dirs = static_cast<uint32_t>(10000 * scale);
    o.Trustees = 10;
    return o;
}

// The tree: 100,000 objects, 1,000 groups, units four levels deep.
convert::TGenerateOptions TreeOptions(double scale) {
    convert::TGenerateOptions o;
    o.Groups = static_cast<uint32_t>(1000 * scale);
    o.Depth = 4;
    o.Fanout = 6;
    o.Dirs = 0;
    o.Trustees = 0;
    const uint32_t units = 6 + 36 + 216 + 1296;
    o.Users = static_cast<uint32_t>(100000 * scale) - o.Groups - units - 5;
    o.EqualShare = gEqualShare;
    return o;
}

TScanRequest KeepingRecords(TScanRequest request) {
    request.KeepRecords = true;
    return request;
}

// The four figures of a world at both sizes: what its user reaches, then the audit with the
// summary, with the records and with the changes only. kind: "volume" or "tree".
void MeasureAll(const std::string& kind, const TWorld& half, const TWorld& full,
                const TScanRequest& audit, int runs) {
    // The audits ask every world the same.
    auto same = [](const TScanRequest& request) {
        return [request](const TWorld&) { return request; };
    };
    if (Wanted(kind + "-reach")) {
        auto reaching = [&audit](const TWorld& world) {
            TScanRequest request = audit;
            request.Recursive = false;
            request.Trustee = world.User;
            return request;
        };
        Print("reverse query, one user", Measure(half, full, reaching, runs));
    }
    if (Wanted(kind + "-audit"))
        Print("subtree audit (summary)", Measure(half, full, same(audit), runs));
    if (Wanted(kind + "-records"))
        Print("subtree audit (records, json)",
              Measure(half, full, same(KeepingRecords(audit)), runs));
    if (Wanted(kind + "-changes")) {
        TScanRequest changes = audit;
        changes.ChangesOnly = true;
        Print("subtree audit, changes only", Measure(half, full, same(changes), runs));
    }
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    double scale = 1.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--scale")
            scale = std::max(0.01, std::atof(argv[i + 1]));
        else if (a == "--only")
            gOnly = argv[i + 1];
        else if (a == "--equal-share")
            gEqualShare = static_cast<uint32_t>(std::clamp(std::atoi(argv[i + 1]), 0, 100));
    }
    std::string scratch = std::filesystem::temp_directory_path() /
                          ("trovalen-reachbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch + "/mnt");
    setenv("TROVALEN_MOUNT", (scratch + "/mnt").c_str(), 1);
    std::printf("reach_bench: simulated client, median of %d runs\n", runs);

    // The requests, as trovalen-scan sends them.
    TScanRequest volumeAudit;
    volumeAudit.Entries.Add("\\\\GEN-FS1\\SYS");
    volumeAudit.Recursive = true;
    TScanRequest treeAudit;
    treeAudit.Edir = true;
    treeAudit.Entries.Add(".Gen");
    treeAudit.Recursive = true;

    // The peaks first, each in a process of its own, before this one has loaded anything.
    if (Wanted("volume-records"))
        std::printf("peak memory of the volume's subtree audit with records, run alone: %.0f MiB\n",
                    PeakAlone(VolumeOptions(scale), KeepingRecords(volumeAudit)));
    if (Wanted("tree-records"))
        std::printf("peak memory of the tree's subtree audit with records, run alone: %.0f MiB\n",
                    PeakAlone(TreeOptions(scale), KeepingRecords(treeAudit)));

    {
        TWorld half, full;
        auto start = Clock::now();
        if (!Serve(VolumeOptions(scale / 2), half) || !Serve(VolumeOptions(scale), full))
            return 1;
        std::printf("volume of %u directories, about %zu trustee assignments, and of %u with %zu "
                    "(generated and loaded in %.1f s); the users %s and %s:\n",
                    VolumeOptions(scale).Dirs, full.Assignments, VolumeOptions(scale / 2).Dirs,
                    half.Assignments, Seconds(start), full.User.c_str(), half.User.c_str());
        MeasureAll("volume", half, full, volumeAudit, runs);
    }
    {
        TWorld half, full;
        auto start = Clock::now();
        if (!Serve(TreeOptions(scale / 2), half) || !Serve(TreeOptions(scale), full))
            return 1;
        std::printf("tree of %zu objects, %u groups, and of %zu with %u (generated and loaded in "
                    "%.1f s); the users %s and %s:\n",
                    full.Objects, TreeOptions(scale).Groups, half.Objects,
                    TreeOptions(scale / 2).Groups, Seconds(start), full.User.c_str(),
                    half.User.c_str());
        MeasureAll("tree", half, full, treeAudit, runs);
    }
    std::printf("peak memory of this process, both sizes loaded: %.0f MiB\n", PeakMiB());
    std::filesystem::remove_all(scratch);
    return 0;
}
