#include "rights/SecEquCache.h"

#include "settings/Ini.h"
#include "util/Util.h"

namespace trovalen {

const std::vector<std::string>* TSecEquCache::Find(const std::string& trustee) const {
    auto it = FNames.find(U_UpperCase(U_IniCleanName(trustee)));
    return it == FNames.end() ? nullptr : &it->second;
}

void TSecEquCache::Store(const std::string& trustee, const TStringList& found) {
    FNames[U_UpperCase(U_IniCleanName(trustee))] = found.Strings();
}

void TSecEquCache::EraseAll() {
    FNames.clear();
}

} // namespace trovalen
