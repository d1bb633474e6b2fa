#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "cli/CliRun.h"
#include "util/Util.h"

namespace fs = std::filesystem;
using trovalen::testing::RunCli;
using trovalen::testing::ShellQuoted;
using trovalen::testing::TCliRun;

namespace {

class ScanCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("trovalen-cli-" + std::to_string(getpid()));
        fs::create_directories(dir / "mnt");
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs trovalen-scan with the arguments, on the test's own mount and no tree from outside.
    TCliRun Scan(const std::vector<std::string>& args) {
        return RunCli(TROVALEN_SCAN_EXE, args, dir,
                      "TROVALEN_MOUNT=" + ShellQuoted((dir / "mnt").string()) + " TROVALEN_TREE=");
    }

    std::string Data(const std::string& name) {
        return std::string(TROVALEN_TEST_DATA) + "/" + name;
    }
    fs::path dir;
};

int Lines(const std::string& text, const std::string& prefix) {
    int n = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, prefix.size(), prefix) == 0)
            ++n;
        start = end + 1;
    }
    return n;
}

} // namespace

TEST_F(ScanCli, UsageErrorsExitWithTwoAndOneMessage) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"--bogus", "x"},
                                                                  {"--tree"},
                                                                  {"--format", "pdf", "x"},
                                                                  {"--tree-name", "T", "x"}}) {
        TCliRun run = Scan(args);
        EXPECT_EQ(run.Status, 2) << run.Err;
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(trovalen::U_CountOf(run.Err, "trovalen-scan: "), 1) << run.Err;
    }
    TCliRun help = Scan({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Usage: trovalen-scan"), std::string::npos);
}

TEST_F(ScanCli, TreeFileThatCannotBeLoaded) {
    std::ofstream(dir / "bad.json") << "{\"format\": 1, \"trees\": [";
    TCliRun run = Scan({"--tree", (dir / "bad.json").string(), "\\\\FS1\\SYS"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("bad.json"), std::string::npos) << run.Err;
    TCliRun missing = Scan({"--tree", (dir / "missing.json").string(), "\\\\FS1\\SYS"});
    EXPECT_EQ(missing.Status, 2);
}

TEST_F(ScanCli, PrintsTheSummaryOrTheDetails) {
    TCliRun run =
        Scan({"--tree", Data("rights-fs.json"), "\\\\FS1\\SYS\\APPS\\DATA", "FS1/SYS:GONE"});
    // A start path that is not found makes the exit status 1; the report is still complete.
    ASSERT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(run.Out.rfind("Version:   Trovalen.file v1.6 (2009-09) \n", 0), 0u) << run.Out;
    EXPECT_EQ(Lines(run.Out, "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.ACME"), 1) << run.Out;
    EXPECT_EQ(Lines(run.Out, "Path: \"\\\\FS1\\SYS\\GONE\" (not found)"), 1) << run.Out;
    EXPECT_EQ(Lines(run.Out, "No trustees detected"), 1);
    EXPECT_EQ(Lines(run.Out, "  Direct Trustee:"), 0);

    TCliRun details =
        Scan({"--tree", Data("rights-fs.json"), "--details", "\\\\FS1\\SYS\\APPS\\DATA"});
    ASSERT_EQ(details.Status, 0);
    EXPECT_GT(Lines(details.Out, "  Direct Trustee:"), 0) << details.Out;
    EXPECT_GT(Lines(details.Out, "     * "), 0);

    TCliRun edir = Scan({"--tree", Data("rights-edir.json"), "--edir", "--only-users", "--exclude",
                         "admin", ".Printer1.SALES.ACME"});
    ASSERT_EQ(edir.Status, 0) << edir.Err;
    EXPECT_EQ(Lines(edir.Out, "Effective Trustee:\tGroup"), 0) << edir.Out;
    EXPECT_EQ(Lines(edir.Out, "Effective Trustee:\tUser\t[CRWSA ]\t.Admin.ACME"), 0);
    EXPECT_EQ(Lines(edir.Out, "Effective Trustee:\tUser\t[CRWSA ]\t.Ann.SALES.ACME\tTitle"), 1)
        << edir.Out;
}

TEST_F(ScanCli, ExportFormatsAndOutputFile) {
    std::string out = (dir / "summary.xml").string();
    TCliRun run = Scan({"--tree", Data("rights-names.json"), "--edir", "--format", "xml", "-o", out,
                        ".Vault.Acme"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "");
    std::ifstream in(out);
    std::string xml((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(xml.find("encoding=\"UTF-8\""), std::string::npos) << xml;
    EXPECT_NE(xml.find(".R&amp;D.Acme"), std::string::npos) << xml;
    EXPECT_EQ(xml.find(".R&D.Acme"), std::string::npos) << "names are escaped";

    TCliRun csv = Scan({"--tree", Data("rights-fs.json"), "--format", "csv", "\\\\FS1\\SYS"});
    ASSERT_EQ(csv.Status, 0);
    EXPECT_NE(csv.Out.find("Effective Trustee:"), std::string::npos) << csv.Out;

    TCliRun unwritable =
        Scan({"--tree", Data("rights-fs.json"), "-o", "/nonexistent/dir/x.txt", "\\\\FS1\\SYS"});
    EXPECT_EQ(unwritable.Status, 1) << "a failed write is no success";
    EXPECT_NE(unwritable.Err.find("trovalen-scan: "), std::string::npos);
}

TEST_F(ScanCli, EveryEntryNotWholeIsSaidOnStandardErrorAndExitsWithOne) {
    // The bundled tree: the ACL of .Archive.Finance.Corvale cannot be read with the connection's
    // identity; .Nobody.Corvale does not exist.
    TCliRun run = Scan({"--edir", ".Mara.Sales.Corvale", ".Archive.Finance.Corvale",
                        ".Nobody.Corvale", "--format", "json"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(run.Err, "trovalen-scan: .Archive.Finance.Corvale: incomplete: the ACL of "
                       ".Archive.Finance.Corvale could not be read (no access)\n"
                       "trovalen-scan: .Nobody.Corvale: not found\n");
    EXPECT_NE(run.Out.find("\"complete\": false"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("could not be read (no access)"), std::string::npos) << run.Out;

    TCliRun path = Scan({"--tree", Data("rights-fs.json"), "FS1/SYS:GONE"});
    EXPECT_EQ(path.Status, 1);
    EXPECT_EQ(trovalen::U_CountOf(path.Err, "trovalen-scan: "), 1) << path.Err;
    EXPECT_NE(path.Err.find("GONE: not found"), std::string::npos) << path.Err;

    TCliRun whole = Scan({"--edir", ".Mara.Sales.Corvale"});
    EXPECT_EQ(whole.Status, 0) << whole.Err;
    EXPECT_EQ(whole.Err, "");
}

TEST_F(ScanCli, AReportTakesTheUsualPermissions) {
    const std::string out = (dir / "report.txt").string();
    TCliRun run = RunCli(
        TROVALEN_SCAN_EXE, {"--tree", Data("rights-fs.json"), "-o", out, "\\\\FS1\\SYS"}, dir,
        "umask 022; TROVALEN_MOUNT=" + ShellQuoted((dir / "mnt").string()) + " TROVALEN_TREE=");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
}
