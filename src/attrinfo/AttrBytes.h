// Bounds-checked reading of the little-endian records inside octet and stream values. Nothing
// here reads outside the bytes it was given: numbers and bytes beyond the end read as 0 (as in
// the zero-filled buffer the client writes into), strings stop at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trovalen::attrbytes {

class TBytes {
public:
    explicit TBytes(std::string_view data) : FData(data) {}

    size_t Size() const { return FData.size(); }
    bool Has(size_t offset, size_t count) const {
        return offset <= FData.size() && count <= FData.size() - offset;
    }
    uint8_t Byte(size_t offset) const {
        return offset < FData.size() ? static_cast<uint8_t>(FData[offset]) : 0;
    }
    uint16_t D16(size_t offset) const {
        return static_cast<uint16_t>(Byte(offset) | (Byte(offset + 1) << 8));
    }
    uint32_t D32(size_t offset) const {
        return static_cast<uint32_t>(Byte(offset)) |
               (static_cast<uint32_t>(Byte(offset + 1)) << 8) |
               (static_cast<uint32_t>(Byte(offset + 2)) << 16) |
               (static_cast<uint32_t>(Byte(offset + 3)) << 24);
    }
    // Length of the NUL-terminated string at offset, limited by the end of the data.
    size_t StrLen(size_t offset) const {
        size_t n = 0;
        while (offset + n < FData.size() && FData[offset + n] != '\0')
            ++n;
        return n;
    }
    // The 8-bit string at offset (up to its NUL or the end of the data).
    std::string Str(size_t offset) const {
        if (offset >= FData.size())
            return std::string();
        return std::string(FData.substr(offset, StrLen(offset)));
    }
    // count bytes from offset, cut at the end of the data.
    std::string_view Slice(size_t offset, size_t count) const {
        if (offset >= FData.size())
            return std::string_view();
        return FData.substr(offset, count);
    }
    std::string_view Data() const { return FData; }

private:
    std::string_view FData;
};

// 8-bit text as UTF-8: valid UTF-8 stays as it is; anything else is read as windows-1252.
std::string Text8(std::string_view s);

} // namespace trovalen::attrbytes
