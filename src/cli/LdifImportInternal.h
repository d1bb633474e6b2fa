// Helpers the LDIF import shares between its files.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "model/NWClient.h"

namespace trovalen::ldifimport {

// Keys stay in the order written, so that each object reads name, class, then the rest.
using json = nlohmann::ordered_json;

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view s);
// UTF-8 without control characters other than a tab.
bool IsText(std::string_view s);
std::string HexOf(std::string_view bytes);

// A value of the syntax in the tree file's form, within the loader's bounds; false with the reason
// when the tree file cannot hold it. Names in values are full typeless names without a dot.
bool ValueJson(uint32_t syntax, const TAttrValue& value, json& out, std::string& why);
// A stream attribute's content.
bool StreamJson(const std::string& content, json& out, std::string& why);

} // namespace trovalen::ldifimport
