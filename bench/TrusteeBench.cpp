// Figures of scans where one trustee stands for many: for each N, a generated tree with a group
// of N security-equal members and a unit of N residents, each of them also a trustee of its own
// on SYS:PROJ and on Target.Gen. Prints, per N, the file-system scan of SYS:PROJ, the eDirectory
// scan of Target.Gen with and without resolve-containers, the time of a bare enumeration of the
// same trustees through the client (one security-equivalence search and one class read per
// trustee) and each scan's ratio to it, and the peak memory of the process so far. The machine
// may be shared: the processor seconds of each scan follow, which others' work inflates less.
//
//   trustee_bench [N ...]     (default 12500 25000 50000 100000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimGenerate.h"
#include "backend/sim/SimLoader.h"
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
double BareEnumeration(TSimClient& client, NWHandle ctx, const std::vector<std::string>& names) {
    auto start = Clock::now();
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
    return Seconds(start);
}

bool RunSize(uint32_t n) {
    sim::TGenerateOptions options;
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
    auto world = sim::LoadTreeText(sim::GenerateTreeJson(options), "generated", error);
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

    TScanFigure fs = Scan(*client, primary, ctx, false, false, kDirectory);
    TScanFigure edir = Scan(*client, primary, ctx, true, false, kObject);
    TScanFigure resolve = Scan(*client, primary, ctx, true, true, kObject);

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
    const double bare = BareEnumeration(*client, ctx, names);

    std::printf(
        "%8u %9.2f %11.2f %6.1fx %11.2f %6.1fx %14.2f %6.1fx %10.2f %9zu %9.0f   %5.2f %5.2f "
        "%5.2f\n",
        n, load, fs.Seconds, fs.Seconds / bare, edir.Seconds, edir.Seconds / bare, resolve.Seconds,
        resolve.Seconds / bare, bare, names.size(), PeakMiB(), fs.Cpu, edir.Cpu, resolve.Cpu);
    std::fflush(stdout);
    return fs.SummaryLines > 0 && edir.SummaryLines > 0 && resolve.SummaryLines > 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        unsigned long v = std::strtoul(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || v == 0 || v > kMaxSize) {
            std::fprintf(stderr, "usage: trustee_bench [N ...] (N from 1 to %u)\n", kMaxSize);
            return 2;
        }
        sizes.push_back(static_cast<uint32_t>(v));
    }
    if (sizes.empty())
        sizes.assign(std::begin(kDefaultSizes), std::end(kDefaultSizes));

    std::string scratch = std::filesystem::temp_directory_path() /
                          ("trovalen-trusteebench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch + "/mnt");
    setenv("TROVALEN_MOUNT", (scratch + "/mnt").c_str(), 1);

    std::printf("A group of N security-equal members and a unit of N residents, each also a "
                "trustee of its own.\nTimes in seconds; x: the scan's time over the bare "
                "enumeration of the trustees it reports.\n\n");
    std::printf("%8s %9s %11s %7s %11s %7s %14s %7s %10s %9s %9s   %s\n", "N", "load",
                "file system", "", "eDirectory", "", "eDir resolved", "", "bare enum", "trustees",
                "peak MiB", "cpu fs/eDir/resolved");
    bool ok = true;
    for (uint32_t n : sizes)
        ok = RunSize(n) && ok;
    std::filesystem::remove_all(scratch);
    return ok ? 0 : 1;
}
