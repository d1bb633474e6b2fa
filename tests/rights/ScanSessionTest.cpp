// The scan session over the simulated client: servers and folders, trees with their kept
// contexts, container browsing and names, scans as the headless front end prints them, and
// every context and connection it makes released again, on every path.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "backend/sim/SimLoader.h"
#include "common/CountingClient.h"
#include "common/SimFixture.h"
#include "directory/DSContext.h"
#include "directory/DSHandles.h"
#include "rights/EffectiveTrustees.h"
#include "rights/ScanOptions.h"
#include "rights/ScanSession.h"
#include "util/Platform.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

const char kTwoTrees[] = R"({
  "format": 1,
  "trees": [
    {"name": "ACME_TREE", "objects": [
      {"name": "[Root]", "class": "Tree Root"},
      {"name": "ACME", "class": "Organization",
       "acl": [{"subject": ".Admin.ACME", "attribute": "[Entry Rights]", "rights": "BCDRAI"}]},
      {"name": "Admin.ACME", "class": "User"},
      {"name": "SALES.ACME", "class": "Organizational Unit"},
      {"name": "EAST.SALES.ACME", "class": "Organizational Unit"},
      {"name": "Joe.SALES.ACME", "class": "User"},
      {"name": "FS1.ACME", "class": "NCP Server"},
      {"name": "FS1_SYS.ACME", "class": "Volume"}
    ]},
    {"name": "OTHER_TREE", "objects": [
      {"name": "O2", "class": "Organization"},
      {"name": "Bob.O2", "class": "User"},
      {"name": "FS2.O2", "class": "NCP Server"},
      {"name": "FS2_VOL1.O2", "class": "Volume"},
      {"name": "FS3.O2", "class": "NCP Server"}
    ]}
  ],
  "servers": [
    {"name": "FS1", "tree": "ACME_TREE", "object": ".FS1.ACME",
     "volumes": [{"name": "SYS", "object": ".FS1_SYS.ACME",
       "trustees": {".Admin.ACME": "RWCEAFMS"},
       "dirs": {"APPS": {"trustees": {".Joe.SALES.ACME": "RWCEF"}, "dirs": {"DATA": {}}}}}]},
    {"name": "FS2", "tree": "OTHER_TREE", "object": ".FS2.O2",
     "volumes": [{"name": "VOL1", "object": ".FS2_VOL1.O2", "dirs": {"X": {}}}]},
    {"name": "FS3", "tree": "OTHER_TREE", "object": ".FS3.O2",
     "volumes": [{"name": "SYS", "dirs": {}}]}
  ],
  "connections": [{"server": "FS1", "user": ".Admin.ACME", "primary": true},
                  {"server": "FS2", "user": ".Bob.O2"},
                  {"server": "FS3", "authenticated": false}]
})";

// The counting client, which can also break in the middle of a scan.
class TCountingClient : public test::TCountingClient {
public:
    using test::TCountingClient::TCountingClient;
    NWCCODE StartDirSearch(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                           uint8_t& searchDir, uint16_t& dirNumber) override {
        if (ThrowOnDirSearch)
            throw std::runtime_error("the wire broke");
        return TSimClient::StartDirSearch(conn, dirHandle, volPath, searchDir, dirNumber);
    }
    NWCCODE PathTrustees(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                         uint32_t& iteration, std::vector<TTrusteeEntry>& entries) override {
        if (ThrowOnTrustees)
            throw std::runtime_error("the trustees broke");
        return TSimClient::PathTrustees(conn, dirHandle, volPath, iteration, entries);
    }

    bool ThrowOnDirSearch = false;
    bool ThrowOnTrustees = false;
};

// Kept contexts in a map, with every keep recorded in order.
class TMapMemory : public TContextMemory {
public:
    std::string RecallContext(const std::string& tree) override {
        auto it = Kept.find(tree);
        return it == Kept.end() ? std::string(kRoot) : it->second;
    }
    void KeepContext(const std::string& tree, const std::string& context) override {
        Kept[tree] = context;
        Keeps.push_back(tree + "=" + context);
    }
    std::map<std::string, std::string> Kept;
    std::vector<std::string> Keeps;
};

class TRecordingHost : public TScanHost {
public:
    void BeginRun() override { ++Begins; }
    void EndRun() override { ++Ends; }
    int Begins = 0, Ends = 0;
};

class ScanSessionTest : public trovalen::testing::SimTest {
protected:
    void SetUp() override {
        mount = std::filesystem::temp_directory_path() /
                ("trovalen-session-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(mount);
        setenv("TROVALEN_MOUNT", mount.c_str(), 1);
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            Messages.push_back(text);
        };
        hooks.BeginBusy = [this] { return ++Busy; };
        hooks.EndBusy = [this](int) { --Busy; };
        FSavedHooks = U_SetUiHooks(hooks);
    }
    void TearDown() override {
        U_SetUiHooks(FSavedHooks);
        SimTest::TearDown();
    }

    // Serves tree-file text, or a file of tests/data, through the counting client; the session
    // starts it.
    void ServeText(const std::string& text) {
        std::string error;
        auto world = sim::LoadTreeText(text, "tree.json", error);
        ASSERT_TRUE(world) << error;
        Counting = std::make_shared<TCountingClient>(world);
        client = Counting;
    }
    void ServeData(const std::string& name) {
        std::string error;
        auto world = sim::LoadTreeFile(std::string(TROVALEN_TEST_DATA) + "/" + name, error);
        ASSERT_TRUE(world) << error;
        Counting = std::make_shared<TCountingClient>(world);
        client = Counting;
    }
    // The primary connection goes with the session, as every other.
    void ExpectNothingLeftOpen() {
        EXPECT_TRUE(Counting->Contexts.empty()) << Counting->Contexts.size() << " contexts open";
        EXPECT_TRUE(Counting->Conns.empty()) << Counting->Conns.size() << " connections open";
        EXPECT_EQ(Counting->ForeignCloses, 0) << "a connection the session never opened";
    }
    static std::vector<std::string> Texts(const TStringList& list) { return list.Strings(); }
    // The pane without its date line, which differs from run to run.
    static std::vector<std::string> Undated(const TStringList& pane) {
        std::vector<std::string> out;
        for (const auto& line : pane)
            if (!U_StartsWith(line.Text, "Date:"))
                out.push_back(line.Text);
        return out;
    }

    std::shared_ptr<TCountingClient> Counting;
    std::vector<std::string> Messages;
    int Busy = 0;

private:
    TUiHooks FSavedHooks;
};

TEST_F(ScanSessionTest, ServersConnectionsAndFolders) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    {
        TScanSession session(Counting.get());
        ASSERT_TRUE(session.Started());
        EXPECT_EQ(session.MissingFileServers(), "") << "a tree file has its file servers";
        EXPECT_NE(session.PrimaryConn(), NO_CONNECTION);
        EXPECT_EQ(session.ConnHandle(), session.PrimaryConn()) << "no server chosen yet";

        TStringList servers;
        ASSERT_EQ(session.ListServers(servers), NW_OK);
        ASSERT_EQ(Texts(servers), (std::vector<std::string>{"FS1", "FS2", "FS3"}));
        EXPECT_EQ(Counting->Contexts.size(), 1u) << "the scan context";

        ASSERT_EQ(session.OpenServer("FS1", servers.Value(0)), NW_OK);
        NWHandle fs1 = session.ConnHandle();
        EXPECT_NE(fs1, NO_CONNECTION);
        EXPECT_TRUE(Counting->Conns.count(fs1));
        EXPECT_EQ(session.ServerName(), "FS1");
        EXPECT_EQ(session.ConnUserName(), "CN=Admin.O=ACME");

        ASSERT_EQ(session.ResolveFolder("\\\\FS1\\SYS\\APPS\\DATA"), NW_OK);
        EXPECT_EQ(session.SelectedPath(), "\\\\FS1\\SYS\\APPS\\DATA");
        EXPECT_EQ(session.ServerName(), "FS1");
        EXPECT_EQ(session.VolumeName(), "SYS");
        EXPECT_NE(session.DirPath().find("DATA"), std::string::npos) << session.DirPath();
        EXPECT_NE(session.ConnHandle(), NO_CONNECTION);

        // The next server closes the connection of the first, not the folder's.
        ASSERT_EQ(session.OpenServer("FS3", servers.Value(2)), NW_OK);
        EXPECT_FALSE(Counting->Conns.count(fs1)) << "the first server's connection is closed";
        EXPECT_EQ(Counting->ForeignCloses, 0);
        EXPECT_EQ(session.ConnUserName(), kNotAuthenticated);
        EXPECT_TRUE(session.VolumeName().empty());

        // A folder that does not resolve keeps the server's connection for the scan.
        NWHandle fs3 = session.ConnHandle();
        EXPECT_NE(session.ResolveFolder("not a path"), NW_OK);
        EXPECT_EQ(session.ConnHandle(), fs3);
        EXPECT_TRUE(session.VolumeName().empty());
    }
    ExpectNothingLeftOpen();
}

TEST_F(ScanSessionTest, EachTreeComesBackInItsKeptContext) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    TMapMemory memory;
    memory.Kept["ACME_TREE"] = ".SALES.ACME";
    {
        TScanSession session(Counting.get(), &memory);
        TStringList trees;
        std::string primary;
        ASSERT_EQ(session.ListTrees(trees, primary), NW_OK);
        EXPECT_EQ(Texts(trees), (std::vector<std::string>{"ACME_TREE", "OTHER_TREE"}));
        EXPECT_EQ(primary, "ACME_TREE");

        ASSERT_EQ(session.ChooseTree("ACME_TREE"), NW_OK);
        EXPECT_TRUE(memory.Keeps.empty()) << "no tree was current before";
        EXPECT_EQ(session.CurrentTree(), "ACME_TREE");
        EXPECT_EQ(session.CurrentContext(), ".SALES.ACME");
        EXPECT_EQ(session.CurrentUser(), "Admin.ACME");
        std::string current;
        TStringList containers, objects;
        ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
        EXPECT_EQ(current, ".SALES.ACME");
        EXPECT_EQ(Texts(containers), (std::vector<std::string>{"[ .. ]", "EAST"}));
        EXPECT_EQ(Texts(objects),
                  (std::vector<std::string>{"Organizational Unit: EAST", "User: Joe"}));

        ASSERT_EQ(session.OpenContainer("EAST"), NW_OK);
        ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
        EXPECT_EQ(session.CurrentContext(), ".EAST.SALES.ACME");

        ASSERT_EQ(session.ChooseTree("OTHER_TREE"), NW_OK);
        EXPECT_EQ(memory.Keeps, std::vector<std::string>{"ACME_TREE=.EAST.SALES.ACME"});
        EXPECT_EQ(session.CurrentContext(), "[Root]") << "a tree never left has nothing kept";
        EXPECT_EQ(session.CurrentUser(), "Bob.O2");
        ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
        EXPECT_EQ(Texts(containers), std::vector<std::string>{"O2"});

        ASSERT_EQ(session.ChooseTree("ACME_TREE"), NW_OK);
        EXPECT_EQ(session.CurrentContext(), ".EAST.SALES.ACME");

        // No name: the current tree's context is kept and nothing else changes.
        memory.Keeps.clear();
        EXPECT_EQ(session.ChooseTree(""), NW_OK);
        EXPECT_EQ(memory.Keeps, std::vector<std::string>{"ACME_TREE=.EAST.SALES.ACME"});
        EXPECT_EQ(session.CurrentTree(), "ACME_TREE");
        EXPECT_EQ(Counting->Contexts.size(), 2u) << "browse and user contexts, made once";
    }
    ExpectNothingLeftOpen();
}

TEST_F(ScanSessionTest, BrowsingUpAndDownAndResolvingNames) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    TScanSession session(Counting.get());
    ASSERT_EQ(session.ChooseTree("ACME_TREE"), NW_OK);
    std::string current;
    TStringList containers, objects;
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_EQ(current, "[Root]");
    EXPECT_EQ(Texts(containers), std::vector<std::string>{"ACME"}) << "no way up from the root";
    ASSERT_FALSE(objects.Empty());
    EXPECT_EQ(objects[0], "[Root]: [Root]");
    EXPECT_EQ(objects.Value(0), static_cast<uint32_t>(kRootEntryPrefix));
    std::string full;
    EXPECT_EQ(session.ResolveObject(objects[0], kRootEntryPrefix, full), NW_OK);
    EXPECT_EQ(full, "[Root]");

    ASSERT_EQ(session.OpenContainer("ACME"), NW_OK);
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_EQ(current, ".ACME");
    EXPECT_EQ(Texts(containers), (std::vector<std::string>{"[ .. ]", "SALES"}));
    ASSERT_EQ(session.OpenContainer("SALES"), NW_OK);
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    int joe = objects.IndexOf("User: Joe");
    ASSERT_GE(joe, 0);
    EXPECT_EQ(session.ResolveObject("User: Joe", static_cast<int>(objects.Value(joe)), full),
              NW_OK);
    EXPECT_EQ(full, ".Joe.SALES.ACME");

    // An object gone since the listing, and list entries too short for their prefix.
    EXPECT_NE(session.ResolveObject("User: Ghost", 6, full), NW_OK);
    EXPECT_TRUE(full.empty());
    EXPECT_NE(session.ResolveObject("User", 6, full), NW_OK);
    EXPECT_TRUE(full.empty());

    ASSERT_EQ(session.OpenContainer(kUpEntry), NW_OK);
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_EQ(current, ".ACME");
    ASSERT_EQ(session.OpenContainer(kUpEntry), NW_OK);
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_EQ(current, "[Root]") << "up from a top-level container is the root";
}

// The session's scan prints what the headless front end printed when it set its contexts up
// itself: a fresh typeless context, the primary connection, the user context at [Root].
TEST_F(ScanSessionTest, ScansEqualTheHeadlessScan) {
    ASSERT_NO_FATAL_FAILURE(ServeData("rights-fs.json"));
    TScanSession session(Counting.get());
    TScanRequest request;
    request.VariantName = "Trovalen.file";
    for (const char* path : {"\\\\FS1\\SYS\\APPS\\DATA", "\\\\FS1\\SYS\\GONE"})
        request.Entries.Add(path);
    TRecordingHost host;
    TScanResult viaSession;
    session.Scan(request, host, viaSession);

    TScanRequest direct = request;
    TNewContext scan(Counting.get());
    U_DSSetContextFlags(client.get(), scan.Handle, '+', DCV_TYPELESS_NAMES);
    direct.ScanContext = scan.Handle;
    direct.ConnHandle = session.PrimaryConn();
    TScanResult viaRun;
    TScanRun(direct, host).Run(viaRun);
    EXPECT_EQ(Undated(viaSession.Summary), Undated(viaRun.Summary));
    EXPECT_EQ(Undated(viaSession.Details), Undated(viaRun.Details));
    EXPECT_GE(viaSession.Summary.IndexOf("Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.ACME"), 0)
        << viaSession.Summary.Text("\n");
    EXPECT_GE(viaSession.Summary.IndexOf("Path: \"\\\\FS1\\SYS\\GONE\" (not found)"), 0);
    EXPECT_EQ(host.Begins, 2);
    EXPECT_EQ(host.Ends, 2);
}

TEST_F(ScanSessionTest, EdirScanEqualsTheHeadlessScan) {
    ASSERT_NO_FATAL_FAILURE(ServeData("rights-edir.json"));
    TScanSession session(Counting.get());
    ASSERT_EQ(session.ChooseTree(session.PrimaryTree()), NW_OK);
    TScanRequest request;
    request.Edir = true;
    request.OnlyUsers = true;
    request.FilterExcl = "admin";
    request.VariantName = "Trovalen.edir";
    request.Entries.Add(".Printer1.SALES.ACME");
    TRecordingHost host;
    TScanResult viaSession;
    session.Scan(request, host, viaSession);
    EXPECT_EQ(request.CurrentTree, "RIGHTS_TREE");

    TScanRequest direct = request;
    TNewContext user(Counting.get());
    TNewContext browse(Counting.get());
    for (const TNewContext* ctx : {&user, &browse}) {
        U_DSChangeCurrentTree(client.get(), ctx->Handle, "RIGHTS_TREE", 0);
        U_DSSetContextFlags(client.get(), ctx->Handle, '+', DCV_TYPELESS_NAMES);
    }
    U_DSChangeCurrentContext(client.get(), user.Handle, "[Root]");
    direct.UserContext = user.Handle;
    direct.BrowseContext = browse.Handle;
    direct.ConnHandle = session.PrimaryConn();
    TScanResult viaRun;
    TScanRun(direct, host).Run(viaRun);
    EXPECT_EQ(Undated(viaSession.Summary), Undated(viaRun.Summary));
    EXPECT_EQ(viaSession.Summary.IndexOf("Effective Trustee:\tUser\t[CRWSA ]\t.Admin.ACME"), -1);
    bool ann = false;
    for (const auto& line : viaSession.Summary)
        ann |= U_StartsWith(line.Text, "Effective Trustee:\tUser\t[CRWSA ]\t.Ann.SALES.ACME");
    EXPECT_TRUE(ann) << viaSession.Summary.Text("\n");
}

// A tree file made from a directory export lists no connection: the session starts without one,
// scans in the file's only tree, and with several trees in the one it is told.
TEST_F(ScanSessionTest, WithoutConnectionsTheOnlyTreeIsScanned) {
    std::string oneTree = kTwoTrees;
    oneTree = oneTree.substr(0, oneTree.find(",\n    {\"name\": \"OTHER_TREE\"")) + "]}";
    struct TCase {
        std::string Text;
        std::string Primary; // the tree chosen without a name
        std::string Tree;    // the tree scanned
        std::string Entry;
    } cases[] = {
        {oneTree, "ACME_TREE", "ACME_TREE", ".ACME"},
        {std::string(kTwoTrees).substr(0, std::string(kTwoTrees).find(",\n  \"servers\"")) + "}",
         "", "OTHER_TREE", ".O2"},
    };
    for (const TCase& c : cases) {
        ASSERT_NO_FATAL_FAILURE(ServeText(c.Text));
        {
            TScanSession session(Counting.get());
            ASSERT_TRUE(session.Started());
            EXPECT_TRUE(Messages.empty()) << Messages.front();
            EXPECT_EQ(session.PrimaryConn(), NO_CONNECTION);
            EXPECT_EQ(session.PrimaryTree(), c.Primary);
            TStringList trees;
            std::string primary;
            session.ListTrees(trees, primary);
            EXPECT_EQ(primary, c.Primary);
            EXPECT_EQ(Texts(trees), c.Primary.empty() ? std::vector<std::string>{}
                                                      : std::vector<std::string>{c.Primary});
            ASSERT_EQ(session.ChooseTree(c.Tree), NW_OK);
            TScanRequest request;
            request.Edir = true;
            request.VariantName = "Trovalen.edir";
            request.Entries.Add(c.Entry);
            TRecordingHost host;
            TScanResult result;
            session.Scan(request, host, result);
            EXPECT_GE(
                result.Summary.IndexOf("Object: \"" + c.Entry + "\" on tree \"" + c.Tree + "\""), 0)
                << result.Summary.Text("\n");
        }
        ExpectNothingLeftOpen();
    }
    // The start-up of the window and the other callers still needs a connection.
    ASSERT_NO_FATAL_FAILURE(ServeText(oneTree));
    NWHandle primary = NO_PRIMARY_CONN;
    EXPECT_EQ(InitNetWare(Counting.get(), primary), ERR_NO_MORE_ENTRIES);
}

TEST_F(ScanSessionTest, ATreeThatCannotBeUsedLeavesNothingOpen) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    {
        TScanSession session(Counting.get());
        EXPECT_NE(session.ChooseTree("NO_SUCH_TREE"), NW_OK);
        EXPECT_EQ(Counting->Contexts.size(), 2u);
        // The early return of a front end: the session goes out of scope here.
    }
    ExpectNothingLeftOpen();
}

// Both front ends ask for a scan through the scan options: every field reaches the request, the
// tree they name is chosen first, and a tree that cannot be used leaves the request untouched.
TEST_F(ScanSessionTest, ScanOptionsBecomeTheRequest) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    {
        TScanSession session(Counting.get());
        TScanOptions options;
        options.Edir = true;
        options.Entries = {".Bob.O2", ".O2"};
        options.ResolveContainers = true;
        options.OnlyUsers = true;
        options.ScanSubDirs = true;
        options.FilterExcl = "adm";
        options.FilterIncl = "b";
        options.VariantName = "Trovalen.edir";
        options.DebugMode = true;
        options.ShowDetails = true;
        options.Source = "tree.json";
        options.Tree = "NO_SUCH_TREE";
        TScanRequest request;
        request.VariantName = "untouched";
        EXPECT_NE(U_ScanRequest(options, session, request), NW_OK);
        EXPECT_EQ(request.VariantName, "untouched");
        EXPECT_TRUE(request.Entries.Empty());

        options.Tree = "OTHER_TREE";
        ASSERT_EQ(U_ScanRequest(options, session, request), NW_OK);
        EXPECT_EQ(session.CurrentTree(), "OTHER_TREE");
        EXPECT_TRUE(request.Edir);
        EXPECT_EQ(Texts(request.Entries), options.Entries);
        EXPECT_TRUE(request.ResolveContainers && request.OnlyUsers && request.ScanSubDirs);
        EXPECT_EQ(request.FilterExcl, "adm");
        EXPECT_EQ(request.FilterIncl, "b");
        EXPECT_EQ(request.VariantName, "Trovalen.edir");
        EXPECT_TRUE(request.DebugMode && request.ShowDetails);
        EXPECT_EQ(request.Source, "tree.json");

        // Without a tree named, the session's current one stays (the window chose it).
        options.Tree.clear();
        options.Entries = {".ACME"};
        ASSERT_EQ(U_ScanRequest(options, session, request), NW_OK);
        EXPECT_EQ(session.CurrentTree(), "OTHER_TREE");
        EXPECT_EQ(Texts(request.Entries), options.Entries);
        TRecordingHost host;
        TScanResult result;
        session.Scan(request, host, result);
        EXPECT_EQ(result.Header.Source, "tree.json");
    }
    ExpectNothingLeftOpen();
}

TEST_F(ScanSessionTest, WithoutAClientEveryOperationSaysSo) {
    ASSERT_NO_FATAL_FAILURE(ServeText(kTwoTrees));
    TScanSession session(nullptr);
    EXPECT_EQ(session.StartCode(), ERR_CLIENT_NOT_STARTED);
    EXPECT_TRUE(Messages.empty()) << "the front end that has no client says why, not the session";
    EXPECT_FALSE(session.Started());
    TStringList list;
    std::string text;
    EXPECT_EQ(session.ListServers(list), ERR_CLIENT_NOT_STARTED);
    EXPECT_EQ(session.OpenServer("FS1", 1), ERR_CLIENT_NOT_STARTED);
    EXPECT_EQ(session.ConnHandle(), NO_CONNECTION);
    EXPECT_EQ(session.ListTrees(list, text), ERR_CLIENT_NOT_STARTED);
    EXPECT_EQ(session.ChooseTree("ACME_TREE"), ERR_CLIENT_NOT_STARTED);
    EXPECT_EQ(session.OpenContainer("ACME"), ERR_CLIENT_NOT_STARTED);
    EXPECT_EQ(session.ResolveObject("User: Joe", 6, text), ERR_CLIENT_NOT_STARTED);
    EXPECT_TRUE(Counting->Contexts.empty());
}

TEST_F(ScanSessionTest, AThrowInsideTheRunStillEndsItAndFreesItsContexts) {
    ASSERT_NO_FATAL_FAILURE(ServeData("rights-fs.json"));
    TScanSession session(Counting.get());
    TScanRequest request;
    request.Entries.Add("\\\\FS1\\SYS\\APPS");
    request.ScanSubDirs = true;
    TRecordingHost host;
    TScanResult result;

    // Before the entries: the exception leaves the run.
    Counting->ThrowOnDirSearch = true;
    EXPECT_THROW(session.Scan(request, host, result), std::runtime_error);
    EXPECT_EQ(host.Begins, 1);
    EXPECT_EQ(host.Ends, 1) << "the host's end comes with the exception";
    EXPECT_EQ(Busy, 0) << "the busy cursor is restored";

    // Inside an entry: the run goes on, and the entry's context copy is freed.
    Counting->ThrowOnDirSearch = false;
    Counting->ThrowOnTrustees = true;
    request.ScanSubDirs = false;
    session.Scan(request, host, result);
    EXPECT_EQ(host.Ends, 2);
    EXPECT_EQ(Busy, 0);
    EXPECT_EQ(Counting->Contexts.size(), 1u) << "only the session's scan context";
    bool failed = false;
    for (const auto& line : result.Summary)
        failed |= U_StartsWith(line.Text, "Error while scanning \"\\\\FS1\\SYS\\APPS\"");
    EXPECT_TRUE(failed) << result.Summary.Text("\n");
}

TEST(HeldHandleTest, AHandleIsReleasedOnceWhereverItIsMoved) {
    std::string error;
    auto world = sim::LoadTreeText(kTwoTrees, "tree.json", error);
    ASSERT_TRUE(world) << error;
    auto counting = std::make_shared<TCountingClient>(world);
    {
        TNewContext a(counting.get());
        ASSERT_TRUE(a.Held);
        NWHandle handle = a.Handle;
        std::vector<TNewContext> moved;
        moved.push_back(std::move(a));
        EXPECT_FALSE(a.Held);
        TNewContext b(counting.get());
        b = std::move(moved.back()); // b's own context is released here
        EXPECT_EQ(counting->Contexts, std::set<NWHandle>{handle});
        b.Free();
        EXPECT_TRUE(counting->Contexts.empty());
        b.Free();
    }
    EXPECT_TRUE(counting->Contexts.empty());
    TContextCopy none(nullptr, 1);
    EXPECT_FALSE(none.Held);
    EXPECT_EQ(none.Code, ERR_CLIENT_NOT_STARTED);
    TOpenConn noConn(counting.get(), 999999);
    EXPECT_FALSE(noConn.Held);
    EXPECT_EQ(noConn.Handle, NO_CONNECTION);
}

} // namespace
