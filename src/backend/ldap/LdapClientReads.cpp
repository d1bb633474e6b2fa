// Reads: object summaries and items, buffers, attribute values, streams and effective rights.
#include "backend/ldap/LdapClient.h"
#include "model/NameForm.h"

#include <algorithm>
#include <ldap.h>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

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
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, name, e)) != NW_OK)
        return code;
    // With the context's dereference flag, every operation on an alias works on its object.
    e = Deref(*c, e);
    dn = Render(*c, e->Full);
    summary = Summary(*e);
    return NW_OK;
}

NWCCODE TLdapClient::ItemValues(const TCtx& c, const std::string& name, backend::TItemValues& out) {
    TEntry* e = nullptr;
    if (NWCCODE code = Resolve(c, name, e); code != NW_OK)
        return code;
    e = Deref(c, e);
    out.Modified = e->Modified;
    out.Created = e->Created;
    out.ClassName = e->Class;
    if (c.Dsi & DSI_RDN)
        out.Rdn = RenderRdn(c, *e);
    if (c.Dsi & DSI_DN)
        out.Dn = Render(c, e->Full);
    if ((c.Dsi & DSI_PARENT_DN) && e->Full != kRoot) {
        size_t dot = U_FindNameDot(e->Full);
        out.ParentDn =
            Render(c, dot == std::string::npos ? std::string(kRoot) : e->Full.substr(dot + 1));
    }
    return NW_OK;
}

// --- Attributes ---------------------------------------------------------------------------------

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
    // What a hint read ahead answers as the server would have: the lists of the attributes
    // asked for, as they came.
    const TAttrLists* ahead = all ? nullptr : AheadValues(c, U_LowerCase(e.Full), wanted);
    if (ahead != nullptr) {
        TLdapEntry& kept = found.emplace_back();
        kept.Dn = e.Dn;
        for (const auto& attr : *ahead)
            if (std::any_of(wanted.begin(), wanted.end(),
                            [&](const std::string& w) { return U_SameText(w, attr.first); }))
                kept.Attrs.emplace_back(attr.first, attr.second);
    } else if (!FConn.Search(e.Dn, TLdapScope::Base, "(objectClass=*)", wanted, found, error)) {
        FLastError = error;
        return FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP ? ERR_NO_SUCH_ENTRY : ERR_NO_CONNECTION;
    }
    if (found.empty())
        return ERR_NO_SUCH_ENTRY;
    TValueMaps maps;
    // The objects the values name are kept by their DNs, so that looking them up later costs
    // no search by name.
    maps.Dn = [this](std::string_view dn, std::string& name) {
        return NoteDn(dn, name) || (dn.empty() && (name = kRoot, true));
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

NWCCODE TLdapClient::StartRead(const TCtx& c, const std::string& object, uint32_t infoType,
                               bool allAttrs, NWHandle request, TIter& it) {
    TEntry* e = nullptr;
    if (NWCCODE code = Resolve(c, object, e); code != NW_OK)
        return code;
    e = Deref(c, e);
    std::vector<std::string> names;
    if (!allAttrs) {
        const std::vector<std::string>* asked = nullptr;
        if (NWCCODE code = RequestNames(request, asked); code != NW_OK)
            return code;
        names = *asked;
    }
    return ReadValues(c, *e, names, allAttrs, infoType, it.Attrs);
}

uint32_t TLdapClient::ValueSize(const TAttrValue&) const {
    // The values are held by the client, not laid into the caller's buffer.
    constexpr uint32_t kValueBytes = 8;
    return kValueBytes;
}

// --- Streams ------------------------------------------------------------------------------------

NWCCODE TLdapClient::StreamData(const TCtx& c, const std::string& object, const std::string& attr,
                                uint32_t flags, TStream& s) {
    TEntry* e = nullptr;
    if (NWCCODE code = Resolve(c, object, e); code != NW_OK)
        return code;
    e = Deref(c, e);
    // Streams open for reading only: nothing can be changed through this client.
    if (flags != backend::kStreamReadOnly)
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
    s.Data = (*v)[0];
    return NW_OK;
}

// --- Rights -------------------------------------------------------------------------------------

NWCCODE TLdapClient::EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                          const std::string& object, const std::string& attr,
                                          uint32_t& rights) {
    rights = 0;
    TCtx* c = nullptr;
    TEntry* target = nullptr;
    TEntry* trustee = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, object, target)) != NW_OK)
        return code;
    const bool pseudo = subject == kPublic || subject == kRoot;
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
    const std::string objectDn = target->Full == "[Root]" ? std::string(kRoot) : target->Dn;
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
