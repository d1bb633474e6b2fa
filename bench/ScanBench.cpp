// Figures of the analysis on a generated tree of about 100,000 objects and 10,000 directories:
// one file-system analysis of a directory deep in the volume, one eDirectory analysis of a user,
// and a scan run over ten start paths. Prints the figures.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/TreeGenerate.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "rights/EffectiveTrustees.h"
#include "rights/ScanRun.h"
#include "util/Platform.h"
#include "util/Util.h"

#include <algorithm>

using namespace trovalen;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double PeakMiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

// The deepest directories that the volume holds, as UNC paths.
std::vector<std::string> DeepPaths(size_t count) {
    std::vector<std::string> paths;
    std::string root = U_MountRoot() + "/GEN-FS1/SYS";
    size_t best = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        std::string rel = e.path().string().substr(root.size());
        size_t depth = static_cast<size_t>(std::count(rel.begin(), rel.end(), '/'));
        if (depth > best) {
            best = depth;
            paths.clear();
        }
        if (depth == best && paths.size() < count)
            paths.push_back("\\\\GEN-FS1\\SYS" + U_ReplaceStr(rel, "/", "\\", true, true));
    }
    return paths;
}

} // namespace

int main() {
    std::string scratch =
        std::filesystem::temp_directory_path() / ("trovalen-scanbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch + "/mnt");
    setenv("TROVALEN_MOUNT", (scratch + "/mnt").c_str(), 1);

    convert::TGenerateOptions options;
    options.Users = 95000;
    options.Groups = 500;
    options.Depth = 4;
    options.Fanout = 5;
    options.Dirs = 10000;
    options.Trustees = 3;
    auto start = Clock::now();
    std::string error;
    std::string json = convert::GenerateTreeJson(options);
    auto world = sim::LoadTreeText(json, "generated", error);
    if (!world) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto client = std::make_shared<TSimClient>(world);
    NWHandle primary = NO_PRIMARY_CONN;
    if (InitNetWare(client.get(), primary) != 0) {
        std::fprintf(stderr, "the client did not start\n");
        return 1;
    }
    std::printf("generate and load:                %8.1f ms\n", Ms(start));

    NWHandle ctx = 0;
    client->NewContext(ctx);
    U_DSChangeCurrentTreeAndContext(client.get(), ctx, U_GetPrimaryTree(client.get()), "[Root]");
    U_DSSetContextFlags(client.get(), ctx, '+', DCV_TYPELESS_NAMES);

    std::vector<std::string> paths = DeepPaths(10);
    TNWPath nw;
    if (paths.empty() || U_PathToNWPath(client.get(), paths[0], nw) != 0) {
        std::fprintf(stderr, "no directory to analyse\n");
        return 1;
    }
    TStringList trustees, log;
    start = Clock::now();
    U_EffectiveTrustees(client.get(), ctx, nw.Server + "/" + nw.Volume + ":" + nw.DirPath, 31,
                        nullptr, trustees, &log, 0);
    std::printf("file-system analysis (%zu levels): %8.1f ms, %d trustees, %d log lines\n",
                static_cast<size_t>(std::count(paths[0].begin(), paths[0].end(), '\\')) - 3,
                Ms(start), trustees.Count(), log.Count());

    // A user in the deepest unit.
    std::string user;
    for (size_t at = json.find("\"name\": \"User"); at != std::string::npos;
         at = json.find("\"name\": \"User", at + 1)) {
        size_t from = at + 9;
        std::string name = json.substr(from, json.find('"', from) - from);
        if (U_CountOf(name, ".") > U_CountOf(user, "."))
            user = name;
    }
    trustees.Clear();
    log.Clear();
    start = Clock::now();
    U_EffectiveTrustees(client.get(), ctx, "." + user, 31, nullptr, trustees, &log,
                        ET_EDIRECTORY | ET_RESOLVE_CONTAINERS);
    std::printf("eDirectory analysis of a user:    %8.1f ms, %d trustees, %d log lines\n",
                Ms(start), trustees.Count(), log.Count());

    TScanRequest request;
    request.Client = client.get();
    request.ConnHandle = primary;
    request.ScanContext = ctx;
    request.VariantName = "Trovalen";
    for (const auto& p : paths)
        request.Entries.Add(p);
    TScanHost host;
    TScanResult result;
    start = Clock::now();
    TScanRun(request, host).Run(result);
    std::printf("scan run over %2d start paths:     %8.1f ms, %d summary lines\n",
                request.Entries.Count(), Ms(start), result.Summary.Count());
    std::printf("peak memory:                      %8.1f MiB\n", PeakMiB());

    std::filesystem::remove_all(scratch);
    return 0;
}
