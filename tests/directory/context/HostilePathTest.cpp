// Start paths replayed from fuzzing, over the simulated client and its sample tree.
#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"

#include <gtest/gtest.h>
#include <string>

using namespace trovalen;

namespace {

template <size_t N> std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

class HostilePath : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        Client = MakeSimClient(std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json", error);
        ASSERT_TRUE(Client) << error;
        NWHandle primary = NO_PRIMARY_CONN;
        ASSERT_EQ(InitNetWare(Client.get(), primary), 0);
    }
    std::shared_ptr<TSimClient> Client;
};

} // namespace

// A NUL inside a path would cut it short wherever it goes next; its UNC form then named another
// place than the path itself.
TEST_F(HostilePath, NulInsideAPathIsRefused) {
    for (const std::string& path : {Bytes("\\\\CV-FS1\\DATA\\F\\\xFF\\.\0T"),
                                    Bytes("\\\\CV-FS1\\DATA\\F\\/\\\xFF\xFF\xFF.\\.\0TATS"),
                                    Bytes("\\\\CV-FS1\\DATA\0"), Bytes("cv-fs1/data:\0finance")}) {
        TNWPath nw;
        EXPECT_EQ(U_PathToNWPath(Client.get(), path, nw), ERR_INVALID_PATH);
        EXPECT_TRUE(nw.Server.empty() && nw.Volume.empty() && nw.DirPath.empty());
        EXPECT_EQ(nw.ConnHandle, NO_CONNECTION);
        EXPECT_EQ(U_PathToUNC(Client.get(), path), path) << "an unresolved path stays as it is";
    }
    TNWPath nw;
    EXPECT_EQ(U_PathToNWPath(Client.get(), "\\\\CV-FS1\\DATA\\FINANCE", nw), 0);
}
