#include "backend/sim/SimClient.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "backend/sim/SimInternal.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

using namespace sim;

namespace {

constexpr size_t kMaxLiveHandles = 65536;
constexpr size_t kMaxLiveIterations = 4096;
constexpr size_t kMaxRequestNames = 1024;

// Bytes a value takes in a result buffer, as the client lays values out (strings as UTF-16 with
// their terminator, numbers as 32 bits).
uint32_t ValueBytes(const TAttrValue& v) {
    auto str = [](const std::string& s) { return static_cast<uint32_t>(4 + 2 * (s.size() + 1)); };
    return std::visit(
        [&](const auto& x) -> uint32_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, TValString>)
                return str(x.Text);
            else if constexpr (std::is_same_v<T, TValCIList>) {
                uint32_t n = 4;
                for (const auto& i : x.Items)
                    n += str(i);
                return n;
            } else if constexpr (std::is_same_v<T, TValOctetString>)
                return static_cast<uint32_t>(4 + x.Data.size());
            else if constexpr (std::is_same_v<T, TValFax>)
                return str(x.TelephoneNumber) + 8;
            else if constexpr (std::is_same_v<T, TValNetAddress>)
                return static_cast<uint32_t>(8 + x.Address.size());
            else if constexpr (std::is_same_v<T, TValOctetList>) {
                uint32_t n = 4;
                for (const auto& i : x.Items)
                    n += static_cast<uint32_t>(4 + i.size());
                return n;
            } else if constexpr (std::is_same_v<T, TValEMail>)
                return 4 + str(x.Address);
            else if constexpr (std::is_same_v<T, TValPath>)
                return 4 + str(x.VolumeName) + str(x.Path);
            else if constexpr (std::is_same_v<T, TValReplicaPointer>)
                return 12 + str(x.ServerName);
            else if constexpr (std::is_same_v<T, TValObjectACL>)
                return 4 + str(x.ProtectedAttrName) + str(x.SubjectName);
            else if constexpr (std::is_same_v<T, TValPostalAddress>) {
                uint32_t n = 4;
                for (const auto& l : x.Lines)
                    n += str(l);
                return n;
            } else if constexpr (std::is_same_v<T, TValBackLink>)
                return 4 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValTypedName>)
                return 8 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValHold>)
                return 4 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValUnknown>)
                return static_cast<uint32_t>(12 + str(x.AttrName) + x.Value.size());
            else if constexpr (std::is_same_v<T, TValRaw>)
                return static_cast<uint32_t>(x.Bytes.size());
            else
                return 8;
        },
        v.Data);
}

uint32_t NameBytes(const std::string& s) {
    return static_cast<uint32_t>(4 + 2 * (s.size() + 1));
}

const char* TypePrefix(const TSimWorld& w, int32_t cls) {
    const char* naming = NamingAttr(w, cls);
    return *naming ? naming : "CN";
}

// Strips the type of each part of a typed name ("CN=Joe.OU=Sales" -> "Joe.Sales").
std::string Typeless(const std::string& name) {
    if (name.find('=') == std::string::npos)
        return name;
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t dot = name.find('.', start);
        std::string part =
            name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        size_t eq = part.find('=');
        if (eq != std::string::npos && eq > 0 && eq <= 3)
            part = part.substr(eq + 1);
        out += part;
        if (dot == std::string::npos)
            break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

bool WildMatchCI(std::string_view pattern, std::string_view text) {
    std::string p = Lower(pattern), t = Lower(text);
    if (p == "*.*")
        p = "*";
    size_t pi = 0, ti = 0, star = std::string::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ti;
        } else if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::vector<std::string> SplitPath(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == '\\' || c == '/') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

} // namespace

// --- Life ---------------------------------------------------------------------------------------

TSimClient::TSimClient(std::shared_ptr<const TSimWorld> world) : world_(std::move(world)) {
    U_SetOemCodePage(world_->OemCodePage);
    pathConns_.assign(world_->Conns.size(), 0);
}

TSimClient::~TSimClient() = default;

NWHandle TSimClient::NewHandle() {
    for (;;) {
        NWHandle h = nextHandle_;
        nextHandle_ = nextHandle_ >= 0x7FFFFFF0 ? 1 : nextHandle_ + 1;
        if (h == NO_CONNECTION || h == 0xFFFF)
            continue;
        if (contexts_.count(h) || bufs_.count(h) || filters_.count(h) || iters_.count(h) ||
            streams_.count(h) || conns_.count(h))
            continue;
        return h;
    }
}

TSimClient::TCtx* TSimClient::Ctx(NWHandle ctx) {
    auto it = contexts_.find(ctx);
    return it == contexts_.end() ? nullptr : &it->second;
}

TBuf* TSimClient::Buf(NWHandle buf) {
    auto it = bufs_.find(buf);
    return it == bufs_.end() ? nullptr : it->second.get();
}

int32_t TSimClient::Conn(NWHandle conn) const {
    auto it = conns_.find(conn);
    return it == conns_.end() ? -1 : it->second;
}

bool TSimClient::Injected(const char* op, const TSel& sel, NWCCODE& code) const {
    for (const TSimFailure& f : world_->Failures) {
        if (f.Operation != op)
            continue;
        if (!f.Tree.empty() && (sel.Tree < 0 || Lower(world_->Trees[sel.Tree].Name) != f.Tree))
            continue;
        if (!f.Object.empty() &&
            (sel.Tree < 0 || sel.Object < 0 ||
             Lower(world_->Trees[sel.Tree].Objects[sel.Object].FullName) != f.Object))
            continue;
        if (!f.Attribute.empty() && (sel.Attr == nullptr || Lower(*sel.Attr) != f.Attribute))
            continue;
        if (!f.Server.empty() &&
            (sel.Server < 0 || Lower(world_->Servers[sel.Server].Name) != f.Server))
            continue;
        if (!f.Path.empty() && Lower(sel.Path) != f.Path)
            continue;
        if (f.HasId && (!sel.HasId || sel.Id != f.Id))
            continue;
        code = f.Code;
        return true;
    }
    return false;
}

bool TSimClient::Injected(const char* op, NWCCODE& code) const {
    return Injected(op, TSel{}, code);
}

NWCCODE TSimClient::ClientStartup() {
    if (world_->StartupCode != 0)
        return world_->StartupCode;
    if (!started_) {
        started_ = true;
        Mount();
    }
    return NW_OK;
}

void TSimClient::Mount() {
    namespace fs = std::filesystem;
    const std::string root = U_MountRoot();
    for (const TSimServer& srv : world_->Servers)
        for (const TSimVolume& vol : srv.Volumes)
            for (const TSimDir& dir : vol.Dirs) {
                std::string path = root + "/" + srv.Name + "/" + vol.Name;
                if (!dir.Path.empty()) {
                    std::string rel = dir.Path;
                    std::replace(rel.begin(), rel.end(), '\\', '/');
                    path += "/" + rel;
                }
                std::error_code ec;
                fs::create_directories(path, ec);
                if ((ec || !fs::is_directory(path, ec)) && mountError_.empty())
                    mountError_ = "cannot create " + path + (ec ? " (" + ec.message() + ")" : "");
            }
}

std::string TSimClient::ErrorText(NWCCODE code) {
    switch (code & 0xFFFF) {
    case 0:
        return "Success";
    case 0xFFFF:
        return "No more entries, or the request could not be carried out";
    case 30:
        return "The stream could not be read";
    case 0xFDA7:
        return "No such entry";
    case 0xFDA6:
        return "No such value";
    case 0xFDA5:
        return "No such attribute";
    case 0xFDA4:
        return "No such class";
    case 0xFD9D:
        return "Not a container";
    case 0xFD60:
        return "No access";
    case 0xFEBE:
        return "Invalid handle";
    case 0xFED0:
        return "Buffer full";
    case 0xFECD:
        return "Buffer empty";
    case 0xFECC:
        return "Bad request";
    case 0xFEC6:
        return "Invalid object name";
    case 0xFEB8:
        return "Context creation failed";
    case 0xFEBA:
        return "Invalid filter";
    case 0xFD42:
        return "Value not convertible for its syntax";
    case 0xFD91:
        return "Syntax not usable in a filter";
    case 0xFF64:
        return "Directory or object does not exist";
    case 0xFD63:
        return "Not authenticated";
    case 0x880F:
        return "No connection to the server";
    case 0x8801:
        return "Invalid connection";
    case 0x899C:
        return "Invalid path, or no more trustees";
    case 0x89FF:
        return "No more entries";
    case 0x8998:
        return "Volume does not exist";
    case 0x89FC:
        return "No such object";
    default:
        return "Unknown error";
    }
}

// --- Contexts -----------------------------------------------------------------------------------

NWCCODE TSimClient::NewContext(NWHandle& ctx) {
    NWCCODE code;
    if (Injected("NewContext", code))
        return code;
    if (contexts_.size() >= kMaxLiveHandles)
        return ERR_CONTEXT_CREATION;
    TCtx c;
    for (const TSimConn& conn : world_->Conns)
        if (conn.Primary)
            c.Tree = conn.Tree;
    if (c.Tree < 0 && !world_->Trees.empty())
        c.Tree = 0;
    ctx = NewHandle();
    contexts_[ctx] = c;
    return NW_OK;
}

NWCCODE TSimClient::CopyContext(NWHandle ctx, NWHandle& copy) {
    NWCCODE code;
    if (Injected("CopyContext", code))
        return code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    if (contexts_.size() >= kMaxLiveHandles)
        return ERR_CONTEXT_CREATION;
    TCtx value = *c;
    copy = NewHandle();
    contexts_[copy] = value;
    return NW_OK;
}

NWCCODE TSimClient::FreeContext(NWHandle ctx) {
    return contexts_.erase(ctx) ? NW_OK : ERR_INVALID_HANDLE;
}

NWCCODE TSimClient::GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) {
    NWCCODE code;
    if (Injected("GetContextValue", code))
        return code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    switch (key) {
    case DCK_FLAGS:
        value = c->Flags;
        return NW_OK;
    case DCK_CONFIDENCE:
        value = c->Confidence;
        return NW_OK;
    case DCK_DSI_FLAGS:
        value = c->Dsi;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

NWCCODE TSimClient::GetContextValue(NWHandle ctx, uint32_t key, std::string& value) {
    NWCCODE code;
    if (Injected("GetContextValue", code))
        return code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    switch (key) {
    case DCK_NAME_CONTEXT:
        value = c->NameContext;
        return NW_OK;
    case DCK_TREE_NAME:
        value = c->Tree >= 0 ? world_->Trees[c->Tree].Name : std::string();
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

NWCCODE TSimClient::SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) {
    NWCCODE code;
    if (Injected("SetContextValue", code))
        return code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    switch (key) {
    case DCK_FLAGS:
        c->Flags = value;
        return NW_OK;
    case DCK_CONFIDENCE:
        c->Confidence = value;
        return NW_OK;
    case DCK_DSI_FLAGS:
        c->Dsi = value;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

NWCCODE TSimClient::SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) {
    NWCCODE code;
    if (Injected("SetContextValue", code))
        return code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    if (key == DCK_TREE_NAME) {
        // Trees come back padded with "_" from the connection calls; either spelling is taken.
        std::string name = value.substr(0, 32);
        while (!name.empty() && name.back() == '_' && world_->FindTree(name) < 0)
            name.pop_back();
        int32_t tree = world_->FindTree(name);
        if (tree < 0)
            return ERR_NO_CONNECTION;
        c->Tree = tree;
        return NW_OK;
    }
    if (key == DCK_NAME_CONTEXT) {
        std::string name = Typeless(value);
        if (!name.empty() && name[0] == '.')
            name.erase(0, 1);
        if (name.empty() || name == "[Root]") {
            c->NameContext = "[Root]";
            return NW_OK;
        }
        std::vector<std::string> parts;
        if (!SplitName(name, parts) || name.size() > 1024)
            return ERR_INVALID_OBJECT_NAME;
        c->NameContext = name;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

// --- Names --------------------------------------------------------------------------------------

NWCCODE TSimClient::FullName(const TCtx& c, const std::string& raw, std::string& full) const {
    if (raw.empty() || raw.size() > 1024)
        return ERR_INVALID_OBJECT_NAME;
    if (raw == "[Root]" || raw == ".[Root]") {
        full = "[Root]";
        return NW_OK;
    }
    std::string name = Typeless(raw);
    std::vector<std::string> parts;
    if (name[0] == '.') {
        name.erase(0, 1);
        if (!SplitName(name, parts))
            return ERR_INVALID_OBJECT_NAME;
        full = name;
        return NW_OK;
    }
    // Relative: each trailing dot climbs one level above the name context.
    size_t up = 0;
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
        ++up;
    }
    if (!SplitName(name, parts))
        return ERR_INVALID_OBJECT_NAME;
    std::vector<std::string> ctxParts;
    if (c.NameContext != "[Root]")
        SplitName(c.NameContext, ctxParts);
    if (up > ctxParts.size())
        return ERR_INVALID_OBJECT_NAME;
    full = name;
    for (size_t i = up; i < ctxParts.size(); ++i)
        full += "." + ctxParts[i];
    return NW_OK;
}

NWCCODE TSimClient::Resolve(const TCtx& c, const std::string& name, int32_t& object) const {
    if (c.Tree < 0)
        return ERR_NO_CONNECTION;
    std::string full;
    NWCCODE code = FullName(c, name, full);
    if (code != NW_OK)
        return code;
    object = world_->Trees[c.Tree].Find(full);
    return object < 0 ? ERR_NO_SUCH_ENTRY : NW_OK;
}

int32_t TSimClient::Deref(const TCtx& c, int32_t object) const {
    if ((c.Flags & DCV_DEREF_ALIASES) == 0)
        return object;
    const TSimTree& t = world_->Trees[c.Tree];
    for (int hops = 0; hops < 32 && t.Objects[object].AliasTarget >= 0; ++hops)
        object = t.Objects[object].AliasTarget;
    return object;
}

std::string TSimClient::RenderRdn(const TCtx& c, int32_t tree, int32_t object) const {
    const TSimObject& o = world_->Trees[tree].Objects[object];
    if (object == 0)
        return "[Root]";
    if (c.Flags & DCV_TYPELESS_NAMES)
        return o.Rdn;
    return std::string(TypePrefix(*world_, o.Class)) + "=" + o.Rdn;
}

std::string TSimClient::Render(const TCtx& c, int32_t tree, int32_t object) const {
    if (object == 0)
        return "[Root]";
    const TSimTree& t = world_->Trees[tree];
    std::vector<int32_t> chain;
    for (int32_t cur = object; cur > 0; cur = t.Objects[cur].Parent)
        chain.push_back(cur);
    size_t keep = chain.size();
    bool absolute = false;
    if ((c.Flags & DCV_CANONICALIZE_NAMES) == 0 && c.NameContext != "[Root]") {
        std::vector<std::string> ctxParts;
        SplitName(c.NameContext, ctxParts);
        bool under = chain.size() > ctxParts.size();
        for (size_t i = 0; under && i < ctxParts.size(); ++i)
            under = Lower(t.Objects[chain[chain.size() - ctxParts.size() + i]].Rdn) ==
                    Lower(ctxParts[i]);
        if (under)
            keep = chain.size() - ctxParts.size();
        else
            absolute = true;
    }
    std::string out = absolute ? "." : "";
    for (size_t i = 0; i < keep; ++i) {
        if (i > 0)
            out += '.';
        out += RenderRdn(c, tree, chain[i]);
    }
    return out;
}

std::string TSimClient::RenderName(const TCtx& c, int32_t tree, const std::string& fullName) const {
    if (fullName.empty() || fullName[0] == '[')
        return fullName;
    int32_t object = world_->Trees[tree].Find(fullName);
    return object < 0 ? fullName : Render(c, tree, object);
}

TAttrValue TSimClient::RenderValue(const TCtx& c, int32_t tree, const TAttrValue& v) const {
    TAttrValue out = v;
    auto name = [&](std::string& s) { s = RenderName(c, tree, s); };
    if (v.Syntax == SYN_DIST_NAME) {
        if (auto s = std::get_if<TValString>(&out.Data))
            name(s->Text);
    } else if (auto p = std::get_if<TValPath>(&out.Data)) {
        name(p->VolumeName);
    } else if (auto r = std::get_if<TValReplicaPointer>(&out.Data)) {
        name(r->ServerName);
    } else if (auto a = std::get_if<TValObjectACL>(&out.Data)) {
        name(a->SubjectName);
    } else if (auto b = std::get_if<TValBackLink>(&out.Data)) {
        name(b->ObjectName);
    } else if (auto tn = std::get_if<TValTypedName>(&out.Data)) {
        name(tn->ObjectName);
    } else if (auto h = std::get_if<TValHold>(&out.Data)) {
        name(h->ObjectName);
    }
    return out;
}

TObjectSummary TSimClient::Summary(int32_t tree, int32_t object) const {
    const TSimObject& o = world_->Trees[tree].Objects[object];
    TObjectSummary s;
    s.Flags = (o.Container ? DS_CONTAINER_ENTRY : 0) | (o.AliasTarget >= 0 ? DS_ALIAS_ENTRY : 0);
    s.SubordinateCount = static_cast<uint32_t>(o.Children.size());
    s.ModificationTime = o.Modified;
    s.ClassName = world_->Schema.Classes[o.Class].Name;
    return s;
}

NWCCODE TSimClient::CurrentUserDN(NWHandle ctx, std::string& name) {
    NWCCODE code;
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    if (Injected("CurrentUserDN", TSel{c->Tree}, code))
        return code;
    const TSimConn* found = nullptr;
    for (const TSimConn& conn : world_->Conns)
        if (conn.Tree == c->Tree && c->Tree >= 0 && conn.User >= 0 &&
            (found == nullptr || conn.Primary))
            found = &conn;
    if (found == nullptr)
        return ERR_NOT_AUTHENTICATED;
    name = Render(*c, c->Tree, found->User);
    return NW_OK;
}

NWCCODE TSimClient::AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    NWCCODE code;
    if (Injected("AbbreviateName", TSel{c->Tree}, code))
        return code;
    std::string full;
    if ((code = FullName(*c, name, full)) != NW_OK)
        return code;
    int32_t object = c->Tree >= 0 ? world_->Trees[c->Tree].Find(full) : -1;
    if (object >= 0) {
        out = Render(*c, c->Tree, object);
        return NW_OK;
    }
    // A name the tree does not hold is shortened as text.
    out = full;
    if ((c->Flags & DCV_CANONICALIZE_NAMES) == 0 && c->NameContext != "[Root]" &&
        full != "[Root]") {
        std::string suffix = "." + Lower(c->NameContext);
        std::string l = Lower(full);
        if (l.size() > suffix.size() &&
            l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0)
            out = full.substr(0, full.size() - suffix.size());
        else
            out = "." + full;
    }
    return NW_OK;
}

NWCCODE TSimClient::MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    int32_t tree = world_->Conns[ci].Tree;
    TSel sel{tree};
    sel.Server = world_->Conns[ci].Server;
    sel.HasId = true;
    sel.Id = id;
    NWCCODE code;
    if (Injected("MapIDToName", sel, code))
        return code;
    if (tree < 0)
        return ERR_NO_SUCH_ENTRY;
    const TSimTree& t = world_->Trees[tree];
    auto it = t.ById.find(id);
    if (it == t.ById.end())
        return ERR_NO_SUCH_ENTRY;
    name = Render(*c, tree, it->second);
    return NW_OK;
}

NWCCODE TSimClient::ServerDN(NWHandle ctx, NWHandle conn, std::string& name) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    const TSimServer& srv = world_->Servers[world_->Conns[ci].Server];
    TSel sel{srv.Tree};
    sel.Server = world_->Conns[ci].Server;
    NWCCODE code;
    if (Injected("ServerDN", sel, code))
        return code;
    if (srv.Tree < 0 || srv.Object < 0)
        return ERR_NO_SUCH_ENTRY;
    name = Render(*c, srv.Tree, srv.Object);
    return NW_OK;
}

// --- Objects ------------------------------------------------------------------------------------

NWCCODE TSimClient::ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                                      TObjectSummary& summary) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t object = -1;
    NWCCODE code = Resolve(*c, name, object);
    if (code != NW_OK)
        return code;
    if (Injected("ReadObjectSummary", TSel{c->Tree, object}, code))
        return code;
    dn = Render(*c, c->Tree, object);
    summary = Summary(c->Tree, object);
    return NW_OK;
}

NWCCODE TSimClient::ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                                    NWHandle buf) {
    TCtx* c = Ctx(ctx);
    TBuf* b = Buf(buf);
    if (c == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t object = -1;
    NWCCODE code = Resolve(*c, name, object);
    if (code != NW_OK)
        return code;
    if (Injected("ReadObjectItems", TSel{c->Tree, object}, code))
        return code;
    const TSimObject& o = world_->Trees[c->Tree].Objects[object];
    b->Items.clear();
    uint32_t used = 0;
    auto add = [&](uint32_t item, uint32_t number, const std::string& text) {
        b->Items.push_back({item, TObjectItem{number, text}});
        used += 8 + static_cast<uint32_t>(text.size()) * 2;
    };
    if (c->Dsi & DSI_MODIFICATION_TIME)
        add(DSI_MODIFICATION_TIME, o.Modified, {});
    if (c->Dsi & DSI_CREATION_TIME)
        add(DSI_CREATION_TIME, o.Created, {});
    if (c->Dsi & DSI_BASE_CLASS)
        add(DSI_BASE_CLASS, 0, world_->Schema.Classes[o.Class].Name);
    if (c->Dsi & DSI_RDN)
        add(DSI_RDN, 0, RenderRdn(*c, c->Tree, object));
    if (c->Dsi & DSI_DN)
        add(DSI_DN, 0, Render(*c, c->Tree, object));
    if (c->Dsi & DSI_PARENT_DN)
        add(DSI_PARENT_DN, 0, o.Parent >= 0 ? Render(*c, c->Tree, o.Parent) : std::string());
    if (used > size || used > b->Size) {
        b->Items.clear();
        return ERR_BUFFER_FULL;
    }
    return NW_OK;
}

NWCCODE TSimClient::ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                               TObjectItem& out) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    for (const auto& [key, value] : b->Items) {
        if (key != item)
            continue;
        if (value.Text.size() + 1 > size)
            return ERR_BUFFER_FULL;
        out = value;
        return NW_OK;
    }
    return ERR_NO_SUCH_VALUE;
}

// --- Buffers ------------------------------------------------------------------------------------

NWCCODE TSimClient::AllocBuf(uint32_t size, NWHandle& buf) {
    NWCCODE code;
    if (Injected("AllocBuf", code))
        return code;
    if (size == 0 || size > 65536 || bufs_.size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    auto b = std::make_unique<TBuf>();
    b->Size = size;
    buf = NewHandle();
    bufs_[buf] = std::move(b);
    return NW_OK;
}

NWCCODE TSimClient::InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    uint32_t size = b->Size;
    *b = TBuf{};
    b->Size = size;
    b->Operation = operation;
    return NW_OK;
}

NWCCODE TSimClient::FreeBuf(NWHandle buf) {
    return bufs_.erase(buf) ? NW_OK : ERR_INVALID_HANDLE;
}

// --- Attributes ---------------------------------------------------------------------------------

NWCCODE TSimClient::PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (b->Names.size() >= kMaxRequestNames || attr.size() > 1024)
        return ERR_BUFFER_FULL;
    b->Names.push_back(attr);
    return NW_OK;
}

NWHandle TSimClient::NewIter(std::unique_ptr<TIter> it) {
    if (iters_.size() >= kMaxLiveIterations)
        iters_.erase(iters_.begin()); // the oldest abandoned iteration
    NWHandle h = NewHandle();
    iters_[h] = std::move(it);
    return h;
}

NWCCODE TSimClient::ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                                   bool allAttrs, NWHandle request, int32_t& iteration,
                                   NWHandle result) {
    TCtx* c = Ctx(ctx);
    TBuf* out = Buf(result);
    if (c == nullptr || out == nullptr)
        return ERR_INVALID_HANDLE;
    TIter* it = nullptr;
    NWHandle handle = iteration;
    if (iteration == -1) {
        int32_t idx = -1;
        NWCCODE code = Resolve(*c, object, idx);
        if (code != NW_OK)
            return code;
        idx = Deref(*c, idx);
        TBuf* req = allAttrs ? nullptr : Buf(request);
        if (!allAttrs && req == nullptr)
            return ERR_INVALID_HANDLE;
        TSel sel{c->Tree, idx};
        if (allAttrs) {
            if (Injected("ReadAttributes", sel, code))
                return code;
        } else {
            for (const auto& n : req->Names) {
                sel.Attr = &n;
                if (Injected("ReadAttributes", sel, code))
                    return code;
            }
        }
        const TSimTree& t = world_->Trees[c->Tree];
        std::vector<int32_t> attrs;
        if (allAttrs) {
            attrs = ObjectAttrs(*world_, t, idx);
        } else {
            for (const auto& n : req->Names) {
                int32_t a = world_->Schema.FindAttr(n);
                if (a >= 0 && std::find(attrs.begin(), attrs.end(), a) == attrs.end() &&
                    !ObjectValues(*world_, t, idx, a).empty())
                    attrs.push_back(a);
            }
        }
        if (attrs.empty())
            return ERR_NO_SUCH_ATTRIBUTE;
        auto iter = std::make_unique<TIter>();
        iter->Op = "ReadAttributes";
        iter->Tree = c->Tree;
        for (int32_t a : attrs) {
            TAttrOut ao;
            ao.Name = world_->Schema.Attrs[a].Name;
            ao.Syntax = world_->Schema.Attrs[a].Syntax;
            if (infoType != 0)
                for (const auto& v : ObjectValues(*world_, t, idx, a))
                    ao.Values.push_back(RenderValue(*c, c->Tree, v));
            iter->Attrs.push_back(std::move(ao));
        }
        handle = NewIter(std::move(iter));
    }
    auto found = iters_.find(handle);
    if (found == iters_.end() || found->second->Op != "ReadAttributes")
        return ERR_INVALID_HANDLE;
    it = found->second.get();

    // Fill the result buffer with as many values as it holds.
    out->Attrs.clear();
    out->AttrPos = out->ValuePos = 0;
    out->InAttr = false;
    uint32_t used = 4, values = 0;
    const uint32_t maxValues = world_->Limits.ReadBatch ? world_->Limits.ReadBatch : UINT32_MAX;
    while (it->Pos < it->Attrs.size()) {
        const TAttrOut& src = it->Attrs[it->Pos];
        uint32_t header = NameBytes(src.Name) + 8;
        if (used + header > out->Size || values >= maxValues)
            break;
        TAttrOut part{src.Name, src.Syntax, {}};
        size_t v = it->ValuePos;
        while (v < src.Values.size() && values < maxValues) {
            uint32_t bytes = ValueBytes(src.Values[v]);
            if (used + header + bytes > out->Size)
                break;
            used += bytes;
            part.Values.push_back(src.Values[v++]);
            ++values;
        }
        if (part.Values.empty() && v < src.Values.size())
            break; // the next value goes into the next buffer
        used += header;
        out->Attrs.push_back(std::move(part));
        if (v < src.Values.size()) {
            it->ValuePos = v;
            break;
        }
        ++it->Pos;
        it->ValuePos = 0;
    }
    if (out->Attrs.empty() && it->Pos < it->Attrs.size()) {
        iters_.erase(handle);
        iteration = -1;
        return ERR_BUFFER_FULL; // one value larger than the whole buffer
    }
    if (it->Pos >= it->Attrs.size()) {
        iters_.erase(handle);
        iteration = -1;
    } else {
        iteration = handle;
    }
    return NW_OK;
}

NWCCODE TSimClient::AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    count = static_cast<uint32_t>(b->Attrs.size());
    return NW_OK;
}

NWCCODE TSimClient::NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                             uint32_t& syntax) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (b->AttrPos >= b->Attrs.size())
        return ERR_BUFFER_EMPTY;
    const TAttrOut& a = b->Attrs[b->AttrPos++];
    b->ValuePos = 0;
    b->InAttr = true;
    name = a.Name;
    valueCount = static_cast<uint32_t>(a.Values.size());
    syntax = a.Syntax;
    return NW_OK;
}

NWCCODE TSimClient::AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t, uint32_t& size) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size())
        return ERR_BUFFER_EMPTY;
    size = ValueBytes(b->Attrs[b->AttrPos - 1].Values[b->ValuePos]);
    return NW_OK;
}

NWCCODE TSimClient::NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t, TAttrValue& value) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size())
        return ERR_BUFFER_EMPTY;
    value = b->Attrs[b->AttrPos - 1].Values[b->ValuePos++];
    return NW_OK;
}

NWCCODE TSimClient::OpenAttrStream(NWHandle ctx, const std::string& object, const std::string& attr,
                                   uint32_t flags, NWHandle& file) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t idx = -1;
    NWCCODE code = Resolve(*c, object, idx);
    if (code != NW_OK)
        return code;
    idx = Deref(*c, idx);
    TSel sel{c->Tree, idx};
    sel.Attr = &attr;
    if (Injected("OpenAttrStream", sel, code))
        return code;
    // Streams open for reading only: nothing can be changed through this client.
    if (flags != 1)
        return ERR_NO_ACCESS;
    int32_t a = world_->Schema.FindAttr(attr);
    if (a < 0)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (world_->Schema.Attrs[a].Syntax != SYN_STREAM)
        return ERR_BAD_VERB;
    const TSimAttr* stored = world_->Trees[c->Tree].FindAttr(idx, a);
    if (stored == nullptr)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (streams_.size() >= kMaxLiveHandles)
        return ERR_NO_ACCESS;
    auto s = std::make_unique<TStream>();
    s->Data = stored->Stream;
    s->Tree = c->Tree;
    s->Object = idx;
    s->Attr = world_->Schema.Attrs[a].Name;
    file = NewHandle();
    streams_[file] = std::move(s);
    return NW_OK;
}

NWCCODE TSimClient::ReadStream(NWHandle file, uint32_t max, std::string& data) {
    auto it = streams_.find(file);
    if (it == streams_.end())
        return ERR_INVALID_HANDLE;
    TStream& s = *it->second;
    TSel sel{s.Tree, s.Object};
    sel.Attr = &s.Attr;
    NWCCODE code;
    if (Injected("ReadStream", sel, code))
        return code;
    size_t n = std::min<size_t>(max, s.Data.size() - s.Pos);
    data.assign(s.Data, s.Pos, n);
    s.Pos += n;
    return NW_OK;
}

NWCCODE TSimClient::CloseStream(NWHandle file) {
    return streams_.erase(file) ? NW_OK : ERR_INVALID_HANDLE;
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TSimClient::List(const char* op, NWHandle ctx, const std::string& container,
                         bool containersOnly, int32_t& iteration, NWHandle result) {
    TCtx* c = Ctx(ctx);
    TBuf* out = Buf(result);
    if (c == nullptr || out == nullptr)
        return ERR_INVALID_HANDLE;
    NWHandle handle = iteration;
    if (iteration == -1) {
        int32_t idx = -1;
        NWCCODE code = Resolve(*c, container, idx);
        if (code != NW_OK)
            return code;
        if (Injected(op, TSel{c->Tree, idx}, code))
            return code;
        auto iter = std::make_unique<TIter>();
        iter->Op = op;
        iter->Tree = c->Tree;
        for (int32_t child : world_->Trees[c->Tree].Objects[idx].Children)
            if (!containersOnly || world_->Trees[c->Tree].Objects[child].Container)
                iter->Objects.push_back(child);
        handle = NewIter(std::move(iter));
    }
    auto found = iters_.find(handle);
    if (found == iters_.end() || found->second->Op != op)
        return ERR_INVALID_HANDLE;
    TIter& it = *found->second;
    out->Objects.clear();
    out->ObjPos = 0;
    uint32_t used = 4;
    const uint32_t maxObjects = world_->Limits.ListBatch ? world_->Limits.ListBatch : UINT32_MAX;
    while (it.Pos < it.Objects.size() && out->Objects.size() < maxObjects) {
        TObjOut o{RenderRdn(*c, it.Tree, it.Objects[it.Pos]), Summary(it.Tree, it.Objects[it.Pos])};
        uint32_t bytes = NameBytes(o.Name) + NameBytes(o.Summary.ClassName) + 16;
        if (used + bytes > out->Size && !out->Objects.empty())
            break;
        used += bytes;
        out->Objects.push_back(std::move(o));
        ++it.Pos;
    }
    if (it.Pos >= it.Objects.size()) {
        iters_.erase(handle);
        iteration = -1;
    } else {
        iteration = handle;
    }
    return NW_OK;
}

NWCCODE TSimClient::ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                                     NWHandle result) {
    return List("ListSubordinates", ctx, container, false, iteration, result);
}

NWCCODE TSimClient::ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                                   NWHandle result) {
    return List("ListContainers", ctx, container, true, iteration, result);
}

NWCCODE TSimClient::ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    count = static_cast<uint32_t>(b->Objects.size());
    return NW_OK;
}

NWCCODE TSimClient::NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                               TObjectSummary& summary) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (b->ObjPos >= b->Objects.size())
        return ERR_BUFFER_EMPTY;
    const TObjOut& o = b->Objects[b->ObjPos++];
    name = o.Name;
    summary = o.Summary;
    attrCount = 0;
    return NW_OK;
}

NWCCODE TSimClient::ReadClassDefs(NWHandle ctx, uint32_t, bool allClasses, NWHandle request,
                                  int32_t& iteration, NWHandle result) {
    TCtx* c = Ctx(ctx);
    TBuf* out = Buf(result);
    if (c == nullptr || out == nullptr)
        return ERR_INVALID_HANDLE;
    NWHandle handle = iteration;
    if (iteration == -1) {
        NWCCODE code;
        if (Injected("ReadClassDefs", TSel{c->Tree}, code))
            return code;
        auto iter = std::make_unique<TIter>();
        iter->Op = "ReadClassDefs";
        const TSimSchema& s = world_->Schema;
        if (allClasses) {
            for (size_t i = 0; i < s.Classes.size(); ++i)
                iter->Classes.push_back({s.Classes[i].Name, s.ClassFlags(static_cast<int32_t>(i))});
        } else {
            TBuf* req = Buf(request);
            if (req == nullptr)
                return ERR_INVALID_HANDLE;
            for (const auto& n : req->Names) {
                int32_t cls = s.FindClass(n);
                if (cls < 0)
                    return ERR_NO_SUCH_CLASS;
                iter->Classes.push_back({s.Classes[cls].Name, s.ClassFlags(cls)});
            }
        }
        handle = NewIter(std::move(iter));
    }
    auto found = iters_.find(handle);
    if (found == iters_.end() || found->second->Op != "ReadClassDefs")
        return ERR_INVALID_HANDLE;
    TIter& it = *found->second;
    out->Classes.clear();
    out->ClassPos = 0;
    uint32_t used = 4;
    const uint32_t maxClasses = world_->Limits.ClassBatch ? world_->Limits.ClassBatch : UINT32_MAX;
    while (it.Pos < it.Classes.size() && out->Classes.size() < maxClasses) {
        uint32_t bytes = NameBytes(it.Classes[it.Pos].Name) + 4;
        if (used + bytes > out->Size && !out->Classes.empty())
            break;
        used += bytes;
        out->Classes.push_back(it.Classes[it.Pos++]);
    }
    if (it.Pos >= it.Classes.size()) {
        iters_.erase(handle);
        iteration = -1;
    } else {
        iteration = handle;
    }
    return NW_OK;
}

NWCCODE TSimClient::ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    count = static_cast<uint32_t>(b->Classes.size());
    return NW_OK;
}

NWCCODE TSimClient::NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) {
    TBuf* b = Buf(buf);
    if (Ctx(ctx) == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    if (b->ClassPos >= b->Classes.size())
        return ERR_BUFFER_EMPTY;
    def = b->Classes[b->ClassPos++];
    return NW_OK;
}

// --- Search -------------------------------------------------------------------------------------

NWCCODE TSimClient::NewFilter(NWHandle ctx, NWHandle& filter) {
    if (Ctx(ctx) == nullptr)
        return ERR_INVALID_HANDLE;
    if (filters_.size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    filter = NewHandle();
    filters_[filter] = std::make_unique<TFilter>();
    return NW_OK;
}

NWCCODE TSimClient::AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                                   uint32_t syntax) {
    auto it = filters_.find(filter);
    if (it == filters_.end())
        return ERR_INVALID_HANDLE;
    bool known = token <= FTOK_APPROX || (token >= FTOK_ANAME && token <= FTOK_BASECLS);
    bool needsValue = token == FTOK_AVAL || token == FTOK_ANAME;
    if (!known || (needsValue && value == nullptr))
        return ERR_INVALID_FILTER;
    if (it->second->Tokens.size() >= 100000)
        return ERR_BUFFER_FULL;
    TFilterToken t;
    t.Token = token;
    t.Syntax = syntax;
    if (needsValue) {
        t.HasValue = true;
        t.Value = *value;
    }
    it->second->Tokens.push_back(std::move(t));
    return NW_OK;
}

NWCCODE TSimClient::AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    TSel sel{c->Tree};
    sel.Attr = &attr;
    NWCCODE code;
    if (Injected("AttrSyntax", sel, code))
        return code;
    int32_t a = world_->Schema.FindAttr(attr);
    if (a < 0)
        return ERR_NO_SUCH_ATTRIBUTE;
    syntax = world_->Schema.Attrs[a].Syntax;
    return NW_OK;
}

NWCCODE TSimClient::PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) {
    auto it = filters_.find(filter);
    if (it == filters_.end())
        return ERR_INVALID_HANDLE;
    std::unique_ptr<TFilter> f = std::move(it->second);
    filters_.erase(it);
    TCtx* c = Ctx(ctx);
    TBuf* b = Buf(buf);
    if (c == nullptr || b == nullptr)
        return ERR_INVALID_HANDLE;
    NWCCODE code;
    if (Injected("PutFilter", TSel{c->Tree}, code))
        return code;
    // Names in comparison values are taken against the context, as every name is.
    auto full = [&](std::string& name) {
        std::string out;
        if (name.empty() || name[0] == '[')
            return;
        name = FullName(*c, name, out) == NW_OK ? out : "\x01" + name;
    };
    int32_t lastAttr = -1;
    for (TFilterToken& t : f->Tokens) {
        if (t.Token == FTOK_ANAME) {
            auto name = std::get_if<TValString>(&t.Value.Data);
            lastAttr = name ? world_->Schema.FindAttr(name->Text) : -1;
        }
        if (t.Token != FTOK_AVAL)
            continue;
        bool dn = t.Syntax == SYN_DIST_NAME ||
                  (lastAttr >= 0 && world_->Schema.Attrs[lastAttr].Syntax == SYN_DIST_NAME);
        if (dn) {
            if (auto s = std::get_if<TValString>(&t.Value.Data))
                full(s->Text);
        } else if (auto a = std::get_if<TValObjectACL>(&t.Value.Data)) {
            full(a->SubjectName);
        } else if (auto p = std::get_if<TValPath>(&t.Value.Data)) {
            full(p->VolumeName);
        } else if (auto tn = std::get_if<TValTypedName>(&t.Value.Data)) {
            full(tn->ObjectName);
        } else if (auto h = std::get_if<TValHold>(&t.Value.Data)) {
            full(h->ObjectName);
        } else if (auto bl = std::get_if<TValBackLink>(&t.Value.Data)) {
            full(bl->ObjectName);
        } else if (auto r = std::get_if<TValReplicaPointer>(&t.Value.Data)) {
            full(r->ServerName);
        }
    }
    TFilterNode root;
    if ((code = ParseFilter(*world_, f->Tokens, root)) != NW_OK)
        return code;
    b->HasFilter = true;
    b->FilterTree = c->Tree;
    b->Filter = std::move(root);
    return NW_OK;
}

NWCCODE TSimClient::FreeFilter(NWHandle filter) {
    return filters_.erase(filter) ? NW_OK : ERR_INVALID_HANDLE;
}

namespace {

// The objects a filter can match at all, from the index of distinguished-name values, when the
// filter is (or requires) one equality on such an attribute. Null when the index cannot answer.
const std::vector<int32_t>* IndexCandidates(const TSimWorld& w, const TSimTree& t,
                                            const TFilterNode& f) {
    static const std::vector<int32_t> kNone;
    if (f.Kind == TFilterNode::And) {
        for (const auto& k : f.Kids)
            if (const auto* c = IndexCandidates(w, t, k))
                return c;
        return nullptr;
    }
    if (f.Kind != TFilterNode::Compare || f.Op != FTOK_EQ || f.Attr < 0 ||
        w.Schema.Attrs[f.Attr].Syntax != SYN_DIST_NAME)
        return nullptr;
    auto s = std::get_if<TValString>(&f.Value.Data);
    if (s == nullptr)
        return &kNone;
    auto it = t.DnIndex.find(TSimTree::DnKey(f.Attr, Lower(s->Text)));
    return it == t.DnIndex.end() ? &kNone : &it->second;
}

bool InScope(const TSimTree& t, int32_t base, int scope, int32_t object) {
    if (scope == DS_SEARCH_ENTRY)
        return object == base;
    if (scope == DS_SEARCH_SUBORDINATES)
        return t.Objects[object].Parent == base;
    for (int32_t cur = object; cur >= 0; cur = t.Objects[cur].Parent)
        if (cur == base)
            return true;
    return false;
}

} // namespace

NWCCODE TSimClient::SearchObjects(NWHandle ctx, const std::string& base, int scope,
                                  NWHandle filterBuf, bool, int32_t& iteration, uint32_t maxPerCall,
                                  uint32_t& count, NWHandle result) {
    TCtx* c = Ctx(ctx);
    TBuf* out = Buf(result);
    TBuf* fb = Buf(filterBuf);
    if (c == nullptr || out == nullptr || fb == nullptr)
        return ERR_INVALID_HANDLE;
    NWHandle handle = iteration;
    if (iteration == -1) {
        if (!fb->HasFilter || fb->FilterTree != c->Tree)
            return ERR_INVALID_FILTER;
        if (scope < DS_SEARCH_ENTRY || scope > DS_SEARCH_SUBTREE)
            return ERR_BAD_VERB;
        int32_t b = -1;
        NWCCODE code = Resolve(*c, base, b);
        if (code != NW_OK)
            return code;
        if (Injected("SearchObjects", TSel{c->Tree, b}, code))
            return code;
        const TSimTree& t = world_->Trees[c->Tree];
        auto iter = std::make_unique<TIter>();
        iter->Op = "SearchObjects";
        iter->Tree = c->Tree;
        if (const auto* candidates = IndexCandidates(*world_, t, fb->Filter)) {
            for (int32_t o : *candidates)
                if (InScope(t, b, scope, o) && FilterMatches(*world_, t, o, fb->Filter))
                    iter->Objects.push_back(o);
        } else {
            std::vector<int32_t> todo;
            if (scope == DS_SEARCH_SUBORDINATES)
                todo.assign(t.Objects[b].Children.rbegin(), t.Objects[b].Children.rend());
            else
                todo.push_back(b);
            while (!todo.empty()) {
                int32_t o = todo.back();
                todo.pop_back();
                if (FilterMatches(*world_, t, o, fb->Filter))
                    iter->Objects.push_back(o);
                if (scope == DS_SEARCH_SUBTREE)
                    for (auto k = t.Objects[o].Children.rbegin(); k != t.Objects[o].Children.rend();
                         ++k)
                        todo.push_back(*k);
            }
        }
        handle = NewIter(std::move(iter));
    }
    auto found = iters_.find(handle);
    if (found == iters_.end() || found->second->Op != "SearchObjects")
        return ERR_INVALID_HANDLE;
    TIter& it = *found->second;
    uint32_t batch =
        std::min<uint32_t>(maxPerCall == 0 ? 50 : maxPerCall, world_->Limits.SearchBatch);
    out->Objects.clear();
    out->ObjPos = 0;
    uint32_t used = 4;
    while (it.Pos < it.Objects.size() && out->Objects.size() < batch) {
        TObjOut o{Render(*c, it.Tree, it.Objects[it.Pos]), Summary(it.Tree, it.Objects[it.Pos])};
        uint32_t bytes = NameBytes(o.Name) + NameBytes(o.Summary.ClassName) + 16;
        if (used + bytes > out->Size && !out->Objects.empty())
            break;
        used += bytes;
        out->Objects.push_back(std::move(o));
        ++it.Pos;
    }
    count = static_cast<uint32_t>(out->Objects.size());
    if (it.Pos >= it.Objects.size()) {
        iters_.erase(handle);
        iteration = -1;
    } else {
        iteration = handle;
    }
    return NW_OK;
}

// --- Rights -------------------------------------------------------------------------------------

uint32_t TSimClient::EffectiveRights(int32_t tree, int32_t subject, int32_t object,
                                     const std::string& attr) const {
    int32_t prot = PROT_ENTRY;
    if (attr == "[All Attributes Rights]") {
        prot = PROT_ALL_ATTRS;
    } else if (!attr.empty() && attr != "[Entry Rights]") {
        prot = world_->Schema.FindAttr(attr);
        if (prot < 0)
            return 0;
    }
    return sim::EffectiveRights(world_->Trees[tree], subject, object, prot);
}

NWCCODE TSimClient::EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                         const std::string& object, const std::string& attr,
                                         uint32_t& rights) {
    TCtx* c = Ctx(ctx);
    if (c == nullptr)
        return ERR_INVALID_HANDLE;
    int32_t target = -1, who = -1;
    NWCCODE code = Resolve(*c, object, target);
    if (code != NW_OK)
        return code;
    if (subject == "[Public]") {
        who = SUBJ_PUBLIC;
    } else if ((code = Resolve(*c, subject, who)) != NW_OK) {
        return code;
    }
    TSel sel{c->Tree, target};
    sel.Attr = &attr;
    if (Injected("EntryEffectiveRights", sel, code))
        return code;
    int32_t prot = PROT_ENTRY;
    if (attr == "[All Attributes Rights]") {
        prot = PROT_ALL_ATTRS;
    } else if (!attr.empty() && attr != "[Entry Rights]") {
        prot = world_->Schema.FindAttr(attr);
        if (prot < 0)
            return ERR_NO_SUCH_ATTRIBUTE;
    }
    rights = sim::EffectiveRights(world_->Trees[c->Tree], who, target, prot);
    return NW_OK;
}

// --- Connections --------------------------------------------------------------------------------

NWCCODE TSimClient::EnumConnRefs(uint32_t& iterator, uint32_t& ref) {
    NWCCODE code;
    if (Injected("EnumConnRefs", code))
        return code;
    if (iterator >= world_->Conns.size())
        return ERR_NO_MORE_ENTRIES;
    ref = world_->Conns[iterator++].Ref;
    return NW_OK;
}

NWCCODE TSimClient::PrimaryConnRef(uint32_t& ref) {
    NWCCODE code;
    if (Injected("PrimaryConnRef", code))
        return code;
    for (const TSimConn& c : world_->Conns)
        if (c.Primary) {
            ref = c.Ref;
            return NW_OK;
        }
    return ERR_NO_CONNECTION;
}

NWCCODE TSimClient::OpenConnByRef(uint32_t ref, uint32_t, uint32_t, NWHandle& conn) {
    for (size_t i = 0; i < world_->Conns.size(); ++i) {
        if (world_->Conns[i].Ref != ref)
            continue;
        TSel sel{world_->Conns[i].Tree};
        sel.Server = world_->Conns[i].Server;
        NWCCODE code;
        if (Injected("OpenConnByRef", sel, code))
            return code;
        if (conns_.size() >= kMaxLiveHandles)
            return ERR_NO_CONNECTION;
        conn = NewHandle();
        conns_[conn] = static_cast<int32_t>(i);
        return NW_OK;
    }
    return ERR_INVALID_CONNECTION;
}

NWCCODE TSimClient::CloseConn(NWHandle conn) {
    auto it = conns_.find(conn);
    if (it == conns_.end())
        return ERR_INVALID_CONNECTION;
    for (auto& p : pathConns_)
        if (p == conn)
            p = 0;
    conns_.erase(it);
    return NW_OK;
}

namespace {
std::string PaddedTree(const std::string& name) {
    std::string out = name;
    if (out.size() < 32)
        out.append(32 - out.size(), '_');
    return out;
}
} // namespace

NWCCODE TSimClient::ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) {
    for (const TSimConn& c : world_->Conns) {
        if (c.Ref != ref)
            continue;
        TSel sel{c.Tree};
        sel.Server = c.Server;
        NWCCODE code;
        if (Injected("ConnRefInfo", sel, code))
            return code;
        if (item == NWCC_INFO_TREE_NAME) {
            text = c.Tree >= 0 ? PaddedTree(world_->Trees[c.Tree].Name) : std::string();
            return NW_OK;
        }
        if (item == NWCC_INFO_SERVER_NAME) {
            text = world_->Servers[c.Server].Name;
            return NW_OK;
        }
        return ERR_BAD_VERB;
    }
    return ERR_INVALID_CONNECTION;
}

NWCCODE TSimClient::ConnInfo(NWHandle conn, uint32_t item, std::string& text) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    const TSimConn& c = world_->Conns[ci];
    TSel sel{c.Tree};
    sel.Server = c.Server;
    NWCCODE code;
    if (Injected("ConnInfo", sel, code))
        return code;
    if (item == NWCC_INFO_TREE_NAME) {
        text = c.Tree >= 0 ? PaddedTree(world_->Trees[c.Tree].Name) : std::string();
        return NW_OK;
    }
    if (item == NWCC_INFO_SERVER_NAME) {
        text = world_->Servers[c.Server].Name;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

NWCCODE TSimClient::ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    const TSimConn& c = world_->Conns[ci];
    TSel sel{c.Tree};
    sel.Server = c.Server;
    NWCCODE code;
    if (Injected("ConnInfo", sel, code))
        return code;
    switch (item) {
    case NWCC_INFO_CONN_REF:
        value = c.Ref;
        return NW_OK;
    case NWCC_INFO_USER_ID:
        value = c.User >= 0 ? world_->Trees[c.Tree].Objects[c.User].Id : 0;
        return NW_OK;
    case NWCC_INFO_DS_NAMES:
        value = c.Tree >= 0 ? 1 : 0;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

// --- File system --------------------------------------------------------------------------------

NWHandle TSimClient::PathConn(int32_t connIndex) {
    NWHandle& h = pathConns_[connIndex];
    if (h == 0 || conns_.count(h) == 0) {
        h = NewHandle();
        conns_[h] = connIndex;
    }
    return h;
}

int32_t TSimClient::ChildDir(const TSimVolume& vol, int32_t dir, const std::string& name) const {
    // Names come in the OEM code page from the file server side, in UTF-8 from the user.
    std::string l = Lower(name);
    for (int32_t child : vol.Dirs[dir].Children)
        if (Lower(vol.Dirs[child].NameOem) == l)
            return child;
    for (int32_t child : vol.Dirs[dir].Children)
        if (Lower(vol.Dirs[child].Name) == l)
            return child;
    return -1;
}

NWCCODE TSimClient::ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                              std::string& volume, std::string& dirPath) {
    std::vector<std::string> parts;
    std::string serverName, volumeName;
    const std::string root = U_MountRoot() + "/";
    if (U_IsUncPath(path)) {
        parts = SplitPath(path);
    } else if (path.compare(0, root.size(), root) == 0) {
        parts = SplitPath(path.substr(root.size()));
    } else if (size_t colon = path.find(':'); colon != std::string::npos && colon > 1) {
        // SERVER/VOLUME:PATH, or VOLUME:PATH on the primary connection's server.
        std::string head = path.substr(0, colon);
        size_t slash = head.find_first_of("/\\");
        if (slash != std::string::npos) {
            parts.push_back(head.substr(0, slash));
            parts.push_back(head.substr(slash + 1));
        } else {
            for (const TSimConn& c : world_->Conns)
                if (c.Primary)
                    parts.push_back(world_->Servers[c.Server].Name);
            parts.push_back(head);
        }
        for (auto& p : SplitPath(path.substr(colon + 1)))
            parts.push_back(p);
    } else {
        return ERR_INVALID_PATH;
    }
    if (parts.size() < 2)
        return ERR_INVALID_PATH;
    int32_t srv = world_->FindServer(parts[0]);
    TSel sel;
    sel.Server = srv;
    int32_t connIndex = -1;
    for (size_t i = 0; srv >= 0 && i < world_->Conns.size(); ++i)
        if (world_->Conns[i].Server == srv && (connIndex < 0 || world_->Conns[i].Primary))
            connIndex = static_cast<int32_t>(i);
    if (srv < 0 || connIndex < 0)
        return ERR_NO_CONNECTION;
    sel.Tree = world_->Conns[connIndex].Tree;
    const TSimServer& s = world_->Servers[srv];
    int32_t vol = -1;
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (Lower(s.Volumes[i].Name) == Lower(parts[1]))
            vol = static_cast<int32_t>(i);
    if (vol < 0)
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[vol];
    std::string dirOem, dirUtf8;
    int32_t dir = 0;
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..")
            return ERR_INVALID_PATH;
        int32_t child = dir >= 0 ? ChildDir(v, dir, parts[i]) : -1;
        std::string oem = child >= 0 ? v.Dirs[child].NameOem : parts[i];
        std::string utf8 = child >= 0 ? v.Dirs[child].Name : parts[i];
        dirOem += (dirOem.empty() ? "" : "\\") + oem;
        dirUtf8 += (dirUtf8.empty() ? "" : "\\") + utf8;
        dir = child;
    }
    sel.Path = v.Name + ":" + dirUtf8;
    NWCCODE code;
    if (Injected("ParsePath", sel, code))
        return code;
    server = s.Name;
    volume = v.NameOem;
    dirPath = dirOem;
    conn = PathConn(connIndex);
    return NW_OK;
}

NWCCODE TSimClient::VolPath(NWHandle conn, const std::string& volPath, TVolRef& ref,
                            TSel& sel) const {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    ref.Server = world_->Conns[ci].Server;
    sel.Server = ref.Server;
    sel.Tree = world_->Conns[ci].Tree;
    size_t colon = volPath.find(':');
    if (colon == std::string::npos)
        return ERR_INVALID_PATH;
    const TSimServer& s = world_->Servers[ref.Server];
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (Lower(s.Volumes[i].NameOem) == Lower(volPath.substr(0, colon)))
            ref.Volume = static_cast<int32_t>(i);
    if (ref.Volume < 0)
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[ref.Volume];
    int32_t dir = 0;
    for (const auto& part : SplitPath(volPath.substr(colon + 1))) {
        dir = ChildDir(v, dir, part);
        if (dir < 0)
            return ERR_INVALID_PATH;
    }
    ref.Dir = dir;
    sel.Path = v.Name + ":" + v.Dirs[dir].Path;
    return NW_OK;
}

NWCCODE TSimClient::VolumeNumber(NWHandle conn, const std::string& volume, uint32_t& number) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    TSel sel{world_->Conns[ci].Tree};
    sel.Server = world_->Conns[ci].Server;
    NWCCODE code;
    if (Injected("VolumeNumber", sel, code))
        return code;
    const TSimServer& s = world_->Servers[sel.Server];
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (Lower(s.Volumes[i].NameOem) == Lower(volume) ||
            Lower(s.Volumes[i].Name) == Lower(volume)) {
            number = static_cast<uint32_t>(i);
            return NW_OK;
        }
    return ERR_VOLUME_NOT_FOUND;
}

NWCCODE TSimClient::VolumeInfo(NWHandle conn, uint32_t number, TVolumeInfo& info) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    TSel sel{world_->Conns[ci].Tree};
    sel.Server = world_->Conns[ci].Server;
    NWCCODE code;
    if (Injected("VolumeInfo", sel, code))
        return code;
    const TSimServer& s = world_->Servers[sel.Server];
    if (number >= s.Volumes.size())
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[number];
    info.Name = v.NameOem;
    info.VolumeObjectID = v.Object >= 0 ? world_->Trees[s.Tree].Objects[v.Object].Id : 0;
    return NW_OK;
}

NWCCODE TSimClient::BinderyObjectName(NWHandle conn, uint32_t id, std::string& name,
                                      uint16_t& type) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    int32_t tree = world_->Servers[world_->Conns[ci].Server].Tree;
    TSel sel{tree};
    sel.Server = world_->Conns[ci].Server;
    sel.HasId = true;
    sel.Id = id;
    NWCCODE code;
    if (Injected("BinderyObjectName", sel, code))
        return code;
    if (tree < 0)
        return ERR_NO_SUCH_OBJECT;
    const TSimTree& t = world_->Trees[tree];
    auto it = t.ById.find(id);
    if (it == t.ById.end())
        return ERR_NO_SUCH_OBJECT;
    const TSimObject& o = t.Objects[it->second];
    // The bindery knows users, groups, queues and servers, by upper-case names.
    if (world_->Schema.IsA(o.Class, "User"))
        type = 1;
    else if (world_->Schema.IsA(o.Class, "Group"))
        type = 2;
    else if (world_->Schema.IsA(o.Class, "Queue"))
        type = 3;
    else if (world_->Schema.IsA(o.Class, "NCP Server"))
        type = 4;
    else
        return ERR_NO_SUCH_OBJECT;
    name = U_UpperCase(o.Rdn);
    return NW_OK;
}

NWCCODE TSimClient::PathTrustees(NWHandle conn, uint8_t, const std::string& volPath,
                                 uint32_t& iteration, std::vector<TTrusteeEntry>& entries) {
    TVolRef ref;
    TSel sel;
    entries.clear();
    NWCCODE code = VolPath(conn, volPath, ref, sel);
    if (code == ERR_INVALID_CONNECTION)
        return code;
    if (Injected("PathTrustees", sel, code))
        return code;
    if (code != NW_OK)
        return ERR_INVALID_PATH;
    const TSimDir& d = world_->Servers[ref.Server].Volumes[ref.Volume].Dirs[ref.Dir];
    uint32_t batch = world_->Limits.TrusteeBatch;
    uint64_t start = static_cast<uint64_t>(iteration) * batch;
    if (start >= d.Trustees.size())
        return ERR_NO_MORE_TRUSTEES;
    for (uint64_t i = start; i < d.Trustees.size() && entries.size() < batch; ++i)
        entries.push_back(d.Trustees[i]);
    ++iteration;
    return NW_OK;
}

NWCCODE TSimClient::DirEntryInfo(NWHandle conn, uint8_t, const std::string& volPath,
                                 TDirEntryInfo& info) {
    TVolRef ref;
    TSel sel;
    NWCCODE code = VolPath(conn, volPath, ref, sel);
    if (code == ERR_INVALID_CONNECTION)
        return code;
    if (Injected("DirEntryInfo", sel, code))
        return code;
    if (code != NW_OK)
        return ERR_INVALID_PATH;
    const TSimVolume& v = world_->Servers[ref.Server].Volumes[ref.Volume];
    const TSimDir& d = v.Dirs[ref.Dir];
    info.Name = (ref.Dir == 0 ? v.NameOem : d.NameOem).substr(0, 15);
    info.DateTime = d.Modified / 86400.0 + 25569.0;
    info.OwnerID = d.Owner;
    info.RightsMask = ref.Dir == 0 ? 0xFF : d.Irm;
    return NW_OK;
}

NWCCODE TSimClient::StartDirSearch(NWHandle conn, uint8_t, const std::string& volPath,
                                   uint8_t& searchDir, uint16_t& dirNumber) {
    TVolRef ref;
    TSel sel;
    NWCCODE code = VolPath(conn, volPath, ref, sel);
    if (code == ERR_INVALID_CONNECTION)
        return code;
    if (Injected("StartDirSearch", sel, code))
        return code;
    if (code != NW_OK)
        return ERR_INVALID_PATH;
    searchDir = static_cast<uint8_t>(ref.Volume);
    dirNumber = static_cast<uint16_t>(ref.Dir);
    return NW_OK;
}

NWCCODE TSimClient::NextDirEntry(NWHandle conn, uint8_t searchDir, uint16_t dirNumber,
                                 uint16_t sequence, uint32_t attrMask, const std::string& pattern,
                                 TDirEntry& entry) {
    int32_t ci = Conn(conn);
    if (ci < 0)
        return ERR_INVALID_CONNECTION;
    const TSimServer& s = world_->Servers[world_->Conns[ci].Server];
    if (searchDir >= s.Volumes.size() || dirNumber >= s.Volumes[searchDir].Dirs.size())
        return ERR_INVALID_PATH;
    const TSimVolume& v = s.Volumes[searchDir];
    const TSimDir& d = v.Dirs[dirNumber];
    TSel sel{world_->Conns[ci].Tree};
    sel.Server = world_->Conns[ci].Server;
    sel.Path = v.Name + ":" + d.Path;
    NWCCODE code;
    if (Injected("NextDirEntry", sel, code))
        return code;
    bool dirs = (attrMask & 0x10) != 0;
    size_t count = dirs ? d.Children.size() : d.Files.size();
    size_t start = sequence == 0xFFFF ? 0 : sequence;
    for (size_t i = start; i < count && i < 0xFFFE; ++i) {
        std::string name = dirs ? v.Dirs[d.Children[i]].NameOem : U_ConvertOem(d.Files[i], true);
        if (!pattern.empty() && !WildMatchCI(pattern, name))
            continue;
        entry.Sequence = static_cast<uint16_t>(i + 1);
        entry.Name = name;
        entry.Attributes = dirs ? 0x10 : 0x20;
        return NW_OK;
    }
    return ERR_NO_MORE_ENTRIES;
}

} // namespace trovalen
