#include "util/Shell.h"

#include "util/Util.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/close_range.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace trovalen {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return U_WithoutTrailingSlash(home);
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return U_WithoutTrailingSlash(pw->pw_dir);
    return std::string();
}

// An XDG base folder: the variable when it holds an absolute path, else the home folder's
// fallback below it.
std::string XdgFolder(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && *v == '/')
        return U_WithoutTrailingSlash(v);
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/" + fallback;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program's full path: as given when it holds a slash, else found along PATH.
std::string FindProgram(const std::string& file) {
    if (file.empty())
        return std::string();
    if (file.find('/') != std::string::npos)
        return IsExecutableFile(file) ? file : std::string();
    std::string path = U_GetEnv("PATH");
    if (path.empty())
        path = "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + file;
        if (IsExecutableFile(candidate))
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Parameters split at blanks; double quotes group words and are removed.
std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// Starts argv[0] (a full path) in the directory without waiting for it; with watch, waits up to
// two seconds for it to end and reports its exit status. The program runs in a grandchild, so
// no child is left behind to be reaped.
TShellResult Spawn(const std::vector<std::string>& argv, const std::string& directory, bool watch,
                   int& exitStatus) {
    exitStatus = -1;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipeFd[2];
    if (pipe2(pipeFd, O_CLOEXEC) != 0)
        return {0, std::strerror(errno)};
    pid_t middle = fork();
    if (middle < 0) {
        int err = errno;
        close(pipeFd[0]);
        close(pipeFd[1]);
        return {0, std::strerror(err)};
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        close(pipeFd[0]);
        pid_t child = fork();
        if (child < 0)
            _exit(126);
        if (child == 0) {
            setsid();
#ifdef CLOSE_RANGE_CLOEXEC
            // The program gets none of the window's files or sockets.
            close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
            int devNull = open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                dup2(devNull, STDIN_FILENO);
                dup2(devNull, STDOUT_FILENO);
                dup2(devNull, STDERR_FILENO);
            }
            int err = 0;
            if (!directory.empty() && chdir(directory.c_str()) != 0)
                err = errno;
            if (err == 0) {
                execv(args[0], args.data());
                err = errno;
            }
            ssize_t ignored = write(pipeFd[1], &err, sizeof err);
            (void)ignored;
            _exit(127);
        }
        close(pipeFd[1]);
        int status = 0;
        for (int waited = 0; watch && waited < 2000; waited += 20) {
            if (waitpid(child, &status, WNOHANG) == child)
                _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 0);
            timespec pause{0, 20 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        _exit(0);
    }
    close(pipeFd[1]);
    int err = 0;
    ssize_t n;
    do {
        n = read(pipeFd[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(pipeFd[0]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof err) && err != 0) {
        int code = err == ENOENT || err == ENOTDIR ? ShellFileNotFound
                   : err == EACCES                 ? ShellAccessDenied
                                                   : 0;
        return {code, argv[0] + ": " + std::strerror(err)};
    }
    if (WIFEXITED(status))
        exitStatus = WEXITSTATUS(status);
    return {ShellOk, std::string()};
}

TShellLauncher& Launcher() {
    static TShellLauncher launcher;
    return launcher;
}

} // namespace

std::string U_GetShellFolder(const std::string& name) {
    if (U_SameText(name, "AppData"))
        return XdgFolder("XDG_CONFIG_HOME", ".config");
    if (U_SameText(name, "Local AppData"))
        return XdgFolder("XDG_DATA_HOME", ".local/share");
    if (U_SameText(name, "Personal"))
        return HomeFolder();
    return std::string();
}

std::string U_GetEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

bool U_IsDosCommand(const std::string& word) {
    static const std::vector<std::string> commands = {"CD", "COPY", "DEL",      "DIR",  "ECHO",
                                                      "MD", "PATH", "PROMPT",   "REM",  "REN",
                                                      "RD", "SET",  "TRUENAME", "TYPE", "VER"};
    return U_IsOneOf(word, commands, false);
}

TShellLauncher U_SetShellLauncher(TShellLauncher launcher) {
    TShellLauncher previous = Launcher();
    Launcher() = std::move(launcher);
    return previous;
}

TShellResult U_DefaultShellLaunch(const TShellCommand& command) {
    int exitStatus = -1;
    if (command.File == ShellInterpreter && U_StartsWith(command.Parameters, "-c ")) {
        return Spawn({ShellInterpreter, "-c", command.Parameters.substr(3)}, command.Directory,
                     false, exitStatus);
    }
    if (command.File.empty())
        return {ShellFileNotFound, "Nothing to open"};
    if (std::string program = FindProgram(command.File); !program.empty()) {
        std::vector<std::string> argv = {program};
        for (auto& word : SplitParameters(command.Parameters))
            argv.push_back(word);
        return Spawn(argv, command.Directory, false, exitStatus);
    }
    // A document, a folder or a web address: the desktop's default application opens it.
    std::string opener = FindProgram("xdg-open");
    if (opener.empty())
        return {ShellNoAssociation, "xdg-open was not found"};
    TShellResult result = Spawn({opener, command.File}, command.Directory, true, exitStatus);
    if (result.Code <= 32)
        return result;
    switch (exitStatus) {
    case 1:
        return {ShellFileNotFound, "xdg-open: invalid arguments"};
    case 2:
        return {ShellFileNotFound, "xdg-open: " + command.File + " does not exist"};
    case 3:
        return {ShellNoAssociation, "xdg-open: a required tool could not be found"};
    case 4:
        return {ShellNoAssociation, "xdg-open: no application could open " + command.File};
    default:
        return result;
    }
}

TShellResult U_ShellExecute(const TShellCommand& command) {
    if (Launcher())
        return Launcher()(command);
    return U_DefaultShellLaunch(command);
}

TShellCommand U_ShellCommand(const std::string& commandLine, int windowState) {
    TShellCommand command;
    command.WindowState = windowState;
    // The first prefix ending before a blank (or the whole line) that names a file.
    size_t found = std::string::npos;
    for (size_t pos = commandLine.find(' '); found == std::string::npos;
         pos = commandLine.find(' ', pos + 1)) {
        std::string prefix = commandLine.substr(0, pos);
        if (IsRegularFile(prefix))
            found = prefix.size();
        if (pos == std::string::npos)
            break;
    }
    if (found != std::string::npos) {
        command.File = commandLine.substr(0, found);
        command.Parameters = found < commandLine.size() ? commandLine.substr(found + 1) : "";
        size_t slash = command.File.find_last_of('/');
        command.Directory =
            slash == std::string::npos ? std::string() : command.File.substr(0, slash + 1);
        return command;
    }
    size_t blank = commandLine.find(' ');
    std::string first = commandLine.substr(0, blank);
    std::string rest = blank == std::string::npos ? std::string() : commandLine.substr(blank + 1);
    if (U_IsDosCommand(first)) {
        command.File = ShellInterpreter;
        command.Parameters = "-c " + commandLine;
    } else {
        command.File = first;
        command.Parameters = rest;
    }
    return command;
}

int U_ShellRun(const std::string& commandLine, int windowState) {
    return U_ShellExecute(U_ShellCommand(commandLine, windowState)).Code;
}

int U_ShellOpen(const std::string& commandLine) {
    return U_ShellRun(commandLine, 1);
}

} // namespace trovalen
