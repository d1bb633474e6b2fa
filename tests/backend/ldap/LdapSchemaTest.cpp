// The subschema as a real directory server publishes it: the syntax of an attribute named only
// through the server's ldapSyntaxes or its OID, several names for one attribute, and the ACL
// attributes recognised whatever the server says of them.
#include <gtest/gtest.h>

#include "backend/ldap/LdapSchema.h"
#include "backend/ldap/LdapValues.h"
#include "model/NWClient.h"

using namespace trovalen;
using namespace trovalen::ldap;

namespace {

// Verbatim from the subschema of a directory server of the kind the program reads.
const std::string kAcl = "( 2.16.840.1.113719.1.1.4.1.2 NAME 'ACL' SYNTAX "
                         "2.16.840.1.113719.1.1.5.1.17 X-NDS_NONREMOVABLE '1' "
                         "X-NDS_FILTERED_REQUIRED '1' )";
const std::string kMember = "( 2.5.4.31 NAME ( 'member' 'uniqueMember' ) SYNTAX "
                            "1.3.6.1.4.1.1466.115.121.1.12 X-NDS_NAME 'Member' )";
const std::string kAclSyntax = "( 2.16.840.1.113719.1.1.5.1.17 X-NDS_SYNTAX '17' )";

} // namespace

TEST(LdapSchema, SyntaxesComeFromTheTypeTheServersSyntaxesOrTheOid) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Types, Syntaxes;
        const char* Attr;
        uint32_t Syntax;
        const char* Directory;
    };
    const TCase cases[] = {
        {"ACL through ldapSyntaxes", {kAcl}, {kAclSyntax}, "ACL", SYN_OBJECT_ACL, "ACL"},
        {"ACL through its OID alone", {kAcl}, {}, "ACL", SYN_OBJECT_ACL, "ACL"},
        {"a second name", {kMember}, {}, "uniqueMember", SYN_DIST_NAME, "Member"},
        {"the first name", {kMember}, {}, "member", SYN_DIST_NAME, "Member"},
        {"a syntax the server states for an OID of its own",
         {"( 1.2.3.4 NAME 'badge' SYNTAX 1.2.3.9 )"},
         {"( 1.2.3.9 DESC 'badge' X-NDS_SYNTAX '9' )"},
         "badge",
         SYN_OCTET_STRING,
         "badge"},
        {"the type's own X-NDS_SYNTAX wins",
         {"( 1.2.3.5 NAME 'count' SYNTAX 2.16.840.1.113719.1.1.5.1.17 X-NDS_SYNTAX '8' )"},
         {kAclSyntax},
         "count",
         SYN_INTEGER,
         "count"},
        {"a standard syntax",
         {"( 1.2.3.6 NAME 'flag' SYNTAX 1.3.6.1.4.1.1466.115.121.1.7 )"},
         {},
         "flag",
         SYN_BOOLEAN,
         "flag"},
        {"inheritedACL as a string",
         {"( 2.16.840.1.113719.1.1.4.1.200 NAME 'inheritedACL' SYNTAX "
          "1.3.6.1.4.1.1466.115.121.1.15 USAGE directoryOperation )"},
         {},
         "inheritedACL",
         SYN_OBJECT_ACL,
         "Inherited ACL"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLdapSchema schema;
        schema.Load(c.Types, {}, c.Syntaxes);
        EXPECT_EQ(schema.Skipped(), 0u);
        const TSchemaAttr* a = schema.AttrByLdap(c.Attr);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->Syntax, c.Syntax);
        EXPECT_EQ(a->Directory, c.Directory);
        EXPECT_EQ(schema.AttrByDirectory(c.Directory), a);
    }
}

TEST(LdapSchema, SyntaxDefinitionsWithoutAnOidAreCountedAsSkipped) {
    TLdapSchema schema;
    schema.Load({kAcl}, {}, {"( X-NDS_SYNTAX '17' )", "nonsense", kAclSyntax});
    EXPECT_EQ(schema.Skipped(), 2u);
    ASSERT_NE(schema.AttrByLdap("ACL"), nullptr);
    EXPECT_EQ(schema.AttrByLdap("ACL")->Syntax, SYN_OBJECT_ACL);
}

TEST(LdapEffectivePrivileges, RequestIsThreeOctetStringsAndTheAnswerOneInteger) {
    using namespace std::string_literals;
    EXPECT_EQ(EffectivePrivilegesRequest("o=A", "cn=B", "[Entry Rights]"),
              "\x04\x03o=A\x04\x04"
              "cn=B\x04\x0e[Entry Rights]"s);
    struct TCase {
        std::string Value;
        bool Read;
        uint32_t Rights;
    };
    const TCase cases[] = {
        {"\x02\x01\x05"s, true, 5},
        {"\x02\x02\x01\x00"s, true, 256},
        {"\x02\x01"s, false, 0},     // cut short
        {"\x04\x01\x05"s, false, 0}, // a string, no integer
        {""s, false, 0},
    };
    for (const TCase& c : cases) {
        uint32_t rights = 99;
        EXPECT_EQ(ParseEffectivePrivileges(c.Value, rights), c.Read) << c.Value.size();
        EXPECT_EQ(rights, c.Rights);
    }
}

// Classes are containers where the server marks none as X-NDS_NOT_CONTAINER: the built-in list,
// with domain, country and locality among them; a server's marks decide where it has them.
TEST(LdapSchema, ContainerClassesWithAndWithoutTheServersMarks) {
    TLdapSchema schema;
    schema.Load({}, {"( 0.9.2342.19200300.100.4.13 NAME 'domain' SUP top STRUCTURAL )",
                     "( 2.5.6.2 NAME 'country' SUP top STRUCTURAL )",
                     "( 2.5.6.3 NAME 'locality' SUP top STRUCTURAL )",
                     "( 2.5.6.6 NAME 'person' SUP top STRUCTURAL )",
                     "( 1.2.3.7 NAME 'box' SUP top STRUCTURAL X-NDS_NAME 'Box' )",
                     "( 1.2.3.8 NAME 'leaf' SUP top STRUCTURAL X-NDS_NAME 'Leaf' "
                     "X-NDS_NOT_CONTAINER '1' )"});
    for (const char* container : {"domain", "country", "locality", "box"}) {
        ASSERT_NE(schema.ClassByLdap(container), nullptr) << container;
        EXPECT_TRUE(schema.ClassByLdap(container)->Container) << container;
    }
    for (const char* leaf : {"person", "leaf"}) {
        ASSERT_NE(schema.ClassByLdap(leaf), nullptr) << leaf;
        EXPECT_FALSE(schema.ClassByLdap(leaf)->Container) << leaf;
    }
}
