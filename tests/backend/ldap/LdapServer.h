// A private slapd for one test: started by scripts/ldap-server from a tree file under a scratch
// folder on 127.0.0.1, and always stopped when the holder goes (also when the test fails).
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace trovalen::ldaptest {

namespace fs = std::filesystem;

inline bool SlapdInstalled() {
    return access("/usr/sbin/slapd", X_OK) == 0 && access("/usr/sbin/slapadd", X_OK) == 0;
}

class TLdapServer {
public:
    TLdapServer() {
        std::string pattern = (fs::temp_directory_path() / "trovalen-ldap-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            FDir = pattern;
    }
    ~TLdapServer() {
        if (FDir.empty())
            return;
        Script("stop '" + (FDir / "srv").string() + "'");
        std::error_code ec;
        fs::remove_all(FDir, ec);
    }
    TLdapServer(const TLdapServer&) = delete;
    TLdapServer& operator=(const TLdapServer&) = delete;

    // Starts the server; false (with the script's message in error) when it does not come up.
    bool Start(const std::string& treeFile, const std::string& options, std::string& error) {
        if (FDir.empty()) {
            error = "no scratch folder";
            return false;
        }
        std::string out = Script("start '" + (FDir / "srv").string() + "' '" + treeFile + "' " +
                                 options + " 2>'" + (FDir / "start.err").string() + "'");
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        if (out.rfind("ldap://", 0) != 0) {
            std::ifstream f(FDir / "start.err");
            error.assign(std::istreambuf_iterator<char>(f), {});
            return false;
        }
        FUri = out;
        std::ifstream pw(FDir / "srv" / "password");
        std::getline(pw, FPassword);
        std::ifstream top(FDir / "srv" / "tree.ldif.suffixes");
        std::getline(top, FTop);
        return true;
    }

    const std::string& Uri() const { return FUri; }
    const std::string& Password() const { return FPassword; }
    std::string AdminDn() const { return "cn=admin," + FTop; }
    fs::path Dir() const { return FDir; }

private:
    fs::path FDir;
    std::string FUri, FPassword, FTop;

    std::string Script(const std::string& args) {
        std::string cmd = std::string("TROVALEN_TREE_EXE='") + TROVALEN_TREE_EXE + "' '" +
                          TROVALEN_SOURCE_DIR + "/scripts/ldap-server' " + args;
        if (args.rfind("stop", 0) == 0)
            cmd += " >/dev/null 2>&1"; // stopping also runs when a start failed half-way
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            std::array<char, 256> buf{};
            while (fgets(buf.data(), static_cast<int>(buf.size()), p) != nullptr)
                out += buf.data();
            pclose(p);
        }
        return out;
    }
};

} // namespace trovalen::ldaptest

// Skips the test (with the reason) when slapd is not installed; starts the server otherwise.
#define TROVALEN_START_LDAP(server, treeFile, options)                                             \
    do {                                                                                           \
        if (!::trovalen::ldaptest::SlapdInstalled())                                               \
            GTEST_SKIP() << "slapd is not installed (scripts/setup installs slapd, ldap-utils)";   \
        std::string startError_;                                                                   \
        ASSERT_TRUE((server).Start((treeFile), (options), startError_)) << startError_;            \
    } while (0)
