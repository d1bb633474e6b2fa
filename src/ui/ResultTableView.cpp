#include "ui/ResultTableView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "ui/SaveDialog.h"
#include "ui/Widgets.h"
#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

namespace trovalen {

namespace {
// The reasons pane starts this many lines high; the splitter lets the user change it.
constexpr int kReasonsLines = 6;
constexpr int kTableStretch = 4;
// Column widths follow the contents of this many rows at most, so long results stay fast.
constexpr int kSampleRows = 300;
// No column is fitted narrower than this many characters; a keyboard step is this many.
constexpr int kMinColumnChars = 6;
constexpr int kStepChars = 4;
// The colour of a row whose entry is not whole: a light amber that keeps dark text readable.
const QColor kIncompleteBackground(255, 228, 160);

// What a letter of the rights filter stands for.
const char* LetterMeaning(char letter, bool edir) {
    if (!edir) {
        switch (letter) {
        case 'R':
            return "Read";
        case 'W':
            return "Write";
        case 'C':
            return "Create";
        case 'E':
            return "Erase";
        case 'A':
            return "Access Control";
        case 'F':
            return "File Scan";
        case 'M':
            return "Modify";
        case 'S':
            return "Supervisor";
        default:
            return "";
        }
    }
    switch (letter) {
    case 'B':
        return "Browse (entry)";
    case 'C':
        return "Create (entry) or Compare (attribute)";
    case 'D':
        return "Delete (entry)";
    case 'R':
        return "Rename (entry) or Read (attribute)";
    case 'W':
        return "Write (attribute)";
    case 'S':
        return "Add or delete self (attribute)";
    case 'A':
        return "Supervisor (entry or attribute)";
    case 'I':
        return "Inheritable: the rights flow to objects below";
    default:
        return "";
    }
}
} // namespace

// --- The model over the table -------------------------------------------------------------------

TResultTableModel::TResultTableModel(const TResultTable& table, QObject* parent)
    : QAbstractTableModel(parent), FTable(table) {}

int TResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rcColumnCount;
}

QVariant TResultTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FRows || index.row() >= FTable.Count() ||
        index.column() >= rcColumnCount)
        return {};
    const TResultRow& row = FTable.Row(index.row());
    const auto column = static_cast<TResultColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return Q(row.Column(column));
    case Qt::ToolTipRole: {
        std::string tip = row.Column(column);
        if (!row.Problem.empty() && column != rcIncomplete)
            tip += (tip.empty() ? "" : "\n") + std::string("Entry ") + row.Problem;
        return tip.empty() ? QVariant() : QVariant(Q(tip));
    }
    case Qt::BackgroundRole:
        return row.Problem.empty() ? QVariant() : QVariant(kIncompleteBackground);
    case Qt::ForegroundRole:
        return row.Problem.empty() ? QVariant() : QVariant(QColor(Qt::black));
    case Qt::DecorationRole:
        if (row.Problem.empty() || column != rcEntry)
            return {};
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    default:
        return {};
    }
}

QVariant TResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= rcColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString(TResultTable::Title(static_cast<TResultColumn>(section)));
}

void TResultTableModel::Reset() {
    beginResetModel();
    FRows = FTable.Count();
    endResetModel();
}

void TResultTableModel::RowsAdded() {
    if (FTable.Count() < FRows) {
        Reset();
    } else if (FTable.Count() > FRows) {
        beginInsertRows(QModelIndex(), FRows, FTable.Count() - 1);
        FRows = FTable.Count();
        endInsertRows();
    }
}

void TResultTableModel::RowsChanged() {
    RowsAdded();
    if (FRows > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, rcColumnCount - 1));
}

// --- Filter and order ---------------------------------------------------------------------------

TResultFilterModel::TResultFilterModel(const TResultTable& table, QObject* parent)
    : QSortFilterProxyModel(parent), FTable(table) {
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void TResultFilterModel::SetFilterText(const std::string& text) {
    FFilter = text;
    invalidateFilter();
}

void TResultFilterModel::SetRightsLetters(const std::string& letters) {
    FLetters = letters;
    invalidateFilter();
}

bool TResultFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid() || sourceRow < 0 || sourceRow >= FTable.Count())
        return false;
    return TResultTable::Matches(FTable.Row(sourceRow), FFilter, FLetters);
}

bool TResultFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.column() == rcRights && left.row() < FTable.Count() && right.row() < FTable.Count()) {
        int c = TResultTable::CompareRights(FTable.Row(left.row()).Rights,
                                            FTable.Row(right.row()).Rights, FTable.Edir());
        // Equal rights keep the summary's order.
        return c != 0 ? c < 0 : left.row() < right.row();
    }
    return QSortFilterProxyModel::lessThan(left, right);
}

// --- The view -----------------------------------------------------------------------------------

TResultTableView::TResultTableView(const TResultTable& table, QWidget* parent)
    : QWidget(parent), FTable(table) {
    setObjectName("PanelTableView");
    FModel = new TResultTableModel(table, this);
    FProxy = new TResultFilterModel(table, this);
    FProxy->setSourceModel(FModel);

    FFilterEdit = new QLineEdit(this);
    FFilterEdit->setObjectName("EditTableFilter");
    FFilterEdit->setPlaceholderText("Text to look for in any column");
    FFilterEdit->setClearButtonEnabled(true);
    auto* label = new QLabel("Fi&lter:", this);
    label->setObjectName("LabelTableFilter");
    label->setBuddy(FFilterEdit);
    connect(FFilterEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { FProxy->SetFilterText(S(text)); });

    FRightsPanel = new QWidget(this);
    FRightsPanel->setObjectName("PanelRightsFilter");
    FRightsLayout = new QHBoxLayout(FRightsPanel);
    FRightsLayout->setContentsMargins(0, 0, 0, 0);
    FRightsLayout->setSpacing(2);
    auto* rightsLabel = new QLabel("Rights &must hold:", FRightsPanel);
    rightsLabel->setObjectName("LabelRightsFilter");
    rightsLabel->setToolTip("Show only trustees that hold every ticked right");
    FRightsLayout->addWidget(rightsLabel);

    FCount = new QLabel(this);
    FCount->setObjectName("LabelTableCount");
    FCount->setToolTip("Rows shown of all rows");

    FActionSave = new QAction("Save sho&wn rows...", this);
    FActionSave->setObjectName("ActionSaveShownRows");
    FActionSave->setShortcut(QKeySequence("Ctrl+Shift+S"));
    FActionSave->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    FActionSave->setToolTip("Save the rows the filters show, in the order shown (Ctrl+Shift+S)");
    connect(FActionSave, &QAction::triggered, this, &TResultTableView::SaveShownRowsInteractive);
    FSaveButton = new QPushButton(FActionSave->text(), this);
    FSaveButton->setObjectName("ButtonSaveShownRows");
    FSaveButton->setToolTip(FActionSave->toolTip());
    connect(FSaveButton, &QPushButton::clicked, this, &TResultTableView::SaveShownRowsInteractive);

    FActionWiden = new QAction("Wi&den column", this);
    FActionWiden->setObjectName("ActionWidenColumn");
    FActionWiden->setShortcut(QKeySequence("Ctrl+Shift+Right"));
    FActionNarrow = new QAction("&Narrow column", this);
    FActionNarrow->setObjectName("ActionNarrowColumn");
    FActionNarrow->setShortcut(QKeySequence("Ctrl+Shift+Left"));
    FActionFit = new QAction("&Fit columns", this);
    FActionFit->setObjectName("ActionFitColumns");
    FActionFit->setShortcut(QKeySequence("Ctrl+Shift+F"));
    for (QAction* a : {FActionSave, FActionWiden, FActionNarrow, FActionFit}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
    }
    connect(FActionWiden, &QAction::triggered, this, [this] { ResizeCurrentColumn(1); });
    connect(FActionNarrow, &QAction::triggered, this, [this] { ResizeCurrentColumn(-1); });
    connect(FActionFit, &QAction::triggered, this, [this] {
        FUserSized = false;
        FitColumns();
    });

    FView = new QTableView(this);
    FView->setObjectName("TableViewSummary");
    FView->setModel(FProxy);
    FView->setSortingEnabled(true);
    FView->sortByColumn(-1, Qt::AscendingOrder); // the summary's order until a header is clicked
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FView->setSelectionMode(QAbstractItemView::SingleSelection);
    FView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FView->setAlternatingRowColors(true);
    FView->setWordWrap(false);
    FView->setTextElideMode(Qt::ElideMiddle);
    FView->verticalHeader()->setVisible(false);
    FView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = FView->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setResizeContentsPrecision(kSampleRows);
    // What changed reads beside the rights it changed to.
    header->moveSection(header->visualIndex(rcChange), header->visualIndex(rcRights) + 1);
    header->setMinimumSectionSize(FView->fontMetrics().averageCharWidth() * 3);
    header->viewport()->installEventFilter(this);
    FView->viewport()->installEventFilter(this);
    connect(FView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowReasons(); });
    connect(FProxy, &QAbstractItemModel::modelReset, this, [this] { ShowReasons(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(FProxy, signal, this, [this] { UpdateCount(); });
    connect(FProxy, &QAbstractItemModel::modelReset, this, [this] { UpdateCount(); });
    connect(FProxy, &QAbstractItemModel::layoutChanged, this, [this] { UpdateCount(); });

    FReasons = new QPlainTextEdit(this);
    FReasons->setObjectName("MemoReasons");
    FReasons->setReadOnly(true);
    FReasons->setLineWrapMode(QPlainTextEdit::NoWrap);
    FReasons->setPlaceholderText("Choose a row to see why its trustee holds these rights");
    FReasons->setMinimumHeight(FReasons->fontMetrics().lineSpacing() * 2);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName("SplitterTableView");
    splitter->addWidget(FView);
    splitter->addWidget(FReasons);
    splitter->setStretchFactor(0, kTableStretch);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({FReasons->fontMetrics().lineSpacing() * kReasonsLines * kTableStretch,
                        FReasons->fontMetrics().lineSpacing() * kReasonsLines});

    auto* filter = new QHBoxLayout();
    filter->setContentsMargins(6, 2, 6, 2);
    filter->addWidget(label);
    filter->addWidget(FFilterEdit, 1);
    filter->addSpacing(8);
    filter->addWidget(FRightsPanel);
    filter->addSpacing(8);
    filter->addWidget(FCount);
    filter->addWidget(FSaveButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(filter);
    layout->addWidget(splitter, 1);

    BuildRightsFilter();
    UpdateColumns();
    UpdateCount();
}

void TResultTableView::BuildRightsFilter() {
    for (QCheckBox* box : FRightsBoxes)
        delete box;
    FRightsBoxes.clear();
    FRightsEdir = FTable.Edir();
    for (char letter : TResultTable::RightsLetters(FRightsEdir)) {
        auto* box = new QCheckBox(QString(QChar(letter)), FRightsPanel);
        box->setObjectName(QString("CheckRights") + QChar(letter));
        box->setToolTip(QString(LetterMeaning(letter, FRightsEdir)));
        connect(box, &QCheckBox::toggled, this, [this] { RightsFilterChanged(); });
        FRightsLayout->addWidget(box);
        FRightsBoxes.push_back(box);
    }
    // The label's access key goes to the first letter.
    if (auto* label = FRightsPanel->findChild<QLabel*>("LabelRightsFilter"))
        label->setBuddy(FRightsBoxes.empty() ? nullptr : FRightsBoxes.front());
    FProxy->SetRightsLetters(std::string());
}

void TResultTableView::RightsFilterChanged() {
    std::string letters;
    for (QCheckBox* box : FRightsBoxes)
        if (box->isChecked())
            letters += S(box->text());
    FProxy->SetRightsLetters(letters);
    UpdateCount();
}

QCheckBox* TResultTableView::RightsBox(char letter) const {
    for (QCheckBox* box : FRightsBoxes)
        if (box->text() == QString(QChar(letter)))
            return box;
    return nullptr;
}

void TResultTableView::UpdateColumns() {
    // Directories have no attribute column; the reason column shows when a row has a reason,
    // the change column when a row has a change.
    FView->setColumnHidden(rcAttribute, !FTable.Edir());
    FView->setColumnHidden(rcIncomplete, FTable.IncompleteRows() == 0);
    FView->setColumnHidden(rcChange, FTable.ChangeRows() == 0);
}

void TResultTableView::Reset() {
    FModel->Reset();
    if (FRightsEdir != FTable.Edir())
        BuildRightsFilter();
    UpdateColumns();
    FUserSized = false;
    FFittedRows = false;
    FitColumns();
    ShowReasons();
    UpdateCount();
}

void TResultTableView::RowsAdded() {
    const int before = FModel->rowCount();
    const bool changesHidden = FView->isColumnHidden(rcChange);
    FModel->RowsAdded();
    UpdateColumns();
    // The widths follow the first rows and then each doubling, so a long scan is not slowed.
    const int now = FModel->rowCount();
    const bool newColumn = changesHidden != FView->isColumnHidden(rcChange);
    if (!FUserSized &&
        (newColumn || (now > before && (!FFittedRows || now >= 2 * before || now <= kSampleRows))))
        FitColumns();
    UpdateCount();
}

void TResultTableView::EntriesMarked() {
    const bool hidden = FView->isColumnHidden(rcIncomplete);
    FModel->RowsChanged();
    UpdateColumns();
    if (hidden != FView->isColumnHidden(rcIncomplete) && !FUserSized)
        FitColumns();
    ShowReasons();
    UpdateCount();
}

void TResultTableView::SetSettings(TIniFile* file, const std::string& section) {
    FSettings = file;
    FSettingsSection = section;
}

int TResultTableView::SourceRow(int viewRow) const {
    QModelIndex index = FProxy->index(viewRow, 0);
    return index.isValid() ? FProxy->mapToSource(index).row() : -1;
}

std::vector<int> TResultTableView::ShownRows() const {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(FProxy->rowCount()));
    for (int r = 0; r < FProxy->rowCount(); ++r)
        rows.push_back(SourceRow(r));
    return rows;
}

std::vector<TResultColumn> TResultTableView::ShownColumns() const {
    std::vector<TResultColumn> columns;
    const QHeaderView* header = FView->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        int logical = header->logicalIndex(visual);
        if (logical >= 0 && logical < rcColumnCount && !header->isSectionHidden(logical))
            columns.push_back(static_cast<TResultColumn>(logical));
    }
    return columns;
}

std::string TResultTableView::CountText() const {
    return U_Format("%d of %d", FProxy->rowCount(), FModel->rowCount());
}

void TResultTableView::UpdateCount() {
    FCount->setText(Q(CountText()));
    const bool any = FProxy->rowCount() > 0;
    FActionSave->setEnabled(any);
    FSaveButton->setEnabled(any);
}

void TResultTableView::AddActionsTo(QMenu& menu) const {
    menu.addAction(FActionSave);
    menu.addSeparator();
    menu.addAction(FActionWiden);
    menu.addAction(FActionNarrow);
    menu.addAction(FActionFit);
}

// --- Column widths ------------------------------------------------------------------------------

void TResultTableView::FitColumns() {
    FFitting = true;
    QHeaderView* header = FView->horizontalHeader();
    const int minimum = FView->fontMetrics().averageCharWidth() * kMinColumnChars;
    // Public in the base class; the table view's own answer samples kSampleRows rows.
    const QAbstractItemView* view = FView;
    std::vector<int> columns, wanted;
    for (int c = 0; c < rcColumnCount; ++c) {
        if (FView->isColumnHidden(c))
            continue;
        columns.push_back(c);
        wanted.push_back(std::max(view->sizeHintForColumn(c), header->sectionSizeHint(c)));
    }
    // The widest columns give up room until the columns fit: every column gets at most the cap.
    const int available = FView->viewport()->width();
    const int total = std::accumulate(wanted.begin(), wanted.end(), 0);
    int cap = *std::max_element(wanted.begin(), wanted.end());
    if (total > available && available > 0) {
        int low = minimum, high = cap;
        while (low < high) {
            const int mid = (low + high + 1) / 2;
            int sum = 0;
            for (int w : wanted)
                sum += std::min(w, std::max(mid, minimum));
            if (sum <= available)
                low = mid;
            else
                high = mid - 1;
        }
        cap = low;
    }
    for (size_t i = 0; i < columns.size(); ++i)
        header->resizeSection(columns[i], std::max(std::min(wanted[i], cap), minimum));
    FFittedRows = FModel->rowCount() > 0;
    FFitting = false;
}

void TResultTableView::ResizeCurrentColumn(int steps) {
    QHeaderView* header = FView->horizontalHeader();
    int column =
        FView->currentIndex().isValid() ? FView->currentIndex().column() : header->logicalIndex(0);
    if (column < 0)
        return;
    const int step = FView->fontMetrics().averageCharWidth() * kStepChars;
    const int size =
        std::max(header->minimumSectionSize(), header->sectionSize(column) + steps * step);
    FUserSized = true;
    header->resizeSection(column, size);
}

bool TResultTableView::eventFilter(QObject* watched, QEvent* event) {
    QHeaderView* header = FView->horizontalHeader();
    if (watched == header->viewport() && event->type() == QEvent::MouseButtonPress) {
        FPressSizes.clear();
        for (int c = 0; c < header->count(); ++c)
            FPressSizes.push_back(header->sectionSize(c));
    } else if (watched == header->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // A column dragged to another width keeps it from then on.
        for (int c = 0; c < header->count() && c < static_cast<int>(FPressSizes.size()); ++c)
            FUserSized = FUserSized || header->sectionSize(c) != FPressSizes[c];
    } else if (watched == FView->viewport() && event->type() == QEvent::Resize && !FUserSized &&
               !FFitting) {
        FitColumns();
    }
    return QWidget::eventFilter(watched, event);
}

// --- Reasons ------------------------------------------------------------------------------------

void TResultTableView::ShowReasons() {
    QModelIndex current = FView->selectionModel()->currentIndex();
    int row = current.isValid() ? SourceRow(current.row()) : -1;
    if (row < 0 || row >= FTable.Count()) {
        FReasons->clear();
        return;
    }
    const TResultRow& r = FTable.Row(row);
    QStringList lines;
    const std::string trustee = r.Trustee + (r.Attribute.empty() ? "" : " / " + r.Attribute);
    if (r.EntryOnly) {
        lines << Q(r.Entry + ": " + r.Problem);
    } else if (r.Rights.empty()) {
        // A trustee lost here: its rights were on the entry above.
        lines << Q(trustee + " on " + r.Entry + ": no rights here; " + r.Change +
                   " on the entry above");
    } else {
        lines << Q(r.Rights + " " + trustee + " on " + r.Entry);
        if (!r.Change.empty())
            lines << Q("Since the entry above: " + r.Change);
        for (const auto& reason : FTable.Reasons(row))
            lines << Q("   * " + reason);
        if (!r.Problem.empty())
            lines << Q("The entry is not whole: " + r.Problem);
    }
    FReasons->setPlainText(lines.join('\n'));
}

// --- Saving the rows shown ----------------------------------------------------------------------

bool TResultTableView::SaveShownRows(const std::string& fileName, TTableFormat format,
                                     std::string& error) const {
    return U_SaveTable(fileName, FTable.TextTable(ShownRows(), ShownColumns()), format, error);
}

std::string TResultTableView::SaveFolder() const {
    std::string folder = FSaveFolder;
    if (FSettings != nullptr)
        folder = U_IniReadText(*FSettings, FSettingsSection, kSaveFolderKey, folder);
    return U_SaveStartFolder(folder);
}

void TResultTableView::SaveShownRowsInteractive() {
    if (FProxy->rowCount() == 0)
        return;
    const std::string proposed = "Trustees";
    std::optional<TSaveChoice> choice;
    if (SaveDialog) {
        choice = SaveDialog(SaveFolder(), proposed);
    } else {
        choice = U_AskSaveTable(this, "Save shown rows", SaveFolder(), proposed);
    }
    if (!choice || choice->FileName.empty())
        return;
    // A name that ends in a known extension is written in that format, whatever the filter.
    TTableFormat format = U_TableFormatOfFile(choice->FileName).value_or(choice->Format);
    std::string error;
    const int rows = FProxy->rowCount();
    if (!SaveShownRows(choice->FileName, format, error)) {
        const std::string text =
            U_Format("Could not save to %s: %s", choice->FileName.c_str(), error.c_str());
        U_MessageBox(TMsgKind::Error, text);
        emit StatusText(Q(text));
        return;
    }
    const std::string folder = U_DirName(choice->FileName);
    FSaveFolder = folder;
    if (FSettings != nullptr)
        U_IniWriteStr(*FSettings, FSettingsSection, kSaveFolderKey, folder);
    std::string status =
        U_Format("Saved %d row%s to %s", rows, rows == 1 ? "" : "s", choice->FileName.c_str());
    if (format == TTableFormat::Xlsx) {
        const bool open = OfferOpen ? OfferOpen(choice->FileName)
                                    : U_AskOpenSaved(this, "Save shown rows", choice->FileName);
        // No program for spreadsheets is no fault of the file: it is saved all the same.
        if (open && !U_OpenSaved(choice->FileName))
            status += " (no program to open it was found)";
    }
    emit StatusText(Q(status));
}

} // namespace trovalen
