// The window's save commands ("Save ..." in the File menu and in the context menus of the panes,
// the table and the log): which pane they act on (the details pane while the details switch is
// on, else the summary), whether it holds lines, and its lines saved as a text file, to the
// clipboard or as a spreadsheet.
#pragma once

#include <functional>
#include <optional>
#include <string>

class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPoint;
class QWidget;

namespace Ui {
class MainForm;
}

namespace trovalen {

class TResultPanes;

class TSaveCommands {
public:
    // Wires the Save menu of the form; window owns the dialogs and menus.
    TSaveCommands(QMainWindow* window, Ui::MainForm& ui, const TResultPanes& panes);

    // The pane that the save commands act on, as the details switch last said (GetMemo).
    QPlainTextEdit* CurrentMemo() const { return FCurrentMemo; }
    void GetMemo();
    // Enables the three commands when the pane they act on holds lines.
    void ActionSaveAsExecute();
    void ActionSaveAsTxtClick();
    void ActionSaveToClipboardClick();
    void ActionSaveToExcelClick();
    // The save commands as a context menu at pos of the viewport, after menu's own commands
    // (a menu given is taken over).
    void ShowMenu(QWidget* viewport, const QPoint& pos, QMenu* menu = nullptr);

    // The save-file dialog: gets the proposed file name, returns the chosen one or nothing when
    // the user cancels. Tests replace it.
    std::function<std::optional<std::string>(const std::string& proposed)> SaveFileDialog;

private:
    void ExportCurrentPane(const std::string& target, const std::string& fileName);

    QMainWindow* FWindow;
    Ui::MainForm& FUi;
    const TResultPanes& FPanes;
    QPlainTextEdit* FCurrentMemo;
};

} // namespace trovalen
