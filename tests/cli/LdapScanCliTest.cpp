// trovalen-scan on a live tree over LDAP: a private slapd serves a tree file, and the scan through
// it names the same objects and trustees as the scan of the file; every bad connection, bind or
// server ends with exit status 2 and one message, never a hang.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <set>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "backend/ldap/LdapServer.h"
#include "cli/CliRun.h"
#include "util/Util.h"

namespace fs = std::filesystem;
using trovalen::ldaptest::TLdapServer;
using trovalen::testing::RunCli;
using trovalen::testing::ShellQuoted;
using trovalen::testing::TCliRun;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr char kTree[] = "CORVALE_TREE";
const std::vector<std::string> kObjects = {".Admin.Corvale", ".Mara.Sales.Corvale",
                                           ".Staff.Corvale", ".Sales.Corvale"};

std::string SampleTree() {
    return std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
}

// A socket on 127.0.0.1 that is listening (the kernel completes connections into its backlog,
// nobody ever answers), or that was bound and closed again (nothing listens on its port).
class TSocket {
public:
    explicit TSocket(bool listening) {
        FFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (FFd < 0 || bind(FFd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            getsockname(FFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
            (listening && listen(FFd, 8) != 0))
            return;
        FPort = ntohs(addr.sin_port);
        if (!listening) {
            close(FFd);
            FFd = -1;
        }
    }
    ~TSocket() {
        if (FFd >= 0)
            close(FFd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(FPort); }
    bool Ok() const { return FPort != 0; }

private:
    int FFd = -1;
    int FPort = 0;
};

class LdapScanCli : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("trovalen-ldapcli-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(FDir);
    }
    void TearDown() override { fs::remove_all(FDir); }

public:
    const fs::path& Dir() const { return FDir; }

protected:
    // Runs trovalen-scan with standard input not a terminal, without a tree file or a password
    // from the environment; prelude adds variables.
    TCliRun Scan(const std::vector<std::string>& args, const std::string& prelude = "") {
        return RunCli(TROVALEN_SCAN_EXE, args, FDir,
                      "exec </dev/null; TROVALEN_TREE= TROVALEN_LDAP_PASSWORD= " + prelude);
    }
    std::string File(const std::string& name, const std::string& content) {
        std::ofstream(FDir / name, std::ios::binary) << content;
        return (FDir / name).string();
    }

    fs::path FDir;
};

// Per object of a plain summary, the names of its effective trustees. Only the names: a server
// that cannot compute effective rights may show other rights or add lines of its own.
std::map<std::string, std::set<std::string>> TrusteesByObject(const std::string& summary) {
    std::map<std::string, std::set<std::string>> out;
    std::string object;
    size_t start = 0;
    while (start < summary.size()) {
        size_t end = summary.find('\n', start);
        if (end == std::string::npos)
            end = summary.size();
        std::string line = summary.substr(start, end - start);
        start = end + 1;
        if (trovalen::U_StartsWith(line, "Object:")) {
            object = line;
            out[object];
        } else if (trovalen::U_StartsWith(line, "Effective Trustee:")) {
            // Effective Trustee: <tab> class <tab> [rights] <tab> name <tab> attribute
            std::vector<std::string> fields;
            size_t from = 0;
            for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
                fields.push_back(line.substr(from, tab - from));
            fields.push_back(line.substr(from));
            if (fields.size() >= 4)
                out[object].insert(fields[1] + " " + fields[3]);
        }
    }
    return out;
}

TEST_F(LdapScanCli, ScansALiveTreeAsItsTreeFile) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), std::string("--tree ") + kTree);
    std::vector<std::string> fileArgs = {"--tree", SampleTree(), "--edir"};
    fileArgs.insert(fileArgs.end(), kObjects.begin(), kObjects.end());
    TCliRun fromFile = Scan(fileArgs);
    ASSERT_EQ(fromFile.Status, kExitOk) << fromFile.Err;
    auto expected = TrusteesByObject(fromFile.Out);
    ASSERT_EQ(expected.size(), kObjects.size()) << fromFile.Out;
    for (const auto& [object, trustees] : expected)
        ASSERT_FALSE(trustees.empty()) << object;

    std::string passwordFile = File("password", server.Password() + "\n");
    struct TCase {
        const char* Name;
        std::vector<std::string> Args;
        std::string Prelude;
    };
    const TCase cases[] = {
        {"anonymous", {}, ""},
        {"password file", {"--bind-dn", server.AdminDn(), "--password-file", passwordFile}, ""},
        {"password variable",
         {"--bind-dn=" + server.AdminDn()},
         "TROVALEN_LDAP_PASSWORD=" + ShellQuoted(server.Password())},
        {"base and tree name given",
         {"--base", "o=Corvale", "--tree-name", kTree, "--timeout=5"},
         ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> args = {"--ldap", server.Uri(), "--edir"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        args.insert(args.end(), kObjects.begin(), kObjects.end());
        TCliRun live = Scan(args, c.Prelude);
        EXPECT_EQ(live.Status, kExitOk) << live.Err;
        // The test server computes no effective rights of its own: said once; so is a read
        // without a bind, whose results lack what is hidden from it.
        const bool anonymous = c.Args.empty() || c.Args[0] == "--base";
        EXPECT_EQ(live.Err, std::string(anonymous ? "trovalen-scan: the tree was read anonymously "
                                                    "from " +
                                                        server.Uri() +
                                                        ": ACL values hidden from an anonymous "
                                                        "reader are missing; bind as a user who "
                                                        "may read them for a whole result\n"
                                                  : "") +
                                "trovalen-scan: the directory computes no effective rights of its "
                                "own: the raise by its answer and the cross-check with it were "
                                "skipped, so rights may differ from what the directory enforces\n");
        EXPECT_EQ(trovalen::U_CountOf(live.Out, "Note:      the tree was read anonymously"),
                  anonymous ? 1 : 0);
        EXPECT_EQ(TrusteesByObject(live.Out), expected) << live.Out;
    }
    // The result says where its data came from: the server and the identity bound.
    TCliRun json = Scan({"--ldap", server.Uri(), "--edir", "--bind-dn", server.AdminDn(),
                         "--password-file", passwordFile, "--format", "json", kObjects[0]});
    EXPECT_EQ(json.Status, kExitOk) << json.Err;
    EXPECT_NE(json.Out.find("\"" + server.Uri() + " as " + server.AdminDn() + "\""),
              std::string::npos)
        << json.Out.substr(0, 400);
}

TEST_F(LdapScanCli, BadConnectionsExitWithTwoAndOneMessage) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), std::string("--tree ") + kTree);
    TSocket silent(true), closed(false);
    ASSERT_TRUE(silent.Ok() && closed.Ok());
    const std::string wrong = File("wrong", "not-the-password\n");
    const std::string good = File("good", server.Password() + "\n");
    const std::string garbageCa = File("ca.pem", "no certificate here\n");
    const std::string tls = "ldaps://127.0.0.1:" + server.Uri().substr(server.Uri().rfind(':') + 1);
    struct TCase {
        std::vector<std::string> Args; // after --ldap; with --edir and an object
        std::string Message;
    };
    const TCase cases[] = {
        {{server.Uri(), "--bind-dn", server.AdminDn(), "--password-file", wrong},
         "refused the credentials of " + server.AdminDn()},
        {{server.Uri(), "--bind-dn", server.AdminDn()},
         "needs a password: give --password-file FILE or set TROVALEN_LDAP_PASSWORD"},
        {{closed.Uri(), "--timeout", "2"}, "cannot reach the LDAP server " + closed.Uri()},
        {{silent.Uri(), "--timeout", "1"}, "cannot reach the LDAP server " + silent.Uri()},
        {{silent.Uri() + " " + closed.Uri(), "--timeout", "1"},
         "no LDAP server answered: cannot reach the LDAP server " + silent.Uri()},
        {{server.Uri(), "--starttls", "--timeout", "2"}, "TLS with " + server.Uri() + " failed"},
        {{server.Uri(), "--starttls", "--ca-file", garbageCa, "--timeout", "2"}, "TLS with"},
        {{tls, "--timeout", "2"}, "TLS with " + tls + " failed"},
        {{server.Uri(), "--ca-file", (FDir / "missing.pem").string()},
         "the CA file '" + (FDir / "missing.pem").string() + "' cannot be read"},
        {{server.Uri(), "--base", "o=Nowhere"}, "the base \"o=Nowhere\" does not exist on"},
        {{server.Uri(), "--password", server.Password()}, "there is no --password option"},
        {{server.Uri(), "--tree", SampleTree()}, "--ldap and --tree name two directories"},
        {{"corvale.example.org"}, "is no LDAP address"},
        {{server.Uri(), "--timeout", "0"}, "no whole number of seconds from 1 to 3600"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"--ldap"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        args.insert(args.end(), {"--edir", ".Admin.Corvale"});
        SCOPED_TRACE(args[1] + " " + (args.size() > 2 ? args[2] : ""));
        TCliRun run = Scan(args);
        EXPECT_EQ(run.Status, kExitUsage) << run.Err;
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(trovalen::U_CountOf(run.Err, "trovalen-scan: "), 1) << run.Err;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find(server.Password()), std::string::npos) << "the password shown";
    }
    // Without --edir there is nothing LDAP can scan.
    TCliRun files = Scan({"--ldap", server.Uri(), "\\\\CV-FS1\\DATA"});
    EXPECT_EQ(files.Status, kExitUsage);
    EXPECT_NE(files.Err.find("--ldap goes with --edir"), std::string::npos) << files.Err;
    // The help says where the password comes from instead.
    TCliRun help = Scan({"--help"});
    EXPECT_EQ(help.Status, kExitOk);
    EXPECT_NE(help.Out.find("There is no --password option"), std::string::npos) << help.Out;
}

TEST_F(LdapScanCli, ServerWithoutAclValuesIsRefused) {
    std::string tree = File("bare.json", R"({"format": 1, "trees": [{"name": "BARE_TREE",
        "objects": [{"name": "Bare", "class": "Organization"},
                    {"name": "Joe.Bare", "class": "User"}]}]})");
    TLdapServer server;
    TROVALEN_START_LDAP(server, tree, "");
    TCliRun run = Scan({"--ldap", server.Uri(), "--edir", ".Joe.Bare"});
    EXPECT_EQ(run.Status, kExitUsage);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "trovalen-scan: BARE_TREE (" + server.Uri() +
                           ") does not publish ACL values; effective rights cannot be computed\n");
}

TEST_F(LdapScanCli, SeveralAddressesAreTriedInTurnHungOnesIncluded) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), std::string("--tree ") + kTree);
    TSocket silent(true), closed(false);
    ASSERT_TRUE(silent.Ok() && closed.Ok());
    TCliRun run = Scan({"--ldap", silent.Uri() + " " + closed.Uri() + " " + server.Uri(),
                        "--timeout", "1", "--edir", ".Admin.Corvale"});
    EXPECT_EQ(run.Status, kExitOk) << run.Err;
    EXPECT_NE(run.Out.find("Effective Trustee:"), std::string::npos) << run.Out;
}

// The scan of many entries, with a shell job that does something to the server as soon as the
// first entry starts (the troubleshooting log says so on standard error).
TCliRun ScanAndMeanwhile(LdapScanCli& test, TLdapServer& server, const std::string& action,
                         const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--ldap", server.Uri(), "--timeout", "2", "--debug", "--edir"};
    args.insert(args.end(), extra.begin(), extra.end());
    // Long enough that the server is gone well before the last entry, however fast a scan is:
    // once it is gone the rest end at once.
    for (int i = 0; i < 1000; ++i)
        args.insert(args.end(), kObjects.begin(), kObjects.end());
    const std::string pid = ShellQuoted((server.Dir() / "srv" / "slapd.pid").string());
    const std::string err = ShellQuoted((test.Dir() / "err").string());
    return RunCli(TROVALEN_SCAN_EXE, args, test.Dir(),
                  "exec </dev/null; export TROVALEN_TREE= TROVALEN_LDAP_PASSWORD=; "
                  "( for i in $(seq 400); do grep -q 'TV: Check Object' " +
                      err + " 2>/dev/null && break; sleep 0.05; done; kill -" + action + " $(cat " +
                      pid + ") ) >/dev/null 2>&1 & ");
}

TEST_F(LdapScanCli, AServerLostOrFrozenMidScanEndsItWithTwoAndKeepsTheReport) {
    for (const std::string action : {"KILL", "STOP"}) {
        SCOPED_TRACE(action);
        TLdapServer server;
        TROVALEN_START_LDAP(server, SampleTree(), std::string("--tree ") + kTree);
        const std::string report = File("report.txt", "the report of last quarter\n");
        const auto started = std::chrono::steady_clock::now();
        TCliRun run = ScanAndMeanwhile(*this, server, action, {"-o", report});
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - started)
                                 .count();
        if (action == "STOP")
            kill(std::stoi(trovalen::testing::ReadAll(server.Dir() / "srv" / "slapd.pid")),
                 SIGCONT);
        EXPECT_EQ(run.Status, kExitUsage)
            << run.Err.substr(run.Err.size() > 2000 ? run.Err.size() - 2000 : 0);
        EXPECT_NE(run.Err.find("trovalen-scan: the scan ended after "), std::string::npos);
        EXPECT_NE(run.Err.find("was lost"), std::string::npos);
        EXPECT_NE(run.Err.find(report + " is unchanged"), std::string::npos);
        EXPECT_EQ(trovalen::testing::ReadAll(report), "the report of last quarter\n");
        // Not one wait of the time limit per later request: hundreds of them are left.
        EXPECT_LT(seconds, 60) << "the scan went on waiting on a dead server";
    }
}

TEST_F(LdapScanCli, OddNamesAndAclValuesAreReadStrictlyOrSaid) {
    // Loaded with the tree: names with dots and a multi-valued name, and ACL values as a
    // directory may hold them, spelt oddly or malformed.
    const std::string extra = File("odd.ldif", R"(dn: cn=j.smith,ou=Sales,o=Corvale
objectClass: inetOrgPerson
objectClass: organizationalPerson
objectClass: person
objectClass: ndsLoginProperties
objectClass: top
cn: j.smith

dn: cn=dot.and.more.dots,ou=Sales,o=Corvale
objectClass: inetOrgPerson
objectClass: organizationalPerson
objectClass: person
objectClass: ndsLoginProperties
objectClass: top
cn: dot.and.more.dots
securityEquals: cn=j.smith,ou=Sales,o=Corvale

dn: cn=multi+sn=x9,ou=Sales,o=Corvale
objectClass: inetOrgPerson
objectClass: organizationalPerson
objectClass: person
objectClass: ndsLoginProperties
objectClass: top
cn: multi
sn: x9
securityEquals: cn=j.smith,ou=Sales,o=Corvale

dn: ou=Sales,o=Corvale
ACL: 16#subtree#cn=j.smith,ou=Sales,o=Corvale#[Entry Rights]
ACL: 1#entry#[public]#[ENTRY RIGHTS]
ACL: 2#entry#CN=MARA,OU=SALES,O=CORVALE#[Entry Rights]
ACL: 16#subtree#cn=Vero,ou=Research,o=Corvale#[Entry Rights]#extra
ACL: -1#entry#[Public]#[Entry Rights]
ACL: 4#weird#[Public]#[Entry Rights]
)");
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(),
                        std::string("--tree ") + kTree + " --add " + ShellQuoted(extra));

    TCliRun run = Scan({"--ldap", server.Uri(), "--edir", ".Sales.Corvale"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    // [public] is [Public], [ENTRY RIGHTS] the entry rights; MARA is Mara.
    EXPECT_NE(run.Out.find("\t[Public]\t[Entry Rights]"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("[public]"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("MARA"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("#"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("[ENTRY RIGHTS]"), std::string::npos) << run.Out;
    // Names holding dots are trustees in their escaped form, directly and through security
    // equivalence.
    EXPECT_NE(run.Out.find("\t.j\\.smith.Sales.Corvale\t[Entry Rights]"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\t.dot\\.and\\.more\\.dots.Sales.Corvale\t[Entry Rights]"),
              std::string::npos)
        << run.Out;
    // Every value refused is said, and so is the name the client cannot represent.
    EXPECT_EQ(trovalen::U_CountOf(run.Err, "trovalen-scan: .Sales.Corvale: incomplete: "), 1)
        << run.Err;
    for (const char* said :
         {"four fields separated by \"#\" expected", "the privileges are no 32-bit number",
          "neither entry nor subtree", "multi-valued"})
        EXPECT_NE(run.Err.find(said), std::string::npos) << said << "\n" << run.Err;
    EXPECT_EQ(run.Err.find("j.smith"), std::string::npos) << run.Err;
}

// A server that offers no ACL of [Root] (as a real directory server does not) leaves out what
// [Root] grants: the scan says so once, in the report's header and on standard error.
TEST_F(LdapScanCli, AnAclOfRootTheServerDoesNotOfferIsSaidOnce) {
    const std::string tree = std::string(TROVALEN_TEST_DATA) + "/rights-edir.json";
    TLdapServer server;
    TROVALEN_START_LDAP(server, tree, "");
    TCliRun run =
        Scan({"--ldap", server.Uri(), "--edir", ".Printer1.SALES.ACME", ".Joe.SALES.ACME"});
    EXPECT_EQ(run.Status, kExitOk) << run.Err;
    const std::string note = "the ACL of [Root] cannot be read over LDAP from " + server.Uri() +
                             ": rights granted there are missing unless the server computes "
                             "effective rights";
    EXPECT_EQ(trovalen::U_CountOf(run.Err, note), 1) << run.Err;
    EXPECT_EQ(trovalen::U_CountOf(run.Out, "Note:      " + note + "\n"), 1) << run.Out;

    // The sample tree's server offers it: no note.
    TLdapServer sample;
    TROVALEN_START_LDAP(sample, SampleTree(), std::string("--tree ") + kTree);
    TCliRun whole = Scan({"--ldap", sample.Uri(), "--edir", ".Sales.Corvale"});
    EXPECT_EQ(whole.Out.find("Note:      the ACL of [Root]"), std::string::npos);
}

TEST_F(LdapScanCli, ABindThatNeedsProtectionSaysHowToGetIt) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(),
                        std::string("--tree ") + kTree + " --protected-binds");
    const std::string password = File("password", server.Password() + "\n");
    TCliRun run = Scan({"--ldap", server.Uri(), "--bind-dn", server.AdminDn(), "--password-file",
                        password, "--edir", ".Sales.Corvale"});
    EXPECT_EQ(run.Status, kExitUsage) << run.Err;
    EXPECT_EQ(run.Err, "trovalen-scan: the LDAP server " + server.Uri() +
                           " takes this bind only over a protected connection: use ldaps:// or "
                           "--starttls\n");
}

TEST_F(LdapScanCli, PartOfTheTreeOnAnotherServerStopsTheScan) {
    // A referral to another server (a closed port on this machine: it is never contacted).
    TSocket closed(false);
    ASSERT_TRUE(closed.Ok());
    const std::string extra = File("referral.ldif", "dn: ou=Remote,o=Corvale\n"
                                                    "objectClass: referral\n"
                                                    "objectClass: extensibleObject\n"
                                                    "ou: Remote\n"
                                                    "ref: " +
                                                        closed.Uri() + "/ou=Remote,o=Corvale\n");
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(),
                        std::string("--tree ") + kTree + " --add " + ShellQuoted(extra));
    const std::string report = File("report.txt", "kept\n");
    TCliRun run = Scan({"--ldap", server.Uri(), "--edir", "-o", report, ".Sales.Corvale"});
    EXPECT_EQ(run.Status, kExitUsage) << run.Err;
    EXPECT_NE(run.Err.find("is held by " + closed.Uri() + "/ou=Remote,o=Corvale"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("; it was not read"), std::string::npos) << run.Err;
    EXPECT_EQ(trovalen::testing::ReadAll(report), "kept\n");
}

// Reads what the program writes on its terminal until it shows text or ends; false after ten
// seconds without either.
bool ReadTerminal(int master, std::string& seen, const std::string& until) {
    char buf[512];
    while (until.empty() || seen.find(until) == std::string::npos) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            return false;
        ssize_t n = read(master, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return until.empty(); // EIO once the program has closed the terminal
        seen.append(buf, static_cast<size_t>(n));
    }
    return true;
}

TEST_F(LdapScanCli, AsksForThePasswordOnATerminalWithoutEcho) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), std::string("--tree ") + kTree);
    for (bool right : {true, false}) {
        SCOPED_TRACE(right ? "right password" : "nothing typed");
        fs::path out = FDir / "stdout";
        std::vector<std::string> args = {TROVALEN_SCAN_EXE, "--ldap", server.Uri(),    "--bind-dn",
                                         server.AdminDn(),  "--edir", ".Admin.Corvale"};
        int master = -1;
        pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(child, 0) << std::strerror(errno);
        if (child == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, STDOUT_FILENO);
            unsetenv("TROVALEN_TREE");
            unsetenv("TROVALEN_LDAP_PASSWORD");
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(TROVALEN_SCAN_EXE, argv.data());
            _exit(127);
        }
        std::string seen;
        bool prompted = ReadTerminal(master, seen, "Password for " + server.AdminDn() + ": ");
        std::string typed = (right ? server.Password() : std::string()) + "\n";
        if (prompted) {
            EXPECT_EQ(write(master, typed.data(), typed.size()),
                      static_cast<ssize_t>(typed.size()));
        } else {
            kill(child, SIGKILL);
        }
        EXPECT_TRUE(prompted) << seen;
        EXPECT_TRUE(ReadTerminal(master, seen, ""));
        close(master);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << seen;
        EXPECT_EQ(WEXITSTATUS(status), right ? kExitOk : kExitUsage) << seen;
        EXPECT_EQ(seen.find(server.Password()), std::string::npos) << "the password was echoed";
        if (right) {
            EXPECT_NE(trovalen::testing::ReadAll(out).find("Effective Trustee:"),
                      std::string::npos);
        } else {
            EXPECT_NE(seen.find("no password was given"), std::string::npos) << seen;
        }
    }
}

} // namespace
