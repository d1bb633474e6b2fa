// Lists, searches and class definitions: results handed out in batches under iteration handles.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"
#include "util/Util.h"

#include <algorithm>

namespace trovalen {

using namespace sim;

namespace {

// Objects per search call when the caller leaves it open (never more).
constexpr uint32_t kSearchBatch = 50;
// Filter tokens one filter takes at most.
constexpr size_t kMaxFilterTokens = 100000;

uint32_t OrAll(uint32_t limit) {
    return limit != 0 ? limit : UINT32_MAX;
}

} // namespace

// --- Batches ------------------------------------------------------------------------------------

NWCCODE TSimClient::Batch(TSimOp op, int32_t& iteration, const TStart& start, const TFill& fill) {
    NWHandle handle = iteration;
    if (iteration == -1) {
        auto it = std::make_unique<TIter>();
        it->Op = op;
        if (NWCCODE code = start(*it); code != NW_OK)
            return code;
        if (FIters.Size() >= kMaxLiveIterations)
            FIters.FreeLowest(); // the oldest abandoned iteration
        handle = NewHandle();
        FIters.Add(handle, std::move(it));
    }
    TIter* it = nullptr;
    if (FIters.Lookup(handle, it) != NW_OK || it->Op != op)
        return ERR_INVALID_HANDLE; // no iteration, or one of another operation
    // A later call can fail as the first one can; the iteration then ends.
    if (NWCCODE injected = NW_OK; iteration != -1 && InjectedAgain(*it, injected)) {
        FIters.Free(handle);
        iteration = -1;
        return injected;
    }
    bool more = false;
    NWCCODE code = fill(*it, more);
    if (code == NW_OK && more) {
        iteration = handle;
    } else {
        FIters.Free(handle);
        iteration = -1;
    }
    return code;
}

void TSimClient::FillObjects(const TCtx& c, TIter& it, uint32_t maxObjects, bool fullNames,
                             TBuf& out) const {
    auto make = [&](size_t i) {
        int32_t object = it.Objects[i];
        return TObjOut{fullNames ? Render(c, it.Tree, object) : RenderRdn(c, it.Tree, object),
                       Summary(it.Tree, object)};
    };
    auto bytes = [](const TObjOut& o) {
        return NameBytes(o.Name) + NameBytes(o.Summary.ClassName) + 16;
    };
    NextBatch(it.Pos, it.Objects.size(), {maxObjects, out.Size}, out.Objects, make, bytes);
    out.ObjPos = 0;
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TSimClient::List(TSimOp op, NWHandle ctx, const std::string& container, bool containersOnly,
                         int32_t& iteration, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        int32_t idx = -1;
        NWCCODE code = Resolve(*c, container, idx);
        if (code != NW_OK)
            return code;
        idx = Deref(*c, idx);
        if (Injected(op, TSel{c->Tree, idx}, code))
            return code;
        const TSimTree& t = FWorld->Trees[c->Tree];
        it.Tree = c->Tree;
        it.SelObject = idx;
        for (int32_t child : t.Objects[idx].Children)
            if (!containersOnly || t.Objects[child].Container)
                it.Objects.push_back(child);
        return NW_OK;
    };
    auto fill = [&](TIter& it, bool& more) {
        FillObjects(*c, it, OrAll(FWorld->Limits.ListBatch), false, *out);
        more = it.Pos < it.Objects.size();
        return NW_OK;
    };
    return Batch(op, iteration, start, fill);
}

NWCCODE TSimClient::ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                                     NWHandle result) {
    return List(TSimOp::ListSubordinates, ctx, container, false, iteration, result);
}

NWCCODE TSimClient::ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                                   NWHandle result) {
    return List(TSimOp::ListContainers, ctx, container, true, iteration, result);
}

NWCCODE TSimClient::ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    NWCCODE code = ItemCount(ctx, buf, count, [](const TBuf& b) { return b.Objects.size(); });
    if (code == NW_OK && Injected(TSimOp::ObjectCount, code))
        count = 0;
    return code;
}

NWCCODE TSimClient::NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                               TObjectSummary& summary) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK || Injected(TSimOp::NextObject, code))
        return code;
    if (b->ObjPos >= b->Objects.size())
        return ERR_BUFFER_EMPTY;
    const TObjOut& o = b->Objects[b->ObjPos++];
    name = o.Name;
    summary = o.Summary;
    attrCount = 0;
    return NW_OK;
}

// --- Class definitions --------------------------------------------------------------------------

NWCCODE TSimClient::ReadClassDefs(NWHandle ctx, uint32_t, bool allClasses, NWHandle request,
                                  int32_t& iteration, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        NWCCODE code;
        if (Injected(TSimOp::ReadClassDefs, TSel{c->Tree}, code))
            return code;
        it.Tree = c->Tree;
        const TSimSchema& s = FWorld->Schema;
        if (allClasses) {
            for (size_t i = 0; i < s.Classes.size(); ++i)
                it.Classes.push_back({s.Classes[i].Name, s.ClassFlags(static_cast<int32_t>(i))});
            return NW_OK;
        }
        TBuf* req = nullptr;
        if ((code = FBufs.Lookup(request, req)) != NW_OK)
            return code;
        for (const auto& n : req->Names) {
            int32_t cls = s.FindClass(n);
            if (cls < 0)
                return ERR_NO_SUCH_CLASS;
            it.Classes.push_back({s.Classes[cls].Name, s.ClassFlags(cls)});
        }
        return NW_OK;
    };
    auto fill = [&](TIter& it, bool& more) {
        auto make = [&](size_t i) { return it.Classes[i]; };
        auto bytes = [](const TClassDef& def) { return NameBytes(def.Name) + 4; };
        NextBatch(it.Pos, it.Classes.size(), {OrAll(FWorld->Limits.ClassBatch), out->Size},
                  out->Classes, make, bytes);
        out->ClassPos = 0;
        more = it.Pos < it.Classes.size();
        return NW_OK;
    };
    return Batch(TSimOp::ReadClassDefs, iteration, start, fill);
}

NWCCODE TSimClient::ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    return ItemCount(ctx, buf, count, [](const TBuf& b) { return b.Classes.size(); });
}

NWCCODE TSimClient::NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->ClassPos >= b->Classes.size())
        return ERR_BUFFER_EMPTY;
    def = b->Classes[b->ClassPos++];
    return NW_OK;
}

// --- Filters ------------------------------------------------------------------------------------

NWCCODE TSimClient::NewFilter(NWHandle ctx, NWHandle& filter) {
    TCtx* c = nullptr;
    if (NWCCODE code = FContexts.Lookup(ctx, c); code != NW_OK)
        return code;
    if (FFilters.Size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    filter = NewHandle();
    FFilters.Add(filter, std::make_unique<TFilter>());
    return NW_OK;
}

NWCCODE TSimClient::AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                                   uint32_t syntax) {
    TFilter* f = nullptr;
    if (NWCCODE code = FFilters.Lookup(filter, f);
        code != NW_OK || Injected(TSimOp::AddFilterToken, code))
        return code;
    bool known = token <= FTOK_APPROX || (token >= FTOK_ANAME && token <= FTOK_BASECLS);
    bool needsValue = token == FTOK_AVAL || token == FTOK_ANAME;
    if (!known || (needsValue && value == nullptr))
        return ERR_INVALID_FILTER;
    if (f->Tokens.size() >= kMaxFilterTokens)
        return ERR_BUFFER_FULL;
    TFilterToken t;
    t.Token = token;
    t.Syntax = syntax;
    if (needsValue) {
        t.HasValue = true;
        t.Value = *value;
    }
    if (f->Tokens.empty())
        f->Tokens.reserve(8); // a comparison and its parentheses, without growing
    f->Tokens.push_back(std::move(t));
    return NW_OK;
}

NWCCODE TSimClient::AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) {
    TCtx* c = nullptr;
    if (NWCCODE code = FContexts.Lookup(ctx, c); code != NW_OK)
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

NWCCODE TSimClient::PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) {
    // The filter is used up whether or not it can be put.
    std::unique_ptr<TFilter> f = FFilters.Take(filter);
    if (f == nullptr)
        return ERR_INVALID_HANDLE;
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    NWCCODE code = Lookup(FContexts, ctx, c, FBufs, buf, b);
    if (code != NW_OK || Injected(TSimOp::PutFilter, TSel{c->Tree}, code))
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
            lastAttr = name ? FWorld->Schema.FindAttr(name->Text) : -1;
        }
        if (t.Token != FTOK_AVAL)
            continue;
        bool dn = t.Syntax == SYN_DIST_NAME ||
                  (lastAttr >= 0 && FWorld->Schema.Attrs[lastAttr].Syntax == SYN_DIST_NAME);
        ForEachName(t.Value, dn, full);
    }
    TFilterNode root;
    if ((code = ParseFilter(*FWorld, f->Tokens, root)) != NW_OK)
        return code;
    b->HasFilter = true;
    b->FilterTree = c->Tree;
    b->Filter = std::move(root);
    return NW_OK;
}

NWCCODE TSimClient::FreeFilter(NWHandle filter) {
    return FFilters.Free(filter);
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

NWCCODE TSimClient::SearchObjects(NWHandle ctx, const std::string& base, int scope,
                                  NWHandle filterBuf, bool, int32_t& iteration, uint32_t maxPerCall,
                                  uint32_t& count, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    TBuf* fb = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out, FBufs, filterBuf, fb);
        code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        if (!fb->HasFilter || fb->FilterTree != c->Tree)
            return ERR_INVALID_FILTER;
        if (scope < DS_SEARCH_ENTRY || scope > DS_SEARCH_SUBTREE)
            return ERR_BAD_VERB;
        int32_t b = -1;
        NWCCODE code = Resolve(*c, base, b);
        if (code != NW_OK || Injected(TSimOp::SearchObjects, TSel{c->Tree, b}, code))
            return code;
        const TSimTree& t = FWorld->Trees[c->Tree];
        it.Tree = c->Tree;
        it.SelObject = b;
        if (const auto* candidates = IndexCandidates(*FWorld, t, fb->Filter)) {
            for (int32_t o : *candidates)
                if (InScope(t, b, scope, o) && FilterMatches(*FWorld, t, o, fb->Filter))
                    it.Objects.push_back(o);
        } else {
            std::vector<int32_t> todo;
            if (scope == DS_SEARCH_SUBORDINATES)
                todo.assign(t.Objects[b].Children.rbegin(), t.Objects[b].Children.rend());
            else
                todo.push_back(b);
            while (!todo.empty()) {
                int32_t o = todo.back();
                todo.pop_back();
                if (FilterMatches(*FWorld, t, o, fb->Filter))
                    it.Objects.push_back(o);
                if (scope == DS_SEARCH_SUBTREE)
                    for (auto k = t.Objects[o].Children.rbegin(); k != t.Objects[o].Children.rend();
                         ++k)
                        todo.push_back(*k);
            }
        }
        return NW_OK;
    };
    auto fill = [&](TIter& it, bool& more) {
        uint32_t batch = std::min<uint32_t>(maxPerCall == 0 ? kSearchBatch : maxPerCall,
                                            FWorld->Limits.SearchBatch);
        FillObjects(*c, it, batch, true, *out);
        count = static_cast<uint32_t>(out->Objects.size());
        more = it.Pos < it.Objects.size();
        return NW_OK;
    };
    return Batch(TSimOp::SearchObjects, iteration, start, fill);
}

} // namespace trovalen
