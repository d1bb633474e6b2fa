// The back-end registry: the directory options every front end shares, their conflicts with the
// front end's own words, and the directory they open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "backend/Backends.h"

namespace trovalen {
namespace {

// Takes every argument the registry knows; the others are returned in order.
TDirectoryArgTake TakeAll(const std::vector<std::string>& args, TDirectoryArgs& out,
                          std::vector<std::string>& rest, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        TDirectoryArgTake take = U_TakeDirectoryArg(args, i, out, error);
        if (take == TDirectoryArgTake::Error)
            return take;
        if (take == TDirectoryArgTake::NotMine)
            rest.push_back(args[i]);
    }
    return TDirectoryArgTake::Taken;
}

// The environment variable holds value for one test, and its old value afterwards.
class TEnvGuard {
public:
    TEnvGuard(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) {
            FHad = true;
            FOld = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TEnvGuard() {
        if (FHad)
            setenv(FName, FOld.c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    bool FHad = false;
    std::string FOld;
};

TEST(Backends, TreeFileOptionInBothFormsAndTheRestLeftToTheFrontEnd) {
    struct TCase {
        std::vector<std::string> Args;
        std::string TreeFile;
        std::vector<std::string> Rest;
    } cases[] = {
        {{"--tree", "a.json", "DEBUG"}, "a.json", {"DEBUG"}},
        {{"--edir", "--tree=b.json"}, "b.json", {"--edir"}},
        {{"--treeish", "x"}, "", {"--treeish", "x"}},
    };
    for (const auto& c : cases) {
        TDirectoryArgs args;
        std::vector<std::string> rest;
        std::string error;
        EXPECT_EQ(TakeAll(c.Args, args, rest, error), TDirectoryArgTake::Taken) << error;
        EXPECT_EQ(args.TreeFile, c.TreeFile);
        EXPECT_EQ(rest, c.Rest);
        EXPECT_FALSE(args.Live());
    }
    TDirectoryArgs args;
    std::vector<std::string> rest;
    std::string error;
    EXPECT_EQ(TakeAll({"--tree"}, args, rest, error), TDirectoryArgTake::Error);
    EXPECT_EQ(error, "--tree needs a file name");
}

TEST(Backends, ConflictsSayOneMessageInTheFrontEndsWords) {
    if (!kHaveLiveDirectory)
        GTEST_SKIP() << "this build reads no live directory";
    const TDirectoryUse window{true, "trovalen-edir", true};
    const TDirectoryUse windowFiles{false, "trovalen-edir", true};
    const TDirectoryUse scanFiles{false, "--edir", false};
    const TDirectoryUse scanEdir{true, "--edir", false};
    struct TCase {
        std::vector<std::string> Args;
        TDirectoryUse Use;
        std::string Error; // empty: accepted
    } cases[] = {
        {{"--ldap", "ldap://127.0.0.1", "--tree", "t.json"},
         window,
         "--ldap and --tree name two directories: give one of them"},
        {{"--ldap", "ldap://127.0.0.1", "--tree", "t.json"},
         scanEdir,
         "--ldap and --tree name two directories: give one of them"},
        {{"--ldap", "ldap://127.0.0.1"},
         windowFiles,
         "--ldap goes with trovalen-edir: a file-system scan needs a file server, which LDAP "
         "does not reach"},
        {{"--ldap", "ldap://127.0.0.1"},
         scanFiles,
         "--ldap goes with --edir: a file-system scan needs a file server, which LDAP does not "
         "reach"},
        {{"--tree-name", "T"}, window, "--tree-name goes with --ldap URI"},
        {{"--tree-name", "T"}, scanEdir, ""},
        {{"--ldap", "ldap://127.0.0.1", "--tree-name", "T"}, window, ""},
    };
    for (const auto& c : cases) {
        TDirectoryArgs args;
        std::vector<std::string> rest;
        std::string error;
        ASSERT_EQ(TakeAll(c.Args, args, rest, error), TDirectoryArgTake::Taken) << error;
        EXPECT_TRUE(rest.empty());
        EXPECT_EQ(U_CheckDirectoryArgs(args, c.Use, error), c.Error.empty()) << c.Error;
        EXPECT_EQ(error, c.Error);
    }
    TDirectoryArgs args;
    std::vector<std::string> rest;
    std::string error;
    ASSERT_EQ(TakeAll({"--tree-name", "T"}, args, rest, error), TDirectoryArgTake::Taken);
    EXPECT_EQ(args.TreeName, "T");
    EXPECT_FALSE(U_LiveDirectoryHelp().empty());
}

TEST(Backends, OpensTheTreeFileNamedByOptionThenVariableThenTheSampleTree) {
    // The volumes of the trees are mounted in a private folder.
    std::string mount =
        (std::filesystem::temp_directory_path() / "trovalen-backends-XXXXXX").string();
    ASSERT_NE(mkdtemp(mount.data()), nullptr);
    TEnvGuard mountEnv("TROVALEN_MOUNT", mount.c_str());
    const std::string missing = "/nonexistent/trovalen-no-such-tree.json";
    {
        TEnvGuard env("TROVALEN_TREE", nullptr);
        TOpenedDirectory sample = U_OpenDirectory(TDirectoryArgs{});
        EXPECT_NE(sample.Client, nullptr) << sample.Error;
        EXPECT_TRUE(sample.LiveTree.empty());

        TDirectoryArgs named;
        named.TreeFile = missing;
        TOpenedDirectory failed = U_OpenDirectory(named);
        EXPECT_EQ(failed.Client, nullptr);
        EXPECT_NE(failed.Error.find(missing), std::string::npos) << failed.Error;
        EXPECT_EQ(failed.Hint, "No tree file could be loaded");
    }
    {
        // The variable names the file when the option does not; the option wins over it.
        TEnvGuard env("TROVALEN_TREE", missing.c_str());
        TOpenedDirectory fromVariable = U_OpenDirectory(TDirectoryArgs{});
        EXPECT_EQ(fromVariable.Client, nullptr);
        EXPECT_NE(fromVariable.Error.find(missing), std::string::npos) << fromVariable.Error;

        TDirectoryArgs named;
        named.TreeFile = TROVALEN_TEST_DATA "/rights-fs.json";
        TOpenedDirectory fromOption = U_OpenDirectory(named);
        EXPECT_NE(fromOption.Client, nullptr) << fromOption.Error;
    }
    std::error_code ec;
    std::filesystem::remove_all(mount, ec);
}

} // namespace
} // namespace trovalen
