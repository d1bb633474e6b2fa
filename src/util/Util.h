// String, list, number and time helpers shared by every part of the program. None keeps state.
// Strings are std::string holding UTF-8; positions are 1-based and a search that finds nothing
// yields 0. "Case-insensitive" folds only the ASCII letters a to z.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/StringList.h"

namespace trovalen {

using TArrayOfString = std::vector<std::string>;
using TCharSet = std::bitset<256>;

// Runs a function when the scope ends, by an exception too: the second half of a paired call
// (disable and enable again, begin and end).
template <typename TFunc> class TScopeExit {
public:
    explicit TScopeExit(TFunc func) : FFunc(std::move(func)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { FFunc(); }

private:
    TFunc FFunc;
};

struct TDuration {
    uint16_t Days = 0;
    uint16_t Hours = 0;
    uint16_t Minutes = 0;
    uint16_t Seconds = 0;
};

// A character set holding every byte of the given text.
TCharSet U_CharSet(std::string_view chars);
// Tab, LF, CR and space.
const TCharSet& U_BlankSet();

// ASCII-only case folding.
char U_UpCaseChar(char c);
std::string U_UpperCase(std::string_view s);
std::string U_LowerCase(std::string_view s);
// Case-insensitive three-way comparison (-1, 0, 1).
int U_CompareText(std::string_view a, std::string_view b);

// Comparison and selection
uint16_t U_MinWord(uint16_t a, uint16_t b);
int32_t U_MinInt(int32_t a, int32_t b);
std::string U_IfStr(bool flag, const std::string& a, const std::string& b);
std::string U_BoolStr(bool flag);
std::string U_PickStr(int index, const std::vector<std::string>& list);
int U_IndexOfStr(std::string_view s, const std::vector<std::string>& list, bool caseSensitive);
bool U_IsOneOf(std::string_view s, const std::vector<std::string>& list, bool caseSensitive);
bool U_SameText(std::string_view a, std::string_view b);
int U_PosCI(std::string_view sub, std::string_view s);
// Exact 1-based position of sub in s, 0 when absent (or when sub is empty).
int U_Pos(std::string_view sub, std::string_view s);
int U_FindStr(std::string_view sub, std::string_view s, bool caseSensitive);
bool U_IsAbbrevOf(std::string_view text, std::string_view keyword, int minLength);

// Trimming, cutting and replacing
int U_CountChars(std::string_view s, const TCharSet& set);
std::string U_DeleteCharSet(std::string_view s, const TCharSet& set);
std::string U_DeleteChars(std::string_view s, std::string_view chars);
std::string U_TrimLeftChars(std::string_view s, std::string_view chars);
std::string U_TrimRightChars(std::string_view s, std::string_view chars);
std::string U_TrimLeftSet(std::string_view s, const TCharSet& set);
std::string U_TrimRightSet(std::string_view s, const TCharSet& set);
std::string U_TrimBlank(std::string_view s);
std::string U_HeadOf(std::string_view s, std::string_view sub, bool exclude);
std::string U_TailOf(std::string_view s, std::string_view sub, bool exclude);
// Splits at the first separator; left/right may alias s.
void U_SplitAt(const std::string& s, std::string_view separator, std::string& left,
               std::string& right);
int U_CountOf(std::string_view s, std::string_view sub);
// Fills the elements of arr (its size is the number of fields taken) from s.
void U_SplitToArray(const std::string& s, std::string_view separator, TArrayOfString& arr);
std::string U_ReplaceStr(std::string_view s, std::string_view find, std::string_view replacement,
                         bool caseSensitive, bool all);
void U_Replace(std::string& s, std::string_view find, std::string_view replacement,
               bool caseSensitive, bool all);
std::string U_WithPrefix(std::string_view s, std::string_view prefix);
std::string U_JoinNonEmpty(std::string_view a, std::string_view b, std::string_view separator);
std::string U_Quoted(std::string_view s);
// A value as a one-line message shows it: control characters as '?', cut after maxChars bytes
// with "..." added.
std::string U_ShownText(std::string_view s, size_t maxChars);
// The last character; s must not be empty (0 is returned when it is).
char U_LastChar(std::string_view s);
bool U_StartsWith(std::string_view s, std::string_view prefix);
bool U_EndsWith(std::string_view s, std::string_view suffix);

// Conversion
std::string U_BytesToHex(const void* buffer, uint16_t count);
// The same for any number of bytes.
std::string U_HexOf(std::string_view bytes);
// Reads hex pairs into buffer (capacity count); see the rules in the implementation.
bool U_HexToBytes(std::string_view text, int& count, uint8_t* buffer);
// Blanks removed, then a decimal integer or "$" followed by hex digits; def when invalid or out
// of the 32-bit range.
int32_t U_StrToIntDef(std::string_view s, int32_t def);
std::string U_PCharToStr(const char* p);
const char* U_StrToPChar(const std::string& s);
std::string U_WithTrailingNul(std::string_view s);
void U_WithTrailingNulInPlace(std::string& s);
char* U_NulTerminatedPChar(std::string& s);
// Copies min(length, 2303) bytes from offset of the buffer and yields the text up to the first
// NUL. Never reads past the end of buffer.
std::string U_BufToStr(std::string_view buffer, uint16_t offset, uint32_t length);
std::string U_MultiStrBufToLines(std::string_view buffer, uint16_t offset, uint32_t length);
// Copies min(count, Length(s) - start + 1) characters from 1-based start into buffer (of
// capacity bufferSize, which is never overrun); a NUL follows with terminate. Returns the number
// of characters copied.
size_t U_StrToBuf(const std::string& s, int start, int count, bool terminate, char* buffer,
                  size_t bufferSize);
// Whether the bytes are well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool U_IsValidUtf8(std::string_view s);
// Converts between UTF-8 (toOem true: from) and the OEM code page (see Platform.h).
std::string U_ConvertOem(std::string_view s, bool toOem);
// A name that came from the file server, as text: valid UTF-8 stays as it is, anything else is
// read in the OEM code page.
std::string U_OemToText(const std::string& name);

// Paths
std::string U_WithTrailingSlash(std::string_view path);
std::string U_WithoutTrailingSlash(std::string_view path);
std::string U_JoinPath(std::string_view directory, std::string_view name);
std::string U_ChangeExt(std::string_view fileName, std::string_view extension);

// Lists
// Adds the lines of a text, split at CR LF, CR or LF; a final line break opens no further line.
void U_AddTextLines(std::string_view text, TStringList& lines);
void U_RemoveStrings(TStringList* list, const TStringList* other);
void U_AddStrings(TStringList* list, const TStringList* other, bool allowDuplicates);

// Time
TDuration U_SplitSeconds(uint32_t seconds);
std::string U_SecondsToText(uint32_t seconds);
// Formats a local time with a pattern: yyyy yy mm m dd d hh h nn n ss s zzz; text in double or
// single quotes is copied; every other character is copied as it is.
std::string U_FormatDateTime(std::string_view pattern, int64_t unixSeconds, int milliseconds = 0);
std::string U_NowFormatted(std::string_view pattern);
std::string U_NowStamp();

// printf-style formatting into a std::string.
std::string U_Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace trovalen
