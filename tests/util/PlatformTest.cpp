#include "util/Platform.h"
#include "util/Util.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace trovalen;
namespace fs = std::filesystem;

namespace {
// A private mount root with \\FS1\SYS\Apps\Data on disk.
class MountRoot : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("trovalen-mnt-" + std::to_string(getpid()));
        fs::create_directories(root / "FS1" / "SYS" / "Apps" / "Data");
        setenv("TROVALEN_MOUNT", root.c_str(), 1);
    }
    void TearDown() override {
        fs::remove_all(root);
        unsetenv("TROVALEN_MOUNT");
    }
    fs::path root;
};
} // namespace

TEST(CommandLine, HasSwitchMatchesAbbreviationsWithSlashes) {
    U_SetCommandLine({"/debug"});
    EXPECT_TRUE(U_HasSwitch("DEBUG", 5));
    U_SetCommandLine({"x", "DEBUG"});
    EXPECT_TRUE(U_HasSwitch("DEBUG", 5));
    U_SetCommandLine({"\\\\/DEBUG"});
    EXPECT_TRUE(U_HasSwitch("debug", 5));
    U_SetCommandLine({"/DEB"});
    EXPECT_FALSE(U_HasSwitch("DEBUG", 5));
    U_SetCommandLine({"/DEBUGX"});
    EXPECT_FALSE(U_HasSwitch("DEBUG", 5));
    U_SetCommandLine({"/deb"});
    EXPECT_TRUE(U_HasSwitch("DEBUG", 3));
    EXPECT_FALSE(U_HasSwitch("DE", 3)) << "keyword shorter than the minimum";
    U_SetCommandLine({});
    EXPECT_FALSE(U_HasSwitch("DEBUG", 5));
}

TEST(ProgramFile, AppFileNameReplacesTheExtension) {
    std::string exe = U_ProgramFile();
    EXPECT_EQ(exe.front(), '/');
    EXPECT_EQ(U_AppFileName("ini"), U_ChangeExt(exe, "ini"));
    U_SetProgramFile("/opt/trovalen/bin/trovalen");
    EXPECT_EQ(U_AppFileName("txt"), "/opt/trovalen/bin/trovalen.txt");
    U_SetProgramFile("");
}

// Beside the program first (the build tree), then the installation the program belongs to.
TEST(ProgramFile, DataFilesOfAnInstallationUnderAnyPrefix) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("trovalen-data-" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share" / "trovalen");
    std::ofstream(root / "share" / "trovalen" / "trovalen.txt") << "installed";
    U_SetProgramFile((root / "bin" / "trovalen").string());
    EXPECT_EQ(U_DataFileName("trovalen.txt"),
              (root / "bin" / ".." / "share" / "trovalen" / "trovalen.txt").string());
    std::ofstream(root / "bin" / "trovalen.txt") << "beside";
    EXPECT_EQ(U_DataFileName("trovalen.txt"), (root / "bin" / "trovalen.txt").string());
    EXPECT_EQ(U_DataFileName("missing.txt"), (root / "bin" / "missing.txt").string());
    U_SetProgramFile("");
    fs::remove_all(root);
}

TEST_F(MountRoot, UncPathsResolveCaseInsensitively) {
    EXPECT_TRUE(U_DirExists("\\\\FS1\\SYS\\APPS"));
    EXPECT_TRUE(U_DirExists("\\\\fs1\\sys\\apps\\data\\"));
    EXPECT_TRUE(U_DirExists("//fs1/sys/Apps"));
    EXPECT_FALSE(U_DirExists("\\\\FS1\\SYS\\NOPE"));
    EXPECT_FALSE(U_DirExists("\\\\FS1\\SYS\\..\\..\\..")) << "never leaves the mount root";
    EXPECT_FALSE(U_DirExists(""));
    EXPECT_EQ(U_UncToLocal("\\\\fs1\\sys\\apps"), (root / "FS1" / "SYS" / "Apps").string());
    EXPECT_TRUE(U_DirExists(root.string()));
}

TEST_F(MountRoot, LongFormTakesTheNamesOnDisk) {
    // Below \\server\share each level gets its name on disk; server and share stay as written.
    EXPECT_EQ(U_ConvertPath("\\\\fs1\\sys\\apps\\data\\", 4), "\\\\fs1\\sys\\Apps\\Data");
    EXPECT_EQ(U_ConvertPath("\\\\fs1\\sys", 4), "\\\\fs1\\sys");
    EXPECT_EQ(U_ConvertPath("\\\\fs1", 4), "\\\\fs1");
    EXPECT_EQ(U_ConvertPath("\\\\fs1\\sys\\apps\\missing", 4), "\\\\fs1\\sys\\Apps\\missing");
    // Drive roots have nothing on disk here: the path stays as written.
    EXPECT_EQ(U_ConvertPath("C:\\", 4), "C:");
    EXPECT_EQ(U_ConvertPath("C:\\Dir\\Sub\\", 4), "C:\\Dir\\Sub");
    EXPECT_EQ(U_ConvertPath("/usr/lib", 4), "/usr/lib");
    EXPECT_EQ(U_ConvertPath("\\\\fs1\\sys\\apps", 0), "\\\\fs1\\sys\\apps");
    EXPECT_EQ(U_ConvertPath("\\\\fs1\\sys\\apps", 2), "");
}

TEST(MountRootDefault, FollowsTheEnvironment) {
    unsetenv("TROVALEN_MOUNT");
    setenv("XDG_RUNTIME_DIR", "/run/user/77/", 1);
    EXPECT_EQ(U_MountRoot(), "/run/user/77/trovalen");
    unsetenv("XDG_RUNTIME_DIR");
    setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(U_MountRoot(), "/home/ann/.cache/trovalen/mnt");
}

TEST(OemCodePage, ConvertsNonAsciiNames) {
    ASSERT_EQ(U_OemCodePage(), "CP850");
    // In CP850, ä is 0x84 and é is 0x82.
    EXPECT_EQ(U_ConvertOem("Mäder_é", true), "M\x84"
                                             "der_\x82");
    EXPECT_EQ(U_ConvertOem("M\x84"
                           "der_\x82",
                           false),
              "Mäder_é");
    // A character CP850 cannot hold becomes a replacement, never a cut string.
    std::string oem = U_ConvertOem("a€b日c", true);
    EXPECT_EQ(oem.front(), 'a');
    EXPECT_EQ(oem.back(), 'c');
    EXPECT_NE(oem.find('b'), std::string::npos);
    // Invalid UTF-8 does not stop the conversion.
    EXPECT_EQ(U_ConvertOem("x\xFFy", true), "x?y");
    EXPECT_EQ(U_ConvertOem(std::string(600, 'n'), true).size(), 511u);
    EXPECT_EQ(U_ConvertOem(std::string(600, 'n'), false).size(), 511u);
    // 600 two-byte characters keep 511 whole characters.
    std::string umlauts;
    for (int i = 0; i < 600; ++i)
        umlauts += "ü";
    EXPECT_EQ(U_ConvertOem(umlauts, true).size(), 511u);

    EXPECT_FALSE(U_SetOemCodePage("NO-SUCH-PAGE"));
    EXPECT_EQ(U_OemCodePage(), "CP850");
    ASSERT_TRUE(U_SetOemCodePage("CP437"));
    EXPECT_EQ(U_ConvertOem("é", true), "\x82");
    EXPECT_EQ(U_ConvertOem("\xE1", false), "ß");
    U_SetOemCodePage("CP850");
}

TEST(Messages, ShowErrorGoesThroughTheHook) {
    std::vector<std::string> shown;
    TUiHooks hooks;
    hooks.MessageBox = [&](TMsgKind kind, const std::string& caption, const std::string& text) {
        EXPECT_EQ(kind, TMsgKind::Error);
        EXPECT_EQ(caption, "Error");
        shown.push_back(text);
    };
    TUiHooks previous = U_SetUiHooks(hooks);
    U_ShowError(0, "NWCCOpenConnByRef");
    U_ShowError(0x8801, "NWCCOpenConnByRef");
    U_ShowError(0x12, "InitNetWare");
    U_SetUiHooks(previous);
    EXPECT_EQ(shown, (std::vector<std::string>{"Error 8801: NWCCOpenConnByRef",
                                               "Error 0012: InitNetWare"}));
    EXPECT_EQ(U_BeginBusy(), 0) << "no busy hook: nothing happens";
    U_EndBusy(0);
}

TEST(TextPane, LoadMemoReplacesTheNoticeWithTheFile) {
    TStringList pane;
    U_LoadMemo(pane, "/nonexistent/help.txt");
    EXPECT_EQ(pane.Strings(), (std::vector<std::string>{"Could not find /nonexistent/help.txt"}));

    fs::path file = fs::temp_directory_path() / ("trovalen-memo-" + std::to_string(getpid()));
    std::ofstream(file) << "line one\r\nline two\n";
    TStringList loaded;
    U_LoadMemo(loaded, file.string());
    EXPECT_EQ(loaded.Strings(), (std::vector<std::string>{"line one", "line two"}));
    fs::remove(file);
}

TEST(OemCodePage, ServerNamesBecomeTextOnce) {
    EXPECT_TRUE(U_IsValidUtf8("Büro €"));
    EXPECT_FALSE(U_IsValidUtf8("B\x81ro"));
    EXPECT_FALSE(U_IsValidUtf8("\xC0\xAF")) << "overlong form";
    EXPECT_FALSE(U_IsValidUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(U_IsValidUtf8("\xE2\x82")) << "cut short";
    // Text stays text; CP850 bytes are read as CP850, so a name is never converted twice.
    EXPECT_EQ(U_OemToText("Büro"), "Büro");
    EXPECT_EQ(U_OemToText("B\x81ro"), "Büro");
    EXPECT_EQ(U_OemToText(U_OemToText("B\x81ro")), "Büro");
}
