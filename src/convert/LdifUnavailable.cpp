// The LDIF export and import where the program is built without the LDAP client: their names
// and schema come from it, so both say plainly that they are not built in.
#include "convert/LdifExport.h"
#include "convert/LdifImport.h"

namespace trovalen::convert {

namespace {

const char kNotBuiltIn[] =
    "LDIF export and import are not built into this program (it was built without the LDAP "
    "client)";

} // namespace

TLdapSchemaNames LdapSchemaNames(const sim::TSimSchema&) { return {}; }

bool ExportLdif(const sim::TSimWorld&, size_t, TLdifExport&, std::string& error) {
    error = kNotBuiltIn;
    return false;
}

bool ImportLdif(std::string_view, const TLdifImportOptions&, TLdifImport&, std::string& error) {
    error = kNotBuiltIn;
    return false;
}

} // namespace trovalen::convert
