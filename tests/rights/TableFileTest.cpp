// Saving a table: every format reads back to the same header and rows, fields with separators,
// quotes, markup and line breaks included; and the result table's rights order, rights filter,
// marks of incomplete entries and the rows it hands a writer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "rights/ResultTable.h"
#include "rights/ScanRun.h"
#include "rights/TableFile.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

#include "common/TableReaders.h"

namespace trovalen {
namespace {

using namespace trovalen::test;

class TableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("trovalen-tablefile-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(TableFileTest, EveryFormatReadsBackToTheRowsGiven) {
    TTextTable table;
    table.Header = {"Entry", "Class", "Rights", "Trustee", "Incomplete"};
    table.Rows = {
        {"\\\\FS1\\SYS\\APPS", "User", "[RWCEAFMS]", ".Admin.ACME", ""},
        {"\\\\FS1\\SYS\\Büro", "Group", "[R    F  ]", ".R&D.<Lab>.ACME", "not found"},
        {"x,y", "say \"hi\"", "[B    I]", "tab\there", "two\nlines"},
        {" lead", "trail ", "=SUM(A1)", "\"quoted", "'single'"},
        {"", "", "", "", ""},
    };
    const TTextRows expected = [&] {
        TTextRows all{table.Header};
        all.insert(all.end(), table.Rows.begin(), table.Rows.end());
        return all;
    }();
    for (TTableFormat format : {TTableFormat::Text, TTableFormat::Csv, TTableFormat::Html,
                                TTableFormat::Xml, TTableFormat::Json, TTableFormat::Xlsx}) {
        const std::string file =
            (dir / (std::string("rows.") + U_TableFormatExtension(format))).string();
        SCOPED_TRACE(file);
        EXPECT_EQ(U_TableFormatOfFile(file), format);
        std::string error;
        ASSERT_TRUE(U_SaveTable(file, table, format, error)) << error;
        const std::string text = Slurp(file);
        TTextRows back;
        switch (format) {
        case TTableFormat::Text:
            EXPECT_EQ(text.find('\r'), std::string::npos) << "LF line ends";
            back = U_ParseSeparatedText(text, '\t');
            break;
        case TTableFormat::Csv: {
            // Every record ends with CR LF; the line break inside a field stays as given.
            EXPECT_NE(text.find("Entry,Class,Rights,Trustee,Incomplete\r\n"), std::string::npos);
            EXPECT_NE(text.find("\"two\nlines\"\r\n"), std::string::npos);
            back = U_ParseSeparatedText(text, ',');
            break;
        }
        case TTableFormat::Html:
            EXPECT_EQ(text.find('\r'), std::string::npos);
            EXPECT_NE(text.find("<meta charset=\"utf-8\">"), std::string::npos);
            back = Cells(text, "thead", "th");
            for (auto& r : Cells(text.substr(text.find("<tbody>")), "tr", "td"))
                back.push_back(r);
            break;
        case TTableFormat::Xml:
            EXPECT_TRUE(U_StartsWith(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
            back = Cells(text, "columns", "column");
            for (auto& r : Cells(text, "row", "field"))
                back.push_back(r);
            break;
        case TTableFormat::Json: {
            auto doc = nlohmann::json::parse(text);
            back.push_back(doc["columns"].get<std::vector<std::string>>());
            for (const auto& row : doc["rows"]) {
                auto& fields = back.emplace_back();
                for (const auto& title : table.Header)
                    fields.push_back(row.at(title).get<std::string>());
            }
            break;
        }
        case TTableFormat::Xlsx:
            EXPECT_EQ(text.substr(0, 2), "PK");
            if (!HavePython())
                continue;
            back = ReadXlsx(file, dir.string());
            // The sheet leaves empty cells out: the last row is all empty.
            for (auto& r : back)
                r.resize(table.Header.size());
            back.resize(expected.size(), std::vector<std::string>(table.Header.size()));
            break;
        }
        EXPECT_EQ(back, expected);
    }
}

TEST_F(TableFileTest, NamesAndFiltersPickTheFormat) {
    EXPECT_EQ(U_TableFormatOfFile("/a/b/Trustees.HTM"), TTableFormat::Html);
    EXPECT_EQ(U_TableFormatOfFile("x.Xlsx"), TTableFormat::Xlsx);
    EXPECT_EQ(U_TableFormatOfFile("/a.b/noext"), std::nullopt);
    EXPECT_EQ(U_TableFormatOfFile("x.doc"), std::nullopt);
    const auto filters = U_TableFormatFilters();
    ASSERT_EQ(filters.size(), 6u);
    for (const auto& f : filters) {
        auto format = U_TableFormatOfFilter(f);
        ASSERT_TRUE(format) << f;
        EXPECT_NE(f.find(std::string("*.") + U_TableFormatExtension(*format)), std::string::npos);
    }
    // A failure leaves no file and says why.
    std::string error;
    EXPECT_FALSE(U_SaveTable((dir / "missing" / "x.csv").string(), {{"A"}, {{"1"}}},
                             TTableFormat::Csv, error));
    EXPECT_FALSE(error.empty());
}

// --- The result table --------------------------------------------------------------------------

TResultTable FileSystemTable() {
    TResultTable table(false);
    TStringList summary;
    summary.Add("Path: \"\\\\FS1\\SYS\\APPS\"");
    for (const char* line : {"Effective Trustee:\tUser\t[R    F  ]\t.Joe.ACME",
                             "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.ACME",
                             "Effective Trustee:\tGroup\t[RW   F  ]\t.Crew.ACME",
                             "Effective Trustee:\tn/a\t[RWCE F  ]\t[Public]"})
        summary.Add(line);
    summary.Add("Path: \"\\\\FS1\\SYS\\NONE\" (not found)");
    summary.Add("Path: \"\\\\FS1\\SYS\\HOME\"");
    summary.Add("Effective Trustee:\tUser\t[       S]\t.Boss.ACME");
    table.AddLines(summary.Items, {});
    return table;
}

TEST(ResultTableRights, SortByTheRightsHeldAndFilterByLetters) {
    // Weakest first: fewer rights before more, Supervisor last whatever else is held.
    const std::vector<std::string> fs = {"[R    F  ]", "[RW   F  ]", "[RWCE F  ]",
                                         "[RWCEAFM ]", "[       S]", "[RWCEAFMS]"};
    for (size_t i = 0; i + 1 < fs.size(); ++i) {
        EXPECT_LT(TResultTable::CompareRights(fs[i], fs[i + 1], false), 0) << fs[i];
        EXPECT_GT(TResultTable::CompareRights(fs[i + 1], fs[i], false), 0) << fs[i];
    }
    EXPECT_EQ(TResultTable::CompareRights("[R       ]", "[R       ]", false), 0);
    // As text "[ W      ]" sorts before "[R       ]"; by rights Read, the first letter, is more.
    EXPECT_LT(TResultTable::CompareRights("[ W      ]", "[R       ]", false), 0);
    // eDirectory: A is Supervisor, I does not count as a right.
    EXPECT_LT(TResultTable::CompareRights("[B    I]", "[BC    ]", true), 0);
    EXPECT_LT(TResultTable::CompareRights("[CRWS  ]", "[CR   A ]", true), 0);
    EXPECT_LT(TResultTable::CompareRights("[BCDR I]", "[BCDRAI]", true), 0);

    TResultTable table = FileSystemTable();
    auto shown = [&](const std::string& letters) {
        std::vector<std::string> out;
        for (int i = 0; i < table.Count(); ++i)
            if (TResultTable::Matches(table.Row(i), "", letters))
                out.push_back(table.Row(i).Trustee);
        return out;
    };
    EXPECT_EQ(shown("S"), (std::vector<std::string>{".Admin.ACME", ".Boss.ACME"}));
    EXPECT_EQ(shown("WC"), (std::vector<std::string>{".Admin.ACME", "[Public]"}));
    EXPECT_EQ(shown("").size(), 5u);
    EXPECT_TRUE(TResultTable::Matches(table.Row(0), "joe", "RF"));
    EXPECT_FALSE(TResultTable::Matches(table.Row(0), "joe", "W"));
    EXPECT_EQ(TResultTable::RightsLetters(false), "RWCEAFMS");
    EXPECT_EQ(TResultTable::RightsLetters(true), "BCDRWSAI");
}

TEST(ResultTableRights, IncompleteEntriesMarkTheirRowsOrGetOne) {
    TResultTable table = FileSystemTable();
    std::vector<TScanEntry> entries(4);
    entries[0].Name = "\\\\FS1\\SYS\\APPS";
    entries[0].Status = TEntryStatus::Analysed;
    entries[0].Incomplete = {"the trustees of SYS:APPS could not be read (no access)"};
    entries[1].Name = "\\\\FS1\\SYS\\NONE";
    entries[1].Status = TEntryStatus::NotFound;
    entries[2].Name = "\\\\FS1\\SYS\\HOME";
    entries[2].Status = TEntryStatus::Analysed;
    entries[3].Name = "\\\\FS1\\SYS\\LATER";
    entries[3].Status = TEntryStatus::Cancelled;

    // As a host calls it while the run goes on: the first two entries, then all.
    EXPECT_TRUE(table.MarkEntries(std::span(entries).first(2)));
    EXPECT_TRUE(table.MarkEntries(entries));
    ASSERT_EQ(table.Count(), 7);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(table.Row(i).Problem,
                  "incomplete: the trustees of SYS:APPS could not be read (no access)");
    EXPECT_EQ(table.Row(4).Problem, "") << "a whole entry's row carries no mark";
    EXPECT_TRUE(table.Row(5).EntryOnly);
    EXPECT_EQ(table.Row(5).Entry, "\\\\FS1\\SYS\\NONE");
    EXPECT_EQ(table.Row(5).Problem, "not found");
    EXPECT_EQ(table.Row(6).Problem, "not scanned: the run ended before it");
    EXPECT_EQ(table.IncompleteRows(), 6);
    EXPECT_TRUE(table.Reasons(5).empty());

    // Marking again adds nothing; the last entry may change (a connection lost after it).
    EXPECT_FALSE(table.MarkEntries(entries));
    entries[3].Incomplete = {"connection lost"};
    EXPECT_TRUE(table.MarkEntries(entries));
    EXPECT_EQ(table.Count(), 7);
    EXPECT_EQ(table.Row(6).Problem, "cancelled: connection lost");

    // What a writer gets: the rows asked for, in that order, under the columns' titles.
    TTextTable text = table.TextTable({4, 5, 0}, {rcTrustee, rcRights, rcIncomplete});
    EXPECT_EQ(text.Header, (std::vector<std::string>{"Trustee", "Rights", "Incomplete"}));
    EXPECT_EQ(text.Rows, (TTextRows{{".Boss.ACME", "[       S]", ""},
                                    {"", "", "not found"},
                                    {".Joe.ACME", "[R    F  ]",
                                     "incomplete: the trustees of SYS:APPS could not be read "
                                     "(no access)"}}));
}

} // namespace
} // namespace trovalen
