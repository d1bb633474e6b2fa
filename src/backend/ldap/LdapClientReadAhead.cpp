// Read-ahead: what the contract's hints read in few requests (paged subtree searches, batched
// reads of objects below their containers, batched "Security Equals" searches), kept for the
// context the hint was given to, and the reads and searches it answers.
//
// A hint never changes an answer. What was read ahead is what the server answered to a search
// that asked for the same attributes; what a batch could not answer whole (a failed search, an
// object the batch did not return, an answer that cannot be told apart by name) is not kept,
// and is read as it would have been without the hint, errors and all.
#include "backend/ldap/LdapClient.h"
#include "model/NameForm.h"

#include <algorithm>
#include <unordered_set>

#include "backend/ldap/LdapNames.h"
#include "util/Util.h"

namespace trovalen {

using namespace ldap;

namespace {

constexpr char kRootKey[] = "[root]";
// Objects or names in one batched search, and its filter at most: well below what servers take.
constexpr size_t kAheadBatch = 100;
constexpr size_t kMaxAheadFilterBytes = 32 * 1024;
// What the read-ahead of one context keeps at most (values and names, counted with a rough
// overhead each): past it objects are read when asked, as without a hint.
constexpr size_t kMaxAheadBytes = size_t{512} << 20;
constexpr size_t kOverheadBytes = 48;

size_t ListBytes(const std::vector<std::pair<std::string, std::vector<std::string>>>& lists) {
    size_t bytes = kOverheadBytes;
    for (const auto& [name, values] : lists) {
        bytes += name.size() + kOverheadBytes;
        for (const std::string& v : values)
            bytes += v.size() + kOverheadBytes;
    }
    return bytes;
}

} // namespace

// --- The read-ahead of a context ----------------------------------------------------------------

TLdapClient::TReadAhead& TLdapClient::OwnReadAhead(NWHandle ctx, TCtx& c) {
    if (auto own = FReadAheads.find(c.ReadAhead);
        own != FReadAheads.end() && own->second.Owner == ctx)
        return own->second;
    const uint32_t id = FNextReadAhead++;
    TReadAhead& ra = FReadAheads[id];
    ra.Owner = ctx;
    // A copy keeps reading what its original read ahead.
    ra.Parent = FReadAheads.count(c.ReadAhead) > 0 ? c.ReadAhead : 0;
    c.ReadAhead = id;
    return ra;
}

NWCCODE TLdapClient::FreeContext(NWHandle ctx) {
    TCtx* c = nullptr;
    if (Context(ctx, c) == NW_OK && c->ReadAhead != 0) {
        auto own = FReadAheads.find(c->ReadAhead);
        if (own != FReadAheads.end() && own->second.Owner == ctx)
            FReadAheads.erase(own);
    }
    return TClientBase::FreeContext(ctx);
}

template <class TFind> auto TLdapClient::FirstAhead(const TCtx& c, TFind find) const {
    // A read-ahead is made after the one it reads from: the numbers fall along the way.
    for (uint32_t id = c.ReadAhead; id != 0;) {
        auto ra = FReadAheads.find(id);
        if (ra == FReadAheads.end())
            break;
        if (auto found = find(ra->second))
            return found;
        id = ra->second.Parent;
    }
    return decltype(find(FReadAheads.begin()->second))(nullptr);
}

const TLdapClient::TAttrLists*
TLdapClient::AheadValues(const TCtx& c, const std::string& key,
                         const std::vector<std::string>& wanted) const {
    // Once the connection is lost every read fails, those read ahead too: a scan does not go on
    // with part of its answers.
    if (!FConn.Broken().empty())
        return nullptr;
    return FirstAhead(c, [&](const TReadAhead& ra) -> const TAttrLists* {
        for (const TAheadValues* part : {&ra.Named, &ra.Subtree}) {
            auto o = part->Objects.find(key);
            if (o == part->Objects.end())
                continue;
            const bool covered =
                std::all_of(wanted.begin(), wanted.end(), [&](const std::string& w) {
                    return std::any_of(part->Asked.begin(), part->Asked.end(),
                                       [&](const std::string& a) { return U_SameText(a, w); });
                });
            if (covered)
                return &o->second;
        }
        return nullptr;
    });
}

const std::vector<std::string>* TLdapClient::AheadSearch(const TCtx& c,
                                                         const std::string& filter) const {
    if (!FConn.Broken().empty())
        return nullptr;
    return FirstAhead(c, [&](const TReadAhead& ra) -> const std::vector<std::string>* {
        auto found = ra.Equals.find(filter);
        return found != ra.Equals.end() ? &found->second : nullptr;
    });
}

std::vector<std::string>
TLdapClient::AheadAttrs(std::initializer_list<const char*> valueNames) const {
    std::vector<std::string> attrs = SummaryAttrs();
    for (const char* n : valueNames) {
        std::string l = FSchema.LdapAttrName(n);
        if (l.empty() || !IsLdapDescriptor(l) ||
            std::any_of(attrs.begin(), attrs.end(),
                        [&](const std::string& a) { return U_SameText(a, l); }))
            continue;
        attrs.push_back(std::move(l));
    }
    return attrs;
}

TLdapClient::TReadAheadFigures TLdapClient::ReadAheadFigures() const {
    TReadAheadFigures f;
    for (const auto& [id, ra] : FReadAheads) {
        f.Objects += ra.Subtree.Objects.size() + ra.Named.Objects.size();
        f.Searches += ra.Equals.size();
        f.Bytes += ra.Subtree.Bytes + ra.Named.Bytes + ra.EqualsBytes;
    }
    return f;
}

// --- A subtree ----------------------------------------------------------------------------------

NWCCODE TLdapClient::PrefetchSubtree(NWHandle ctx, const std::string& base) {
    TCtx* c = nullptr;
    TEntry* b = nullptr;
    NWCCODE code = Context(ctx, c);
    if (code != NW_OK || (code = Resolve(*c, base, b)) != NW_OK)
        return code;
    const bool fromRoot = b->Full == kRoot;
    const std::vector<std::string> bases = fromRoot ? FTops : std::vector<std::string>{b->Dn};
    TReadAhead& ra = OwnReadAhead(ctx, *c);
    const std::string baseKey = U_LowerCase(b->Full);
    if (ra.SubtreeBase == baseKey)
        return NW_OK;
    ra.SubtreeBase.clear();
    ra.Subtree = TAheadValues{};
    ra.Subtree.Asked = AheadAttrs({"ACL", "Security Equals", "Group Membership"});
    ra.EqualsIndex.clear();
    ra.EqualsIndexed = false;

    // Read below every top, the subtree also says which objects name which in "Security
    // Equals": the searches for them are answered from it. Each value must name an object read,
    // in the same form, or the server might match what the keys cannot; then it is not used.
    const TSchemaAttr* equals = FSchema.AttrByDirectory("Security Equals");
    bool indexing = equals != nullptr &&
                    (fromRoot || (FTops.size() == 1 && DnMatchKey(b->Dn) == DnMatchKey(FTops[0])));
    std::vector<std::pair<std::string, std::string>> named; // value key, naming object
    std::unordered_set<std::string> objectKeys;
    size_t indexBytes = 0;

    // The subordinates of each object answered, by key; an object's list is whole only when
    // the search below the base it lies in ran to its end.
    struct TKids {
        std::vector<std::string> Keys;
        bool Answered = false;
    };
    std::vector<std::string> tops; // keys of the tops answered (below [Root])
    bool topsWhole = true;
    code = NW_OK;
    for (const std::string& dn : bases) {
        std::unordered_map<std::string, TKids> kids;
        bool whole = true;
        auto sink = [&](std::vector<TLdapEntry>& page) {
            for (TLdapEntry& found : page) {
                // An object whose DN cannot be read is left to the listing of its container,
                // which says so; that listing is then not answered from here.
                TEntry* e = Remember(found, true);
                if (e == nullptr) {
                    whole = false;
                    continue;
                }
                std::string key = U_LowerCase(e->Full);
                const size_t dot = U_FindNameDot(e->Full);
                kids[dot == std::string::npos ? std::string(kRootKey)
                                              : U_LowerCase(e->Full.substr(dot + 1))]
                    .Keys.push_back(key);
                kids[key].Answered = true;
                if (indexing) {
                    objectKeys.insert(DnMatchKey(e->Dn));
                    if (const auto* values = found.Find(equals->Ldap))
                        for (const std::string& v : *values) {
                            named.emplace_back(DnMatchKey(v), e->Full);
                            indexBytes +=
                                named.back().first.size() + e->Full.size() + 2 * kOverheadBytes;
                        }
                    indexing = indexBytes <= kMaxAheadBytes / 4;
                }
                const size_t bytes = ListBytes(found.Attrs) + key.size();
                if (ra.Subtree.Bytes + ra.Named.Bytes + ra.EqualsBytes + bytes <= kMaxAheadBytes) {
                    ra.Subtree.Bytes += bytes;
                    ra.Subtree.Objects[std::move(key)] = std::move(found.Attrs);
                }
            }
        };
        std::string error;
        if (!FConn.SearchAhead(dn, TLdapScope::Subtree, "(objectClass=*)", ra.Subtree.Asked, sink,
                               error)) {
            code = ERR_NO_CONNECTION;
            topsWhole = false;
            if (!FConn.Broken().empty())
                break;
            continue;
        }
        if (!whole) {
            topsWhole = false;
            continue;
        }
        for (auto& [key, k] : kids) {
            auto e = FEntries.find(key);
            if (!k.Answered || e == FEntries.end() || e->second.Pending)
                continue;
            std::sort(k.Keys.begin(), k.Keys.end());
            e->second.Children = std::move(k.Keys);
            e->second.ChildrenKnown = true;
        }
        std::string topFull;
        if (fromRoot && DnToFull(dn, topFull) && kids.count(U_LowerCase(topFull)) > 0 &&
            kids[U_LowerCase(topFull)].Answered)
            tops.push_back(U_LowerCase(topFull));
        else
            topsWhole = false;
    }
    // [Root] lists the tops, as its listing would.
    if (fromRoot && topsWhole) {
        TEntry& root = FEntries[kRootKey];
        std::sort(tops.begin(), tops.end());
        root.Children = std::move(tops);
        root.ChildrenKnown = true;
    }
    if (code == NW_OK && (!fromRoot || topsWhole)) {
        ra.SubtreeBase = baseKey;
        indexing = indexing && std::all_of(named.begin(), named.end(), [&](const auto& n) {
                       return objectKeys.count(n.first) > 0;
                   });
        if (indexing) {
            for (const auto& [valueKey, full] : named) {
                std::vector<std::string>& naming = ra.EqualsIndex[valueKey];
                // Two values of one object that name the same one: the server lists it once.
                if (naming.empty() || naming.back() != full)
                    naming.push_back(full);
            }
            ra.EqualsBytes += indexBytes;
            ra.EqualsIndexed = true;
        }
    }
    return code;
}

// --- Named objects ------------------------------------------------------------------------------

NWCCODE TLdapClient::PrefetchObjects(NWHandle ctx, const std::vector<std::string>& names) {
    TCtx* c = nullptr;
    if (NWCCODE code = Context(ctx, c); code != NW_OK)
        return code;
    if (c->Tree < 0 || !FConnected)
        return ERR_NO_CONNECTION;
    // What earlier hints to this context read stays, within the bound of the read-ahead: a walk
    // names the same trustees at entry after entry.
    TReadAhead& ra = OwnReadAhead(ctx, *c);
    if (ra.Named.Asked.empty())
        ra.Named.Asked = AheadAttrs({"Object Class", "Security Equals", "Group Membership"});

    // The objects the client knows by their DNs (read from a value or found before), each once;
    // any other name is looked up when it is asked for, as without the hint.
    std::vector<std::string> keys;
    std::unordered_set<std::string> seen;
    for (const std::string& name : names) {
        std::string full;
        if (name.empty() || name[0] == '[' || FullName(*c, name, full) != NW_OK)
            continue;
        std::string key = U_LowerCase(full);
        auto e = FEntries.find(key);
        if (e == FEntries.end() || e->second.Dn.empty() || !seen.insert(key).second)
            continue;
        keys.push_back(std::move(key));
    }
    std::vector<std::string> unread;
    for (const std::string& key : keys)
        if (AheadValues(*c, key, ra.Named.Asked) == nullptr)
            unread.push_back(key);
    NWCCODE code = ReadAheadObjects(unread, ra.Named.Asked, ra.Named);
    if (!FConn.Broken().empty())
        return ERR_NO_CONNECTION;
    NWCCODE equals = ReadAheadEquals(keys, *c, ra);
    return code != NW_OK ? code : equals;
}

NWCCODE TLdapClient::ReadAheadObjects(const std::vector<std::string>& keys,
                                      const std::vector<std::string>& attrs, TAheadValues& out) {
    // By container, in the order of their DNs; the tops have none to be searched below.
    std::map<std::string, std::vector<std::string>> byParent;
    for (const std::string& key : keys) {
        auto e = FEntries.find(key);
        std::vector<TRdn> rdns;
        std::string error;
        if (e == FEntries.end() || !ParseDn(e->second.Dn, rdns, error) || rdns.size() < 2)
            continue;
        byParent[FormatDn(std::vector<TRdn>(rdns.begin() + 1, rdns.end()))].push_back(key);
    }
    NWCCODE code = NW_OK;
    for (const auto& [parentDn, below] : byParent) {
        for (size_t at = 0; at < below.size();) {
            std::unordered_set<std::string> batch;
            std::string terms;
            for (; at < below.size() && batch.size() < kAheadBatch &&
                   terms.size() < kMaxAheadFilterBytes;
                 ++at) {
                const TEntry& e = FEntries[below[at]];
                terms += "(" + e.Type + "=" + EscapeFilterValue(e.Rdn) + ")";
                batch.insert(below[at]);
            }
            // Another object with the same naming value is no object asked for.
            auto sink = [&](std::vector<TLdapEntry>& page) {
                for (TLdapEntry& found : page) {
                    std::string full;
                    if (!DnToFull(found.Dn, full) || batch.count(U_LowerCase(full)) == 0)
                        continue;
                    TEntry* e = Remember(found, true);
                    if (e == nullptr)
                        continue;
                    std::string key = U_LowerCase(e->Full);
                    const size_t bytes = ListBytes(found.Attrs) + key.size();
                    if (out.Bytes + bytes > kMaxAheadBytes)
                        continue;
                    out.Bytes += bytes;
                    out.Objects[std::move(key)] = std::move(found.Attrs);
                }
            };
            std::string error;
            if (!FConn.SearchAhead(parentDn, TLdapScope::OneLevel,
                                   batch.size() > 1 ? "(|" + terms + ")" : terms, attrs, sink,
                                   error)) {
                code = ERR_NO_CONNECTION;
                if (!FConn.Broken().empty())
                    return code;
            }
        }
    }
    return code;
}

NWCCODE TLdapClient::ReadAheadEquals(const std::vector<std::string>& keys, const TCtx& c,
                                     TReadAhead& ra) {
    const TSchemaAttr* equals = FSchema.AttrByDirectory("Security Equals");
    if (equals == nullptr || !IsLdapDescriptor(equals->Ldap))
        return NW_OK;
    std::vector<std::string> attrs = SummaryAttrs();
    attrs.push_back(equals->Ldap);

    // A subtree read below every top answers them all.
    const auto* index = FirstAhead(
        c, [](const TReadAhead& r) { return r.EqualsIndexed ? &r.EqualsIndex : nullptr; });

    // The objects whose names a search could be filtered by: known and not waiting to be read.
    // Those searched for before are not searched again.
    // Each with the filter of its own search, as the search builds it.
    std::vector<std::pair<const TEntry*, std::string>> named;
    for (const std::string& key : keys) {
        auto e = FEntries.find(key);
        if (e == FEntries.end() || e->second.Pending || e->second.Dn.empty())
            continue;
        std::string filter = "(" + equals->Ldap + "=" + EscapeFilterValue(e->second.Dn) + ")";
        if (ra.Equals.count(filter) > 0)
            continue;
        if (index != nullptr) {
            auto naming = index->find(DnMatchKey(e->second.Dn));
            std::vector<std::string> found;
            if (naming != index->end())
                found = naming->second;
            size_t bytes = filter.size() + kOverheadBytes;
            for (const std::string& n : found)
                bytes += n.size() + kOverheadBytes;
            if (ra.Subtree.Bytes + ra.Named.Bytes + ra.EqualsBytes + bytes > kMaxAheadBytes)
                break;
            ra.EqualsBytes += bytes;
            ra.Equals[std::move(filter)] = std::move(found);
            continue;
        }
        named.emplace_back(&e->second, std::move(filter));
    }
    NWCCODE code = NW_OK;
    for (size_t at = 0; at < named.size();) {
        std::vector<std::string> filters;
        std::unordered_map<std::string, std::vector<size_t>> byDn;
        std::string terms;
        for (; at < named.size() && filters.size() < kAheadBatch &&
               terms.size() < kMaxAheadFilterBytes;
             ++at) {
            filters.push_back(named[at].second);
            terms += filters.back();
            byDn[DnMatchKey(named[at].first->Dn)].push_back(filters.size() - 1);
        }
        const std::string filter = filters.size() > 1 ? "(|" + terms + ")" : terms;
        std::vector<std::vector<std::string>> found(filters.size());
        bool exact = true;
        for (const std::string& top : FTops) {
            auto sink = [&](std::vector<TLdapEntry>& page) {
                for (const TLdapEntry& f : page) {
                    // The names its values name; an object that names none of them, or whose
                    // DN cannot be read, leaves the batch to the searches of its own.
                    std::vector<size_t> hits;
                    if (const auto* values = f.Find(equals->Ldap))
                        for (const std::string& v : *values) {
                            std::string key = DnMatchKey(v);
                            auto h = key.empty() ? byDn.end() : byDn.find(key);
                            if (h == byDn.end())
                                continue;
                            for (size_t i : h->second)
                                if (std::find(hits.begin(), hits.end(), i) == hits.end())
                                    hits.push_back(i);
                        }
                    TEntry* e = hits.empty() ? nullptr : Remember(f, true);
                    if (e == nullptr) {
                        exact = false;
                        continue;
                    }
                    for (size_t i : hits)
                        found[i].push_back(e->Full);
                }
            };
            std::string error;
            if (!FConn.SearchAhead(top, TLdapScope::Subtree, filter, attrs, sink, error)) {
                code = ERR_NO_CONNECTION;
                exact = false;
                break;
            }
            if (!exact)
                break;
        }
        if (!FConn.Broken().empty())
            return ERR_NO_CONNECTION;
        if (!exact)
            continue;
        for (size_t i = 0; i < filters.size(); ++i) {
            size_t bytes = filters[i].size() + kOverheadBytes;
            for (const std::string& n : found[i])
                bytes += n.size() + kOverheadBytes;
            if (ra.Subtree.Bytes + ra.Named.Bytes + ra.EqualsBytes + bytes > kMaxAheadBytes)
                break;
            ra.EqualsBytes += bytes;
            ra.Equals[std::move(filters[i])] = std::move(found[i]);
        }
    }
    return code;
}

} // namespace trovalen
