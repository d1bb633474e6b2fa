// The summary as a table: one row per "Effective Trustee:" line of the summary pane (per
// "Effective Rights:" line of a reverse query), with the entry it belongs to, and the reasons
// the details pane gives for that trustee; a walk that lists changes only says per row how the
// trustee's rights differ from the entry above, with a row for each trustee lost. It is filled
// from the lines the scan run hands its host, so the table and the text always say the same.
#pragma once

#include <deque>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "rights/TableFile.h"
#include "util/StringList.h"

namespace trovalen {

enum TResultColumn {
    rcEntry,
    rcClass,
    rcRights,
    rcTrustee,
    rcAttribute,
    rcIncomplete, // why the row's entry is not whole; empty for a whole entry
    rcChange,     // how the rights differ from the entry above (a walk of changes only)
    rcColumnCount
};

struct TScanEntry;

struct TResultRow {
    std::string Entry;     // the path or object the summary's header line names
    std::string ClassName; // as the summary shows it ("User", "n/a")
    std::string Rights;    // with brackets: "[BCDRAI]"
    std::string Trustee;   // ".Admin.ACME", "[Public]"
    std::string Attribute; // eDirectory: the protected attribute; file system: empty
    int Line = 0; // index of the summary line the row shows (the header line for an entry row)
    // Why the entry is not whole (U_EntryProblem: "not found", "incomplete: ..."); empty when
    // the entry was analysed completely or the scan run has not said yet.
    std::string Problem;
    // The row stands for an entry that has no trustee row: one not found, not scanned, failed or
    // cancelled before any trustee was listed. Its trustee fields are empty.
    bool EntryOnly = false;
    // A walk of changes only: "gained", "changed, was [R    F  ]", or "lost, was [R    F  ]" for
    // a trustee that holds nothing here any more (its row has no rights); empty for no change.
    std::string Change;

    // The text of a column.
    const std::string& Column(TResultColumn column) const;
};

class TResultTable {
public:
    explicit TResultTable(bool edir = false) : FEdir(edir) {}

    // Forgets every row; the next lines are of the given scan type.
    void Clear(bool edir);
    // Takes the lines a scan run added to its two panes since the last call.
    void AddLines(std::span<const TStringItem> summary, std::span<const TStringItem> details);

    bool Edir() const { return FEdir; }
    int Count() const { return static_cast<int>(FRows.size()); }
    const TResultRow& Row(int index) const { return FRows.at(index); }
    // The reason lines ("[BCDRAI] for direct Trustee assignment on ...") that the details pane
    // gives for the row's trustee on the row's entry; empty when the details hold none.
    std::vector<std::string> Reasons(int index) const;

    // The summary line the row shows, rebuilt from its fields.
    std::string SummaryLine(int index) const;

    // Marks the rows of every entry of the run that is not whole with the reason, and adds a
    // row for such an entry that has no trustee row (at the end of the rows). Entries marked by
    // an earlier call are not marked again, except the last of them, which the run may still
    // find incomplete; so a host may call it after each LinesAdded with the run's entries so far.
    // Returns whether a row changed or was added.
    bool MarkEntries(std::span<const TScanEntry> entries);
    // How many rows carry a problem, and how many a change.
    int IncompleteRows() const { return FIncompleteRows; }
    int ChangeRows() const { return FChangeRows; }

    // Whether the row holds the filter text in any column, ignoring letter case, and every one
    // of the rights letters in its rights; an empty filter and no letters match every row. A row
    // without rights (an entry row) holds no letter.
    static bool Matches(const TResultRow& row, const std::string& filter,
                        const std::string& rightsLetters = std::string());
    // The order of two rights texts by the rights they hold, weakest first: Supervisor (file
    // system "S", eDirectory "A") last, then by the number of rights (the inheritance flag "I"
    // does not count), then by which letters they hold, those of the earlier letters after.
    // Negative, 0 or positive like strcmp.
    static int CompareRights(const std::string& a, const std::string& b, bool edir);
    // The letters the rights filter offers, in the order the rights texts show them: file
    // system "RWCEAFMS", eDirectory "BCDRWSAI" (entry and attribute letters and I).
    static std::string RightsLetters(bool edir);

    // The given rows (table indices, in the given order) with the given columns, under their
    // titles: what a view saves of the rows it shows.
    TTextTable TextTable(const std::vector<int>& rows,
                         const std::vector<TResultColumn>& columns) const;
    // The column titles.
    static const char* Title(TResultColumn column);

private:
    // Key of one trustee of one entry: the entry's header line and the trustee's summary line.
    static std::string Key(const std::string& header, const std::string& line);
    void AddSummaryLine(const std::string& text);
    void AddDetailsLine(const std::string& text, uint32_t level);
    // A reverse query's "Effective Rights:" line, and a "Changed Trustee:" line (tab fields).
    void AddReachLine(const std::vector<std::string>& fields);
    void AddChangeLine(const std::vector<std::string>& fields);
    // Adds a trustee row under the summary's entry header (index in FHeaders) whose summary
    // line is line.
    void AddRow(TResultRow row, int header, const std::string& line);

    bool FEdir;
    std::vector<TResultRow> FRows;
    std::unordered_map<std::string, std::vector<int>> FRowsOfEntry; // trustee rows by entry
    size_t FMarked = 0;                                             // entries marked so far
    std::unordered_map<size_t, int> FEntryRows;                     // entry index -> its entry row
    int FIncompleteRows = 0;
    int FChangeRows = 0;
    int FEntryFirstRow = 0;            // the first row of the entry the summary names last
    int FSummaryLines = 0;             // summary lines taken so far
    std::vector<std::string> FHeaders; // the header line of each entry the summary named
    std::string FSummaryEntry;         // the path or object the last of them names
    // Per row: the index of its entry's header line, and how many rows of that entry before it
    // had the same summary line.
    std::vector<int> FRowHeader;
    std::vector<int> FOccurrence;
    std::unordered_map<std::string, int> FSeen;
    std::string FDetailsHeader; // header line of the entry the details are in
    // The reasons of the last "  Effective:" line, while its reason lines follow: its key and
    // its occurrence; an empty key when no reason line can follow.
    std::string FOpenKey;
    size_t FOpenIndex = 0;
    // Per key: the reasons of each occurrence, in the order the details list them.
    std::unordered_map<std::string, std::vector<std::vector<std::string>>> FReasons;
    // A reverse query: its trustee as the header names it, and the trustee lines the details
    // gave (header, and the line as the summary of a forward scan has it) that no "Effective
    // Rights:" line has taken yet. The details of an entry come before its summary lines.
    std::string FReachTrustee;
    struct TReachLine {
        std::string Header;
        std::vector<std::string> Fields;
    };
    std::deque<TReachLine> FReachLines;
};

} // namespace trovalen
