#include "settings/Ini.h"

#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

#include <map>

namespace trovalen {

namespace {

// The key part of a cached "key=value" line.
std::string_view LineKey(const std::string& line) {
    return std::string_view(line).substr(0, line.find('='));
}

void ShowWriteError(const EIniError& e) {
    U_MessageBox(TMsgKind::Error, e.what());
}

// After a write into the cached section of the same file: the key's line in the cache is
// replaced by the value now in the file (dropped when that reads empty).
void UpdateCache(const TIniFile& file, const std::string& section, const std::string& key) {
    TSectionCache& cache = U_SectionCache();
    if (cache.IniFile != &file || !U_SameText(U_TrimBlank(cache.Section), U_TrimBlank(section)))
        return;
    std::string value = file.ReadString(section, key, std::string());
    std::string trimmedKey = U_TrimBlank(key);
    for (int i = cache.Values.Count() - 1; i >= 0; --i)
        if (U_SameText(LineKey(cache.Values[i]), trimmedKey))
            cache.Values.Delete(i);
    if (!value.empty())
        cache.Values.Add(trimmedKey + "=" + value);
}

const std::string& CachedValue(const TIniFile& file, const std::string& section,
                               const std::string& key) {
    TSectionCache& cache = U_SectionCache();
    if (cache.IniFile != &file || cache.Section != section) {
        file.ReadSectionValues(section, cache.Values);
        cache.IniFile = &file;
        cache.Section = section;
    }
    std::string wanted = U_TrimBlank(U_IniCleanName(key));
    cache.Value.clear();
    for (const auto& item : cache.Values) {
        const std::string& line = item.Text;
        if (U_SameText(LineKey(line), wanted)) {
            cache.Value = line.substr(line.find('=') + 1);
            break;
        }
    }
    return cache.Value;
}

} // namespace

TSectionCache& U_SectionCache() {
    // Never destroyed: a file object that outlives the other statics may still ask for it.
    static TSectionCache* cache = new TSectionCache;
    return *cache;
}

void U_IniForgetCache(const TIniFile* file, const std::string* section) {
    TSectionCache& cache = U_SectionCache();
    if (cache.IniFile != file)
        return;
    if (section != nullptr && !U_SameText(U_TrimBlank(cache.Section), U_TrimBlank(*section)))
        return;
    cache.IniFile = nullptr;
    cache.Section.clear();
    cache.Value.clear();
    cache.Values.Clear();
}

std::string U_IniFileName(const std::string& extension, bool inAppData) {
    std::string name = U_AppFileName(extension);
    if (!inAppData)
        return name;
    std::string folder = U_GetShellFolder("AppData");
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
        folder += '/';
    return folder + name.substr(name.find_last_of('/') + 1);
}

std::unique_ptr<TIniFile> U_IniOpen(bool inAppData) {
    return std::make_unique<TIniFile>(U_IniFileName("ini", inAppData));
}

std::string U_IniCleanName(std::string_view name) {
    return U_DeleteChars(name, "[]");
}

std::string U_IniReadText(const TIniFile& file, const std::string& section, const std::string& key,
                          const std::string& def) {
    std::string text = file.ReadString(section, U_IniCleanName(key), def);
    return U_ReplaceStr(text, "#CRLF#", "\r\n", true, true);
}

int32_t U_IniReadInt(const TIniFile& file, const std::string& section, const std::string& key,
                     int32_t def) {
    return file.ReadInteger(section, U_IniCleanName(key), def);
}

void U_IniWriteStr(TIniFile& file, const std::string& section, const std::string& key,
                   const std::string& value) {
    std::string k = U_IniCleanName(key), s = U_IniCleanName(section);
    if (U_TrimBlank(k).empty())
        return;
    try {
        std::string stored = file.ReadString(s, k, std::string());
        if (stored != value && U_Quoted(stored) != value) {
            file.WriteString(s, k, value);
            UpdateCache(file, s, k);
        }
    } catch (const EIniError& e) {
        ShowWriteError(e);
    }
}

void U_IniWriteInt(TIniFile& file, const std::string& section, const std::string& key,
                   int32_t value) {
    std::string k = U_IniCleanName(key), s = U_IniCleanName(section);
    if (U_TrimBlank(k).empty())
        return;
    try {
        if (file.ReadInteger(s, k, -999666) != value) {
            file.WriteInteger(s, k, value);
            UpdateCache(file, s, k);
        }
    } catch (const EIniError& e) {
        ShowWriteError(e);
    }
}

void U_IniWriteBool(TIniFile& file, const std::string& section, const std::string& key,
                    bool value) {
    std::string k = U_IniCleanName(key), s = U_IniCleanName(section);
    if (U_TrimBlank(k).empty())
        return;
    try {
        if (!file.ValueExists(s, k) || file.ReadBool(s, k, false) != value) {
            file.WriteBool(s, k, value);
            UpdateCache(file, s, k);
        }
    } catch (const EIniError& e) {
        ShowWriteError(e);
    }
}

void U_IniWriteList(TIniFile& file, const std::string& section, const TStringList& list,
                    bool keyByObject) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::map<std::string, size_t> index;
    for (int i = 0; i < list.Count(); ++i) {
        std::string key =
            keyByObject ? std::to_string(static_cast<int32_t>(list.Value(i))) : std::to_string(i);
        // Stored as given when that reads back unchanged, else in its quoted form.
        std::string value = list[i];
        if (U_IniValueFromStored(value) != value)
            value = U_Quoted(value);
        if (auto it = index.find(key); it != index.end()) {
            entries[it->second].second = value;
        } else {
            index[key] = entries.size();
            entries.emplace_back(key, value);
        }
    }
    try {
        file.WriteSection(U_IniCleanName(section), entries);
    } catch (const EIniError& e) {
        ShowWriteError(e);
    }
}

void U_IniReadList(const TIniFile& file, const std::string& section, TStringList& list,
                   bool objectFromKey) {
    list.Clear();
    TStringList lines;
    file.ReadSectionValues(section, lines);
    for (const auto& item : lines) {
        const std::string& line = item.Text;
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        uint32_t value = 0;
        if (objectFromKey && !key.empty())
            value = static_cast<uint32_t>(U_StrToIntDef(key, 0));
        list.Add(line.substr(eq + 1), value);
    }
}

std::string U_IniReadStrCached(const TIniFile& file, const std::string& section,
                               const std::string& key, const std::string& def) {
    const std::string& value = CachedValue(file, section, key);
    return value.empty() ? def : value;
}

int32_t U_IniReadIntCached(const TIniFile& file, const std::string& section, const std::string& key,
                           int32_t def) {
    return U_StrToIntDef(CachedValue(file, section, key), def);
}

bool U_IniReadBoolCached(const TIniFile& file, const std::string& section, const std::string& key,
                         bool def) {
    const std::string& value = CachedValue(file, section, key);
    return value.empty() ? def : value == "1";
}

void U_IniClearAll(TIniFile& file) {
    try {
        file.EraseAllSections();
        file.UpdateFile();
    } catch (const EIniError& e) {
        ShowWriteError(e);
    }
}

} // namespace trovalen
