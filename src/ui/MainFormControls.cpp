// The window's controls: the pages, menus and commands come from the Designer form (MainForm.ui,
// with their captions, object names (the keys of the control-state persistence), order and
// access keys); here the status bar's panels, the table view, what a form cannot say (fonts,
// icons, hints, splitter stretches, standard shortcuts) and the signals wired to the operations.
#include "ui/MainForm.h"

#include <QAction>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>

#include "backend/Backends.h"
#include "ui/CompareCommand.h"
#include "ui/FolderTree.h"
#include "ui/MainConnect.h"
#include "ui/ReachCommand.h"
#include "ui/ResultTableView.h"
#include "ui/SaveCommands.h"
#include "ui/ScanBanner.h"
#include "ui/Widgets.h"
#include "ui_MainForm.h"

namespace trovalen {

namespace {

// A result pane shows the report's lines in a fixed font.
void SetUpResultPane(QPlainTextEdit* pane) {
    pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The report separates its columns with tabs: stops every eight characters, until a result
    // sets them from the widest field of each of its columns.
    pane->setTabStopDistance(8 * QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char(' ')));
}

} // namespace

void TMainForm::CreateControls() {
    FUi = std::make_unique<Ui::MainForm>();
    FUi->setupUi(this);
    connect(FUi->PageControl1, &QTabWidget::currentChanged, this, [this] { LabelSelectedUpd(); });

    // The status bar's two panels, and where the data comes from, always in sight at the right;
    // a click on the bar or a panel opens the program's help.
    QStatusBar* bar = FUi->StatusBar1;
    FStatusPanel0 = new QLabel(bar);
    FStatusPanel0->setObjectName("StatusPanel0");
    FStatusPanel0->setFixedWidth(250);
    FStatusPanel1 = new QLabel(bar);
    FStatusPanel1->setObjectName("StatusPanel1");
    FStatusPanel1->setMinimumWidth(50);
    bar->addWidget(FStatusPanel0, 0);
    bar->addWidget(FStatusPanel1, 1);
    FStatusSource = new QLabel(bar);
    FStatusSource->setObjectName("StatusSource");
    FStatusSource->setVisible(false);
    bar->addPermanentWidget(FStatusSource, 0);
    bar->setCursor(Qt::PointingHandCursor);
    for (QWidget* w : {static_cast<QWidget*>(bar), static_cast<QWidget*>(FStatusPanel0),
                       static_cast<QWidget*>(FStatusPanel1)})
        w->installEventFilter(this);

    // Info page
    QLabel* title = FUi->LabelTitle;
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    title->setFont(font);
    title->setContentsMargins(8, 8, 8, 8);
    title->setBackgroundRole(QPalette::AlternateBase);

    // Settings page: the filters' panel keeps the margins the style gives a layout.
    FUi->LayoutSettingsConfig->unsetContentsMargins();
    for (QLineEdit* edit : {FUi->EditFilterExcl, FUi->EditFilterIncl})
        connect(edit, &QLineEdit::textChanged, this, [this] { ActiveFiltersUpd(); });
    // Only a walk of every level below can compare an entry with the one above it.
    connect(FUi->CheckBoxSettingsRecursive, &QCheckBox::toggled, FUi->CheckBoxSettingsChangesOnly,
            &QWidget::setEnabled);

    SetUpSelectionPages();
    SetUpActionPage();
    CreateMenus();
}

// Both selection pages end in a check list of the entries to scan: the same keys and clicks.
void TMainForm::WireCheckList(TCheckListBox* box) {
    connect(box, &TListBox::DeletePressed, this, [this, box] { CheckListBoxDblClick(box); });
    connect(box, &TCheckListBox::CheckToggled, this, [this] { CheckListBoxClick(); });
    connect(box, &QListWidget::itemClicked, this, [this] { CheckListBoxClick(); });
    connect(box, &QListWidget::itemDoubleClicked, this, [this, box] { CheckListBoxDblClick(box); });
}

void TMainForm::SetUpSelectionPages() {
    // eDirectory page
    FUi->ListBoxEdirContainers->SetHint(kHintNoContainers);
    FUi->ListBoxEdirObjects->SetHint(kHintNoObjects);
    FUi->CheckListBoxEdir->SetHint(
        "Add an object to scan: double-click it above, or select it and press Enter");
    FUi->SplitterEdirObjects->setStretchFactor(0, 3);
    FUi->SplitterEdirObjects->setStretchFactor(1, 2);
    FUi->SplitterEdirContainers->setStretchFactor(0, 2);
    FUi->SplitterEdirContainers->setStretchFactor(1, 3);
    FUi->SplitterEdirTop->setStretchFactor(1, 1);
    FUi->SplitterEdirTop->setCollapsible(0, false);
    connect(FUi->ComboBoxTrees, &QComboBox::activated, this, [this] { ChangeTree(); });
    TListBox* containers = FUi->ListBoxEdirContainers;
    TListBox* objects = FUi->ListBoxEdirObjects;
    connect(containers, &QListWidget::itemDoubleClicked, this,
            [this] { ListBoxEdirContainersDblClick(); });
    connect(objects, &QListWidget::itemDoubleClicked, this,
            [this] { ListBoxEdirObjectsDblClick(); });
    // The keyboard does what the double click does: Enter opens a container or adds an object.
    connect(containers, &TListBox::EnterPressed, this, [this] { ListBoxEdirContainersDblClick(); });
    connect(objects, &TListBox::EnterPressed, this, [this] { ListBoxEdirObjectsDblClick(); });
    WireCheckList(FUi->CheckListBoxEdir);

    // Start-path page
    FUi->ShellTreeViewFiles->SetHint(kHintNoServer);
    FUi->CheckListBoxPaths->SetHint(
        "Add a start path: double-click a folder above, or select it and press Enter");
    FUi->SplitterPaths->setStretchFactor(0, 3);
    FUi->SplitterPaths->setStretchFactor(1, 2);
    FUi->SplitterServers->setStretchFactor(1, 1);
    FUi->SplitterServers->setSizes({180, 700});
    TFolderTree* folders = FUi->ShellTreeViewFiles;
    connect(FUi->RadioGroupServers, &TRadioGroup::Clicked, this,
            [this] { RadioGroupServersClick(); });
    connect(folders, &QTreeView::clicked, this, [this] { ShellTreeViewFilesClick(); });
    connect(folders, &QTreeView::doubleClicked, this, [this] { ShellTreeViewFilesDblClick(); });
    // Enter adds the selected folder, Delete removes the selected start path, and moving
    // through the folders with the arrow keys shows each as a click does.
    connect(folders, &TFolderTree::EnterPressed, this, [this] { ShellTreeViewFilesDblClick(); });
    connect(folders, &TFolderTree::CurrentFolderChanged, this,
            [this] { ShellTreeViewFilesClick(); });
    WireCheckList(FUi->CheckListBoxPaths);
}

void TMainForm::SetUpActionPage() {
    FUi->BitBtnScan->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    for (QPlainTextEdit* pane : {FUi->MemoStandard, FUi->MemoDebug}) {
        SetUpResultPane(pane);
        connect(pane, &QWidget::customContextMenuRequested, this, [this, pane](const QPoint& pos) {
            FSave->ShowMenu(pane->viewport(), pos, pane->createStandardContextMenu(pos));
        });
    }
    FUi->MemoDebug->hide();
    // The cancel button sits beside the panel, which is disabled while a scan runs.
    FUi->BitBtnCancel->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    FUi->BitBtnCancel->setVisible(false);
    // The filters the next scan applies, shown above the panes (the report keeps its format).
    FUi->LabelActiveFilters->setContentsMargins(6, 2, 6, 4);
    FUi->LabelActiveFilters->setVisible(false);

    // The summary as a table, shown in the summary pane's place when switched on; the save
    // commands still write the summary's lines.
    FPanes = std::make_unique<TResultPanes>(FUi->MemoStandard, FUi->MemoDebug);
    FTableView = new TResultTableView(FPanes->Table(), FUi->TabSheetAction);
    FPanes->SetTableView(FTableView);
    FTableView->hide();
    QTableView* rows = FTableView->View();
    rows->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(rows, &QWidget::customContextMenuRequested, this, [this, rows](const QPoint& pos) {
        auto* menu = new QMenu(this);
        FTableView->AddActionsTo(*menu);
        FSave->ShowMenu(rows->viewport(), pos, menu);
    });
    FUi->LayoutAction->addWidget(FTableView, 1);
    // The tab order of the page: the strip, the panes, the cancel button (the form puts it
    // after the panes), the banner's link and the table; then the Troubleshooting page.
    QWidget::setTabOrder(FUi->BitBtnCancel, FUi->ScanBanner->Label());
    QWidget* lastOfTable = FTableView;
    for (QWidget* w = FTableView->nextInFocusChain(); FTableView->isAncestorOf(w);
         w = w->nextInFocusChain())
        if (w->focusPolicy() != Qt::NoFocus)
            lastOfTable = w;
    QWidget::setTabOrder(lastOfTable, FUi->ListBoxLog);
    connect(FTableView, &TResultTableView::StatusText, this,
            [this](const QString& text) { SetStatusText(1, S(text)); });

    connect(FUi->BitBtnScan, &QPushButton::clicked, this, [this] { BitBtnScanClick(); });
    connect(FUi->BitBtnCancel, &QPushButton::clicked, this, [this] { CancelScan(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { CancelScan(); });
    connect(FUi->CheckBoxDebug, &QCheckBox::clicked, this, [this] { ShowDetailsExecute(false); });
    connect(FUi->CheckBoxTableView, &QCheckBox::toggled, this, [this] { ShowResultPane(); });

    // Troubleshooting page
    FUi->ListBoxLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(FUi->ListBoxLog, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { FSave->ShowMenu(FUi->ListBoxLog->viewport(), pos); });
}

void TMainForm::CreateMenus() {
    FSave = std::make_unique<TSaveCommands>(this, *FUi, *FPanes);
    // The connect command exists where this build reads a live directory.
    if (U_HaveLiveDirectory())
        FConnect = new TConnectCommand(*this, FUi->MenuFile);
    FCompare = new TCompareCommand(*this);
    connect(FUi->ActionCompare, &QAction::triggered, FCompare, [this] { FCompare->Execute(); });
    new TReachCommand(*this, *FUi, FVariant.ScanEdir);
    connect(FUi->MenuExit, &QAction::triggered, this, &QWidget::close);
    // The analysis can keep only trustees that can log in (users); the scan run reads this item.
    connect(FUi->MenuSettingsShowOnlyUsers, &QAction::toggled, this,
            [this] { ActiveFiltersUpd(); });
    connect(FUi->ActionSettingsShowDetails, &QAction::triggered, this,
            [this] { ShowDetailsExecute(true); });
    FUi->ActionHelp->setShortcut(QKeySequence::HelpContents);
    connect(FUi->ActionHelp, &QAction::triggered, this, [this] { ShowHelpText(); });
    connect(FUi->ActionAbout, &QAction::triggered, this, [this] { ActionAboutExecute(); });
}

} // namespace trovalen
