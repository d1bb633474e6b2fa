// Attributes read as lines of text: the directory layer's raw values, formatted here, with the
// pseudo attributes and chains that settings and reports name.
#pragma once

#include <string>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

NWCCODE U_DSReadAttribute(TNWClient* client, NWHandle ctx, const std::string& object,
                          const std::string& attr, TStringList& lines);
NWCCODE U_DSGetAttribute(TNWClient* client, NWHandle ctx, const std::string& object,
                         const std::string& attr, TStringList& lines);
// Pseudo attributes (CONTEXT, RDN, CLASS, createTimeStamp, modifyTimestamp) and chains "A|B".
NWCCODE U_DSGetAttributeEx(TNWClient* client, NWHandle ctx, const std::string& object,
                           const std::string& attrPath, TStringList& lines);
// The lines joined with CR LF; text is left unchanged on failure.
NWCCODE U_DSGetAttributeText(TNWClient* client, NWHandle ctx, const std::string& object,
                             const std::string& attrPath, std::string& text);

} // namespace trovalen
