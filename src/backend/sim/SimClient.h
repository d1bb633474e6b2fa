// The simulated NetWare client: serves the trees, servers, volumes and connections of a tree file
// through the client interface, as a real client would answer them. It only reads.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend/sim/SimHandles.h"
#include "backend/sim/SimModel.h"
#include "model/NWClient.h"

namespace trovalen {

namespace sim {
struct TBuf;
struct TFilter;
struct TIter;
struct TStream;
} // namespace sim

class TSimClient : public TNWClient {
public:
    explicit TSimClient(std::shared_ptr<const sim::TSimWorld> world);
    ~TSimClient() override;

    const sim::TSimWorld& World() const { return *FWorld; }
    // Why the volumes could not all be created under the mount root at start-up (empty when
    // they were).
    const std::string& MountError() const { return FMountError; }
    // The effective rights of subject on object for attr, as EntryEffectiveRights answers them,
    // by object index in a tree (for tests and benchmarks).
    uint32_t EffectiveRights(int32_t tree, int32_t subject, int32_t object,
                             const std::string& attr) const;

    NWCCODE ClientStartup() override;
    std::string ErrorText(NWCCODE code) override;

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
        int32_t Tree = -1;
        uint32_t Dsi = DSI_MODIFICATION_TIME | DSI_BASE_CLASS;
    };
    // What an injected failure is matched against.
    struct TSel {
        TSel() = default;
        explicit TSel(int32_t tree, int32_t object = -1) : Tree(tree), Object(object) {}
        int32_t Tree = -1;
        int32_t Object = -1;
        const std::string* Attr = nullptr;
        int32_t Server = -1;
        std::string Path; // "VOLUME:PATH", UTF-8
        bool HasId = false;
        uint32_t Id = 0;
    };
    struct TVolRef {
        int32_t Server = -1;
        int32_t Volume = -1;
        int32_t Dir = -1;
    };

    std::shared_ptr<const sim::TSimWorld> FWorld;
    // How often each injected failure's selectors have matched, for its "call" selector.
    mutable std::vector<uint32_t> FFailureCalls;
    struct TFound {
        int32_t Tree = -1;
        std::string Name;
        int32_t Object = -1;
    };
    mutable std::array<TFound, 4> FFound;
    mutable size_t FFoundNext = 0;
    std::string FMountError;
    bool FStarted = false;

    sim::THandles<TCtx> FContexts;
    sim::THandles<sim::TBuf> FBufs;
    sim::THandles<sim::TFilter> FFilters;
    sim::THandles<sim::TIter> FIters;
    sim::THandles<sim::TStream> FStreams;
    sim::THandles<int32_t> FConns{ERR_INVALID_CONNECTION}; // handle -> connection index
    std::vector<NWHandle> FPathConns; // per connection: the handle ParsePath hands out
    NWHandle FNextHandle = 1;

    // Life (SimClient.cpp)
    NWHandle NewHandle();
    bool Injected(sim::TSimOp op, const TSel& sel, NWCCODE& code) const;
    bool Injected(sim::TSimOp op, NWCCODE& code) const;
    // A later call of an iteration: the selectors its first call had.
    bool InjectedAgain(const sim::TIter& it, NWCCODE& code) const;

    // Contexts and names (SimClientNames.cpp)
    // The opening of the context operations that answer an injected failure of op before they
    // look at the context.
    NWCCODE ContextCall(sim::TSimOp op, NWHandle ctx, TCtx*& c);
    NWCCODE FullName(const TCtx& c, const std::string& name, std::string& full) const;
    NWCCODE Resolve(const TCtx& c, const std::string& name, int32_t& object) const;
    std::string Render(const TCtx& c, int32_t tree, int32_t object) const;
    // The name as the context writes it, with or without the canonical flag's partial names.
    std::string RenderAs(const TCtx& c, int32_t tree, int32_t object, bool canonical) const;
    // The object of a full name in a tree (-1: none). The last few names are remembered: a call
    // often names what the call before it did (the target of every effective-rights call, the
    // object whose name was just abbreviated).
    int32_t FindObject(int32_t tree, std::string_view fullName) const;
    std::string RenderName(const TCtx& c, int32_t tree, const std::string& fullName) const;
    std::string RenderRdn(const TCtx& c, int32_t tree, int32_t object) const;
    TObjectSummary Summary(int32_t tree, int32_t object) const;
    int32_t Deref(const TCtx& c, int32_t object) const;
    TAttrValue RenderValue(const TCtx& c, int32_t tree, const TAttrValue& v) const;

    // Reads (SimClientReads.cpp)
    // A buffer handed in with its context: both must be open.
    NWCCODE BufIn(NWHandle ctx, NWHandle buf, sim::TBuf*& b);
    // How many items of one kind a result buffer holds.
    NWCCODE ItemCount(NWHandle ctx, NWHandle buf, uint32_t& count,
                      size_t (*items)(const sim::TBuf& b));
    // The buffer whose current attribute has a value left to hand out; ERR_BUFFER_EMPTY if none.
    NWCCODE NextValue(NWHandle ctx, NWHandle buf, sim::TBuf*& b);

    // Batches (SimClientLists.cpp)
    using TStart = std::function<NWCCODE(sim::TIter& it)>;
    using TFill = std::function<NWCCODE(sim::TIter& it, bool& more)>;
    NWCCODE Batch(sim::TSimOp op, int32_t& iteration, const TStart& start, const TFill& fill);
    NWCCODE List(sim::TSimOp op, NWHandle ctx, const std::string& container, bool containersOnly,
                 int32_t& iteration, NWHandle result);
    // The next objects of a list or search into out: names in full (searches) or as RDNs
    // (lists), at most maxObjects of them.
    void FillObjects(const TCtx& c, sim::TIter& it, uint32_t maxObjects, bool fullNames,
                     sim::TBuf& out) const;

    // Connections (SimClientConns.cpp)
    // The connection open under conn; ERR_INVALID_CONNECTION when none is.
    NWCCODE Conn(NWHandle conn, const sim::TSimConn*& c) const;
    // What an injected failure is matched against for an operation on the connection c.
    static TSel ConnSel(const sim::TSimConn& c);
    // The text items of a connection, as ConnInfo and ConnRefInfo answer them.
    NWCCODE ConnText(sim::TSimOp op, const sim::TSimConn& c, uint32_t item,
                     std::string& text) const;

    // File system (SimClientFiles.cpp)
    NWCCODE VolPath(NWHandle conn, const std::string& volPath, TVolRef& ref, TSel& sel) const;
    // The opening of the operations on a volume path: the connection must be open; an injected
    // failure of op comes before the answer for a path that does not exist (ERR_INVALID_PATH).
    NWCCODE VolPathCall(sim::TSimOp op, NWHandle conn, const std::string& volPath,
                        TVolRef& ref) const;
    int32_t ChildDir(const sim::TSimVolume& vol, int32_t dir, const std::string& name) const;
    NWHandle PathConn(int32_t connIndex);
    void Mount();
};

// The client for a program: the tree file named by treeFile, else by TROVALEN_TREE, else the
// sample tree built into the program. Null with one message in error when the file cannot be
// loaded.
std::shared_ptr<TSimClient> MakeSimClient(const std::string& treeFile, std::string& error);
// The bundled sample tree, as compiled into the program.
std::string SampleTreeText();

} // namespace trovalen
