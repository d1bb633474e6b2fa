#include "rights/SecEquCache.h"

#include <unistd.h>

#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "util/FileIO.h"
#include "util/Util.h"

namespace trovalen {

namespace {
constexpr char kSecEquSection[] = "Security Equals";
} // namespace

std::string& U_SecEquCacheFolder() {
    static std::string folder;
    return folder;
}

TSecEquCache::TSecEquCache() {
    std::string error;
    const std::string& folder = U_SecEquCacheFolder();
    std::string path = folder.empty() ? U_CreatePrivateTempFile("trovalen-", ".cache", error)
                                      : folder + "/trovalen-" + std::to_string(getpid()) + ".cache";
    if (!path.empty()) {
        FIni = std::make_unique<TIniFile>(path);
        FIni->SetDurable(false);
        FIni->SetShared(false);
    }
}

TSecEquCache::~TSecEquCache() {
    if (FIni) {
        std::string path = FIni->FileName();
        FIni.reset();
        unlink(path.c_str());
    }
}

const std::vector<std::string>* TSecEquCache::Find(const std::string& trustee) const {
    auto it = FNames.find(U_UpperCase(U_IniCleanName(trustee)));
    return it == FNames.end() ? nullptr : &it->second;
}

void TSecEquCache::Store(const std::string& trustee, const TStringList& found) {
    std::string section = U_IniCleanName(trustee);
    FNames[U_UpperCase(section)] = found.Strings();
    if (!FIni)
        return;
    try {
        std::vector<std::pair<std::string, std::string>> entries;
        for (int i = 0; i < found.Count(); ++i)
            entries.emplace_back(std::to_string(i), U_Quoted(found[i]));
        FIni->WriteSection(section, entries);
        FIni->WriteInteger(kSecEquSection, section, found.Count());
    } catch (const std::exception&) {
        // The file is a record of the searches; the analysis goes on from memory.
    }
}

void TSecEquCache::EraseAll() {
    FNames.clear();
    if (!FIni)
        return;
    try {
        FIni->EraseAllSections();
    } catch (const std::exception&) {
        // Left as it is: the file is removed with the cache at the end of the analysis.
    }
}

} // namespace trovalen
