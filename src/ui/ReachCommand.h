// "What can a trustee reach": File menu and the button beside the scan button. The dialog takes
// the trustee (typed, or picked from the tree); the window then runs its scan of the checked
// entries as a reverse query of that trustee, with the progress, the stop and the result panes
// of any scan, and shows the rows in the table view. A trustee that is not there is said in a
// message, above the panes and in the status bar.
#pragma once

#include <QObject>

#include <functional>

namespace Ui {
class MainForm;
}

namespace trovalen {

class TFormReach;
class TMainForm;

class TReachCommand : public QObject {
    Q_OBJECT
public:
    // The settings key (section "Settings") of the trustee asked for last.
    static constexpr char kTrusteeKey[] = "ReachTrustee";

    // edir: the window's entries are objects (else start paths).
    TReachCommand(TMainForm& form, Ui::MainForm& ui, bool edir);
    // Asks for the trustee and runs the search. Ignored during a scan.
    void Execute();
    // Runs the dialog; true when the user chose Search. Tests replace it.
    std::function<bool(TFormReach& dialog)> Dialog;

private:
    TMainForm& FForm;
    Ui::MainForm& FUi;
    bool FEdir;
};

} // namespace trovalen
