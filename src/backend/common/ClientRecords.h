// What a client keeps behind its handles: contexts, buffers with their read positions, filters
// being built, running iterations and open streams; and how results are laid into buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/NWClient.h"
#include "model/RightsModel.h"

namespace trovalen::backend {

// --- Bounds -------------------------------------------------------------------------------------

constexpr size_t kMaxRequestNames = 1024;     // attribute or class names in one request buffer
constexpr size_t kMaxRequestNameBytes = 1024; // one of those names
constexpr uint32_t kMaxBufBytes = 65536;      // one buffer
constexpr size_t kMaxFilterTokens = 100000;   // tokens one filter takes
constexpr size_t kMaxNameBytes = 1024;        // one object name
constexpr uint32_t kStreamReadOnly = 1;       // the one way a stream opens

// --- Records ------------------------------------------------------------------------------------

struct TCtx {
    uint32_t Flags = DCV_DEREF_ALIASES | 0x02 | DCV_CANONICALIZE_NAMES;
    uint32_t Confidence = 0;
    std::string NameContext{kRoot}; // typeless, without a leading dot
    int32_t Tree = -1;              // the back end's tree; -1 = none
    uint32_t Dsi = DSI_MODIFICATION_TIME | DSI_BASE_CLASS;
    // What the back end read ahead for this context (and for the copies made of it since), by
    // the back end's own number; 0: nothing.
    uint32_t ReadAhead = 0;
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

// A search filter put into a buffer, in the form the back end searches with.
struct TBufFilter {
    virtual ~TBufFilter() = default;
};

struct TBuf {
    uint32_t Size = 0;
    uint32_t Operation = 0;
    // Request: attribute or class names.
    std::vector<std::string> Names;
    // Result of a read: attributes with their values, and the read position.
    std::vector<TAttrOut> Attrs;
    size_t AttrPos = 0;  // next attribute for NextAttr
    size_t ValuePos = 0; // next value of the current attribute
    bool InAttr = false; // NextAttr has been called for Attrs[AttrPos - 1]
    // Result of a list or search.
    std::vector<TObjOut> Objects;
    size_t ObjPos = 0;
    // Result of a class read.
    std::vector<TClassDef> Classes;
    size_t ClassPos = 0;
    // Object information items.
    std::vector<std::pair<uint32_t, TObjectItem>> Items;
    // A search filter put into the buffer; null when none is.
    std::unique_ptr<TBufFilter> Filter;
};

// The batched operations, each with iterations of its own.
enum class TBatchOp {
    ReadAttributes,
    ListSubordinates,
    ListContainers,
    ReadClassDefs,
    SearchObjects
};

// A running read, list, search or class read, continued by its iteration handle.
struct TIter {
    TBatchOp Op = TBatchOp::ReadAttributes;
    // What the first call worked on, in the back end's own numbers: its tree and object, and
    // the names it asked for.
    int32_t Tree = -1;
    int32_t Object = -1;
    std::vector<std::string> Names;
    // What is handed out: objects, made ready (Objects) or by the back end's reference, made as
    // each batch goes out (Refs); attributes with their values; classes.
    std::vector<TObjOut> Objects;
    std::vector<int32_t> Refs;
    std::vector<TAttrOut> Attrs;
    std::vector<TClassDef> Classes;
    size_t Pos = 0;      // next object, attribute or class
    size_t ValuePos = 0; // next value of Attrs[Pos]
};

struct TStream {
    std::string Data;
    size_t Pos = 0;
    // What it was opened on, in the back end's own numbers.
    int32_t Tree = -1;
    int32_t Object = -1;
    std::string Attr;
};

// What ReadObjectItems hands out of one object; the names only where the context's DSI flags ask
// for them.
struct TItemValues {
    uint32_t Modified = 0;
    uint32_t Created = 0;
    std::string ClassName;
    std::string Rdn;
    std::string Dn;
    std::string ParentDn;
};

// --- Batches ------------------------------------------------------------------------------------

// What a result buffer's own header takes.
constexpr uint32_t kBufHeaderBytes = 4;

// Bytes a name takes in a result buffer (UTF-16 with its terminator, after its length).
inline uint32_t NameBytes(const std::string& s) {
    return static_cast<uint32_t>(4 + 2 * (s.size() + 1));
}

// Bytes a value takes in a result buffer, as a client lays values out (strings as UTF-16 with
// their terminator, numbers as 32 bits).
uint32_t ValueBytes(const TAttrValue& v);

// The bounds of one batch: items per call, and the bytes of the buffer it goes into.
struct TBatchLimits {
    uint32_t Items = UINT32_MAX;
    uint32_t Bytes = UINT32_MAX;
};

// Hands out the next batch of a result that make(i) builds item by item: from pos on, at most
// limits.Items items, as long as their bytes(item) fit limits.Bytes after the buffer's header;
// the first item of a batch always goes in, however large. Advances pos past what went out.
template <class T, class TMake, class TBytes>
void NextBatch(size_t& pos, size_t total, const TBatchLimits& limits, std::vector<T>& out,
               TMake make, TBytes bytes) {
    out.clear();
    uint64_t used = kBufHeaderBytes;
    while (pos < total && out.size() < limits.Items) {
        T item = make(pos);
        uint32_t n = bytes(item);
        if (used + n > limits.Bytes && !out.empty())
            break;
        used += n;
        out.push_back(std::move(item));
        ++pos;
    }
}

// --- Names --------------------------------------------------------------------------------------

// Strips the type of each part of a typed name ("CN=Joe.OU=Sales" -> "Joe.Sales").
std::string Typeless(const std::string& name);

} // namespace trovalen::backend
