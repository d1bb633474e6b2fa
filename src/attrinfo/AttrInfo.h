// Turns one directory attribute value of any syntax into lines of text, including the decoded
// contents of well-known octet-string and stream attributes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// Appends the value's line or lines; returns 0, or a stream's failure code (then no line).
NWCCODE U_FormatAttrValue(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, TStringList& lines, const TAttrValue& value,
                          uint32_t valueSize, uint32_t valueNumber);
std::string U_FormatOctetValue(const std::string& octet, const std::string& attr,
                               uint32_t valueNumber);
// Every attribute name whose octet values get a decoded form (the rest show a hex dump).
std::vector<std::string> U_DecodedOctetAttributes();
NWCCODE U_StreamValueText(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, std::string& text);
std::string U_AOTStreamText(const std::string& data, const std::string& attr);
std::string U_ReplicaStateText(uint32_t state);

} // namespace trovalen
