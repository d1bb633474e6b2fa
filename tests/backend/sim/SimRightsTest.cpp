// The directory's own effective rights, worked by hand on small trees.
#include "SimTestUtil.h"

#include <map>

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

TEST_F(Rights, AnswersDoNotDependOnWhatWasAskedBefore) {
    // What is worked out about an object is kept for the next question about it; with 150
    // trustees of their own the principals are past the point where they are indexed. Each
    // answer, asked after everything else about the same object, must be the one asked alone.
    std::string orgAcl = "[" + Acl("[Public]", "[Entry Rights]", "B    I");
    std::string unitAcl = "[" + Acl(".G.Org", "[All Attributes Rights]", "CR   I");
    std::string users;
    const char* const rights[] = {"BCD  I", "CR   I", "CRW  I", "BR"};
    const char* const attrs[] = {"[Entry Rights]", "[All Attributes Rights]", "Title",
                                 "[Entry Rights]"};
    std::vector<std::string> subjects = {".U.Org", ".V.Unit.Org", ".G.Org", "[Public]"};
    for (int i = 0; i < 150; ++i) {
        const std::string user = "P" + std::to_string(i) + ".Unit.Org";
        users += R"(, {"name": ")" + user + R"(", "class": "User")" +
                 (i % 5 == 0 ? R"(, "attributes": {"Security Equals": [".G.Org"]}})" : "}");
        orgAcl += "," + Acl("." + user, attrs[i % 4], rights[i % 4]);
        if (i % 7 == 0)
            unitAcl += "," + Acl("." + user, attrs[(i + 1) % 4], rights[(i + 1) % 4]);
        subjects.push_back("." + user);
    }
    const std::string tree = Tree(orgAcl + "]", unitAcl + "]", "[]", users);
    Load(tree);
    const std::vector<std::string> objects = {".Org", ".Unit.Org", ".Leaf.Unit.Org",
                                              ".P3.Unit.Org"};
    const std::vector<std::string> asked = {"[Entry Rights]", "[All Attributes Rights]", "Title"};

    // Each alone: another object asked in between, so that nothing is kept; last object first.
    std::map<std::string, uint32_t> alone;
    for (auto object = objects.rbegin(); object != objects.rend(); ++object)
        for (const auto& attr : asked)
            for (auto subject = subjects.rbegin(); subject != subjects.rend(); ++subject) {
                Of(*subject, ".H.Org");
                alone[*subject + "|" + *object + "|" + attr] = Of(*subject, *object, attr);
            }
    // Then on a client of its own, everything about each object in a row.
    client = ClientFromText(tree);
    ASSERT_TRUE(client);
    ctx = NewCtx(*client);
    for (const auto& object : objects)
        for (const auto& attr : asked)
            for (const auto& subject : subjects)
                ASSERT_EQ(Of(subject, object, attr), alone[subject + "|" + object + "|" + attr])
                    << subject << " on " << object << " / " << attr;
    // Some answers are rights at all, so that equal answers say something.
    EXPECT_EQ(Of(".P0.Unit.Org", ".Leaf.Unit.Org"), B | C | D);
    EXPECT_EQ(Of(".P2.Unit.Org", ".Unit.Org", "Title"), aC | aR | aW | aS);
}
