// Cells with bytes no pane should hold, replayed from fuzzing: the export keeps the cell's whole
// text and its markup intact.
#include "util/Export.h"

#include <gtest/gtest.h>
#include <string>

using namespace trovalen;

TEST(HostileExport, HtmlCellWithNulKeepsItsTextAndClosingTags) {
    const std::string text("line\0\0\0\0\0\0 one\r\nline two", 24);
    TGrid grid(2, 2);
    grid.FixedRows = 1;
    grid.SetCell(0, 0, text);
    grid.SetCell(1, 1, text);
    const std::string inner = std::string("line\0\0\0\0\0\0 one", 14) + "<br>line two";
    EXPECT_EQ(U_HTMLCell(grid, 0, 0), "<td><b>" + inner + "</b></td>");
    EXPECT_EQ(U_HTMLCell(grid, 1, 1), "<td>" + inner + "</td>");
    std::string html = U_GridToHTML(grid);
    EXPECT_NE(html.find("<td><b>" + inner + "</b></td>"), std::string::npos);
}
