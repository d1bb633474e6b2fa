// The names a client hands out under a name context: each must be taken back as the same
// object by the rule that reads names (relative to the name context, trailing dots climbing).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "model/NameForm.h"
#include "util/Util.h"

namespace trovalen {
namespace {

std::vector<std::string> Parts(const std::string& dotted) {
    std::vector<std::string> out;
    std::stringstream in(dotted);
    for (std::string part; std::getline(in, part, '.');)
        out.push_back(part);
    return out;
}

// How a client reads a name back under a name context.
std::string ReadBack(const std::string& name, const std::string& nameContext) {
    std::string full;
    return U_CompleteName(name, nameContext, true, full) ? full : "(refused)";
}

TEST(NameForm, PartialNamesUnderANameContextReadBackAsTheSameObject) {
    struct TCase {
        const char* Full;
        const char* Context;
        const char* Written;
    };
    const TCase cases[] = {
        {"Mara.Sales.Corvale", "Sales.Corvale", "Mara"},
        {"Mara.Sales.Corvale", "Corvale", "Mara.Sales"},
        {"Admin.Corvale", "Sales.Corvale", "Admin."},
        {"Sales.Corvale", "Sales.Corvale", "Sales."}, // the name context itself
        {"Corvale", "Sales.Corvale", ".Corvale"},     // above it, at the top
        {"Joe.Other", "Sales.Corvale", ".Joe.Other"}, // another top container
        {"Ezra.Labs.Research.Corvale", "Sales.Corvale", "Ezra.Labs.Research."},
        {"MARA.sales.corvale", "Sales.Corvale", "MARA"}, // parts compare without case
    };
    for (const TCase& c : cases) {
        std::string written =
            U_JoinNameForm(Parts(c.Full), U_NameForm(Parts(c.Full), Parts(c.Context), true));
        EXPECT_EQ(written, c.Written) << c.Full << " under " << c.Context;
        EXPECT_EQ(U_LowerCase(ReadBack(written, c.Context)), U_LowerCase(c.Full)) << written;
    }
}

TEST(NameForm, NamesTakenInAreCompletedAgainstTheNameContext) {
    EXPECT_EQ(ReadBack("Mara", "Sales.Corvale"), "Mara.Sales.Corvale");
    EXPECT_EQ(ReadBack("Mara", "[Root]"), "Mara");
    EXPECT_EQ(ReadBack("Admin.", "Sales.Corvale"), "Admin.Corvale");
    EXPECT_EQ(ReadBack("X..", "Sales.Corvale"), "X");
    EXPECT_EQ(ReadBack(".Mara.Sales.Corvale", "Other"), "Mara.Sales.Corvale");
    for (const char* refused : {"", ".", "X...", "A..B", ".A.", "Y."})
        EXPECT_EQ(ReadBack(refused, refused[0] == 'Y' ? "[Root]" : "Sales.Corvale"), "(refused)")
            << refused;
    std::string full;
    ASSERT_TRUE(U_CompleteName("Mara", "Sales.Corvale", false, full));
    EXPECT_EQ(full, "Mara") << "without the canonical flag a name is complete as it stands";
}

TEST(NameForm, CompleteWithoutTheCanonicalFlagAndUnderRoot) {
    for (bool canonical : {false, true}) {
        std::vector<std::string> root;
        EXPECT_EQ(U_JoinNameForm(Parts("Mara.Sales.Corvale"),
                                 U_NameForm(Parts("Mara.Sales.Corvale"), root, canonical)),
                  "Mara.Sales.Corvale");
    }
    EXPECT_EQ(U_JoinNameForm(Parts("Admin.Corvale"),
                             U_NameForm(Parts("Admin.Corvale"), Parts("Sales.Corvale"), false)),
              "Admin.Corvale");
}

TEST(NameForm, ValuesWithDotsAndOtherSeparatorsGetAnEscapedPartThatReadsBack) {
    struct TCase {
        const char* Value;
        const char* Part;
    };
    const TCase cases[] = {
        {"j.smith", "j\\.smith"}, {"dot.and.more.dots", "dot\\.and\\.more\\.dots"},
        {"a=b+c", "a\\=b\\+c"},   {"back\\slash", "back\\\\slash"},
        {"ends.", "ends\\."},     {"plain", "plain"},
    };
    for (const TCase& c : cases) {
        const std::string part = U_EscapeNamePart(c.Value);
        EXPECT_EQ(part, c.Part);
        EXPECT_EQ(U_UnescapeNamePart(part), c.Value);
        // The part inside a name: one part, under a name context and climbing out of one.
        const std::string full = part + ".Sales.Corvale";
        std::vector<std::string> parts;
        ASSERT_TRUE(U_SplitNameParts(full, parts)) << full;
        ASSERT_EQ(parts.size(), 3u) << full;
        EXPECT_EQ(parts[0], part);
        EXPECT_EQ(ReadBack(part, "Sales.Corvale"), full);
        EXPECT_EQ(ReadBack(part + ".Sales.", "Research.Corvale"), full);
        EXPECT_EQ(ReadBack("Mara.", part + ".Corvale"), "Mara.Corvale") << "climbs one level";
        EXPECT_EQ(U_FindNameDot(full), part.size());
    }
    std::vector<std::string> parts;
    for (const char* refused : {"a\\", "a.b\\", "x..y", ""})
        EXPECT_FALSE(U_SplitNameParts(refused, parts)) << refused;
}

} // namespace
} // namespace trovalen
