#include "convert/TreeFileWriter.h"

namespace trovalen::convert {

namespace {

// Text that JSON writes as it is: printable ASCII other than the quote and the backslash.
bool Plain(std::string_view text) {
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\')
            return false;
    }
    return true;
}

} // namespace

void TTreeFileWriter::AppendString(std::string_view text, std::string& out) const {
    if (Plain(text)) {
        out += '"';
        out += text;
        out += '"';
        return;
    }
    out += TTreeJson(std::string(text)).dump(-1, ' ', false, TTreeJson::error_handler_t::replace);
}

void TTreeFileWriter::AppendValue(const TTreeJson& value, std::string& out) const {
    const bool spaced = FLayout == TTreeLayout::Spaced;
    const char* const comma = spaced ? ", " : ",";
    const char* const colon = spaced ? ": " : ":";
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            if (!first)
                out += comma;
            first = false;
            AppendString(key, out);
            out += colon;
            AppendValue(member, out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        bool first = true;
        for (const TTreeJson& element : value) {
            if (!first)
                out += comma;
            first = false;
            AppendValue(element, out);
        }
        out += ']';
    } else if (value.is_string()) {
        AppendString(value.get_ref<const std::string&>(), out);
    } else {
        out += value.dump(-1, ' ', false, TTreeJson::error_handler_t::replace);
    }
}

void TTreeFileWriter::Schema(const TTreeJson& schema) {
    FSchema.clear();
    AppendValue(schema, FSchema);
}

void TTreeFileWriter::Tree(std::string_view name) {
    FTreeName.clear();
    AppendString(name, FTreeName);
}

void TTreeFileWriter::Object(const TTreeJson& object) {
    if (FObjectCount++ > 0)
        FObjects += ',';
    FObjects += FLayout == TTreeLayout::Spaced ? "\n  " : "\n    ";
    AppendValue(object, FObjects);
}

void TTreeFileWriter::Servers(const TTreeJson& servers) {
    FServers.clear();
    AppendValue(servers, FServers);
}

void TTreeFileWriter::Connections(const TTreeJson& connections) {
    FConnections.clear();
    AppendValue(connections, FConnections);
}

std::string TTreeFileWriter::Take() {
    const bool spaced = FLayout == TTreeLayout::Spaced;
    const std::string indent = spaced ? " " : "  ";
    std::string head = spaced ? "{" : "{\n" + indent;
    head += "\"format\": 1";
    if (!FSchema.empty())
        head += ",\n" + indent + "\"schema\": " + FSchema;
    head += ",\n" + indent + "\"trees\": [{\"name\": " + FTreeName + ", \"objects\": [";
    // The objects may be most of a large file: the rest is written around them in place.
    std::string out = std::move(FObjects);
    out.insert(0, head);
    if (FObjectCount > 0)
        out += "\n" + indent;
    out += "]}]";
    if (!FServers.empty())
        out += ",\n" + indent + "\"servers\": " + FServers;
    if (!FConnections.empty())
        out += ",\n" + indent + "\"connections\": " + FConnections;
    out += spaced ? "}\n" : "\n}\n";
    *this = TTreeFileWriter(FLayout);
    return out;
}

} // namespace trovalen::convert
