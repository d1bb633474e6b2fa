#include "ui/ResultTableView.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/Widgets.h"

namespace trovalen {

namespace {
// The reasons pane starts this many lines high; the splitter lets the user change it.
constexpr int kReasonsLines = 6;
constexpr int kTableStretch = 4;
} // namespace

TResultTableModel::TResultTableModel(const TResultTable& table, QObject* parent)
    : QAbstractTableModel(parent), FTable(table) {}

int TResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rcColumnCount;
}

QVariant TResultTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= FRows ||
        index.row() >= FTable.Count() || index.column() >= rcColumnCount)
        return {};
    return Q(FTable.Row(index.row()).Column(static_cast<TResultColumn>(index.column())));
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

TResultFilterModel::TResultFilterModel(const TResultTable& table, QObject* parent)
    : QSortFilterProxyModel(parent), FTable(table) {
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void TResultFilterModel::SetFilterText(const std::string& text) {
    FFilter = text;
    invalidateFilter();
}

bool TResultFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid() || sourceRow < 0 || sourceRow >= FTable.Count())
        return false;
    return TResultTable::Matches(FTable.Row(sourceRow), FFilter);
}

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
    FView->verticalHeader()->setVisible(false);
    FView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FView->horizontalHeader()->setStretchLastSection(true);
    FView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(FView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowReasons(); });
    connect(FProxy, &QAbstractItemModel::modelReset, this, [this] { ShowReasons(); });

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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(filter);
    layout->addWidget(splitter, 1);
}

void TResultTableView::Reset() {
    FModel->Reset();
    // Directories have no attribute column.
    FView->setColumnHidden(rcAttribute, !FTable.Edir());
    ShowReasons();
}

void TResultTableView::RowsAdded() {
    FModel->RowsAdded();
}

int TResultTableView::SourceRow(int viewRow) const {
    QModelIndex index = FProxy->index(viewRow, 0);
    return index.isValid() ? FProxy->mapToSource(index).row() : -1;
}

void TResultTableView::ShowReasons() {
    QModelIndex current = FView->selectionModel()->currentIndex();
    int row = current.isValid() ? SourceRow(current.row()) : -1;
    if (row < 0 || row >= FTable.Count()) {
        FReasons->clear();
        return;
    }
    const TResultRow& r = FTable.Row(row);
    QStringList lines;
    lines << Q(r.Rights + " " + r.Trustee + (r.Attribute.empty() ? "" : " / " + r.Attribute) +
               " on " + r.Entry);
    for (const auto& reason : FTable.Reasons(row))
        lines << Q("   * " + reason);
    FReasons->setPlainText(lines.join('\n'));
}

} // namespace trovalen
