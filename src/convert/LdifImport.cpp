#include "convert/LdifImport.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapSchema.h"
#include "backend/ldap/LdapValues.h"
#include "backend/sim/SimLoader.h"
#include "backend/sim/SimModel.h"
#include "convert/LdifExport.h"
#include "convert/LdifImportInternal.h"
#include "convert/LdifReader.h"
#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen::convert {

using namespace trovalen::ldap;
using namespace trovalen::convert::ldifimport;

namespace {

constexpr size_t kMaxTreeNameChars = 32;
constexpr size_t kMaxSchemaNameBytes = 128;
constexpr int kMaxSuperDepth = 16;

// Object classes of the LDAP server's own.
const std::unordered_set<std::string> kServerOwnClasses{"extensibleobject", "glue",     "referral",
                                                        "dynamicobject",    "subentry", "subschema",
                                                        "openldaprootdse"};
// Attributes of a root DSE that describe the server, not the tree.
const std::unordered_set<std::string> kRootDseAttrs{"objectclass",
                                                    "namingcontexts",
                                                    "subschemasubentry",
                                                    "supportedcontrol",
                                                    "supportedextension",
                                                    "supportedldapversion",
                                                    "supportedsaslmechanisms",
                                                    "supportedfeatures",
                                                    "vendorname",
                                                    "vendorversion",
                                                    "altserver",
                                                    "directorytreename",
                                                    "entrydn",
                                                    "entryuuid",
                                                    "configcontext",
                                                    "monitorcontext",
                                                    "dsaname"};

// Pseudo-trustees an ACL names in brackets, in the spelling a tree file takes.
constexpr std::string_view kPseudoSubjects[] = {kPublic, kRoot, kThis, kInheritanceMask,
                                                kSupervisor};

// Whether a schema definition holds the keyword, standing alone.
bool IsWordIn(std::string_view text, std::string_view word) {
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        size_t end = at + word.size();
        bool before = at == 0 || text[at - 1] == ' ' || text[at - 1] == '(';
        bool after = end == text.size() || text[end] == ' ' || text[end] == ')';
        if (before && after)
            return true;
    }
    return false;
}

struct TEntry {
    TLdifRecord Record;             // empty for a container the LDIF lacks
    std::vector<std::string> Parts; // the typeless name, most specific first
    std::string RdnType;            // the type of the first part
    std::string Full;               // Parts joined by dots
    std::string Dn;                 // for messages
    int32_t Parent = -1;            // entry index; -1: [Root]
    bool Made = false;              // made for a container the LDIF lacks
    bool Dropped = false;
    bool HasChildren = false;
    int32_t Class = -1; // schema class index
    std::vector<int32_t> Aux;
    std::vector<int32_t> Children;
};

class TImporter {
public:
    TImporter(const TLdifImportOptions& options, TLdifImport& out) : FOpt(options), FOut(out) {
        sim::TSimSchema builtIn;
        TLdapSchemaNames names = LdapSchemaNames(builtIn);
        for (size_t i = 0; i < names.Attrs.size(); ++i)
            FAttrByLdap.emplace(U_LowerCase(names.Attrs[i]), builtIn.Attrs[i].Name);
        for (size_t i = 0; i < names.Classes.size(); ++i)
            FClassByLdap.emplace(U_LowerCase(names.Classes[i]), builtIn.Classes[i].Name);
    }

    bool Run(std::string_view ldif, std::string& error) {
        if (!Read(ldif, error))
            return false;
        LoadSchema();
        Names();
        Classes();
        Places();
        if (!TreeName(error))
            return false;
        Write();
        return true;
    }

private:
    const TLdifImportOptions& FOpt;
    TLdifImport& FOut;
    sim::TSimSchema FSchema; // built in, with what the import adds
    TLdapSchema FLdapSchema;
    bool FHaveLdapSchema = false;
    std::vector<std::string> FAttrDefs, FClassDefs;
    std::unordered_map<std::string, std::string> FAttrByLdap, FClassByLdap; // lower LDAP name
    // What the schema definitions say of each class: its first super class, whether it is
    // auxiliary, whether it holds objects. By lower LDAP name.
    struct TClassInfo {
        std::string Sup;
        bool Aux = false;
        bool Container = true;
    };
    std::unordered_map<std::string, TClassInfo> FClassInfo;
    std::unordered_map<std::string, bool> FTextOnly;     // lower LDAP name: every value is text
    std::unordered_map<std::string, int32_t> FAttrIndex; // lower LDAP name: schema index, -1
    json FAddedAttrs = json::object();
    json FAddedClasses = json::object();
    std::vector<TEntry> FEntries;
    std::unordered_map<std::string, int32_t> FByName; // lower full name
    TLdifRecord FRootDse;
    bool FHaveRootDse = false;

    void Note(std::string_view dn, const std::string& text) {
        FOut.Messages.push_back((dn.empty() ? std::string("root DSE") : Shown(dn)) + ": " + text);
    }

    // --- Reading ------------------------------------------------------------------------------

    bool Read(std::string_view ldif, std::string& error) {
        if (!FOpt.SchemaText.empty()) {
            if (!SlapdDefinitions(FOpt.SchemaText, FAttrDefs, FClassDefs)) {
                TLdifReader schemaReader(FOpt.SchemaText);
                TLdifRecord r;
                while (schemaReader.Next(r))
                    TakeSchema(r);
                if (!schemaReader.Error().empty()) {
                    error = "the schema: " + schemaReader.Error();
                    return false;
                }
                for (const std::string& g : schemaReader.Gaps())
                    FOut.Losses.push_back("the schema: " + g);
                if (FAttrDefs.empty() && FClassDefs.empty()) {
                    error = "the schema holds no attributeTypes or objectClasses definitions";
                    return false;
                }
            }
        }
        if (!FOpt.RootDseText.empty() &&
            !RootDseBeside(FOpt.RootDseText, FRootDse, FHaveRootDse, FOut.Losses, error))
            return false;
        const bool rootDseBeside = FHaveRootDse;
        TLdifReader reader(ldif);
        TLdifRecord record;
        while (reader.Next(record)) {
            if (TakeSchema(record))
                continue;
            if (record.Dn.empty() || record.Dn.find_first_not_of(' ') == std::string::npos) {
                // The LDIF's own root DSE wins over the one beside it.
                if (FHaveRootDse && !rootDseBeside) {
                    Repeated(record, FRootDse);
                    continue;
                }
                FRootDse = std::move(record);
                FHaveRootDse = true;
                continue;
            }
            for (const TLdifValue& v : record.Values) {
                auto [it, fresh] = FTextOnly.emplace(U_LowerCase(v.Attr), true);
                (void)fresh;
                it->second = it->second && IsText(v.Value);
            }
            TEntry e;
            e.Dn = record.Dn;
            e.Record = std::move(record);
            FEntries.push_back(std::move(e));
        }
        for (std::string& n : reader.Notes())
            FOut.Messages.push_back(std::move(n));
        if (!reader.Error().empty()) {
            error = reader.Error();
            return false;
        }
        for (std::string& g : reader.Gaps())
            FOut.Losses.push_back(std::move(g));
        return true;
    }

    // An entry given a second time: the first is kept whole, the repeat is left out.
    void Repeated(const TLdifRecord& repeat, const TLdifRecord& first) {
        std::string what = repeat.Dn == first.Dn ? "is given a second time"
                                                 : "names the same object as \"" + Shown(first.Dn) +
                                                       "\" (names ignore case and type)";
        FOut.Losses.push_back("line " + std::to_string(repeat.Line) + ": \"" + Shown(repeat.Dn) +
                              "\" " + what + "; the entry of line " + std::to_string(first.Line) +
                              " is kept, this one is left out");
    }

    // A subschema entry: its definitions are kept, it is no object.
    bool TakeSchema(const TLdifRecord& r) {
        auto attrs = r.Find("attributeTypes");
        auto classes = r.Find("objectClasses");
        if (attrs.empty() && classes.empty())
            return false;
        for (const TLdifValue* v : attrs)
            FAttrDefs.push_back(v->Value);
        for (const TLdifValue* v : classes)
            FClassDefs.push_back(v->Value);
        return true;
    }

    void LoadSchema() {
        if (FAttrDefs.empty() && FClassDefs.empty())
            return;
        FLdapSchema.Load(FAttrDefs, FClassDefs);
        FHaveLdapSchema = true;
        for (const std::string& text : FClassDefs) {
            TSchemaDefinition def;
            std::string error;
            if (!ParseSchemaDefinition(text, def, error))
                continue;
            TClassInfo info;
            info.Sup = def.Sup;
            if (U_LowerCase(info.Sup) == "top")
                info.Sup.clear();
            info.Aux = IsWordIn(text, "AUXILIARY");
            if (const TSchemaClass* c = FLdapSchema.ClassByLdap(def.Name))
                info.Container = c->Container;
            FClassInfo.emplace(U_LowerCase(def.Name), std::move(info));
        }
        if (FLdapSchema.Skipped() > 0)
            FOut.Messages.push_back("schema: " + std::to_string(FLdapSchema.Skipped()) +
                                    " definitions cannot be read; their names stay LDAP names");
    }

    // --- Names --------------------------------------------------------------------------------

    // The directory's name of an LDAP attribute or class: the schema's X-NDS_NAME, the name the
    // export gives a built-in one, the usual name, else the LDAP name itself.
    std::string DirectoryAttr(std::string_view ldapName) const {
        if (FHaveLdapSchema)
            if (const TSchemaAttr* a = FLdapSchema.AttrByLdap(ldapName);
                a && a->Directory != a->Ldap)
                return a->Directory;
        if (auto it = FAttrByLdap.find(U_LowerCase(ldapName)); it != FAttrByLdap.end())
            return it->second;
        std::string_view builtIn = BuiltInDirectoryAttrName(ldapName);
        return std::string(builtIn.empty() ? ldapName : builtIn);
    }

    std::string DirectoryClass(std::string_view ldapName) const {
        if (FHaveLdapSchema)
            if (const TSchemaClass* c = FLdapSchema.ClassByLdap(ldapName);
                c && c->Directory != c->Ldap)
                return c->Directory;
        if (auto it = FClassByLdap.find(U_LowerCase(ldapName)); it != FClassByLdap.end())
            return it->second;
        std::string_view builtIn = BuiltInDirectoryClassName(ldapName);
        return std::string(builtIn.empty() ? ldapName : builtIn);
    }

    // The schema index of an LDAP attribute, added to the file's schema when the built-in one
    // lacks it; -1 (with a note on dn) when no tree file can hold it.
    int32_t Attr(std::string_view ldapName, std::string_view dn) {
        std::string key = U_LowerCase(ldapName);
        std::string name = DirectoryAttr(ldapName);
        auto refuse = [&] {
            Note(dn, "the attribute \"" + Shown(name) +
                         "\" cannot be named in a tree file; its values are left out");
            return -1;
        };
        if (auto it = FAttrIndex.find(key); it != FAttrIndex.end())
            return it->second >= 0 ? it->second : refuse();
        int32_t index = FSchema.FindAttr(name);
        if (index < 0) {
            if (name.empty() || name.size() > kMaxSchemaNameBytes || name[0] == '[' ||
                !IsText(name)) {
                FAttrIndex.emplace(key, -1);
                return refuse();
            }
            uint32_t syntax = SYN_CI_STRING;
            const TSchemaAttr* def = FHaveLdapSchema ? FLdapSchema.AttrByLdap(ldapName) : nullptr;
            if (def != nullptr && def->Syntax <= 255)
                syntax = def->Syntax;
            else if (auto t = FTextOnly.find(key); t != FTextOnly.end() && !t->second)
                syntax = SYN_OCTET_STRING;
            index = FSchema.AddAttr({name, syntax, false});
            FAddedAttrs[name] = syntax;
            FOut.Messages.push_back(
                "schema: the attribute \"" + name + "\" (" + std::string(sim::SyntaxName(syntax)) +
                (sim::SyntaxName(syntax).empty() ? "syntax " + std::to_string(syntax) : "") +
                "), which the built-in schema lacks, is added");
        }
        FAttrIndex.emplace(key, index);
        return index;
    }

    // Every entry gets its typeless name; containers the LDIF lacks are made.
    void Names() {
        for (size_t i = 0; i < FEntries.size(); ++i) {
            TEntry& e = FEntries[i];
            std::vector<TRdn> rdns;
            std::string error;
            if (!U_IsValidUtf8(e.Dn)) {
                Note(e.Dn, "the DN is no UTF-8; the entry is left out");
                e.Dropped = true;
                continue;
            }
            if (!ParseDn(e.Dn, rdns, error)) {
                Note(e.Dn, error + "; the entry is left out");
                e.Dropped = true;
                continue;
            }
            for (const TRdn& r : rdns) {
                std::string why = BadPart(r.Value);
                if (!why.empty()) {
                    Note(e.Dn, why + " (\"" + Shown(r.Value) + "\"); the entry is left out");
                    e.Dropped = true;
                    break;
                }
                e.Parts.push_back(r.Value);
            }
            if (e.Dropped)
                continue;
            e.RdnType = rdns[0].Type;
            Join(e);
            if (CodePoints(e.Full) > sim::kMaxNameChars) {
                Note(e.Dn, "the name is longer than " + std::to_string(sim::kMaxNameChars) +
                               " characters; the entry is left out");
                e.Dropped = true;
                continue;
            }
            auto [it, fresh] = FByName.emplace(U_LowerCase(e.Full), static_cast<int32_t>(i));
            if (!fresh) {
                Repeated(e.Record, FEntries[it->second].Record);
                e.Dropped = true;
            }
        }
        MakeNamed();
        // Containers: each entry's is looked up, or made when the LDIF lacks it.
        for (size_t i = 0; i < FEntries.size(); ++i) {
            if (FEntries[i].Dropped || FEntries[i].Parts.size() < 2)
                continue;
            std::vector<std::string> up(FEntries[i].Parts.begin() + 1, FEntries[i].Parts.end());
            std::string upFull = JoinParts(up);
            auto it = FByName.find(U_LowerCase(upFull));
            if (it == FByName.end()) {
                std::vector<TRdn> rdns;
                std::string error;
                ParseDn(FEntries[i].Dn, rdns, error);
                TEntry made;
                made.Parts = up;
                made.Made = true;
                // The DN of the missing container: the entry's without its first part.
                std::vector<TRdn> upRdns(rdns.begin() + (rdns.empty() ? 0 : 1), rdns.end());
                made.RdnType = upRdns.empty() ? "ou" : upRdns[0].Type;
                made.Dn = FormatDn(upRdns);
                made.Full = upFull;
                it = FByName.emplace(U_LowerCase(upFull), static_cast<int32_t>(FEntries.size()))
                         .first;
                FEntries.push_back(std::move(made));
            }
            FEntries[i].Parent = it->second;
            FEntries[it->second].HasChildren = true;
        }
    }

    // Objects that ACL values and names of members or equivalences name but the LDIF lacks (a
    // trustee outside the exported part of the tree) are made, so that no such value is lost.
    void MakeNamed() {
        auto want = [this](std::string_view dn) {
            std::vector<TRdn> rdns;
            std::string error;
            if (!U_IsValidUtf8(dn) || !ParseDn(dn, rdns, error) || rdns.empty())
                return; // the value is named as left out when it is read
            TEntry made;
            for (const TRdn& r : rdns) {
                if (!BadPart(r.Value).empty())
                    return;
                made.Parts.push_back(r.Value);
            }
            Join(made);
            if (CodePoints(made.Full) > sim::kMaxNameChars || FByName.count(U_LowerCase(made.Full)))
                return;
            made.Made = true;
            made.RdnType = rdns[0].Type;
            made.Dn = FormatDn(rdns);
            FByName.emplace(U_LowerCase(made.Full), static_cast<int32_t>(FEntries.size()));
            FEntries.push_back(std::move(made));
        };
        auto scan = [&](const TLdifRecord& r) {
            for (const TLdifValue& v : r.Values) {
                if (U_SameText(v.Attr, "ACL")) {
                    TLdapAcl acl;
                    std::string error;
                    if (ParseAclValue(v.Value, acl, error) && acl.Subject[0] != '[')
                        want(acl.Subject);
                    continue;
                }
                int32_t a = FSchema.FindAttr(DirectoryAttr(v.Attr));
                if (a >= 0 && FSchema.Attrs[a].Syntax == SYN_DIST_NAME)
                    want(v.Value);
            }
        };
        size_t count = FEntries.size();
        for (size_t i = 0; i < count; ++i)
            if (!FEntries[i].Dropped)
                scan(FEntries[i].Record);
        if (FHaveRootDse)
            scan(FRootDse);
    }

    static std::string JoinParts(const std::vector<std::string>& parts) {
        std::string full;
        for (const std::string& p : parts)
            full += (full.empty() ? "" : ".") + p;
        return full;
    }

    static void Join(TEntry& e) { e.Full = JoinParts(e.Parts); }

    // --- Classes ------------------------------------------------------------------------------

    // Defines a class the built-in schema lacks.
    int32_t AddClass(const std::string& name, bool auxiliary, bool container, int32_t super = -1) {
        sim::TSimClass c;
        c.Name = name;
        c.Super = {super >= 0 ? super : FSchema.FindClass("Top")};
        c.Auxiliary = auxiliary;
        c.Container = container;
        c.BuiltIn = false;
        std::string superName = FSchema.Classes[c.Super[0]].Name;
        int32_t index = FSchema.AddClass(std::move(c));
        json def{{"super", {superName}}};
        if (auxiliary)
            def["auxiliary"] = true;
        if (container)
            def["container"] = true;
        FAddedClasses[name] = std::move(def);
        FOut.Messages.push_back(
            "schema: the " + std::string(auxiliary ? "auxiliary " : "") + "class \"" + name +
            "\", which the built-in schema lacks, is added" + (container ? " as a container" : ""));
        return index;
    }

    // The schema index of an LDAP class: built in, or defined from the schema definitions given
    // (with their super classes); -1 when neither knows it.
    int32_t Known(std::string_view ldapName, int depth = 0) {
        std::string name = DirectoryClass(ldapName);
        int32_t c = FSchema.FindClass(name);
        if (c >= 0 || depth > kMaxSuperDepth)
            return c;
        auto it = FClassInfo.find(U_LowerCase(ldapName));
        if (it == FClassInfo.end() || !ValidClassName(name))
            return -1;
        const TClassInfo info = it->second;
        int32_t super = info.Sup.empty() ? -1 : Known(info.Sup, depth + 1);
        // A super class is never an auxiliary class in a tree file.
        if (super >= 0 && FSchema.Classes[super].Auxiliary)
            super = -1;
        if (FSchema.FindClass(name) >= 0) // defined on the way up: a circle of super classes
            return FSchema.FindClass(name);
        return AddClass(name, info.Aux, !info.Aux && info.Container, super);
    }

    static bool ValidClassName(const std::string& name) {
        return !name.empty() && name.size() <= kMaxSchemaNameBytes && name[0] != '[' &&
               IsText(name);
    }

    // Whether a class the import adds holds objects: as the schema says, else when an entry of
    // it holds any.
    bool NewClassIsContainer(const std::string& ldapName) const {
        if (FHaveLdapSchema)
            if (const TSchemaClass* c = FLdapSchema.ClassByLdap(ldapName))
                return c->Container;
        return FNewContainers.count(U_LowerCase(ldapName)) != 0;
    }
    std::unordered_set<std::string> FNewContainers; // lower LDAP names of new base classes

    // The base class of an entry: structuralObjectClass when the schema knows it, else the most
    // specific known class; auxiliary classes beside it.
    void Classes() {
        const int32_t treeRoot = FSchema.FindClass("Tree Root");
        const int32_t top = FSchema.FindClass("Top");
        auto depth = [this](int32_t cls) {
            size_t n = 0;
            for (std::vector<int32_t> level{cls}; !level.empty() && n < 64; ++n) {
                std::vector<int32_t> next;
                for (int32_t c : level)
                    for (int32_t s : FSchema.Classes[c].Super)
                        next.push_back(s);
                level = std::move(next);
            }
            return n;
        };
        // Which unknown classes stand as base classes of entries that hold others.
        for (const TEntry& e : FEntries) {
            if (e.Dropped || !e.HasChildren || e.Made)
                continue;
            auto structural = e.Record.Find("structuralObjectClass");
            if (!structural.empty() && Known(structural[0]->Value) < 0)
                FNewContainers.insert(U_LowerCase(structural[0]->Value));
            for (const TLdifValue* v : e.Record.Find("objectClass"))
                if (Known(v->Value) < 0)
                    FNewContainers.insert(U_LowerCase(v->Value));
        }
        for (TEntry& e : FEntries) {
            if (e.Dropped)
                continue;
            if (e.Made) {
                bool container = e.HasChildren || e.Parts.size() == 1;
                e.Class = FSchema.FindClass(container ? ContainerClassOf(e.RdnType) : "Unknown");
                Note(e.Dn, "not in the LDIF; made as " + FSchema.Classes[e.Class].Name +
                               (e.HasChildren ? " to hold the entries below it"
                                              : " for the values that name it"));
                continue;
            }
            std::vector<std::string> ldapNames;
            for (const TLdifValue* v : e.Record.Find("objectClass"))
                if (kServerOwnClasses.count(U_LowerCase(v->Value)) == 0)
                    ldapNames.push_back(v->Value);
            std::string structural;
            if (auto s = e.Record.Find("structuralObjectClass"); !s.empty())
                structural = s[0]->Value;

            // The base: the structural class, else the deepest known one.
            int32_t base = -1;
            if (!structural.empty()) {
                int32_t c = Known(structural);
                if (c >= 0 && !FSchema.Classes[c].Auxiliary && c != treeRoot)
                    base = c;
            }
            if (base < 0) {
                size_t best = 0;
                for (const std::string& n : ldapNames) {
                    int32_t c = Known(n);
                    if (c < 0 || FSchema.Classes[c].Auxiliary || c == treeRoot)
                        continue;
                    size_t d = depth(c);
                    if (base < 0 || d > best) {
                        base = c;
                        best = d;
                    }
                }
                if (base == top)
                    base = -1; // only Top: an unknown class, if any, says more
            }
            // An unknown base: the structural class, else the first unknown one.
            if (base < 0) {
                std::string pick = structural;
                if (pick.empty() || Known(pick) >= 0)
                    for (const std::string& n : ldapNames)
                        if (Known(n) < 0) {
                            pick = n;
                            break;
                        }
                std::string name = pick.empty() ? std::string() : DirectoryClass(pick);
                if (!pick.empty() && ValidClassName(name) && FSchema.FindClass(name) < 0)
                    base = AddClass(name, false, NewClassIsContainer(pick));
                else if (!pick.empty() && FSchema.FindClass(name) >= 0 &&
                         !FSchema.Classes[FSchema.FindClass(name)].Auxiliary)
                    base = FSchema.FindClass(name);
            }
            if (base < 0) {
                base = FSchema.FindClass(e.HasChildren ? ContainerClassOf(e.RdnType) : "Unknown");
                Note(e.Dn,
                     "no object class the import can use; taken as " + FSchema.Classes[base].Name);
            }
            e.Class = base;

            // Auxiliary classes: those the base does not bring along already.
            std::vector<std::string> implied = FSchema.ObjectClassValues(base, {});
            for (const std::string& n : ldapNames) {
                std::string name = DirectoryClass(n);
                int32_t c = Known(n);
                if (c == base)
                    continue;
                if (c >= 0 && !FSchema.Classes[c].Auxiliary) {
                    if (!FSchema.IsA(base, c))
                        Note(e.Dn, "the object class \"" + Shown(n) + "\" is no super class of " +
                                       FSchema.Classes[base].Name + "; it is left out");
                    continue;
                }
                if (c < 0) {
                    if (!ValidClassName(name)) {
                        Note(e.Dn, "the object class \"" + Shown(n) +
                                       "\" cannot be named in a tree file; it is left out");
                        continue;
                    }
                    c = AddClass(name, true, false);
                }
                bool already =
                    std::any_of(implied.begin(), implied.end(), [&](const std::string& i) {
                        return U_SameText(i, FSchema.Classes[c].Name);
                    });
                if (!already && std::find(e.Aux.begin(), e.Aux.end(), c) == e.Aux.end())
                    e.Aux.push_back(c);
            }
        }
    }

    // Every object stands in a container; an entry whose container holds no objects cannot.
    void Places() {
        std::vector<size_t> order(FEntries.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
            return FEntries[a].Parts.size() < FEntries[b].Parts.size();
        });
        for (size_t i : order) {
            TEntry& e = FEntries[i];
            if (e.Dropped)
                continue;
            if (e.Parent < 0) {
                if (!FSchema.Classes[e.Class].Container) {
                    Note(e.Dn, "a " + FSchema.Classes[e.Class].Name +
                                   " cannot stand at the top of a tree, where only containers "
                                   "stand; the entry is left out");
                    e.Dropped = true;
                }
                continue;
            }
            const TEntry& p = FEntries[e.Parent];
            if (p.Dropped) {
                Note(e.Dn, "its container is left out; so is the entry");
                e.Dropped = true;
            } else if (!FSchema.Classes[p.Class].Container) {
                Note(e.Dn, "its container is a " + FSchema.Classes[p.Class].Name +
                               ", which holds no objects in a tree file; the entry is left out");
                e.Dropped = true;
            } else {
                FEntries[e.Parent].Children.push_back(static_cast<int32_t>(i));
            }
        }
        // A dropped entry's name goes, unless it is the name of another entry that stays (the
        // first of two entries of one name).
        for (size_t i = 0; i < FEntries.size(); ++i) {
            if (!FEntries[i].Dropped)
                continue;
            auto it = FByName.find(U_LowerCase(FEntries[i].Full));
            if (it != FByName.end() && it->second == static_cast<int32_t>(i))
                FByName.erase(it);
        }
    }

    // --- The tree's name ----------------------------------------------------------------------

    static std::string BadTreeName(const std::string& name) {
        if (name.empty() || name.size() > kMaxTreeNameChars)
            return "1 to 32 characters";
        if (name.find_first_of(" .=,\\/*?\"") != std::string::npos || !IsText(name))
            return "no blanks, dots or punctuation";
        if (name.back() == '_')
            return "no \"_\" at the end";
        return {};
    }

    bool TreeName(std::string& error) {
        std::string name = FOpt.TreeName;
        if (!name.empty()) {
            std::string why = BadTreeName(name);
            if (!why.empty()) {
                error = "\"" + Shown(name) + "\" is no tree name (" + why + ")";
                return false;
            }
            FOut.TreeName = name;
            return true;
        }
        std::string from;
        if (FHaveRootDse)
            if (auto v = FRootDse.Find("directoryTreeName"); !v.empty()) {
                name = v[0]->Value;
                from = "the root DSE's directoryTreeName";
            }
        if (name.empty())
            for (const TEntry& e : FEntries)
                if (!e.Dropped && e.Parent < 0) {
                    name = e.Parts[0];
                    from = "the top container";
                    break;
                }
        if (name.empty()) {
            error = "the LDIF holds no entry a tree file can hold";
            return false;
        }
        // A name the tree file refuses is made fit: other characters become "-", and the
        // padding character goes from the end.
        std::string fit;
        for (char c : name.substr(0, kMaxTreeNameChars)) {
            unsigned char u = static_cast<unsigned char>(c);
            fit += u < 0x80 && (std::isalnum(u) != 0 || c == '-' || c == '_') ? c : '-';
        }
        while (!fit.empty() && fit.back() == '_')
            fit.pop_back();
        if (fit.empty())
            fit = "TREE";
        if (fit != name)
            FOut.Messages.push_back("tree: \"" + Shown(name) + "\" (" + from +
                                    ") is no tree name; the tree is named " + fit);
        FOut.TreeName = fit;
        return true;
    }

    // --- Values -------------------------------------------------------------------------------

    // The typeless full name of a DN among the objects written; false when there is none.
    bool NameOf(std::string_view dn, std::string& name) const {
        std::vector<TRdn> rdns;
        std::string error;
        if (!ParseDn(dn, rdns, error) || rdns.empty())
            return false;
        std::vector<std::string> parts;
        for (const TRdn& r : rdns)
            parts.push_back(r.Value);
        auto it = FByName.find(U_LowerCase(JoinParts(parts)));
        if (it == FByName.end())
            return false;
        name = FEntries[it->second].Full;
        return true;
    }

    // One ACL value in the tree file's form; false with the reason when it has none.
    bool AclJson(std::string_view text, std::string_view dn, json& out, std::string& why) {
        TLdapAcl acl;
        if (!ParseAclValue(text, acl, why))
            return false;
        std::string subject;
        if (acl.Subject[0] == '[') {
            for (std::string_view p : kPseudoSubjects)
                if (U_SameText(p, acl.Subject))
                    subject = p;
            if (subject.empty()) {
                why = "the subject " + Shown(acl.Subject) + " has no form in a tree file";
                return false;
            }
        } else if (!NameOf(acl.Subject, subject)) {
            why = "the subject \"" + Shown(acl.Subject) + "\" is no object of the LDIF";
            return false;
        } else {
            subject = "." + subject;
        }
        std::string prot;
        if (U_SameText(acl.ProtectedAttr, kEntryRights)) {
            prot = kEntryRights;
        } else if (U_SameText(acl.ProtectedAttr, kAllAttributesRights)) {
            prot = kAllAttributesRights;
        } else if (acl.ProtectedAttr[0] == '[') {
            why = "the protected attribute " + Shown(acl.ProtectedAttr) + " is not known";
            return false;
        } else {
            int32_t a = Attr(acl.ProtectedAttr, dn);
            if (a < 0) {
                why = "the protected attribute cannot be named in a tree file";
                return false;
            }
            prot = FSchema.Attrs[a].Name;
        }
        uint32_t privileges = PrivilegesFromLdap(acl, prot == kEntryRights);
        out = json{{"subject", subject}, {"attribute", prot}, {"rights", privileges}};
        return true;
    }

    void Values(const TEntry& e, const std::vector<const TLdifValue*>& values, json& obj) {
        const int32_t aclAttr = FSchema.FindAttr("ACL");
        const int32_t objectClass = FSchema.FindAttr("Object Class");
        TValueMaps maps;
        maps.Dn = [this](std::string_view dn, std::string& name) { return NameOf(dn, name); };
        maps.Attr = [this](std::string_view n) { return DirectoryAttr(n); };
        maps.Class = [this](std::string_view n) { return DirectoryClass(n); };
        // Values by attribute, in the order of their first appearance.
        std::vector<std::pair<int32_t, std::vector<const TLdifValue*>>> byAttr;
        for (const TLdifValue* v : values) {
            std::string lower = U_LowerCase(v->Attr);
            if (ldap::IsServerOwnAttr(lower) || lower == "objectclass")
                continue;
            if (!v->Options.empty() && U_LowerCase(v->Options) != "binary")
                Note(e.Dn, v->Attr + ";" + Shown(v->Options) + ": taken as a value of " + v->Attr +
                               " (a tree file keeps no attribute options)");
            int32_t a = Attr(v->Attr, e.Dn);
            if (a < 0)
                continue;
            auto it = std::find_if(byAttr.begin(), byAttr.end(),
                                   [a](const auto& p) { return p.first == a; });
            if (it == byAttr.end()) {
                byAttr.emplace_back(a, std::vector<const TLdifValue*>{});
                it = byAttr.end() - 1;
            }
            it->second.push_back(v);
        }
        json acl = json::array();
        json attrs = json::object();
        for (const auto& [a, list] : byAttr) {
            const std::string& name = FSchema.Attrs[a].Name;
            uint32_t syntax = FSchema.Attrs[a].Syntax;
            if (a == objectClass)
                continue;
            // The naming attribute reads as the object's own name unless given otherwise.
            if (list.size() == 1 && U_SameText(list[0]->Attr, e.RdnType) &&
                list[0]->Value == e.Parts[0])
                continue;
            json out = json::array();
            for (const TLdifValue* v : list) {
                json one;
                std::string why;
                bool ok;
                if (a == aclAttr || syntax == SYN_OBJECT_ACL) {
                    ok = AclJson(v->Value, e.Dn, one, why);
                } else if (syntax == SYN_STREAM) {
                    ok = out.empty() ? StreamJson(v->Value, one, why) : false;
                    if (!out.empty())
                        why = "a stream attribute holds one value";
                } else {
                    TAttrValue value;
                    ok = ValueFromLdap(syntax, name, v->Value, maps, value, why) &&
                         ValueJson(syntax, value, one, why);
                }
                if (!ok) {
                    Note(e.Dn, name + ": " + why + "; the value (line " + std::to_string(v->Line) +
                                   ") is left out");
                    continue;
                }
                (a == aclAttr ? acl : out).push_back(std::move(one));
            }
            if (a != aclAttr && !out.empty())
                attrs[name] = std::move(out);
        }
        FOut.AclValues += acl.size();
        if (!acl.empty())
            obj["acl"] = std::move(acl);
        if (!attrs.empty())
            obj["attributes"] = std::move(attrs);
    }

    json ObjectJson(const TEntry& e) {
        json obj{{"name", e.Full}, {"class", FSchema.Classes[e.Class].Name}};
        if (!e.Aux.empty()) {
            json aux = json::array();
            for (int32_t c : e.Aux)
                aux.push_back(FSchema.Classes[c].Name);
            obj["auxiliary"] = std::move(aux);
        }
        if (e.Made)
            return obj;
        for (const char* key : {"createTimestamp", "modifyTimestamp"}) {
            auto v = e.Record.Find(key);
            uint32_t seconds = 0;
            if (v.empty())
                continue;
            if (!ParseGeneralizedTime(v[0]->Value, seconds))
                Note(e.Dn,
                     std::string(key) + ": \"" + Shown(v[0]->Value) + "\" is no time; left out");
            else
                obj[key[0] == 'c' ? "created" : "modified"] = seconds;
        }
        std::vector<const TLdifValue*> values;
        for (const TLdifValue& v : e.Record.Values)
            values.push_back(&v);
        Values(e, values, obj);
        // An alias stands for exactly one other object; one whose target is not written cannot
        // stay an alias.
        if (FSchema.IsA(e.Class, "Alias")) {
            const json* attrs = obj.contains("attributes") ? &obj["attributes"] : nullptr;
            const json* target = attrs != nullptr && attrs->contains("Aliased Object Name")
                                     ? &(*attrs)["Aliased Object Name"]
                                     : nullptr;
            if (target == nullptr || target->size() != 1 ||
                U_SameText((*target)[0].get<std::string>(), "." + e.Full)) {
                Note(e.Dn, "an alias without one other object to stand for; taken as Unknown, "
                           "without its Aliased Object Name");
                obj["class"] = "Unknown";
                if (target != nullptr)
                    obj["attributes"].erase("Aliased Object Name");
                if (obj["attributes"].empty())
                    obj.erase("attributes");
            }
        }
        return obj;
    }

    // [Root]'s ACL and attributes stand in the root DSE, beside what describes the server.
    bool RootJson(json& obj) {
        obj = json{{"name", std::string(kRoot)}, {"class", "Tree Root"}};
        if (!FHaveRootDse)
            return false;
        std::vector<const TLdifValue*> values;
        std::vector<std::string> server;
        for (const TLdifValue& v : FRootDse.Values) {
            std::string lower = U_LowerCase(v.Attr);
            bool known = FSchema.FindAttr(DirectoryAttr(v.Attr)) >= 0 ||
                         (FHaveLdapSchema && FLdapSchema.AttrByLdap(v.Attr) != nullptr);
            if (kRootDseAttrs.count(lower) != 0 || ldap::IsServerOwnAttr(lower) || !known) {
                if (kRootDseAttrs.count(lower) == 0 && !ldap::IsServerOwnAttr(lower) &&
                    std::find(server.begin(), server.end(), v.Attr) == server.end())
                    server.push_back(v.Attr);
                continue;
            }
            values.push_back(&v);
        }
        if (!server.empty()) {
            std::string list;
            for (const std::string& s : server)
                list += (list.empty() ? "" : ", ") + Shown(s);
            Note("", "taken as the server's, not the tree's: " + list);
        }
        TEntry root;
        root.Full = std::string(kRoot);
        root.Parts = {std::string(kRoot)};
        Values(root, values, obj);
        return obj.size() > 2;
    }

    // --- Writing ------------------------------------------------------------------------------

    void Write() {
        TTreeFileWriter out(TTreeLayout::Compact);
        out.Tree(FOut.TreeName);
        json root;
        if (RootJson(root))
            out.Object(root);
        // Parents before children, each level in the order of the LDIF.
        std::vector<int32_t> stack;
        for (size_t i = FEntries.size(); i-- > 0;)
            if (!FEntries[i].Dropped && FEntries[i].Parent < 0)
                stack.push_back(static_cast<int32_t>(i));
        std::sort(stack.begin(), stack.end(), std::greater<>());
        while (!stack.empty()) {
            int32_t i = stack.back();
            stack.pop_back();
            out.Object(ObjectJson(FEntries[i]));
            ++FOut.Objects;
            const std::vector<int32_t>& kids = FEntries[i].Children;
            std::vector<int32_t> sorted(kids.begin(), kids.end());
            std::sort(sorted.begin(), sorted.end(), std::greater<>());
            stack.insert(stack.end(), sorted.begin(), sorted.end());
        }
        if (!FAddedAttrs.empty() || !FAddedClasses.empty()) {
            json schema = json::object();
            if (!FAddedAttrs.empty())
                schema["attributes"] = FAddedAttrs;
            if (!FAddedClasses.empty())
                schema["classes"] = FAddedClasses;
            out.Schema(schema);
        }
        FOut.Json = out.Take();
    }
};

} // namespace

bool ImportLdif(std::string_view ldif, const TLdifImportOptions& options, TLdifImport& out,
                std::string& error) {
    out = TLdifImport{};
    if (ldif.size() > sim::kMaxTreeFileBytes) {
        error = "the LDIF is larger than " +
                std::to_string(sim::kMaxTreeFileBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    TImporter importer(options, out);
    return importer.Run(ldif, error);
}

} // namespace trovalen::convert
