// A settings file written by the store must be read the same way by an independent INI reader
// (Python's configparser), and a file written by that library must be read by the store.
#include "settings/Ini.h"
#include "settings/IniLists.h"
#include "util/Util.h"

#include "SettingsTestEnv.h"

#include <nlohmann/json.hpp>

using namespace trovalen;
using namespace trovalen::test;
using json = nlohmann::json;

namespace {
class RoundTripTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        if (std::system("python3 -c 'import configparser' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3 is not available";
    }
    json RunScript(const std::string& mode, const std::string& file) {
        std::string out = Path("out.json");
        std::string command = "python3 '" TROVALEN_SOURCE_DIR "/tests/settings/ini_roundtrip.py' " +
                              mode + " '" + file + "' > '" + out + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return json::parse(Slurp(out));
    }
};
} // namespace

TEST_F(RoundTripTest, AnIndependentReaderSeesWhatTheStoreWrote) {
    std::string file = Path("trovalen.ini");
    TIniFile ini(file);
    std::string long2047(2047, 'L');
    long2047[0] = ' ';
    U_IniWriteStr(ini, "Settings", "EditFilterExcl", "a=b;c #d 100%");
    U_IniWriteStr(ini, "Settings", "Quoted", U_Quoted("  leading and trailing  "));
    U_IniWriteStr(ini, "Settings", "Inner", U_Quoted("say \"hi\""));
    U_IniWriteStr(ini, "Settings", "Long", U_Quoted(long2047));
    U_IniWriteStr(ini, "Settings", "Unicode", "Müller ☃");
    U_IniWriteBool(ini, "Settings", "CheckBoxDebug", true);
    U_IniWriteInt(ini, "Settings", "MainForm.Top", -12);
    U_IniWriteStr(ini, "Context", "[Root]", "O=ACME");
    U_IniWriteStr(ini, "Context", "Lines", "one\r\ntwo");
    U_IniSaveCheckList(ini, "CheckListBoxPaths",
                       {{"\\\\FS1\\SYS\\APPS", true, 0}, {"", false, 0}, {" x ", true, 0}});
    THistoryBox box;
    box.Name = "ComboFilter";
    box.Text = " spaced ";
    box.Items = TStringList{"a \"b\" c"};
    U_IniSaveHistory(ini, box);

    json seen = RunScript("read", file);
    EXPECT_EQ(seen["Settings"]["EditFilterExcl"], "a=b;c #d 100%");
    EXPECT_EQ(seen["Settings"]["Quoted"], "  leading and trailing  ");
    EXPECT_EQ(seen["Settings"]["Inner"], "say \"hi\"");
    EXPECT_EQ(seen["Settings"]["Long"], long2047);
    EXPECT_EQ(seen["Settings"]["Unicode"], "Müller ☃");
    EXPECT_EQ(seen["Settings"]["CheckBoxDebug"], "1");
    EXPECT_EQ(seen["Settings"]["MainForm.Top"], "-12");
    EXPECT_EQ(seen["Context"]["Root"], "O=ACME");
    EXPECT_EQ(seen["Context"]["Lines"], "one#CRLF#two");
    EXPECT_EQ(seen["CheckListBoxPaths"],
              json({{"0", "\\\\FS1\\SYS\\APPS"}, {"1", ""}, {"2", " x "}}));
    EXPECT_EQ(seen["CheckListBoxPaths Checked"], json({{"\\\\FS1\\SYS\\APPS", "1"}, {"x", "1"}}));
    EXPECT_EQ(
        seen["History ComboFilter"],
        json({{"Current", " spaced "}, {"Count", "2"}, {"0", " spaced "}, {"1", "a \"b\" c"}}));
    EXPECT_EQ(seen.size(), 5u);

    // And the store reads its own file the same way.
    for (const auto& [section, values] : seen.items())
        for (const auto& [key, value] : values.items())
            EXPECT_EQ(ini.ReadString(section, key, "<none>"), value.get<std::string>())
                << section << "/" << key;
}

TEST_F(RoundTripTest, TheStoreReadsWhatAnIndependentWriterWrote) {
    std::string file = Path("written.ini");
    json expected = RunScript("write", file);
    TIniFile ini(file);
    for (const auto& [section, values] : expected.items())
        for (const auto& [key, value] : values.items())
            EXPECT_EQ(ini.ReadString(section, key, "<none>"), value.get<std::string>())
                << section << "/" << key;
    EXPECT_EQ(U_IniReadIntCached(ini, "Settings", "MainForm.Width", 0), 32);
    EXPECT_TRUE(U_IniReadBoolCached(ini, "Settings", "CheckBoxDebug", false));
    EXPECT_EQ(U_IniReadText(ini, "Context", "ACME_TREE", ""), "O=ACME\r\nOU=Sales");
    THistoryBox box;
    box.Name = "ComboFilter";
    U_IniLoadHistory(ini, box);
    EXPECT_EQ(box.Text, "  spaced  ");
    EXPECT_EQ(box.Items.Strings(), (std::vector<std::string>{"a \"b\" c"}));
}
