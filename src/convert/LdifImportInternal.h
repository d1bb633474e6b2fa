// Helpers the LDIF import shares between its files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/LdifReader.h"
#include "convert/TreeFileWriter.h"
#include "model/NWClient.h"

namespace trovalen::convert::ldifimport {

// The values of the tree file, as its writer takes them.
using json = TTreeJson;

// UTF-8 without control characters other than a tab.
bool IsText(std::string_view s);
// A DN or value as it may stand in a message: one line, cut short.
std::string Shown(std::string_view text);
// Code points of a UTF-8 text.
size_t CodePoints(std::string_view s);
// Why a DN part can be no part of a typeless name; empty when it can.
std::string BadPart(std::string_view part);
// The container class a missing container is made of, by the type of its name.
std::string_view ContainerClassOf(std::string_view rdnType);
// Definitions of a slapd schema file: `attributetype ( ... )` and `objectclass ( ... )`, continued
// on lines that begin with a blank; false when the text holds none.
bool SlapdDefinitions(std::string_view text, std::vector<std::string>& attrs,
                      std::vector<std::string>& classes);

// The root DSE written beside an LDIF (one entry with the empty DN): found tells whether it holds
// one; what the text lacks goes to losses; false with the reason when it cannot be read.
bool RootDseBeside(std::string_view text, TLdifRecord& rootDse, bool& found,
                   std::vector<std::string>& losses, std::string& error);

// A value of the syntax in the tree file's form, within the loader's bounds; false with the reason
// when the tree file cannot hold it. Names in values are full typeless names without a dot.
bool ValueJson(uint32_t syntax, const TAttrValue& value, json& out, std::string& why);
// A stream attribute's content.
bool StreamJson(const std::string& content, json& out, std::string& why);

} // namespace trovalen::convert::ldifimport
