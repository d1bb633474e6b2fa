// DNs, filter values, ACL values and names as the LDAP client and the LDIF export write and
// read them: one table of (input, expected) per decoder.
#include <gtest/gtest.h>

#include "backend/ldap/LdapNames.h"
#include "model/RightsModel.h"

using namespace trovalen;
using namespace trovalen::ldap;

namespace {

TEST(LdapDn, EscapedValuesReadBackAsWritten) {
    // Every character a name may hold, and those that a DN must escape.
    const char* const values[] = {
        "Mara",         "Dana (Contractor)",
        "a,b",          "a+b",
        "a=b",          "back\\slash",
        "star*",        "(paren)",
        "#lead",        " lead blank",
        "trail blank ", "semi;colon",
        "quote\"",      "<>",
        "Åsa Ørn 山田", "in#side",
    };
    for (const char* v : values) {
        std::string dn = FormatDn({{"cn", v}, {"ou", "Sales"}, {"o", "Corvale"}});
        std::vector<TRdn> rdns;
        std::string error;
        ASSERT_TRUE(ParseDn(dn, rdns, error)) << dn << ": " << error;
        ASSERT_EQ(rdns.size(), 3u) << dn;
        EXPECT_EQ(rdns[0].Value, v) << dn;
        EXPECT_EQ(rdns[0].Type, "cn");
        EXPECT_EQ(rdns[2].Value, "Corvale");
    }
}

// Answers are handed to the names they name by this key: one DN whatever the case and the
// blanks a server writes, never one for two different names.
TEST(LdapDn, MatchKeysAreOneForOneNameAndTwoForTwo) {
    struct Case {
        const char* Dn;
        const char* Key;
    } cases[] = {
        {"cn=Mara,ou=Sales,o=Corvale", "cn=mara,ou=sales,o=corvale"},
        {"CN=MARA, OU=Sales,O=Corvale", "cn=mara,ou=sales,o=corvale"},
        {"cn=Dana  van   Dijk,o=T", "cn=dana van dijk,o=t"},
        {"cn=\\ Dana\\ ,o=T", "cn=dana,o=t"},
        {"cn=\\ \\ ,o=T", "cn=\\ ,o=t"},
        {"cn=A\\,b\\=x,o=T", "cn=a\\,b\\=x,o=t"},
        {"cn=a,b=x,o=T", "cn=a,b=x,o=t"},
        {"cn=\\C3\\85sa,o=T", "cn=\xC3\x85sa,o=t"},
        {"", ""},
        {"cn=a+sn=b,o=T", ""},
        {"cn=\\zz,o=T", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DnMatchKey(c.Dn), c.Key) << c.Dn;
    EXPECT_NE(DnMatchKey("cn=Mara,o=T"), DnMatchKey("ou=Mara,o=T"));
}

TEST(LdapDn, EscapesTheCharactersThatWouldSplitAName) {
    struct Case {
        const char* Value;
        const char* Escaped;
    } cases[] = {
        {"a,b", "a\\,b"}, {"a+b", "a\\+b"},   {"a=b", "a\\=b"}, {"a\\b", "a\\\\b"}, {"#a", "\\#a"},
        {"a#", "a#"},     {" a ", "\\ a\\ "}, {"(x)*", "(x)*"}, {"Åsa", "Åsa"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeDnValue(c.Value), c.Escaped) << c.Value;
    EXPECT_EQ(EscapeDnValue(std::string_view("a\0b", 3)), "a\\00b");
}

TEST(LdapDn, ReadsServerFormsAndRefusesMalformedNames) {
    struct Good {
        const char* Dn;
        size_t Parts;
        const char* First;
    } good[] = {
        {"", 0, ""},
        {"o=Corvale", 1, "Corvale"},
        {"cn=Mara\\2C x,o=Corvale", 2, "Mara, x"},
        {"CN=Mara, OU=Sales, O=Corvale", 3, "Mara"},
        {"cn=\\C3\\85sa,o=T", 2, "\xC3\x85sa"},
        {"cn=a\\#b,o=T", 2, "a#b"},
        {"2.5.4.3=x,o=T", 2, "x"},
    };
    for (const auto& g : good) {
        std::vector<TRdn> rdns;
        std::string error;
        ASSERT_TRUE(ParseDn(g.Dn, rdns, error)) << g.Dn << ": " << error;
        EXPECT_EQ(rdns.size(), g.Parts) << g.Dn;
        if (g.Parts > 0) {
            EXPECT_EQ(rdns[0].Value, g.First) << g.Dn;
        }
    }
    const std::string bad[] = {
        "cn",           "=x",       "cn=",     "cn=x,",    "cn=x,,o=T",
        "cn=a+sn=b",    "cn=a\\",   "cn=a\\4", "cn=a\\zz", "cn=\"quoted\"",
        "cn=#04024869", "cn=a;o=T", "cn=a=b",  "cn=a<b",   std::string("cn=a\0b", 6),
    };
    for (const std::string& b : bad) {
        std::vector<TRdn> rdns;
        std::string error;
        EXPECT_FALSE(ParseDn(b, rdns, error)) << b;
        EXPECT_FALSE(error.empty()) << b;
        EXPECT_TRUE(rdns.empty()) << b;
    }
    std::string huge(kMaxDnBytes + 1, 'a');
    std::vector<TRdn> rdns;
    std::string error;
    EXPECT_FALSE(ParseDn("cn=" + huge, rdns, error));
    std::string many;
    for (size_t i = 0; i <= kMaxDnParts; ++i)
        many += (i ? ",cn=" : "cn=") + std::to_string(i);
    EXPECT_FALSE(ParseDn(many, rdns, error));
    EXPECT_NE(error.find("parts"), std::string::npos);
}

TEST(LdapFilter, ValuesCannotBreakOrWidenTheSearch) {
    struct Case {
        std::string Value, Escaped;
    } cases[] = {
        {"Mara", "Mara"},
        {"*", "\\2a"},
        {"a)(objectClass=*", "a\\29\\28objectClass=\\2a"},
        {"back\\slash", "back\\5cslash"},
        {std::string("nul\0x", 5), "nul\\00x"},
        {"cn=Dana (Contractor),ou=Sales", "cn=Dana \\28Contractor\\29,ou=Sales"},
        {"Åsa", "Åsa"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeFilterValue(c.Value), c.Escaped) << c.Value;
}

TEST(LdapAcl, RealTreeValuesMapToTheProgramsPrivileges) {
    struct Case {
        const char* Text;
        const char* Subject;
        const char* Protected;
        uint32_t Ldap;    // privileges as the value carries them
        uint32_t Program; // with the program's inheritance bit
    } cases[] = {
        // entry rights: subtree = inherited = bit clear
        {"16#subtree#cn=admin,o=services#[Entry Rights]", "cn=admin,o=services", "[Entry Rights]",
         16, 16},
        {"2#entry#[Public]#sssActiveServerList", "[Public]", "sssActiveServerList", 2, 2},
        {"1#entry#[Public]#[Entry Rights]", "[Public]", "[Entry Rights]", 1, 1 | DS_INHERIT_CTL},
        // attribute rights: subtree = inherited = bit set
        {"12#subtree#[This]#nsimHint", "[This]", "nsimHint", 12, 12 | DS_INHERIT_CTL},
        {"35#subtree#cn=x,ou=Users,o=T#[All Attributes Rights]", "cn=x,ou=Users,o=T",
         "[All Attributes Rights]", 35, 35 | DS_INHERIT_CTL},
        // high flag bits survive; a DN subject may hold '#'
        {"2147483679#subtree#cn=a\\#b,o=T#[Entry Rights]", "cn=a\\#b,o=T", "[Entry Rights]",
         2147483679u, 2147483679u & ~DS_INHERIT_CTL},
        {"4294967295#entry#[Root]#acl", "[Root]", "acl", 4294967295u,
         4294967295u & ~DS_INHERIT_CTL},
    };
    for (const auto& c : cases) {
        TLdapAcl acl;
        std::string error;
        ASSERT_TRUE(ParseAclValue(c.Text, acl, error)) << c.Text << ": " << error;
        EXPECT_EQ(acl.Subject, c.Subject) << c.Text;
        EXPECT_EQ(acl.ProtectedAttr, c.Protected) << c.Text;
        EXPECT_EQ(acl.Privileges, c.Ldap) << c.Text;
        bool entry = std::string_view(c.Protected) == kEntryRights;
        uint32_t program = PrivilegesFromLdap(acl, entry);
        EXPECT_EQ(program, c.Program) << c.Text;
        // And back: the program's word gives the same scope and the same other bits.
        TLdapAcl back;
        PrivilegesToLdap(program, entry, back);
        EXPECT_EQ(back.Subtree, acl.Subtree) << c.Text;
        EXPECT_EQ(back.Privileges, acl.Privileges & ~DS_INHERIT_CTL) << c.Text;
    }
}

TEST(LdapAcl, MalformedValuesAreRefusedWithTheirText) {
    const char* bad[] = {
        "",
        "16",
        "16#subtree",
        "16#subtree#x",
        "x#subtree#[Public]#[Entry Rights]",
        "-1#entry#[Public]#[Entry Rights]",
        "4294967296#entry#[Public]#[Entry Rights]",
        "16#tree#[Public]#[Entry Rights]",
        "16#entry##[Entry Rights]",
        "16#entry#[Public]#",
        "99999999999#entry#[Public]#[Entry Rights]",
        " 16#entry#[Public]#[Entry Rights]",
    };
    for (const char* b : bad) {
        TLdapAcl acl;
        std::string error;
        EXPECT_FALSE(ParseAclValue(b, acl, error)) << b;
        EXPECT_NE(error.find("malformed ACL value"), std::string::npos) << b;
    }
}

TEST(LdapNames, DirectoryAndLdapNamesMapBothWays) {
    struct Case {
        const char* Directory;
        const char* Ldap;
        bool IsClass;
    } cases[] = {
        {"Security Equals", "securityEquals", false},
        {"Group Membership", "groupMembership", false},
        {"Login Script", "loginScript", false},
        {"CN", "cn", false},
        {"User", "inetOrgPerson", true},
        {"Organizational Unit", "organizationalUnit", true},
        {"Group", "groupOfNames", true},
    };
    for (const auto& c : cases) {
        if (c.IsClass) {
            EXPECT_EQ(BuiltInLdapClassName(c.Directory), c.Ldap);
            EXPECT_EQ(BuiltInDirectoryClassName(c.Ldap), c.Directory);
            EXPECT_EQ(BuiltInDirectoryClassName(std::string(c.Ldap) + "x"), "");
        } else {
            EXPECT_EQ(BuiltInLdapAttrName(c.Directory), c.Ldap);
            EXPECT_EQ(BuiltInDirectoryAttrName(c.Ldap), c.Directory);
        }
    }
    struct Derived {
        const char* Directory;
        const char* Ldap;
    } derived[] = {
        {"App:Copy Files", "appCopyFiles"},
        {"NDSPKI:Key Material", "ndspkiKeyMaterial"},
        {"Legacy Blob", "legacyBlob"},
        {"2nd Name", "nds2ndName"},
        {"", "nds"},
        {"Åsa Name", "saName"},
    };
    for (const auto& d : derived) {
        EXPECT_EQ(DeriveLdapName(d.Directory), d.Ldap) << d.Directory;
        EXPECT_TRUE(IsLdapDescriptor(DeriveLdapName(d.Directory))) << d.Directory;
    }
    EXPECT_FALSE(IsLdapDescriptor("1abc"));
    EXPECT_FALSE(IsLdapDescriptor("a b"));
    EXPECT_FALSE(IsLdapDescriptor(""));
}

TEST(LdapNames, TheServersOwnAttributesAreKnownWhateverTheirCase) {
    EXPECT_TRUE(IsServerOwnAttr("modifyTimestamp"));
    EXPECT_TRUE(IsServerOwnAttr("ENTRYUUID"));
    EXPECT_TRUE(IsServerOwnAttr("numsubordinates"));
    EXPECT_FALSE(IsServerOwnAttr("cn"));
    EXPECT_FALSE(IsServerOwnAttr("securityEquals"));
    EXPECT_FALSE(IsServerOwnAttr("modifyTimestamps"));
}

} // namespace
