// The read routines and the searches over the simulated client: the bundled sample tree (also
// served in small batches) and a tree whose names hold the filter language's operators. (The
// simulated directory takes no "=" in a name, so a name holding "<=" is shown with the recording
// client of the filter tests.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>

#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "directory/DSValues.h"
#include "directory/sim/SimClient.h"
#include "directory/sim/SimLoader.h"
#include "rights/RightsModel.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {
namespace {

std::set<std::string> AsSet(const TStringList& list) {
    std::set<std::string> out;
    for (const TStringItem& item : list)
        out.insert(item.Text);
    return out;
}

class ReadSim : public ::testing::Test {
protected:
    std::shared_ptr<TSimClient> Client;
    NWHandle Ctx = 0;
    TUiHooks Previous;
    std::vector<std::string> Messages;

    static void SetUpTestSuite() {
        static std::string mount;
        if (mount.empty()) {
            char pattern[] = "/tmp/trovalen-read-XXXXXX";
            const char* dir = mkdtemp(pattern);
            ASSERT_NE(dir, nullptr);
            mount = dir;
        }
        setenv("TROVALEN_MOUNT", mount.c_str(), 1);
    }

    void SetUp() override {
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            Messages.push_back(text);
        };
        Previous = U_SetUiHooks(hooks);
    }

    void TearDown() override {
        if (Client != nullptr && Ctx != 0)
            Client->FreeContext(Ctx);
        SetNWClient(nullptr);
        U_ResetNetWare();
        U_SetUiHooks(Previous);
    }

    // Serves a world and opens a context at the top of the named tree.
    void Serve(std::shared_ptr<sim::TSimWorld> world, const std::string& tree) {
        ASSERT_NE(world, nullptr);
        if (Client != nullptr && Ctx != 0)
            Client->FreeContext(Ctx);
        Client = std::make_shared<TSimClient>(world);
        SetNWClient(Client);
        U_ResetNetWare();
        ASSERT_EQ(InitNetWare(), NW_OK);
        ASSERT_EQ(Client->NewContext(Ctx), NW_OK);
        ASSERT_EQ(U_DSSetContextFlags(Ctx, '+', DCV_TYPELESS_NAMES | DCV_DEREF_ALIASES), NW_OK);
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(Ctx, tree, "[Root]"), NW_OK);
    }

    // The sample tree; listBatch > 0 serves lists in batches of that many objects.
    void ServeSample(int listBatch = 0) {
        std::string text = SampleTreeText();
        if (listBatch > 0) {
            size_t brace = text.find('{');
            ASSERT_NE(brace, std::string::npos);
            text.insert(brace + 1,
                        "\"limits\": {\"listBatch\": " + std::to_string(listBatch) + "},");
        }
        std::string error;
        Serve(sim::LoadTreeText(text, "sample", error), "CORVALE_TREE");
        ASSERT_EQ(error, "");
    }

    void ServeOddNames() {
        std::string error;
        Serve(sim::LoadTreeFile(std::string(TROVALEN_TEST_DATA) + "/read-names.json", error),
              "ODD_TREE");
        ASSERT_EQ(error, "");
    }

    TStringList Attr(const std::string& object, const std::string& spec, NWCCODE expected = 0) {
        TStringList lines;
        EXPECT_EQ(U_DSGetAttributeEx(Ctx, object, spec, lines), expected) << object << " " << spec;
        return lines;
    }
};

TEST_F(ReadSim, ListContainerOnTheSampleTree) {
    for (int batch : {0, 2}) {
        ServeSample(batch);
        TStringList containers, objects;
        ASSERT_EQ(U_DSListContainer(Ctx, ".Corvale", &containers, true, "", &objects), NW_OK);
        EXPECT_EQ(AsSet(containers), (std::set<std::string>{"Sales", "Finance", "Research"}))
            << batch;
        int admin = objects.IndexOfExact("User: Admin");
        ASSERT_GE(admin, 0) << batch;
        EXPECT_EQ(objects.Value(admin), 6u);
        EXPECT_GE(objects.IndexOfExact("Organizational Unit: Sales"), 0);
        EXPECT_GE(objects.IndexOfExact("Alias: Boss"), 0);
        EXPECT_EQ(objects.Count(), 13) << batch;

        // The class filter of a container list is exact.
        objects.Clear();
        ASSERT_EQ(U_DSListContainer(Ctx, ".Corvale", nullptr, false, "User", &objects), NW_OK);
        EXPECT_EQ(AsSet(objects), (std::set<std::string>{"Admin", "BackupSvc"}));
        objects.Clear();
        ASSERT_EQ(U_DSListContainer(Ctx, ".Corvale", nullptr, false, "user", &objects), NW_OK);
        EXPECT_TRUE(objects.Empty());

        // Containers only, over every batch.
        containers.Clear();
        ASSERT_EQ(U_DSListContainer(Ctx, "[Root]", &containers, false, "", nullptr), NW_OK);
        EXPECT_EQ(AsSet(containers), (std::set<std::string>{"Corvale"}));

        // An empty container, and one that does not exist.
        objects.Clear();
        EXPECT_EQ(
            U_DSListContainer(Ctx, ".Labs.Research.Corvale", nullptr, false, "Group", &objects),
            NW_OK);
        EXPECT_TRUE(objects.Empty());
        EXPECT_NE(U_DSListContainer(Ctx, ".Nowhere.Corvale", &containers, false, "", &objects),
                  NW_OK);
        EXPECT_TRUE(objects.Empty());
    }
}

TEST_F(ReadSim, ListTreeOnTheSampleTree) {
    std::set<std::string> users, ous;
    for (int batch : {0, 2}) {
        ServeSample(batch);
        TStringList list;
        ASSERT_EQ(U_DSListTree(Ctx, ".Corvale", list, true, false, "user", 2), NW_OK);
        EXPECT_EQ(list.Count(), 15) << batch;
        EXPECT_GE(list.IndexOfExact(".Ezra.Labs.Research.Corvale"), 0);
        EXPECT_GE(list.IndexOfExact(".Dana (Contractor).Sales.Corvale"), 0);
        if (batch == 0)
            users = AsSet(list);
        else
            EXPECT_EQ(AsSet(list), users);

        list.Clear();
        ASSERT_EQ(U_DSListTree(Ctx, "[Root]", list, true, true, "ou", 1), NW_OK);
        std::set<std::string> expectedOus{"Organizational Unit: .Sales.Corvale",
                                          "Organizational Unit: .Finance.Corvale",
                                          "Organizational Unit: .Research.Corvale",
                                          "Organizational Unit: .Labs.Research.Corvale"};
        EXPECT_EQ(AsSet(list), expectedOus) << batch;

        list.Clear();
        ASSERT_EQ(U_DSListTree(Ctx, "[Root]", list, true, false, "", 0), NW_OK);
        EXPECT_EQ(list.Count(), 30) << batch;
    }

    // A relative container is found below the context's name context.
    ASSERT_EQ(U_DSChangeCurrentContext(Ctx, "Corvale"), NW_OK);
    TStringList list;
    ASSERT_EQ(U_DSListTree(Ctx, "Research", list, false, false, "", 2), NW_OK);
    EXPECT_EQ(AsSet(list),
              (std::set<std::string>{".Hal.Research.Corvale", ".Nadia.Research.Corvale",
                                     ".Vero.Research.Corvale", ".R&D Team.Research.Corvale"}));
}

TEST_F(ReadSim, ObjectsAndAliases) {
    ServeSample();
    TNDSObj obj;
    EXPECT_TRUE(U_DSObjectExists(Ctx, ".Mara.Sales.Corvale", obj));
    EXPECT_EQ(obj.BaseClass, "User");
    NWCCODE code = 0;
    EXPECT_FALSE(U_DSObjectExists(Ctx, ".Nobody.Corvale", obj, &code));
    EXPECT_NE(code, NW_OK);
    EXPECT_TRUE(obj.Name.empty());
    EXPECT_TRUE(U_DSIsContainer(Ctx, ".Sales.Corvale"));
    EXPECT_TRUE(U_DSIsLeaf(Ctx, ".Mara.Sales.Corvale"));
    EXPECT_TRUE(U_DSIsLeaf(Ctx, ".Nobody.Corvale"));

    // Through the alias the target is read; its own attribute is read on the alias itself.
    EXPECT_EQ(Attr(".Boss.Corvale", "Full Name").Strings(),
              Attr(".Admin.Corvale", "Full Name").Strings());
    for (const char* name : {"Aliased Object Name", "aliased OBJECT name"}) {
        TStringList lines = Attr(".Boss.Corvale", name);
        ASSERT_EQ(lines.Count(), 1) << name;
        EXPECT_NE(U_PosCI("Admin.Corvale", lines[0]), 0) << lines[0];
    }
}

TEST_F(ReadSim, PseudoAttributes) {
    ServeOddNames();
    EXPECT_EQ(Attr(".Admin.Acme", "CONTEXT").Strings(), (std::vector<std::string>{".Acme"}));
    EXPECT_EQ(Attr(".Admin.Acme", "rdn").Strings(), (std::vector<std::string>{"Admin"}));
    EXPECT_EQ(Attr(".Admin.Acme", "Class").Strings(), (std::vector<std::string>{"User"}));
    EXPECT_EQ(Attr(".Admin.Acme", "createTimeStamp").Strings(),
              (std::vector<std::string>{U_DateTimeText(U_UnixToDateTime(1000000000))}));
    EXPECT_EQ(Attr(".Admin.Acme", "modifyTimestamp").Strings(),
              (std::vector<std::string>{U_DateTimeText(U_UnixToDateTime(1100000000))}));
    EXPECT_DOUBLE_EQ(U_DSGetCreationTime(Ctx, ".Admin.Acme"), U_UnixToDateTime(1000000000));
    std::string dn;
    EXPECT_EQ(U_DSGetDN(Ctx, "Admin.Acme", dn), NW_OK);
    EXPECT_EQ(dn, ".Admin.Acme");

    // An object that is not there gives its code and no line, never a date of 1899.
    for (const char* spec : {"CONTEXT", "RDN", "CLASS", "createTimeStamp", "modifyTimestamp"})
        EXPECT_TRUE(Attr(".Gone.Acme", spec, ERR_NO_SUCH_ENTRY).Empty()) << spec;
    EXPECT_EQ(U_DSGetCreationTime(Ctx, ".Gone.Acme"), 0.0);
}

TEST_F(ReadSim, Chains) {
    ServeSample();
    TStringList names = Attr(".Staff.Corvale", "Member|Full Name");
    EXPECT_EQ(names.Count(), 7);
    EXPECT_GE(names.IndexOfExact("Mara Lindqvist"), 0);
    EXPECT_GE(names.IndexOfExact("Hal Brennan"), 0);
    std::string text = "unchanged";
    EXPECT_EQ(U_DSGetAttributeText(Ctx, ".Staff.Corvale", "Member|Full Name", text), NW_OK);
    EXPECT_EQ(text, U_TrimRightChars(names.Text("\r\n"), "\r\n"));
    // A chain of three: the groups Hal is equivalent to, their members, their titles.
    TStringList classes = Attr(".Hal.Research.Corvale", "Security Equals|Member|CLASS");
    EXPECT_EQ(AsSet(classes), (std::set<std::string>{"User"}));
    EXPECT_EQ(classes.Count(), 10);
    EXPECT_NE(U_DSGetAttributeText(Ctx, ".Nobody.Corvale", "Title", text), NW_OK);
    EXPECT_EQ(text, U_TrimRightChars(names.Text("\r\n"), "\r\n"));

    ServeOddNames();
    EXPECT_EQ(Attr(".U1.Acme", "creatorsName|Title").Strings(),
              (std::vector<std::string>{"Tree Keeper"}));
    EXPECT_EQ(Attr(".U1.Acme", "MODIFIERSNAME|Title").Strings(),
              (std::vector<std::string>{"Second"}));
}

TEST_F(ReadSim, EveryAttributeOfEveryObjectReads) {
    ServeSample();
    const sim::TSimWorld& world = Client->World();
    int reads = 0;
    for (const sim::TSimTree& tree : world.Trees) {
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(Ctx, tree.Name, "[Root]"), NW_OK);
        for (size_t i = 0; i < tree.Objects.size(); ++i) {
            const sim::TSimObject& o = tree.Objects[i];
            std::string name = i == 0 ? std::string("[Root]") : "." + o.FullName;
            // Each attribute with the number of lines it must give at least: one per value.
            std::vector<std::pair<std::string, size_t>> attrs{{"Object Class", 2}};
            if (!o.Acl.empty())
                attrs.emplace_back("ACL", o.Acl.size());
            for (const sim::TSimAttr& a : o.Attrs)
                attrs.emplace_back(world.Schema.Attrs[a.Attr].Name,
                                   std::max<size_t>(a.Values.size(), 1));
            for (const auto& [attr, least] : attrs) {
                TStringList lines;
                // An alias answers for itself only through its own attribute.
                TNWClient* client = Client.get();
                NWHandle ctx = Ctx;
                if (o.AliasTarget >= 0 && attr != "Aliased Object Name") {
                    ASSERT_EQ(client->CopyContext(Ctx, ctx), NW_OK);
                    U_DSSetContextFlags(ctx, '-', DCV_DEREF_ALIASES);
                }
                EXPECT_EQ(U_DSGetAttribute(ctx, name, attr, lines), NW_OK) << name << " " << attr;
                EXPECT_GE(static_cast<size_t>(lines.Count()), least) << name << " " << attr;
                if (ctx != Ctx)
                    client->FreeContext(ctx);
                ++reads;
            }
        }
    }
    EXPECT_GT(reads, 100);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ReadSim, SafeEqualitySearchFindsEveryName) {
    ServeOddNames();
    struct TCase {
        std::string Group;
        std::set<std::string> Equivalents;
    };
    const std::vector<TCase> cases = {{".R&D.Groups.Acme", {"U1.Acme", "U2.Acme"}},
                                      {".A|B.Groups.Acme", {"U1.Acme"}},
                                      {".Hi!.Groups.Acme", {"U2.Acme"}},
                                      {".X(1).Groups.Acme", {"U2.Acme"}},
                                      {".a)b.Groups.Acme", {"U3.Acme"}},
                                      {".a<b>c.Groups.Acme", {"U3.Acme"}},
                                      {".Plain.Groups.Acme", {"U4.Acme"}}};
    for (const TCase& c : cases) {
        TStringList found;
        EXPECT_EQ(
            U_DSSearchEqual(Ctx, "[Root]", "Security Equals", c.Group, found, DS_SEARCH_SUBTREE),
            NW_OK)
            << c.Group;
        std::set<std::string> names;
        for (const TStringItem& item : found)
            names.insert(U_DSUndotName(item.Text));
        EXPECT_EQ(names, c.Equivalents) << c.Group;
    }
    // The text language finds the plain name, and fails on the others instead of finding less.
    TStringList found;
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "(Security Equals=.Plain.Groups.Acme)", found,
                                 DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 1);
    for (const char* group :
         {".R&D.Groups.Acme", ".A|B.Groups.Acme", ".Hi!.Groups.Acme", ".a)b.Groups.Acme"}) {
        found.Clear();
        EXPECT_NE(U_DSFilteredSearch(Ctx, "[Root]", std::string("(Security Equals=") + group + ")",
                                     found, DS_SEARCH_SUBTREE),
                  NW_OK)
            << group;
        EXPECT_TRUE(found.Empty()) << group;
    }
}

TEST_F(ReadSim, FilteredSearchesOverBatches) {
    ServeOddNames(); // two objects per search call
    TStringList found;
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "(Base Class=User)", found, DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 5);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "(Base Class=User) AND (Title#NOTPRESENT#)", found,
                                 DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 3);

    ServeSample();
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "Base Class=ou", found, DS_SEARCH_SUBTREE), NW_OK);
    EXPECT_EQ(found.Count(), 4);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "(Security Equals=.Staff.Corvale)", found,
                                 DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_GE(found.Count(), 2);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Ctx, ".Research.Corvale", "", found, DS_SEARCH_SUBTREE), NW_OK);
    EXPECT_GE(found.Count(), 8);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Ctx, "[Root]", "(No Such Attribute=1)", found, DS_SEARCH_SUBTREE),
              ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(ReadSim, ConnectionsTrusteesAndClasses) {
    ServeSample();
    NWHandle conn = U_PrimaryConnHandle();
    TStringList trustees;
    ASSERT_EQ(U_NWGetTrustees(Ctx, conn, "DATA:SHARED", trustees), NW_OK);
    EXPECT_GE(trustees.IndexOfExact("ID: [0BADF00D]"), 0);
    int staff = trustees.IndexOf(".Staff.Corvale");
    ASSERT_GE(staff, 0);
    EXPECT_NE(trustees.Value(staff), 0u);

    EXPECT_NE(U_PosCI("Admin", U_GetConnUserName(conn)), 0);
    EXPECT_NE(U_PosCI("Admin.Corvale", U_DSCurrentUser(Ctx)), 0);
    EXPECT_EQ(U_DSDefaultContext(Ctx), ".Corvale");

    std::string name;
    EXPECT_EQ(U_DSGetServerDN(conn, Ctx, name), NW_OK);
    EXPECT_NE(U_PosCI("CV-FS1", name), 0);
    uint32_t volume = 0;
    ASSERT_EQ(Client->VolumeNumber(conn, "SYS", volume), NW_OK);
    EXPECT_EQ(U_NWGetVolumeDN(Ctx, conn, volume, name), NW_OK);
    EXPECT_NE(U_PosCI("CV-FS1_SYS", name), 0);

    TStringList classes;
    EXPECT_EQ(U_DSListClasses(Ctx, classes), NW_OK);
    EXPECT_GE(classes.IndexOf("User"), 0);
    EXPECT_GE(classes.IndexOf("Organizational Unit"), 0);

    std::string letters;
    uint32_t rights = 0;
    EXPECT_EQ(U_DSEntryRights(Ctx, "", ".Corvale", "", letters, rights), NW_OK);
    EXPECT_EQ(letters, U_RightsToStr(rights, rtEntry));
}

} // namespace
} // namespace trovalen
