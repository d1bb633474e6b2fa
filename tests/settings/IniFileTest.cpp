#include "settings/IniFile.h"

#include "SettingsTestEnv.h"
#include "util/Util.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace trovalen;
using namespace trovalen::test;

namespace {
class IniFileTest : public SettingsTest {};
} // namespace

TEST_F(IniFileTest, NamesIgnoreCaseAndMissingThingsReadAsDefault) {
    TIniFile ini(Path("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_FALSE(fs::exists(Path("a.ini"))) << "reading never creates the file";
    ini.WriteString("Settings", "EditFilterIncl", "x");
    ini.WriteString(" settings ", " EDITFILTERINCL ", "y");
    EXPECT_EQ(Slurp(Path("a.ini")), "[Settings]\nEDITFILTERINCL=y\n") << "one key, replaced";
    EXPECT_EQ(ini.ReadString("SETTINGS", "editfilterincl", ""), "y");
    EXPECT_EQ(ini.ReadString("Settings", "other", "def"), "def");
}

TEST_F(IniFileTest, ValuesLoseBlanksAndOnePairOfQuotes) {
    Spit(Path("a.ini"), "[S]\nblanks=  a b \t\ndouble=\"abc\"\nsingle='abc'\ntwice=\"\"abc\"\"\n"
                        "kept=  \" a \"  \ndoubled=\"say \"\"hi\"\"\"\nmixed=\"a\" \"b\"\nlone=\"\n"
                        "equals=a=b=c\nopen=\"abc\nodd=\"abc'\nclose=abc\"\n");
    TIniFile ini(Path("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "blanks", ""), "a b");
    EXPECT_EQ(ini.ReadString("S", "double", ""), "abc");
    EXPECT_EQ(ini.ReadString("S", "single", ""), "abc");
    EXPECT_EQ(ini.ReadString("S", "twice", ""), "\"abc\"") << "only one pair goes";
    EXPECT_EQ(ini.ReadString("S", "kept", ""), " a ");
    EXPECT_EQ(ini.ReadString("S", "doubled", ""), "say \"hi\"") << "the quoted form reads back";
    EXPECT_EQ(ini.ReadString("S", "mixed", ""), "a\" \"b") << "not a quoted form: kept as it is";
    EXPECT_EQ(ini.ReadString("S", "lone", ""), "\"");
    EXPECT_EQ(ini.ReadString("S", "equals", ""), "a=b=c");
    // One quote, or two that do not pair, is no quoted form: the value stays as it is.
    EXPECT_EQ(ini.ReadString("S", "open", ""), "\"abc");
    EXPECT_EQ(ini.ReadString("S", "odd", ""), "\"abc'");
    EXPECT_EQ(ini.ReadString("S", "close", ""), "abc\"");
}

TEST_F(IniFileTest, ValuesAreReadBackAtMost2047CharactersLong) {
    TIniFile ini(Path("a.ini"));
    std::string v2047(2047, 'x'), v2048(2048, 'y');
    ini.WriteString("S", "a", v2047);
    ini.WriteString("S", "b", v2048);
    ini.WriteString("S", "c", "\"" + v2047 + "\"");
    EXPECT_EQ(ini.ReadString("S", "a", ""), v2047);
    EXPECT_EQ(ini.ReadString("S", "b", ""), std::string(2047, 'y'));
    EXPECT_EQ(ini.ReadString("S", "c", ""), v2047) << "quotes go before the cut";
    // Characters, not bytes: a cut never splits a character.
    std::string umlauts;
    for (int i = 0; i < 2048; ++i)
        umlauts += "\xC3\xA4";
    ini.WriteString("S", "d", umlauts);
    EXPECT_EQ(ini.ReadString("S", "d", ""), umlauts.substr(0, 2 * 2047));
    EXPECT_NE(Slurp(Path("a.ini")).find(v2048), std::string::npos) << "the file keeps it all";
}

TEST_F(IniFileTest, NumbersAndBooleans) {
    TIniFile ini(Path("a.ini"));
    Spit(Path("a.ini"), "[S]\nhex1=$1F\nhex2=0XfF\ntext=12abc\ntwo=2\nword=true\n");
    ini.WriteInteger("S", "neg", -42);
    ini.WriteBool("S", "yes", true);
    EXPECT_TRUE(U_EndsWith(Slurp(Path("a.ini")), "neg=-42\nyes=1\n"));
    EXPECT_EQ(ini.ReadInteger("S", "hex1", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "hex2", 0), 255);
    EXPECT_EQ(ini.ReadInteger("S", "text", 7), 7);
    EXPECT_TRUE(ini.ReadBool("S", "two", false)) << "any non-zero integer";
    EXPECT_TRUE(ini.ReadBool("S", "word", true)) << "no number: the default";
    EXPECT_FALSE(ini.ReadBool("S", "word", false));
}

TEST_F(IniFileTest, ListsKeepFileOrderAndHandWrittenFilesAreRead) {
    // A file as a person might write it: BOM, CR LF, blanks, a line without "=", an empty key, a
    // second block of the same section, text before the first section.
    Spit(Path("a.ini"), "\xEF\xBB\xBFtop=1\r\n[ One ]\r\n z = 1 \r\nnoise\r\n=empty\r\na=2\r\n\r\n"
                        "[two]\r\nk=v\r\n[ONE]\r\nlate=3\r\n");
    TIniFile ini(Path("a.ini"));
    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"One", "two"}));
    ini.ReadSection("one", list);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"z", "a"})) << "the first block counts";
    ini.ReadSectionValues("ONE", list);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"z=1", "a=2"}));
    EXPECT_EQ(ini.ReadString("", "top", "x"), "x") << "text before any section is no value";

    // A new key goes after the section's last value, before its blank separator line.
    ini.WriteString("one", "b", "3");
    ini.ReadSection("one", list);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"z", "a", "b"}));
    EXPECT_NE(Slurp(Path("a.ini")).find("a=2\nb=3\n\n[two]"), std::string::npos);
    // Erasing takes every block of the section and nothing else.
    ini.EraseSection("One");
    EXPECT_EQ(Slurp(Path("a.ini")), "top=1\n[two]\nk=v\n");
    ini.EraseAllSections();
    EXPECT_EQ(Slurp(Path("a.ini")), "top=1\n");
}

TEST_F(IniFileTest, NothingCanBreakTheLineStructure) {
    TIniFile ini(Path("a.ini"));
    // A value with line breaks must not smuggle in keys or sections.
    ini.WriteString("S", "v", "a\r\n[Settings]\nCheckBoxDebug=1\rb");
    EXPECT_FALSE(ini.SectionExists("Settings"));
    EXPECT_EQ(ini.ReadString("S", "v", ""), "a#CRLF#[Settings]#CRLF#CheckBoxDebug=1#CRLF#b");
    TStringList keys;
    ini.ReadSection("S", keys);
    EXPECT_EQ(keys.Count(), 1);
    // Names that cannot be stored are refused, and the file stays as it was.
    std::string before = Slurp(Path("a.ini"));
    for (const std::string key : {"a=b", "a\nb", "", "  ", "[x"})
        EXPECT_THROW(ini.WriteString("S", key, "1"), EIniError) << key;
    for (const std::string section : {"a]b", "a\nb"})
        EXPECT_THROW(ini.WriteString(section, "k", "1"), EIniError) << section;
    EXPECT_EQ(Slurp(Path("a.ini")), before);
}

TEST_F(IniFileTest, WritesReplaceTheFileInOneStep) {
    std::string file = Path("cfg/sub/a.ini");
    TIniFile ini(file);
    ini.WriteString("S", "k", "1");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1") << "missing folders are created";
    // A reader that opened the file before a write still reads the whole old file: the write
    // made a new file and renamed it into place, it never rewrote the old one.
    {
        int reader = open(file.c_str(), O_RDONLY);
        ASSERT_GE(reader, 0);
        struct stat before {};
        ASSERT_EQ(fstat(reader, &before), 0);
        TIniFile(file).WriteString("S", "k", std::string(5000, 'x'));
        struct stat after {};
        ASSERT_EQ(stat(file.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << "the file was rewritten in place";
        char buf[64] = {};
        ssize_t n = pread(reader, buf, sizeof buf - 1, 0);
        close(reader);
        EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "[S]\nk=1\n");
        ini.WriteString("S", "k", "1");
    }
    // Two objects on one file see each other's writes.
    TIniFile other(file);
    other.WriteString("S", "k", "2");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "2");
    // An existing file keeps its permissions; no temporary file is left behind.
    chmod(file.c_str(), 0640);
    ini.WriteString("S", "k", "3");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(HiddenFiles(root / "cfg/sub"), 0);
    // A link is followed: its target gets the new content and the link stays a link.
    fs::create_symlink(file, Path("link.ini"));
    TIniFile viaLink(Path("link.ini"));
    viaLink.WriteString("S", "k", "4");
    EXPECT_TRUE(fs::is_symlink(Path("link.ini")));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "4");
}

// A settings file that is a link is written only through to a regular file of the user's own,
// replaced beside it so that the link stays a link; any other link is refused and left as it was.
TEST_F(IniFileTest, ALinkIsWrittenOnlyToARegularFileOfTheUsersOwn) {
    fs::create_directories(root / "elsewhere");
    std::string target = Path("elsewhere/real.ini");
    Spit(target, "[S]\nk=old\n");
    fs::create_symlink(target, Path("own.ini"));
    TIniFile(Path("own.ini")).WriteString("S", "k", "new");
    EXPECT_TRUE(fs::is_symlink(Path("own.ini")));
    EXPECT_EQ(fs::read_symlink(Path("own.ini")), target);
    EXPECT_EQ(Slurp(target), "[S]\nk=new\n");
    EXPECT_EQ(HiddenFiles(root / "elsewhere"), 0);
    EXPECT_EQ(HiddenFiles(root), 0) << "the new file is made beside the target, not the link";

    std::string foreign = Path("elsewhere/foreign.ini");
    Spit(foreign, "[S]\nk=theirs\n");
    const bool canChown = geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0;
    fs::create_directories(root / "folder");
    std::vector<std::pair<std::string, std::string>> refused{
        {"folder.ini", Path("folder")},
        {"null.ini", "/dev/null"},
        {"dangling.ini", Path("missing/nothing.ini")},
    };
    if (canChown)
        refused.emplace_back("foreign.ini", foreign);
    for (const auto& [name, to] : refused) {
        fs::create_symlink(to, Path(name));
        TIniFile ini(Path(name));
        EXPECT_THROW(ini.WriteString("S", "k", "new"), EIniError) << name;
        EXPECT_TRUE(fs::is_symlink(Path(name))) << name;
        EXPECT_EQ(fs::read_symlink(Path(name)), to) << name;
    }
    EXPECT_FALSE(fs::exists(Path("missing/nothing.ini")));
    EXPECT_TRUE(fs::is_empty(root / "folder"));
    EXPECT_EQ(Slurp(foreign), "[S]\nk=theirs\n");
    EXPECT_EQ(HiddenFiles(root), 0);
}

TEST_F(IniFileTest, AKilledWriterNeverLeavesAHalfWrittenFile) {
    std::string file = Path("a.ini");
    std::string big(200000, 'a'), other(200000, 'b');
    {
        TIniFile ini(file);
        ini.WriteString("S", "v", big);
    }
    for (int round = 0; round < 5; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            TIniFile ini(file);
            ini.SetDurable(false);
            for (int i = 0;; ++i)
                ini.WriteString("S", "v", i % 2 ? big : other);
        }
        usleep(20000 + round * 7000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        TIniFile ini(file);
        std::string value = ini.ReadString("S", "v", "");
        // Long values come back cut to 2047 characters; the file must hold one whole value.
        std::string content = Slurp(file);
        EXPECT_TRUE(content == "[S]\nv=" + big + "\n" || content == "[S]\nv=" + other + "\n")
            << "round " << round << ": " << content.size() << " bytes";
    }
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    std::string file = Path("a.ini");
    Spit(file, "[S]\nk=old\nother=1\n");
    chmod(file.c_str(), 0);
    // The folder is open, so the new file could be renamed over the unreadable one.
    chmod(root.c_str(), 0777);
    int result = RunUnprivileged([&] {
        TIniFile ini(file);
        if (ini.ReadString("S", "k", "default") != "default")
            return 1;
        try {
            ini.WriteString("S", "k", "new");
            return 2;
        } catch (const EIniError&) {
        }
        return 0;
    });
    chmod(root.c_str(), 0755);
    chmod(file.c_str(), 0600);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Slurp(file), "[S]\nk=old\nother=1\n");
}

TEST_F(IniFileTest, TwoProcessesWritingAtOnceKeepEveryKey) {
    // Two programs closing together each write their keys, one settings object per write as the
    // windows do; neither may overwrite what the other wrote in between.
    std::string file = Path("shared.ini");
    constexpr int kKeys = 200;
    auto writeKeys = [&](const char* prefix) {
        for (int i = 0; i < kKeys; ++i)
            TIniFile(file).WriteString("S", prefix + std::to_string(i), "v");
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeKeys("child");
        _exit(0);
    }
    writeKeys("parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TStringList keys;
    TIniFile(file).ReadSection("S", keys);
    EXPECT_EQ(keys.Count(), 2 * kKeys);
}
