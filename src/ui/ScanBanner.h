// The line above the panes that says a scan is not whole (U_ScanBannerText) with a link
// "(show)" that lists every entry that is not, with its reasons; or why a run could not start.
// Hidden for a whole scan. The link is reachable with the keyboard (Tab, then Enter).
#pragma once

#include <QFrame>

#include <string>
#include <vector>

class QLabel;

namespace trovalen {

struct TScanResult;

class TScanBanner : public QFrame {
    Q_OBJECT
public:
    explicit TScanBanner(QWidget* parent = nullptr);

    // Shows what the run left out, or hides the banner when it left out nothing.
    void SetResult(const TScanResult& result);
    void Clear();

    std::string Text() const { return FText; }
    const std::vector<std::string>& EntryLines() const { return FEntryLines; }
    QLabel* Label() const { return FLabel; }

public slots:
    // Lists the entries that are not whole in a message of their own.
    void ShowEntries();

signals:
    // The link was followed; ShowEntries runs after it unless a receiver calls Clear.
    void ShowRequested();

private:
    QLabel* FLabel;
    std::string FText;
    std::vector<std::string> FEntryLines;
};

} // namespace trovalen
