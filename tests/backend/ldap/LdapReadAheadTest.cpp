// The LDAP client's read-ahead against a private slapd: what the hints read in few requests
// answers every read and search exactly as the reads themselves would, and a batch that cannot
// be read whole leaves its objects to their own reads, errors and all.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LdapServer.h"
#include "attrinfo/AttrRead.h"
#include "backend/ldap/LdapClient.h"
#include "convert/TreeGenerate.h"
#include "directory/DSFilter.h"
#include "directory/DSRead.h"
#include "rights/ScanSession.h"
#include "util/Util.h"

namespace trovalen {
namespace {

// The client as one that reads nothing ahead: every hint is ignored.
class TNoReadAhead : public TLdapClient {
public:
    using TLdapClient::TLdapClient;
    NWCCODE PrefetchSubtree(NWHandle, const std::string&) override { return NW_OK; }
    NWCCODE PrefetchObjects(NWHandle, const std::vector<std::string>&) override { return NW_OK; }
};

template <class TClient> std::unique_ptr<TClient> Connect(const std::string& uri) {
    TLdapClientOptions options;
    options.Connection.Uri = uri;
    auto client = std::make_unique<TClient>(options);
    std::string error;
    if (!client->Connect(error))
        ADD_FAILURE() << error;
    return client;
}

NWHandle TypelessContext(TNWClient& client) {
    NWHandle ctx = 0;
    EXPECT_EQ(client.NewContext(ctx), NW_OK);
    EXPECT_EQ(client.SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES), NW_OK);
    return ctx;
}

// The lines of a pane without the run's date and notes.
std::vector<std::string> Lines(const TStringList& pane) {
    std::vector<std::string> out;
    for (const auto& item : pane)
        if (item.Text.rfind("Date:", 0) != 0 && item.Text.rfind("Note:", 0) != 0)
            out.push_back(item.Text);
    return out;
}

TScanResult Scan(TNWClient* client, const std::string& tree, const std::string& entry, bool resolve,
                 bool onlyUsers) {
    TScanSession session(client);
    EXPECT_EQ(session.ChooseTree(tree), NW_OK);
    TScanRequest request;
    request.Edir = true;
    request.ResolveContainers = resolve;
    request.OnlyUsers = onlyUsers;
    request.VariantName = "Trovalen.edir";
    request.Entries.Add(entry);
    TScanHost host;
    TScanResult result;
    session.Scan(request, host, result);
    return result;
}

// What reading an object tells: its summary, the values of the attributes an analysis and a
// tree walk read, and who names it in "Security Equals", each with its code.
std::vector<std::string> Answers(TNWClient& client, NWHandle ctx, const std::string& name,
                                 bool equals) {
    std::vector<std::string> out;
    std::string dn;
    TObjectSummary summary;
    NWCCODE code = client.ReadObjectSummary(ctx, name, dn, summary);
    out.push_back(U_Format("%s: %d %s %s %u", name.c_str(), code, dn.c_str(),
                           summary.ClassName.c_str(), summary.Flags));
    for (const char* attr : {"ACL", "Security Equals", "Group Membership", "Object Class"}) {
        TStringList values;
        code = U_DSGetAttribute(&client, ctx, name, attr, values);
        out.push_back(U_Format("  %s: %d %s", attr, code, values.Text("|").c_str()));
    }
    if (equals) {
        TStringList found;
        code = U_DSSearchEqual(&client, ctx, "[Root]", "Security Equals", name, found,
                               DS_SEARCH_SUBTREE);
        out.push_back(U_Format("  equal: %d %s", code, found.Text("|").c_str()));
    }
    out.push_back(client.ErrorText(code));
    return out;
}

// --- A thousand trustees ------------------------------------------------------------------------

constexpr uint32_t kMembers = 1000;
constexpr char kGenTree[] = "GEN_TREE";

class LdapReadAheadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!ldaptest::SlapdInstalled())
            return;
        FServer = new ldaptest::TLdapServer();
        convert::TGenerateOptions o;
        o.Users = 300;
        o.Groups = 5;
        o.Depth = 2;
        o.Fanout = 3;
        o.Dirs = 0;
        o.Trustees = 0;
        o.Members = kMembers;
        o.AssignEach = true;
        const std::string tree = (FServer->Dir() / "tree.json").string();
        std::ofstream(tree) << convert::GenerateTreeJson(o);
        // A trustee whose object is gone: its batch does not return it.
        const std::string extra = (FServer->Dir() / "extra.ldif").string();
        std::ofstream(extra) << "dn: cn=Target,o=Gen\n"
                                "ACL: 6#entry#cn=Gone,ou=Members,o=Gen#[Entry Rights]\n";
        FStarted = FServer->Start(tree, std::string("--tree ") + kGenTree + " --add " + extra,
                                  FStartError);
    }
    static void TearDownTestSuite() {
        delete FServer;
        FServer = nullptr;
    }
    void SetUp() override {
        if (!ldaptest::SlapdInstalled())
            GTEST_SKIP() << "slapd is not installed (scripts/setup installs slapd, ldap-utils)";
        ASSERT_TRUE(FStarted) << FStartError;
    }

    static ldaptest::TLdapServer* FServer;
    static bool FStarted;
    static std::string FStartError;
};

ldaptest::TLdapServer* LdapReadAheadTest::FServer = nullptr;
bool LdapReadAheadTest::FStarted = false;
std::string LdapReadAheadTest::FStartError;

// The scan of an object with a thousand assignments of its own (each assignee security equal
// to a group that is a trustee too, and one assignee that is gone): the same summary and
// details, down to the order of the equivalents, whether the client reads ahead or not; with
// the read-ahead it sends at most 50 requests instead of one search per trustee.
TEST_F(LdapReadAheadTest, AThousandTrusteesScanAlikeWithAndWithoutReadAheadInFewRequests) {
    struct TMode {
        bool Resolve;
        bool OnlyUsers;
    };
    for (TMode mode : {TMode{false, false}, TMode{true, false}, TMode{false, true}}) {
        SCOPED_TRACE(std::string(mode.Resolve ? "resolve-containers" : "") +
                     (mode.OnlyUsers ? "only-users" : ""));
        auto ahead = Connect<TLdapClient>(FServer->Uri());
        auto plain = Connect<TNoReadAhead>(FServer->Uri());
        uint64_t before = ahead->Requests();
        TScanResult a = Scan(ahead.get(), kGenTree, ".Target.Gen", mode.Resolve, mode.OnlyUsers);
        const uint64_t aheadRequests = ahead->Requests() - before;
        before = plain->Requests();
        TScanResult p = Scan(plain.get(), kGenTree, ".Target.Gen", mode.Resolve, mode.OnlyUsers);
        const uint64_t plainRequests = plain->Requests() - before;

        EXPECT_GT(a.Summary.Count(), static_cast<int>(kMembers));
        EXPECT_EQ(Lines(a.Summary), Lines(p.Summary));
        EXPECT_EQ(Lines(a.Details), Lines(p.Details));
        EXPECT_EQ(a.Broken, p.Broken);
        ASSERT_EQ(a.Entries.size(), 1u);
        EXPECT_EQ(a.Entries[0].Incomplete, p.Entries[0].Incomplete);
        EXPECT_GT(plainRequests, kMembers);
        EXPECT_LE(aheadRequests, mode.OnlyUsers ? 100u : 50u) << "without: " << plainRequests;
    }
}

// Named objects read ahead answer as their own reads, names the tree does not hold included;
// a copy of the context made after the hint reads them too, and once the context is freed
// nothing read ahead answers any more.
TEST_F(LdapReadAheadTest, NamedObjectsAnswerAsTheirOwnReadsWhileTheirContextLives) {
    auto ahead = Connect<TLdapClient>(FServer->Uri());
    auto plain = Connect<TNoReadAhead>(FServer->Uri());
    const NWHandle actx = TypelessContext(*ahead);
    const NWHandle pctx = TypelessContext(*plain);
    std::vector<std::string> names{".Everyone.Gen", ".Nobody.Gen", ".Residents.Gen",
                                   ".Nobody.Members.Gen"};
    for (uint32_t i = 0; i < 150; ++i)
        names.push_back(U_Format(".M%05u.Members.Gen", i));
    // The objects known by name first, as an analysis knows its trustees.
    for (const std::string& n : names) {
        std::string dn;
        TObjectSummary s;
        ahead->ReadObjectSummary(actx, n, dn, s);
    }
    EXPECT_EQ(ahead->PrefetchObjects(actx, names), NW_OK);
    NWHandle copy = 0;
    ASSERT_EQ(ahead->CopyContext(actx, copy), NW_OK);
    const uint64_t before = ahead->Requests();
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        // The ACL was not read ahead: asking for it is a read of its own.
        EXPECT_EQ(Answers(*ahead, copy, n, true), Answers(*plain, pctx, n, true));
    }
    // Per name one read of its ACL; the names the tree does not hold are searched for by a
    // filter that matches nothing.
    EXPECT_LE(ahead->Requests() - before, names.size() + 2);
    EXPECT_EQ(ahead->FreeContext(actx), NW_OK);
    const uint64_t freed = ahead->Requests();
    EXPECT_EQ(Answers(*ahead, copy, ".M00001.Members.Gen", true),
              Answers(*plain, pctx, ".M00001.Members.Gen", true));
    EXPECT_GE(ahead->Requests() - freed, 3u);
    ahead->FreeContext(copy);
    plain->FreeContext(pctx);
}

// --- Batches that cannot be read whole ----------------------------------------------------------

// A server that stops any paged search past 60 entries: the first batch of a hundred members
// cannot be read ahead, the rest can; Everyone's equivalents (150) cannot be searched at all.
// Every object answers as its own reads do, the search that runs into the limit with the same
// error once it is asked for, and only then; what the batches did read costs nothing later.
TEST(LdapReadAheadLimitTest, ABatchThatFailsLeavesItsObjectsToTheirOwnReads) {
    ldaptest::TLdapServer server;
    convert::TGenerateOptions o;
    o.Users = 20;
    o.Groups = 3;
    o.Depth = 0;
    o.Dirs = 0;
    o.Trustees = 0;
    o.Members = 150;
    const std::string tree = (server.Dir() / "tree.json").string();
    std::ofstream(tree) << convert::GenerateTreeJson(o);
    TROVALEN_START_LDAP(server, tree, std::string("--tree ") + kGenTree + " --pagedtotal 60");

    auto ahead = Connect<TLdapClient>(server.Uri());
    auto plain = Connect<TNoReadAhead>(server.Uri());
    const NWHandle actx = TypelessContext(*ahead);
    const NWHandle pctx = TypelessContext(*plain);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < 150; ++i)
        names.push_back(U_Format(".M%05u.Members.Gen", i));
    names.push_back(".Everyone.Gen");
    for (const std::string& n : names) {
        std::string dn;
        TObjectSummary s;
        ASSERT_EQ(ahead->ReadObjectSummary(actx, n, dn, s), NW_OK) << n;
    }
    EXPECT_EQ(ahead->PrefetchObjects(actx, names), ERR_NO_CONNECTION);
    EXPECT_EQ(ahead->BrokenReason(), "");
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const uint64_t before = ahead->Requests();
        EXPECT_EQ(Answers(*ahead, actx, names[i], true), Answers(*plain, pctx, names[i], true));
        // The ACL is read in any case. The first hundred members were not read ahead; their
        // equivalents were. The rest were, but not their equivalents, as Everyone's were
        // searched for in their batch.
        const uint64_t sent = ahead->Requests() - before;
        if (i < 100)
            EXPECT_GE(sent, 3u);
        else
            EXPECT_EQ(sent, 2u);
    }
    EXPECT_NE(plain->BrokenReason(), "");
    EXPECT_EQ(ahead->BrokenReason(), plain->BrokenReason());
    ahead->FreeContext(actx);
    plain->FreeContext(pctx);
}

// --- Subtrees -----------------------------------------------------------------------------------

constexpr char kCorvale[] = "CORVALE_TREE";

// Every object below base, each with what it tells.
std::vector<std::string> Walk(TNWClient& client, NWHandle ctx, const std::string& base) {
    TStringList objects;
    EXPECT_EQ(U_DSListTree(&client, ctx, base, objects, true, true, "", 0), NW_OK);
    std::vector<std::string> out;
    if (base != "[Root]")
        objects.Insert(0, base);
    for (const auto& o : objects) {
        out.push_back(o.Text);
        const std::string name = o.Text.substr(o.Value);
        for (std::string& line : Answers(client, ctx, name, false))
            out.push_back(std::move(line));
    }
    return out;
}

// A tree walk over a subtree read ahead answers every listing and every read as the walk
// without it, with no request of its own: below [Root] and below a container, on a server
// that holds the whole tree, one that pages by five, and one that holds partitions.
TEST(LdapSubtreeReadAheadTest, AWalkOverASubtreeReadAheadAnswersAsItsOwnReads) {
    const std::string sample = std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
    for (const std::string limits :
         {"", " --pagelimit 5",
          " --partition 'ou=Sales,o=Corvale' --partition 'ou=Finance,o=Corvale'"}) {
        SCOPED_TRACE("server" + limits);
        ldaptest::TLdapServer server;
        TROVALEN_START_LDAP(server, sample, std::string("--tree ") + kCorvale + limits);
        for (const std::string base : {"[Root]", ".Sales.Corvale"}) {
            SCOPED_TRACE(base);
            auto ahead = Connect<TLdapClient>(server.Uri());
            auto plain = Connect<TNoReadAhead>(server.Uri());
            const NWHandle actx = TypelessContext(*ahead);
            const NWHandle pctx = TypelessContext(*plain);
            std::vector<std::string> expected = Walk(*plain, pctx, base);
            ASSERT_GT(expected.size(), 20u);
            uint64_t before = ahead->Requests();
            ASSERT_EQ(ahead->PrefetchSubtree(actx, base), NW_OK);
            const uint64_t prefetch = ahead->Requests() - before;
            before = ahead->Requests();
            EXPECT_EQ(Walk(*ahead, actx, base), expected);
            EXPECT_EQ(ahead->Requests() - before, 0u) << "read ahead in " << prefetch;
            ahead->FreeContext(actx);
            plain->FreeContext(pctx);
        }
    }
}

// After a subtree read below every top, the searches for who names an object in "Security
// Equals" are answered from it with no request, each as the server answers it, in its order.
// A value the keys cannot match as the server does (here one written with the type's OID)
// leaves them to the server: the object it names is still found.
TEST(LdapSubtreeReadAheadTest, SecurityEqualsSearchesAfterASubtreeReadAnswerAsTheServer) {
    const std::string sample = std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
    for (const bool oidValue : {false, true}) {
        SCOPED_TRACE(oidValue ? "a value with an OID" : "values as the server writes them");
        ldaptest::TLdapServer server;
        std::string options = std::string("--tree ") + kCorvale;
        if (oidValue) {
            const std::string extra = (server.Dir() / "extra.ldif").string();
            std::ofstream(extra) << "dn: cn=Boss,o=Corvale\n"
                                    "securityEquals: 2.5.4.3=Badge Reader,o=Corvale\n";
            options += " --add " + extra;
        }
        TROVALEN_START_LDAP(server, sample, options);
        for (const std::string base : {"[Root]", ".Sales.Corvale"}) {
            SCOPED_TRACE(base);
            auto ahead = Connect<TLdapClient>(server.Uri());
            auto plain = Connect<TNoReadAhead>(server.Uri());
            const NWHandle actx = TypelessContext(*ahead);
            const NWHandle pctx = TypelessContext(*plain);
            TStringList objects;
            ASSERT_EQ(U_DSListTree(plain.get(), pctx, "[Root]", objects, true, true, "", 0), NW_OK);
            ASSERT_EQ(ahead->PrefetchSubtree(actx, base), NW_OK);
            const uint64_t before = ahead->Requests();
            bool bossFound = false;
            for (const auto& o : objects) {
                const std::string name = o.Text.substr(o.Value);
                ASSERT_EQ(ahead->PrefetchObjects(actx, {name}), NW_OK);
                const std::vector<std::string> expected = Answers(*plain, pctx, name, true);
                EXPECT_EQ(Answers(*ahead, actx, name, true), expected);
                if (name == ".Badge Reader.Corvale")
                    bossFound = expected[5].find("Boss.Corvale") != std::string::npos;
            }
            EXPECT_EQ(bossFound, oidValue);
            // Only a subtree below every top answers the searches; the rest is read as before.
            if (base == "[Root]" && !oidValue)
                EXPECT_EQ(ahead->Requests() - before, 0u);
            else
                EXPECT_GT(ahead->Requests() - before, 0u);
            ahead->FreeContext(actx);
            plain->FreeContext(pctx);
        }
    }
}

} // namespace
} // namespace trovalen
