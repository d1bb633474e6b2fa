// The window's connection to a directory over LDAP: the "Connect to directory" command, its
// dialog with the fields kept in the settings, and the switch to the connected client.
#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <memory>
#include <string>

#include "backend/Backends.h"
#include "ui/FormConnect.h"
#include "ui/MainForm.h"
#include "ui/Widgets.h"
#include "ui_MainFormPages.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

void TMainForm::CreateConnectAction(QMenu* menu) {
    FActionConnect = menu->addAction("&Connect to directory…");
    FActionConnect->setObjectName("ActionConnect");
    FActionConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    FActionConnect->setShortcutContext(Qt::WindowShortcut);
    FActionConnect->setStatusTip("Read a directory from an LDAP server");
    FActionConnect->setToolTip("Read a directory from an LDAP server");
    connect(FActionConnect, &QAction::triggered, this, [this] { ActionConnectExecute(); });
    menu->addSeparator();
    ConnectDialog = [](TFormConnect& dialog) { return dialog.exec() == QDialog::Accepted; };
}

void TMainForm::ActionConnectExecute() {
    if (FScanning)
        return;
    TLdapConnectSettings fields;
    fields.Load(*FSettingsFile);
    TFormConnect dialog(this);
    dialog.SetFields(fields);
    if (!ConnectDialog || !ConnectDialog(dialog))
        return;
    fields = dialog.Fields();
    // What the dialog accepted is kept even when the server cannot be reached, so that the
    // next try starts from it.
    fields.Save(*FSettingsFile);
    // What the person asked for next is the directory's objects.
    if (ConnectLdap(fields.Options()))
        FPageControl->setCurrentWidget(FUi->TabSheetSelectEdir);
}

bool TMainForm::ConnectLdap(const TLdapClientOptions& options) {
    if (FScanning)
        return false;
    TOpenedDirectory opened;
    {
        TBusyCursor busy;
        SetStatusText(1, "Connecting to " + options.Connection.Uri);
        opened = U_ConnectLiveDirectory(options);
    }
    if (!opened.Client) {
        SetStatusText(1, std::string());
        std::string text = "Unable to connect to the directory: " + opened.Error;
        AddLogLine(text);
        U_MessageBox(TMsgKind::Error, text);
        // A window that has no client yet says why in its empty lists.
        if (FClient == nullptr) {
            FUi->ListBoxEdirContainers->SetHint(Q(text));
            FUi->ListBoxEdirObjects->SetHint(Q(text));
        }
        return false;
    }
    UseClient(std::move(opened.Client));
    SetStatusText(1, U_Format("Connected to %s (tree %s)", options.Connection.Uri.c_str(),
                              opened.LiveTree.c_str()));
    return true;
}

} // namespace trovalen
