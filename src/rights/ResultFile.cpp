#include "rights/ResultFile.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "rights/ScanJson.h"
#include "util/FileIO.h"

namespace trovalen {

namespace {

using json = nlohmann::json;

// A result nests four levels below its top (entries, trustees, reasons, a reason); anything far
// deeper is no result, and the limit keeps a hostile file from costing a deep recursion.
constexpr int kMaxDepth = 16;

// A fault in the document: where and what.
struct TBadField {
    std::string Text;
};

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
    throw TBadField{where.empty() ? what : where + ": " + what};
}

json& Member(json& object, const std::string& where, const char* key) {
    auto it = object.find(key);
    if (it == object.end())
        Bad(where, std::string("missing \"") + key + "\"");
    return *it;
}

std::string Path(const std::string& where, const char* key) {
    return where.empty() ? std::string(key) : where + "." + key;
}

std::string Text(json& object, const std::string& where, const char* key) {
    json& value = Member(object, where, key);
    if (!value.is_string())
        Bad(Path(where, key), "not a text");
    // The document is read once: its texts are taken, not copied.
    return std::move(value.get_ref<std::string&>());
}

// A text that older results do not have.
std::string OptionalText(json& object, const std::string& where, const char* key) {
    return object.contains(key) ? Text(object, where, key) : std::string();
}

bool Flag(json& object, const std::string& where, const char* key) {
    json& value = Member(object, where, key);
    if (!value.is_boolean())
        Bad(Path(where, key), "not true or false");
    return value.get<bool>();
}

uint32_t Mask(json& object, const std::string& where, const char* key) {
    json& value = Member(object, where, key);
    if (!value.is_number_unsigned() || value.get<uint64_t>() > UINT32_MAX)
        Bad(Path(where, key), "not a rights mask (a whole number from 0 to 4294967295)");
    return static_cast<uint32_t>(value.get<uint64_t>());
}

json& List(json& object, const std::string& where, const char* key) {
    json& value = Member(object, where, key);
    if (!value.is_array())
        Bad(Path(where, key), "not a list");
    return value;
}

json& Object(json& value, const std::string& where) {
    if (!value.is_object())
        Bad(where, "not an object");
    return value;
}

std::string Item(const std::string& where, const char* key, size_t index) {
    return Path(where, key) + "[" + std::to_string(index) + "]";
}

std::vector<std::string> Texts(json& object, const std::string& where, const char* key) {
    std::vector<std::string> out;
    json& list = List(object, where, key);
    out.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (!list[i].is_string())
            Bad(Item(where, key, i), "not a text");
        out.push_back(std::move(list[i].get_ref<std::string&>()));
    }
    return out;
}

std::string Family(json& object, const std::string& where) {
    std::string family = Text(object, where, "family");
    if (family != "file-system" && family != "entry" && family != "attribute")
        Bad(Path(where, "family"), "\"" + family + "\" is no rights family");
    return family;
}

TSavedTrustee ReadTrustee(json& value, const std::string& where, bool edir) {
    json& t = Object(value, where);
    TSavedTrustee out;
    out.Class = Text(t, where, "class");
    out.Name = Text(t, where, "name");
    if (edir)
        out.Attribute = Text(t, where, "attribute");
    out.Family = Family(t, where);
    out.Rights = Text(t, where, "rights");
    out.Mask = Mask(t, where, "mask");
    out.Sources = Texts(t, where, "sources");
    json& reasons = List(t, where, "reasons");
    out.Reasons.reserve(reasons.size());
    for (size_t i = 0; i < reasons.size(); ++i) {
        std::string at = Item(where, "reasons", i);
        json& r = Object(reasons[i], at);
        out.Reasons.push_back(
            {Text(r, at, "rights"), Mask(r, at, "mask"), Family(r, at), Text(r, at, "why")});
    }
    return out;
}

TSavedEntry ReadEntry(json& value, const std::string& where, bool edir) {
    json& e = Object(value, where);
    TSavedEntry out;
    out.Name = Text(e, where, edir ? "object" : "path");
    out.Tree = Text(e, where, "tree");
    if (!edir) {
        out.Server = Text(e, where, "server");
        out.Volume = Text(e, where, "volume");
    }
    out.Status = Text(e, where, "status");
    if (out.Status != "analysed" && out.Status != "not-found" && out.Status != "failed" &&
        out.Status != "not-scanned")
        Bad(Path(where, "status"), "\"" + out.Status + "\" is no entry status");
    out.Complete = Flag(e, where, "complete");
    out.Incomplete = Texts(e, where, "incomplete");
    out.Errors = Texts(e, where, "errors");
    json& trustees = List(e, where, "trustees");
    out.Trustees.reserve(trustees.size());
    for (size_t i = 0; i < trustees.size(); ++i)
        out.Trustees.push_back(ReadTrustee(trustees[i], Item(where, "trustees", i), edir));
    return out;
}

void ReadDocument(json& doc, TSavedResult& out) {
    if (!doc.is_object() || !doc.contains("format") || !doc.contains("scanType") ||
        !doc.contains("entries"))
        Bad("", "not a scan result (trovalen-scan --format json writes one)");
    json& format = doc["format"];
    if (!format.is_number_unsigned() || format.get<uint64_t>() < 1)
        Bad("format", "not a layout version");
    if (format.get<uint64_t>() > uint64_t(kScanJsonFormat))
        Bad("", "written in a newer layout (format " + std::to_string(format.get<uint64_t>()) +
                    "); this version reads format " + std::to_string(kScanJsonFormat) +
                    " and older");
    out.Format = static_cast<int>(format.get<uint64_t>());
    out.Variant = Text(doc, "", "variant");
    out.Version = Text(doc, "", "version");
    out.Date = Text(doc, "", "date");
    out.Time = OptionalText(doc, "", "time");
    out.Source = OptionalText(doc, "", "source");
    std::string scanType = Text(doc, "", "scanType");
    if (scanType != "file-system" && scanType != "eDirectory")
        Bad("scanType", "\"" + scanType + "\" is no scan type");
    out.Edir = scanType == "eDirectory";
    json& settings = Object(Member(doc, "", "settings"), "settings");
    out.Settings.ResolveContainers = Flag(settings, "settings", "resolveContainers");
    if (!out.Edir)
        out.Settings.ScanSubdirs = Flag(settings, "settings", "scanSubdirs");
    out.Settings.OnlyUsers = Flag(settings, "settings", "onlyUsers");
    out.Settings.Exclude = Text(settings, "settings", "exclude");
    out.Settings.Include = Text(settings, "settings", "include");
    out.Complete = Flag(doc, "", "complete");
    out.Cancelled = Flag(doc, "", "cancelled");
    out.Ended = OptionalText(doc, "", "ended");
    out.Notes = Texts(doc, "", "notes");
    json& entries = List(doc, "", "entries");
    out.Entries.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        out.Entries.push_back(ReadEntry(entries[i], Item("", "entries", i), out.Edir));
}

// Whether brackets nest deeper than any result does, outside strings. One pass over the bytes is
// far cheaper than a parser callback on every value, and keeps a hostile file from building a
// deep tree.
bool NestedTooDeeply(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

bool U_ParseScanResult(std::string_view text, TSavedResult& result, std::string& error) {
    result = TSavedResult();
    error.clear();
    if (text.size() > kMaxResultFileBytes) {
        error = "larger than any scan result this version reads";
        return false;
    }
    if (NestedTooDeeply(text)) {
        error = "nested too deeply to be a scan result";
        return false;
    }
    json doc;
    try {
        doc = json::parse(text.begin(), text.end());
    } catch (const json::exception& e) {
        // The parser's message names the byte where the text stops being JSON.
        std::string what = e.what();
        size_t at = what.find("] ");
        error = "not JSON: " + (at == std::string::npos ? what : what.substr(at + 2));
        return false;
    }
    try {
        ReadDocument(doc, result);
    } catch (const TBadField& bad) {
        result = TSavedResult();
        error = bad.Text;
        return false;
    }
    return true;
}

bool U_ReadScanResultText(const std::string& fileName, std::string& text, std::string& error) {
    text.clear();
    struct stat st {};
    if (stat(fileName.c_str(), &st) == 0) {
        // A pipe or a device could hand on without end; a result is a file.
        if (!S_ISREG(st.st_mode)) {
            error = fileName + ": not a file";
            return false;
        }
        if (uint64_t(st.st_size) > kMaxResultFileBytes) {
            error = fileName + ": larger than any scan result this version reads";
            return false;
        }
    }
    if (!U_ReadFile(fileName, text, error)) {
        error = fileName + ": " + (error.empty() ? "no such file" : error);
        return false;
    }
    return true;
}

bool U_ReadScanResultFile(const std::string& fileName, TSavedResult& result, std::string& error) {
    result = TSavedResult();
    std::string text;
    if (!U_ReadScanResultText(fileName, text, error))
        return false;
    if (!U_ParseScanResult(text, result, error)) {
        error = fileName + ": " + error;
        return false;
    }
    return true;
}

} // namespace trovalen
