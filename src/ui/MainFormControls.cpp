// The window's controls: the pages, the menus and the status bar, with their captions, object
// names (the keys of the control-state persistence) and the signals wired to the operations.
#include "ui/MainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "backend/Backends.h"
#include "ui/FolderTree.h"
#include "ui/ResultTableView.h"
#include "ui/Widgets.h"
#include <QTableView>

namespace trovalen {

namespace {

QLabel* BuddyLabel(const char* caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

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
    FPageControl->addTab(FTabSheetAction, "Scan f&or Trustees");
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
    // Where the data comes from, always in sight at the right.
    FStatusSource = new QLabel(bar);
    FStatusSource->setObjectName("StatusSource");
    FStatusSource->setVisible(false);
    bar->addPermanentWidget(FStatusSource, 0);
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
    for (QLineEdit* edit : {FEditFilterExcl, FEditFilterIncl})
        connect(edit, &QLineEdit::textChanged, this, [this] { ActiveFiltersUpd(); });
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
    auto* userLabel = BuddyLabel("User", FEditMyName, top);
    userLabel->setObjectName("LabelMyName");
    auto* containerLabel = BuddyLabel("Container", FEditCurrentContainer, top);
    containerLabel->setObjectName("LabelCurrentContainer");
    grid->addWidget(userLabel, 0, 2);
    grid->addWidget(FEditMyName, 0, 3);
    grid->addWidget(containerLabel, 1, 0);
    grid->addWidget(FEditCurrentContainer, 1, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);

    FListBoxEdirContainers = new TListBox(page);
    FListBoxEdirContainers->setObjectName("ListBoxEdirContainers");
    FListBoxEdirContainers->setToolTip(
        "Browse to the container that contains the objects that you would like to check "
        "(double-click to navigate)");
    FListBoxEdirObjects = new TListBox(page);
    FListBoxEdirObjects->setObjectName("ListBoxEdirObjects");
    FListBoxEdirObjects->setToolTip("You may add one or multiple objects that are to be scanned");
    FListBoxEdirContainers->SetHint(kHintNoContainers);
    FListBoxEdirObjects->SetHint(kHintNoObjects);
    FLabelObjSelected = new QLabel("#Objects Selected: 0", page);
    FLabelObjSelected->setObjectName("LabelObjSelected");
    FCheckListBoxEdir = new TCheckListBox(page);
    FCheckListBoxEdir->setObjectName("CheckListBoxEdir");
    FCheckListBoxEdir->setToolTip("The checkbox indicates, if the path is included during the "
                                  "next scan. Double-click to remove an item");
    FCheckListBoxEdir->SetHint(
        "Add an object to scan: double-click it above, or select it and press Enter");

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
    // The keyboard does what the double click does: Enter opens a container or adds an object.
    connect(FListBoxEdirContainers, &TListBox::EnterPressed, this,
            [this] { ListBoxEdirContainersDblClick(); });
    connect(FListBoxEdirObjects, &TListBox::EnterPressed, this,
            [this] { ListBoxEdirObjectsDblClick(); });
    connect(FCheckListBoxEdir, &TListBox::DeletePressed, this,
            [this] { CheckListBoxDblClick(FCheckListBoxEdir); });
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
    FShellTreeViewFiles->SetHint(kHintNoServer);
    FLabelDirSelected = new QLabel("#Start Paths Selected: 0", page);
    FLabelDirSelected->setObjectName("LabelDirSelected");
    FCheckListBoxPaths = new TCheckListBox(page);
    FCheckListBoxPaths->setObjectName("CheckListBoxPaths");
    FCheckListBoxPaths->setToolTip("Double-click to remove from list of start directories (to "
                                   "temporarily ignore item, uncheck checkbox)");
    FCheckListBoxPaths->SetHint(
        "Add a start path: double-click a folder above, or select it and press Enter");

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
    // Enter adds the selected folder, Delete removes the selected start path, and moving
    // through the folders with the arrow keys shows each as a click does.
    connect(FShellTreeViewFiles, &TFolderTree::EnterPressed, this,
            [this] { ShellTreeViewFilesDblClick(); });
    connect(FShellTreeViewFiles, &TFolderTree::CurrentFolderChanged, this,
            [this] { ShellTreeViewFilesClick(); });
    connect(FCheckListBoxPaths, &TListBox::DeletePressed, this,
            [this] { CheckListBoxDblClick(FCheckListBoxPaths); });
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
    // The report separates its columns with tabs: stops every eight characters, until a result
    // sets them from the widest field of each of its columns.
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
    FBitBtnScan = new QPushButton("Sc&an for Effective Trustees", FPanelSettingsResult);
    FBitBtnScan->setObjectName("BitBtnScan");
    FBitBtnScan->setToolTip("Scan Dirs for Trustees");
    FBitBtnScan->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    FBitBtnScan->setEnabled(false);
    FCheckBoxDebug = new QCheckBox("Show &Details", FPanelSettingsResult);
    FCheckBoxDebug->setObjectName("CheckBoxDebug");
    FCheckBoxDebug->setToolTip("Show Detailed Rights Analysis");
    FCheckBoxTableView = new QCheckBox("Table &View", FPanelSettingsResult);
    FCheckBoxTableView->setObjectName("CheckBoxTableView");
    FCheckBoxTableView->setToolTip(
        "Show the summary as a table that can be sorted and filtered, with each trustee's reasons");
    auto* strip = new QHBoxLayout(FPanelSettingsResult);
    strip->setContentsMargins(6, 6, 6, 6);
    strip->addWidget(FBitBtnScan);
    strip->addSpacing(16);
    strip->addWidget(FCheckBoxDebug);
    strip->addSpacing(16);
    strip->addWidget(FCheckBoxTableView);
    strip->addStretch(1);

    FMemoStandard = CreateResultPane("MemoStandard");
    FMemoDebug = CreateResultPane("MemoDebug");
    FMemoStandard->setParent(page);
    FMemoDebug->setParent(page);
    FMemoDebug->hide();
    FMemoStandard->setPlaceholderText(
        "Check the entries to scan, then press \"Scan for Effective Trustees\"");
    FMemoDebug->setPlaceholderText("The detailed analysis of each entry appears here");
    FCurrentMemo = FMemoStandard;

    // The cancel button sits beside the panel, which is disabled while a scan runs.
    FBitBtnCancel = new QPushButton("Cancel", page);
    FBitBtnCancel->setObjectName("BitBtnCancel");
    FBitBtnCancel->setToolTip("Stop the scan after the entry being analysed (Esc)");
    FBitBtnCancel->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    FBitBtnCancel->setVisible(false);
    auto* top = new QHBoxLayout();
    top->setContentsMargins(0, 0, 6, 0);
    top->addWidget(FPanelSettingsResult, 1);
    top->addWidget(FBitBtnCancel);

    // The filters the next scan applies, shown above the panes (the report keeps its format).
    FLabelActiveFilters = new QLabel(page);
    FLabelActiveFilters->setObjectName("LabelActiveFilters");
    FLabelActiveFilters->setContentsMargins(6, 2, 6, 4);
    FLabelActiveFilters->setVisible(false);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(FLabelActiveFilters);
    layout->addWidget(CreateScanBanner(page));
    layout->addWidget(FMemoStandard, 1);
    layout->addWidget(FMemoDebug, 1);
    // The summary as a table, shown in the summary pane's place when switched on; the save
    // commands still write the summary's lines.
    FTableView = new TResultTableView(FResultTable, page);
    FTableView->hide();
    FTableView->View()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FTableView->View(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowTableMenu(pos); });
    layout->addWidget(FTableView, 1);
    connect(FTableView, &TResultTableView::StatusText, this,
            [this](const QString& text) { SetStatusText(1, S(text)); });

    connect(FBitBtnScan, &QPushButton::clicked, this, [this] { BitBtnScanClick(); });
    connect(FBitBtnCancel, &QPushButton::clicked, this, [this] { CancelScan(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { CancelScan(); });
    connect(FCheckBoxDebug, &QCheckBox::clicked, this, [this] { ShowDetailsExecute(false); });
    connect(FCheckBoxTableView, &QCheckBox::toggled, this, [this] { ShowResultPane(); });
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
    QMenu* file = menuBar()->addMenu("&File");
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
    if (U_HaveLiveDirectory())
        CreateConnectAction(file);
    FActionCompare = file->addAction("Co&mpare with saved result...");
    FActionCompare->setObjectName("ActionCompare");
    FActionCompare->setStatusTip(
        "List what changed since a saved JSON result: trustees added, removed and changed");
    connect(FActionCompare, &QAction::triggered, this, [this] { ActionCompareExecute(); });
    file->addMenu(FMenuSave);
    file->addSeparator();
    FMenuExit = file->addAction("E&xit");
    FMenuExit->setObjectName("MenuExit");
    connect(FMenuExit, &QAction::triggered, this, &QWidget::close);

    FMenuSettings = menuBar()->addMenu("Settin&gs");
    FMenuSettings->setObjectName("MenuSettings");
    // The analysis can keep only trustees that can log in (users); the scan run reads this item.
    FMenuSettingsShowOnlyUsers = FMenuSettings->addAction("Show only &Users");
    FMenuSettingsShowOnlyUsers->setObjectName("MenuSettingsShowOnlyUsers");
    FMenuSettingsShowOnlyUsers->setCheckable(true);
    FMenuSettingsShowOnlyUsers->setToolTip("List only trustees that can log in");
    FMenuSettingsShowOnlyUsers->setStatusTip("List only trustees that can log in");
    connect(FMenuSettingsShowOnlyUsers, &QAction::toggled, this, [this] { ActiveFiltersUpd(); });
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

    CreateHelpMenu();
    FActionAbout = menuBar()->addAction("A&bout ...");
    FActionAbout->setObjectName("ActionAbout");
    connect(FActionAbout, &QAction::triggered, this, [this] { ActionAboutExecute(); });
}

} // namespace trovalen
