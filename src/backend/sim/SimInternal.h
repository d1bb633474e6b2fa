// Filters, wildcards and values of the simulated client.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backend/common/ClientRecords.h"
#include "backend/sim/SimModel.h"

namespace trovalen::sim {

struct TFilterNode {
    enum TKind { And, Or, Not, Compare, Present, Rdn, BaseClass } Kind = Compare;
    std::vector<TFilterNode> Kids;
    int32_t Attr = -1; // schema attribute; -1 = not in the schema (never matches)
    uint32_t Op = FTOK_EQ;
    TAttrValue Value;
    std::string Text; // RDN or class name
};

using backend::NextBatch;
using backend::TFilterToken;

// A search filter put into a buffer: parsed, for the tree of the context it was put with.
struct TSimFilter : backend::TBufFilter {
    int32_t Tree = -1;
    TFilterNode Root;
};

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

// --- The directory's effective rights (SimRights.cpp) -------------------------------------------

// What one principal holds at a level of the chain: entry rights, all-attributes rights and the
// rights on the one attribute asked for. Each keeps its inheritance bit.
struct TRightsHeld {
    bool HasEntry = false, HasAll = false, HasAttr = false;
    uint32_t Entry = 0, All = 0, Attr = 0;
};

// One level of the chain from the top of the tree down to an object, with what every
// principal's walk reads of it alike.
struct TRightsLevel {
    int32_t Object = 0;
    std::span<const TSimAcl> Irm;
    std::span<const TSimAcl> This;
};

// What the calculation keeps between calls about one object: its chain, and what each principal
// holds at its end, by protected attribute. An analysis asks about one object for many subjects,
// and they share most of their principals ([Public], [Root], the containers above them).
struct TRightsMemo {
    const TSimTree* Tree = nullptr;
    int32_t Object = -1;
    std::vector<TRightsLevel> Chain;
    // By principal and protected attribute, in a list that keeps its room between objects. Past
    // kIndexFrom of them (an object with thousands of trustees) an open-addressing index finds
    // them: Slots holds 1 + the place in Held, or 0; each entry knows its slot, so that the
    // index is emptied in the time it was filled.
    struct TEntry {
        uint64_t Key = 0;
        TRightsHeld Held;
        uint32_t Slot = 0;
    };
    static constexpr size_t kIndexFrom = 64;
    std::vector<TEntry> Held;
    std::vector<uint32_t> Slots; // empty, or a power of two at least twice Held's size
    std::vector<int32_t> Principals;
};

// The effective rights of subject on object; prot is an attribute index or PROT_*. The tree must
// not change while memo holds what was worked out about it.
uint32_t EffectiveRights(const TSimTree& t, int32_t subject, int32_t object, int32_t prot,
                         TRightsMemo& memo);

} // namespace trovalen::sim
