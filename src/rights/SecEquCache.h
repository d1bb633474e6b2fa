// The security-equivalence cache of one analysis: which objects name a trustee in their
// "Security Equals", searched once per trustee name and analysis.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rights/TrusteeIndex.h"
#include "util/StringList.h"

namespace trovalen {

// Held in memory only, keyed by the trustee's name as settings files compare section names
// (without brackets, ignoring case). A search of a trustee with thousands of equivalents costs one
// entry; writing each search to a file made an analysis of many trustees quadratic. The keys sit
// in one table of kept texts: an analysis searches once for each of its trustees.
class TSecEquCache {
public:
    // The key of a trustee's name; Find and Store take either.
    static std::string KeyOf(std::string_view trustee);

    // Null when the trustee has not been searched yet.
    const std::vector<std::string>* Find(const std::string& trustee) const;
    const std::vector<std::string>* FindKey(const std::string& key) const;
    // Returns the entry as stored.
    const std::vector<std::string>* Store(const std::string& trustee, const TStringList& found);
    const std::vector<std::string>* StoreKey(const std::string& key, const TStringList& found);
    void EraseAll();

private:
    TTrusteeIndex FKeys; // subjects: the keys
    std::vector<std::vector<std::string>> FNames;
};

} // namespace trovalen
