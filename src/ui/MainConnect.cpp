#include "ui/MainConnect.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <memory>
#include <string>

#include "backend/LiveConnect.h"
#include "ui/FormConnect.h"
#include "ui/MainForm.h"
#include "ui/Widgets.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

TConnectCommand::TConnectCommand(TMainForm& form, QMenu* menu)
    : QObject(&form), FForm(form), FAction(new QAction("&Connect to directory…", menu)) {
    // The command comes first in the menu, with a separator before the commands that follow.
    QAction* before = menu->actions().value(0);
    menu->insertAction(before, FAction);
    FAction->setObjectName("ActionConnect");
    FAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    FAction->setShortcutContext(Qt::WindowShortcut);
    FAction->setStatusTip("Read a directory from an LDAP server");
    FAction->setToolTip("Read a directory from an LDAP server");
    connect(FAction, &QAction::triggered, this, [this] { Execute(); });
    menu->insertSeparator(before);
    Dialog = [](TFormConnect& dialog) { return dialog.exec() == QDialog::Accepted; };
}

void TConnectCommand::Execute() {
    if (FForm.Scanning())
        return;
    TLdapConnectSettings fields;
    U_LoadConnectFields(fields, *FForm.SettingsFile());
    TFormConnect dialog(&FForm);
    dialog.SetFields(fields);
    if (!Dialog || !Dialog(dialog))
        return;
    fields = dialog.Fields();
    // What the dialog accepted is kept even when the server cannot be reached, so that the
    // next try starts from it.
    U_SaveConnectFields(fields, *FForm.SettingsFile());
    // What the person asked for next is the directory's objects.
    if (Connect(U_ConnectOptions(fields)))
        FForm.ShowEdirPage();
}

bool TConnectCommand::Connect(const TLdapClientOptions& options) {
    if (FForm.Scanning())
        return false;
    TOpenedDirectory opened;
    {
        TBusyCursor busy;
        FForm.SetStatusText(1, "Connecting to " + options.Connection.Uri);
        opened = U_ConnectLiveDirectory(options);
    }
    if (!opened.Client) {
        FForm.SetStatusText(1, std::string());
        std::string text = "Unable to connect to the directory: " + opened.Error;
        FForm.AddLogLine(text);
        U_MessageBox(TMsgKind::Error, text);
        // A window that has no client yet says why in its empty lists.
        if (FForm.Client() == nullptr)
            FForm.SetEdirHints(text);
        return false;
    }
    FForm.UseClient(std::move(opened.Client));
    FForm.SetSource(opened.Source);
    FForm.SetStatusText(1, U_Format("Connected to %s (tree %s)", options.Connection.Uri.c_str(),
                                    opened.TreeName.c_str()));
    return true;
}

} // namespace trovalen
