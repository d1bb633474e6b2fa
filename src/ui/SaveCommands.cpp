#include "ui/SaveCommands.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>

#include <memory>

#include "ui/ResultPanes.h"
#include "ui/Widgets.h"
#include "ui_MainForm.h"
#include "util/Export.h"

namespace trovalen {

TSaveCommands::TSaveCommands(QMainWindow* window, Ui::MainForm& ui, const TResultPanes& panes)
    : FWindow(window), FUi(ui), FPanes(panes), FCurrentMemo(ui.MemoStandard) {
    SaveFileDialog = [window](const std::string& proposed) -> std::optional<std::string> {
        QFileDialog dialog(window, "Save");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({"Text Files (*.txt)", "All Files (*)"});
        dialog.setDefaultSuffix("txt");
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.selectFile(Q(proposed));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return S(dialog.selectedFiles().first());
    };
    FUi.MenuSave->menuAction()->setObjectName("ActionSaveAs");
    QObject::connect(FUi.MenuSave, &QMenu::aboutToShow, window, [this] { ActionSaveAsExecute(); });
    QObject::connect(FUi.ActionSaveAsTxt, &QAction::triggered, window,
                     [this] { ActionSaveAsTxtClick(); });
    QObject::connect(FUi.ActionSaveAsClipboard, &QAction::triggered, window,
                     [this] { ActionSaveToClipboardClick(); });
    QObject::connect(FUi.ActionSaveAsExcel, &QAction::triggered, window,
                     [this] { ActionSaveToExcelClick(); });
}

void TSaveCommands::GetMemo() {
    FCurrentMemo = FUi.CheckBoxDebug->isChecked() ? FUi.MemoDebug : FUi.MemoStandard;
}

void TSaveCommands::ActionSaveAsExecute() {
    GetMemo();
    bool any = (FCurrentMemo == FUi.MemoDebug ? FPanes.Details() : FPanes.Summary()).Count() > 0;
    FUi.ActionSaveAsTxt->setEnabled(any);
    FUi.ActionSaveAsClipboard->setEnabled(any);
    FUi.ActionSaveAsExcel->setEnabled(any);
}

void TSaveCommands::ExportCurrentPane(const std::string& target, const std::string& fileName) {
    const TStringList& lines = FCurrentMemo == FUi.MemoDebug ? FPanes.Details() : FPanes.Summary();
    U_ExportStrings(lines, target, fileName);
}

void TSaveCommands::ActionSaveAsTxtClick() {
    std::string proposed = S(FCurrentMemo->objectName()).find("Debug") != std::string::npos
                               ? "Trustees_Details.txt"
                               : "Trustees.txt";
    std::optional<std::string> chosen = SaveFileDialog(proposed);
    if (!chosen)
        return;
    ExportCurrentPane("TXT", *chosen);
}

void TSaveCommands::ActionSaveToClipboardClick() {
    ExportCurrentPane("CLIPBOARD", std::string());
}

void TSaveCommands::ActionSaveToExcelClick() {
    ExportCurrentPane("EXCEL", std::string());
}

void TSaveCommands::ShowMenu(QWidget* viewport, const QPoint& pos, QMenu* menu) {
    // A menu given has its own commands first (a pane's, the table's); the log's shows only
    // the save commands.
    std::unique_ptr<QMenu> own(menu ? menu : new QMenu(FWindow));
    if (menu)
        own->addSeparator();
    own->addMenu(FUi.MenuSave);
    own->exec(viewport->mapToGlobal(pos));
}

} // namespace trovalen
