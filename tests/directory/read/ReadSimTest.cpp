// The read routines and the searches over the simulated client: the bundled sample tree (also
// served in small batches) and a tree whose names hold the filter language's operators. (The
// simulated directory takes no "=" in a name, so a name holding "<=" is shown with the recording
// client of the filter tests.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>

#include "attrinfo/AttrRead.h"
#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "directory/DSValues.h"
#include "model/RightsModel.h"
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
    NWHandle Primary = NO_PRIMARY_CONN;
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
        U_SetUiHooks(Previous);
    }

    // Serves a world and opens a context at the top of the named tree.
    void Serve(std::shared_ptr<sim::TSimWorld> world, const std::string& tree) {
        ASSERT_NE(world, nullptr);
        if (Client != nullptr && Ctx != 0)
            Client->FreeContext(Ctx);
        Client = std::make_shared<TSimClient>(world);
        Primary = NO_PRIMARY_CONN;
        ASSERT_EQ(InitNetWare(Client.get(), Primary), NW_OK);
        ASSERT_EQ(Client->NewContext(Ctx), NW_OK);
        ASSERT_EQ(
            U_DSSetContextFlags(Client.get(), Ctx, '+', DCV_TYPELESS_NAMES | DCV_DEREF_ALIASES),
            NW_OK);
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(Client.get(), Ctx, tree, "[Root]"), NW_OK);
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

    const sim::TSimTree& SimTree(const std::string& name) {
        const sim::TSimWorld& world = Client->World();
        return world.Trees.at(static_cast<size_t>(world.FindTree(name)));
    }
    static int32_t Find(const sim::TSimTree& tree, const std::string& fullName) {
        int32_t index = tree.Find(U_DSUndotName(fullName));
        EXPECT_GE(index, 0) << fullName;
        return index < 0 ? 0 : index;
    }
    std::string ClassOf(const sim::TSimObject& o) {
        return Client->World().Schema.Classes.at(static_cast<size_t>(o.Class)).Name;
    }
    // The text values of an attribute as the tree holds them.
    std::vector<std::string> Values(const sim::TSimTree& tree, int32_t object,
                                    const std::string& attr) {
        std::vector<std::string> out;
        const sim::TSimAttr* a = tree.FindAttr(object, Client->World().Schema.FindAttr(attr));
        if (a != nullptr)
            for (const TAttrValue& v : a->Values)
                if (const auto* text = std::get_if<TValString>(&v.Data))
                    out.push_back(text->Text);
        return out;
    }

    TStringList Attr(const std::string& object, const std::string& attrPath, NWCCODE expected = 0) {
        TStringList lines;
        EXPECT_EQ(U_DSGetAttributeEx(Client.get(), Ctx, object, attrPath, lines), expected)
            << object << " " << attrPath;
        return lines;
    }
};

TEST_F(ReadSim, ListContainerOnTheSampleTree) {
    for (int batch : {0, 2}) {
        ServeSample(batch);
        const sim::TSimTree& tree = SimTree("CORVALE_TREE");
        const sim::TSimObject& top = tree.Objects[Find(tree, "Corvale")];
        std::set<std::string> expectedContainers, expectedUsers;
        for (int32_t child : top.Children) {
            if (tree.Objects[child].Container)
                expectedContainers.insert(tree.Objects[child].Rdn);
            if (ClassOf(tree.Objects[child]) == "User")
                expectedUsers.insert(tree.Objects[child].Rdn);
        }
        ASSERT_FALSE(expectedContainers.empty());

        TStringList containers, objects;
        ASSERT_EQ(U_DSListContainer(Client.get(), Ctx, ".Corvale", &containers, true, "", &objects),
                  NW_OK);
        EXPECT_EQ(AsSet(containers), expectedContainers) << batch;
        EXPECT_EQ(static_cast<size_t>(objects.Count()), top.Children.size()) << batch;
        int admin = objects.IndexOfExact("User: Admin");
        ASSERT_GE(admin, 0) << batch;
        EXPECT_EQ(objects.Value(admin), 6u);
        EXPECT_GE(objects.IndexOfExact("Organizational Unit: Sales"), 0);

        // The class filter of a container list is exact.
        objects.Clear();
        ASSERT_EQ(
            U_DSListContainer(Client.get(), Ctx, ".Corvale", nullptr, false, "User", &objects),
            NW_OK);
        EXPECT_EQ(AsSet(objects), expectedUsers);
        objects.Clear();
        ASSERT_EQ(
            U_DSListContainer(Client.get(), Ctx, ".Corvale", nullptr, false, "user", &objects),
            NW_OK);
        EXPECT_TRUE(objects.Empty());

        // Containers only, over every batch.
        containers.Clear();
        ASSERT_EQ(U_DSListContainer(Client.get(), Ctx, "[Root]", &containers, false, "", nullptr),
                  NW_OK);
        EXPECT_EQ(AsSet(containers), (std::set<std::string>{"Corvale"}));

        // A container without such objects, and one that does not exist.
        objects.Clear();
        EXPECT_EQ(U_DSListContainer(Client.get(), Ctx, ".Sales.Corvale", nullptr, false,
                                    "No Such Class", &objects),
                  NW_OK);
        EXPECT_TRUE(objects.Empty());
        EXPECT_NE(U_DSListContainer(Client.get(), Ctx, ".Nowhere.Corvale", &containers, false, "",
                                    &objects),
                  NW_OK);
        EXPECT_TRUE(objects.Empty());
    }
}

TEST_F(ReadSim, ListTreeOnTheSampleTree) {
    for (int batch : {0, 2}) {
        ServeSample(batch);
        const sim::TSimTree& tree = SimTree("CORVALE_TREE");
        std::set<std::string> users, ous;
        for (size_t i = 1; i < tree.Objects.size(); ++i) {
            const sim::TSimObject& o = tree.Objects[i];
            if (ClassOf(o) == "User" && U_EndsWith(o.FullName, ".Corvale"))
                users.insert("." + o.FullName);
            if (ClassOf(o) == "Organizational Unit")
                ous.insert("Organizational Unit: ." + o.FullName);
        }
        ASSERT_GE(users.size(), 3u);
        ASSERT_GE(ous.size(), 2u);

        TStringList list;
        ASSERT_EQ(U_DSListTree(Client.get(), Ctx, ".Corvale", list, true, false, "user", 2), NW_OK);
        EXPECT_EQ(AsSet(list), users) << batch;
        EXPECT_EQ(static_cast<size_t>(list.Count()), users.size()) << batch;

        list.Clear();
        ASSERT_EQ(U_DSListTree(Client.get(), Ctx, "[Root]", list, true, true, "ou", 1), NW_OK);
        EXPECT_EQ(AsSet(list), ous) << batch;

        list.Clear();
        ASSERT_EQ(U_DSListTree(Client.get(), Ctx, "[Root]", list, true, false, "", 0), NW_OK);
        EXPECT_EQ(static_cast<size_t>(list.Count()), tree.Objects.size() - 1) << batch;
    }

    // A relative container is found below the context's name context.
    const sim::TSimTree& tree = SimTree("CORVALE_TREE");
    std::set<std::string> leaves;
    for (int32_t child : tree.Objects[Find(tree, "Research.Corvale")].Children)
        if (!tree.Objects[child].Container)
            leaves.insert("." + tree.Objects[child].FullName);
    ASSERT_EQ(U_DSChangeCurrentContext(Client.get(), Ctx, "Corvale"), NW_OK);
    TStringList list;
    ASSERT_EQ(U_DSListTree(Client.get(), Ctx, "Research", list, false, false, "", 2), NW_OK);
    EXPECT_EQ(AsSet(list), leaves);
    EXPECT_FALSE(leaves.empty());
}

TEST_F(ReadSim, ObjectsAndAliases) {
    ServeSample();
    TNDSObj obj;
    EXPECT_TRUE(U_DSObjectExists(Client.get(), Ctx, ".Mara.Sales.Corvale", obj));
    EXPECT_EQ(obj.BaseClass, "User");
    NWCCODE code = 0;
    EXPECT_FALSE(U_DSObjectExists(Client.get(), Ctx, ".Nobody.Corvale", obj, &code));
    EXPECT_NE(code, NW_OK);
    EXPECT_TRUE(obj.Name.empty());
    EXPECT_TRUE(U_DSIsContainer(Client.get(), Ctx, ".Sales.Corvale"));
    EXPECT_TRUE(U_DSIsLeaf(Client.get(), Ctx, ".Mara.Sales.Corvale"));
    EXPECT_TRUE(U_DSIsLeaf(Client.get(), Ctx, ".Nobody.Corvale"));

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
    EXPECT_DOUBLE_EQ(U_DSGetCreationTime(Client.get(), Ctx, ".Admin.Acme"),
                     U_UnixToDateTime(1000000000));
    std::string dn;
    EXPECT_EQ(U_DSGetDN(Client.get(), Ctx, "Admin.Acme", dn), NW_OK);
    EXPECT_EQ(dn, ".Admin.Acme");

    // An object that is not there gives its code and no line, never a date of 1899.
    for (const char* attrPath : {"CONTEXT", "RDN", "CLASS", "createTimeStamp", "modifyTimestamp"})
        EXPECT_TRUE(Attr(".Gone.Acme", attrPath, ERR_NO_SUCH_ENTRY).Empty()) << attrPath;
    EXPECT_EQ(U_DSGetCreationTime(Client.get(), Ctx, ".Gone.Acme"), 0.0);
}

TEST_F(ReadSim, Chains) {
    ServeSample();
    const sim::TSimTree& tree = SimTree("CORVALE_TREE");
    // The full names of the members, and the base classes of the members of the groups Hal is
    // equivalent to, as the tree holds them.
    std::vector<std::string> fullNames;
    for (const std::string& member : Values(tree, Find(tree, "Staff.Corvale"), "Member"))
        for (const std::string& n : Values(tree, Find(tree, member), "Full Name"))
            fullNames.push_back(n);
    ASSERT_GE(fullNames.size(), 2u);
    std::vector<std::string> classes;
    for (const std::string& group :
         Values(tree, Find(tree, "Hal.Research.Corvale"), "Security Equals"))
        for (const std::string& member : Values(tree, Find(tree, group), "Member"))
            classes.push_back(ClassOf(tree.Objects[Find(tree, member)]));
    ASSERT_GE(classes.size(), 2u);

    TStringList names = Attr(".Staff.Corvale", "Member|Full Name");
    EXPECT_EQ(names.Strings(), fullNames);
    std::string text = "unchanged";
    EXPECT_EQ(U_DSGetAttributeText(Client.get(), Ctx, ".Staff.Corvale", "Member|Full Name", text),
              NW_OK);
    EXPECT_EQ(text, U_TrimRightChars(names.Text("\r\n"), "\r\n"));
    EXPECT_EQ(Attr(".Hal.Research.Corvale", "Security Equals|Member|CLASS").Strings(), classes);
    // A failing read leaves the text as it was.
    EXPECT_NE(U_DSGetAttributeText(Client.get(), Ctx, ".Nobody.Corvale", "Title", text), NW_OK);
    EXPECT_EQ(text, U_TrimRightChars(names.Text("\r\n"), "\r\n"));

    ServeOddNames();
    EXPECT_EQ(Attr(".U1.Acme", "creatorsName|Title").Strings(),
              (std::vector<std::string>{"Tree Keeper"}));
    EXPECT_EQ(Attr(".U1.Acme", "MODIFIERSNAME|Title").Strings(),
              (std::vector<std::string>{"Second"}));
}

TEST_F(ReadSim, ItemReaderAnswersAsOneReadPerName) {
    ServeSample();
    const sim::TSimTree& tree = SimTree("CORVALE_TREE");
    std::vector<std::string> names = {"",       ".Nobody.Corvale", "Hal.Research.Corvale",
                                      "[Root]", ".[Root]",         "..Corvale"};
    for (const sim::TSimObject& o : tree.Objects)
        names.push_back("." + o.FullName);
    names.push_back("Hal");
    // At the top and below it: names are abbreviated in the caller's name context.
    for (const char* nameContext : {"[Root]", "Research.Corvale"}) {
        ASSERT_EQ(U_DSChangeCurrentContext(Client.get(), Ctx, nameContext), NW_OK);
        for (uint32_t item : {DSI_BASE_CLASS, DSI_RDN, DSI_DN, DSI_PARENT_DN}) {
            TDSItemReader reader(Client.get(), Ctx, item);
            for (const std::string& name : names) {
                std::string expected, text = "left over";
                NWCCODE code = U_DSGetObjectItem(Client.get(), Ctx, name, item, expected);
                EXPECT_EQ(reader.Read(name, text), code)
                    << nameContext << " " << item << " " << name;
                EXPECT_EQ(text, expected) << nameContext << " " << item << " " << name;
            }
        }
    }
}

namespace {
// Refuses the first context copies it is asked for.
class CopyRefusingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override {
        if (Refusals > 0) {
            --Refusals;
            return ERR_CONTEXT_CREATION;
        }
        return TSimClient::CopyContext(ctx, copy);
    }
    int Refusals = 0;
};
} // namespace

TEST_F(ReadSim, ItemReaderTriesAFailedSetupAgain) {
    std::string error;
    auto world = sim::LoadTreeText(SampleTreeText(), "sample", error);
    ASSERT_NE(world, nullptr) << error;
    CopyRefusingClient client(world);
    NWHandle primary = NO_PRIMARY_CONN, ctx = 0;
    ASSERT_EQ(InitNetWare(&client, primary), NW_OK);
    ASSERT_EQ(client.NewContext(ctx), NW_OK);
    ASSERT_EQ(U_DSChangeCurrentTreeAndContext(&client, ctx, "CORVALE_TREE", "[Root]"), NW_OK);

    client.Refusals = 1;
    TDSItemReader reader(&client, ctx, DSI_BASE_CLASS);
    std::string text = "left over";
    EXPECT_EQ(reader.Read(".Hal.Research.Corvale", text), ERR_CONTEXT_CREATION);
    EXPECT_EQ(text, "");
    // The refusal is not kept: the next read sets up again and answers.
    EXPECT_EQ(reader.Read(".Hal.Research.Corvale", text), NW_OK);
    EXPECT_EQ(text, "User");
    client.FreeContext(ctx);
}

TEST_F(ReadSim, EveryAttributeOfEveryObjectReads) {
    ServeSample();
    const sim::TSimWorld& world = Client->World();
    int reads = 0;
    for (const sim::TSimTree& tree : world.Trees) {
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(Client.get(), Ctx, tree.Name, "[Root]"), NW_OK);
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
                    U_DSSetContextFlags(Client.get(), ctx, '-', DCV_DEREF_ALIASES);
                }
                EXPECT_EQ(U_DSGetAttribute(Client.get(), ctx, name, attr, lines), NW_OK)
                    << name << " " << attr;
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
        EXPECT_EQ(U_DSSearchEqual(Client.get(), Ctx, "[Root]", "Security Equals", c.Group, found,
                                  DS_SEARCH_SUBTREE),
                  NW_OK)
            << c.Group;
        std::set<std::string> names;
        for (const TStringItem& item : found)
            names.insert(U_DSUndotName(item.Text));
        EXPECT_EQ(names, c.Equivalents) << c.Group;
    }
    // The text language finds the plain name, and fails on the others instead of finding less.
    TStringList found;
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, "[Root]",
                                 "(Security Equals=.Plain.Groups.Acme)", found, DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 1);
    for (const char* group :
         {".R&D.Groups.Acme", ".A|B.Groups.Acme", ".Hi!.Groups.Acme", ".a)b.Groups.Acme"}) {
        found.Clear();
        EXPECT_NE(U_DSFilteredSearch(Client.get(), Ctx, "[Root]",
                                     std::string("(Security Equals=") + group + ")", found,
                                     DS_SEARCH_SUBTREE),
                  NW_OK)
            << group;
        EXPECT_TRUE(found.Empty()) << group;
    }
}

TEST_F(ReadSim, FilteredSearchesOverBatches) {
    ServeOddNames(); // two objects per search call
    TStringList found;
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, "[Root]", "(Base Class=User)", found,
                                 DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 5);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, "[Root]",
                                 "(Base Class=User) AND (Title#NOTPRESENT#)", found,
                                 DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), 3);

    ServeSample();
    const sim::TSimTree& tree = SimTree("CORVALE_TREE");
    int ous = 0, equivalents = 0;
    for (size_t i = 1; i < tree.Objects.size(); ++i) {
        ous += ClassOf(tree.Objects[i]) == "Organizational Unit";
        for (const std::string& v : Values(tree, static_cast<int32_t>(i), "Security Equals"))
            equivalents += U_SameText(U_DSUndotName(v), "Staff.Corvale");
    }
    found.Clear();
    EXPECT_EQ(
        U_DSFilteredSearch(Client.get(), Ctx, "[Root]", "Base Class=ou", found, DS_SEARCH_SUBTREE),
        NW_OK);
    EXPECT_EQ(found.Count(), ous);
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, "[Root]", "(Security Equals=.Staff.Corvale)",
                                 found, DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(found.Count(), equivalents);
    EXPECT_GE(equivalents, 2);
    // An empty filter finds every object.
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, ".Research.Corvale", "", found,
                                 DS_SEARCH_SUBORDINATES),
              NW_OK);
    EXPECT_EQ(static_cast<size_t>(found.Count()),
              tree.Objects[Find(tree, "Research.Corvale")].Children.size());
    found.Clear();
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, "[Root]", "(No Such Attribute=1)", found,
                                 DS_SEARCH_SUBTREE),
              ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(ReadSim, ConnectionsTrusteesAndClasses) {
    ServeSample();
    NWHandle conn = Primary;
    TStringList trustees;
    ASSERT_EQ(U_NWGetTrustees(Client.get(), Ctx, conn, "DATA:SHARED", trustees), NW_OK);
    EXPECT_GE(trustees.IndexOfExact("ID: [0BADF00D]"), 0);
    int staff = trustees.IndexOf(".Staff.Corvale");
    ASSERT_GE(staff, 0);
    EXPECT_NE(trustees.Value(staff), 0u);

    EXPECT_NE(U_PosCI("Admin", U_GetConnUserName(Client.get(), conn)), 0);
    EXPECT_NE(U_PosCI("Admin.Corvale", U_DSCurrentUser(Client.get(), Ctx)), 0);
    EXPECT_EQ(U_DSDefaultContext(Client.get(), Ctx), ".Corvale");

    std::string name;
    EXPECT_EQ(U_DSGetServerDN(Client.get(), conn, Ctx, name), NW_OK);
    EXPECT_NE(U_PosCI("CV-FS1", name), 0);
    uint32_t volume = 0;
    ASSERT_EQ(Client->VolumeNumber(conn, "SYS", volume), NW_OK);
    EXPECT_EQ(U_NWGetVolumeDN(Client.get(), Ctx, conn, volume, name), NW_OK);
    EXPECT_NE(U_PosCI("CV-FS1_SYS", name), 0);

    TStringList classes;
    EXPECT_EQ(U_DSListClasses(Client.get(), Ctx, classes), NW_OK);
    EXPECT_GE(classes.IndexOf("User"), 0);
    EXPECT_GE(classes.IndexOf("Organizational Unit"), 0);

    std::string letters;
    uint32_t rights = 0;
    EXPECT_EQ(U_DSEntryRights(Client.get(), Ctx, "", ".Corvale", "", letters, rights), NW_OK);
    EXPECT_EQ(letters, U_RightsToStr(rights, rtEntry));
}

} // namespace
TEST_F(ReadSim, AFailureInTheMiddleOfABatchedListOrSearchReachesTheCaller) {
    // The sample tree, two objects per list call, and the second call of every list and search
    // below Sales failing as a broken connection would.
    std::string text = SampleTreeText();
    size_t brace = text.find('{');
    ASSERT_NE(brace, std::string::npos);
    text.insert(brace + 1, R"("limits": {"listBatch": 2, "searchBatch": 2},)");
    size_t failures = text.find(R"("failures": [)");
    ASSERT_NE(failures, std::string::npos);
    text.insert(failures + 13, R"(
        {"operation": "ListSubordinates", "object": ".Sales.Corvale", "call": 2, "code": -672},
        {"operation": "SearchObjects", "object": ".Sales.Corvale", "call": 2, "code": -672},)");
    std::string error;
    Serve(sim::LoadTreeText(text, "sample", error), "CORVALE_TREE");
    ASSERT_EQ(error, "");
    TStringList containers, objects;
    EXPECT_EQ(
        U_DSListContainer(Client.get(), Ctx, ".Sales.Corvale", &containers, false, "", &objects),
        ERR_NO_ACCESS);
    EXPECT_EQ(objects.Count(), 2) << "the first batch was listed before the failure";
    TStringList found;
    EXPECT_EQ(U_DSFilteredSearch(Client.get(), Ctx, ".Sales.Corvale", "Base Class=User", found,
                                 DS_SEARCH_SUBTREE),
              ERR_NO_ACCESS);
}

} // namespace trovalen
