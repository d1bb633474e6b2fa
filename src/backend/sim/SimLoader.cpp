#include "backend/sim/SimLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalen::sim {

using json = nlohmann::json;

namespace {

// --- Parsing with bounds ------------------------------------------------------------------------

// Builds the document from SAX events, refusing deep nesting and duplicate keys (which a plain
// parse would silently drop) before they can do harm.
class TBoundedBuilder : public nlohmann::json_sax<json> {
public:
    json Root;
    std::string Error;

    bool null() override { return Put(json(nullptr)); }
    bool boolean(bool v) override { return Put(json(v)); }
    bool number_integer(number_integer_t v) override { return Put(json(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Put(json(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Put(json(v)); }
    bool string(string_t& v) override { return Put(json(std::move(v))); }
    bool binary(binary_t&) override { return Fail("binary values are not JSON"); }
    bool start_object(std::size_t) override { return Open(json::object()); }
    bool start_array(std::size_t) override { return Open(json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& k) override {
        Frame& f = stack_.back();
        auto [it, fresh] = f.Node->get_ref<json::object_t&>().emplace(k, nullptr);
        if (!fresh)
            return Fail("the key \"" + k + "\" appears twice", k);
        f.Key = k;
        f.Slot = &it->second;
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& ex) override {
        std::string what = ex.what();
        // "[json.exception.parse_error.101] parse error at line 3, column 7: ..."
        size_t cut = what.find("] ");
        Error = cut == std::string::npos ? what : what.substr(cut + 2);
        return false;
    }

    // The JSON pointer of the value being read.
    std::string Pointer(const std::string& extra = std::string()) const {
        std::string p;
        for (size_t i = 0; i < stack_.size(); ++i) {
            const Frame& f = stack_[i];
            bool last = i + 1 == stack_.size();
            if (f.Node->is_array()) {
                if (!last || extra.empty())
                    p += "/" + std::to_string(f.Node->size() - (last ? 0 : 1));
            } else if (!last || extra.empty()) {
                p += "/" + Escape(f.Key);
            }
        }
        if (!extra.empty())
            p += "/" + Escape(extra);
        return p.empty() ? "/" : p;
    }

    static std::string Escape(const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '~')
                out += "~0";
            else if (c == '/')
                out += "~1";
            else
                out += c;
        }
        return out;
    }

private:
    struct Frame {
        json* Node;
        std::string Key;
        json* Slot = nullptr; // the value of Key in Node
    };
    std::vector<Frame> stack_;

    bool Fail(const std::string& what, const std::string& key = std::string()) {
        Error = Pointer(key) + ": " + what;
        return false;
    }
    json* Place(json&& v) {
        if (stack_.empty()) {
            Root = std::move(v);
            return &Root;
        }
        Frame& f = stack_.back();
        if (f.Node->is_array()) {
            f.Node->push_back(std::move(v));
            return &f.Node->back();
        }
        *f.Slot = std::move(v);
        return f.Slot;
    }
    bool Put(json&& v) {
        Place(std::move(v));
        return true;
    }
    bool Open(json&& v) {
        if (stack_.size() >= kMaxJsonDepth)
            return Fail("the JSON is nested more than " + std::to_string(kMaxJsonDepth) +
                        " levels deep");
        json* node = Place(std::move(v));
        stack_.push_back({node, std::string(), nullptr});
        return true;
    }
    bool Close() {
        stack_.pop_back();
        return true;
    }
};

// --- Semantic errors ----------------------------------------------------------------------------

struct TLoadError {
    std::string Pointer;
    std::string What;
};

[[noreturn]] void Fail(const std::string& ptr, const std::string& what) {
    throw TLoadError{ptr.empty() ? "/" : ptr, what};
}

std::string Join(const std::string& ptr, const std::string& key) {
    return ptr + "/" + TBoundedBuilder::Escape(key);
}
std::string Join(const std::string& ptr, size_t index) {
    return ptr + "/" + std::to_string(index);
}

const char* TypeName(const json& v) {
    switch (v.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a boolean";
    case json::value_t::number_float:
        return "a fraction";
    default:
        return "a number";
    }
}

void Expect(const json& v, json::value_t type, const std::string& ptr, const char* what) {
    bool ok = v.type() == type || (type == json::value_t::number_integer && v.is_number_unsigned());
    if (!ok)
        Fail(ptr, std::string("expected ") + what + ", found " + TypeName(v));
}

void CheckKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> keys) {
    Expect(obj, json::value_t::object, ptr, "an object");
    for (const auto& [k, v] : obj.items()) {
        (void)v;
        if (k == "comment")
            continue;
        bool known = false;
        for (const char* allowed : keys)
            known = known || k == allowed;
        if (!known) {
            std::string list;
            for (const char* allowed : keys)
                list += std::string(list.empty() ? "" : ", ") + allowed;
            Fail(Join(ptr, k), "unknown key \"" + k + "\" (known here: " + list + ")");
        }
    }
}

const json* Opt(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

const json& Req(const json& obj, const char* key, const std::string& ptr) {
    auto it = obj.find(key);
    if (it == obj.end())
        Fail(ptr, std::string("the key \"") + key + "\" is missing");
    return *it;
}

std::string Str(const json& v, const std::string& ptr, size_t maxBytes = 65535) {
    Expect(v, json::value_t::string, ptr, "a string");
    const auto& s = v.get_ref<const std::string&>();
    if (s.size() > maxBytes)
        Fail(ptr, "the text is longer than " + std::to_string(maxBytes) + " bytes");
    return s;
}

bool Bool(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::boolean, ptr, "true or false");
    return v.get<bool>();
}

int64_t Int(const json& v, const std::string& ptr, int64_t lo, int64_t hi) {
    if (v.is_number_unsigned()) {
        auto u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi))
            Fail(ptr, "the number " + std::to_string(u) + " is out of range (" +
                          std::to_string(lo) + " to " + std::to_string(hi) + ")");
        return static_cast<int64_t>(u);
    }
    if (!v.is_number_integer())
        Fail(ptr, std::string("expected a whole number, found ") + TypeName(v));
    auto i = v.get<int64_t>();
    if (i < lo || i > hi)
        Fail(ptr, "the number " + std::to_string(i) + " is out of range (" + std::to_string(lo) +
                      " to " + std::to_string(hi) + ")");
    return i;
}

// A number written as JSON number or as hexadecimal text ("0x899C", "#0000ABCD", "$FD").
int64_t IntOrHex(const json& v, const std::string& ptr, int64_t lo, int64_t hi) {
    if (!v.is_string())
        return Int(v, ptr, lo, hi);
    std::string s = v.get<std::string>();
    std::string digits = s;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0)
        digits = digits.substr(2);
    else if (!digits.empty() && (digits[0] == '#' || digits[0] == '$'))
        digits = digits.substr(1);
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Fail(ptr, "\"" + s + "\" is not a number (write a number or hexadecimal digits)");
    int64_t value = static_cast<int64_t>(std::stoull(digits, nullptr, 16));
    if (value < lo || value > hi)
        Fail(ptr, "the number \"" + s + "\" is out of range");
    return value;
}

// Rights written as a number in text: decimal digits, or "$" and hex digits (blanks ignored).
// False when the text is no number at all; a number out of range is an error.
bool NumberText(const std::string& text, const std::string& ptr, uint32_t& value) {
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    bool hex = !digits.empty() && digits[0] == '$';
    std::string body = hex ? digits.substr(1) : digits;
    if (body.empty() ||
        body.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    unsigned long long v = body.size() > 10 ? ~0ull : std::stoull(body, nullptr, hex ? 16 : 10);
    if (v > UINT32_MAX)
        Fail(ptr, "the number \"" + text + "\" is out of range");
    value = static_cast<uint32_t>(v);
    return true;
}

NWCCODE Code(const json& v, const std::string& ptr) {
    int64_t c = IntOrHex(v, ptr, INT32_MIN, UINT32_MAX);
    return static_cast<NWCCODE>(static_cast<uint32_t>(c));
}

// Seconds since 1970 as a number or an ISO 8601 UTC text "2024-03-01T08:30:00Z".
uint32_t Time(const json& v, const std::string& ptr) {
    if (!v.is_string())
        return static_cast<uint32_t>(Int(v, ptr, 0, UINT32_MAX));
    std::string s = v.get<std::string>();
    struct tm tm {};
    int y, mo, d, h = 0, mi = 0, sec = 0;
    char tail = 0;
    int n = std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &sec, &tail);
    bool ok = (n == 3 && s.size() == 10) || (n == 7 && tail == 'Z' && s.size() == 20);
    if (!ok || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59 || y < 1970)
        Fail(ptr, "\"" + s + "\" is no time (write seconds or \"YYYY-MM-DDTHH:MM:SSZ\")");
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    time_t t = timegm(&tm);
    if (t < 0 || t > static_cast<time_t>(UINT32_MAX))
        Fail(ptr, "\"" + s + "\" lies outside 1970 to 2106");
    struct tm back {};
    gmtime_r(&t, &back);
    if (back.tm_mday != d || back.tm_mon != mo - 1)
        Fail(ptr, "\"" + s + "\" is no date of the calendar");
    return static_cast<uint32_t>(t);
}

// --- Text helpers -------------------------------------------------------------------------------

size_t CodePoints(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            len = 3;
        } else {
            cp = c & 0x07;
            len = 4;
        }
        for (size_t k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// UTF-8 to the code page, exactly: false when a character has no place in it.
bool ToCodePage(const std::string& utf8, const std::string& codePage, std::string& out) {
    iconv_t cd = iconv_open(codePage.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* o = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || r != 0)
        return false;
    out.resize(out.size() - outLeft);
    return true;
}

std::string HexBytes(const std::string& text, const std::string& ptr) {
    std::string digits;
    for (char c : text) {
        if (c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            Fail(ptr, "\"" + text.substr(0, 40) + "\" holds a character that is no hex digit");
        digits += c;
    }
    if (digits.size() % 2 != 0)
        Fail(ptr, "the hex digits do not make whole bytes (odd count)");
    std::string out;
    out.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

// --- The loader ---------------------------------------------------------------------------------

class TLoader {
public:
    explicit TLoader(TSimWorld& w) : w_(w) {}

    void Load(const json& root);

private:
    TSimWorld& w_;
    uint32_t nextId_ = 0x01000001;

    void LoadLimits(const json& v, const std::string& ptr);
    void LoadSchema(const json& v, const std::string& ptr);
    void LoadTreeObjects(TSimTree& t, const json& v, const std::string& ptr);
    void LoadTreeValues(TSimTree& t, const json& v, const std::string& ptr);
    void LoadServer(const json& v, const std::string& ptr);
    void LoadDir(TSimServer& srv, TSimVolume& vol, int32_t index, const json& v,
                 const std::string& ptr);
    void LoadTrustees(const TSimServer& srv, TSimDir& dir, const json& v, const std::string& ptr);
    void LoadConnections(const json& v, const std::string& ptr);
    void LoadFailures(const json& v, const std::string& ptr);

    int32_t ObjectRef(const TSimTree& t, const json& v, const std::string& ptr,
                      const char* what = "object");
    void ParseValue(const TSimTree& t, uint32_t syntax, const json& v, const std::string& ptr,
                    TAttrValue& out, std::string* stream);
    std::string Octets(const json& v, const std::string& ptr, size_t maxBytes, bool plainIsText);
    void ParseAcl(const TSimTree& t, const json& v, const std::string& ptr, TAttrValue& out,
                  TSimAcl& acl);
};

void TLoader::Load(const json& root) {
    CheckKeys(root, "",
              {"format", "oemCodePage", "clientStartup", "limits", "schema", "trees", "servers",
               "connections", "failures"});
    int64_t format = Int(Req(root, "format", ""), "/format", 0, INT32_MAX);
    if (format != 1)
        Fail("/format",
             "format " + std::to_string(format) + " is not known (this program reads 1)");
    if (const json* cp = Opt(root, "oemCodePage")) {
        w_.OemCodePage = Str(*cp, "/oemCodePage", 64);
        iconv_t cd = iconv_open("UTF-8", w_.OemCodePage.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            Fail("/oemCodePage", "the code page \"" + w_.OemCodePage + "\" is not known");
        iconv_close(cd);
    }
    if (const json* c = Opt(root, "clientStartup"))
        w_.StartupCode = Code(*c, "/clientStartup");
    if (const json* l = Opt(root, "limits"))
        LoadLimits(*l, "/limits");
    if (const json* s = Opt(root, "schema"))
        LoadSchema(*s, "/schema");

    const json& trees = Req(root, "trees", "");
    Expect(trees, json::value_t::array, "/trees", "an array of trees");
    for (size_t i = 0; i < trees.size(); ++i) {
        std::string ptr = Join("/trees", i);
        CheckKeys(trees[i], ptr, {"name", "objects"});
        TSimTree t;
        t.Name = Str(Req(trees[i], "name", ptr), ptr + "/name", 32);
        if (t.Name.empty() || t.Name.find_first_of(" .=,\\/*?\"") != std::string::npos)
            Fail(ptr + "/name", "\"" + t.Name +
                                    "\" is no tree name (1 to 32 characters, no "
                                    "blanks, dots or punctuation)");
        if (w_.FindTree(t.Name) >= 0)
            Fail(ptr + "/name", "the tree \"" + t.Name + "\" is named twice");
        w_.Trees.push_back(std::move(t));
        LoadTreeObjects(w_.Trees.back(), Req(trees[i], "objects", ptr), ptr + "/objects");
    }
    // Values may name objects anywhere in their tree, so they are read once every name is known.
    for (size_t i = 0; i < trees.size(); ++i)
        LoadTreeValues(w_.Trees[i], trees[i]["objects"], Join("/trees", i) + "/objects");

    if (const json* s = Opt(root, "servers")) {
        Expect(*s, json::value_t::array, "/servers", "an array of servers");
        for (size_t i = 0; i < s->size(); ++i)
            LoadServer((*s)[i], Join("/servers", i));
    }
    if (const json* c = Opt(root, "connections"))
        LoadConnections(*c, "/connections");
    if (const json* f = Opt(root, "failures"))
        LoadFailures(*f, "/failures");
}

void TLoader::LoadLimits(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"searchBatch", "trusteeBatch", "listBatch", "readBatch", "classBatch"});
    if (const json* x = Opt(v, "searchBatch"))
        w_.Limits.SearchBatch = static_cast<uint32_t>(Int(*x, ptr + "/searchBatch", 1, 50));
    if (const json* x = Opt(v, "trusteeBatch"))
        w_.Limits.TrusteeBatch = static_cast<uint32_t>(Int(*x, ptr + "/trusteeBatch", 1, 20));
    if (const json* x = Opt(v, "listBatch"))
        w_.Limits.ListBatch = static_cast<uint32_t>(Int(*x, ptr + "/listBatch", 1, 100000));
    if (const json* x = Opt(v, "readBatch"))
        w_.Limits.ReadBatch = static_cast<uint32_t>(Int(*x, ptr + "/readBatch", 1, 100000));
    if (const json* x = Opt(v, "classBatch"))
        w_.Limits.ClassBatch = static_cast<uint32_t>(Int(*x, ptr + "/classBatch", 1, 100000));
}

void TLoader::LoadSchema(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"classes", "attributes"});
    if (const json* attrs = Opt(v, "attributes")) {
        std::string ap = ptr + "/attributes";
        Expect(*attrs, json::value_t::object, ap, "an object of attribute names and syntaxes");
        for (const auto& [name, syn] : attrs->items()) {
            std::string p = Join(ap, name);
            if (name.empty() || name.size() > 128 || name[0] == '[')
                Fail(p, "\"" + name + "\" is no attribute name");
            if (w_.Schema.FindAttr(name) >= 0)
                Fail(p, "the attribute \"" + name + "\" is already defined");
            int32_t s = syn.is_string() ? SyntaxByName(syn.get<std::string>())
                                        : static_cast<int32_t>(Int(syn, p, 0, 255));
            if (s < 0)
                Fail(p, "\"" + Str(syn, p) + "\" is no syntax");
            w_.Schema.AddAttr({name, static_cast<uint32_t>(s), false});
        }
    }
    if (const json* classes = Opt(v, "classes")) {
        std::string cp = ptr + "/classes";
        Expect(*classes, json::value_t::object, cp, "an object of class definitions");
        std::vector<int32_t> added;
        for (const auto& [name, def] : classes->items()) {
            std::string p = Join(cp, name);
            CheckKeys(def, p, {"super", "container", "auxiliary", "auxClasses"});
            if (name.empty() || name.size() > 128 || name[0] == '[')
                Fail(p, "\"" + name + "\" is no class name");
            if (w_.Schema.FindClass(name) >= 0)
                Fail(p, "the class \"" + name + "\" is already defined");
            TSimClass c;
            c.Name = name;
            c.BuiltIn = false;
            if (const json* x = Opt(def, "container"))
                c.Container = Bool(*x, p + "/container");
            if (const json* x = Opt(def, "auxiliary"))
                c.Auxiliary = Bool(*x, p + "/auxiliary");
            added.push_back(w_.Schema.AddClass(std::move(c)));
        }
        // Super classes may be defined in any order within the file.
        size_t k = 0;
        for (const auto& item : classes->items()) {
            // Plain references: the lambda below captures them.
            const std::string& name = item.key();
            const json& def = item.value();
            std::string p = Join(cp, name);
            TSimClass& c = w_.Schema.Classes[added[k++]];
            auto refs = [&](const char* key, std::vector<int32_t>& out, bool wantAux) {
                const json* x = Opt(def, key);
                if (x == nullptr)
                    return;
                std::string kp = p + "/" + key;
                Expect(*x, json::value_t::array, kp, "an array of class names");
                for (size_t i = 0; i < x->size(); ++i) {
                    std::string n = Str((*x)[i], Join(kp, i), 128);
                    int32_t idx = w_.Schema.FindClass(n);
                    if (idx < 0)
                        Fail(Join(kp, i), "the class \"" + n + "\" is not defined");
                    if (w_.Schema.Classes[idx].Auxiliary != wantAux)
                        Fail(Join(kp, i),
                             "\"" + n + "\" is " +
                                 (wantAux ? "no auxiliary class" : "an auxiliary class"));
                    out.push_back(idx);
                }
            };
            refs("super", c.Super, false);
            refs("auxClasses", c.AuxClasses, true);
            if (c.Super.empty() && Lower(c.Name) != "top")
                c.Super.push_back(w_.Schema.FindClass("Top"));
        }
        // A class may not be its own super class, however far up.
        for (int32_t idx : added) {
            std::vector<int32_t> queue = w_.Schema.Classes[idx].Super;
            for (size_t i = 0; i < queue.size(); ++i) {
                if (queue[i] == idx || i > 4096)
                    Fail(Join(cp, w_.Schema.Classes[idx].Name), "the class \"" +
                                                                    w_.Schema.Classes[idx].Name +
                                                                    "\" is its own super class");
                for (int32_t s : w_.Schema.Classes[queue[i]].Super)
                    queue.push_back(s);
            }
        }
    }
}

// The name of an object as the tree file writes it: absolute, typeless, dotted; one leading dot
// allowed.
std::string ObjectName(const std::string& raw, const std::string& ptr,
                       std::vector<std::string>& parts) {
    std::string name = raw;
    if (!name.empty() && name[0] == '.')
        name = name.substr(1);
    if (name == "[Root]") {
        parts = {name};
        return name;
    }
    if (!SplitName(name, parts))
        Fail(ptr, "\"" + raw + "\" is no object name (empty part between dots)");
    if (CodePoints(name) > kMaxNameChars)
        Fail(ptr, "the name \"" + raw.substr(0, 40) + "...\" is longer than " +
                      std::to_string(kMaxNameChars) + " characters");
    for (const auto& p : parts) {
        if (p[0] == '[' || p.find('=') != std::string::npos || p.find('\\') != std::string::npos)
            Fail(ptr, "\"" + raw + "\" holds the part \"" + p +
                          "\", which is no name (no \"[\" at the start, no \"=\" or \"\\\")");
        for (unsigned char c : p)
            if (c < 0x20 || c == 0x7F)
                Fail(ptr, "\"" + raw + "\" holds a control character");
    }
    return name;
}

// The pointer of the entry that lists an object (for messages about it).
std::string ObjectPointer(const json& objs, const std::string& ptr, const std::string& fullName) {
    for (size_t k = 0; k < objs.size(); ++k) {
        std::string n = objs[k]["name"].get<std::string>();
        if (!n.empty() && n[0] == '.')
            n = n.substr(1);
        if (Lower(n) == Lower(fullName))
            return Join(ptr, k) + "/name";
    }
    return ptr;
}

void TLoader::LoadTreeObjects(TSimTree& t, const json& objs, const std::string& ptr) {
    Expect(objs, json::value_t::array, ptr, "an array of objects");
    TSimObject root;
    root.Rdn = root.FullName = "[Root]";
    root.Class = w_.Schema.FindClass("Tree Root");
    root.Container = true;
    t.Objects.push_back(std::move(root));
    t.ByName["[root]"] = 0;
    std::vector<std::string> parts;
    t.Objects[0].Created = t.Objects[0].Modified = 1420070400;
    t.Objects.reserve(objs.size() + 1);
    t.ByName.reserve(objs.size() + 1);
    t.ById.reserve(objs.size() + 1);
    const int32_t treeRoot = w_.Schema.FindClass("Tree Root");
    bool rootListed = false;

    for (size_t i = 0; i < objs.size(); ++i) {
        std::string p = Join(ptr, i);
        const json& o = objs[i];
        CheckKeys(o, p,
                  {"name", "class", "id", "auxiliary", "created", "modified", "acl", "attributes"});
        std::string name =
            ObjectName(Str(Req(o, "name", p), p + "/name", 1024), p + "/name", parts);
        int32_t index;
        if (name == "[Root]") {
            if (rootListed)
                Fail(p + "/name", "\"[Root]\" is listed twice");
            rootListed = true;
            index = 0;
        } else {
            std::string lower = Lower(name);
            auto it = t.ByName.find(lower);
            if (it != t.ByName.end())
                Fail(p + "/name",
                     "the object \"" + name + "\" is listed twice (names ignore case)");
            index = static_cast<int32_t>(t.Objects.size());
            t.ByName.emplace(lower, index);
            t.Objects.emplace_back();
            t.Objects.back().FullName = name;
            t.Objects.back().Rdn = parts[0];
        }
        TSimObject& obj = t.Objects[index];
        std::string cls = Str(Req(o, "class", p), p + "/class", 128);
        obj.Class = w_.Schema.FindClass(cls);
        if (obj.Class < 0)
            Fail(p + "/class", "the class \"" + cls + "\" is not defined");
        if (w_.Schema.Classes[obj.Class].Auxiliary)
            Fail(p + "/class", "\"" + cls + "\" is an auxiliary class; name it in \"auxiliary\"");
        if (index == 0 && !w_.Schema.IsA(obj.Class, treeRoot))
            Fail(p + "/class", "\"[Root]\" is of the class Tree Root");
        if (index != 0 && w_.Schema.IsA(obj.Class, treeRoot))
            Fail(p + "/class", "only \"[Root]\" is of the class Tree Root");
        obj.Container = w_.Schema.Classes[obj.Class].Container;
        if (const json* aux = Opt(o, "auxiliary")) {
            Expect(*aux, json::value_t::array, p + "/auxiliary", "an array of class names");
            for (size_t k = 0; k < aux->size(); ++k) {
                std::string ap = Join(p + "/auxiliary", k);
                std::string n = Str((*aux)[k], ap, 128);
                int32_t a = w_.Schema.FindClass(n);
                if (a < 0)
                    Fail(ap, "the class \"" + n + "\" is not defined");
                if (!w_.Schema.Classes[a].Auxiliary)
                    Fail(ap, "\"" + n + "\" is no auxiliary class");
                obj.Aux.push_back(a);
            }
        }
        obj.Created = Opt(o, "created") ? Time(o["created"], p + "/created") : 1420070400;
        obj.Modified = Opt(o, "modified") ? Time(o["modified"], p + "/modified") : obj.Created;
        if (const json* id = Opt(o, "id")) {
            int64_t v = IntOrHex(*id, p + "/id", 1, 0xFFFFFFFE);
            auto [it, fresh] = t.ById.emplace(static_cast<uint32_t>(v), index);
            if (!fresh)
                Fail(p + "/id", "the ID " + id->dump() + " is given to \"" +
                                    t.Objects[it->second].FullName + "\" already");
            obj.Id = static_cast<uint32_t>(v);
        }
    }
    // IDs the file does not give are handed out in file order, skipping those it gives.
    for (auto& obj : t.Objects) {
        if (obj.Id != 0)
            continue;
        while (t.ById.count(nextId_) != 0)
            ++nextId_;
        obj.Id = nextId_++;
        t.ById.emplace(obj.Id, static_cast<int32_t>(&obj - t.Objects.data()));
    }
    // Parents: every object's container must be listed and be a container.
    for (size_t i = 1; i < t.Objects.size(); ++i) {
        TSimObject& obj = t.Objects[i];
        size_t dot = obj.FullName.find('.');
        int32_t parent = dot == std::string::npos ? 0 : t.Find(obj.FullName.substr(dot + 1));
        if (parent < 0 || !t.Objects[parent].Container) {
            std::string ep = ObjectPointer(objs, ptr, obj.FullName);
            if (parent < 0)
                Fail(ep, "the container \"" + obj.FullName.substr(dot + 1) + "\" of \"" +
                             obj.FullName + "\" is not listed");
            Fail(ep, "\"" + t.Objects[parent].FullName + "\", the container of \"" + obj.FullName +
                         "\", is a " + w_.Schema.Classes[t.Objects[parent].Class].Name +
                         ", which holds no objects");
        }
        if (parent == 0 && !obj.Container)
            Fail(ObjectPointer(objs, ptr, obj.FullName),
                 "\"" + obj.FullName +
                     "\" stands directly below [Root], where only containers "
                     "(Organization, Country, ...) stand");
        obj.Parent = parent;
        t.Objects[parent].Children.push_back(static_cast<int32_t>(i));
    }
    // Children in name order, and every object's position in a walk from the top.
    uint32_t order = 0;
    std::vector<int32_t> stack{0};
    while (!stack.empty()) {
        int32_t cur = stack.back();
        stack.pop_back();
        TSimObject& o = t.Objects[cur];
        o.Order = order++;
        std::sort(o.Children.begin(), o.Children.end(), [&t](int32_t a, int32_t b) {
            return Lower(t.Objects[a].Rdn) < Lower(t.Objects[b].Rdn);
        });
        for (auto it = o.Children.rbegin(); it != o.Children.rend(); ++it)
            stack.push_back(*it);
    }
}

int32_t TLoader::ObjectRef(const TSimTree& t, const json& v, const std::string& ptr,
                           const char* what) {
    std::string raw = Str(v, ptr, 1024);
    std::string name = raw;
    if (!name.empty() && name[0] == '.')
        name = name.substr(1);
    int32_t idx = t.Find(name);
    if (idx < 0)
        Fail(ptr, std::string("the ") + what + " \"" + raw + "\" does not exist in the tree \"" +
                      t.Name + "\"");
    return idx;
}

std::string TLoader::Octets(const json& v, const std::string& ptr, size_t maxBytes,
                            bool plainIsText) {
    std::string out;
    if (v.is_string()) {
        out = plainIsText ? Str(v, ptr, maxBytes) : HexBytes(Str(v, ptr, maxBytes * 3), ptr);
    } else {
        CheckKeys(v, ptr, {"hex", "text", "layout", "size"});
        int forms = (Opt(v, "hex") ? 1 : 0) + (Opt(v, "text") ? 1 : 0) + (Opt(v, "layout") ? 1 : 0);
        if (forms != 1)
            Fail(ptr, "give exactly one of \"hex\", \"text\" and \"layout\"");
        if (const json* h = Opt(v, "hex"))
            out = HexBytes(Str(*h, ptr + "/hex", maxBytes * 3), ptr + "/hex");
        if (const json* t = Opt(v, "text"))
            out = Str(*t, ptr + "/text", maxBytes);
        if (const json* l = Opt(v, "layout")) {
            std::string lp = ptr + "/layout";
            Expect(*l, json::value_t::array, lp, "an array of fields");
            size_t end = 0;
            for (size_t i = 0; i < l->size(); ++i) {
                const json& f = (*l)[i];
                std::string fp = Join(lp, i);
                CheckKeys(f, fp, {"at", "u8", "u16", "u32", "str", "wstr", "hex", "text"});
                size_t at = Opt(f, "at") ? static_cast<size_t>(Int(f["at"], fp + "/at", 0,
                                                                   static_cast<int64_t>(maxBytes)))
                                         : end;
                std::string bytes;
                int kinds = 0;
                auto number = [&](const char* key, int width) {
                    if (const json* x = Opt(f, key)) {
                        ++kinds;
                        int64_t max = width == 4 ? UINT32_MAX : (width == 2 ? 0xFFFF : 0xFF);
                        auto n = static_cast<uint64_t>(
                            IntOrHex(*x, fp + "/" + key, width == 4 ? INT32_MIN : 0, max));
                        for (int b = 0; b < width; ++b)
                            bytes += static_cast<char>((n >> (8 * b)) & 0xFF);
                    }
                };
                number("u8", 1);
                number("u16", 2);
                number("u32", 4);
                if (const json* x = Opt(f, "str")) {
                    ++kinds;
                    bytes = Str(*x, fp + "/str", maxBytes);
                    bytes += '\0';
                }
                if (const json* x = Opt(f, "wstr")) {
                    ++kinds;
                    for (char16_t c : Utf16(Str(*x, fp + "/wstr", maxBytes))) {
                        bytes += static_cast<char>(c & 0xFF);
                        bytes += static_cast<char>(c >> 8);
                    }
                    bytes += std::string(2, '\0');
                }
                if (const json* x = Opt(f, "hex")) {
                    ++kinds;
                    bytes = HexBytes(Str(*x, fp + "/hex", maxBytes * 3), fp + "/hex");
                }
                if (const json* x = Opt(f, "text")) {
                    ++kinds;
                    bytes = Str(*x, fp + "/text", maxBytes);
                }
                if (kinds != 1)
                    Fail(fp, "a field holds exactly one of u8, u16, u32, str, wstr, hex, text");
                if (at + bytes.size() > maxBytes)
                    Fail(fp,
                         "the value would be longer than " + std::to_string(maxBytes) + " bytes");
                if (out.size() < at + bytes.size())
                    out.resize(at + bytes.size(), '\0');
                std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<ptrdiff_t>(at));
                end = at + bytes.size();
            }
        }
        if (const json* s = Opt(v, "size")) {
            auto size =
                static_cast<size_t>(Int(*s, ptr + "/size", 0, static_cast<int64_t>(maxBytes)));
            if (size < out.size())
                Fail(ptr + "/size", "the fields need " + std::to_string(out.size()) +
                                        " bytes, more than the size " + std::to_string(size));
            out.resize(size, '\0');
        }
    }
    if (out.size() > maxBytes)
        Fail(ptr, "the value is longer than " + std::to_string(maxBytes) + " bytes");
    return out;
}

void TLoader::ParseAcl(const TSimTree& t, const json& v, const std::string& ptr, TAttrValue& out,
                       TSimAcl& acl) {
    CheckKeys(v, ptr, {"subject", "attribute", "rights"});
    std::string subject = Str(Req(v, "subject", ptr), ptr + "/subject", 1024);
    std::string attr = Str(Req(v, "attribute", ptr), ptr + "/attribute", 128);
    TValObjectACL val;
    if (subject == "[Public]") {
        acl.Subject = SUBJ_PUBLIC;
        val.SubjectName = subject;
    } else if (subject == "[This]") {
        acl.Subject = SUBJ_THIS;
        val.SubjectName = subject;
    } else if (subject == "[Inheritance Mask]") {
        acl.Subject = SUBJ_IRM;
        val.SubjectName = subject;
    } else if (subject == "[Supervisor]") {
        acl.Subject = SUBJ_SUPERVISOR;
        val.SubjectName = subject;
    } else {
        acl.Subject = ObjectRef(t, Req(v, "subject", ptr), ptr + "/subject", "subject");
        val.SubjectName = t.Objects[acl.Subject].FullName;
    }
    int family;
    if (attr == "[Entry Rights]") {
        acl.Protected = PROT_ENTRY;
        family = FAMILY_ENTRY;
    } else if (attr == "[All Attributes Rights]") {
        acl.Protected = PROT_ALL_ATTRS;
        family = FAMILY_ATTR;
    } else {
        acl.Protected = w_.Schema.FindAttr(attr);
        if (acl.Protected < 0)
            Fail(ptr + "/attribute", "\"" + attr +
                                         "\" is no attribute (nor \"[Entry Rights]\" or "
                                         "\"[All Attributes Rights]\"); define it in \"schema\"");
        attr = w_.Schema.Attrs[acl.Protected].Name;
        family = FAMILY_ATTR;
    }
    val.ProtectedAttrName = attr;
    const json& r = Req(v, "rights", ptr);
    if (r.is_string()) {
        std::string text = Str(r, ptr + "/rights", 64);
        std::string error;
        if (!NumberText(text, ptr + "/rights", acl.Privileges) &&
            !ParseRightsText(text, family, acl.Privileges, error))
            Fail(ptr + "/rights", error + " (" + attr + ")");
    } else {
        acl.Privileges = static_cast<uint32_t>(Int(r, ptr + "/rights", 0, UINT32_MAX));
    }
    val.Privileges = acl.Privileges;
    out.Syntax = SYN_OBJECT_ACL;
    out.Data = std::move(val);
}

void TLoader::ParseValue(const TSimTree& t, uint32_t syntax, const json& v, const std::string& ptr,
                         TAttrValue& out, std::string* stream) {
    out.Syntax = syntax;
    auto name = [&](const json& x, const std::string& p) {
        return t.Objects[ObjectRef(t, x, p)].FullName;
    };
    auto u32 = [&](const json& obj, const char* key, const std::string& p, bool required) {
        const json* x = required ? &Req(obj, key, p) : Opt(obj, key);
        return x ? static_cast<uint32_t>(IntOrHex(*x, p + "/" + key, 0, UINT32_MAX)) : 0u;
    };
    switch (syntax) {
    case SYN_DIST_NAME:
        out.Data = TValString{name(v, ptr)};
        break;
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_CLASS_NAME:
        out.Data = TValString{Str(v, ptr)};
        if (syntax == SYN_NU_STRING && std::get<TValString>(out.Data).Text.find_first_not_of(
                                           "0123456789 ") != std::string::npos)
            Fail(ptr, "a Numeric String holds digits and blanks only");
        break;
    case SYN_CI_LIST: {
        Expect(v, json::value_t::array, ptr, "an array of strings");
        TValCIList l;
        for (size_t i = 0; i < v.size(); ++i)
            l.Items.push_back(Str(v[i], Join(ptr, i)));
        out.Data = std::move(l);
        break;
    }
    case SYN_BOOLEAN:
        out.Data = TValBoolean{static_cast<uint8_t>(Bool(v, ptr) ? 1 : 0)};
        break;
    case SYN_INTEGER:
    case SYN_COUNTER:
        out.Data = TValInteger{static_cast<int32_t>(Int(v, ptr, INT32_MIN, INT32_MAX))};
        break;
    case SYN_OCTET_STRING:
        out.Data = TValOctetString{Octets(v, ptr, kMaxOctetBytes, false)};
        break;
    case SYN_FAX_NUMBER:
        out.Data = TValFax{Str(v, ptr)};
        break;
    case SYN_NET_ADDRESS: {
        CheckKeys(v, ptr, {"type", "hex", "ip", "port"});
        TValNetAddress a;
        a.AddressType = u32(v, "type", ptr, true);
        if (const json* h = Opt(v, "hex")) {
            if (Opt(v, "ip"))
                Fail(ptr, "give \"hex\" or \"ip\", not both");
            a.Address = HexBytes(Str(*h, ptr + "/hex", 512), ptr + "/hex");
        } else {
            std::string ip = Str(Req(v, "ip", ptr), ptr + "/ip", 15);
            unsigned b[4];
            char extra;
            if (std::sscanf(ip.c_str(), "%u.%u.%u.%u%c", &b[0], &b[1], &b[2], &b[3], &extra) != 4 ||
                b[0] > 255 || b[1] > 255 || b[2] > 255 || b[3] > 255)
                Fail(ptr + "/ip", "\"" + ip + "\" is no IPv4 address");
            auto port =
                static_cast<uint32_t>(Opt(v, "port") ? Int(v["port"], ptr + "/port", 0, 65535) : 0);
            std::string ipBytes{static_cast<char>(b[0]), static_cast<char>(b[1]),
                                static_cast<char>(b[2]), static_cast<char>(b[3])};
            std::string portBytes{static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
            // UDP and TCP addresses put the port first; the IP types put it last.
            if (a.AddressType == 8 || a.AddressType == 9)
                a.Address = portBytes + ipBytes;
            else
                a.Address = ipBytes + portBytes;
        }
        out.Data = std::move(a);
        break;
    }
    case SYN_OCTET_LIST: {
        Expect(v, json::value_t::array, ptr, "an array of octet values");
        TValOctetList l;
        for (size_t i = 0; i < v.size(); ++i)
            l.Items.push_back(Octets(v[i], Join(ptr, i), kMaxOctetBytes, false));
        out.Data = std::move(l);
        break;
    }
    case SYN_EMAIL_ADDRESS:
        CheckKeys(v, ptr, {"type", "address"});
        out.Data =
            TValEMail{u32(v, "type", ptr, false), Str(Req(v, "address", ptr), ptr + "/address")};
        break;
    case SYN_PATH:
        CheckKeys(v, ptr, {"nameSpace", "volume", "path"});
        out.Data =
            TValPath{u32(v, "nameSpace", ptr, false), name(Req(v, "volume", ptr), ptr + "/volume"),
                     Str(Req(v, "path", ptr), ptr + "/path", 1024)};
        break;
    case SYN_REPLICA_POINTER:
        CheckKeys(v, ptr, {"server", "type", "number"});
        out.Data = TValReplicaPointer{name(Req(v, "server", ptr), ptr + "/server"),
                                      u32(v, "type", ptr, true), u32(v, "number", ptr, false)};
        break;
    case SYN_OBJECT_ACL: {
        TSimAcl acl;
        ParseAcl(t, v, ptr, out, acl);
        break;
    }
    case SYN_PO_ADDRESS: {
        Expect(v, json::value_t::array, ptr, "an array of up to six lines");
        if (v.size() > 6)
            Fail(ptr, "a postal address has at most six lines");
        TValPostalAddress a;
        for (size_t i = 0; i < v.size(); ++i)
            a.Lines[i] = Str(v[i], Join(ptr, i), 1024);
        out.Data = std::move(a);
        break;
    }
    case SYN_TIMESTAMP:
        if (v.is_object()) {
            CheckKeys(v, ptr, {"time", "replica", "event"});
            out.Data = TValTimestamp{
                Time(Req(v, "time", ptr), ptr + "/time"),
                static_cast<uint16_t>(
                    Opt(v, "replica") ? Int(v["replica"], ptr + "/replica", 0, 65535) : 0),
                static_cast<uint16_t>(Opt(v, "event") ? Int(v["event"], ptr + "/event", 0, 65535)
                                                      : 0)};
        } else {
            out.Data = TValTimestamp{Time(v, ptr), 0, 0};
        }
        break;
    case SYN_STREAM:
        *stream = Octets(v, ptr, kMaxStreamBytes, true);
        out.Data = TValStream{};
        break;
    case SYN_BACK_LINK:
        CheckKeys(v, ptr, {"remoteId", "object"});
        out.Data = TValBackLink{u32(v, "remoteId", ptr, true),
                                name(Req(v, "object", ptr), ptr + "/object")};
        break;
    case SYN_TIME:
        out.Data = TValTime{Time(v, ptr)};
        break;
    case SYN_TYPED_NAME:
        CheckKeys(v, ptr, {"object", "level", "interval"});
        out.Data = TValTypedName{name(Req(v, "object", ptr), ptr + "/object"),
                                 u32(v, "level", ptr, true), u32(v, "interval", ptr, true)};
        break;
    case SYN_HOLD:
        CheckKeys(v, ptr, {"object", "amount"});
        out.Data =
            TValHold{name(Req(v, "object", ptr), ptr + "/object"), u32(v, "amount", ptr, true)};
        break;
    case SYN_INTERVAL:
        out.Data = TValInterval{static_cast<uint32_t>(Int(v, ptr, 0, UINT32_MAX))};
        break;
    case SYN_UNKNOWN: {
        CheckKeys(v, ptr, {"attribute", "syntax", "hex", "text", "layout", "size"});
        json octet = v;
        octet.erase("attribute");
        octet.erase("syntax");
        TValUnknown u;
        u.AttrName = Opt(v, "attribute") ? Str(v["attribute"], ptr + "/attribute", 128) : "";
        u.Syntax =
            Opt(v, "syntax") ? static_cast<uint32_t>(Int(v["syntax"], ptr + "/syntax", 0, 255)) : 0;
        u.Value = Octets(octet, ptr, kMaxOctetBytes, false);
        out.Data = std::move(u);
        break;
    }
    default:
        out.Data = TValRaw{Octets(v, ptr, kMaxOctetBytes, false)};
        break;
    }
}

void TLoader::LoadTreeValues(TSimTree& t, const json& objs, const std::string& ptr) {
    int32_t secEq = w_.Schema.FindAttr("Security Equals");
    int32_t aclAttr = w_.Schema.FindAttr("ACL");
    int32_t aliasAttr = w_.Schema.FindAttr("Aliased Object Name");
    int32_t objectClass = w_.Schema.FindAttr("Object Class");
    const int32_t aliasClass = w_.Schema.FindClass("Alias");
    for (size_t i = 0; i < objs.size(); ++i) {
        std::string p = Join(ptr, i);
        const json& o = objs[i];
        std::string n = o["name"].get<std::string>();
        int32_t index = t.Find(n[0] == '.' ? n.substr(1) : n);
        TSimObject& obj = t.Objects[index];
        auto addAcl = [&](const json& list, const std::string& lp) {
            Expect(list, json::value_t::array, lp, "an array of ACL values");
            TSimAttr* attr = nullptr;
            for (auto& a : obj.Attrs)
                if (a.Attr == aclAttr)
                    attr = &a;
            if (attr == nullptr) {
                obj.Attrs.push_back({aclAttr, {}, {}});
                attr = &obj.Attrs.back();
            }
            for (size_t k = 0; k < list.size(); ++k) {
                TAttrValue value;
                TSimAcl acl;
                ParseAcl(t, list[k], Join(lp, k), value, acl);
                attr->Values.push_back(std::move(value));
                obj.Acl.push_back(acl);
            }
        };
        if (const json* acl = Opt(o, "acl"))
            addAcl(*acl, p + "/acl");
        if (const json* attrs = Opt(o, "attributes")) {
            std::string ap = p + "/attributes";
            Expect(*attrs, json::value_t::object, ap, "an object of attribute names and values");
            for (const auto& [name, val] : attrs->items()) {
                std::string vp = Join(ap, name);
                int32_t a = w_.Schema.FindAttr(name);
                const json* values = &val;
                std::string valuesPtr = vp;
                if (val.is_object()) {
                    CheckKeys(val, vp, {"syntax", "values"});
                    const json& syn = Req(val, "syntax", vp);
                    int32_t s = syn.is_string()
                                    ? SyntaxByName(syn.get<std::string>())
                                    : static_cast<int32_t>(Int(syn, vp + "/syntax", 0, 255));
                    if (s < 0)
                        Fail(vp + "/syntax", "\"" + Str(syn, vp + "/syntax") + "\" is no syntax");
                    if (a >= 0 && w_.Schema.Attrs[a].Syntax != static_cast<uint32_t>(s))
                        Fail(vp + "/syntax",
                             "\"" + name + "\" is a " +
                                 std::string(SyntaxName(w_.Schema.Attrs[a].Syntax)) +
                                 " attribute already");
                    if (a < 0) {
                        if (name.empty() || name.size() > 128 || name[0] == '[')
                            Fail(vp, "\"" + name + "\" is no attribute name");
                        a = w_.Schema.AddAttr({name, static_cast<uint32_t>(s), false});
                    }
                    values = &Req(val, "values", vp);
                    valuesPtr = vp + "/values";
                } else if (a < 0) {
                    Fail(vp, "the attribute \"" + name +
                                 "\" is not defined; define it in \"schema\" or write "
                                 "{\"syntax\": ..., \"values\": [...]}");
                }
                if (a == objectClass)
                    Fail(vp, "\"Object Class\" follows from \"class\" and \"auxiliary\"");
                if (a == aclAttr) {
                    addAcl(*values, valuesPtr);
                    continue;
                }
                Expect(*values, json::value_t::array, valuesPtr, "an array of values");
                if (values->empty())
                    Fail(valuesPtr, "an attribute has at least one value");
                uint32_t syntax = w_.Schema.Attrs[a].Syntax;
                if (syntax == SYN_STREAM && values->size() != 1)
                    Fail(valuesPtr, "a stream attribute has exactly one value");
                for (const auto& existing : obj.Attrs)
                    if (existing.Attr == a)
                        Fail(vp, "the attribute \"" + name + "\" is given twice");
                TSimAttr attr;
                attr.Attr = a;
                for (size_t k = 0; k < values->size(); ++k) {
                    TAttrValue value;
                    ParseValue(t, syntax, (*values)[k], Join(valuesPtr, k), value, &attr.Stream);
                    if (syntax == SYN_DIST_NAME) {
                        const std::string& target = std::get<TValString>(value.Data).Text;
                        int32_t ti = t.Find(target);
                        if (a == secEq)
                            obj.SecurityEquals.push_back(ti);
                        if (a == aliasAttr)
                            obj.AliasTarget = ti;
                        t.DnIndex[TSimTree::DnKey(a, Lower(target))].push_back(index);
                    }
                    attr.Values.push_back(std::move(value));
                }
                obj.Attrs.push_back(std::move(attr));
            }
        }
        if (w_.Schema.IsA(obj.Class, aliasClass)) {
            const TSimAttr* target = t.FindAttr(index, aliasAttr);
            if (target == nullptr || target->Values.size() != 1)
                Fail(p, "an Alias has exactly one \"Aliased Object Name\"");
            if (obj.AliasTarget == index)
                Fail(p, "an Alias cannot stand for itself");
        }
    }
    // Index lists in tree order, so that searches answer in the order of a walk.
    for (auto& [key, list] : t.DnIndex) {
        (void)key;
        std::sort(list.begin(), list.end(),
                  [&t](int32_t a, int32_t b) { return t.Objects[a].Order < t.Objects[b].Order; });
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    // Aliases must end at a real object.
    for (size_t i = 0; i < t.Objects.size(); ++i) {
        int32_t cur = static_cast<int32_t>(i);
        for (int hops = 0; t.Objects[cur].AliasTarget >= 0; ++hops) {
            cur = t.Objects[cur].AliasTarget;
            if (hops > 16)
                Fail(ptr, "the alias \"" + t.Objects[i].FullName + "\" runs in a circle");
        }
    }
}

bool ValidServerName(const std::string& s, size_t maxLen) {
    if (s.size() < 2 || s.size() > maxLen)
        return false;
    for (unsigned char c : s)
        if (c <= 0x20 || c >= 0x7F || std::strchr("\\/:*?\"<>|,.;=[]", c) != nullptr)
            return false;
    return true;
}

void TLoader::LoadServer(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"name", "tree", "object", "volumes"});
    TSimServer srv;
    srv.Name = Str(Req(v, "name", ptr), ptr + "/name", 64);
    if (!ValidServerName(srv.Name, 47))
        Fail(ptr + "/name", "\"" + srv.Name +
                                "\" is no server name (2 to 47 letters, digits, "
                                "\"-\" or \"_\")");
    if (w_.FindServer(srv.Name) >= 0)
        Fail(ptr + "/name", "the server \"" + srv.Name + "\" is listed twice");
    if (const json* tree = Opt(v, "tree")) {
        std::string name = Str(*tree, ptr + "/tree", 64);
        srv.Tree = w_.FindTree(name);
        if (srv.Tree < 0)
            Fail(ptr + "/tree", "the tree \"" + name + "\" is not listed in \"trees\"");
    }
    if (const json* obj = Opt(v, "object")) {
        if (srv.Tree < 0)
            Fail(ptr + "/object", "a server without \"tree\" has no object");
        const TSimTree& t = w_.Trees[srv.Tree];
        srv.Object = ObjectRef(t, *obj, ptr + "/object", "server object");
        if (!w_.Schema.IsA(t.Objects[srv.Object].Class, "Server"))
            Fail(ptr + "/object", "\"" + t.Objects[srv.Object].FullName + "\" is no Server");
    } else if (srv.Tree >= 0) {
        Fail(ptr, "a server in a tree names its \"object\"");
    }
    w_.Servers.push_back(std::move(srv));
    TSimServer& s = w_.Servers.back();
    const json& vols = Req(v, "volumes", ptr);
    Expect(vols, json::value_t::array, ptr + "/volumes", "an array of volumes");
    if (vols.size() > 255)
        Fail(ptr + "/volumes", "a server has at most 255 volumes");
    for (size_t i = 0; i < vols.size(); ++i) {
        std::string vp = Join(ptr + "/volumes", i);
        const json& vj = vols[i];
        CheckKeys(vj, vp, {"name", "object", "trustees", "dirs", "files", "owner"});
        TSimVolume vol;
        vol.Name = Str(Req(vj, "name", vp), vp + "/name", 64);
        if (!ValidServerName(vol.Name, 15))
            Fail(vp + "/name", "\"" + vol.Name +
                                   "\" is no volume name (2 to 15 letters, digits, "
                                   "\"-\" or \"_\")");
        for (const auto& other : s.Volumes)
            if (Lower(other.Name) == Lower(vol.Name))
                Fail(vp + "/name", "the volume \"" + vol.Name + "\" is listed twice");
        vol.NameOem = vol.Name;
        if (const json* obj = Opt(vj, "object")) {
            if (s.Tree < 0)
                Fail(vp + "/object", "a volume of a server without a tree has no object");
            const TSimTree& t = w_.Trees[s.Tree];
            vol.Object = ObjectRef(t, *obj, vp + "/object", "volume object");
            if (!w_.Schema.IsA(t.Objects[vol.Object].Class, "Volume"))
                Fail(vp + "/object", "\"" + t.Objects[vol.Object].FullName + "\" is no Volume");
        }
        vol.Dirs.emplace_back();
        s.Volumes.push_back(std::move(vol));
        LoadDir(s, s.Volumes.back(), 0, vj, vp);
    }
}

void TLoader::LoadDir(TSimServer& srv, TSimVolume& vol, int32_t index, const json& v,
                      const std::string& ptr) {
    if (index != 0)
        CheckKeys(v, ptr, {"irm", "trustees", "dirs", "files", "owner", "modified"});
    {
        TSimDir& dir = vol.Dirs[index];
        if (const json* irm = Opt(v, "irm")) {
            if (index == 0)
                Fail(ptr + "/irm", "a volume root has no inherited rights mask");
            uint32_t mask = 0;
            std::string error;
            if (irm->is_string()) {
                if (!ParseRightsText(irm->get<std::string>(), FAMILY_FS, mask, error))
                    Fail(ptr + "/irm", error);
            } else {
                mask = static_cast<uint32_t>(Int(*irm, ptr + "/irm", 0, 0x1FF));
            }
            // The mask of a directory is one byte; Supervisor is never masked.
            dir.Irm = static_cast<uint8_t>(mask & 0xFF);
        }
        if (const json* t = Opt(v, "trustees"))
            LoadTrustees(srv, dir, *t, ptr + "/trustees");
        if (const json* o = Opt(v, "owner")) {
            if (srv.Tree < 0)
                Fail(ptr + "/owner", "a server without a tree has no owners");
            dir.Owner = w_.Trees[srv.Tree]
                            .Objects[ObjectRef(w_.Trees[srv.Tree], *o, ptr + "/owner", "owner")]
                            .Id;
        } else if (index != 0) {
            dir.Owner = vol.Dirs[dir.Parent].Owner;
        }
        dir.Modified = Opt(v, "modified") ? Time(v["modified"], ptr + "/modified") : 1420070400;
        if (const json* f = Opt(v, "files")) {
            Expect(*f, json::value_t::array, ptr + "/files", "an array of file names");
            for (size_t i = 0; i < f->size(); ++i) {
                std::string name = Str((*f)[i], Join(ptr + "/files", i), 255);
                std::string oem;
                if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
                    !ToCodePage(name, w_.OemCodePage, oem))
                    Fail(Join(ptr + "/files", i), "\"" + name + "\" is no file name");
                dir.Files.push_back(name);
            }
        }
    }
    const json* dirs = Opt(v, "dirs");
    if (dirs == nullptr)
        return;
    std::string dp = ptr + "/dirs";
    Expect(*dirs, json::value_t::object, dp, "an object of directory names");
    for (const auto& [name, sub] : dirs->items()) {
        std::string sp = Join(dp, name);
        std::string oem;
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("\\/:*?\"<>|") != std::string::npos)
            Fail(sp, "\"" + name + "\" is no directory name");
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F)
                Fail(sp, "a directory name holds a control character");
        if (!ToCodePage(name, w_.OemCodePage, oem))
            Fail(sp, "\"" + name + "\" cannot be written in the code page " + w_.OemCodePage);
        for (int32_t sib : vol.Dirs[index].Children)
            if (Lower(vol.Dirs[sib].Name) == Lower(name))
                Fail(sp, "the directory \"" + name + "\" is listed twice (names ignore case)");
        if (vol.Dirs.size() >= kMaxDirsPerVolume + 1)
            Fail(sp, "a volume has at most " + std::to_string(kMaxDirsPerVolume) + " directories");
        TSimDir d;
        d.Name = name;
        d.NameOem = oem;
        d.Parent = index;
        const TSimDir& parent = vol.Dirs[index];
        d.Path = parent.Path.empty() ? name : parent.Path + "\\" + name;
        d.PathOem = parent.PathOem.empty() ? oem : parent.PathOem + "\\" + oem;
        if (d.PathOem.size() > kMaxPathBytes)
            Fail(sp, "the path \"" + d.Path.substr(0, 60) + "...\" is longer than " +
                         std::to_string(kMaxPathBytes) + " bytes");
        auto child = static_cast<int32_t>(vol.Dirs.size());
        vol.Dirs.push_back(std::move(d));
        vol.Dirs[index].Children.push_back(child);
        LoadDir(srv, vol, child, sub, sp);
    }
}

void TLoader::LoadTrustees(const TSimServer& srv, TSimDir& dir, const json& v,
                           const std::string& ptr) {
    Expect(v, json::value_t::object, ptr, "an object of trustees and their rights");
    for (const auto& [key, rights] : v.items()) {
        std::string p = Join(ptr, key);
        TTrusteeEntry e;
        if (!key.empty() && key[0] == '#') {
            e.ObjectID = static_cast<uint32_t>(IntOrHex(json(key), p, 1, 0xFFFFFFFE));
        } else {
            if (srv.Tree < 0)
                Fail(p, "a server without a tree names trustees by ID (\"#0000ABCD\")");
            const TSimTree& t = w_.Trees[srv.Tree];
            e.ObjectID = t.Objects[ObjectRef(t, json(key), p, "trustee")].Id;
        }
        uint32_t mask = 0;
        if (rights.is_string()) {
            std::string error;
            if (!ParseRightsText(rights.get<std::string>(), FAMILY_FS, mask, error))
                Fail(p, error);
        } else {
            mask = static_cast<uint32_t>(Int(rights, p, 0, 0xFFFF));
        }
        for (const auto& other : dir.Trustees)
            if (other.ObjectID == e.ObjectID)
                Fail(p, "the trustee \"" + key + "\" is named twice");
        e.Rights = static_cast<uint16_t>(mask);
        dir.Trustees.push_back(e);
    }
}

void TLoader::LoadConnections(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::array, ptr, "an array of connections");
    if (v.size() > 250)
        Fail(ptr, "at most 250 connections");
    int primaries = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        std::string p = Join(ptr, i);
        CheckKeys(v[i], p, {"server", "user", "primary", "authenticated", "tree"});
        TSimConn c;
        std::string server = Str(Req(v[i], "server", p), p + "/server", 64);
        c.Server = w_.FindServer(server);
        if (c.Server < 0)
            Fail(p + "/server", "the server \"" + server + "\" is not listed in \"servers\"");
        c.Tree = w_.Servers[c.Server].Tree;
        if (const json* t = Opt(v[i], "tree")) {
            std::string tree = Str(*t, p + "/tree", 64);
            c.Tree = w_.FindTree(tree);
            if (c.Tree < 0)
                Fail(p + "/tree", "the tree \"" + tree + "\" is not listed in \"trees\"");
        }
        bool authenticated =
            Opt(v[i], "authenticated") ? Bool(v[i]["authenticated"], p + "/authenticated") : true;
        if (const json* u = Opt(v[i], "user")) {
            if (!authenticated)
                Fail(p + "/user", "an unauthenticated connection has no user");
            if (c.Tree < 0)
                Fail(p + "/user", "a connection without a tree has no directory user");
            c.User = ObjectRef(w_.Trees[c.Tree], *u, p + "/user", "user");
        } else if (authenticated) {
            Fail(p, "an authenticated connection names its \"user\" (or write "
                    "\"authenticated\": false)");
        }
        if (const json* pr = Opt(v[i], "primary"))
            c.Primary = Bool(*pr, p + "/primary");
        primaries += c.Primary ? 1 : 0;
        if (primaries > 1)
            Fail(p + "/primary", "only one connection is the primary one");
        c.Ref = 0x00C0FF01u + static_cast<uint32_t>(i) * 0x10;
        w_.Conns.push_back(c);
    }
    if (primaries == 0 && !w_.Conns.empty())
        w_.Conns.front().Primary = true;
}

// Operations whose answers can be replaced by an injected completion code.
constexpr const char* kFailOps[] = {
    "NewContext",           "CopyContext",       "SetContextValue",  "GetContextValue",
    "CurrentUserDN",        "AbbreviateName",    "MapIDToName",      "ServerDN",
    "ReadObjectSummary",    "ReadObjectItems",   "AllocBuf",         "ReadAttributes",
    "OpenAttrStream",       "ReadStream",        "ListSubordinates", "ListContainers",
    "ReadClassDefs",        "AttrSyntax",        "PutFilter",        "SearchObjects",
    "EntryEffectiveRights", "EnumConnRefs",      "PrimaryConnRef",   "OpenConnByRef",
    "ConnRefInfo",          "ConnInfo",          "ParsePath",        "VolumeNumber",
    "VolumeInfo",           "BinderyObjectName", "PathTrustees",     "DirEntryInfo",
    "StartDirSearch",       "NextDirEntry",
};

void TLoader::LoadFailures(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::array, ptr, "an array of failures");
    for (size_t i = 0; i < v.size(); ++i) {
        std::string p = Join(ptr, i);
        CheckKeys(v[i], p,
                  {"operation", "object", "attribute", "server", "path", "tree", "id", "code"});
        TSimFailure f;
        f.Operation = Str(Req(v[i], "operation", p), p + "/operation", 64);
        bool known = false;
        for (const char* op : kFailOps)
            known = known || f.Operation == op;
        if (!known) {
            std::string list;
            for (const char* op : kFailOps)
                list += std::string(list.empty() ? "" : ", ") + op;
            Fail(p + "/operation", "\"" + f.Operation + "\" is no operation (known: " + list + ")");
        }
        f.Code = Code(Req(v[i], "code", p), p + "/code");
        if (f.Code == 0)
            Fail(p + "/code", "an injected failure answers a code other than 0");
        int32_t tree = -1;
        if (const json* t = Opt(v[i], "tree")) {
            std::string name = Str(*t, p + "/tree", 64);
            tree = w_.FindTree(name);
            if (tree < 0)
                Fail(p + "/tree", "the tree \"" + name + "\" is not listed in \"trees\"");
            f.Tree = Lower(w_.Trees[tree].Name);
        }
        if (const json* o = Opt(v[i], "object")) {
            std::string name = Str(*o, p + "/object", 1024);
            std::string bare = !name.empty() && name[0] == '.' ? name.substr(1) : name;
            bool found = false;
            for (size_t k = 0; k < w_.Trees.size(); ++k)
                if ((tree < 0 || tree == static_cast<int32_t>(k)) && w_.Trees[k].Find(bare) >= 0)
                    found = true;
            if (!found)
                Fail(p + "/object", "the object \"" + name + "\" does not exist");
            f.Object = Lower(bare);
        }
        if (const json* a = Opt(v[i], "attribute"))
            f.Attribute = Lower(Str(*a, p + "/attribute", 128));
        if (const json* s = Opt(v[i], "server")) {
            std::string name = Str(*s, p + "/server", 64);
            if (w_.FindServer(name) < 0)
                Fail(p + "/server", "the server \"" + name + "\" is not listed in \"servers\"");
            f.Server = Lower(name);
        }
        if (const json* pa = Opt(v[i], "path")) {
            std::string path = Str(*pa, p + "/path", 1024);
            std::replace(path.begin(), path.end(), '/', '\\');
            size_t colon = path.find(':');
            if (colon == std::string::npos)
                Fail(p + "/path", "\"" + path + "\" is no volume path (VOLUME:PATH)");
            std::string rest = path.substr(colon + 1);
            while (!rest.empty() && rest.front() == '\\')
                rest.erase(0, 1);
            while (!rest.empty() && rest.back() == '\\')
                rest.pop_back();
            f.Path = Lower(path.substr(0, colon) + ":" + rest);
        }
        if (const json* id = Opt(v[i], "id")) {
            f.HasId = true;
            f.Id = static_cast<uint32_t>(IntOrHex(*id, p + "/id", 0, UINT32_MAX));
        }
        f.Text = f.Operation;
        for (const char* key : {"object", "attribute", "server", "path", "tree", "id"})
            if (const json* x = Opt(v[i], key))
                f.Text += std::string(" ") + key + " " +
                          (x->is_string() ? x->get<std::string>() : x->dump());
        w_.Failures.push_back(std::move(f));
    }
}

} // namespace

std::shared_ptr<TSimWorld> LoadTreeText(const std::string& text, const std::string& fileName,
                                        std::string& error) {
    error.clear();
    if (text.size() > kMaxTreeFileBytes) {
        error = fileName + ": the file is larger than " +
                std::to_string(kMaxTreeFileBytes / (1024 * 1024)) + " MiB";
        return nullptr;
    }
    TBoundedBuilder builder;
    bool ok = false;
    try {
        ok = json::sax_parse(text, &builder, json::input_format_t::json, true);
    } catch (const std::exception& ex) {
        builder.Error = ex.what();
    }
    if (!ok) {
        error = fileName + ": " + (builder.Error.empty() ? "the file is no JSON" : builder.Error);
        return nullptr;
    }
    auto world = std::make_shared<TSimWorld>();
    world->FileName = fileName;
    try {
        TLoader(*world).Load(builder.Root);
    } catch (const TLoadError& e) {
        error = fileName + ": " + e.Pointer + ": " + e.What;
        return nullptr;
    } catch (const std::exception& e) {
        error = fileName + ": " + e.what();
        return nullptr;
    }
    return world;
}

std::shared_ptr<TSimWorld> LoadTreeFile(const std::string& fileName, std::string& error) {
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = fileName + ": cannot open the file (" + std::strerror(errno) + ")";
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = fileName + ": not a regular file";
        return nullptr;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxTreeFileBytes) {
        ::close(fd);
        error = fileName + ": the file is larger than " +
                std::to_string(kMaxTreeFileBytes / (1024 * 1024)) + " MiB";
        return nullptr;
    }
    std::string text;
    text.resize(static_cast<size_t>(st.st_size) + 1);
    size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got > kMaxTreeFileBytes) {
        error = fileName + ": the file is larger than " +
                std::to_string(kMaxTreeFileBytes / (1024 * 1024)) + " MiB";
        return nullptr;
    }
    text.resize(got);
    return LoadTreeText(text, fileName, error);
}

} // namespace trovalen::sim
