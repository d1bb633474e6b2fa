// The LDIF import: a tree file exported and imported again holds every object, ACL value and
// equivalence it held (compared through the loaded model) and scans the same; an export as
// ldapsearch writes it from a live tree loads with what it needs added; a bad LDIF gets one
// message; trovalen-tree import-ldif answers with its exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "convert/LdifExport.h"
#include "convert/LdifImport.h"
#include "rights/ScanSession.h"
#include "util/Util.h"

using namespace trovalen;
using namespace trovalen::sim;
using namespace trovalen::convert;

namespace {

const std::string kSampleTree = std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";

// What the round trip keeps: per object its class and auxiliary classes, its ACL values and the
// names of its equivalences and memberships, all by name.
struct TFacts {
    std::map<std::string, std::string> Classes;
    std::multiset<std::string> Acl;
    std::multiset<std::string> Equivalences;
};

TFacts FactsOf(const TSimWorld& w, const TSimTree& t) {
    TFacts f;
    auto name = [&t](int32_t i) {
        return i == 0 ? std::string("[Root]") : U_LowerCase(t.Objects[i].FullName);
    };
    static const std::set<std::string> kEquivalences{"Security Equals", "Group Membership",
                                                     "Member", "Equivalent To Me"};
    for (size_t i = 0; i < t.Objects.size(); ++i) {
        const TSimObject& o = t.Objects[i];
        std::string object = name(static_cast<int32_t>(i));
        std::string cls = w.Schema.Classes[o.Class].Name;
        std::set<std::string> aux;
        for (int32_t a : o.Aux)
            aux.insert(w.Schema.Classes[a].Name);
        for (const std::string& a : aux)
            cls += "+" + a;
        f.Classes[object] = cls;
        for (const TSimAcl& a : o.Acl) {
            std::string subject = a.Subject >= 0 ? name(a.Subject) : std::to_string(a.Subject);
            std::string prot =
                a.Protected >= 0 ? w.Schema.Attrs[a.Protected].Name : std::to_string(a.Protected);
            f.Acl.insert(object + " | " + subject + " | " + prot + " | " +
                         std::to_string(a.Privileges));
        }
        for (const TSimAttr& a : o.Attrs) {
            const std::string& attr = w.Schema.Attrs[a.Attr].Name;
            if (kEquivalences.count(attr) == 0)
                continue;
            for (const TAttrValue& v : a.Values)
                f.Equivalences.insert(object + " | " + attr + " | " +
                                      U_LowerCase(std::get<TValString>(v.Data).Text));
        }
    }
    return f;
}

// Exports one tree (entries, then the root DSE) and imports it again with the export's schema.
std::shared_ptr<TSimWorld> RoundTrip(const TSimWorld& world, size_t tree, TLdifImport& imported) {
    TLdifExport ldif;
    std::string error;
    EXPECT_TRUE(ExportLdif(world, tree, ldif, error)) << error;
    TLdifImportOptions options;
    options.SchemaText = ldif.Schema;
    EXPECT_TRUE(ImportLdif(ldif.Ldif + "\n" + ldif.RootDse, options, imported, error)) << error;
    auto back = LoadTreeText(imported.Json, "imported.json", error);
    EXPECT_TRUE(back) << error << "\n" << imported.Json.substr(0, 2000);
    return back;
}

TEST(LdifImport, RoundTripKeepsEveryObjectAclValueAndEquivalence) {
    std::vector<std::string> files{kSampleTree};
    for (const char* f :
         {"rights-allattrs.json", "rights-edir.json", "rights-fs.json", "rights-many-equal.json",
          "rights-many-own.json", "rights-names.json", "read-names.json"})
        files.push_back(std::string(TROVALEN_TEST_DATA) + "/" + f);
    for (const std::string& file : files) {
        std::string error;
        auto world = LoadTreeFile(file, error);
        ASSERT_TRUE(world) << error;
        for (size_t t = 0; t < world->Trees.size(); ++t) {
            SCOPED_TRACE(file + " " + world->Trees[t].Name);
            TLdifImport imported;
            auto back = RoundTrip(*world, t, imported);
            ASSERT_TRUE(back);
            ASSERT_EQ(back->Trees.size(), 1u);
            EXPECT_EQ(back->Trees[0].Name, world->Trees[t].Name);
            TFacts before = FactsOf(*world, world->Trees[t]);
            TFacts after = FactsOf(*back, back->Trees[0]);
            EXPECT_EQ(after.Classes, before.Classes);
            EXPECT_EQ(after.Acl, before.Acl);
            EXPECT_EQ(after.Equivalences, before.Equivalences);
            EXPECT_EQ(imported.Objects + 1, world->Trees[t].Objects.size());
            for (const std::string& m : imported.Messages)
                EXPECT_EQ(m.find("left out"), std::string::npos) << m;
        }
    }
}

// Classes and attributes a tree file adds come back under their own names when the export's
// schema goes with the LDIF, a structural class with its super class.
TEST(LdifImport, RoundTripWithAddedSchema) {
    const char* tree = R"({"format": 1,
      "schema": {"attributes": {"Badge Number": "Integer"},
                 "classes": {"Lab Bench": {"super": ["Device"]},
                             "Lab Wing": {"super": ["Organizational Unit"], "container": true}}},
      "trees": [{"name": "LAB_TREE", "objects": [
        {"name": "Lab", "class": "Organization",
         "acl": [{"subject": ".Ann.Lab", "attribute": "Badge Number", "rights": "CRW I"}]},
        {"name": "Ann.Lab", "class": "User", "attributes": {"Badge Number": [7]}},
        {"name": "East.Lab", "class": "Lab Wing"},
        {"name": "Bench.East.Lab", "class": "Lab Bench"}]}]})";
    std::string error;
    auto world = LoadTreeText(tree, "lab.json", error);
    ASSERT_TRUE(world) << error;
    TLdifImport imported;
    auto back = RoundTrip(*world, 0, imported);
    ASSERT_TRUE(back);
    TFacts before = FactsOf(*world, world->Trees[0]);
    TFacts after = FactsOf(*back, back->Trees[0]);
    EXPECT_EQ(after.Classes, before.Classes);
    EXPECT_EQ(after.Acl, before.Acl);
    int32_t bench = back->Schema.FindClass("Lab Bench");
    ASSERT_GE(bench, 0);
    EXPECT_TRUE(back->Schema.IsA(bench, "Device"));
    const TSimAttr* badge = back->Trees[0].FindAttr(back->Trees[0].Find("Ann.Lab"),
                                                    back->Schema.FindAttr("Badge Number"));
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(std::get<TValInteger>(badge->Values[0].Data).Value, 7);
}

// The summary of an eDirectory scan, without its date line.
std::vector<std::string> ScanSummary(std::shared_ptr<const TSimWorld> world,
                                     const std::string& treeName, const std::string& entry) {
    TSimClient client(std::move(world));
    TScanSession session(&client);
    EXPECT_TRUE(session.Started());
    EXPECT_EQ(session.ChooseTree(treeName.empty() ? session.PrimaryTree() : treeName), NW_OK);
    TScanRequest request;
    request.Edir = true;
    request.VariantName = "Trovalen.edir";
    request.Entries.Add(entry);
    TScanHost host;
    TScanResult result;
    session.Scan(request, host, result);
    std::vector<std::string> out;
    for (const auto& line : result.Summary)
        if (!U_StartsWith(line.Text, "Date:"))
            out.push_back(line.Text);
    return out;
}

TEST(LdifImport, ReimportedSampleTreeScansTheSameWithoutConnections) {
    std::string error;
    auto world = LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    TLdifImport imported;
    auto back = RoundTrip(*world, 0, imported);
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->Conns.empty());
    std::vector<std::string> original = ScanSummary(world, "", ".Admin.Corvale");
    std::vector<std::string> again = ScanSummary(back, "", ".Admin.Corvale");
    EXPECT_EQ(again, original);
    EXPECT_GT(original.size(), 10u);
}

// An export of a live tree as ldapsearch writes it: comments, folded lines, a base64 name, ACL
// values on attributes the built-in schema lacks and with high privilege bits, trustees outside
// the export and a container the export lacks.
const char kLiveExport[] =
    "version: 1\n"
    "\n"
    "# extended LDIF\n"
    "#\n"
    "# LDAPv3\n"
    "# base <o=Corvale> with scope subtree\n"
    "# requesting: ACL objectClass securityEquals groupMembership member * \n"
    "#\n"
    "\n"
    "# Corvale\n"
    "dn: o=Corvale\n"
    "objectClass: Organization\n"
    "objectClass: ndsLoginProperties\n"
    "objectClass: ndsContainerLoginProperties\n"
    "objectClass: Top\n"
    "o: Corvale\n"
    "ACL: 2#entry#[Public]#sssActiveServerList\n"
    "ACL: 12#subtree#[This]#nsimHint\n"
    "ACL: 16#subtree#cn=admin,o=services#[Entry Rights]\n"
    "ACL: 2147483654#subtree#cn=J\\C3\\B6rg,ou=Sales,o=Corvale#[Entry Rights]\n"
    "ACL: 35#subtree#cn=Mara,ou=Sales,o=Corvale#[All Attribut\n"
    " es Rights]\n"
    "ACL: 3#entry#[Self]#[All Attributes Rights]\n"
    "ACL: 1#entry#[Public]\n"
    "\n"
    "dn: ou=Sales,o=Corvale\n"
    "objectClass: organizationalUnit\n"
    "objectClass: Top\n"
    "ou: Sales\n"
    "\n"
    "# J\xC3\xB6rg, Sales, Corvale\n"
    "dn:: Y249SsO2cmcsb3U9U2FsZXMsbz1Db3J2YWxl\n"
    "objectClass: inetOrgPerson\n"
    "objectClass: organizationalPerson\n"
    "objectClass: Person\n"
    "objectClass: ndsLoginProperties\n"
    "objectClass: Top\n"
    "structuralObjectClass: inetOrgPerson\n"
    "cn: J\xC3\xB6rg\n"
    "sn: Lind\n"
    "securityEquals: cn=Staff,o=Corvale\n"
    "groupMembership: cn=Staff,o=Corvale\n"
    "nsimHint: wears a hat\n"
    "fullName;lang-de: J\xC3\xB6rg Lind\n"
    "\n"
    "dn: cn=Staff,o=Corvale\n"
    "objectClass: groupOfNames\n"
    "objectClass: Top\n"
    "member: cn=J\\C3\\B6rg,ou=Sales,o=Corvale\n"
    "member: cn=Mara,ou=Sales,o=Corvale\n"
    "\n"
    "dn: cn=Bench,ou=Labs,ou=Research,o=Corvale\n"
    "objectClass: device\n"
    "objectClass: corvaleBadge\n"
    "objectClass: Top\n"
    "\n"
    "dn: cn=Mara,ou=Sales,o=Corvale\n"
    "changetype: delete\n"
    "\n"
    "# search result\n"
    "search: 2\n"
    "result: 0 Success\n"
    "\n"
    "# numResponses: 6\n"
    "# numEntries: 5\n";

bool HasMessage(const TLdifImport& r, const std::string& a, const std::string& b) {
    for (const std::string& m : r.Messages)
        if (m.find(a) != std::string::npos && m.find(b) != std::string::npos)
            return true;
    return false;
}

TEST(LdifImport, ALiveExportLoadsWithWhatItNeedsAdded) {
    TLdifImport r;
    std::string error;
    ASSERT_TRUE(ImportLdif(kLiveExport, {}, r, error)) << error;
    auto world = LoadTreeText(r.Json, "live.json", error);
    ASSERT_TRUE(world) << error << "\n" << r.Json;
    const TSimTree& t = world->Trees[0];
    EXPECT_EQ(t.Name, "Corvale") << "the top container names the tree";

    auto object = [&](const char* name) -> const TSimObject& {
        int32_t i = t.Find(name);
        EXPECT_GE(i, 0) << name;
        return t.Objects[i < 0 ? 0 : i];
    };
    auto cls = [&](const char* name) { return world->Schema.Classes[object(name).Class].Name; };
    EXPECT_EQ(cls("J\xC3\xB6rg.Sales.Corvale"), "User");
    EXPECT_EQ(cls("Research.Corvale"), "Organizational Unit") << "a container the LDIF lacks";
    EXPECT_EQ(cls("Labs.Research.Corvale"), "Organizational Unit");
    EXPECT_EQ(cls("Bench.Labs.Research.Corvale"), "Device");
    ASSERT_EQ(object("Bench.Labs.Research.Corvale").Aux.size(), 1u);
    EXPECT_EQ(cls("admin.services"), "Unknown") << "a trustee outside the export";
    EXPECT_EQ(cls("services"), "Organization");
    EXPECT_EQ(cls("Mara.Sales.Corvale"), "Unknown");
    EXPECT_TRUE(object("Corvale").Aux.empty()) << "an Organization brings its own";

    // The ACL of Corvale: five values the tree file holds, in their privileges.
    const TSimObject& top = object("Corvale");
    std::multiset<std::string> acl;
    for (const TSimAcl& a : top.Acl)
        acl.insert((a.Subject >= 0 ? t.Objects[a.Subject].FullName : std::to_string(a.Subject)) +
                   " " +
                   (a.Protected >= 0 ? world->Schema.Attrs[a.Protected].Name
                                     : std::to_string(a.Protected)) +
                   " " + std::to_string(a.Privileges));
    std::multiset<std::string> want{
        "-1 sssActiveServerList 2", "-2 nsimHint 76", "admin.services -1 16",
        "J\xC3\xB6rg.Sales.Corvale -1 2147483654", "Mara.Sales.Corvale -2 99"};
    EXPECT_EQ(acl, want);
    EXPECT_EQ(r.AclValues, 5u);

    const TSimObject& jorg = object("J\xC3\xB6rg.Sales.Corvale");
    ASSERT_EQ(jorg.SecurityEquals.size(), 1u);
    EXPECT_EQ(t.Objects[jorg.SecurityEquals[0]].FullName, "Staff.Corvale");
    int32_t hint = world->Schema.FindAttr("nsimHint");
    ASSERT_GE(hint, 0);
    EXPECT_NE(t.FindAttr(t.Find("J\xC3\xB6rg.Sales.Corvale"), hint), nullptr);
    EXPECT_NE(t.FindAttr(t.Find("J\xC3\xB6rg.Sales.Corvale"), world->Schema.FindAttr("Full Name")),
              nullptr);
    const TSimAttr* members = t.FindAttr(t.Find("Staff.Corvale"), world->Schema.FindAttr("Member"));
    ASSERT_NE(members, nullptr);
    EXPECT_EQ(members->Values.size(), 2u);

    // Every value the tree file cannot hold, and everything made up, has its line.
    EXPECT_TRUE(HasMessage(r, "o=Corvale", "[Self] has no form"));
    EXPECT_TRUE(HasMessage(r, "o=Corvale", "four fields"));
    EXPECT_TRUE(HasMessage(r, "ou=Research,o=Corvale", "not in the LDIF"));
    EXPECT_TRUE(HasMessage(r, "cn=admin,o=services", "for the values that name it"));
    EXPECT_TRUE(HasMessage(r, "fullName;lang-de", "options"));
    EXPECT_TRUE(HasMessage(r, "schema", "nsimHint"));
    EXPECT_TRUE(HasMessage(r, "schema", "corvaleBadge"));
    EXPECT_TRUE(HasMessage(r, "cn=Mara", "change record"));
    EXPECT_TRUE(r.Losses.empty()) << r.Losses[0];
}

// An entry given twice: the first stays whole, with every value elsewhere that names it, and the
// repeat is named with its line, whether it is spelled the same or only names the same object.
// The tree file made from an export is pinned byte for byte: its layout, the order of its
// objects and of their values, the schema it adds and the text of every value.
TEST(LdifImport, TheSameLdifMakesTheSameTreeFile) {
    auto read = [](const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    };
    const std::string ldif =
        read(std::string(TROVALEN_SOURCE_DIR) + "/tests/fuzz/corpus/ldif/live-export.ldif");
    ASSERT_FALSE(ldif.empty());
    TLdifImport r;
    std::string error;
    ASSERT_TRUE(ImportLdif(ldif, {}, r, error)) << error;
    EXPECT_EQ(r.Json, read(std::string(TROVALEN_TEST_DATA) + "/golden/import-live-export.json"));
}

TEST(LdifImport, AnEntryGivenTwiceKeepsTheFirstAndEveryValueThatNamesIt) {
    for (const char* repeat : {"ou=Sales,o=Corvale", "OU=sales,O=corvale"}) {
        std::string ldif = "dn: o=Corvale\nobjectClass: organization\n"
                           "ACL: 1#subtree#ou=Sales,o=Corvale#[Entry Rights]\n\n"
                           "dn: ou=Sales,o=Corvale\nobjectClass: organizationalUnit\n"
                           "ACL: 2#entry#ou=Sales,o=Corvale#[Entry Rights]\n"
                           "ACL: 4#subtree#[Public]#[Entry Rights]\n"
                           "ACL: 8#subtree#cn=Mara,ou=Sales,o=Corvale#[Entry Rights]\n\n"
                           "dn: cn=Mara,ou=Sales,o=Corvale\nobjectClass: inetOrgPerson\n"
                           "securityEquals: ou=Sales,o=Corvale\n\n"
                           "dn: " +
                           std::string(repeat) +
                           "\nobjectClass: organizationalUnit\n"
                           "ACL: 16#entry#[Public]#[Entry Rights]\n\n"
                           "dn: cn=Staff,o=Corvale\nobjectClass: groupOfNames\n"
                           "member: cn=Mara,ou=Sales,o=Corvale\nmember: ou=Sales,o=Corvale\n";
        TLdifImport r;
        std::string error;
        ASSERT_TRUE(ImportLdif(ldif, {}, r, error)) << error;
        auto world = LoadTreeText(r.Json, "twice.json", error);
        ASSERT_TRUE(world) << error << "\n" << r.Json;
        const TSimTree& t = world->Trees[0];
        const int32_t sales = t.Find("Sales.Corvale");
        ASSERT_GE(sales, 0);
        auto acl = [&](const char* name) {
            std::multiset<std::string> out;
            for (const TSimAcl& a : t.Objects[t.Find(name)].Acl)
                out.insert(
                    (a.Subject >= 0 ? t.Objects[a.Subject].FullName : std::to_string(a.Subject)) +
                    " " + std::to_string(a.Privileges));
            return out;
        };
        EXPECT_EQ(acl("Sales.Corvale"),
                  (std::multiset<std::string>{"Sales.Corvale 66", "-1 4", "Mara.Sales.Corvale 8"}))
            << repeat;
        EXPECT_EQ(acl("Corvale"), std::multiset<std::string>{"Sales.Corvale 1"}) << repeat;
        const TSimObject& mara = t.Objects[t.Find("Mara.Sales.Corvale")];
        ASSERT_EQ(mara.SecurityEquals.size(), 1u) << repeat;
        EXPECT_EQ(mara.SecurityEquals[0], sales);
        const TSimAttr* members =
            t.FindAttr(t.Find("Staff.Corvale"), world->Schema.FindAttr("Member"));
        ASSERT_NE(members, nullptr);
        EXPECT_EQ(members->Values.size(), 2u) << repeat;
        EXPECT_EQ(r.AclValues, 4u) << repeat;
        ASSERT_EQ(r.Losses.size(), 1u) << repeat;
        EXPECT_NE(r.Losses[0].find("line 15: \"" + std::string(repeat) + "\""), std::string::npos)
            << r.Losses[0];
        EXPECT_NE(r.Losses[0].find("line 5 is kept"), std::string::npos) << r.Losses[0];
    }
    // A second root DSE is no second tree name.
    TLdifImport r;
    std::string error;
    ASSERT_TRUE(ImportLdif("dn: o=A\nobjectClass: organization\n\ndn:\ndirectoryTreeName: ONE\n\n"
                           "dn:\ndirectoryTreeName: TWO\n",
                           {}, r, error))
        << error;
    EXPECT_EQ(r.TreeName, "ONE");
    ASSERT_EQ(r.Losses.size(), 1u);
    EXPECT_NE(r.Losses[0].find("line 7"), std::string::npos) << r.Losses[0];
}

TEST(LdifImport, TheTreeNameComesFromTheOptionThenTheRootDse) {
    std::string ldif = "dn: o=Acme\nobjectClass: organization\n\n";
    std::string error;
    TLdifImport r;
    ASSERT_TRUE(ImportLdif(ldif + "dn:\ndirectoryTreeName: ACME_TREE\n", {}, r, error)) << error;
    EXPECT_EQ(r.TreeName, "ACME_TREE");
    TLdifImportOptions named;
    named.TreeName = "OTHER";
    ASSERT_TRUE(ImportLdif(ldif + "dn:\ndirectoryTreeName: ACME_TREE\n", named, r, error));
    EXPECT_EQ(r.TreeName, "OTHER");
    // A name the loader refuses is made fit, and says so.
    ASSERT_TRUE(ImportLdif("dn: o=Acme Inc\nobjectClass: organization\n", {}, r, error));
    EXPECT_EQ(r.TreeName, "Acme-Inc");
    EXPECT_TRUE(HasMessage(r, "tree", "Acme-Inc"));
}

TEST(LdifImport, BadInputsGetOneMessage) {
    struct TCase {
        std::string Ldif;
        std::string TreeName;
        std::string Message;
    } cases[] = {
        {"dn: o=A\nobjectClass organization\n", "", "line 2:"},
        {"dn:: ****\n", "", "line 1: the value of dn is no valid base64"},
        {"objectClass: top\n", "", "line 1: a record begins with \"dn:\""},
        {"dn: o=A\njpegPhoto:< file:///etc/passwd\n", "", "named by a URL"},
        {"", "", "holds no entry"},
        {"# only a comment\n", "", "holds no entry"},
        {"dn: cn=Joe\nobjectClass: inetOrgPerson\n", "", "holds no entry"},
        {"dn: o=A\nobjectClass: organization\n", "BAD NAME", "is no tree name"},
        {"dn: o=A\nobjectClass: organization\n", "LONG" + std::string(40, 'X'), "is no tree name"},
        {"dn: o=A\nobjectClass: organization\n", "PADDED_", "is no tree name"},
    };
    for (const TCase& c : cases) {
        TLdifImportOptions options;
        options.TreeName = c.TreeName;
        TLdifImport r;
        std::string error;
        EXPECT_FALSE(ImportLdif(c.Ldif, options, r, error)) << c.Ldif;
        EXPECT_NE(error.find(c.Message), std::string::npos) << c.Ldif << " -> " << error;
    }
}

TEST(LdifImport, EntriesATreeFileCannotHoldAreNamed) {
    const char* ldif = "dn: o=A\nobjectClass: organization\n\n"
                       "dn: cn=x.y,o=A\nobjectClass: inetOrgPerson\n\n"
                       "dn: cn=[z],o=A\nobjectClass: inetOrgPerson\n\n"
                       "dn: cn=Joe,o=A\nobjectClass: inetOrgPerson\nloginGraceLimit: many\n"
                       "securityEquals: cn=x.y,o=A\n\n"
                       "dn: CN=joe,O=a\nobjectClass: inetOrgPerson\n\n"
                       "dn: cn=Kid,cn=Joe,o=A\nobjectClass: inetOrgPerson\n\n"
                       "dn: cn=Al,o=A\nobjectClass: alias\naliasedObjectName: cn=Al,o=A\n\n"
                       "dn: a=b=c\nobjectClass: top\n";
    TLdifImport r;
    std::string error;
    ASSERT_TRUE(ImportLdif(ldif, {}, r, error)) << error;
    ASSERT_TRUE(LoadTreeText(r.Json, "odd.json", error)) << error << "\n" << r.Json;
    EXPECT_TRUE(HasMessage(r, "cn=x.y,o=A", "left out"));
    EXPECT_TRUE(HasMessage(r, "cn=[z],o=A", "left out"));
    EXPECT_TRUE(HasMessage(r, "cn=Joe,o=A", "Login Grace Limit"));
    EXPECT_TRUE(HasMessage(r, "cn=Joe,o=A", "Security Equals"));
    ASSERT_EQ(r.Losses.size(), 1u);
    EXPECT_NE(r.Losses[0].find("\"CN=joe,O=a\" names the same object"), std::string::npos);
    EXPECT_TRUE(HasMessage(r, "cn=Kid,cn=Joe,o=A", "holds no objects"));
    EXPECT_TRUE(HasMessage(r, "cn=Al,o=A", "taken as Unknown"));
    EXPECT_TRUE(HasMessage(r, "a=b=c", "malformed distinguished name"));
    EXPECT_EQ(r.Objects, 3u); // A, Joe, Al
}

// --- trovalen-tree import-ldif ----------------------------------------------------------------

class ImportLdifCli : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/trovalen-ldif-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    int Run(const std::string& args, std::string* err = nullptr) {
        std::string cmd = std::string("'") + TROVALEN_TREE_EXE + "' " + args + " >'" + Dir +
                          "/out' 2>'" + Dir + "/err'";
        int raw = std::system(cmd.c_str());
        if (err != nullptr)
            *err = Slurp(Dir + "/err");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static std::string Slurp(const std::string& file) {
        std::ifstream f(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(Dir + "/" + name, std::ios::binary) << text;
    }
    std::string Dir;
};

TEST_F(ImportLdifCli, ExitCodesAndOutput) {
    Write("live.ldif", kLiveExport);
    std::string err;
    EXPECT_EQ(Run("import-ldif '" + Dir + "/live.ldif' -o '" + Dir + "/tree.json'", &err), 0)
        << err;
    EXPECT_NE(err.find("[Self]"), std::string::npos) << err;
    std::string loaded;
    EXPECT_TRUE(LoadTreeFile(Dir + "/tree.json", loaded)) << loaded;
    EXPECT_EQ(Run("check '" + Dir + "/tree.json'"), 0);
    // Without -o the file goes to standard output.
    EXPECT_EQ(Run("import-ldif --tree-name LIVE '" + Dir + "/live.ldif'"), 0);
    EXPECT_NE(Slurp(Dir + "/out").find("\"LIVE\""), std::string::npos);

    Write("bad.ldif", "dn: o=A\nbroken line\n");
    EXPECT_EQ(Run("import-ldif '" + Dir + "/bad.ldif' -o '" + Dir + "/bad.json'", &err), 1);
    EXPECT_NE(err.find("line 2"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(Dir + "/bad.json"));
    EXPECT_EQ(Run("import-ldif '" + Dir + "/none.ldif'", &err), 1) << err;
    // A file over the loader's limit is refused before it is read.
    {
        std::ofstream(Dir + "/huge.ldif").put('#');
        std::filesystem::resize_file(Dir + "/huge.ldif", kMaxTreeFileBytes + 1);
    }
    EXPECT_EQ(Run("import-ldif '" + Dir + "/huge.ldif'", &err), 1);
    EXPECT_NE(err.find("larger than 512 MiB"), std::string::npos) << err;

    EXPECT_EQ(Run("import-ldif", &err), 2);
    EXPECT_EQ(Run("import-ldif --bogus x.ldif", &err), 2);
    EXPECT_EQ(Run("import-ldif a.ldif b.ldif", &err), 2);
    EXPECT_EQ(Run("import-ldif a.ldif -o", &err), 2);
    EXPECT_EQ(Run("import-ldif --help"), 0);
}

// An LDIF that lacks part of what was written still makes a tree file of what was read, but the
// exit status is 1 and standard error names the line of what is missing.
TEST_F(ImportLdifCli, AnLdifThatLacksPartOfItsEntriesExitsOne) {
    const std::string live = kLiveExport;
    auto cutAt = [&](const std::string& at, size_t more = 0) {
        return live.substr(0, live.find(at) + more);
    };
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = live;
        return text.replace(text.find(from), from.size(), to);
    };
    struct TCase {
        std::string Ldif;
        std::string Message;
    } cases[] = {
        {replace("# numEntries: 5", "# numEntries: 6"),
         "line 65: \"# numEntries: 6\" says the search sent 6 entries; the text holds 5"},
        // Cut inside a name in base64 that still decodes.
        {cutAt("Y249SsO2cmcsb3U9U2Fs", 20), "line 32: the text ends inside this line"},
        {replace("dn: cn=Bench,", "dn: cn=Staff,o=Corvale\n\ndn: cn=Bench,"),
         "line 52: \"cn=Staff,o=Corvale\" is given a second time; the entry of line 46 is kept"},
    };
    for (const TCase& c : cases) {
        Write("part.ldif", c.Ldif);
        std::filesystem::remove(Dir + "/part.json");
        std::string err;
        EXPECT_EQ(Run("import-ldif '" + Dir + "/part.ldif' -o '" + Dir + "/part.json'", &err), 1)
            << err;
        EXPECT_NE(err.find("part.ldif: " + c.Message), std::string::npos) << err;
        EXPECT_NE(err.find("lacks part of"), std::string::npos) << err;
        std::string loaded;
        EXPECT_TRUE(LoadTreeFile(Dir + "/part.json", loaded)) << loaded;
        // Nothing cut short is kept: no container made from a shortened name.
        EXPECT_EQ(Slurp(Dir + "/part.json").find("\"Sal\""), std::string::npos);
    }
}

// export-ldif then import-ldif of its files keeps the tree's name and the ACL of [Root], which
// live in the root DSE written beside the LDIF; the LDIF's own root DSE wins over that file.
TEST_F(ImportLdifCli, ARoundTripThroughTheExportsFilesKeepsTheTree) {
    const std::string ldif = Dir + "/corvale.ldif";
    ASSERT_EQ(Run("export-ldif --tree CORVALE_TREE '" + kSampleTree + "' -o '" + ldif + "'"), 0);
    std::string err;
    ASSERT_EQ(
        Run("import-ldif --schema '" + ldif + ".schema' '" + ldif + "' -o '" + Dir + "/back.json'",
            &err),
        0)
        << err;
    std::string error;
    auto back = LoadTreeFile(Dir + "/back.json", error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->Trees.size(), 1u);
    EXPECT_EQ(back->Trees[0].Name, "CORVALE_TREE");
    auto world = LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    const TSimTree& before = world->Trees[world->FindTree("CORVALE_TREE")];
    EXPECT_EQ(back->Trees[0].Objects[0].Acl.size(), before.Objects[0].Acl.size())
        << "the ACL of [Root]";

    Write("own.ldif", "dn:\ndirectoryTreeName: OWN_TREE\n\n" + Slurp(ldif));
    std::filesystem::copy_file(ldif + ".rootdse", Dir + "/own.ldif.rootdse");
    ASSERT_EQ(Run("import-ldif '" + Dir + "/own.ldif' -o '" + Dir + "/own.json'", &err), 0) << err;
    auto own = LoadTreeFile(Dir + "/own.json", error);
    ASSERT_TRUE(own) << error;
    EXPECT_EQ(own->Trees[0].Name, "OWN_TREE");
}

TEST_F(ImportLdifCli, AScanOfTheImportedTreeNeedsNoConnection) {
    Write("live.ldif", kLiveExport);
    ASSERT_EQ(Run("import-ldif '" + Dir + "/live.ldif' -o '" + Dir + "/tree.json'"), 0);
    std::string error;
    auto world = LoadTreeFile(Dir + "/tree.json", error);
    ASSERT_TRUE(world) << error;
    std::vector<std::string> summary = ScanSummary(world, "", ".Corvale");
    bool jorg = false;
    for (const std::string& line : summary)
        jorg |= line.find(".J\xC3\xB6rg.Sales.Corvale\t[Entry Rights]") != std::string::npos;
    EXPECT_TRUE(jorg) << ::testing::PrintToString(summary);
}

} // namespace
