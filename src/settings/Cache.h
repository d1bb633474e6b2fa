// The object cache: strings addressed by section and key, kept for one program run in a private
// INI file of its own (a new file of mode 0600 in the user's private temporary folder, so no other
// user or instance can see or change it). Nothing is ever evicted; the file is removed when the
// cache is destroyed.
#pragma once

#include <memory>
#include <string>

#include "settings/IniFile.h"

namespace trovalen {

class TCache {
public:
    // Creates the cache file. When no private file can be made the cache says why once and then
    // works as an empty cache that keeps nothing.
    TCache();
    ~TCache();
    TCache(const TCache&) = delete;
    TCache& operator=(const TCache&) = delete;

    // A conditional write (U_IniWriteStr): "[" and "]" leave section and key; the file is
    // written only when the value changes.
    void WriteValue(const std::string& section, const std::string& key, const std::string& value);
    // A cached read (U_IniReadStrCached) with an empty default: "[" and "]" leave the key, the
    // section is taken as given.
    std::string ReadValue(const std::string& section, const std::string& key) const;

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    std::unique_ptr<TIniFile> FIni;
};

} // namespace trovalen
