// Lists, searches and class definitions: what each batched operation hands out, from the model.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"
#include "util/Util.h"

#include <algorithm>

namespace trovalen {

using namespace sim;
using backend::TBatchLimits;
using backend::TBatchOp;

namespace {

// Objects per search call when the caller leaves it open (never more).
constexpr uint32_t kSearchBatch = 50;

uint32_t OrAll(uint32_t limit) {
    return limit != 0 ? limit : UINT32_MAX;
}

} // namespace

// --- Batches ------------------------------------------------------------------------------------

TBatchLimits TSimClient::Limits(TBatchOp op, const TBuf& out, uint32_t maxPerCall) const {
    const TSimLimits& l = FWorld->Limits;
    switch (op) {
    case TBatchOp::ReadAttributes:
        return {OrAll(l.ReadBatch), out.Size};
    case TBatchOp::ReadClassDefs:
        return {OrAll(l.ClassBatch), out.Size};
    case TBatchOp::SearchObjects:
        return {std::min<uint32_t>(maxPerCall == 0 ? kSearchBatch : maxPerCall, l.SearchBatch),
                out.Size};
    default:
        return {OrAll(l.ListBatch), out.Size};
    }
}

TSimClient::TObjOut TSimClient::RefOut(const TCtx& c, const TIter& it, int32_t object,
                                       bool fullName) const {
    return TObjOut{fullName ? Render(c, it.Tree, object) : RenderRdn(c, it.Tree, object),
                   Summary(it.Tree, object)};
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TSimClient::StartList(const TCtx& c, const std::string& container, bool containersOnly,
                              TIter& it) {
    int32_t idx = -1;
    NWCCODE code = Resolve(c, container, idx);
    if (code != NW_OK)
        return code;
    idx = Deref(c, idx);
    TSimOp op = containersOnly ? TSimOp::ListContainers : TSimOp::ListSubordinates;
    if (Injected(op, TSel{c.Tree, idx}, code))
        return code;
    const TSimTree& t = FWorld->Trees[c.Tree];
    it.Tree = c.Tree;
    it.Object = idx;
    for (int32_t child : t.Objects[idx].Children)
        if (!containersOnly || t.Objects[child].Container)
            it.Refs.push_back(child);
    return NW_OK;
}

// --- Class definitions --------------------------------------------------------------------------

NWCCODE TSimClient::StartClasses(const TCtx& c, bool allClasses, NWHandle request, TIter& it) {
    NWCCODE code;
    if (Injected(TSimOp::ReadClassDefs, TSel{c.Tree}, code))
        return code;
    it.Tree = c.Tree;
    const TSimSchema& s = FWorld->Schema;
    if (allClasses) {
        for (size_t i = 0; i < s.Classes.size(); ++i)
            it.Classes.push_back({s.Classes[i].Name, s.ClassFlags(static_cast<int32_t>(i))});
        return NW_OK;
    }
    const std::vector<std::string>* names = nullptr;
    if ((code = RequestNames(request, names)) != NW_OK)
        return code;
    for (const auto& n : *names) {
        int32_t cls = s.FindClass(n);
        if (cls < 0)
            return ERR_NO_SUCH_CLASS;
        it.Classes.push_back({s.Classes[cls].Name, s.ClassFlags(cls)});
    }
    return NW_OK;
}

// --- Filters ------------------------------------------------------------------------------------

NWCCODE TSimClient::AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
        return code;
    TSel sel{c->Tree};
    sel.Attr = &attr;
    NWCCODE code;
    if (Injected(TSimOp::AttrSyntax, sel, code))
        return code;
    int32_t a = FWorld->Schema.FindAttr(attr);
    if (a < 0)
        return ERR_NO_SUCH_ATTRIBUTE;
    syntax = FWorld->Schema.Attrs[a].Syntax;
    return NW_OK;
}

NWCCODE TSimClient::CompileFilter(const TCtx& c, std::vector<TFilterToken>& tokens,
                                  std::unique_ptr<backend::TBufFilter>& out) {
    // Names in comparison values are taken against the context, as every name is.
    auto full = [&](std::string& name) {
        std::string fullName;
        if (name.empty() || name[0] == '[')
            return;
        name = FullName(c, name, fullName) == NW_OK ? fullName : "\x01" + name;
    };
    int32_t lastAttr = -1;
    for (TFilterToken& t : tokens) {
        if (t.Token == FTOK_ANAME) {
            auto name = std::get_if<TValString>(&t.Value.Data);
            lastAttr = name ? FWorld->Schema.FindAttr(name->Text) : -1;
        }
        if (t.Token != FTOK_AVAL)
            continue;
        bool dn = t.Syntax == SYN_DIST_NAME ||
                  (lastAttr >= 0 && FWorld->Schema.Attrs[lastAttr].Syntax == SYN_DIST_NAME);
        ForEachName(t.Value, dn, full);
    }
    auto f = std::make_unique<TSimFilter>();
    if (NWCCODE code = ParseFilter(*FWorld, tokens, f->Root); code != NW_OK)
        return code;
    f->Tree = c.Tree;
    out = std::move(f);
    return NW_OK;
}

// --- Search -------------------------------------------------------------------------------------

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
    auto it = t.DnIndex.find(TSimTree::DnKey(f.Attr, U_LowerCase(s->Text)));
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

NWCCODE TSimClient::StartSearch(const TCtx& c, const std::string& base, int scope,
                                const TBuf& filterBuf, TIter& it) {
    const auto& f = static_cast<const TSimFilter&>(*filterBuf.Filter);
    if (f.Tree != c.Tree)
        return ERR_INVALID_FILTER;
    if (scope < DS_SEARCH_ENTRY || scope > DS_SEARCH_SUBTREE)
        return ERR_BAD_VERB;
    int32_t b = -1;
    NWCCODE code = Resolve(c, base, b);
    if (code != NW_OK || Injected(TSimOp::SearchObjects, TSel{c.Tree, b}, code))
        return code;
    const TSimTree& t = FWorld->Trees[c.Tree];
    it.Tree = c.Tree;
    it.Object = b;
    if (const auto* candidates = IndexCandidates(*FWorld, t, f.Root)) {
        for (int32_t o : *candidates)
            if (InScope(t, b, scope, o) && FilterMatches(*FWorld, t, o, f.Root))
                it.Refs.push_back(o);
        return NW_OK;
    }
    std::vector<int32_t> todo;
    if (scope == DS_SEARCH_SUBORDINATES)
        todo.assign(t.Objects[b].Children.rbegin(), t.Objects[b].Children.rend());
    else
        todo.push_back(b);
    while (!todo.empty()) {
        int32_t o = todo.back();
        todo.pop_back();
        if (FilterMatches(*FWorld, t, o, f.Root))
            it.Refs.push_back(o);
        if (scope == DS_SEARCH_SUBTREE)
            for (auto k = t.Objects[o].Children.rbegin(); k != t.Objects[o].Children.rend(); ++k)
                todo.push_back(*k);
    }
    return NW_OK;
}

} // namespace trovalen
