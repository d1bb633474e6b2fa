// The window's account of what it shows: where the data comes from (title and status bar), how
// the last run ended (the banner above the panes, the marked rows of the table, the closing
// status line), and where the window goes on the screens there are.
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "ui/MainForm.h"
#include "ui/ScanBanner.h"
#include "ui/Widgets.h"
#include "ui/WindowPlacement.h"
#include "ui_MainForm.h"

namespace trovalen {

// --- Where the data comes from ------------------------------------------------------------------

void TMainForm::SetSource(const std::string& source) {
    FSource = source;
    setWindowTitle(FSource.empty() ? QString(kWindowCaption)
                                   : Q(std::string(kWindowCaption) + " - " + FSource));
    if (FStatusSource) {
        FStatusSource->setText(Q(source));
        FStatusSource->setToolTip(Q("The directory this window shows: " + source));
        FStatusSource->setVisible(!source.empty());
    }
}

// --- How the last run ended ---------------------------------------------------------------------

TScanBanner* TMainForm::ScanBanner() const {
    return FUi->ScanBanner;
}

std::string TMainForm::BannerText() const {
    return !FUi->ScanBanner->isHidden() ? FUi->ScanBanner->Text() : std::string();
}

void TMainForm::ShowRunOutcome(const TScanResult& result, double seconds) {
    FUi->ScanBanner->SetResult(result);
    FPanes->MarkEntries(result.Entries);
    FScanOutcome = U_ScanStatusLine(result, seconds);
}

// --- Placement ----------------------------------------------------------------------------------

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
