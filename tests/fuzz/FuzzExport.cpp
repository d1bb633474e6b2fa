// The export formats' cell handling: whatever a cell holds, the XML is well-formed UTF-8 with
// every markup character escaped, an HTML cell holds no markup of its own, and a comma-separated
// row keeps one field per cell.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "util/Export.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

// Fields of one comma-separated row: a field that starts with a double quote runs to the next
// double quote; any other field runs to the next separator.
size_t CsvFields(std::string_view row, char separator) {
    size_t fields = 1;
    size_t i = 0;
    while (i <= row.size()) {
        if (i < row.size() && row[i] == '"') {
            size_t close = row.find('"', i + 1);
            if (close == std::string_view::npos)
                return 0;
            i = close + 1;
            if (i < row.size() && row[i] != separator)
                return 0;
        } else {
            size_t next = row.find(separator, i);
            if (next == std::string_view::npos)
                break;
            i = next;
        }
        if (i >= row.size())
            break;
        ++fields; // row[i] is the separator
        ++i;
    }
    return fields;
}

// Escaped XML text holds no markup and every "&" starts an entity.
void CheckXmlText(std::string_view s) {
    FUZZ_CHECK(U_ValidUtf8(s) == s);
    FUZZ_CHECK(s.find_first_of("<>\"'") == std::string_view::npos);
    for (size_t p = s.find('&'); p != std::string_view::npos; p = s.find('&', p + 1)) {
        std::string_view rest = s.substr(p);
        FUZZ_CHECK(U_StartsWith(rest, "&amp;") || U_StartsWith(rest, "&lt;") ||
                   U_StartsWith(rest, "&gt;") || U_StartsWith(rest, "&quot;") ||
                   U_StartsWith(rest, "&apos;") || U_StartsWith(rest, "&#"));
    }
    for (unsigned char c : s)
        FUZZ_CHECK(c >= 0x20 || c == '\t' || c == '\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    int cols = in.ConsumeIntegralInRange(1, 4);
    int rows = in.ConsumeIntegralInRange(1, 4);
    TGrid grid(cols, rows);
    grid.FixedRows = in.ConsumeIntegralInRange(-1, 5);
    grid.FixedCols = in.ConsumeIntegralInRange(-1, 5);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            grid.SetCell(c, r, in.ConsumeRandomLengthString(200));
    std::string text = in.ConsumeRemainingBytesAsString();

    CheckXmlText(U_XMLEscape(text));
    std::string cell = U_CellText(text);
    FUZZ_CHECK(!U_EndsWith(cell, "\r") || cell.find('\n') != std::string::npos);
    FUZZ_CHECK(cell.find('\n') == std::string::npos ||
               (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"' &&
                cell.find('"', 1) == cell.size() - 1));

    std::string xml = U_GridToXML(grid);
    FUZZ_CHECK(U_ValidUtf8(xml) == xml);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            std::string html = U_HTMLCell(grid, c, r);
            FUZZ_CHECK(U_StartsWith(html, "<td>") && U_EndsWith(html, "</td>"));
            std::string inner = html.substr(4, html.size() - 9);
            if (U_StartsWith(inner, "<b>") && U_EndsWith(inner, "</b>"))
                inner = inner.substr(3, inner.size() - 7);
            U_Replace(inner, "<br>", "", true, true);
            FUZZ_CHECK(inner.find_first_of("<>") == std::string::npos);
        }
        std::string csv = U_GridRowText(grid, r, ",", true);
        FUZZ_CHECK(CsvFields(csv, ',') == static_cast<size_t>(cols));
        std::string tsv = U_GridRowText(grid, r, "\t", true);
        (void)tsv;
    }
    (void)U_GridToHTML(grid);
    (void)U_GridText(grid, ",", "\r\n", false);
    (void)U_GridTextAll(grid, "\t", "");
    return 0;
}
