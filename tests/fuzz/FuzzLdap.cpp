// Distinguished names and ACL values as an LDAP server sends them: parsing never fails badly, a
// name or value the program writes itself reads back as written, and an escaped filter value
// holds none of the characters that could end or widen its comparison.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "util/Util.h"

using namespace trovalen::ldap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view whole(reinterpret_cast<const char*>(data), size);

    std::vector<TRdn> rdns;
    std::string error;
    if (ParseDn(whole, rdns, error)) {
        std::vector<TRdn> again;
        FUZZ_CHECK(ParseDn(FormatDn(rdns), again, error));
        FUZZ_CHECK(again.size() == rdns.size());
        for (size_t i = 0; i < rdns.size(); ++i)
            FUZZ_CHECK(again[i].Value == rdns[i].Value && again[i].Type == rdns[i].Type);
    } else {
        FUZZ_CHECK(!error.empty() && rdns.empty());
    }

    // The key by which answers are told apart: there for every name that reads, the same for
    // the name written again or in capitals, and a name itself that keys to itself.
    const std::string key = DnMatchKey(whole);
    FUZZ_CHECK(key.empty() == rdns.empty());
    if (!key.empty()) {
        FUZZ_CHECK(DnMatchKey(FormatDn(rdns)) == key);
        FUZZ_CHECK(DnMatchKey(key) == key);
        std::vector<TRdn> upper;
        if (ParseDn(trovalen::U_UpperCase(whole), upper, error))
            FUZZ_CHECK(DnMatchKey(trovalen::U_UpperCase(whole)) == key);
    }

    // The whole input as one value of a name: it survives escaping.
    if (!whole.empty() && whole.size() < kMaxDnBytes / 4) {
        std::vector<TRdn> one;
        FUZZ_CHECK(ParseDn(FormatDn({{"cn", std::string(whole)}}), one, error));
        FUZZ_CHECK(one.size() == 1 && one[0].Value == whole);
    }

    TLdapAcl acl;
    if (ParseAclValue(whole, acl, error)) {
        // Read strictly: four fields, pseudo names in the program's spelling, never a subject
        // or attribute that holds an unescaped field separator.
        int separators = 0;
        for (size_t i = 0; i < whole.size(); ++i) {
            if (whole[i] == '\\')
                ++i;
            else if (whole[i] == '#')
                ++separators;
        }
        FUZZ_CHECK(separators == 3);
        FUZZ_CHECK(acl.ProtectedAttr.find('#') == std::string::npos);
        if (acl.Subject[0] == '[')
            FUZZ_CHECK(acl.Subject == "[Public]" || acl.Subject == "[Root]" ||
                       acl.Subject == "[This]" || acl.Subject == "[Self]" ||
                       acl.Subject == "[Creator]" || acl.Subject == "[Inheritance Mask]");
        if (acl.ProtectedAttr[0] == '[')
            FUZZ_CHECK(acl.ProtectedAttr == "[Entry Rights]" ||
                       acl.ProtectedAttr == "[All Attributes Rights]");
        TLdapAcl again;
        FUZZ_CHECK(ParseAclValue(FormatAclValue(acl), again, error));
        FUZZ_CHECK(again.Privileges == acl.Privileges && again.Subtree == acl.Subtree &&
                   again.Subject == acl.Subject && again.ProtectedAttr == acl.ProtectedAttr);
        for (bool entry : {true, false}) {
            TLdapAcl back;
            PrivilegesToLdap(PrivilegesFromLdap(acl, entry), entry, back);
            FUZZ_CHECK(back.Subtree == acl.Subtree);
        }
    }

    // The effective-rights answer a server sends: read or refused, never more; a request the
    // client writes holds its three names, in order, whatever they hold.
    uint32_t rights = 0;
    ParseEffectivePrivileges(whole, rights);
    const size_t third = whole.size() / 3;
    const std::string request = EffectivePrivilegesRequest(
        whole.substr(0, third), whole.substr(third, third), whole.substr(2 * third));
    FUZZ_CHECK(!request.empty());
    FUZZ_CHECK(request.find(whole.substr(2 * third)) != std::string::npos);

    std::string escaped = EscapeFilterValue(whole);
    for (char c : escaped)
        FUZZ_CHECK(c != '(' && c != ')' && c != '*' && c != '\0');
    return 0;
}
