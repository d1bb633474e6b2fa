#include "attrinfo/AttrInfo.h"

#include <stdexcept>

#include "attrinfo/AttrBytes.h"
#include "directory/DSNames.h"
#include "directory/DSValues.h"
#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen {

using attrbytes::TBytes;
using attrbytes::Text8;

namespace {

constexpr size_t kAOTBody = 24;            // the records of an AOT stream start here
constexpr size_t kAOTMaxString = 1023;     // longest string a record may hold
constexpr size_t kAOTMaxCopyString = 1024; // a longer counted string ends the copy-files list
constexpr size_t kMacroScan = 1024;
constexpr size_t kCharDumpMax = MAX_MESSAGE_LEN - kAOTBody;

[[noreturn]] void StringTooLong(size_t offset, size_t length) {
    throw std::runtime_error(U_Format("AOT record string at byte %zu is %zu characters long "
                                      "(at most %zu)",
                                      offset, length, kAOTMaxString));
}

// Every d32 that is 256 or more with exactly three zero bytes is padding before its one
// non-zero byte.
size_t SkipPadding(const TBytes& b, size_t cursor) {
    uint32_t d = b.D32(cursor);
    if (d < 256)
        return cursor;
    int zeros = 0;
    size_t nonZero = 0;
    for (size_t k = 0; k < 4; ++k) {
        if (b.Byte(cursor + k) == 0)
            ++zeros;
        else
            nonZero = k;
    }
    return zeros == 3 ? cursor + nonZero : cursor;
}

size_t SkipSmallNumbers(const TBytes& b, size_t cursor, int count) {
    while (count > 0 && b.D32(cursor) < 256) {
        cursor += 4;
        --count;
    }
    return cursor;
}

// The counted string at cursor: a d32 length and that many bytes (cut at the end of the data),
// shown up to its first NUL.
std::string CountedString(const TBytes& b, size_t cursor) {
    std::string_view s = b.Slice(cursor + 4, b.D32(cursor));
    return std::string(s.substr(0, s.find('\0')));
}

std::string GenericRecords(const TBytes& b) {
    std::string text;
    std::string line;
    size_t cursor = kAOTBody;
    const size_t end = b.Size();
    auto endLine = [&] {
        text += line + "\r\n";
        line.clear();
    };
    while (cursor < end) {
        uint32_t d = b.D32(cursor);
        if (d < 255 && b.StrLen(cursor + 4) >= 2) {
            line += CountedString(b, cursor);
            cursor = SkipPadding(b, cursor + 4 + d);
            endLine();
        } else if (size_t n = b.StrLen(cursor);
                   n >= 2 && b.Byte(cursor) >= 32 && b.Byte(cursor + 1) >= 32) {
            if (n > kAOTMaxString)
                StringTooLong(cursor, n);
            line += b.Str(cursor);
            cursor = SkipPadding(b, cursor + n);
            endLine();
        } else if (b.StrLen(cursor + 2) >= 2 && b.Byte(cursor + 2) >= 32 &&
                   b.Byte(cursor + 3) >= 32) {
            cursor += 2;
        } else {
            // Numbers only reach the text together with a string that follows them.
            line += U_Format("%04X ", d);
            cursor += 4;
        }
    }
    return text;
}

// One line per record: its four numbers and its file name. Each record stands on its own line;
// a record's text never repeats the records before it.
std::string CopyFilesRecords(const TBytes& b) {
    std::string text;
    size_t cursor = kAOTBody;
    while (cursor < b.Size()) {
        uint32_t length = b.D32(cursor + 16);
        if (length > kAOTMaxCopyString || b.Byte(cursor + 20) == 0)
            break;
        if (length > kAOTMaxString)
            StringTooLong(cursor + 20, length);
        std::string numbers = U_Format("%04X/%04X/%04X/%04X", b.D32(cursor), b.D32(cursor + 4),
                                       b.D32(cursor + 8), b.D32(cursor + 12));
        text += "(" + numbers + ") / " + CountedString(b, cursor + 16) + "\r\n";
        cursor += 20 + length;
    }
    return text;
}

// NUL-separated strings of the macro body joined by " | "; small numbers are skipped.
std::string MacroRecords(const TBytes& b) {
    std::string text;
    size_t cursor = SkipSmallNumbers(b, kAOTBody, 4);
    const size_t limit = b.Size() - kAOTBody; // the caller guarantees Size() > kAOTBody
    size_t index = 1;
    while (index < kMacroScan && index <= limit) {
        size_t at = cursor + index - 1;
        if (b.D32(at) <= 255 && index < limit) {
            index += 4;
            continue;
        }
        uint8_t c = b.Byte(at);
        if (c != 0) {
            if (!text.empty() && b.Byte(at - 1) == 0)
                text += " | ";
            text.push_back(static_cast<char>(c));
        }
        ++index;
    }
    return text;
}

// Bytes of 20 and above as characters; each run of lower bytes becomes one line break.
std::string CharDump(const TBytes& b) {
    std::string text;
    size_t end = std::min(b.Size(), kAOTBody + kCharDumpMax);
    for (size_t i = kAOTBody; i < end; ++i) {
        uint8_t c = b.Byte(i);
        if (c >= 20)
            text.push_back(static_cast<char>(c));
        else if (i == kAOTBody || b.Byte(i - 1) >= 20)
            text += "\r\n";
    }
    return text;
}

std::string PlainText(std::string_view data) {
    return Text8(data.substr(0, data.find('\0')));
}

} // namespace

std::string U_AOTStreamText(const std::string& data, const std::string& attr) {
    TBytes b(data);
    size_t size = b.Size();
    std::string heading = U_Format("%s (%zu bytes)", "AOT FILE", size);
    std::string header;
    if (size > 23)
        header = U_Format("(%X/%X/%X %X/%X)", b.D32(8), b.D32(12), b.D32(16), b.D16(20), b.D16(22));
    if (size <= kAOTBody)
        return PlainText(data);
    if (attr == "App:Macros")
        return heading + " " + Text8(MacroRecords(b));
    std::string body;
    if (attr == "App:Copy Files")
        body = CopyFilesRecords(b);
    else if (attr == "App:Inventory" || attr == "App:Program Groups")
        body = GenericRecords(b);
    else
        body = CharDump(b);
    return heading + " " + header + " " + Text8(body);
}

NWCCODE U_StreamValueText(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, std::string& text) {
    uint32_t size = MAX_MESSAGE_LEN;
    std::string data;
    NWCCODE code = U_DSReadStream(client, ctx, object, attr, size, data);
    if (code != NW_OK)
        return code;
    if (data.size() >= 8 && data.compare(0, 8, "AOT FILE") == 0) {
        // A record that cannot be shown makes its message the value's text, whichever reader
        // asked for it.
        try {
            text = U_AOTStreamText(data, attr);
        } catch (const std::exception& e) {
            text = e.what();
        }
    } else {
        text = PlainText(data);
    }
    return NW_OK;
}

namespace {

// The lines of one value, chosen by the kind of record the client handed over.
struct TValueLines {
    TNWClient* Client;
    NWHandle Ctx;
    const std::string& Object;
    const std::string& Attr;
    TStringList& Lines;
    uint32_t Syntax;
    uint32_t ValueSize;
    uint32_t ValueNumber;
    NWCCODE Code = NW_OK;

    void Add(const std::string& s) { Lines.Add(s); }

    void operator()(const TValString& v) { Add(v.Text); }
    void operator()(const TValCIList& v) {
        for (const std::string& item : v.Items)
            Add(item);
    }
    void operator()(const TValBoolean& v) { Add(v.Value != 0 ? "TRUE" : "FALSE"); }
    void operator()(const TValInteger& v) { Add(U_Format("%d", v.Value)); }
    void operator()(const TValOctetString& v) {
        Add(U_FormatOctetValue(v.Data, Attr, ValueNumber));
    }
    void operator()(const TValFax& v) { Add(v.TelephoneNumber); }
    void operator()(const TValNetAddress& v) {
        Add(U_NetAddressText(v.AddressType, v.Address, true));
    }
    void operator()(const TValOctetList& v) {
        for (const std::string& item : v.Items)
            Add(U_FormatOctetValue(item, Attr, ValueNumber));
    }
    void operator()(const TValEMail& v) { Add(v.Address); }
    void operator()(const TValPath& v) {
        Add(U_Format("(%u) %s:%s", v.NameSpaceType, v.VolumeName.c_str(), v.Path.c_str()));
    }
    void operator()(const TValReplicaPointer& v) {
        Add(U_Format("%s [%s] [Nr: %u]", v.ServerName.c_str(),
                     U_ReplicaTypeText(v.ReplicaType).c_str(), v.ReplicaNumber));
    }
    void operator()(const TValObjectACL& v) {
        Add(U_FormatACL(v.Privileges, v.SubjectName, v.ProtectedAttrName));
    }
    void operator()(const TValPostalAddress& v) {
        for (const std::string& line : v.Lines)
            Add(line);
    }
    void operator()(const TValTimestamp& v) { Add(U_UnixTimeText(v.WholeSeconds, true)); }
    void operator()(const TValStream&) {
        std::string text;
        Code = U_StreamValueText(Client, Ctx, Object, Attr, text);
        if (Code == NW_OK)
            Add(text);
    }
    void operator()(const TValBackLink& v) { Add(v.ObjectName); }
    void operator()(const TValTime& v) { Add(U_UnixTimeText(v.Seconds, true)); }
    void operator()(const TValTypedName& v) {
        Add(U_Format("%s#%u#%u", v.ObjectName.c_str(), v.Level, v.Interval));
    }
    void operator()(const TValHold& v) { Add(U_Format("%s (%u)", v.ObjectName.c_str(), v.Amount)); }
    void operator()(const TValInterval& v) { Add(U_SecondsToText(v.Seconds)); }
    // The dump covers the value bytes the record carries.
    void operator()(const TValUnknown& v) {
        Add(U_Format("%s [%u] %s", v.AttrName.c_str(), v.Syntax, U_HexOf(v.Value).c_str()));
    }
    // The bytes as they stand, over the size the client gave, never beyond what is there.
    void operator()(const TValRaw& v) {
        std::string_view bytes(v.Bytes);
        Add(U_Format("[%X] %s", Syntax, U_HexOf(bytes.substr(0, ValueSize)).c_str()));
    }
};

} // namespace

NWCCODE U_FormatAttrValue(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, TStringList& lines, const TAttrValue& value,
                          uint32_t valueSize, uint32_t valueNumber) {
    TValueLines visitor{client, ctx, object, attr, lines, value.Syntax, valueSize, valueNumber};
    std::visit(visitor, value.Data);
    return visitor.Code;
}

} // namespace trovalen
