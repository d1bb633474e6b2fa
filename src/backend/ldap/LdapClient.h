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
#include <vector>

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

class TLdapClient : public TNWClient {
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

    NWCCODE NewContext(NWHandle& ctx) override;
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override;
    NWCCODE FreeContext(NWHandle ctx) override;
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) override;
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, std::string& value) override;
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) override;
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) override;

    NWCCODE CurrentUserDN(NWHandle ctx, std::string& name) override;
    NWCCODE AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) override;
    NWCCODE MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) override;
    NWCCODE ServerDN(NWHandle ctx, NWHandle conn, std::string& name) override;

    NWCCODE ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                              TObjectSummary& summary) override;
    NWCCODE ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                            NWHandle buf) override;
    NWCCODE ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                       TObjectItem& out) override;

    NWCCODE AllocBuf(uint32_t size, NWHandle& buf) override;
    NWCCODE InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) override;
    NWCCODE FreeBuf(NWHandle buf) override;

    NWCCODE PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) override;
    NWCCODE ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                           bool allAttrs, NWHandle request, int32_t& iteration,
                           NWHandle result) override;
    NWCCODE AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) override;
    NWCCODE NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                     uint32_t& syntax) override;
    NWCCODE AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t syntax, uint32_t& size) override;
    NWCCODE NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t syntax, TAttrValue& value) override;
    NWCCODE OpenAttrStream(NWHandle ctx, const std::string& object, const std::string& attr,
                           uint32_t flags, NWHandle& file) override;
    NWCCODE ReadStream(NWHandle file, uint32_t max, std::string& data) override;
    NWCCODE CloseStream(NWHandle file) override;

    NWCCODE ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                             NWHandle result) override;
    NWCCODE ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                           NWHandle result) override;
    NWCCODE ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) override;
    NWCCODE NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                       TObjectSummary& summary) override;
    NWCCODE ReadClassDefs(NWHandle ctx, uint32_t infoType, bool allClasses, NWHandle request,
                          int32_t& iteration, NWHandle result) override;
    NWCCODE ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) override;
    NWCCODE NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) override;

    NWCCODE NewFilter(NWHandle ctx, NWHandle& filter) override;
    NWCCODE AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                           uint32_t syntax) override;
    NWCCODE AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) override;
    NWCCODE PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) override;
    NWCCODE FreeFilter(NWHandle filter) override;
    NWCCODE SearchObjects(NWHandle ctx, const std::string& base, int scope, NWHandle filterBuf,
                          bool namesOnly, int32_t& iteration, uint32_t maxPerCall, uint32_t& count,
                          NWHandle result) override;

    NWCCODE EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                 const std::string& object, const std::string& attr,
                                 uint32_t& rights) override;

    NWCCODE EnumConnRefs(uint32_t& iterator, uint32_t& ref) override;
    NWCCODE PrimaryConnRef(uint32_t& ref) override;
    NWCCODE OpenConnByRef(uint32_t ref, uint32_t mode, uint32_t flags, NWHandle& conn) override;
    NWCCODE CloseConn(NWHandle conn) override;
    NWCCODE ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) override;
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, std::string& text) override;
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) override;

    NWCCODE ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                      std::string& volume, std::string& dirPath) override;
    NWCCODE VolumeNumber(NWHandle conn, const std::string& volume, uint32_t& number) override;
    NWCCODE VolumeInfo(NWHandle conn, uint32_t number, TVolumeInfo& info) override;
    NWCCODE BinderyObjectName(NWHandle conn, uint32_t id, std::string& name,
                              uint16_t& type) override;
    NWCCODE PathTrustees(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                         uint32_t& iteration, std::vector<TTrusteeEntry>& entries) override;
    NWCCODE DirEntryInfo(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                         TDirEntryInfo& info) override;
    NWCCODE StartDirSearch(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                           uint8_t& searchDir, uint16_t& dirNumber) override;
    NWCCODE NextDirEntry(NWHandle conn, uint8_t searchDir, uint16_t dirNumber, uint16_t sequence,
                         uint32_t attrMask, const std::string& pattern, TDirEntry& entry) override;

private:
    struct TCtx {
        uint32_t Flags = DCV_DEREF_ALIASES | 0x02 | DCV_CANONICALIZE_NAMES;
        uint32_t Confidence = 0;
        std::string NameContext = "[Root]"; // typeless, without a leading dot
        bool HasTree = false;
        uint32_t Dsi = DSI_MODIFICATION_TIME | DSI_BASE_CLASS;
    };
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
    struct TAttrOut {
        std::string Name;
        uint32_t Syntax = 0;
        std::vector<TAttrValue> Values;
    };
    struct TObjOut {
        std::string Name;
        TObjectSummary Summary;
    };
    struct TFilterToken {
        uint32_t Token = 0;
        uint32_t Syntax = 0;
        bool HasValue = false;
        TAttrValue Value;
    };
    struct TFilter {
        std::vector<TFilterToken> Tokens;
    };
    struct TBuf {
        uint32_t Size = 0;
        uint32_t Operation = 0;
        std::vector<std::string> Names;
        std::vector<TAttrOut> Attrs;
        size_t AttrPos = 0;
        size_t ValuePos = 0;
        bool InAttr = false;
        std::vector<TObjOut> Objects;
        size_t ObjPos = 0;
        std::vector<TClassDef> Classes;
        size_t ClassPos = 0;
        std::vector<std::pair<uint32_t, TObjectItem>> Items;
        bool HasFilter = false;
        std::string Filter; // LDAP filter
    };
    // A running list or search: its objects (names rendered) and the next to hand out.
    struct TIter {
        int Kind = 0;
        std::vector<TObjOut> Objects;
        std::vector<TClassDef> Classes;
        size_t Pos = 0;
    };
    struct TStream {
        std::string Data;
        size_t Pos = 0;
    };

    TLdapClientOptions FOptions;
    ldap::TLdapConnection FConn;
    ldap::TLdapSchema FSchema;
    std::string FTreeName;
    std::string FServerName;
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

    std::map<std::string, TEntry> FEntries; // by lower-case full name
    // Keys of the pending entries, by the key of their parent.
    std::map<std::string, std::set<std::string>> FPending;
    std::map<NWHandle, TCtx> FContexts;
    std::map<NWHandle, TBuf> FBufs;
    std::map<NWHandle, TFilter> FFilters;
    std::map<NWHandle, TIter> FIters;
    std::map<NWHandle, TStream> FStreams;
    std::set<NWHandle> FConns;
    NWHandle FNextHandle = 1;

    // Handles and contexts (LdapClientNames.cpp)
    NWHandle NewHandle();
    NWCCODE Ctx(NWHandle ctx, TCtx*& c);
    NWCCODE Buf(NWHandle ctx, NWHandle buf, TBuf*& b);
    // How many items of one kind (objects, attributes, classes) a filled buffer holds.
    template <class TItems>
    NWCCODE Count(NWHandle ctx, NWHandle buf, uint32_t& count, TItems TBuf::*items) {
        TBuf* b = nullptr;
        NWCCODE code = Buf(ctx, buf, b);
        if (code == NW_OK)
            count = static_cast<uint32_t>((b->*items).size());
        return code;
    }
    NWCCODE FullName(const TCtx& c, const std::string& name, std::string& full) const;
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
    // Keeps what a search answered about an object; null when its DN cannot be read.
    TEntry* Remember(const ldap::TLdapEntry& found);
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

    // Lists and searches (LdapClientLists.cpp)
    NWCCODE Batch(int kind, int32_t& iteration, uint32_t maxItems,
                  const std::function<NWCCODE(TIter&)>& start, TBuf& out);
    NWCCODE List(NWHandle ctx, const std::string& container, bool containersOnly,
                 int32_t& iteration, NWHandle result);
    NWCCODE BuildFilter(const TCtx& c, const std::vector<TFilterToken>& tokens,
                        std::string& filter);
};

} // namespace trovalen
