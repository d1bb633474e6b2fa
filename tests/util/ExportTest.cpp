#include "util/Export.h"

#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

#include "common/ScratchEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace trovalen;
using namespace trovalen::test;

namespace {

// Clipboard and shell launcher are captured, so nothing reaches the desktop.
class ExportTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        previousLauncher = U_SetShellLauncher([this](const TShellCommand& command) {
            launched.push_back(command);
            return launcherResult;
        });
        U_ClipboardSetText("");
    }
    void TearDown() override {
        U_SetShellLauncher(previousLauncher);
        ScratchTest::TearDown();
    }

    std::vector<TShellCommand> launched;
    TShellResult launcherResult{ShellOk, ""};

private:
    TShellLauncher previousLauncher;
};

bool HavePython() {
    return std::system("python3 -c 'import xml.dom.minidom, zipfile' >/dev/null 2>&1") == 0;
}

} // namespace

TEST(SeparatedText, CellsStayOneField) {
    EXPECT_EQ(U_CellText("x\"y\r\nz"), "\"x'y\nz\"");
    EXPECT_EQ(U_CellText("abc\r\n"), "abc") << "a trailing line break goes and needs no quotes";
    EXPECT_EQ(U_CellText("a\r\n\r\n\n"), "a");
    EXPECT_EQ(U_CellText("a\nb"), "\"a\nb\"");
    EXPECT_EQ(U_CellText("say \"hi\""), "say \"hi\"") << "one line: left as it is";
    EXPECT_EQ(U_QuoteMultiLine("ab\r\n", "|", "~", "'", "`"), "ab");
    EXPECT_EQ(U_QuoteMultiLine("ab|\n", "|", "~", "'", "`"), "'ab~'");
    EXPECT_EQ(U_QuoteMultiLine("it's|b", "|", "~", "'", "`"), "'it`s~b'");
}

TEST(SeparatedText, RowsColumnsHeadingsAndSeparators) {
    TGrid grid(3, 3);
    const char* cells[3][3] = {{"", "H1", "H2"}, {"R1", "a", "b,c"}, {"R2", "\"q\"", "x\r\ny"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            grid.SetCell(c, r, cells[r][c]);
    grid.FixedRows = 1;
    grid.FixedCols = 1;
    EXPECT_EQ(U_GridText(grid, "\t", "", false), "a\tb,c\r\n\"q\"\t\"x\ny\"\r\n");
    EXPECT_EQ(U_GridTextAll(grid, "\t", "--"),
              "\tH1\tH2\r\n--\r\nR1\ta\tb,c\r\n--\r\nR2\t\"q\"\t\"x\ny\"\r\n--\r\n");
    // With commas a cell holding a comma or starting with a quote is quoted as well.
    EXPECT_EQ(U_GridRowText(grid, 1, ",", true), "R1,a,\"b,c\"");
    EXPECT_EQ(U_GridRowText(grid, 2, ",", false), "\"'q'\",\"x\ny\"");
    // Tabs inside a cell spread it over columns on purpose: never quoted.
    TGrid tabs(1, 1);
    tabs.SetCell(0, 0, "Joe\tUser");
    EXPECT_EQ(U_GridTextAll(tabs, "\t", ""), "Joe\tUser\r\n");
    // Headings larger than the grid are kept inside it.
    grid.FixedRows = 9;
    grid.FixedCols = -2;
    EXPECT_EQ(U_GridText(grid, "\t", "", false), "");
}

TEST(Html, CellsAreEscapedAndHeadingsBold) {
    TGrid grid(2, 2);
    grid.SetCell(0, 0, "Name");
    grid.SetCell(1, 0, "");
    grid.SetCell(0, 1, "Row");
    grid.SetCell(1, 1, "a<b & 'c' \"d\" >\r\nnext");
    grid.FixedRows = 1;
    grid.FixedCols = 1;
    EXPECT_EQ(U_HTMLCell(grid, 0, 0), "<td><b>Name</b></td>");
    EXPECT_EQ(U_HTMLCell(grid, 1, 0), "<td><br></td>") << "an empty cell, even a heading";
    EXPECT_EQ(U_HTMLCell(grid, 0, 1), "<td><b>Row</b></td>") << "fixed column";
    EXPECT_EQ(U_HTMLCell(grid, 1, 1),
              "<td>a&lt;b &amp; &apos;c&apos; &quot;d&quot; &gt;<br>next</td>");
    std::string html = U_GridToHTML(grid);
    EXPECT_TRUE(U_StartsWith(html, "<html><head><meta charset=\"utf-8\"></head><body>\r\n"
                                   "<table border=1>\r\n<tr>\r\n<td><b>Name</b></td>\r\n"));
    EXPECT_TRUE(U_EndsWith(html, "</tr>\r\n</table>\r\n</body></html>\r\n"));
}

TEST(Xml, RowsCellsAndValues) {
    TGrid one(1, 2);
    one.SetCell(0, 0, "first");
    std::string xml = U_GridToXML(one);
    EXPECT_EQ(xml.find("<cell>"), std::string::npos) << "one column: no cell elements";
    EXPECT_NE(xml.find("<row value=\"0\">\r\n<row>first</row>\r\n</row>\r\n"), std::string::npos);
    EXPECT_NE(xml.find("<row value=\"1\">\r\n<row/>\r\n</row>\r\n"), std::string::npos)
        << "an empty first cell gives the empty element";
    // The head with today's date and time: digits where "9" stands.
    std::string pattern = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                          "<document>\r\n<table rowCount=\"2\" colCount=\"1\" fixedRows=\"0\" "
                          "fixedCols=\"0\" date=\"9999-99-99\" time=\"99:99:99\"/>\r\n";
    ASSERT_GE(xml.size(), pattern.size());
    std::string head = xml.substr(0, pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] == '9' && head[i] >= '0' && head[i] <= '9')
            head[i] = '9';
    EXPECT_EQ(head, pattern);
    EXPECT_TRUE(U_EndsWith(xml, "</row>\r\n</document>\r\n"));

    TGrid two(2, 2);
    two.SetCell(0, 0, "Trustee");
    two.SetCell(1, 0, "Rights");
    two.SetCell(0, 1, "Joe");
    two.SetCell(1, 1, "b\r\na\r\nB");
    xml = U_GridToXML(two);
    EXPECT_NE(xml.find("<cell><col>Rights</col><value index=\"0\">a</value>"
                       "<value index=\"1\">b</value></cell>"),
              std::string::npos)
        << "sorted, the first of equal lines kept";
    EXPECT_NE(xml.find("<cell><col>Trustee</col><value index=\"0\">Joe</value></cell>"),
              std::string::npos);
}

TEST(Xml, CellTextIsEscapedAndTheDocumentWellFormed) {
    if (!HavePython())
        GTEST_SKIP() << "python3 is not available";
    TGrid grid(2, 2);
    grid.SetCell(0, 0, "A&B <x>");
    grid.SetCell(1, 0, "\"q\" 'a'");
    grid.SetCell(0, 1, "Müller</row>");
    grid.SetCell(1, 1, std::string("bad\x01 byte \xFF end"));
    std::string xml = U_GridToXML(grid);
    EXPECT_NE(xml.find("<row>A&amp;B &lt;x&gt;</row>"), std::string::npos);
    EXPECT_EQ(U_XMLEscape("\"'"), "&quot;&apos;");
    std::string file =
        (fs::temp_directory_path() / ("trovalen-xml-" + std::to_string(getpid()) + ".xml"))
            .string();
    std::ofstream(file, std::ios::binary) << xml;
    std::string script = "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
                         "rows = [r for r in d.getElementsByTagName('row') "
                         "if not r.hasAttribute('value')]; "
                         "print('|'.join(r.firstChild.data if r.firstChild else '' for r in rows))";
    std::string out = file + ".out";
    int rc = std::system(("python3 -c \"" + script + "\" '" + file + "' > '" + out + "'").c_str());
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    fs::remove(file);
    fs::remove(out);
    ASSERT_EQ(rc, 0) << "the XML parser refused the document";
    EXPECT_EQ(line, "A&B <x>|Müller</row>");
}

TEST(Spreadsheet, SeparatedTextParsesBackIntoCells) {
    TGrid grid(3, 2);
    grid.SetCell(0, 0, "a");
    grid.SetCell(1, 0, "multi\r\nline \"q\"");
    grid.SetCell(2, 0, "");
    grid.SetCell(0, 1, "last");
    TTextRows rows = U_ParseSeparatedText(U_GridTextAll(grid, "\t", ""));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "multi\nline 'q'", ""}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"last", "", ""}));
    EXPECT_EQ(U_ParseSeparatedText("x\"\"y\t\"a\"\"b\"\nz"),
              (TTextRows{{"x\"\"y", "a\"b"}, {"z"}}));
    EXPECT_TRUE(U_ParseSeparatedText("").empty());
}

TEST_F(ExportTest, FileTargetsFollowTheTargetOrTheExtension) {
    TStringList lines{"Effective Trustee: Admin, ACME", "second\r\n"};
    ASSERT_TRUE(U_ExportStrings(lines, "", Path("report.htm")));
    EXPECT_TRUE(U_StartsWith(Slurp(Path("report.htm")), "<html>"));
    ASSERT_TRUE(U_ExportStrings(lines, "", Path("report.csv")));
    EXPECT_EQ(Slurp(Path("report.csv")), "\"Effective Trustee: Admin, ACME\"\r\nsecond\r\n");
    ASSERT_TRUE(U_ExportStrings(lines, " .csv", Path("report.txt")));
    EXPECT_EQ(Slurp(Path("report.txt")), "Effective Trustee: Admin, ACME\r\nsecond\r\n");
    ASSERT_TRUE(U_ExportStrings(lines, "XML", Path("r")))
        << "three characters are enough for a file name";
    ASSERT_TRUE(U_ExportStrings(TStringList(), "TXT", Path("empty.txt")));
    EXPECT_EQ(Slurp(Path("empty.txt")), "\r\n") << "at least one row";
    // A saved file gets the permissions the user's umask gives, like any other saved file.
    mode_t oldMask = umask(027);
    ASSERT_TRUE(U_ExportStrings(lines, "TXT", Path("masked.txt")));
    umask(oldMask);
    struct stat st {};
    ASSERT_EQ(stat(Path("masked.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(launched.empty());
}

TEST_F(ExportTest, BadTargetsAndFailuresAreReported) {
    TStringList lines{"x"};
    EXPECT_FALSE(U_ExportStrings(lines, "TXT", "a"));
    EXPECT_FALSE(U_ExportStrings(lines, "PDF", Path("x.pdf")));
    EXPECT_FALSE(U_ExportStrings(lines, "", Path("noextension")));
    EXPECT_EQ(messages, (std::vector<std::string>{"Invalid target path", "Invalid target",
                                                  "Invalid target"}));
    EXPECT_FALSE(fs::exists("a"));
    EXPECT_FALSE(U_ExportGrid(nullptr, "TXT", Path("x.txt"), "", "\t"));

    // A file that cannot be written is not passed over in silence.
    messages.clear();
    EXPECT_FALSE(U_ExportStrings(lines, "TXT", Path("missing/x.txt")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(U_StartsWith(messages[0], "Unable to write to " + Path("missing/x.txt")));
    TGrid grid;
    EXPECT_THROW(U_ExportGrid(&grid, "TXT", root.string(), "", "\t"), EExportError);
}

TEST_F(ExportTest, ClipboardTargetNeedsNoFileAndUsesTheHook) {
    std::string copied;
    TClipboardHooks hooks;
    hooks.SetText = [&](const std::string& text) { copied = text; };
    TClipboardHooks previous = U_SetClipboardHooks(hooks);
    EXPECT_TRUE(U_ExportStrings(TStringList{"a", "b\r\n"}, "CLIPBOARD", ""));
    U_SetClipboardHooks(previous);
    EXPECT_EQ(copied, "a\r\nb\r\n");
    EXPECT_TRUE(messages.empty());

    // A clipboard that refuses the text is reported.
    hooks.SetText = [](const std::string&) { throw std::runtime_error("clipboard busy"); };
    previous = U_SetClipboardHooks(hooks);
    EXPECT_FALSE(U_ExportStrings(TStringList{"a"}, "clipboard", ""));
    U_SetClipboardHooks(previous);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("clipboard busy"), std::string::npos);
}

TEST_F(ExportTest, ExcelGetsARealWorkbookInThePrivateFolder) {
    TStringList lines{"Effective Trustee: .Joe.SALES.ACME", "=SUM(A1:A9)", "a\tb"};
    ASSERT_TRUE(U_ExportStrings(lines, "xls", ""));
    EXPECT_EQ(U_ClipboardGetText(),
              "Effective Trustee: .Joe.SALES.ACME\r\n=SUM(A1:A9)\r\na\tb\r\n");
    ASSERT_EQ(launched.size(), 1u);
    std::string file = launched[0].File;
    EXPECT_TRUE(U_StartsWith(file, Path("run") + "/trovalen-tmp/"));
    EXPECT_TRUE(U_EndsWith(file, ".xlsx"));
    EXPECT_EQ(launched[0].Parameters, "");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Slurp(file).substr(0, 2), "PK") << "a zip package";
    if (HavePython()) {
        std::string out = Path("sheet.txt");
        std::string cmd = "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                          "print(z.read('xl/sharedStrings.xml').decode()); "
                          "print(z.read('xl/worksheets/sheet1.xml').decode())\" '" +
                          file + "' > '" + out + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::string xml = Slurp(out);
        EXPECT_NE(xml.find("Effective Trustee: .Joe.SALES.ACME"), std::string::npos);
        EXPECT_NE(xml.find("=SUM(A1:A9)"), std::string::npos) << "kept as text";
        EXPECT_EQ(xml.find("<f>"), std::string::npos) << "no formula";
        EXPECT_NE(xml.find("r=\"B3\""), std::string::npos) << "the tab spreads over columns";
    }
    EXPECT_TRUE(messages.empty());

    ASSERT_TRUE(U_ExportStrings(lines, "WB3", ""));
    EXPECT_EQ(launched.size(), 2u);
}

TEST_F(ExportTest, ASpreadsheetFailureSaysWhyAndLeavesTheClipboard) {
    // No program for the workbook: it is saved all the same, and the message says where.
    launcherResult = {ShellNoAssociation, "no application for .xlsx"};
    EXPECT_TRUE(U_ExportStrings(TStringList{"row"}, "Excel", ""));
    EXPECT_TRUE(U_ExportStrings(TStringList{"row"}, "QP", ""));
    ASSERT_EQ(messages.size(), 2u);
    for (const auto& m : messages) {
        EXPECT_TRUE(U_StartsWith(m, "Saved to ")) << m;
        EXPECT_TRUE(U_EndsWith(m, ".xlsx; no program to open it was found (no application for "
                                  ".xlsx). Results are also in the clipboard"))
            << m;
        std::string file = m.substr(9, m.find(".xlsx;") + 5 - 9);
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }
    EXPECT_EQ(U_ClipboardGetText(), "row\r\n");

    // A table the file format cannot hold.
    messages.clear();
    TGrid wide(20000, 1);
    wide.SetCell(19999, 0, "far");
    EXPECT_FALSE(U_ExportGrid(&wide, "XLS", "", "", "\t"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(U_StartsWith(messages[0], "Error saving to Excel (row 1 has 20000 fields"));
    EXPECT_EQ(launched.size(), 2u);
}
