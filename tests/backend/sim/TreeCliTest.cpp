// trovalen-tree as a user runs it: exit status 2 and one line for every bad file or usage.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "SimTestUtil.h"
#include "backend/sim/SimLoader.h"

namespace {

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

std::string Slurp(const std::string& file) {
    std::ifstream f(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class TreeCli : public ::testing::Test {
protected:
    trovalen::simtest::TempMount dir;

    TRun Run(const std::string& args) {
        std::string out = dir.Root() + "/out.txt", err = dir.Root() + "/err.txt";
        std::string cmd =
            std::string("'") + TROVALEN_TREE_EXE + "' " + args + " >'" + out + "' 2>'" + err + "'";
        TRun r;
        int raw = std::system(cmd.c_str());
        r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.Out = Slurp(out);
        r.Err = Slurp(err);
        return r;
    }
    // Exit status 2, nothing on standard output, exactly one line on standard error.
    void ExpectRefused(const std::string& args, const std::string& fragment) {
        TRun r = Run(args);
        EXPECT_EQ(r.Status, 2) << args;
        EXPECT_TRUE(r.Out.empty()) << args;
        ASSERT_FALSE(r.Err.empty()) << args;
        EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << "one line: " << r.Err;
        EXPECT_NE(r.Err.find(fragment), std::string::npos) << r.Err;
    }
    std::string Data(const std::string& name) {
        return std::string("'") + TROVALEN_TEST_DATA + "/" + name + "'";
    }
};

} // namespace

TEST_F(TreeCli, MalformedFilesExitTwoWithOneLine) {
    for (const char* file :
         {"sim-bad-json.json", "sim-wrong-type.json", "sim-missing-parent.json",
          "sim-duplicate-name.json", "sim-unknown-class.json", "sim-bad-rights.json",
          "sim-missing-reference.json", "sim-duplicate-key.json"})
        ExpectRefused("check " + Data(file), file);
}

TEST_F(TreeCli, HostileFilesExitTwoWithOneLine) {
    std::string deep = dir.Root() + "/deep.json";
    std::ofstream(deep) << std::string(100000, '[') << std::string(100000, ']');
    ExpectRefused("check '" + deep + "'", "nested more than 64 levels");

    std::string big = dir.Root() + "/big.json";
    {
        std::ofstream f(big, std::ios::binary);
        f << "{\"format\": 1, \"trees\": [], \"comment\": \"";
        for (int i = 0; i < 50; ++i)
            f << std::string(1'000'000, 'z');
        f << "\"}";
    }
    // One byte over the bound (the rest of the file is a hole, never written).
    std::filesystem::resize_file(big, trovalen::sim::kMaxTreeFileBytes + 1);
    ExpectRefused("check '" + big + "'", "larger than 512 MiB");
    ExpectRefused("check '" + dir.Root() + "'", "not a regular file");
    ExpectRefused("check '" + dir.Root() + "/none.json'", "cannot open");
}

TEST_F(TreeCli, UsageErrorsExitTwoWithOneLine) {
    ExpectRefused("", "no command");
    ExpectRefused("frobnicate", "unknown command");
    ExpectRefused("check", "needs a file");
    ExpectRefused("check a.json b.json", "one file");
    ExpectRefused("check --verbose a.json", "unknown option");
    ExpectRefused("generate --users many", "must be a number");
    ExpectRefused("generate --depth 99", "must be a number");
    ExpectRefused("generate --users", "needs a value");
    ExpectRefused("generate --members -5", "must be a number");
    ExpectRefused("generate --residents 2000001", "must be a number");
    ExpectRefused("generate --assign-each yes", "unexpected yes");
    EXPECT_EQ(Run("--help").Status, 0);
}

TEST_F(TreeCli, CheckPrintsWhatTheSampleHolds) {
    TRun r = Run("check " + Data("../../data/sample-tree.json"));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty());
    for (const char* line :
         {"Tree CORVALE_TREE: ", "Tree HARBOR_TREE: ", "      Sales  (Organizational Unit",
          "Server CV-FS1 (tree CORVALE_TREE, object .CV-FS1.Corvale)",
          "  Volume DATA (object .CV-FS1_DATA.Corvale): ", "#0BADF00D [R    F  ]",
          "DATA:FINANCE  IRM [        ]",
          "Connection 3: CV-BAK, tree CORVALE_TREE, not authenticated"})
        EXPECT_NE(r.Out.find(line), std::string::npos) << line;
}

TEST_F(TreeCli, GeneratedTreesLoad) {
    std::string file = dir.Root() + "/gen.json";
    ASSERT_EQ(Run("generate --users 500 --groups 7 --depth 2 --fanout 3 --dirs 250 --trustees 4 "
                  "-o '" +
                  file + "'")
                  .Status,
              0);
    TRun r = Run("check --summary '" + file + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    // 500 users, 7 groups, 3 + 9 units, the organization, [Root], admin, server and volume.
    EXPECT_NE(r.Out.find("Tree GEN_TREE: 524 objects"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Volume SYS (object .GEN-FS1_SYS.Gen): 250 directories"),
              std::string::npos)
        << r.Out;
    // The same options give the same file.
    std::string again = dir.Root() + "/again.json";
    Run("generate --users 500 --groups 7 --depth 2 --fanout 3 --dirs 250 --trustees 4 -o '" +
        again + "'");
    EXPECT_EQ(Slurp(file), Slurp(again));
}

TEST_F(TreeCli, GeneratedScenarioHasItsTrusteesAndMembers) {
    const std::string options = "generate --users 0 --groups 1 --depth 0 --dirs 0 --members 30 "
                                "--residents 20";
    struct TCase {
        bool AssignEach;
        size_t ProjTrustees; // trustees on SYS:PROJ
        size_t TargetAcl;    // ACL values of Target.Gen
    };
    for (const TCase& c : {TCase{false, 2, 3}, TCase{true, 52, 53}}) {
        std::string file = dir.Root() + "/scenario.json";
        ASSERT_EQ(
            Run(options + (c.AssignEach ? " --assign-each" : "") + " -o '" + file + "'").Status, 0);
        TRun r = Run("check '" + file + "'");
        ASSERT_EQ(r.Status, 0) << r.Err;
        // 50 users, Everyone, Members, Residents, Target, Group00000, the organization, [Root],
        // admin, server and volume.
        EXPECT_NE(r.Out.find("Tree GEN_TREE: 60 objects"), std::string::npos) << r.Out;
        auto lineOf = [&](const std::string& start) {
            size_t at = r.Out.find(start);
            return at == std::string::npos ? std::string()
                                           : r.Out.substr(at, r.Out.find('\n', at) - at);
        };
        EXPECT_NE(lineOf("      Target  (Group")
                      .find(", " + std::to_string(c.TargetAcl) + " ACL values,"),
                  std::string::npos)
            << r.Out;
        std::string line = lineOf("    SYS:PROJ");
        ASSERT_FALSE(line.empty()) << r.Out;
        EXPECT_EQ(static_cast<size_t>(std::count(line.begin(), line.end(), '[')), c.ProjTrustees)
            << line;
        // Every member is security-equal to the group; every user is there once.
        for (const char* name : {"        M00000  (User", "        M00029  (User"})
            EXPECT_NE(lineOf(name).find(", 1 attributes)"), std::string::npos) << name;
        for (const char* name : {"        R00000  (User", "        R00019  (User"})
            EXPECT_FALSE(lineOf(name).empty()) << name;
        EXPECT_EQ(r.Out.find("M00030"), std::string::npos);
    }
}

// The manual page names every command and option that the program's help texts name, so that
// neither is added to without the other.
TEST_F(TreeCli, TheManualPageNamesEveryCommandAndOption) {
    std::string page = Slurp(std::string(TROVALEN_SOURCE_DIR) + "/dist/man/trovalen-tree.1");
    ASSERT_FALSE(page.empty());
    std::string help = Run("--help").Out;
    for (const char* command : {"check", "generate", "export-ldif", "import-ldif"}) {
        TRun r = Run(std::string(command) + " --help");
        EXPECT_EQ(r.Status, 0) << command << ": " << r.Err;
        help += r.Out;
        EXPECT_NE(page.find(std::string(".B trovalen-tree ") + command), std::string::npos)
            << command;
    }
    // Every "-x" or "--name" at the start of a word of the help texts.
    std::set<std::string> options;
    for (size_t at = help.find('-'); at != std::string::npos; at = help.find('-', at + 1)) {
        if (at > 0 && help[at - 1] != ' ' && help[at - 1] != '[')
            continue;
        size_t end = help.find_first_not_of("-abcdefghijklmnopqrstuvwxyz", at);
        std::string option = help.substr(at, end - at);
        if (option.size() > 1 && option != "--")
            options.insert(option);
    }
    EXPECT_GT(options.size(), 15u) << ::testing::PrintToString(options);
    for (const std::string& option : options) {
        std::string roff;
        for (char c : option)
            roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(roff), std::string::npos) << option << " is not in the manual page";
    }
}
