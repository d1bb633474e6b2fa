// The window's account of what it shows: where the data comes from (title and status bar), how
// the last run ended (the banner above the panes, the marked rows of the table, the closing
// status line), the changes since a saved result, the help, and where the window goes on the
// screens there are.
#include <QAction>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include "rights/ResultCompare.h"
#include "ui/FormCompare.h"
#include "ui/FormHelp.h"
#include "ui/MainForm.h"
#include "ui/ResultTableView.h"
#include "ui/Widgets.h"
#include "ui/WindowPlacement.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

// --- Where the data comes from ------------------------------------------------------------------

void TMainForm::SetSource(const std::string& source) {
    FSource = source;
    UpdateCaption();
    if (FStatusSource) {
        FStatusSource->setText(Q(source));
        FStatusSource->setToolTip(Q("The directory this window shows: " + source));
        FStatusSource->setVisible(!source.empty());
    }
}

void TMainForm::UpdateCaption() {
    setWindowTitle(FSource.empty() ? QString(kWindowCaption)
                                   : Q(std::string(kWindowCaption) + " - " + FSource));
}

// --- How the last run ended ---------------------------------------------------------------------

QWidget* TMainForm::CreateScanBanner(QWidget* parent) {
    FLabelScanBanner = new QLabel(parent);
    FLabelScanBanner->setObjectName("LabelScanBanner");
    FLabelScanBanner->setWordWrap(true);
    FLabelScanBanner->setTextFormat(Qt::RichText);
    FLabelScanBanner->setContentsMargins(6, 4, 6, 4);
    // Dark text on a warning colour, readable whatever the desktop's palette.
    FLabelScanBanner->setStyleSheet(
        "QLabel#LabelScanBanner { background: #fff4ce; color: #3b2e00; "
        "border-top: 1px solid #e0c060; border-bottom: 1px solid #e0c060; }");
    FLabelScanBanner->setVisible(false);
    connect(FLabelScanBanner, &QLabel::linkActivated, this, [this] { ShowIncompleteEntries(); });
    return FLabelScanBanner;
}

std::string TMainForm::BannerText() const {
    return FLabelScanBanner && FLabelScanBanner->isVisibleTo(this) ? U_ScanBannerText(FLastResult)
                                                                   : std::string();
}

void TMainForm::ShowRunOutcome(const TScanResult& result, double seconds) {
    const std::string banner = U_ScanBannerText(result);
    if (banner.empty()) {
        FLabelScanBanner->clear();
        FLabelScanBanner->setVisible(false);
    } else {
        QString html = Q(banner).toHtmlEscaped().replace('\n', "<br>");
        if (U_IncompleteEntries(result) > 0)
            html += " <a href=\"show\">(show)</a>";
        FLabelScanBanner->setText(html);
        FLabelScanBanner->setVisible(true);
    }
    if (FResultTable.MarkEntries(result.Entries))
        FTableView->EntriesMarked();
    FScanOutcome = U_ScanStatusLine(result, seconds);
}

void TMainForm::ShowIncompleteEntries() {
    std::string text;
    int shown = 0;
    for (const auto& entry : FLastResult.Entries) {
        std::string problem = U_EntryProblem(entry);
        if (problem.empty())
            continue;
        // A message box of thousands of lines helps nobody; the table view lists them all.
        if (++shown > 40) {
            text += "... and more; the table view marks every one.\n";
            break;
        }
        text += entry.Name + ": " + problem + "\n";
    }
    if (!FLastResult.Broken.empty())
        text = "The scan ended early: " + FLastResult.Broken + "\n" + text;
    if (!text.empty())
        U_MessageBox(TMsgKind::Warning, U_TrimRightChars(text, "\n"));
}

// --- Changes since a saved result ---------------------------------------------------------------

void TMainForm::ActionCompareExecute() {
    if (FScanning)
        return;
    auto ask = [this](const std::string& title) -> std::optional<std::string> {
        if (OpenResultDialog)
            return OpenResultDialog(title);
        QString file = QFileDialog::getOpenFileName(this, Q(title), QString(),
                                                    "Scan results (*.json);;All files (*)");
        if (file.isEmpty())
            return std::nullopt;
        return S(file);
    };
    std::optional<std::string> beforeFile = ask("Compare with saved result");
    if (!beforeFile)
        return;
    TComparison comparison;
    std::string error;
    bool compared = false;
    if (!FLastResult.Entries.empty()) {
        TSavedResult before;
        compared = U_ReadScanResultFile(*beforeFile, before, error) &&
                   U_CompareWithScan(before, *beforeFile, FLastResult, comparison, error);
    } else {
        // Before any run there is nothing of this window's to compare: a second saved result
        // stands for the newer state.
        std::optional<std::string> afterFile = ask("Compare with a newer saved result");
        if (!afterFile)
            return;
        compared = U_CompareFiles(*beforeFile, *afterFile, comparison, error);
    }
    if (!compared) {
        U_MessageBox(TMsgKind::Error, "Cannot compare: " + error);
        return;
    }
    std::string folder = FFormCompare ? FFormCompare->SaveFolder : std::string();
    if (FFormCompare)
        FFormCompare->deleteLater();
    FFormCompare = new TFormCompare(std::move(comparison), this);
    FFormCompare->SaveFolder = folder;
    FFormCompare->show();
    FFormCompare->raise();
}

// --- Help and placement -------------------------------------------------------------------------

void TMainForm::CreateHelpMenu() {
    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("MenuHelp");
    FActionHelp = help->addAction("&Help");
    FActionHelp->setObjectName("ActionHelp");
    FActionHelp->setShortcut(QKeySequence::HelpContents);
    FActionHelp->setShortcutContext(Qt::ApplicationShortcut);
    FActionHelp->setStatusTip("How to use the program and how to read a result");
    connect(FActionHelp, &QAction::triggered, this, [this] { ShowHelpText(); });
}

void TMainForm::PlaceOnScreen(bool restored) {
    std::vector<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    if (screens.empty())
        return;
    if (!restored) {
        QScreen* here = screen() ? screen() : QGuiApplication::primaryScreen();
        QRect area = here ? here->availableGeometry() : screens.front();
        resize(U_FirstWindowSize(size(), minimumSizeHint(), area));
        return;
    }
    QRect placed = U_PlaceOnScreen(QRect(pos(), size()), screens);
    if (placed.size() != size())
        resize(placed.size());
    if (placed.topLeft() != pos())
        move(placed.topLeft());
}

} // namespace trovalen
