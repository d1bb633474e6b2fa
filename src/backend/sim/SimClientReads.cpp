// Reads: object summaries and items, buffers, attribute values, streams and effective rights.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"

#include <algorithm>

namespace trovalen {

using namespace sim;

namespace {

// Bytes a value takes in a result buffer, as the client lays values out (strings as UTF-16 with
// their terminator, numbers as 32 bits).
uint32_t ValueBytes(const TAttrValue& v) {
    auto str = NameBytes;
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

// What attr protects in an ACL value: entry rights (also for no name), all attributes, or one
// attribute of the schema; false for an attribute the schema does not know.
bool ProtectedAttr(const TSimSchema& schema, const std::string& attr, int32_t& prot) {
    prot = PROT_ENTRY;
    if (attr == "[All Attributes Rights]") {
        prot = PROT_ALL_ATTRS;
    } else if (!attr.empty() && attr != "[Entry Rights]") {
        prot = schema.FindAttr(attr);
        if (prot < 0)
            return false;
    }
    return true;
}

} // namespace

// --- Objects ------------------------------------------------------------------------------------

NWCCODE TSimClient::ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                                      TObjectSummary& summary) {
    TCtx* c = nullptr;
    int32_t object = -1;
    NWCCODE code = FContexts.Lookup(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, name, object)) != NW_OK)
        return code;
    // With the context's dereference flag, every operation on an alias works on its object.
    object = Deref(*c, object);
    if (Injected(TSimOp::ReadObjectSummary, TSel{c->Tree, object}, code))
        return code;
    dn = Render(*c, c->Tree, object);
    summary = Summary(c->Tree, object);
    return NW_OK;
}

NWCCODE TSimClient::ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                                    NWHandle buf) {
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    int32_t object = -1;
    NWCCODE code = Lookup(FContexts, ctx, c, FBufs, buf, b);
    if (code != NW_OK || (code = Resolve(*c, name, object)) != NW_OK)
        return code;
    object = Deref(*c, object);
    if (Injected(TSimOp::ReadObjectItems, TSel{c->Tree, object}, code))
        return code;
    const TSimObject& o = FWorld->Trees[c->Tree].Objects[object];
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
        add(DSI_BASE_CLASS, 0, FWorld->Schema.Classes[o.Class].Name);
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

NWCCODE TSimClient::BufIn(NWHandle ctx, NWHandle buf, TBuf*& b) {
    TCtx* c = nullptr;
    return Lookup(FContexts, ctx, c, FBufs, buf, b);
}

NWCCODE TSimClient::ItemCount(NWHandle ctx, NWHandle buf, uint32_t& count,
                              size_t (*items)(const TBuf& b)) {
    TBuf* b = nullptr;
    NWCCODE code = BufIn(ctx, buf, b);
    if (code == NW_OK)
        count = static_cast<uint32_t>(items(*b));
    return code;
}

NWCCODE TSimClient::AllocBuf(uint32_t size, NWHandle& buf) {
    NWCCODE code;
    if (Injected(TSimOp::AllocBuf, code))
        return code;
    if (size == 0 || size > kMaxBufBytes || FBufs.Size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    auto b = std::make_unique<TBuf>();
    b->Size = size;
    buf = NewHandle();
    FBufs.Add(buf, std::move(b));
    return NW_OK;
}

NWCCODE TSimClient::InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK || Injected(TSimOp::InitBuf, code))
        return code;
    uint32_t size = b->Size;
    *b = TBuf{};
    b->Size = size;
    b->Operation = operation;
    return NW_OK;
}

NWCCODE TSimClient::FreeBuf(NWHandle buf) {
    return FBufs.Free(buf);
}

// --- Attributes ---------------------------------------------------------------------------------

NWCCODE TSimClient::PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->Names.size() >= kMaxRequestNames || attr.size() > kMaxRequestNameBytes)
        return ERR_BUFFER_FULL;
    b->Names.push_back(attr);
    return NW_OK;
}

NWCCODE TSimClient::ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                                   bool allAttrs, NWHandle request, int32_t& iteration,
                                   NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    if (NWCCODE code = Lookup(FContexts, ctx, c, FBufs, result, out); code != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        int32_t idx = -1;
        NWCCODE code = Resolve(*c, object, idx);
        if (code != NW_OK)
            return code;
        idx = Deref(*c, idx);
        TBuf* req = nullptr;
        if (!allAttrs && (code = FBufs.Lookup(request, req)) != NW_OK)
            return code;
        TSel sel{c->Tree, idx};
        if (allAttrs) {
            if (Injected(TSimOp::ReadAttributes, sel, code))
                return code;
        } else {
            for (const auto& n : req->Names) {
                sel.Attr = &n;
                if (Injected(TSimOp::ReadAttributes, sel, code))
                    return code;
            }
        }
        const TSimTree& t = FWorld->Trees[c->Tree];
        std::vector<int32_t> attrs;
        if (allAttrs) {
            attrs = ObjectAttrs(*FWorld, t, idx);
        } else {
            for (const auto& n : req->Names) {
                int32_t a = FWorld->Schema.FindAttr(n);
                if (a >= 0 && std::find(attrs.begin(), attrs.end(), a) == attrs.end() &&
                    !ObjectValues(*FWorld, t, idx, a).empty())
                    attrs.push_back(a);
            }
        }
        if (attrs.empty())
            return ERR_NO_SUCH_ATTRIBUTE;
        it.Tree = c->Tree;
        it.SelObject = idx;
        if (!allAttrs)
            it.SelAttrs = req->Names;
        for (int32_t a : attrs) {
            TAttrOut ao;
            ao.Name = FWorld->Schema.Attrs[a].Name;
            ao.Syntax = FWorld->Schema.Attrs[a].Syntax;
            if (infoType != 0)
                for (const auto& v : ObjectValues(*FWorld, t, idx, a))
                    ao.Values.push_back(RenderValue(*c, c->Tree, v));
            it.Attrs.push_back(std::move(ao));
        }
        return NW_OK;
    };
    // As many values as the result buffer holds; an attribute whose values do not all fit goes
    // on in the next buffer.
    auto fill = [&](TIter& it, bool& more) {
        out->Attrs.clear();
        out->AttrPos = out->ValuePos = 0;
        out->InAttr = false;
        uint32_t used = kBufHeaderBytes, values = 0;
        const uint32_t maxValues = FWorld->Limits.ReadBatch ? FWorld->Limits.ReadBatch : UINT32_MAX;
        while (it.Pos < it.Attrs.size()) {
            const TAttrOut& src = it.Attrs[it.Pos];
            uint32_t header = NameBytes(src.Name) + 8;
            if (used + header > out->Size || values >= maxValues)
                break;
            TAttrOut part{src.Name, src.Syntax, {}};
            size_t v = it.ValuePos;
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
    return Batch(TSimOp::ReadAttributes, iteration, start, fill);
}

NWCCODE TSimClient::AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    return ItemCount(ctx, buf, count, [](const TBuf& b) { return b.Attrs.size(); });
}

NWCCODE TSimClient::NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                             uint32_t& syntax) {
    TBuf* b = nullptr;
    if (NWCCODE code = BufIn(ctx, buf, b); code != NW_OK)
        return code;
    if (b->AttrPos >= b->Attrs.size())
        return ERR_BUFFER_EMPTY;
    TSel sel;
    sel.Attr = &b->Attrs[b->AttrPos].Name;
    if (NWCCODE code = NW_OK; Injected(TSimOp::NextAttr, sel, code))
        return code;
    const TAttrOut& a = b->Attrs[b->AttrPos++];
    b->ValuePos = 0;
    b->InAttr = true;
    name = a.Name;
    valueCount = static_cast<uint32_t>(a.Values.size());
    syntax = a.Syntax;
    return NW_OK;
}

NWCCODE TSimClient::NextValue(NWHandle ctx, NWHandle buf, TBuf*& b) {
    NWCCODE code = BufIn(ctx, buf, b);
    if (code == NW_OK && (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size()))
        return ERR_BUFFER_EMPTY;
    return code;
}

NWCCODE TSimClient::AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t, uint32_t& size) {
    TBuf* b = nullptr;
    NWCCODE code = NextValue(ctx, buf, b);
    if (code == NW_OK)
        size = ValueBytes(b->Attrs[b->AttrPos - 1].Values[b->ValuePos]);
    return code;
}

NWCCODE TSimClient::NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t, TAttrValue& value) {
    TBuf* b = nullptr;
    NWCCODE code = NextValue(ctx, buf, b);
    if (code != NW_OK)
        return code;
    TSel sel;
    sel.Attr = &b->Attrs[b->AttrPos - 1].Name;
    if (Injected(TSimOp::NextAttrValue, sel, code))
        return code;
    value = b->Attrs[b->AttrPos - 1].Values[b->ValuePos++];
    return code;
}

// --- Streams ------------------------------------------------------------------------------------

NWCCODE TSimClient::OpenAttrStream(NWHandle ctx, const std::string& object, const std::string& attr,
                                   uint32_t flags, NWHandle& file) {
    TCtx* c = nullptr;
    int32_t idx = -1;
    NWCCODE code = FContexts.Lookup(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, object, idx)) != NW_OK)
        return code;
    idx = Deref(*c, idx);
    TSel sel{c->Tree, idx};
    sel.Attr = &attr;
    if (Injected(TSimOp::OpenAttrStream, sel, code))
        return code;
    // Streams open for reading only: nothing can be changed through this client.
    if (flags != 1)
        return ERR_NO_ACCESS;
    int32_t a = FWorld->Schema.FindAttr(attr);
    if (a < 0)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (FWorld->Schema.Attrs[a].Syntax != SYN_STREAM)
        return ERR_BAD_VERB;
    const TSimAttr* stored = FWorld->Trees[c->Tree].FindAttr(idx, a);
    if (stored == nullptr)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (FStreams.Size() >= kMaxLiveHandles)
        return ERR_NO_ACCESS;
    auto s = std::make_unique<TStream>();
    s->Data = stored->Stream;
    s->Tree = c->Tree;
    s->Object = idx;
    s->Attr = FWorld->Schema.Attrs[a].Name;
    file = NewHandle();
    FStreams.Add(file, std::move(s));
    return NW_OK;
}

NWCCODE TSimClient::ReadStream(NWHandle file, uint32_t max, std::string& data) {
    TStream* s = nullptr;
    if (NWCCODE code = FStreams.Lookup(file, s); code != NW_OK)
        return code;
    TSel sel{s->Tree, s->Object};
    sel.Attr = &s->Attr;
    NWCCODE code;
    if (Injected(TSimOp::ReadStream, sel, code))
        return code;
    size_t n = std::min<size_t>(max, s->Data.size() - s->Pos);
    data.assign(s->Data, s->Pos, n);
    s->Pos += n;
    return NW_OK;
}

NWCCODE TSimClient::CloseStream(NWHandle file) {
    return FStreams.Free(file);
}

// --- Rights -------------------------------------------------------------------------------------

uint32_t TSimClient::EffectiveRights(int32_t tree, int32_t subject, int32_t object,
                                     const std::string& attr) const {
    int32_t prot = PROT_ENTRY;
    if (!ProtectedAttr(FWorld->Schema, attr, prot))
        return 0;
    return sim::EffectiveRights(FWorld->Trees[tree], subject, object, prot);
}

NWCCODE TSimClient::EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                         const std::string& object, const std::string& attr,
                                         uint32_t& rights) {
    TCtx* c = nullptr;
    int32_t target = -1, who = SUBJ_PUBLIC;
    NWCCODE code = FContexts.Lookup(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, object, target)) != NW_OK)
        return code;
    target = Deref(*c, target);
    if (subject != "[Public]" && (code = Resolve(*c, subject, who)) != NW_OK)
        return code;
    if (who >= 0)
        who = Deref(*c, who);
    TSel sel{c->Tree, target};
    sel.Attr = &attr;
    if (Injected(TSimOp::EntryEffectiveRights, sel, code))
        return code;
    int32_t prot = PROT_ENTRY;
    if (!ProtectedAttr(FWorld->Schema, attr, prot))
        return ERR_NO_SUCH_ATTRIBUTE;
    rights = sim::EffectiveRights(FWorld->Trees[c->Tree], who, target, prot);
    return NW_OK;
}

} // namespace trovalen
