#include "backend/ldap/LdapNames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen::ldap {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr uint32_t kMaxPrivilegesDigits = 10;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsDnSpecial(char c) {
    return c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' ||
           c == '=';
}

std::string Printable(std::string_view text) {
    constexpr size_t kShown = 60;
    std::string out;
    for (char c : text.substr(0, kShown)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            out += "\\";
            out += kHexDigits[u >> 4];
            out += kHexDigits[u & 0xF];
        } else {
            out += c;
        }
    }
    if (text.size() > kShown)
        out += "...";
    return out;
}

// Pairs of directory and LDAP names that derivation alone would not give, or that a standard
// LDAP schema spells its own way.
struct TNamePair {
    std::string_view Directory;
    std::string_view Ldap;
};

constexpr std::array kAttrNames{
    TNamePair{"CN", "cn"},
    TNamePair{"O", "o"},
    TNamePair{"OU", "ou"},
    TNamePair{"C", "c"},
    TNamePair{"L", "l"},
    TNamePair{"S", "st"},
    TNamePair{"SA", "street"},
    TNamePair{"Surname", "sn"},
    TNamePair{"Object Class", "objectClass"},
    TNamePair{"Inherited ACL", "inheritedACL"},
    TNamePair{"Description", "description"},
    TNamePair{"See Also", "seeAlso"},
    TNamePair{"Aliased Object Name", "aliasedObjectName"},
    TNamePair{"Internet EMail Address", "mail"},
    TNamePair{"Telephone Number", "telephoneNumber"},
    TNamePair{"Facsimile Telephone Number", "facsimileTelephoneNumber"},
    TNamePair{"Postal Address", "postalAddress"},
    TNamePair{"Postal Code", "postalCode"},
    TNamePair{"Postal Office Box", "postOfficeBox"},
    TNamePair{"Physical Delivery Office Name", "physicalDeliveryOfficeName"},
    TNamePair{"Member", "member"},
    TNamePair{"Role Occupant", "roleOccupant"},
    TNamePair{"Security Equals", "securityEquals"},
    TNamePair{"Group Membership", "groupMembership"},
    TNamePair{"Equivalent To Me", "equivalentToMe"},
    TNamePair{"Login Script", "loginScript"},
    TNamePair{"Full Name", "fullName"},
    TNamePair{"Given Name", "givenName"},
    TNamePair{"Title", "title"},
    TNamePair{"ACL", "ACL"},
    TNamePair{"creatorsName", "ndsCreatorsName"},
    TNamePair{"modifiersName", "ndsModifiersName"},
};

constexpr std::array kClassNames{
    TNamePair{"Top", "top"},
    TNamePair{"Tree Root", "treeRoot"},
    TNamePair{"Country", "country"},
    TNamePair{"Locality", "locality"},
    TNamePair{"Organization", "organization"},
    TNamePair{"Organizational Unit", "organizationalUnit"},
    TNamePair{"Person", "person"},
    TNamePair{"Organizational Person", "organizationalPerson"},
    TNamePair{"User", "inetOrgPerson"},
    TNamePair{"Group", "groupOfNames"},
    TNamePair{"Organizational Role", "organizationalRole"},
    TNamePair{"Alias", "alias"},
};

template <size_t N>
std::string_view ToLdap(const std::array<TNamePair, N>& table, std::string_view name) {
    for (const TNamePair& p : table)
        if (U_SameText(p.Directory, name))
            return p.Ldap;
    return {};
}

template <size_t N>
std::string_view ToDirectory(const std::array<TNamePair, N>& table, std::string_view name) {
    for (const TNamePair& p : table)
        if (U_SameText(p.Ldap, name))
            return p.Directory;
    return {};
}

} // namespace

// --- Distinguished names ------------------------------------------------------------------------

std::string EscapeDnValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        bool edgeBlank = c == ' ' && (i == 0 || i + 1 == value.size());
        if (c == '\0') {
            out += "\\00";
        } else if (IsDnSpecial(c) || edgeBlank || (c == '#' && i == 0)) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

bool ParseDn(std::string_view dn, std::vector<TRdn>& rdns, std::string& error) {
    rdns.clear();
    if (dn.size() > kMaxDnBytes) {
        error = "the distinguished name is longer than " + std::to_string(kMaxDnBytes) + " bytes";
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = "malformed distinguished name \"" + Printable(dn) + "\": " + what;
        rdns.clear();
        return false;
    };
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < dn.size() && dn[i] == ' ')
            ++i;
    };
    skipBlanks();
    if (i == dn.size())
        return true; // the empty DN
    while (true) {
        if (rdns.size() >= kMaxDnParts)
            return fail("more than " + std::to_string(kMaxDnParts) + " parts");
        TRdn rdn;
        skipBlanks();
        size_t typeStart = i;
        while (i < dn.size() &&
               (std::isalnum(static_cast<unsigned char>(dn[i])) || dn[i] == '-' || dn[i] == '.'))
            ++i;
        rdn.Type = std::string(dn.substr(typeStart, i - typeStart));
        if (rdn.Type.empty())
            return fail("a part has no attribute type");
        skipBlanks();
        if (i == dn.size() || dn[i] != '=')
            return fail("\"=\" expected after " + Printable(rdn.Type));
        ++i;
        skipBlanks();
        if (i < dn.size() && (dn[i] == '"' || dn[i] == '#'))
            return fail("quoted and hexadecimal values are not supported");
        size_t keep = 0; // length of the value up to its last escaped or non-blank character
        while (i < dn.size() && dn[i] != ',') {
            char c = dn[i];
            if (c == '\\') {
                if (i + 1 >= dn.size())
                    return fail("a backslash ends the name");
                int hi = HexValue(dn[i + 1]);
                if (hi >= 0) {
                    int lo = i + 2 < dn.size() ? HexValue(dn[i + 2]) : -1;
                    if (lo < 0)
                        return fail("a backslash is followed by one hexadecimal digit");
                    rdn.Value += static_cast<char>(hi * 16 + lo);
                    i += 3;
                } else if (IsDnSpecial(dn[i + 1]) || dn[i + 1] == ' ' || dn[i + 1] == '#') {
                    rdn.Value += dn[i + 1];
                    i += 2;
                } else {
                    return fail("\"\\" + Printable(dn.substr(i + 1, 1)) + "\" is no escape");
                }
                keep = rdn.Value.size();
                continue;
            }
            if (c == '+')
                return fail("multi-valued parts are not supported");
            if (c == '"' || c == ';' || c == '<' || c == '>' || c == '=' || c == '\0')
                return fail("\"" + Printable(dn.substr(i, 1)) + "\" must be escaped");
            rdn.Value += c;
            if (c != ' ')
                keep = rdn.Value.size();
            ++i;
        }
        rdn.Value.resize(keep); // blanks before a separator are not part of the value
        if (rdn.Value.empty())
            return fail("a part has an empty value");
        rdns.push_back(std::move(rdn));
        if (i == dn.size())
            return true;
        ++i; // the comma
        if (i == dn.size())
            return fail("the name ends with a comma");
    }
}

std::string FormatDn(const std::vector<TRdn>& rdns) {
    std::string out;
    for (const TRdn& r : rdns) {
        if (!out.empty())
            out += ',';
        out += r.Type;
        out += '=';
        out += EscapeDnValue(r.Value);
    }
    return out;
}

std::vector<std::string> OutermostDns(const std::vector<std::string>& dns) {
    std::vector<std::vector<TRdn>> parsed(dns.size());
    for (size_t i = 0; i < dns.size(); ++i) {
        std::string ignored;
        ParseDn(dns[i], parsed[i], ignored);
    }
    // Whether inner ends with every part of outer, and has more.
    auto inside = [](const std::vector<TRdn>& inner, const std::vector<TRdn>& outer) {
        if (outer.empty() || inner.size() <= outer.size())
            return false;
        for (size_t k = 0; k < outer.size(); ++k) {
            const TRdn& a = inner[inner.size() - outer.size() + k];
            if (!U_SameText(a.Type, outer[k].Type) || !U_SameText(a.Value, outer[k].Value))
                return false;
        }
        return true;
    };
    std::vector<std::string> out;
    for (size_t i = 0; i < dns.size(); ++i) {
        bool nested = false;
        for (size_t j = 0; j < dns.size() && !nested; ++j)
            nested = j != i && inside(parsed[i], parsed[j]);
        if (!nested)
            out.push_back(dns[i]);
    }
    return out;
}

std::string DnMatchKey(std::string_view dn) {
    std::vector<TRdn> rdns;
    std::string error;
    if (!ParseDn(dn, rdns, error) || rdns.empty())
        return std::string();
    std::string key;
    for (const TRdn& r : rdns) {
        if (!key.empty())
            key += ',';
        key += U_LowerCase(r.Type);
        key += '=';
        const std::string value = U_LowerCase(r.Value);
        const size_t first = value.find_first_not_of(' ');
        const size_t last = value.find_last_not_of(' ');
        std::string kept;
        if (first == std::string::npos)
            kept = " "; // a value of blanks only: one
        for (size_t i = first; first != std::string::npos && i <= last; ++i)
            if (value[i] != ' ' || kept.back() != ' ')
                kept += value[i];
        key += EscapeDnValue(kept);
    }
    return key;
}

std::string EscapeFilterValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            unsigned char u = static_cast<unsigned char>(c);
            out += '\\';
            out += kHexDigits[u >> 4];
            out += kHexDigits[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// --- ACL values ---------------------------------------------------------------------------------

namespace {

// The pseudo trustees and pseudo attributes an ACL value may name, as the program spells them.
constexpr std::string_view kPseudoSubjects[] = {kPublic,  kRoot,       kThis,
                                                "[Self]", "[Creator]", kInheritanceMask};
constexpr std::string_view kPseudoAttributes[] = {kEntryRights, kAllAttributesRights};

// The program's spelling of a bracketed name, compared ignoring case; empty when it is none of
// the names given.
template <size_t N>
std::string_view PseudoName(std::string_view text, const std::string_view (&names)[N]) {
    for (std::string_view name : names)
        if (U_SameText(text, name))
            return name;
    return {};
}

// An attribute description as LDAP writes one: a name (a letter, then letters, digits and
// hyphens) or a numeric OID, with options after ';'.
bool IsAttributeDescription(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 ||
            static_cast<unsigned char>(c) >= 0x80)
            if (c != '-' && c != '.' && c != ';')
                return false;
    return true;
}

} // namespace

bool ParseAclValue(std::string_view text, TLdapAcl& acl, std::string& error) {
    acl = TLdapAcl{};
    auto fail = [&](const std::string& what) {
        error = "malformed ACL value \"" + Printable(text) + "\": " + what;
        return false;
    };
    // The fields end at every '#' that no backslash escapes (a DN escapes its own).
    std::vector<std::string_view> fields;
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '#') {
            fields.push_back(text.substr(from, i - from));
            from = i + 1;
        }
    }
    fields.push_back(text.substr(from));
    if (fields.size() != 4)
        return fail("four fields separated by \"#\" expected, " + std::to_string(fields.size()) +
                    " found");
    const std::string_view privileges = fields[0];
    const std::string_view scope = fields[1];
    const std::string_view subject = fields[2];
    const std::string_view prot = fields[3];

    if (privileges.empty() || privileges.size() > kMaxPrivilegesDigits)
        return fail("the privileges are no number");
    uint64_t value = 0;
    auto [end, ec] =
        std::from_chars(privileges.data(), privileges.data() + privileges.size(), value);
    if (ec != std::errc{} || end != privileges.data() + privileges.size() || value > UINT32_MAX)
        return fail("the privileges are no 32-bit number");
    acl.Privileges = static_cast<uint32_t>(value);

    if (U_SameText(scope, kScopeSubtree))
        acl.Subtree = true;
    else if (!U_SameText(scope, kScopeEntry))
        return fail("the scope \"" + Printable(scope) + "\" is neither entry nor subtree");
    if (subject.empty())
        return fail("the subject is empty");
    if (prot.empty())
        return fail("the protected attribute is empty");
    if (subject.front() == '[') {
        std::string_view name = PseudoName(subject, kPseudoSubjects);
        if (name.empty())
            return fail("the subject \"" + Printable(subject) +
                        "\" is no trustee the directory knows");
        acl.Subject = std::string(name);
    } else if (subject.find('=') == std::string_view::npos) {
        return fail("the subject \"" + Printable(subject) + "\" is no distinguished name");
    } else {
        acl.Subject = std::string(subject);
    }
    if (prot.front() == '[') {
        std::string_view name = PseudoName(prot, kPseudoAttributes);
        if (name.empty())
            return fail("the protected attribute \"" + Printable(prot) + "\" is unknown");
        acl.ProtectedAttr = std::string(name);
    } else if (!IsAttributeDescription(prot)) {
        return fail("the protected attribute \"" + Printable(prot) + "\" is no attribute name");
    } else {
        acl.ProtectedAttr = std::string(prot);
    }
    return true;
}

std::string FormatAclValue(const TLdapAcl& acl) {
    return std::to_string(acl.Privileges) + "#" +
           std::string(acl.Subtree ? kScopeSubtree : kScopeEntry) + "#" + acl.Subject + "#" +
           acl.ProtectedAttr;
}

uint32_t PrivilegesFromLdap(const TLdapAcl& acl, bool entryRights) {
    uint32_t rest = acl.Privileges & ~DS_INHERIT_CTL;
    bool bitSet = entryRights ? !acl.Subtree : acl.Subtree;
    return rest | (bitSet ? DS_INHERIT_CTL : 0);
}

void PrivilegesToLdap(uint32_t privileges, bool entryRights, TLdapAcl& acl) {
    bool bitSet = (privileges & DS_INHERIT_CTL) != 0;
    acl.Subtree = entryRights ? !bitSet : bitSet;
    acl.Privileges = privileges & ~DS_INHERIT_CTL;
}

// --- Attribute and class names ------------------------------------------------------------------

std::string_view BuiltInLdapAttrName(std::string_view directoryName) {
    return ToLdap(kAttrNames, directoryName);
}

std::string_view BuiltInLdapClassName(std::string_view directoryName) {
    return ToLdap(kClassNames, directoryName);
}

std::string_view BuiltInDirectoryAttrName(std::string_view ldapName) {
    return ToDirectory(kAttrNames, ldapName);
}

std::string_view BuiltInDirectoryClassName(std::string_view ldapName) {
    return ToDirectory(kClassNames, ldapName);
}

std::string DeriveLdapName(std::string_view directoryName) {
    std::vector<std::string> words(1);
    for (char c : directoryName) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 &&
            static_cast<unsigned char>(c) < 0x80)
            words.back() += c;
        else if (!words.back().empty())
            words.emplace_back();
    }
    std::string out;
    for (std::string& w : words) {
        if (w.empty())
            continue;
        if (out.empty()) {
            bool allUpper = std::none_of(w.begin(), w.end(), [](char c) {
                return std::islower(static_cast<unsigned char>(c)) != 0;
            });
            if (allUpper)
                std::transform(w.begin(), w.end(), w.begin(),
                               [](char c) { return static_cast<char>(std::tolower(c)); });
            else
                w[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(w[0])));
        } else {
            w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        }
        out += w;
    }
    if (out.empty() || std::isalpha(static_cast<unsigned char>(out[0])) == 0)
        out = "nds" + out;
    return out;
}

bool IsLdapDescriptor(std::string_view name) {
    if (name.empty() || std::isalpha(static_cast<unsigned char>(name[0])) == 0 ||
        static_cast<unsigned char>(name[0]) >= 0x80)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u < 0x80 && (std::isalnum(u) != 0 || c == '-');
    });
}

bool IsServerOwnAttr(std::string_view ldapName) {
    static constexpr std::string_view kServerOwn[] = {"structuralObjectClass",
                                                      "createTimestamp",
                                                      "modifyTimestamp",
                                                      "creatorsName",
                                                      "modifiersName",
                                                      "entryDN",
                                                      "entryUUID",
                                                      "entryCSN",
                                                      "hasSubordinates",
                                                      "subschemaSubentry",
                                                      "numSubordinates",
                                                      "subordinateCount",
                                                      "contextCSN",
                                                      "entryTtl",
                                                      "pwdChangedTime"};
    for (std::string_view name : kServerOwn)
        if (U_SameText(name, ldapName))
            return true;
    return false;
}

} // namespace trovalen::ldap
