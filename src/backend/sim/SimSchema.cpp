#include "backend/sim/SimModel.h"
#include "util/Util.h"

#include <array>

namespace trovalen::sim {

namespace {

constexpr std::array<std::string_view, SYN_COUNT> kSyntaxNames = {
    "Unknown",
    "Distinguished Name",
    "Case Exact String",
    "Case Ignore String",
    "Printable String",
    "Numeric String",
    "Case Ignore List",
    "Boolean",
    "Integer",
    "Octet String",
    "Telephone Number",
    "Facsimile Telephone Number",
    "Net Address",
    "Octet List",
    "EMail Address",
    "Path",
    "Replica Pointer",
    "Object ACL",
    "Postal Address",
    "Timestamp",
    "Class Name",
    "Stream",
    "Counter",
    "Back Link",
    "Time",
    "Typed Name",
    "Hold",
    "Interval",
};

struct TClassSeed {
    const char* Name;
    const char* Super; // "" for none; several separated by "|"
    bool Container;
    bool Auxiliary;
    const char* Aux; // auxiliary classes separated by "|"
};

// The classes a fresh tree knows. Every object class the sample tree and the tests use is here;
// a tree file adds its own in "schema".
constexpr TClassSeed kClasses[] = {
    {"Top", "", false, false, ""},
    {"ndsLoginProperties", "Top", false, true, ""},
    {"ndsContainerLoginProperties", "Top", false, true, ""},
    {"Tree Root", "Top", true, false, ""},
    {"Country", "Top", true, false, ""},
    {"Locality", "Top", true, false, ""},
    {"Organization", "Top", true, false, "ndsLoginProperties|ndsContainerLoginProperties"},
    {"Organizational Unit", "Top", true, false, "ndsLoginProperties|ndsContainerLoginProperties"},
    {"Person", "Top", false, false, ""},
    {"Organizational Person", "Person", false, false, ""},
    {"User", "Organizational Person", false, false, "ndsLoginProperties"},
    {"Group", "Top", false, false, ""},
    {"dynamicGroup", "Group", false, false, ""},
    {"Organizational Role", "Top", false, false, ""},
    {"Server", "Top", false, false, ""},
    {"NCP Server", "Server", false, false, ""},
    {"Print Server", "Server", false, false, ""},
    {"Resource", "Top", false, false, ""},
    {"Volume", "Resource", false, false, ""},
    {"Directory Map", "Resource", false, false, ""},
    {"Queue", "Resource", false, false, ""},
    {"Device", "Top", false, false, ""},
    {"Printer", "Device", false, false, ""},
    {"Computer", "Device", false, false, ""},
    {"Profile", "Top", false, false, ""},
    {"Alias", "Top", false, false, ""},
    {"Bindery Object", "Top", false, false, ""},
    {"Partition", "Top", false, false, ""},
    {"Template", "Top", false, false, ""},
    {"App:Application", "Top", false, false, ""},
    {"NDSPKI:Key Material", "Top", false, false, ""},
    {"Unknown", "Top", false, false, ""},
};

struct TAttrSeed {
    const char* Name;
    uint32_t Syntax;
};

constexpr TAttrSeed kAttrs[] = {
    // Naming and description
    {"CN", SYN_CI_STRING},
    {"O", SYN_CI_STRING},
    {"OU", SYN_CI_STRING},
    {"C", SYN_PR_STRING},
    {"L", SYN_CI_STRING},
    {"S", SYN_CI_STRING},
    {"Object Class", SYN_CLASS_NAME},
    {"Description", SYN_CI_STRING},
    {"Full Name", SYN_CI_STRING},
    {"Given Name", SYN_CI_STRING},
    {"Surname", SYN_CI_STRING},
    {"Initials", SYN_CI_STRING},
    {"Generational Qualifier", SYN_CI_STRING},
    {"Title", SYN_CI_STRING},
    {"uniqueID", SYN_CI_STRING},
    {"Version", SYN_CI_STRING},
    {"Unknown Base Class", SYN_CI_STRING},
    {"Host Resource Name", SYN_CI_STRING},
    {"Physical Delivery Office Name", SYN_CI_STRING},
    {"Postal Code", SYN_CI_STRING},
    {"Postal Office Box", SYN_CI_STRING},
    {"SA", SYN_CI_STRING},
    {"Internet EMail Address", SYN_CI_STRING},
    {"creatorsName", SYN_CI_STRING},
    {"modifiersName", SYN_CI_STRING},
    {"Employee ID", SYN_CE_STRING},
    {"Mailbox ID", SYN_PR_STRING},
    {"Bindery Type", SYN_NU_STRING},
    {"Telephone Number", SYN_TEL_NUMBER},
    {"Facsimile Telephone Number", SYN_FAX_NUMBER},
    {"EMail Address", SYN_EMAIL_ADDRESS},
    {"Postal Address", SYN_PO_ADDRESS},
    {"Language", SYN_CI_LIST},
    // Security and membership
    {"ACL", SYN_OBJECT_ACL},
    {"Inherited ACL", SYN_OBJECT_ACL},
    {"Security Equals", SYN_DIST_NAME},
    {"Equivalent To Me", SYN_DIST_NAME},
    {"Group Membership", SYN_DIST_NAME},
    {"Member", SYN_DIST_NAME},
    {"Role Occupant", SYN_DIST_NAME},
    {"Higher Privileges", SYN_DIST_NAME},
    {"Aliased Object Name", SYN_DIST_NAME},
    {"See Also", SYN_DIST_NAME},
    {"Profile", SYN_DIST_NAME},
    {"Operator", SYN_DIST_NAME},
    {"Host Server", SYN_DIST_NAME},
    {"Host Device", SYN_DIST_NAME},
    {"Messaging Server", SYN_DIST_NAME},
    {"Default Queue", SYN_DIST_NAME},
    {"Queue", SYN_DIST_NAME},
    {"Resource", SYN_DIST_NAME},
    {"App:Contacts", SYN_DIST_NAME},
    {"App:Associations", SYN_DIST_NAME},
    // Login properties
    {"Login Disabled", SYN_BOOLEAN},
    {"Locked By Intruder", SYN_BOOLEAN},
    {"Detect Intruder", SYN_BOOLEAN},
    {"Password Required", SYN_BOOLEAN},
    {"Password Allow Change", SYN_BOOLEAN},
    {"Password Unique Required", SYN_BOOLEAN},
    {"Allow Unlimited Credit", SYN_BOOLEAN},
    {"Login Grace Limit", SYN_INTEGER},
    {"Login Grace Remaining", SYN_INTEGER},
    {"Login Intruder Limit", SYN_INTEGER},
    {"Login Maximum Simultaneous", SYN_INTEGER},
    {"Password Minimum Length", SYN_INTEGER},
    {"Minimum Account Balance", SYN_INTEGER},
    {"Status", SYN_INTEGER},
    {"Bindery Object Restriction", SYN_INTEGER},
    {"Login Intruder Attempts", SYN_COUNTER},
    {"Account Balance", SYN_COUNTER},
    {"Revision", SYN_COUNTER},
    {"Password Expiration Interval", SYN_INTERVAL},
    {"Intruder Attempt Reset Interval", SYN_INTERVAL},
    {"Intruder Lockout Reset Interval", SYN_INTERVAL},
    {"Certificate Validity Interval", SYN_INTERVAL},
    {"Last Login Time", SYN_TIME},
    {"Login Time", SYN_TIME},
    {"Login Expiration Time", SYN_TIME},
    {"Password Expiration Time", SYN_TIME},
    {"Network Address", SYN_NET_ADDRESS},
    {"Network Address Restriction", SYN_NET_ADDRESS},
    {"Login Allowed Time Map", SYN_OCTET_STRING},
    {"Login Script", SYN_STREAM},
    {"Print Job Configuration", SYN_STREAM},
    // File system
    {"Home Directory", SYN_PATH},
    {"Path", SYN_PATH},
    {"Messaging Database Location", SYN_PATH},
    // Replication
    {"Replica", SYN_REPLICA_POINTER},
    {"Partition Creation Time", SYN_TIMESTAMP},
    {"Received Up To", SYN_TIMESTAMP},
    {"Synchronized Up To", SYN_TIMESTAMP},
    {"Back Link", SYN_BACK_LINK},
    {"Server Holds", SYN_HOLD},
    {"Notify", SYN_TYPED_NAME},
    {"Partition Status", SYN_OCTET_STRING},
    {"Local Received Up To", SYN_OCTET_STRING},
    {"Transitive Vector", SYN_OCTET_STRING},
    // Keys, printers and products
    {"Public Key", SYN_OCTET_STRING},
    {"CA Public Key", SYN_OCTET_STRING},
    {"Private Key", SYN_OCTET_STRING},
    {"GUID", SYN_OCTET_STRING},
    {"Bindery Property", SYN_OCTET_STRING},
    {"Printer Configuration", SYN_OCTET_STRING},
    {"Permanent Config Parms", SYN_OCTET_LIST},
    {"memberQuery", SYN_OCTET_STRING},
    {"snmpTrapDescription", SYN_OCTET_STRING},
    {"bhObjectGUID", SYN_OCTET_STRING},
    {"bhConfig", SYN_OCTET_STRING},
    {"rbsTaskRights", SYN_OCTET_STRING},
    {"DirXML-EntitlementResult", SYN_OCTET_STRING},
    {"NGW: Location", SYN_OCTET_STRING},
    {"FW0 USER ADD", SYN_OCTET_STRING},
    {"ZEN:INV Disk Info", SYN_OCTET_STRING},
    {"WM:INV DMA", SYN_OCTET_STRING},
    {"WM:INV Interrupt", SYN_OCTET_STRING},
    {"WM:INV Port", SYN_OCTET_STRING},
    {"WM:INV CPU Information", SYN_OCTET_STRING},
    {"WM:INV Shared Memory", SYN_OCTET_STRING},
    {"WM:INV Volume", SYN_OCTET_STRING},
    {"App:GUID", SYN_OCTET_STRING},
    {"App:Drive Mappings", SYN_OCTET_STRING},
    {"App:Parameters", SYN_OCTET_STRING},
    {"App:Path", SYN_OCTET_STRING},
    {"App:Version String", SYN_OCTET_STRING},
    {"App:Working Directory", SYN_OCTET_STRING},
    {"App:Folder List", SYN_OCTET_STRING},
    {"App:FS Rights Path", SYN_OCTET_STRING},
    {"App:Macros", SYN_STREAM},
    {"App:Copy Files", SYN_STREAM},
    {"App:Inventory", SYN_STREAM},
    {"App:Program Groups", SYN_STREAM},
};

std::vector<std::string> SplitBar(const char* s) {
    std::vector<std::string> out;
    std::string cur;
    for (const char* p = s; *p; ++p) {
        if (*p == '|') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

} // namespace

std::string_view SyntaxName(uint32_t syntax) {
    return syntax < kSyntaxNames.size() ? kSyntaxNames[syntax] : std::string_view();
}

int32_t SyntaxByName(std::string_view name) {
    std::string l = U_LowerCase(name);
    for (size_t i = 0; i < kSyntaxNames.size(); ++i)
        if (U_LowerCase(kSyntaxNames[i]) == l)
            return static_cast<int32_t>(i);
    if (!name.empty() && name.size() <= 3 &&
        name.find_first_not_of("0123456789") == std::string_view::npos) {
        int v = std::stoi(std::string(name));
        if (v <= 255)
            return v;
    }
    return -1;
}

TSimSchema::TSimSchema() {
    for (const auto& seed : kClasses) {
        TSimClass c;
        c.Name = seed.Name;
        c.Container = seed.Container;
        c.Auxiliary = seed.Auxiliary;
        for (const auto& s : SplitBar(seed.Super))
            c.Super.push_back(FindClass(s));
        for (const auto& s : SplitBar(seed.Aux))
            c.AuxClasses.push_back(FindClass(s));
        AddClass(std::move(c));
    }
    for (const auto& seed : kAttrs)
        AddAttr({seed.Name, seed.Syntax, true});
}

namespace {

// The lower-case form of a name, in a buffer of the calling thread, for the lookup that follows
// at once: names are looked up once or more per client call, and need no allocation of their own.
const std::string& LowerKey(std::string_view s) {
    thread_local std::string key;
    key.assign(s);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

} // namespace

int32_t TSimSchema::FindClass(std::string_view name) const {
    auto it = FClassIndex.find(LowerKey(name));
    return it == FClassIndex.end() ? -1 : it->second;
}

int32_t TSimSchema::FindAttr(std::string_view name) const {
    auto it = FAttrIndex.find(LowerKey(name));
    return it == FAttrIndex.end() ? -1 : it->second;
}

int32_t TSimSchema::AddClass(TSimClass cls) {
    auto index = static_cast<int32_t>(Classes.size());
    FClassIndex[U_LowerCase(cls.Name)] = index;
    Classes.push_back(std::move(cls));
    return index;
}

int32_t TSimSchema::AddAttr(TSimAttrDef def) {
    auto index = static_cast<int32_t>(Attrs.size());
    FAttrIndex[U_LowerCase(def.Name)] = index;
    Attrs.push_back(std::move(def));
    return index;
}

std::vector<std::string> TSimSchema::ObjectClassValues(int32_t base,
                                                       const std::vector<int32_t>& aux) const {
    std::vector<int32_t> order;
    auto add = [&order](int32_t c) {
        for (int32_t o : order)
            if (o == c)
                return;
        order.push_back(c);
    };
    int32_t top = FindClass("Top");
    // Breadth-first over the super classes, so the nearest come first.
    std::vector<int32_t> queue{base};
    std::vector<int32_t> auxAll;
    for (size_t i = 0; i < queue.size() && i < 64; ++i) {
        int32_t c = queue[i];
        if (c < 0 || c >= static_cast<int32_t>(Classes.size()))
            continue;
        if (c != top)
            add(c);
        for (int32_t a : Classes[c].AuxClasses)
            auxAll.push_back(a);
        for (int32_t s : Classes[c].Super)
            queue.push_back(s);
    }
    for (int32_t a : auxAll)
        add(a);
    for (int32_t a : aux)
        add(a);
    std::vector<std::string> out;
    for (int32_t c : order)
        if (c != top)
            out.push_back(Classes[c].Name);
    out.push_back("Top");
    return out;
}

bool TSimSchema::IsA(int32_t cls, std::string_view name) const {
    return IsA(cls, FindClass(name));
}

bool TSimSchema::IsA(int32_t cls, int32_t want) const {
    if (cls == want)
        return true;
    std::vector<int32_t> queue{cls};
    for (size_t i = 0; i < queue.size() && i < 64; ++i) {
        int32_t c = queue[i];
        if (c == want)
            return true;
        if (c >= 0 && c < static_cast<int32_t>(Classes.size()))
            for (int32_t s : Classes[c].Super)
                queue.push_back(s);
    }
    return false;
}

uint32_t TSimSchema::ClassFlags(int32_t cls) const {
    const TSimClass& c = Classes[cls];
    uint32_t flags = CLASS_NONREMOVABLE * (c.BuiltIn ? 1 : 0);
    if (c.Container)
        flags |= CLASS_CONTAINER;
    if (c.Auxiliary)
        flags |= CLASS_AUXILIARY;
    else if (c.Name != "Top" && c.Name != "Server" && c.Name != "Resource" && c.Name != "Person" &&
             c.Name != "Device" && c.Name != "Partition")
        flags |= CLASS_EFFECTIVE;
    return flags;
}

// --- Trees and worlds ---------------------------------------------------------------------------

namespace {

// FNV-1a over the ASCII upper case of the name, folded to 32 bits.
uint32_t NameHash(std::string_view name) {
    uint64_t h = 14695981039346656037ull;
    for (char ch : name) {
        h ^= static_cast<unsigned char>(U_UpCaseChar(ch));
        h *= 1099511628211ull;
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t IdHash(uint32_t id) {
    uint64_t z = id + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>(z ^ (z >> 31));
}

} // namespace

void TSimObjectIndex::Reserve(size_t count) {
    size_t want = 16;
    while (want < 2 * count)
        want *= 2;
    if (want <= FSlots.size())
        return;
    std::vector<TSlot> old = std::move(FSlots);
    FSlots.assign(want, TSlot{});
    FCount = 0;
    for (const TSlot& slot : old)
        if (slot.Object >= 0)
            Place(slot);
}

void TSimObjectIndex::Place(TSlot slot) {
    size_t mask = FSlots.size() - 1;
    size_t i = slot.Hash & mask;
    while (FSlots[i].Object >= 0)
        i = (i + 1) & mask;
    FSlots[i] = slot;
    ++FCount;
}

void TSimObjectIndex::Insert(uint32_t hash, int32_t object) {
    if (2 * (FCount + 1) > FSlots.size())
        Reserve(FCount < 8 ? 8 : 2 * FCount);
    Place(TSlot{hash, object});
}

int32_t TSimTree::Find(std::string_view fullName) const {
    return FByName.Find(NameHash(fullName), [&](int32_t object) {
        return U_SameText(Objects[object].FullName, fullName);
    });
}

int32_t TSimTree::FindId(uint32_t id) const {
    return FById.Find(IdHash(id), [&](int32_t object) { return Objects[object].Id == id; });
}

bool TSimTree::IndexName(int32_t object) {
    const std::string& name = Objects[object].FullName;
    if (Find(name) >= 0)
        return false;
    FByName.Insert(NameHash(name), object);
    return true;
}

bool TSimTree::IndexId(int32_t object) {
    if (FindId(Objects[object].Id) >= 0)
        return false;
    FById.Insert(IdHash(Objects[object].Id), object);
    return true;
}

void TSimTree::ReserveIndexes(size_t objects) {
    FByName.Reserve(objects);
    FById.Reserve(objects);
}

const TSimAttr* TSimTree::FindAttr(int32_t object, int32_t attr) const {
    for (const auto& a : Objects[object].Attrs)
        if (a.Attr == attr)
            return &a;
    return nullptr;
}

std::string TSimTree::DnKey(int32_t attr, std::string_view lowerName) {
    std::string key = std::to_string(attr);
    key += '\n';
    key += lowerName;
    return key;
}

int32_t TSimWorld::FindTree(std::string_view name) const {
    std::string l = U_LowerCase(name);
    for (size_t i = 0; i < Trees.size(); ++i)
        if (U_LowerCase(Trees[i].Name) == l)
            return static_cast<int32_t>(i);
    return -1;
}

int32_t TSimWorld::FindServer(std::string_view name) const {
    std::string l = U_LowerCase(name);
    for (size_t i = 0; i < Servers.size(); ++i)
        if (U_LowerCase(Servers[i].Name) == l)
            return static_cast<int32_t>(i);
    return -1;
}

bool SplitName(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty())
        return false;
    size_t start = 0;
    while (true) {
        size_t dot = name.find('.', start);
        std::string_view part = name.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (part.empty())
            return false;
        parts.emplace_back(part);
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

bool AclInheritable(int32_t prot, uint32_t privileges) {
    bool bit = (privileges & 0x40) != 0;
    return prot == PROT_ENTRY ? !bit : bit;
}

bool ParseRightsText(std::string_view text, int family, uint32_t& mask, std::string& error) {
    static const char* const kLetters[] = {"RWCEAFMS", "BCDRAI", "CRWSAI"};
    static const uint32_t kBits[3][8] = {{0x1, 0x2, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100},
                                         {0x1, 0x2, 0x4, 0x8, 0x10, 0x40, 0, 0},
                                         {0x1, 0x2, 0x4, 0x8, 0x20, 0x40, 0, 0}};
    std::string_view t = text;
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
        t = t.substr(1, t.size() - 2);
    const std::string_view letters = kLetters[family];
    mask = 0;
    bool inherit = false;
    for (char c : t) {
        if (c == ' ')
            continue;
        size_t pos = letters.find(c);
        if (pos == std::string_view::npos) {
            error = "the rights \"" + std::string(text) + "\" hold \"" + std::string(1, c) +
                    "\", which is none of the letters " + std::string(letters);
            return false;
        }
        if (family != FAMILY_FS && c == 'I')
            inherit = true;
        else
            mask |= kBits[family][pos];
    }
    if (family == FAMILY_ENTRY && !inherit)
        mask |= 0x40;
    if (family == FAMILY_ATTR && inherit)
        mask |= 0x40;
    return true;
}

} // namespace trovalen::sim
