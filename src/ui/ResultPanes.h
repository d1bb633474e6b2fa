// The scan's result as the window shows it: the summary and details panes with their lines and
// tab stops, and the summary's rows for the table view. A run fills them piece by piece.
#pragma once

#include <span>
#include <vector>

#include "rights/ResultTable.h"
#include "util/StringList.h"

class QPlainTextEdit;

namespace trovalen {

class TResultTableView;

class TResultPanes {
public:
    TResultPanes(QPlainTextEdit* summary, QPlainTextEdit* details)
        : FSummaryPane(summary), FDetailsPane(details) {}
    // The view that shows Table(); it is told when the rows change.
    void SetTableView(TResultTableView* view) { FTableView = view; }

    const TStringList& Summary() const { return FSummary; }
    const TStringList& Details() const { return FDetails; }
    const TResultTable& Table() const { return FTable; }

    // Sets the lines of both panes (the table's rows for the scan type) and shows them.
    void Set(const TStringList& summary, const TStringList& details, bool edir);
    // Adds lines to both panes. A long result goes in in pieces, with the window's events
    // processed between them, so the window stays responsive.
    void Append(std::span<const TStringItem> summary, std::span<const TStringItem> details);
    // Marks the table's rows of the entries a run could not read whole.
    void MarkEntries(std::span<const TScanEntry> entries);

private:
    QPlainTextEdit* FSummaryPane;
    QPlainTextEdit* FDetailsPane;
    TResultTableView* FTableView = nullptr;
    TStringList FSummary;
    TStringList FDetails;
    // The widest field of each tab column in each pane; the panes' tab stops follow them.
    std::vector<int> FSummaryTabs;
    std::vector<int> FDetailsTabs;
    TResultTable FTable;
};

} // namespace trovalen
