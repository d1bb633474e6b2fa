// The decoded forms of the well-known octet-string attributes. Each decoder checks that the
// value holds every number of its layout; a value too short for that is shown as its hex dump.
// Strings at the end of a layout are read as far as the value goes.
#include <cmath>
#include <functional>
#include <vector>

#include "attrinfo/AttrBytes.h"
#include "attrinfo/AttrInfo.h"
#include "directory/DSNames.h"
#include "directory/DSValues.h"
#include "util/Util.h"

namespace trovalen {

namespace attrbytes {

namespace {

// windows-1252 in the range 0x80 to 0x9F; 0 where the code page has no character.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

std::string Text8(std::string_view s) {
    if (U_IsValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size() * 2);
    for (char ch : s) {
        auto c = static_cast<uint8_t>(ch);
        uint32_t cp = c;
        if (c >= 0x80 && c < 0xA0)
            cp = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace attrbytes

using attrbytes::TBytes;
using attrbytes::Text8;

namespace {

std::string Str(const TBytes& b, size_t offset) {
    return Text8(b.Str(offset));
}

std::string WStr(const TBytes& b, size_t offset) {
    return U_WideToStr(b.Data(), offset);
}

std::string PartitionStatus(const TBytes& b, uint32_t valueNumber) {
    bool first = valueNumber <= 1;
    // The first value carries an error number at 16 and its name at 28; later values have no
    // error number and their name at 24.
    if (!b.Has(0, first ? 20 : 16))
        return U_HexOf(b.Data());
    std::string text = WStr(b, first ? 28 : 24) + " ";
    text += U_Format("/ Replica %u ", b.D32(12));
    text += "/ Last Sync:  " + U_UnixTimeText(b.D32(8), false);
    text += "/ " + U_ReplicaStateText(b.D32(4)) + " ";
    if (first && b.D32(16) != 0)
        text += U_Format("/ Error %4X", b.D32(16));
    return text;
}

std::string PrinterConfiguration(const TBytes& b) {
    if (!b.Has(0, 12))
        return U_HexOf(b.Data());
    uint16_t portType = b.D16(0);
    std::string text =
        U_PickStr(portType, {"Other", "Parallel", "Serial", "XNP", "Apple", "Unix", "AIO"});
    auto interrupt = [&] {
        return b.D16(52) == 0 ? std::string("Polling") : U_Format("IRQ %u", b.D16(54));
    };
    auto load = [&] { return std::string(b.D16(50) == 0 ? "Manual" : "Auto"); };
    switch (portType) {
    case 1:
        if (!b.Has(0, 56))
            return U_HexOf(b.Data());
        text +=
            U_Format(" (LPT%u:)", b.D16(48) + 1u) + " / " + interrupt() + " / " + load() + " load";
        break;
    case 2: {
        if (!b.Has(0, 66))
            return U_HexOf(b.Data());
        text = U_Format("Serial (COM%u:)", b.D16(48) + 1u) + " / " + interrupt() + " / " + load() +
               " load";
        if (b.D16(56) != 0)
            text += " / Xon/Xoff ";
        // 300 baud doubled for each step; beyond any real line speed the number means nothing.
        uint16_t step = b.D16(58);
        text += step <= 40 ? U_Format(" / %.0f bd", std::ldexp(300.0, step)) : " / n/a bd";
        text += U_Format(" / %u Data bits", b.D16(60));
        text += " / " + U_PickStr(b.D16(62), {"1", "1.5", "2"}) + " Stop bits";
        text += " / " + U_PickStr(b.D16(64), {"no", "even", "odd"}) + " parity";
        break;
    }
    case 4:
        text += " " + Str(b, 48) + " " + Str(b, 116) + " (" + Str(b, 82) + ")";
        break;
    case 5:
        text += " " + Str(b, 48) + "/" + Str(b, 304);
        break;
    default:
        break;
    }
    text += std::string(" / ") + (b.D16(10) == 0 ? "Text" : "Postscript");
    text += U_Format(" / Service Interval: %u", b.D16(8));
    text += U_Format(" / Buffer Size: %ukB", b.D16(4));
    text += U_Format(" / Starting Form: %u", b.D16(2));
    text += " / Form Change: " +
            U_PickStr(b.D16(6), {"as needed", "minimize within Qs", "never", "minimize across Qs"});
    text += " / Driver Name: " + Str(b, 16) + "\r\n";
    return text;
}

struct TOctetDecoder {
    std::vector<const char*> Names;
    size_t MinSize; // bytes every number of the layout needs
    std::function<std::string(const TBytes&, uint32_t)> Decode;
};

const std::vector<TOctetDecoder>& Decoders() {
    static const std::vector<TOctetDecoder> decoders = {
        {{"App:GUID", "App:Drive Mappings", "App:Parameters", "App:Path", "App:Version String",
          "App:Working Directory", "DirXML-EntitlementResult", "ZEN:INV Disk Info", "bhObjectGUID",
          "rbsTaskRights"},
         0,
         [](const TBytes& b, uint32_t) {
             return Text8(U_BufToStr(b.Data(), 0, static_cast<uint32_t>(b.Size())));
         }},
        {{"Bindery Property"},
         0,
         [](const TBytes& b, uint32_t) {
             std::string value = Str(b, 47);
             if (value.empty() && b.Size() > 51)
                 value = U_TrimRightChars(U_HexOf(b.Slice(47, b.Size() - 51)), "0");
             return Str(b, 5) + ": " + value;
         }},
        {{"snmpTrapDescription"},
         0,
         [](const TBytes& b, uint32_t) {
             return Text8(U_MultiStrBufToLines(b.Data(), 0, static_cast<uint32_t>(b.Size())));
         }},
        {{"CA Public Key", "Public Key"},
         26,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%X,%X,%s,%X] %s", b.D32(0), b.D32(4),
                             U_HexOf(b.Slice(8, 14)).c_str(), b.D32(22), WStr(b, 26).c_str());
         }},
        {{"memberQuery"},
         0,
         [](const TBytes& b, uint32_t) { return WStr(b, 12) + " - " + U_HexOf(b.Data()); }},
        {{"WM:INV DMA", "WM:INV Interrupt"},
         16,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%.02X,%u,%u,%u] %s", b.D32(0), b.D32(4), b.D32(8), b.D32(12),
                             WStr(b, 16).c_str());
         }},
        {{"WM:INV Port"},
         16,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%.04X,%u,%u,%u] %s", b.D16(0), b.D32(4), b.D32(8), b.D32(12),
                             WStr(b, 16).c_str());
         }},
        {{"WM:INV CPU Information"},
         4,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%u] %s", b.D32(0), WStr(b, 8).c_str());
         }},
        {{"WM:INV Shared Memory", "WM:INV Volume"},
         20,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%X,%X,%X,%X,%X] %s", b.D32(0), b.D32(4), b.D32(8), b.D32(12),
                             b.D32(16), WStr(b, 20).c_str());
         }},
        {{"NGW: Location"},
         13,
         [](const TBytes& b, uint32_t) {
             return "[" + U_HexOf(b.Slice(0, 13)) + "] " + Str(b, 13);
         }},
        {{"App:Folder List"},
         12,
         [](const TBytes& b, uint32_t) {
             return U_Format("(%X/%X/%X) %s", b.D32(0), b.D32(4), b.D32(8), Str(b, 12).c_str());
         }},
        {{"App:FS Rights Path"},
         13,
         [](const TBytes& b, uint32_t) {
             return U_Format("(%u/%u/%u/%u) %s", b.D32(0), b.D32(4), b.D32(8), b.Byte(12),
                             Str(b, 13).c_str());
         }},
        {{"bhConfig"},
         4,
         [](const TBytes& b, uint32_t) {
             return U_Format("[%u] ", b.D32(0)) + Str(b, 4) + " " + Str(b, 92) + " ";
         }},
        {{"FW0 USER ADD"}, 15, [](const TBytes& b, uint32_t) { return Str(b, 15); }},
        {{"Partition Status"}, 0, PartitionStatus},
        {{"Local Received Up To", "Transitive Vector"},
         12,
         [](const TBytes& b, uint32_t) {
             return U_Format("(%04X/%04X/%04X) %s", b.D32(0), b.D32(4), b.D32(8),
                             WStr(b, 12).c_str());
         }},
        {{"Printer Configuration"},
         0,
         [](const TBytes& b, uint32_t) { return PrinterConfiguration(b); }},
    };
    return decoders;
}

} // namespace

std::string U_ReplicaStateText(uint32_t state) {
    switch (state) {
    case 0:
        return "(local error)";
    case 1:
        return "(remote error)";
    case 2:
        return "(in sync)";
    default:
        return U_Format("(%u - unknown)", state);
    }
}

std::vector<std::string> U_DecodedOctetAttributes() {
    std::vector<std::string> names;
    for (const TOctetDecoder& decoder : Decoders())
        names.insert(names.end(), decoder.Names.begin(), decoder.Names.end());
    return names;
}

std::string U_FormatOctetValue(const std::string& octet, const std::string& attr,
                               uint32_t valueNumber) {
    TBytes bytes(octet);
    for (const TOctetDecoder& decoder : Decoders())
        for (const char* name : decoder.Names)
            if (U_SameText(attr, name)) {
                if (!bytes.Has(0, decoder.MinSize))
                    return U_HexOf(octet);
                return decoder.Decode(bytes, valueNumber);
            }
    return U_HexOf(octet);
}

} // namespace trovalen
