// Lists, searches and class definitions: each answered by paged LDAP searches; the shared
// mechanics hand the results out in batches under iteration handles.
#include "backend/ldap/LdapClient.h"

#include <algorithm>
#include <ctime>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapValues.h"
#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

constexpr uint32_t kListBatch = 50;
constexpr uint32_t kSearchBatch = 50;
constexpr int kMaxFilterDepth = 200;
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

backend::TBatchLimits TLdapClient::Limits(backend::TBatchOp op, const TBuf&,
                                          uint32_t maxPerCall) const {
    switch (op) {
    case backend::TBatchOp::ReadAttributes:
        // Every attribute goes out in one batch: the values are held by the client, not by the
        // caller's buffer.
        return {};
    case backend::TBatchOp::SearchObjects:
        return {maxPerCall == 0 ? kSearchBatch : std::min(maxPerCall, kSearchBatch)};
    default:
        return {kListBatch};
    }
}

// --- Lists --------------------------------------------------------------------------------------

NWCCODE TLdapClient::StartList(const TCtx& c, const std::string& container, bool containersOnly,
                               TIter& it) {
    TEntry* e = nullptr;
    NWCCODE code = Resolve(c, container, e);
    if (code == NW_OK)
        e = Deref(c, e);
    if (code != NW_OK || (code = LoadChildren(*e)) != NW_OK)
        return code;
    for (const std::string& key : e->Children) {
        auto child = FEntries.find(key);
        if (child == FEntries.end() || (containersOnly && !child->second.Container))
            continue;
        it.Objects.push_back({RenderRdn(c, child->second), Summary(child->second)});
    }
    return NW_OK;
}

// --- Class definitions --------------------------------------------------------------------------

NWCCODE TLdapClient::StartClasses(const TCtx&, bool allClasses, NWHandle request, TIter& it) {
    constexpr uint32_t kContainerClass = 0x01;
    constexpr uint32_t kEffectiveClass = 0x02;
    auto def = [&](const TSchemaClass& c) {
        return TClassDef{c.Directory, (c.Container ? kContainerClass : 0) | kEffectiveClass};
    };
    if (allClasses) {
        for (const TSchemaClass& c : FSchema.Classes())
            it.Classes.push_back(def(c));
        return NW_OK;
    }
    const std::vector<std::string>* names = nullptr;
    if (NWCCODE code = RequestNames(request, names); code != NW_OK)
        return code;
    for (const std::string& n : *names) {
        const TSchemaClass* c = FSchema.ClassByDirectory(n);
        if (c == nullptr)
            return ERR_NO_SUCH_CLASS;
        it.Classes.push_back(def(*c));
    }
    return NW_OK;
}

// --- Filters ------------------------------------------------------------------------------------

NWCCODE TLdapClient::AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
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

namespace {

// A filter put into a buffer: the LDAP filter it searches with.
struct TLdapFilter : backend::TBufFilter {
    std::string Text;
};

} // namespace

NWCCODE TLdapClient::CompileFilter(const TCtx& c, std::vector<TFilterToken>& tokens,
                                   std::unique_ptr<backend::TBufFilter>& out) {
    auto f = std::make_unique<TLdapFilter>();
    if (NWCCODE code = BuildFilter(c, tokens, f->Text); code != NW_OK)
        return code;
    out = std::move(f);
    return NW_OK;
}

// --- Search -------------------------------------------------------------------------------------

NWCCODE TLdapClient::StartSearch(const TCtx& c, const std::string& base, int scope,
                                 const TBuf& filterBuf, TIter& it) {
    const std::string& filter = static_cast<const TLdapFilter&>(*filterBuf.Filter).Text;
    if (scope < DS_SEARCH_ENTRY || scope > DS_SEARCH_SUBTREE)
        return ERR_BAD_VERB;
    TEntry* b = nullptr;
    NWCCODE rc = Resolve(c, base, b);
    if (rc != NW_OK)
        return rc;
    // What a hint found ahead answers as the search would.
    if (b->Full == kRoot && scope == DS_SEARCH_SUBTREE) {
        if (const std::vector<std::string>* ahead = AheadSearch(c, filter)) {
            for (const std::string& full : *ahead) {
                auto e = FEntries.find(U_LowerCase(full));
                if (e != FEntries.end())
                    it.Objects.push_back({Render(c, full), Summary(e->second)});
            }
            return NW_OK;
        }
    }
    const std::vector<std::string>& kAttrs = SummaryAttrs();
    // Below [Root] the tops are searched one by one; [Root] itself matches no filter here.
    std::vector<std::pair<std::string, TLdapScope>> bases;
    if (b->Full == kRoot) {
        if (scope == DS_SEARCH_ENTRY)
            return NW_OK;
        for (const std::string& top : FTops)
            bases.emplace_back(top,
                               scope == DS_SEARCH_SUBTREE ? TLdapScope::Subtree : TLdapScope::Base);
    } else {
        bases.emplace_back(b->Dn, scope == DS_SEARCH_ENTRY          ? TLdapScope::Base
                                  : scope == DS_SEARCH_SUBORDINATES ? TLdapScope::OneLevel
                                                                    : TLdapScope::Subtree);
    }
    std::vector<std::string> names;
    for (const auto& [dn, s] : bases) {
        std::vector<TLdapEntry> found;
        std::string error;
        if (!FConn.Search(dn, s, filter, kAttrs, found, error)) {
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
            it.Objects.push_back({Render(c, full), Summary(e->second)});
    }
    return NW_OK;
}

} // namespace trovalen
