#include "ui/ReachCommand.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>

#include <exception>
#include <string>

#include "settings/Ini.h"
#include "ui/FormReach.h"
#include "ui/MainForm.h"
#include "ui/Widgets.h"
#include "ui_MainForm.h"
#include "util/Platform.h"

namespace trovalen {

namespace {}

TReachCommand::TReachCommand(TMainForm& form, Ui::MainForm& ui, bool edir)
    : QObject(&form), FForm(form), FUi(ui), FEdir(edir) {
    setObjectName("ReachCommand");
    FUi.ActionReach->setShortcutContext(Qt::WindowShortcut);
    connect(FUi.ActionReach, &QAction::triggered, this, [this] { Execute(); });
    connect(FUi.BitBtnReach, &QPushButton::clicked, this, [this] { Execute(); });
    Dialog = [](TFormReach& dialog) { return dialog.exec() == QDialog::Accepted; };
}

void TReachCommand::Execute() {
    if (FForm.Scanning())
        return;
    TScanSession& session = FForm.Session();
    // The start-path window chooses no tree of its own; its trustees are browsed in the
    // primary connection's tree.
    if (!FEdir && session.Started() && session.CurrentTree().empty())
        session.ChooseTree(session.PrimaryTree());
    TCheckListBox* list = FEdir ? FUi.CheckListBoxEdir : FUi.CheckListBoxPaths;
    TFormReach dialog(session, list->CheckedTexts(), FEdir, &FForm);
    TIniFile* settings = FForm.SettingsFile();
    if (settings != nullptr)
        dialog.SetTrustee(U_IniReadText(*settings, kSettings, kTrusteeKey, ""));
    const bool search = Dialog && Dialog(dialog) && dialog.CanSearch();
    // The browse moved the session's container; the eDirectory page shows where it is now.
    if (FEdir)
        FForm.GetContainerInfo();
    if (!search)
        return;
    const std::string trustee = dialog.Trustee();
    try {
        if (settings != nullptr)
            U_IniWriteStr(*settings, kSettings, kTrusteeKey, trustee);
    } catch (const std::exception& e) {
        // Not kept for the next time; the search runs all the same.
        FForm.AddLogLine(std::string("Unable to keep the trustee's name: ") + e.what());
    }
    // The places reached, each with its reasons, read best as rows.
    FUi.CheckBoxTableView->setChecked(true);
    FUi.PageControl1->setCurrentWidget(FUi.TabSheetAction);
    FForm.BitBtnScanClick(trustee);
    const std::string& failure = FForm.LastResult().Failure;
    if (!failure.empty())
        U_MessageBox(TMsgKind::Error, "Nothing was searched: " + failure);
}

} // namespace trovalen
