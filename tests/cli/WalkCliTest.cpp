// trovalen-scan's walks as a person or a script runs them: --trustee (what one trustee can
// reach), --recursive and --changes-only; their summaries, JSON documents, exit statuses and
// usage errors. That each entry's rights are the forward scan's is proven in tests/rights.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <unistd.h>

#include "cli/CliRun.h"
#include "util/Util.h"

namespace fs = std::filesystem;
using json = nlohmann::json;
using trovalen::U_CountOf;
using trovalen::U_StartsWith;
using trovalen::testing::ReadAll;
using trovalen::testing::RunCli;
using trovalen::testing::ShellQuoted;
using trovalen::testing::TCliRun;

namespace {

class WalkCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("trovalen-walk-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "mnt");
    }
    void TearDown() override { fs::remove_all(dir); }

    TCliRun Scan(const std::vector<std::string>& args) {
        return RunCli(TROVALEN_SCAN_EXE, args, dir,
                      "TROVALEN_MOUNT=" + ShellQuoted((dir / "mnt").string()) + " TROVALEN_TREE=");
    }
    static std::string Data(const std::string& name) {
        return std::string(TROVALEN_TEST_DATA) + "/" + name;
    }
    // The validator's messages when the file is not a scan result by docs/'s schema.
    static std::string SchemaErrors(const fs::path& file) {
        TCliRun run =
            RunCli(std::string(TROVALEN_SOURCE_DIR) + "/tests/cli/check_output.py",
                   {"schema", std::string(TROVALEN_SOURCE_DIR) + "/docs/scan-result.schema.json",
                    file.string()},
                   fs::temp_directory_path());
        return run.Status == 0 ? std::string() : run.Out + run.Err;
    }

    fs::path dir;
};

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (U_StartsWith(line, prefix))
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

TEST_F(WalkCli, WhatATrusteeReachesInTheSummaryTheDetailsAndJson) {
    const std::string tree = Data("rights-fs.json");
    TCliRun summary = Scan({"--tree", tree, "--trustee", ".Joe.ACME", "\\\\FS1\\SYS"});
    ASSERT_EQ(summary.Status, 0) << summary.Err;
    EXPECT_EQ(summary.Err, "");
    EXPECT_NE(summary.Out.find("Settings:  Trustee=.Joe.ACME\n"), std::string::npos);
    // One line per directory reached, with the rights; APPS and what lies below it.
    EXPECT_EQ(
        LinesStartingWith(summary.Out, "Effective Rights:"),
        (std::vector<std::string>{"Effective Rights:\t[RWCEAFM ]\t\\\\FS1\\SYS\\APPS",
                                  "Effective Rights:\t[R    F  ]\t\\\\FS1\\SYS\\APPS\\DATA"}));

    // The details give the reasons in the forward analysis's words.
    TCliRun details = Scan({"--tree", tree, "--trustee", "Joe.ACME", "--details", "FS1/SYS:"});
    ASSERT_EQ(details.Status, 0) << details.Err;
    EXPECT_NE(details.Out.find("Path: \"\\\\FS1\\SYS\\APPS\"\n"
                               "  Effective: [RWCEAFM ] -> [User] .Joe.ACME\n"
                               "     * [R    F  ] for SecEqu to \".Staff.ACME\"\n"
                               "     * [RWCEAFM ] for direct Trustee assignment on \"SYS:APPS\"\n"),
              std::string::npos)
        << details.Out;

    // The forward scan's document: an entry per directory reached, its trustee the queried one.
    const fs::path out = dir / "reach.json";
    TCliRun doc = Scan({"--tree", tree, "--trustee", ".Joe.ACME", "--format", "json", "-o",
                        out.string(), "\\\\FS1\\SYS"});
    ASSERT_EQ(doc.Status, 0) << doc.Err;
    EXPECT_EQ(SchemaErrors(out), "");
    json result = json::parse(ReadAll(out));
    EXPECT_EQ(result["settings"]["trustee"], ".Joe.ACME");
    EXPECT_TRUE(result["settings"]["resolveContainers"].get<bool>());
    ASSERT_EQ(result["entries"].size(), 2u);
    for (const auto& e : result["entries"]) {
        ASSERT_EQ(e["trustees"].size(), 1u);
        EXPECT_EQ(e["trustees"][0]["name"], ".Joe.ACME");
        EXPECT_FALSE(e["trustees"][0]["reasons"].empty());
    }

    // An object for each attribute the trustee holds rights to.
    TCliRun edir = Scan({"--tree", Data("rights-edir.json"), "--edir", "--trustee",
                         ".Joe.SALES.ACME", ".SALES.ACME"});
    ASSERT_EQ(edir.Status, 0) << edir.Err;
    const auto printer = LinesStartingWith(edir.Out, "Effective Rights:");
    EXPECT_NE(std::find(printer.begin(), printer.end(),
                        "Effective Rights:\t[CR    ]\t.Printer1.SALES.ACME\tTelephone Number"),
              printer.end())
        << edir.Out;
    EXPECT_NE(std::find(printer.begin(), printer.end(),
                        "Effective Rights:\t[BC R I]\t.Printer1.SALES.ACME\t[Entry Rights]"),
              printer.end())
        << edir.Out;
}

TEST_F(WalkCli, ATrusteeThatDoesNotExistEndsWithOneLineAndNoReport) {
    const fs::path out = dir / "kept.txt";
    std::ofstream(out) << "earlier report\n";
    for (bool edir : {false, true}) {
        std::vector<std::string> args{
            "--tree", Data("rights-fs.json"), "--trustee", ".Nobody.ACME", "-o", out.string()};
        if (edir)
            args.push_back("--edir");
        args.push_back(edir ? ".ACME" : "\\\\FS1\\SYS");
        TCliRun run = Scan(args);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err, "trovalen-scan: the trustee .Nobody.ACME does not exist\n");
        EXPECT_EQ(ReadAll(out), "earlier report\n");
    }
}

TEST_F(WalkCli, WhatCouldNotBeReadShowsAndExitsWithOne) {
    // The sample tree cannot hand out the ACL of .Archive.Finance.Corvale: the container and
    // what lies below it are listed as incomplete, whatever the trustee holds there.
    TCliRun run = Scan({"--edir", "--trustee", ".Irene.Finance.Corvale", ".Finance.Corvale"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_NE(run.Out.find("Incomplete:\t.Archive.Finance.Corvale\tincomplete: the ACL of "
                           ".Archive.Finance.Corvale could not be read (no access)"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Err.find("trovalen-scan: .Archive.Finance.Corvale: incomplete: the ACL of "
                           ".Archive.Finance.Corvale could not be read (no access)\n"),
              std::string::npos)
        << run.Err;
    // A scope that is not there is said as the forward scan says it.
    TCliRun missing =
        Scan({"--tree", Data("rights-fs.json"), "--trustee", ".Joe.ACME", "\\\\FS1\\SYS\\NOWHERE"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Out.find("Path: \"\\\\FS1\\SYS\\NOWHERE\" (not found)"), std::string::npos)
        << missing.Out;
    EXPECT_NE(missing.Err.find("NOWHERE: not found"), std::string::npos) << missing.Err;
}

TEST_F(WalkCli, RecursiveScansEveryEntryBelowAndChangesOnlyWhereRightsChange) {
    const std::string tree = Data("rights-fs.json");
    TCliRun all = Scan({"--tree", tree, "--recursive", "\\\\FS1\\SYS"});
    ASSERT_EQ(all.Status, 0) << all.Err;
    EXPECT_NE(all.Out.find("Settings:  Recursive=TRUE\n"), std::string::npos);
    const auto paths = LinesStartingWith(all.Out, "Path: ");
    EXPECT_EQ(paths,
              (std::vector<std::string>{
                  "Path: \"\\\\FS1\\SYS\"", "Path: \"\\\\FS1\\SYS\\APPS\"",
                  "Path: \"\\\\FS1\\SYS\\APPS\\DATA\"", "Path: \"\\\\FS1\\SYS\\APPS\\TOOLS\"",
                  "Path: \"\\\\FS1\\SYS\\HOME\"", "Path: \"\\\\FS1\\SYS\\PUBLIC\""}));

    const fs::path out = dir / "changes.json";
    TCliRun changes = Scan({"--tree", tree, "--recursive", "--changes-only", "--format", "json",
                            "-o", out.string(), "\\\\FS1\\SYS"});
    ASSERT_EQ(changes.Status, 0) << changes.Err;
    EXPECT_EQ(SchemaErrors(out), "");
    json result = json::parse(ReadAll(out));
    EXPECT_TRUE(result["settings"]["changesOnly"].get<bool>());
    std::set<std::string> listed;
    for (const auto& e : result["entries"])
        listed.insert(e["path"].get<std::string>());
    // PUBLIC has the volume's trustees, unchanged: it is not listed; the start always is.
    EXPECT_TRUE(listed.contains("\\\\FS1\\SYS"));
    EXPECT_FALSE(listed.contains("\\\\FS1\\SYS\\PUBLIC"));
    EXPECT_TRUE(listed.contains("\\\\FS1\\SYS\\APPS"));
    for (const auto& e : result["entries"])
        EXPECT_EQ(e.contains("changes"), e["path"] != "\\\\FS1\\SYS") << e.dump();

    TCliRun text = Scan({"--tree", tree, "--recursive", "--changes-only", "\\\\FS1\\SYS"});
    EXPECT_EQ(
        LinesStartingWith(text.Out, "Changed Trustee:\tgained\tUser\t[RWCEAFM ]\t.Joe.ACME").size(),
        1u)
        << text.Out;
    EXPECT_EQ(U_CountOf(text.Out, "Changed Trustee:\tchanged\tUser\t[RWCEAFM ] -> [R    F  ]"
                                  "\t.Bob.ACME"),
              1)
        << text.Out;
}

TEST_F(WalkCli, SwitchesThatDoNotGoTogether) {
    const std::string tree = Data("rights-fs.json");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--tree", tree, "--changes-only", "\\\\FS1\\SYS"},
             {"--tree", tree, "--trustee", ".Joe.ACME", "--changes-only", "\\\\FS1\\SYS"},
             {"--tree", tree, "--trustee", ".Joe.ACME"},
             {"--tree", tree, "--trustee"}}) {
        TCliRun run = Scan(args);
        EXPECT_EQ(run.Status, 2) << run.Err;
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(U_CountOf(run.Err, "trovalen-scan: "), 1) << run.Err;
    }
    TCliRun help = Scan({"--help"});
    for (const char* option : {"--trustee NAME", "--recursive", "--changes-only"})
        EXPECT_NE(help.Out.find(option), std::string::npos) << option;
}
