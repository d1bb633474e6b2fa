// Builds little-endian octet and stream records for the decoder tests.
#pragma once

#include <cstdint>
#include <string>

namespace trovalen::testing {

class OctetBuilder {
public:
    explicit OctetBuilder(size_t size = 0) : data(size, '\0') {}
    OctetBuilder& D32(size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            Put(at + k, static_cast<char>((v >> (8 * k)) & 0xFF));
        return *this;
    }
    OctetBuilder& D16(size_t at, uint16_t v) {
        Put(at, static_cast<char>(v & 0xFF));
        Put(at + 1, static_cast<char>(v >> 8));
        return *this;
    }
    OctetBuilder& Byte(size_t at, uint8_t v) {
        Put(at, static_cast<char>(v));
        return *this;
    }
    // The bytes of s followed by a NUL.
    OctetBuilder& Str(size_t at, const std::string& s) {
        for (size_t i = 0; i < s.size(); ++i)
            Put(at + i, s[i]);
        Put(at + s.size(), '\0');
        return *this;
    }
    // ASCII text as UTF-16LE with a NUL.
    OctetBuilder& WStr(size_t at, const std::string& s) {
        for (size_t i = 0; i < s.size(); ++i) {
            Put(at + 2 * i, s[i]);
            Put(at + 2 * i + 1, '\0');
        }
        Put(at + 2 * s.size(), '\0');
        Put(at + 2 * s.size() + 1, '\0');
        return *this;
    }
    OctetBuilder& Raw(size_t at, const std::string& s) {
        for (size_t i = 0; i < s.size(); ++i)
            Put(at + i, s[i]);
        return *this;
    }
    OctetBuilder& Resize(size_t size) {
        data.resize(size, '\0');
        return *this;
    }
    std::string Bytes() const { return data; }
    operator std::string() const { return data; }

private:
    void Put(size_t at, char c) {
        if (at >= data.size())
            data.resize(at + 1, '\0');
        data[at] = c;
    }
    std::string data;
};

} // namespace trovalen::testing
