#include "rights/SecEquCache.h"

#include "util/Util.h"

namespace trovalen {

std::string TSecEquCache::KeyOf(std::string_view trustee) {
    // U_UpperCase(U_IniCleanName(trustee)) in one pass: asked once per trustee.
    std::string key;
    key.reserve(trustee.size());
    for (char c : trustee)
        if (c != '[' && c != ']')
            key += U_UpCaseChar(c);
    return key;
}

const std::vector<std::string>* TSecEquCache::Find(const std::string& trustee) const {
    return FindKey(KeyOf(trustee));
}

const std::vector<std::string>* TSecEquCache::FindKey(const std::string& key) const {
    const uint32_t number = FKeys.FindSubject(key);
    return number == TTrusteeIndex::kNone ? nullptr : &FNames[number];
}

const std::vector<std::string>* TSecEquCache::Store(const std::string& trustee,
                                                    const TStringList& found) {
    return StoreKey(KeyOf(trustee), found);
}

const std::vector<std::string>* TSecEquCache::StoreKey(const std::string& key,
                                                       const TStringList& found) {
    const uint32_t number = FKeys.Subject(key);
    if (number >= FNames.size())
        FNames.resize(number + 1);
    std::vector<std::string>& names = FNames[number];
    names.clear();
    names.reserve(found.Items.size());
    for (const auto& item : found)
        names.push_back(item.Text);
    return &names;
}

void TSecEquCache::EraseAll() {
    FKeys = TTrusteeIndex();
    FNames.clear();
}

} // namespace trovalen
