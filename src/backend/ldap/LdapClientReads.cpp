// Reads: object summaries and items, buffers, attribute values, streams and effective rights.
#include "backend/ldap/LdapClient.h"
#include "model/NameForm.h"

#include <algorithm>
#include <ldap.h>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

constexpr uint32_t kMaxBufBytes = 65536;
constexpr size_t kMaxLiveHandles = 65536;
constexpr size_t kMaxRequestNames = 1024;
constexpr size_t kMaxRequestNameBytes = 1024;
constexpr uint32_t kStreamReadOnly = 1;

// A value as it stood, with control characters written as \xNN so that it stays one line.
std::string Visible(std::string_view raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (char ch : raw) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

// --- Objects ------------------------------------------------------------------------------------

NWCCODE TLdapClient::ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                                       TObjectSummary& summary) {
    TCtx* c = nullptr;
    TEntry* e = nullptr;
    NWCCODE code = Ctx(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, name, e)) != NW_OK)
        return code;
    // With the context's dereference flag, every operation on an alias works on its object.
    e = Deref(*c, e);
    dn = Render(*c, e->Full);
    summary = Summary(*e);
    return NW_OK;
}

NWCCODE TLdapClient::ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                                     NWHandle buf) {
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    TEntry* e = nullptr;
    NWCCODE code = Buf(ctx, buf, b);
    if (code != NW_OK || (code = Ctx(ctx, c)) != NW_OK || (code = Resolve(*c, name, e)) != NW_OK)
        return code;
    e = Deref(*c, e);
    b->Items.clear();
    uint32_t used = 0;
    auto add = [&](uint32_t item, uint32_t number, const std::string& text) {
        b->Items.push_back({item, TObjectItem{number, text}});
        used += 8 + static_cast<uint32_t>(text.size()) * 2;
    };
    if (c->Dsi & DSI_MODIFICATION_TIME)
        add(DSI_MODIFICATION_TIME, e->Modified, {});
    if (c->Dsi & DSI_CREATION_TIME)
        add(DSI_CREATION_TIME, e->Created, {});
    if (c->Dsi & DSI_BASE_CLASS)
        add(DSI_BASE_CLASS, 0, e->Class);
    if (c->Dsi & DSI_RDN)
        add(DSI_RDN, 0, RenderRdn(*c, *e));
    if (c->Dsi & DSI_DN)
        add(DSI_DN, 0, Render(*c, e->Full));
    if (c->Dsi & DSI_PARENT_DN) {
        std::string parent;
        if (e->Full != "[Root]") {
            size_t dot = U_FindNameDot(e->Full);
            parent = Render(*c, dot == std::string::npos ? std::string("[Root]")
                                                         : e->Full.substr(dot + 1));
        }
        add(DSI_PARENT_DN, 0, parent);
    }
    if (used > size || used > b->Size) {
        b->Items.clear();
        return ERR_BUFFER_FULL;
    }
    return NW_OK;
}

NWCCODE TLdapClient::ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                                TObjectItem& out) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
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

NWCCODE TLdapClient::AllocBuf(uint32_t size, NWHandle& buf) {
    if (size == 0 || size > kMaxBufBytes || FBufs.size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    buf = NewHandle();
    FBufs[buf].Size = size;
    return NW_OK;
}

NWCCODE TLdapClient::InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
    uint32_t size = b->Size;
    *b = TBuf{};
    b->Size = size;
    b->Operation = operation;
    return NW_OK;
}

NWCCODE TLdapClient::FreeBuf(NWHandle buf) {
    return FBufs.erase(buf) ? NW_OK : ERR_INVALID_HANDLE;
}

// --- Attributes ---------------------------------------------------------------------------------

NWCCODE TLdapClient::PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
    if (b->Names.size() >= kMaxRequestNames || attr.size() > kMaxRequestNameBytes)
        return ERR_BUFFER_FULL;
    b->Names.push_back(attr);
    return NW_OK;
}

NWCCODE TLdapClient::ReadValues(const TCtx& c, const TEntry& e,
                                const std::vector<std::string>& dirNames, bool all,
                                uint32_t infoType, std::vector<TAttrOut>& out) {
    std::vector<std::string> wanted;
    if (all) {
        wanted.push_back("*");
    } else {
        for (const std::string& n : dirNames) {
            std::string l = FSchema.LdapAttrName(n);
            if (!l.empty() && IsLdapDescriptor(l))
                wanted.push_back(l);
        }
        if (wanted.empty())
            return ERR_NO_SUCH_ATTRIBUTE;
    }
    std::vector<TLdapEntry> found;
    std::string error;
    if (!FConn.Search(e.Dn, TLdapScope::Base, "(objectClass=*)", wanted, found, error)) {
        FLastError = error;
        return FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP ? ERR_NO_SUCH_ENTRY : ERR_NO_CONNECTION;
    }
    if (found.empty())
        return ERR_NO_SUCH_ENTRY;
    TValueMaps maps;
    // The objects the values name are kept by their DNs, so that looking them up later costs
    // no search by name.
    maps.Dn = [this](std::string_view dn, std::string& name) {
        return NoteDn(dn, name) || (dn.empty() && (name = "[Root]", true));
    };
    maps.Attr = [this](std::string_view n) { return FSchema.DirectoryAttrName(n); };
    maps.Class = [this](std::string_view n) { return FSchema.DirectoryClassName(n); };
    for (const auto& entry : found[0].Attrs) {
        // A plain reference, not a structured binding, so that the lambda below may capture it.
        const auto& ldapName = entry.first;
        const auto& values = entry.second;
        if (IsServerOwnAttr(ldapName))
            continue;
        const TSchemaAttr* def = FSchema.AttrByLdap(ldapName);
        TAttrOut a;
        a.Name = def ? def->Directory : FSchema.DirectoryAttrName(ldapName);
        a.Syntax = def ? def->Syntax : static_cast<uint32_t>(SYN_CI_STRING);
        if (!all && std::none_of(dirNames.begin(), dirNames.end(), [&](const std::string& n) {
                return U_SameText(FSchema.LdapAttrName(n), ldapName);
            }))
            continue;
        if (infoType != 0) {
            for (const std::string& v : values) {
                TAttrValue value;
                if (!ValueFromLdap(a.Syntax, a.Name, v, maps, value, error)) {
                    Reject(e.Full + ": " + error);
                    if (a.Syntax != SYN_OBJECT_ACL)
                        continue;
                    // An ACL value out of its form is handed out as it stood, so that the
                    // analysis shows it instead of losing it.
                    value.Syntax = a.Syntax;
                    value.Data = TValString{Visible(v)};
                }
                // Names in values are shown as the context asks for them.
                auto render = [&](std::string& s) { s = Render(c, s); };
                if (auto* s = std::get_if<TValString>(&value.Data); s && a.Syntax == SYN_DIST_NAME)
                    render(s->Text);
                else if (auto* p = std::get_if<TValPath>(&value.Data))
                    render(p->VolumeName);
                else if (auto* r = std::get_if<TValReplicaPointer>(&value.Data))
                    render(r->ServerName);
                else if (auto* acl = std::get_if<TValObjectACL>(&value.Data))
                    render(acl->SubjectName);
                else if (auto* bl = std::get_if<TValBackLink>(&value.Data))
                    render(bl->ObjectName);
                else if (auto* tn = std::get_if<TValTypedName>(&value.Data))
                    render(tn->ObjectName);
                else if (auto* h = std::get_if<TValHold>(&value.Data))
                    render(h->ObjectName);
                a.Values.push_back(std::move(value));
            }
            if (a.Values.empty() && !values.empty())
                continue; // nothing of it could be read
        }
        out.push_back(std::move(a));
    }
    return out.empty() ? ERR_NO_SUCH_ATTRIBUTE : NW_OK;
}

NWCCODE TLdapClient::ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                                    bool allAttrs, NWHandle request, int32_t& iteration,
                                    NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    TEntry* e = nullptr;
    NWCCODE code = Buf(ctx, result, out);
    if (code != NW_OK || (code = Ctx(ctx, c)) != NW_OK)
        return code;
    // Every attribute goes out in one batch: the values are held by the client, not by the
    // caller's buffer.
    if (iteration != -1) {
        iteration = -1;
        return ERR_INVALID_HANDLE;
    }
    if ((code = Resolve(*c, object, e)) != NW_OK)
        return code;
    e = Deref(*c, e);
    std::vector<std::string> names;
    if (!allAttrs) {
        auto it = FBufs.find(request);
        if (it == FBufs.end())
            return ERR_INVALID_HANDLE;
        names = it->second.Names;
    }
    std::vector<TAttrOut> attrs;
    if ((code = ReadValues(*c, *e, names, allAttrs, infoType, attrs)) != NW_OK)
        return code;
    out->Attrs = std::move(attrs);
    out->AttrPos = out->ValuePos = 0;
    out->InAttr = false;
    return NW_OK;
}

NWCCODE TLdapClient::AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    return Count(ctx, buf, count, &TBuf::Attrs);
}

NWCCODE TLdapClient::NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                              uint32_t& syntax) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
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

NWCCODE TLdapClient::AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t, uint32_t& size) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
    if (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size())
        return ERR_BUFFER_EMPTY;
    constexpr uint32_t kValueBytes = 8;
    size = kValueBytes;
    return NW_OK;
}

NWCCODE TLdapClient::NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t, TAttrValue& value) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
    if (!b->InAttr || b->ValuePos >= b->Attrs[b->AttrPos - 1].Values.size())
        return ERR_BUFFER_EMPTY;
    value = b->Attrs[b->AttrPos - 1].Values[b->ValuePos++];
    return NW_OK;
}

// --- Streams ------------------------------------------------------------------------------------

NWCCODE TLdapClient::OpenAttrStream(NWHandle ctx, const std::string& object,
                                    const std::string& attr, uint32_t flags, NWHandle& file) {
    TCtx* c = nullptr;
    TEntry* e = nullptr;
    NWCCODE code = Ctx(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, object, e)) != NW_OK)
        return code;
    e = Deref(*c, e);
    // Streams open for reading only: nothing can be changed through this client.
    if (flags != kStreamReadOnly)
        return ERR_NO_ACCESS;
    const TSchemaAttr* def = FSchema.AttrByDirectory(attr);
    if (def == nullptr)
        return ERR_NO_SUCH_ATTRIBUTE;
    if (def->Syntax != SYN_STREAM)
        return ERR_BAD_VERB;
    std::vector<TLdapEntry> found;
    std::string error;
    if (!FConn.Search(e->Dn, TLdapScope::Base, "(objectClass=*)", {def->Ldap}, found, error)) {
        FLastError = error;
        return ERR_NO_CONNECTION;
    }
    const std::vector<std::string>* v = found.empty() ? nullptr : found[0].Find(def->Ldap);
    if (v == nullptr || v->empty())
        return ERR_NO_SUCH_ATTRIBUTE;
    if (FStreams.size() >= kMaxLiveHandles)
        return ERR_NO_ACCESS;
    file = NewHandle();
    FStreams[file] = TStream{(*v)[0], 0};
    return NW_OK;
}

NWCCODE TLdapClient::ReadStream(NWHandle file, uint32_t max, std::string& data) {
    auto it = FStreams.find(file);
    if (it == FStreams.end())
        return ERR_INVALID_HANDLE;
    TStream& s = it->second;
    size_t n = std::min<size_t>(max, s.Data.size() - s.Pos);
    data.assign(s.Data, s.Pos, n);
    s.Pos += n;
    return NW_OK;
}

NWCCODE TLdapClient::CloseStream(NWHandle file) {
    return FStreams.erase(file) ? NW_OK : ERR_INVALID_HANDLE;
}

// --- Rights -------------------------------------------------------------------------------------

NWCCODE TLdapClient::EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                          const std::string& object, const std::string& attr,
                                          uint32_t& rights) {
    rights = 0;
    TCtx* c = nullptr;
    TEntry* target = nullptr;
    TEntry* trustee = nullptr;
    NWCCODE code = Ctx(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, object, target)) != NW_OK)
        return code;
    const bool pseudo = subject == "[Public]" || subject == "[Root]";
    if (!pseudo && (code = Resolve(*c, subject, trustee)) != NW_OK)
        return code;
    // A standard LDAP server computes no effective rights of the directory.
    if (!FEffectivePrivileges)
        return ERR_RIGHTS_NOT_COMPUTED;
    // The server's names: DNs, the pseudo trustees and attributes as it writes them, LDAP
    // attribute names.
    std::string ldapAttr = attr;
    if (attr.empty() || attr[0] != '[') {
        ldapAttr = FSchema.LdapAttrName(attr);
        if (ldapAttr.empty())
            return ERR_NO_SUCH_ATTRIBUTE;
    }
    const std::string objectDn = target->Full == "[Root]" ? std::string("[Root]") : target->Dn;
    const std::string trusteeDn = pseudo ? subject : trustee->Dn;
    const std::string request = EffectivePrivilegesRequest(objectDn, trusteeDn, ldapAttr);
    if (request.empty())
        return ERR_NO_CONNECTION;
    int result = 0;
    std::string response, error;
    if (!FConn.ExtendedOperation(kGetEffectivePrivilegesOid, request, result, response, error)) {
        FLastError = error;
        return ERR_NO_CONNECTION;
    }
    switch (result) {
    case LDAP_SUCCESS:
        break;
    case LDAP_NO_SUCH_OBJECT:
        return ERR_NO_SUCH_ENTRY;
    case LDAP_NO_SUCH_ATTRIBUTE:
    case LDAP_UNDEFINED_TYPE:
        return ERR_NO_SUCH_ATTRIBUTE;
    case LDAP_INSUFFICIENT_ACCESS:
        return ERR_NO_ACCESS;
    default:
        FLastError = "the server's effective rights: " + error;
        return ERR_NO_CONNECTION;
    }
    if (!ParseEffectivePrivileges(response, rights)) {
        FLastError = "the server's effective rights came in no form the client reads";
        return ERR_NO_CONNECTION;
    }
    return NW_OK;
}

} // namespace trovalen
