// The main window: the Info, Settings, selection, scan and Troubleshooting pages, the menus and
// the status bar. It only shows state and passes the user's choices on: the scan session lists
// servers, trees and containers, resolves names and runs the scan; the settings store and the
// control walk keep the window's state between runs.
#pragma once

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "rights/Report.h"
#include "rights/ScanSession.h"
#include "settings/Cache.h"
#include "settings/IniFile.h"
#include "ui/ResultPanes.h"
#include "ui/StartConfig.h"

class QLabel;
class QWidget;

namespace Ui {
class MainForm;
}

namespace trovalen {

class TCheckListBox;
class TConnectCommand;
class TFormAbout;
class TFormHelp;
class TResultTableView;
class TSaveCommands;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up: settings, help text, client, connection or tree list. client may be
    // null (no tree file could be loaded); the start-up then says that the client is not there.
    TMainForm(const TStartConfig& config, TNWClient* client, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The client the window works on; null when there is none.
    TNWClient* Client() const { return FClient; }
    // Makes the window work on another client, which it then holds. The session of the client
    // used so far goes first (its contexts and connections), then that client when the window
    // held it; then the start-up runs on the new client (servers, trees, contexts). The list of
    // objects of the tree left is kept, as a change of tree keeps it. Ignored during a scan.
    void UseClient(std::shared_ptr<TNWClient> client);
    // The "Connect to directory" command; null where this build reads no live directory.
    TConnectCommand* ConnectCommand() const { return FConnect; }

    // The save commands of the File menu and the context menus.
    TSaveCommands& Save() const { return *FSave; }

    // --- State --------------------------------------------------------------------------------
    const std::string& VariantName() const { return FVariant.Name; }
    bool DebugMode() const { return FDebugMode; }
    bool ListsChanged() const { return FListsChanged; }
    bool Scanning() const { return FScanning; }
    // The session the window works through (servers, trees, contexts, the scan).
    const TScanSession& Session() const { return *FSession; }
    const std::string& ConnUserName() const { return FConnUserName; }
    TIniFile* SettingsFile() const { return FSettingsFile.get(); }
    // The lines of the two result panes.
    const TStringList& SummaryLines() const { return FPanes->Summary(); }
    const TStringList& DetailsLines() const { return FPanes->Details(); }
    // The summary as table rows.
    const TResultTable& ResultTable() const { return FPanes->Table(); }
    // The web address of the About box and the status bar.
    std::string WebAddress() const;
    TFormAbout* FormAbout() const { return FFormAbout; }
    // The help text's own window (created by the first ShowHelpText).
    TFormHelp* FormHelp() const { return FFormHelp; }

    // --- Operations the controls trigger ------------------------------------------------------
    void LabelSelectedUpd();
    void CheckBoxDebugClick();
    void ShowDetailsExecute(bool fromMenu);
    void BitBtnScanClick();
    void DoTheJob();
    void StatusBarClick();
    // Closes the About box and shows the help text of the Info page, read afresh from where the
    // program finds it, in a window of its own.
    void ShowHelpText();
    void ActionAboutExecute();

    // Start-path page
    void RadioGroupServersClick();
    void ShellTreeViewFilesClick();
    void ShellTreeViewFilesDblClick();
    // eDirectory page
    void ChangeTree();
    void GetContainerInfo();
    void ListBoxEdirContainersDblClick();
    void ListBoxEdirObjectsDblClick();
    // Both check-list boxes
    void CheckListBoxClick();
    void CheckListBoxDblClick(TCheckListBox* box);

    // The status bar's two panels.
    std::string StatusText(int panel) const;
    void SetStatusText(int panel, const std::string& text);
    // Sets the two panes' lines and shows them.
    void SetPanes(const TStringList& summary, const TStringList& details);
    // Adds lines to the two panes. A long result goes in in pieces, with the window's events
    // processed between them, so the window stays responsive.
    void AppendToPanes(std::span<const TStringItem> summary, std::span<const TStringItem> details);
    // Asks a running scan to stop after the entry being analysed.
    void CancelScan();
    // The line above the result panes that names the filters the next scan applies.
    void ActiveFiltersUpd();

    // Called by the scan host.
    void AddLogLine(const std::string& text);
    // Shows the eDirectory page; says text in its empty lists.
    void ShowEdirPage();
    void SetEdirHints(const std::string& text);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void SetUpFirstPages();
    void SetUpSelectionPages();
    void SetUpActionPage();
    void WireCheckList(TCheckListBox* box);
    void CreateMenus();
    // Shows the details pane, the summary table or the summary text, as the switches say.
    void ShowResultPane();

    void FormCreate();
    void FormShow();
    void FormClose();
    // The part of the start-up that works on the client: the session, then the servers or
    // trees; without a client, the hints that say why.
    void StartClient();
    // Empties what the window shows of the client: servers, folders, trees, containers.
    void ClearClientViews();
    void FillConnectionList();
    void ShellTreeViewSetRoot(const std::string& root);
    void TreeSetup();
    void SetSelectionEnabled(bool enabled);

    // Start-up state
    TWindowVariant FVariant;
    bool FDebugMode = false;
    bool FListsChanged = false;
    bool FScanning = false;
    bool FCloseAfterScan = false;
    std::string FScanOutcome; // what the status bar says of the last run when it is not whole
    bool FClosed = false;
    bool FShown = false;
    std::atomic<bool> FCancel = false;
    std::string FClientError;
    std::string FNoClientHint;

    std::unique_ptr<TIniFile> FSettingsFile;
    std::unique_ptr<TIniFile> FProgramSettingsFile;
    std::unique_ptr<TCache> FCache;
    TAttributeSettings FAttributes;

    // The client, the contexts and the connection: all held by the session. FOwnedClient holds
    // a client that the window was given to keep (UseClient); it is declared before the session
    // so that the session goes first.
    std::shared_ptr<TNWClient> FOwnedClient;
    TNWClient* FClient;
    std::unique_ptr<TContextMemory> FTreeContexts;
    std::unique_ptr<TScanSession> FSession;
    std::string FConnUserName;

    std::unique_ptr<TResultPanes> FPanes; // the result panes' lines and the table's rows

    // Controls: the Designer form's, and the table view
    std::unique_ptr<Ui::MainForm> FUi;
    TResultTableView* FTableView = nullptr;
    std::unique_ptr<TSaveCommands> FSave;
    TConnectCommand* FConnect = nullptr;
    // Status bar
    QLabel* FStatusPanel0 = nullptr;
    QLabel* FStatusPanel1 = nullptr;

    TFormAbout* FFormAbout = nullptr;
    TFormHelp* FFormHelp = nullptr;
};

} // namespace trovalen
