// The filter language as the client sees it: the token sequences that filter texts turn into, the
// failures that stop a filter before the search, the search loop over batches, and the direct
// equality search that never goes through the text.
#include <gtest/gtest.h>

#include <memory>

#include "RecordingClient.h"
#include "directory/DSFilter.h"
#include "util/Platform.h"

namespace trovalen {
namespace {

using testing::TRecordingClient;

class FilterLanguage : public ::testing::Test {
protected:
    std::shared_ptr<TRecordingClient> Client = std::make_shared<TRecordingClient>();
    TStringList Found;
    int MessageBoxes = 0;
    TUiHooks Previous;

    void SetUp() override {
        Client->SetSyntax("Security Equals", SYN_DIST_NAME);
        Client->SetSyntax("Title", SYN_CI_STRING);
        Client->SetSyntax("a", SYN_CI_STRING);
        Client->SetSyntax("b", SYN_CI_STRING);
        Client->SetSyntax("Object Class", SYN_CLASS_NAME);
        Client->SetSyntax("Login Grace Limit", SYN_INTEGER);
        Client->SetSyntax("Language", SYN_CI_LIST);
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string&) {
            ++MessageBoxes;
        };
        Previous = U_SetUiHooks(hooks);
    }
    void TearDown() override { U_SetUiHooks(Previous); }

    NWCCODE Search(const std::string& filter) {
        return U_DSFilteredSearch(Client.get(), 1, "[Root]", filter, Found, DS_SEARCH_SUBTREE);
    }

    // Tokens of a filter that the client accepted, or "error <code>".
    std::string Tokens(const std::string& filter) {
        Client->Tokens.clear();
        Client->Calls.clear();
        NWCCODE code = Search(filter);
        if (code != NW_OK)
            return "error " + std::to_string(code);
        return Client->TokenText();
    }

    void ExpectNothingHeld() {
        EXPECT_TRUE(Client->OpenBuffers.empty());
        EXPECT_TRUE(Client->OpenFilters.empty());
    }
};

TEST_F(FilterLanguage, SecurityEqualsComparisonAndItsSearch) {
    Client->Batches = {{"Joe.SALES.ACME", "Ann.SALES.ACME"}, {"Bob.ACME"}};
    EXPECT_EQ(Search("(Security Equals=.admin.acme)"), NW_OK);
    EXPECT_EQ(Client->TokenText(), "4 14(Security Equals/1) 7 6(.admin.acme/1) 5 0");
    ASSERT_EQ(Found.Count(), 3);
    EXPECT_EQ(Found[0], "Joe.SALES.ACME");
    EXPECT_EQ(Found[2], "Bob.ACME");
    for (int i = 0; i < Found.Count(); ++i)
        EXPECT_EQ(Found.Value(i), 1u);
    EXPECT_EQ(Client->SearchBases, (std::vector<std::string>{"[Root]", "[Root]"}));
    EXPECT_EQ(Client->SearchScopes[0], DS_SEARCH_SUBTREE);
    EXPECT_EQ(Client->FiltersPut, 1);
    EXPECT_EQ(Client->FiltersFreed, 0);
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, NegationsAndPresence) {
    const std::string negated = "4 3 14(Title/3) 7 6(x/3) 5 0";
    EXPECT_EQ(Tokens("Title!=x"), negated);
    EXPECT_EQ(Tokens("Title<>x"), negated);
    EXPECT_EQ(Tokens("Title#NE#x"), negated);
    EXPECT_EQ(Tokens("Title=*"), "15 14(Title/3) 0");
    EXPECT_EQ(Tokens("Title#PRESENT#"), "15 14(Title/3) 0");
    EXPECT_EQ(Tokens("Title#NOTPRESENT#"), "4 3 15 14(Title/3) 5 0");
    EXPECT_EQ(Tokens("!(Title=x)"), "3 4 14(Title/3) 7 6(x/3) 5 0");
    EXPECT_EQ(Tokens("(Title=x) NOT (a=1)"), "4 14(Title/3) 7 6(x/3) 5 3 4 14(a/3) 7 6(1/3) 5 0");
}

TEST_F(FilterLanguage, OperatorsAndTheirWrittenForms) {
    Client->SetSyntax("Login Grace Limit", SYN_INTEGER);
    EXPECT_EQ(Tokens("Title>=m"), "14(Title/3) 8 6(m/3) 0");
    EXPECT_EQ(Tokens("Title#GE#m"), "14(Title/3) 8 6(m/3) 0");
    EXPECT_EQ(Tokens("Title<=m"), "14(Title/3) 9 6(m/3) 0");
    EXPECT_EQ(Tokens("Title#LE#m"), "14(Title/3) 9 6(m/3) 0");
    EXPECT_EQ(Tokens("Title#EQ#m"), "14(Title/3) 7 6(m/3) 0");
    EXPECT_EQ(Tokens("Title#APPROX#m"), "14(Title/3) 10 6(m/3) 0");
    // "<=" is looked for before "=": a value holding "<=" splits there, and "Title=a" is no
    // attribute of the tree.
    EXPECT_EQ(Tokens("Title=a<=b"), "error " + std::to_string(ERR_NO_SUCH_ATTRIBUTE));
    // Blanks and tabs around the parts are dropped.
    EXPECT_EQ(Tokens(" \tTitle = Sales Manager\t "), "14(Title/3) 7 6(Sales Manager/3) 0");
}

TEST_F(FilterLanguage, WordOperatorsOnlyBetweenParentheses) {
    const std::string both = "4 14(a/3) 7 6(1/3) 5 2 4 14(b/3) 7 6(2/3) 5 0";
    EXPECT_EQ(Tokens("(a=1) AND (b=2)"), both);
    EXPECT_EQ(Tokens("(a=1)#AND#(b=2)"), both);
    EXPECT_EQ(Tokens("(a=1)&&(b=2)"), both);
    EXPECT_EQ(Tokens("(a=1) & (b=2)"), both);
    EXPECT_EQ(Tokens("(a=1) OR (b=2)"), "4 14(a/3) 7 6(1/3) 5 1 4 14(b/3) 7 6(2/3) 5 0");
    EXPECT_EQ(Tokens("(a=1)||(b=2)"), "4 14(a/3) 7 6(1/3) 5 1 4 14(b/3) 7 6(2/3) 5 0");
    // Without parentheses the word is part of the value.
    EXPECT_EQ(Tokens("a=1 AND b=2"), "14(a/3) 7 6(1 AND b=2/3) 0");
    // Two blanks before the word keep it from standing on a line of its own.
    EXPECT_EQ(Tokens("(a=1)  AND (b=2)"), "error -326");
}

TEST_F(FilterLanguage, NormalisedLines) {
    TStringList lines = U_DSNormalizeFilter("(a=1) AND !(b!=2)");
    std::vector<std::string> nonEmpty;
    for (const TStringItem& line : lines)
        if (!line.Text.empty())
            nonEmpty.push_back(line.Text);
    EXPECT_EQ(nonEmpty,
              (std::vector<std::string>{"(", "a=1", ")", "#AND#", "#NOT#", "(", "b#NE#2", ")"}));
}

TEST_F(FilterLanguage, BaseClassNameAndAuxClass) {
    EXPECT_EQ(Tokens("Base Class=ou"), "17 14(Organizational Unit/20) 0");
    EXPECT_EQ(Tokens("base class=O"), "17 14(Organization/20) 0");
    EXPECT_EQ(Tokens("(Base Class=User)"), "4 17 14(User/20) 5 0");
    EXPECT_EQ(Tokens("Base Class!=User"), "4 3 17 14(User/20) 5 0");
    EXPECT_EQ(Tokens("Name=Joe"), "16 14(Joe/1) 0");
    EXPECT_EQ(Tokens("RDN=Joe"), "16 14(Joe/1) 0");
    EXPECT_EQ(Tokens("Aux Class=Top"), "14(Object Class/20) 7 6(Top/20) 0");
    for (const char* filter : {"Base Class=*", "Name=*", "RDN=*", "Name#NOTPRESENT#"}) {
        EXPECT_EQ(Tokens(filter), "error -326") << filter;
        EXPECT_FALSE(Client->Called("PutFilter")) << filter;
    }
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, EmptyFilterAsksForEveryObject) {
    EXPECT_EQ(Tokens(""), "4 15 14(Object Class/20) 5 0");
    EXPECT_EQ(Tokens("  \t "), "4 15 14(Object Class/20) 5 0");
}

TEST_F(FilterLanguage, UnbalancedParenthesesStopBeforeTheClient) {
    for (const char* filter : {"((a=1)", "(a=1))", ")"}) {
        Client->Calls.clear();
        EXPECT_EQ(Search(filter), ERR_INVALID_FILTER) << filter;
        EXPECT_TRUE(Client->Calls.empty()) << filter;
    }
}

TEST_F(FilterLanguage, SpecialCharactersInANameBreakTheText) {
    // The "&" splits the name: the line "D.acme)" ... has no operator.
    EXPECT_EQ(Search("(Security Equals=.R&D.acme)"), ERR_INVALID_FILTER);
    EXPECT_FALSE(Client->Called("SearchObjects"));
    EXPECT_EQ(Client->FiltersFreed, 1);
    ExpectNothingHeld();
    // A name holding "|" or "!" breaks the same way.
    EXPECT_EQ(Search("(Security Equals=.A|B.acme)"), ERR_INVALID_FILTER);
    EXPECT_EQ(Search("(Security Equals=.Hi!.acme)"), ERR_INVALID_FILTER);
}

TEST_F(FilterLanguage, EqualitySearchHandsTheNameOverAsItIs) {
    for (const std::string name : {".R&D.acme", ".A|B.acme", ".Hi!.acme", ".x(1).acme",
                                   ".a<=b.acme", ".a)b.acme", ".*", "*", ".A#NOT#B.acme"}) {
        Client->Tokens.clear();
        Client->Batches = {{"Joe.ACME"}};
        Found.Clear();
        EXPECT_EQ(U_DSSearchEqual(Client.get(), 1, "[Root]", "Security Equals", name, Found,
                                  DS_SEARCH_SUBTREE),
                  NW_OK)
            << name;
        EXPECT_EQ(Client->TokenText(), "4 14(Security Equals/1) 7 6(" + name + "/1) 5 0");
        EXPECT_EQ(Found.Count(), 1);
    }
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, ABareStarIsAValueNeverAPresenceTest) {
    // "*" compares as the text it is: an equality token with the value, never "attribute present".
    Client->Batches = {{"Joe.ACME"}};
    EXPECT_EQ(U_DSSearchEqual(Client.get(), 1, "[Root]", "Title", "*", Found, DS_SEARCH_SUBTREE),
              NW_OK);
    EXPECT_EQ(Client->TokenText(), "4 14(Title/3) 7 6(*/3) 5 0");
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, EqualitySearchRefusesWhatTheTreeDoesNotKnow) {
    EXPECT_EQ(U_DSSearchEqual(Client.get(), 1, "[Root]", "No Such", "x", Found, DS_SEARCH_SUBTREE),
              ERR_NO_SUCH_ATTRIBUTE);
    EXPECT_EQ(U_DSSearchEqual(Client.get(), 1, "[Root]", "Language", "x", Found, DS_SEARCH_SUBTREE),
              ERR_SYNTAX_NOT_FILTERABLE);
    EXPECT_FALSE(Client->Called("SearchObjects"));
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, FailuresDuringTranslationFreeTheFilter) {
    EXPECT_EQ(Search("(Nonsense=1)"), ERR_NO_SUCH_ATTRIBUTE);
    EXPECT_EQ(Search("(Title)"), ERR_INVALID_FILTER);
    EXPECT_EQ(Search("Login Grace Limit=many"), ERR_NOT_CONVERTIBLE);
    // Out of range ends with an error, not with an empty success.
    EXPECT_EQ(Search("Login Grace Limit=2147483648"), ERR_NOT_CONVERTIBLE);
    EXPECT_EQ(Search("Login Grace Limit=-1"), ERR_NOT_CONVERTIBLE);
    EXPECT_EQ(Search("Language=ENGLISH"), ERR_SYNTAX_NOT_FILTERABLE);
    EXPECT_FALSE(Client->Called("SearchObjects"));
    EXPECT_EQ(Client->FiltersFreed, 6);
    ExpectNothingHeld();

    Client->AddTokenCode = ERR_BUFFER_FULL;
    EXPECT_EQ(Search("Title=x"), ERR_BUFFER_FULL);
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, FailuresDuringTheSearchKeepWhatWasFound) {
    Client->Batches = {{"A.ACME", "B.ACME"}, {"C.ACME"}, {"D.ACME"}};
    Client->SearchFailsAtBatch = 1;
    EXPECT_EQ(Search("Title=x"), ERR_NO_ACCESS);
    EXPECT_EQ(Found.Count(), 2);
    ExpectNothingHeld();

    // One unreadable object is reported and skipped.
    Found.Clear();
    Client->SearchFailsAtBatch = -1;
    Client->NextObjectFailsFor = "B.ACME";
    EXPECT_EQ(Search("Title=x"), NW_OK);
    EXPECT_EQ(Found.Strings(), (std::vector<std::string>{"A.ACME", "C.ACME", "D.ACME"}));
    EXPECT_EQ(MessageBoxes, 1);

    // A filter the client refuses is consumed by it, never freed twice.
    Client->PutFilterCode = ERR_INVALID_FILTER;
    int freed = Client->FiltersFreed;
    EXPECT_EQ(Search("Title=x"), ERR_INVALID_FILTER);
    EXPECT_EQ(Client->FiltersFreed, freed);
    ExpectNothingHeld();
}

TEST_F(FilterLanguage, EntryFormat) {
    Client->Batches = {{"Joe.ACME"}};
    EXPECT_EQ(
        U_DSSearch(Client.get(), 1, "ACME", "Title=x", Found, DS_SEARCH_SUBORDINATES, "CN=#NAME#;"),
        0);
    EXPECT_EQ(Found[0], "CN=Joe.ACME;");
    EXPECT_EQ(Client->SearchScopes[0], DS_SEARCH_SUBORDINATES);
}

TEST_F(FilterLanguage, NoClientIsAnErrorNotACrash) {
    EXPECT_NE(U_DSFilteredSearch(nullptr, 1, "[Root]", "Title=x", Found, DS_SEARCH_SUBTREE), NW_OK);
    EXPECT_NE(U_DSSearchEqual(nullptr, 1, "[Root]", "Title", "x", Found, DS_SEARCH_SUBTREE), NW_OK);
}

} // namespace
} // namespace trovalen
