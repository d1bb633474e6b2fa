// The main window: the Info, Settings, selection, scan and Troubleshooting pages, the menus and
// the status bar, laid out by the Designer form (MainForm.ui). It only shows state and passes
// the user's choices on: the scan session lists, resolves and scans; the settings store and the
// control walk keep the window's state between runs.
#pragma once

#include <QMainWindow>

#include <atomic>
#include <memory>
#include <span>
#include <string>

#include "rights/Report.h"
#include "rights/ScanRun.h"
#include "rights/ScanSession.h"
#include "settings/Cache.h"
#include "settings/IniFile.h"
#include "ui/ResultPanes.h"
#include "ui/StartConfig.h"

class QLabel;

namespace Ui {
class MainForm;
}

namespace trovalen {

class TCheckListBox;
class TCompareCommand;
class TConnectCommand;
class TFormAbout;
class TFormHelp;
class TResultTableView;
class TSaveCommands;
class TScanBanner;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up: settings, help text, client, connection or tree list. client may be
    // null (no tree file could be loaded); the start-up then says so.
    TMainForm(const TStartConfig& config, TNWClient* client, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The client the window works on; null when there is none.
    TNWClient* Client() const { return FClient; }
    // Makes the window work on another client, which it then holds, after the old session and
    // client are gone; the start-up runs on it; the tree left keeps its list. Ignored in a scan.
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
    // The session the window works through (servers, trees, contexts, browsing, the scan).
    const TScanSession& Session() const { return *FSession; }
    TScanSession& Session() { return *FSession; }
    const std::string& ConnUserName() const { return FConnUserName; }
    TIniFile* SettingsFile() const { return FSettingsFile.get(); }
    // The lines of the two result panes, and the summary as table rows.
    const TStringList& SummaryLines() const { return FPanes->Summary(); }
    const TStringList& DetailsLines() const { return FPanes->Details(); }
    const TResultTable& ResultTable() const { return FPanes->Table(); }
    TResultTableView* TableView() const { return FTableView; }
    // The web address of the About box and the status bar.
    std::string WebAddress() const;
    TFormAbout* FormAbout() const { return FFormAbout; }
    // The help text's own window (created by the first ShowHelpText).
    TFormHelp* FormHelp() const { return FFormHelp; }
    // Where the data shown comes from (a tree file, an LDAP server): title and status bar.
    const std::string& Source() const { return FSource; }
    void SetSource(const std::string& source);
    // The last run's result; the banner above the panes and what it says when the run is not
    // whole (empty otherwise).
    const TScanResult& LastResult() const { return FLastResult; }
    TScanBanner* ScanBanner() const;
    std::string BannerText() const;
    // File > "Compare with saved result...".
    TCompareCommand& Compare() const { return *FCompare; }

    // --- Operations the controls trigger ------------------------------------------------------
    void LabelSelectedUpd();
    void CheckBoxDebugClick();
    void ShowDetailsExecute(bool fromMenu);
    // A scan of the checked entries; given a trustee, what it can reach below them.
    void BitBtnScanClick(const std::string& trustee = std::string());
    void DoTheJob(const std::string& trustee = std::string());
    void StatusBarClick();
    // Closes the About box and shows the help text, read afresh, in a window of its own.
    void ShowHelpText();
    void ActionAboutExecute();
    // Start-path page
    void RadioGroupServersClick();
    void ShellTreeViewFilesClick();
    void ShellTreeViewFilesDblClick();
    // eDirectory page; the connect command shows it, or says in its empty lists why it cannot.
    void ChangeTree();
    void GetContainerInfo();
    void ListBoxEdirContainersDblClick();
    void ListBoxEdirObjectsDblClick();
    void ShowEdirPage();
    void SetEdirHints(const std::string& text);
    // Both check-list boxes
    void CheckListBoxClick();
    void CheckListBoxDblClick(TCheckListBox* box);

    // The status bar's two panels.
    std::string StatusText(int panel) const;
    void SetStatusText(int panel, const std::string& text);
    // Sets the two panes' lines and shows them.
    void SetPanes(const TStringList& summary, const TStringList& details);
    // Adds lines to the two panes (in pieces, the window staying responsive).
    void AppendToPanes(std::span<const TStringItem> summary, std::span<const TStringItem> details);
    // Asks a running scan to stop after the entry being analysed.
    void CancelScan();
    // The line above the result panes that names the filters the next scan applies.
    void ActiveFiltersUpd();
    // A line of the troubleshooting log (in debug mode).
    void AddLogLine(const std::string& text);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The form, what it cannot say, and the signals wired to the operations.
    void CreateControls();
    void SetUpSelectionPages();
    void SetUpActionPage();
    void WireCheckList(TCheckListBox* box);
    void CreateMenus();
    // Shows the details pane, the summary table or the summary text, as the switches say.
    void ShowResultPane();
    // After a run: the banner, the marks of the table's rows, the closing status line.
    void ShowRunOutcome(const TScanResult& result, double seconds);
    // Puts the window on the screens there are now, as restored or at its first size.
    void PlaceOnScreen(bool restored);

    void FormCreate();
    void FormShow();
    void FormClose();
    // The start-up's part on the client: the session, then the servers or trees (or why not).
    void StartClient();
    // Empties what the window shows of the client: servers, folders, trees, containers.
    void ClearClientViews();
    void FillConnectionList();
    void ShellTreeViewSetRoot(const std::string& root);
    void TreeSetup();
    void SetSelectionEnabled(bool enabled);

    TWindowVariant FVariant;
    bool FDebugMode = false;
    bool FListsChanged = false;
    bool FScanning = false;
    bool FCloseAfterScan = false;
    std::string FScanOutcome; // what the status bar says when the last run ended
    std::string FSource;
    TScanResult FLastResult;
    bool FClosed = false;
    bool FShown = false;
    std::atomic<bool> FCancel = false;
    std::string FClientError;
    std::string FNoClientHint;

    std::unique_ptr<TIniFile> FSettingsFile;
    std::unique_ptr<TIniFile> FProgramSettingsFile;
    std::unique_ptr<TCache> FCache;
    TAttributeSettings FAttributes;

    // The session holds the client's contexts and connection. FOwnedClient, a client given to
    // keep (UseClient), is declared before the session so that the session goes first.
    std::shared_ptr<TNWClient> FOwnedClient;
    TNWClient* FClient;
    std::unique_ptr<TContextMemory> FTreeContexts;
    std::unique_ptr<TScanSession> FSession;
    std::string FConnUserName;

    std::unique_ptr<Ui::MainForm> FUi;
    std::unique_ptr<TResultPanes> FPanes; // the panes' lines and the table's rows
    TResultTableView* FTableView = nullptr;
    std::unique_ptr<TSaveCommands> FSave;
    TCompareCommand* FCompare = nullptr;
    TConnectCommand* FConnect = nullptr;
    QLabel* FStatusPanel0 = nullptr;
    QLabel* FStatusPanel1 = nullptr;
    QLabel* FStatusSource = nullptr;
    TFormAbout* FFormAbout = nullptr;
    TFormHelp* FFormHelp = nullptr;
};

} // namespace trovalen
