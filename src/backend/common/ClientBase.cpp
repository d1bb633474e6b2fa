// The shared mechanics: handles, contexts, object items, buffers, attribute values and streams.
#include "backend/common/ClientBase.h"

#include <algorithm>

#include "model/NameForm.h"
#include "model/RightsModel.h"

namespace trovalen::backend {

namespace {} // namespace

TClientBase::~TClientBase() = default;

// --- Hooks with a default -----------------------------------------------------------------------

bool TClientBase::Planted(TStep, const TStepOn&, NWCCODE&) {
    return false;
}

bool TClientBase::PlantedAgain(const TIter&, NWCCODE&) {
    return false;
}

TObjOut TClientBase::RefOut(const TCtx&, const TIter&, int32_t, bool) const {
    return {};
}

uint32_t TClientBase::ValueSize(const TAttrValue& v) const {
    return ValueBytes(v);
}

// --- Handles ------------------------------------------------------------------------------------

NWHandle TClientBase::NewHandle() {
    for (;;) {
        NWHandle h = FNextHandle;
        FNextHandle = FNextHandle >= 0x7FFFFFF0 ? 1 : FNextHandle + 1;
        if (h == NO_CONNECTION || h == 0xFFFF)
            continue;
        if (FContexts.Has(h) || FBufs.Has(h) || FFilters.Has(h) || FIters.Has(h) ||
            FStreams.Has(h) || FConns.Has(h))
            continue;
        return h;
    }
}

NWCCODE TClientBase::BufIn(NWHandle ctx, NWHandle buf, TBuf*& b) {
    TCtx* c = nullptr;
    return Lookup(FContexts, ctx, c, FBufs, buf, b);
}

NWCCODE TClientBase::RequestNames(NWHandle request, const std::vector<std::string>*& names) const {
    TBuf* req = nullptr;
    NWCCODE code = FBufs.Lookup(request, req);
    names = req != nullptr ? &req->Names : nullptr;
    return code;
}

// --- Contexts -----------------------------------------------------------------------------------

NWCCODE TClientBase::ContextStep(TStep step, NWHandle ctx, TCtx*& c) {
    NWCCODE code;
    if (Planted(step, {}, code))
        return code;
    return FContexts.Lookup(ctx, c);
}

NWCCODE TClientBase::NewContext(NWHandle& ctx) {
    NWCCODE code;
    if (Planted(TStep::NewContext, {}, code))
        return code;
    if (FContexts.Full())
        return ERR_CONTEXT_CREATION;
    auto c = std::make_unique<TCtx>();
    c->Tree = DefaultTree();
    ctx = NewHandle();
    FContexts.Add(ctx, std::move(c));
    return NW_OK;
}

NWCCODE TClientBase::CopyContext(NWHandle ctx, NWHandle& copy) {
    TCtx* c = nullptr;
    if (NWCCODE code = ContextStep(TStep::CopyContext, ctx, c); code != NW_OK)
        return code;
    if (FContexts.Full())
        return ERR_CONTEXT_CREATION;
    auto value = std::make_unique<TCtx>(*c);
    copy = NewHandle();
    FContexts.Add(copy, std::move(value));
    return NW_OK;
}

NWCCODE TClientBase::FreeContext(NWHandle ctx) {
    return FContexts.Free(ctx);
}

NWCCODE TClientBase::GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) {
    TCtx* c = nullptr;
    if (NWCCODE code = ContextStep(TStep::GetContextValue, ctx, c); code != NW_OK)
        return code;
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

NWCCODE TClientBase::GetContextValue(NWHandle ctx, uint32_t key, std::string& value) {
    TCtx* c = nullptr;
    if (NWCCODE code = ContextStep(TStep::GetContextValue, ctx, c); code != NW_OK)
        return code;
    switch (key) {
    case DCK_NAME_CONTEXT:
        value = c->NameContext;
        return NW_OK;
    case DCK_TREE_NAME:
        value = c->Tree >= 0 ? TreeName(c->Tree) : std::string();
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

NWCCODE TClientBase::SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) {
    TCtx* c = nullptr;
    if (NWCCODE code = ContextStep(TStep::SetContextValue, ctx, c); code != NW_OK)
        return code;
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

NWCCODE TClientBase::SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) {
    TCtx* c = nullptr;
    if (NWCCODE code = ContextStep(TStep::SetContextValue, ctx, c); code != NW_OK)
        return code;
    if (key == DCK_TREE_NAME) {
        int32_t tree = -1;
        if (NWCCODE code = FindTree(value, tree); code != NW_OK)
            return code;
        c->Tree = tree;
        return NW_OK;
    }
    if (key == DCK_NAME_CONTEXT) {
        std::string name = Typeless(value);
        if (!name.empty() && name[0] == '.')
            name.erase(0, 1);
        if (name.empty() || name == kRoot) {
            c->NameContext = kRoot;
            return NW_OK;
        }
        std::vector<std::string> parts;
        if (!U_SplitNameParts(name, parts) || name.size() > kMaxNameBytes)
            return ERR_INVALID_OBJECT_NAME;
        c->NameContext = name;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

NWCCODE TClientBase::FullName(const TCtx& c, const std::string& raw, std::string& full) {
    if (raw.empty() || raw.size() > kMaxNameBytes)
        return ERR_INVALID_OBJECT_NAME;
    if (raw == kRoot || raw == ".[Root]") {
        full = kRoot;
        return NW_OK;
    }
    return U_CompleteName(Typeless(raw), c.NameContext, (c.Flags & DCV_CANONICALIZE_NAMES) != 0,
                          full)
               ? NW_OK
               : ERR_INVALID_OBJECT_NAME;
}

// --- Object items -------------------------------------------------------------------------------

NWCCODE TClientBase::ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                                     NWHandle buf) {
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    TItemValues v;
    NWCCODE code = Lookup(FContexts, ctx, c, FBufs, buf, b);
    if (code != NW_OK || (code = ItemValues(*c, name, v)) != NW_OK)
        return code;
    b->Items.clear();
    uint32_t used = 0;
    auto add = [&](uint32_t item, uint32_t number, const std::string& text) {
        if ((c->Dsi & item) == 0)
            return;
        b->Items.push_back({item, TObjectItem{number, text}});
        used += 8 + static_cast<uint32_t>(text.size()) * 2;
    };
    add(DSI_MODIFICATION_TIME, v.Modified, {});
    add(DSI_CREATION_TIME, v.Created, {});
    add(DSI_BASE_CLASS, 0, v.ClassName);
    add(DSI_RDN, 0, v.Rdn);
    add(DSI_DN, 0, v.Dn);
    add(DSI_PARENT_DN, 0, v.ParentDn);
    if (used > size || used > b->Size) {
        b->Items.clear();
        return ERR_BUFFER_FULL;
    }
    return NW_OK;
}

NWCCODE TClientBase::ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                                TObjectItem& out) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
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

NWCCODE TClientBase::AllocBuf(uint32_t size, NWHandle& buf) {
    NWCCODE code;
    if (Planted(TStep::AllocBuf, {}, code))
        return code;
    if (size == 0 || size > kMaxBufBytes || FBufs.Full())
        return ERR_BUFFER_FULL;
    auto b = std::make_unique<TBuf>();
    b->Size = size;
    buf = NewHandle();
    FBufs.Add(buf, std::move(b));
    return NW_OK;
}

NWCCODE TClientBase::InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK || Planted(TStep::InitBuf, {}, code))
        return code;
    uint32_t size = b->Size;
    *b = TBuf{};
    b->Size = size;
    b->Operation = operation;
    return NW_OK;
}

NWCCODE TClientBase::FreeBuf(NWHandle buf) {
    return FBufs.Free(buf);
}

// --- Attributes ---------------------------------------------------------------------------------

NWCCODE TClientBase::PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->Names.size() >= kMaxRequestNames || attr.size() > kMaxRequestNameBytes)
        return ERR_BUFFER_FULL;
    b->Names.push_back(attr);
    return NW_OK;
}

NWCCODE TClientBase::ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                                    bool allAttrs, NWHandle request, int32_t& iteration,
                                    NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) { return StartRead(*c, object, infoType, allAttrs, request, it); };
    // As many values as the result buffer holds; an attribute whose values do not all fit goes
    // on in the next buffer.
    auto fill = [&](TIter& it, bool& more) {
        const TBatchLimits limits = Limits(TBatchOp::ReadAttributes, *out, 0);
        out->Attrs.clear();
        out->AttrPos = out->ValuePos = 0;
        out->InAttr = false;
        uint64_t used = kBufHeaderBytes;
        uint32_t values = 0;
        while (it.Pos < it.Attrs.size()) {
            const TAttrOut& src = it.Attrs[it.Pos];
            uint32_t header = NameBytes(src.Name) + 8;
            if (used + header > limits.Bytes || values >= limits.Items)
                break;
            TAttrOut part{src.Name, src.Syntax, {}};
            size_t v = it.ValuePos;
            while (v < src.Values.size() && values < limits.Items) {
                uint32_t bytes = ValueBytes(src.Values[v]);
                if (used + header + bytes > limits.Bytes)
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
                it.ValuePos = v;
                break;
            }
            ++it.Pos;
            it.ValuePos = 0;
        }
        more = it.Pos < it.Attrs.size();
        // One value larger than the whole buffer ends the read.
        return out->Attrs.empty() && more ? ERR_BUFFER_FULL : NW_OK;
    };
    return Batch(TBatchOp::ReadAttributes, iteration, start, fill);
}

NWCCODE TClientBase::AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    TBuf* b = nullptr;
    NWCCODE code = BufIn(ctx, buf, b);
    if (code == NW_OK)
        count = static_cast<uint32_t>(b->Attrs.size());
    return code;
}

NWCCODE TClientBase::NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                              uint32_t& syntax) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->AttrPos >= b->Attrs.size())
        return ERR_BUFFER_EMPTY;
    TStepOn on;
    on.Attr = &b->Attrs[b->AttrPos].Name;
    if (NWCCODE code = NW_OK; Planted(TStep::NextAttr, on, code))
        return code;
    const TAttrOut& a = b->Attrs[b->AttrPos++];
    b->ValuePos = 0;
    b->InAttr = true;
    name = a.Name;
    valueCount = static_cast<uint32_t>(a.Values.size());
    syntax = a.Syntax;
    return NW_OK;
}

NWCCODE TClientBase::NextValue(NWHandle ctx, NWHandle buf, TBuf*& b) {
    NWCCODE code = BufIn(ctx, buf, b);
    if (code == NW_OK && (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size()))
        return ERR_BUFFER_EMPTY;
    return code;
}

NWCCODE TClientBase::AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t, uint32_t& size) {
    TBuf* b = nullptr;
    NWCCODE code = NextValue(ctx, buf, b);
    if (code == NW_OK)
        size = ValueSize(b->Attrs[b->AttrPos - 1].Values[b->ValuePos]);
    return code;
}

NWCCODE TClientBase::NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t, TAttrValue& value) {
    TBuf* b = nullptr;
    NWCCODE code = NextValue(ctx, buf, b);
    if (code != NW_OK)
        return code;
    TStepOn on;
    on.Attr = &b->Attrs[b->AttrPos - 1].Name;
    if (Planted(TStep::NextAttrValue, on, code))
        return code;
    value = b->Attrs[b->AttrPos - 1].Values[b->ValuePos++];
    return code;
}

// --- Streams ------------------------------------------------------------------------------------

NWCCODE TClientBase::OpenAttrStream(NWHandle ctx, const std::string& object,
                                    const std::string& attr, uint32_t flags, NWHandle& file) {
    TCtx* c = nullptr;
    auto s = std::make_unique<TStream>();
    NWCCODE code = FContexts.Lookup(ctx, c);
    if (code != NW_OK || (code = StreamData(*c, object, attr, flags, *s)) != NW_OK)
        return code;
    if (FStreams.Full())
        return ERR_NO_ACCESS;
    file = NewHandle();
    FStreams.Add(file, std::move(s));
    return NW_OK;
}

NWCCODE TClientBase::ReadStream(NWHandle file, uint32_t max, std::string& data) {
    TStream* s = nullptr;
    if (NWCCODE code = FStreams.Lookup(file, s); code != NW_OK)
        return code;
    NWCCODE code;
    if (Planted(TStep::ReadStream, {s->Tree, s->Object, &s->Attr}, code))
        return code;
    size_t n = std::min<size_t>(max, s->Data.size() - s->Pos);
    data.assign(s->Data, s->Pos, n);
    s->Pos += n;
    return NW_OK;
}

NWCCODE TClientBase::CloseStream(NWHandle file) {
    return FStreams.Free(file);
}

} // namespace trovalen::backend
