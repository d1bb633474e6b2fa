// Scan results as text that two runs can be compared by (each record with its sources and
// reasons, a pane's lines after the run's header, each trustee's rights by name), and the
// checks that the walks' property tests make with them, whatever client they run through.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "rights/ScanRun.h"
#include "util/Util.h"

namespace trovalen::test {

inline std::string Render(const TEffectiveTrustee& t) {
    std::string text = U_EffectiveLine(t, true) + U_Format(" {%u}", t.Sources) + "\n";
    for (const auto& r : t.Reasons)
        text += "     * " + U_ReasonText(r) + "\n";
    return text;
}

inline std::string Render(const std::vector<TEffectiveTrustee>& trustees) {
    std::string text;
    for (const auto& t : trustees)
        text += Render(t);
    return text;
}

inline std::string Render(const TScanEntry& e) {
    std::ostringstream out;
    out << e.Name << " | " << e.Tree << " | " << e.Server << " | " << e.Volume << " | "
        << static_cast<int>(e.Status) << "\n";
    for (const auto& x : e.Errors)
        out << "error: " << x << "\n";
    for (const auto& x : e.Incomplete)
        out << "incomplete: " << x << "\n";
    out << Render(e.Trustees);
    return out.str();
}

// The pane's lines after the run's header (which ends with its first blank line).
inline std::string Body(const TStringList& pane) {
    std::string text;
    bool header = true;
    for (const auto& l : pane) {
        if (header) {
            header = !l.Text.empty();
            continue;
        }
        text += std::to_string(l.Value) + "\t" + l.Text + "\n";
    }
    return text;
}

// The rights each trustee of an entry holds, by name and attribute, without the inheritance
// letter (which is no right).
inline std::map<std::string, uint32_t>
RightsByTrustee(const std::vector<TEffectiveTrustee>& trustees) {
    std::map<std::string, uint32_t> rights;
    for (const auto& t : trustees) {
        uint32_t mask = t.Family == rtFileSystem ? t.Mask : t.Mask & ~DS_INHERIT_CTL;
        rights[U_UpperCase(U_TrusteeDisplayName(t) + "\n" + t.Attribute)] |= mask;
    }
    std::erase_if(rights, [](const auto& r) { return r.second == 0; });
    return rights;
}

// The names a subtree audit listed, in its order; it must have reached every one of every
// (upper-case names) exactly once.
inline std::vector<std::string> WalkedNames(const TScanResult& walked,
                                            const std::set<std::string>& every) {
    std::vector<std::string> names;
    std::set<std::string> reached;
    for (const auto& e : walked.Entries) {
        names.push_back(e.Name);
        reached.insert(U_UpperCase(e.Name));
    }
    EXPECT_EQ(reached, every);
    EXPECT_EQ(names.size(), reached.size()) << "an entry walked twice";
    return names;
}

// A walk lists every entry as the forward scan of the same entries does: records and both panes.
inline void ExpectAsForward(const TScanResult& walked, const TScanResult& forward) {
    ASSERT_EQ(walked.Entries.size(), forward.Entries.size());
    for (size_t i = 0; i < walked.Entries.size(); ++i)
        EXPECT_EQ(Render(walked.Entries[i]), Render(forward.Entries[i]));
    EXPECT_EQ(Body(walked.Summary), Body(forward.Summary));
    EXPECT_EQ(Body(walked.Details), Body(forward.Details));
    EXPECT_EQ(walked.EntriesTotal, forward.EntriesTotal);
    EXPECT_EQ(U_ScanComplete(walked), U_ScanComplete(forward));
}

// What user reaches (reached) against the forward scan of every entry with resolved containers:
// on every entry the lines the forward scan gives the user, no entry the forward scan has not,
// an entry only where the user holds rights or where that could not be told, and one whose
// ACL or trustees could not be read never whole. A query that failed (a volume of another
// tree) reaches nothing. Returns the lines compared.
inline size_t ExpectReachAsForward(const std::string& user, const TScanResult& forward,
                                   const TScanResult& reached) {
    size_t compared = 0;
    std::map<std::string, const TScanEntry*> byName;
    for (const auto& e : reached.Entries)
        byName[U_UpperCase(e.Name)] = &e;
    for (const auto& e : forward.Entries) {
        std::vector<TEffectiveTrustee> expected;
        for (const auto& t : e.Trustees)
            if (U_SameText(t.Subject, user))
                expected.push_back(t);
        if (!reached.Failure.empty()) {
            EXPECT_TRUE(expected.empty()) << user << " on " << e.Name;
            continue;
        }
        compared += expected.size();
        auto it = byName.find(U_UpperCase(e.Name));
        const TScanEntry* got = it == byName.end() ? nullptr : it->second;
        EXPECT_EQ(Render(got == nullptr ? std::vector<TEffectiveTrustee>() : got->Trustees),
                  Render(expected))
            << user << " on " << e.Name;
        for (const auto& why : e.Incomplete) {
            if (why.find("the ACL of") != std::string::npos ||
                why.find("the trustees of") != std::string::npos) {
                EXPECT_TRUE(got != nullptr && !U_EntryComplete(*got))
                    << user << " on " << e.Name << ": " << why;
            }
        }
        byName.erase(U_UpperCase(e.Name));
    }
    EXPECT_TRUE(byName.empty()) << user << ": an entry the forward scan has not";
    for (const auto& e : reached.Entries)
        EXPECT_TRUE(!e.Trustees.empty() || !U_EntryComplete(e)) << e.Name;
    return compared;
}

} // namespace trovalen::test
