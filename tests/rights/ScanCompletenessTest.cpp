// Whether a scan read everything it needed: every read of the analysis that fails makes its
// entry incomplete with the reason in words, a client that can no longer answer ends the run,
// and the entries a run never reached are recorded as such, in the records and in the JSON.
#include "AnalysisFixture.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "rights/ScanJson.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

class QuietHost : public TScanHost {};

// A client whose connection breaks at the first attribute read of an object: that read and
// every later one fail, as the LDAP client's do once its server went away.
class BreakingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                           bool allAttrs, NWHandle request, int32_t& iteration,
                           NWHandle result) override {
        FBroken = FBroken || (!BreakAt.empty() && U_SameText(U_DSDotName(object), BreakAt));
        if (FBroken)
            return ERR_NO_CONNECTION;
        return TSimClient::ReadAttributes(ctx, object, infoType, allAttrs, request, iteration,
                                          result);
    }
    std::string BrokenReason() const override {
        return FBroken ? "the connection to the test server was lost" : "";
    }
    std::string BreakAt;

private:
    bool FBroken = false;
};

class ScanCompleteness : public AnalysisTest {
protected:
    // The test tree with failures injected, written to the scratch folder and served.
    void LoadWithFailures(const std::string& treeFile, const nlohmann::json& failures) {
        std::ifstream in(std::string(TROVALEN_TEST_DATA) + "/" + treeFile);
        nlohmann::json tree = nlohmann::json::parse(in);
        tree["failures"] = failures;
        ASSERT_NO_FATAL_FAILURE(Load(treeFile)); // the mount and scratch folders
        const std::string path = scratchFolder + "/failing.json";
        std::ofstream(path) << tree.dump();
        ASSERT_NO_FATAL_FAILURE(Serve(path));
        OpenContext();
    }

    TScanResult Run(const TScanRequest& request) {
        TScanResult result;
        QuietHost host;
        TScanRun(request, host).Run(result);
        return result;
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

} // namespace

TEST_F(ScanCompleteness, EveryFailedReadOfTheAnalysisMakesTheEntryIncomplete) {
    using nlohmann::json;
    struct TCase {
        const char* Tree;
        bool Edir;
        std::string Entry;
        json Failure;
        bool Resolve, OnlyUsers;
        std::string Reason; // a part of the one reason expected
    };
    const std::string apps = "\\\\FS1\\SYS\\APPS\\DATA";
    const TCase cases[] = {
        {"rights-edir.json",
         true,
         ".Printer1.SALES.ACME",
         {{"operation", "ReadAttributes"},
          {"object", ".SALES.ACME"},
          {"attribute", "ACL"},
          {"code", -672}},
         false,
         false,
         "the ACL of .SALES.ACME could not be read (no access)"},
        {"rights-edir.json",
         true,
         ".Printer1.SALES.ACME",
         {{"operation", "SearchObjects"}, {"code", -672}, {"call", 2}},
         false,
         false,
         "the objects security equivalent to"},
        {"rights-edir.json",
         true,
         ".Kim.SALES.ACME",
         {{"operation", "ListSubordinates"}, {"object", ".TEAM.DEV.ACME"}, {"code", -672}},
         true,
         false,
         "the objects residing in .TEAM.DEV.ACME could not be read (no access)"},
        {"rights-edir.json",
         true,
         ".Printer1.SALES.ACME",
         {{"operation", "ReadObjectItems"}, {"object", ".Joe.SALES.ACME"}, {"code", -672}},
         false,
         false,
         "the class of .Joe.SALES.ACME could not be read (no access)"},
        {"rights-edir.json",
         true,
         ".Printer1.SALES.ACME",
         {{"operation", "EntryEffectiveRights"}, {"code", -672}, {"call", 1}},
         false,
         false,
         "the directory's effective rights of"},
        {"rights-edir.json",
         true,
         ".Printer1.SALES.ACME",
         {{"operation", "ReadAttributes"},
          {"object", ".Joe.SALES.ACME"},
          {"attribute", "Object Class"},
          {"code", -672}},
         false,
         true,
         "the classes of .Joe.SALES.ACME could not be read (no access)"},
        {"rights-fs.json",
         false,
         apps,
         {{"operation", "PathTrustees"}, {"server", "FS1"}, {"path", "SYS:APPS"}, {"code", -672}},
         false,
         false,
         "the trustees of SYS:APPS could not be read"},
        {"rights-fs.json",
         false,
         apps,
         {{"operation", "DirEntryInfo"}, {"server", "FS1"}, {"path", "SYS:APPS"}, {"code", -672}},
         false,
         false,
         "the inherited rights mask of SYS:APPS could not be read"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Failure.dump());
        // Without the failure the same scan is whole: the reason comes from the failure alone.
        for (bool failing : {false, true}) {
            ASSERT_NO_FATAL_FAILURE(
                LoadWithFailures(c.Tree, failing ? json::array({c.Failure}) : json::array()));
            TScanRequest request = ScanRequest(c.Edir, {c.Entry});
            request.ResolveContainers = c.Resolve;
            request.OnlyUsers = c.OnlyUsers;
            TScanResult result = Run(request);
            ASSERT_EQ(result.Entries.size(), 1u);
            const TScanEntry& entry = result.Entries[0];
            EXPECT_EQ(entry.Status, TEntryStatus::Analysed);
            if (!failing) {
                EXPECT_TRUE(U_EntryComplete(entry)) << Joined(entry.Incomplete);
                EXPECT_TRUE(U_ScanComplete(result));
                continue;
            }
            EXPECT_FALSE(U_ScanComplete(result));
            EXPECT_NE(Joined(entry.Incomplete).find(c.Reason), std::string::npos)
                << Joined(entry.Incomplete);
            EXPECT_NE(U_EntryProblem(entry).find("incomplete: "), std::string::npos);
            auto doc = nlohmann::json::parse(U_ScanResultToJson(result));
            EXPECT_FALSE(doc["complete"].get<bool>());
            EXPECT_FALSE(doc["entries"][0]["complete"].get<bool>());
            EXPECT_EQ(doc["entries"][0]["incomplete"].size(), entry.Incomplete.size());
        }
    }
}

TEST_F(ScanCompleteness, ValuesTheClientHandsOutAsNoAclAreCounted) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    // The sample tree's .Archive.Finance.Corvale is a fault of the bundled tree itself: its ACL
    // cannot be read with the connection's identity.
    ASSERT_NO_FATAL_FAILURE(Serve());
    OpenContext();
    TScanResult result = Run(ScanRequest(true, {".Archive.Finance.Corvale", ".Nobody.Corvale"}));
    ASSERT_EQ(result.Entries.size(), 2u);
    EXPECT_EQ(U_EntryProblem(result.Entries[0]),
              "incomplete: the ACL of .Archive.Finance.Corvale could not be read (no access)");
    EXPECT_EQ(result.Entries[1].Status, TEntryStatus::NotFound);
    EXPECT_EQ(U_EntryProblem(result.Entries[1]), "not found");
    EXPECT_EQ(U_IncompleteEntries(result), 2);
}

TEST_F(ScanCompleteness, ABrokenClientEndsTheRunAndRecordsTheEntriesNotReached) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    auto breaking = ServeWith<BreakingClient>("rights-edir.json");
    ASSERT_TRUE(breaking);
    // The first entry reads well; the break comes during the second.
    breaking->BreakAt = ".Joe.SALES.ACME";
    TScanResult result =
        Run(ScanRequest(true, {".Printer1.SALES.ACME", ".Joe.SALES.ACME", ".Kim.SALES.ACME"}));
    EXPECT_EQ(result.Broken, "the connection to the test server was lost");
    EXPECT_FALSE(U_ScanComplete(result));
    ASSERT_EQ(result.Entries.size(), 3u) << "every entry has a record";
    EXPECT_EQ(result.EntriesDone, 2);
    EXPECT_TRUE(U_EntryComplete(result.Entries[0]));
    EXPECT_NE(Joined(result.Entries[1].Incomplete).find("was lost"), std::string::npos);
    EXPECT_EQ(result.Entries[2].Status, TEntryStatus::Cancelled);
    EXPECT_NE(result.Summary.Strings().back().find("Scan ended after"), std::string::npos);
    auto doc = nlohmann::json::parse(U_ScanResultToJson(result));
    EXPECT_EQ(doc["ended"], result.Broken);
    EXPECT_EQ(doc["entries"][2]["status"], "not-scanned");
}

TEST_F(ScanCompleteness, ACancelledRunRecordsTheEntriesItDidNotScan) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    TScanRequest request = ScanRequest(true, {".Printer1.SALES.ACME", ".Joe.SALES.ACME"});
    std::atomic<bool> cancel = true;
    request.Cancel = &cancel;
    TScanResult result = Run(request);
    ASSERT_EQ(result.Entries.size(), 2u);
    for (const auto& e : result.Entries) {
        EXPECT_EQ(e.Status, TEntryStatus::Cancelled);
        EXPECT_EQ(U_EntryProblem(e), "not scanned: the run ended before it");
    }
    auto doc = nlohmann::json::parse(U_ScanResultToJson(result));
    EXPECT_TRUE(doc["cancelled"].get<bool>());
    EXPECT_FALSE(doc["complete"].get<bool>());
}
