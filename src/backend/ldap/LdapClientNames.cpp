// Connecting, contexts and names: typeless dotted names taken against the name context, turned
// into DNs by the objects the client has listed (each container is listed once), and rendered as
// the context asks for them.
#include "backend/ldap/LdapClient.h"
#include "model/NameForm.h"

#include <algorithm>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

constexpr size_t kTreeNameChars = 32;
// Pending entries read in one request: at most one page of answers, and a filter well below
// what servers accept from a client.
constexpr size_t kPendingBatch = 500;
constexpr size_t kMaxBatchFilterBytes = 32 * 1024;

bool SplitName(std::string_view name, std::vector<std::string>& parts) {
    return U_SplitNameParts(name, parts);
}

// The host of an LDAP address, as the server's name.
std::string HostOf(const std::string& uri) {
    size_t start = uri.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = uri.find_first_of(":/", start);
    std::string host = uri.substr(start, end == std::string::npos ? end : end - start);
    return host.empty() ? std::string("LDAP") : host;
}

} // namespace

const std::vector<std::string>& TLdapClient::SummaryAttrs() {
    static const std::vector<std::string> kAttrs{"objectClass", "structuralObjectClass",
                                                 "createTimestamp", "modifyTimestamp",
                                                 "aliasedObjectName"};
    return kAttrs;
}

// --- Connecting ---------------------------------------------------------------------------------

TLdapClient::TLdapClient(TLdapClientOptions options) : FOptions(std::move(options)) {}

TLdapClient::~TLdapClient() = default;

bool TLdapClient::Connect(std::string& error) {
    FConnected = false;
    FConnections.clear();
    FEntries.clear();
    FPending.clear();
    FReadAheads.clear();
    if (!FConn.Open(FOptions.Connection, error))
        return false;
    std::vector<TLdapEntry> found;
    if (!FConn.Search("", TLdapScope::Base, "(objectClass=*)",
                      {"directoryTreeName", "namingContexts", "subschemaSubentry", "ACL",
                       "supportedExtension"},
                      found, error)) {
        error = "cannot read the root DSE of " + FOptions.Connection.Uri + ": " + error;
        return false;
    }
    std::string subschema = "cn=Subschema";
    std::vector<std::string> contexts;
    if (!found.empty()) {
        if (const auto* v = found[0].Find("namingContexts"))
            contexts = *v;
        if (const auto* v = found[0].Find("subschemaSubentry"); v && !v->empty())
            subschema = (*v)[0];
        if (const auto* v = found[0].Find("directoryTreeName"); v && !v->empty())
            FTreeName = (*v)[0];
        const auto* rootAcl = found[0].Find("ACL");
        FRootAcl = rootAcl != nullptr && !rootAcl->empty();
        FEffectivePrivileges = false;
        if (const auto* v = found[0].Find("supportedExtension"))
            FEffectivePrivileges =
                std::find(v->begin(), v->end(), kGetEffectivePrivilegesOid) != v->end();
    }
    FTops = FOptions.Base.empty() ? contexts : std::vector<std::string>{FOptions.Base};
    bool rootContext = std::erase_if(FTops, [](const std::string& dn) { return dn.empty(); }) > 0;
    // A context inside another is reached through the outer one: only the outermost are tops.
    FTops = OutermostDns(FTops);
    // A server that holds the whole tree names the empty DN: its tops are the entries right
    // below it, whatever other contexts it lists.
    if (rootContext && FOptions.Base.empty())
        FTops.clear();
    if (FTops.empty() && rootContext) {
        // A database rooted at the empty DN: the tops are the entries right below it.
        std::vector<TLdapEntry> tops;
        if (!FConn.Search("", TLdapScope::OneLevel, "(objectClass=*)", {"1.1"}, tops, error)) {
            error = "cannot list the top of " + FOptions.Connection.Uri + ": " + error;
            return false;
        }
        for (const TLdapEntry& t : tops)
            FTops.push_back(t.Dn);
    }
    if (FTops.empty()) {
        error = FOptions.Connection.Uri + " names no naming context; give the top with --base";
        return false;
    }
    for (const std::string& top : FTops) {
        std::vector<TLdapEntry> base;
        if (!FConn.Search(top, TLdapScope::Base, "(objectClass=*)", {"1.1"}, base, error)) {
            error = FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP
                        ? "the base \"" + top + "\" does not exist on " + FOptions.Connection.Uri
                        : "cannot read \"" + top + "\": " + error;
            return false;
        }
    }
    if (!FOptions.TreeName.empty())
        FTreeName = FOptions.TreeName;
    if (FTreeName.empty()) {
        std::vector<TRdn> rdns;
        std::string ignored;
        FTreeName =
            ParseDn(FTops[0], rdns, ignored) && !rdns.empty() ? rdns.back().Value : FTops[0];
    }
    FTreeName = FTreeName.substr(0, kTreeNameChars);
    std::vector<TLdapEntry> schema;
    std::string schemaError;
    if (FConn.Search(subschema, TLdapScope::Base, "(objectClass=*)",
                     {"attributeTypes", "objectClasses", "ldapSyntaxes"}, schema, schemaError) &&
        !schema.empty()) {
        const auto* attrs = schema[0].Find("attributeTypes");
        const auto* classes = schema[0].Find("objectClasses");
        const auto* syntaxes = schema[0].Find("ldapSyntaxes");
        FSchema.Load(attrs ? *attrs : std::vector<std::string>{},
                     classes ? *classes : std::vector<std::string>{},
                     syntaxes ? *syntaxes : std::vector<std::string>{});
    } else {
        FSchema.Load({}, {}); // the built-in names only
    }
    // Effective rights are computed from the ACL values; a server that shows none (a plain LDAP
    // server, or a bind that may not read them) would make every analysis come out empty without
    // saying why. One entry with a value anywhere below the tops is enough.
    std::string acl = FSchema.LdapAttrName("ACL");
    bool anyAcl = false;
    for (size_t i = 0; i < FTops.size() && !anyAcl; ++i)
        if (!FConn.AnyEntry(FTops[i], "(" + (acl.empty() ? std::string("ACL") : acl) + "=*)",
                            anyAcl, error)) {
            error = "cannot look for ACL values below \"" + FTops[i] + "\": " + error;
            return false;
        }
    if (!anyAcl) {
        error = FTreeName + " (" + FOptions.Connection.Uri +
                ") does not publish ACL values; effective rights cannot be computed";
        return false;
    }
    FServerName = HostOf(FOptions.Connection.Uri);
    FUserFull.clear();
    if (!FOptions.Connection.BindDn.empty()) {
        // The bound object's name as the directory spells it, not as it was typed.
        std::vector<TLdapEntry> self;
        std::string ignored;
        bool found = FConn.Search(FOptions.Connection.BindDn, TLdapScope::Base, "(objectClass=*)",
                                  {"1.1"}, self, ignored) &&
                     !self.empty();
        DnToFull(found ? self[0].Dn : FOptions.Connection.BindDn, FUserFull);
    }
    TEntry root;
    root.Full = kRoot;
    root.Rdn = kRoot;
    root.Class = FSchema.DirectoryClassName("treeRoot");
    root.Container = true;
    FEntries[U_LowerCase(kRoot)] = std::move(root);
    // The one connection: to the server, in its tree, as the workstation's primary one. LDAP has
    // no object IDs, so the user's is 0.
    backend::TConnection& conn = FConnections.emplace_back();
    conn.Ref = 1;
    conn.Tree = 0;
    conn.Server = 0;
    conn.ServerName = FServerName;
    conn.Primary = true;
    FConnected = true;
    return true;
}

std::vector<std::string> TLdapClient::Notes() const {
    std::vector<std::string> notes;
    if (!FConnected)
        return notes;
    // A server shows an anonymous reader only what it may see: ACL values hidden from it do not
    // count in any result, and nothing else would say so.
    if (FOptions.Connection.BindDn.empty())
        notes.push_back("the tree was read anonymously from " + FOptions.Connection.Uri +
                        ": ACL values hidden from an anonymous reader are missing; bind as a "
                        "user who may read them for a whole result");
    if (!FRootAcl)
        notes.push_back("the ACL of [Root] cannot be read over LDAP from " +
                        FOptions.Connection.Uri +
                        ": rights granted there are missing unless the server computes effective "
                        "rights");
    return notes;
}

NWCCODE TLdapClient::ClientStartup() {
    return FConnected ? NW_OK : ERR_NO_CONNECTION;
}

std::string TLdapClient::ErrorText(NWCCODE code) {
    switch (code & 0xFFFF) {
    case 0:
        return "Success";
    case ERR_RIGHTS_NOT_COMPUTED & 0xFFFF:
        return kRightsNotComputedText;
    case ERR_NO_SUCH_ENTRY & 0xFFFF:
        return "No such entry";
    case ERR_NO_SUCH_VALUE & 0xFFFF:
        return "No such value";
    case ERR_NO_SUCH_ATTRIBUTE & 0xFFFF:
        return "No such attribute";
    case ERR_NO_SUCH_CLASS & 0xFFFF:
        return "No such class";
    case ERR_NO_ACCESS & 0xFFFF:
        return "No access";
    case ERR_INVALID_HANDLE & 0xFFFF:
        return "Invalid handle";
    case ERR_BUFFER_FULL & 0xFFFF:
        return "Buffer full";
    case ERR_BUFFER_EMPTY & 0xFFFF:
        return "Buffer empty";
    case ERR_BAD_VERB & 0xFFFF:
        return "Bad request";
    case ERR_INVALID_OBJECT_NAME & 0xFFFF:
        return "Invalid object name";
    case ERR_CONTEXT_CREATION & 0xFFFF:
        return "Context creation failed";
    case ERR_INVALID_FILTER & 0xFFFF:
        return "Invalid filter";
    case ERR_NOT_AUTHENTICATED & 0xFFFF:
        return "Not authenticated";
    case ERR_NO_CONNECTION & 0xFFFF:
        return FLastError.empty() ? "No connection to the server"
                                  : "No connection to the server: " + FLastError;
    case ERR_INVALID_CONNECTION & 0xFFFF:
        return "Invalid connection";
    case ERR_END_OF_LIST & 0xFFFF:
        return "No more entries, or the request could not be carried out";
    default:
        return "Unknown error";
    }
}

void TLdapClient::Reject(const std::string& error) {
    // A tree full of one kind of bad value would otherwise make a list as long as the tree.
    constexpr size_t kMaxProblems = 20;
    ++FRejected;
    FLastError = error;
    if (std::find(FProblems.begin(), FProblems.end(), error) != FProblems.end())
        return;
    if (FProblems.size() < kMaxProblems)
        FProblems.push_back(error);
    else
        ++FProblemsLeftOut;
}

std::vector<std::string> TLdapClient::TakeProblems() {
    std::vector<std::string> out = std::move(FProblems);
    FProblems.clear();
    if (FProblemsLeftOut > 0)
        out.push_back(U_Format("%llu more values or names could not be read",
                               static_cast<unsigned long long>(FProblemsLeftOut)));
    FProblemsLeftOut = 0;
    return out;
}

// --- Contexts -----------------------------------------------------------------------------------

std::string TLdapClient::TreeName(int32_t) const {
    return FTreeName;
}

// --- Names --------------------------------------------------------------------------------------

bool TLdapClient::DnToFull(std::string_view dn, std::string& full) const {
    std::vector<TRdn> rdns;
    std::string error;
    if (!ParseDn(dn, rdns, error) || rdns.empty())
        return false;
    full.clear();
    for (const TRdn& r : rdns) {
        if (!full.empty())
            full += '.';
        full += U_EscapeNamePart(r.Value);
    }
    return true;
}

TLdapClient::TEntry* TLdapClient::Remember(const TLdapEntry& found, bool quiet) {
    std::vector<TRdn> rdns;
    std::string error, full;
    if (!ParseDn(found.Dn, rdns, error) || rdns.empty() || !DnToFull(found.Dn, full)) {
        if (!quiet)
            Reject(error.empty() ? "\"" + found.Dn.substr(0, 200) + "\" has no typeless name"
                                 : error);
        return nullptr;
    }
    TEntry& e = FEntries[U_LowerCase(full)];
    e.Pending = false;
    e.Dn = found.Dn;
    e.Full = full;
    e.Rdn = rdns[0].Value;
    e.Type = rdns[0].Type;
    std::string ldapClass;
    if (const auto* s = found.Find("structuralObjectClass"); s && !s->empty())
        ldapClass = (*s)[0];
    else if (const auto* oc = found.Find("objectClass"); oc && !oc->empty())
        ldapClass = (*oc)[0];
    e.Class = FSchema.DirectoryClassName(ldapClass);
    const TSchemaClass* cls = FSchema.ClassByLdap(ldapClass);
    e.Container = cls != nullptr && cls->Container;
    uint32_t seconds = 0;
    if (const auto* t = found.Find("createTimestamp");
        t && !t->empty() && ParseGeneralizedTime((*t)[0], seconds))
        e.Created = seconds;
    if (const auto* t = found.Find("modifyTimestamp");
        t && !t->empty() && ParseGeneralizedTime((*t)[0], seconds))
        e.Modified = seconds;
    e.AliasTarget.clear();
    if (const auto* a = found.Find("aliasedObjectName"); a && !a->empty())
        NoteDn((*a)[0], e.AliasTarget);
    return &e;
}

NWCCODE TLdapClient::LoadChildren(TEntry& parent) {
    if (parent.ChildrenKnown)
        return NW_OK;
    const std::vector<std::string>& kAttrs = SummaryAttrs();
    std::vector<TLdapEntry> found;
    std::string error;
    std::string parentKey = U_LowerCase(parent.Full);
    if (parent.Full == kRoot) {
        for (const std::string& top : FTops) {
            std::vector<TLdapEntry> one;
            if (!FConn.Search(top, TLdapScope::Base, "(objectClass=*)", kAttrs, one, error)) {
                FLastError = error;
                return ERR_NO_CONNECTION;
            }
            found.insert(found.end(), one.begin(), one.end());
        }
    } else if (!FConn.Search(parent.Dn, TLdapScope::OneLevel, "(objectClass=*)", kAttrs, found,
                             error)) {
        FLastError = error;
        return FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP ? ERR_NO_SUCH_ENTRY : ERR_NO_CONNECTION;
    }
    std::vector<std::string> children;
    for (const TLdapEntry& f : found)
        if (TEntry* e = Remember(f))
            children.push_back(U_LowerCase(e->Full));
    std::sort(children.begin(), children.end());
    TEntry& p = FEntries[parentKey]; // Remember may have moved nothing, but look it up again
    p.Children = std::move(children);
    p.ChildrenKnown = true;
    return NW_OK;
}

bool TLdapClient::NoteDn(std::string_view dn, std::string& full) {
    std::vector<TRdn> rdns;
    std::string error;
    if (!ParseDn(dn, rdns, error) || rdns.empty())
        return false;
    // The full names of the DN and of each container above it, most specific first.
    std::vector<std::string> names(rdns.size());
    for (size_t i = rdns.size(); i-- > 0;) {
        const std::string part = U_EscapeNamePart(rdns[i].Value);
        names[i] = i + 1 < rdns.size() ? part + "." + names[i + 1] : part;
        // A DN names one object whatever the case of its values: an object already known keeps
        // its spelling, so that one object is one name wherever a value names it.
        if (auto known = FEntries.find(U_LowerCase(names[i])); known != FEntries.end())
            names[i] = known->second.Full;
    }
    full = names[0];
    // The objects the client does not know yet, below the top (the tops come with [Root]). A
    // container already listed holds every child there is: nothing is pending below it.
    for (size_t i = 0; i + 1 < rdns.size(); ++i) {
        std::string key = U_LowerCase(names[i]);
        std::string parentKey = U_LowerCase(names[i + 1]);
        if (auto p = FEntries.find(parentKey); p != FEntries.end() && p->second.ChildrenKnown)
            continue;
        auto [it, added] = FEntries.try_emplace(key);
        if (!added)
            continue;
        TEntry& e = it->second;
        e.Dn =
            FormatDn(std::vector<TRdn>(rdns.begin() + static_cast<std::ptrdiff_t>(i), rdns.end()));
        e.Full = names[i];
        e.Rdn = rdns[i].Value;
        e.Type = rdns[i].Type;
        e.Pending = true;
        FPending[parentKey].insert(std::move(key));
    }
    return true;
}

NWCCODE TLdapClient::LoadPending(const std::string& key) {
    auto wanted = FEntries.find(key);
    if (wanted == FEntries.end() || !wanted->second.Pending)
        return NW_OK;
    std::vector<TRdn> rdns;
    std::string error;
    if (!ParseDn(wanted->second.Dn, rdns, error) || rdns.size() < 2) {
        FEntries.erase(wanted);
        return ERR_NO_SUCH_ENTRY;
    }
    const std::string parentDn = FormatDn(std::vector<TRdn>(rdns.begin() + 1, rdns.end()));
    const std::string& full = wanted->second.Full;
    const std::string parentKey = U_LowerCase(full.substr(U_FindNameDot(full) + 1));
    // The wanted entry first, then its pending siblings while the batch has room.
    std::vector<std::string> batch{key};
    auto term = [](const TEntry& e) { return "(" + e.Type + "=" + EscapeFilterValue(e.Rdn) + ")"; };
    std::string terms = term(wanted->second);
    std::set<std::string>& siblings = FPending[parentKey];
    for (const std::string& k : siblings) {
        if (batch.size() >= kPendingBatch || terms.size() >= kMaxBatchFilterBytes)
            break;
        auto e = FEntries.find(k);
        if (k == key || e == FEntries.end() || !e->second.Pending)
            continue;
        batch.push_back(k);
        terms += term(e->second);
    }
    std::vector<TLdapEntry> found;
    if (!FConn.Search(parentDn, TLdapScope::OneLevel, batch.size() > 1 ? "(|" + terms + ")" : terms,
                      SummaryAttrs(), found, error) &&
        FConn.LastCode() != ERR_NO_SUCH_OBJECT_LDAP) {
        FLastError = error;
        return ERR_NO_CONNECTION; // kept pending: the server may answer later
    }
    for (const TLdapEntry& f : found)
        Remember(f);
    // What the server did not answer is no object of the tree.
    for (const std::string& k : batch) {
        siblings.erase(k);
        if (auto e = FEntries.find(k); e != FEntries.end() && e->second.Pending)
            FEntries.erase(e);
    }
    if (siblings.empty())
        FPending.erase(parentKey);
    return NW_OK;
}

NWCCODE TLdapClient::LookupChild(const TEntry& parent, const std::string& rdn) {
    std::string v = EscapeFilterValue(rdn);
    std::string filter = "(|(cn=" + v + ")(ou=" + v + ")(o=" + v + ")(c=" + v + ")(l=" + v + "))";
    std::vector<TLdapEntry> found;
    std::string error;
    if (!FConn.Search(parent.Dn, TLdapScope::OneLevel, filter, SummaryAttrs(), found, error)) {
        FLastError = error;
        return FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP ? ERR_NO_SUCH_ENTRY : ERR_NO_CONNECTION;
    }
    for (const TLdapEntry& f : found)
        Remember(f);
    return NW_OK;
}

TLdapClient::TEntry* TLdapClient::FindFull(const std::string& full) {
    const std::string key = U_LowerCase(full);
    auto known = [&]() -> TEntry* {
        auto it = FEntries.find(key);
        if (it == FEntries.end() || it->second.Pending)
            return nullptr;
        return it->second.Full == kRoot || !it->second.Dn.empty() ? &it->second : nullptr;
    };
    // An object named by a value read before: read by its DN, with its pending siblings.
    if (auto it = FEntries.find(key); it != FEntries.end() && it->second.Pending) {
        if (LoadPending(key) != NW_OK)
            return nullptr;
    }
    if (TEntry* e = known())
        return e;
    // Otherwise below its parent: the name without its first part, or the top.
    size_t dot = U_FindNameDot(full);
    TEntry* parent =
        dot == std::string::npos ? &FEntries[U_LowerCase(kRoot)] : FindFull(full.substr(dot + 1));
    if (parent != nullptr && !parent->ChildrenKnown) {
        if (parent->Full != kRoot &&
            LookupChild(*parent, U_UnescapeNamePart(full.substr(0, dot))) == NW_OK) {
            if (TEntry* e = known())
                return e;
        }
        // The tops, or a child named by an attribute the look-up does not try: the listing.
        if (LoadChildren(*parent) == NW_OK)
            return known();
    }
    // A top below the root may sit deeper than one level (a base of several parts).
    if (dot != std::string::npos && parent == nullptr) {
        TEntry* root = &FEntries[U_LowerCase(kRoot)];
        if (!root->ChildrenKnown)
            LoadChildren(*root);
        return known();
    }
    return parent != nullptr ? known() : nullptr;
}

NWCCODE TLdapClient::Resolve(const TCtx& c, const std::string& name, TEntry*& entry) {
    if (c.Tree < 0 || !FConnected)
        return ERR_NO_CONNECTION;
    std::string full;
    if (NWCCODE code = FullName(c, name, full); code != NW_OK)
        return code;
    entry = FindFull(full);
    return entry ? NW_OK : ERR_NO_SUCH_ENTRY;
}

TLdapClient::TEntry* TLdapClient::Deref(const TCtx& c, TEntry* e) {
    if ((c.Flags & DCV_DEREF_ALIASES) == 0)
        return e;
    constexpr int kMaxHops = 32;
    for (int hops = 0; hops < kMaxHops && e != nullptr && !e->AliasTarget.empty(); ++hops) {
        TEntry* next = FindFull(e->AliasTarget);
        if (next == nullptr)
            break;
        e = next;
    }
    return e;
}

std::string TLdapClient::RenderRdn(const TCtx& c, const TEntry& e) const {
    if (e.Full == kRoot)
        return std::string(kRoot);
    if (c.Flags & DCV_TYPELESS_NAMES)
        return U_EscapeNamePart(e.Rdn);
    return U_UpperCase(e.Type) + "=" + U_EscapeNamePart(e.Rdn);
}

std::string TLdapClient::Render(const TCtx& c, const std::string& full) {
    return RenderAs(c, full, (c.Flags & DCV_CANONICALIZE_NAMES) != 0);
}

std::string TLdapClient::RenderAs(const TCtx& c, const std::string& full, bool canonical) {
    if (full.empty() || full[0] == '[')
        return full;
    std::vector<std::string> parts;
    if (!SplitName(full, parts))
        return full;
    std::vector<std::string> ctxParts;
    if (c.NameContext != kRoot)
        SplitName(c.NameContext, ctxParts);
    TNameForm form = U_NameForm(parts, ctxParts, canonical);
    // Typed names take each part's type from the object the client knows.
    if ((c.Flags & DCV_TYPELESS_NAMES) == 0) {
        std::string suffix;
        for (size_t i = parts.size(); i-- > 0;) {
            suffix = suffix.empty() ? parts[i] : parts[i] + "." + suffix;
            auto it = FEntries.find(U_LowerCase(suffix));
            std::string type = it != FEntries.end() && !it->second.Type.empty()
                                   ? U_UpperCase(it->second.Type)
                                   : std::string("CN");
            parts[i] = type + "=" + parts[i];
        }
    }
    return U_JoinNameForm(parts, form);
}

TObjectSummary TLdapClient::Summary(const TEntry& e) const {
    TObjectSummary s;
    s.Flags = (e.Container ? DS_CONTAINER_ENTRY : 0) | (e.AliasTarget.empty() ? 0 : DS_ALIAS_ENTRY);
    s.SubordinateCount = static_cast<uint32_t>(e.Children.size());
    s.ModificationTime = e.Modified;
    s.ClassName = e.Class;
    return s;
}

NWCCODE TLdapClient::CurrentUserDN(NWHandle ctx, std::string& name) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
        return code;
    if (FUserFull.empty() || c->Tree < 0)
        return ERR_NOT_AUTHENTICATED;
    name = Render(*c, FUserFull);
    return NW_OK;
}

NWCCODE TLdapClient::AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) {
    TCtx* c = nullptr;
    NWCCODE code = Context(ctx, c);
    std::string full;
    if (code != NW_OK || (code = FullName(*c, name, full)) != NW_OK)
        return code;
    if (full == kRoot) {
        out = full;
        return NW_OK;
    }
    // An abbreviation is relative to the name context whatever the canonical flag says; a name
    // the tree does not hold is shortened as text.
    if (FindFull(full) != nullptr) {
        out = RenderAs(*c, full, true);
        return NW_OK;
    }
    out = full;
    std::vector<std::string> parts, ctxParts;
    if (c->NameContext != kRoot && SplitName(full, parts) && SplitName(c->NameContext, ctxParts))
        out = U_JoinNameForm(parts, U_NameForm(parts, ctxParts, true));
    return NW_OK;
}

NWCCODE TLdapClient::MapIDToName(NWHandle ctx, NWHandle conn, uint32_t, std::string&) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
        return code;
    // Object IDs are a file server's: LDAP names none.
    return FConns.Has(conn) ? ERR_NO_SUCH_ENTRY : ERR_INVALID_CONNECTION;
}

NWCCODE TLdapClient::ServerDN(NWHandle ctx, NWHandle conn, std::string&) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
        return code;
    return FConns.Has(conn) ? ERR_NO_SUCH_ENTRY : ERR_INVALID_CONNECTION;
}

} // namespace trovalen
