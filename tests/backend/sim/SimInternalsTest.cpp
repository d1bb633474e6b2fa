// The pieces the simulated client is built from: the table of injectable operations, the one
// wildcard matcher with its two styles, and who sets the process's OEM code page.
#include <filesystem>
#include <fstream>

#include "SimTestUtil.h"
#include "backend/sim/SimInternal.h"
#include "backend/sim/SimLoader.h"
#include "util/Platform.h"

using namespace trovalen;
using namespace trovalen::sim;

TEST(SimOps, EveryOperationRoundTripsThroughItsName) {
    ASSERT_EQ(AllSimOps().size(), 40u);
    for (TSimOp op : AllSimOps()) {
        std::string_view name = SimOpName(op);
        ASSERT_FALSE(name.empty());
        auto back = SimOpByName(name);
        ASSERT_TRUE(back.has_value()) << name;
        EXPECT_EQ(*back, op) << name;
    }
    EXPECT_EQ(SimOpName(TSimOp::ReadAttributes), "ReadAttributes");
    EXPECT_EQ(SimOpName(TSimOp::NextDirEntry), "NextDirEntry");
}

TEST(SimOps, NamesAreExactAndUnknownNamesAreNone) {
    EXPECT_FALSE(SimOpByName("Explode"));
    EXPECT_FALSE(SimOpByName(""));
    EXPECT_FALSE(SimOpByName("readattributes")) << "names are matched exactly";
    EXPECT_FALSE(SimOpByName("ReadAttributes ")) << "no trimming";
    EXPECT_FALSE(SimOpByName("ReadAttribute"));
}

TEST(SimOps, AMisspeltOperationIsRefusedWithEveryKnownName) {
    std::string error;
    auto world = LoadTreeText(R"({"format": 1, "trees": [],
        "failures": [{"operation": "ReadAtributes", "code": 1}]})",
                              "t.json", error);
    EXPECT_FALSE(world);
    EXPECT_EQ(
        error,
        "t.json: /failures/0/operation: \"ReadAtributes\" is no operation (known: "
        "NewContext, CopyContext, SetContextValue, GetContextValue, CurrentUserDN, "
        "AbbreviateName, MapIDToName, ServerDN, ReadObjectSummary, ReadObjectItems, "
        "AllocBuf, ReadAttributes, OpenAttrStream, ReadStream, ListSubordinates, "
        "ListContainers, ReadClassDefs, AttrSyntax, PutFilter, SearchObjects, "
        "EntryEffectiveRights, EnumConnRefs, PrimaryConnRef, OpenConnByRef, ConnRefInfo, "
        "ConnInfo, ParsePath, VolumeNumber, VolumeInfo, BinderyObjectName, PathTrustees, "
        "DirEntryInfo, StartDirSearch, NextDirEntry, InitBuf, ObjectCount, NextObject, NextAttr, "
        "NextAttrValue, AddFilterToken)");
}

TEST(SimOps, AFailureKeepsItsOperationAndItsTextAsWritten) {
    std::string error;
    auto world = LoadTreeText(R"({"format": 1, "trees": [{"name": "T", "objects": [
        {"name": "O", "class": "Organization"}]}],
        "failures": [{"operation": "ListContainers", "object": ".O", "code": -601}]})",
                              "t.json", error);
    ASSERT_TRUE(world) << error;
    ASSERT_EQ(world->Failures.size(), 1u);
    EXPECT_EQ(world->Failures[0].Operation, TSimOp::ListContainers);
    EXPECT_EQ(world->Failures[0].Text, "ListContainers object .O");
}

// --- Wildcards ----------------------------------------------------------------------------------

TEST(Wildcards, BothStylesReadTheStarAlike) {
    for (TWildStyle style : {TWildStyle::Filter, TWildStyle::FileName}) {
        EXPECT_TRUE(WildMatch("*", "", style));
        EXPECT_TRUE(WildMatch("*", "anything", style));
        EXPECT_TRUE(WildMatch("ad*", "admin", style));
        EXPECT_TRUE(WildMatch("*min", "admin", style));
        EXPECT_TRUE(WildMatch("a*m*n", "admin", style));
        EXPECT_TRUE(WildMatch("a**n", "admin", style));
        EXPECT_TRUE(WildMatch("admin", "admin", style));
        EXPECT_FALSE(WildMatch("admin", "admins", style)) << "the whole text";
        EXPECT_FALSE(WildMatch("*x", "admin", style));
        EXPECT_FALSE(WildMatch("", "admin", style));
        EXPECT_TRUE(WildMatch("", "", style));
    }
}

TEST(Wildcards, OnlyFileNamesReadTheQuestionMarkAsOneCharacter) {
    EXPECT_TRUE(WildMatch("r?port", "report", TWildStyle::FileName));
    EXPECT_FALSE(WildMatch("r?port", "rport", TWildStyle::FileName)) << "exactly one";
    EXPECT_FALSE(WildMatch("r?port", "report", TWildStyle::Filter));
    EXPECT_TRUE(WildMatch("r?port", "r?port", TWildStyle::Filter)) << "an ordinary character";
}

TEST(Wildcards, OnlyFileNamesIgnoreCase) {
    EXPECT_TRUE(WildMatch("PUB*", "public", TWildStyle::FileName));
    EXPECT_TRUE(WildMatch("pub*", "PUBLIC", TWildStyle::FileName));
    EXPECT_FALSE(WildMatch("PUB*", "public", TWildStyle::Filter))
        << "filters fold case themselves where the syntax ignores it";
    EXPECT_TRUE(WildMatch("pub*", "public", TWildStyle::Filter));
}

TEST(Wildcards, OnlyFileNamesReadStarDotStarAsEveryName) {
    EXPECT_TRUE(WildMatch("*.*", "README", TWildStyle::FileName));
    EXPECT_TRUE(WildMatch("*.*", "a.txt", TWildStyle::FileName));
    EXPECT_FALSE(WildMatch("*.*", "README", TWildStyle::Filter)) << "needs a dot";
    EXPECT_TRUE(WildMatch("*.*", "a.b", TWildStyle::Filter));
}

// --- The OEM code page --------------------------------------------------------------------------

TEST(CodePage, TheFactorySetsItAndTheClientLeavesItAlone) {
    simtest::TempMount mount;
    const std::string tree = R"({"format": 1, "oemCodePage": "CP437", "trees": [
        {"name": "T", "objects": [{"name": "O", "class": "Organization"}]}]})";
    ASSERT_EQ(U_OemCodePage(), "CP850");
    std::string error;
    auto world = LoadTreeText(tree, "t.json", error);
    ASSERT_TRUE(world) << error;
    auto direct = std::make_shared<TSimClient>(world);
    EXPECT_EQ(U_OemCodePage(), "CP850") << "constructing a client touches no process state";

    std::string file = mount.Root() + "/cp437.json";
    std::ofstream(file, std::ios::binary) << tree;
    auto made = MakeSimClient(file, error);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(U_OemCodePage(), "CP437") << "the program takes the code page of its tree";
    U_SetOemCodePage("CP850");
}
