// Figures of the walks through the simulated client: what one user can reach over a whole volume
// and over a whole tree (the reverse query), and a subtree audit of each, the whole volume or tree
// scanned with everything below it. The volume has 10,000 directories with 100,000 trustee
// assignments, the tree 100,000 objects with 1,000 groups and nested containers (both made by
// the tree generator that trovalen-tree generate runs); each is also measured at half size, to
// show what a doubling costs. Each figure is the median of five runs; the peak memory is the
// process's.
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

TFigure Measure(TWorld& world, TScanRequest request, int runs) {
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
    std::vector<double> times;
    TFigure figure;
    for (int i = 0; i < runs; ++i) {
        TQuietHost host;
        TScanResult result;
        auto start = Clock::now();
        TScanRun(request, host).Run(result);
        times.push_back(Seconds(start));
        figure.Entries = result.Entries.size();
        figure.Walked = static_cast<size_t>(result.EntriesTotal);
        figure.Lines = 0;
        for (const auto& line : result.Summary)
            if (U_StartsWith(line.Text, "Effective Trustee:") ||
                U_StartsWith(line.Text, "Effective Rights:"))
                ++figure.Lines;
        figure.Complete = U_ScanComplete(result);
    }
    if (std::getenv("REACH_BENCH_RUNS") != nullptr) {
        for (double t : times)
            std::fprintf(stderr, " %.2f", t);
        std::fprintf(stderr, "\n");
    }
    std::sort(times.begin(), times.end());
    figure.Median = times[times.size() / 2];
    return figure;
}

std::string gOnly;
uint32_t gEqualShare = 5;

bool Wanted(const std::string& figure) {
    return gOnly.empty() || gOnly == figure;
}

void Print(const char* what, const TFigure& f) {
    std::printf("  %-30s %7.2f s  %6zu entries walked, %6zu listed, %8zu trustee lines, "
                "peak so far %5.0f MiB%s\n",
                what, f.Median, f.Walked, f.Entries, f.Lines, PeakMiB(),
                f.Complete ? "" : " (incomplete)");
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

    for (double size : {scale / 2, scale}) {
        {
            TWorld volume;
            auto start = Clock::now();
            if (!Serve(VolumeOptions(size), volume))
                return 1;
            std::printf("volume of %u directories, about %zu trustee assignments (generated and "
                        "loaded in %.1f s); the user %s:\n",
                        VolumeOptions(size).Dirs, volume.Assignments, Seconds(start),
                        volume.User.c_str());
            TScanRequest reach;
            reach.Entries.Add("\\\\GEN-FS1\\SYS");
            reach.Trustee = volume.User;
            if (Wanted("volume-reach"))
                Print("reverse query, one user", Measure(volume, reach, runs));
            TScanRequest audit;
            audit.Entries.Add("\\\\GEN-FS1\\SYS");
            audit.Recursive = true;
            audit.KeepRecords = false;
            if (Wanted("volume-audit"))
                Print("subtree audit (summary)", Measure(volume, audit, runs));
            audit.KeepRecords = true;
            if (Wanted("volume-records"))
                Print("subtree audit (records, json)", Measure(volume, audit, runs));
            audit.KeepRecords = false;
            audit.ChangesOnly = true;
            if (Wanted("volume-changes"))
                Print("subtree audit, changes only", Measure(volume, audit, runs));
        }
        {
            TWorld tree;
            auto start = Clock::now();
            if (!Serve(TreeOptions(size), tree))
                return 1;
            std::printf("tree of %zu objects, %u groups (generated and loaded in %.1f s); the "
                        "user %s:\n",
                        tree.Objects, TreeOptions(size).Groups, Seconds(start), tree.User.c_str());
            TScanRequest reach;
            reach.Edir = true;
            reach.Entries.Add(".Gen");
            reach.Trustee = tree.User;
            if (Wanted("tree-reach"))
                Print("reverse query, one user", Measure(tree, reach, runs));
            TScanRequest audit;
            audit.Edir = true;
            audit.Entries.Add(".Gen");
            audit.Recursive = true;
            audit.KeepRecords = false;
            if (Wanted("tree-audit"))
                Print("subtree audit (summary)", Measure(tree, audit, runs));
            audit.KeepRecords = true;
            if (Wanted("tree-records"))
                Print("subtree audit (records, json)", Measure(tree, audit, runs));
            audit.KeepRecords = false;
            audit.ChangesOnly = true;
            if (Wanted("tree-changes"))
                Print("subtree audit, changes only", Measure(tree, audit, runs));
        }
        std::printf("peak memory so far: %.0f MiB\n\n", PeakMiB());
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
