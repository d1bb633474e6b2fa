// The scratch folder of every settings test, with the helpers that look at files and run as an
// unprivileged user.
#pragma once

#include "common/ScratchEnv.h"
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

class SettingsTest : public ScratchTest {
protected:
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
};

} // namespace trovalen::test
