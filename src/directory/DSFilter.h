// The search filter language: a filter written as one line of text is normalised into token
// lines, translated into the client's filter tokens and run over a subtree.
#pragma once

#include <cstdint>
#include <string>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// Searches below base with a filter text; each object found is added with companion value 1.
NWCCODE U_DSFilteredSearch(TNWClient* client, NWHandle ctx, const std::string& base,
                           const std::string& filter, TStringList& list, int scope);
// The routine behind it; format is the text of each found entry, "#NAME#" standing for the
// object's name.
NWCCODE U_DSSearch(TNWClient* client, NWHandle ctx, const std::string& base,
                   const std::string& filter, TStringList& list, int scope,
                   const std::string& format = "#NAME#");
// The normalised filter, one token or comparison per line.
TStringList U_DSNormalizeFilter(const std::string& filter);
// Converts a comparison value written as text into the client's record for the syntax: 0, -702
// when the text does not convert (or does not fit the client's 2047-byte value area), -623 when
// the syntax takes no filter values (Case Ignore List included).
NWCCODE U_DSFilterValue(uint32_t syntax, const std::string& text, TAttrValue& value);

// Objects whose attribute equals value, whatever characters the value holds: the tokens go to
// the client directly, never through the text language.
NWCCODE U_DSSearchEqual(TNWClient* client, NWHandle ctx, const std::string& base,
                        const std::string& attr, const std::string& value, TStringList& list,
                        int scope);

} // namespace trovalen
