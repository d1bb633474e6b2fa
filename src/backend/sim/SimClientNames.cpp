// Contexts and names: context keys, name resolution against the name context, and names
// rendered as the context asks for them.
#include "backend/sim/SimClient.h"
#include "model/NameForm.h"

#include "backend/sim/SimInternal.h"
#include "model/RightsModel.h"

#include <memory>

namespace trovalen {

using namespace sim;

void sim::ForEachName(TAttrValue& v, bool dn, const std::function<void(std::string&)>& fn) {
    if (dn) {
        if (auto s = std::get_if<TValString>(&v.Data))
            fn(s->Text);
    } else if (auto p = std::get_if<TValPath>(&v.Data)) {
        fn(p->VolumeName);
    } else if (auto r = std::get_if<TValReplicaPointer>(&v.Data)) {
        fn(r->ServerName);
    } else if (auto a = std::get_if<TValObjectACL>(&v.Data)) {
        fn(a->SubjectName);
    } else if (auto b = std::get_if<TValBackLink>(&v.Data)) {
        fn(b->ObjectName);
    } else if (auto tn = std::get_if<TValTypedName>(&v.Data)) {
        fn(tn->ObjectName);
    } else if (auto h = std::get_if<TValHold>(&v.Data)) {
        fn(h->ObjectName);
    }
}

namespace {

const char* TypePrefix(const TSimWorld& w, int32_t cls) {
    const char* naming = NamingAttr(w, cls);
    return *naming ? naming : "CN";
}

} // namespace

// --- Names --------------------------------------------------------------------------------------

NWCCODE TSimClient::Resolve(const TCtx& c, const std::string& name, int32_t& object) const {
    if (c.Tree < 0)
        return ERR_NO_CONNECTION;
    const bool canonical = (c.Flags & DCV_CANONICALIZE_NAMES) != 0;
    for (size_t i = 0; i < FRecent.size(); ++i) {
        const TRecentName& r = FRecent[i];
        if (r.Tree == c.Tree && r.Canonical == canonical && r.Name == name &&
            r.Context == c.NameContext) {
            FRecentOlder = 1 - i;
            object = r.Object;
            return object < 0 ? ERR_NO_SUCH_ENTRY : NW_OK;
        }
    }
    auto remember = [&](int32_t found) {
        TRecentName& r = FRecent[FRecentOlder];
        r.Tree = c.Tree;
        r.Canonical = canonical;
        r.Context = c.NameContext;
        r.Name = name;
        r.Object = found;
        FRecentOlder = 1 - FRecentOlder;
    };
    // A table of a million names is plenty; one that grows past it starts afresh.
    constexpr size_t kMaxResolved = size_t{1} << 20;
    // The key is built in a buffer kept between calls: most calls find their name.
    std::string& key = FResolveKey;
    key.clear();
    key.append(std::to_string(c.Tree));
    key += canonical ? "\x1f+" : "\x1f-";
    key.append(c.NameContext).append("\x1f").append(name);
    if (auto it = FResolved.find(key); it != FResolved.end()) {
        object = it->second;
        remember(object);
        return object < 0 ? ERR_NO_SUCH_ENTRY : NW_OK;
    }
    std::string full;
    NWCCODE code = FullName(c, name, full);
    if (code != NW_OK)
        return code;
    object = FindObject(c.Tree, full);
    if (FResolved.size() >= kMaxResolved)
        FResolved.clear();
    FResolved.emplace(key, object);
    remember(object);
    return object < 0 ? ERR_NO_SUCH_ENTRY : NW_OK;
}

int32_t TSimClient::Deref(const TCtx& c, int32_t object) const {
    if ((c.Flags & DCV_DEREF_ALIASES) == 0)
        return object;
    const TSimTree& t = FWorld->Trees[c.Tree];
    for (int hops = 0; hops < 32 && t.Objects[object].AliasTarget >= 0; ++hops)
        object = t.Objects[object].AliasTarget;
    return object;
}

std::string TSimClient::RenderRdn(const TCtx& c, int32_t tree, int32_t object) const {
    const TSimObject& o = FWorld->Trees[tree].Objects[object];
    if (object == 0)
        return std::string(kRoot);
    if (c.Flags & DCV_TYPELESS_NAMES)
        return o.Rdn;
    return std::string(TypePrefix(*FWorld, o.Class)) + "=" + o.Rdn;
}

std::string TSimClient::Render(const TCtx& c, int32_t tree, int32_t object) const {
    return RenderAs(c, tree, object, (c.Flags & DCV_CANONICALIZE_NAMES) != 0);
}

std::string TSimClient::RenderAs(const TCtx& c, int32_t tree, int32_t object,
                                 bool canonical) const {
    if (object == 0)
        return std::string(kRoot);
    const TSimTree& t = FWorld->Trees[tree];
    std::vector<int32_t> chain;
    std::vector<std::string> parts;
    for (int32_t cur = object; cur > 0; cur = t.Objects[cur].Parent) {
        chain.push_back(cur);
        parts.push_back(t.Objects[cur].Rdn);
    }
    std::vector<std::string> ctxParts;
    if (c.NameContext != kRoot)
        SplitName(c.NameContext, ctxParts);
    TNameForm form = U_NameForm(parts, ctxParts, canonical);
    if ((c.Flags & DCV_TYPELESS_NAMES) == 0) {
        for (size_t i = 0; i < chain.size(); ++i)
            parts[i] = RenderRdn(c, tree, chain[i]);
    }
    return U_JoinNameForm(parts, form);
}

int32_t TSimClient::FindObject(int32_t tree, std::string_view fullName) const {
    for (const TFound& f : FFound)
        if (f.Tree == tree && f.Name == fullName)
            return f.Object;
    TFound& slot = FFound[FFoundNext];
    FFoundNext = (FFoundNext + 1) % FFound.size();
    slot.Tree = tree;
    slot.Name.assign(fullName);
    slot.Object = FWorld->Trees[tree].Find(fullName);
    return slot.Object;
}

std::string TSimClient::RenderName(const TCtx& c, int32_t tree, const std::string& fullName) const {
    if (fullName.empty() || fullName[0] == '[')
        return fullName;
    int32_t object = FindObject(tree, fullName);
    return object < 0 ? fullName : Render(c, tree, object);
}

TAttrValue TSimClient::RenderValue(const TCtx& c, int32_t tree, const TAttrValue& v) const {
    TAttrValue out = v;
    ForEachName(out, v.Syntax == SYN_DIST_NAME,
                [&](std::string& s) { s = RenderName(c, tree, s); });
    return out;
}

TObjectSummary TSimClient::Summary(int32_t tree, int32_t object) const {
    const TSimObject& o = FWorld->Trees[tree].Objects[object];
    TObjectSummary s;
    s.Flags = (o.Container ? DS_CONTAINER_ENTRY : 0) | (o.AliasTarget >= 0 ? DS_ALIAS_ENTRY : 0);
    s.SubordinateCount = static_cast<uint32_t>(o.Children.size());
    s.ModificationTime = o.Modified;
    s.ClassName = FWorld->Schema.Classes[o.Class].Name;
    return s;
}

NWCCODE TSimClient::CurrentUserDN(NWHandle ctx, std::string& name) {
    TCtx* c = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || Injected(TSimOp::CurrentUserDN, TSel{c->Tree}, code))
        return code;
    const TSimConn* found = nullptr;
    for (const TSimConn& conn : FWorld->Conns)
        if (conn.Tree == c->Tree && c->Tree >= 0 && conn.User >= 0 &&
            (found == nullptr || conn.Primary))
            found = &conn;
    if (found == nullptr)
        return ERR_NOT_AUTHENTICATED;
    name = Render(*c, c->Tree, found->User);
    return NW_OK;
}

NWCCODE TSimClient::AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) {
    TCtx* c = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || Injected(TSimOp::AbbreviateName, TSel{c->Tree}, code))
        return code;
    std::string full;
    if ((code = FullName(*c, name, full)) != NW_OK)
        return code;
    // An abbreviation is relative to the name context whatever the canonical flag says.
    int32_t object = c->Tree >= 0 ? FindObject(c->Tree, full) : -1;
    if (object >= 0) {
        out = RenderAs(*c, c->Tree, object, true);
        return NW_OK;
    }
    // A name the tree does not hold is shortened as text.
    out = full;
    std::vector<std::string> parts, ctxParts;
    if (full != kRoot && c->NameContext != kRoot && SplitName(full, parts) &&
        SplitName(c->NameContext, ctxParts))
        out = U_JoinNameForm(parts, U_NameForm(parts, ctxParts, true));
    return NW_OK;
}

NWCCODE TSimClient::MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) {
    TCtx* c = nullptr;
    const backend::TConnection* sc = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || (code = OpenConn(conn, sc)) != NW_OK)
        return code;
    const int32_t tree = sc->Tree;
    TSel sel = ConnSel(*sc);
    sel.HasId = true;
    sel.Id = id;
    if (Injected(TSimOp::MapIDToName, sel, code))
        return code;
    if (tree < 0)
        return ERR_NO_SUCH_ENTRY;
    const TSimTree& t = FWorld->Trees[tree];
    int32_t object = t.FindId(id);
    if (object < 0)
        return ERR_NO_SUCH_ENTRY;
    name = Render(*c, tree, object);
    return NW_OK;
}

NWCCODE TSimClient::ServerDN(NWHandle ctx, NWHandle conn, std::string& name) {
    TCtx* c = nullptr;
    const backend::TConnection* sc = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || (code = OpenConn(conn, sc)) != NW_OK)
        return code;
    const TSimServer& srv = FWorld->Servers[sc->Server];
    TSel sel{srv.Tree};
    sel.Server = sc->Server;
    if (Injected(TSimOp::ServerDN, sel, code))
        return code;
    if (srv.Tree < 0 || srv.Object < 0)
        return ERR_NO_SUCH_ENTRY;
    name = Render(*c, srv.Tree, srv.Object);
    return NW_OK;
}

} // namespace trovalen
