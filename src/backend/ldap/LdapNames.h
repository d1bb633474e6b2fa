// How the directory shows itself over LDAP: distinguished names (RFC 4514) and the program's
// typeless dotted names, filter values (RFC 4515), ACL values `privileges#scope#subject#protected`,
// and the LDAP names of the directory's attributes and classes. Pure logic: no connection.
//
// Every parser here reads what a server or a file wrote: it bounds-checks, never throws, and says
// what is wrong in one message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovalen::ldap {

// Bounds that keep a hostile answer or file from exhausting the program.
constexpr size_t kMaxDnBytes = 16 * 1024;
constexpr size_t kMaxDnParts = 256;

// One relative distinguished name with a single value: `cn=Mara`.
struct TRdn {
    std::string Type;  // as written (`cn`, `OU`)
    std::string Value; // unescaped UTF-8
};

// Escapes an attribute value for a DN: `,` `+` `"` `\` `<` `>` `;` `=`, a leading `#` or blank,
// a trailing blank and NUL get a backslash (NUL as `\00`).
std::string EscapeDnValue(std::string_view value);
// Splits a DN into its RDNs, most specific first. Values may be escaped by a backslash and a
// character or two hex digits; quoted and `#`-hex values are refused, as are multi-valued RDNs.
// The empty DN has no RDNs.
bool ParseDn(std::string_view dn, std::vector<TRdn>& rdns, std::string& error);
// The DN of rdns, escaped.
std::string FormatDn(const std::vector<TRdn>& rdns);
// The DNs of the list that lie inside no other of it (types and values compared ignoring case),
// in list order; a DN that cannot be read lies inside none.
std::vector<std::string> OutermostDns(const std::vector<std::string>& dns);

// A DN in the form two DNs that a server takes for one share: types and values ignoring case,
// runs of blanks in a value as one, blanks around a value not at all. Empty when the DN cannot
// be read. A server with matching rules of its own may still take two DNs for one that this
// tells apart; never the other way round for the names of a tree, whose values ignore case.
std::string DnMatchKey(std::string_view dn);

// Escapes a value for a search filter: `*`, `(`, `)`, `\` and NUL as `\2a` `\28` `\29` `\5c`
// `\00`, so that no value can break out of its comparison or widen it.
std::string EscapeFilterValue(std::string_view value);

// --- ACL values ---------------------------------------------------------------------------------

// The scopes of an ACL value.
inline constexpr std::string_view kScopeEntry = "entry";
inline constexpr std::string_view kScopeSubtree = "subtree";

// One ACL value as LDAP writes it.
struct TLdapAcl {
    uint32_t Privileges = 0;   // as the value carries it (no inheritance bit of the program's)
    bool Subtree = false;      // scope: passed on to the objects below
    std::string Subject;       // a DN or a pseudo-trustee in brackets
    std::string ProtectedAttr; // `[Entry Rights]`, `[All Attributes Rights]` or an LDAP name
};

// Reads `privileges#scope#subject#protected` strictly, as the directory compares it: exactly four
// fields (a `#` escaped by a backslash, as a DN escapes its own, ends none), privileges a decimal
// 32-bit number, scope `entry` or `subtree`, the subject a DN or a pseudo trustee, the protected
// attribute an attribute name or a pseudo attribute. Pseudo names are taken ignoring case and
// come back in the program's spelling (`[public]` -> `[Public]`). Anything else is refused whole.
bool ParseAclValue(std::string_view text, TLdapAcl& acl, std::string& error);
std::string FormatAclValue(const TLdapAcl& acl);

// The program's privileges word carries inheritance in bit 0x40 (entry rights: clear =
// inherited; attribute rights: set = inherited); LDAP carries it in the scope. Every other bit is
// kept as it stands.
uint32_t PrivilegesFromLdap(const TLdapAcl& acl, bool entryRights);
void PrivilegesToLdap(uint32_t privileges, bool entryRights, TLdapAcl& acl);

// --- Attribute and class names ------------------------------------------------------------------

// The usual LDAP name of a directory attribute or class where a server publishes no X-NDS_NAME
// (`Security Equals` -> `securityEquals`, `User` -> `inetOrgPerson`); empty when none is known.
std::string_view BuiltInLdapAttrName(std::string_view directoryName);
std::string_view BuiltInLdapClassName(std::string_view directoryName);
// The reverse: the directory's name of a usual LDAP name, case ignored; empty when unknown.
std::string_view BuiltInDirectoryAttrName(std::string_view ldapName);
std::string_view BuiltInDirectoryClassName(std::string_view ldapName);
// An LDAP descriptor made from a directory name: words joined in lower camel case, letters,
// digits and `-` only, beginning with a letter (`App:Copy Files` -> `appCopyFiles`).
std::string DeriveLdapName(std::string_view directoryName);
// Whether an LDAP descriptor is well formed (a letter, then letters, digits and `-`).
bool IsLdapDescriptor(std::string_view name);
// Whether an attribute is one the LDAP server keeps for itself (timestamps, counts, its own
// identifiers), not the object's data; case ignored.
bool IsServerOwnAttr(std::string_view ldapName);

} // namespace trovalen::ldap
