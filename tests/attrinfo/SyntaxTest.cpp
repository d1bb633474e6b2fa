#include "attrinfo/AttrInfo.h"
#include "directory/DSValues.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "FakeClient.h"

using namespace trovalen;
using trovalen::testing::FakeClient;

namespace {

std::vector<std::string> Lines(uint32_t syntax, TAttrValueData data, const std::string& attr = "A",
                               uint32_t size = 0) {
    TStringList lines;
    TAttrValue value{syntax, std::move(data)};
    EXPECT_EQ(U_FormatAttrValue(nullptr, 0, "obj", attr, lines, value, size, 1), 0);
    return lines.Strings();
}

std::string Line(uint32_t syntax, TAttrValueData data, const std::string& attr = "A",
                 uint32_t size = 0) {
    auto lines = Lines(syntax, std::move(data), attr, size);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::string() : lines[0];
}

using V = std::vector<std::string>;

} // namespace

TEST(Syntax, TextsAndNumbers) {
    for (uint32_t syntax : {1u, 2u, 3u, 4u, 5u, 10u, 20u})
        EXPECT_EQ(Line(syntax, TValString{"Joe Miller"}), "Joe Miller");
    EXPECT_EQ(Lines(6, TValCIList{{"b", "a", ""}}), (V{"b", "a", ""}));
    EXPECT_EQ(Line(7, TValBoolean{1}), "TRUE");
    EXPECT_EQ(Line(7, TValBoolean{0x80}), "TRUE");
    EXPECT_EQ(Line(7, TValBoolean{0}), "FALSE");
    EXPECT_EQ(Line(8, TValInteger{-5}), "-5");
    EXPECT_EQ(Line(22, TValInteger{2147483647}), "2147483647");
    EXPECT_EQ(Line(11, TValFax{"+49 1"}), "+49 1");
    EXPECT_EQ(Line(14, TValEMail{1, "joe@acme"}), "joe@acme");
    EXPECT_EQ(Line(23, TValBackLink{7, ".FS1.ACME"}), ".FS1.ACME");
    EXPECT_EQ(Line(27, TValInterval{3600}), "1 h");
    EXPECT_EQ(Line(27, TValInterval{0}), "0 sec");
}

TEST(Syntax, StructuredValues) {
    EXPECT_EQ(Line(15, TValPath{4, "SYS", "APPS\\DATA"}), "(4) SYS:APPS\\DATA");
    EXPECT_EQ(Line(16, TValReplicaPointer{"S", 0, 2}), "S [Master] [Nr: 2]");
    EXPECT_EQ(Line(16, TValReplicaPointer{"S", 9, 1}), "S [Unknown (Type: 9)] [Nr: 1]");
    EXPECT_EQ(Line(17, TValObjectACL{"[Entry Rights]", "[Public]", 0x01}),
              "[B    I] [Public] / [Entry Rights]");
    EXPECT_EQ(Lines(18, TValPostalAddress{{"a", "", "c", "", "", "f"}}),
              (V{"a", "", "c", "", "", "f"}));
    EXPECT_EQ(Line(25, TValTypedName{"CN=Q", 1, 60}), "CN=Q#1#60");
    EXPECT_EQ(Line(26, TValHold{".Joe.ACME", 42}), ".Joe.ACME (42)");
    EXPECT_EQ(Line(12, TValNetAddress{9, std::string("\x02\x0C\x0A\x00\x00\x01", 6)}),
              "(9) 10.0.0.1:524");
    EXPECT_EQ(Lines(13, TValOctetList{{"\x01\xAB", "", "x"}}), (V{"01AB", "", "78"}));
    EXPECT_EQ(Lines(13, TValOctetList{{"abc", std::string("d\0e", 3)}}, "app:guid"),
              (V{"abc", "d"}));
}

TEST(Syntax, TimesFollowTheLocalZone) {
    setenv("TZ", "XST+2", 1);
    tzset();
    EXPECT_EQ(Line(19, TValTimestamp{7200, 1, 2}), U_UnixTimeText(0, false));
    EXPECT_EQ(Line(24, TValTime{7200}), U_UnixTimeText(0, false));
    unsetenv("TZ");
    tzset();
}

TEST(Syntax, UnknownAndUnnamedSyntaxes) {
    EXPECT_EQ(Line(0, TValUnknown{"Odd Attr", 33, std::string("\x00\xFF\x10", 3)}),
              "Odd Attr [33] 00FF10");
    EXPECT_EQ(Line(0, TValUnknown{"Empty", 0, ""}), "Empty [0] ");
    EXPECT_EQ(Line(40, TValRaw{"\x01\x02\x03"}, "A", 3), "[28] 010203");
    // The size the client reports never takes the dump past the bytes that are there.
    EXPECT_EQ(Line(40, TValRaw{"\x01\x02\x03"}, "A", 1000), "[28] 010203");
    EXPECT_EQ(Line(0x1F, TValRaw{"\x01\x02\x03"}, "A", 2), "[1F] 0102");
}

TEST(Syntax, StreamValues) {
    auto client = std::make_shared<FakeClient>();
    client->Streams["Login Script"] = std::string("MAP F:=SYS:\r\nWRITE\0junk", 23);
    TStringList lines;
    TAttrValue stream{SYN_STREAM, TValStream{}};
    EXPECT_EQ(U_FormatAttrValue(client.get(), 0, "joe", "Login Script", lines, stream, 0, 1), 0);
    EXPECT_EQ(lines.Strings(), V{"MAP F:=SYS:\r\nWRITE"});
    // A stream that cannot be read adds nothing and hands back the failure.
    EXPECT_EQ(
        U_FormatAttrValue(client.get(), 0, "joe", "Print Job Configuration", lines, stream, 0, 1),
        ERR_NO_SUCH_ATTRIBUTE);
    client->StreamReadCode = ERR_BAD_VERB;
    EXPECT_EQ(U_FormatAttrValue(client.get(), 0, "joe", "Login Script", lines, stream, 0, 1),
              ERR_STREAM_READ);
    EXPECT_EQ(lines.Count(), 1);
    EXPECT_EQ(client->OpenStreams, 0);
}
