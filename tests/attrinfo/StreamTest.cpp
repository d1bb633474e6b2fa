#include "attrinfo/AttrInfo.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "FakeClient.h"
#include "OctetBuilder.h"

using namespace trovalen;
using trovalen::testing::FakeClient;
using trovalen::testing::OctetBuilder;

namespace {
OctetBuilder AOT() {
    return OctetBuilder()
        .Raw(0, "AOT FILE")
        .D32(8, 1)
        .D32(12, 2)
        .D32(16, 0xAB)
        .D16(20, 3)
        .D16(22, 4);
}
} // namespace

TEST(AOT, ShortStreamsStayPlainText) {
    EXPECT_EQ(U_AOTStreamText(AOT().Resize(20), "App:Inventory"), "AOT FILE\x01");
    EXPECT_EQ(U_AOTStreamText(AOT().Resize(24), "App:Macros"), "AOT FILE\x01");
    EXPECT_EQ(U_AOTStreamText("AOT FILE", "App:Macros"), "AOT FILE");
}

TEST(AOT, GenericRecords) {
    std::string data =
        AOT().D32(24, 0x1234).Str(28, "Name").D32(33, 3).Raw(37, "abc").D32(40, 9).Resize(44);
    EXPECT_EQ(U_AOTStreamText(data, "App:Inventory"),
              "AOT FILE (44 bytes) (1/2/AB 3/4) 1234 Name\r\nabc\r\n");
    EXPECT_EQ(U_AOTStreamText(data, "App:Program Groups"), U_AOTStreamText(data, "App:Inventory"));
    // A string longer than a record may hold is an error of that value.
    std::string longer = AOT().Str(24, std::string(1100, 'x'));
    EXPECT_THROW(U_AOTStreamText(longer, "App:Inventory"), std::runtime_error);
    std::string fits = AOT().Str(24, std::string(1023, 'x'));
    EXPECT_EQ(U_AOTStreamText(fits, "App:Inventory").size(),
              std::string("AOT FILE (1048 bytes) (1/2/AB 3/4) ").size() + 1023 + 2);
}

TEST(AOT, CopyFilesRecordsStandOnTheirOwnLines) {
    OctetBuilder b = AOT()
                         .D32(24, 1)
                         .D32(28, 2)
                         .D32(32, 3)
                         .D32(36, 4)
                         .D32(40, 8)
                         .Raw(44, "FILE.TXT")
                         .D32(52, 5)
                         .D32(56, 6)
                         .D32(60, 7)
                         .D32(64, 0x1FFFF)
                         .D32(68, 3)
                         .Raw(72, "A.B");
    std::string records = "(0001/0002/0003/0004) / FILE.TXT\r\n(0005/0006/0007/1FFFF) / A.B\r\n";
    EXPECT_EQ(U_AOTStreamText(b, "App:Copy Files"), "AOT FILE (75 bytes) (1/2/AB 3/4) " + records);
    // A counted string beyond the limit ends the list; one starting with NUL too.
    OctetBuilder tooLong = OctetBuilder(b).D32(91, 5000).Raw(95, "x");
    EXPECT_EQ(U_AOTStreamText(tooLong, "App:Copy Files"),
              "AOT FILE (96 bytes) (1/2/AB 3/4) " + records);
    OctetBuilder nul = OctetBuilder(b).D32(91, 2).Resize(97);
    EXPECT_EQ(U_AOTStreamText(nul, "App:Copy Files"),
              "AOT FILE (97 bytes) (1/2/AB 3/4) " + records);
    // A length running past the end shows what is there and ends the walk.
    OctetBuilder cut = OctetBuilder(b).D32(91, 100).Raw(95, "END");
    EXPECT_EQ(U_AOTStreamText(cut, "App:Copy Files"),
              "AOT FILE (98 bytes) (1/2/AB 3/4) " + records + "(0000/0000/0000/0000) / END\r\n");
    EXPECT_THROW(U_AOTStreamText(OctetBuilder(b).D32(91, 1024).Raw(95, std::string(1024, 'y')),
                                 "App:Copy Files"),
                 std::runtime_error);
}

TEST(AOT, MacroStringsAreJoined) {
    std::string data =
        AOT().D32(24, 1).D32(28, 2).Str(32, "MAP F:").Str(39, "WRITE").Raw(45, "ZZZZ");
    EXPECT_EQ(U_AOTStreamText(data, "App:Macros"), "AOT FILE (49 bytes) MAP F: | WRITE | ZZZ");
}

TEST(AOT, OtherAttributesGetACharacterDump) {
    std::string data = AOT().Raw(24, "AB\x01\x02"
                                     "CD\x13");
    EXPECT_EQ(U_AOTStreamText(data, "App:Something"),
              "AOT FILE (31 bytes) (1/2/AB 3/4) AB\r\nCD\r\n");
    EXPECT_EQ(U_AOTStreamText(AOT().Raw(24, "\x01X"), "app:macros"),
              "AOT FILE (26 bytes) (1/2/AB 3/4) \r\nX");
}

TEST(AOT, StreamsThroughTheClient) {
    auto client = std::make_shared<FakeClient>();
    client->Streams["App:Copy Files"] = AOT().D32(40, 1).Raw(44, "F");
    client->Streams["Login Script"] = std::string("AOT FILES\0x", 11);
    std::string text;
    EXPECT_EQ(U_StreamValueText(client.get(), 0, "app", "App:Copy Files", text), 0);
    EXPECT_EQ(text, "AOT FILE (45 bytes) (1/2/AB 3/4) (0000/0000/0000/0000) / F\r\n");
    EXPECT_EQ(U_StreamValueText(client.get(), 0, "app", "Login Script", text), 0);
    EXPECT_EQ(text, "AOT FILES");
    client->Streams["App:Inventory"] = AOT().Str(24, std::string(1100, 'x'));
    EXPECT_EQ(U_StreamValueText(client.get(), 0, "app", "App:Inventory", text), 0);
    EXPECT_EQ(text.rfind("AOT record string at byte 24 is 1100 characters long", 0), 0u);
    text = "keep";
    EXPECT_EQ(U_StreamValueText(client.get(), 0, "app", "Nothing", text), ERR_NO_SUCH_ATTRIBUTE);
    EXPECT_EQ(text, "keep");
}
