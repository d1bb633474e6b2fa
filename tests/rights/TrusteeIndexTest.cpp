#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "model/RightsModel.h"
#include "rights/NameQueues.h"
#include "rights/SecEquCache.h"
#include "rights/TrusteeIndex.h"
#include "settings/Ini.h"
#include "util/Util.h"

using namespace trovalen;

TEST(TrusteeIndex, KeysOfSubjectsAndAttributes) {
    TTrusteeIndex index;
    const uint32_t joeEntry = index.Key(".Joe.ACME", "[Entry Rights]");
    struct TCase {
        const char* Subject;
        const char* Attribute;
        bool SameAsJoeEntry;
    };
    const TCase cases[] = {
        {".Joe.ACME", "[Entry Rights]", true},
        {".JOE.ACME", "[Entry Rights]", false}, // letter case counts
        {".Joe.ACME", "[entry rights]", false},
        {".Joe.ACME", "[All Attributes Rights]", false},
        {".Joe.ACME", "", false},
        // What a joined text would confuse stays apart.
        {".Joe.ACME / [Entry", "Rights]", false},
        {"", "[Entry Rights]", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Subject) + " | " + c.Attribute);
        const uint32_t key = index.Key(c.Subject, c.Attribute);
        EXPECT_EQ(key == joeEntry, c.SameAsJoeEntry);
        EXPECT_EQ(index.Key(c.Subject, c.Attribute), key); // asked again: the same number
        EXPECT_EQ(index.SubjectText(index.SubjectOf(key)), c.Subject);
        EXPECT_EQ(index.AttributeText(index.AttributeOf(key)), c.Attribute);
    }
    // Two attributes of one subject share the subject's number.
    EXPECT_EQ(index.SubjectOf(index.Key(".Joe.ACME", "[All Attributes Rights]")),
              index.SubjectOf(joeEntry));
    EXPECT_EQ(index.SubjectCount(), 4u);
}

TEST(TrusteeIndex, ManySubjectsAndLongNamesKeepTheirNumbersAndTexts) {
    TTrusteeIndex index;
    const std::string longName(70000, 'x'); // longer than a block of kept text
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i)
        names.push_back(".U" + std::to_string(i) + (i % 1000 == 7 ? longName : "") + ".ACME");
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(index.Key(names[i], "[Entry Rights]"), i);
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(index.Key(names[i], "[Entry Rights]"), i);
        ASSERT_EQ(index.SubjectText(index.SubjectOf(static_cast<uint32_t>(i))), names[i]);
    }
    EXPECT_EQ(index.KeyCount(), names.size());
}

TEST(TrusteeIndex, ReasonListsAndAnswersBelongToTheirKey) {
    TTrusteeIndex index;
    const uint32_t a = index.Key(".A.ACME", "[Entry Rights]");
    const uint32_t b = index.Key(".B.ACME", "[Entry Rights]");
    EXPECT_EQ(index.ReasonHead(a), TTrusteeIndex::kNone);
    index.ReasonHead(a) = 7;
    EXPECT_EQ(index.ReasonHead(b), TTrusteeIndex::kNone);
    EXPECT_EQ(index.ReasonHead(index.Key(".A.ACME", "[Entry Rights]")), 7u);

    const uint32_t entry = index.Attribute("[Entry Rights]");
    const uint32_t all = index.Attribute("[All Attributes Rights]");
    const uint32_t subjectA = index.SubjectOf(a);
    EXPECT_EQ(index.FindAnswer(subjectA, entry), nullptr);
    index.AddAnswer(subjectA, entry) = {"[BCDRSI]", 0x1F, 0};
    index.AddAnswer(subjectA, all) = {"[n/a]", 0, -1};
    ASSERT_NE(index.FindAnswer(subjectA, entry), nullptr);
    EXPECT_EQ(index.FindAnswer(subjectA, entry)->Letters, "[BCDRSI]");
    EXPECT_EQ(index.FindAnswer(subjectA, all)->Code, -1);
    EXPECT_EQ(index.FindAnswer(index.SubjectOf(b), entry), nullptr);
}

TEST(SecEquCache, NamesEqualButForCaseAndBracketsShareAnEntry) {
    TSecEquCache cache;
    TStringList found;
    found.Add(".Joe.ACME");
    ASSERT_NE(cache.Store("[Public]", found), nullptr);
    for (const char* same : {"[Public]", "PUBLIC", "public", "[pub]lic]"}) {
        const auto* entry = cache.Find(same);
        ASSERT_NE(entry, nullptr) << same;
        EXPECT_EQ(*entry, std::vector<std::string>{".Joe.ACME"}) << same;
        EXPECT_EQ(TSecEquCache::KeyOf(same), U_UpperCase(U_IniCleanName(same)));
    }
    EXPECT_EQ(cache.Find("[Root]"), nullptr);
    // A search that found nothing is kept as well: it is not asked again.
    ASSERT_NE(cache.Store(".Nobody.ACME", TStringList()), nullptr);
    ASSERT_NE(cache.Find(".NOBODY.acme"), nullptr);
    EXPECT_TRUE(cache.Find(".NOBODY.acme")->empty());
    cache.EraseAll();
    EXPECT_EQ(cache.Find("Public"), nullptr);
    EXPECT_EQ(cache.Find(".Nobody.ACME"), nullptr);
}

TEST(TrusteeIndex, DottedKeysOrderAsDottedNames) {
    using namespace std::string_literals;
    const std::vector<std::string> names = {"",
                                            ".",
                                            "..",
                                            ".Joe.ACME",
                                            ".joe.acme",
                                            ".JOE.ACME.",
                                            ".Jo.ACME",
                                            ".Joey.ACME",
                                            ".ACME",
                                            "ACME",
                                            "Joe.ACME",
                                            ".A.Joe.ACME",
                                            ".Joe..ACME",
                                            "[Root]",
                                            "[Public]",
                                            ".X.[Root]",
                                            ".Jo\0e.ACME"s,
                                            ".Jo\0.ACME"s,
                                            ".Jo.ACME\0"s,
                                            "\0"s,
                                            ".\0"s,
                                            "\0."s,
                                            ".Zed.ACME",
                                            ".a\x7F.b",
                                            ".a\xC3\xA9.b",
                                            ".a~.b",
                                            ".Members.Gen",
                                            ".M1.Members.Gen",
                                            ".M10.Members.Gen"};
    std::vector<std::string> keys;
    for (const auto& n : names) {
        std::string key;
        U_AppendDottedKey(n, key);
        keys.push_back(key);
        // Appended after what the key holds already, the same bytes follow it.
        std::string appended = "\0prefix"s;
        U_AppendDottedKey(n, appended);
        EXPECT_EQ(appended, "\0prefix"s + key);
    }
    // Every pair, both ways: the same answer as the names compared in upper case.
    for (size_t a = 0; a < names.size(); ++a)
        for (size_t b = 0; b < names.size(); ++b)
            EXPECT_EQ(U_CompareDottedKeys(keys[a], keys[b]),
                      U_CompareDottedNames(U_UpperCase(names[a]), U_UpperCase(names[b])))
                << a << " " << b;
}

TEST(NameQueues, PositionsComeBackFirstInFirstOutPerNameIgnoringCase) {
    constexpr size_t kNone = TNameQueues::kNoPosition;
    TNameQueues queues(2);
    queues.Push(".Joe.ACME", 0);
    queues.Push(".Ann.ACME", 1);
    queues.Push(".JOE.acme", 2); // the same name as position 0
    EXPECT_EQ(queues.Pop(".joe.ACME"), 0u);
    EXPECT_EQ(queues.Pop(".Joe.ACME"), 2u);
    EXPECT_EQ(queues.Pop(".Joe.ACME"), kNone);
    EXPECT_EQ(queues.Pop(".Nobody"), kNone);
    // A queue emptied and filled again starts afresh.
    queues.Push(".Joe.ACME", 7);
    queues.Push(".Joe.ACME", 5);
    EXPECT_EQ(queues.Pop(".Joe.ACME"), 7u);
    EXPECT_EQ(queues.Pop(".Joe.ACME"), 5u);
    EXPECT_EQ(queues.Pop(".Ann.ACME"), 1u);
    // Letters outside the ASCII range are compared as they are.
    queues.Push("\xC4rger", 3);
    EXPECT_EQ(queues.Pop("\xE4rger"), kNone);
    EXPECT_EQ(queues.Pop("\xC4RGER"), 3u);
}

TEST(NameQueues, ManyMoreNamesThanRoomWasMadeForStayApart) {
    constexpr size_t kNames = 5000;
    // The queues view the names: they are kept here.
    std::vector<std::string> names, upper;
    for (size_t i = 0; i < kNames; ++i) {
        names.push_back(".User" + std::to_string(i) + ".ACME");
        upper.push_back(U_UpperCase(names.back()));
    }
    TNameQueues queues(1);
    for (size_t i = 0; i < kNames; ++i)
        queues.Push(names[i], i);
    for (size_t i = 0; i < kNames; ++i)
        queues.Push(upper[i], kNames + i);
    for (size_t i = kNames; i-- > 0;) {
        SCOPED_TRACE(i);
        const std::string name = ".user" + std::to_string(i) + ".acme";
        EXPECT_EQ(queues.Pop(name), i);
        EXPECT_EQ(queues.Pop(name), kNames + i);
        EXPECT_EQ(queues.Pop(name), TNameQueues::kNoPosition);
    }
    EXPECT_EQ(U_CaseInsensitiveHash("Joe"), U_CaseInsensitiveHash("jOE"));
}
