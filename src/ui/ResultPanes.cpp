#include "ui/ResultPanes.h"

#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>

#include "ui/ResultTableView.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen {

namespace {

// The lines a pane takes in one piece before the window's events are processed.
constexpr int kPaneChunkLines = 2000;

// Appends the lines to the pane in pieces of kPaneChunkLines.
void AppendLines(QPlainTextEdit* pane, std::span<const TStringItem> lines) {
    for (size_t start = 0; start < lines.size(); start += kPaneChunkLines) {
        const size_t end = std::min(lines.size(), start + kPaneChunkLines);
        QStringList piece;
        piece.reserve(static_cast<qsizetype>(end - start));
        for (size_t i = start; i < end; ++i)
            piece.append(Q(lines[i].Text));
        pane->appendPlainText(piece.join(QLatin1Char('\n')));
        if (end < lines.size())
            U_ProcessMessages();
    }
}

// Spaces between the widest field of a column and the next column.
constexpr int kTabGap = 2;

// Sets the pane's tab stops after the widest field of each column; past the last column the
// pane's own stops (every eight characters) apply.
void SetTabStops(QPlainTextEdit* pane, const std::vector<int>& widths) {
    qreal advance = QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char(' '));
    QList<qreal> stops;
    qreal position = 0;
    for (int width : widths) {
        position += (width + kTabGap) * advance;
        stops.append(position);
    }
    QTextOption option = pane->document()->defaultTextOption();
    option.setTabArray(stops);
    pane->document()->setDefaultTextOption(option);
}

} // namespace

void TResultPanes::Set(const TStringList& summary, const TStringList& details, bool edir) {
    FSummary.Clear();
    FDetails.Clear();
    FSummaryPane->clear();
    FDetailsPane->clear();
    FSummaryTabs.clear();
    FDetailsTabs.clear();
    SetTabStops(FSummaryPane, FSummaryTabs);
    SetTabStops(FDetailsPane, FDetailsTabs);
    FTable.Clear(edir);
    if (FTableView)
        FTableView->Reset();
    Append(summary.Items, details.Items);
}

void TResultPanes::Append(std::span<const TStringItem> summary,
                          std::span<const TStringItem> details) {
    FSummary.Items.insert(FSummary.Items.end(), summary.begin(), summary.end());
    FDetails.Items.insert(FDetails.Items.end(), details.begin(), details.end());
    // The columns line up after the widest field present (the text keeps its tabs).
    if (U_WidenTabColumns(summary, FSummaryTabs))
        SetTabStops(FSummaryPane, FSummaryTabs);
    if (U_WidenTabColumns(details, FDetailsTabs))
        SetTabStops(FDetailsPane, FDetailsTabs);
    AppendLines(FSummaryPane, summary);
    AppendLines(FDetailsPane, details);
    FTable.AddLines(summary, details);
    if (FTableView)
        FTableView->RowsAdded();
}

void TResultPanes::MarkEntries(std::span<const TScanEntry> entries) {
    if (FTable.MarkEntries(entries) && FTableView)
        FTableView->EntriesMarked();
}

} // namespace trovalen
