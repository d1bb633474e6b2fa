#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

#include "util/Util.h"

namespace trovalen {

QString JoinLines(const TStringList& lines) {
    QStringList out;
    out.reserve(lines.Count());
    for (const auto& line : lines)
        out.append(Q(line.Text));
    return out.join(QLatin1Char('\n'));
}

bool U_WidenTabColumns(std::span<const TStringItem> lines, std::vector<int>& widths) {
    bool changed = false;
    for (const auto& line : lines) {
        const std::string& text = line.Text;
        size_t start = 0;
        for (size_t column = 0;; ++column) {
            size_t tab = text.find('\t', start);
            if (tab == std::string::npos)
                break;
            // Characters, not bytes: a UTF-8 continuation byte adds no width.
            int width = 0;
            for (size_t i = start; i < tab; ++i)
                width += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
            if (column >= widths.size()) {
                widths.push_back(width);
                changed = true;
            } else if (width > widths[column]) {
                widths[column] = width;
                changed = true;
            }
            start = tab + 1;
        }
    }
    return changed;
}

void U_PaintEmptyHint(QAbstractItemView* view, const QString& hint) {
    constexpr int kHintMargin = 6;
    if (hint.isEmpty() || view->model() == nullptr || view->model()->rowCount() > 0)
        return;
    QPainter painter(view->viewport());
    painter.setPen(view->palette().color(QPalette::PlaceholderText));
    painter.drawText(
        view->viewport()->rect().adjusted(kHintMargin, kHintMargin, -kHintMargin, -kHintMargin),
        Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap, hint);
}

// --- TListBox -----------------------------------------------------------------------------------

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {}

void TListBox::SetHint(const QString& hint) {
    FHint = hint;
    viewport()->update();
}

void TListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    U_PaintEmptyHint(this, FHint);
}

void TListBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentItem() != nullptr) {
            emit EnterPressed();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (currentItem() != nullptr) {
            emit DeletePressed();
            return;
        }
        break;
    default:
        break;
    }
    QListWidget::keyPressEvent(event);
}

// --- TCheckListBox ------------------------------------------------------------------------------

TCheckListBox::TCheckListBox(QWidget* parent) : TListBox(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!FFilling)
            emit CheckToggled(row(item));
    });
}

std::string TCheckListBox::Text(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? S(it->text()) : std::string();
}

bool TCheckListBox::Checked(int index) const {
    const QListWidgetItem* it = item(index);
    return it && it->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked) {
    if (QListWidgetItem* it = item(index))
        it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

int TCheckListBox::Add(const std::string& text) {
    FFilling = true;
    auto* it = new QListWidgetItem(Q(text), this);
    it->setFlags((it->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    it->setCheckState(Qt::Unchecked);
    FFilling = false;
    return count() - 1;
}

int TCheckListBox::IndexOf(const std::string& text) const {
    for (int i = 0; i < count(); ++i)
        if (U_SameText(Text(i), text))
            return i;
    return -1;
}

int TCheckListBox::CheckedCount() const {
    int n = 0;
    for (int i = 0; i < count(); ++i)
        if (Checked(i))
            ++n;
    return n;
}

std::vector<std::string> TCheckListBox::CheckedTexts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < count(); ++i)
        if (Checked(i))
            texts.push_back(Text(i));
    return texts;
}

TCheckList TCheckListBox::Entries() const {
    TCheckList list;
    for (int i = 0; i < count(); ++i)
        list.push_back(TCheckListEntry{Text(i), Checked(i), 0});
    return list;
}

void TCheckListBox::SetEntries(const TCheckList& entries) {
    clear();
    for (const auto& entry : entries) {
        int i = Add(entry.Text);
        FFilling = true;
        SetChecked(i, entry.Checked);
        FFilling = false;
    }
}

// --- TRadioGroup --------------------------------------------------------------------------------

TRadioGroup::TRadioGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), FGroup(new QButtonGroup(this)), FLayout(new QVBoxLayout(this)) {
    FGroup->setExclusive(true);
    FLayout->addStretch(1);
    connect(FGroup, &QButtonGroup::idClicked, this, [this](int id) { emit Clicked(id); });
}

void TRadioGroup::Clear() {
    for (QAbstractButton* b : FGroup->buttons()) {
        FGroup->removeButton(b);
        delete b;
    }
    FValues.clear();
    FTexts.clear();
}

void TRadioGroup::Add(const std::string& text, uint32_t value) {
    // An "&" in a name is shown as it is, not as an access key.
    auto* b = new QRadioButton(Q(text).replace("&", "&&"), this);
    int id = static_cast<int>(FValues.size());
    FValues.push_back(value);
    FTexts.push_back(text);
    FGroup->addButton(b, id);
    FLayout->insertWidget(id, b);
}

int TRadioGroup::Count() const {
    return static_cast<int>(FValues.size());
}

std::string TRadioGroup::Text(int index) const {
    return index >= 0 && index < Count() ? FTexts[static_cast<size_t>(index)] : std::string();
}

uint32_t TRadioGroup::Value(int index) const {
    return index >= 0 && index < Count() ? FValues[static_cast<size_t>(index)] : 0;
}

int TRadioGroup::ItemIndex() const {
    return FGroup->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* b = FGroup->button(index)) {
        b->setChecked(true);
    } else if (QAbstractButton* c = FGroup->checkedButton()) {
        FGroup->setExclusive(false);
        c->setChecked(false);
        FGroup->setExclusive(true);
    }
}

void TRadioGroup::Click(int index) {
    if (QAbstractButton* b = FGroup->button(index))
        b->click();
}

} // namespace trovalen
