// Figures of scans where one trustee stands for many: for each N, a generated tree with a group
// of N security-equal members and a unit of N residents, each of them also a trustee of its own
// on SYS:PROJ and on Target.Gen. Prints, per N, the file-system scan of SYS:PROJ, the eDirectory
// scan of Target.Gen with and without resolve-containers, the time of a bare enumeration of the
// same trustees through the client (one security-equivalence search and one class read per
// trustee) and each scan's ratio to it, and the peak memory of the size's run. The machine may
// be shared: the processor seconds of each scan follow, which others' work inflates less.
//
// Each size runs in a process of its own, so that no size finds a heap that an earlier one grew
// and its peak memory is its own; each scan and the enumeration run --repeat times and the median
// is shown, the first run paying for the memory the later ones find ready.
//
//   trustee_bench [--repeat K] [N ...]     (default K 5; N 12500 25000 50000 100000)
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

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/TreeGenerate.h"
#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/EffectiveTrustees.h"
#include "rights/ScanRun.h"
#include "util/Platform.h"
#include "util/Util.h"

using namespace trovalen;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kDefaultSizes[] = {12500, 25000, 50000, 100000};
constexpr uint32_t kMaxSize = 2000000;
constexpr int kMaxRepeat = 99;
constexpr char kDirectory[] = "\\\\GEN-FS1\\SYS\\PROJ";
constexpr char kObject[] = ".Target.Gen";

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuSeconds() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double PeakMiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

struct TScanFigure {
    double Seconds = 0;
    double Cpu = 0;
    int SummaryLines = 0;
};

// The medians of one size, handed from its process to the parent for the doubling table.
struct TSizeFigures {
    uint32_t N = 0;
    double FileSystem = 0, Edir = 0, Resolved = 0, Bare = 0;
};

// The run of median time among repeated runs (the upper middle one of an even count).
TScanFigure Median(std::vector<TScanFigure> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const TScanFigure& a, const TScanFigure& b) { return a.Seconds < b.Seconds; });
    return runs[runs.size() / 2];
}

TScanFigure Scan(TSimClient& client, NWHandle primary, NWHandle ctx, bool edir, bool resolve,
                 const std::string& entry) {
    TScanRequest request;
    request.Client = &client;
    request.ConnHandle = primary;
    request.ScanContext = ctx;
    request.UserContext = ctx;
    request.BrowseContext = ctx;
    request.Edir = edir;
    request.ResolveContainers = resolve;
    request.VariantName = "Trovalen";
    request.Entries.Add(entry);
    TScanHost host;
    TScanResult result;
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    TScanRun(request, host).Run(result);
    return {Seconds(start), CpuSeconds() - cpu, result.Summary.Count()};
}

// What a scan cannot do without: for every trustee it reports, one search for those security
// equal to it and one read of its class.
TScanFigure BareEnumeration(TSimClient& client, NWHandle ctx,
                            const std::vector<std::string>& names) {
    auto start = Clock::now();
    const double cpu = CpuSeconds();
    size_t found = 0;
    for (const auto& name : names) {
        TStringList equal;
        U_DSSearchEqual(&client, ctx, "[Root]", "Security Equals", name, equal, DS_SEARCH_SUBTREE);
        std::string className;
        U_DSGetBaseClass(&client, ctx, name, className);
        found += static_cast<size_t>(equal.Count()) + className.size();
    }
    if (found == 0)
        std::fprintf(stderr, "the bare enumeration found nothing\n");
    return {Seconds(start), CpuSeconds() - cpu, static_cast<int>(names.size())};
}

bool RunSize(uint32_t n, int repeat, TSizeFigures& figures) {
    convert::TGenerateOptions options;
    options.Users = 0;
    options.Groups = 1;
    options.Depth = 0;
    options.Dirs = 0;
    options.Trustees = 0;
    options.Members = n;
    options.Residents = n;
    options.AssignEach = true;
    auto start = Clock::now();
    std::string error;
    auto world = sim::LoadTreeText(convert::GenerateTreeJson(options), "generated", error);
    if (!world) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    auto client = std::make_shared<TSimClient>(world);
    NWHandle primary = NO_PRIMARY_CONN;
    if (InitNetWare(client.get(), primary) != 0) {
        std::fprintf(stderr, "the client did not start\n");
        return false;
    }
    const double load = Seconds(start);
    NWHandle ctx = 0;
    client->NewContext(ctx);
    U_DSChangeCurrentTreeAndContext(client.get(), ctx, U_GetPrimaryTree(client.get()), "[Root]");
    U_DSSetContextFlags(client.get(), ctx, '+', DCV_TYPELESS_NAMES);

    std::vector<TScanFigure> fsRuns, edirRuns, resolveRuns;
    for (int i = 0; i < repeat; ++i) {
        fsRuns.push_back(Scan(*client, primary, ctx, false, false, kDirectory));
        edirRuns.push_back(Scan(*client, primary, ctx, true, false, kObject));
        resolveRuns.push_back(Scan(*client, primary, ctx, true, true, kObject));
    }
    const TScanFigure fs = Median(fsRuns);
    const TScanFigure edir = Median(edirRuns);
    const TScanFigure resolve = Median(resolveRuns);

    // The trustees of the widest scan, as the analysis names them.
    TStringList trustees;
    U_EffectiveTrustees(client.get(), ctx, kObject, 0, nullptr, trustees, nullptr,
                        ET_EDIRECTORY | ET_RESOLVE_CONTAINERS);
    std::vector<std::string> names;
    for (const auto& t : trustees) {
        std::string name = U_TailOf(t.Text, "] ", true);
        names.push_back(U_HeadOf(name, " / ", true));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<TScanFigure> bareRuns;
    for (int i = 0; i < repeat; ++i)
        bareRuns.push_back(BareEnumeration(*client, ctx, names));
    const double bare = Median(bareRuns).Seconds;

    figures = {n, fs.Seconds, edir.Seconds, resolve.Seconds, bare};
    std::printf(
        "%8u %9.2f %11.3f %6.1fx %11.3f %6.1fx %14.3f %6.1fx %10.3f %9zu %9.0f   %5.2f %5.2f "
        "%5.2f\n",
        n, load, fs.Seconds, fs.Seconds / bare, edir.Seconds, edir.Seconds / bare, resolve.Seconds,
        resolve.Seconds / bare, bare, names.size(), PeakMiB(), fs.Cpu, edir.Cpu, resolve.Cpu);
    std::fflush(stdout);
    return fs.SummaryLines > 0 && edir.SummaryLines > 0 && resolve.SummaryLines > 0;
}

// Runs one size in a child process, which sends its medians back through a pipe; false when it
// failed or did not end normally.
bool RunSizeApart(uint32_t n, int repeat, std::vector<TSizeFigures>& all) {
    std::fflush(stdout);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        std::perror("trustee_bench: pipe");
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("trustee_bench: fork");
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return false;
    }
    if (pid == 0) {
        close(pipeEnds[0]);
        TSizeFigures figures;
        const bool ok = RunSize(n, repeat, figures);
        std::fflush(stdout);
        const bool sent =
            write(pipeEnds[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
        _exit(ok && sent ? 0 : 1);
    }
    close(pipeEnds[1]);
    TSizeFigures figures;
    const bool received =
        read(pipeEnds[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    close(pipeEnds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    if (received)
        all.push_back(figures);
    if (!WIFEXITED(status)) {
        std::fprintf(stderr, "trustee_bench: the run of N = %u did not end normally\n", n);
        return false;
    }
    return WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // The allocator as the programs that scan set it up.
    U_TuneAllocatorForScans();
    std::vector<uint32_t> sizes;
    int repeat = 5;
    auto usage = [] {
        std::fprintf(stderr,
                     "usage: trustee_bench [--repeat K] [N ...] (K from 1 to %d, N from 1 to %u)\n",
                     kMaxRepeat, kMaxSize);
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const bool isRepeat = std::string(argv[i]) == "--repeat";
        if (isRepeat && ++i == argc)
            return usage();
        char* end = nullptr;
        unsigned long v = std::strtoul(argv[i], &end, 10);
        const unsigned long limit = isRepeat ? kMaxRepeat : kMaxSize;
        if (end == argv[i] || *end != '\0' || argv[i][0] == '-' || v == 0 || v > limit)
            return usage();
        if (isRepeat)
            repeat = static_cast<int>(v);
        else
            sizes.push_back(static_cast<uint32_t>(v));
    }
    if (sizes.empty())
        sizes.assign(std::begin(kDefaultSizes), std::end(kDefaultSizes));

    std::string scratch = std::filesystem::temp_directory_path() /
                          ("trovalen-trusteebench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch + "/mnt");
    setenv("TROVALEN_MOUNT", (scratch + "/mnt").c_str(), 1);

    std::printf("A group of N security-equal members and a unit of N residents, each also a "
                "trustee of its own.\nTimes in seconds, the median of %d runs, each N in a "
                "process of its own; x: the scan's time\nover the bare enumeration of the "
                "trustees it reports.\n\n",
                repeat);
    std::printf("%8s %9s %11s %7s %11s %7s %14s %7s %10s %9s %9s   %s\n", "N", "load",
                "file system", "", "eDirectory", "", "eDir resolved", "", "bare enum", "trustees",
                "peak MiB", "cpu fs/eDir/resolved");
    bool ok = true;
    std::vector<TSizeFigures> all;
    for (uint32_t n : sizes)
        ok = RunSizeApart(n, repeat, all) && ok;

    // Each size against the size half as large, where both were run.
    bool header = false;
    for (const TSizeFigures& large : all)
        for (const TSizeFigures& small : all) {
            if (small.N * 2 != large.N || small.FileSystem <= 0 || small.Edir <= 0 ||
                small.Resolved <= 0 || small.Bare <= 0)
                continue;
            if (!header) {
                std::printf("\nEach doubling of N: the time at N over the time at N / 2.\n\n"
                            "%8s %11s %11s %14s %10s\n",
                            "N", "file system", "eDirectory", "eDir resolved", "bare enum");
                header = true;
            }
            std::printf("%8u %10.2fx %10.2fx %13.2fx %9.2fx\n", large.N,
                        large.FileSystem / small.FileSystem, large.Edir / small.Edir,
                        large.Resolved / small.Resolved, large.Bare / small.Bare);
        }
    std::filesystem::remove_all(scratch);
    return ok ? 0 : 1;
}
