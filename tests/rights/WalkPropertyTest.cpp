// Properties of the walks over whole trees, for every entry of the sample tree and of each
// scenario tree, in both scan types: a subtree audit lists every entry exactly as the forward
// scan of that entry does (records and both panes' lines); with changes only, it lists an entry
// exactly where some trustee's rights differ from the entry above; and a reverse query gives
// every user, on every entry, exactly the lines the forward scan with resolved containers gives
// that user there, and shows every entry whose result could not be read whole.
#include "AnalysisFixture.h"

#include <map>
#include <set>

#include "common/ScanRender.h"
#include "directory/DSRead.h"
#include "rights/ScanRun.h"

using namespace trovalen;
using namespace trovalen::test;
using trovalen::testing::AnalysisTest;

namespace {

const char* const kTrees[] = {
    "../../data/sample-tree.json",
    "rights-allattrs.json",
    "rights-edir.json",
    "rights-fs.json",
    "rights-names.json",
    "rights-many-own.json",
    "rights-many-equal.json",
    "read-names.json",
};

constexpr uint32_t kFlagSets[] = {0, ET_RESOLVE_CONTAINERS, ET_ONLY_USERS,
                                  ET_RESOLVE_CONTAINERS | ET_ONLY_USERS};

class WalkProperty : public AnalysisTest, public ::testing::WithParamInterface<const char*> {
protected:
    TScanResult Scan(const TScanRequest& request) {
        TScanHost host;
        TScanResult result;
        TScanRun(request, host).Run(result);
        return result;
    }

    TScanRequest Request(bool edir, uint32_t flags, const std::vector<std::string>& entries) {
        TScanRequest r = ScanRequest(edir);
        r.ResolveContainers = (flags & ET_RESOLVE_CONTAINERS) != 0;
        r.OnlyUsers = (flags & ET_ONLY_USERS) != 0;
        for (const auto& e : entries)
            r.Entries.Add(e);
        return r;
    }

    // Where the walks start: the top of the tree, or each volume's root.
    std::vector<std::string> Scopes(bool edir) {
        if (edir)
            return {"[Root]"};
        std::vector<std::string> roots;
        for (const auto& d : Directories())
            if (std::count(d.begin(), d.end(), '\\') == 3)
                roots.push_back(d);
        return roots;
    }

    // Every entry a walk of the scopes must reach.
    std::set<std::string> EveryEntry(bool edir) {
        std::set<std::string> all;
        if (edir) {
            all.insert("[ROOT]");
            for (const auto& o : Objects())
                all.insert(U_UpperCase(o));
        } else {
            for (const auto& d : Directories())
                all.insert(U_UpperCase(d));
        }
        return all;
    }

    std::vector<std::string> Users() {
        TStringList list;
        U_DSListTree(client.get(), ctx, "[Root]", list, true, true, "User", 0);
        std::vector<std::string> users;
        for (int i = 0; i < list.Count(); ++i)
            users.push_back(U_DSDotName(list[i].substr(list.Value(i))));
        return users;
    }
};

} // namespace

TEST_P(WalkProperty, SubtreeAuditListsEveryEntryAsTheForwardScanDoes) {
    ASSERT_NO_FATAL_FAILURE(Load(GetParam()));
    for (bool edir : {true, false}) {
        const std::vector<std::string> scopes = Scopes(edir);
        if (scopes.empty())
            continue;
        for (uint32_t flags : kFlagSets) {
            SCOPED_TRACE(U_Format("%s, flags %u", edir ? "eDirectory" : "file system", flags));
            TScanRequest audit = Request(edir, flags, scopes);
            audit.Recursive = true;
            const TScanResult walked = Scan(audit);
            const std::vector<std::string> names = WalkedNames(walked, EveryEntry(edir));
            const TScanResult forward = Scan(Request(edir, flags, names));
            ExpectAsForward(walked, forward);
            // The lighter runs below read the same, whatever the switches: once is enough.
            if (flags != ET_RESOLVE_CONTAINERS)
                continue;

            // Without the details pane, the summary and the records are the same.
            audit.KeepDetails = false;
            const TScanResult light = Scan(audit);
            ASSERT_EQ(light.Entries.size(), walked.Entries.size());
            for (size_t i = 0; i < walked.Entries.size(); ++i)
                EXPECT_EQ(Render(light.Entries[i]), Render(walked.Entries[i]));
            EXPECT_EQ(Body(light.Summary), Body(walked.Summary));
            EXPECT_EQ(Body(light.Details), "");
            TScanRequest forwardLight = Request(edir, flags, names);
            forwardLight.KeepDetails = false;
            EXPECT_EQ(Body(Scan(forwardLight).Summary), Body(forward.Summary));
            // Nor without the records, with or without changes only.
            for (bool changesOnly : {false, true}) {
                audit.KeepRecords = true;
                audit.ChangesOnly = changesOnly;
                const TScanResult kept = Scan(audit);
                audit.KeepRecords = false;
                const TScanResult bare = Scan(audit);
                EXPECT_EQ(Body(bare.Summary), Body(kept.Summary));
                ASSERT_EQ(bare.Entries.size(), kept.Entries.size());
                for (size_t i = 0; i < bare.Entries.size(); ++i) {
                    EXPECT_TRUE(bare.Entries[i].Trustees.empty());
                    TScanEntry e = kept.Entries[i];
                    e.Trustees.clear();
                    EXPECT_EQ(Render(bare.Entries[i]), Render(e));
                }
            }
        }
    }
}

TEST_P(WalkProperty, ChangesOnlyListsAnEntryWhereRightsDifferFromTheEntryAbove) {
    ASSERT_NO_FATAL_FAILURE(Load(GetParam()));
    for (bool edir : {true, false}) {
        const std::vector<std::string> scopes = Scopes(edir);
        if (scopes.empty())
            continue;
        SCOPED_TRACE(edir ? "eDirectory" : "file system");
        TScanRequest audit = Request(edir, ET_RESOLVE_CONTAINERS, scopes);
        audit.Recursive = true;
        const TScanResult all = Scan(audit);
        audit.ChangesOnly = true;
        const TScanResult changes = Scan(audit);

        std::map<std::string, const TScanEntry*> byName;
        for (const auto& e : all.Entries)
            byName[U_UpperCase(e.Name)] = &e;
        std::map<std::string, const TScanEntry*> listed;
        for (const auto& e : changes.Entries)
            listed[U_UpperCase(e.Name)] = &e;
        std::set<std::string> starts;
        for (const auto& s : scopes)
            starts.insert(U_UpperCase(s));
        for (const auto& e : all.Entries) {
            std::string parent;
            if (edir) {
                U_DSGetParentDN(client.get(), ctx, e.Name, parent);
            } else {
                parent = e.Name.substr(0, e.Name.find_last_of('\\'));
            }
            const std::string key = U_UpperCase(e.Name);
            const auto above = byName.find(U_UpperCase(parent));
            const bool start = starts.contains(key);
            ASSERT_TRUE(start || above != byName.end()) << e.Name;
            const bool differs =
                !start && RightsByTrustee(above->second->Trustees) != RightsByTrustee(e.Trustees);
            const bool expected = start || differs || !U_EntryComplete(e);
            EXPECT_EQ(listed.contains(key), expected) << e.Name;
            if (!listed.contains(key))
                continue;
            // A listed entry is the entry as the whole audit lists it, with what changed.
            EXPECT_EQ(Render(*listed[key]), Render(e));
            EXPECT_EQ(listed[key]->Changes.empty(), !differs) << e.Name;
            for (const auto& c : listed[key]->Changes) {
                auto before = RightsByTrustee(start ? std::vector<TEffectiveTrustee>()
                                                    : above->second->Trustees);
                auto after = RightsByTrustee(e.Trustees);
                const std::string k = U_UpperCase(c.Name + "\n" + c.Attribute);
                EXPECT_NE(before[k], after[k]) << e.Name << ": " << U_TrusteeChangeLine(c, edir);
            }
        }
    }
}

TEST_P(WalkProperty, ReverseQueryGivesEachUserTheForwardScansLines) {
    ASSERT_NO_FATAL_FAILURE(Load(GetParam()));
    const std::vector<std::string> users = Users();
    size_t linesCompared = 0, forwardLines = 0;
    for (bool edir : {true, false}) {
        for (const auto& scope : Scopes(edir)) {
            SCOPED_TRACE(scope);
            // The forward scan of every entry of the scope, with resolved containers.
            TScanRequest audit = Request(edir, ET_RESOLVE_CONTAINERS, {scope});
            audit.Recursive = true;
            std::vector<std::string> names;
            for (const auto& e : Scan(audit).Entries)
                names.push_back(e.Name);
            const TScanResult forward = Scan(Request(edir, ET_RESOLVE_CONTAINERS, names));
            for (const auto& e : forward.Entries)
                forwardLines += e.Trustees.size();

            for (const auto& user : users) {
                TScanRequest reverse = Request(edir, 0, {scope});
                reverse.Trustee = user;
                linesCompared += ExpectReachAsForward(user, forward, Scan(reverse));
            }
        }
    }
    // Where anyone holds rights, some user does.
    EXPECT_TRUE(users.empty() || forwardLines == 0 || linesCompared > 0);
}

INSTANTIATE_TEST_SUITE_P(ScenarioTrees, WalkProperty, ::testing::ValuesIn(kTrees),
                         [](const auto& info) {
                             std::string name = info.param;
                             name = name.substr(name.find_last_of('/') + 1);
                             name = name.substr(0, name.find('.'));
                             for (auto& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });
