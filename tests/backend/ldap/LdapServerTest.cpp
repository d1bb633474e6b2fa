// A tree file exported to LDIF and served by a private slapd: every object, ACL value and
// equivalence arrives, names with the characters a DN or a filter must escape are found exactly,
// searches page past the server's size limit, and bad connections get one clear message.
#include <fstream>
#include <gtest/gtest.h>
#include <set>

#include "LdapServer.h"
#include "backend/ldap/LdapConnection.h"
#include "backend/ldap/LdapNames.h"
#include "backend/sim/SimLoader.h"
#include "convert/LdifExport.h"

using namespace trovalen;
using namespace trovalen::ldap;
using trovalen::ldaptest::TLdapServer;

namespace {

const std::string kSampleTree = std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
constexpr uint32_t kSmallSizeLimit = 5;

size_t CountAcl(const std::vector<TLdapEntry>& entries) {
    size_t n = 0;
    for (const auto& e : entries)
        if (const auto* v = e.Find("ACL"))
            n += v->size();
    return n;
}

TEST(LdapServer, SampleTreeArrivesWholePastTheSizeLimit) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, kSampleTree,
                        "--tree CORVALE_TREE --sizelimit " + std::to_string(kSmallSizeLimit));
    std::string error;
    auto world = sim::LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    const sim::TSimTree& tree = world->Trees[world->FindTree("CORVALE_TREE")];
    size_t aclValues = 0, secEquals = 0;
    for (const auto& o : tree.Objects) {
        aclValues += o.Acl.size();
        secEquals += o.SecurityEquals.size();
    }

    TLdapConnection conn;
    ASSERT_TRUE(conn.Open({server.Uri(), "", "", "", false, 10}, error)) << error;
    conn.SetPageSize(kSmallSizeLimit - 1);
    std::vector<TLdapEntry> entries;
    ASSERT_TRUE(conn.Search("", TLdapScope::Subtree, "(objectClass=*)",
                            {"ACL", "securityEquals", "objectClass"}, entries, error))
        << error;
    EXPECT_EQ(entries.size(), tree.Objects.size() - 1); // [Root] is the root DSE
    EXPECT_GT(conn.Requests(), entries.size() / kSmallSizeLimit);

    std::vector<TLdapEntry> dse;
    ASSERT_TRUE(conn.Search("", TLdapScope::Base, "(objectClass=*)",
                            {"ACL", "directoryTreeName", "namingContexts"}, dse, error))
        << error;
    ASSERT_EQ(dse.size(), 1u);
    ASSERT_NE(dse[0].Find("directoryTreeName"), nullptr);
    EXPECT_EQ(dse[0].Find("directoryTreeName")->at(0), "CORVALE_TREE");
    EXPECT_EQ(CountAcl(entries) + CountAcl(dse), aclValues);

    size_t eq = 0;
    for (const auto& e : entries) {
        if (const auto* v = e.Find("securityEquals"))
            eq += v->size();
        if (const auto* acl = e.Find("ACL"))
            for (const std::string& text : *acl) {
                TLdapAcl parsed;
                EXPECT_TRUE(ParseAclValue(text, parsed, error)) << error;
            }
    }
    EXPECT_EQ(eq, secEquals);

    // Without paging the server stops at its limit: the client must page.
    TLdapConnection plain;
    ASSERT_TRUE(plain.Open({server.Uri(), "", "", "", false, 10}, error)) << error;
    std::vector<TLdapEntry> unpaged;
    plain.SetPageSize(1000);
    EXPECT_TRUE(plain.Search("", TLdapScope::Subtree, "(objectClass=*)", {"1.1"}, unpaged, error))
        << error;
    EXPECT_EQ(unpaged.size(), tree.Objects.size() - 1);
}

TEST(LdapServer, SchemaPublishesTheDirectorysNames) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, kSampleTree, "--tree CORVALE_TREE");
    TLdapConnection conn;
    std::string error;
    ASSERT_TRUE(conn.Open({server.Uri(), "", "", "", false, 10}, error)) << error;
    std::vector<TLdapEntry> schema;
    ASSERT_TRUE(conn.Search("cn=Subschema", TLdapScope::Base, "(objectClass=subschema)",
                            {"attributeTypes", "objectClasses"}, schema, error))
        << error;
    ASSERT_EQ(schema.size(), 1u);
    auto has = [&](const char* attr, const std::string& fragment) {
        for (const std::string& v : *schema[0].Find(attr))
            if (v.find(fragment) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("attributeTypes", "NAME 'securityEquals'"));
    EXPECT_TRUE(has("attributeTypes", "X-NDS_NAME 'Security Equals'"));
    EXPECT_TRUE(has("attributeTypes", "X-NDS_NAME 'Group Membership'"));
    EXPECT_TRUE(has("objectClasses", "X-NDS_NAME 'Organizational Unit'"));
}

// Names holding the characters that DNs and filters must escape are stored and found exactly.
TEST(LdapServer, NamesWithSpecialCharactersAreFoundExactly) {
    TLdapServer server;
    std::string file = (server.Dir() / "odd.json").string();
    {
        std::ofstream f(file);
        f << R"({"format": 1, "trees": [{"name": "ODD", "objects": [
  {"name": "T", "class": "Organization"},
  {"name": "a,b+c.T", "class": "Group"},
  {"name": "(x)*.T", "class": "Group"},
  {"name": "x.T", "class": "Group"},
  {"name": "Åsa Ørn.T", "class": "User", "attributes": {"Security Equals": [".(x)*.T", ".a,b+c.T"]}},
  {"name": "Kit.T", "class": "User", "attributes": {"Security Equals": [".x.T"]}}
]}]})";
    }
    TROVALEN_START_LDAP(server, file, "");
    TLdapConnection conn;
    std::string error;
    ASSERT_TRUE(conn.Open({server.Uri(), "", "", "", false, 10}, error)) << error;

    struct Case {
        std::string Dn;
        std::set<std::string> Equal; // who is security-equal to it
    } cases[] = {
        {FormatDn({{"cn", "(x)*"}, {"o", "T"}}), {"cn=\xC3\x85sa \xC3\x98rn,o=T"}},
        {FormatDn({{"cn", "a,b+c"}, {"o", "T"}}), {"cn=\xC3\x85sa \xC3\x98rn,o=T"}},
        {FormatDn({{"cn", "x"}, {"o", "T"}}), {"cn=Kit,o=T"}},
    };
    for (const auto& c : cases) {
        std::vector<TLdapEntry> found;
        ASSERT_TRUE(conn.Search("", TLdapScope::Subtree,
                                "(securityEquals=" + EscapeFilterValue(c.Dn) + ")", {"1.1"}, found,
                                error))
            << error;
        std::set<std::string> dns;
        for (const auto& e : found)
            dns.insert(e.Dn);
        EXPECT_EQ(dns, c.Equal) << c.Dn;
    }
    // A value that would widen an unescaped filter finds nothing.
    std::vector<TLdapEntry> found;
    ASSERT_TRUE(conn.Search("", TLdapScope::Subtree, "(cn=" + EscapeFilterValue("*") + ")", {"1.1"},
                            found, error));
    EXPECT_TRUE(found.empty());
    ASSERT_TRUE(conn.Search("", TLdapScope::Subtree, "(cn=" + EscapeFilterValue("(x)*") + ")",
                            {"1.1"}, found, error));
    ASSERT_EQ(found.size(), 1u);
    std::vector<TRdn> rdns;
    ASSERT_TRUE(ParseDn(found[0].Dn, rdns, error)) << error;
    EXPECT_EQ(rdns[0].Value, "(x)*");
}

TEST(LdapServer, BadConnectionsGetOneClearMessage) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, kSampleTree, "--tree CORVALE_TREE");
    struct Case {
        TLdapOptions Options;
        std::string Fragment;
    } cases[] = {
        {{server.Uri(), server.AdminDn(), "wrong", "", false, 10}, "refused the credentials"},
        {{"ldap://127.0.0.1:1", "", "", "", false, 2}, "cannot reach"},
        {{"http://x", "", "", "", false, 2}, "no LDAP address"},
        {{server.Uri(), "", "", "", true, 5}, "TLS"},
    };
    for (const auto& c : cases) {
        TLdapConnection conn;
        std::string error;
        EXPECT_FALSE(conn.Open(c.Options, error)) << c.Options.Uri;
        EXPECT_NE(error.find(c.Fragment), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(conn.IsOpen());
    }
    // The administrator binds with the password the server wrote; a missing base is named.
    TLdapConnection admin;
    std::string error;
    ASSERT_TRUE(
        admin.Open({server.Uri(), server.AdminDn(), server.Password(), "", false, 10}, error))
        << error;
    std::vector<TLdapEntry> out;
    EXPECT_FALSE(admin.Search("o=Nowhere", TLdapScope::Subtree, "(objectClass=*)", {}, out, error));
    EXPECT_EQ(admin.LastCode(), ERR_NO_SUCH_OBJECT_LDAP);
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
}

} // namespace

// A server whose pages are smaller than the client asks for refuses the first page; the client
// asks again with smaller pages and reads the whole tree, and keeps the size for later searches.
TEST(LdapServer, APageSizeTheServerRefusesIsAskedAgainSmaller) {
    TLdapServer server;
    TROVALEN_START_LDAP(server, kSampleTree,
                        "--tree CORVALE_TREE --pagelimit " + std::to_string(kSmallSizeLimit));
    std::string error;
    auto world = sim::LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    const size_t objects = world->Trees[world->FindTree("CORVALE_TREE")].Objects.size() - 1;
    TLdapConnection conn;
    ASSERT_TRUE(conn.Open({server.Uri(), "", "", "", false, 10}, error)) << error;
    for (int round = 0; round < 2; ++round) {
        std::vector<TLdapEntry> entries;
        const uint64_t before = conn.Requests();
        ASSERT_TRUE(
            conn.Search("", TLdapScope::Subtree, "(objectClass=*)", {"1.1"}, entries, error))
            << error;
        EXPECT_EQ(entries.size(), objects);
        EXPECT_TRUE(conn.Broken().empty()) << conn.Broken();
        if (round == 1) {
            EXPECT_LE(conn.Requests() - before, objects / 2 + 1)
                << "the second search starts with the size the server took";
        }
    }
}
