// A scratch folder per test with HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR inside it, so
// no test touches the user's own folders; the environment variables a test changes are put back
// afterwards, and messages are captured instead of shown.
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
        chmod(root.c_str(), 0755);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                 "TMPDIR", "PATH", "TROVALEN_SHELL_TEST"}) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        for (const char* folder : {"home", "config", "run", "tmp"})
            fs::create_directories(root / folder);
        chmod((root / "run").c_str(), 0700);
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
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
        // Tests may leave folders without permissions behind.
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& entry : fs::recursive_directory_iterator(root, ec))
            if (entry.is_directory(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    std::string Path(const std::string& name) const { return (root / name).string(); }
    static std::string Slurp(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static void Spit(const std::string& file, const std::string& text) {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }

    fs::path root;
    std::vector<std::string> messages;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    TUiHooks previousHooks;
};

} // namespace trovalen::test
