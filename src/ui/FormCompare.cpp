#include "ui/FormCompare.h"

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/Widgets.h"
#include "util/FileIO.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

namespace trovalen {

namespace {

enum TColumn { colEntry, colChange, colTrustee, colClass, colAttribute, colBefore, colAfter };

// The columns of a comparison: objects have an attribute column, paths none.
std::vector<TColumn> Columns(const TComparison& c) {
    std::vector<TColumn> cols = {colEntry, colChange, colTrustee, colClass};
    if (c.Edir)
        cols.push_back(colAttribute);
    cols.push_back(colBefore);
    cols.push_back(colAfter);
    return cols;
}

const char* Title(TColumn col) {
    switch (col) {
    case colEntry:
        return "Entry";
    case colChange:
        return "Change";
    case colTrustee:
        return "Trustee";
    case colClass:
        return "Class";
    case colAttribute:
        return "Attribute";
    case colBefore:
        return "Before";
    case colAfter:
        break;
    }
    return "After";
}

std::string Rights(const TRightsChange& c, const std::string& letters) {
    return c.Trustee.empty() || letters.empty() ? letters : "[" + letters + "]";
}

std::string Field(const TRightsChange& c, TColumn col) {
    switch (col) {
    case colEntry:
        return c.Entry;
    case colChange:
        return U_ChangeKindName(c.Kind);
    case colTrustee:
        return c.Trustee;
    case colClass:
        return c.Class;
    case colAttribute:
        return c.Attribute;
    case colBefore:
        return Rights(c, c.Before);
    case colAfter:
        break;
    }
    return Rights(c, c.After);
}

// The mark of a kind: light enough to read black text on, in any palette the rows use.
QColor KindColor(TChangeKind kind) {
    switch (kind) {
    case TChangeKind::TrusteeAdded:
        return QColor(0xdd, 0xf4, 0xdd);
    case TChangeKind::TrusteeRemoved:
        return QColor(0xf8, 0xdc, 0xdc);
    case TChangeKind::RightsChanged:
        return QColor(0xfa, 0xf0, 0xc8);
    default:
        break;
    }
    return QColor(0xe0, 0xe6, 0xf4);
}

std::string ReasonLines(const TRightsChange& c) {
    std::string out;
    for (const auto& r : c.Reasons)
        out += (out.empty() ? "" : "\n") + ("[" + r.Rights + "] " + r.Why);
    return out;
}

} // namespace

// --- Model --------------------------------------------------------------------------------------

TComparisonModel::TComparisonModel(const TComparison& comparison, QObject* parent)
    : QAbstractTableModel(parent), FComparison(comparison) {}

int TComparisonModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FComparison.Changes.size());
}

int TComparisonModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns(FComparison).size());
}

QVariant TComparisonModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TRightsChange& c = FComparison.Changes[static_cast<size_t>(index.row())];
    const std::vector<TColumn> cols = Columns(FComparison);
    if (index.column() < 0 || index.column() >= static_cast<int>(cols.size()))
        return {};
    const TColumn col = cols[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return Q(Field(c, col));
    case Qt::ToolTipRole: {
        std::string tip = Field(c, col);
        if (std::string reasons = ReasonLines(c); !reasons.empty())
            tip += "\n" + reasons;
        return Q(tip);
    }
    case Qt::BackgroundRole:
        return QBrush(KindColor(c.Kind));
    case Qt::ForegroundRole:
        return QBrush(Qt::black);
    default:
        break;
    }
    return {};
}

QVariant TComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const std::vector<TColumn> cols = Columns(FComparison);
    if (section < 0 || section >= static_cast<int>(cols.size()))
        return {};
    return QString(Title(cols[static_cast<size_t>(section)]));
}

TComparisonFilter::TComparisonFilter(const TComparison& comparison, QObject* parent)
    : QSortFilterProxyModel(parent), FComparison(comparison) {
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void TComparisonFilter::SetKinds(uint32_t kinds) {
    FKinds = kinds;
    invalidateFilter();
}

void TComparisonFilter::SetText(const std::string& text) {
    FText = text;
    invalidateFilter();
}

bool TComparisonFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (sourceRow < 0 || sourceRow >= static_cast<int>(FComparison.Changes.size()))
        return false;
    return U_ChangeShown(FComparison.Changes[static_cast<size_t>(sourceRow)], FKinds, FText);
}

// --- Window -------------------------------------------------------------------------------------

TFormCompare::TFormCompare(TComparison comparison, QWidget* parent)
    : QDialog(parent), FComparison(std::move(comparison)) {
    setObjectName("FormCompare");
    setWindowTitle("Changes since the saved result");
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    auto title = [](const std::string& name, const TSavedResult& h) {
        return h.Date.empty() ? name : name + " (" + h.Date + ")";
    };
    auto* header =
        new QLabel(Q("Before: " + title(FComparison.BeforeName, FComparison.BeforeHeader) +
                     "\nAfter: " + title(FComparison.AfterName, FComparison.AfterHeader)),
                   this);
    header->setObjectName("LabelCompared");
    header->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(header);

    FNotes = new QLabel(this);
    FNotes->setObjectName("LabelNotes");
    FNotes->setWordWrap(true);
    FNotes->setFrameShape(QFrame::StyledPanel);
    FNotes->setStyleSheet("QLabel { background: #fff4ce; color: black; padding: 4px; }");
    QStringList notes;
    for (const auto& n : FComparison.Notes)
        notes << Q(n);
    FNotes->setText(notes.join('\n'));
    FNotes->setVisible(!notes.isEmpty());
    layout->addWidget(FNotes);

    auto* filters = new QHBoxLayout;
    const std::pair<uint32_t, const char*> kinds[] = {{cfAdded, "A&dded"},
                                                      {cfRemoved, "&Removed"},
                                                      {cfChanged, "C&hanged"},
                                                      {cfEntries, "&Entries"}};
    for (const auto& [bit, label] : kinds) {
        int count = 0;
        for (const auto& c : FComparison.Changes)
            count += (U_ChangeFilterBit(c.Kind) & bit) != 0 ? 1 : 0;
        auto* box = new QCheckBox(Q(U_Format("%s (%d)", label, count)), this);
        box->setObjectName(Q(U_Format("CheckKind%u", bit)));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, &TFormCompare::Refilter);
        filters->addWidget(box);
        FKindBoxes.emplace_back(bit, box);
    }
    auto* filterLabel = new QLabel("&Filter:", this);
    FFilter = new QLineEdit(this);
    FFilter->setObjectName("EditCompareFilter");
    FFilter->setClearButtonEnabled(true);
    filterLabel->setBuddy(FFilter);
    connect(FFilter, &QLineEdit::textChanged, this, &TFormCompare::Refilter);
    filters->addSpacing(12);
    filters->addWidget(filterLabel);
    filters->addWidget(FFilter, 1);
    FCount = new QLabel(this);
    FCount->setObjectName("LabelCompareCount");
    filters->addWidget(FCount);
    layout->addLayout(filters);

    FModel = new TComparisonModel(FComparison, this);
    FProxy = new TComparisonFilter(FComparison, this);
    FProxy->setSourceModel(FModel);
    FView = new QTableView(this);
    FView->setObjectName("ViewChanges");
    FView->setModel(FProxy);
    FView->setSortingEnabled(true);
    FView->sortByColumn(-1, Qt::AscendingOrder);
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FView->setSelectionMode(QAbstractItemView::SingleSelection);
    FView->verticalHeader()->hide();
    FView->horizontalHeader()->setStretchLastSection(true);
    FView->resizeColumnsToContents();
    FReasons = new QPlainTextEdit(this);
    FReasons->setObjectName("MemoChangeReasons");
    FReasons->setReadOnly(true);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(FView);
    split->addWidget(FReasons);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    connect(FView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormCompare::ShowReasons);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    FSave = buttons->addButton("&Save shown changes...", QDialogButtonBox::ActionRole);
    FSave->setObjectName("ButtonSaveChanges");
    connect(FSave, &QPushButton::clicked, this, &TFormCompare::SaveShownInteractive);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    resize(900, 560);
    Refilter();
}

QCheckBox* TFormCompare::KindBox(uint32_t bit) const {
    for (const auto& [b, box] : FKindBoxes)
        if (b == bit)
            return box;
    return nullptr;
}

void TFormCompare::Refilter() {
    uint32_t kinds = 0;
    for (const auto& [bit, box] : FKindBoxes)
        if (box->isChecked())
            kinds |= bit;
    FProxy->SetKinds(kinds);
    FProxy->SetText(S(FFilter->text()));
    FCount->setText(Q(CountText()));
    FSave->setEnabled(FProxy->rowCount() > 0);
    ShowReasons();
}

std::string TFormCompare::CountText() const {
    const size_t all = FComparison.Changes.size();
    if (all == 0)
        return "No changes";
    return U_Format("%d of %zu change%s", FProxy->rowCount(), all, all == 1 ? "" : "s");
}

std::vector<size_t> TFormCompare::ShownChanges() const {
    std::vector<size_t> out;
    out.reserve(static_cast<size_t>(FProxy->rowCount()));
    for (int row = 0; row < FProxy->rowCount(); ++row)
        out.push_back(static_cast<size_t>(FProxy->mapToSource(FProxy->index(row, 0)).row()));
    return out;
}

void TFormCompare::ShowReasons() {
    QModelIndex current = FView->selectionModel()->currentIndex();
    if (!current.isValid()) {
        FReasons->clear();
        return;
    }
    const int row = FProxy->mapToSource(current).row();
    if (row < 0 || row >= static_cast<int>(FComparison.Changes.size())) {
        FReasons->clear();
        return;
    }
    const TRightsChange& c = FComparison.Changes[static_cast<size_t>(row)];
    std::string text = c.Entry + ": " + U_ChangeKindName(c.Kind);
    if (!c.Trustee.empty())
        text += " " + c.Trustee + (c.Attribute.empty() ? "" : " / " + c.Attribute);
    if (!c.Before.empty() || !c.After.empty())
        text += ", " + (c.Before.empty() ? std::string("-") : Rights(c, c.Before)) + " -> " +
                (c.After.empty() ? std::string("-") : Rights(c, c.After));
    if (std::string reasons = ReasonLines(c); !reasons.empty())
        text += "\n" + reasons;
    FReasons->setPlainText(Q(text));
}

bool TFormCompare::SaveShown(const std::string& fileName, TTableFormat format,
                             std::string& error) const {
    const TComparison shown = U_ComparisonOf(FComparison, ShownChanges());
    switch (format) {
    case TTableFormat::Xlsx:
        return U_SaveXlsx(fileName, U_ComparisonRows(shown), error);
    case TTableFormat::Csv:
        return U_WriteFileAtomic(fileName, U_ComparisonFormatted(shown, "csv"), error);
    case TTableFormat::Html:
        return U_WriteFileAtomic(fileName, U_ComparisonFormatted(shown, "html"), error);
    case TTableFormat::Xml:
        return U_WriteFileAtomic(fileName, U_ComparisonFormatted(shown, "xml"), error);
    case TTableFormat::Json:
        return U_WriteFileAtomic(fileName, U_ComparisonFormatted(shown, "json"), error);
    case TTableFormat::Text:
        break;
    }
    return U_WriteFileAtomic(fileName, U_ComparisonFormatted(shown, "txt"), error);
}

void TFormCompare::SaveShownInteractive() {
    if (FProxy->rowCount() == 0)
        return;
    const std::string folder = U_SaveStartFolder(SaveFolder);
    std::optional<TSaveChoice> choice =
        SaveDialog ? SaveDialog(folder, "Changes")
                   : U_AskSaveTable(this, "Save shown changes", folder, "Changes");
    if (!choice || choice->FileName.empty())
        return;
    const TTableFormat format = U_TableFormatOfFile(choice->FileName).value_or(choice->Format);
    std::string error;
    if (!SaveShown(choice->FileName, format, error)) {
        QMessageBox::critical(
            this, "Save shown changes",
            Q(U_Format("Could not save to %s: %s", choice->FileName.c_str(), error.c_str())));
        return;
    }
    SaveFolder = U_DirName(choice->FileName);
    if (format == TTableFormat::Xlsx) {
        const bool open = OfferOpen ? OfferOpen(choice->FileName)
                                    : U_AskOpenSaved(this, "Save shown changes", choice->FileName);
        // No program for spreadsheets is no fault of the file: it is saved all the same.
        if (open && !U_OpenSaved(choice->FileName))
            QMessageBox::information(this, "Save shown changes",
                                     Q(U_Format("Saved to %s; no program to open it was found.",
                                                choice->FileName.c_str())));
    }
}

} // namespace trovalen
