// The LDAP client against a private slapd loaded from the sample tree: every eDirectory scan
// through it equals the scan through the simulated client.
#include <fstream>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "LdapServer.h"
#include "backend/ldap/LdapClient.h"
#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/LdifExport.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "rights/ScanSession.h"
#include "util/Util.h"

namespace trovalen {
namespace {

constexpr char kTree[] = "CORVALE_TREE";

std::string SampleTree() {
    return std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
}

// The lines of a pane without the run's date, which differs between two runs.
std::vector<std::string> Lines(const TStringList& pane) {
    std::vector<std::string> out;
    for (const auto& item : pane)
        if (item.Text.rfind("Date:", 0) != 0 && item.Text.rfind("Note:", 0) != 0)
            out.push_back(item.Text);
    return out;
}

bool NotComputedLine(const std::string& line) {
    return line.find(kRightsNotComputedText) != std::string::npos;
}

TScanResult Scan(TNWClient* client, const std::string& entry, bool resolve, bool onlyUsers,
                 const std::string& tree = kTree, TScanRequest request = {}) {
    TScanSession session(client);
    EXPECT_EQ(session.ChooseTree(tree), NW_OK);
    request.Edir = true;
    request.ResolveContainers = resolve;
    request.OnlyUsers = onlyUsers;
    request.VariantName = "Trovalen.edir";
    request.ShowDetails = true;
    request.Entries.Add(entry);
    TScanHost host;
    TScanResult result;
    session.Scan(request, host, result);
    return result;
}

class LdapClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        FSim = MakeSimClient(SampleTree(), error);
        ASSERT_NE(FSim, nullptr) << error;
        // The sample's own injected failures have no LDAP counterpart.
        auto world = std::make_shared<sim::TSimWorld>(FSim->World());
        world->Failures.clear();
        sim::TSimFailure noRights;
        noRights.Operation = sim::TSimOp::EntryEffectiveRights;
        noRights.Code = ERR_RIGHTS_NOT_COMPUTED;
        world->Failures.push_back(noRights);
        FSimNoRights = std::make_shared<TSimClient>(world);
    }

    std::unique_ptr<TLdapClient> Connect(const std::string& uri) {
        TLdapClientOptions options;
        options.Connection.Uri = uri;
        auto client = std::make_unique<TLdapClient>(options);
        std::string error;
        if (!client->Connect(error))
            ADD_FAILURE() << error;
        return client;
    }

    std::vector<std::string> Objects() const {
        std::vector<std::string> out;
        for (const auto& t : FSim->World().Trees)
            if (t.Name == kTree)
                for (const auto& o : t.Objects)
                    if (!o.FullName.empty() && o.FullName != "[Root]")
                        out.push_back("." + o.FullName);
        return out;
    }

    // The top of the tree is Corvale alone, and Sales and Finance are found below it.
    void ExpectOneTopAndEveryPartitionBelowIt(const std::string& uri);

    std::shared_ptr<TSimClient> FSim;
    std::shared_ptr<TSimClient> FSimNoRights; // computes no effective rights, as slapd
};

// A plain LDAP server computes no effective rights, so the scan through it equals the scan
// through a simulated directory that computes none either: the same summary, and the same
// details down to the one line that says so. Against the full simulated directory only the
// steps that use the directory's own answer differ. Servers cap what one search returns: the
// scans are the same with at most 5 entries for a search that does not page, and with pages of
// at most 5 entries (a larger page asked for is refused). A server that holds the tree in
// partitions names their roots, nested ones included, instead of the empty DN: the same again.
TEST_F(LdapClientTest, ScansEqualTheSimulatedClientsOnEveryObject) {
    for (const std::string limits :
         {"", " --sizelimit 5", " --pagelimit 5",
          " --partition 'ou=Sales,o=Corvale' --partition 'ou=Finance,o=Corvale'"}) {
        SCOPED_TRACE("server" + limits);
        ldaptest::TLdapServer server;
        TROVALEN_START_LDAP(server, SampleTree(), "--tree " + std::string(kTree) + limits);
        auto ldap = Connect(server.Uri());
        ASSERT_EQ(ldap->TreeName(), kTree);
        std::vector<std::string> objects = Objects();
        ASSERT_GT(objects.size(), 40u);
        struct TMode {
            bool Resolve;
            bool OnlyUsers;
        };
        for (TMode mode : {TMode{false, false}, TMode{true, false}, TMode{false, true}}) {
            for (const std::string& object : objects) {
                SCOPED_TRACE(object + (mode.Resolve ? " resolve-containers" : "") +
                             (mode.OnlyUsers ? " only-users" : ""));
                TScanResult sim = Scan(FSimNoRights.get(), object, mode.Resolve, mode.OnlyUsers);
                TScanResult viaLdap = Scan(ldap.get(), object, mode.Resolve, mode.OnlyUsers);
                EXPECT_TRUE(viaLdap.Broken.empty()) << viaLdap.Broken;
                EXPECT_EQ(Lines(viaLdap.Summary), Lines(sim.Summary));
                std::vector<std::string> a = Lines(viaLdap.Details), b = Lines(sim.Details);
                // A server that holds partitions answers a search partition by partition: the
                // details name the same equivalents, in the server's order.
                if (limits.find("--partition") != std::string::npos) {
                    std::sort(a.begin(), a.end());
                    std::sort(b.begin(), b.end());
                }
                EXPECT_EQ(a, b);
                EXPECT_EQ(std::count_if(a.begin(), a.end(), NotComputedLine), 1);
            }
        }
    }
}

// A server that holds partitions names each root as a naming context, a nested one too: the
// top of the tree is still the one top container, and the walk down reaches every partition.
// The walks through the server read the tree ahead and list it from what they read: the subtree
// audit of the whole tree and each trustee's reverse query give, line for line, what they give
// through the simulated directory.
TEST_F(LdapClientTest, WalksThroughTheServerGiveWhatTheSimulatedDirectoryGives) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree " + std::string(kTree));
    auto ldap = Connect(server.Uri());
    std::vector<TScanRequest> walks(1);
    walks[0].Recursive = true;
    for (const char* trustee :
         {".Mara.Sales.Corvale", ".Admin.Corvale", ".Staff.Corvale", ".Sales.Corvale"}) {
        walks.emplace_back().Trustee = trustee;
    }
    size_t audited = 0, reached = 0; // entries listed
    for (const TScanRequest& walk : walks) {
        SCOPED_TRACE(walk.Recursive ? std::string("subtree audit")
                                    : "reverse query " + walk.Trustee);
        TScanResult sim = Scan(FSimNoRights.get(), ".Corvale", false, false, kTree, walk);
        TScanResult viaLdap = Scan(ldap.get(), ".Corvale", false, false, kTree, walk);
        EXPECT_TRUE(viaLdap.Broken.empty()) << viaLdap.Broken;
        EXPECT_TRUE(U_ScanComplete(viaLdap));
        (walk.Recursive ? audited : reached) += viaLdap.Entries.size();
        EXPECT_EQ(Lines(viaLdap.Summary), Lines(sim.Summary));
        EXPECT_EQ(Lines(viaLdap.Details), Lines(sim.Details));
    }
    EXPECT_GT(audited, 40u);
    EXPECT_GT(reached, 0u);
}

TEST_F(LdapClientTest, NestedNamingContextsAreNoTopsOfTheirOwn) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(),
                        "--tree " + std::string(kTree) +
                            " --partition 'ou=Sales,o=Corvale' --partition 'ou=Finance,o=Corvale'");
    ExpectOneTopAndEveryPartitionBelowIt(server.Uri());
}

void LdapClientTest::ExpectOneTopAndEveryPartitionBelowIt(const std::string& uri) {
    auto ldap = Connect(uri);
    TScanSession session(ldap.get());
    ASSERT_EQ(session.ChooseTree(kTree), NW_OK);
    std::string current;
    TStringList containers, objects;
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_EQ(containers.Strings(), std::vector<std::string>{"Corvale"});
    ASSERT_EQ(session.OpenContainer("Corvale"), NW_OK);
    ASSERT_EQ(session.ListContainer(current, containers, objects), NW_OK);
    EXPECT_GE(containers.IndexOf("Sales"), 0) << containers.Text(",");
    EXPECT_GE(containers.IndexOf("Finance"), 0) << containers.Text(",");
}

// The scenario trees of the tests hold names and values the sample does not (names with '&',
// parentheses and other characters, many equivalents, rights on every attribute): every object
// of each scans the same through the test server as through a simulated directory that computes
// no effective rights either. (read-names.json holds no ACL value: the client refuses its
// server, as another test shows.)
TEST_F(LdapClientTest, ScenarioTreesScanTheSameThroughTheServer) {
    for (const char* file : {"rights-allattrs.json", "rights-edir.json", "rights-many-equal.json",
                             "rights-many-own.json", "rights-names.json"}) {
        const std::string path = std::string(TROVALEN_TEST_DATA) + "/" + file;
        std::string error;
        auto loaded = sim::LoadTreeFile(path, error);
        ASSERT_TRUE(loaded) << error;
        for (const sim::TSimTree& tree : loaded->Trees) {
            SCOPED_TRACE(std::string(file) + " " + tree.Name);
            auto world = std::make_shared<sim::TSimWorld>(*loaded);
            world->Failures.clear();
            sim::TSimFailure noRights;
            noRights.Operation = sim::TSimOp::EntryEffectiveRights;
            noRights.Code = ERR_RIGHTS_NOT_COMPUTED;
            world->Failures.push_back(noRights);
            auto simNoRights = std::make_shared<TSimClient>(world);
            NWHandle primary = NO_PRIMARY_CONN;
            InitNetWare(simNoRights.get(), primary);
            ldaptest::TLdapServer server;
            TROVALEN_START_LDAP(server, path, "--tree '" + tree.Name + "'");
            auto ldap = Connect(server.Uri());
            for (const auto& o : tree.Objects) {
                if (o.FullName.empty() || o.FullName == "[Root]")
                    continue;
                SCOPED_TRACE(o.FullName);
                TScanResult sim =
                    Scan(simNoRights.get(), "." + o.FullName, false, false, tree.Name);
                TScanResult viaLdap = Scan(ldap.get(), "." + o.FullName, false, false, tree.Name);
                EXPECT_EQ(Lines(viaLdap.Summary), Lines(sim.Summary));
                EXPECT_EQ(Lines(viaLdap.Details), Lines(sim.Details));
            }
        }
    }
}

#ifdef TROVALEN_EFFECTIVE_PLUGIN
// A directory server that computes effective rights itself (getEffectivePrivileges): slapd with
// a plugin that decodes the client's real request and answers from a table the test writes from
// the full simulated directory's own answers. The scans through it then equal the scans through
// that simulated directory line for line, the raise by the directory's answer and the
// cross-check with it included.
TEST_F(LdapClientTest, AServerThatComputesEffectiveRightsGivesTheFullSimulatedScans) {
    auto world = std::make_shared<sim::TSimWorld>(FSim->World());
    world->Failures.clear(); // the sample's own injected failures have no LDAP counterpart
    auto full = std::make_shared<TSimClient>(world);
    NWHandle primary = NO_PRIMARY_CONN;
    ASSERT_EQ(InitNetWare(full.get(), primary), NW_OK);
    NWHandle ctx = 0;
    ASSERT_EQ(full->NewContext(ctx), NW_OK);
    ASSERT_EQ(U_DSChangeCurrentTreeAndContext(full.get(), ctx, kTree, "[Root]"), NW_OK);
    U_DSSetContextFlags(full.get(), ctx, '+', DCV_TYPELESS_NAMES);

    // Every object, every trustee that could be asked about, every attribute an ACL names.
    const sim::TSimTree& tree = world->Trees[world->FindTree(kTree)];
    const convert::TLdapSchemaNames ldapNames = convert::LdapSchemaNames(world->Schema);
    std::vector<std::pair<std::string, std::string>> attrs = {
        {"[Entry Rights]", "[entry rights]"},
        {"[All Attributes Rights]", "[all attributes rights]"}};
    for (const auto& o : tree.Objects)
        for (const auto& v : o.Acl)
            if (v.Protected >= 0) {
                const std::string& name = world->Schema.Attrs[v.Protected].Name;
                if (std::none_of(attrs.begin(), attrs.end(),
                                 [&](const auto& a) { return a.first == name; }))
                    attrs.emplace_back(name, U_LowerCase(ldapNames.Attrs[v.Protected]));
            }
    std::vector<std::string> subjects = {"[Public]", "[Root]"};
    for (const auto& o : tree.Objects)
        if (!o.FullName.empty() && o.FullName != "[Root]")
            subjects.push_back(o.FullName);
    ldaptest::TLdapServer server;
    const std::string table = (server.Dir() / "rights.tsv").string();
    {
        std::ofstream out(table);
        for (const auto& o : tree.Objects) {
            if (o.FullName.empty() || o.FullName == "[Root]")
                continue;
            for (const std::string& s : subjects)
                for (const auto& [attr, ldapAttr] : attrs) {
                    uint32_t rights = 0;
                    const std::string subject = s[0] == '[' ? s : "." + s;
                    if (full->EntryEffectiveRights(ctx, subject, "." + o.FullName, attr, rights) ==
                        NW_OK)
                        out << U_LowerCase(o.FullName) << '\t' << U_LowerCase(s) << '\t' << ldapAttr
                            << '\t' << rights << '\n';
                }
        }
    }
    full->FreeContext(ctx);
    TROVALEN_START_LDAP(server, SampleTree(),
                        "--tree " + std::string(kTree) + " --plugin '" + TROVALEN_EFFECTIVE_PLUGIN +
                            " trovalen_effective_init " + table + "'");
    auto ldap = Connect(server.Uri());
    for (const std::string& object : Objects()) {
        SCOPED_TRACE(object);
        TScanResult sim = Scan(full.get(), object, false, false);
        TScanResult viaLdap = Scan(ldap.get(), object, false, false);
        EXPECT_FALSE(viaLdap.RightsNotComputed);
        EXPECT_TRUE(viaLdap.Entries.at(0).Incomplete.empty())
            << ::testing::PrintToString(viaLdap.Entries.at(0).Incomplete);
        EXPECT_EQ(Lines(viaLdap.Summary), Lines(sim.Summary));
        EXPECT_EQ(Lines(viaLdap.Details), Lines(sim.Details));
    }
}
#endif

// A value of ACL that is not in its form (as a damaged tree may hold) is shown as it stood,
// control characters made visible, and the analysis of every other value goes on.
TEST_F(LdapClientTest, MalformedAclValueIsShownRawAndTheAnalysisGoesOn) {
    ldaptest::TLdapServer server;
    // The values are loaded with the tree; the client never writes.
    const std::string extra = (server.Dir() / "extra.ldif").string();
    std::ofstream(extra) << "dn: ou=Sales,o=Corvale\n"
                            "ACL: 7#sideways#cn=Mara,ou=Sales,o=Corvale#[Entry Rights]\n"
                            "ACL:: MTYjc3VidHJlZQlAIyNbUHVibGljXQ==\n";
    TROVALEN_START_LDAP(server, SampleTree(), "--tree " + std::string(kTree) + " --add " + extra);

    auto ldap = Connect(server.Uri());
    TScanResult viaLdap = Scan(ldap.get(), ".Mara.Sales.Corvale", false, false);
    TScanResult sim = Scan(FSimNoRights.get(), ".Mara.Sales.Corvale", false, false);
    std::vector<std::string> details = Lines(viaLdap.Details);
    EXPECT_NE(
        std::find(details.begin(), details.end(),
                  "  Unreadable ACL value: 7#sideways#cn=Mara,ou=Sales,o=Corvale#[Entry Rights]"),
        details.end());
    EXPECT_NE(std::find(details.begin(), details.end(),
                        "  Unreadable ACL value: 16#subtree\\x09@##[Public]"),
              details.end());
    EXPECT_EQ(Lines(viaLdap.Summary), Lines(sim.Summary));
    EXPECT_GE(ldap->RejectedValues(), 2u);
}

// The bound user is named as the directory spells the object, not as the DN was typed.
TEST_F(LdapClientTest, BoundUserIsNamedAsTheDirectorySpellsIt) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree " + std::string(kTree));
    TLdapClientOptions options;
    options.Connection.Uri = server.Uri();
    options.Connection.BindDn = server.AdminDn(); // "cn=admin,...": the object is "Admin"
    options.Connection.Password = server.Password();
    TLdapClient ldap(options);
    std::string error;
    ASSERT_TRUE(ldap.Connect(error)) << error;
    NWHandle ctx = 0;
    ASSERT_EQ(ldap.NewContext(ctx), NW_OK);
    ASSERT_EQ(ldap.SetContextValue(ctx, DCK_TREE_NAME, std::string(kTree)), NW_OK);
    ASSERT_EQ(ldap.SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES),
              NW_OK);
    std::string user;
    ASSERT_EQ(ldap.CurrentUserDN(ctx, user), NW_OK);
    EXPECT_EQ(user, "Admin.Corvale");
    EXPECT_EQ(ldap.FreeContext(ctx), NW_OK);
}

TEST_F(LdapClientTest, NamesSummariesAndEffectiveRights) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree " + std::string(kTree));
    auto ldap = Connect(server.Uri());
    NWHandle ctx = 0;
    ASSERT_EQ(ldap->NewContext(ctx), NW_OK);
    ASSERT_EQ(ldap->SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES),
              NW_OK);
    ASSERT_EQ(ldap->SetContextValue(ctx, DCK_NAME_CONTEXT, std::string("Corvale")), NW_OK);
    std::string dn;
    TObjectSummary summary;
    EXPECT_EQ(ldap->ReadObjectSummary(ctx, "Admin", dn, summary), NW_OK);
    EXPECT_EQ(dn, "Admin");
    EXPECT_EQ(summary.ClassName, "User");
    EXPECT_EQ(ldap->ReadObjectSummary(ctx, ".Corvale", dn, summary), NW_OK);
    EXPECT_NE(summary.Flags & DS_CONTAINER_ENTRY, 0u);
    EXPECT_EQ(ldap->ReadObjectSummary(ctx, "Nobody", dn, summary), ERR_NO_SUCH_ENTRY);
    uint32_t rights = 0;
    EXPECT_EQ(ldap->EntryEffectiveRights(ctx, "Admin", ".Corvale", "[Entry Rights]", rights),
              ERR_RIGHTS_NOT_COMPUTED);
    EXPECT_EQ(ldap->ErrorText(ERR_RIGHTS_NOT_COMPUTED), kRightsNotComputedText);
    // No file server is reached over LDAP: the client has no file-server part, and a path is
    // answered as one on a server that is not connected.
    EXPECT_EQ(ldap->FileServer(), nullptr);
    TNWPath path;
    EXPECT_EQ(U_PathToNWPath(ldap.get(), "\\\\FS1\\SYS\\X", path), ERR_NO_CONNECTION);
    {
        TScanSession session(ldap.get());
        EXPECT_EQ(session.MissingFileServers(),
                  "this directory has no file servers: folders and their trustees cannot be "
                  "scanned");
        EXPECT_EQ(session.ResolveFolder("\\\\FS1\\SYS\\X"), ERR_NO_CONNECTION);
    }
    EXPECT_EQ(ldap->FreeContext(ctx), NW_OK);
}

} // namespace
} // namespace trovalen
