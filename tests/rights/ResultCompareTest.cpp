// Two scans of a tree, one before and one after a change to it, compared through the JSON result
// the command writes: each kind of change an administrator makes gives exactly its change records,
// a result compared with itself gives none, and results that are not results are refused.
#include "AnalysisFixture.h"

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "rights/ResultCompare.h"
#include "rights/ResultFile.h"
#include "rights/ScanJson.h"
#include "rights/ScanRun.h"

using namespace trovalen;
using nlohmann::json;
using trovalen::testing::AnalysisTest;

namespace {

class QuietHost : public TScanHost {};

class ResultCompare : public AnalysisTest {
protected:
    // The tree's entries scanned and read back from the JSON document, as a file would be.
    TSavedResult Scan(bool edir, const std::vector<std::string>& entries, bool resolve = false) {
        TScanRequest request = ScanRequest(edir);
        for (const auto& e : entries)
            request.Entries.Add(e);
        request.ResolveContainers = resolve;
        TScanResult result;
        QuietHost host;
        TScanRun(request, host).Run(result);
        TSavedResult saved;
        std::string error;
        EXPECT_TRUE(U_ParseScanResult(U_ScanResultToJson(result), saved, error)) << error;
        return saved;
    }

    // The test tree changed by edit, written to the scratch folder and served.
    void ServeChanged(const std::string& treeFile, const std::function<void(json&)>& edit) {
        std::ifstream in(std::string(TROVALEN_TEST_DATA) + "/" + treeFile);
        json tree = json::parse(in);
        edit(tree);
        const std::string path = scratchFolder + "/changed.json";
        std::ofstream(path) << tree.dump();
        ASSERT_NO_FATAL_FAILURE(Serve(path));
        OpenContext();
    }

    // The changes the edit makes to the scans of the entries, one line each:
    // kind|entry|trustee|attribute|before|after.
    std::vector<std::string> Changes(const std::string& treeFile, bool edir,
                                     const std::vector<std::string>& entries,
                                     const std::function<void(json&)>& edit, bool resolve = false) {
        Load(treeFile);
        TSavedResult before = Scan(edir, entries, resolve);
        ServeChanged(treeFile, edit);
        TSavedResult after = Scan(edir, entries, resolve);
        TComparison comparison;
        std::string error;
        EXPECT_TRUE(U_CompareResults(before, after, "before", "after", comparison, error)) << error;
        last = comparison;
        std::vector<std::string> out;
        for (const auto& c : comparison.Changes)
            out.push_back(std::string(U_ChangeKindName(c.Kind)) + "|" + c.Entry + "|" + c.Trustee +
                          "|" + c.Attribute + "|" + c.Before + "|" + c.After);
        return out;
    }

    static json& Object(json& tree, const std::string& name) {
        for (auto& o : tree["trees"][0]["objects"])
            if (o["name"] == name)
                return o;
        throw std::runtime_error("no object " + name);
    }

    TComparison last;
};

using Lines = std::vector<std::string>;

const std::vector<std::string> kObjects = {".SALES.ACME", ".Printer1.SALES.ACME", ".DEV.ACME",
                                           ".TEAM.DEV.ACME"};

} // namespace

TEST_F(ResultCompare, AResultComparedWithItselfHasNoChange) {
    Load("rights-edir.json");
    TSavedResult saved = Scan(true, kObjects);
    TComparison comparison;
    std::string error;
    ASSERT_TRUE(U_CompareResults(saved, saved, "a.json", "a.json", comparison, error)) << error;
    EXPECT_TRUE(comparison.Changes.empty());
    EXPECT_TRUE(comparison.Notes.empty());
    EXPECT_FALSE(comparison.Partial);
    EXPECT_EQ(comparison.EntriesCompared, 4);
    EXPECT_NE(U_ComparisonText(comparison).find("\nNo changes in 4 entries.\n"), std::string::npos);
}

TEST_F(ResultCompare, EachKindOfChangeGivesItsRecords) {
    const std::string tree = "rights-edir.json";
    // A trustee assignment added: the new trustee, with the newer result's reasons.
    EXPECT_EQ(Changes(tree, true, kObjects,
                      [](json& t) {
                          Object(t, "SALES.ACME")["acl"].push_back({{"subject", ".Kim.SALES.ACME"},
                                                                    {"attribute", "[Entry Rights]"},
                                                                    {"rights", "B     "}});
                      }),
              (Lines{"added|.SALES.ACME|.Kim.SALES.ACME|[Entry Rights]||B     "}));
    ASSERT_EQ(last.Changes.size(), 1u);
    ASSERT_FALSE(last.Changes[0].Reasons.empty());
    EXPECT_NE(last.Changes[0].Reasons[0].Why.find("SALES.ACME"), std::string::npos);

    // One removed.
    EXPECT_EQ(Changes(tree, true, kObjects,
                      [](json& t) {
                          json& acl = Object(t, "SALES.ACME")["acl"];
                          acl.erase(1); // .Ann.SALES.ACME
                      }),
              (Lines{"removed|.SALES.ACME|.Ann.SALES.ACME|[Entry Rights]|BC    |"}));

    // An inherited rights mask that lets more through: the rights that flow into the container
    // from above grow, and a trustee whose inheritable rights it blocked comes in.
    EXPECT_EQ(Changes(tree, true, kObjects,
                      [](json& t) { Object(t, "DEV.ACME")["acl"][0]["rights"] = "BCDR I"; }),
              (Lines{"changed|.DEV.ACME|.Admin.ACME|[Entry Rights]|B    I|BCDR I",
                     "added|.DEV.ACME|.Joe.SALES.ACME|[Entry Rights]|| C   I"}));

    // A group's membership: the deputies are no longer equivalent to the managers, so the
    // rights they held through the managers go, wherever the managers hold them.
    EXPECT_EQ(Changes(
                  tree, true, kObjects,
                  [](json& t) { Object(t, "Deputies.ACME").erase("attributes"); }, true),
              (Lines{"removed|.SALES.ACME|.Deputies.ACME|[Entry Rights]|B  R I|",
                     "removed|.Printer1.SALES.ACME|.Deputies.ACME|[Entry Rights]|B  R I|"}));

    // A renamed trustee is one trustee gone and another come, with the same rights.
    EXPECT_EQ(Changes(tree, true, kObjects,
                      [](json& t) {
                          Object(t, "Ann.SALES.ACME")["name"] = "Anna.SALES.ACME";
                          Object(t, "SALES.ACME")["acl"][1]["subject"] = ".Anna.SALES.ACME";
                          Object(t, "Printer1.SALES.ACME")["acl"][0]["subject"] =
                              ".Anna.SALES.ACME";
                      }),
              (Lines{"added|.SALES.ACME|.Anna.SALES.ACME|[Entry Rights]||BC    ",
                     "removed|.SALES.ACME|.Ann.SALES.ACME|[Entry Rights]|BC    |",
                     "added|.Printer1.SALES.ACME|.Anna.SALES.ACME|Title||CRWSA ",
                     "removed|.Printer1.SALES.ACME|.Ann.SALES.ACME|Title|CRWSA |"}));
}

TEST_F(ResultCompare, EntriesThatAppearDisappearOrAreNotFoundAreSaidOnce) {
    Load("rights-edir.json");
    TSavedResult before = Scan(true, {".SALES.ACME", ".DEV.ACME"});
    TSavedResult after = Scan(true, {".TEAM.DEV.ACME", ".DEV.ACME"});
    before.Entries[1].Status = "not-found";
    before.Entries[1].Trustees.clear();
    TComparison c;
    std::string error;
    ASSERT_TRUE(U_CompareResults(before, after, "q1.json", "q2.json", c, error)) << error;
    ASSERT_GE(c.Changes.size(), 3u);
    EXPECT_EQ(c.Changes.front().Kind, TChangeKind::EntryAppeared);
    EXPECT_EQ(c.Changes.front().Entry, ".TEAM.DEV.ACME");
    // The appeared entry's trustees follow as added; a status change lists no trustees.
    size_t i = 1;
    while (i < c.Changes.size() && c.Changes[i].Kind == TChangeKind::TrusteeAdded)
        EXPECT_EQ(c.Changes[i++].Entry, ".TEAM.DEV.ACME");
    ASSERT_EQ(c.Changes.size(), i + 2);
    EXPECT_EQ(c.Changes[i].Kind, TChangeKind::StatusChanged);
    EXPECT_EQ(c.Changes[i].Before, "not-found");
    EXPECT_EQ(c.Changes[i].After, "analysed");
    EXPECT_EQ(c.Changes[i + 1].Kind, TChangeKind::EntryDisappeared);
    EXPECT_EQ(c.Changes[i + 1].Entry, ".SALES.ACME");
    EXPECT_EQ(U_ChangedEntries(c), 3);
}

TEST_F(ResultCompare, OtherListingOptionsAndPartialResultsAreSaidBeforeTheChanges) {
    Load("rights-edir.json");
    TSavedResult before = Scan(true, kObjects);
    TSavedResult after = Scan(true, kObjects, true);
    after.Settings.Exclude = "Temp";
    after.Entries[0].Complete = false;
    after.Entries[0].Incomplete = {"the ACL of .SALES.ACME could not be read (no access)"};
    TComparison c;
    std::string error;
    ASSERT_TRUE(U_CompareResults(before, after, "q1.json", "q2.json", c, error));
    ASSERT_EQ(c.Notes.size(), 2u);
    EXPECT_TRUE(c.Partial);
    EXPECT_EQ(c.Notes[0], "The results were made with different listing options (resolve "
                          "containers: off before, on after; exclude: \"\" before, \"Temp\" "
                          "after); a change of option is not a change of rights.");
    EXPECT_EQ(c.Notes[1], "The after result of .SALES.ACME is incomplete: the ACL of .SALES.ACME "
                          "could not be read (no access); its changes may not be whole.");
    std::string text = U_ComparisonText(c);
    EXPECT_LT(text.find("Note: The results were made"), text.find("\nObject: "));

    // Other formats carry the same records: a heading row and one row per note and change.
    TGrid grid = U_ComparisonGrid(c);
    EXPECT_EQ(grid.RowCount(), int(1 + c.Notes.size() + c.Changes.size()));
    EXPECT_EQ(grid.Cell(4, 0), "Attribute");
    json doc = json::parse(U_ComparisonJson(c));
    EXPECT_EQ(doc["changes"].size(), c.Changes.size());
    EXPECT_EQ(doc["notes"].size(), 2u);
    EXPECT_EQ(doc["before"]["name"], "q1.json");
}

TEST_F(ResultCompare, ResultsOfTwoScanTypesAreNotCompared) {
    TSavedResult fs, edir;
    edir.Edir = true;
    TComparison c;
    std::string error;
    EXPECT_FALSE(U_CompareResults(fs, edir, "fs.json", "edir.json", c, error));
    EXPECT_EQ(error, "fs.json holds a file-system scan and edir.json an eDirectory scan; only "
                     "results of one scan type can be compared");
}

TEST(ResultFile, WhatIsNoResultGetsOneLineSayingWhy) {
    struct TCase {
        std::string Text;
        std::string Error;
    };
    const std::string head = R"({"format":1,"variant":"v","version":"1","date":"d",)"
                             R"("scanType":"file-system","settings":{"resolveContainers":false,)"
                             R"("scanSubdirs":false,"onlyUsers":false,"exclude":"","include":""},)"
                             R"("complete":true,"cancelled":false,"notes":[],)";
    const std::string entry = R"({"path":"\\\\FS1\\SYS","tree":"T","server":"FS1","volume":"SYS",)"
                              R"("status":"analysed","complete":true,"incomplete":[],"errors":[],)";
    const TCase cases[] = {
        {"", "not JSON: parse error at line 1, column 1: syntax error while parsing value - "
             "unexpected end of input; expected "
             "'[', '{', or a literal"},
        {"[1,2]", "not a scan result (trovalen-scan --format json writes one)"},
        {R"({"format":2,"scanType":"file-system","entries":[]})",
         "written in a newer layout (format 2); this version reads format 1 and older"},
        {head + R"("entries":[7]})", "entries[0]: not an object"},
        {head + R"("entries":[)" + entry +
             R"("trustees":[{"class":"User","name":".A",)"
             R"("family":"file-system","rights":"R","mask":-1,)"
             R"("sources":[],"reasons":[]}]}]})",
         "entries[0].trustees[0].mask: not a rights mask (a whole number from 0 to 4294967295)"},
        {head + R"("entries":[)" + entry + R"("trustees":[]}], "scanType":"x"})",
         "scanType: \"x\" is no scan type"},
        {head + R"("entries":[)" + entry.substr(0, entry.find("\"status\"")) +
             R"("status":"lost","complete":true,"incomplete":[],"errors":[],"trustees":[]}]})",
         "entries[0].status: \"lost\" is no entry status"},
        {std::string(100, '[') + std::string(100, ']'), "nested too deeply to be a scan result"},
    };
    for (const auto& c : cases) {
        TSavedResult result;
        std::string error;
        EXPECT_FALSE(U_ParseScanResult(c.Text, result, error)) << c.Text;
        EXPECT_EQ(error, c.Error) << c.Text;
        EXPECT_TRUE(result.Entries.empty());
    }

    TSavedResult result;
    std::string error;
    EXPECT_FALSE(U_ReadScanResultFile("/nonexistent/q1.json", result, error));
    EXPECT_EQ(error, "/nonexistent/q1.json: no such file");
    EXPECT_FALSE(U_ReadScanResultFile("/dev/null", result, error));
    EXPECT_EQ(error, "/dev/null: not a file");
}
