#include "attrinfo/AttrInfo.h"
#include "directory/DSValues.h"
#include "util/Util.h"

#include <gtest/gtest.h>

#include "OctetBuilder.h"

using namespace trovalen;
using trovalen::testing::OctetBuilder;

namespace {
std::string Fmt(const std::string& octet, const std::string& attr, uint32_t number = 1) {
    return U_FormatOctetValue(octet, attr, number);
}
} // namespace

TEST(Octet, TextAttributesAndHexDumps) {
    EXPECT_EQ(Fmt("\x01\xAB", "Some Attribute"), "01AB");
    EXPECT_EQ(Fmt("", "Some Attribute"), "");
    for (const char* name :
         {"App:GUID", "app:guid", "App:Drive Mappings", "App:Parameters", "App:Path",
          "App:Version String", "App:Working Directory", "DirXML-EntitlementResult",
          "ZEN:INV Disk Info", "bhObjectGUID", "RBSTASKRIGHTS"})
        EXPECT_EQ(Fmt(std::string("C:\\APP\0rest", 11), name), "C:\\APP") << name;
    EXPECT_EQ(Fmt(std::string(3000, 'a'), "App:Path").size(), 2303u);
    // 8-bit text that is not UTF-8 is read as windows-1252.
    EXPECT_EQ(Fmt("M\xFC\x80", "App:Path"), "M\xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(Fmt(std::string("a\0b\0", 4), "snmpTrapDescription"), "a\r\nb\r\n");
}

TEST(Octet, BinderyProperty) {
    EXPECT_EQ(
        Fmt(OctetBuilder().Str(5, "IDENTIFICATION").Str(47, "Joe").Resize(60), "Bindery Property"),
        "IDENTIFICATION: Joe");
    // Without a string at 47, the bytes up to four before the end, trailing "0"s cut.
    EXPECT_EQ(Fmt(OctetBuilder().Str(5, "NET").Raw(48, "\x12\x30").Resize(60), "Bindery Property"),
              "NET: 00123");
    EXPECT_EQ(Fmt(OctetBuilder().Str(5, "X").Resize(20), "Bindery Property"), "X: ");
}

TEST(Octet, NumberedLayouts) {
    EXPECT_EQ(Fmt(OctetBuilder()
                      .D32(0, 0xA)
                      .D32(4, 0xB)
                      .Raw(8, std::string(14, '\x11'))
                      .D32(22, 0xC)
                      .WStr(26, "key"),
                  "Public Key"),
              "[A,B,1111111111111111111111111111,C] key");
    EXPECT_EQ(Fmt(OctetBuilder().WStr(12, "(cn=*)").Resize(30), "memberQuery").substr(0, 9),
              "(cn=*) - ");
    OctetBuilder inv = OctetBuilder().D32(0, 5).D32(4, 1).D32(8, 2).D32(12, 3).WStr(16, "DMA");
    EXPECT_EQ(Fmt(inv, "WM:INV DMA"), "[05,1,2,3] DMA");
    EXPECT_EQ(Fmt(inv, "WM:INV Interrupt"), "[05,1,2,3] DMA");
    EXPECT_EQ(Fmt(OctetBuilder(inv).D16(0, 0x378).D16(2, 0xFFFF), "WM:INV Port"),
              "[0378,1,2,3] DMA");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 486).WStr(8, "CPU"), "WM:INV CPU Information"),
              "[486] CPU");
    EXPECT_EQ(
        Fmt(OctetBuilder().D32(0, 1).D32(4, 2).D32(8, 3).D32(12, 4).D32(16, 0xFF).WStr(20, "V"),
            "WM:INV Volume"),
        "[1,2,3,4,FF] V");
    EXPECT_EQ(Fmt(OctetBuilder().Raw(0, std::string(13, '\x01')).Str(13, "PO"), "NGW: Location"),
              "[01010101010101010101010101] PO");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 1).D32(4, 0x1F).D32(8, 3).Str(12, "F"), "App:Folder List"),
              "(1/1F/3) F");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 1).D32(4, 2).D32(8, 3).Byte(12, 4).Str(13, "SYS:"),
                  "App:FS Rights Path"),
              "(1/2/3/4) SYS:");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 7).Str(4, "a").Str(92, "b"), "bhConfig"), "[7] a b ");
    EXPECT_EQ(Fmt(OctetBuilder().Str(15, "JOE"), "FW0 USER ADD"), "JOE");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 1).D32(4, 0x22).D32(8, 0x12345).WStr(12, "FS1"),
                  "Transitive Vector"),
              "(0001/0022/12345) FS1");
}

TEST(Octet, ShortValuesShowTheirBytes) {
    EXPECT_EQ(Fmt(std::string("\x05\x00\x00", 3), "WM:INV DMA"), "050000");
    EXPECT_EQ(Fmt("\x01", "Public Key"), "01");
    EXPECT_EQ(Fmt("", "Local Received Up To"), "");
    EXPECT_EQ(Fmt(std::string(10, '\x01'), "Partition Status"), "01010101010101010101");
    EXPECT_EQ(Fmt(std::string("\x02\x00", 2), "Printer Configuration"), "0200");
    // Serial needs every number up to the parity.
    EXPECT_EQ(Fmt(OctetBuilder().D16(0, 2).Resize(60), "Printer Configuration").size(), 120u);
    // A string that runs to the end of the value stops there.
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 1).Raw(4, "abc"), "WM:INV CPU Information"), "[1] ");
    EXPECT_EQ(Fmt(OctetBuilder().D32(0, 1).Raw(8, "a"), "WM:INV CPU Information"), "[1] ");
    EXPECT_EQ(
        Fmt(OctetBuilder().D32(0, 1).Raw(8, std::string("a\0b", 3)), "WM:INV CPU Information"),
        "[1] a");
}

TEST(Octet, PartitionStatus) {
    OctetBuilder first = OctetBuilder().D32(4, 2).D32(8, 0).D32(12, 3).D32(16, 0).WStr(28, "P1");
    std::string sync = U_UnixTimeText(0, false);
    EXPECT_EQ(Fmt(first, "Partition Status", 1),
              "P1 / Replica 3 / Last Sync:  " + sync + "/ (in sync) ");
    EXPECT_EQ(Fmt(OctetBuilder(first).D32(16, 0x2A).D32(4, 0), "Partition Status", 1),
              "P1 / Replica 3 / Last Sync:  " + sync + "/ (local error) / Error   2A");
    OctetBuilder later = OctetBuilder().D32(4, 9).D32(12, 1).D32(16, 0x2A).WStr(24, "P2");
    EXPECT_EQ(Fmt(later, "Partition Status", 2),
              "P2 / Replica 1 / Last Sync:  " + sync + "/ (9 - unknown) ");
    EXPECT_EQ(U_ReplicaStateText(1), "(remote error)");
}

TEST(Octet, PrinterConfiguration) {
    auto common = [](uint16_t type) {
        return OctetBuilder()
            .D16(0, type)
            .D16(2, 1)
            .D16(4, 8)
            .D16(6, 2)
            .D16(8, 15)
            .D16(10, 1)
            .Str(16, "HPLJ")
            .Resize(320);
    };
    std::string tail = " / Postscript / Service Interval: 15 / Buffer Size: 8kB / Starting "
                       "Form: 1 / Form Change: never / Driver Name: HPLJ\r\n";
    EXPECT_EQ(Fmt(common(1).D16(48, 1).D16(50, 1).D16(52, 1).D16(54, 7), "Printer Configuration"),
              "Parallel (LPT2:) / IRQ 7 / Auto load" + tail);
    EXPECT_EQ(Fmt(common(1), "Printer Configuration"),
              "Parallel (LPT1:) / Polling / Manual load" + tail);
    EXPECT_EQ(Fmt(common(2).D16(56, 1).D16(58, 5).D16(60, 8).D16(62, 1).D16(64, 2),
                  "Printer Configuration"),
              "Serial (COM1:) / Polling / Manual load / Xon/Xoff  / 9600 bd / 8 Data bits / 1.5 "
              "Stop bits / odd parity" +
                  tail);
    EXPECT_NE(Fmt(common(2).D16(58, 60000).D16(62, 7), "Printer Configuration")
                  .find(" / n/a bd / 0 Data bits / n/a Stop bits / no parity"),
              std::string::npos);
    EXPECT_EQ(
        Fmt(common(4).Str(48, "zone").Str(82, "type").Str(116, "name"), "Printer Configuration"),
        "Apple zone name (type)" + tail);
    EXPECT_EQ(Fmt(common(5).Str(48, "host").Str(304, "queue"), "Printer Configuration"),
              "Unix host/queue" + tail);
    EXPECT_EQ(Fmt(common(9), "Printer Configuration"), "n/a" + tail);
    EXPECT_NE(Fmt(common(0).D16(6, 4), "Printer Configuration").find("Other / Postscript"),
              std::string::npos);
    EXPECT_NE(Fmt(common(0).D16(6, 4), "Printer Configuration").find("Form Change: n/a"),
              std::string::npos);
}

TEST(Octet, EachLayoutDecodesFromItsMinimumSizeAndDumpsBelowIt) {
    // (attribute, value number, the fewest bytes its layout decodes). One byte fewer shows the
    // bytes as a hex dump; a minimum off by one either way fails here.
    const struct {
        const char* Attr;
        uint32_t Number;
        size_t MinSize;
    } layouts[] = {
        {"CA Public Key", 1, 26},
        {"Public Key", 1, 26},
        {"WM:INV DMA", 1, 16},
        {"WM:INV Interrupt", 1, 16},
        {"WM:INV Port", 1, 16},
        {"WM:INV CPU Information", 1, 4},
        {"WM:INV Shared Memory", 1, 20},
        {"WM:INV Volume", 1, 20},
        {"NGW: Location", 1, 13},
        {"App:Folder List", 1, 12},
        {"App:FS Rights Path", 1, 13},
        {"bhConfig", 1, 4},
        {"FW0 USER ADD", 1, 15},
        {"Local Received Up To", 1, 12},
        {"Transitive Vector", 1, 12},
        {"Partition Status", 1, 20}, // the first value carries an error number at 16
        {"Partition Status", 2, 16},
        {"Printer Configuration", 1, 12}, // an unknown port type needs the common head only
    };
    for (const auto& l : layouts) {
        // Non-zero bytes (no NUL to end a string early, a port type no layout knows) so that
        // no decoded text can look like the dump.
        std::string atMinimum(l.MinSize, '\x09');
        std::string below(l.MinSize - 1, '\x09');
        EXPECT_NE(Fmt(atMinimum, l.Attr, l.Number), U_HexOf(atMinimum))
            << l.Attr << " at " << l.MinSize << " bytes";
        EXPECT_EQ(Fmt(below, l.Attr, l.Number), U_HexOf(below))
            << l.Attr << " at " << l.MinSize - 1 << " bytes";
    }
}
