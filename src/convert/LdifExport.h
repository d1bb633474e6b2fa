// The directory part of a tree file in the form an LDAP server of the directory serves it: the
// entries as LDIF, the schema (attributes and classes with their directory names as X-NDS_NAME)
// as a slapd schema file, and the root DSE with the tree's name and the ACL values of [Root].
#pragma once

#include <string>
#include <vector>

#include "backend/sim/SimModel.h"

namespace trovalen::convert {

struct TLdifExport {
    std::string Ldif;     // the entries, parents before children
    std::string Schema;   // slapd schema file
    std::string RootDse;  // LDIF of the root DSE (`dn:` with directoryTreeName and [Root]'s ACL)
    std::string Suffixes; // the DNs of the objects right below [Root], one a line
    std::string Skipped;  // one line per value that has no LDAP form here (kept out, not lost)
};

// The LDAP names the export gives the attributes and classes of a schema, by schema index: the
// usual name where one is known, else one made from the directory's name, each unique.
struct TLdapSchemaNames {
    std::vector<std::string> Attrs;
    std::vector<std::string> Classes;
};
TLdapSchemaNames LdapSchemaNames(const sim::TSimSchema& schema);

// Exports tree `tree` of world. Fails (with a message) only when the tree does not exist.
bool ExportLdif(const sim::TSimWorld& world, size_t tree, TLdifExport& out, std::string& error);

} // namespace trovalen::convert
