// The eDirectory window's "Connect to directory" command, where this build reads a live
// directory: its place in the File menu, the dialog with the fields kept in the settings, and
// the switch of the window to the directory connected.
#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;

namespace trovalen {

struct TLdapClientOptions;
class TFormConnect;
class TMainForm;

class TConnectCommand : public QObject {
public:
    // Puts the command first into menu.
    TConnectCommand(TMainForm& form, QMenu* menu);
    QAction* Action() const { return FAction; }
    // The command: the dialog with the fields kept in the settings, which keep what OK
    // accepted (never the password); then Connect, and the eDirectory page.
    void Execute();
    // Connects to a directory over LDAP (with the busy cursor) and, when that works, makes the
    // window work on it (UseClient). When it fails, one message says why and the window keeps
    // the client it has.
    bool Connect(const TLdapClientOptions& options);
    // Runs the connect dialog; true when the user chose OK. Tests replace it.
    std::function<bool(TFormConnect& dialog)> Dialog;

private:
    TMainForm& FForm;
    QAction* FAction;
};

} // namespace trovalen
