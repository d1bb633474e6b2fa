// Reads: object summaries and items, buffers, attribute values, streams and effective rights.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"

#include <algorithm>

namespace trovalen {

using namespace sim;

namespace {

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
    NWCCODE code = Context(ctx, c);
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

NWCCODE TSimClient::ItemValues(const TCtx& c, const std::string& name, backend::TItemValues& out) {
    int32_t object = -1;
    NWCCODE code = Resolve(c, name, object);
    if (code != NW_OK)
        return code;
    object = Deref(c, object);
    if (Injected(TSimOp::ReadObjectItems, TSel{c.Tree, object}, code))
        return code;
    const TSimObject& o = FWorld->Trees[c.Tree].Objects[object];
    out.Modified = o.Modified;
    out.Created = o.Created;
    out.ClassName = FWorld->Schema.Classes[o.Class].Name;
    if (c.Dsi & DSI_RDN)
        out.Rdn = RenderRdn(c, c.Tree, object);
    if (c.Dsi & DSI_DN)
        out.Dn = Render(c, c.Tree, object);
    if ((c.Dsi & DSI_PARENT_DN) && o.Parent >= 0)
        out.ParentDn = Render(c, c.Tree, o.Parent);
    return NW_OK;
}

// --- Attributes ---------------------------------------------------------------------------------

NWCCODE TSimClient::StartRead(const TCtx& c, const std::string& object, uint32_t infoType,
                              bool allAttrs, NWHandle request, TIter& it) {
    int32_t idx = -1;
    NWCCODE code = Resolve(c, object, idx);
    if (code != NW_OK)
        return code;
    idx = Deref(c, idx);
    const std::vector<std::string>* names = nullptr;
    if (!allAttrs && (code = RequestNames(request, names)) != NW_OK)
        return code;
    TSel sel{c.Tree, idx};
    if (allAttrs) {
        if (Injected(TSimOp::ReadAttributes, sel, code))
            return code;
    } else {
        for (const auto& n : *names) {
            sel.Attr = &n;
            if (Injected(TSimOp::ReadAttributes, sel, code))
                return code;
        }
    }
    const TSimTree& t = FWorld->Trees[c.Tree];
    std::vector<int32_t> attrs;
    if (allAttrs) {
        attrs = ObjectAttrs(*FWorld, t, idx);
    } else {
        for (const auto& n : *names) {
            int32_t a = FWorld->Schema.FindAttr(n);
            if (a >= 0 && std::find(attrs.begin(), attrs.end(), a) == attrs.end() &&
                !ObjectValues(*FWorld, t, idx, a).empty())
                attrs.push_back(a);
        }
    }
    if (attrs.empty())
        return ERR_NO_SUCH_ATTRIBUTE;
    it.Tree = c.Tree;
    it.Object = idx;
    if (!allAttrs)
        it.Names = *names;
    for (int32_t a : attrs) {
        TAttrOut ao;
        ao.Name = FWorld->Schema.Attrs[a].Name;
        ao.Syntax = FWorld->Schema.Attrs[a].Syntax;
        if (infoType != 0)
            for (const auto& v : ObjectValues(*FWorld, t, idx, a))
                ao.Values.push_back(RenderValue(c, c.Tree, v));
        it.Attrs.push_back(std::move(ao));
    }
    return NW_OK;
}

// --- Streams ------------------------------------------------------------------------------------

NWCCODE TSimClient::StreamData(const TCtx& c, const std::string& object, const std::string& attr,
                               uint32_t flags, TStream& s) {
    int32_t idx = -1;
    NWCCODE code = Resolve(c, object, idx);
    if (code != NW_OK)
        return code;
    idx = Deref(c, idx);
    TSel sel{c.Tree, idx};
    sel.Attr = &attr;
    if (Injected(TSimOp::OpenAttrStream, sel, code))
        return code;
    // Streams open for reading only: nothing can be changed through this client.
    if (flags != backend::kStreamReadOnly)
        return ERR_NO_ACCESS;
    int32_t a = FWorld->Schema.FindAttr(attr);
    if (a < 0)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (FWorld->Schema.Attrs[a].Syntax != SYN_STREAM)
        return ERR_BAD_VERB;
    const TSimAttr* stored = FWorld->Trees[c.Tree].FindAttr(idx, a);
    if (stored == nullptr)
        return ERR_NO_SUCH_ATTRIBUTE;
    s.Data = stored->Stream;
    s.Tree = c.Tree;
    s.Object = idx;
    s.Attr = FWorld->Schema.Attrs[a].Name;
    return NW_OK;
}

// --- Rights -------------------------------------------------------------------------------------

uint32_t TSimClient::EffectiveRights(int32_t tree, int32_t subject, int32_t object,
                                     const std::string& attr) const {
    int32_t prot = PROT_ENTRY;
    if (!ProtectedAttr(FWorld->Schema, attr, prot))
        return 0;
    return sim::EffectiveRights(FWorld->Trees[tree], subject, object, prot, *FRightsMemo);
}

NWCCODE TSimClient::EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                         const std::string& object, const std::string& attr,
                                         uint32_t& rights) {
    TCtx* c = nullptr;
    int32_t target = -1, who = SUBJ_PUBLIC;
    NWCCODE code = Context(ctx, c);
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
    rights = sim::EffectiveRights(FWorld->Trees[c->Tree], who, target, prot, *FRightsMemo);
    return NW_OK;
}

} // namespace trovalen
