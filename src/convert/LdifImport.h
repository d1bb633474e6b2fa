// A tree file from an LDIF export of a directory's LDAP form, so that a snapshot of a live tree
// can be analysed offline: the entries become objects under their typeless names, object classes
// and attributes get the directory's names, ACL values the tree file's form. What a tree file
// cannot hold is named in Messages, one line each; nothing is dropped without a line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovalen::convert {

struct TLdifImportOptions {
    // The tree's name; empty: the root DSE's directoryTreeName, else the top container's name.
    std::string TreeName;
    // Schema definitions with the directory's names (X-NDS_NAME): a slapd schema file as the
    // export writes it, or an LDIF whose entries carry attributeTypes and objectClasses. The
    // LDIF itself may hold such a subschema entry too.
    std::string SchemaText;
    // The root DSE as export-ldif writes it beside the LDIF (FILE.rootdse): the tree's name and
    // the ACL values of [Root]. Taken when the LDIF itself holds no root DSE entry.
    std::string RootDseText;
};

struct TLdifImport {
    std::string Json; // the tree file
    std::string TreeName;
    size_t Objects = 0;   // objects written, [Root] not counted
    size_t AclValues = 0; // ACL values written
    // What was made up (missing containers, added schema) or left out, one line each.
    std::vector<std::string> Messages;
    // Why the tree file holds less than the LDIF was written with, one line each with the line
    // of the LDIF: an entry given a second time (the first is kept, with every value that names
    // it), a text that ends inside a line or before the closing lines of its export, a count of
    // entries that does not match, a search that ended early. The tree file is whole in itself,
    // but it is no whole snapshot of the tree unless this is empty.
    std::vector<std::string> Losses;
};

// Reads the LDIF and builds the tree file. Fails with one message (the line and what is wrong)
// when the LDIF cannot be read, or when it holds no entry that a tree file can hold. Succeeds
// with Losses when the tree file could be made but lacks part of the LDIF.
bool ImportLdif(std::string_view ldif, const TLdifImportOptions& options, TLdifImport& out,
                std::string& error);

} // namespace trovalen::convert
