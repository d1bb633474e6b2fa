// The LDAP client: a live directory read over LDAP behind the client interface. Typeless dotted
// names are the program's names; DNs exist only on the wire. Attribute and class names are the
// directory's, mapped with the subschema's X-NDS_NAME (read once per connection). It only reads:
// no add, modify, delete or rename request is ever sent.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "backend/common/ClientBase.h"
#include "backend/ldap/LdapConnection.h"
#include "backend/ldap/LdapSchema.h"
#include "model/NWClient.h"

namespace trovalen {

// The directory's own extended operation that computes a trustee's effective rights on an object
// for one attribute: request three BER OCTET STRINGs back to back (object DN, trustee DN,
// attribute name), response a BER INTEGER (the rights bits).
constexpr char kGetEffectivePrivilegesOid[] = "2.16.840.1.113719.1.27.100.33";

struct TLdapClientOptions {
    ldap::TLdapOptions Connection;
    std::string Base;     // DN of the top of the tree; empty = the server's naming contexts
    std::string TreeName; // empty = the root DSE's directoryTreeName, else the first context
};

class TLdapClient : public backend::TClientBase {
public:
    explicit TLdapClient(TLdapClientOptions options);
    ~TLdapClient() override;

    // Connects, binds, reads the root DSE and the subschema. false with one message in error:
    // unreachable, refused credentials, TLS, a base that does not exist.
    bool Connect(std::string& error);
    const std::string& TreeName() const { return FTreeName; }
    // LDAP requests sent so far (every page counts).
    uint64_t Requests() const { return FConn.Requests(); }
    // Entries the client could not read (malformed DNs, values out of their syntax), counted.
    uint64_t RejectedValues() const { return FRejected; }
    const std::string& LastError() const { return FLastError; }

    NWCCODE ClientStartup() override;
    std::string ErrorText(NWCCODE code) override;
    std::vector<std::string> TakeProblems() override;
    std::string BrokenReason() const override { return FConn.Broken(); }
    std::vector<std::string> Notes() const override;

    NWCCODE CurrentUserDN(NWHandle ctx, std::string& name) override;
    NWCCODE AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) override;
    NWCCODE MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) override;
    NWCCODE ServerDN(NWHandle ctx, NWHandle conn, std::string& name) override;

    NWCCODE ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                              TObjectSummary& summary) override;

    NWCCODE AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) override;

    NWCCODE EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                 const std::string& object, const std::string& attr,
                                 uint32_t& rights) override;

    // Read-ahead (LdapClientReadAhead.cpp). What a hint reads ahead answers the reads made
    // through the context it was given and through the copies made of that context since; it
    // goes when that context is freed, and a later hint of the same kind on it replaces it. A
    // copy given a hint of its own keeps reading what its original read ahead as well.
    //
    // Every object below base in paged subtree searches: each object's class, its ACL (the
    // inherited rights masks among them), "Security Equals" and "Group Membership", and the
    // list of subordinates of each.
    NWCCODE PrefetchSubtree(NWHandle ctx, const std::string& base) override;
    bool ReadsAhead() const override { return true; }
    // The objects named, up to kAheadBatch in one search below their container; then who names
    // each of them in "Security Equals" below [Root], up to kAheadBatch names in one search,
    // each object found handed to the names its values name.
    NWCCODE PrefetchObjects(NWHandle ctx, const std::vector<std::string>& names) override;
    NWCCODE FreeContext(NWHandle ctx) override;
    // What the read-ahead of all contexts holds: objects with values, searches, bytes.
    struct TReadAheadFigures {
        size_t Objects = 0;
        size_t Searches = 0;
        size_t Bytes = 0;
    };
    TReadAheadFigures ReadAheadFigures() const;

protected:
    // What the shared mechanics ask of the directory behind the connection.
    NWCCODE ItemValues(const TCtx& c, const std::string& name, backend::TItemValues& out) override;
    NWCCODE StartRead(const TCtx& c, const std::string& object, uint32_t infoType, bool allAttrs,
                      NWHandle request, TIter& it) override;
    NWCCODE StartList(const TCtx& c, const std::string& container, bool containersOnly,
                      TIter& it) override;
    NWCCODE StartClasses(const TCtx& c, bool allClasses, NWHandle request, TIter& it) override;
    NWCCODE StartSearch(const TCtx& c, const std::string& base, int scope, const TBuf& filterBuf,
                        TIter& it) override;
    backend::TBatchLimits Limits(backend::TBatchOp op, const TBuf& out,
                                 uint32_t maxPerCall) const override;
    NWCCODE CompileFilter(const TCtx& c, std::vector<TFilterToken>& tokens,
                          std::unique_ptr<backend::TBufFilter>& out) override;
    NWCCODE StreamData(const TCtx& c, const std::string& object, const std::string& attr,
                       uint32_t flags, TStream& s) override;
    uint32_t ValueSize(const TAttrValue& v) const override;
    // The one connection, to the server, and its tree, while connected.
    const std::vector<backend::TConnection>& Connections() const override { return FConnections; }
    size_t TreeCount() const override { return FConnected ? 1 : 0; }
    std::string TreeName(int32_t tree) const override;

private:
    // One object as the client knows it, by its full typeless name.
    struct TEntry {
        std::string Dn;
        std::string Full;  // typeless, without a leading dot; "[Root]" for the top
        std::string Rdn;   // the naming value
        std::string Type;  // the naming attribute as the DN writes it
        std::string Class; // the directory's name of the base class
        bool Container = false;
        std::string AliasTarget; // full name; empty unless an alias
        uint32_t Created = 0;
        uint32_t Modified = 0;
        // Known only by its DN, from a value read: its class and the rest are read when it is
        // first asked for.
        bool Pending = false;
        bool ChildrenKnown = false;
        std::vector<std::string> Children; // keys of the children, in listing order
    };

    TLdapClientOptions FOptions;
    ldap::TLdapConnection FConn;
    ldap::TLdapSchema FSchema;
    std::string FTreeName;
    std::string FServerName;
    std::vector<backend::TConnection> FConnections;
    std::vector<std::string> FTops; // DNs of the objects right below [Root]
    std::string FUserFull;          // the bound object's full name; empty when anonymous
    bool FConnected = false;
    bool FRootAcl = false; // the root DSE offers the ACL values of [Root]
    bool FEffectivePrivileges =
        false; // the server computes effective rights (getEffectivePrivileges)
    uint64_t FRejected = 0;
    std::string FLastError;
    // What was rejected since the problems were last taken, each once, and how many more.
    std::vector<std::string> FProblems;
    uint64_t FProblemsLeftOut = 0;

    // The attribute lists of one object as the server answered them.
    using TAttrLists = std::vector<std::pair<std::string, std::vector<std::string>>>;
    // What one kind of read-ahead read of objects: the attributes it asked for (LDAP names) and
    // the lists the server answered for each object, by the object's key.
    struct TAheadValues {
        std::vector<std::string> Asked;
        std::unordered_map<std::string, TAttrLists> Objects;
        size_t Bytes = 0;
    };
    // What was read ahead for one context.
    struct TReadAhead {
        NWHandle Owner = 0;   // the context the hints were given to; it goes with that context
        uint32_t Parent = 0;  // what the owner read from before its first hint (a copy's origin)
        TAheadValues Subtree; // PrefetchSubtree
        // The key of the object below which Subtree was read whole (empty: none): asked again,
        // it is not read again while the context lives.
        std::string SubtreeBase;
        TAheadValues Named; // PrefetchObjects
        // The objects that name an object in "Security Equals", by the filter of that search
        // below [Root]: their full names in the server's order.
        std::unordered_map<std::string, std::vector<std::string>> Equals;
        size_t EqualsBytes = 0;
        // When Subtree holds every object below every top, whole: the objects that name each
        // object in "Security Equals", by the DN match key of the object named, in the order
        // the subtree search returned them. It answers the searches of Equals without asking.
        std::unordered_map<std::string, std::vector<std::string>> EqualsIndex;
        bool EqualsIndexed = false;
    };
    std::map<uint32_t, TReadAhead> FReadAheads; // by number (TCtx::ReadAhead)
    uint32_t FNextReadAhead = 1;

    std::map<std::string, TEntry> FEntries; // by lower-case full name
    // Keys of the pending entries, by the key of their parent.
    std::map<std::string, std::set<std::string>> FPending;

    // Names (LdapClientNames.cpp)
    // The object under a name taken against the context; loads what it needs from the server.
    NWCCODE Resolve(const TCtx& c, const std::string& name, TEntry*& entry);
    TEntry* FindFull(const std::string& full);
    // Loads the children of e (once).
    NWCCODE LoadChildren(TEntry& e);
    // Reads the pending entry under key together with pending siblings, in one request; those
    // the server does not hold are forgotten.
    NWCCODE LoadPending(const std::string& key);
    // Looks for the child of parent named rdn by its usual naming attributes, in one request.
    NWCCODE LookupChild(const TEntry& parent, const std::string& rdn);
    // DnToFull that also keeps the objects the DN names, pending, so that a later look-up of
    // them needs no search by name.
    bool NoteDn(std::string_view dn, std::string& full);
    // Keeps what a search answered about an object; null when its DN cannot be read (a
    // problem of the scan unless quiet).
    TEntry* Remember(const ldap::TLdapEntry& found, bool quiet = false);
    // What the client keeps of an object found by a listing or a search (LDAP names).
    static const std::vector<std::string>& SummaryAttrs();
    bool DnToFull(std::string_view dn, std::string& full) const;
    std::string Render(const TCtx& c, const std::string& full);
    // The name as the context writes it, with or without the canonical flag's partial names.
    std::string RenderAs(const TCtx& c, const std::string& full, bool canonical);
    std::string RenderRdn(const TCtx& c, const TEntry& e) const;
    TObjectSummary Summary(const TEntry& e) const;
    TEntry* Deref(const TCtx& c, TEntry* e);
    void Reject(const std::string& error);

    // Reads (LdapClientReads.cpp)
    NWCCODE ReadValues(const TCtx& c, const TEntry& e, const std::vector<std::string>& dirNames,
                       bool all, uint32_t infoType, std::vector<TAttrOut>& out);

    // Read-ahead (LdapClientReadAhead.cpp)
    // The read-ahead a hint on ctx fills: its own, made when it has none.
    TReadAhead& OwnReadAhead(NWHandle ctx, TCtx& c);
    // The first answer find gives (a pointer; null: none) over the read-aheads a context reads
    // from: its own, then those it was copied from.
    template <class TFind> auto FirstAhead(const TCtx& c, TFind find) const;
    // The lists read ahead for the object under key that hold every attribute of wanted (LDAP
    // names); null when none do.
    const TAttrLists* AheadValues(const TCtx& c, const std::string& key,
                                  const std::vector<std::string>& wanted) const;
    // The objects found ahead by the subtree search below [Root] with filter; null when none.
    const std::vector<std::string>* AheadSearch(const TCtx& c, const std::string& filter) const;
    // Reads the objects under keys (known by their DNs) in batches below their containers,
    // keeping the lists of attrs into out.
    NWCCODE ReadAheadObjects(const std::vector<std::string>& keys,
                             const std::vector<std::string>& attrs, TAheadValues& out);
    // Searches who names each object under keys in "Security Equals" below [Root], in batches.
    NWCCODE ReadAheadEquals(const std::vector<std::string>& keys, const TCtx& c, TReadAhead& ra);
    // The attributes a read-ahead keeps for objects: the summary's and those of valueNames.
    std::vector<std::string> AheadAttrs(std::initializer_list<const char*> valueNames) const;

    // Searches (LdapClientLists.cpp)
    NWCCODE BuildFilter(const TCtx& c, const std::vector<TFilterToken>& tokens,
                        std::string& filter);
};

} // namespace trovalen
