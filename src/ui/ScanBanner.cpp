#include "ui/ScanBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>

#include "rights/ScanRun.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen {

TScanBanner::TScanBanner(QWidget* parent) : QFrame(parent), FLabel(new QLabel(this)) {
    setObjectName("PanelScanBanner");
    setFrameShape(QFrame::StyledPanel);
    // The colour of the table view's marked rows, so that the two read as one sign.
    setStyleSheet("#PanelScanBanner { background: rgb(255, 228, 160); color: black; }");
    FLabel->setObjectName("LabelScanBanner");
    FLabel->setWordWrap(true);
    FLabel->setTextFormat(Qt::RichText);
    FLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard |
                                    Qt::TextSelectableByMouse);
    FLabel->setFocusPolicy(Qt::TabFocus);
    connect(FLabel, &QLabel::linkActivated, this, [this] {
        emit ShowRequested();
        if (!FEntryLines.empty())
            ShowEntries();
    });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(FLabel, 1);
    hide();
}

void TScanBanner::SetResult(const TScanResult& result) {
    FText = U_ScanBannerText(result);
    FEntryLines = U_IncompleteEntryLines(result);
    if (FText.empty()) {
        Clear();
        return;
    }
    QString html = Q(FText).toHtmlEscaped().replace('\n', "<br>");
    if (!FEntryLines.empty())
        html += " <a href=\"show\">(show)</a>";
    FLabel->setText(html);
    show();
}

void TScanBanner::Clear() {
    FText.clear();
    FEntryLines.clear();
    FLabel->clear();
    hide();
}

void TScanBanner::ShowEntries() {
    std::string text;
    for (const auto& line : FEntryLines)
        text += (text.empty() ? "" : "\n") + line;
    U_MessageBox(TMsgKind::Information, text);
}

} // namespace trovalen
