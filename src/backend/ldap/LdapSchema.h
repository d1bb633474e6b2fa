// The subschema as a server publishes it: attribute types and object classes (RFC 4512
// definitions) with the directory's own names in X-NDS_NAME, its syntax numbers in X-NDS_SYNTAX
// and X-NDS_NOT_CONTAINER on the classes that hold no objects. Pure logic: no connection.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace trovalen::ldap {

// Bounds that keep a hostile subschema from exhausting the program.
constexpr size_t kMaxSchemaDefinitionBytes = 64 * 1024;
constexpr size_t kMaxSchemaDefinitions = 100000;

// One definition as the server writes it: `( OID NAME 'x' ... X-NDS_NAME 'y' )`.
struct TSchemaDefinition {
    std::string Oid;                // the numeric OID the definition starts with
    std::string Name;               // the first NAME
    std::vector<std::string> Names; // every NAME (`NAME ( 'member' 'uniqueMember' )`)
    std::string DirectoryName;      // X-NDS_NAME, empty when none
    std::string Syntax;             // SYNTAX (OID, without a length bound)
    std::string Sup;                // the first SUP
    int32_t NdsSyntax = -1;         // X-NDS_SYNTAX, -1 when none
    bool NotContainer = false;      // X-NDS_NOT_CONTAINER '1'
};

// Reads one definition; false (with one message) when it is no definition. An attribute type or
// class needs a NAME; an LDAP syntax (`( OID X-NDS_SYNTAX 'N' )`) has none, so with needName
// false a definition without one is read too.
bool ParseSchemaDefinition(std::string_view text, TSchemaDefinition& def, std::string& error,
                           bool needName = true);

struct TSchemaAttr {
    std::string Ldap;
    std::string Directory;
    uint32_t Syntax = 0;
};

struct TSchemaClass {
    std::string Ldap;
    std::string Directory;
    bool Container = false;
};

// The names and syntaxes of a server's attributes and classes, with the built-in table where the
// server publishes no X-NDS_NAME.
class TLdapSchema {
public:
    // Takes the values of attributeTypes, objectClasses and ldapSyntaxes; definitions that cannot
    // be read are left out and counted. An attribute's directory syntax comes from X-NDS_SYNTAX on
    // its type, else from the X-NDS_SYNTAX of the LDAP syntax it names, else from that syntax's
    // OID (the directory's own arc 2.16.840.1.113719.1.1.5.1.N, then the standard LDAP syntaxes).
    // Every NAME of a type maps to it. ACL and inheritedACL are the directory's ACL values
    // whatever the server says of them.
    void Load(const std::vector<std::string>& attributeTypes,
              const std::vector<std::string>& objectClasses,
              const std::vector<std::string>& ldapSyntaxes = {});
    size_t Skipped() const { return FSkipped; }

    // By LDAP name (case ignored); null when the server has no such attribute or class.
    const TSchemaAttr* AttrByLdap(std::string_view ldapName) const;
    const TSchemaClass* ClassByLdap(std::string_view ldapName) const;
    // By the directory's name (case ignored).
    const TSchemaAttr* AttrByDirectory(std::string_view directoryName) const;
    const TSchemaClass* ClassByDirectory(std::string_view directoryName) const;

    // The directory's name of an LDAP attribute or class; the LDAP name itself when unknown.
    std::string DirectoryAttrName(std::string_view ldapName) const;
    std::string DirectoryClassName(std::string_view ldapName) const;
    // The LDAP name of a directory attribute; empty when none is known.
    std::string LdapAttrName(std::string_view directoryName) const;
    std::string LdapClassName(std::string_view directoryName) const;

    const std::vector<TSchemaClass>& Classes() const { return FClasses; }

private:
    std::vector<TSchemaAttr> FAttrs;
    std::vector<TSchemaClass> FClasses;
    std::map<std::string, size_t> FAttrByLdap, FAttrByDir, FClassByLdap, FClassByDir;
    size_t FSkipped = 0;
};

// The directory syntax of an LDAP syntax OID where a server names no X-NDS_SYNTAX: the
// directory's own arc 2.16.840.1.113719.1.1.5.1.N is syntax N; the standard syntaxes map to the
// nearest directory syntax; anything else is a case-ignore string.
uint32_t SyntaxOfLdapOid(std::string_view oid);

} // namespace trovalen::ldap
