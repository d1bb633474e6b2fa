// Reading the values of a tree file: each reader names the place (a JSON pointer) and the fault
// of a value it cannot take.
#include "backend/sim/SimLoadInternal.h"

#include <cstdio>
#include <ctime>

#include "util/Iconv.h"

namespace trovalen::sim::load {

// --- Semantic errors ----------------------------------------------------------------------------

[[noreturn]] void Fail(const std::string& ptr, const std::string& what) {
    throw TLoadError{ptr.empty() ? "/" : ptr, what};
}

std::string EscapeKey(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

std::string Join(const std::string& ptr, const std::string& key) {
    return ptr + "/" + EscapeKey(key);
}
std::string Join(const std::string& ptr, size_t index) {
    return ptr + "/" + std::to_string(index);
}

namespace {

const char* TypeName(const json& v) {
    switch (v.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a boolean";
    case json::value_t::number_float:
        return "a fraction";
    default:
        return "a number";
    }
}

} // namespace

void Expect(const json& v, json::value_t type, const std::string& ptr, const char* what) {
    bool ok = v.type() == type || (type == json::value_t::number_integer && v.is_number_unsigned());
    if (!ok)
        Fail(ptr, std::string("expected ") + what + ", found " + TypeName(v));
}

void CheckKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> keys) {
    Expect(obj, json::value_t::object, ptr, "an object");
    for (const auto& [k, v] : obj.items()) {
        (void)v;
        if (k == "comment")
            continue;
        bool known = false;
        for (const char* allowed : keys)
            known = known || k == allowed;
        if (!known) {
            std::string list;
            for (const char* allowed : keys)
                list += std::string(list.empty() ? "" : ", ") + allowed;
            Fail(Join(ptr, k), "unknown key \"" + k + "\" (known here: " + list + ")");
        }
    }
}

const json* Opt(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

const json& Req(const json& obj, const char* key, const std::string& ptr) {
    auto it = obj.find(key);
    if (it == obj.end())
        Fail(ptr, std::string("the key \"") + key + "\" is missing");
    return *it;
}

std::string Str(const json& v, const std::string& ptr, size_t maxBytes) {
    Expect(v, json::value_t::string, ptr, "a string");
    const auto& s = v.get_ref<const std::string&>();
    if (s.size() > maxBytes)
        Fail(ptr, "the text is longer than " + std::to_string(maxBytes) + " bytes");
    return s;
}

bool Bool(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::boolean, ptr, "true or false");
    return v.get<bool>();
}

int64_t Int(const json& v, const std::string& ptr, int64_t lo, int64_t hi) {
    if (v.is_number_unsigned()) {
        auto u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi))
            Fail(ptr, "the number " + std::to_string(u) + " is out of range (" +
                          std::to_string(lo) + " to " + std::to_string(hi) + ")");
        return static_cast<int64_t>(u);
    }
    if (!v.is_number_integer())
        Fail(ptr, std::string("expected a whole number, found ") + TypeName(v));
    auto i = v.get<int64_t>();
    if (i < lo || i > hi)
        Fail(ptr, "the number " + std::to_string(i) + " is out of range (" + std::to_string(lo) +
                      " to " + std::to_string(hi) + ")");
    return i;
}

// A number written as JSON number or as hexadecimal text ("0x899C", "#0000ABCD", "$FD").
int64_t IntOrHex(const json& v, const std::string& ptr, int64_t lo, int64_t hi) {
    if (!v.is_string())
        return Int(v, ptr, lo, hi);
    std::string s = v.get<std::string>();
    std::string digits = s;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0)
        digits = digits.substr(2);
    else if (!digits.empty() && (digits[0] == '#' || digits[0] == '$'))
        digits = digits.substr(1);
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Fail(ptr, "\"" + s + "\" is not a number (write a number or hexadecimal digits)");
    int64_t value = static_cast<int64_t>(std::stoull(digits, nullptr, 16));
    if (value < lo || value > hi)
        Fail(ptr, "the number \"" + s + "\" is out of range");
    return value;
}

// Rights written as a number in text: decimal digits, or "$" and hex digits (blanks ignored).
// False when the text is no number at all; a number out of range is an error.
bool NumberText(const std::string& text, const std::string& ptr, uint32_t& value) {
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    bool hex = !digits.empty() && digits[0] == '$';
    std::string body = hex ? digits.substr(1) : digits;
    if (body.empty() ||
        body.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    unsigned long long v = body.size() > 10 ? ~0ull : std::stoull(body, nullptr, hex ? 16 : 10);
    if (v > UINT32_MAX)
        Fail(ptr, "the number \"" + text + "\" is out of range");
    value = static_cast<uint32_t>(v);
    return true;
}

NWCCODE Code(const json& v, const std::string& ptr) {
    int64_t c = IntOrHex(v, ptr, INT32_MIN, UINT32_MAX);
    return static_cast<NWCCODE>(static_cast<uint32_t>(c));
}

// Seconds since 1970 as a number or an ISO 8601 UTC text "2024-03-01T08:30:00Z".
uint32_t Time(const json& v, const std::string& ptr) {
    if (!v.is_string())
        return static_cast<uint32_t>(Int(v, ptr, 0, UINT32_MAX));
    std::string s = v.get<std::string>();
    struct tm tm {};
    int y, mo, d, h = 0, mi = 0, sec = 0;
    char tail = 0;
    int n = std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &sec, &tail);
    bool ok = (n == 3 && s.size() == 10) || (n == 7 && tail == 'Z' && s.size() == 20);
    if (!ok || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59 || y < 1970)
        Fail(ptr, "\"" + s + "\" is no time (write seconds or \"YYYY-MM-DDTHH:MM:SSZ\")");
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    time_t t = timegm(&tm);
    if (t < 0 || t > static_cast<time_t>(UINT32_MAX))
        Fail(ptr, "\"" + s + "\" lies outside 1970 to 2106");
    struct tm back {};
    gmtime_r(&t, &back);
    if (back.tm_mday != d || back.tm_mon != mo - 1)
        Fail(ptr, "\"" + s + "\" is no date of the calendar");
    return static_cast<uint32_t>(t);
}

// --- Text helpers -------------------------------------------------------------------------------

size_t CodePoints(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x07;
            len = 4;
        }
        for (size_t k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// UTF-8 to the code page, exactly: false when a character has no place in it.
bool ToCodePage(const std::string& utf8, const std::string& codePage, std::string& out) {
    TIconv cd(codePage, "UTF-8");
    if (!cd.Ok())
        return false;
    out.assign(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* o = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd.Get(), &in, &inLeft, &o, &outLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || r != 0)
        return false;
    out.resize(out.size() - outLeft);
    return true;
}

std::string HexBytes(const std::string& text, const std::string& ptr) {
    std::string digits;
    for (char c : text) {
        if (c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            Fail(ptr, "\"" + text.substr(0, 40) + "\" holds a character that is no hex digit");
        digits += c;
    }
    if (digits.size() % 2 != 0)
        Fail(ptr, "the hex digits do not make whole bytes (odd count)");
    std::string out;
    out.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

} // namespace trovalen::sim::load
