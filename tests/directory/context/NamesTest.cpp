#include "directory/DSNames.h"

#include <gtest/gtest.h>

#include "FakeClient.h"

using namespace trovalen;
using trovalen::testing::FakeClient;

TEST(Names, DotAndUndot) {
    for (const char* special : {"[Root]", "[This]", "[Public]", "[Supervisor]"}) {
        EXPECT_TRUE(U_IsSpecialName(special));
        EXPECT_EQ(U_DSDotName(special), special);
    }
    EXPECT_FALSE(U_IsSpecialName("[public]"));
    EXPECT_EQ(U_DSDotName("[public]"), ".[public]");
    EXPECT_EQ(U_DSDotName(".x"), ".x");
    EXPECT_EQ(U_DSDotName("x"), ".x");
    EXPECT_EQ(U_DSDotName(""), "");
    EXPECT_EQ(U_DSUndotName("..x"), ".x");
    EXPECT_EQ(U_DSUndotName(""), "");
}

TEST(Names, TypelessNames) {
    EXPECT_EQ(U_DSTypelessName("CN=Admin,O=ACME"), "Admin.ACME");
    EXPECT_EQ(U_DSTypelessName("cn=admin,ou=sales,o=acme"), "admin.sales.acme");
    EXPECT_EQ(U_DSTypelessName("cn=admin,o=acme,c=US"), "admin.acme.c=US");
    EXPECT_EQ(U_DSTypelessName("admin.acme"), "admin.acme");
}

TEST(Names, CombineNames) {
    EXPECT_EQ(U_DSCombineName("[Root]", "sales"), ".sales");
    EXPECT_EQ(U_DSCombineName("", "sales"), ".sales");
    EXPECT_EQ(U_DSCombineName("[Root]", "[Public]"), "[Public]");
    EXPECT_EQ(U_DSCombineName(".acme", ".."), "[Root]");
    EXPECT_EQ(U_DSCombineName("[Root]", ".."), "[Root]");
    EXPECT_EQ(U_DSCombineName(".sales.acme", "[ .. ]"), "acme");
    EXPECT_EQ(U_DSCombineName("..sales.acme", ".."), "acme");
    EXPECT_EQ(U_DSCombineName(".sales.acme", "."), ".sales.acme");
    EXPECT_EQ(U_DSCombineName(".sales.acme", ""), ".sales.acme");
    EXPECT_EQ(U_DSCombineName(".sales.acme", "admin"), ".admin.sales.acme");
    EXPECT_EQ(U_DSCombineName("sales.acme", "admin"), "admin.sales.acme");
    EXPECT_EQ(U_DSCombineName("sales.acme", ".admin.x"), ".admin.x");
}

TEST(Names, ClientNamesFallBackToTheirInput) {
    auto client = std::make_shared<FakeClient>();
    NWHandle ctx = 0;
    client->NewContext(ctx);
    client->Contexts[ctx].NameContext = "CN=sales.acme";
    client->Abbreviations["admin.sales.acme"] = "admin";
    EXPECT_EQ(U_DSAbbreviateName(client.get(), ctx, "admin.sales.acme"), "admin");
    EXPECT_EQ(U_DSAbbreviateName(client.get(), ctx, "other.acme"), "other.acme");
    EXPECT_EQ(U_DSFullName(client.get(), ctx, "joe"), "joe.sales.acme");
    EXPECT_EQ(U_DSAbbreviateName(nullptr, ctx, "admin.sales.acme"), "admin.sales.acme");
}

TEST(Paths, PathsThroughTheClient) {
    auto client = std::make_shared<FakeClient>();
    client->Paths["\\\\FS1\\SYS\\APPS"] = {"FS1", 101, "SYS", "APPS"};
    client->Paths["FS1/SYS:"] = {"FS1", 101, "SYS", ""};

    TNWPath nw;
    nw.Server = "keep";
    EXPECT_EQ(U_PathToNWPath(client.get(), "/home/user/file", nw), ERR_INVALID_PATH);
    EXPECT_EQ(nw.Server, "keep");
    EXPECT_EQ(nw.ConnHandle, NO_CONNECTION);
    EXPECT_EQ(U_PathToNWPath(client.get(), "\\\\FS1\\SYS\\APPS", nw), 0);
    EXPECT_EQ(nw.ConnHandle, 101);
    EXPECT_EQ(nw.Server + "|" + nw.Volume + "|" + nw.DirPath, "FS1|SYS|APPS");

    EXPECT_EQ(U_PathToUNC(client.get(), "FS1/SYS:"), "\\\\FS1\\SYS\\");
    EXPECT_EQ(U_PathToUNC(client.get(), "\\\\FS1\\SYS\\APPS"), "\\\\FS1\\SYS\\APPS");
    EXPECT_EQ(U_PathToUNC(client.get(), "C:\\local"), "C:\\local");
}

TEST(Paths, ListDirEntriesInEachKind) {
    auto client = std::make_shared<FakeClient>();
    client->Paths["\\\\FS1\\SYS\\APPS"] = {"FS1", 101, "SYS", "APPS"};
    client->Paths["\\\\FS1\\SYS\\APPS\\Data"] = {"FS1", 101, "SYS", "APPS\\DATA"};
    client->Paths["\\\\FS1\\SYS\\APPS\\Tools"] = {"FS1", 101, "SYS", "APPS\\TOOLS"};
    client->Paths["FS1/SYS:"] = {"FS1", 101, "SYS", ""};
    client->DirEntries["SYS:APPS"] = {"Data", "Tools", "Ghost"};
    client->DirEntries["SYS:"] = {"APPS"};

    TStringList list;
    EXPECT_EQ(
        U_NWListDirEntries(client.get(), "\\\\FS1\\SYS\\APPS", SA_SUBDIR_ALL, "*", list, 1, 0), 0);
    EXPECT_EQ(list.Text("|"), "\\\\FS1\\SYS\\APPS\\Data|\\\\FS1\\SYS\\APPS\\Tools|"
                              "\\\\FS1\\SYS\\APPS\\Ghost|");
    list.Clear();
    U_NWListDirEntries(client.get(), "\\\\FS1\\SYS\\APPS", SA_SUBDIR_ALL, "*", list, 2, 0);
    EXPECT_EQ(list.Text("|"), "Data|Tools|Ghost|");
    list.Clear();
    // An entry the client cannot parse is left out rather than shown as its parent.
    U_NWListDirEntries(client.get(), "\\\\FS1\\SYS\\APPS", SA_SUBDIR_ALL, "*", list, 0, 0);
    EXPECT_EQ(list.Text("|"), "SYS:APPS\\DATA|SYS:APPS\\TOOLS|");
    list.Clear();
    // A volume root: no doubled separator.
    U_NWListDirEntries(client.get(), "FS1/SYS:", SA_SUBDIR_ALL, "*", list, 1, 0);
    EXPECT_EQ(list.Text("|"), "\\\\FS1\\SYS\\APPS|");
    list.Clear();
    EXPECT_EQ(U_NWListDirEntries(client.get(), "/tmp", SA_SUBDIR_ALL, "*", list, 1, 0),
              ERR_INVALID_PATH);
    EXPECT_TRUE(list.Empty());
}

TEST(NetAddress, EveryAddressType) {
    const std::string ipx("\x01\x02\x03\x04\xAA\xBB\xCC\xDD\xEE\xFF\x04\x51", 12);
    EXPECT_EQ(U_NetAddressText(0, ipx, false), "01020304:AABBCCDDEEFF");
    EXPECT_EQ(U_NetAddressText(0, ipx, true), "(0) 01020304:AABBCCDDEEFF");
    const std::string ip("\x0A\x00\x00\x01\x01\xBB", 6);
    for (uint32_t type : {1u, 7u, 10u, 11u})
        EXPECT_EQ(U_NetAddressText(type, ip, false), "10.0.0.1:443");
    const std::string portFirst("\x02\x0C\xC0\xA8\x01\x02", 6);
    EXPECT_EQ(U_NetAddressText(8, portFirst, false), "192.168.1.2:524");
    EXPECT_EQ(U_NetAddressText(9, portFirst, true), "(9) 192.168.1.2:524");
    EXPECT_EQ(U_NetAddressText(13, std::string("h\0i\0\0\0x\0", 8), false), "hi");
    EXPECT_EQ(U_NetAddressText(13, std::string("\xE4\x00\x3D\xD8\x00\xDE", 6), false),
              "\xC3\xA4\xF0\x9F\x98\x80");
    EXPECT_EQ(U_NetAddressText(5, ipx + "\x99", false), "(5) [01020304AABBCCDDEEFF0451]");
    // The type is shown once, also for types without a text of their own.
    EXPECT_EQ(U_NetAddressText(5, "\x01", true), "(5) [01]");
    EXPECT_EQ(U_NetAddressText(1, "", true), "");
    // Too short for its layout: what there is, as hex.
    EXPECT_EQ(U_NetAddressText(1, std::string("\x0A\x00", 2), true), "(1) [0A00]");
    EXPECT_EQ(U_NetAddressText(8, std::string("\x0A\x00", 2), false), "[0A00]");
    EXPECT_EQ(U_NetAddressText(0, "\x01\x02", false), "0102:");
}

TEST(WideText, BoundsAndSurrogates) {
    EXPECT_EQ(U_WideToStr(std::string("a\0b", 3), 0), "a"); // odd byte ignored
    EXPECT_EQ(U_WideToStr("ab", 5), "");
    EXPECT_EQ(U_WideToStr(std::string("\x00\xD8", 2), 0), "\xEF\xBF\xBD");
    EXPECT_EQ(U_WideToStr(std::string("x\0y\0", 4), 2), "y");
}
