// The summary as a table: rows built from the lines a scan run hands its host must be the
// summary's trustee lines, and each row's reasons must be the ones the analysis gives that
// trustee on that entry.
#include "AnalysisFixture.h"

#include <algorithm>

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/ResultTable.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

// A host that fills a table as the run hands it lines.
class TableHost : public TScanHost {
public:
    explicit TableHost(bool edir) : Table(edir) {}
    void LinesAdded(std::span<const TStringItem> summary,
                    std::span<const TStringItem> details) override {
        Table.AddLines(summary, details);
    }
    TResultTable Table;
};

struct TTableCase {
    const char* Name;
    bool Edir;
    bool Resolve;
    const char* FilterExcl;
};

const TTableCase kTableCases[] = {
    {"EdirPlain", true, false, ""},
    {"EdirResolvedWithoutAdmin", true, true, "admin"},
    {"FileSystemPlain", false, false, ""},
    {"FileSystemResolvedWithoutAdmin", false, true, "admin"},
};

class ResultTableScanTest : public AnalysisTest, public ::testing::WithParamInterface<TTableCase> {
protected:
    // The reasons the analysis itself gives the trustee on the entry.
    std::vector<std::string> AnalysedReasons(const TResultRow& row, uint32_t flags) {
        std::string target = row.Entry;
        if (!GetParam().Edir) {
            TNWPath p;
            EXPECT_EQ(U_PathToNWPath(client.get(), row.Entry, p), 0) << row.Entry;
            target = p.Server + "/" + p.Volume + ":" + p.DirPath;
            // The volume's server may stand in another tree; the scan run reads there too.
            EXPECT_EQ(U_DSChangeCurrentTreeAndContext(
                          client.get(), ctx, U_GetTreeOfConn(client.get(), p.ConnHandle), "[Root]"),
                      0);
        }
        TAnalysisResult analysis =
            U_AnalyseEffectiveTrustees(*client, ctx, target, flags, LVL_DETAIL, nullptr, nullptr);
        std::vector<std::string> out;
        for (const auto& trustee : analysis.Trustees)
            if (U_TrusteeDisplayName(trustee) == row.Trustee &&
                trustee.Attribute == row.Attribute && U_TrusteeRights(trustee) == row.Rights)
                for (const auto& reason : trustee.Reasons)
                    out.push_back(U_ReasonText(reason));
        return out;
    }
};

TEST_P(ResultTableScanTest, RowsAreTheSummaryLinesAndCarryTheTrusteesReasons) {
    ASSERT_NO_FATAL_FAILURE(Load("../../data/sample-tree.json"));
    const TTableCase& c = GetParam();
    TScanRequest request = ScanRequest(c.Edir);
    request.ResolveContainers = c.Resolve;
    request.FilterExcl = c.FilterExcl;
    for (const auto& e : c.Edir ? Objects() : Directories())
        request.Entries.Add(e);
    ASSERT_GT(request.Entries.Count(), 3);
    TableHost host(c.Edir);
    TScanResult result;
    TScanRun(request, host).Run(result);

    std::vector<int> trusteeLines;
    for (int i = 0; i < result.Summary.Count(); ++i)
        if (U_StartsWith(result.Summary[i], "Effective Trustee:\t"))
            trusteeLines.push_back(i);
    const TResultTable& table = host.Table;
    ASSERT_GT(table.Count(), 10);
    ASSERT_EQ(table.Count(), static_cast<int>(trusteeLines.size()));
    uint32_t flags = (c.Edir ? ET_EDIRECTORY : 0) | (c.Resolve ? ET_RESOLVE_CONTAINERS : 0);
    int withReasons = 0;
    for (int i = 0; i < table.Count(); ++i) {
        const TResultRow& row = table.Row(i);
        ASSERT_EQ(row.Line, trusteeLines[i]);
        EXPECT_EQ(table.SummaryLine(i), result.Summary[row.Line]);
        EXPECT_FALSE(row.Entry.empty());
        EXPECT_EQ(row.Attribute.empty(), !c.Edir) << table.SummaryLine(i);
        if (*c.FilterExcl != '\0') {
            EXPECT_EQ(U_PosCI(c.FilterExcl, row.Trustee), 0) << row.Trustee;
        }
        std::vector<std::string> reasons = table.Reasons(i);
        EXPECT_EQ(reasons, AnalysedReasons(row, flags)) << row.Entry << " " << row.Trustee;
        withReasons += reasons.empty() ? 0 : 1;
    }
    EXPECT_EQ(withReasons, table.Count());
}

INSTANTIATE_TEST_SUITE_P(SampleTree, ResultTableScanTest, ::testing::ValuesIn(kTableCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The walks' rows: a reverse query gives one row per record of each place reached, with the
// record's reasons; a walk of changes only marks every change of the records on its trustee's
// row, a trustee lost with a row of its own that holds no rights.
TEST_F(ResultTableScanTest, WalksGiveTheRecordsAsRowsWithTheirReasonsAndChanges) {
    ASSERT_NO_FATAL_FAILURE(Load("../../data/sample-tree.json"));
    for (bool edir : {false, true}) {
        SCOPED_TRACE(edir ? "eDirectory" : "file system");
        TScanRequest reach = ScanRequest(edir, {edir ? ".Corvale" : "\\\\CV-FS1\\DATA"});
        reach.Trustee = ".Mara.Sales.Corvale";
        TableHost host(edir);
        TScanResult result;
        TScanRun(reach, host).Run(result);
        const TResultTable& table = host.Table;
        int records = 0;
        int row = 0;
        for (const auto& entry : result.Entries) {
            for (const auto& t : entry.Trustees) {
                ++records;
                ASSERT_LT(row, table.Count());
                const TResultRow& r = table.Row(row);
                EXPECT_EQ(r.Entry, entry.Name);
                EXPECT_EQ(r.Trustee, ".Mara.Sales.Corvale");
                EXPECT_EQ(r.ClassName, "User");
                EXPECT_EQ(r.Rights, U_TrusteeRights(t));
                EXPECT_EQ(r.Attribute, t.Attribute);
                std::vector<std::string> reasons;
                for (const auto& reason : t.Reasons)
                    reasons.push_back(U_ReasonText(reason));
                EXPECT_EQ(table.Reasons(row), reasons) << r.Entry;
                ++row;
            }
        }
        EXPECT_GT(records, 2);
        EXPECT_EQ(table.Count(), records);
        EXPECT_EQ(table.ChangeRows(), 0);

        TScanRequest walk = ScanRequest(edir, {edir ? ".Corvale" : "\\\\CV-FS1\\DATA"});
        walk.Recursive = walk.ChangesOnly = true;
        TableHost changed(edir);
        TScanRun(walk, changed).Run(result);
        size_t changes = 0, lost = 0, found = 0;
        for (const auto& entry : result.Entries) {
            for (const auto& c : entry.Changes) {
                ++changes;
                const std::string kind = U_TrusteeChangeKind(c);
                lost += kind == "lost" ? 1 : 0;
                for (int i = 0; i < changed.Table.Count(); ++i) {
                    const TResultRow& r = changed.Table.Row(i);
                    if (r.Entry != entry.Name || r.Trustee != c.Name || r.Attribute != c.Attribute)
                        continue;
                    const std::string was = U_RightsToStr(c.Before, c.Family);
                    EXPECT_EQ(r.Change, kind == "gained" ? kind : kind + ", was " + was);
                    EXPECT_EQ(r.Rights.empty(), kind == "lost") << r.Trustee;
                    if (kind != "lost") {
                        EXPECT_EQ(r.Rights, U_RightsToStr(c.After, c.Family));
                    }
                    ++found;
                    break;
                }
            }
        }
        EXPECT_GT(changes, 3u);
        EXPECT_EQ(found, changes);
        EXPECT_EQ(changed.Table.ChangeRows(), static_cast<int>(changes));
        if (edir) {
            EXPECT_GT(lost, 0u) << "the sample tree loses trustees below .Corvale";
        }
    }
}

// Lines written by hand: where the parts of an entry arrive, names with tabs, the same trustee
// twice, and lines that are no trustee lines.
TStringList Lines(std::initializer_list<std::pair<uint32_t, std::string>> lines) {
    TStringList out;
    for (const auto& [level, text] : lines)
        out.Add(text, level);
    return out;
}

TEST(ResultTableTest, EntriesComeFromTheHeaderLines) {
    struct {
        const char* Header;
        const char* Entry;
    } cases[] = {
        {"Path: \"\\\\FS1\\SYS\\APPS\"", "\\\\FS1\\SYS\\APPS"},
        {"Path: \"\\\\FS1\\SYS\\GONE\" (not found)", "\\\\FS1\\SYS\\GONE"},
        {"Object: \".Joe.ACME\" on tree \"T\"", ".Joe.ACME"},
        {"Object: \".A\" on tree \"B\".ACME\" on tree \"T\"", ".A\" on tree \"B\".ACME"},
        {"Object: \"", ""},
        {"Path: \"", ""},
    };
    for (const auto& c : cases) {
        TResultTable table(false);
        table.AddLines(TStringList{c.Header, "Effective Trustee:\tUser\t[R]\t.X"}.Items, {});
        ASSERT_EQ(table.Count(), 1) << c.Header;
        EXPECT_EQ(table.Row(0).Entry, c.Entry) << c.Header;
    }
}

TEST(ResultTableTest, FieldsSplitAtTabsAndBadLinesMakeNoRow) {
    TResultTable edir(true);
    edir.AddLines(TStringList{"Object: \".O\" on tree \"T\"",
                              "Effective Trustee:\tUser\t[B]\t.Tab\tName\t[Entry Rights]",
                              "Effective Trustee:\tUser\t[B]\t.Short", "Effective Trustee:",
                              "Invalid Object (.Q): no such object", "No trustees detected"},
                  {});
    ASSERT_EQ(edir.Count(), 1);
    EXPECT_EQ(edir.Row(0).Trustee, ".Tab\tName");
    EXPECT_EQ(edir.Row(0).Attribute, "[Entry Rights]");
    EXPECT_EQ(edir.Row(0).Line, 1);
    EXPECT_EQ(edir.SummaryLine(0), "Effective Trustee:\tUser\t[B]\t.Tab\tName\t[Entry Rights]");
    EXPECT_TRUE(edir.Reasons(0).empty());
    EXPECT_TRUE(edir.Reasons(-1).empty());
    EXPECT_TRUE(edir.Reasons(1).empty());

    TResultTable fs(false);
    fs.AddLines(TStringList{"Effective Trustee:\tUser\t[R]\t.Tab\tName"}, {});
    ASSERT_EQ(fs.Count(), 1);
    EXPECT_EQ(fs.Row(0).Entry, "");
    EXPECT_EQ(fs.Row(0).Trustee, ".Tab\tName");
    EXPECT_EQ(fs.Row(0).Attribute, "");
}

TEST(ResultTableTest, ReasonsFollowTheirEntryAndOccurrenceWhateverPieceTheyCameIn) {
    // The same entry twice in one run, a trustee the summary filtered out, and the details of the
    // second entry arriving before its summary lines.
    const TStringList details1 = Lines({
        {LVL_HEADER, "Path: \"\\\\S\\V\\A\""},
        {LVL_EFFECTIVE, "  Effective: [R       ] -> [User] .Bob.ACME"},
        {LVL_EFFECTIVE, "  Check 2:     Calc s: [R       ] - Eff: [RW      ]"},
        {LVL_DETAIL, "     * [R       ] first"},
        {LVL_EFFECTIVE, "  Effective: [RW      ] -> [User] .Admin.ACME"},
        {LVL_DETAIL, "     * [RW      ] filtered"},
        {LVL_DETAIL, "_____________________"},
        {LVL_DETAIL, "     * [RW      ] a stray line after the block"},
    });
    const TStringList summary1{"Path: \"\\\\S\\V\\A\"",
                               "Effective Trustee:\tUser\t[R       ]\t.Bob.ACME", ""};
    const TStringList details2 = Lines({
        {LVL_HEADER, "Path: \"\\\\S\\V\\A\""},
        {LVL_EFFECTIVE, "  Effective: [R       ] -> [User] .Bob.ACME"},
        {LVL_DETAIL, "     * [R       ] second"},
        {LVL_DETAIL, "     * [R       ] and third"},
    });
    TResultTable table(false);
    table.AddLines(summary1, details1);
    table.AddLines({}, details2);
    table.AddLines(summary1, {});
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Row(1).Line, 4);
    EXPECT_EQ(table.Reasons(0), (std::vector<std::string>{"[R       ] first"}));
    EXPECT_EQ(table.Reasons(1),
              (std::vector<std::string>{"[R       ] second", "[R       ] and third"}));
}

TEST(ResultTableTest, FilterLooksAtEveryColumnIgnoringCase) {
    TResultRow row{
        "\\\\FS1\\SYS", "Organizational Role", "[BCDRAI]", ".Boss.ACME", "CN", 0, "", false, ""};
    struct {
        const char* Filter;
        bool Matches;
    } cases[] = {{"", true},      {"fs1", true}, {"organizational r", true}, {"bcd", true},
                 {".boss", true}, {"cn", true},  {"nobody", false},          {"[x", false},
                 {"\t", false},   {"%s", false}};
    for (const auto& c : cases)
        EXPECT_EQ(TResultTable::Matches(row, c.Filter), c.Matches) << c.Filter;
    for (int c = 0; c < rcColumnCount; ++c)
        EXPECT_STRNE(TResultTable::Title(static_cast<TResultColumn>(c)), "");
}

} // namespace
