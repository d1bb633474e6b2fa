#include "backend/sim/SimLoader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backend/sim/SimLoadInternal.h"
#include "util/Iconv.h"

namespace trovalen::sim {

using load::json;

namespace {

// --- Parsing with bounds ------------------------------------------------------------------------

// Reads the text through a pointer that tells how far the parser has come, so that the builder
// knows where each object of a tree starts and ends.
struct TTrackedChar {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* P = nullptr;
    const char** Seen = nullptr; // the position after the last character read

    reference operator*() const { return *P; }
    TTrackedChar& operator++() {
        ++P;
        if (Seen)
            *Seen = P;
        return *this;
    }
    TTrackedChar operator++(int) {
        TTrackedChar old = *this;
        ++*this;
        return old;
    }
    bool operator==(const TTrackedChar& o) const { return P == o.P; }
    bool operator!=(const TTrackedChar& o) const { return P != o.P; }
};

// Builds the document from SAX events, refusing deep nesting and duplicate keys (which a plain
// parse would silently drop) before they can do harm. With a TDeferredText, the objects of the
// trees ("/trees/N/objects/M" when it is a JSON object) are checked the same way but not built:
// the document holds a placeholder, and the text span of the object is noted instead, so that a
// large tree never exists as a whole document.
class TBoundedBuilder : public nlohmann::json_sax<json> {
public:
    json Root;
    std::string Error;
    load::TDeferredText* Deferred = nullptr;
    const char* Base = nullptr;
    const char* Seen = nullptr;

    bool null() override { return Put(json(nullptr)); }
    bool boolean(bool v) override { return Put(json(v)); }
    bool number_integer(number_integer_t v) override { return Put(json(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Put(json(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Put(json(v)); }
    bool string(string_t& v) override { return Put(json(std::move(v))); }
    bool binary(binary_t&) override { return Fail("binary values are not JSON"); }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& k) override {
        Frame& f = FStack.back();
        if (f.Node) {
            auto [it, fresh] = f.Node->get_ref<json::object_t&>().emplace(k, nullptr);
            if (!fresh)
                return Fail("the key \"" + k + "\" appears twice", k);
            f.Slot = &it->second;
        } else if (!f.Keys.insert(k).second) {
            return Fail("the key \"" + k + "\" appears twice", k);
        }
        f.Key = k;
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
            if (f.Array) {
                if (!last || extra.empty())
                    p += "/" + std::to_string(f.Count - (last ? 0 : 1));
            } else if (!last || extra.empty()) {
                p += "/" + load::EscapeKey(f.Key);
            }
        }
        if (!extra.empty())
            p += "/" + load::EscapeKey(extra);
        return p.empty() ? "/" : p;
    }

private:
    // The depth of an object of a tree: the root, "trees", a tree, "objects".
    static constexpr size_t kObjectDepth = 4;

    struct Frame {
        json* Node = nullptr; // null inside an object that is not built
        bool Array = false;
        size_t Count = 0; // values placed in an array
        std::string Key;
        json* Slot = nullptr;        // the value of Key in Node
        std::set<std::string> Keys;  // the keys of an object that is not built
        const char* Start = nullptr; // where an object that is not built starts
    };
    std::vector<Frame> FStack;

    bool Fail(const std::string& what, const std::string& key = std::string()) {
        Error = Pointer(key) + ": " + what;
        return false;
    }
    // Whether a value opened now is an object of a tree.
    bool AtTreeObject() const {
        return Deferred && FStack.size() == kObjectDepth && FStack[0].Node && !FStack[0].Array &&
               FStack[0].Key == "trees" && FStack[1].Node && FStack[1].Array && FStack[2].Node &&
               !FStack[2].Array && FStack[2].Key == "objects" && FStack[3].Node && FStack[3].Array;
    }
    json* Place(json&& v) {
        if (FStack.empty()) {
            Root = std::move(v);
            return &Root;
        }
        Frame& f = FStack.back();
        if (f.Array)
            ++f.Count;
        if (!f.Node)
            return nullptr;
        if (f.Array) {
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
    bool Open(bool array) {
        if (FStack.size() >= kMaxJsonDepth)
            return Fail("the JSON is nested more than " + std::to_string(kMaxJsonDepth) +
                        " levels deep");
        if (!array && AtTreeObject()) {
            Place(json(json::value_t::discarded));
            Frame f;
            f.Start = Seen ? Seen - 1 : nullptr; // just after the "{"
            FStack.push_back(std::move(f));
            return true;
        }
        bool built = FStack.empty() || FStack.back().Node;
        json* node = built ? Place(array ? json::array() : json::object()) : nullptr;
        if (!built)
            Place(json());
        Frame f;
        f.Node = node;
        f.Array = array;
        FStack.push_back(std::move(f));
        return true;
    }
    bool Close() {
        if (FStack.back().Start && Seen) {
            size_t begin = static_cast<size_t>(FStack.back().Start - Base);
            size_t end = static_cast<size_t>(Seen - Base);
            FStack.pop_back();
            const Frame& objects = FStack.back();
            auto& spans = Deferred->Spans[objects.Node];
            spans.resize(objects.Count);
            spans.back() = {begin, end};
            if (Deferred->Consumed)
                Deferred->Consumed(end);
            return true;
        }
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
        if (!TIconv::Knows("UTF-8", FWorld.OemCodePage))
            Fail("/oemCodePage", "the code page \"" + FWorld.OemCodePage + "\" is not known");
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

namespace {

std::string TooLarge(const std::string& fileName) {
    return fileName + ": the file is larger than " +
           std::to_string(kMaxTreeFileBytes / (1024 * 1024)) + " MiB";
}

// Parses text and loads it; the objects of the trees are read from text when the loader needs
// them (text must stay readable until the end).
std::shared_ptr<TSimWorld> LoadSpan(const char* text, size_t size, const std::string& fileName,
                                    load::TDeferredText& deferred, std::string& error) {
    deferred.Text = text;
    deferred.Size = size;
    TBoundedBuilder builder;
    builder.Deferred = &deferred;
    builder.Base = text;
    builder.Seen = text;
    bool ok = false;
    try {
        TTrackedChar first{text, &builder.Seen};
        TTrackedChar last{text + size, nullptr};
        ok = json::sax_parse(first, last, &builder, json::input_format_t::json, true);
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
        load::TLoader(*world, &deferred).Load(builder.Root);
    } catch (const load::TLoadError& e) {
        error = fileName + ": " + e.Pointer + ": " + e.What;
        return nullptr;
    } catch (const std::exception& e) {
        error = fileName + ": " + e.what();
        return nullptr;
    }
    return world;
}

// A file mapped for reading; the pages behind the reader are given back as it goes, so that the
// text never stays resident as a whole.
class TMappedFile {
public:
    ~TMappedFile() {
        if (FBase)
            ::munmap(FBase, FSize);
    }
    bool Map(int fd, size_t size) {
        if (size == 0)
            return true;
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED)
            return false;
        FBase = static_cast<char*>(p);
        FSize = size;
        ::madvise(FBase, FSize, MADV_SEQUENTIAL);
        return true;
    }
    const char* Data() const { return FBase ? FBase : ""; }
    size_t Size() const { return FSize; }
    void Restart() { FDone = 0; }
    // Everything before offset has been read in this pass.
    void Consumed(size_t offset) {
        if (!FBase || offset < FDone + kReleaseStep)
            return;
        size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        size_t upTo = offset / page * page;
        if (upTo > FDone)
            ::madvise(FBase + FDone, upTo - FDone, MADV_DONTNEED);
        FDone = upTo;
    }

private:
    static constexpr size_t kReleaseStep = 4u * 1024 * 1024;
    char* FBase = nullptr;
    size_t FSize = 0;
    size_t FDone = 0;
};

} // namespace

namespace load {

bool ParseBounded(const char* begin, const char* end, json& out, std::string& error) {
    TBoundedBuilder builder;
    bool ok = false;
    try {
        ok = json::sax_parse(begin, end, &builder, json::input_format_t::json, true);
    } catch (const std::exception& ex) {
        builder.Error = ex.what();
    }
    if (!ok) {
        error = builder.Error.empty() ? "the text is no JSON" : builder.Error;
        return false;
    }
    out = std::move(builder.Root);
    return true;
}

} // namespace load

std::shared_ptr<TSimWorld> LoadTreeText(const std::string& text, const std::string& fileName,
                                        std::string& error) {
    error.clear();
    if (text.size() > kMaxTreeFileBytes) {
        error = TooLarge(fileName);
        return nullptr;
    }
    load::TDeferredText deferred;
    return LoadSpan(text.data(), text.size(), fileName, deferred, error);
}

std::shared_ptr<TSimWorld> LoadTreeFile(const std::string& fileName, std::string& error) {
    error.clear();
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
        error = TooLarge(fileName);
        return nullptr;
    }
    TMappedFile file;
    bool mapped = file.Map(fd, static_cast<size_t>(st.st_size));
    int mapErrno = errno;
    ::close(fd);
    if (!mapped) {
        error = fileName + ": cannot read the file (" + std::strerror(mapErrno) + ")";
        return nullptr;
    }
    load::TDeferredText deferred;
    deferred.Consumed = [&file](size_t offset) { file.Consumed(offset); };
    deferred.Restart = [&file] { file.Restart(); };
    return LoadSpan(file.Data(), file.Size(), fileName, deferred, error);
}

} // namespace trovalen::sim
