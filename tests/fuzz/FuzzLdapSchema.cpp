// What an LDAP server sends the client reads: subschema definitions and attribute values of every
// syntax. Reading never fails badly: either a result or one message.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"

#include "backend/ldap/LdapSchema.h"
#include "backend/ldap/LdapValues.h"

using namespace trovalen;
using namespace trovalen::ldap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view whole(reinterpret_cast<const char*>(data), size);
    std::string error;

    TSchemaDefinition def;
    if (!ParseSchemaDefinition(whole, def, error))
        FUZZ_CHECK(!error.empty());
    else
        FUZZ_CHECK(!def.Name.empty());
    // An LDAP syntax has an OID and no NAME.
    if (ParseSchemaDefinition(whole, def, error, false))
        FUZZ_CHECK(!def.Oid.empty());
    else
        FUZZ_CHECK(!error.empty());
    TLdapSchema schema;
    schema.Load({std::string(whole)}, {std::string(whole)}, {std::string(whole)});
    FUZZ_CHECK(schema.Skipped() <= 3);

    TValueMaps maps;
    maps.Dn = [](std::string_view dn, std::string& name) {
        name = std::string(dn);
        return !dn.empty();
    };
    maps.Attr = [](std::string_view n) { return std::string(n); };
    maps.Class = [](std::string_view n) { return std::string(n); };
    for (uint32_t syntax = 0; syntax <= SYN_COUNT; ++syntax) {
        TAttrValue value;
        error.clear();
        if (!ValueFromLdap(syntax, "Attr", whole, maps, value, error))
            FUZZ_CHECK(!error.empty());
        else
            FUZZ_CHECK(value.Syntax == syntax);
    }
    uint32_t seconds = 0;
    ParseGeneralizedTime(whole, seconds);
    return 0;
}
