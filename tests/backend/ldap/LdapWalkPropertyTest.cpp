// The walks' properties through a private slapd, over the sample tree and each scenario tree
// with a directory: the subtree audit of the whole tree lists every object exactly as the
// forward scan of that object through the same server does, whatever the switches; and every
// user's reverse query gives that user, on every object, exactly the lines the forward scan with
// resolved containers gives that user there.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "LdapServer.h"
#include "backend/ldap/LdapClient.h"
#include "backend/sim/SimLoader.h"
#include "common/ScanRender.h"
#include "rights/ScanSession.h"
#include "util/Util.h"

namespace trovalen {
namespace {

using namespace trovalen::test;

struct TFlags {
    bool Resolve;
    bool OnlyUsers;
};
constexpr TFlags kFlagSets[] = {{false, false}, {true, false}, {false, true}, {true, true}};

TScanResult Scan(TNWClient* client, const std::string& tree, TScanRequest request) {
    TScanSession session(client);
    EXPECT_EQ(session.ChooseTree(tree), NW_OK);
    request.Edir = true;
    request.VariantName = "Trovalen.edir";
    request.ShowDetails = true;
    TScanHost host;
    TScanResult result;
    session.Scan(request, host, result);
    return result;
}

TScanRequest Request(TFlags flags, const std::vector<std::string>& entries) {
    TScanRequest r;
    r.ResolveContainers = flags.Resolve;
    r.OnlyUsers = flags.OnlyUsers;
    for (const auto& e : entries)
        r.Entries.Add(e);
    return r;
}

class LdapWalkProperty : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!ldaptest::SlapdInstalled())
            GTEST_SKIP() << "slapd is not installed (scripts/setup installs slapd, ldap-utils)";
        FPath = std::string(GetParam()) == "sample"
                    ? std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json"
                    : std::string(TROVALEN_TEST_DATA) + "/" + GetParam();
        std::string error;
        FLoaded = sim::LoadTreeFile(FPath, error);
        ASSERT_TRUE(FLoaded) << error;
    }

    // Each tree of the file with its server and a client connected to it.
    template <class TCheck> void ForEachTree(TCheck check) {
        for (const sim::TSimTree& tree : FLoaded->Trees) {
            SCOPED_TRACE(tree.Name);
            ldaptest::TLdapServer server;
            TROVALEN_START_LDAP(server, FPath, "--tree '" + tree.Name + "'");
            TLdapClientOptions options;
            options.Connection.Uri = server.Uri();
            TLdapClient ldap(options);
            std::string error;
            ASSERT_TRUE(ldap.Connect(error)) << error;
            check(tree, ldap);
        }
    }

    // Every object of the tree, as a walk names it.
    static std::set<std::string> EveryObject(const sim::TSimTree& tree) {
        std::set<std::string> all{"[ROOT]"};
        for (const auto& o : tree.Objects)
            if (!o.FullName.empty() && o.FullName != "[Root]")
                all.insert(U_UpperCase("." + o.FullName));
        return all;
    }

    std::vector<std::string> Users(const sim::TSimTree& tree) const {
        std::vector<std::string> users;
        for (const auto& o : tree.Objects)
            if (o.Class >= 0 && FLoaded->Schema.Classes[o.Class].Name == "User")
                users.push_back("." + o.FullName);
        return users;
    }

    std::string FPath;
    std::shared_ptr<const sim::TSimWorld> FLoaded;
};

TEST_P(LdapWalkProperty, SubtreeAuditListsEveryObjectAsTheForwardScanDoes) {
    ForEachTree([&](const sim::TSimTree& tree, TLdapClient& ldap) {
        for (const TFlags flags : kFlagSets) {
            SCOPED_TRACE(U_Format("resolve %d, only users %d", flags.Resolve, flags.OnlyUsers));
            TScanRequest audit = Request(flags, {"[Root]"});
            audit.Recursive = true;
            const TScanResult walked = Scan(&ldap, tree.Name, audit);
            EXPECT_TRUE(walked.Broken.empty()) << walked.Broken;
            const std::vector<std::string> names = WalkedNames(walked, EveryObject(tree));
            ExpectAsForward(walked, Scan(&ldap, tree.Name, Request(flags, names)));
        }
    });
}

TEST_P(LdapWalkProperty, ReverseQueryGivesEachUserTheForwardScansLines) {
    ForEachTree([&](const sim::TSimTree& tree, TLdapClient& ldap) {
        TScanRequest audit = Request({true, false}, {"[Root]"});
        audit.Recursive = true;
        std::vector<std::string> names;
        for (const auto& e : Scan(&ldap, tree.Name, audit).Entries)
            names.push_back(e.Name);
        const TScanResult forward = Scan(&ldap, tree.Name, Request({true, false}, names));
        size_t linesCompared = 0, forwardLines = 0;
        for (const auto& e : forward.Entries)
            forwardLines += e.Trustees.size();

        const std::vector<std::string> users = Users(tree);
        for (const auto& user : users) {
            TScanRequest reverse = Request({false, false}, {"[Root]"});
            reverse.Trustee = user;
            const TScanResult reached = Scan(&ldap, tree.Name, reverse);
            EXPECT_TRUE(reached.Failure.empty()) << user << ": " << reached.Failure;
            linesCompared += ExpectReachAsForward(user, forward, reached);
        }
        // Where anyone holds rights, some user does.
        EXPECT_TRUE(users.empty() || forwardLines == 0 || linesCompared > 0);
    });
}

// read-names.json holds no ACL value: the client refuses its server, as another test shows;
// rights-fs.json has no directory to speak of.
INSTANTIATE_TEST_SUITE_P(ScenarioTrees, LdapWalkProperty,
                         ::testing::Values("sample", "rights-allattrs.json", "rights-edir.json",
                                           "rights-names.json", "rights-many-own.json",
                                           "rights-many-equal.json"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             for (auto& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace trovalen
