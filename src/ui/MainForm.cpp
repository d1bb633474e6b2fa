#include "ui/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QStatusBar>
#include <QUrl>

#include <chrono>
#include <exception>

#include "rights/ScanOptions.h"
#include "settings/Ini.h"
#include "ui/ControlState.h"
#include "ui/FolderTree.h"
#include "ui/FormAbout.h"
#include "ui/FormHelp.h"
#include "ui/MainConnect.h"
#include "ui/ResultTableView.h"
#include "ui/SaveCommands.h"
#include "ui/ScanBanner.h"
#include "ui/Widgets.h"
#include "ui/WindowAdapters.h"
#include "ui_MainForm.h"
#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr char kPathsSection[] = "CheckListBoxPaths";

// The settings section of a tree's list of objects to scan.
std::string EdirListSection(const std::string& tree) {
    return U_Format("%s - %s", "CheckListBoxEdir", tree.c_str());
}

// Says what failed, in the troubleshooting log and in an error box.
void ReportFailure(TMainForm& form, const std::string& what, const std::exception& e) {
    std::string text = U_Format("%s: %s", what.c_str(), e.what());
    form.AddLogLine(text);
    U_MessageBox(TMsgKind::Error, text);
}

} // namespace

// --- Construction -------------------------------------------------------------------------------

TMainForm::TMainForm(const TStartConfig& config, TNWClient* client, QWidget* parent)
    : QMainWindow(parent), FVariant(U_WindowVariant(config)), FClientError(config.ClientError),
      FNoClientHint(config.NoClientHint), FClient(client),
      FTreeContexts(std::make_unique<TSettingsContextMemory>(*this)) {
    CreateControls();
    SetSource(config.Source);
    FFormAbout = new TFormAbout(this);
    connect(FFormAbout, &TFormAbout::AddressClicked, this, &TMainForm::ShowHelpText);
    FormCreate();
}

// The session releases its contexts and its connection.
TMainForm::~TMainForm() {
    if (!FClosed)
        FormClose();
}

// --- Start-up and close -------------------------------------------------------------------------

void TMainForm::FormCreate() {
    FListsChanged = false;
    FUi->PageControl1->setCurrentWidget(FUi->TabSheetInfo);

    FSettingsFile = U_IniOpen(true);
    FProgramSettingsFile = U_IniOpen(false);
    FCache = std::make_unique<TCache>();

    TStringList help;
    U_LoadMemoFromAppTxt(help);
    FUi->Memo1->setPlainText(JoinLines(help));

    FSave->ActionSaveAsExecute();
    if (FVariant.AttrColumns)
        FAttributes = LoadAttributeSettings(FProgramSettingsFile.get(), FVariant.AttrColumns);

    FDebugMode = U_HasSwitch("DEBUG", 5);

    FUi->PanelSettingsWdr->setVisible(FVariant.Selector == 0);
    if (FVariant.Selector == 0)
        FUi->CheckBoxSettingsScanSubDirs->setChecked(true);
    // Both windows reach "Show only Users" (and the details switch) through this menu.
    FUi->MenuSettings->menuAction()->setVisible(true);
    QTabWidget* pages = FUi->PageControl1;
    pages->setTabVisible(pages->indexOf(FUi->TabSheetDebug), FDebugMode);
    pages->setTabVisible(pages->indexOf(FUi->TabSheetSelectPath), FVariant.ScanFileSystem);
    pages->setTabVisible(pages->indexOf(FUi->TabSheetSelectEdir), FVariant.ScanEdir);
    // Only the eDirectory window reads a directory of its own choosing.
    if (FConnect)
        FConnect->Action()->setVisible(FVariant.ScanEdir);

    U_IniLoadActions(*FSettingsFile, kSettings,
                     {FUi->MenuSave->menuAction(), FUi->ActionSaveAsTxt, FUi->ActionSaveAsClipboard,
                      FUi->ActionSaveAsExcel, FUi->ActionSettingsShowDetails,
                      FUi->MenuSettingsShowOnlyUsers, FUi->ActionAbout, FUi->MenuExit});
    U_IniLoadControls(*FSettingsFile, kSettings, FUi->PanelSettingsConfig);
    FTableView->SetSettings(FSettingsFile.get(), kSettings);
    U_IniLoadControls(*FSettingsFile, kSettings, FUi->PanelSettingsResult);
    ActiveFiltersUpd();
    // The details switch cannot stay on while the details pane is empty.
    CheckBoxDebugClick();

    if (FVariant.ScanFileSystem)
        U_IniLoadCheckList(*FSettingsFile, kPathsSection, FUi->CheckListBoxPaths);

    StartClient();
    LabelSelectedUpd();
}

void TMainForm::StartClient() {
    FSession = std::make_unique<TScanSession>(FClient, FTreeContexts.get());
    NWCCODE code = FSession->StartCode();
    if (FClient == nullptr) {
        // The program's start has said why there is no client; the empty lists say it again.
        std::string why = FNoClientHint;
        if (!FClientError.empty())
            why += ": " + FClientError;
        FUi->ShellTreeViewFiles->SetHint(Q(why));
        SetEdirHints(why);
    } else if (code != 0) {
        U_ShowError(code, "InitNetWare");
        FUi->ShellTreeViewFiles->SetHint(
            Q(U_Format("The client did not start (error %04X)", static_cast<unsigned>(code))));
    } else {
        if (FVariant.ScanFileSystem)
            FillConnectionList();
        if (FVariant.ScanEdir)
            TreeSetup();
    }
}

void TMainForm::ClearClientViews() {
    FUi->RadioGroupServers->Clear();
    FUi->ShellTreeViewFiles->SetRoot(std::string());
    FUi->ShellTreeViewFiles->setEnabled(true);
    FUi->ShellTreeViewFiles->SetHint(kHintNoServer);
    FConnUserName.clear();
    FUi->ComboBoxTrees->clear();
    FUi->EditMyName->clear();
    FUi->EditCurrentContainer->clear();
    FUi->ListBoxEdirContainers->clear();
    FUi->ListBoxEdirObjects->clear();
    FUi->ListBoxEdirContainers->SetHint(kHintNoContainers);
    FUi->ListBoxEdirObjects->SetHint(kHintNoObjects);
    FUi->CheckListBoxEdir->clear();
}

void TMainForm::UseClient(std::shared_ptr<TNWClient> client) {
    if (FScanning)
        return;
    // The tree left keeps its context and its list of objects, as a change of tree keeps them.
    std::string previous = FSession->CurrentTree();
    FSession->ChooseTree(std::string());
    if (FVariant.ScanEdir && !previous.empty())
        U_IniSaveCheckList(*FSettingsFile, EdirListSection(previous), FUi->CheckListBoxEdir);
    // Every context and connection of the old client goes before the client itself.
    FSession.reset();
    FOwnedClient = std::move(client);
    FClient = FOwnedClient.get();
    FClientError.clear();
    // What the cache holds was read from the directory left.
    FCache = std::make_unique<TCache>();
    ClearClientViews();
    StartClient();
    LabelSelectedUpd();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    // The first size fits the screen at any scale; a stored place is moved onto a screen there
    // is now (the one it was on may be gone).
    PlaceOnScreen(false);
    if (FSettingsFile)
        U_IniLoadGeometry(*FSettingsFile, kSettings, this);
    PlaceOnScreen(true);
    FFormAbout->Fill(FVariant.Name, kProgramVersion, WebAddress());
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A close while a scan runs stops the scan after the entry being analysed (the run still
    // uses the window); the window closes when the run has ended.
    if (FScanning) {
        FCloseAfterScan = true;
        CancelScan();
        event->ignore();
        return;
    }
    if (!FClosed)
        FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    FClosed = true;
    try {
        if (FListsChanged) {
            if (FVariant.ScanFileSystem)
                U_IniSaveCheckList(*FSettingsFile, kPathsSection, FUi->CheckListBoxPaths);
            if (FVariant.ScanEdir)
                U_IniSaveCheckList(*FSettingsFile, EdirListSection(FSession->CurrentTree()),
                                   FUi->CheckListBoxEdir);
        }
        U_IniSaveControls(*FSettingsFile, kSettings, FUi->PanelSettingsResult);
        U_IniSaveControls(*FSettingsFile, kSettings, FUi->PanelSettingsConfig);
        U_IniWriteBool(*FSettingsFile, kSettings, "MenuSettingsShowOnlyUsers",
                       FUi->MenuSettingsShowOnlyUsers->isChecked());
        U_IniSaveGeometry(*FSettingsFile, kSettings, this);
    } catch (const std::exception& e) {
        // The window goes whatever happens; what could not be saved is said once.
        ReportFailure(*this, "Unable to save the settings", e);
    }
    FCache.reset();
}

std::string TMainForm::WebAddress() const {
    // The program's own documentation: the help text that the Info page shows.
    std::string program = U_ProgramFile();
    std::string name = program.substr(program.find_last_of('/') + 1);
    return S(QUrl::fromLocalFile(Q(U_DataFileName(U_ChangeExt(name, "txt"))))
                 .toString(QUrl::FullyEncoded));
}

// --- Count, details switch ----------------------------------------------------------------------

void TMainForm::LabelSelectedUpd() {
    TCheckListBox* list = FVariant.ScanEdir ? FUi->CheckListBoxEdir : FUi->CheckListBoxPaths;
    const char* word = FVariant.ScanEdir ? "#Objects Selected" : "#Start Paths Selected";
    int n = list->CheckedCount();
    std::string text = U_Format("%s: %d", word, n);
    (FVariant.ScanEdir ? FUi->LabelObjSelected : FUi->LabelDirSelected)->setText(Q(text));
    SetStatusText(0, text);
    // A running scan keeps its button disabled until it ends.
    if (!FScanning)
        FUi->BitBtnScan->setEnabled(n > 0);
}

void TMainForm::CheckBoxDebugClick() {
    if (FPanes->Details().Count() == 0)
        FUi->CheckBoxDebug->setChecked(false);
    FUi->ActionSettingsShowDetails->setChecked(FUi->CheckBoxDebug->isChecked());
    FSave->GetMemo();
    ShowResultPane();
}

void TMainForm::ShowResultPane() {
    bool details = FUi->CheckBoxDebug->isChecked();
    bool table = !details && FUi->CheckBoxTableView->isChecked();
    FUi->MemoDebug->setVisible(details);
    FTableView->setVisible(table);
    FUi->MemoStandard->setVisible(!details && !table);
}

void TMainForm::ShowDetailsExecute(bool fromMenu) {
    if (fromMenu)
        FUi->CheckBoxDebug->setChecked(FUi->ActionSettingsShowDetails->isChecked());
    CheckBoxDebugClick();
}

// --- Status bar, About --------------------------------------------------------------------------

std::string TMainForm::StatusText(int panel) const {
    return S((panel == 0 ? FStatusPanel0 : FStatusPanel1)->text());
}

void TMainForm::SetStatusText(int panel, const std::string& text) {
    QLabel* label = panel == 0 ? FStatusPanel0 : FStatusPanel1;
    label->setText(Q(text));
    label->setToolTip(Q(text));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == statusBar() || watched == FStatusPanel0 || watched == FStatusPanel1) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        StatusBarClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::StatusBarClick() {
    U_ShellOpen(WebAddress());
}

void TMainForm::ShowHelpText() {
    if (FFormAbout->isVisible())
        FFormAbout->accept();
    FFormHelp = TFormHelp::Open(this, FVariant.Name + " Help");
}

void TMainForm::ActionAboutExecute() {
    FFormAbout->Fill(FVariant.Name, kProgramVersion, WebAddress());
    FFormAbout->adjustSize();
    FFormAbout->move(geometry().center() - FFormAbout->rect().center());
    FFormAbout->exec();
}

// --- Scan ---------------------------------------------------------------------------------------

void TMainForm::SetPanes(const TStringList& summary, const TStringList& details) {
    FPanes->Set(summary, details, FVariant.ScanEdir);
}

void TMainForm::AppendToPanes(std::span<const TStringItem> summary,
                              std::span<const TStringItem> details) {
    FPanes->Append(summary, details);
}

void TMainForm::ActiveFiltersUpd() {
    std::vector<std::string> parts;
    if (!FUi->EditFilterExcl->text().isEmpty())
        parts.push_back("excluding names with \"" + S(FUi->EditFilterExcl->text()) + "\"");
    if (!FUi->EditFilterIncl->text().isEmpty())
        parts.push_back("only names with \"" + S(FUi->EditFilterIncl->text()) + "\"");
    if (FUi->MenuSettingsShowOnlyUsers->isChecked())
        parts.push_back("only users");
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "Filters: " : "; ") + part;
    FUi->LabelActiveFilters->setText(Q(text));
    FUi->LabelActiveFilters->setVisible(!text.empty());
}

void TMainForm::CancelScan() {
    if (FScanning)
        FCancel = true;
}

void TMainForm::AddLogLine(const std::string& text) {
    if (!FDebugMode)
        return;
    FUi->ListBoxLog->addItem(Q(text));
    FUi->ListBoxLog->scrollToBottom();
}

void TMainForm::SetSelectionEnabled(bool enabled) {
    FUi->TabSheetSettings->setEnabled(enabled);
    FUi->TabSheetSelectPath->setEnabled(enabled);
    FUi->TabSheetSelectEdir->setEnabled(enabled);
    FUi->PanelSettingsResult->setEnabled(enabled);
    FUi->MenuSave->setEnabled(enabled);
    if (FConnect)
        FConnect->Action()->setEnabled(enabled);
}

void TMainForm::BitBtnScanClick(const std::string& trustee) {
    DoTheJob(trustee);
    // A run that is not whole says so where the progress was shown.
    SetStatusText(1, FScanOutcome);
}

void TMainForm::DoTheJob(const std::string& trustee) {
    if (FScanning)
        return;
    TScanOptions options;
    options.Edir = FVariant.ScanEdir;
    TCheckListBox* list = FVariant.ScanEdir ? FUi->CheckListBoxEdir : FUi->CheckListBoxPaths;
    for (const auto& text : list->CheckedTexts())
        options.Entries.push_back(text);
    options.ResolveContainers = FUi->CheckBoxSettingsResolveContainers->isChecked();
    options.OnlyUsers = FUi->MenuSettingsShowOnlyUsers->isChecked();
    options.ScanSubDirs = FUi->CheckBoxSettingsScanSubDirs->isChecked();
    // A reverse query walks every level below its scopes by itself.
    options.Recursive = trustee.empty() && FUi->CheckBoxSettingsRecursive->isChecked();
    options.ChangesOnly = options.Recursive && FUi->CheckBoxSettingsChangesOnly->isChecked();
    options.Trustee = trustee;
    options.FilterExcl = S(FUi->EditFilterExcl->text());
    options.FilterIncl = S(FUi->EditFilterIncl->text());
    options.VariantName = FVariant.Name;
    options.DebugMode = FDebugMode;
    options.ShowDetails = FUi->ActionSettingsShowDetails->isChecked();
    options.Source = FSource;
    // The tree is the one chosen on the page, so the options name none.
    TScanRequest request;
    U_ScanRequest(options, *FSession, request);
    request.AttrColumns = FVariant.AttrColumns;
    request.Attributes = FVariant.AttrColumns ? &FAttributes : nullptr;
    request.Cache = FCache.get();
    FCancel = false;
    request.Cancel = &FCancel;

    // The panes are emptied when the run starts; the selection and the settings stay as they
    // are until it ends, also when it ends with an exception.
    SetPanes(TStringList(), TStringList());
    TScanResult result;
    const auto started = std::chrono::steady_clock::now();
    {
        FScanning = true;
        SetSelectionEnabled(false);
        FUi->BitBtnCancel->setVisible(true);
        TScopeExit unlock([this] {
            FScanning = false;
            FUi->BitBtnCancel->setVisible(false);
            SetSelectionEnabled(true);
        });
        TWindowScanHost host(*this, FUi->BitBtnScan, FUi->CheckBoxDebug);
        try {
            FSession->Scan(request, host, result);
        } catch (const std::exception& e) {
            std::string line = U_Format("Error while scanning: %s", e.what());
            result.Summary.Add(line);
            AppendToPanes(TStringList{line}.Items, {});
        }
    }
    ShowRunOutcome(
        result, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    // The panes were filled entry by entry; they end up holding the run's result.
    if (SummaryLines().Count() != result.Summary.Count() ||
        DetailsLines().Count() != result.Details.Count())
        SetPanes(result.Summary, result.Details);
    CheckBoxDebugClick();
    FSave->ActionSaveAsExecute();
    FLastResult = std::move(result);
    if (FCloseAfterScan)
        close();
}

// --- Start-path page ----------------------------------------------------------------------------

void TMainForm::FillConnectionList() {
    if (!FVariant.ScanFileSystem)
        return;
    TStringList servers;
    if (FSession->ListServers(servers) != 0)
        return;
    TRadioGroup* group = FUi->RadioGroupServers;
    group->Clear();
    for (const auto& s : servers)
        group->Add(s.Text, s.Value);
    if (group->ItemIndex() < 0 && group->Count() > 0)
        group->Click(0);
}

void TMainForm::RadioGroupServersClick() {
    if (!FVariant.ScanFileSystem)
        return;
    TRadioGroup* group = FUi->RadioGroupServers;
    int index = group->ItemIndex();
    if (index < 0)
        return;
    NWCCODE code = FSession->OpenServer(group->Text(index), group->Value(index));
    if (code != 0)
        U_ShowError(code, "NWCCOpenConnByRef");
    ShellTreeViewSetRoot("\\\\" + FSession->ServerName() + "\\");
}

void TMainForm::ShellTreeViewSetRoot(const std::string& root) {
    TBusyCursor busy;
    FConnUserName = FSession->ConnUserName();
    bool enabled = FConnUserName != kNotAuthenticated;
    TFolderTree* folders = FUi->ShellTreeViewFiles;
    folders->setEnabled(enabled);
    // A server the workstation is not logged in to shows none of its own folders, nor those
    // of the server chosen before.
    folders->SetRoot(enabled ? root : std::string());
    folders->SetHint(enabled ? Q("No volumes on this server")
                             : Q(U_Format("Not logged in to %s", FSession->ServerName().c_str())));
}

void TMainForm::ShellTreeViewFilesClick() {
    if (!FVariant.ScanFileSystem || !FUi->ShellTreeViewFiles->isEnabled())
        return;
    std::string path = FUi->ShellTreeViewFiles->SelectedPath();
    if (path.empty())
        return;
    FSession->ResolveFolder(path);
    SetStatusText(1, FSession->SelectedPath());
    SetPanes(TStringList(), TStringList());
    CheckBoxDebugClick();
}

void TMainForm::ShellTreeViewFilesDblClick() {
    if (!FVariant.ScanFileSystem)
        return;
    std::string path = FUi->ShellTreeViewFiles->SelectedPath();
    if (path.empty())
        return;
    FListsChanged = true;
    TCheckListBox* paths = FUi->CheckListBoxPaths;
    int index = paths->IndexOf(path);
    if (index < 0)
        index = paths->Add(path);
    paths->setCurrentRow(index);
    paths->SetChecked(index, true);
    LabelSelectedUpd();
}

// --- Both check-list boxes ----------------------------------------------------------------------

void TMainForm::CheckListBoxClick() {
    FListsChanged = true;
    LabelSelectedUpd();
}

void TMainForm::CheckListBoxDblClick(TCheckListBox* box) {
    FListsChanged = true;
    if (!box->selectedItems().isEmpty())
        delete box->takeItem(box->currentRow());
    LabelSelectedUpd();
}

// --- eDirectory page ----------------------------------------------------------------------------

void TMainForm::ShowEdirPage() {
    FUi->PageControl1->setCurrentWidget(FUi->TabSheetSelectEdir);
}

void TMainForm::SetEdirHints(const std::string& text) {
    FUi->ListBoxEdirContainers->SetHint(Q(text));
    FUi->ListBoxEdirObjects->SetHint(Q(text));
}

void TMainForm::TreeSetup() {
    if (!FVariant.ScanEdir)
        return;
    try {
        TStringList trees;
        std::string primary;
        FSession->ListTrees(trees, primary);
        QComboBox* combo = FUi->ComboBoxTrees;
        combo->clear();
        for (const auto& t : trees)
            if (combo->findText(Q(t.Text), Qt::MatchFixedString) < 0)
                combo->addItem(Q(t.Text));
        if (combo->count() > 0) {
            int index = combo->findText(Q(primary), Qt::MatchFixedString);
            combo->setCurrentIndex(index >= 0 ? index : 0);
            ChangeTree();
        }
    } catch (const std::exception& e) {
        // The window still opens; the page stays as far as it got.
        ReportFailure(*this, "Unable to list the trees", e);
    }
}

void TMainForm::ChangeTree() {
    if (!FVariant.ScanEdir)
        return;
    // The session keeps the context of the tree left; its list is kept here, after it.
    std::string previous = FSession->CurrentTree();
    std::string tree = S(FUi->ComboBoxTrees->currentText());
    NWCCODE code = FSession->ChooseTree(tree);
    if (!previous.empty())
        U_IniSaveCheckList(*FSettingsFile, EdirListSection(previous), FUi->CheckListBoxEdir);
    if (tree.empty())
        return;
    if (code != 0)
        U_ShowError(code, "DSChangeCurrentTree");
    FUi->EditMyName->setText(Q(FSession->CurrentUser()));
    GetContainerInfo();
    U_IniLoadCheckList(*FSettingsFile, EdirListSection(FSession->CurrentTree()),
                       FUi->CheckListBoxEdir);
    // The count follows the list of the tree now chosen.
    LabelSelectedUpd();
}

void TMainForm::GetContainerInfo() {
    TBusyCursor busy;
    std::string current;
    TStringList containers, objects;
    FSession->ListContainer(current, containers, objects);
    FUi->EditCurrentContainer->setText(Q(current));
    FUi->ListBoxEdirContainers->clear();
    FUi->ListBoxEdirObjects->clear();
    for (const auto& c : containers)
        FUi->ListBoxEdirContainers->addItem(Q(c.Text));
    for (const auto& o : objects) {
        auto* item = new QListWidgetItem(Q(o.Text), FUi->ListBoxEdirObjects);
        item->setData(kPrefixRole, static_cast<int>(o.Value));
    }
}

void TMainForm::ListBoxEdirContainersDblClick() {
    if (!FVariant.ScanEdir)
        return;
    QListWidgetItem* item = FUi->ListBoxEdirContainers->currentItem();
    if (!item)
        return;
    FSession->OpenContainer(S(item->text()));
    GetContainerInfo();
}

void TMainForm::ListBoxEdirObjectsDblClick() {
    if (!FVariant.ScanEdir)
        return;
    QListWidgetItem* item = FUi->ListBoxEdirObjects->currentItem();
    if (!item)
        return;
    FListsChanged = true;
    std::string full;
    NWCCODE code = FSession->ResolveObject(S(item->text()), item->data(kPrefixRole).toInt(), full);
    // A name that cannot be resolved adds no nameless entry.
    if (full.empty()) {
        U_ShowError(code, "DSGetDN");
        return;
    }
    TCheckListBox* list = FUi->CheckListBoxEdir;
    int index = list->IndexOf(full);
    if (index < 0)
        index = list->Add(full);
    list->setCurrentRow(index);
    list->SetChecked(index, true);
    LabelSelectedUpd();
}

} // namespace trovalen
