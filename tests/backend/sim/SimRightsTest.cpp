// The directory's own effective rights, worked by hand on small trees.
#include "SimTestUtil.h"

using namespace trovalen;
using namespace trovalen::simtest;

namespace {

// Entry rights B C D R A and attribute rights C R W S A, as bits.
constexpr uint32_t B = 0x01, C = 0x02, D = 0x04, R = 0x08, A = 0x10;
constexpr uint32_t aC = 0x01, aR = 0x02, aW = 0x04, aS = 0x08, aA = 0x20;

// O=Org with OU=Unit below and users in both; each test adds ACL values.
std::string Tree(const std::string& orgAcl, const std::string& unitAcl,
                 const std::string& leafAcl = "[]", const std::string& extraObjects = "") {
    return R"({"format": 1, "trees": [{"name": "T", "objects": [
        {"name": "Org", "class": "Organization", "acl": )" +
           orgAcl + R"(},
        {"name": "Unit.Org", "class": "Organizational Unit", "acl": )" +
           unitAcl + R"(},
        {"name": "Leaf.Unit.Org", "class": "User", "acl": )" +
           leafAcl + R"(},
        {"name": "U.Org", "class": "User",
         "attributes": {"Security Equals": [".G.Org"], "Title": ["t"]}},
        {"name": "V.Unit.Org", "class": "User"},
        {"name": "G.Org", "class": "Group", "attributes": {"Security Equals": [".H.Org"]}},
        {"name": "H.Org", "class": "Group"})" +
           extraObjects + R"(]}]})";
}

std::string Acl(const std::string& subject, const std::string& attr, const std::string& rights) {
    return R"({"subject": ")" + subject + R"(", "attribute": ")" + attr + R"(", "rights": ")" +
           rights + R"("})";
}

class Rights : public ::testing::Test {
protected:
    void Load(const std::string& json) {
        client = ClientFromText(json);
        ASSERT_TRUE(client);
        ctx = NewCtx(*client);
    }
    uint32_t Of(const std::string& subject, const std::string& object,
                const std::string& attr = "[Entry Rights]") {
        uint32_t rights = 0xDEAD;
        EXPECT_EQ(client->EntryEffectiveRights(ctx, subject, object, attr, rights), 0)
            << subject << " on " << object << " / " << attr;
        return rights;
    }
    TempMount mount;
    std::shared_ptr<TSimClient> client;
    NWHandle ctx = 0;
};

} // namespace

TEST_F(Rights, InheritableValuesFlowDownAndOthersStop) {
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BCD  I") + "," +
                  Acl(".U.Org", "[All Attributes Rights]", "CR") + "]",
              "[]"));
    EXPECT_EQ(Of(".U.Org", ".Org"), B | C | D);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), B | C | D) << "inherited two levels down";
    EXPECT_EQ(Of(".U.Org", ".Org", "Title"), aC | aR);
    EXPECT_EQ(Of(".U.Org", ".Unit.Org", "Title"), 0u) << "attribute rights without I stop";
}

TEST_F(Rights, EntryRightsWithoutTheInheritLetterStayOnTheContainer) {
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BC") + "]", "[]"));
    EXPECT_EQ(Of(".U.Org", ".Org"), B | C);
    EXPECT_EQ(Of(".U.Org", ".Unit.Org"), 0u);
}

TEST_F(Rights, EntryRightsMaskFiltersInheritedEntryRightsOnly) {
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BCDRAI") + "," +
                  Acl(".U.Org", "[All Attributes Rights]", "CRW  I") + "]",
              "[" + Acl("[Inheritance Mask]", "[Entry Rights]", "B    I") + "]"));
    EXPECT_EQ(Of(".U.Org", ".Unit.Org"), B) << "the mask blocks even Supervisor";
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), B);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC | aR | aW | aS)
        << "attribute rights pass an entry-rights mask";
}

TEST_F(Rights, AllAttributesMaskFiltersAllAndSingleAttributeValues) {
    Load(Tree("[" + Acl(".U.Org", "[All Attributes Rights]", "CRW  I") + "," +
                  Acl(".V.Unit.Org", "Surname", "CRW  I") + "]",
              "[" + Acl("[Inheritance Mask]", "[All Attributes Rights]", "C    I") + "]"));
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "[All Attributes Rights]"), aC);
    EXPECT_EQ(Of(".V.Unit.Org", ".Leaf.Unit.Org", "Surname"), aC);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), 0u);
}

TEST_F(Rights, SingleAttributeMaskFiltersThatAttributeOnly) {
    Load(Tree("[" + Acl(".U.Org", "Title", "CRW  I") + "," +
                  Acl(".U.Org", "[All Attributes Rights]", "CR   I") + "]",
              "[" + Acl("[Inheritance Mask]", "Title", "C    I") + "]"));
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Surname"), aC | aR);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "[All Attributes Rights]"), aC | aR);
}

TEST_F(Rights, AnAssignmentReplacesWhatWasInherited) {
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BCDR I") + "]",
              "[" + Acl(".U.Org", "[Entry Rights]", "B    I") + "]"));
    EXPECT_EQ(Of(".U.Org", ".Org"), B | C | D | R);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), B) << "fewer rights below the new assignment";
    // A replacement without the inherit letter ends the rights at its level.
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BCDR I") + "]",
              "[" + Acl(".U.Org", "[Entry Rights]", "B") + "]"));
    EXPECT_EQ(Of(".U.Org", ".Unit.Org"), B);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), 0u);
}

TEST_F(Rights, SecurityEquivalenceIsOneLevelDeep) {
    Load(Tree("[" + Acl(".G.Org", "[Entry Rights]", "BC   I") + "," +
                  Acl(".H.Org", "[Entry Rights]", "   R I") + "]",
              "[]"));
    EXPECT_EQ(Of(".U.Org", ".Org"), B | C) << "U is equal to G, G to H: H does not reach U";
    EXPECT_EQ(Of(".G.Org", ".Org"), B | C | R);
}

TEST_F(Rights, ContainersAboveTheSubjectAreItsPrincipals) {
    Load(Tree("[" + Acl(".Unit.Org", "[Entry Rights]", "B D  I") + "]", "[]"));
    EXPECT_EQ(Of(".V.Unit.Org", ".U.Org"), B | D) << "V lives in Unit";
    EXPECT_EQ(Of(".Leaf.Unit.Org", ".Org"), B | D);
    EXPECT_EQ(Of(".U.Org", ".Org"), 0u) << "U lives in Org, not in Unit";
}

TEST_F(Rights, PublicRootAndThis) {
    Load(Tree("[" + Acl("[Public]", "[Entry Rights]", "B    I") + "," +
                  Acl("[Root]", "[All Attributes Rights]", "CR   I") + "]",
              "[]", "[" + Acl("[This]", "[All Attributes Rights]", "CRW") + "]"));
    EXPECT_EQ(Of(".V.Unit.Org", ".U.Org"), B);
    EXPECT_EQ(Of(".V.Unit.Org", ".U.Org", "Title"), aC | aR);
    EXPECT_EQ(Of("[Public]", ".U.Org"), B);
    EXPECT_EQ(Of("[Public]", ".U.Org", "Title"), 0u) << "[Public] is not logged in";
    EXPECT_EQ(Of(".Leaf.Unit.Org", ".Leaf.Unit.Org", "Title"), aC | aR | aW | aS)
        << "[This] is the object holding the value";
    EXPECT_EQ(Of(".V.Unit.Org", ".Leaf.Unit.Org", "Title"), aC | aR);
}

TEST_F(Rights, InheritedThisGivesEachObjectRightsOnItselfOnly) {
    // [This] is every object on itself: flowing down from Unit, it gives Leaf rights on Leaf,
    // never Unit's residents rights on the objects below.
    Load(Tree("[]", "[" + Acl("[This]", "[Entry Rights]", "BCD  I") + "]"));
    EXPECT_EQ(Of(".Unit.Org", ".Unit.Org"), B | C | D);
    EXPECT_EQ(Of(".Leaf.Unit.Org", ".Leaf.Unit.Org"), B | C | D) << "inherited onto itself";
    EXPECT_EQ(Of(".V.Unit.Org", ".Leaf.Unit.Org"), 0u) << "a resident gains nothing below";
    EXPECT_EQ(Of(".Unit.Org", ".Leaf.Unit.Org"), 0u) << "nor does the container itself";
    EXPECT_EQ(Of(".V.Unit.Org", ".Unit.Org"), B | C | D) << "the container's own rights, as ever";
}

TEST_F(Rights, ImpliedRights) {
    Load(Tree("[" + Acl(".U.Org", "Title", "    AI") + "," + Acl(".U.Org", "Surname", "  W  I") +
                  "," + Acl(".U.Org", "Full Name", " R   I") + "," +
                  Acl(".V.Unit.Org", "[Entry Rights]", "    AI") + "]",
              "[]"));
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC | aR | aW | aS | aA);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Surname"), aW | aS);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Full Name"), aC | aR);
    EXPECT_EQ(Of(".V.Unit.Org", ".Leaf.Unit.Org"), B | C | D | R | A);
    EXPECT_EQ(Of(".V.Unit.Org", ".Leaf.Unit.Org", "Title"), aC | aR | aW | aS | aA);
}

TEST_F(Rights, SingleAttributeValueOverridesAllAttributes) {
    Load(Tree("[" + Acl(".U.Org", "[All Attributes Rights]", "CRW  I") + "," +
                  Acl(".U.Org", "Title", "C    I") + "]",
              "[]"));
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC);
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Surname"), aC | aR | aW | aS);
    // Another principal's all-attributes rights still add up.
    Load(Tree("[" + Acl(".G.Org", "[All Attributes Rights]", "CRW  I") + "," +
                  Acl(".U.Org", "Title", "C    I") + "]",
              "[]"));
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org", "Title"), aC | aR | aW | aS);
}

TEST_F(Rights, ValuesOfOneSubjectCountWherePutInTheList) {
    // Subjects, masks and [This] interleaved in the file: each subject still gets all its values
    // and only its own, and a mask filters whatever its place in the list.
    Load(Tree("[" + Acl(".U.Org", "[Entry Rights]", "BCDR I") + "]",
              "[" + Acl(".V.Unit.Org", "[Entry Rights]", "B") + "," +
                  Acl("[Inheritance Mask]", "[Entry Rights]", "B    I") + "," +
                  Acl(".Leaf.Unit.Org", "[Entry Rights]", "C") + "," +
                  Acl("[This]", "[Entry Rights]", "D") + "," +
                  Acl(".V.Unit.Org", "[Entry Rights]", "R") + "]"));
    // Residents of Unit hold Unit's [This] rights on it too: Unit is one of their principals.
    EXPECT_EQ(Of(".V.Unit.Org", ".Unit.Org"), B | D | R) << "two values apart in the list";
    EXPECT_EQ(Of(".U.Org", ".Unit.Org"), B) << "the mask after the values still filters";
    EXPECT_EQ(Of(".U.Org", ".Leaf.Unit.Org"), B);
    EXPECT_EQ(Of(".Leaf.Unit.Org", ".Unit.Org"), C | D);
    EXPECT_EQ(Of(".Unit.Org", ".Unit.Org"), D);
}
