// The shared mechanics of batched results: the one iteration every read, list, search and class
// read runs under, the objects and classes handed out of a buffer, and filters being built.
#include "backend/common/ClientBase.h"

namespace trovalen::backend {

// --- Batches ------------------------------------------------------------------------------------

NWCCODE TClientBase::Batch(TBatchOp op, int32_t& iteration, const TStart& start,
                           const TFill& fill) {
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
    if (FIters.Lookup(handle, it) != NW_OK || it->Op != op) {
        iteration = -1;
        return ERR_INVALID_HANDLE; // no iteration, or one of another operation
    }
    // A later call can fail as the first one can; the iteration then ends.
    if (NWCCODE planted = NW_OK; iteration != -1 && PlantedAgain(*it, planted)) {
        FIters.Free(handle);
        iteration = -1;
        return planted;
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

void TClientBase::FillObjects(const TCtx& c, TIter& it, const TBatchLimits& limits, bool fullNames,
                              TBuf& out) const {
    const bool byRef = !it.Refs.empty();
    auto make = [&](size_t i) {
        return byRef ? RefOut(c, it, it.Refs[i], fullNames) : it.Objects[i];
    };
    auto bytes = [](const TObjOut& o) {
        return NameBytes(o.Name) + NameBytes(o.Summary.ClassName) + 16;
    };
    NextBatch(it.Pos, byRef ? it.Refs.size() : it.Objects.size(), limits, out.Objects, make, bytes);
    out.ObjPos = 0;
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TClientBase::List(TBatchOp op, NWHandle ctx, const std::string& container,
                          int32_t& iteration, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        return StartList(*c, container, op == TBatchOp::ListContainers, it);
    };
    auto fill = [&](TIter& it, bool& more) {
        FillObjects(*c, it, Limits(op, *out, 0), false, *out);
        more = it.Pos < std::max(it.Refs.size(), it.Objects.size());
        return NW_OK;
    };
    return Batch(op, iteration, start, fill);
}

NWCCODE TClientBase::ListSubordinates(NWHandle ctx, const std::string& container,
                                      int32_t& iteration, NWHandle result) {
    return List(TBatchOp::ListSubordinates, ctx, container, iteration, result);
}

NWCCODE TClientBase::ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                                    NWHandle result) {
    return List(TBatchOp::ListContainers, ctx, container, iteration, result);
}

NWCCODE TClientBase::ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = nullptr;
    NWCCODE code = BufIn(ctx, buf, b);
    if (code != NW_OK)
        return code;
    count = static_cast<uint32_t>(b->Objects.size());
    if (Planted(TStep::ObjectCount, {}, code))
        count = 0;
    return code;
}

NWCCODE TClientBase::NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                                TObjectSummary& summary) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK || Planted(TStep::NextObject, {}, code))
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

NWCCODE TClientBase::ReadClassDefs(NWHandle ctx, uint32_t, bool allClasses, NWHandle request,
                                   int32_t& iteration, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) { return StartClasses(*c, allClasses, request, it); };
    auto fill = [&](TIter& it, bool& more) {
        auto make = [&](size_t i) { return it.Classes[i]; };
        auto bytes = [](const TClassDef& def) { return NameBytes(def.Name) + 4; };
        NextBatch(it.Pos, it.Classes.size(), Limits(TBatchOp::ReadClassDefs, *out, 0), out->Classes,
                  make, bytes);
        out->ClassPos = 0;
        more = it.Pos < it.Classes.size();
        return NW_OK;
    };
    return Batch(TBatchOp::ReadClassDefs, iteration, start, fill);
}

NWCCODE TClientBase::ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = nullptr;
    NWCCODE code = BufIn(ctx, buf, b);
    if (code == NW_OK)
        count = static_cast<uint32_t>(b->Classes.size());
    return code;
}

NWCCODE TClientBase::NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->ClassPos >= b->Classes.size())
        return ERR_BUFFER_EMPTY;
    def = b->Classes[b->ClassPos++];
    return NW_OK;
}

// --- Filters ------------------------------------------------------------------------------------

NWCCODE TClientBase::NewFilter(NWHandle ctx, NWHandle& filter) {
    TCtx* c = nullptr;
    if (NWCCODE code = FContexts.Lookup(ctx, c); code != NW_OK)
        return code;
    if (FFilters.Full())
        return ERR_BUFFER_FULL;
    filter = NewHandle();
    FFilters.Add(filter, std::make_unique<TFilter>());
    return NW_OK;
}

NWCCODE TClientBase::AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                                    uint32_t syntax) {
    TFilter* f = nullptr;
    if (NWCCODE code = FFilters.Lookup(filter, f);
        code != NW_OK || Planted(TStep::AddFilterToken, {}, code))
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

NWCCODE TClientBase::PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) {
    // The filter is used up whether or not it can be put.
    std::unique_ptr<TFilter> f = FFilters.Take(filter);
    if (f == nullptr)
        return ERR_INVALID_HANDLE;
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    NWCCODE code = Lookup(FContexts, ctx, c, FBufs, buf, b);
    if (code != NW_OK || Planted(TStep::PutFilter, {c->Tree}, code))
        return code;
    std::unique_ptr<TBufFilter> compiled;
    if ((code = CompileFilter(*c, f->Tokens, compiled)) != NW_OK)
        return code;
    b->Filter = std::move(compiled);
    return NW_OK;
}

NWCCODE TClientBase::FreeFilter(NWHandle filter) {
    return FFilters.Free(filter);
}

// --- Search -------------------------------------------------------------------------------------

NWCCODE TClientBase::SearchObjects(NWHandle ctx, const std::string& base, int scope,
                                   NWHandle filterBuf, bool, int32_t& iteration,
                                   uint32_t maxPerCall, uint32_t& count, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    TBuf* fb = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out, FBufs, filterBuf, fb);
        code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        if (fb->Filter == nullptr)
            return ERR_INVALID_FILTER;
        return StartSearch(*c, base, scope, *fb, it);
    };
    auto fill = [&](TIter& it, bool& more) {
        FillObjects(*c, it, Limits(TBatchOp::SearchObjects, *out, maxPerCall), true, *out);
        more = it.Pos < std::max(it.Refs.size(), it.Objects.size());
        return NW_OK;
    };
    NWCCODE code = Batch(TBatchOp::SearchObjects, iteration, start, fill);
    count = code == NW_OK ? static_cast<uint32_t>(out->Objects.size()) : 0;
    return code;
}

} // namespace trovalen::backend
