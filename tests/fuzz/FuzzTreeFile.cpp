// Tree files as anyone may have written them: the loader either builds a world or refuses the
// file with one message that names it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "backend/sim/SimLoader.h"

using namespace trovalen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto world = sim::LoadTreeText(text, "fuzz.json", error);
    if (!world && (error.empty() || error.find("fuzz.json") == std::string::npos))
        abort();
    return 0;
}
