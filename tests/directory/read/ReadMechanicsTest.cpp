// The mechanics of the read routines over a scripted client: batches (empty ones included), the
// kind of list kept across batches, what a running list owns and when it lets go, the class loop,
// the context a read works on.
#include <gtest/gtest.h>

#include <memory>

#include "RecordingClient.h"
#include "attrinfo/AttrRead.h"
#include "directory/DSRead.h"

namespace trovalen {
namespace {

struct TScriptObject {
    std::string Name;
    std::string Class;
    uint32_t Flags = 0;
};

class TScriptedClient : public testing::TRecordingClient {
public:
    // Listing: batches of one container; an empty batch is allowed.
    std::vector<std::vector<TScriptObject>> ListBatches;
    std::map<std::string, std::vector<std::vector<TScriptObject>>> ListsByContainer;
    std::vector<std::string> ListKinds; // "sub" or "cont" per call
    std::vector<std::string> ListedContainers;
    std::vector<std::string> NameContexts; // key 3 of the list context at each call

    NWCCODE ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                             NWHandle buf) override {
        ListKinds.push_back("sub");
        return List(ctx, container, iteration, buf);
    }
    NWCCODE ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                           NWHandle buf) override {
        ListKinds.push_back("cont");
        return List(ctx, container, iteration, buf);
    }
    NWCCODE ObjectCount(NWHandle, NWHandle buf, uint32_t& count) override {
        count = static_cast<uint32_t>(Batch[buf].size());
        Next[buf] = 0;
        return Rec("ObjectCount", NW_OK);
    }
    NWCCODE NextObject(NWHandle, NWHandle buf, std::string& name, uint32_t&,
                       TObjectSummary& summary) override {
        if (Next[buf] >= Batch[buf].size())
            return Rec("NextObject", ERR_BUFFER_EMPTY);
        const TScriptObject& o = Batch[buf][Next[buf]++];
        name = o.Name;
        summary.Flags = o.Flags;
        summary.ClassName = o.Class;
        return Rec("NextObject", NW_OK);
    }

    // Class definitions: batches, then a failure that leaves the iteration running.
    std::vector<std::vector<std::string>> ClassBatches;
    NWCCODE ClassFailAt = -1;
    NWCCODE ReadClassDefs(NWHandle, uint32_t, bool, NWHandle, int32_t& iteration,
                          NWHandle) override {
        size_t index = iteration == -1 ? 0 : static_cast<size_t>(iteration);
        if (static_cast<NWCCODE>(index) == ClassFailAt)
            return Rec("ReadClassDefs", ERR_NO_ACCESS);
        Classes = index < ClassBatches.size() ? ClassBatches[index] : std::vector<std::string>{};
        NextClass = 0;
        iteration = index + 1 < ClassBatches.size() ? static_cast<int32_t>(index + 1) : -1;
        return Rec("ReadClassDefs", NW_OK);
    }
    NWCCODE ClassDefCount(NWHandle, NWHandle, uint32_t& count) override {
        count = static_cast<uint32_t>(Classes.size());
        return Rec("ClassDefCount", NW_OK);
    }
    NWCCODE NextClassDef(NWHandle, NWHandle, TClassDef& def) override {
        def.Name = Classes.at(NextClass++);
        def.Flags = 7;
        return Rec("NextClassDef", NW_OK);
    }

    // Attribute reads: remembers the flags of the context each read ran on.
    std::vector<uint32_t> ReadFlags;
    NWCCODE ReadAttrCode = ERR_NO_SUCH_ATTRIBUTE;
    NWCCODE PutAttrName(NWHandle, NWHandle, const std::string&) override {
        return Rec("PutAttrName", NW_OK);
    }
    NWCCODE ReadAttributes(NWHandle ctx, const std::string&, uint32_t, bool, NWHandle, int32_t&,
                           NWHandle) override {
        ReadFlags.push_back(CtxNumbers[ctx][DCK_FLAGS]);
        return Rec("ReadAttributes", ReadAttrCode);
    }

private:
    NWCCODE List(NWHandle ctx, const std::string& container, int32_t& iteration, NWHandle buf) {
        ListedContainers.push_back(container);
        NameContexts.push_back(CtxTexts[ctx][DCK_NAME_CONTEXT]);
        const auto& batches =
            ListsByContainer.count(container) != 0 ? ListsByContainer[container] : ListBatches;
        size_t index = iteration == -1 ? 0 : static_cast<size_t>(iteration);
        Batch[buf] = index < batches.size() ? batches[index] : std::vector<TScriptObject>{};
        iteration = index + 1 < batches.size() ? static_cast<int32_t>(index + 1) : -1;
        return Rec("List", NW_OK);
    }
    // Per result buffer, as a real client keeps it.
    std::map<NWHandle, std::vector<TScriptObject>> Batch;
    std::map<NWHandle, size_t> Next;
    std::vector<std::string> Classes;
    size_t NextClass = 0;
};

class ReadMechanics : public ::testing::Test {
protected:
    std::shared_ptr<TScriptedClient> Client = std::make_shared<TScriptedClient>();
    NWHandle Ctx = 1;

    void SetUp() override {
        Client->CtxNumbers[Ctx][DCK_FLAGS] = DCV_DEREF_ALIASES | DCV_TYPELESS_NAMES;
    }

    void ExpectNothingHeld() {
        EXPECT_TRUE(Client->OpenBuffers.empty());
        EXPECT_TRUE(Client->OpenContexts.empty());
    }
};

const TScriptObject kSales{"SALES", "Organizational Unit", DS_CONTAINER_ENTRY};
const TScriptObject kJoe{"Joe", "User", 0};
const TScriptObject kAnn{"Ann", "User", 0};
const TScriptObject kStaff{"Staff", "Group", 0};

TEST_F(ReadMechanics, ListPassesOverEmptyBatchesAndKeepsItsKind) {
    Client->ListBatches = {{}, {kSales}, {}, {}, {kJoe, kAnn}, {}};
    TNDSObj obj;
    ASSERT_EQ(U_DSListFirst(Client.get(), Ctx, "ACME", true, obj), NW_OK);
    std::vector<std::string> names{obj.Name};
    NWCCODE code;
    while ((code = U_DSListNext(obj)) == NW_OK)
        names.push_back(obj.Name);
    EXPECT_EQ(code, ERR_END_OF_LIST);
    EXPECT_EQ(names, (std::vector<std::string>{"SALES", "Joe", "Ann"}));
    EXPECT_EQ(Client->ListKinds, std::vector<std::string>(6, "cont"));
    EXPECT_EQ(Client->ListedContainers[0], ".ACME");
    EXPECT_EQ(Client->NameContexts[0], "ACME");
    ExpectNothingHeld();
    // After the end the record stays ended.
    EXPECT_EQ(U_DSListNext(obj), ERR_END_OF_LIST);
}

TEST_F(ReadMechanics, ListStoppedEarlyLetsGoWithTheRecord) {
    Client->ListBatches = {{kJoe}, {kAnn}};
    {
        TNDSObj obj;
        ASSERT_EQ(U_DSListFirst(Client.get(), Ctx, ".ACME", false, obj), NW_OK);
        EXPECT_EQ(Client->OpenBuffers.size(), 1u);
        TNDSObj moved = std::move(obj);
        EXPECT_FALSE(obj.Buffer.Held);
        EXPECT_EQ(U_DSListNext(moved), NW_OK);
        EXPECT_EQ(moved.Name, "Ann");
    }
    ExpectNothingHeld();
    // A record reused for a second list lets go of the first.
    TNDSObj obj;
    ASSERT_EQ(U_DSListFirst(Client.get(), Ctx, "ACME", false, obj), NW_OK);
    ASSERT_EQ(U_DSListFirst(Client.get(), Ctx, "ACME", false, obj), NW_OK);
    EXPECT_EQ(Client->OpenBuffers.size(), 1u);
    EXPECT_EQ(Client->OpenContexts.size(), 1u);
}

TEST_F(ReadMechanics, ListTreeWalksTheSubtreeWithFullNames) {
    const TScriptObject alias{"UP", "Organizational Unit", DS_CONTAINER_ENTRY | DS_ALIAS_ENTRY};
    Client->ListsByContainer[".ACME"] = {{kSales, kStaff}, {alias}};
    Client->ListsByContainer[".SALES.ACME"] = {{kJoe}};
    // The alias points back up; it is listed but never followed.
    Client->ListsByContainer[".UP.ACME"] = {{kSales}};

    TStringList list;
    EXPECT_EQ(U_DSListTree(Client.get(), Ctx, ".ACME", list, true, false, "", 0), NW_OK);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{".SALES.ACME", ".Joe.SALES.ACME",
                                                        ".Staff.ACME", ".UP.ACME"}));
    list.Clear();
    EXPECT_EQ(U_DSListTree(Client.get(), Ctx, ".ACME", list, true, true, "", 2), NW_OK);
    EXPECT_EQ(list.Strings(),
              (std::vector<std::string>{"User: .Joe.SALES.ACME", "Group: .Staff.ACME"}));
    EXPECT_EQ(list.Value(0), 6u);
    list.Clear();
    EXPECT_EQ(U_DSListTree(Client.get(), Ctx, ".ACME", list, false, false, "ou", 0), NW_OK);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{".SALES.ACME", ".UP.ACME"}));
    list.Clear();
    EXPECT_EQ(U_DSListTree(Client.get(), Ctx, ".ACME", list, true, false, "USER", 0), NW_OK);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{".Joe.SALES.ACME"}));
    ExpectNothingHeld();
}

TEST_F(ReadMechanics, ClassListStopsAtAFailure) {
    Client->ClassBatches = {{"User", "Group"}, {"Organization"}, {"Never"}};
    TStringList list;
    EXPECT_EQ(U_DSListClasses(Client.get(), Ctx, list), NW_OK);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Value(0), 7u);
    list.Clear();
    Client->ClassFailAt = 1;
    EXPECT_EQ(U_DSListClasses(Client.get(), Ctx, list), ERR_NO_ACCESS);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"User", "Group"}));
    ExpectNothingHeld();
}

TEST_F(ReadMechanics, AliasedObjectNameIsReadOnTheAliasItself) {
    TStringList lines;
    for (const char* attr : {"Aliased Object Name", "ALIASED object NAME", "Title"})
        EXPECT_EQ(U_DSReadAttribute(Client.get(), Ctx, "X.ACME", attr, lines),
                  ERR_NO_SUCH_ATTRIBUTE);
    ASSERT_EQ(Client->ReadFlags.size(), 3u);
    EXPECT_EQ(Client->ReadFlags[0] & DCV_DEREF_ALIASES, 0u);
    EXPECT_EQ(Client->ReadFlags[1] & DCV_DEREF_ALIASES, 0u);
    EXPECT_NE(Client->ReadFlags[2] & DCV_DEREF_ALIASES, 0u);
    // The caller's context keeps its flags.
    EXPECT_NE(Client->CtxNumbers[Ctx][DCK_FLAGS] & DCV_DEREF_ALIASES, 0u);
    EXPECT_TRUE(lines.Empty());
    ExpectNothingHeld();
}

TEST_F(ReadMechanics, NoClientIsAnErrorNotACrash) {
    TNDSObj obj;
    TStringList list;
    std::string text;
    EXPECT_NE(U_DSListFirst(nullptr, Ctx, "ACME", false, obj), NW_OK);
    EXPECT_EQ(U_DSListNext(obj), ERR_END_OF_LIST);
    EXPECT_NE(U_DSReadAttribute(nullptr, Ctx, "X", "Title", list), NW_OK);
    EXPECT_NE(U_DSGetObjectItem(nullptr, Ctx, "X", DSI_DN, text), NW_OK);
    EXPECT_TRUE(U_DSIsLeaf(nullptr, Ctx, "X"));
    EXPECT_EQ(U_GetConnUserName(nullptr, 1), "<not authenticated>");
}

} // namespace
} // namespace trovalen
