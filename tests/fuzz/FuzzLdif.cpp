// LDIF as anyone may have written it: the reader gives records or one message with a line, and
// names with their line what the text lacks; an import that succeeds always makes a tree file
// that loads.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "FuzzCheck.h"

#include "backend/sim/SimLoader.h"
#include "convert/LdifImport.h"
#include "convert/LdifReader.h"

using namespace trovalen;
using namespace trovalen::convert;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    convert::TLdifReader reader(text);
    convert::TLdifRecord record;
    size_t records = 0;
    while (reader.Next(record))
        ++records;
    FUZZ_CHECK(records <= size);
    FUZZ_CHECK(reader.Error().empty() || reader.Error().rfind("line ", 0) == 0);
    // Every gap names its line; a text that ends without a line end always has one.
    for (const std::string& gap : reader.Gaps())
        FUZZ_CHECK(gap.rfind("line ", 0) == 0);
    std::string_view body = text.substr(text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
    FUZZ_CHECK(!reader.Error().empty() || body.empty() || body.back() == '\n' ||
               !reader.Gaps().empty());

    TLdifImport imported;
    std::string error;
    if (!ImportLdif(text, {}, imported, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    for (const std::string& loss : imported.Losses)
        FUZZ_CHECK(loss.rfind("line ", 0) == 0);
    auto world = sim::LoadTreeText(imported.Json, "fuzz.json", error);
    if (!world)
        std::fprintf(stderr, "%s\n%s\n", error.c_str(), imported.Json.c_str());
    FUZZ_CHECK(world != nullptr);

    // The same text as the root DSE written beside an LDIF of one entry: refused with one
    // message, or taken with the tree still loading.
    TLdifImportOptions beside;
    beside.RootDseText = std::string(text);
    TLdifImport withRoot;
    if (ImportLdif("dn: o=Fuzz\nobjectClass: organization\no: Fuzz\n", beside, withRoot, error)) {
        FUZZ_CHECK(sim::LoadTreeText(withRoot.Json, "fuzz-root.json", error) != nullptr);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
