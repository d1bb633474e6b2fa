#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/ScanRun.h"
#include "settings/Ini.h"
#include "ui/ControlState.h"
#include "ui/FolderTree.h"
#include "ui/FormAbout.h"
#include "ui/Widgets.h"
#include "util/Export.h"
#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr char kSettings[] = "Settings";
constexpr char kContextSection[] = "Context";
constexpr char kPathsSection[] = "CheckListBoxPaths";
constexpr char kRootEntry[] = "[Root]: [Root]";
constexpr int kRootPrefix = 8;
constexpr char kUpEntry[] = "[ .. ]";
constexpr char kNotAuthenticated[] = "<not authenticated>";
constexpr int kPrefixRole = Qt::UserRole + 1;

QLabel* BuddyLabel(const char* caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

int LineCount(const TStringList& lines) {
    return lines.Count();
}

} // namespace

// What the scan run needs from the window.
class TMainForm::THost : public TScanHost {
public:
    explicit THost(TMainForm& form) : FForm(form) {}
    void BeginRun() override { FForm.FBitBtnScan->setEnabled(false); }
    void EndRun() override { FForm.FBitBtnScan->setEnabled(true); }
    void DebugLine(const std::string& text) override { FForm.AddLogLine(text); }
    void SetStatusText(const std::string& text) override { FForm.SetStatusText(1, text); }
    void DetailsAvailable(bool available) override { FForm.FCheckBoxDebug->setVisible(available); }

private:
    TMainForm& FForm;
};

// --- Construction -------------------------------------------------------------------------------

TMainForm::TMainForm(const TStartConfig& config, QWidget* parent)
    : QMainWindow(parent), FVariantSelector(config.VariantSelector),
      FScanFileSystem(config.ScanFileSystem), FScanEdir(config.ScanEdir) {
    SaveFileDialog = [this](const std::string& proposed) -> std::optional<std::string> {
        QFileDialog dialog(this, "Save");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({"Text Files (*.txt)", "All Files (*)"});
        dialog.setDefaultSuffix("txt");
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.selectFile(Q(proposed));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return S(dialog.selectedFiles().first());
    };
    CreateControls();
    FFormAbout = new TFormAbout(this);
    connect(FFormAbout, &TFormAbout::AddressClicked, this, &TMainForm::StatusBarClick);
    FormCreate();
}

TMainForm::~TMainForm() {
    if (!FClosed)
        FormClose();
    if (TNWClient* client = NWClient()) {
        for (NWHandle ctx : {FScanContext, FBrowseContext, FUserContext})
            if (ctx != 0)
                client->FreeContext(ctx);
        if (FConnHandle != NO_CONNECTION)
            client->CloseConn(FConnHandle);
    }
}

void TMainForm::CreateControls() {
    setObjectName("MainForm");
    setWindowTitle(kWindowCaption);
    resize(900, 680);

    FPageControl = new QTabWidget(this);
    FPageControl->setObjectName("PageControl1");
    FPageControl->setDocumentMode(false);
    FTabSheetInfo = CreateInfoPage();
    FTabSheetSettings = CreateSettingsPage();
    FTabSheetSelectEdir = CreateSelectEdirPage();
    FTabSheetSelectPath = CreateSelectPathPage();
    FTabSheetAction = CreateActionPage();
    FTabSheetDebug = CreateDebugPage();
    FPageControl->addTab(FTabSheetInfo, "&Info");
    FPageControl->addTab(FTabSheetSettings, "&Settings");
    FPageControl->addTab(FTabSheetSelectEdir, "Select &eDirectory Objects");
    FPageControl->addTab(FTabSheetSelectPath, "Select Start &Path");
    FPageControl->addTab(FTabSheetAction, "Scan for &Trustees");
    FPageControl->addTab(FTabSheetDebug, "T&roubleshooting");
    setCentralWidget(FPageControl);
    connect(FPageControl, &QTabWidget::currentChanged, this, [this] { LabelSelectedUpd(); });

    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(true);
    FStatusPanel0 = new QLabel(bar);
    FStatusPanel0->setObjectName("StatusPanel0");
    FStatusPanel0->setFixedWidth(250);
    FStatusPanel1 = new QLabel(bar);
    FStatusPanel1->setObjectName("StatusPanel1");
    FStatusPanel1->setMinimumWidth(50);
    bar->addWidget(FStatusPanel0, 0);
    bar->addWidget(FStatusPanel1, 1);
    bar->setCursor(Qt::PointingHandCursor);
    for (QWidget* w : {static_cast<QWidget*>(bar), static_cast<QWidget*>(FStatusPanel0),
                       static_cast<QWidget*>(FStatusPanel1)})
        w->installEventFilter(this);

    CreateMenus();
}

QWidget* TMainForm::CreateInfoPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetInfo");
    auto* title = new QLabel(kWindowCaption, page);
    title->setObjectName("LabelTitle");
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    title->setFont(font);
    title->setContentsMargins(8, 8, 8, 8);
    title->setAutoFillBackground(true);
    title->setBackgroundRole(QPalette::AlternateBase);

    FMemo1 = new QPlainTextEdit(page);
    FMemo1->setObjectName("Memo1");
    FMemo1->setReadOnly(true);
    FMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title);
    layout->addWidget(FMemo1, 1);
    return page;
}

QWidget* TMainForm::CreateSettingsPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetSettings");
    FPanelSettingsConfig = new QWidget(page);
    FPanelSettingsConfig->setObjectName("PanelSettingsConfig");

    FEditFilterExcl = new QLineEdit(FPanelSettingsConfig);
    FEditFilterExcl->setObjectName("EditFilterExcl");
    FEditFilterExcl->setToolTip(
        "All user names that DO contain the specified string will be excluded");
    FEditFilterIncl = new QLineEdit(FPanelSettingsConfig);
    FEditFilterIncl->setObjectName("EditFilterIncl");
    FEditFilterIncl->setToolTip(
        "All user names that DO NOT contain the specified string will be excluded");
    FCheckBoxSettingsResolveContainers =
        new QCheckBox("Resolve &Container Trustees", FPanelSettingsConfig);
    FCheckBoxSettingsResolveContainers->setObjectName("CheckBoxSettingsResolveContainers");
    FCheckBoxSettingsResolveContainers->setToolTip(
        "If a container is assigned a trustee, setting this checkbox will let Trovalen add all "
        "members of this container individually. This will decrease performance.");
    FPanelSettingsWdr = new QWidget(FPanelSettingsConfig);
    FPanelSettingsWdr->setObjectName("PanelSettingsWdr");
    FCheckBoxSettingsScanSubDirs = new QCheckBox("Include S&ubdirectories", FPanelSettingsWdr);
    FCheckBoxSettingsScanSubDirs->setObjectName("CheckBoxSettingsScanSubDirs");
    FCheckBoxSettingsScanSubDirs->setToolTip(
        "Scan the selected paths plus their immediate subdirectories");
    auto* wdr = new QHBoxLayout(FPanelSettingsWdr);
    wdr->setContentsMargins(0, 0, 0, 0);
    wdr->addWidget(FCheckBoxSettingsScanSubDirs);

    auto* form = new QFormLayout(FPanelSettingsConfig);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* exclLabel = BuddyLabel("E&xclude Filter", FEditFilterExcl, FPanelSettingsConfig);
    exclLabel->setObjectName("LabelFilterExcl");
    auto* inclLabel = BuddyLabel("I&nclude Filter", FEditFilterIncl, FPanelSettingsConfig);
    inclLabel->setObjectName("LabelFilterIncl");
    form->addRow(exclLabel, FEditFilterExcl);
    form->addRow(inclLabel, FEditFilterIncl);
    form->addRow(QString(), FCheckBoxSettingsResolveContainers);
    form->addRow(QString(), FPanelSettingsWdr);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    FPanelSettingsConfig->setMinimumWidth(480);
    FPanelSettingsConfig->setMaximumWidth(640);
    layout->addWidget(FPanelSettingsConfig, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);
    return page;
}

QWidget* TMainForm::CreateSelectEdirPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetSelectEdir");

    auto* top = new QWidget(page);
    top->setObjectName("PanelEdirTop");
    FComboBoxTrees = new QComboBox(top);
    FComboBoxTrees->setObjectName("ComboBoxTrees");
    FComboBoxTrees->setEditable(false);
    FComboBoxTrees->setMinimumContentsLength(20);
    FComboBoxTrees->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FEditMyName = new QLineEdit(top);
    FEditMyName->setObjectName("EditMyName");
    FEditMyName->setReadOnly(true);
    FEditCurrentContainer = new QLineEdit(top);
    FEditCurrentContainer->setObjectName("EditCurrentContainer");
    FEditCurrentContainer->setReadOnly(true);
    auto* grid = new QGridLayout(top);
    grid->setContentsMargins(6, 6, 6, 6);
    auto* treesLabel = BuddyLabel("&Trees", FComboBoxTrees, top);
    treesLabel->setObjectName("LabelTrees");
    grid->addWidget(treesLabel, 0, 0);
    grid->addWidget(FComboBoxTrees, 0, 1);
    grid->addWidget(FEditMyName, 0, 2);
    grid->addWidget(FEditCurrentContainer, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);

    FListBoxEdirContainers = new QListWidget(page);
    FListBoxEdirContainers->setObjectName("ListBoxEdirContainers");
    FListBoxEdirContainers->setToolTip(
        "Browse to the container that contains the objects that you would like to check "
        "(double-click to navigate)");
    FListBoxEdirObjects = new QListWidget(page);
    FListBoxEdirObjects->setObjectName("ListBoxEdirObjects");
    FListBoxEdirObjects->setToolTip("You may add one or multiple objects that are to be scanned");
    FLabelObjSelected = new QLabel("#Objects Selected: 0", page);
    FLabelObjSelected->setObjectName("LabelObjSelected");
    FCheckListBoxEdir = new TCheckListBox(page);
    FCheckListBoxEdir->setObjectName("CheckListBoxEdir");
    FCheckListBoxEdir->setToolTip("The checkbox indicates, if the path is included during the "
                                  "next scan. Double-click to remove an item");

    auto* objectsPanel = new QWidget(page);
    objectsPanel->setObjectName("PanelEdirObjects");
    auto* ol = new QVBoxLayout(objectsPanel);
    ol->setContentsMargins(0, 0, 0, 0);
    ol->addWidget(FListBoxEdirObjects, 1);
    ol->addWidget(FLabelObjSelected);

    auto* right = new QSplitter(Qt::Vertical, page);
    right->setObjectName("SplitterEdirObjects");
    right->addWidget(objectsPanel);
    right->addWidget(FCheckListBoxEdir);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    auto* lower = new QSplitter(Qt::Horizontal, page);
    lower->setObjectName("SplitterEdirContainers");
    lower->addWidget(FListBoxEdirContainers);
    lower->addWidget(right);
    lower->setStretchFactor(0, 2);
    lower->setStretchFactor(1, 3);
    auto* outer = new QSplitter(Qt::Vertical, page);
    outer->setObjectName("SplitterEdirTop");
    outer->addWidget(top);
    outer->addWidget(lower);
    outer->setStretchFactor(1, 1);
    outer->setCollapsible(0, false);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(outer);

    connect(FComboBoxTrees, &QComboBox::activated, this, [this] { ChangeTree(); });
    connect(FListBoxEdirContainers, &QListWidget::itemDoubleClicked, this,
            [this] { ListBoxEdirContainersDblClick(); });
    connect(FListBoxEdirObjects, &QListWidget::itemDoubleClicked, this,
            [this] { ListBoxEdirObjectsDblClick(); });
    connect(FCheckListBoxEdir, &TCheckListBox::CheckToggled, this, [this] { CheckListBoxClick(); });
    connect(FCheckListBoxEdir, &QListWidget::itemClicked, this, [this] { CheckListBoxClick(); });
    connect(FCheckListBoxEdir, &QListWidget::itemDoubleClicked, this,
            [this] { CheckListBoxDblClick(FCheckListBoxEdir); });
    return page;
}

QWidget* TMainForm::CreateSelectPathPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetSelectPath");

    FRadioGroupServers = new TRadioGroup("&Connection List", page);
    FRadioGroupServers->setObjectName("RadioGroupServers");
    FRadioGroupServers->setToolTip("Select base server");
    FRadioGroupServers->setMinimumWidth(150);

    FShellTreeViewFiles = new TFolderTree(page);
    FShellTreeViewFiles->setObjectName("ShellTreeViewFiles");
    FShellTreeViewFiles->setToolTip("Double-Click to add to list of start directories");
    FLabelDirSelected = new QLabel("#Start Paths Selected: 0", page);
    FLabelDirSelected->setObjectName("LabelDirSelected");
    FCheckListBoxPaths = new TCheckListBox(page);
    FCheckListBoxPaths->setObjectName("CheckListBoxPaths");
    FCheckListBoxPaths->setToolTip("Double-click to remove from list of start directories (to "
                                   "temporarily ignore item, uncheck checkbox)");

    auto* folders = new QWidget(page);
    folders->setObjectName("PanelFolders");
    auto* fl = new QVBoxLayout(folders);
    fl->setContentsMargins(0, 0, 0, 0);
    fl->addWidget(FShellTreeViewFiles, 1);
    fl->addWidget(FLabelDirSelected);

    auto* right = new QSplitter(Qt::Vertical, page);
    right->setObjectName("SplitterPaths");
    right->addWidget(folders);
    right->addWidget(FCheckListBoxPaths);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    auto* outer = new QSplitter(Qt::Horizontal, page);
    outer->setObjectName("SplitterServers");
    outer->addWidget(FRadioGroupServers);
    outer->addWidget(right);
    outer->setStretchFactor(1, 1);
    outer->setSizes({180, 700});

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(outer);

    connect(FRadioGroupServers, &TRadioGroup::Clicked, this, [this] { RadioGroupServersClick(); });
    connect(FShellTreeViewFiles, &QTreeView::clicked, this, [this] { ShellTreeViewFilesClick(); });
    connect(FShellTreeViewFiles, &QTreeView::doubleClicked, this,
            [this] { ShellTreeViewFilesDblClick(); });
    connect(FCheckListBoxPaths, &TCheckListBox::CheckToggled, this,
            [this] { CheckListBoxClick(); });
    connect(FCheckListBoxPaths, &QListWidget::itemClicked, this, [this] { CheckListBoxClick(); });
    connect(FCheckListBoxPaths, &QListWidget::itemDoubleClicked, this,
            [this] { CheckListBoxDblClick(FCheckListBoxPaths); });
    return page;
}

QPlainTextEdit* TMainForm::CreateResultPane(const char* name) {
    auto* pane = new QPlainTextEdit();
    pane->setObjectName(name);
    pane->setReadOnly(true);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The report separates its columns with tabs: stops every eight characters.
    pane->setTabStopDistance(8 * QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char(' ')));
    pane->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pane, &QWidget::customContextMenuRequested, this,
            [this, pane](const QPoint& pos) { ShowPaneMenu(pane, pos); });
    return pane;
}

QWidget* TMainForm::CreateActionPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetAction");
    FPanelSettingsResult = new QWidget(page);
    FPanelSettingsResult->setObjectName("PanelSettingsResult");
    FBitBtnScan = new QPushButton("&Scan for Effective Trustees", FPanelSettingsResult);
    FBitBtnScan->setObjectName("BitBtnScan");
    FBitBtnScan->setToolTip("Scan Dirs for Trustees");
    FBitBtnScan->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    FBitBtnScan->setEnabled(false);
    FCheckBoxDebug = new QCheckBox("Show &Details", FPanelSettingsResult);
    FCheckBoxDebug->setObjectName("CheckBoxDebug");
    FCheckBoxDebug->setToolTip("Show Detailed Rights Analysis");
    auto* strip = new QHBoxLayout(FPanelSettingsResult);
    strip->setContentsMargins(6, 6, 6, 6);
    strip->addWidget(FBitBtnScan);
    strip->addSpacing(16);
    strip->addWidget(FCheckBoxDebug);
    strip->addStretch(1);

    FMemoStandard = CreateResultPane("MemoStandard");
    FMemoDebug = CreateResultPane("MemoDebug");
    FMemoStandard->setParent(page);
    FMemoDebug->setParent(page);
    FMemoDebug->hide();
    FCurrentMemo = FMemoStandard;

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FPanelSettingsResult);
    layout->addWidget(FMemoStandard, 1);
    layout->addWidget(FMemoDebug, 1);

    connect(FBitBtnScan, &QPushButton::clicked, this, [this] { BitBtnScanClick(); });
    connect(FCheckBoxDebug, &QCheckBox::clicked, this, [this] { ShowDetailsExecute(false); });
    return page;
}

QWidget* TMainForm::CreateDebugPage() {
    auto* page = new QWidget();
    page->setObjectName("TabSheetDebug");
    FListBoxLog = new QListWidget(page);
    FListBoxLog->setObjectName("ListBoxLog");
    FListBoxLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    FListBoxLog->setUniformItemSizes(true);
    FListBoxLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FListBoxLog, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowLogMenu(pos); });
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FListBoxLog);
    return page;
}

void TMainForm::CreateMenus() {
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("MenuFile");
    FMenuSave = new QMenu("Save ...", this);
    FMenuSave->setObjectName("MenuSave");
    FActionSaveAs = FMenuSave->menuAction();
    FActionSaveAs->setObjectName("ActionSaveAs");
    FActionSaveAsTxt = FMenuSave->addAction("... as *.TXT");
    FActionSaveAsTxt->setObjectName("ActionSaveAsTxt");
    FActionSaveAsClipboard = FMenuSave->addAction("... to Clipboard");
    FActionSaveAsClipboard->setObjectName("ActionSaveAsClipboard");
    FActionSaveAsExcel = FMenuSave->addAction("... to Excel");
    FActionSaveAsExcel->setObjectName("ActionSaveAsExcel");
    connect(FMenuSave, &QMenu::aboutToShow, this, [this] { ActionSaveAsExecute(); });
    connect(FActionSaveAsTxt, &QAction::triggered, this, [this] { ActionSaveAsTxtClick(); });
    connect(FActionSaveAsClipboard, &QAction::triggered, this,
            [this] { ActionSaveToClipboardClick(); });
    connect(FActionSaveAsExcel, &QAction::triggered, this, [this] { ActionSaveToExcelClick(); });
    file->addMenu(FMenuSave);
    file->addSeparator();
    FMenuExit = file->addAction("E&xit");
    FMenuExit->setObjectName("MenuExit");
    connect(FMenuExit, &QAction::triggered, this, &QWidget::close);

    FMenuSettings = menuBar()->addMenu("&Settings");
    FMenuSettings->setObjectName("MenuSettings");
    // The analysis can keep only trustees that can log in (users); the scan run reads this item.
    FMenuSettingsShowOnlyUsers = FMenuSettings->addAction("Show only &Users");
    FMenuSettingsShowOnlyUsers->setObjectName("MenuSettingsShowOnlyUsers");
    FMenuSettingsShowOnlyUsers->setCheckable(true);
    FMenuSettingsShowOnlyUsers->setToolTip("List only trustees that can log in");
    FMenuSettingsShowOnlyUsers->setStatusTip("List only trustees that can log in");
    FMenuSettings->addSeparator();
    FActionSettingsShowDetails = FMenuSettings->addAction("Show &Details");
    FActionSettingsShowDetails->setObjectName("ActionSettingsShowDetails");
    FActionSettingsShowDetails->setCheckable(true);
    FActionSettingsShowDetails->setToolTip("Show Detailed Rights Analysis");
    FActionSettingsShowDetails->setStatusTip("Show Detailed Rights Analysis");
    connect(FActionSettingsShowDetails, &QAction::triggered, this,
            [this] { ShowDetailsExecute(true); });
    FMenuSettings->addSeparator();
    QAction* proxy = FMenuSettings->addAction("Use &Proxy");
    proxy->setObjectName("MenuSettingsUseProxy");
    proxy->setEnabled(false);
    QAction* proxyEdit = FMenuSettings->addAction("Edit Proxy Settings ...");
    proxyEdit->setObjectName("MenuSettingsEditProxy");
    proxyEdit->setEnabled(false);

    FActionAbout = menuBar()->addAction("About ...");
    FActionAbout->setObjectName("ActionAbout");
    connect(FActionAbout, &QAction::triggered, this, [this] { ActionAboutExecute(); });
}

// --- Start-up and close -------------------------------------------------------------------------

void TMainForm::FormCreate() {
    FAttrColumns = false;
    switch (FVariantSelector) {
    case 0:
        FAttrColumns = true;
        break;
    case 1:
        FScanFileSystem = false;
        FScanEdir = true;
        break;
    case 2:
        FScanFileSystem = true;
        FScanEdir = false;
        FAttrColumns = true;
        break;
    default:
        break;
    }
    if (FScanFileSystem)
        FVariantName = "Trovalen.file";
    if (FScanEdir)
        FVariantName = "Trovalen.edir";

    FListsChanged = false;
    FPageControl->setCurrentWidget(FTabSheetInfo);

    FSettingsFile = U_IniOpen(true);
    FProgramSettingsFile = U_IniOpen(false);
    FCache = std::make_unique<TCache>();

    TStringList help;
    U_LoadMemoFromAppTxt(help);
    FMemo1->setPlainText(JoinLines(help));

    ActionSaveAsExecute();
    if (FAttrColumns)
        FAttributes = LoadAttributeSettings(FProgramSettingsFile.get(), FAttrColumns);

    FDebugMode = U_HasSwitch("DEBUG", 5);

    FPanelSettingsWdr->setVisible(FVariantSelector == 0);
    if (FVariantSelector == 0)
        FCheckBoxSettingsScanSubDirs->setChecked(true);
    FMenuSettings->menuAction()->setVisible(!FScanEdir);
    FPageControl->setTabVisible(FPageControl->indexOf(FTabSheetDebug), FDebugMode);
    FPageControl->setTabVisible(FPageControl->indexOf(FTabSheetSelectPath), FScanFileSystem);
    FPageControl->setTabVisible(FPageControl->indexOf(FTabSheetSelectEdir), FScanEdir);

    U_IniLoadActions(*FSettingsFile, kSettings,
                     {FActionSaveAs, FActionSaveAsTxt, FActionSaveAsClipboard, FActionSaveAsExcel,
                      FActionSettingsShowDetails, FMenuSettingsShowOnlyUsers, FActionAbout,
                      FMenuExit});
    U_IniLoadControls(*FSettingsFile, kSettings, FPanelSettingsConfig);
    U_IniLoadControls(*FSettingsFile, kSettings, FPanelSettingsResult);
    // The details switch cannot stay on while the details pane is empty.
    CheckBoxDebugClick();

    if (FScanFileSystem) {
        U_IniLoadCheckList(*FSettingsFile, kPathsSection, FCheckListBoxPaths);
        FConnHandle = NO_CONNECTION;
    }

    NWCCODE code = InitNetWare();
    if (code != 0) {
        U_ShowError(code, "InitNetWare");
    } else {
        if (FScanFileSystem)
            FillConnectionList();
        if (FScanEdir)
            TreeSetup();
    }
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
    if (FSettingsFile)
        U_IniLoadGeometry(*FSettingsFile, kSettings, this);
    FFormAbout->Fill(FVariantName, kProgramVersion, WebAddress());
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A close while a scan runs waits for the scan's end: the run still uses the window.
    if (FScanning) {
        FCloseAfterScan = true;
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
            if (FScanFileSystem)
                U_IniSaveCheckList(*FSettingsFile, kPathsSection, FCheckListBoxPaths);
            if (FScanEdir)
                U_IniSaveCheckList(*FSettingsFile, EdirListSection(FCurrentTree),
                                   FCheckListBoxEdir);
        }
        U_IniSaveControls(*FSettingsFile, kSettings, FPanelSettingsResult);
        U_IniSaveControls(*FSettingsFile, kSettings, FPanelSettingsConfig);
        U_IniWriteBool(*FSettingsFile, kSettings, "MenuSettingsShowOnlyUsers",
                       FMenuSettingsShowOnlyUsers->isChecked());
        U_IniSaveGeometry(*FSettingsFile, kSettings, this);
    } catch (...) {
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

// --- Count, details switch, save commands -------------------------------------------------------

void TMainForm::LabelSelectedUpd() {
    TCheckListBox* list = FScanEdir ? FCheckListBoxEdir : FCheckListBoxPaths;
    const char* word = FScanEdir ? "#Objects Selected" : "#Start Paths Selected";
    int n = list->CheckedCount();
    std::string text = U_Format("%s: %d", word, n);
    (FScanEdir ? FLabelObjSelected : FLabelDirSelected)->setText(Q(text));
    SetStatusText(0, text);
    // A running scan keeps its button disabled until it ends.
    if (!FScanning)
        FBitBtnScan->setEnabled(n > 0);
}

void TMainForm::GetMemo() {
    FCurrentMemo = FCheckBoxDebug->isChecked() ? FMemoDebug : FMemoStandard;
}

void TMainForm::CheckBoxDebugClick() {
    if (LineCount(FDetails) == 0)
        FCheckBoxDebug->setChecked(false);
    FActionSettingsShowDetails->setChecked(FCheckBoxDebug->isChecked());
    GetMemo();
    FMemoDebug->setVisible(FCheckBoxDebug->isChecked());
    FMemoStandard->setVisible(!FCheckBoxDebug->isChecked());
}

void TMainForm::ShowDetailsExecute(bool fromMenu) {
    if (fromMenu)
        FCheckBoxDebug->setChecked(FActionSettingsShowDetails->isChecked());
    CheckBoxDebugClick();
}

void TMainForm::ActionSaveAsExecute() {
    GetMemo();
    bool any = LineCount(FCurrentMemo == FMemoDebug ? FDetails : FSummary) > 0;
    FActionSaveAsTxt->setEnabled(any);
    FActionSaveAsClipboard->setEnabled(any);
    FActionSaveAsExcel->setEnabled(any);
}

void TMainForm::ExportCurrentPane(const std::string& target, const std::string& fileName) {
    const TStringList& lines = FCurrentMemo == FMemoDebug ? FDetails : FSummary;
    U_ExportStrings(lines, target, fileName);
}

void TMainForm::ActionSaveAsTxtClick() {
    std::string proposed = S(FCurrentMemo->objectName()).find("Debug") != std::string::npos
                               ? "Trustees_Details.txt"
                               : "Trustees.txt";
    std::optional<std::string> chosen = SaveFileDialog(proposed);
    if (!chosen)
        return;
    ExportCurrentPane("TXT", *chosen);
}

void TMainForm::ActionSaveToClipboardClick() {
    ExportCurrentPane("CLIPBOARD", std::string());
}

void TMainForm::ActionSaveToExcelClick() {
    ExportCurrentPane("EXCEL", std::string());
}

void TMainForm::ShowPaneMenu(QPlainTextEdit* pane, const QPoint& pos) {
    std::unique_ptr<QMenu> menu(pane->createStandardContextMenu(pos));
    menu->addSeparator();
    menu->addMenu(FMenuSave);
    menu->exec(pane->viewport()->mapToGlobal(pos));
}

void TMainForm::ShowLogMenu(const QPoint& pos) {
    QMenu menu(this);
    menu.addMenu(FMenuSave);
    menu.exec(FListBoxLog->viewport()->mapToGlobal(pos));
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

void TMainForm::ActionAboutExecute() {
    FFormAbout->Fill(FVariantName, kProgramVersion, WebAddress());
    FFormAbout->adjustSize();
    FFormAbout->move(geometry().center() - FFormAbout->rect().center());
    FFormAbout->exec();
}

// --- Scan ---------------------------------------------------------------------------------------

void TMainForm::SetPanes(const TStringList& summary, const TStringList& details) {
    FSummary = summary;
    FDetails = details;
    FMemoStandard->setPlainText(JoinLines(FSummary));
    FMemoDebug->setPlainText(JoinLines(FDetails));
}

void TMainForm::AddLogLine(const std::string& text) {
    if (!FDebugMode)
        return;
    FListBoxLog->addItem(Q(text));
    FListBoxLog->scrollToBottom();
}

void TMainForm::SetSelectionEnabled(bool enabled) {
    FTabSheetSettings->setEnabled(enabled);
    FTabSheetSelectPath->setEnabled(enabled);
    FTabSheetSelectEdir->setEnabled(enabled);
    FPanelSettingsResult->setEnabled(enabled);
    FMenuSave->setEnabled(enabled);
}

void TMainForm::BitBtnScanClick() {
    DoTheJob();
    SetStatusText(1, std::string());
}

void TMainForm::DoTheJob() {
    if (FScanning)
        return;
    TScanRequest request;
    request.Edir = FScanEdir;
    TCheckListBox* list = FScanEdir ? FCheckListBoxEdir : FCheckListBoxPaths;
    for (const auto& text : list->CheckedTexts())
        request.Entries.Add(text);
    request.ResolveContainers = FCheckBoxSettingsResolveContainers->isChecked();
    request.OnlyUsers = FMenuSettingsShowOnlyUsers->isChecked();
    request.ScanSubDirs = FCheckBoxSettingsScanSubDirs->isChecked();
    request.FilterExcl = S(FEditFilterExcl->text());
    request.FilterIncl = S(FEditFilterIncl->text());
    request.VariantName = FVariantName;
    request.DebugMode = FDebugMode;
    request.ShowDetails = FActionSettingsShowDetails->isChecked();
    request.ConnHandle = FConnHandle;
    request.ScanContext = FScanContext;
    request.UserContext = FUserContext;
    request.BrowseContext = FBrowseContext;
    request.CurrentTree = FCurrentTree;
    request.AttrColumns = FAttrColumns;
    request.Attributes = FAttrColumns ? &FAttributes : nullptr;
    request.Cache = FCache.get();

    // The panes are emptied when the run starts; the selection and the settings stay as they
    // are until it ends.
    SetPanes(TStringList(), TStringList());
    FScanning = true;
    SetSelectionEnabled(false);
    TScanResult result;
    THost host(*this);
    try {
        TScanRun(request, host).Run(result);
    } catch (const std::exception& e) {
        result.Summary.Add(U_Format("Error while scanning: %s", e.what()));
        FBitBtnScan->setEnabled(true);
    }
    FScanning = false;
    SetSelectionEnabled(true);
    SetPanes(result.Summary, result.Details);
    CheckBoxDebugClick();
    ActionSaveAsExecute();
    if (FCloseAfterScan)
        close();
}

// --- Start-path page ----------------------------------------------------------------------------

void TMainForm::FillConnectionList() {
    if (!FScanFileSystem)
        return;
    TNWClient* client = NWClient();
    FLastCode = client ? client->NewContext(FScanContext) : ERR_CLIENT_NOT_STARTED;
    if (FLastCode != 0)
        return;
    U_DSSetContextFlags(FScanContext, '+', DCV_TYPELESS_NAMES);
    FRadioGroupServers->Clear();
    TStringList servers;
    U_ListServers(servers);
    for (const auto& s : servers)
        FRadioGroupServers->Add(s.Text, s.Value);
    if (FRadioGroupServers->ItemIndex() < 0 && FRadioGroupServers->Count() > 0)
        FRadioGroupServers->Click(0);
}

void TMainForm::RadioGroupServersClick() {
    if (!FScanFileSystem)
        return;
    int index = FRadioGroupServers->ItemIndex();
    if (index < 0)
        return;
    TNWClient* client = NWClient();
    if (FConnHandle != NO_CONNECTION && client)
        client->CloseConn(FConnHandle);
    FConnHandle = NO_CONNECTION;
    FConnRef = FRadioGroupServers->Value(index);
    FServerName = FRadioGroupServers->Text(index);
    NWHandle handle = NO_CONNECTION;
    FLastCode = client ? client->OpenConnByRef(FConnRef, 1, 0, handle) : ERR_CLIENT_NOT_STARTED;
    if (FLastCode == 0)
        FConnHandle = handle;
    else
        U_ShowError(FLastCode, "NWCCOpenConnByRef");
    FDirPath.clear();
    ShellTreeViewSetRoot("\\\\" + FServerName + "\\");
}

void TMainForm::ShellTreeViewSetRoot(const std::string& root) {
    int cursor = U_BeginBusy();
    FConnUserName = U_GetConnUserName(FConnHandle);
    bool enabled = FConnUserName != kNotAuthenticated;
    FShellTreeViewFiles->setEnabled(enabled);
    if (enabled)
        FShellTreeViewFiles->SetRoot(root);
    U_EndBusy(cursor);
}

void TMainForm::ShellTreeViewFilesClick() {
    if (!FScanFileSystem || !FShellTreeViewFiles->isEnabled())
        return;
    std::string path = FShellTreeViewFiles->SelectedPath();
    if (path.empty())
        return;
    FDirPath.clear();
    FVolumeName.clear();
    FSelectedPath = U_ConvertPath(path, 0);
    SetStatusText(1, FSelectedPath);
    TNWPath nwPath;
    nwPath.ConnHandle = FConnHandle;
    if (U_PathToNWPath(FSelectedPath, nwPath) == 0) {
        FConnHandle = nwPath.ConnHandle;
        FServerName = nwPath.Server;
        FVolumeName = nwPath.Volume;
        FDirPath = nwPath.DirPath;
    }
    SetPanes(TStringList(), TStringList());
    CheckBoxDebugClick();
}

void TMainForm::ShellTreeViewFilesDblClick() {
    if (!FScanFileSystem)
        return;
    std::string path = FShellTreeViewFiles->SelectedPath();
    if (path.empty())
        return;
    FListsChanged = true;
    int index = FCheckListBoxPaths->IndexOf(path);
    if (index < 0)
        index = FCheckListBoxPaths->Add(path);
    FCheckListBoxPaths->setCurrentRow(index);
    FCheckListBoxPaths->SetChecked(index, true);
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

std::string TMainForm::EdirListSection(const std::string& tree) const {
    return U_Format("%s - %s", "CheckListBoxEdir", tree.c_str());
}

void TMainForm::TreeSetup() {
    if (!FScanEdir)
        return;
    TNWClient* client = NWClient();
    if (!client)
        return;
    client->NewContext(FBrowseContext);
    client->NewContext(FUserContext);
    try {
        TStringList trees;
        U_ListTrees(trees);
        FComboBoxTrees->clear();
        for (const auto& t : trees)
            if (FComboBoxTrees->findText(Q(t.Text), Qt::MatchFixedString) < 0)
                FComboBoxTrees->addItem(Q(t.Text));
        if (FComboBoxTrees->count() > 0) {
            int index = FComboBoxTrees->findText(Q(U_GetPrimaryTree()), Qt::MatchFixedString);
            FComboBoxTrees->setCurrentIndex(index >= 0 ? index : 0);
            ChangeTree();
        }
    } catch (...) {
    }
}

void TMainForm::ChangeTree() {
    if (!FScanEdir)
        return;
    if (!FCurrentTree.empty()) {
        U_IniWriteStr(*FSettingsFile, kContextSection, FCurrentTree, FCurrentContext);
        U_IniSaveCheckList(*FSettingsFile, EdirListSection(FCurrentTree), FCheckListBoxEdir);
    }
    std::string tree = S(FComboBoxTrees->currentText());
    if (tree.empty())
        return;
    FCurrentTree = tree;
    U_DSChangeCurrentTree(FBrowseContext, FCurrentTree, 0);
    NWCCODE code = U_DSChangeCurrentTree(FUserContext, FCurrentTree, 0);
    FLastCode = code;
    FCurrentContext = U_IniReadText(*FSettingsFile, kContextSection, FCurrentTree, "[Root]");
    U_DSChangeCurrentContext(FBrowseContext, FCurrentContext);
    U_DSChangeCurrentContext(FUserContext, "[Root]");
    if (code != 0)
        U_ShowError(code, "DSChangeCurrentTree");
    U_DSSetContextFlags(FBrowseContext, '+', DCV_TYPELESS_NAMES);
    U_DSSetContextFlags(FUserContext, '+', DCV_TYPELESS_NAMES);
    FEditMyName->setText(Q(U_DSCurrentUser(FUserContext)));
    GetContainerInfo();
    U_IniLoadCheckList(*FSettingsFile, EdirListSection(FCurrentTree), FCheckListBoxEdir);
}

void TMainForm::GetContainerInfo() {
    int cursor = U_BeginBusy();
    std::string current = U_DSDotName(U_DSGetNameContext(FBrowseContext));
    FEditCurrentContainer->setText(Q(current));
    FListBoxEdirContainers->clear();
    FListBoxEdirObjects->clear();
    TStringList containers, objects;
    FLastCode =
        U_DSListContainer(FBrowseContext, current, &containers, true, std::string(), &objects);
    containers.Sort();
    if (current != "[Root]")
        containers.Insert(0, kUpEntry);
    else
        objects.Insert(0, kRootEntry, kRootPrefix);
    for (const auto& c : containers)
        FListBoxEdirContainers->addItem(Q(c.Text));
    for (const auto& o : objects) {
        auto* item = new QListWidgetItem(Q(o.Text), FListBoxEdirObjects);
        item->setData(kPrefixRole, static_cast<int>(o.Value));
    }
    FCurrentContext = U_DSDotName(U_DSGetNameContext(FBrowseContext));
    U_EndBusy(cursor);
}

void TMainForm::ListBoxEdirContainersDblClick() {
    if (!FScanEdir)
        return;
    QListWidgetItem* item = FListBoxEdirContainers->currentItem();
    if (!item)
        return;
    std::string target = U_DSCombineName(S(FEditCurrentContainer->text()), S(item->text()));
    U_DSChangeCurrentContext(FBrowseContext, target);
    GetContainerInfo();
}

void TMainForm::ListBoxEdirObjectsDblClick() {
    if (!FScanEdir)
        return;
    QListWidgetItem* item = FListBoxEdirObjects->currentItem();
    if (!item)
        return;
    FListsChanged = true;
    std::string text = S(item->text());
    size_t prefix = static_cast<size_t>(item->data(kPrefixRole).toInt());
    std::string name = prefix < text.size() ? text.substr(prefix) : std::string();
    std::string full;
    FLastCode = U_DSGetDN(FBrowseContext, name, full);
    // A name that cannot be resolved adds no nameless entry.
    if (full.empty()) {
        U_ShowError(FLastCode != 0 ? FLastCode : ERR_NOT_FOUND, "DSGetDN");
        return;
    }
    int index = FCheckListBoxEdir->IndexOf(full);
    if (index < 0)
        index = FCheckListBoxEdir->Add(full);
    FCheckListBoxEdir->setCurrentRow(index);
    FCheckListBoxEdir->SetChecked(index, true);
    LabelSelectedUpd();
}

} // namespace trovalen
