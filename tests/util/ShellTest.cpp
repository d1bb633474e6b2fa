#include "util/Shell.h"

#include "util/Export.h"
#include "util/Platform.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

#include "common/ScratchEnv.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace trovalen;
using namespace trovalen::test;

namespace {

class ShellTest : public ScratchTest {
protected:
    void Script(const std::string& path, const std::string& body) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
    }
    // Waits up to five seconds for a file that a started program writes.
    static std::string WaitFor(const std::string& file) {
        for (int i = 0; i < 250; ++i) {
            if (fs::exists(file)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return Slurp(file);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "<not written>";
    }
};

} // namespace

TEST_F(ShellTest, FoldersAndEnvironment) {
    setenv("HOME", Path("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", Path("cfg").c_str(), 1);
    EXPECT_EQ(U_GetShellFolder("appdata"), Path("cfg"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(U_GetShellFolder("AppData"), Path("home") + "/.config");
    setenv("XDG_DATA_HOME", "not/absolute", 1);
    EXPECT_EQ(U_GetShellFolder("Local AppData"), Path("home") + "/.local/share");
    EXPECT_EQ(U_GetShellFolder("Personal"), Path("home"));
    EXPECT_EQ(U_GetShellFolder("Fonts"), "");

    setenv("TROVALEN_SHELL_TEST", "v a l", 1);
    EXPECT_EQ(U_GetEnv("TROVALEN_SHELL_TEST"), "v a l");
    unsetenv("TROVALEN_SHELL_TEST");
    EXPECT_EQ(U_GetEnv("TROVALEN_SHELL_TEST"), "");

    EXPECT_TRUE(U_IsDosCommand("Del"));
    EXPECT_TRUE(U_IsDosCommand("TRUENAME"));
    EXPECT_FALSE(U_IsDosCommand("ls"));
    EXPECT_FALSE(U_IsDosCommand("dir "));
}

TEST_F(ShellTest, CommandLinesAreTakenApartLikeTheShellDoes) {
    std::string tool = Path("Program Files/Tool/tool.exe");
    Script(tool, "exit 0");
    TShellCommand c = U_ShellCommand(tool + " -x", 1);
    EXPECT_EQ(c.File, tool);
    EXPECT_EQ(c.Parameters, "-x");
    EXPECT_EQ(c.Directory, Path("Program Files/Tool/"));
    c = U_ShellCommand(tool, 3);
    EXPECT_EQ(c.File, tool);
    EXPECT_EQ(c.Parameters, "");
    EXPECT_EQ(c.WindowState, 3);

    // The first run of words that names a file wins.
    Script(Path("a"), "exit 0");
    Script(Path("a b"), "exit 0");
    c = U_ShellCommand(Path("a") + " b c", 1);
    EXPECT_EQ(c.File, Path("a"));
    EXPECT_EQ(c.Parameters, "b c");

    c = U_ShellCommand("dir /w", 1);
    EXPECT_EQ(c.File, "/bin/sh");
    EXPECT_EQ(c.Parameters, "-c dir /w");
    EXPECT_EQ(c.Directory, "");
    c = U_ShellCommand("notepad readme.txt", 1);
    EXPECT_EQ(c, (TShellCommand{"notepad", "readme.txt", "", 1}));
    c = U_ShellCommand("https://example.org/trovalen?a=b", 1);
    EXPECT_EQ(c, (TShellCommand{"https://example.org/trovalen?a=b", "", "", 1}));

    std::vector<TShellCommand> seen;
    TShellLauncher previous = U_SetShellLauncher([&](const TShellCommand& command) {
        seen.push_back(command);
        return TShellResult{ShellNoAssociation, "none"};
    });
    EXPECT_EQ(U_ShellOpen("notepad readme.txt"), ShellNoAssociation);
    U_SetShellLauncher(previous);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].WindowState, 1);
}

TEST_F(ShellTest, TheDefaultLauncherStartsProgramsAndTheInterpreter) {
    // A program in a folder with blanks gets its words as arguments and runs in its folder.
    std::string out = Path("args.txt");
    Script(Path("My Tools/tool"), "pwd > '" + out +
                                      ".tmp'; for a in \"$@\"; do echo \"[$a]\" "
                                      ">> '" +
                                      out + ".tmp'; done; mv '" + out + ".tmp' '" + out + "'");
    EXPECT_GT(U_ShellRun(Path("My Tools/tool") + " one \"two three\"", 1), 32);
    EXPECT_EQ(WaitFor(out), Path("My Tools") + "\n[one]\n[two three]\n");

    // A built-in command goes to /bin/sh -c with the whole line.
    std::string echoed = Path("echo.txt");
    TShellCommand command{"/bin/sh", "-c echo hello > '" + echoed + "'", root.string(), 1};
    EXPECT_GT(U_DefaultShellLaunch(command).Code, 32);
    EXPECT_EQ(WaitFor(echoed), "hello\n");

    // A working directory that does not exist is a failure with its reason.
    TShellResult bad = U_DefaultShellLaunch({Path("My Tools/tool"), "", Path("nowhere"), 1});
    EXPECT_EQ(bad.Code, ShellFileNotFound);
    EXPECT_NE(bad.Error.find("No such file"), std::string::npos) << bad.Error;
}

TEST_F(ShellTest, DocumentsGoToTheDesktopOpener) {
    // A stand-in opener on the PATH: records what it was asked to open, or fails like
    // xdg-open does when no application is registered.
    std::string record = Path("opened.txt");
    Script(Path("bin/xdg-open"), "if [ -e '" + Path("fail") +
                                     "' ]; then exit 3; fi; "
                                     "echo \"$1\" > '" +
                                     record + "'");
    setenv("PATH", (Path("bin") + ":/usr/bin:/bin").c_str(), 1);

    TShellResult ok = U_DefaultShellLaunch({"https://example.org/", "", "", 1});
    EXPECT_EQ(ok.Code, ShellOk);
    EXPECT_EQ(WaitFor(record), "https://example.org/\n");

    // The whole spreadsheet path with the real launcher.
    fs::remove(record);
    ASSERT_TRUE(U_ExportStrings(TStringList{"a", "b"}, "EXCEL", ""));
    std::string opened = WaitFor(record);
    EXPECT_TRUE(U_EndsWith(opened, ".xlsx\n")) << opened;
    EXPECT_TRUE(messages.empty());

    std::ofstream(Path("fail")) << "";
    TShellResult failed = U_DefaultShellLaunch({Path("doc.ods"), "", "", 1});
    EXPECT_EQ(failed.Code, ShellNoAssociation);
    EXPECT_TRUE(U_ExportStrings(TStringList{"a"}, "EXCEL", ""));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(U_StartsWith(messages[0], "Saved to ")) << messages[0];
    EXPECT_NE(messages[0].find(".xlsx; no program to open it was found (xdg-open: "),
              std::string::npos)
        << messages[0];
    EXPECT_EQ(U_ClipboardGetText(), "a\r\n");
}
