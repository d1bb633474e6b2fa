#include "settings/IniFile.h"

#include "settings/Ini.h"
#include "util/FileIO.h"
#include "util/Util.h"

#include <string_view>
#include <sys/stat.h>
#include <unordered_set>

namespace trovalen {

namespace {

constexpr std::string_view Blanks = " \t";

std::string_view TrimView(std::string_view s) {
    size_t first = s.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return std::string_view();
    size_t last = s.find_last_not_of(Blanks);
    return s.substr(first, last - first + 1);
}

// A "[name]" line; the name is the trimmed text up to the first "]".
bool ParseSectionLine(const std::string& line, std::string& name) {
    std::string_view t = TrimView(line);
    if (t.empty() || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return false;
    name = std::string(TrimView(t.substr(1, close - 1)));
    return true;
}

// A "key=value" line with a non-empty key; the value is returned as stored (untrimmed).
bool ParseKeyLine(const std::string& line, std::string_view& key, std::string_view& value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = TrimView(std::string_view(line).substr(0, eq));
    if (key.empty())
        return false;
    value = std::string_view(line).substr(eq + 1);
    return true;
}

// Appends characters of s to out until out holds max characters of UTF-8 text (a character is a
// lead byte with its continuations); returns false once the limit is reached.
bool AppendCharacters(std::string& out, size_t& chars, std::string_view s, size_t max) {
    for (char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            if (chars == max)
                return false;
            ++chars;
        }
        out.push_back(c);
    }
    return true;
}

// True when every double quote of the text belongs to a doubled pair.
bool QuotesAllDoubled(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '"')
            continue;
        if (i + 1 >= s.size() || s[i + 1] != '"')
            return false;
        ++i;
    }
    return true;
}

std::string EscapeLineBreaks(const std::string& value) {
    if (value.find_first_of("\r\n") == std::string::npos)
        return value;
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') {
            if (i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
            out += "#CRLF#";
        } else if (value[i] == '\n') {
            out += "#CRLF#";
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

} // namespace

std::string U_IniValueFromStored(std::string_view stored) {
    // Only the part that a read gives back is copied, however long the stored value is.
    std::string_view v = TrimView(stored);
    std::string value;
    size_t chars = 0;
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\'')) {
        std::string_view inner = v.substr(1, v.size() - 2);
        if (v.front() == '"' && QuotesAllDoubled(inner)) {
            for (size_t i = 0; i < inner.size(); ++i) {
                if (!AppendCharacters(value, chars, inner.substr(i, 1), IniMaxValueLength))
                    break;
                if (inner[i] == '"')
                    ++i;
            }
        } else {
            AppendCharacters(value, chars, inner, IniMaxValueLength);
        }
    } else {
        AppendCharacters(value, chars, v, IniMaxValueLength);
    }
    return value;
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

TIniFile::~TIniFile() {
    // The section cache must never point at a file that no longer exists.
    U_IniForgetCache(this, nullptr);
}

std::string TIniFile::WriteError() const {
    return U_Format("Unable to write to %s", FFileName.c_str());
}

TIniFile::TStamp TIniFile::StampOf(const std::string& fileName) {
    struct stat st {};
    TStamp stamp;
    if (stat(fileName.c_str(), &st) == 0) {
        stamp.Exists = true;
        stamp.Device = st.st_dev;
        stamp.Inode = st.st_ino;
        stamp.Size = static_cast<uint64_t>(st.st_size);
        stamp.MTimeSec = st.st_mtim.tv_sec;
        stamp.MTimeNsec = st.st_mtim.tv_nsec;
    }
    return stamp;
}

bool TIniFile::Load() const {
    TStamp stamp = StampOf(FFileName);
    if (stamp == FStamp && FReadable)
        return true;
    FLines.clear();
    FStamp = stamp;
    FReadable = true;
    if (!stamp.Exists)
        return true;
    std::string content, error;
    if (!U_ReadFile(FFileName, content, error)) {
        // Gone between stat and open: nothing to read. Unreadable: remember, so that no write
        // replaces content that could not be seen.
        FReadable = error.empty();
        if (!FReadable)
            FStamp = TStamp();
        return FReadable;
    }
    size_t start = 0;
    if (U_StartsWith(content, "\xEF\xBB\xBF"))
        start = 3;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        // Every CR at a line's end belongs to its line break. Were one kept, a rewrite would end
        // the line with CR LF and the next read would lose it, changing the value.
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        FLines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

std::unique_ptr<TFileLock> TIniFile::LockForWrite() const {
    return FShared ? std::make_unique<TFileLock>(FFileName, true) : nullptr;
}

void TIniFile::LoadForWrite() {
    if (!Load())
        throw EIniError(WriteError());
}

void TIniFile::Save(std::vector<std::string> lines) {
    size_t total = 0;
    for (const auto& line : lines)
        total += line.size() + 1;
    std::string content;
    content.reserve(total);
    for (const auto& line : lines) {
        content += line;
        content += '\n';
    }
    std::string error;
    TWriteOptions options;
    options.CreateFolders = true;
    options.Durable = FDurable;
    options.PrivateNewFile = true;
    options.OwnRegularFileOnly = true;
    if (!U_WriteFileAtomic(FFileName, content, error, options))
        throw EIniError(WriteError());
    FLines = std::move(lines);
    // Take the new file's stamp so the next read does not parse it again.
    FStamp = StampOf(FFileName);
    FReadable = true;
}

bool TIniFile::FindSection(const std::string& section, size_t& header, size_t& end) const {
    std::string wanted(TrimView(section));
    std::string name;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (ParseSectionLine(FLines[i], name) && U_SameText(name, wanted)) {
            header = i;
            end = i + 1;
            while (end < FLines.size() && !ParseSectionLine(FLines[end], name))
                ++end;
            return true;
        }
    }
    return false;
}

int TIniFile::FindKey(size_t first, size_t end, const std::string& key) const {
    std::string_view wanted = TrimView(key);
    std::string_view k, v;
    for (size_t i = first; i < end; ++i)
        if (ParseKeyLine(FLines[i], k, v) && U_SameText(k, wanted))
            return static_cast<int>(i);
    return -1;
}

void TIniFile::CheckSectionName(const std::string& section) const {
    if (section.find_first_of("]\r\n") != std::string::npos)
        throw EIniError(WriteError() + ": invalid section name \"" + section + "\"");
}

bool TIniFile::IsValidKey(const std::string& key) {
    std::string_view k = TrimView(key);
    return !k.empty() && k.front() != '[' && key.find_first_of("=\r\n") == std::string::npos;
}

void TIniFile::CheckKeyName(const std::string& key) const {
    if (!IsValidKey(key))
        throw EIniError(WriteError() + ": invalid key \"" + key + "\"");
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    Load();
    size_t header = 0, end = 0;
    if (!FindSection(section, header, end))
        return def;
    int i = FindKey(header + 1, end, key);
    if (i < 0)
        return def;
    std::string_view k, v;
    ParseKeyLine(FLines[static_cast<size_t>(i)], k, v);
    return U_IniValueFromStored(v);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
    return U_StrToIntDef(ReadString(section, key, std::string()), def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    CheckSectionName(section);
    CheckKeyName(key);
    auto lock = LockForWrite();
    LoadForWrite();
    std::vector<std::string> lines = FLines;
    std::string line = std::string(TrimView(key)) + "=" + EscapeLineBreaks(value);
    size_t header = 0, end = 0;
    if (!FindSection(section, header, end)) {
        lines.push_back("[" + std::string(TrimView(section)) + "]");
        lines.push_back(line);
    } else if (int i = FindKey(header + 1, end, key); i >= 0) {
        lines[static_cast<size_t>(i)] = line;
    } else {
        // After the section's last non-blank line, so blank separator lines stay where they are.
        size_t at = end;
        while (at > header + 1 && TrimView(lines[at - 1]).empty())
            --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    }
    Save(std::move(lines));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::ReadSections(TStringList& sections) const {
    sections.Clear();
    Load();
    // A set of the names seen keeps a file of many sections from costing the square of their
    // number.
    std::unordered_set<std::string> seen;
    std::string name;
    for (const auto& line : FLines)
        if (ParseSectionLine(line, name) && seen.insert(U_UpperCase(name)).second)
            sections.Add(name);
}

void TIniFile::ReadSection(const std::string& section, TStringList& keys) const {
    keys.Clear();
    Load();
    size_t header = 0, end = 0;
    if (!FindSection(section, header, end))
        return;
    std::string_view k, v;
    for (size_t i = header + 1; i < end; ++i)
        if (ParseKeyLine(FLines[i], k, v))
            keys.Add(std::string(k));
}

void TIniFile::ReadSectionValues(const std::string& section, TStringList& lines) const {
    lines.Clear();
    Load();
    size_t header = 0, end = 0;
    if (!FindSection(section, header, end))
        return;
    std::string_view k, v;
    for (size_t i = header + 1; i < end; ++i)
        if (ParseKeyLine(FLines[i], k, v))
            lines.Add(std::string(k) + "=" + U_IniValueFromStored(v));
}

bool TIniFile::SectionExists(const std::string& section) const {
    Load();
    size_t header = 0, end = 0;
    return FindSection(section, header, end);
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    Load();
    size_t header = 0, end = 0;
    return FindSection(section, header, end) && FindKey(header + 1, end, key) >= 0;
}

void TIniFile::EraseSection(const std::string& section) {
    WriteSection(section, {});
}

void TIniFile::WriteSection(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& entries) {
    CheckSectionName(section);
    for (const auto& entry : entries)
        CheckKeyName(entry.first);
    auto lock = LockForWrite();
    LoadForWrite();
    // Every block of the section goes, so no older copy can surface later.
    std::vector<std::string> lines;
    size_t insertAt = std::string::npos;
    std::string wanted(TrimView(section)), name;
    bool inSection = false, found = false;
    for (const auto& line : FLines) {
        if (ParseSectionLine(line, name)) {
            inSection = U_SameText(name, wanted);
            if (inSection) {
                found = true;
                if (insertAt == std::string::npos)
                    insertAt = lines.size();
                continue;
            }
        }
        if (!inSection)
            lines.push_back(line);
    }
    if (!found && entries.empty())
        return;
    std::vector<std::string> block;
    if (!entries.empty()) {
        block.push_back("[" + wanted + "]");
        for (const auto& [key, value] : entries)
            block.push_back(std::string(TrimView(key)) + "=" + EscapeLineBreaks(value));
    }
    if (insertAt == std::string::npos)
        insertAt = lines.size();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), block.begin(), block.end());
    Save(std::move(lines));
    U_IniForgetCache(this, &wanted);
}

void TIniFile::EraseAllSections() {
    auto lock = LockForWrite();
    LoadForWrite();
    std::vector<std::string> lines;
    std::string name;
    for (const auto& line : FLines) {
        if (ParseSectionLine(line, name))
            break;
        lines.push_back(line);
    }
    if (lines.size() != FLines.size())
        Save(std::move(lines));
    U_IniForgetCache(this, nullptr);
}

} // namespace trovalen
