// Attribute values of an LDIF entry in the tree file's JSON form, checked against the bounds the
// tree-file loader sets, so that a written file always loads; names, and schema files.
#include "convert/LdifImportInternal.h"

#include <algorithm>
#include <type_traits>

#include "backend/ldap/LdapSchema.h"
#include "backend/sim/SimLoader.h"
#include "util/Util.h"

namespace trovalen::convert::ldifimport {

using namespace trovalen::sim;

namespace {

constexpr size_t kMaxTextBytes = 65535;     // one text value
constexpr size_t kMaxPathChars = 1024;      // a path value's path
constexpr size_t kMaxNetAddressBytes = 256; // 512 hex digits
constexpr size_t kMaxPostalLine = 1024;
constexpr size_t kShownChars = 120;

} // namespace

bool IsText(std::string_view s) {
    return U_IsValidUtf8(s) && std::none_of(s.begin(), s.end(), [](char c) {
               unsigned char u = static_cast<unsigned char>(c);
               return (u < 0x20 && c != '\t') || u == 0x7F;
           });
}

std::string Shown(std::string_view text) {
    return U_ShownText(text, kShownChars);
}

size_t CodePoints(std::string_view s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string BadPart(std::string_view part) {
    if (part.empty())
        return "an empty name";
    if (!U_IsValidUtf8(part))
        return "a name that is no UTF-8";
    if (part[0] == '[')
        return "a name that begins with \"[\"";
    for (char c : part) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '.' || c == '=' || c == '\\')
            return std::string("a name with \"") + c + "\", which a typeless name cannot hold";
        if (u < 0x20 || u == 0x7F)
            return "a name with a control character";
    }
    return {};
}

std::string_view ContainerClassOf(std::string_view rdnType) {
    std::string t = U_LowerCase(rdnType);
    if (t == "o")
        return "Organization";
    if (t == "c")
        return "Country";
    if (t == "l" || t == "st")
        return "Locality";
    return "Organizational Unit";
}

bool SlapdDefinitions(std::string_view text, std::vector<std::string>& attrs,
                      std::vector<std::string>& classes) {
    std::vector<std::string>* current = nullptr;
    bool any = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#') {
            current = nullptr;
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') {
            if (current != nullptr &&
                current->back().size() + line.size() <= ldap::kMaxSchemaDefinitionBytes)
                current->back() += " " + std::string(line);
            continue;
        }
        size_t blank = line.find_first_of(" \t");
        std::string keyword = U_LowerCase(line.substr(0, blank));
        current = keyword == "attributetype" || keyword == "attributetypes" ? &attrs
                  : keyword == "objectclass" || keyword == "objectclasses"  ? &classes
                                                                            : nullptr;
        if (current == nullptr || blank == std::string_view::npos)
            continue;
        any = true;
        std::string_view rest = line.substr(blank);
        // `attributeTypes: ( ... )` (a subschema entry) reads the same way.
        size_t paren = rest.find('(');
        current->emplace_back(paren == std::string_view::npos ? rest : rest.substr(paren));
    }
    return any;
}

bool RootDseBeside(std::string_view text, TLdifRecord& rootDse, bool& found,
                   std::vector<std::string>& losses, std::string& error) {
    TLdifReader reader(text);
    TLdifRecord record;
    while (reader.Next(record)) {
        if (!record.Dn.empty() && record.Dn.find_first_not_of(' ') != std::string::npos) {
            error = "the root DSE beside the LDIF holds an entry that is no root DSE (" +
                    record.Dn.substr(0, 200) + ")";
            return false;
        }
        rootDse = std::move(record);
        found = true;
    }
    if (!reader.Error().empty()) {
        error = "the root DSE beside the LDIF: " + reader.Error();
        return false;
    }
    for (const std::string& g : reader.Gaps())
        losses.push_back("the root DSE beside the LDIF: " + g);
    return true;
}

bool ValueJson(uint32_t syntax, const TAttrValue& value, json& out, std::string& why) {
    auto text = [&](const std::string& s, size_t max = kMaxTextBytes) {
        if (!U_IsValidUtf8(s)) {
            why = "the value is no UTF-8 text";
            return false;
        }
        if (s.size() > max) {
            why = "the value is longer than " + std::to_string(max) + " bytes";
            return false;
        }
        return true;
    };
    auto octets = [&](const std::string& bytes) {
        if (bytes.size() > kMaxOctetBytes) {
            why = "the value is longer than " + std::to_string(kMaxOctetBytes) + " bytes";
            return false;
        }
        return true;
    };
    return std::visit(
        [&](const auto& d) -> bool {
            using T = std::decay_t<decltype(d)>;
            if constexpr (std::is_same_v<T, TValString>) {
                if (!text(d.Text))
                    return false;
                if (syntax == SYN_NU_STRING &&
                    d.Text.find_first_not_of("0123456789 ") != std::string::npos) {
                    why = "a Numeric String holds digits and blanks only";
                    return false;
                }
                out = syntax == SYN_DIST_NAME ? "." + d.Text : d.Text;
            } else if constexpr (std::is_same_v<T, TValCIList>) {
                out = json::array();
                for (const std::string& item : d.Items) {
                    if (!text(item))
                        return false;
                    out.push_back(item);
                }
            } else if constexpr (std::is_same_v<T, TValBoolean>) {
                out = d.Value != 0;
            } else if constexpr (std::is_same_v<T, TValInteger>) {
                out = d.Value;
            } else if constexpr (std::is_same_v<T, TValOctetString>) {
                if (!octets(d.Data))
                    return false;
                out = json{{"hex", U_HexOf(d.Data)}};
            } else if constexpr (std::is_same_v<T, TValFax>) {
                if (!text(d.TelephoneNumber))
                    return false;
                out = d.TelephoneNumber;
            } else if constexpr (std::is_same_v<T, TValNetAddress>) {
                if (d.Address.size() > kMaxNetAddressBytes) {
                    why = "a network address of more than " + std::to_string(kMaxNetAddressBytes) +
                          " bytes";
                    return false;
                }
                out = json{{"type", d.AddressType}, {"hex", U_HexOf(d.Address)}};
            } else if constexpr (std::is_same_v<T, TValEMail>) {
                if (!text(d.Address))
                    return false;
                out = json{{"type", d.Type}, {"address", d.Address}};
            } else if constexpr (std::is_same_v<T, TValPath>) {
                if (!text(d.Path, kMaxPathChars))
                    return false;
                out = json{{"nameSpace", d.NameSpaceType},
                           {"volume", "." + d.VolumeName},
                           {"path", d.Path}};
            } else if constexpr (std::is_same_v<T, TValReplicaPointer>) {
                out = json{{"server", "." + d.ServerName},
                           {"type", d.ReplicaType},
                           {"number", d.ReplicaNumber}};
            } else if constexpr (std::is_same_v<T, TValPostalAddress>) {
                size_t used = d.Lines.size();
                while (used > 0 && d.Lines[used - 1].empty())
                    --used;
                out = json::array();
                for (size_t i = 0; i < used; ++i) {
                    if (!text(d.Lines[i], kMaxPostalLine))
                        return false;
                    out.push_back(d.Lines[i]);
                }
            } else if constexpr (std::is_same_v<T, TValTimestamp>) {
                out =
                    json{{"time", d.WholeSeconds}, {"replica", d.ReplicaNum}, {"event", d.EventID}};
            } else if constexpr (std::is_same_v<T, TValBackLink>) {
                out = json{{"remoteId", d.RemoteID}, {"object", "." + d.ObjectName}};
            } else if constexpr (std::is_same_v<T, TValTime>) {
                out = d.Seconds;
            } else if constexpr (std::is_same_v<T, TValTypedName>) {
                out = json{
                    {"object", "." + d.ObjectName}, {"level", d.Level}, {"interval", d.Interval}};
            } else if constexpr (std::is_same_v<T, TValHold>) {
                out = json{{"object", "." + d.ObjectName}, {"amount", d.Amount}};
            } else if constexpr (std::is_same_v<T, TValInterval>) {
                out = d.Seconds;
            } else if constexpr (std::is_same_v<T, TValUnknown>) {
                if (!octets(d.Value))
                    return false;
                out = json{
                    {"attribute", d.AttrName}, {"syntax", d.Syntax}, {"hex", U_HexOf(d.Value)}};
            } else if constexpr (std::is_same_v<T, TValRaw>) {
                if (!octets(d.Bytes))
                    return false;
                // An octet list arrives as one byte string: it is the list's one element.
                if (syntax == SYN_OCTET_LIST)
                    out = json::array({json{{"hex", U_HexOf(d.Bytes)}}});
                else
                    out = json{{"hex", U_HexOf(d.Bytes)}};
            } else {
                why = "a value of this syntax has no form here";
                return false;
            }
            return true;
        },
        value.Data);
}

bool StreamJson(const std::string& content, json& out, std::string& why) {
    if (content.size() > kMaxStreamBytes) {
        why = "a stream longer than " + std::to_string(kMaxStreamBytes) + " bytes";
        return false;
    }
    // A plain text is the stream's own text; other bytes go as hex.
    if (U_IsValidUtf8(content))
        out = content;
    else
        out = json{{"hex", U_HexOf(content)}};
    return true;
}

} // namespace trovalen::convert::ldifimport
