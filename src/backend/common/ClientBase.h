// What every client back end shares: handles, contexts, buffers and their reading, filters being
// built, batched iterations and attribute streams, implemented once. A back end derives from
// TClientBase and supplies only what its directory answers: how an object is found and a
// buffer is filled (the protected hooks below), and the operations of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backend/common/ClientRecords.h"
#include "backend/common/Handles.h"
#include "model/NWClient.h"

namespace trovalen::backend {

// The steps of the shared mechanics that a back end may answer with a planted failure (the
// simulated client's tree files plant them to test the callers).
enum class TStep {
    NewContext,
    CopyContext,
    GetContextValue,
    SetContextValue,
    AllocBuf,
    InitBuf,
    ObjectCount,
    NextObject,
    NextAttr,
    NextAttrValue,
    ReadStream,
    AddFilterToken,
    PutFilter,
    EnumConnRefs,
    PrimaryConnRef,
    OpenConnByRef,
    ConnRefInfo,
    ConnInfo,
};

// What a step works on, in the back end's own numbers (-1 / null where it does not apply).
struct TStepOn {
    int32_t Tree = -1;
    int32_t Object = -1;
    const std::string* Attr = nullptr;
    int32_t Server = -1;
};

// One connection of the workstation, as a back end has it.
struct TConnection {
    uint32_t Ref = 0;
    int32_t Tree = -1;   // -1: the server has no tree
    int32_t Server = -1; // the back end's number of the server
    std::string ServerName;
    uint32_t UserId = 0; // the object ID of the user logged in; 0: none, or a directory without IDs
    bool Primary = false;
};

class TClientBase : public TNWClient {
public:
    ~TClientBase() override;

    // Contexts
    NWCCODE NewContext(NWHandle& ctx) override;
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override;
    NWCCODE FreeContext(NWHandle ctx) override;
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) override;
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, std::string& value) override;
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) override;
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) override;

    // Object items
    NWCCODE ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                            NWHandle buf) override;
    NWCCODE ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                       TObjectItem& out) override;

    // Buffers
    NWCCODE AllocBuf(uint32_t size, NWHandle& buf) override;
    NWCCODE InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) override;
    NWCCODE FreeBuf(NWHandle buf) override;

    // Attributes and streams
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

    // Lists and class definitions
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

    // Connections
    NWCCODE EnumConnRefs(uint32_t& iterator, uint32_t& ref) override;
    NWCCODE PrimaryConnRef(uint32_t& ref) override;
    NWCCODE OpenConnByRef(uint32_t ref, uint32_t mode, uint32_t flags, NWHandle& conn) override;
    NWCCODE CloseConn(NWHandle conn) override;
    NWCCODE ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) override;
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, std::string& text) override;
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) override;

    // Filters and search
    NWCCODE NewFilter(NWHandle ctx, NWHandle& filter) override;
    NWCCODE AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                           uint32_t syntax) override;
    NWCCODE PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) override;
    NWCCODE FreeFilter(NWHandle filter) override;
    NWCCODE SearchObjects(NWHandle ctx, const std::string& base, int scope, NWHandle filterBuf,
                          bool namesOnly, int32_t& iteration, uint32_t maxPerCall, uint32_t& count,
                          NWHandle result) override;

protected:
    using TCtx = backend::TCtx;
    using TBuf = backend::TBuf;
    using TIter = backend::TIter;
    using TStream = backend::TStream;
    using TAttrOut = backend::TAttrOut;
    using TObjOut = backend::TObjOut;
    using TFilterToken = backend::TFilterToken;

    // --- What a back end supplies ---------------------------------------------------------------

    // A planted failure of step on what it works on: true with its code. None by default.
    virtual bool Planted(TStep step, const TStepOn& on, NWCCODE& code);
    // A planted failure of a later call of an iteration: true with its code. None by default.
    virtual bool PlantedAgain(const TIter& it, NWCCODE& code);

    // The workstation's connections (none while no server is reached), and the trees it knows:
    // how many, and the name of each.
    virtual const std::vector<TConnection>& Connections() const = 0;
    virtual size_t TreeCount() const = 0;
    virtual std::string TreeName(int32_t tree) const = 0;
    // A connection was closed: the back end lets go of what it kept for it.
    virtual void ConnClosed(NWHandle conn);

    // The information items of the object under name taken against c.
    virtual NWCCODE ItemValues(const TCtx& c, const std::string& name, TItemValues& out) = 0;
    // What the first call of a batched operation hands out, into it: the attributes of object
    // (with their values unless infoType is 0); the children of container (containers only when
    // asked); every class, or those named in the request buffer; the objects below base that
    // filterBuf's filter matches.
    virtual NWCCODE StartRead(const TCtx& c, const std::string& object, uint32_t infoType,
                              bool allAttrs, NWHandle request, TIter& it) = 0;
    virtual NWCCODE StartList(const TCtx& c, const std::string& container, bool containersOnly,
                              TIter& it) = 0;
    virtual NWCCODE StartClasses(const TCtx& c, bool allClasses, NWHandle request, TIter& it) = 0;
    virtual NWCCODE StartSearch(const TCtx& c, const std::string& base, int scope,
                                const TBuf& filterBuf, TIter& it) = 0;
    // The bounds of one batch of op into out; maxPerCall as the caller gave it (searches).
    virtual TBatchLimits Limits(TBatchOp op, const TBuf& out, uint32_t maxPerCall) const = 0;
    // An object of an iteration held by reference, as it goes out: its full name (searches) or
    // its RDN (lists). Only back ends that fill TIter::Refs are asked.
    virtual TObjOut RefOut(const TCtx& c, const TIter& it, int32_t ref, bool fullName) const;
    // The filter of tokens as the back end searches with it, put into a buffer for c.
    virtual NWCCODE CompileFilter(const TCtx& c, std::vector<TFilterToken>& tokens,
                                  std::unique_ptr<TBufFilter>& out) = 0;
    // The content of a stream attribute of object, for reading (flags kStreamReadOnly).
    virtual NWCCODE StreamData(const TCtx& c, const std::string& object, const std::string& attr,
                               uint32_t flags, TStream& s) = 0;
    // What AttrValueSize answers for a value.
    virtual uint32_t ValueSize(const TAttrValue& v) const;

    // --- What the back end may use --------------------------------------------------------------

    // A handle that no table holds open.
    NWHandle NewHandle();
    // The full typeless name of a name taken against c.
    static NWCCODE FullName(const TCtx& c, const std::string& name, std::string& full);
    NWCCODE Context(NWHandle ctx, TCtx*& c) const { return FContexts.Lookup(ctx, c); }
    // The names in a request buffer.
    NWCCODE RequestNames(NWHandle request, const std::vector<std::string>*& names) const;

    // Open connections: the index into Connections() by handle.
    THandles<int32_t> FConns{ERR_INVALID_CONNECTION};
    // The connection open under conn; ERR_INVALID_CONNECTION when none is.
    NWCCODE OpenConn(NWHandle conn, const TConnection*& c) const;

private:
    THandles<TCtx> FContexts;
    THandles<TBuf> FBufs;
    THandles<TFilter> FFilters;
    THandles<TIter> FIters;
    THandles<TStream> FStreams;
    NWHandle FNextHandle = 1;

    // The tree a new context starts in (-1: none), and the tree a name given to DCK_TREE_NAME
    // means (ERR_NO_CONNECTION when none).
    int32_t DefaultTree() const;
    NWCCODE FindTree(const std::string& name, int32_t& tree) const;
    const TConnection* ConnByRef(uint32_t ref) const;
    NWCCODE ConnText(TStep step, const TConnection& c, uint32_t item, std::string& text);

    // A buffer handed in with its context: both must be open.
    NWCCODE BufIn(NWHandle ctx, NWHandle buf, TBuf*& b);
    NWCCODE ContextStep(TStep step, NWHandle ctx, TCtx*& c);
    // The buffer whose current attribute has a value left to hand out; ERR_BUFFER_EMPTY if none.
    NWCCODE NextValue(NWHandle ctx, NWHandle buf, TBuf*& b);
    // The one batch iteration: start fills a new iteration on the first call (iteration -1);
    // fill hands out the next batch and says whether more is left.
    using TStart = std::function<NWCCODE(TIter& it)>;
    using TFill = std::function<NWCCODE(TIter& it, bool& more)>;
    NWCCODE Batch(TBatchOp op, int32_t& iteration, const TStart& start, const TFill& fill);
    NWCCODE List(TBatchOp op, NWHandle ctx, const std::string& container, int32_t& iteration,
                 NWHandle result);
    // The next objects of a list or search into out.
    void FillObjects(const TCtx& c, TIter& it, const TBatchLimits& limits, bool fullNames,
                     TBuf& out) const;
};

} // namespace trovalen::backend
