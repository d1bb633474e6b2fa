#include "convert/LdifExport.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <set>
#include <unordered_map>

#include "backend/ldap/LdapNames.h"
#include "backend/ldap/LdapSchema.h"
#include "model/RightsModel.h"

namespace trovalen::convert {

using namespace trovalen::sim;
using namespace trovalen::ldap;

namespace {

// Object identifiers under the arc reserved for examples and documentation.
constexpr std::string_view kAttrArc = "1.3.6.1.4.1.32473.1.1.";
constexpr std::string_view kClassArc = "1.3.6.1.4.1.32473.1.2.";
constexpr std::string_view kTreeNameAttr = "directoryTreeName";
constexpr size_t kLdifLineWidth = 76;
constexpr size_t kNamesPerLine = 6;

// LDAP names the server itself defines. The first group the export uses as the server defines
// them; a directory attribute or class whose derived name falls on any other gets a prefix.
const std::set<std::string> kServerOwnUsed{
    "cn", "description", "seealso", "aliasedobjectname", "objectclass", "top", "alias"};
const std::set<std::string> kServerOwnOther{"structuralobjectclass",
                                            "createtimestamp",
                                            "modifytimestamp",
                                            "creatorsname",
                                            "modifiersname",
                                            "hassubordinates",
                                            "subschemasubentry",
                                            "entrydn",
                                            "entryuuid",
                                            "entrycsn",
                                            "contextcsn",
                                            "altserver",
                                            "namingcontexts",
                                            "supportedcontrol",
                                            "supportedextension",
                                            "supportedldapversion",
                                            "supportedsaslmechanisms",
                                            "supportedfeatures",
                                            "vendorname",
                                            "vendorversion",
                                            "matchingrules",
                                            "attributetypes",
                                            "objectclasses",
                                            "matchingruleuse",
                                            "ldapsyntaxes",
                                            "aliasedentryname",
                                            "ref",
                                            "entryttl",
                                            "dynamicsubtrees",
                                            "distinguishedname",
                                            "name",
                                            "commonname",
                                            "uid",
                                            "userid",
                                            "uidnumber",
                                            "gidnumber",
                                            "userpassword",
                                            "labeleduri",
                                            "pkcs8privatekey",
                                            "pwdlastsuccess",
                                            "extensibleobject",
                                            "subschema",
                                            "openldaprootdse",
                                            "referral",
                                            "dynamicobject",
                                            "glue",
                                            "syncconsumersubentry",
                                            "syncprovidersubentry",
                                            "subentry",
                                            "directorytreename",
                                            "monitorcontext",
                                            "configcontext"};

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Gives each attribute or class of the schema a unique LDAP name.
class TNamer {
public:
    std::string Name(std::string_view directoryName, std::string_view builtIn) {
        std::string name = builtIn.empty() ? DeriveLdapName(directoryName) : std::string(builtIn);
        std::string lower = LowerAscii(name);
        if (builtIn.empty() && (kServerOwnOther.count(lower) != 0 || kServerOwnUsed.count(lower)))
            name =
                "nds" + std::string(1, static_cast<char>(std::toupper(name[0]))) + name.substr(1);
        std::string base = name;
        for (int n = 2; FTaken.count(LowerAscii(name)) != 0; ++n)
            name = base + std::to_string(n);
        FTaken.insert(LowerAscii(name));
        return name;
    }

private:
    std::set<std::string> FTaken;
};

// The directory's own LDAP syntaxes: syntax N is this arc followed by N.
constexpr std::string_view kDirectorySyntaxArc = "2.16.840.1.113719.1.1.5.1.";

// The LDAP syntax, matching rules and whether values travel as bytes, by directory syntax.
struct TLdapSyntax {
    std::string_view Oid;
    std::string_view Rules;
    bool Binary;
};

TLdapSyntax SyntaxFor(uint32_t syntax) {
    switch (syntax) {
    case SYN_DIST_NAME:
        return {"1.3.6.1.4.1.1466.115.121.1.12", "EQUALITY distinguishedNameMatch", false};
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_INTERVAL:
        return {"1.3.6.1.4.1.1466.115.121.1.27",
                "EQUALITY integerMatch ORDERING integerOrderingMatch", false};
    case SYN_BOOLEAN:
        return {"1.3.6.1.4.1.1466.115.121.1.7", "EQUALITY booleanMatch", false};
    case SYN_TIME:
        return {"1.3.6.1.4.1.1466.115.121.1.24",
                "EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch", false};
    case SYN_OCTET_STRING:
    case SYN_OCTET_LIST:
    case SYN_STREAM:
    case SYN_NET_ADDRESS:
    case SYN_UNKNOWN:
        return {"1.3.6.1.4.1.1466.115.121.1.40", "EQUALITY octetStringMatch", true};
    default:
        if (syntax > SYN_INTERVAL)
            return {"1.3.6.1.4.1.1466.115.121.1.40", "EQUALITY octetStringMatch", true};
        return {"1.3.6.1.4.1.1466.115.121.1.15",
                "EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch", false};
    }
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                     (static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out += kAlphabet[(v >> s) & 0x3F];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 0x3F];
        out += kAlphabet[(v >> 12) & 0x3F];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

// Whether a value may stand in LDIF as it is (SAFE-STRING).
bool LdifSafe(std::string_view v) {
    if (v.empty())
        return true;
    if (v.front() == ' ' || v.front() == ':' || v.front() == '<' || v.back() == ' ')
        return false;
    return std::all_of(v.begin(), v.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u != 0 && u != '\n' && u != '\r' && u < 0x80;
    });
}

// One `name: value` line, base64 where needed, folded at the LDIF width.
void AddLine(std::string& out, std::string_view name, std::string_view value, bool binary) {
    std::string line(name);
    if (binary || !LdifSafe(value))
        line += ":: " + Base64(value);
    else
        line += ": " + std::string(value);
    size_t pos = 0;
    while (line.size() - pos > kLdifLineWidth) {
        out += line.substr(pos, kLdifLineWidth);
        out += "\n ";
        pos += kLdifLineWidth;
    }
    out += line.substr(pos);
    out += '\n';
}

std::string GeneralizedTime(uint32_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
    return buf;
}

class TExporter {
public:
    TExporter(const TSimWorld& w, const TSimTree& t, TLdifExport& out) : FW(w), FT(t), FOut(out) {}

    void Run() {
        NameSchema();
        WriteSchema();
        FDns.resize(FT.Objects.size());
        WriteEntries();
        WriteRootDse();
    }

private:
    const TSimWorld& FW;
    const TSimTree& FT;
    TLdifExport& FOut;
    std::vector<std::string> FAttrNames;  // by schema attribute index
    std::vector<std::string> FClassNames; // by schema class index
    std::vector<std::string> FDns;        // by object index; [Root] is the empty DN

    void NameSchema() {
        TLdapSchemaNames names = LdapSchemaNames(FW.Schema);
        FAttrNames = std::move(names.Attrs);
        FClassNames = std::move(names.Classes);
    }

    static std::string Quoted(std::string_view text) {
        std::string out = "'";
        for (char c : text) {
            if (c == '\'' || c == '\\') {
                static constexpr char kHex[] = "0123456789abcdef";
                out += '\\';
                out += kHex[static_cast<uint8_t>(c) >> 4];
                out += kHex[static_cast<uint8_t>(c) & 0xF];
            } else {
                out += c;
            }
        }
        return out + "'";
    }

    void WriteSchema() {
        std::string& s = FOut.Schema;
        s += "# The directory's attributes and classes with their own names (X-NDS_NAME).\n";
        s += "attributetype ( " + std::string(kAttrArc) + "0 NAME '" + std::string(kTreeNameAttr) +
             "' EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )\n";
        // As a directory server publishes them: an attribute of a syntax that a standard LDAP
        // syntax says exactly names that one; any other names the directory's own syntax OID,
        // defined once as an LDAP syntax that states its number (X-NDS_SYNTAX) and that slapd
        // handles as the standard syntax it substitutes (X-SUBST). The attribute types carry no
        // syntax number of their own, and no X-NDS_NAME where the LDAP name is the directory's.
        std::vector<std::string> mayList;
        std::string types;
        std::set<uint32_t> ownSyntaxes;
        for (size_t i = 0; i < FW.Schema.Attrs.size(); ++i) {
            const TSimAttrDef& a = FW.Schema.Attrs[i];
            const std::string& name = FAttrNames[i];
            if (a.Name == "Object Class")
                continue;
            mayList.push_back(name);
            if (kServerOwnUsed.count(LowerAscii(name)) != 0)
                continue;
            TLdapSyntax syn = SyntaxFor(a.Syntax);
            std::string oid(syn.Oid);
            std::string rules(syn.Rules);
            if (SyntaxOfLdapOid(syn.Oid) != a.Syntax) {
                // slapd checks matching rules against the syntax named, not the one it
                // substitutes: these attributes are compared as present or not only.
                oid = std::string(kDirectorySyntaxArc) + std::to_string(a.Syntax);
                rules.clear();
                ownSyntaxes.insert(a.Syntax);
            }
            types += "attributetype ( " + std::string(kAttrArc) + std::to_string(i + 1) +
                     " NAME '" + name + "' " + (rules.empty() ? "" : rules + " ") + "SYNTAX " + oid;
            if (a.Name != name || !BuiltInDirectoryAttrName(name).empty())
                types += " X-NDS_NAME " + Quoted(a.Name);
            types += " )\n";
        }
        for (uint32_t syntax : ownSyntaxes)
            s += "ldapsyntax ( " + std::string(kDirectorySyntaxArc) + std::to_string(syntax) +
                 " DESC 'syntax " + std::to_string(syntax) + "' X-NDS_SYNTAX '" +
                 std::to_string(syntax) + "' X-SUBST '" + std::string(SyntaxFor(syntax).Oid) +
                 "' )\n";
        s += types;
        std::string may;
        // Long definitions continue on lines that begin with a blank.
        for (size_t i = 0; i < mayList.size(); ++i)
            may += (i == 0 ? "" : (i % kNamesPerLine == 0 ? " $\n  " : " $ ")) + mayList[i];
        for (size_t i = 0; i < FW.Schema.Classes.size(); ++i) {
            const TSimClass& c = FW.Schema.Classes[i];
            const std::string& name = FClassNames[i];
            if (kServerOwnUsed.count(LowerAscii(name)) != 0)
                continue;
            std::string sup;
            for (int32_t k : c.Super)
                sup += (sup.empty() ? "" : " $ ") + FClassNames[k];
            if (sup.empty())
                sup = "top";
            else if (c.Super.size() > 1)
                sup = "( " + sup + " )";
            bool rootClass = c.Super.empty() ||
                             (c.Super.size() == 1 && FW.Schema.Classes[c.Super[0]].Name == "Top");
            s += "objectclass ( " + std::string(kClassArc) + std::to_string(i + 1) + " NAME '" +
                 name + "' SUP " + sup + (c.Auxiliary ? " AUXILIARY" : " STRUCTURAL");
            if (rootClass && !c.Auxiliary)
                s += " MAY ( " + may + " )";
            s += " X-NDS_NAME " + Quoted(c.Name);
            if (!c.Container)
                s += " X-NDS_NOT_CONTAINER '1'";
            s += " )\n";
        }
    }

    std::string DnOf(std::string_view typeless) const {
        std::string_view name = typeless;
        if (!name.empty() && name[0] == '.')
            name.remove_prefix(1);
        int32_t index = FT.Find(name);
        if (index == 0)
            return std::string(kRoot);
        return index > 0 ? FDns[index] : std::string();
    }

    std::string NamingAttrName(int32_t cls) const {
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kNaming{
            {{"Organization", "o"},
             {"Organizational Unit", "ou"},
             {"Country", "c"},
             {"Locality", "l"}}};
        for (const auto& [clsName, attr] : kNaming)
            if (FW.Schema.IsA(cls, clsName))
                return std::string(attr);
        return "cn";
    }

    // The LDAP form of one value; false when it has none here.
    bool ValueText(const TSimObject& o, const TSimAttr& a, const TAttrValue& v, std::string& out) {
        uint32_t syntax = FW.Schema.Attrs[a.Attr].Syntax;
        const auto* str = std::get_if<TValString>(&v.Data);
        switch (syntax) {
        case SYN_DIST_NAME:
            out = str != nullptr ? DnOf(str->Text) : std::string();
            return !out.empty() && out != kRoot;
        case SYN_OBJECT_ACL: {
            const auto& acl = std::get<TValObjectACL>(v.Data);
            TLdapAcl l;
            bool entry = acl.ProtectedAttrName == kEntryRights;
            PrivilegesToLdap(acl.Privileges, entry, l);
            l.Subject = acl.SubjectName.empty() || acl.SubjectName[0] == '['
                            ? acl.SubjectName
                            : DnOf(acl.SubjectName);
            if (acl.ProtectedAttrName.empty() || acl.ProtectedAttrName[0] == '[') {
                l.ProtectedAttr = acl.ProtectedAttrName;
            } else {
                int32_t pa = FW.Schema.FindAttr(acl.ProtectedAttrName);
                if (pa < 0)
                    return false;
                l.ProtectedAttr = FAttrNames[pa];
            }
            if (l.Subject.empty())
                return false;
            out = FormatAclValue(l);
            return true;
        }
        case SYN_STREAM:
            out = a.Stream;
            return true;
        default:
            break;
        }
        return std::visit(
            [&](const auto& d) -> bool {
                using T = std::decay_t<decltype(d)>;
                if constexpr (std::is_same_v<T, TValString>) {
                    out = d.Text;
                } else if constexpr (std::is_same_v<T, TValCIList>) {
                    out.clear();
                    for (const auto& item : d.Items)
                        out += (out.empty() ? "" : "$") + item;
                } else if constexpr (std::is_same_v<T, TValBoolean>) {
                    out = d.Value != 0 ? "TRUE" : "FALSE";
                } else if constexpr (std::is_same_v<T, TValInteger>) {
                    out = std::to_string(d.Value);
                } else if constexpr (std::is_same_v<T, TValOctetString>) {
                    out = d.Data;
                } else if constexpr (std::is_same_v<T, TValFax>) {
                    out = d.TelephoneNumber;
                } else if constexpr (std::is_same_v<T, TValNetAddress>) {
                    out = std::to_string(d.AddressType) + "#" + d.Address;
                } else if constexpr (std::is_same_v<T, TValEMail>) {
                    out = std::to_string(d.Type) + "#" + d.Address;
                } else if constexpr (std::is_same_v<T, TValPath>) {
                    out = std::to_string(d.NameSpaceType) + "#" + DnOf(d.VolumeName) + "#" + d.Path;
                } else if constexpr (std::is_same_v<T, TValReplicaPointer>) {
                    out = DnOf(d.ServerName) + "#" + std::to_string(d.ReplicaType) + "#" +
                          std::to_string(d.ReplicaNumber);
                } else if constexpr (std::is_same_v<T, TValPostalAddress>) {
                    out.clear();
                    for (size_t i = 0; i < d.Lines.size(); ++i)
                        out += (i == 0 ? "" : "$") + d.Lines[i];
                } else if constexpr (std::is_same_v<T, TValTimestamp>) {
                    out = std::to_string(d.WholeSeconds) + "#" + std::to_string(d.ReplicaNum) +
                          "#" + std::to_string(d.EventID);
                } else if constexpr (std::is_same_v<T, TValBackLink>) {
                    out = std::to_string(d.RemoteID) + "#" + DnOf(d.ObjectName);
                } else if constexpr (std::is_same_v<T, TValTime>) {
                    out = GeneralizedTime(d.Seconds);
                } else if constexpr (std::is_same_v<T, TValTypedName>) {
                    out = DnOf(d.ObjectName) + "#" + std::to_string(d.Level) + "#" +
                          std::to_string(d.Interval);
                } else if constexpr (std::is_same_v<T, TValHold>) {
                    out = DnOf(d.ObjectName) + "#" + std::to_string(d.Amount);
                } else if constexpr (std::is_same_v<T, TValInterval>) {
                    out = std::to_string(d.Seconds);
                } else if constexpr (std::is_same_v<T, TValUnknown>) {
                    out = d.Value;
                } else if constexpr (std::is_same_v<T, TValRaw>) {
                    out = d.Bytes;
                } else {
                    (void)o;
                    return false; // octet lists: several byte strings in one value
                }
                return true;
            },
            v.Data);
    }

    void Skip(const TSimObject& o, std::string_view attr, std::string_view why) {
        FOut.Skipped +=
            "." + o.FullName + ": " + std::string(attr) + ": " + std::string(why) + "\n";
    }

    void WriteAttrs(std::string& out, const TSimObject& o) {
        for (const TSimAttr& a : o.Attrs) {
            const TSimAttrDef& def = FW.Schema.Attrs[a.Attr];
            bool binary = SyntaxFor(def.Syntax).Binary;
            for (const TAttrValue& v : a.Values) {
                std::string text;
                if (!ValueText(o, a, v, text)) {
                    Skip(o, def.Name, "a value with no LDAP form here");
                    continue;
                }
                if (text.empty() && !binary) {
                    Skip(o, def.Name, "an empty value");
                    continue;
                }
                AddLine(out, FAttrNames[a.Attr], text, binary);
            }
        }
    }

    void WriteEntries() {
        // Parents before children: a walk from the top.
        std::vector<int32_t> stack(FT.Objects[0].Children.rbegin(), FT.Objects[0].Children.rend());
        while (!stack.empty()) {
            int32_t index = stack.back();
            stack.pop_back();
            const TSimObject& o = FT.Objects[index];
            std::string naming = NamingAttrName(o.Class);
            std::string rdn = naming + "=" + EscapeDnValue(o.Rdn);
            FDns[index] = o.Parent > 0 ? rdn + "," + FDns[o.Parent] : rdn;
            if (o.Parent <= 0)
                FOut.Suffixes += FDns[index] + "\n";
            for (auto it = o.Children.rbegin(); it != o.Children.rend(); ++it)
                stack.push_back(*it);
        }
        // DN values may point anywhere in the tree: every DN is known before the first entry.
        stack.assign(FT.Objects[0].Children.rbegin(), FT.Objects[0].Children.rend());
        while (!stack.empty()) {
            int32_t index = stack.back();
            stack.pop_back();
            const TSimObject& o = FT.Objects[index];
            std::string& out = FOut.Ldif;
            AddLine(out, "dn", FDns[index], false);
            bool alias = false;
            for (const std::string& cls : FW.Schema.ObjectClassValues(o.Class, o.Aux)) {
                int32_t ci = FW.Schema.FindClass(cls);
                const std::string& ldapName = ci >= 0 ? FClassNames[ci] : cls;
                alias = alias || LowerAscii(ldapName) == "alias";
                AddLine(out, "objectClass", ldapName, false);
            }
            if (alias) // the server's own alias class allows no naming attribute
                AddLine(out, "objectClass", "extensibleObject", false);
            std::string naming = NamingAttrName(o.Class);
            int32_t namingAttr = -1;
            for (size_t i = 0; i < FAttrNames.size(); ++i)
                if (FAttrNames[i] == naming)
                    namingAttr = static_cast<int32_t>(i);
            if (namingAttr < 0 || FT.FindAttr(index, namingAttr) == nullptr)
                AddLine(out, naming, o.Rdn, false);
            AddLine(out, "createTimestamp", GeneralizedTime(o.Created), false);
            AddLine(out, "modifyTimestamp", GeneralizedTime(o.Modified), false);
            WriteAttrs(out, o);
            out += '\n';
            for (auto it = o.Children.rbegin(); it != o.Children.rend(); ++it)
                stack.push_back(*it);
        }
    }

    void WriteRootDse() {
        std::string& out = FOut.RootDse;
        out += "dn:\n";
        AddLine(out, std::string(kTreeNameAttr), FT.Name, false);
        WriteAttrs(out, FT.Objects[0]);
    }
};

} // namespace

TLdapSchemaNames LdapSchemaNames(const TSimSchema& schema) {
    TLdapSchemaNames out;
    TNamer namer;
    for (const TSimAttrDef& a : schema.Attrs)
        out.Attrs.push_back(namer.Name(a.Name, BuiltInLdapAttrName(a.Name)));
    TNamer classNamer;
    for (const TSimClass& c : schema.Classes)
        out.Classes.push_back(classNamer.Name(c.Name, BuiltInLdapClassName(c.Name)));
    return out;
}

bool ExportLdif(const TSimWorld& world, size_t tree, TLdifExport& out, std::string& error) {
    if (tree >= world.Trees.size()) {
        error = "the file holds no tree " + std::to_string(tree + 1);
        return false;
    }
    out = TLdifExport{};
    TExporter(world, world.Trees[tree], out).Run();
    return true;
}

} // namespace trovalen::convert
