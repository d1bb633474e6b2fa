// Stopping a scan inside an entry: the analysis looks at the stop flag in each of its long loops
// (security equivalents, residents, the final list), the entry keeps what it had listed and is
// marked cancelled, and the run ends there. The flag is set from inside the analysis (a status
// text, a client call), so nothing here depends on time. Also the texts a front end shows of a
// run that is not whole: the banner and the closing status line.
#include "AnalysisFixture.h"

#include <atomic>

#include "rights/ResultTable.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

// Sets the flag when the count-th status text starting with prefix is shown, and keeps the
// table filled as a window does.
class StoppingHost : public TScanHost {
public:
    StoppingHost(std::atomic<bool>& flag, std::string prefix, int count)
        : Flag(flag), Prefix(std::move(prefix)), Count(count) {}
    void SetStatusText(const std::string& text) override {
        if (!Prefix.empty() && U_StartsWith(text, Prefix) && ++Seen == Count)
            Flag = true;
    }
    void LinesAdded(std::span<const TStringItem> summary,
                    std::span<const TStringItem> details) override {
        Table.AddLines(summary, details);
    }
    std::atomic<bool>& Flag;
    std::string Prefix;
    int Count;
    int Seen = 0;
    TResultTable Table{true};
};

// Sets the flag inside the client call that the analysis makes before a loop over what the call
// found: a search of security equivalents or a list of residents.
class StoppingClient : public TSimClient {
public:
    using TSimClient::TSimClient;
    NWCCODE SearchObjects(NWHandle ctx, const std::string& base, int scope, NWHandle filterBuf,
                          bool namesOnly, int32_t& iteration, uint32_t maxPerCall, uint32_t& count,
                          NWHandle result) override {
        NWCCODE code = TSimClient::SearchObjects(ctx, base, scope, filterBuf, namesOnly, iteration,
                                                 maxPerCall, count, result);
        if (StopInSearch && Flag != nullptr && count > 0)
            *Flag = true;
        return code;
    }
    NWCCODE ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                             NWHandle result) override {
        NWCCODE code = TSimClient::ListSubordinates(ctx, container, iteration, result);
        if (StopInList && Flag != nullptr)
            *Flag = true;
        return code;
    }
    std::atomic<bool>* Flag = nullptr;
    bool StopInSearch = false;
    bool StopInList = false;
};

int Count(const TStringList& lines, const std::string& part) {
    int n = 0;
    for (const auto& l : lines)
        n += l.Text.find(part) != std::string::npos ? 1 : 0;
    return n;
}

class ScanCancel : public AnalysisTest {
protected:
    TScanResult Run(TScanRequest request, TScanHost& host, std::atomic<bool>& flag) {
        request.Cancel = &flag;
        TScanResult result;
        TScanRun(request, host).Run(result);
        return result;
    }
};

} // namespace

TEST_F(ScanCancel, AStopDuringTheFinalListKeepsWhatWasListedAndEndsTheRun) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-many-equal.json"));
    // The whole scan first, to know how many trustees the entry has.
    std::atomic<bool> never{false};
    StoppingHost quiet(never, "", 0);
    TScanRequest request = ScanRequest(true, {".Target.Gen", ".Admin.Gen"});
    request.ResolveContainers = true;
    TScanResult whole = Run(request, quiet, never);
    ASSERT_TRUE(U_ScanComplete(whole));
    const size_t all = whole.Entries[0].Trustees.size();
    ASSERT_GT(all, 100u) << "equivalents and residents of the generated tree";

    for (int stopAt : {1, 7}) {
        SCOPED_TRACE(stopAt);
        std::atomic<bool> flag{false};
        StoppingHost host(flag, "Get effective rights: ", stopAt);
        TScanResult result = Run(request, host, flag);
        ASSERT_EQ(result.Entries.size(), 2u);
        const TScanEntry& stopped = result.Entries[0];
        // The trustee whose status set the flag is finished; the next one is not begun.
        EXPECT_EQ(stopped.Status, TEntryStatus::Cancelled);
        EXPECT_EQ(stopped.Trustees.size(), static_cast<size_t>(stopAt));
        EXPECT_EQ(host.Seen, stopAt);
        EXPECT_EQ(stopped.Incomplete, std::vector<std::string>{kAnalysisCancelled});
        EXPECT_EQ(U_EntryProblem(stopped), std::string("cancelled: ") + kAnalysisCancelled);
        EXPECT_EQ(U_EntryShortProblem(stopped), "cancelled");
        // The entry after it is not scanned.
        EXPECT_EQ(result.Entries[1].Status, TEntryStatus::Cancelled);
        EXPECT_TRUE(result.Entries[1].Incomplete.empty());
        EXPECT_EQ(U_EntryShortProblem(result.Entries[1]), "not scanned");
        EXPECT_TRUE(result.Cancelled);
        EXPECT_EQ(result.EntriesDone, 0);
        // Both panes: what was listed, then the closing line of a stopped run.
        EXPECT_EQ(Count(result.Summary, "Effective Trustee:"), stopAt);
        EXPECT_EQ(result.Summary.Items.back().Text, U_CancelledLine(0, 2));
        EXPECT_EQ(result.Details.Items.back().Text, U_CancelledLine(0, 2));
        EXPECT_EQ(Count(result.Details, "  Effective: "), stopAt);

        // The table the host filled marks the listed rows and gives the unscanned entry a row.
        host.Table.MarkEntries(result.Entries);
        ASSERT_EQ(host.Table.Count(), stopAt + 1);
        for (int i = 0; i < stopAt; ++i)
            EXPECT_EQ(host.Table.Row(i).Problem, U_EntryProblem(stopped));
        EXPECT_TRUE(host.Table.Row(stopAt).EntryOnly);
        EXPECT_EQ(host.Table.Row(stopAt).Entry, ".Admin.Gen");

        EXPECT_EQ(U_ScanBannerText(result),
                  "2 of 2 entries incomplete: .Target.Gen (cancelled), .Admin.Gen (not scanned)");
    }
}

TEST_F(ScanCancel, TheLoopsOverEquivalentsAndResidentsLookAtTheFlag) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-many-equal.json"));
    for (bool inSearch : {true, false}) {
        SCOPED_TRACE(inSearch ? "security equivalents" : "residents");
        auto stopping = ServeWith<StoppingClient>("rights-many-equal.json");
        ASSERT_TRUE(stopping);
        std::atomic<bool> flag{false};
        stopping->Flag = &flag;
        stopping->StopInSearch = inSearch;
        stopping->StopInList = !inSearch;
        TScanRequest request = ScanRequest(true, {".Target.Gen"});
        request.ResolveContainers = true;
        StoppingHost host(flag, "", 0);
        TScanResult result = Run(request, host, flag);
        ASSERT_EQ(result.Entries.size(), 1u);
        EXPECT_EQ(result.Entries[0].Status, TEntryStatus::Cancelled);
        EXPECT_TRUE(result.Entries[0].Trustees.empty());
        // The assignments were read; the loop over what the call found stopped at its first
        // step.
        EXPECT_GT(Count(result.Details, "Direct Trustee:"), 0);
        EXPECT_EQ(Count(result.Details, inSearch ? "(SecEqu to" : "(Resides in"), 0);
        EXPECT_EQ(Count(result.Summary, "Effective Trustee:"), 0);
        EXPECT_TRUE(result.Cancelled);
    }
}

TEST_F(ScanCancel, AFlagThatIsNeverSetChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-many-equal.json"));
    TScanRequest request = ScanRequest(true, {".Target.Gen"});
    request.ResolveContainers = true;
    std::atomic<bool> never{false};
    StoppingHost host(never, "", 0);
    TScanResult with = Run(request, host, never);
    request.Cancel = nullptr;
    TScanResult unstoppable;
    TScanRun(request, host).Run(unstoppable);
    auto texts = [](const TStringList& l) {
        std::vector<std::string> out;
        for (const auto& i : l)
            if (!U_StartsWith(i.Text, "Date:"))
                out.push_back(i.Text);
        return out;
    };
    EXPECT_EQ(texts(with.Summary), texts(unstoppable.Summary));
    EXPECT_EQ(texts(with.Details), texts(unstoppable.Details));
    EXPECT_TRUE(U_ScanComplete(with));
}

TEST_F(ScanCancel, BannerAndStatusLineSayWhatIsMissing) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    std::atomic<bool> never{false};
    StoppingHost host(never, "", 0);
    TScanResult whole = Run(ScanRequest(true, {".Joe.SALES.ACME"}), host, never);
    EXPECT_EQ(U_ScanBannerText(whole), "");
    const size_t trustees = whole.Entries[0].Trustees.size();
    EXPECT_EQ(U_ScanStatusLine(whole, 3.44),
              U_Format("Scanned 1 entry: %zu trustees, 0 incomplete, in 3.4 seconds", trustees));

    TScanResult result = Run(ScanRequest(true, {".Joe.SALES.ACME", ".Nobody.ACME", ".Gone.ACME",
                                                ".Missing.ACME", ".Lost.ACME"}),
                             host, never);
    EXPECT_EQ(U_ScanBannerText(result),
              "4 of 5 entries incomplete: .Nobody.ACME (not found), .Gone.ACME (not found), "
              ".Missing.ACME (not found) and 1 more");
    EXPECT_EQ(U_ScanStatusLine(result, 0.04),
              U_Format("Scanned 5 entries: %zu trustees, 4 incomplete, in 0.0 seconds", trustees));

    // A read that failed is named with its first reason; a directory without effective rights
    // of its own is said once, on a line of its own.
    TScanResult failed;
    failed.Entries.resize(2);
    failed.Entries[0].Name = ".A.ACME";
    failed.Entries[0].Status = TEntryStatus::Analysed;
    failed.Entries[0].Incomplete = {"the ACL of .ACME could not be read (no access)", "more"};
    failed.Entries[0].Trustees.resize(1);
    failed.Entries[1].Name = ".B.ACME";
    failed.Entries[1].Status = TEntryStatus::Analysed;
    failed.RightsNotComputed = true;
    EXPECT_EQ(U_ScanBannerText(failed),
              "1 of 2 entries incomplete: .A.ACME (incomplete: the ACL of .ACME could not be "
              "read (no access) and 1 more)\n"
              "The directory computes no effective rights of its own: the raise by its answer "
              "and the cross-check with it were skipped, so rights may differ from what the "
              "directory enforces");
    EXPECT_EQ(U_ScanStatusLine(failed, 61.96),
              "Scanned 2 entries: 1 trustee, 1 incomplete, in 62.0 seconds");
    failed.Broken = "the connection to the server was lost";
    failed.EntriesDone = 1;
    failed.EntriesTotal = 2;
    EXPECT_TRUE(U_StartsWith(U_ScanBannerText(failed),
                             "Scan ended after 1 of 2 entries: the connection to the server was "
                             "lost\n1 of 2 entries incomplete: .A.ACME"));

    // A reverse query whose trustee is not there searched nothing: never a whole, empty result.
    TScanRequest reach = ScanRequest(true, {".ACME"});
    reach.Trustee = ".Nobody.ACME";
    TScanResult nothing = Run(reach, host, never);
    ASSERT_FALSE(nothing.Failure.empty());
    EXPECT_FALSE(U_ScanComplete(nothing));
    EXPECT_EQ(U_ScanBannerText(nothing), "Nothing was searched: " + nothing.Failure);
    EXPECT_EQ(U_ScanStatusLine(nothing, 0.1), "Nothing was searched: " + nothing.Failure);
}

// Stops a walk when the entry at index is started.
class StopAtEntryHost : public TScanHost {
public:
    StopAtEntryHost(std::atomic<bool>& flag, int index) : Flag(flag), Index(index) {}
    void EntryStarted(int index, int count, const std::string& entry) override {
        (void)entry;
        Count = count;
        if (index == Index)
            Flag = true;
    }
    std::atomic<bool>& Flag;
    int Index;
    int Count = 0;
};

TEST_F(ScanCancel, AWalkStoppedRecordsWhatItDidNotReach) {
    ASSERT_NO_FATAL_FAILURE(Load("rights-edir.json"));
    for (bool reach : {false, true}) {
        SCOPED_TRACE(reach ? "reverse query" : "subtree audit");
        TScanRequest request = ScanRequest(true, {".ACME"});
        request.Recursive = !reach;
        request.Trustee = reach ? ".Joe.SALES.ACME" : "";
        // Between entries: the entry started when the flag was set is done, the rest are not.
        std::atomic<bool> flag{false};
        StopAtEntryHost host(flag, 2);
        TScanResult result = Run(request, host, flag);
        EXPECT_TRUE(result.Cancelled);
        EXPECT_EQ(result.EntriesDone, 3);
        EXPECT_EQ(host.Count, result.EntriesTotal);
        EXPECT_GT(result.EntriesTotal, 10);
        EXPECT_EQ(result.Summary.Items.back().Text, U_CancelledLine(3, result.EntriesTotal));
        EXPECT_FALSE(U_ScanComplete(result));
        ASSERT_FALSE(result.Entries.empty());
        size_t notScanned = 0;
        for (const auto& e : result.Entries)
            notScanned += e.Status == TEntryStatus::Cancelled && e.Incomplete.empty() ? 1 : 0;
        EXPECT_EQ(notScanned, static_cast<size_t>(result.EntriesTotal - 3));

        // Inside an entry: it keeps what it had listed, is marked, and ends the run.
        std::atomic<bool> inside{false};
        StoppingHost stopping(inside, "Check indirect trustees: ", 1);
        TScanResult stopped = Run(request, stopping, inside);
        EXPECT_TRUE(stopped.Cancelled);
        EXPECT_EQ(stopped.EntriesDone, 0);
        ASSERT_FALSE(stopped.Entries.empty());
        EXPECT_EQ(stopped.Entries.front().Incomplete, std::vector<std::string>{kAnalysisCancelled});
        EXPECT_EQ(stopped.Entries.size(), static_cast<size_t>(stopped.EntriesTotal));
    }
}
