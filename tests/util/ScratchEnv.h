// A scratch folder per test; the environment variables a test changes are put back afterwards,
// XDG_RUNTIME_DIR points into the scratch folder, and messages are captured instead of shown.
#pragma once

#include "util/Platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace trovalen::test {

namespace fs = std::filesystem;

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trovalen-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                 "TMPDIR", "PATH", "TROVALEN_SHELL_TEST"}) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        fs::create_directories(root / "run");
        chmod((root / "run").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        setenv("TMPDIR", root.c_str(), 1);
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            messages.push_back(text);
        };
        previousHooks = U_SetUiHooks(hooks);
    }
    void TearDown() override {
        U_SetUiHooks(previousHooks);
        for (const auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        fs::remove_all(root);
    }
    std::string Path(const std::string& name) const { return (root / name).string(); }
    static std::string Slurp(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path root;
    std::vector<std::string> messages;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    TUiHooks previousHooks;
};

} // namespace trovalen::test
