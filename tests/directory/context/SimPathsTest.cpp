// Paths, trees and start-up over the simulated client and its bundled sample tree, with the
// volumes mounted under a private folder.
#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "util/Platform.h"
#include "util/Util.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "common/SimFixture.h"
#include <unistd.h>

using namespace trovalen;
namespace fs = std::filesystem;

namespace {

class SimPaths : public trovalen::testing::SimTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Serve()); }
    std::string Local(const std::string& rest) { return mount.string() + "/" + rest; }
};

const std::string kBuero = "B\xC3\xBCro"; // the folder's name in UTF-8

} // namespace

TEST_F(SimPaths, TreesAndServers) {
    TStringList trees;
    U_ListTrees(client.get(), trees);
    EXPECT_EQ(trees.Strings(), (std::vector<std::string>{"CORVALE_TREE", "HARBOR_TREE"}));
    TStringList servers;
    U_ListServers(client.get(), servers);
    EXPECT_EQ(servers.Count(), 3);
    EXPECT_EQ(U_GetPrimaryTree(client.get()), "CORVALE_TREE");
    EXPECT_TRUE(U_IsDSConnection(client.get(), primary));
}

TEST_F(SimPaths, EveryPathFormResolves) {
    for (const std::string& path :
         {std::string("\\\\CV-FS1\\DATA\\FINANCE\\REPORTS"), Local("CV-FS1/DATA/FINANCE/REPORTS"),
          std::string("cv-fs1/data:finance\\reports")}) {
        TNWPath nw;
        ASSERT_EQ(U_PathToNWPath(client.get(), path, nw), 0) << path;
        EXPECT_EQ(nw.Server + "|" + nw.Volume + "|" + nw.DirPath, "CV-FS1|DATA|FINANCE\\REPORTS")
            << path;
        EXPECT_NE(nw.ConnHandle, NO_CONNECTION);
        EXPECT_EQ(U_PathToUNC(client.get(), path), "\\\\CV-FS1\\DATA\\FINANCE\\REPORTS");
    }
    EXPECT_EQ(U_PathToUNC(client.get(), "CV-FS1/SYS:"), "\\\\CV-FS1\\SYS\\");
    TNWPath nw;
    EXPECT_NE(U_PathToNWPath(client.get(), "/definitely/not/a/volume", nw), 0);
    EXPECT_EQ(U_PathToUNC(client.get(), "/definitely/not/a/volume"), "/definitely/not/a/volume");
    // The server's own code page never reaches the user's texts.
    EXPECT_EQ(U_PathToUNC(client.get(), Local("CV-FS1/DATA/FINANCE/" + kBuero)),
              "\\\\CV-FS1\\DATA\\FINANCE\\" + kBuero);
}

TEST_F(SimPaths, SubdirectoriesInEachKind) {
    TStringList list;
    EXPECT_EQ(U_NWListDirEntries(client.get(), "\\\\CV-FS1\\DATA\\FINANCE", SA_SUBDIR_ALL, "*",
                                 list, 1, 4),
              0);
    list.Sort();
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"\\\\CV-FS1\\DATA\\FINANCE\\" + kBuero,
                                                        "\\\\CV-FS1\\DATA\\FINANCE\\REPORTS"}));
    for (const std::string& entry : list.Strings())
        EXPECT_TRUE(U_DirExists(entry)) << entry;

    list.Clear();
    U_NWListDirEntries(client.get(), Local("CV-FS1/DATA/FINANCE"), SA_SUBDIR_ALL, "*", list, 2, 4);
    list.Sort();
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{kBuero, "REPORTS"}));

    list.Clear();
    U_NWListDirEntries(client.get(), "CV-FS1/DATA:FINANCE", SA_SUBDIR_ALL, "*", list, 0, 4);
    list.Sort();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "DATA:FINANCE\\REPORTS");
    EXPECT_EQ(U_ConvertOem(list[0], false), "DATA:FINANCE\\" + kBuero);

    list.Clear();
    U_NWListDirEntries(client.get(), "CV-FS1/SYS:", SA_SUBDIR_ALL, "*", list, 1, 0);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_GE(list.IndexOfExact("\\\\CV-FS1\\SYS\\APPS"), 0);
}
