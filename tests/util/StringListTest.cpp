#include "util/StringList.h"

#include <gtest/gtest.h>

using namespace trovalen;

TEST(StringList, UnsortedKeepsOrderAndValues) {
    TStringList l;
    l.Add("b", 2);
    l.Add("A", 1);
    l.Insert(0, "first", 9);
    EXPECT_EQ(l.Strings(), (std::vector<std::string>{"first", "b", "A"}));
    EXPECT_EQ(l.Value(0), 9u);
    EXPECT_EQ(l.IndexOf("a"), 2);
    EXPECT_EQ(l.IndexOfExact("a"), -1);
    l.Delete(0);
    l.Delete(99);
    EXPECT_EQ(l.Count(), 2);
    EXPECT_EQ(l.Text("\n"), "b\nA\n");
}

TEST(StringList, SortedIgnoresDuplicatesIgnoringCase) {
    TStringList l;
    l.Sorted = true;
    l.Duplicates = TStringList::TDuplicates::Ignore;
    l.Add("beta");
    l.Add("Alpha");
    l.Add("ALPHA");
    l.Add("gamma");
    EXPECT_EQ(l.Strings(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(l.Add("BETA"), 1);
}

TEST(StringList, SortIsStable) {
    TStringList l{"b", "a", "B", "A"};
    l.Sort();
    EXPECT_EQ(l.Strings(), (std::vector<std::string>{"a", "A", "b", "B"}));
}
