// The settings store: file names, reads and conditional writes of text, numbers, booleans and
// lists, and reads through a one-section cache.
//
// Names: every "[" and "]" is removed from a key by all operations, and from a section name by
// the writes (U_IniCleanName); reads take the section name as given. A key that is empty after
// the removal is never written. A write that the file refuses shows its message ("Unable to
// write to <file>") through the message hook; the caller goes on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "settings/IniFile.h"
#include "util/StringList.h"

namespace trovalen {

// The section that the cached reads served last. One instance for the whole program.
struct TSectionCache {
    const TIniFile* IniFile = nullptr; // not owned
    std::string Section;
    std::string Value;  // value found by the last cached read
    TStringList Values; // the section's "key=value" lines as last read
};
TSectionCache& U_SectionCache();
// Drops the cached section when it belongs to the file (and, when given, is that section). The
// file layer calls this when a section is erased or replaced and when a file object goes away.
void U_IniForgetCache(const TIniFile* file, const std::string* section);

// U_AppFileName(extension); with inAppData, that name's file part in the per-user configuration
// folder ("/" followed by the name when no such folder is known).
std::string U_IniFileName(const std::string& extension, bool inAppData);
std::unique_ptr<TIniFile> U_IniOpen(bool inAppData);
std::string U_IniCleanName(std::string_view name);

// Direct reads of the cleaned key. U_IniReadText turns every "#CRLF#" into CR LF.
std::string U_IniReadText(const TIniFile& file, const std::string& section, const std::string& key,
                          const std::string& def);
int32_t U_IniReadInt(const TIniFile& file, const std::string& section, const std::string& key,
                     int32_t def);

// Conditional writes: the file is written only when the stored value differs. Text also counts
// as unchanged when the stored value in its quoted form (U_Quoted) equals the new value, because
// a value written in quotes reads back without them. A write into the cached section updates the
// cache.
void U_IniWriteStr(TIniFile& file, const std::string& section, const std::string& key,
                   const std::string& value);
void U_IniWriteInt(TIniFile& file, const std::string& section, const std::string& key,
                   int32_t value);
void U_IniWriteBool(TIniFile& file, const std::string& section, const std::string& key, bool value);

// Replaces the section with one key per entry: "0", "1", ... by index, or with keyByObject the
// entry's companion value as a signed decimal number (a later entry with the same number wins).
// Every entry reads back exactly as given by U_IniReadList: entries that the file would alter
// (empty, surrounding blanks, enclosing quotes) are stored in their quoted form.
void U_IniWriteList(TIniFile& file, const std::string& section, const TStringList& list,
                    bool keyByObject);
// Empties the list, then adds the value of every line of the section in file order (a value may
// contain "="); with objectFromKey each entry carries its key as a number (0 when it is none).
void U_IniReadList(const TIniFile& file, const std::string& section, TStringList& list,
                   bool objectFromKey);

// Cached reads of the cleaned key: the section is read once and then served from the cache
// until another section or file is asked for, or the section is erased or replaced.
// Str: an empty value gives the default. Int: the default when empty or no number.
// Bool: a non-empty value is true exactly when it is "1"; an empty one gives the default.
std::string U_IniReadStrCached(const TIniFile& file, const std::string& section,
                               const std::string& key, const std::string& def);
int32_t U_IniReadIntCached(const TIniFile& file, const std::string& section, const std::string& key,
                           int32_t def);
bool U_IniReadBoolCached(const TIniFile& file, const std::string& section, const std::string& key,
                         bool def);

// Erases every section of the file.
void U_IniClearAll(TIniFile& file);

} // namespace trovalen
