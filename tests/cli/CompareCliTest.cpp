// trovalen-scan --compare as a quarterly review uses it: results saved one quarter, a tree changed,
// and the changes listed with diff's exit statuses, in every format; files that are no results are
// refused with one line.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "cli/CliRun.h"

namespace fs = std::filesystem;
using json = nlohmann::json;
using trovalen::testing::ReadAll;
using trovalen::testing::RunCli;
using trovalen::testing::ShellQuoted;
using trovalen::testing::TCliRun;

namespace {

constexpr int kNoChange = 0;
constexpr int kChanges = 1;
constexpr int kTrouble = 2;

const std::vector<std::string> kObjects = {".SALES.ACME", ".Printer1.SALES.ACME", ".DEV.ACME"};

class CompareCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("trovalen-compare-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "mnt");
    }
    void TearDown() override { fs::remove_all(dir); }

    TCliRun Scan(const std::vector<std::string>& args) {
        return RunCli(TROVALEN_SCAN_EXE, args, dir,
                      "TROVALEN_MOUNT=" + ShellQuoted((dir / "mnt").string()) + " TROVALEN_TREE=");
    }

    // The scenario tree with an edit, as a file of its own.
    std::string Tree(const std::string& name, void (*edit)(json&)) {
        std::ifstream in(std::string(TROVALEN_TEST_DATA) + "/rights-edir.json");
        json tree = json::parse(in);
        if (edit)
            edit(tree);
        std::string path = (dir / name).string();
        std::ofstream(path) << tree.dump();
        return path;
    }

    // A saved result of the objects in the tree.
    std::string Save(const std::string& tree, const std::string& name) {
        std::string path = (dir / name).string();
        std::vector<std::string> args = {"--tree", tree, "--edir", "--format", "json", "-o", path};
        args.insert(args.end(), kObjects.begin(), kObjects.end());
        TCliRun run = Scan(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        return path;
    }

    fs::path dir;
};

void AddKim(json& tree) {
    for (auto& o : tree["trees"][0]["objects"])
        if (o["name"] == "SALES.ACME")
            o["acl"].push_back({{"subject", ".Kim.SALES.ACME"},
                                {"attribute", "[Entry Rights]"},
                                {"rights", "B     "}});
}

} // namespace

TEST_F(CompareCli, AQuarterlyReviewListsWhatChangedWithDiffsExitStatus) {
    std::string q1 = Save(Tree("q1.json", nullptr), "q1-result.json");
    std::string q2tree = Tree("q2.json", AddKim);
    std::string q2 = Save(q2tree, "q2-result.json");

    TCliRun same = Scan({"--compare", q1, q1});
    EXPECT_EQ(same.Status, kNoChange) << same.Err;
    EXPECT_NE(same.Out.find("\nNo changes in 3 entries.\n"), std::string::npos) << same.Out;

    TCliRun files = Scan({"--compare", q1, q2});
    EXPECT_EQ(files.Status, kChanges) << files.Err;
    EXPECT_NE(
        files.Out.find("Object: .SALES.ACME\n"
                       "  Added:   [B     ] .Kim.SALES.ACME (User) [Entry Rights]\n"
                       "           [B     ] for direct Trustee assignment on \".SALES.ACME\"\n"),
        std::string::npos)
        << files.Out;
    EXPECT_NE(files.Out.find("\n1 change in 1 entry.\n"), std::string::npos) << files.Out;
    EXPECT_EQ(files.Err, "");

    // Scanning now and comparing with the saved result gives the same changes.
    std::vector<std::string> args = {"--compare", q1,         "--tree", q2tree,
                                     "--edir",    "--format", "json"};
    args.insert(args.end(), kObjects.begin(), kObjects.end());
    TCliRun scanned = Scan(args);
    EXPECT_EQ(scanned.Status, kChanges) << scanned.Err;
    json doc = json::parse(scanned.Out);
    EXPECT_EQ(doc["after"]["name"], "this scan");
    ASSERT_EQ(doc["changes"].size(), 1u);
    EXPECT_EQ(doc["changes"][0]["change"], "added");
    EXPECT_EQ(doc["changes"][0]["trustee"], ".Kim.SALES.ACME");
    EXPECT_EQ(doc["changes"][0]["after"], "B     ");

    // The comparison document and the results it read keep to their schemas.
    std::ofstream(dir / "compare.json") << scanned.Out;
    TCliRun check =
        RunCli(std::string(TROVALEN_SOURCE_DIR) + "/tests/cli/check_output.py",
               {"schema", std::string(TROVALEN_SOURCE_DIR) + "/docs/scan-compare.schema.json",
                (dir / "compare.json").string()},
               dir);
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
    check = RunCli(
        std::string(TROVALEN_SOURCE_DIR) + "/tests/cli/check_output.py",
        {"schema", std::string(TROVALEN_SOURCE_DIR) + "/docs/scan-result.schema.json", q1, q2},
        dir);
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err;

    // Every format carries the change.
    for (const char* format : {"csv", "html", "xml"}) {
        TCliRun run = Scan({"--compare", q1, q2, "--format", format});
        EXPECT_EQ(run.Status, kChanges) << format << run.Err;
        EXPECT_NE(run.Out.find(".Kim.SALES.ACME"), std::string::npos) << format;
    }
    std::string sheet = (dir / "changes.xlsx").string();
    EXPECT_EQ(Scan({"--compare", q1, q2, "--format", "xlsx", "-o", sheet}).Status, kChanges);
    EXPECT_GT(fs::file_size(sheet), 0u);
}

TEST_F(CompareCli, WhatCannotBeComparedIsTroubleWithOneLine) {
    std::string q1 = Save(Tree("q1.json", nullptr), "q1-result.json");
    std::ofstream(dir / "notes.json") << "{\"quarter\": 1}";
    std::ofstream(dir / "newer.json") << "{\"format\": 9, \"scanType\": \"eDirectory\", "
                                         "\"entries\": []}";
    std::ofstream(dir / "cut.json") << "{\"format\": 1, \"entries\": [";
    struct TCase {
        std::vector<std::string> Args;
        std::string Err;
    };
    const std::string d = dir.string() + "/";
    const TCase cases[] = {
        {{"--compare", d + "notes.json", q1},
         "trovalen-scan: " + d +
             "notes.json: not a scan result (trovalen-scan --format json "
             "writes one)\n"},
        {{"--compare", q1, d + "newer.json"},
         "trovalen-scan: " + d +
             "newer.json: written in a newer layout (format 9); this version reads format 1 and "
             "older\n"},
        {{"--compare", d + "missing.json", q1},
         "trovalen-scan: " + d + "missing.json: no such file\n"},
        {{"--compare", d + "cut.json", q1},
         "trovalen-scan: " + d +
             "cut.json: not JSON: parse error at line 1, column 27: syntax error while parsing "
             "value - unexpected end of input; expected '[', '{', or a literal\n"},
        // A scan of the other type is refused before anything is scanned.
        {{"--compare", q1, "\\\\FS1\\SYS"},
         "trovalen-scan: " + q1 +
             " holds an eDirectory scan: give --edir to compare it\nTry 'trovalen-scan --help' "
             "for more information.\n"},
    };
    for (const auto& c : cases) {
        TCliRun run = Scan(c.Args);
        EXPECT_EQ(run.Status, kTrouble) << c.Args[1];
        EXPECT_EQ(run.Err, c.Err) << c.Args[1];
        EXPECT_EQ(run.Out, "");
    }

    // A result that is not whole makes the comparison trouble too: the changes may not be all.
    json partial = json::parse(ReadAll(q1));
    partial["entries"][0]["complete"] = false;
    partial["entries"][0]["incomplete"] = {"the ACL of .SALES.ACME could not be read (no access)"};
    std::ofstream(dir / "partial.json") << partial.dump();
    TCliRun run = Scan({"--compare", q1, d + "partial.json"});
    EXPECT_EQ(run.Status, kTrouble);
    EXPECT_EQ(run.Err,
              "trovalen-scan: The after result of .SALES.ACME is incomplete: the ACL of "
              ".SALES.ACME could not be read (no access); its changes may not be whole.\n");
    EXPECT_NE(run.Out.find("Note: The after result of .SALES.ACME is incomplete"),
              std::string::npos);
}
