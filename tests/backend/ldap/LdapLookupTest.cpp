// What looking names up costs the LDAP client against a private slapd: a name is found without
// listing its container, names read from values are found in batches, and what was found once
// costs nothing the second time; a look-up never passes for a listing of the container.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "LdapServer.h"
#include "backend/ldap/LdapClient.h"
#include "convert/TreeGenerate.h"

namespace trovalen {
namespace {

// A flat tree: every user right below the organization, more of them than one page holds.
constexpr uint32_t kUsers = 1500;
constexpr uint32_t kMembers = 600;
constexpr uint32_t kPage = ldap::kDefaultPageSize;

class LdapLookupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!ldaptest::SlapdInstalled())
            return;
        FServer = new ldaptest::TLdapServer();
        convert::TGenerateOptions o;
        o.Users = kUsers;
        o.Groups = 3;
        o.Depth = 0;
        o.Dirs = 0;
        o.Trustees = 0;
        o.Members = kMembers;
        o.AssignEach = true;
        FTreeFile = (FServer->Dir() / "tree.json").string();
        std::ofstream(FTreeFile) << convert::GenerateTreeJson(o);
        FStarted = FServer->Start(FTreeFile, "--tree GEN_TREE", FStartError);
    }
    static void TearDownTestSuite() {
        delete FServer;
        FServer = nullptr;
    }

    void SetUp() override {
        if (!ldaptest::SlapdInstalled())
            GTEST_SKIP() << "slapd is not installed (scripts/setup installs slapd, ldap-utils)";
        ASSERT_TRUE(FStarted) << FStartError;
        TLdapClientOptions options;
        options.Connection.Uri = FServer->Uri();
        FClient = std::make_unique<TLdapClient>(options);
        std::string error;
        ASSERT_TRUE(FClient->Connect(error)) << error;
        ASSERT_EQ(FClient->NewContext(FCtx), NW_OK);
        ASSERT_EQ(FClient->SetContextValue(FCtx, DCK_FLAGS, DCV_TYPELESS_NAMES), NW_OK);
    }

    // The base class of an object, or the code that says why there is none.
    NWCCODE ClassOf(const std::string& name, std::string& className) {
        std::string dn;
        TObjectSummary summary;
        NWCCODE code = FClient->ReadObjectSummary(FCtx, name, dn, summary);
        className = summary.ClassName;
        return code;
    }

    // The requests that f sends.
    template <class F> uint64_t Cost(F f) {
        uint64_t before = FClient->Requests();
        f();
        return FClient->Requests() - before;
    }

    // The subjects of an object's ACL values, as the client names them.
    std::vector<std::string> AclSubjects(const std::string& object) {
        std::vector<std::string> out;
        NWHandle request = 0, result = 0;
        EXPECT_EQ(FClient->AllocBuf(DEFAULT_MESSAGE_LEN, request), NW_OK);
        EXPECT_EQ(FClient->AllocBuf(MAX_MESSAGE_LEN, result), NW_OK);
        EXPECT_EQ(FClient->InitBuf(FCtx, DSV_READ, request), NW_OK);
        EXPECT_EQ(FClient->PutAttrName(FCtx, request, "ACL"), NW_OK);
        int32_t iteration = -1;
        EXPECT_EQ(FClient->ReadAttributes(FCtx, object, 1, false, request, iteration, result),
                  NW_OK);
        std::string name;
        uint32_t count = 0, syntax = 0;
        while (FClient->NextAttr(FCtx, result, name, count, syntax) == NW_OK) {
            TAttrValue value;
            while (FClient->NextAttrValue(FCtx, result, syntax, value) == NW_OK)
                if (const auto* acl = std::get_if<TValObjectACL>(&value.Data);
                    acl && acl->SubjectName[0] != '[')
                    out.push_back(acl->SubjectName);
        }
        FClient->FreeBuf(request);
        FClient->FreeBuf(result);
        return out;
    }

    static ldaptest::TLdapServer* FServer;
    static std::string FTreeFile;
    static bool FStarted;
    static std::string FStartError;
    std::unique_ptr<TLdapClient> FClient;
    NWHandle FCtx = 0;
};

ldaptest::TLdapServer* LdapLookupTest::FServer = nullptr;
std::string LdapLookupTest::FTreeFile;
bool LdapLookupTest::FStarted = false;
std::string LdapLookupTest::FStartError;

TEST_F(LdapLookupTest, NamesInALargeContainerAreFoundWithoutListingIt) {
    // Listing the organization would take more than kUsers / kPage pages.
    struct TCase {
        const char* Name;
        NWCCODE Code;
        const char* Class;
        uint64_t MaxRequests; // the top, then one look-up per part not known yet
    } cases[] = {
        {".User00042.Gen", NW_OK, "User", 2},      {".User00042.Gen", NW_OK, "User", 0},
        {"User01499.Gen", NW_OK, "User", 1},       {".Target.Gen", NW_OK, "Group", 1},
        {".M00007.Members.Gen", NW_OK, "User", 2}, {".M00008.Members.Gen", NW_OK, "User", 1},
        {".Gen", NW_OK, "Organization", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string className;
        NWCCODE code = NW_OK;
        EXPECT_LE(Cost([&] { code = ClassOf(c.Name, className); }), c.MaxRequests);
        EXPECT_EQ(code, c.Code);
        EXPECT_EQ(className, c.Class);
    }
}

TEST_F(LdapLookupTest, NamesTheTreeDoesNotHoldAreRefused) {
    for (const char* name : {".Nobody.Gen", ".User00042.Nowhere.Gen", ".Gen.Nothing", "Nobody"}) {
        SCOPED_TRACE(name);
        std::string className;
        EXPECT_EQ(ClassOf(name, className), ERR_NO_SUCH_ENTRY);
    }
    // A name looked for in vain does not keep its container from being found.
    std::string className;
    EXPECT_EQ(ClassOf(".Members.Gen", className), NW_OK);
    EXPECT_EQ(className, "Organizational Unit");
}

TEST_F(LdapLookupTest, SubjectsOfAnAclAreReadInBatchesAndKept) {
    std::vector<std::string> subjects = AclSubjects(".Target.Gen");
    // The members, Everyone (entry and attribute rights) and Residents.
    ASSERT_EQ(subjects.size(), kMembers + 3);
    uint64_t cost = Cost([&] {
        for (const std::string& s : subjects) {
            SCOPED_TRACE(s);
            std::string className;
            EXPECT_EQ(ClassOf(s, className), NW_OK);
            EXPECT_EQ(className, s.rfind("M", 0) == 0          ? "User"
                                 : s.rfind("Everyone", 0) == 0 ? "Group"
                                                               : "Organizational Unit");
        }
    });
    // The members in batches of a page, the two below the organization in one more, and
    // Members.Gen itself.
    EXPECT_LE(cost, (kMembers + kPage - 1) / kPage + 2);
    EXPECT_EQ(Cost([&] {
                  for (const std::string& s : subjects) {
                      std::string className;
                      ClassOf(s, className);
                  }
              }),
              0u);
}

TEST_F(LdapLookupTest, ALookUpNeverPassesForAListingOfTheContainer) {
    std::string className;
    ASSERT_EQ(ClassOf(".User00042.Gen", className), NW_OK);
    ASSERT_EQ(AclSubjects(".Target.Gen").size(), kMembers + 3);
    ASSERT_EQ(ClassOf(".M00001.Members.Gen", className), NW_OK);
    for (const auto& [container, expected] :
         // The users, three groups, Admin, the server and its volume, the scenario's four.
         {std::pair<std::string, uint32_t>{".Gen", kUsers + 3 + 3 + 4},
          std::pair<std::string, uint32_t>{".Members.Gen", kMembers}}) {
        SCOPED_TRACE(container);
        NWHandle buf = 0;
        ASSERT_EQ(FClient->AllocBuf(MAX_MESSAGE_LEN, buf), NW_OK);
        int32_t iteration = -1;
        uint32_t listed = 0;
        do {
            ASSERT_EQ(FClient->ListSubordinates(FCtx, container, iteration, buf), NW_OK);
            uint32_t count = 0;
            ASSERT_EQ(FClient->ObjectCount(FCtx, buf, count), NW_OK);
            listed += count;
        } while (iteration != -1);
        EXPECT_EQ(listed, expected);
        FClient->FreeBuf(buf);
    }
}

} // namespace
} // namespace trovalen
