#include "util/Util.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/time.h>

namespace trovalen {

// --- Case and character sets --------------------------------------------------------------------

TCharSet U_CharSet(std::string_view chars) {
    TCharSet set;
    for (unsigned char c : chars)
        set.set(c);
    return set;
}

const TCharSet& U_BlankSet() {
    static const TCharSet set = U_CharSet("\t\n\r ");
    return set;
}

char U_UpCaseChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

static char LowCaseChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string U_UpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = U_UpCaseChar(c);
    return out;
}

std::string U_LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowCaseChar(c);
    return out;
}

int U_CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(U_UpCaseChar(a[i]));
        auto cb = static_cast<unsigned char>(U_UpCaseChar(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// --- Comparison and selection -------------------------------------------------------------------

uint16_t U_MinWord(uint16_t a, uint16_t b) {
    return std::min(a, b);
}
int32_t U_MinInt(int32_t a, int32_t b) {
    return std::min(a, b);
}

std::string U_IfStr(bool flag, const std::string& a, const std::string& b) {
    return flag ? a : b;
}

std::string U_BoolStr(bool flag) {
    return flag ? "TRUE" : "FALSE";
}

std::string U_PickStr(int index, const std::vector<std::string>& list) {
    if (index < 0 || static_cast<size_t>(index) >= list.size())
        return "n/a";
    return list[static_cast<size_t>(index)];
}

int U_IndexOfStr(std::string_view s, const std::vector<std::string>& list, bool caseSensitive) {
    for (size_t i = 0; i < list.size(); ++i)
        if (caseSensitive ? list[i] == s : U_SameText(list[i], s))
            return static_cast<int>(i);
    return -1;
}

bool U_IsOneOf(std::string_view s, const std::vector<std::string>& list, bool caseSensitive) {
    return U_IndexOfStr(s, list, caseSensitive) >= 0;
}

bool U_SameText(std::string_view a, std::string_view b) {
    // Most names compared are spelt alike: the bytes are compared first, all at once.
    return a.size() == b.size() && (a == b || U_CompareText(a, b) == 0);
}

int U_Pos(std::string_view sub, std::string_view s) {
    if (sub.empty())
        return 0;
    auto p = s.find(sub);
    return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

int U_PosCI(std::string_view sub, std::string_view s) {
    return U_Pos(U_UpperCase(sub), U_UpperCase(s));
}

int U_FindStr(std::string_view sub, std::string_view s, bool caseSensitive) {
    return caseSensitive ? U_Pos(sub, s) : U_PosCI(sub, s);
}

bool U_IsAbbrevOf(std::string_view text, std::string_view keyword, int minLength) {
    minLength = std::clamp(minLength, 0, 255);
    if (keyword.size() < static_cast<size_t>(minLength))
        minLength = static_cast<int>(keyword.size());
    if (text.size() < static_cast<size_t>(minLength) || text.size() > keyword.size())
        return false;
    return U_SameText(keyword.substr(0, text.size()), text);
}

// --- Trimming, cutting and replacing ------------------------------------------------------------

int U_CountChars(std::string_view s, const TCharSet& set) {
    int n = 0;
    for (unsigned char c : s)
        if (set.test(c))
            ++n;
    return n;
}

std::string U_DeleteCharSet(std::string_view s, const TCharSet& set) {
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s)
        if (!set.test(c))
            out.push_back(static_cast<char>(c));
    return out;
}

std::string U_DeleteChars(std::string_view s, std::string_view chars) {
    return U_DeleteCharSet(s, U_CharSet(chars));
}

std::string U_TrimLeftSet(std::string_view s, const TCharSet& set) {
    size_t i = 0;
    while (i < s.size() && set.test(static_cast<unsigned char>(s[i])))
        ++i;
    return std::string(s.substr(i));
}

std::string U_TrimRightSet(std::string_view s, const TCharSet& set) {
    size_t n = s.size();
    while (n > 0 && set.test(static_cast<unsigned char>(s[n - 1])))
        --n;
    return std::string(s.substr(0, n));
}

std::string U_TrimLeftChars(std::string_view s, std::string_view chars) {
    return U_TrimLeftSet(s, U_CharSet(chars));
}

std::string U_TrimRightChars(std::string_view s, std::string_view chars) {
    return U_TrimRightSet(s, U_CharSet(chars));
}

std::string U_TrimBlank(std::string_view s) {
    return U_TrimRightSet(U_TrimLeftSet(s, U_BlankSet()), U_BlankSet());
}

std::string U_HeadOf(std::string_view s, std::string_view sub, bool exclude) {
    int p = U_Pos(sub, s);
    if (p == 0)
        return std::string(s);
    size_t n = static_cast<size_t>(p - 1) + (exclude ? 0 : sub.size());
    return std::string(s.substr(0, n));
}

std::string U_TailOf(std::string_view s, std::string_view sub, bool exclude) {
    int p = U_Pos(sub, s);
    if (p == 0)
        return std::string(s);
    size_t from = static_cast<size_t>(p - 1) + (exclude ? sub.size() : 0);
    return std::string(s.substr(from));
}

void U_SplitAt(const std::string& s, std::string_view separator, std::string& left,
               std::string& right) {
    int p = U_Pos(separator, s);
    if (p == 0) {
        std::string whole = s;
        left = std::move(whole);
        right.clear();
        return;
    }
    std::string l = s.substr(0, static_cast<size_t>(p - 1));
    std::string r = s.substr(static_cast<size_t>(p - 1) + separator.size());
    left = std::move(l);
    right = std::move(r);
}

int U_CountOf(std::string_view s, std::string_view sub) {
    if (sub.empty())
        return 0;
    int n = 0;
    for (size_t p = s.find(sub); p != std::string_view::npos; p = s.find(sub, p + sub.size()))
        ++n;
    return n;
}

void U_SplitToArray(const std::string& s, std::string_view separator, TArrayOfString& arr) {
    std::string rest = s;
    for (size_t i = 0; i < arr.size(); ++i) {
        if (U_Pos(separator, rest) == 0) {
            arr[i] = rest;
            return;
        }
        U_SplitAt(rest, separator, arr[i], rest);
    }
}

std::string U_ReplaceStr(std::string_view s, std::string_view find, std::string_view replacement,
                         bool caseSensitive, bool all) {
    if (find.empty() || find == replacement)
        return std::string(s);
    // Occurrences are found left to right; the text after each one is searched again, so the
    // inserted replacement is never rescanned.
    std::string out;
    std::string_view rest = s;
    while (true) {
        int p = U_FindStr(find, rest, caseSensitive);
        if (p == 0)
            break;
        out.append(rest.substr(0, static_cast<size_t>(p - 1)));
        out.append(replacement);
        rest = rest.substr(static_cast<size_t>(p - 1) + find.size());
        if (!all)
            break;
    }
    out.append(rest);
    return out;
}

void U_Replace(std::string& s, std::string_view find, std::string_view replacement,
               bool caseSensitive, bool all) {
    s = U_ReplaceStr(s, find, replacement, caseSensitive, all);
}

std::string U_WithPrefix(std::string_view s, std::string_view prefix) {
    if (U_StartsWith(s, prefix))
        return std::string(s);
    return std::string(prefix) + std::string(s);
}

std::string U_JoinNonEmpty(std::string_view a, std::string_view b, std::string_view separator) {
    std::string out(a);
    if (!a.empty() && !b.empty())
        out.append(separator);
    out.append(b);
    return out;
}

std::string U_Quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string U_ShownText(std::string_view s, size_t maxChars) {
    std::string out;
    for (char c : s.substr(0, maxChars))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    if (s.size() > maxChars)
        out += "...";
    return out;
}

char U_LastChar(std::string_view s) {
    return s.empty() ? '\0' : s.back();
}

bool U_StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool U_EndsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// --- Conversion ---------------------------------------------------------------------------------

std::string U_BytesToHex(const void* buffer, uint16_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    if (buffer == nullptr)
        return out;
    auto* p = static_cast<const uint8_t*>(buffer);
    out.reserve(count * 2u);
    for (uint16_t i = 0; i < count; ++i) {
        out.push_back(digits[p[i] >> 4]);
        out.push_back(digits[p[i] & 0x0F]);
    }
    return out;
}

std::string U_HexOf(std::string_view bytes) {
    std::string out;
    while (!bytes.empty()) {
        size_t n = std::min<size_t>(bytes.size(), 0x8000);
        out += U_BytesToHex(bytes.data(), static_cast<uint16_t>(n));
        bytes.remove_prefix(n);
    }
    return out;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool U_HexToBytes(std::string_view text, int& count, uint8_t* buffer) {
    std::string t(text);
    if (U_StartsWith(t, "0x"))
        t.erase(0, 2);
    t = U_DeleteChars(t, "$_ ");
    bool ok = !t.empty() && t.size() % 2 == 0;
    int n = std::min(std::max(count, 0), static_cast<int>(t.size() / 2));
    for (int i = 0; i < n; ++i) {
        int hi = HexDigit(t[2 * i]);
        int lo = HexDigit(t[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            ok = false;
            break;
        }
        if (buffer != nullptr)
            buffer[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    if (ok)
        count = n;
    return ok;
}

int32_t U_StrToIntDef(std::string_view s, int32_t def) {
    std::string t = U_DeleteChars(s, " ");
    if (t.empty())
        return def;
    size_t i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        i = 1;
    }
    bool hex = false;
    if (i < t.size() && t[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= t.size())
        return def;
    uint64_t value = 0;
    for (; i < t.size(); ++i) {
        int d = hex ? HexDigit(t[i]) : ((t[i] >= '0' && t[i] <= '9') ? t[i] - '0' : -1);
        if (d < 0)
            return def;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull)
            return def;
    }
    if (hex) {
        // Eight hex digits cover the whole 32-bit word: $FFFFFFFF reads as -1.
        auto v = static_cast<int32_t>(static_cast<uint32_t>(value));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
    }
    if (negative) {
        if (value > 0x80000000ull)
            return def;
        return static_cast<int32_t>(-static_cast<int64_t>(value));
    }
    if (value > 0x7FFFFFFFull)
        return def;
    return static_cast<int32_t>(value);
}

std::string U_PCharToStr(const char* p) {
    return p == nullptr ? std::string() : std::string(p);
}

const char* U_StrToPChar(const std::string& s) {
    return s.c_str();
}

std::string U_WithTrailingNul(std::string_view s) {
    std::string out(s);
    U_WithTrailingNulInPlace(out);
    return out;
}

void U_WithTrailingNulInPlace(std::string& s) {
    if (s.empty() || s.back() != '\0')
        s.push_back('\0');
}

char* U_NulTerminatedPChar(std::string& s) {
    if (s.size() < 255 && (s.empty() || s.back() != '\0'))
        s.push_back('\0');
    return s.data();
}

static constexpr size_t kBufArea = 2304;

static std::string CopyBuf(std::string_view buffer, uint16_t offset, uint32_t length) {
    if (offset >= kBufArea || offset >= buffer.size())
        return std::string();
    size_t n = std::min<size_t>({length, kBufArea - 1, buffer.size() - offset});
    return std::string(buffer.substr(offset, n));
}

std::string U_BufToStr(std::string_view buffer, uint16_t offset, uint32_t length) {
    std::string area = CopyBuf(buffer, offset, length);
    auto nul = area.find('\0');
    if (nul != std::string::npos)
        area.resize(nul);
    return area;
}

std::string U_MultiStrBufToLines(std::string_view buffer, uint16_t offset, uint32_t length) {
    std::string area = CopyBuf(buffer, offset, length);
    std::replace(area.begin(), area.end(), '\0', '\t');
    return U_ReplaceStr(area, "\t", "\r\n", true, true);
}

size_t U_StrToBuf(const std::string& s, int start, int count, bool terminate, char* buffer,
                  size_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0)
        return 0;
    if (start < 1)
        start = 1;
    long available = static_cast<long>(s.size()) - start + 1;
    long n = count < 0 ? available : std::min<long>(count, available);
    n = std::max<long>(n, 0);
    // Keep room for the terminating NUL.
    long room = static_cast<long>(bufferSize) - (terminate ? 1 : 0);
    n = std::min(n, std::max<long>(room, 0));
    if (n > 0)
        std::memcpy(buffer, s.data() + start - 1, static_cast<size_t>(n));
    if (terminate)
        buffer[n] = '\0';
    return static_cast<size_t>(n);
}

bool U_IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<uint8_t>(s[i]);
        size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n)
            return false;
        for (size_t k = 1; k <= n; ++k) {
            auto cc = static_cast<uint8_t>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// --- Paths --------------------------------------------------------------------------------------

std::string U_WithTrailingSlash(std::string_view path) {
    std::string out(path);
    if (out.empty() || (out.back() != '/' && out.back() != '\\'))
        out.push_back('\\');
    return out;
}

std::string U_WithoutTrailingSlash(std::string_view path) {
    std::string out(path);
    if (!out.empty() && (out.back() == '/' || out.back() == '\\'))
        out.pop_back();
    return out;
}

std::string U_JoinPath(std::string_view directory, std::string_view name) {
    return U_WithTrailingSlash(directory) + std::string(name);
}

std::string U_ChangeExt(std::string_view fileName, std::string_view extension) {
    std::string name(fileName);
    // The extension starts at the last dot after the last path delimiter.
    size_t delim = name.find_last_of("/\\:");
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (delim == std::string::npos || dot > delim))
        name.resize(dot);
    if (extension.empty())
        return name;
    if (extension[0] != '.')
        name.push_back('.');
    name.append(extension);
    return name;
}

// --- Lists --------------------------------------------------------------------------------------

void U_AddTextLines(std::string_view text, TStringList& lines) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.Add(std::string(text.substr(start, i - start)));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.Add(std::string(text.substr(start)));
}

void U_RemoveStrings(TStringList* list, const TStringList* other) {
    if (list == nullptr || other == nullptr)
        return;
    for (const auto& item : other->Items)
        list->Delete(list->IndexOf(item.Text));
}

void U_AddStrings(TStringList* list, const TStringList* other, bool allowDuplicates) {
    if (list == nullptr || other == nullptr)
        return;
    // Copy first: other may be the list itself.
    std::vector<std::string> texts = other->Strings();
    for (const auto& text : texts)
        if (allowDuplicates || list->IndexOf(text) < 0)
            list->Add(text);
}

// --- Time ---------------------------------------------------------------------------------------

TDuration U_SplitSeconds(uint32_t s) {
    TDuration d;
    d.Days = static_cast<uint16_t>(s / 86400);
    d.Hours = static_cast<uint16_t>((s / 3600) % 24);
    d.Minutes = static_cast<uint16_t>((s / 60) % 60);
    d.Seconds = static_cast<uint16_t>(s % 60);
    return d;
}

std::string U_SecondsToText(uint32_t seconds) {
    if (seconds == 0)
        return "0 sec";
    // Days are counted without the 16-bit limit of TDuration so that large values stay right.
    uint32_t days = seconds / 86400;
    TDuration d = U_SplitSeconds(seconds);
    std::string text;
    if (days)
        text += U_Format("%u days, ", days);
    if (d.Hours)
        text += U_Format("%u h, ", d.Hours);
    if (d.Minutes)
        text += U_Format("%u min, ", d.Minutes);
    if (d.Seconds)
        text += U_Format("%u sec", d.Seconds);
    return U_TrimRightChars(text, ", ");
}

std::string U_FormatDateTime(std::string_view pattern, int64_t unixSeconds, int milliseconds) {
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = pattern[i];
        char lc = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            size_t end = pattern.find(c, i + 1);
            if (end == std::string_view::npos)
                end = pattern.size();
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t n = (lc == 'y' || lc == 'm' || lc == 'd' || lc == 'h' || lc == 'n' || lc == 's' ||
                    lc == 'z')
                       ? run(lc)
                       : 0;
        if (n == 0) {
            out.push_back(c);
            ++i;
            continue;
        }
        switch (lc) {
        case 'y':
            out += n <= 2 ? U_Format("%02d", (tm.tm_year + 1900) % 100)
                          : U_Format("%04d", tm.tm_year + 1900);
            break;
        case 'm':
            out += U_Format(n >= 2 ? "%02d" : "%d", tm.tm_mon + 1);
            break;
        case 'd':
            out += U_Format(n >= 2 ? "%02d" : "%d", tm.tm_mday);
            break;
        case 'h':
            out += U_Format(n >= 2 ? "%02d" : "%d", tm.tm_hour);
            break;
        case 'n':
            out += U_Format(n >= 2 ? "%02d" : "%d", tm.tm_min);
            break;
        case 's':
            out += U_Format(n >= 2 ? "%02d" : "%d", tm.tm_sec);
            break;
        case 'z':
            out += U_Format(n >= 3 ? "%03d" : "%d", milliseconds);
            break;
        }
        i += n;
    }
    return out;
}

std::string U_NowFormatted(std::string_view pattern) {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return U_FormatDateTime(pattern, tv.tv_sec, static_cast<int>(tv.tv_usec / 1000));
}

std::string U_NowStamp() {
    return U_NowFormatted("yyyy-mm-dd hh:nn:ss");
}

std::string U_Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

} // namespace trovalen
