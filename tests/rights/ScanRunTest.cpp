#include "AnalysisFixture.h"

#include "backend/sim/SimLoader.h"
#include "directory/DSNames.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

#include <atomic>
#include <stdexcept>

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

class RecordingHost : public TScanHost {
public:
    void BeginRun() override { ++Begins; }
    void EndRun() override { ++Ends; }
    void DebugLine(const std::string& text) override { Debug.push_back(text); }
    void SetStatusText(const std::string& text) override { Status = text; }
    int Begins = 0, Ends = 0;
    std::vector<std::string> Debug;
    std::string Status;
};

// A client whose object reads fail with an exception for one name.
class ThrowingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                           bool allAttrs, NWHandle request, int32_t& iteration,
                           NWHandle result) override {
        if (object.find("Box") != std::string::npos)
            throw std::runtime_error("the wire broke");
        return TSimClient::ReadAttributes(ctx, object, infoType, allAttrs, request, iteration,
                                          result);
    }
};

class ScanRunTest : public AnalysisTest {
protected:
    TScanRequest FsRequest(std::initializer_list<std::string> entries) {
        TScanRequest r;
        r.VariantName = "Trovalen";
        r.Client = client.get();
        r.ConnHandle = primary;
        r.ScanContext = ctx;
        for (const auto& e : entries)
            r.Entries.Add(e);
        return r;
    }
    TScanRequest EdirRequest(std::initializer_list<std::string> entries) {
        TScanRequest r = FsRequest(entries);
        r.Edir = true;
        r.UserContext = ctx;
        r.BrowseContext = ctx;
        r.CurrentTree = "RIGHTS_TREE";
        return r;
    }
    TScanResult Run(const TScanRequest& request) {
        TScanResult result;
        TScanRun(request, host).Run(result);
        return result;
    }
    static int Count(const TStringList& pane, const std::string& prefix) {
        int n = 0;
        for (const auto& l : pane)
            n += U_StartsWith(l.Text, prefix) ? 1 : 0;
        return n;
    }
    RecordingHost host;
};

} // namespace

TEST_F(ScanRunTest, NoEntriesGivesTheHeaderOnly) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TScanRequest request = FsRequest({});
    request.ScanSubDirs = true;
    TScanResult result = Run(request);
    std::vector<std::string> header = result.Summary.Strings();
    ASSERT_EQ(header.size(), 6u);
    EXPECT_EQ(header[0], "Version:   Trovalen v1.6 (2009-09) ");
    EXPECT_EQ(header[1].substr(0, 11), "Date:      ");
    EXPECT_EQ(header[1].size(), 30u);
    EXPECT_EQ(header[2], "Settings:  Resolve Containers=FALSE");
    EXPECT_EQ(header[3], "Settings:  Scan type=File system");
    EXPECT_EQ(header[4], "Settings:  Scan Subdirs=TRUE");
    EXPECT_EQ(header[5], "");
    EXPECT_EQ(result.Details.Strings(), header);
    EXPECT_EQ(host.Begins, 1);
    EXPECT_EQ(host.Ends, 1);

    TScanResult edir = Run(EdirRequest({}));
    EXPECT_EQ(edir.Summary.Strings(),
              (std::vector<std::string>{edir.Summary[0], edir.Summary[1],
                                        "Settings:  Resolve Containers=FALSE",
                                        "Settings:  Scan type=eDirectory", ""}))
        << "no subdirectory line in the eDirectory scan type";
}

TEST_F(ScanRunTest, SubdirectoriesAreAddedOneLevelAndSorted) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TScanRequest request = FsRequest({"\\\\FS1\\SYS\\APPS"});
    request.ScanSubDirs = true;
    TScanResult result = Run(request);
    std::vector<std::string> paths;
    for (const auto& l : result.Summary)
        if (U_StartsWith(l.Text, "Path: "))
            paths.push_back(l.Text);
    EXPECT_EQ(paths, (std::vector<std::string>{"Path: \"\\\\FS1\\SYS\\APPS\"",
                                               "Path: \"\\\\FS1\\SYS\\APPS\\DATA\"",
                                               "Path: \"\\\\FS1\\SYS\\APPS\\TOOLS\""}))
        << result.Summary.Text("\n");
    EXPECT_EQ(Count(result.Summary, "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.ACME"), 3);
}

TEST_F(ScanRunTest, TheSubdirectorySwitchSortsObjectsToo) {
    // The switch reaches an eDirectory scan through a stored check mark or the headless
    // command; objects have no subdirectories, but the list is sorted as it is for paths.
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    TScanRequest request = EdirRequest({".Printer1.SALES.ACME", ".Joe.SALES.ACME"});
    request.ScanSubDirs = true;
    TScanResult result = Run(request);
    std::vector<std::string> objects;
    for (const auto& l : result.Details)
        if (U_StartsWith(l.Text, "Object: "))
            objects.push_back(l.Text);
    ASSERT_EQ(objects.size(), 2u) << result.Details.Text("\n");
    EXPECT_NE(objects[0].find("Joe"), std::string::npos) << result.Details.Text("\n");
    EXPECT_NE(objects[1].find("Printer1"), std::string::npos);
}

TEST_F(ScanRunTest, MissingPathAndObject) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TScanResult result = Run(FsRequest({"\\\\FS1\\SYS\\GONE", "\\\\FS1\\SYS\\HOME"}));
    std::string notFound = "Path: \"\\\\FS1\\SYS\\GONE\" (not found)";
    std::string invalid = "Invalid Path (\\\\FS1\\SYS\\GONE): " + U_NWErrorText(client.get(), -156);
    for (const TStringList* pane : {&result.Summary, &result.Details}) {
        EXPECT_GE(pane->IndexOfExact(notFound), 0) << pane->Text("\n");
        EXPECT_GE(pane->IndexOfExact(invalid), 0) << pane->Text("\n");
    }
    int i = result.Summary.IndexOfExact(invalid);
    EXPECT_EQ(result.Summary[i + 1], "No trustees detected");
    // The next entry is analysed normally.
    EXPECT_GE(result.Summary.IndexOfExact("Effective Trustee:\tUser\t[R       ]\t.Admin.ACME"), 0)
        << "HOME assigns Admin R explicitly, replacing the server's Supervisor\n"
        << result.Summary.Text("\n");
    EXPECT_EQ(host.Status, "\\\\FS1\\SYS\\HOME");

    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    TScanResult edir = Run(EdirRequest({".Nobody.ACME"}));
    EXPECT_GE(edir.Details.IndexOfExact("Invalid Object (.Nobody.ACME): " +
                                        U_NWErrorText(client.get(), -156)),
              0)
        << edir.Details.Text("\n");
    // The summary names an object it could not analyse, as it names a start path.
    const int header =
        edir.Summary.IndexOfExact("Object: \".Nobody.ACME\" on tree \"RIGHTS_TREE\" (not found)");
    ASSERT_GE(header, 0) << edir.Summary.Text("\n");
    EXPECT_EQ(edir.Summary[header + 1],
              "Invalid Object (.Nobody.ACME): " + U_NWErrorText(client.get(), -156));
    EXPECT_EQ(edir.Summary[header + 2], "No trustees detected");
}

TEST_F(ScanRunTest, AFailingEntryLeavesOneLineAndTheRunGoesOn) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    auto throwing = ServeWith<ThrowingClient>("rights-edir.json");
    ASSERT_TRUE(throwing);

    TScanResult result = Run(EdirRequest({".Box.DEV.ACME", ".Printer1.SALES.ACME"}));
    EXPECT_EQ(Count(result.Summary, "Error while scanning \".Box.DEV.ACME\": the wire broke"), 1)
        << result.Summary.Text("\n");
    EXPECT_EQ(Count(result.Details, "Error while scanning \".Box.DEV.ACME\": the wire broke"), 1);
    EXPECT_EQ(Count(result.Summary, "Object: \".Box.DEV.ACME\""), 0) << "no partial output";
    EXPECT_EQ(Count(result.Summary, "Object: \".Printer1.SALES.ACME\""), 1);
    EXPECT_GT(Count(result.Summary, "Effective Trustee:"), 3);
    EXPECT_EQ(host.Ends, 1);
}

TEST_F(ScanRunTest, DebugLinesOnlyInDebugMode) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Run(FsRequest({"\\\\FS1\\SYS\\APPS"}));
    EXPECT_TRUE(host.Debug.empty());
    TScanRequest request = FsRequest({"\\\\FS1\\SYS\\APPS"});
    request.DebugMode = true;
    Run(request);
    EXPECT_NE(std::find(host.Debug.begin(), host.Debug.end(),
                        "TV: Check Path \"\\\\FS1\\SYS\\APPS\" (\\\\FS1\\SYS\\APPS)"),
              host.Debug.end());
}

TEST_F(ScanRunTest, SettingsReachTheAnalysisAndTheReport) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    TScanRequest request = EdirRequest({".Printer1.SALES.ACME"});
    request.ResolveContainers = true;
    request.FilterIncl = "TEAM";
    TScanResult result = Run(request);
    EXPECT_EQ(result.Summary[2], "Settings:  Resolve Containers=TRUE");
    EXPECT_EQ(Count(result.Summary, "Effective Trustee:"), 4) << result.Summary.Text("\n");
    EXPECT_GE(result.Summary.IndexOfExact(
                  "Effective Trustee:\tUser\t[B    I]\t.Eve.TEAM.DEV.ACME\t[Entry Rights]"),
              0)
        << result.Summary.Text("\n");
}

// --- The attribute line of the summary ----------------------------------------------------------

#include "settings/Cache.h"
#include "settings/IniFile.h"

namespace {
// Counts attribute reads that reach the client.
class ReadCountingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                           bool allAttrs, NWHandle request, int32_t& iteration,
                           NWHandle result) override {
        ++Reads;
        return TSimClient::ReadAttributes(ctx, object, infoType, allAttrs, request, iteration,
                                          result);
    }
    int Reads = 0;
};
} // namespace

TEST_F(ScanRunTest, AttributeLinesComeFromTheDirectoryOnceAndThenFromTheCache) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    auto counting = ServeWith<ReadCountingClient>("rights-edir.json");
    ASSERT_TRUE(counting);

    // The program-side settings: slot 1 reads Title, slot 2 an attribute nobody has.
    std::string iniPath = scratchFolder + "/program.ini";
    {
        TIniFile ini(iniPath);
        ini.WriteString("Attributes", "AttrCount", "25");
        ini.WriteString("Attributes", "AttrFormat", "#Attr_01#TAB#Attr_02#TAB#Attr_01");
        ini.WriteString("Attributes", "Attr_01", "Title");
        ini.WriteString("Attributes", "Attr_02", "Surname");
        ini.WriteString("Attributes", "AttrDefault_02", "(none)");
    }
    TIniFile ini(iniPath);
    TAttributeSettings table = LoadAttributeSettings(&ini, true);
    EXPECT_EQ(table.Count, 20) << "only twenty slots exist";
    EXPECT_EQ(table.Format, "#Attr_01\t#Attr_02\t#Attr_01");
    EXPECT_EQ(LoadAttributeSettings(&ini, false).Count, 0);

    TCache cache;
    TScanRequest request = EdirRequest({".Printer1.SALES.ACME"});
    request.AttrColumns = true;
    request.Attributes = &table;
    request.Cache = &cache;
    request.FilterIncl = "Joe";
    TScanResult first = Run(request);
    int i = first.Summary.IndexOfExact(
        "Effective Trustee:\tUser\t[BC R I]\t.Joe.SALES.ACME\t[Entry Rights]");
    ASSERT_GE(i, 0) << first.Summary.Text("\n");
    EXPECT_EQ(first.Summary[i + 1], "Sales lead\t(none)\tSales lead");
    EXPECT_EQ(first.Summary[i + 2], "");

    // A second run lists the same trustee: its line comes from the cache.
    int reads = counting->Reads;
    request.Entries.Clear();
    request.Entries.Add(".Box.DEV.ACME");
    request.Entries.Add(".Printer1.SALES.ACME");
    request.FilterIncl = "Joe.SALES";
    TScanResult second = Run(request);
    EXPECT_EQ(second.Summary.IndexOfExact("Sales lead\t(none)\tSales lead") >= 0, true)
        << second.Summary.Text("\n");
    int analysisReads = counting->Reads - reads;
    // Compare with a run without attribute lines: no extra read for Joe's Title.
    request.AttrColumns = false;
    reads = counting->Reads;
    Run(request);
    EXPECT_EQ(counting->Reads - reads, analysisReads);
}

namespace {

// A host that keeps what the run hands over entry by entry, and can stop the run when an
// entry is about to start.
class ProgressHost : public RecordingHost {
public:
    void EntryStarted(int index, int count, const std::string& entry) override {
        Started.push_back(U_Format("%d/%d %s", index, count, entry.c_str()));
        // What the panes hold while this entry is still to be analysed.
        SummaryAtStart.push_back(Summary.Count());
        if (index == StopAt && Cancel != nullptr)
            Cancel->store(true);
    }
    void LinesAdded(std::span<const TStringItem> summary,
                    std::span<const TStringItem> details) override {
        ++Calls;
        Summary.Items.insert(Summary.Items.end(), summary.begin(), summary.end());
        Details.Items.insert(Details.Items.end(), details.begin(), details.end());
    }
    std::vector<std::string> Started;
    std::vector<int> SummaryAtStart;
    TStringList Summary, Details;
    int Calls = 0;
    int StopAt = -1;
    std::atomic<bool>* Cancel = nullptr;
};

std::vector<std::string> WithoutDate(const TStringList& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (!U_StartsWith(l.Text, "Date:"))
            out.push_back(l.Text);
    return out;
}

} // namespace

TEST_F(ScanRunTest, EachEntryReachesTheHostBeforeTheNextStarts) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    for (bool edir : {false, true}) {
        if (edir) {
            ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
        }
        ProgressHost progress;
        TScanRequest request = edir ? EdirRequest({".Joe.SALES.ACME", ".Printer1.SALES.ACME"})
                                    : FsRequest({"\\\\FS1\\SYS\\APPS", "\\\\FS1\\SYS\\HOME"});
        TScanResult result;
        TScanRun(request, progress).Run(result);
        SCOPED_TRACE(edir ? "eDirectory" : "file system");
        ASSERT_EQ(progress.Started.size(), 2u);
        EXPECT_EQ(progress.Started[0], "0/2 " + request.Entries[0]);
        EXPECT_EQ(progress.Started[1], "1/2 " + request.Entries[1]);
        // The header before the first entry; the first entry's lines before the second starts.
        EXPECT_EQ(progress.SummaryAtStart[0], edir ? 5 : 6);
        int firstEnd = progress.SummaryAtStart[1];
        ASSERT_GT(firstEnd, progress.SummaryAtStart[0]);
        std::string header = edir ? "Object: \"" : "Path: \"";
        EXPECT_EQ(Count(progress.Summary, header), 2);
        TStringList first;
        for (int i = 0; i < firstEnd; ++i)
            first.Add(progress.Summary[i]);
        EXPECT_EQ(Count(first, header + request.Entries[0]), 1) << first.Text("\n");
        EXPECT_EQ(Count(first, header + request.Entries[1]), 0);
        // Handed over piece by piece, the panes are exactly the result's.
        EXPECT_EQ(progress.Summary.Strings(), result.Summary.Strings());
        EXPECT_EQ(progress.Details.Strings(), result.Details.Strings());
        EXPECT_EQ(progress.Calls, 3) << "the header and one call per entry";
        EXPECT_EQ(result.EntriesDone, 2);
        EXPECT_EQ(result.EntriesTotal, 2);
        EXPECT_FALSE(result.Cancelled);
    }
}

TEST_F(ScanRunTest, CancelStopsTheEntryAndLeavesOneLine) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    TScanRequest request =
        FsRequest({"\\\\FS1\\SYS\\APPS", "\\\\FS1\\SYS\\HOME", "\\\\FS1\\SYS\\APPS\\DATA"});
    struct Case {
        int stopAt;   // the entry whose start sets the flag (-1: set before the run)
        int expected; // entries analysed whole
    };
    // The entry whose start sets the flag is stopped inside its analysis: it is not done.
    for (Case c : {Case{-1, 0}, Case{0, 0}, Case{1, 1}, Case{2, 2}}) {
        SCOPED_TRACE(c.stopAt);
        std::atomic<bool> cancel = c.stopAt < 0;
        request.Cancel = &cancel;
        ProgressHost progress;
        progress.StopAt = c.stopAt;
        progress.Cancel = &cancel;
        TScanResult result;
        TScanRun(request, progress).Run(result);
        EXPECT_EQ(result.EntriesDone, c.expected);
        EXPECT_EQ(progress.Summary.Strings(), result.Summary.Strings());

        // The same result as a run over the entries analysed, plus the one closing line.
        TScanRequest shorter = FsRequest({});
        for (int i = 0; i < c.expected; ++i)
            shorter.Entries.Add(request.Entries[i]);
        TScanResult whole = Run(shorter);
        std::vector<std::string> summary = WithoutDate(whole.Summary);
        std::vector<std::string> details = WithoutDate(whole.Details);
        EXPECT_TRUE(result.Cancelled);
        // The entries before, whole; then what the stopped entry had (its header at least);
        // then the one closing line.
        for (auto [lines, before] : {std::pair{WithoutDate(result.Summary), summary},
                                     std::pair{WithoutDate(result.Details), details}}) {
            ASSERT_GT(lines.size(), before.size());
            EXPECT_TRUE(std::equal(before.begin(), before.end(), lines.begin()));
            EXPECT_EQ(lines.back(), U_CancelledLine(c.expected, 3));
            std::vector<std::string> rest(lines.begin() + before.size(), lines.end() - 1);
            if (c.stopAt >= 0) {
                EXPECT_EQ(std::count(rest.begin(), rest.end(),
                                     "Path: \"" + request.Entries[c.stopAt] + "\""),
                          1);
            } else {
                EXPECT_TRUE(rest.empty());
            }
            EXPECT_EQ(std::count_if(rest.begin(), rest.end(),
                                    [](const std::string& l) {
                                        return U_StartsWith(l, "Effective Trustee:");
                                    }),
                      0);
        }
        ASSERT_EQ(result.Entries.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(result.Entries[i].Status,
                      i < c.expected ? TEntryStatus::Analysed : TEntryStatus::Cancelled);
        if (c.stopAt >= 0) {
            EXPECT_EQ(result.Entries[c.stopAt].Incomplete,
                      std::vector<std::string>{kAnalysisCancelled});
        }
        EXPECT_EQ(progress.Ends, 1);
    }
    EXPECT_EQ(U_CancelledLine(1, 3), "Scan cancelled by the user after 1 of 3 entries");
}

// The attribute lines of an eDirectory scan read through the browsing context, whatever
// container it has open: chains through names and the pseudo attributes read alike there and
// at the top of the tree.
TEST_F(ScanRunTest, AttributeLinesReadAlikeUnderAnyBrowsingContainer) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    std::string iniPath = scratchFolder + "/chains.ini";
    {
        TIniFile ini(iniPath);
        ini.WriteString("Attributes", "AttrCount", "4");
        ini.WriteString("Attributes", "AttrFormat", "#Attr_01\t#Attr_02\t#Attr_03\t#Attr_04");
        ini.WriteString("Attributes", "Attr_01", "Security Equals|CLASS");
        ini.WriteString("Attributes", "Attr_02", "Security Equals|CONTEXT");
        ini.WriteString("Attributes", "Attr_03", "CONTEXT");
        ini.WriteString("Attributes", "Attr_04", "Title");
    }
    TIniFile ini(iniPath);
    TAttributeSettings table = LoadAttributeSettings(&ini, true);
    auto attributeLine = [&](NWHandle browse) {
        TCache cache;
        TScanRequest request = EdirRequest({".Printer1.SALES.ACME"});
        request.BrowseContext = browse;
        request.AttrColumns = true;
        request.Attributes = &table;
        request.Cache = &cache;
        request.FilterIncl = "Joe";
        TScanResult result = Run(request);
        int i = result.Summary.IndexOfExact(
            "Effective Trustee:\tUser\t[BC R I]\t.Joe.SALES.ACME\t[Entry Rights]");
        return i >= 0 && i + 1 < result.Summary.Count() ? result.Summary[i + 1] : std::string();
    };
    const std::string atTop = attributeLine(ctx);
    EXPECT_EQ(atTop, "Group\t.ACME\t.SALES.ACME\tSales lead");
    for (const char* container : {"SALES.ACME", "ACME", "DEV.ACME"}) {
        NWHandle browse = 0;
        ASSERT_EQ(client->NewContext(browse), 0);
        U_DSSetContextFlags(client.get(), browse, '+', DCV_TYPELESS_NAMES);
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(client.get(), browse, "RIGHTS_TREE", container),
                  0);
        EXPECT_EQ(attributeLine(browse), atTop) << container;
        client->FreeContext(browse);
    }
}
