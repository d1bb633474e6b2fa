// Two scan results compared, as a reviewer asks it: which trustees gained rights on an entry,
// which lost them, whose rights changed, which entries appeared or disappeared; with the reasons
// the newer result gives for what was added or changed. Entries are matched by name, trustees by
// name (and attribute, for objects); names compare without regard to case, as the directory does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rights/ResultFile.h"
#include "rights/ScanRun.h"
#include "util/Export.h"
#include "util/Spreadsheet.h"

namespace trovalen {

enum class TChangeKind {
    TrusteeAdded,     // holds rights now, held none before
    TrusteeRemoved,   // held rights before, holds none now
    RightsChanged,    // holds other rights now
    EntryAppeared,    // scanned now, not before (its trustees follow as added)
    EntryDisappeared, // scanned before, not now
    StatusChanged,    // the entry's scan came to another end (found before, not found now, ...)
};

// The word a change is listed with: "added", "removed", "changed", "appeared", "disappeared",
// "status".
const char* U_ChangeKindName(TChangeKind kind);

struct TRightsChange {
    TChangeKind Kind = TChangeKind::TrusteeAdded;
    std::string Entry; // the path or object
    // The trustee; empty for changes of the entry itself.
    std::string Trustee;
    std::string Class;
    std::string Attribute; // objects only
    std::string Family;
    // The rights before and after (letters as the summary shows them between brackets); for a
    // status change, the statuses. Empty on the side that has none.
    std::string Before;
    std::string After;
    uint32_t BeforeMask = 0;
    uint32_t AfterMask = 0;
    // Why the trustee holds its rights: the newer result's reasons for what was added or
    // changed, the older result's for what was removed.
    std::vector<TSavedReason> Reasons;
};

struct TComparison {
    bool Edir = false;
    std::string BeforeName; // how the results are named in the output (file names, "this scan")
    std::string AfterName;
    TSavedResult BeforeHeader; // the results' header fields (entries left out)
    TSavedResult AfterHeader;
    // What the reader must know before the changes: other listing options, results that are not
    // whole. One line each.
    std::vector<std::string> Notes;
    std::vector<TRightsChange> Changes;
    int EntriesCompared = 0; // entries found in both results
    // A result was not whole (stopped or ended early, an entry that failed or was read only in
    // part): the changes may not be all there are. The notes say where.
    bool Partial = false;
};

// Compares; false, with one line in error, when the results cannot be compared (one of a
// file-system scan, the other of an eDirectory scan).
bool U_CompareResults(const TSavedResult& before, const TSavedResult& after,
                      const std::string& beforeName, const std::string& afterName,
                      TComparison& comparison, std::string& error);

// The kinds a change filter can keep, as bits; the entry kinds (appeared, disappeared, status)
// go together.
enum TChangeFilter : uint32_t {
    cfAdded = 1,
    cfRemoved = 2,
    cfChanged = 4,
    cfEntries = 8,
    cfAll = 15,
};
uint32_t U_ChangeFilterBit(TChangeKind kind);
// Whether a change passes the filter: its kind is kept, and the text (when not empty) is found,
// ignoring case, in its entry, trustee, class or attribute.
bool U_ChangeShown(const TRightsChange& change, uint32_t kinds, const std::string& text);
// The comparison with only the changes at the positions given, in that order (what a filtered
// view shows and saves); its notes stay.
TComparison U_ComparisonOf(const TComparison& comparison, const std::vector<size_t>& changes);

// Compares a saved result with a scan of this run (named "this scan"); false, with one line in
// error, when they are of two scan types.
bool U_CompareWithScan(const TSavedResult& before, const std::string& beforeName,
                       const TScanResult& scan, TComparison& comparison, std::string& error);
// Reads two saved results' documents, side by side on two threads, and compares them; errors
// name the result they come from.
bool U_CompareTexts(std::string_view beforeText, std::string_view afterText,
                    const std::string& beforeName, const std::string& afterName,
                    TComparison& comparison, std::string& error);
// Reads two saved results and compares them.
bool U_CompareFiles(const std::string& beforeFile, const std::string& afterFile,
                    TComparison& comparison, std::string& error);

// The entries with at least one change.
int U_ChangedEntries(const TComparison& comparison);

// The comparison as text: the two results, the notes, then per entry its changes with the
// reasons indented below each; a closing count. Lines end with LF.
std::string U_ComparisonText(const TComparison& comparison);
// One heading row, then one row per note and per change: entry, change, trustee, class,
// attribute (objects only), before, after, reasons (one a line in the cell).
TGrid U_ComparisonGrid(const TComparison& comparison);
// The comparison for scripts; docs/scan-compare.schema.json describes it.
std::string U_ComparisonJson(const TComparison& comparison);

// The comparison in one of the report formats: "txt" (or empty), "csv", "html", "xml" or "json".
std::string U_ComparisonFormatted(const TComparison& comparison, const std::string& format);
// The grid's rows, heading first, for a spreadsheet.
TTextRows U_ComparisonRows(const TComparison& comparison);

// The layout version of the JSON comparison.
constexpr int kCompareJsonFormat = 1;

} // namespace trovalen
