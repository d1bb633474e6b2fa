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
#include "ui/ScanBanner.h"
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
    FScanBanner = new TScanBanner(parent);
    FScanBanner->setObjectName("ScanBanner");
    return FScanBanner;
}

std::string TMainForm::BannerText() const {
    return FScanBanner && !FScanBanner->isHidden() ? FScanBanner->Text() : std::string();
}

void TMainForm::ShowRunOutcome(const TScanResult& result, double seconds) {
    FScanBanner->SetResult(result);
    if (FResultTable.MarkEntries(result.Entries))
        FTableView->EntriesMarked();
    FScanOutcome = U_ScanStatusLine(result, seconds);
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
