// A scratch folder per test with HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR inside it, so
// no test touches the user's own folders; messages are captured instead of shown.
#pragma once

#include "settings/Ini.h"
#include "util/Platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace trovalen::test {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trovalen-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        chmod(root.c_str(), 0755);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        fs::create_directories(root / "home");
        fs::create_directories(root / "config");
        fs::create_directories(root / "run");
        fs::create_directories(root / "tmp");
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
    static ino_t Inode(const std::string& file) {
        struct stat st {};
        return stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
    }
    // Files in the folder whose names start with a dot (left-over temporary files).
    static int HiddenFiles(const fs::path& folder) {
        int n = 0;
        for (auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().front() == '.')
                ++n;
        return n;
    }

    // Runs the body as an unprivileged user (in a child process) when the tests run as root, so
    // that file permissions apply; otherwise directly. Returns the body's result.
    static int RunUnprivileged(const std::function<int()>& body) {
        if (geteuid() != 0)
            return body();
        const passwd* nobody = getpwnam("nobody");
        uid_t uid = nobody ? nobody->pw_uid : 65534;
        gid_t gid = nobody ? nobody->pw_gid : 65534;
        pid_t pid = fork();
        if (pid == 0) {
            if (setgid(gid) != 0 || setuid(uid) != 0)
                _exit(99);
            _exit(body());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
    }

    fs::path root;
    std::vector<std::string> messages;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    TUiHooks previousHooks;
};

} // namespace trovalen::test
