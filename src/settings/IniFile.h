// The INI file layer: a text file of "[section]" lines and "key=value" lines.
//
// - Section and key names compare case-insensitively (ASCII letters) and lose surrounding blanks.
// - A missing file, section or key reads as the default; reading never fails.
// - Every write reaches the disk at once and replaces the file in one step (a new file is written
//   beside it and renamed into place), so the file is never left half-written. The file and its
//   folder are created by the first write.
// - A value read back loses surrounding blanks and one pair of enclosing quotes (double or single);
//   inside a pair of double quotes a doubled double quote stands for one, so a value stored in its
//   quoted form (U_Quoted) reads back exactly. A value is read back at most 2047 characters long.
// - Line breaks cannot be part of a stored line: a value's CR LF, CR or LF is stored as "#CRLF#",
//   the escape that U_IniReadText turns back into CR LF.
// - Integers are written in decimal; reads accept decimal, "$" hex and "0x" hex, else the default.
//   Booleans are written as "1" and "0"; ReadBool is true for any non-zero integer.
// - There is no comment syntax: every "key=value" line inside a section is a value.
// - A new file is private to the user (0600); a file that is replaced keeps its permissions. A file
//   that is a symbolic link is written only through to a regular file the user owns, replaced in
//   the target's folder so that the link stays a link; a link to anything else is refused.
// A refused write throws EIniError("Unable to write to <file>") and leaves the file as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/FileIO.h"
#include "util/StringList.h"

namespace trovalen {

class EIniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Longest value a read gives back, in characters.
constexpr size_t IniMaxValueLength = 2047;

class TIniFile {
public:
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }

    // A key can be stored when it is not blank, holds no "=" and no line break, and does not
    // start with "[".
    static bool IsValidKey(const std::string& key);

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Section names in file order (each once).
    void ReadSections(TStringList& sections) const;
    // Key names of a section in file order.
    void ReadSection(const std::string& section, TStringList& keys) const;
    // "key=value" lines of a section in file order, each value read as ReadString reads it.
    void ReadSectionValues(const std::string& section, TStringList& lines) const;
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;

    void EraseSection(const std::string& section);
    // Replaces a section with the given keys and raw values in one write (the section is erased
    // first; with no entries it is only erased). Values are stored as given, apart from the
    // escape of line breaks.
    void WriteSection(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);
    // Erases every section in one write.
    void EraseAllSections();
    // Every write reaches the file at once; kept for callers that flush after a series of writes.
    void UpdateFile() {}

    // Whether each write is flushed to the disk before it replaces the file (default true).
    void SetDurable(bool durable) { FDurable = durable; }
    // Whether other processes may write the file too (default true). Each write then holds a
    // lock beside the file from its read to its replace, so that no writer's change is lost;
    // a file private to this process needs none.
    void SetShared(bool shared) { FShared = shared; }

private:
    struct TStamp {
        bool Exists = false;
        uint64_t Device = 0, Inode = 0, Size = 0;
        int64_t MTimeSec = 0, MTimeNsec = 0;
        bool operator==(const TStamp&) const = default;
    };
    static TStamp StampOf(const std::string& fileName);
    // Brings FLines up to date with the file; returns false when the file exists but cannot be
    // read (FLines is then empty).
    bool Load() const;
    // Loads for a write: throws when the existing content cannot be read, since writing then
    // would lose it.
    void LoadForWrite();
    // The lock a write holds from its read to its replace (nothing for a file not shared).
    std::unique_ptr<TFileLock> LockForWrite() const;
    // Takes the lines, which become the loaded lines once they are written.
    void Save(std::vector<std::string> lines);
    // Index range [first, end) of the lines of the first block of the section (after its header);
    // false when there is none.
    bool FindSection(const std::string& section, size_t& header, size_t& end) const;
    int FindKey(size_t first, size_t end, const std::string& key) const;
    std::string WriteError() const;
    void CheckSectionName(const std::string& section) const;
    void CheckKeyName(const std::string& key) const;

    std::string FFileName;
    bool FDurable = true;
    bool FShared = true;
    mutable std::vector<std::string> FLines;
    mutable TStamp FStamp;
    mutable bool FReadable = true;
};

// The value as a read gives it back from its stored form (see the rules above).
std::string U_IniValueFromStored(std::string_view stored);

} // namespace trovalen
