#include "util/Util.h"

#include <gtest/gtest.h>

using namespace trovalen;

TEST(Selection, PickIndexAndAbbreviations) {
    std::vector<std::string> list = {"alpha", "Beta", "gamma"};
    EXPECT_EQ(U_PickStr(-1, list), "n/a");
    EXPECT_EQ(U_PickStr(3, list), "n/a");
    EXPECT_EQ(U_PickStr(1, list), "Beta");
    EXPECT_EQ(U_IndexOfStr("beta", list, false), 1);
    EXPECT_EQ(U_IndexOfStr("beta", list, true), -1);
    EXPECT_TRUE(U_IsOneOf("GAMMA", list, false));
    EXPECT_EQ(U_BoolStr(true), "TRUE");
    EXPECT_EQ(U_IfStr(false, "a", "b"), "b");
    EXPECT_TRUE(U_IsAbbrevOf("deb", "DEBUG", 3));
    EXPECT_FALSE(U_IsAbbrevOf("de", "DEBUG", 3));
    EXPECT_FALSE(U_IsAbbrevOf("debugx", "DEBUG", 3));
    EXPECT_TRUE(U_IsAbbrevOf("ab", "AB", 5)) << "minimum lowered to the keyword's length";
    // Case folding touches only a to z.
    EXPECT_TRUE(U_SameText("straße", "STRAßE"));
    EXPECT_FALSE(U_SameText("é", "É"));
    EXPECT_EQ(U_PosCI("B", "abc"), 2);
    EXPECT_EQ(U_FindStr("B", "abc", true), 0);
    EXPECT_EQ(U_PosCI("", "abc"), 0);
}

TEST(Cutting, HeadTailSplitAndCount) {
    EXPECT_EQ(U_HeadOf("a] b", "] ", true), "a");
    EXPECT_EQ(U_HeadOf("a] b", "] ", false), "a] ");
    EXPECT_EQ(U_HeadOf("ab", "x", true), "ab");
    EXPECT_EQ(U_TailOf("[x]y", "[", true), "x]y");
    EXPECT_EQ(U_TailOf("[x]y", "]", false), "]y");
    EXPECT_EQ(U_TailOf("ab", "x", true), "ab");

    std::string s = "key=value=more", l, r;
    U_SplitAt(s, "=", s, r);
    EXPECT_EQ(s, "key");
    EXPECT_EQ(r, "value=more");
    U_SplitAt("none", "=", l, r);
    EXPECT_EQ(l, "none");
    EXPECT_EQ(r, "");

    EXPECT_EQ(U_CountOf("a.b.c", "."), 2);
    EXPECT_EQ(U_CountOf("aaaa", "aa"), 2);
    EXPECT_EQ(U_CountOf("abc", ""), 0);
    TArrayOfString three(3), two(2), four(4, "untouched");
    U_SplitToArray("a.b.c", ".", three);
    EXPECT_EQ(three, (TArrayOfString{"a", "b", "c"}));
    U_SplitToArray("a.b.c", ".", two);
    EXPECT_EQ(two, (TArrayOfString{"a", "b"}));
    U_SplitToArray("a.b.c", ".", four);
    EXPECT_EQ(four, (TArrayOfString{"a", "b", "c", "untouched"}));
}

TEST(Cutting, TrimAndDelete) {
    EXPECT_EQ(U_TrimBlank("\t\r\n x y \n"), "x y");
    EXPECT_EQ(U_TrimRightChars("1 days, ", ", "), "1 days");
    EXPECT_EQ(U_TrimLeftChars("//\\x/", "/\\"), "x/");
    EXPECT_EQ(U_DeleteChars("a b$c_", "$_ "), "abc");
    EXPECT_EQ(U_CountChars("a b c", U_BlankSet()), 2);
    EXPECT_EQ(U_WithPrefix(".x", "."), ".x");
    EXPECT_EQ(U_WithPrefix("x", "."), ".x");
    EXPECT_EQ(U_JoinNonEmpty("a", "", ", "), "a");
    EXPECT_EQ(U_JoinNonEmpty("a", "b", ", "), "a, b");
    EXPECT_EQ(U_Quoted("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(U_ShownText("a\tb\nc\x7F", 10), "a?b?c?");
    EXPECT_EQ(U_ShownText("abcdef", 6), "abcdef");
    EXPECT_EQ(U_ShownText("abcdefg", 6), "abcdef...");
    EXPECT_EQ(U_ShownText("J\xC3\xB6rg", 10), "J\xC3\xB6rg") << "other bytes stay";
    EXPECT_EQ(U_LastChar("ab"), 'b');
}

TEST(Replace, FollowsCaseAndAllFlags) {
    EXPECT_EQ(U_ReplaceStr("aXbxc", "x", "-", false, true), "a-b-c");
    EXPECT_EQ(U_ReplaceStr("aXbxc", "x", "-", true, true), "aXb-c");
    EXPECT_EQ(U_ReplaceStr("aXbxc", "x", "-", false, false), "a-bxc");
    EXPECT_EQ(U_ReplaceStr("abc", "b", "b", true, true), "abc");
    EXPECT_EQ(U_ReplaceStr("abc", "", "z", true, true), "abc");
    // Inserted text is never searched again.
    EXPECT_EQ(U_ReplaceStr("aa", "a", "aa", true, true), "aaaa");
    EXPECT_EQ(U_ReplaceStr("xxx", "xx", "y", true, true), "yx");
    std::string v = "a.b";
    U_Replace(v, ".", "\\.", true, true);
    EXPECT_EQ(v, "a\\.b");
}

TEST(Conversion, HexBothWays) {
    uint8_t buf[8] = {};
    int count = 8;
    EXPECT_TRUE(U_HexToBytes("0x0A ff", count, buf));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(buf[0], 0x0A);
    EXPECT_EQ(buf[1], 0xFF);

    count = 8;
    EXPECT_FALSE(U_HexToBytes("0X0A", count, buf));
    EXPECT_EQ(count, 8);

    count = 8;
    buf[0] = 0;
    EXPECT_FALSE(U_HexToBytes("ABC", count, buf));
    EXPECT_EQ(count, 8) << "count keeps its value on failure";
    EXPECT_EQ(buf[0], 0xAB) << "the good byte is written";

    count = 1;
    EXPECT_TRUE(U_HexToBytes("$01_02", count, buf)) << "capacity limits the bytes taken";
    EXPECT_EQ(count, 1);
    count = 4;
    EXPECT_FALSE(U_HexToBytes("", count, buf));

    const uint8_t bytes[] = {0x00, 0x1F, 0xAB};
    EXPECT_EQ(U_BytesToHex(bytes, 3), "001FAB");
    EXPECT_EQ(U_BytesToHex(bytes, 0), "");
}

TEST(Conversion, Integers) {
    EXPECT_EQ(U_StrToIntDef("42", -9), 42);
    EXPECT_EQ(U_StrToIntDef(" 4 2 ", -9), 42);
    EXPECT_EQ(U_StrToIntDef("$1F", -9), 31);
    EXPECT_EQ(U_StrToIntDef("-17", 0), -17);
    EXPECT_EQ(U_StrToIntDef("", -9), -9);
    EXPECT_EQ(U_StrToIntDef("12a", -9), -9);
    EXPECT_EQ(U_StrToIntDef("$", -9), -9);
    EXPECT_EQ(U_StrToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(U_StrToIntDef("2147483648", -9), -9);
    EXPECT_EQ(U_StrToIntDef("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(U_StrToIntDef("$FFFFFFFF", 0), -1);
    EXPECT_EQ(U_StrToIntDef("99999999999999999999", -9), -9);
}

TEST(Conversion, Buffers) {
    std::string multi("ab\0cd\0", 6);
    EXPECT_EQ(U_MultiStrBufToLines(multi, 0, 6), "ab\r\ncd\r\n");
    EXPECT_EQ(U_BufToStr(multi, 0, 6), "ab");
    EXPECT_EQ(U_BufToStr(multi, 3, 100), "cd") << "never reads past the buffer";
    EXPECT_EQ(U_BufToStr(multi, 3000, 10), "");
    std::string big(5000, 'x');
    EXPECT_EQ(U_BufToStr(big, 0, 5000).size(), 2303u);

    EXPECT_EQ(U_WithTrailingNul(""), std::string(1, '\0'));
    EXPECT_EQ(U_WithTrailingNul("a"), std::string("a\0", 2));
    EXPECT_EQ(U_WithTrailingNul(std::string("a\0", 2)), std::string("a\0", 2));
    std::string p = "abc";
    EXPECT_STREQ(U_NulTerminatedPChar(p), "abc");
    EXPECT_EQ(p.size(), 4u);
    EXPECT_EQ(U_PCharToStr(nullptr), "");

    char buf[8];
    EXPECT_EQ(U_StrToBuf("hello", 2, -1, true, buf, sizeof buf), 4u);
    EXPECT_STREQ(buf, "ello");
    EXPECT_EQ(U_StrToBuf("hello", 1, 2, true, buf, sizeof buf), 2u);
    EXPECT_STREQ(buf, "he");
    EXPECT_EQ(U_StrToBuf("a long text here", 1, -1, true, buf, sizeof buf), 7u) << "bounded";
}

TEST(Paths, SlashesJoinAndExtensions) {
    EXPECT_EQ(U_WithTrailingSlash(""), "\\");
    EXPECT_EQ(U_WithTrailingSlash("C:/"), "C:/");
    EXPECT_EQ(U_WithTrailingSlash("C:"), "C:\\");
    EXPECT_EQ(U_WithoutTrailingSlash("a\\"), "a");
    EXPECT_EQ(U_WithoutTrailingSlash("a/"), "a");
    EXPECT_EQ(U_JoinPath("\\\\FS1\\SYS", "APPS"), "\\\\FS1\\SYS\\APPS");
    EXPECT_EQ(U_ChangeExt("/opt/tv/trovalen", "ini"), "/opt/tv/trovalen.ini");
    EXPECT_EQ(U_ChangeExt("/opt/tv/trovalen.exe", ".txt"), "/opt/tv/trovalen.txt");
    EXPECT_EQ(U_ChangeExt("/opt/t.v/trovalen", ""), "/opt/t.v/trovalen");
    EXPECT_EQ(U_ChangeExt("a.b.c", ""), "a.b");
}

TEST(Lists, RemoveAndAddIgnoreCase) {
    TStringList list{"One", "two", "Three", "one"};
    TStringList other{"ONE", "missing"};
    U_RemoveStrings(&list, &other);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"two", "Three", "one"}));
    U_AddStrings(&list, &other, false);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"two", "Three", "one", "missing"}));
    U_AddStrings(&list, &other, true);
    EXPECT_EQ(list.Count(), 6);
    U_AddStrings(&list, &list, true);
    EXPECT_EQ(list.Count(), 12) << "adding a list to itself terminates";
    U_AddStrings(nullptr, &other, true);
    U_RemoveStrings(&list, nullptr);
}

TEST(Time, SecondsToText) {
    EXPECT_EQ(U_SecondsToText(0), "0 sec");
    EXPECT_EQ(U_SecondsToText(59), "59 sec");
    EXPECT_EQ(U_SecondsToText(60), "1 min");
    EXPECT_EQ(U_SecondsToText(3600), "1 h");
    EXPECT_EQ(U_SecondsToText(3661), "1 h, 1 min, 1 sec");
    EXPECT_EQ(U_SecondsToText(86430), "1 days, 30 sec");
    EXPECT_EQ(U_SecondsToText(90061), "1 days, 1 h, 1 min, 1 sec");
    EXPECT_EQ(U_SecondsToText(0xFFFFFFFFu), "49710 days, 6 h, 28 min, 15 sec");
    TDuration d = U_SplitSeconds(90061);
    EXPECT_EQ(d.Days, 1);
    EXPECT_EQ(d.Hours, 1);
    EXPECT_EQ(d.Minutes, 1);
    EXPECT_EQ(d.Seconds, 1);
}

TEST(Time, FormatsPatterns) {
    setenv("TZ", "UTC", 1);
    tzset();
    // 2024-03-05 07:08:09 UTC
    EXPECT_EQ(U_FormatDateTime("yyyy-mm-dd hh:nn:ss", 1709622489), "2024-03-05 07:08:09");
    EXPECT_EQ(U_FormatDateTime("d.m.yy h:n", 1709622489), "5.3.24 7:8");
    EXPECT_EQ(U_FormatDateTime("'at' hh", 1709622489), "at 07");
    EXPECT_EQ(U_NowStamp().size(), 19u);
}
