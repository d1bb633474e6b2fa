// Buffers, filters, iterations and streams of the simulated client.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend/sim/SimModel.h"

namespace trovalen::sim {

struct TAttrOut {
    std::string Name;
    uint32_t Syntax = 0;
    std::vector<TAttrValue> Values;
};

struct TObjOut {
    std::string Name;
    TObjectSummary Summary;
};

struct TFilterNode {
    enum TKind { And, Or, Not, Compare, Present, Rdn, BaseClass } Kind = Compare;
    std::vector<TFilterNode> Kids;
    int32_t Attr = -1; // schema attribute; -1 = not in the schema (never matches)
    uint32_t Op = FTOK_EQ;
    TAttrValue Value;
    std::string Text; // RDN or class name
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
    // A search filter put into the buffer.
    bool HasFilter = false;
    int32_t FilterTree = -1;
    TFilterNode Filter;
};

// A running list, search or read, continued by its iteration handle.
struct TIter {
    TSimOp Op = TSimOp::ReadAttributes;
    int32_t Tree = -1;
    // What the first call worked on, so that every later call of the iteration meets the same
    // injected failures: its object and the attributes asked for.
    int32_t SelObject = -1;
    std::vector<std::string> SelAttrs;
    std::vector<int32_t> Objects; // lists and searches
    std::vector<TAttrOut> Attrs;  // reads (already rendered)
    std::vector<TClassDef> Classes;
    size_t Pos = 0;      // next object, attribute or class
    size_t ValuePos = 0; // next value of Attrs[Pos]
};

struct TStream {
    std::string Data;
    size_t Pos = 0;
    int32_t Tree = -1;
    int32_t Object = -1;
    std::string Attr;
};

// --- Bounds -------------------------------------------------------------------------------------

// What one client holds open at most, so that a caller that never frees cannot exhaust it.
constexpr size_t kMaxLiveHandles = 65536;     // contexts, buffers, filters, streams, connections
constexpr size_t kMaxLiveIterations = 4096;   // beyond it the oldest abandoned one is dropped
constexpr size_t kMaxRequestNames = 1024;     // attribute or class names in one request buffer
constexpr size_t kMaxRequestNameBytes = 1024; // one of those names
constexpr uint32_t kMaxBufBytes = 65536;      // one buffer

// --- Batches ------------------------------------------------------------------------------------

// What a result buffer's own header takes.
constexpr uint32_t kBufHeaderBytes = 4;

// Bytes a name takes in a result buffer (UTF-16 with its terminator, after its length).
inline uint32_t NameBytes(const std::string& s) {
    return static_cast<uint32_t>(4 + 2 * (s.size() + 1));
}

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
    uint32_t used = kBufHeaderBytes;
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

// --- Wildcards ----------------------------------------------------------------------------------

// The two ways a wildcard pattern is read; "*" stands for any run of characters in both.
enum class TWildStyle {
    // Filter values (RDN and approximate comparisons): every other character stands for itself,
    // case included (the caller folds case where the syntax ignores it).
    Filter,
    // File names, as a directory search reads them: "?" stands for any one character, case is
    // ignored, and "*.*" is every name, with a dot or without.
    FileName,
};

// Whether text matches pattern as a whole (SimWild.cpp).
bool WildMatch(std::string_view pattern, std::string_view text, TWildStyle style);

// --- Values and filters -------------------------------------------------------------------------

// Calls fn on every object name a value holds: the text of a distinguished-name value (dn), else
// the name in a path, replica pointer, ACL, back link, typed name or hold value
// (SimClientNames.cpp).
void ForEachName(TAttrValue& v, bool dn, const std::function<void(std::string&)>& fn);

// Evaluation of a filter against one object (SimSearch.cpp).
bool FilterMatches(const TSimWorld& w, const TSimTree& t, int32_t object, const TFilterNode& f);
// Parses the token stream; ERR_INVALID_FILTER when it is no expression. Distinguished names in
// comparison values must already be full names.
NWCCODE ParseFilter(const TSimWorld& w, const std::vector<TFilterToken>& tokens, TFilterNode& root);
// The values an object shows for an attribute, including those made on reading ("Object Class",
// the naming attribute).
std::vector<TAttrValue> ObjectValues(const TSimWorld& w, const TSimTree& t, int32_t object,
                                     int32_t attr);
// Every attribute the object shows, in reading order.
std::vector<int32_t> ObjectAttrs(const TSimWorld& w, const TSimTree& t, int32_t object);
// The naming attribute of a class ("CN", "OU", "O", "C", "L").
const char* NamingAttr(const TSimWorld& w, int32_t cls);

// The directory's effective rights (SimRights.cpp). prot is an attribute index or PROT_*.
uint32_t EffectiveRights(const TSimTree& t, int32_t subject, int32_t object, int32_t prot);

} // namespace trovalen::sim
