// The analysis' records against what the summary shows, over the scenario trees.
#include "AnalysisFixture.h"

#include "rights/Report.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

struct TRecordCase {
    const char* TreeFile;
    const char* Target;
    uint32_t Flags;
};

const TRecordCase kRecordCases[] = {
    {"rights-edir.json", ".Printer1.SALES.ACME", ET_EDIRECTORY},
    {"rights-edir.json", ".Printer1.SALES.ACME", ET_EDIRECTORY | ET_RESOLVE_CONTAINERS},
    {"rights-edir.json", ".Printer1.SALES.ACME", ET_EDIRECTORY | ET_ONLY_USERS},
    {"rights-edir.json", ".Box.DEV.ACME", ET_EDIRECTORY},
    {"rights-edir.json", ".TEAM.DEV.ACME", ET_EDIRECTORY | ET_RESOLVE_CONTAINERS},
    {"rights-edir.json", ".Thing.TEAM.DEV.ACME", ET_EDIRECTORY},
    {"rights-names.json", ".Vault.Acme", ET_EDIRECTORY},
    {"rights-fs.json", "FS1/SYS:APPS\\DATA", 0},
    {"rights-fs.json", "FS1/SYS:APPS\\TOOLS", 0},
    {"rights-fs.json", "FS1/SYS:APPS", ET_ONLY_USERS},
    {"rights-fs.json", "FS1/SYS:HOME", ET_RESOLVE_CONTAINERS},
    {"rights-fs.json", "FS1/SYS:NOPE", 0},
    {"rights-fs.json", "FS2/SYS:DOCS", 0},
};

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at = line.find(separator); at != std::string::npos;
         at = line.find(separator, start)) {
        parts.push_back(line.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(line.substr(start));
    return parts;
}

// The summary as the log's text says it, independent of the records: the header and error
// lines, a blank line where the analysis starts, a trustee line for each "  Effective:" line (the
// check lines share their level but are no trustees), "No trustees detected" when no analysis
// ran, and two blank lines.
TStringList SummaryOfLogText(const TStringList& log, bool edir) {
    TStringList summary;
    bool started = false, analysed = false;
    for (const auto& line : log) {
        started = started || line.Value == LVL_HEADER || line.Value == LVL_START;
        analysed = analysed || line.Value == LVL_START;
    }
    if (started) {
        for (const auto& line : log) {
            if (line.Value == LVL_HEADER || line.Value == LVL_RESULT_ERROR)
                summary.Add(line.Text);
            else if (line.Value == LVL_START)
                summary.Add("");
            else if (line.Value == LVL_EFFECTIVE && U_StartsWith(line.Text, "  Effective: "))
                summary.Add(U_SummaryTrusteeLine(line.Text, edir));
        }
        if (!analysed)
            summary.Add("No trustees detected");
    }
    summary.Add("");
    summary.Add("");
    return summary;
}

class RecordTest : public AnalysisTest, public ::testing::WithParamInterface<TRecordCase> {
protected:
    // The typed analysis over the test's client, its log in the fixture's log.
    TAnalysisResult Records(const std::string& target, uint32_t flags) {
        log.Clear();
        return U_AnalyseEffectiveTrustees(*client, ctx, target, flags, 31, &log, nullptr);
    }
};

TEST_P(RecordTest, RecordsHoldWhatTheSummaryShows) {
    const TRecordCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Load(c.TreeFile));
    const bool edir = (c.Flags & ET_EDIRECTORY) != 0;
    TAnalysisResult result = Records(c.Target, c.Flags);
    EXPECT_EQ(result.Edir, edir);

    TReportSettings settings;
    settings.Edir = edir;
    TStringList fromText = SummaryOfLogText(log, edir);
    TStringList fromRecords = BuildReport(log, result, settings);
    EXPECT_EQ(fromRecords.Strings(), fromText.Strings()) << "records:\n"
                                                         << fromRecords.Text("\n") << "log:\n"
                                                         << Dump();

    // One summary line per record, in the records' order, field by field.
    std::vector<std::vector<std::string>> lines;
    for (const auto& line : fromText)
        if (U_StartsWith(line.Text, "Effective Trustee:\t"))
            lines.push_back(Split(line.Text, '\t'));
    ASSERT_EQ(lines.size(), result.Trustees.size()) << Dump();
    for (size_t i = 0; i < lines.size(); ++i) {
        const TEffectiveTrustee& t = result.Trustees[i];
        const auto& f = lines[i];
        ASSERT_EQ(f.size(), edir ? 5u : 4u) << fromText[static_cast<int>(i)];
        EXPECT_EQ(f[1], t.ClassName) << i;
        EXPECT_EQ(f[2], U_RightsToStr(t.Mask, t.Family)) << i;
        // Every right but the file system's Open has a letter: the mask reads back from them.
        uint32_t lettered = t.Family == rtFileSystem ? t.Mask & ~FS_OPEN : t.Mask;
        EXPECT_EQ(U_StrToRights(f[2].substr(1, f[2].size() - 2), t.Family), lettered) << f[2];
        std::string name = f[3];
        EXPECT_TRUE(name == t.Subject || name == "." + t.Subject) << name << " / " << t.Subject;
        if (edir) {
            EXPECT_EQ(f[4], t.Attribute) << i;
            EXPECT_EQ(t.Family, t.Attribute == "[Entry Rights]" ? rtEntry : rtAttribute);
        } else {
            EXPECT_TRUE(t.Attribute.empty());
            EXPECT_EQ(t.Family, rtFileSystem);
        }
        EXPECT_NE(t.Sources, 0u) << t.Subject;
        EXPECT_FALSE(t.Reasons.empty()) << t.Subject;
    }

    // The adapter hands back the same trustees and writes the same log.
    TStringList typedLog = log;
    Analyse(c.Target, c.Flags);
    EXPECT_EQ(log.Strings(), typedLog.Strings());
    ASSERT_EQ(trustees.Count(), static_cast<int>(result.Trustees.size()));
    for (int i = 0; i < trustees.Count(); ++i) {
        EXPECT_EQ(trustees[i], U_TrusteeListText(result.Trustees[i], edir));
        EXPECT_EQ(trustees.Value(i), result.Trustees[i].Mask);
    }
}

INSTANTIATE_TEST_SUITE_P(ScenarioTrees, RecordTest, ::testing::ValuesIn(kRecordCases),
                         [](const auto& info) {
                             std::string name = U_Format("%s_%u_%zu", info.param.Target,
                                                         info.param.Flags, info.index);
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

const TEffectiveTrustee* Find(const TAnalysisResult& r, const std::string& subject,
                              const std::string& attribute = "") {
    for (const auto& t : r.Trustees)
        if (t.Subject == subject && t.Attribute == attribute)
            return &t;
    return nullptr;
}

} // namespace

// The records behind lines that the analysis tests pin as text.
TEST_F(AnalysisTest, RecordsOfInheritedEquivalentAndRaisedTrustees) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    TAnalysisResult r = U_AnalyseEffectiveTrustees(*client, ctx, ".Printer1.SALES.ACME",
                                                   ET_EDIRECTORY, 31, nullptr, nullptr);
    // [BC R I]: inherited from .ACME and .SALES.ACME, and through .Managers.ACME.
    const TEffectiveTrustee* joe = Find(r, ".Joe.SALES.ACME", "[Entry Rights]");
    ASSERT_NE(joe, nullptr);
    EXPECT_EQ(joe->Mask, DS_ENTRY_BROWSE | DS_ENTRY_ADD | DS_ENTRY_RENAME);
    EXPECT_EQ(joe->ClassName, "User");
    EXPECT_EQ(joe->Sources, TS_INHERITED | TS_SECURITY_EQUIVALENT);
    EXPECT_EQ(
        joe->Reasons,
        (std::vector<TTrusteeReason>{
            {DS_ENTRY_ADD, rtEntry, "for direct Trustee assignment on \".ACME\""},
            {DS_ENTRY_BROWSE, rtEntry, "for direct Trustee assignment on \".SALES.ACME\""},
            {DS_ENTRY_BROWSE | DS_ENTRY_RENAME, rtEntry, "for SecEqu to \".Managers.ACME\""}}));

    // Assigned A on the object itself; the implied rights are in the mask, not in the reason.
    const TEffectiveTrustee* ann = Find(r, ".Ann.SALES.ACME", "Title");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->Mask, DS_ATTR_ALL_RIGHTS);
    EXPECT_EQ(ann->Sources, TS_ASSIGNED);
    ASSERT_EQ(ann->Reasons.size(), 1u);
    EXPECT_EQ(ann->Reasons[0].Mask, DS_ATTR_SUPERVISOR);

    // Raised by Supervisor over the entry: the second reason says so.
    const TEffectiveTrustee* admin = Find(r, ".Admin.ACME", "Title");
    ASSERT_NE(admin, nullptr);
    EXPECT_EQ(admin->Mask, DS_ATTR_ALL_RIGHTS);
    ASSERT_EQ(admin->Reasons.size(), 2u);
    EXPECT_EQ(U_ReasonText(admin->Reasons[1]),
              "[CRWSA ] Effective [BCDRAI] rights on [Entry Rights]  ");

    const TEffectiveTrustee* pub = Find(r, "[Public]", "Title");
    ASSERT_NE(pub, nullptr);
    EXPECT_EQ(pub->ClassName, "n/a");
    EXPECT_EQ(U_TrusteeDisplayName(*pub), "[Public]");

    TAnalysisResult resolved =
        U_AnalyseEffectiveTrustees(*client, ctx, ".Printer1.SALES.ACME",
                                   ET_EDIRECTORY | ET_RESOLVE_CONTAINERS, 31, nullptr, nullptr);
    const TEffectiveTrustee* eve = Find(resolved, ".Eve.TEAM.DEV.ACME", "[Entry Rights]");
    ASSERT_NE(eve, nullptr);
    EXPECT_EQ(eve->Sources, TS_RESIDENT);
}

TEST_F(AnalysisTest, RecordsOfFileSystemTrustees) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TAnalysisResult r =
        U_AnalyseEffectiveTrustees(*client, ctx, "FS1/SYS:APPS\\DATA", 0, 31, nullptr, nullptr);
    EXPECT_FALSE(r.Edir);
    const TEffectiveTrustee* admin = Find(r, ".Admin.ACME");
    ASSERT_NE(admin, nullptr);
    EXPECT_EQ(admin->Mask, FS_ALL_RIGHTS);
    EXPECT_EQ(admin->Sources, TS_SERVER_SUPERVISOR);
    // RWCEAFM on APPS, replaced by RF on DATA.
    const TEffectiveTrustee* joe = Find(r, ".Joe.ACME");
    ASSERT_NE(joe, nullptr);
    EXPECT_EQ(joe->Mask, FS_READ | FS_FILE_SCAN);
    EXPECT_NE(joe->Sources & TS_ASSIGNED, 0u);
    // An ID that no object has: no class, and the summary dots it like any name.
    const TEffectiveTrustee* id = Find(r, "ID: [0000ABCD]");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->ClassName, "");
    EXPECT_EQ(id->Sources, TS_INHERITED);
}

TEST_F(AnalysisTest, ReasonLinesOfNamesWithAVerticalBar) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-names.json"));
    Analyse(".Vault.Acme", ET_EDIRECTORY);
    std::string bar = "  Effective: [B    I] -> [Group] .A|B.Acme / [Entry Rights]";
    ASSERT_TRUE(HasLine(bar)) << Dump();
    // The bar in the name once cut the reason in the wrong place.
    EXPECT_EQ(ReasonsOf(bar), (std::vector<std::string>{
                                  "[B    I] for direct Trustee assignment on \".Vault.Acme\""}))
        << Dump();
}

TEST_F(AnalysisTest, ScanRunWithoutAClientAnalysesNothing) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TScanRequest request;
    request.VariantName = "Trovalen";
    request.Client = nullptr; // no client started
    request.ConnHandle = primary;
    request.ScanContext = ctx;
    request.Entries.Add("\\\\FS1\\SYS\\APPS"); // its folder stays under the mount root
    TScanHost host;
    TScanResult result;
    TScanRun(request, host).Run(result);
    EXPECT_GE(result.Summary.IndexOfExact("Path: \"\\\\FS1\\SYS\\APPS\""), 0)
        << result.Summary.Text("\n");
    EXPECT_GE(result.Summary.IndexOfExact("No trustees detected"), 0) << result.Summary.Text("\n");
    for (const auto& line : result.Summary)
        EXPECT_FALSE(U_StartsWith(line.Text, "Effective Trustee:")) << line.Text;
}
