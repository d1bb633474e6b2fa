// The scan run: takes the checked entries of the selection list, optionally adds their
// subdirectories, writes the report header, and runs the analysis entry by entry, filling the
// details pane with the full analysis log and the summary pane with the report built from it.
// It knows no window: the front end hands it a request and a host.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "directory/DSHandles.h"
#include "model/NWClient.h"
#include "rights/EffectiveTrustees.h"
#include "rights/Report.h"
#include "util/StringList.h"

namespace trovalen {

constexpr char kProgramVersion[] = "v1.6 (2009-09) ";
// The details pane's line before each entry.
constexpr char kEntrySeparator[] = "_____________________";

struct TWalkedEntry;
namespace analysis {
struct TTrusteeFilter;
}

struct TScanRequest {
    TNWClient* Client = nullptr; // the client every read of the run goes to (null: none started)
    bool Edir = false;           // eDirectory scan type: entries are object names
    TStringList Entries;         // the checked entries, in list order
    bool ResolveContainers = false;
    bool OnlyUsers = false;
    bool ScanSubDirs = false; // file-system scan type only
    // Each entry and everything below it at any depth (a start path's directories, a
    // container's objects), walked top down in one pass; ScanSubDirs then adds nothing.
    bool Recursive = false;
    // With Recursive: an entry is listed only where some trustee's effective rights differ from
    // the entry above it, with what changed (the start of each walk, and every entry that is not
    // whole, are always listed).
    bool ChangesOnly = false;
    // A reverse query: what this trustee (a user, group, role, container, or a bracketed name
    // such as [Public]) can reach. The entries are then the scopes, each walked at any depth;
    // an entry is listed where the trustee holds rights, with the trustee's own lines as the
    // forward scan with resolved containers gives them. Empty: the forward scan.
    std::string Trustee;
    std::string FilterExcl;
    std::string FilterIncl;
    std::string VariantName;  // shown in the "Version:" header line
    std::string Source;       // where the data comes from, in words (a tree file, a server)
    bool DebugMode = false;   // troubleshooting lines go to the host
    bool ShowDetails = false; // the details switch is checked
    // Whether the details pane is filled. A front end that shows the summary or writes the
    // records only may leave it empty: the analysis then writes no line the summary does not
    // take, which makes a walk of a whole tree much lighter. The records and the summary are
    // the same either way.
    bool KeepDetails = true;
    // Whether each entry keeps its trustee records (TScanEntry::Trustees). A front end that
    // prints the panes only may let them go once the entry's lines are made: a subtree audit of
    // a whole tree then holds its summary, not millions of records. The panes are the same
    // either way.
    bool KeepRecords = true;

    NWHandle ConnHandle = NO_CONNECTION; // connection of the start-path page
    NWHandle ScanContext = 0;            // file-system scan type
    NWHandle UserContext = 0;            // eDirectory scan type, kept at [Root]
    NWHandle BrowseContext = 0;          // eDirectory scan type, attribute reads of the report
    std::string CurrentTree;

    bool AttrColumns = false;
    const TAttributeSettings* Attributes = nullptr;
    TCache* Cache = nullptr;
    // Set by the front end to stop the run; the run looks at it before each entry and the
    // analysis in each of its long loops. An entry stopped while it was analysed keeps what it
    // had listed and is marked Cancelled. Null: the run cannot be stopped.
    const std::atomic<bool>* Cancel = nullptr;
};

// What the scan run needs from its front end.
class TScanHost : public TStatusPanel {
public:
    // The run starts (disable the scan button) and ends (enable it again). The end comes
    // whenever the start came, also when the run ends with an exception.
    virtual void BeginRun() {}
    virtual void EndRun() {}
    // A line of the troubleshooting log (only called in debug mode).
    virtual void DebugLine(const std::string& text) { (void)text; }
    // Panel 1 of the status bar.
    void SetStatusText(const std::string& text) override { (void)text; }
    // The details check box shows whether the details pane holds lines.
    virtual void DetailsAvailable(bool available) { (void)available; }
    // Entry index (from 0) of count is about to be analysed.
    virtual void EntryStarted(int index, int count, const std::string& entry) {
        (void)index;
        (void)count;
        (void)entry;
    }
    // The lines the run added to the two panes since the last call: the header once, then each
    // entry's lines as soon as the entry is done, and the closing line of a stopped run. The
    // lines are the result's own, valid during the call; a host that keeps them copies them.
    virtual void LinesAdded(std::span<const TStringItem> summary,
                            std::span<const TStringItem> details) {
        (void)summary;
        (void)details;
    }
};

// How far the scan of one entry came.
enum class TEntryStatus {
    Analysed,  // the analysis ran
    NotFound,  // the start path or the object does not exist
    Failed,    // the analysis could not start, or the entry's scan ended with an error
    Cancelled, // the run was stopped, or ended by a broken client, before the entry or while it
               // was analysed (Incomplete then says so, and the entry lists what it had found)
};

// How a trustee's effective rights on an entry differ from those on the entry above it (a walk
// with ChangesOnly). The inheritance letter I is no right and is not compared.
struct TTrusteeChange {
    std::string Name;      // the trustee as the summary names it
    std::string Attribute; // eDirectory: the protected attribute
    std::string ClassName;
    TRightsType Family = rtFileSystem;
    uint32_t Before = 0; // the rights on the entry above; 0: gained here
    uint32_t After = 0;  // the rights here; 0: lost here

    bool operator==(const TTrusteeChange&) const = default;
};

// "gained", "lost" or "changed".
const char* U_TrusteeChangeKind(const TTrusteeChange& change);
// The summary's line of a change:
//   "Changed Trustee:\t<gained|lost|changed>\t<class>\t<[before] -> [after]>\t<name>[\t<attr>]"
// with only the rights held on one side for a trustee gained or lost.
std::string U_TrusteeChangeLine(const TTrusteeChange& change, bool edir);
// The changes from the trustees of the entry above to those of an entry, in the order of the
// entry's trustees, then those lost in the order above.
std::vector<TTrusteeChange> U_TrusteeChanges(const std::vector<TEffectiveTrustee>& above,
                                             const std::vector<TEffectiveTrustee>& here);

// One scanned entry as records: what was scanned, where, and the trustees its summary lists
// (the records that pass the name filters, in the summary's order).
struct TScanEntry {
    std::string Name; // file system: the start path as the summary shows it; eDirectory: the object
    std::string Tree; // the tree the entry was analysed in (empty when unknown)
    std::string Server; // file system: the file server (empty when unknown)
    std::string Volume; // file system: the volume (empty when unknown)
    TEntryStatus Status = TEntryStatus::Failed;
    std::vector<std::string> Errors; // the error lines the summary shows for the entry
    // Why the analysis is not whole, in words (a read that failed, values or names that could
    // not be read); empty when it read everything.
    std::vector<std::string> Incomplete;
    std::vector<TEffectiveTrustee> Trustees;
    // A walk with ChangesOnly: how the rights differ from the entry above (empty for the start).
    std::vector<TTrusteeChange> Changes;
};

// Whether the entry was analysed and everything its analysis needed was read.
bool U_EntryComplete(const TScanEntry& entry);
// Why the entry is not complete, in one line ("not found", "incomplete: the ACL of ... could not
// be read (no access)"); empty for a complete entry.
std::string U_EntryProblem(const TScanEntry& entry);

// The header of a run as fields.
struct TScanHeader {
    std::string Variant;        // "Trovalen.file", "Trovalen.edir"
    std::string ProgramVersion; // kProgramVersion without its trailing blank
    std::string Date;           // as the "Date:" line shows it
    std::string Time;           // the same moment, ISO 8601 in UTC
    std::string Source;         // where the data came from (TScanRequest::Source)
    bool Edir = false;
    bool ResolveContainers = false;
    bool ScanSubDirs = false;
    bool OnlyUsers = false;
    bool Recursive = false;
    bool ChangesOnly = false;
    std::string Trustee; // a reverse query's trustee, its full name; empty for a forward scan
    std::string FilterExcl;
    std::string FilterIncl;
};

struct TScanResult {
    TStringList Summary; // the summary pane
    TStringList Details; // the details pane
    std::string LastStatus;
    int EntriesTotal = 0; // the entries of the run, subdirectories included
    int EntriesDone = 0;  // the entries analysed (or failed) before the run ended
    bool Cancelled = false;
    // Why the run ended before its last entry although nobody stopped it: the client's
    // connection was lost, or a server limit cut a read short. Empty otherwise.
    std::string Broken;
    // The directory computes no effective rights of its own (said once for the run).
    bool RightsNotComputed = false;
    // What the client says once of the directory it serves (the header shows each too).
    std::vector<std::string> Notes;
    TScanHeader Header;
    std::vector<TScanEntry> Entries; // one per scanned entry, in scan order
    // Why the run could not start at all (a reverse query's trustee that does not exist), in one
    // line; empty otherwise. The panes then hold the header and this line.
    std::string Failure;
};

// Whether the run started, every entry was analysed completely and the run was not stopped.
bool U_ScanComplete(const TScanResult& result);
// The incomplete entries of a run, counted.
int U_IncompleteEntries(const TScanResult& result);

// What the run says once when the directory computes no effective rights of its own.
extern const char kRightsNotComputedNote[];

// The line both panes end with when the run was stopped before its last entry.
std::string U_CancelledLine(int done, int total);

// What is wrong with an entry in a few words, for lists of many: "not found", "not scanned",
// "cancelled", "failed", or "incomplete: " with its first reason ("and n more" when there are
// more); empty for a complete entry.
std::string U_EntryShortProblem(const TScanEntry& entry);

// The text above the panes that says a run is not whole, one line per matter; empty for a whole
// run of a directory that computes effective rights:
//   "Scan ended after 3 of 5 entries: <why>"            (a broken client or a server limit)
//   "2 of 5 entries incomplete: <name> (<short problem>), <name> (<short problem>)"
//        naming at most kBannerNames entries, then "and n more"
//   "The directory computes no effective rights of its own: ..." (said once for the run)
// A run that could not start says only "Nothing was searched: <Failure>".
// The window adds a link to the list of entries ("(show)") itself.
std::string U_ScanBannerText(const TScanResult& result);
// What the banner's link shows: one line per entry that is not whole, "<name>: <problem>"
// (U_EntryProblem, every reason).
std::vector<std::string> U_IncompleteEntryLines(const TScanResult& result);
constexpr int kBannerNames = 3;

// The status line that ends a run: "Scanned 5 entries: 120 trustees, 2 incomplete, in 3.4
// seconds" (singular for one entry or trustee). Entries: every entry of the run, those it did
// not reach included; trustees: the records the entries list. A run that could not start:
// "Nothing was searched: <Failure>".
std::string U_ScanStatusLine(const TScanResult& result, double seconds);

class TScanRun {
public:
    TScanRun(const TScanRequest& request, TScanHost& host);
    // Runs every entry; the panes are emptied first. The busy cursor shows while it runs.
    void Run(TScanResult& result);

private:
    void AddResultLine(const std::string& text, uint32_t level);
    void AddResultError(const std::string& text, NWCCODE code);
    void AddDebugLine(const std::string& text);
    void AddDebugError(const std::string& text, NWCCODE code);
    void Output(TScanResult& result, TEntryStatus status);
    // Ends the run when the client can no longer answer; true when it did.
    bool CheckBroken(TScanResult& result);
    // The entries from index on get a record that says the run ended before them.
    void RecordNotScanned(const TStringList& entries, int index, TScanResult& result);
    // The run was stopped by the user before the entry at index: the closing line and the
    // records of the entries from index on.
    void StopRun(const TStringList& entries, int index, TScanResult& result);
    // walked: the entry's analysis as a walk made it; null: the entry is analysed here.
    void FileSystemEntry(const std::string& entry, TScanResult& result,
                         TWalkedEntry* walked = nullptr);
    void EdirEntry(const std::string& entry, TScanResult& result, TWalkedEntry* walked = nullptr);
    // The walks: each entry and everything below it, for a subtree audit or a reverse query
    // (ScanWalk.cpp).
    void RunWalks(const TStringList& entries, TScanResult& result);
    // A walked entry of a subtree audit; listedAbove: the trustees listed on the entries above
    // it, by depth.
    void AuditEntry(TWalkedEntry& walked, TScanResult& result,
                    std::vector<std::vector<TEffectiveTrustee>>& listedAbove);
    // A walked entry of a reverse query.
    void ReachEntry(TWalkedEntry& walked, TScanResult& result);
    // Before the walk's entry next (of names): false when the run ends (stopped, or the entry
    // before was stopped while it was analysed, or the client broke); the entries not reached
    // are then recorded.
    bool WalkGoesOn(const std::vector<std::string>& names, size_t next, TScanResult& result,
                    bool stopped = false);
    void RecordNotReached(const std::vector<std::string>& names, size_t next, TScanResult& result);
    NWHandle FileSystemContext(const std::string& entry);
    // The detail level of the analysis log: the details pane's, or the summary's only.
    int Threshold() const;
    // A reverse query: finds the trustee and those it holds rights through; false with the
    // failure in words when it is not there.
    bool ResolveTrustee(const TStringList& scopes, std::string& failure);
    // Hands the lines added since the last call to the host.
    void ReportNewLines(const TScanResult& result);

    const TScanRequest& FRequest;
    TScanHost& FHost;
    TAnalysisResult FAnalysis; // the records of the entry being scanned
    TStringList FLog;
    uint32_t FFlags = 0;
    std::vector<TContextCopy> FContexts; // analysis contexts made during the run
    int FSummaryReported = 0;            // lines of each pane already handed to the host
    int FDetailsReported = 0;
    // A reverse query: the trustees it follows, the context they were found in, and what could
    // not be read of the trustee (every entry then says it).
    std::shared_ptr<analysis::TTrusteeFilter> FFilter;
    NWHandle FReachContext = 0;
    std::vector<std::string> FTrusteeProblems;
};

} // namespace trovalen
