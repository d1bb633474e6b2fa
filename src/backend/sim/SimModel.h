// What the simulated client serves: the schema, the trees with their objects, the file servers
// with their volumes and directories, the connections, the batch limits and the injected
// failures. A tree file is loaded into one TSimWorld (SimLoader.h); the client only reads it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backend/sim/SimOps.h"
#include "model/NWClient.h"

namespace trovalen::sim {

// --- Schema -------------------------------------------------------------------------------------

// Class definition flags as ReadClassDefs reports them.
constexpr uint32_t CLASS_CONTAINER = 0x01;
constexpr uint32_t CLASS_EFFECTIVE = 0x02;
constexpr uint32_t CLASS_NONREMOVABLE = 0x04;
constexpr uint32_t CLASS_AUXILIARY = 0x20;

struct TSimClass {
    std::string Name;
    std::vector<int32_t> Super;      // direct super classes (class indexes)
    std::vector<int32_t> AuxClasses; // auxiliary classes every object of the class carries
    bool Container = false;
    bool Auxiliary = false;
    bool BuiltIn = true;
};

struct TSimAttrDef {
    std::string Name;
    uint32_t Syntax = SYN_UNKNOWN;
    bool BuiltIn = true;
};

class TSimSchema {
public:
    TSimSchema(); // the built-in schema

    int32_t FindClass(std::string_view name) const;
    int32_t FindAttr(std::string_view name) const;
    int32_t AddClass(TSimClass cls);
    int32_t AddAttr(TSimAttrDef def);
    // "Object Class" as the directory reports it: the base class, its super classes (nearest
    // first), the auxiliary classes, and Top last.
    std::vector<std::string> ObjectClassValues(int32_t base, const std::vector<int32_t>& aux) const;
    // Whether cls is the class or one of its super classes is named so.
    bool IsA(int32_t cls, std::string_view name) const;
    bool IsA(int32_t cls, int32_t want) const;
    uint32_t ClassFlags(int32_t cls) const;

    std::vector<TSimClass> Classes;
    std::vector<TSimAttrDef> Attrs;

private:
    std::unordered_map<std::string, int32_t> FClassIndex; // lower-case name
    std::unordered_map<std::string, int32_t> FAttrIndex;
};

// The standard name of a syntax number ("Distinguished Name", ...), empty when out of range.
std::string_view SyntaxName(uint32_t syntax);
// A syntax by its standard name (case ignored) or its number written as text; -1 when unknown.
int32_t SyntaxByName(std::string_view name);

// --- Directory objects --------------------------------------------------------------------------

// ACL subjects that are no object.
constexpr int32_t SUBJ_PUBLIC = -1;
constexpr int32_t SUBJ_THIS = -2;
constexpr int32_t SUBJ_IRM = -3;
constexpr int32_t SUBJ_SUPERVISOR = -4;
// Protected attributes that are no attribute.
constexpr int32_t PROT_ENTRY = -1;
constexpr int32_t PROT_ALL_ATTRS = -2;

// One ACL value in the form the effective-rights calculation works on. The subject "[Root]" is
// the tree's root object (index 0).
struct TSimAcl {
    int32_t Subject = SUBJ_PUBLIC;  // object index or SUBJ_*
    int32_t Protected = PROT_ENTRY; // attribute index or PROT_*
    uint32_t Privileges = 0;
};

// Puts ACL values in the order AclOf looks them up in: by subject, equal subjects in file order.
void SortAcl(std::vector<TSimAcl>& acl);
// The ACL values of one subject (SUBJ_IRM: the inherited rights masks) in a list sorted by
// SortAcl.
std::span<const TSimAcl> AclOf(const std::vector<TSimAcl>& acl, int32_t subject);

struct TSimAttr {
    int32_t Attr = -1; // schema attribute index
    std::vector<TAttrValue> Values;
    std::string Stream; // the content of a stream attribute
};

struct TSimObject {
    std::string Rdn;
    std::string FullName; // typeless, dotted, from the top, without a leading dot
    int32_t Parent = -1;
    int32_t Class = -1;
    std::vector<int32_t> Aux; // auxiliary classes added to this object
    uint32_t Id = 0;
    uint32_t Created = 0;
    uint32_t Modified = 0;
    uint32_t Order = 0; // position in a walk of the tree from the top
    std::vector<int32_t> Children;
    std::vector<TSimAttr> Attrs; // "Object Class" and the naming attribute are made on reading
    // Sorted by subject once the tree is loaded (SortAcl), so that the values of one subject
    // and the inherited rights masks are each one range; the "ACL" attribute in Attrs keeps the
    // values in the order of the tree file.
    std::vector<TSimAcl> Acl;
    std::vector<int32_t> SecurityEquals;
    int32_t AliasTarget = -1;
    bool Container = false;
};

// Object indexes under a key, in one flat table of (hash, index) pairs with open addressing:
// eight bytes a slot instead of a node and a second copy of every name. The key itself is not
// kept; a lookup confirms a candidate with a test of its own.
class TSimObjectIndex {
public:
    void Reserve(size_t count);
    void Insert(uint32_t hash, int32_t object);
    template <class TSame> int32_t Find(uint32_t hash, TSame same) const {
        if (FSlots.empty())
            return -1;
        size_t mask = FSlots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const TSlot& slot = FSlots[i];
            if (slot.Object < 0)
                return -1;
            if (slot.Hash == hash && same(slot.Object))
                return slot.Object;
        }
    }

private:
    struct TSlot {
        uint32_t Hash = 0;
        int32_t Object = -1;
    };
    std::vector<TSlot> FSlots; // a power of two, at most half full
    size_t FCount = 0;
    void Place(TSlot slot);
};

struct TSimTree {
    std::string Name;
    std::vector<TSimObject> Objects; // index 0 is [Root]
    // Objects by distinguished-name value: key = attribute index, "\n", lower-case full name.
    std::unordered_map<std::string, std::vector<int32_t>> DnIndex;

    // The object of a full name (any case) or of an ID; -1 when there is none.
    int32_t Find(std::string_view fullName) const;
    int32_t FindId(uint32_t id) const;
    // Files an object under its full name or its ID; false (nothing filed) when another
    // object has it already.
    bool IndexName(int32_t object);
    bool IndexId(int32_t object);
    void ReserveIndexes(size_t objects);
    const TSimAttr* FindAttr(int32_t object, int32_t attr) const;
    static std::string DnKey(int32_t attr, std::string_view lowerName);

private:
    TSimObjectIndex FByName; // full names without regard to case
    TSimObjectIndex FById;
};

// --- File servers -------------------------------------------------------------------------------

struct TSimDir {
    std::string Name;    // UTF-8, as the tree file spells it
    std::string NameOem; // in the OEM code page
    std::string PathOem; // NetWare path below the volume (backslashes), OEM; empty at the root
    std::string Path;    // the same in UTF-8
    int32_t Parent = -1;
    std::vector<int32_t> Children;
    std::vector<std::string> Files; // UTF-8 names of files (listed, never created on disk)
    uint8_t Irm = 0xFF;
    std::vector<TTrusteeEntry> Trustees;
    uint32_t Owner = 0;
    uint32_t Modified = 0;
};

struct TSimVolume {
    std::string Name;
    std::string NameOem;
    int32_t Object = -1;       // volume object in the server's tree
    std::vector<TSimDir> Dirs; // index 0 is the volume root
};

struct TSimServer {
    std::string Name;
    int32_t Tree = -1;
    int32_t Object = -1;
    std::vector<TSimVolume> Volumes;
};

struct TSimConn {
    int32_t Server = -1;
    int32_t Tree = -1; // -1: the server has no tree
    int32_t User = -1; // -1: not authenticated
    uint32_t Ref = 0;
    bool Primary = false;
};

// One injected failure: the operation answers Code when every given selector matches.
struct TSimFailure {
    TSimOp Operation = TSimOp::NewContext;
    std::string Object;    // lower-case full name, empty = any
    std::string Attribute; // lower-case, empty = any
    std::string Server;    // lower-case, empty = any
    std::string Path;      // lower-case "VOLUME:PATH" (UTF-8), empty = any
    std::string Tree;      // lower-case, empty = any
    bool HasId = false;
    uint32_t Id = 0;
    uint32_t Call = 0; // the n-th call that matches the other selectors fails; 0 = every one
    NWCCODE Code = 0;
    std::string Text; // the selectors as the file writes them, for display
};

struct TSimLimits {
    uint32_t SearchBatch = 50;  // objects per SearchObjects call (never above 50)
    uint32_t TrusteeBatch = 20; // entries per PathTrustees call (never above 20)
    uint32_t ListBatch = 0;     // objects per list call, 0 = as many as the buffer holds
    uint32_t ReadBatch = 0;     // attribute values per ReadAttributes call, 0 = buffer bound
    uint32_t ClassBatch = 0;    // class definitions per ReadClassDefs call, 0 = buffer bound
};

struct TSimWorld {
    std::string FileName; // for messages
    std::string OemCodePage = "CP850";
    NWCCODE StartupCode = 0;
    TSimSchema Schema;
    TSimLimits Limits;
    std::vector<TSimTree> Trees;
    std::vector<TSimServer> Servers;
    std::vector<TSimConn> Conns;
    std::vector<TSimFailure> Failures;

    int32_t FindTree(std::string_view name) const;
    int32_t FindServer(std::string_view name) const;
};

// --- Shared helpers -----------------------------------------------------------------------------

// The components of a dotted typeless name, most specific first; false for an empty component.
bool SplitName(std::string_view name, std::vector<std::string>& parts);
// Inheritance of an ACL value: entry rights pass down when bit 0x40 is clear, attribute rights
// when it is set.
bool AclInheritable(int32_t prot, uint32_t privileges);
// Rights letters of the three families; false when the text holds anything else.
bool ParseRightsText(std::string_view text, int family, uint32_t& mask, std::string& error);
constexpr int FAMILY_FS = 0;
constexpr int FAMILY_ENTRY = 1;
constexpr int FAMILY_ATTR = 2;

} // namespace trovalen::sim
