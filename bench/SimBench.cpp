// Figures of the simulated client on a generated tree of 100,000 objects and 10,000
// directories: load time, peak memory, one "Security Equals" search over the whole tree, and one
// EntryEffectiveRights call. Prints the figures; targets: load under 2 s, memory under 1 GiB,
// search under 1 ms, effective rights under 50 µs.
//
// First, each in a process of its own so that its peak memory is the load's alone: the load of
// the 100,000-object tree and of a tree of 1,000,000 objects, with time, peak memory and peak
// memory as a multiple of the file size (targets: under 1 s, and under 10 s and 2 GiB; memory
// under 6 times the file).
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/TreeGenerate.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

std::shared_ptr<TSimClient> gClient;
NWHandle gCtx = 0;
std::string gSubject, gTarget;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr const char* kLoadOnly = "--load-only";

// A figure of /proc/self/status ("VmHWM:", "VmRSS:") in bytes; 0 when it cannot be read.
double StatusBytes(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t len = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, len, key) == 0)
            return std::strtod(line.c_str() + len, nullptr) * 1024.0;
    return 0;
}

// Run as "sim_bench --load-only FILE": loads the file and prints one line of figures. Peak
// memory is the process's high-water mark less what it held before the load.
int LoadOnly(const char* file) {
    const double base = StatusBytes("VmRSS:");
    auto start = std::chrono::steady_clock::now();
    std::string error;
    auto world = sim::LoadTreeFile(file, error);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!world) {
        std::printf("  refused after %.2f s: %s\n", seconds, error.c_str());
        return 1;
    }
    const double peak = StatusBytes("VmHWM:") - base;
    const double held = StatusBytes("VmRSS:") - base;
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    size_t objects = 0, dirs = 0;
    for (const auto& t : world->Trees)
        objects += t.Objects.size();
    for (const auto& srv : world->Servers)
        for (const auto& vol : srv.Volumes)
            dirs += vol.Dirs.size() - 1;
    std::printf("  %zu objects, %zu directories, file %.1f MiB: load %.3f s, peak %.0f MiB "
                "(%.2f times the file), held after the load %.0f MiB (%.2f times)\n",
                objects, dirs, bytes / kMiB, seconds, peak / kMiB, peak / bytes, held / kMiB,
                held / bytes);
    return 0;
}

// Writes a generated tree of about `objects` objects and loads it in a child process.
void LoadFigures(const char* self, const std::string& dir, const char* title, uint32_t objects,
                 uint32_t dirs) {
    convert::TGenerateOptions o;
    o.Groups = 200;
    o.Depth = 3;
    o.Fanout = 6; // 6 + 36 + 216 units
    o.Users = objects - 5 - o.Groups - (6 + 36 + 216);
    o.Dirs = dirs;
    o.Trustees = 3;
    std::string file = dir + "/load-" + std::to_string(objects) + ".json";
    {
        std::string json = convert::GenerateTreeJson(o);
        std::ofstream(file, std::ios::binary) << json;
    }
    std::printf("%s\n", title);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        execl(self, self, kLoadOnly, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    std::filesystem::remove(file);
}

double PeakMiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

// The whole search, every batch: filter built and put, then SearchObjects until the end.
size_t SecurityEqualsSearch(const std::string& group) {
    NWHandle fbuf = 0, res = 0, filter = 0;
    gClient->AllocBuf(DEFAULT_MESSAGE_LEN, fbuf);
    gClient->InitBuf(gCtx, DSV_SEARCH_FILTER, fbuf);
    gClient->AllocBuf(MAX_MESSAGE_LEN, res);
    gClient->NewFilter(gCtx, filter);
    TAttrValue attr{SYN_DIST_NAME, TValString{"Security Equals"}};
    TAttrValue value{SYN_DIST_NAME, TValString{group}};
    gClient->AddFilterToken(filter, FTOK_LPAREN, nullptr, 0);
    gClient->AddFilterToken(filter, FTOK_ANAME, &attr, SYN_DIST_NAME);
    gClient->AddFilterToken(filter, FTOK_EQ, nullptr, 0);
    gClient->AddFilterToken(filter, FTOK_AVAL, &value, SYN_DIST_NAME);
    gClient->AddFilterToken(filter, FTOK_RPAREN, nullptr, 0);
    gClient->AddFilterToken(filter, FTOK_END, nullptr, 0);
    gClient->PutFilter(gCtx, fbuf, filter);
    int32_t iteration = -1;
    size_t found = 0;
    do {
        uint32_t count = 0;
        if (gClient->SearchObjects(gCtx, "[Root]", DS_SEARCH_SUBTREE, fbuf, true, iteration, 50,
                                   count, res) != 0)
            break;
        found += count;
    } while (iteration != -1);
    gClient->FreeBuf(fbuf);
    gClient->FreeBuf(res);
    return found;
}

void BM_SecurityEqualsSearch(benchmark::State& state) {
    size_t found = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(found = SecurityEqualsSearch(".Group00123.Gen"));
    state.counters["found"] = static_cast<double>(found);
}

void BM_EntryEffectiveRights(benchmark::State& state, const char* attr) {
    uint32_t rights = 0;
    for (auto _ : state) {
        if (gClient->EntryEffectiveRights(gCtx, gSubject, gTarget, attr, rights) != 0)
            state.SkipWithError("EntryEffectiveRights failed");
        benchmark::DoNotOptimize(rights);
    }
    state.counters["rights"] = rights;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kLoadOnly) == 0)
        return LoadOnly(argv[2]);
    {
        std::string dir = std::filesystem::temp_directory_path() /
                          ("trovalen-bench-load-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        LoadFigures("/proc/self/exe", dir,
                    "Tree load, 100,000 objects and 10,000 directories (target < 1 s, < 6 times "
                    "the file):",
                    100000, 10000);
        LoadFigures("/proc/self/exe", dir,
                    "Tree load, 1,000,000 objects and 10,000 directories (target < 10 s, < 2 GiB, "
                    "< 6 times the file):",
                    1000000, 10000);
        std::filesystem::remove_all(dir);
    }

    // 100,000 objects: the users plus the fixed objects, groups and units of the generator.
    convert::TGenerateOptions o;
    o.Groups = 200;
    o.Depth = 3;
    o.Fanout = 6; // 6 + 36 + 216 units
    o.Users = 100000 - 5 - o.Groups - (6 + 36 + 216);
    o.Dirs = 10000;
    o.Trustees = 3;
    std::string json = convert::GenerateTreeJson(o);

    std::string dir =
        std::filesystem::temp_directory_path() / ("trovalen-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string file = dir + "/bench-tree.json";
    std::ofstream(file, std::ios::binary) << json;
    const size_t bytes = json.size();
    json.clear();
    json.shrink_to_fit();
    setenv("TROVALEN_MOUNT", (dir + "/mnt").c_str(), 1);

    double before = PeakMiB();
    auto start = std::chrono::steady_clock::now();
    std::string error;
    auto world = sim::LoadTreeFile(file, error);
    auto stop = std::chrono::steady_clock::now();
    if (!world) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    double loadSeconds = std::chrono::duration<double>(stop - start).count();
    gClient = std::make_shared<TSimClient>(world);
    world.reset();
    gClient->NewContext(gCtx);
    gClient->SetContextValue(gCtx, DCK_FLAGS, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);

    // The target: a user deep in the tree; the subject: a user security-equal to a group that
    // holds rights on one of the target's containers.
    const sim::TSimTree& tree = gClient->World().Trees[0];
    int32_t target = static_cast<int32_t>(tree.Objects.size()) - 1;
    gTarget = "." + tree.Objects[target].FullName;
    int32_t secEq = gClient->World().Schema.FindAttr("Security Equals");
    for (int32_t up = tree.Objects[target].Parent; up > 0 && gSubject.empty();
         up = tree.Objects[up].Parent)
        for (const auto& acl : tree.Objects[up].Acl)
            if (acl.Subject > 0) {
                auto it = tree.DnIndex.find(
                    sim::TSimTree::DnKey(secEq, U_LowerCase(tree.Objects[acl.Subject].FullName)));
                if (it != tree.DnIndex.end() && !it->second.empty()) {
                    gSubject = "." + tree.Objects[it->second.back()].FullName;
                    break;
                }
            }

    std::printf("Tree file: %.1f MB, %zu objects, %zu directories\n", bytes / 1e6,
                gClient->World().Trees[0].Objects.size(),
                gClient->World().Servers[0].Volumes[0].Dirs.size() - 1);
    std::printf("Load time: %.3f s (target < 2 s)\n", loadSeconds);
    std::printf("Peak memory: %.0f MiB (before loading %.0f MiB; target < 1024 MiB)\n", PeakMiB(),
                before);
    uint32_t entry = 0, title = 0;
    NWCCODE e1 = gClient->EntryEffectiveRights(gCtx, gSubject, gTarget, "[Entry Rights]", entry);
    NWCCODE e2 = gClient->EntryEffectiveRights(gCtx, gSubject, gTarget, "Title", title);
    std::printf("Effective rights of %s on %s: entry %02X (code %d), Title %02X (code %d)\n",
                gSubject.c_str(), gTarget.c_str(), entry, e1, title, e2);
    std::fflush(stdout);

    benchmark::RegisterBenchmark("SecurityEqualsSearch/whole tree, every batch",
                                 BM_SecurityEqualsSearch)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("EntryEffectiveRights/[Entry Rights]", BM_EntryEffectiveRights,
                                 "[Entry Rights]")
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("EntryEffectiveRights/Title", BM_EntryEffectiveRights, "Title")
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    gClient.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
