// The parts of the tree-file loader (SimLoader.h) that its files share: reading JSON values with
// the place of every fault, and the loader that fills one TSimWorld. A fault is thrown as a
// TLoadError and becomes the loader's one message at its entry points.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "backend/sim/SimLoader.h"
#include "backend/sim/SimModel.h"

namespace trovalen::sim::load {

using json = nlohmann::json;

// --- Faults and places --------------------------------------------------------------------------

struct TLoadError {
    std::string Pointer;
    std::string What;
};

[[noreturn]] void Fail(const std::string& ptr, const std::string& what);
// A key as a JSON pointer writes it ("~" and "/" escaped).
std::string EscapeKey(const std::string& key);
std::string Join(const std::string& ptr, const std::string& key);
std::string Join(const std::string& ptr, size_t index);

// --- Values -------------------------------------------------------------------------------------

void Expect(const json& v, json::value_t type, const std::string& ptr, const char* what);
// An object holding only the given keys (and "comment").
void CheckKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> keys);
const json* Opt(const json& obj, const char* key);
const json& Req(const json& obj, const char* key, const std::string& ptr);
std::string Str(const json& v, const std::string& ptr, size_t maxBytes = 65535);
bool Bool(const json& v, const std::string& ptr);
int64_t Int(const json& v, const std::string& ptr, int64_t lo, int64_t hi);
// A number written as JSON number or as hexadecimal text ("0x899C", "#0000ABCD", "$FD").
int64_t IntOrHex(const json& v, const std::string& ptr, int64_t lo, int64_t hi);
// Rights written as a number in text: decimal digits, or "$" and hex digits (blanks ignored).
// False when the text is no number at all; a number out of range is an error.
bool NumberText(const std::string& text, const std::string& ptr, uint32_t& value);
NWCCODE Code(const json& v, const std::string& ptr);
// Seconds since 1970 as a number or an ISO 8601 UTC text "2024-03-01T08:30:00Z".
uint32_t Time(const json& v, const std::string& ptr);

// --- Text ---------------------------------------------------------------------------------------

size_t CodePoints(const std::string& s);
std::u16string Utf16(const std::string& s);
// UTF-8 to the code page, exactly: false when a character has no place in it.
bool ToCodePage(const std::string& utf8, const std::string& codePage, std::string& out);
std::string HexBytes(const std::string& text, const std::string& ptr);

// --- Objects read from the text -----------------------------------------------------------------

// The objects of the trees are not kept as one document: the parse notes where each stands in the
// text (the document holds a discarded value in its place), and the loader parses it from there
// each time it reads it.
struct TDeferredText {
    const char* Text = nullptr;
    size_t Size = 0;
    // The span [begin, end) of each element of an "objects" array, by the array's node; an element
    // that is no JSON object stays in the document and has an empty span.
    std::unordered_map<const json*, std::vector<std::pair<size_t, size_t>>> Spans;
    // Told the end of each object read in text order, and the start of each new pass, so that the
    // text behind the reader can be given back.
    std::function<void(size_t)> Consumed;
    std::function<void()> Restart;
};

// Parses text with the bounds of a tree file (depth, duplicate keys).
bool ParseBounded(const char* begin, const char* end, json& out, std::string& error);

// --- The loader ---------------------------------------------------------------------------------

class TLoader {
public:
    explicit TLoader(TSimWorld& w, TDeferredText* deferred = nullptr)
        : FWorld(w), FDeferred(deferred) {}

    void Load(const json& root);

private:
    TSimWorld& FWorld;
    TDeferredText* FDeferred;
    uint32_t FNextId = 0x01000001;

    // Limits, schema extensions and failures (SimLoadSchema.cpp)
    void LoadLimits(const json& v, const std::string& ptr);
    void LoadSchema(const json& v, const std::string& ptr);
    void LoadFailures(const json& v, const std::string& ptr);

    // Objects (SimLoadObjects.cpp)
    void LoadTreeObjects(TSimTree& t, const json& v, const std::string& ptr);
    void LoadTreeValues(TSimTree& t, const json& v, const std::string& ptr);
    // Element i of an "objects" array, parsed into scratch when the document does not hold it.
    const json& Element(const json& objs, size_t i, const std::string& ptr, json& scratch);
    // The start of a pass over the objects of the trees.
    void RestartText();
    int32_t ObjectRef(const TSimTree& t, const json& v, const std::string& ptr,
                      const char* what = "object");
    // An object reference to an object of the class cls.
    int32_t ObjectRefOfClass(const TSimTree& t, const json& v, const std::string& ptr,
                             const char* what, const char* cls);

    // Attribute values (SimLoadValues.cpp)
    void ParseValue(const TSimTree& t, uint32_t syntax, const json& v, const std::string& ptr,
                    TAttrValue& out, std::string* stream);
    std::string Octets(const json& v, const std::string& ptr, size_t maxBytes, bool plainIsText);
    void ParseAcl(const TSimTree& t, const json& v, const std::string& ptr, TAttrValue& out,
                  TSimAcl& acl);

    // Servers, volumes and connections (SimLoadServers.cpp)
    void LoadServer(const json& v, const std::string& ptr);
    void LoadDir(TSimServer& srv, TSimVolume& vol, int32_t index, const json& v,
                 const std::string& ptr);
    void LoadTrustees(const TSimServer& srv, TSimDir& dir, const json& v, const std::string& ptr);
    void LoadConnections(const json& v, const std::string& ptr);
};

} // namespace trovalen::sim::load
