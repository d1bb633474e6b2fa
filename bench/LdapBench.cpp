// Figures of the LDAP client on generated trees served by a private slapd: for each tree size and
// trustee count, a tree of that many objects where the group Target.Gen holds that many
// assignments of its own (members of Members.Gen, each security-equal to Everyone.Gen, which is
// a trustee too) is generated, loaded into slapd and scanned (eDirectory scan of .Target.Gen)
// through the LDAP client, and through the simulated client on the same tree file as a
// reference. Prints, per row, the load time into slapd, the median scan times and the LDAP
// requests of one scan, with the client's read-ahead and with its hints ignored: with it they
// should stay at a few dozen whatever the trustees and the tree (at most 50 for 1,000 trustees).
//
// Then a tree walk: a tree of --subtree objects (the tree of reach_bench: 1,000 groups, four
// levels of six units, one user in twenty security-equal to groups) read
// ahead below [Root] (PrefetchSubtree) and walked whole (every container listed, every object's
// summary, ACL, Security Equals, Group Membership and Object Class read), with the requests of
// each (at most one per 100 objects in all), the times and the program's peak memory; and the
// same walk without the read-ahead below one of the six top units, for comparison. Last, the
// scan run's own walks over the same tree, as trovalen-scan runs them: the subtree audit of the
// whole tree (--recursive) and the reverse queries of one user and one unit (--trustee), each with
// its requests (again at most one per 100 objects).
//
// Two layouts: "units" spreads the users over three levels of units (84 units of about 1,200
// users at 100,000 objects); "flat" puts every user into the organization itself, so that a
// client that lists a whole container to find one name pays for the whole tree.
//
//   ldap_bench [--sizes N,...] [--trustees N,...] [--repeat N] [--by-operation] [--subtree N]
//
// --sizes: tree sizes (objects) with 1,000 trustees (default 12500,25000,50000,100000);
// --trustees: trustee counts on the largest size (default 250,500,1000,2000);
// --repeat: scans per client and row, the median is shown (default 3);
// --by-operation: also the requests of one scan per client operation;
// --subtree: objects of the walked tree (default 100000; 0: no walk).
//
// Every slapd is started through scripts/ldap-server under a scratch folder and stopped when its
// row ends, also when the row fails or the program is interrupted.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "GeneratedUser.h"
#include "attrinfo/AttrRead.h"
#include "backend/ldap/LdapClient.h"
#include "backend/sim/SimClient.h"
#include "directory/DSRead.h"
#include "rights/ScanSession.h"

using namespace trovalen;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr char kTree[] = "GEN_TREE";
constexpr char kObject[] = ".Target.Gen";
constexpr uint32_t kGroups = 500;
constexpr uint32_t kDepth = 3;
constexpr uint32_t kFanout = 4;
constexpr uint32_t kUnits = 4 + 16 + 64;
// Objects of a generated tree besides the users, the members and the units: the organization,
// Admin, the server and its volume, the groups and the scenario's four objects.
constexpr uint32_t kFixedObjects = 4 + kGroups + 4;
constexpr uint32_t kMaxObjects = 2000000;
constexpr uint32_t kDefaultTrustees = 1000;
constexpr uint32_t kDefaultSizes[] = {12500, 25000, 50000, 100000};
constexpr uint32_t kDefaultTrusteeCounts[] = {250, 500, 1000, 2000};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its standard output, and whether it exited with 0.
bool Run(const std::string& command, std::string& out) {
    out.clear();
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return false;
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr)
        out += buf;
    int status = pclose(p);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FileText(const fs::path& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The slapd of the row being run, stopped by the signal handler when the program is interrupted.
volatile sig_atomic_t gSlapdPid = 0;

void OnSignal(int sig) {
    if (gSlapdPid > 0)
        kill(static_cast<pid_t>(gSlapdPid), SIGTERM);
    _exit(128 + sig);
}

// A private slapd under dir, stopped with its holder.
class TSlapd {
public:
    explicit TSlapd(fs::path dir) : FDir(std::move(dir)) {}
    ~TSlapd() {
        gSlapdPid = 0;
        std::string ignored;
        Run(Script() + " stop " + Quote(FDir.string()) + " >/dev/null 2>&1", ignored);
    }
    TSlapd(const TSlapd&) = delete;
    TSlapd& operator=(const TSlapd&) = delete;

    bool Start(const std::string& treeFile, std::string& error) {
        std::string out;
        fs::path err = FDir.parent_path() / "start.err";
        bool ok = Run(Script() + " start " + Quote(FDir.string()) + " " + Quote(treeFile) +
                          " --tree " + kTree + " 2>" + Quote(err.string()),
                      out);
        // Held before anything else, so that an interruption from here on stops it.
        if (std::ifstream pid(FDir / "slapd.pid"); pid) {
            long value = 0;
            if (pid >> value && value > 0)
                gSlapdPid = static_cast<sig_atomic_t>(value);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        if (!ok || out.rfind("ldap://", 0) != 0) {
            error = FileText(err);
            return false;
        }
        FUri = out;
        return true;
    }
    const std::string& Uri() const { return FUri; }

private:
    fs::path FDir;
    std::string FUri;

    static std::string Script() {
        return std::string("TROVALEN_TREE_EXE=") + Quote(TROVALEN_TREE_EXE) + " " +
               Quote(std::string(TROVALEN_SOURCE_DIR) + "/scripts/ldap-server");
    }
};

// The LDAP client with the requests of each operation counted.
class TCountingClient : public TLdapClient {
public:
    using TLdapClient::TLdapClient;
    std::map<std::string, uint64_t> ByOperation;

    bool ReadAhead = true; // false: the hints are ignored, as by a client that reads nothing ahead

#define COUNTED(name, params, args)                                                                \
    NWCCODE name params override {                                                                 \
        if (!ReadAhead && std::string_view(#name).rfind("Prefetch", 0) == 0)                       \
            return NW_OK;                                                                          \
        uint64_t before = Requests();                                                              \
        NWCCODE code = TLdapClient::name args;                                                     \
        ByOperation[#name] += Requests() - before;                                                 \
        return code;                                                                               \
    }
    COUNTED(ReadObjectSummary,
            (NWHandle ctx, const std::string& name, std::string& dn, TObjectSummary& summary),
            (ctx, name, dn, summary))
    COUNTED(ReadObjectItems, (NWHandle ctx, const std::string& name, uint32_t size, NWHandle buf),
            (ctx, name, size, buf))
    COUNTED(ReadAttributes,
            (NWHandle ctx, const std::string& object, uint32_t infoType, bool allAttrs,
             NWHandle request, int32_t& iteration, NWHandle result),
            (ctx, object, infoType, allAttrs, request, iteration, result))
    COUNTED(ListSubordinates,
            (NWHandle ctx, const std::string& container, int32_t& iteration, NWHandle result),
            (ctx, container, iteration, result))
    COUNTED(ListContainers,
            (NWHandle ctx, const std::string& container, int32_t& iteration, NWHandle result),
            (ctx, container, iteration, result))
    COUNTED(PutFilter, (NWHandle ctx, NWHandle buf, NWHandle filter), (ctx, buf, filter))
    COUNTED(SearchObjects,
            (NWHandle ctx, const std::string& base, int scope, NWHandle filterBuf, bool namesOnly,
             int32_t& iteration, uint32_t maxPerCall, uint32_t& count, NWHandle result),
            (ctx, base, scope, filterBuf, namesOnly, iteration, maxPerCall, count, result))
    COUNTED(AbbreviateName, (NWHandle ctx, const std::string& name, std::string& out),
            (ctx, name, out))
    COUNTED(EntryEffectiveRights,
            (NWHandle ctx, const std::string& subject, const std::string& object,
             const std::string& attr, uint32_t& rights),
            (ctx, subject, object, attr, rights))
    COUNTED(PrefetchObjects, (NWHandle ctx, const std::vector<std::string>& names), (ctx, names))
    COUNTED(PrefetchSubtree, (NWHandle ctx, const std::string& base), (ctx, base))
    COUNTED(OpenAttrStream,
            (NWHandle ctx, const std::string& object, const std::string& attr, uint32_t flags,
             NWHandle& file),
            (ctx, object, attr, flags, file))
#undef COUNTED
};

struct TScanFigure {
    double Seconds = 0;
    int SummaryLines = 0;
    int Entries = 0; // reached by the scan
    bool Complete = false;
};

// The eDirectory scan of request in tree, as the front ends run it; by default the forward scan
// of the object with the trustees.
TScanFigure Scan(TNWClient* client, const std::string& tree = kTree, TScanRequest request = {}) {
    TScanSession session(client);
    TScanFigure figure;
    if (session.ChooseTree(tree) != NW_OK)
        return figure;
    request.Edir = true;
    request.VariantName = "Trovalen.edir";
    if (request.Entries.Empty())
        request.Entries.Add(kObject);
    TScanHost host;
    TScanResult result;
    auto start = Clock::now();
    session.Scan(request, host, result);
    figure.Seconds = Seconds(start);
    figure.SummaryLines = result.Summary.Count();
    figure.Entries = result.EntriesTotal;
    figure.Complete = U_ScanComplete(result);
    return figure;
}

struct TOptions {
    std::vector<uint32_t> Sizes;
    std::vector<uint32_t> TrusteeCounts;
    int Repeat = 3;
    bool ByOperation = false;
    uint32_t Subtree = 100000;
};

struct TRow {
    uint32_t Objects = 0;
    uint32_t Trustees = 0;
    bool Flat = false;

    uint32_t Fixed() const { return kFixedObjects + (Flat ? 0 : kUnits); }
};

bool RunRow(const TOptions& o, const TRow& row, const fs::path& scratch) {
    fs::path dir = scratch / (std::to_string(row.Objects) + "-" + std::to_string(row.Trustees) +
                              (row.Flat ? "-flat" : ""));
    fs::create_directories(dir);
    const std::string treeFile = (dir / "tree.json").string();
    const uint32_t users = row.Objects - row.Trustees - row.Fixed();
    std::string out;
    auto start = Clock::now();
    if (!Run(Quote(TROVALEN_TREE_EXE) + " generate --users " + std::to_string(users) +
                 " --groups " + std::to_string(kGroups) + " --depth " +
                 std::to_string(row.Flat ? 0 : kDepth) + " --fanout " + std::to_string(kFanout) +
                 " --dirs 0 --trustees 0 --members " + std::to_string(row.Trustees) +
                 " --assign-each -o " + Quote(treeFile),
             out)) {
        std::fprintf(stderr, "ldap_bench: trovalen-tree generate failed\n");
        return false;
    }
    const double generate = Seconds(start);

    TSlapd slapd(dir / "srv");
    std::string error;
    start = Clock::now();
    if (!slapd.Start(treeFile, error)) {
        std::fprintf(stderr, "ldap_bench: slapd did not start: %s\n", error.c_str());
        return false;
    }
    const double load = Seconds(start);

    std::vector<double> ldapTimes, plainTimes, simTimes;
    uint64_t requests = 0, plainRequests = 0;
    int ldapLines = 0, plainLines = 0, simLines = 0;
    std::map<std::string, uint64_t> byOperation;
    for (int i = 0; i < o.Repeat; ++i) {
        for (bool ahead : {true, false}) {
            TLdapClientOptions options;
            options.Connection.Uri = slapd.Uri();
            TCountingClient ldap(options);
            ldap.ReadAhead = ahead;
            if (!ldap.Connect(error)) {
                std::fprintf(stderr, "ldap_bench: %s\n", error.c_str());
                return false;
            }
            uint64_t before = ldap.Requests();
            TScanFigure f = Scan(&ldap);
            (ahead ? requests : plainRequests) = ldap.Requests() - before;
            (ahead ? ldapTimes : plainTimes).push_back(f.Seconds);
            (ahead ? ldapLines : plainLines) = f.SummaryLines;
            if (ahead)
                byOperation = ldap.ByOperation;
        }
    }
    auto sim = MakeSimClient(treeFile, error);
    if (!sim) {
        std::fprintf(stderr, "ldap_bench: %s\n", error.c_str());
        return false;
    }
    for (int i = 0; i < o.Repeat; ++i) {
        TScanFigure f = Scan(sim.get());
        simTimes.push_back(f.Seconds);
        simLines = f.SummaryLines;
    }
    std::printf("%-6s %9u %9u %9.1f %9.1f %10.3f %9llu %10.3f %9llu %10.3f %7d %7d\n",
                row.Flat ? "flat" : "units", row.Objects, row.Trustees, generate, load,
                Median(ldapTimes), static_cast<unsigned long long>(requests), Median(plainTimes),
                static_cast<unsigned long long>(plainRequests), Median(simTimes), ldapLines,
                simLines);
    if (plainLines != ldapLines)
        std::fprintf(stderr, "ldap_bench: %d summary lines with read-ahead, %d without\n",
                     ldapLines, plainLines);
    if (o.ByOperation) {
        for (const auto& [name, count] : byOperation)
            if (count > 0)
                std::printf("%36s %-20s %llu\n", "", name.c_str(),
                            static_cast<unsigned long long>(count));
    }
    std::fflush(stdout);
    std::error_code ec;
    fs::remove(treeFile, ec);
    return ldapLines > 0 && simLines > 0 && plainLines == ldapLines;
}

// --- The tree walk ------------------------------------------------------------------------------

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct TWalkFigure {
    uint64_t Objects = 0;
    uint64_t Failed = 0; // reads that did not answer NW_OK or "no such attribute"
    double Seconds = 0;
};

// Every object below base listed, and each read as a tree walk reads it.
TWalkFigure Walk(TNWClient& client, NWHandle ctx, const std::string& base) {
    TWalkFigure f;
    auto start = Clock::now();
    TStringList objects;
    if (U_DSListTree(&client, ctx, base, objects, true, false, "", 0) != NW_OK)
        ++f.Failed;
    for (const auto& o : objects) {
        ++f.Objects;
        std::string dn;
        TObjectSummary summary;
        if (client.ReadObjectSummary(ctx, o.Text, dn, summary) != NW_OK)
            ++f.Failed;
        for (const char* attr : {"ACL", "Security Equals", "Group Membership", "Object Class"}) {
            TStringList values;
            NWCCODE code = U_DSGetAttribute(&client, ctx, o.Text, attr, values);
            if (code != NW_OK && code != ERR_NO_SUCH_ATTRIBUTE)
                ++f.Failed;
        }
    }
    f.Seconds = Seconds(start);
    return f;
}

bool RunWalk(uint32_t objects, const fs::path& scratch) {
    constexpr uint32_t kWalkGroups = 1000, kWalkDepth = 4, kWalkFanout = 6, kWalkEqualShare = 5;
    constexpr uint32_t kWalkUnits = 6 + 36 + 216 + 1296;
    constexpr uint32_t kWalkFixed = 4 + kWalkGroups + kWalkUnits;
    if (objects <= kWalkFixed) {
        std::fprintf(stderr, "ldap_bench: the walked tree needs more than %u objects\n",
                     kWalkFixed);
        return false;
    }
    fs::path dir = scratch / ("walk-" + std::to_string(objects));
    fs::create_directories(dir);
    const std::string treeFile = (dir / "tree.json").string();
    std::string out, error;
    auto start = Clock::now();
    if (!Run(Quote(TROVALEN_TREE_EXE) + " generate --users " +
                 std::to_string(objects - kWalkFixed) + " --groups " + std::to_string(kWalkGroups) +
                 " --depth " + std::to_string(kWalkDepth) + " --fanout " +
                 std::to_string(kWalkFanout) + " --equal-share " + std::to_string(kWalkEqualShare) +
                 " --dirs 0 --trustees 0 -o " + Quote(treeFile),
             out)) {
        std::fprintf(stderr, "ldap_bench: trovalen-tree generate failed\n");
        return false;
    }
    const double generate = Seconds(start);
    TSlapd slapd(dir / "srv");
    start = Clock::now();
    if (!slapd.Start(treeFile, error)) {
        std::fprintf(stderr, "ldap_bench: slapd did not start: %s\n", error.c_str());
        return false;
    }
    const double load = Seconds(start);
    std::string user;
    {
        std::ifstream in(treeFile, std::ios::binary);
        user = bench::QueriedUser(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::error_code ec;
    fs::remove(treeFile, ec);

    std::printf("\nTree walk over %u objects (%u groups, %u units in %u levels; generated in "
                "%.1f s, loaded into slapd offline in %.1f s)\n",
                objects, kWalkGroups, kWalkUnits, kWalkDepth, generate, load);
    std::printf("%-34s %10s %10s %12s %10s\n", "", "objects", "requests", "per 100 obj", "seconds");
    auto row = [](const char* what, uint64_t n, uint64_t requests, double seconds) {
        std::printf("%-34s %10llu %10llu %12.2f %10.2f\n", what, static_cast<unsigned long long>(n),
                    static_cast<unsigned long long>(requests),
                    n == 0 ? 0.0 : 100.0 * static_cast<double>(requests) / static_cast<double>(n),
                    seconds);
    };
    bool ok = true;
    const double before = PeakMiB();
    {
        TLdapClientOptions options;
        options.Connection.Uri = slapd.Uri();
        options.Connection.RequestTimeoutSeconds = 120;
        TLdapClient ldap(options);
        if (!ldap.Connect(error)) {
            std::fprintf(stderr, "ldap_bench: %s\n", error.c_str());
            return false;
        }
        NWHandle ctx = 0;
        ldap.NewContext(ctx);
        ldap.SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES);
        uint64_t at = ldap.Requests();
        start = Clock::now();
        NWCCODE code = ldap.PrefetchSubtree(ctx, "[Root]");
        const double prefetch = Seconds(start);
        const uint64_t prefetchRequests = ldap.Requests() - at;
        const TLdapClient::TReadAheadFigures held = ldap.ReadAheadFigures();
        at = ldap.Requests();
        TWalkFigure w = Walk(ldap, ctx, "[Root]");
        const uint64_t walkRequests = ldap.Requests() - at;
        row("PrefetchSubtree([Root])", held.Objects, prefetchRequests, prefetch);
        row("then the walk", w.Objects, walkRequests, w.Seconds);
        row("in all", w.Objects, prefetchRequests + walkRequests, prefetch + w.Seconds);
        std::printf("  read ahead: %.1f MiB of values counted; peak memory of the program "
                    "%.0f MiB (%.0f MiB before)\n",
                    static_cast<double>(held.Bytes) / (1024.0 * 1024.0), PeakMiB(), before);
        ok = code == NW_OK && w.Failed == 0 && w.Objects + 1 >= objects &&
             prefetchRequests + walkRequests <= w.Objects / 100;
        if (code != NW_OK || w.Failed != 0)
            std::fprintf(stderr, "ldap_bench: read-ahead %d, %llu reads failed\n", code,
                         static_cast<unsigned long long>(w.Failed));
        ldap.FreeContext(ctx);
    }
    {
        // Without read-ahead every read is a request: one top unit (a sixth of the users)
        // shows what the whole walk would cost.
        TLdapClientOptions options;
        options.Connection.Uri = slapd.Uri();
        TCountingClient ldap(options);
        ldap.ReadAhead = false;
        if (!ldap.Connect(error)) {
            std::fprintf(stderr, "ldap_bench: %s\n", error.c_str());
            return false;
        }
        NWHandle ctx = 0;
        ldap.NewContext(ctx);
        ldap.SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES);
        const uint64_t at = ldap.Requests();
        TWalkFigure w = Walk(ldap, ctx, ".Unit00000.Gen");
        row("without read-ahead, .Unit00000.Gen", w.Objects, ldap.Requests() - at, w.Seconds);
        ldap.FreeContext(ctx);
    }
    // The scan run's walks as trovalen-scan runs them, each over a client of its own: the subtree
    // audit of the whole tree (--recursive), and what one user and one unit reach in it
    // (--trustee).
    for (const std::string& trustee : {std::string(), user, std::string(".Unit00000.Gen")}) {
        const bool audit = trustee.empty();
        TLdapClientOptions options;
        options.Connection.Uri = slapd.Uri();
        options.Connection.RequestTimeoutSeconds = 120;
        TCountingClient ldap(options);
        if (!ldap.Connect(error)) {
            std::fprintf(stderr, "ldap_bench: %s\n", error.c_str());
            return false;
        }
        TScanRequest request;
        request.Entries.Add(".Gen");
        // As trovalen-scan runs them without --details and --format json.
        request.KeepRecords = false;
        request.KeepDetails = false;
        request.Recursive = audit;
        request.Trustee = trustee;
        const uint64_t at = ldap.Requests();
        const TScanFigure f = Scan(&ldap, ldap.TreeName(), request);
        const uint64_t requests = ldap.Requests() - at;
        const std::string what = audit             ? "subtree audit of .Gen"
                                 : trustee == user ? "reverse query, one user"
                                                   : "reverse query, " + trustee;
        row(what.c_str(), static_cast<uint64_t>(f.Entries), requests, f.Seconds);
        if (trustee == user)
            std::printf("  (%s)\n", user.c_str());
        std::printf("  %-32s %21d\n", "(summary lines)", f.SummaryLines);
        for (const auto& [name, count] : ldap.ByOperation)
            if (count > 0)
                std::printf("  %-32s %21llu\n", name.c_str(),
                            static_cast<unsigned long long>(count));
        if (!f.Complete)
            std::fprintf(stderr, "ldap_bench: the %s did not end whole\n",
                         audit ? "subtree audit" : "reverse query");
        ok = ok && f.Complete && requests <= static_cast<uint64_t>(f.Entries) / 100;
    }
    std::fflush(stdout);
    return ok;
}

bool ParseList(const char* text, std::vector<uint32_t>& out) {
    out.clear();
    std::string s = text;
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        std::string part = s.substr(start, comma == std::string::npos ? comma : comma - start);
        char* end = nullptr;
        unsigned long v = std::strtoul(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || v == 0 || v > kMaxObjects)
            return false;
        out.push_back(static_cast<uint32_t>(v));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !out.empty();
}

int Usage() {
    std::fprintf(stderr, "usage: ldap_bench [--sizes N,...] [--trustees N,...] [--repeat N] "
                         "[--by-operation] [--subtree N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TOptions o;
    o.Sizes.assign(std::begin(kDefaultSizes), std::end(kDefaultSizes));
    o.TrusteeCounts.assign(std::begin(kDefaultTrusteeCounts), std::end(kDefaultTrusteeCounts));
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--sizes" && hasValue) {
            if (!ParseList(argv[++i], o.Sizes))
                return Usage();
        } else if (a == "--trustees" && hasValue) {
            if (!ParseList(argv[++i], o.TrusteeCounts))
                return Usage();
        } else if (a == "--repeat" && hasValue) {
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < 1 || v > 100)
                return Usage();
            o.Repeat = static_cast<int>(v);
        } else if (a == "--by-operation") {
            o.ByOperation = true;
        } else if (a == "--subtree" && hasValue) {
            char* end = nullptr;
            unsigned long v = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || v > kMaxObjects)
                return Usage();
            o.Subtree = static_cast<uint32_t>(v);
        } else {
            return Usage();
        }
    }
    if (access("/usr/sbin/slapd", X_OK) != 0 || access("/usr/sbin/slapadd", X_OK) != 0) {
        std::fprintf(stderr, "ldap_bench: slapd is not installed (scripts/setup installs slapd "
                             "and ldap-utils)\n");
        return 77;
    }
    // Rows: each size with the default trustees, then each trustee count on the largest size,
    // then the smallest and the largest size in the flat layout.
    std::vector<TRow> rows;
    const uint32_t smallest = *std::min_element(o.Sizes.begin(), o.Sizes.end());
    const uint32_t largest = *std::max_element(o.Sizes.begin(), o.Sizes.end());
    for (uint32_t n : o.Sizes)
        rows.push_back({n, kDefaultTrustees});
    for (uint32_t t : o.TrusteeCounts)
        if (t != kDefaultTrustees)
            rows.push_back({largest, t});
    rows.push_back({smallest, kDefaultTrustees, true});
    if (largest != smallest)
        rows.push_back({largest, kDefaultTrustees, true});
    for (const TRow& r : rows)
        if (r.Objects < r.Trustees + r.Fixed()) {
            std::fprintf(stderr, "ldap_bench: %u objects cannot hold %u trustees (at least %u)\n",
                         r.Objects, r.Trustees, r.Trustees + r.Fixed());
            return 2;
        }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    fs::path scratch =
        fs::temp_directory_path() / ("trovalen-ldapbench-" + std::to_string(getpid()));
    fs::create_directories(scratch / "mnt");
    setenv("TROVALEN_MOUNT", (scratch / "mnt").c_str(), 1);

    std::printf("eDirectory scan of %s through a private slapd (LDAP) and through the simulated "
                "client (sim)\non the same generated tree; times in seconds, scans the median of "
                "%d; requests: LDAP\nrequests of one scan (every page counts), with the client's "
                "read-ahead and with its\nhints ignored (plain); lines: summary lines of the "
                "scan.\n\n",
                kObject, o.Repeat);
    std::printf("%-6s %9s %9s %9s %9s %10s %9s %10s %9s %10s %7s %7s\n", "layout", "objects",
                "trustees", "generate", "load", "LDAP scan", "requests", "plain", "requests",
                "sim scan", "lines", "sim");
    std::fflush(stdout);
    bool ok = true;
    for (const TRow& r : rows)
        ok = RunRow(o, r, scratch) && ok;
    if (o.Subtree > 0)
        ok = RunWalk(o.Subtree, scratch) && ok;
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return ok ? 0 : 1;
}
