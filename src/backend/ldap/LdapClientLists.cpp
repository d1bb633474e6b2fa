// Lists, searches and class definitions: each answered by paged LDAP searches, then handed out
// in batches under iteration handles.
#include "backend/ldap/LdapClient.h"

#include <algorithm>
#include <ctime>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

constexpr uint32_t kListBatch = 50;
constexpr uint32_t kSearchBatch = 50;
constexpr size_t kMaxFilterTokens = 100000;
constexpr size_t kMaxLiveHandles = 65536;
constexpr size_t kMaxLiveIterations = 4096;
constexpr int kMaxFilterDepth = 200;
constexpr int kKindList = 1;
constexpr int kKindSearch = 2;
constexpr int kKindClasses = 3;
// A filter that matches nothing (an attribute or name the tree does not have).
constexpr char kNothing[] = "(!(objectClass=*))";

std::string Generalized(uint32_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
    return buf;
}

// A value with `*` standing for any run of characters: the rest escaped.
std::string Wildcard(std::string_view value) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t star = value.find('*', start);
        out += EscapeFilterValue(
            value.substr(start, star == std::string_view::npos ? star : star - start));
        if (star == std::string_view::npos)
            return out;
        out += '*';
        start = star + 1;
    }
}

} // namespace

// --- Batches ------------------------------------------------------------------------------------

NWCCODE TLdapClient::Batch(int kind, int32_t& iteration, uint32_t maxItems,
                           const std::function<NWCCODE(TIter&)>& start, TBuf& out) {
    NWHandle handle = iteration;
    if (iteration == -1) {
        TIter it;
        it.Kind = kind;
        if (NWCCODE code = start(it); code != NW_OK)
            return code;
        if (FIters.size() >= kMaxLiveIterations)
            FIters.erase(FIters.begin()); // the oldest abandoned iteration
        handle = NewHandle();
        FIters[handle] = std::move(it);
    }
    auto found = FIters.find(handle);
    if (found == FIters.end() || found->second.Kind != kind) {
        iteration = -1;
        return ERR_INVALID_HANDLE;
    }
    TIter& it = found->second;
    if (kind == kKindClasses) {
        size_t n = std::min<size_t>(maxItems, it.Classes.size() - it.Pos);
        out.Classes.assign(it.Classes.begin() + it.Pos, it.Classes.begin() + it.Pos + n);
        out.ClassPos = 0;
        it.Pos += n;
    } else {
        size_t n = std::min<size_t>(maxItems, it.Objects.size() - it.Pos);
        out.Objects.assign(it.Objects.begin() + it.Pos, it.Objects.begin() + it.Pos + n);
        out.ObjPos = 0;
        it.Pos += n;
    }
    size_t total = kind == kKindClasses ? it.Classes.size() : it.Objects.size();
    if (it.Pos < total) {
        iteration = handle;
    } else {
        FIters.erase(found);
        iteration = -1;
    }
    return NW_OK;
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TLdapClient::List(NWHandle ctx, const std::string& container, bool containersOnly,
                          int32_t& iteration, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    NWCCODE code = Buf(ctx, result, out);
    if (code != NW_OK || (code = Ctx(ctx, c)) != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        TEntry* e = nullptr;
        NWCCODE rc = Resolve(*c, container, e);
        if (rc == NW_OK)
            e = Deref(*c, e);
        if (rc != NW_OK || (rc = LoadChildren(*e)) != NW_OK)
            return rc;
        for (const std::string& key : e->Children) {
            auto child = FEntries.find(key);
            if (child == FEntries.end() || (containersOnly && !child->second.Container))
                continue;
            it.Objects.push_back({RenderRdn(*c, child->second), Summary(child->second)});
        }
        return NW_OK;
    };
    return Batch(kKindList, iteration, kListBatch, start, *out);
}

NWCCODE TLdapClient::ListSubordinates(NWHandle ctx, const std::string& container,
                                      int32_t& iteration, NWHandle result) {
    return List(ctx, container, false, iteration, result);
}

NWCCODE TLdapClient::ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                                    NWHandle result) {
    return List(ctx, container, true, iteration, result);
}

NWCCODE TLdapClient::ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    return Count(ctx, buf, count, &TBuf::Objects);
}

NWCCODE TLdapClient::NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                                TObjectSummary& summary) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
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

NWCCODE TLdapClient::ReadClassDefs(NWHandle ctx, uint32_t, bool allClasses, NWHandle request,
                                   int32_t& iteration, NWHandle result) {
    TBuf* out = nullptr;
    if (NWCCODE code = Buf(ctx, result, out); code != NW_OK)
        return code;
    constexpr uint32_t kContainerClass = 0x01;
    constexpr uint32_t kEffectiveClass = 0x02;
    auto def = [&](const TSchemaClass& c) {
        return TClassDef{c.Directory, (c.Container ? kContainerClass : 0) | kEffectiveClass};
    };
    auto start = [&](TIter& it) {
        if (allClasses) {
            for (const TSchemaClass& c : FSchema.Classes())
                it.Classes.push_back(def(c));
            return NW_OK;
        }
        auto req = FBufs.find(request);
        if (req == FBufs.end())
            return ERR_INVALID_HANDLE;
        for (const std::string& n : req->second.Names) {
            const TSchemaClass* c = FSchema.ClassByDirectory(n);
            if (c == nullptr)
                return ERR_NO_SUCH_CLASS;
            it.Classes.push_back(def(*c));
        }
        return NW_OK;
    };
    return Batch(kKindClasses, iteration, kListBatch, start, *out);
}

NWCCODE TLdapClient::ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) {
    return Count(ctx, buf, count, &TBuf::Classes);
}

NWCCODE TLdapClient::NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) {
    TBuf* b = nullptr;
    if (NWCCODE code = Buf(ctx, buf, b); code != NW_OK)
        return code;
    if (b->ClassPos >= b->Classes.size())
        return ERR_BUFFER_EMPTY;
    def = b->Classes[b->ClassPos++];
    return NW_OK;
}

// --- Filters ------------------------------------------------------------------------------------

NWCCODE TLdapClient::NewFilter(NWHandle ctx, NWHandle& filter) {
    TCtx* c = nullptr;
    if (NWCCODE code = Ctx(ctx, c); code != NW_OK)
        return code;
    if (FFilters.size() >= kMaxLiveHandles)
        return ERR_BUFFER_FULL;
    filter = NewHandle();
    FFilters[filter] = TFilter{};
    return NW_OK;
}

NWCCODE TLdapClient::AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                                    uint32_t syntax) {
    auto it = FFilters.find(filter);
    if (it == FFilters.end())
        return ERR_INVALID_HANDLE;
    bool known = token <= FTOK_APPROX || (token >= FTOK_ANAME && token <= FTOK_BASECLS);
    bool needsValue = token == FTOK_AVAL || token == FTOK_ANAME;
    if (!known || (needsValue && value == nullptr))
        return ERR_INVALID_FILTER;
    if (it->second.Tokens.size() >= kMaxFilterTokens)
        return ERR_BUFFER_FULL;
    TFilterToken t;
    t.Token = token;
    t.Syntax = syntax;
    if (needsValue) {
        t.HasValue = true;
        t.Value = *value;
    }
    it->second.Tokens.push_back(std::move(t));
    return NW_OK;
}

NWCCODE TLdapClient::AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) {
    TCtx* c = nullptr;
    if (NWCCODE code = Ctx(ctx, c); code != NW_OK)
        return code;
    const TSchemaAttr* a = FSchema.AttrByDirectory(attr);
    if (a == nullptr)
        return ERR_NO_SUCH_ATTRIBUTE;
    syntax = a->Syntax;
    return NW_OK;
}

// The token stream as an LDAP filter: OR binds loosest, then AND, then NOT.
NWCCODE TLdapClient::BuildFilter(const TCtx& c, const std::vector<TFilterToken>& tokens,
                                 std::string& filter) {
    size_t pos = 0;
    auto peek = [&] { return pos < tokens.size() ? tokens[pos].Token : FTOK_END; };
    auto nameOf = [&](std::string& name) {
        if (peek() != FTOK_ANAME)
            return false;
        const auto* s = std::get_if<TValString>(&tokens[pos++].Value.Data);
        if (s == nullptr)
            return false;
        name = s->Text;
        return true;
    };
    // The comparison value as LDAP text; empty with ok = true when it can match nothing.
    auto valueText = [&](const TSchemaAttr& a, const TAttrValue& v, uint32_t op, bool& none,
                         std::string& out) {
        none = false;
        const auto* s = std::get_if<TValString>(&v.Data);
        if (a.Syntax == SYN_DIST_NAME) {
            if (s == nullptr)
                return false;
            TEntry* e = nullptr;
            if (s->Text.empty() || Resolve(c, s->Text, e) != NW_OK || e->Dn.empty()) {
                none = true;
                return true;
            }
            out = EscapeFilterValue(e->Dn);
            return true;
        }
        if (const auto* i = std::get_if<TValInteger>(&v.Data))
            out = std::to_string(i->Value);
        else if (const auto* b = std::get_if<TValBoolean>(&v.Data))
            out = b->Value ? "TRUE" : "FALSE";
        else if (const auto* t = std::get_if<TValTime>(&v.Data))
            out = Generalized(t->Seconds);
        else if (const auto* iv = std::get_if<TValInterval>(&v.Data))
            out = std::to_string(iv->Seconds);
        else if (s != nullptr)
            out = op == FTOK_APPROX ? Wildcard(s->Text) : EscapeFilterValue(s->Text);
        else
            return false;
        return true;
    };
    std::function<bool(std::string&, int)> orExpr;
    std::function<bool(std::string&, int)> primary = [&](std::string& out, int depth) -> bool {
        if (depth > kMaxFilterDepth)
            return false;
        switch (peek()) {
        case FTOK_NOT: {
            ++pos;
            std::string inner;
            if (!primary(inner, depth + 1))
                return false;
            out = "(!" + inner + ")";
            return true;
        }
        case FTOK_LPAREN:
            ++pos;
            if (!orExpr(out, depth + 1) || peek() != FTOK_RPAREN)
                return false;
            ++pos;
            return true;
        case FTOK_PRESENT: {
            ++pos;
            std::string name;
            if (!nameOf(name))
                return false;
            const TSchemaAttr* a = FSchema.AttrByDirectory(name);
            out = a ? "(" + a->Ldap + "=*)" : kNothing;
            return true;
        }
        case FTOK_RDN: {
            ++pos;
            std::string rdn;
            if (!nameOf(rdn))
                return false;
            std::string v = Wildcard(rdn);
            out = "(|(cn=" + v + ")(ou=" + v + ")(o=" + v + ")(c=" + v + ")(l=" + v + "))";
            return true;
        }
        case FTOK_BASECLS: {
            ++pos;
            std::string cls;
            if (!nameOf(cls))
                return false;
            std::string l = FSchema.LdapClassName(cls);
            out =
                l.empty() || !IsLdapDescriptor(l) ? kNothing : "(structuralObjectClass=" + l + ")";
            return true;
        }
        case FTOK_ANAME: {
            std::string name;
            if (!nameOf(name))
                return false;
            const TSchemaAttr* a = FSchema.AttrByDirectory(name);
            if (peek() == FTOK_PRESENT) {
                ++pos;
                out = a ? "(" + a->Ldap + "=*)" : kNothing;
                return true;
            }
            uint32_t op = peek();
            if (op != FTOK_EQ && op != FTOK_GE && op != FTOK_LE && op != FTOK_APPROX)
                return false;
            ++pos;
            if (peek() != FTOK_AVAL || !tokens[pos].HasValue)
                return false;
            const TAttrValue& v = tokens[pos++].Value;
            if (a == nullptr) {
                out = kNothing;
                return true;
            }
            bool none = false;
            std::string text;
            if (!valueText(*a, v, op, none, text))
                return false;
            if (none) {
                out = kNothing;
                return true;
            }
            const char* sign = op == FTOK_GE ? ">=" : op == FTOK_LE ? "<=" : "=";
            out = "(" + a->Ldap + sign + text + ")";
            return true;
        }
        default:
            return false;
        }
    };
    auto andExpr = [&](std::string& out, int depth) {
        std::vector<std::string> parts(1);
        if (!primary(parts[0], depth))
            return false;
        while (peek() == FTOK_AND) {
            ++pos;
            parts.emplace_back();
            if (!primary(parts.back(), depth))
                return false;
        }
        out = parts.size() == 1 ? parts[0] : "(&";
        if (parts.size() > 1) {
            for (const auto& p : parts)
                out += p;
            out += ")";
        }
        return true;
    };
    orExpr = [&](std::string& out, int depth) {
        if (depth > kMaxFilterDepth)
            return false;
        std::vector<std::string> parts(1);
        if (!andExpr(parts[0], depth))
            return false;
        while (peek() == FTOK_OR) {
            ++pos;
            parts.emplace_back();
            if (!andExpr(parts.back(), depth))
                return false;
        }
        out = parts.size() == 1 ? parts[0] : "(|";
        if (parts.size() > 1) {
            for (const auto& p : parts)
                out += p;
            out += ")";
        }
        return true;
    };
    if (!orExpr(filter, 0) || peek() != FTOK_END || pos + 1 != tokens.size())
        return ERR_INVALID_FILTER;
    return NW_OK;
}

NWCCODE TLdapClient::PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) {
    // The filter is used up whether or not it can be put.
    auto it = FFilters.find(filter);
    if (it == FFilters.end())
        return ERR_INVALID_HANDLE;
    TFilter f = std::move(it->second);
    FFilters.erase(it);
    TCtx* c = nullptr;
    TBuf* b = nullptr;
    NWCCODE code = Buf(ctx, buf, b);
    if (code != NW_OK || (code = Ctx(ctx, c)) != NW_OK)
        return code;
    std::string text;
    if ((code = BuildFilter(*c, f.Tokens, text)) != NW_OK)
        return code;
    b->HasFilter = true;
    b->Filter = std::move(text);
    return NW_OK;
}

NWCCODE TLdapClient::FreeFilter(NWHandle filter) {
    return FFilters.erase(filter) ? NW_OK : ERR_INVALID_HANDLE;
}

// --- Search -------------------------------------------------------------------------------------

NWCCODE TLdapClient::SearchObjects(NWHandle ctx, const std::string& base, int scope,
                                   NWHandle filterBuf, bool, int32_t& iteration,
                                   uint32_t maxPerCall, uint32_t& count, NWHandle result) {
    TCtx* c = nullptr;
    TBuf* out = nullptr;
    TBuf* fb = nullptr;
    NWCCODE code = Buf(ctx, result, out);
    if (code != NW_OK || (code = Buf(ctx, filterBuf, fb)) != NW_OK || (code = Ctx(ctx, c)) != NW_OK)
        return code;
    auto start = [&](TIter& it) {
        if (!fb->HasFilter)
            return ERR_INVALID_FILTER;
        if (scope < DS_SEARCH_ENTRY || scope > DS_SEARCH_SUBTREE)
            return ERR_BAD_VERB;
        TEntry* b = nullptr;
        NWCCODE rc = Resolve(*c, base, b);
        if (rc != NW_OK)
            return rc;
        static const std::vector<std::string> kAttrs{"objectClass", "structuralObjectClass",
                                                     "createTimestamp", "modifyTimestamp",
                                                     "aliasedObjectName"};
        // Below [Root] the tops are searched one by one; [Root] itself matches no filter here.
        std::vector<std::pair<std::string, TLdapScope>> bases;
        if (b->Full == "[Root]") {
            if (scope == DS_SEARCH_ENTRY)
                return NW_OK;
            for (const std::string& top : FTops)
                bases.emplace_back(top, scope == DS_SEARCH_SUBTREE ? TLdapScope::Subtree
                                                                   : TLdapScope::Base);
        } else {
            bases.emplace_back(b->Dn, scope == DS_SEARCH_ENTRY          ? TLdapScope::Base
                                      : scope == DS_SEARCH_SUBORDINATES ? TLdapScope::OneLevel
                                                                        : TLdapScope::Subtree);
        }
        std::vector<std::string> names;
        for (const auto& [dn, s] : bases) {
            std::vector<TLdapEntry> found;
            std::string error;
            if (!FConn.Search(dn, s, fb->Filter, kAttrs, found, error)) {
                FLastError = error;
                return FConn.LastCode() == ERR_NO_SUCH_OBJECT_LDAP ? ERR_NO_SUCH_ENTRY
                                                                   : ERR_NO_CONNECTION;
            }
            for (const TLdapEntry& f : found)
                if (TEntry* e = Remember(f))
                    names.push_back(e->Full);
        }
        for (const std::string& full : names) {
            auto e = FEntries.find(U_LowerCase(full));
            if (e != FEntries.end())
                it.Objects.push_back({Render(*c, full), Summary(e->second)});
        }
        return NW_OK;
    };
    uint32_t batch = maxPerCall == 0 ? kSearchBatch : std::min(maxPerCall, kSearchBatch);
    code = Batch(kKindSearch, iteration, batch, start, *out);
    count = code == NW_OK ? static_cast<uint32_t>(out->Objects.size()) : 0;
    return code;
}

} // namespace trovalen
