#include "AnalysisFixture.h"

#include "directory/DSFilter.h"
#include "model/RightsModel.h"
#include "util/Util.h"

#include <map>
#include <set>

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {
constexpr uint32_t kEdir = ET_EDIRECTORY;
const std::string kPrinter = ".Printer1.SALES.ACME";
} // namespace

TEST_F(AnalysisTest, InheritanceFollowsTheLetterIAndMergesLevels) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    ASSERT_TRUE(HasLine("Object: \".Printer1.SALES.ACME\" on tree \"RIGHTS_TREE\"")) << Dump();
    // From .ACME [ C   I], from .SALES.ACME [B    I], through .Managers.ACME [B  R I].
    std::string joe = "  Effective: [BC R I] -> [User] .Joe.SALES.ACME / [Entry Rights]";
    ASSERT_TRUE(HasLine(joe)) << Dump();
    auto reasons = ReasonsOf(joe);
    EXPECT_EQ(reasons,
              (std::vector<std::string>{"[ C   I] for direct Trustee assignment on \".ACME\"",
                                        "[B    I] for direct Trustee assignment on \".SALES.ACME\"",
                                        "[B  R I] for SecEqu to \".Managers.ACME\""}))
        << Dump();
    // Assigned at .SALES.ACME without I: it does not reach the object.
    EXPECT_EQ(CountPrefix("  Effective: [BC    ] -> [User] .Ann.SALES.ACME / [Entry Rights]"), 0);
    EXPECT_EQ(log.IndexOfExact("  Direct Trustee: [BC    ] .Ann.SALES.ACME / [Entry Rights]") >= 0,
              true);
}

TEST_F(AnalysisTest, ImpliedRightsOnSingleAttributesKeepAssignedLettersAsReasons) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    std::string ann = "  Effective: [CRWSA ] -> [User] .Ann.SALES.ACME / Title";
    ASSERT_TRUE(HasLine(ann)) << Dump();
    EXPECT_EQ(ReasonsOf(ann),
              (std::vector<std::string>{
                  "[    A ] for direct Trustee assignment on \".Printer1.SALES.ACME\""}));
    EXPECT_TRUE(HasLine("  Effective: [  WS  ] -> [User] .Kim.SALES.ACME / Description")) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [CR    ] -> [User] .Joe.SALES.ACME / Telephone Number"))
        << Dump();
}

TEST_F(AnalysisTest, EffectiveSupervisorRaisesAttributeValues) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    std::string admin = "  Effective: [CRWSA ] -> [User] .Admin.ACME / Title";
    ASSERT_TRUE(HasLine(admin)) << Dump();
    auto reasons = ReasonsOf(admin);
    ASSERT_EQ(reasons.size(), 2u) << Dump();
    EXPECT_EQ(reasons[0], "[ R   I] for direct Trustee assignment on \".Printer1.SALES.ACME\"");
    EXPECT_EQ(reasons[1], "[CRWSA ] Effective [BCDRAI] rights on [Entry Rights]  ");
    EXPECT_TRUE(HasLine("  Effective: [BCDRAI] -> [User] .Admin.ACME / [Entry Rights]")) << Dump();
}

// A directory without an effective-rights computation of its own (a plain LDAP server).
class NoEffectiveRightsClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE EntryEffectiveRights(NWHandle, const std::string&, const std::string&,
                                 const std::string&, uint32_t& rights) override {
        rights = 0;
        return ERR_RIGHTS_NOT_COMPUTED;
    }
};

TEST_F(AnalysisTest, DirectoryWithoutEffectiveRightsSaysSoOnceAndRaisesNothing) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    ASSERT_TRUE(ServeWith<NoEffectiveRightsClient>("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    int said = 0;
    for (const auto& line : log)
        said += line.Text.find(kRightsNotComputedText) != std::string::npos ? 1 : 0;
    EXPECT_EQ(said, 1) << Dump();
    EXPECT_EQ(CountPrefix("  Check 2:"), 0) << Dump();
    // Without the directory's answer nothing raises Admin's single attribute.
    std::string admin = "  Effective: [CR    ] -> [User] .Admin.ACME / Title";
    ASSERT_TRUE(HasLine(admin)) << Dump();
    EXPECT_EQ(ReasonsOf(admin).size(), 1u) << Dump();
}

TEST_F(AnalysisTest, ContainerIrmsFilterInheritedEntryRights) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(".Box.DEV.ACME", kEdir);
    EXPECT_TRUE(HasLine("IRM: [B    I] on \"[Entry Rights]\"")) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [B    I] -> [User] .Admin.ACME / [Entry Rights]")) << Dump();
    // Joe's [ C   I] has nothing left but I: removed.
    EXPECT_EQ(CountPrefix("  Effective: [ C   I] -> [User] .Joe"), 0) << Dump();
    // The client agrees with what was computed: no second check line.
    EXPECT_EQ(CountPrefix("  Check 2:"), 0) << Dump();

    Analyse(".Thing.TEAM.DEV.ACME", kEdir);
    EXPECT_EQ(CountPrefix("  Effective: "), 0) << "an IRM of only I removes every value\n"
                                               << Dump();
}

TEST_F(AnalysisTest, SecurityEquivalenceIsOneLevelDeep) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    EXPECT_TRUE(HasLine("  Indirect Trustee: .Deputies.ACME\t(SecEqu to \".Managers.ACME\")"))
        << Dump();
    EXPECT_TRUE(HasLine("  Effective: [B  R I] -> [Group] .Deputies.ACME / [Entry Rights]"))
        << Dump();
    // Kim is equal to Deputies, which only became a trustee through Managers.
    EXPECT_EQ(CountPrefix("  Indirect Trustee: .Kim.SALES.ACME"), 0) << Dump();
    EXPECT_EQ(CountPrefix("  Effective: [B  R I] -> [User] .Kim"), 0) << Dump();
}

TEST_F(AnalysisTest, ResidentsEnterWithTheContainersLetters) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir);
    EXPECT_EQ(CountPrefix("  Indirect Trustee: .Eve"), 0) << "only with the resolve flag";

    Analyse(kPrinter, kEdir | ET_RESOLVE_CONTAINERS);
    EXPECT_TRUE(HasLine("  Effective: [B    I] -> [User] .Eve.TEAM.DEV.ACME / [Entry Rights]"))
        << Dump();
    EXPECT_TRUE(
        HasLine("  Effective: [B    I] -> [Computer] .Thing.TEAM.DEV.ACME / [Entry Rights]"))
        << Dump();
    EXPECT_EQ(
        CountPrefix("  Indirect Trustee: Eve.TEAM.DEV.ACME\t(Resides in \".TEAM.DEV.ACME\")") +
            CountPrefix("  Indirect Trustee: .Eve.TEAM.DEV.ACME\t(Resides in \".TEAM.DEV.ACME\")"),
        1)
        << Dump();
}

TEST_F(AnalysisTest, OnlyUsersKeepsLoginObjectsAndPseudoTrustees) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    Analyse(kPrinter, kEdir | ET_ONLY_USERS);
    EXPECT_EQ(CountPrefix("  Effective: [B  R I] -> [Group] .Managers.ACME"), 0) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [CR    ] -> [n/a] [Public] / Title")) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [CRWSA ] -> [User] .Ann.SALES.ACME / Title")) << Dump();
    // Organizations and units carry ndsLoginProperties among their classes, as in a real
    // directory: the reduction keeps them even without the resolve flag.
    EXPECT_TRUE(
        HasLine("  Effective: [B    I] -> [Organizational Unit] .TEAM.DEV.ACME / [Entry Rights]"))
        << "a container that can hold login properties stays\n"
        << Dump();

    Analyse(kPrinter, kEdir | ET_ONLY_USERS | ET_RESOLVE_CONTAINERS);
    EXPECT_TRUE(
        HasLine("  Effective: [B    I] -> [Organizational Unit] .TEAM.DEV.ACME / [Entry Rights]"))
        << "a container stays with the resolve flag\n"
        << Dump();
}

TEST_F(AnalysisTest, NoLogStillFillsTheTrusteeList) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    trustees.Clear();
    U_EffectiveTrustees(client.get(), ctx, kPrinter, 31, nullptr, trustees, nullptr, kEdir);
    EXPECT_GE(trustees.IndexOfExact("[CRWSA ] .Ann.SALES.ACME / Title"), 0) << trustees.Text("\n");
}

// --- File-system mode ---------------------------------------------------------------------------

TEST_F(AnalysisTest, ServerSupervisorIrmsAndDirectAssignments) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Analyse("FS1/SYS:APPS\\DATA", 0);
    ASSERT_TRUE(HasLine("Tree/Volume/Server: FILE_TREE / FS1_SYS.ACME / FS1.ACME")) << Dump();
    // Supervisor on the server object's entry rights (inherited from .ACME) gives every right.
    EXPECT_TRUE(HasLine("  Effective: [RWCEAFMS] -> [User] .Admin.ACME")) << Dump();
    // Bob's server Supervisor is replaced by his own assignment on the volume root, which the
    // IRM of APPS then filters.
    EXPECT_TRUE(HasLine("  Effective: [R    F  ] -> [User] .Bob.ACME")) << Dump();
    // Joe: RWCEAFM on APPS, replaced by RF on DATA.
    EXPECT_TRUE(HasLine("  Effective: [R    F  ] -> [User] .Joe.ACME")) << Dump();
    // Ann is equal to two trustees: both masks merge into one entry.
    EXPECT_TRUE(HasLine("  Effective: [RW   F  ] -> [User] .Ann.ACME")) << Dump();
    EXPECT_EQ(CountPrefix("  Effective: [R    F  ] -> [User] .Ann.ACME"), 0) << Dump();
    // An ID that no object has, with an empty class.
    EXPECT_TRUE(HasLine("  Effective: [R    F  ] -> [] ID: [0000ABCD]")) << Dump();
    // Levels of the start path and above.
    EXPECT_TRUE(HasLine("Path: \"SYS:APPS\\DATA\" - IRM [RWCEAFM ]")) << Dump();
    EXPECT_TRUE(HasLine("Path: \"SYS:APPS\" - IRM [R    F  ]")) << Dump();
    EXPECT_TRUE(HasLine("Path: \"SYS:\" - IRM [RWCEAFMS]")) << Dump();
    EXPECT_EQ(CountPrefix("  Apply Filter:"), 0) << "level 41 stays out with threshold 31";
    EXPECT_EQ(CountPrefix("  Recalc:"), 0);
}

TEST_F(AnalysisTest, DirectoryIrmNeverFiltersSupervisor) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Analyse("FS1/SYS:APPS\\TOOLS", 0, 41);
    EXPECT_TRUE(HasLine("  Effective: [RWCEAFMS] -> [User] .Admin.ACME")) << Dump();
    EXPECT_EQ(CountPrefix("  Effective: [R    F  ] -> [User] .Bob.ACME"), 0) << Dump();
    EXPECT_EQ(CountPrefix("  Effective: [R    F  ] -> [User] .Joe.ACME"), 0) << Dump();
    EXPECT_GT(CountPrefix("  Apply Filter: .Joe.ACME -> [        ]"), 0) << Dump();
    EXPECT_GT(CountPrefix("  Recalc: .Admin.ACME: [RWCEAFMS]"), 0) << Dump();
}

TEST_F(AnalysisTest, ServerBelowAnEntryIrmWithoutSupervisor) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Analyse("FS2/SYS:DOCS", 0);
    EXPECT_EQ(CountPrefix("  Effective: "), 0) << Dump();
    EXPECT_TRUE(HasLine("IRM: [BCDR I]")) << Dump();
}

TEST_F(AnalysisTest, PathWithoutReadableLevels) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Analyse("FS1/SYS:NOPE", 0);
    EXPECT_EQ(CountPrefix("Invalid Path (FS1/SYS:NOPE): 0xFFFFFFFF"), 1) << Dump();
    // Only the trustees of the server object remain.
    EXPECT_TRUE(HasLine("  Effective: [RWCEAFMS] -> [User] .Admin.ACME")) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [RWCEAFMS] -> [User] .Bob.ACME")) << Dump();
}

TEST_F(AnalysisTest, OnlyUsersInFileSystemMode) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-fs.json"));
    Analyse("FS1/SYS:APPS", ET_ONLY_USERS);
    EXPECT_EQ(CountPrefix("  Effective: [R    F  ] -> [Group] .Staff.ACME"), 0) << Dump();
    EXPECT_EQ(CountPrefix("  Effective: [R    F  ] -> [] ID: [0000ABCD]"), 0) << Dump();
    EXPECT_TRUE(HasLine("  Effective: [RWCEAFM ] -> [User] .Joe.ACME")) << Dump();
}

// --- The security-equivalence cache and awkward names -------------------------------------------

#include "backend/sim/SimLoader.h"

namespace {
// Counts the searches that reach the client.
class CountingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE SearchObjects(NWHandle ctx, const std::string& base, int scope, NWHandle filterBuf,
                          bool namesOnly, int32_t& iteration, uint32_t maxPerCall, uint32_t& count,
                          NWHandle result) override {
        if (iteration == -1)
            ++Searches;
        return TSimClient::SearchObjects(ctx, base, scope, filterBuf, namesOnly, iteration,
                                         maxPerCall, count, result);
    }
    int Searches = 0;
};
} // namespace

TEST_F(AnalysisTest, OneSearchPerTrusteeNameAndCallWithoutLeftovers) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    auto counting = ServeWith<CountingClient>("rights-edir.json");
    ASSERT_TRUE(counting);

    Analyse(kPrinter, kEdir);
    // One search per distinct trustee name, although Joe and Admin hold several values.
    std::set<std::string> names;
    for (const auto& line : log)
        if (line.Text.rfind("  Effective: ", 0) == 0)
            names.insert(U_ACLSubject(U_TailOf(line.Text, "] ", true)));
    int searches = counting->Searches;
    EXPECT_GT(searches, 0);
    EXPECT_LT(searches, CountPrefix("  Effective: ")) << Dump();

    // The cache lives for one call: a second call searches again.
    Analyse(kPrinter, kEdir);
    EXPECT_EQ(counting->Searches, 2 * searches);
}

TEST_F(AnalysisTest, EquivalentsOfNamesWithFilterCharacters) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-names.json"));
    Analyse(".Vault.Acme", kEdir);
    // Every group name holds a character of the filter language; each one's member is found.
    for (const char* user :
         {".U1.Acme", ".U2.Acme", ".U3.Acme", ".U4.Acme", ".U5.Acme", ".U6.Acme"})
        EXPECT_EQ(CountPrefix(std::string("  Effective: [B    I] -> [User] ") + user), 1)
            << user << "\n"
            << Dump();
    EXPECT_EQ(CountPrefix("U_DSFilteredSearch"), 0) << Dump();
}

TEST_F(AnalysisTest, AllAttributesRightsGetTheirImpliedRightsAndTheSupervisorRaise) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-allattrs.json"));
    Analyse(".Doc.ACME", kEdir);
    // Write brings Self, Read brings Compare, on [All Attributes Rights] as on one attribute.
    EXPECT_TRUE(HasLine("  Effective: [  WS  ] -> [User] .Writer.ACME / [All Attributes Rights]"))
        << Dump();
    EXPECT_TRUE(HasLine("  Effective: [CR    ] -> [User] .Reader.ACME / [All Attributes Rights]"))
        << Dump();
    // Effective entry Supervisor raises the value to every attribute right, and says why.
    std::string boss = "  Effective: [CRWSA ] -> [User] .Boss.ACME / [All Attributes Rights]";
    ASSERT_TRUE(HasLine(boss)) << Dump();
    EXPECT_EQ(ReasonsOf(boss),
              (std::vector<std::string>{"[ R    ] for direct Trustee assignment on \".Doc.ACME\"",
                                        "[CRWSA ] Effective [BCDRAI] rights on [Entry Rights]  "}));
    // The directory computes the same: no second check line.
    EXPECT_EQ(CountPrefix("  Check 2:"), 0) << Dump();
}

namespace {
// Counts the effective-rights questions per subject and attribute.
class RightsCountingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                 const std::string& object, const std::string& attr,
                                 uint32_t& rights) override {
        ++Asked[subject + " / " + attr];
        return TSimClient::EntryEffectiveRights(ctx, subject, object, attr, rights);
    }
    std::map<std::string, int> Asked;
};
} // namespace

TEST_F(AnalysisTest, EffectiveRightsAskedOncePerSubjectAndAttributeInEachAnalysis) {
    const std::pair<std::string, std::string> cases[] = {{"rights-edir.json", kPrinter},
                                                         {"rights-allattrs.json", ".Doc.ACME"}};
    for (const auto& [tree, target] : cases) {
        SCOPED_TRACE(tree);
        auto counting = ServeWith<RightsCountingClient>(tree);
        ASSERT_TRUE(counting);
        Analyse(target, kEdir | ET_RESOLVE_CONTAINERS);
        ASSERT_FALSE(counting->Asked.empty()) << Dump();
        const std::vector<std::string> first = log.Strings();
        for (const auto& [question, times] : counting->Asked)
            EXPECT_EQ(times, 1) << question;
        // The answers are not kept from one analysis to the next: the directory may change.
        Analyse(target, kEdir | ET_RESOLVE_CONTAINERS);
        for (const auto& [question, times] : counting->Asked)
            EXPECT_EQ(times, 2) << question;
        EXPECT_EQ(log.Strings(), first);
    }
}
