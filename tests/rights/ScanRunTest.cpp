#include "AnalysisFixture.h"

#include "backend/sim/SimLoader.h"
#include "directory/DSNames.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

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
    EXPECT_EQ(Count(edir.Summary, "Invalid Object"), 0) << "it stays in the details pane";
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
