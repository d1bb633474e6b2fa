#include "rights/Report.h"
#include "rights/EffectiveTrustees.h"

#include <gtest/gtest.h>

using namespace trovalen;

namespace {
// A record of the analysis, its rights given as letters.
TEffectiveTrustee Trustee(const std::string& subject, const std::string& attribute,
                          TRightsType family, const std::string& letters,
                          const std::string& className) {
    TEffectiveTrustee t;
    t.Subject = subject;
    t.Attribute = attribute;
    t.Family = family;
    t.Mask = U_StrToRights(letters, family);
    t.ClassName = className;
    return t;
}

// The summary of the log's lines and the analysis' records.
std::vector<std::string> Report(const std::vector<std::pair<std::string, uint32_t>>& lines,
                                const std::vector<TEffectiveTrustee>& trustees = {},
                                const TReportSettings& settings = {}) {
    TStringList log;
    for (const auto& [text, level] : lines)
        log.Add(text, level);
    TAnalysisResult analysis;
    analysis.Edir = settings.Edir;
    analysis.Trustees = trustees;
    return BuildReport(log, analysis, settings).Strings();
}
} // namespace

TEST(Report, PathThatDoesNotExist) {
    auto out = Report({{"_____________________", 31},
                       {"", 31},
                       {"Path: \"\\\\FS1\\SYS\\GONE\" (not found)", 13},
                       {"Invalid Path (\\\\FS1\\SYS\\GONE): 0xFF64 (not found)", 21}});
    EXPECT_EQ(out,
              (std::vector<std::string>{"Path: \"\\\\FS1\\SYS\\GONE\" (not found)",
                                        "Invalid Path (\\\\FS1\\SYS\\GONE): 0xFF64 (not found)",
                                        "No trustees detected", "", ""}));
}

TEST(Report, AnalysedWithoutTrusteesAndUnreadableObject) {
    auto analysed = Report({{"Path: \"\\\\FS1\\SYS\\APPS\"", 13},
                            {"Tree/Volume/Server: T / .V.O / .S.O", 13},
                            {"Path: \"SYS:APPS\" - IRM [RWCEAFMS]", 14},
                            {"  Direct Trustee: x", 15}});
    EXPECT_EQ(analysed,
              (std::vector<std::string>{"Path: \"\\\\FS1\\SYS\\APPS\"",
                                        "Tree/Volume/Server: T / .V.O / .S.O", "", "", ""}));
    // Nothing of level 13 or 14: only the two empty lines; the error stays in the details.
    auto unreadable =
        Report({{"_____________________", 31}, {"Invalid Object (.X.O): 0xFF64 (not found)", 21}});
    EXPECT_EQ(unreadable, (std::vector<std::string>{"", ""}));
}

TEST(Report, SummaryLinesOfBothScanTypes) {
    TReportSettings edir;
    edir.Edir = true;
    auto out = Report({{"", 14},
                       {"Object: \".Admin.Acme\" on tree \"T\"", 13},
                       {"  Effective: [BCDRA ] -> [User] .Admin.Acme / [Entry Rights]", 5},
                       {"  Check 2:     Calc s: [BCDRA ] - Eff: [B     ]", 5},
                       {"  Effective: [ R   I] -> [n/a] [Public] / Title", 5},
                       {"     * [BCDRA ] for direct Trustee assignment on \".Acme\"", 31}},
                      {Trustee(".Admin.Acme", "[Entry Rights]", rtEntry, "BCDRA", "User"),
                       Trustee("[Public]", "Title", rtAttribute, "RI", "n/a")},
                      edir);
    EXPECT_EQ(out, (std::vector<std::string>{
                       "", "Object: \".Admin.Acme\" on tree \"T\"",
                       "Effective Trustee:\tUser\t[BCDRA ]\t.Admin.Acme\t[Entry Rights]",
                       "Effective Trustee:\tn/a\t[ R   I]\t[Public]\tTitle", "", ""}))
        << "check lines never become trustee lines; [Public] keeps its form";

    auto fs = Report({{"Path: \"\\\\FS1\\SYS\"", 13},
                      {"Path: \"SYS:\" - IRM [RWCEAFMS]", 14},
                      {"  Effective: [RWCEAFMS] -> [User] Admin.Acme", 5},
                      {"  Effective: [R    F  ] -> [] .Ghost.Acme", 5}},
                     {Trustee("Admin.Acme", "", rtFileSystem, "RWCEAFMS", "User"),
                      Trustee(".Ghost.Acme", "", rtFileSystem, "RF", "")});
    EXPECT_EQ(fs,
              (std::vector<std::string>{"Path: \"\\\\FS1\\SYS\"", "",
                                        "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.Acme",
                                        "Effective Trustee:\t\t[R    F  ]\t.Ghost.Acme", "", ""}));
}

TEST(Report, NameFiltersIgnoreCase) {
    std::vector<std::pair<std::string, uint32_t>> log = {
        {"Path: \"P\"", 13},
        {"", 14},
        {"  Effective: [RWCEAFMS] -> [User] .Admin.Acme", 5},
        {"  Effective: [RWCEAFMS] -> [User] .ADM2.Acme", 5},
        {"  Effective: [R    F  ] -> [User] .Joe.Acme", 5}};
    const std::vector<TEffectiveTrustee> trustees = {
        Trustee(".Admin.Acme", "", rtFileSystem, "RWCEAFMS", "User"),
        Trustee(".ADM2.Acme", "", rtFileSystem, "RWCEAFMS", "User"),
        Trustee("Joe.Acme", "", rtFileSystem, "RF", "User")};
    TReportSettings exclude;
    exclude.FilterExcl = "adm";
    auto out = Report(log, trustees, exclude);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[2], "Effective Trustee:\tUser\t[R    F  ]\t.Joe.Acme");

    TReportSettings include;
    include.FilterIncl = "adm";
    out = Report(log, trustees, include);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[2], "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.Acme");
    EXPECT_EQ(out[3], "Effective Trustee:\tUser\t[RWCEAFMS]\t.ADM2.Acme");

    TReportSettings dotted;
    dotted.FilterIncl = ".joe";
    out = Report(log, trustees, dotted);
    ASSERT_EQ(out.size(), 5u) << "the filter sees the name in leading-dot form";
}
