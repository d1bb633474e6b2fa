// Saved scan results as anyone may have edited them: the reader refuses with a message or reads a
// result that compares with itself as unchanged, and every output of a comparison can be written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"

#include "rights/ResultCompare.h"
#include "rights/ResultFile.h"

using namespace trovalen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TSavedResult result;
    std::string error;
    if (!U_ParseScanResult(text, result, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    TComparison same;
    FUZZ_CHECK(U_CompareResults(result, result, "a", "a", same, error));
    FUZZ_CHECK(same.Changes.empty());

    TSavedResult empty;
    empty.Edir = result.Edir;
    TComparison gone, come;
    FUZZ_CHECK(U_CompareResults(result, empty, "a", "b", gone, error));
    FUZZ_CHECK(U_CompareResults(empty, result, "b", "a", come, error));
    FUZZ_CHECK(gone.Changes.size() == result.Entries.size());
    for (const TComparison* c : {&gone, &come}) {
        FUZZ_CHECK(!U_ComparisonText(*c).empty());
        FUZZ_CHECK(U_ComparisonGrid(*c).RowCount() >= 1);
        FUZZ_CHECK(!U_ComparisonJson(*c).empty());
    }
    return 0;
}
