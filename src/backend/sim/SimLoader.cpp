#include "backend/sim/SimLoader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backend/sim/SimLoadInternal.h"

namespace trovalen::sim {

using load::json;

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
        Frame& f = FStack.back();
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
        for (size_t i = 0; i < FStack.size(); ++i) {
            const Frame& f = FStack[i];
            bool last = i + 1 == FStack.size();
            if (f.Node->is_array()) {
                if (!last || extra.empty())
                    p += "/" + std::to_string(f.Node->size() - (last ? 0 : 1));
            } else if (!last || extra.empty()) {
                p += "/" + load::EscapeKey(f.Key);
            }
        }
        if (!extra.empty())
            p += "/" + load::EscapeKey(extra);
        return p.empty() ? "/" : p;
    }

private:
    struct Frame {
        json* Node;
        std::string Key;
        json* Slot = nullptr; // the value of Key in Node
    };
    std::vector<Frame> FStack;

    bool Fail(const std::string& what, const std::string& key = std::string()) {
        Error = Pointer(key) + ": " + what;
        return false;
    }
    json* Place(json&& v) {
        if (FStack.empty()) {
            Root = std::move(v);
            return &Root;
        }
        Frame& f = FStack.back();
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
        if (FStack.size() >= kMaxJsonDepth)
            return Fail("the JSON is nested more than " + std::to_string(kMaxJsonDepth) +
                        " levels deep");
        json* node = Place(std::move(v));
        FStack.push_back({node, std::string(), nullptr});
        return true;
    }
    bool Close() {
        FStack.pop_back();
        return true;
    }
};

} // namespace

namespace load {

void TLoader::Load(const json& root) {
    CheckKeys(root, "",
              {"format", "oemCodePage", "clientStartup", "limits", "schema", "trees", "servers",
               "connections", "failures"});
    int64_t format = Int(Req(root, "format", ""), "/format", 0, INT32_MAX);
    if (format != 1)
        Fail("/format",
             "format " + std::to_string(format) + " is not known (this program reads 1)");
    if (const json* cp = Opt(root, "oemCodePage")) {
        FWorld.OemCodePage = Str(*cp, "/oemCodePage", 64);
        iconv_t cd = iconv_open("UTF-8", FWorld.OemCodePage.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            Fail("/oemCodePage", "the code page \"" + FWorld.OemCodePage + "\" is not known");
        iconv_close(cd);
    }
    if (const json* c = Opt(root, "clientStartup"))
        FWorld.StartupCode = Code(*c, "/clientStartup");
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
        // A client pads tree names with "_" to 32 characters and strips the padding again, so a
        // name that ends in "_" could never be chosen.
        if (t.Name.back() == '_')
            Fail(ptr + "/name", "\"" + t.Name + "\" is no tree name (it may not end in \"_\")");
        if (FWorld.FindTree(t.Name) >= 0)
            Fail(ptr + "/name", "the tree \"" + t.Name + "\" is named twice");
        FWorld.Trees.push_back(std::move(t));
        LoadTreeObjects(FWorld.Trees.back(), Req(trees[i], "objects", ptr), ptr + "/objects");
    }
    // Values may name objects anywhere in their tree, so they are read once every name is known.
    for (size_t i = 0; i < trees.size(); ++i)
        LoadTreeValues(FWorld.Trees[i], trees[i]["objects"], Join("/trees", i) + "/objects");

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

} // namespace load

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
        load::TLoader(*world).Load(builder.Root);
    } catch (const load::TLoadError& e) {
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
