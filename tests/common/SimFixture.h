// A test served by the simulated client: a private mount root, the client over a tree file (the
// bundled sample tree by default), started as the programs start it.
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "model/NWClient.h"

namespace trovalen::testing {

class SimTest : public ::testing::Test {
protected:
    // Call through ASSERT_NO_FATAL_FAILURE. treeFile: a path, or empty for the sample tree.
    void Serve(const std::string& treeFile = "") {
        if (mount.empty()) {
            mount = std::filesystem::temp_directory_path() /
                    ("trovalen-test-" + std::to_string(getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
            std::filesystem::create_directories(mount);
            setenv("TROVALEN_MOUNT", mount.c_str(), 1);
        }
        std::string error;
        client = MakeSimClient(treeFile.empty()
                                   ? std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json"
                                   : treeFile,
                               error);
        ASSERT_TRUE(client) << error;
        primary = NO_PRIMARY_CONN;
        ASSERT_EQ(InitNetWare(client.get(), primary), 0);
    }

    void TearDown() override {
        if (!mount.empty()) {
            unsetenv("TROVALEN_MOUNT");
            std::error_code ec;
            std::filesystem::remove_all(mount, ec);
        }
    }

    std::filesystem::path mount;
    std::shared_ptr<TNWClient> client;
    NWHandle primary = NO_PRIMARY_CONN;
};

} // namespace trovalen::testing
