// The security-equivalence cache of one analysis: which objects name a trustee in their
// "Security Equals", searched once per trustee name and analysis.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "util/StringList.h"

namespace trovalen {

class TIniFile;

// A settings-style file private to the running instance. Section "Security Equals" holds the
// number of objects found per trustee, a section named after the trustee the names found.
// Lookups are served from memory; each search reaches the file in one write, so a trustee with
// thousands of equivalents costs no more than one.
class TSecEquCache {
public:
    TSecEquCache();
    ~TSecEquCache();
    TSecEquCache(const TSecEquCache&) = delete;
    TSecEquCache& operator=(const TSecEquCache&) = delete;

    // Null when the trustee has not been searched yet.
    const std::vector<std::string>* Find(const std::string& trustee) const;
    void Store(const std::string& trustee, const TStringList& found);
    void EraseAll();

private:
    std::unique_ptr<TIniFile> FIni;
    // Section names as the file compares them: without brackets, ignoring case.
    std::map<std::string, std::vector<std::string>> FNames;
};

// Where the cache files are kept; empty: a private temporary file.
std::string& U_SecEquCacheFolder();

} // namespace trovalen
