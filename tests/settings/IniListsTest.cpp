#include "settings/IniLists.h"

#include "SettingsTestEnv.h"
#include "settings/Ini.h"

using namespace trovalen;
using namespace trovalen::test;

namespace {
class IniListsTest : public SettingsTest {};

TCheckList Entries(std::initializer_list<std::pair<const char*, bool>> items) {
    TCheckList list;
    for (const auto& [text, checked] : items)
        list.push_back({text, checked, 0});
    return list;
}

std::vector<std::string> Texts(const TCheckList& list) {
    std::vector<std::string> texts;
    for (const auto& e : list)
        texts.push_back(e.Text + (e.Checked ? "+" : "-"));
    return texts;
}
} // namespace

TEST_F(IniListsTest, CheckListsKeepOrderAndCheckMarks) {
    TIniFile ini(Path("a.ini"));
    U_IniSaveCheckList(ini, "L", Entries({{"a", true}, {"b", false}}));
    EXPECT_EQ(Slurp(Path("a.ini")), "[L]\n0=a\n1=b\n[L Checked]\na=1\n");
    TCheckList loaded = Entries({{"old", true}});
    U_IniLoadCheckList(ini, "L", loaded);
    EXPECT_EQ(Texts(loaded), (std::vector<std::string>{"a+", "b-"}));
    EXPECT_EQ(loaded[1].Data, 1u) << "each entry carries its key's number";

    U_IniLoadCheckList(ini, "Absent", loaded);
    EXPECT_TRUE(loaded.empty());
}

TEST_F(IniListsTest, CheckMarksSurviveBracketsAndChanges) {
    TIniFile ini(Path("a.ini"));
    TCheckList list = Entries({{"\\\\FS1\\SYS\\[Data]", true},
                               {"Dir=Name", true},
                               {"x y", true},
                               {"X Y", false},
                               {"plain", false}});
    U_IniSaveCheckList(ini, "CheckListBoxPaths", list);
    TCheckList loaded;
    U_IniLoadCheckList(ini, "CheckListBoxPaths", loaded);
    // "[" and "]" leave the key on both sides, so the mark survives. A text with "=" is kept
    // under its escaped key, without a message.
    EXPECT_EQ(Texts(loaded), (std::vector<std::string>{"\\\\FS1\\SYS\\[Data]+", "Dir=Name+", "x y+",
                                                       "X Y+", "plain-"}));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(ini.ValueExists("CheckListBoxPaths Checked", "\\\\FS1\\SYS\\Data"));

    // Unchecking after a load: the cached check marks must not outlive the save.
    loaded[0].Checked = false;
    loaded.erase(loaded.begin() + 1);
    U_IniSaveCheckList(ini, "CheckListBoxPaths", loaded);
    U_IniLoadCheckList(ini, "CheckListBoxPaths", loaded);
    EXPECT_EQ(Texts(loaded),
              (std::vector<std::string>{"\\\\FS1\\SYS\\[Data]-", "x y+", "X Y+", "plain-"}));
    // Nothing checked: the " Checked" section goes.
    for (auto& e : loaded)
        e.Checked = false;
    U_IniSaveCheckList(ini, "CheckListBoxPaths", loaded);
    EXPECT_FALSE(ini.SectionExists("CheckListBoxPaths Checked"));
}

TEST_F(IniListsTest, CheckMarksOfTextsThatCannotBeKeysRoundTrip) {
    TIniFile ini(Path("a.ini"));
    // "=", the escape "]" itself, a leading "[" or ";", control characters, trailing blanks, texts
    // of brackets alone, and texts that differ only where the plain key would drop something.
    TCheckList list = Entries({{"\\\\FS1\\SYS\\a=b", true},
                               {"a]=b ", true},
                               {"[x=y]", true},
                               {"x=y", false},
                               {";c=d", true},
                               {"]3D=", true},
                               {"[]", true},
                               {"[ ]", false},
                               {"O=Org", false},
                               {"CN=Admin.O=Org", true},
                               {"=", true},
                               {"tab\t=", true}});
    U_IniSaveCheckList(ini, "CheckListBoxEdir - TREE", list);
    EXPECT_TRUE(messages.empty()) << messages.front();
    TCheckList loaded;
    U_IniLoadCheckList(ini, "CheckListBoxEdir - TREE", loaded);
    EXPECT_EQ(loaded.size(), list.size());
    for (size_t i = 0; i < list.size() && i < loaded.size(); ++i) {
        EXPECT_EQ(loaded[i].Text, list[i].Text) << i;
        EXPECT_EQ(loaded[i].Checked, list[i].Checked) << list[i].Text;
    }
    // The stored form is fixed: files written now must read the same in later versions.
    std::string text = Slurp(Path("a.ini"));
    for (const char* key :
         {"\n]\\\\FS1\\SYS\\a]3Db=1\n", "\n]a]5D]3Db]20=1\n", "\n][x]3Dy]5D=1\n", "\n];c]3Dd=1\n",
          "\n]]5D3D]3D=1\n", "\n][]5D=1\n", "\n]]3D=1\n", "\n]tab]09]3D=1\n"})
        EXPECT_NE(text.find(key), std::string::npos) << key << " in\n" << text;
    EXPECT_EQ(text.find("\n]x]3Dy=1"), std::string::npos) << "unchecked entries have no key";
    // Saving what was loaded writes the same file.
    U_IniSaveCheckList(ini, "CheckListBoxEdir - TREE", loaded);
    EXPECT_EQ(Slurp(Path("a.ini")), text);
}

TEST_F(IniListsTest, CheckListsOfEarlierFilesReadAsBefore) {
    TIniFile ini(Path("a.ini"));
    // As earlier versions wrote it: plain keys only, a text with "=" never checked; hand-made
    // lines with "=" in the value or brackets in the key never matched and still do not.
    Spit(Path("a.ini"),
         "[L]\n0=\\\\FS1\\SYS\\[Data]\n1=Dir=Name\n2=X Y\n3=[a]\n4=b\n"
         "[L Checked]\nDATA=0\n\\\\FS1\\SYS\\Data=1\nDir=Name=1\nx y=1\n[a]=1\nb=yes\n");
    TCheckList loaded;
    U_IniLoadCheckList(ini, "L", loaded);
    EXPECT_EQ(Texts(loaded), (std::vector<std::string>{"\\\\FS1\\SYS\\[Data]+", "Dir=Name-", "X Y+",
                                                       "[a]-", "b-"}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(IniListsTest, HistoryHoldsAtMost31EntriesNewestFirst) {
    THistoryBox box;
    for (int i = 0; i < 40; ++i) {
        box.Text = "entry " + std::to_string(i);
        U_AddToHistory(box, HistoryLimit);
    }
    ASSERT_EQ(box.Items.Count(), 31);
    EXPECT_EQ(box.Items[0], "entry 39");
    EXPECT_EQ(box.Items[30], "entry 9");
    box.Text = "ENTRY 20";
    U_AddToHistory(box, HistoryLimit);
    EXPECT_EQ(box.Items.Count(), 31) << "a known text (any case) is not added";
    EXPECT_EQ(box.Items[0], "entry 39");
    box.Text = "new";
    U_AddToHistory(box, 0);
    EXPECT_EQ(box.Items.Count(), 32) << "no limit";
}

TEST_F(IniListsTest, HistoryRoundTripKeepsBlanksAndQuotes) {
    TIniFile ini(Path("a.ini"));
    THistoryBox box;
    box.Name = "ComboFilter";
    box.Items = TStringList{" leading", "trailing ", "say \"hi\"", "'single'"};
    box.Text = "  current  ";
    ASSERT_TRUE(U_IniSaveHistory(ini, box));
    EXPECT_EQ(ini.ReadInteger("History ComboFilter", "Count", -1), 5);

    THistoryBox loaded;
    loaded.Name = "ComboFilter";
    ASSERT_TRUE(U_IniLoadHistory(ini, loaded));
    EXPECT_EQ(loaded.Text, "  current  ");
    EXPECT_EQ(loaded.Items.Strings(),
              (std::vector<std::string>{"  current  ", " leading", "trailing ", "say \"hi\"",
                                        "'single'"}));
    // Saving again changes nothing: quotes are not doubled up from one run to the next.
    std::string before = Slurp(Path("a.ini"));
    ASSERT_TRUE(U_IniSaveHistory(ini, loaded));
    EXPECT_EQ(Slurp(Path("a.ini")), before);

    // A list that cannot be edited selects its first entry.
    THistoryBox fixed;
    fixed.Name = "ComboFilter";
    fixed.Editable = false;
    U_IniLoadHistory(ini, fixed);
    EXPECT_EQ(fixed.ItemIndex, 0);
    EXPECT_EQ(fixed.Text, "  current  ");
}

TEST_F(IniListsTest, HistoryCountsAtTheirLimits) {
    TIniFile ini(Path("a.ini"));
    // Without "Count" the keys 0 to 30 are read; the key equal to the count is read as well.
    std::string text = "[History C]\n";
    for (int i = 0; i <= 40; ++i)
        text += std::to_string(i) + "=e" + std::to_string(i) + "\n";
    Spit(Path("a.ini"), text);
    THistoryBox box;
    box.Name = "C";
    ASSERT_TRUE(U_IniLoadHistory(ini, box));
    EXPECT_EQ(box.Items.Count(), 31);
    EXPECT_EQ(box.Items[30], "e30");

    Spit(Path("a.ini"), "[History C]\nCount=0\n0=only\n1=not\n");
    box.Items.Clear();
    U_IniLoadHistory(ini, box);
    EXPECT_EQ(box.Items.Strings(), (std::vector<std::string>{"only"}));

    // A count outside 0 .. 255 stops the load with a message and changes nothing.
    for (const char* count : {"-1", "256"}) {
        Spit(Path("a.ini"), std::string("[History C]\nCount=") + count + "\n0=x\nCurrent=cur\n");
        THistoryBox bad;
        bad.Name = "C";
        bad.Text = "keep";
        EXPECT_FALSE(U_IniLoadHistory(ini, bad)) << count;
        EXPECT_EQ(bad.Text, "keep");
        EXPECT_TRUE(bad.Items.Empty());
    }
    EXPECT_EQ(messages.size(), 2u);

    // 255 is loaded, but never more than 255 entries, so the history can be saved again.
    text = "[History C]\nCount=255\n";
    for (int i = 0; i <= 255; ++i)
        text += std::to_string(i) + "=e" + std::to_string(i) + "\n";
    Spit(Path("a.ini"), text);
    THistoryBox full;
    full.Name = "C";
    messages.clear();
    ASSERT_TRUE(U_IniLoadHistory(ini, full));
    EXPECT_EQ(full.Items.Count(), 255);
    EXPECT_TRUE(U_IniSaveHistory(ini, full));
    EXPECT_TRUE(messages.empty());

    // More than 255 entries cannot be stored: a message, and the old section stays.
    for (int i = 0; i < 10; ++i)
        full.Items.Add("more " + std::to_string(i));
    std::string before = Slurp(Path("a.ini"));
    EXPECT_FALSE(U_IniSaveHistory(ini, full));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Slurp(Path("a.ini")), before);
}
