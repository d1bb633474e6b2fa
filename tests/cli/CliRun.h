// Runs one of the headless programs through the shell and collects what it wrote.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace trovalen::testing {

struct TCliRun {
    int Status = -1; // the exit status, -1 when the program ended by a signal
    std::string Out;
    std::string Err;
};

inline std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs exe with args in a shell: prelude comes first (ulimit, trap, variables), standard error
// goes to scratch/err, standard output is read back unless stdoutTo names where it goes.
inline TCliRun RunCli(const std::string& exe, const std::vector<std::string>& args,
                      const std::filesystem::path& scratch, const std::string& prelude = "",
                      const std::string& stdoutTo = "") {
    std::string cmd = prelude + " " + ShellQuoted(exe);
    for (const auto& a : args)
        cmd += " " + ShellQuoted(a);
    cmd += " 2>" + ShellQuoted((scratch / "err").string());
    if (!stdoutTo.empty())
        cmd += " >" + ShellQuoted(stdoutTo);
    TCliRun run;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        run.Out.append(buf, n);
    int status = pclose(p);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Err = ReadAll(scratch / "err");
    return run;
}

} // namespace trovalen::testing
