// Shell helpers: per-user folders, environment, and running or opening a command line the way a
// desktop shell does ("open": a program is started, a document or web address goes to the
// desktop's default application through xdg-open, a built-in command runs through /bin/sh -c).
// Launching goes through a replaceable launcher, so tests never start a desktop program.
#pragma once

#include <functional>
#include <string>

namespace trovalen {

// A per-user folder by its shell name, case-insensitive: "AppData" is the configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), "Local AppData" the data folder ($XDG_DATA_HOME, else
// ~/.local/share), "Personal" the home folder. Empty for any other name or when unknown.
std::string U_GetShellFolder(const std::string& name);

// The environment variable's value, empty when it is not set.
std::string U_GetEnv(const std::string& name);

// Whether the word (case-insensitive) is one of the commands built into the command interpreter.
bool U_IsDosCommand(const std::string& word);

// The command interpreter that runs built-in commands, with "-c" and the whole command line.
inline const char* const ShellInterpreter = "/bin/sh";

struct TShellCommand {
    std::string File;
    std::string Parameters;
    std::string Directory; // working directory, empty for the current one
    int WindowState = 1;
    bool operator==(const TShellCommand&) const = default;
};

// Above 32 means success; at most 32 is a failure, Error then says why.
struct TShellResult {
    int Code = 0;
    std::string Error;
};
constexpr int ShellOk = 42;
constexpr int ShellFileNotFound = 2;
constexpr int ShellAccessDenied = 5;
constexpr int ShellNoAssociation = 31;

using TShellLauncher = std::function<TShellResult(const TShellCommand&)>;
// Replaces the launcher (an empty one restores the default) and returns the previous.
TShellLauncher U_SetShellLauncher(TShellLauncher launcher);
// The default launcher: runs the interpreter or a program file (its parameters split at blanks,
// double quotes grouping), or hands anything else to xdg-open. It waits up to two seconds for
// xdg-open to report a failure.
TShellResult U_DefaultShellLaunch(const TShellCommand& command);
// Performs the command through the current launcher.
TShellResult U_ShellExecute(const TShellCommand& command);

// How a command line is taken apart: the shortest run of its leading blank-separated words that
// names an existing file is the program (blanks in its path need no quotes), the rest its
// parameters, its folder the working directory; otherwise a built-in command goes to the
// interpreter with "-c" and the whole line, and anything else is its first word with the rest as
// parameters.
TShellCommand U_ShellCommand(const std::string& commandLine, int windowState);
// Returns the launcher's code (above 32 means success).
int U_ShellRun(const std::string& commandLine, int windowState);
int U_ShellOpen(const std::string& commandLine);

} // namespace trovalen
