#include "settings/Ini.h"

#include "SettingsTestEnv.h"
#include "util/Util.h"

using namespace trovalen;
using namespace trovalen::test;

namespace {
class IniStoreTest : public SettingsTest {};
} // namespace

TEST_F(IniStoreTest, FileNamesFollowTheProgramAndTheConfigurationFolder) {
    U_SetProgramFile("/opt/trovalen/bin/trovalen-edir");
    EXPECT_EQ(U_IniFileName("ini", false), "/opt/trovalen/bin/trovalen-edir.ini");
    EXPECT_EQ(U_IniFileName("cache", true), Path("config") + "/trovalen-edir.cache");
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(U_IniOpen(true)->FileName(), Path("home") + "/.config/trovalen-edir.ini")
        << "a relative configuration folder is ignored";
    U_SetProgramFile("");
}

TEST_F(IniStoreTest, BracketsLeaveKeysAndWrittenSectionNames) {
    TIniFile ini(Path("a.ini"));
    U_IniWriteStr(ini, "Context", "[Root]", "O=ACME");
    EXPECT_EQ(ini.ReadString("Context", "Root", ""), "O=ACME");
    EXPECT_EQ(U_IniReadText(ini, "Context", "[Root]", ""), "O=ACME");
    EXPECT_EQ(U_IniReadStrCached(ini, "Context", "[Root]", ""), "O=ACME");
    U_IniWriteStr(ini, "[Tree]", "k", "v");
    EXPECT_EQ(U_IniReadText(ini, "Tree", "k", ""), "v");
    EXPECT_EQ(U_IniReadText(ini, "[Tree]", "k", "none"), "none")
        << "reads take the section as given";
    U_IniWriteStr(ini, "S", "[]", "v");
    U_IniWriteInt(ini, "S", "[]", 1);
    U_IniWriteBool(ini, "S", "[", true);
    EXPECT_FALSE(ini.SectionExists("S")) << "an empty key is never written";
    EXPECT_TRUE(messages.empty());
}

TEST_F(IniStoreTest, TextWithLineBreaks) {
    TIniFile ini(Path("a.ini"));
    U_IniWriteStr(ini, "Context", "T", "a#CRLF#b");
    U_IniWriteStr(ini, "Context", "U", "c\r\nd");
    EXPECT_EQ(U_IniReadText(ini, "Context", "T", ""), "a\r\nb");
    EXPECT_EQ(U_IniReadText(ini, "Context", "U", ""), "c\r\nd") << "stored escaped";
    EXPECT_EQ(U_IniReadText(ini, "Context", "V", "#crlf#"), "#crlf#") << "case-sensitive";
}

TEST_F(IniStoreTest, ConditionalWritesWriteNothingWhenTheValueIsUnchanged) {
    std::string file = Path("a.ini");
    TIniFile ini(file);
    U_IniWriteInt(ini, "S", "n", -999666);
    EXPECT_FALSE(fs::exists(file)) << "-999666 into a missing key writes nothing";
    U_IniWriteStr(ini, "S", "empty", "");
    EXPECT_FALSE(fs::exists(file)) << "an empty text into a missing key writes nothing";

    U_IniWriteStr(ini, "S", "q", "abc");
    ino_t first = Inode(file);
    U_IniWriteStr(ini, "S", "q", "\"abc\"");
    U_IniWriteStr(ini, "S", "q", "abc");
    EXPECT_EQ(Inode(file), first) << "abc in quotes over a stored abc writes nothing";
    U_IniWriteStr(ini, "S", "q", " \"abc\"");
    EXPECT_NE(Inode(file), first);

    U_IniWriteStr(ini, "S", "quoted", "\" a \"");
    ino_t second = Inode(file);
    U_IniWriteStr(ini, "S", "quoted", "\" a \"");
    EXPECT_EQ(Inode(file), second) << "a value written in quotes is not written again";

    U_IniWriteInt(ini, "S", "n", 5);
    U_IniWriteStr(ini, "S", "hex", "$10");
    ino_t third = Inode(file);
    U_IniWriteInt(ini, "S", "n", 5);
    U_IniWriteInt(ini, "S", "hex", 16);
    EXPECT_EQ(Inode(file), third) << "integers compare by value";

    U_IniWriteBool(ini, "S", "b", false);
    EXPECT_EQ(ini.ReadString("S", "b", "missing"), "0") << "a missing key is written";
    U_IniWriteStr(ini, "S", "two", "2");
    ino_t fourth = Inode(file);
    U_IniWriteBool(ini, "S", "b", false);
    U_IniWriteBool(ini, "S", "two", true);
    EXPECT_EQ(Inode(file), fourth) << "booleans compare as read";
    U_IniWriteBool(ini, "S", "b", true);
    EXPECT_EQ(ini.ReadString("S", "b", ""), "1");
    EXPECT_TRUE(messages.empty());
}

TEST_F(IniStoreTest, CachedReadsConvertAsDescribed) {
    TIniFile ini(Path("a.ini"));
    Spit(Path("a.ini"), "[S]\none=1\nzero=0\nt=true\ny=yes\ntwo=2\nempty=\nn=$1F\nbad=1x\n");
    EXPECT_TRUE(U_IniReadBoolCached(ini, "S", "one", false));
    for (const char* key : {"zero", "t", "y", "two"})
        EXPECT_FALSE(U_IniReadBoolCached(ini, "S", key, true)) << key;
    EXPECT_TRUE(U_IniReadBoolCached(ini, "S", "missing", true));
    EXPECT_TRUE(U_IniReadBoolCached(ini, "S", "empty", true)) << "empty gives the default";
    EXPECT_EQ(U_IniReadIntCached(ini, "S", "n", 0), 31);
    EXPECT_EQ(U_IniReadIntCached(ini, "S", "bad", 7), 7);
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "empty", "def"), "def");
}

TEST_F(IniStoreTest, TheSectionCacheFollowsWritesErasesAndFiles) {
    TIniFile ini(Path("a.ini"));
    U_IniWriteStr(ini, "S", "a", "1");
    U_IniWriteStr(ini, "S", "b", "2");
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "a", ""), "1");
    // A write into the cached section is seen at once (whatever the letter case).
    U_IniWriteStr(ini, "s", "A", "changed");
    U_IniWriteStr(ini, "S", "c", "new");
    U_IniWriteInt(ini, "S", "n", 3);
    U_IniWriteBool(ini, "S", "f", true);
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "a", ""), "changed");
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "c", ""), "new");
    EXPECT_EQ(U_IniReadIntCached(ini, "S", "n", 0), 3);
    EXPECT_TRUE(U_IniReadBoolCached(ini, "S", "f", false));
    // Emptying a value does not leave the old one in the cache.
    U_IniWriteStr(ini, "S", "b", "");
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "b", "def"), "def");

    // The same section name in another file is another section.
    TIniFile other(Path("b.ini"));
    U_IniWriteStr(other, "S", "a", "other file");
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "a", ""), "changed");
    EXPECT_EQ(U_IniReadStrCached(other, "S", "a", ""), "other file");

    // Erasing the cached section (a list rewritten) leaves nothing stale behind.
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "c", ""), "new");
    TStringList list{"x"};
    U_IniWriteList(ini, "S", list, false);
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "c", "gone"), "gone");
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "0", ""), "x");
    U_IniClearAll(ini);
    EXPECT_EQ(U_IniReadStrCached(ini, "S", "0", "gone"), "gone");

    // A file object that goes away takes its cached section with it.
    {
        TIniFile shortLived(Path("c.ini"));
        U_IniWriteStr(shortLived, "S", "k", "v");
        EXPECT_EQ(U_IniReadStrCached(shortLived, "S", "k", ""), "v");
    }
    EXPECT_EQ(U_SectionCache().IniFile, nullptr);
}

TEST_F(IniStoreTest, ListsKeepEveryEntryAsGiven) {
    TIniFile ini(Path("a.ini"));
    Spit(Path("a.ini"), "[L]\n0=a=b\nx=plain\n=skipped\n");
    TStringList list;
    U_IniReadList(ini, "L", list, true);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], "a=b") << "the text after the first equals sign";
    EXPECT_EQ(list[1], "plain");
    EXPECT_EQ(list.Value(1), 0u) << "a key that is no number carries 0";

    TStringList entries{"first", "", "  blanks  ", "\"quoted\"", "say \"hi\"", "'single'"};
    U_IniWriteList(ini, "L", entries, false);
    U_IniReadList(ini, "L", list, false);
    EXPECT_EQ(list.Strings(), entries.Strings());
    TStringList keys;
    ini.ReadSection("L", keys);
    EXPECT_EQ(keys.Strings(), (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
    EXPECT_EQ(ini.ReadString("L", "0", ""), "first") << "plain entries are stored plainly";

    // Keys from the companion values; a later entry with the same number wins in place.
    TStringList byObject;
    byObject.Add("ten", 10);
    byObject.Add("minus", static_cast<uint32_t>(-1));
    byObject.Add("TEN", 10);
    U_IniWriteList(ini, "Security Equals", byObject, true);
    EXPECT_EQ(Slurp(Path("a.ini")).substr(Slurp(Path("a.ini")).find("[Security Equals]")),
              "[Security Equals]\n10=TEN\n-1=minus\n");

    // An empty list leaves no section; an absent section reads as an empty list.
    U_IniWriteList(ini, "L", TStringList(), false);
    EXPECT_FALSE(ini.SectionExists("L"));
    U_IniReadList(ini, "L", list, false);
    EXPECT_TRUE(list.Empty());
}

TEST_F(IniStoreTest, ARefusedWriteShowsTheMessageAndKeepsTheFile) {
    fs::create_directories(root / "ro");
    std::string file = Path("ro/trovalen.ini");
    Spit(file, "[Settings]\nEditFilterIncl=old\nCheckBoxDebug=1\n");
    chmod(file.c_str(), 0644);
    chmod((root / "ro").c_str(), 0555);
    int result = RunUnprivileged([&] {
        TIniFile ini(file);
        U_IniWriteStr(ini, "Settings", "EditFilterIncl", "new");
        U_IniWriteInt(ini, "Settings", "MainForm.Top", 10);
        U_IniWriteList(ini, "CheckListBoxPaths", TStringList{"\\\\FS1\\SYS"}, false);
        U_IniClearAll(ini);
        if (messages.size() != 4)
            return 1;
        for (const auto& m : messages)
            if (m != "Unable to write to " + file)
                return 2;
        // The caller goes on and reads what the file still holds.
        return U_IniReadStrCached(ini, "Settings", "EditFilterIncl", "") == "old" ? 0 : 3;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Slurp(file), "[Settings]\nEditFilterIncl=old\nCheckBoxDebug=1\n");
}
