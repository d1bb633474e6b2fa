// The back-end registry: the directory options as each front end reads them, with their
// messages, and the directory they open with the words that say where its data comes from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "backend/Backends.h"

using namespace trovalen;

namespace {

TDirectoryFrontEnd Scan() {
    TDirectoryFrontEnd f;
    f.EdirHow = "--edir";
    return f;
}

TDirectoryFrontEnd Window() {
    TDirectoryFrontEnd f;
    f.EdirHow = "trovalen-edir";
    f.TreeNameNeedsLive = true;
    f.TreeWithEquals = true;
    return f;
}

// Takes every argument the registry takes, then checks them together; the arguments it leaves
// come back in rest. The first message, or empty.
std::string Parse(const std::vector<std::string>& args, const TDirectoryFrontEnd& frontEnd,
                  bool edir, TDirectoryArgs& out, std::vector<std::string>& rest) {
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        TDirectoryArgTake take = U_TakeDirectoryArg(args, i, frontEnd, out, error);
        if (take == TDirectoryArgTake::Error)
            return error;
        if (take == TDirectoryArgTake::NotMine)
            rest.push_back(args[i]);
    }
    if (!U_CheckDirectoryArgs(out, frontEnd, edir, error))
        return error;
    return std::string();
}

TEST(Backends, TreeFileOptionAsEachFrontEndReadsIt) {
    struct TCase {
        std::vector<std::string> Args;
        bool Window;
        std::string TreeFile;
        std::vector<std::string> Rest;
        std::string Error;
    } cases[] = {
        {{"--tree", "a.json", "X"}, false, "a.json", {"X"}, ""},
        {{"--tree", "a.json"}, true, "a.json", {}, ""},
        {{"--tree=b.json"}, true, "b.json", {}, ""},
        {{"--tree=b.json"}, false, "", {"--tree=b.json"}, ""},
        {{"--tree"}, false, "", {}, "--tree needs a file name"},
        {{"X", "--tree"}, true, "", {"X"}, "--tree needs a file name"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args[0] + (c.Window ? " (window)" : " (scan)"));
        TDirectoryArgs args;
        std::vector<std::string> rest;
        EXPECT_EQ(Parse(c.Args, c.Window ? Window() : Scan(), false, args, rest), c.Error);
        EXPECT_EQ(args.TreeFile, c.TreeFile);
        EXPECT_EQ(rest, c.Rest);
        EXPECT_FALSE(args.Live());
    }
}

TEST(Backends, LiveDirectoryOptionsAndTheirConflicts) {
    if (!U_HaveLiveDirectory())
        GTEST_SKIP() << "no live-directory back end is built in";
    EXPECT_NE(U_LiveDirectoryHelp().find("--ldap URI"), std::string::npos);
    struct TCase {
        std::vector<std::string> Args;
        bool Window;
        bool Edir;
        std::string Error; // the whole message; empty when the arguments are good
    } cases[] = {
        {{"--ldap", "ldap://h", "--tree-name", "T"}, false, true, ""},
        {{"--ldap", "ldap://h", "--tree", "x.json"},
         false,
         true,
         "--ldap and --tree name two directories: give one of them"},
        {{"--tree=x.json", "--ldap", "ldap://h"},
         true,
         true,
         "--ldap and --tree name two directories: give one of them"},
        {{"--ldap", "ldap://h"},
         false,
         false,
         "--ldap goes with --edir: a file-system scan needs a file server, which LDAP does not "
         "reach"},
        {{"--ldap", "ldap://h"},
         true,
         false,
         "--ldap goes with trovalen-edir: a file-system scan needs a file server, which LDAP "
         "does not reach"},
        {{"--tree-name", "T"}, true, true, "--tree-name goes with --ldap URI"},
        {{"--tree-name", "T"}, false, true, ""},
        {{"--bind-dn", "cn=admin,o=acme"}, false, true, "--bind-dn goes with --ldap URI"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + c.Args[1] + (c.Window ? " (window)" : " (scan)"));
        TDirectoryArgs args;
        std::vector<std::string> rest;
        EXPECT_EQ(Parse(c.Args, c.Window ? Window() : Scan(), c.Edir, args, rest), c.Error);
        EXPECT_TRUE(rest.empty());
    }
    TDirectoryArgs args;
    std::vector<std::string> rest;
    ASSERT_EQ(Parse({"--ldap", "ldap://h", "--tree-name", "T"}, Scan(), true, args, rest), "");
    // A copy holds the live options too, apart from the original.
    TDirectoryArgs copy = args;
    args = TDirectoryArgs();
    EXPECT_TRUE(copy.Live());
    EXPECT_EQ(copy.TreeName(), "T");
    EXPECT_FALSE(args.Live());
    EXPECT_EQ(args.TreeName(), "");
}

class BackendsOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("TROVALEN_TREE"))
            FSaved = v, FHadTree = true;
        unsetenv("TROVALEN_TREE");
    }
    void TearDown() override {
        if (FHadTree)
            setenv("TROVALEN_TREE", FSaved.c_str(), 1);
        else
            unsetenv("TROVALEN_TREE");
    }

private:
    std::string FSaved;
    bool FHadTree = false;
};

// Where the data comes from: the sample tree, the tree file named, else TROVALEN_TREE's.
TEST_F(BackendsOpenTest, TheSourceSaysWhereTheDataComesFrom) {
    const std::string file = std::string(TROVALEN_TEST_DATA) + "/rights-fs.json";
    const std::string other = std::string(TROVALEN_TEST_DATA) + "/rights-edir.json";
    TDirectoryArgs args;
    TOpenedDirectory sample = U_OpenDirectory(args);
    ASSERT_NE(sample.Client, nullptr) << sample.Error;
    EXPECT_EQ(sample.Source, "sample tree (simulated)");
    EXPECT_EQ(sample.TreeName, "");
    EXPECT_EQ(sample.NoClientHint, "");

    setenv("TROVALEN_TREE", other.c_str(), 1);
    TOpenedDirectory fromEnv = U_OpenDirectory(args);
    ASSERT_NE(fromEnv.Client, nullptr) << fromEnv.Error;
    EXPECT_EQ(fromEnv.Source, other);

    args.TreeFile = file;
    TOpenedDirectory named = U_OpenDirectory(args);
    ASSERT_NE(named.Client, nullptr) << named.Error;
    EXPECT_EQ(named.Source, file);

    args.TreeFile = std::string(TROVALEN_TEST_DATA) + "/no-such-tree.json";
    TOpenedDirectory missing = U_OpenDirectory(args);
    EXPECT_EQ(missing.Client, nullptr);
    EXPECT_NE(missing.Error.find("no-such-tree.json"), std::string::npos) << missing.Error;
    EXPECT_EQ(missing.Source, "");
}

} // namespace
