#include "ui/ControlState.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTextEdit>
#include <QVariant>

#include <exception>
#include <utility>
#include <vector>

#include "settings/Ini.h"
#include "ui/Widgets.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

const char kCentredProperty[] = "trovalenCentred";

// Qt gives its own helper widgets names beginning with "qt_"; they count as unnamed.
std::string NameOf(const QObject* object) {
    QString name = object->objectName();
    if (name.startsWith(QLatin1String("qt_")))
        return std::string();
    return S(name);
}

std::string ContentSection(const std::string& section, const std::string& name) {
    return section + " " + name;
}

// The form in which a value reads back exactly as given.
std::string StoredForm(const std::string& value) {
    return U_IniValueFromStored(value) == value ? value : U_Quoted(value);
}

void WriteSectionGuarded(TIniFile& file, const std::string& section,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
    try {
        file.WriteSection(U_IniCleanName(section), entries);
    } catch (const EIniError& e) {
        U_MessageBox(TMsgKind::Error, e.what());
    }
}

THistoryBox HistoryOf(const QComboBox* box, const std::string& name) {
    THistoryBox h;
    h.Name = name;
    h.Text = S(box->currentText());
    for (int i = 0; i < box->count(); ++i)
        h.Items.Add(S(box->itemText(i)));
    h.Editable = box->isEditable();
    h.ItemIndex = box->currentIndex();
    return h;
}

void ApplyHistory(QComboBox* box, const THistoryBox& h) {
    box->clear();
    for (const auto& item : h.Items)
        box->addItem(Q(item.Text));
    if (h.Editable) {
        box->setEditText(Q(h.Text));
    } else {
        box->setCurrentIndex(h.ItemIndex < box->count() ? h.ItemIndex : -1);
    }
}

// Kinds whose children belong to the kind itself and are not visited.
bool IsLeafKind(const QWidget* w) {
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const TRadioGroup*>(w) ||
           qobject_cast<const QLineEdit*>(w);
}

void SaveValue(TIniFile& file, const std::string& section, QWidget* w, const std::string& name) {
    if (auto* box = qobject_cast<TCheckListBox*>(w)) {
        std::vector<std::pair<std::string, std::string>> entries;
        TStringList keys;
        for (int i = 0; i < box->Count(); ++i) {
            std::string key = U_TrimBlank(U_IniCleanName(box->Text(i)));
            if (key.empty() || !TIniFile::IsValidKey(key) || keys.IndexOf(key) >= 0)
                continue;
            keys.Add(key);
            entries.emplace_back(key, box->Checked(i) ? "1" : "0");
        }
        WriteSectionGuarded(file, ContentSection(section, name), entries);
    } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
        std::vector<std::pair<std::string, std::string>> entries = {
            {"RowCount", std::to_string(grid->rowCount())},
            {"ColCount", std::to_string(grid->columnCount())},
            {"FixedRows", "0"},
            {"FixedCols", "0"}};
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c)
                if (const QTableWidgetItem* it = grid->item(r, c); it && !it->text().isEmpty())
                    entries.emplace_back(U_Format("Cell.%d.%d", c, r), StoredForm(S(it->text())));
        WriteSectionGuarded(file, ContentSection(section, name), entries);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) {
            THistoryBox h = HistoryOf(combo, name);
            U_IniSaveHistory(file, h);
            ApplyHistory(combo, h);
        } else {
            U_IniWriteStr(file, section, name, S(combo->currentText()));
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        U_IniWriteStr(file, section, name, StoredForm(S(edit->text())));
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        U_IniWriteInt(file, section, name, spin->value());
    } else if (auto* group = qobject_cast<TRadioGroup*>(w)) {
        U_IniWriteInt(file, section, name, group->ItemIndex());
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        U_IniWriteInt(file, section, name, slider->value());
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        U_IniWriteBool(file, section, name, check->isChecked());
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (!memo->isReadOnly()) {
            TStringList lines;
            for (const QString& line : memo->toPlainText().split(QLatin1Char('\n')))
                lines.Add(S(line));
            if (memo->toPlainText().isEmpty())
                lines.Clear();
            U_IniWriteList(file, ContentSection(section, name), lines, false);
        }
    }
}

void LoadValue(const TIniFile& file, const std::string& section, QWidget* w,
               const std::string& name) {
    if (auto* box = qobject_cast<TCheckListBox*>(w)) {
        std::string content = ContentSection(section, name);
        TStringList keys;
        file.ReadSection(content, keys);
        TCheckList entries;
        for (const auto& key : keys)
            entries.push_back(
                TCheckListEntry{key.Text, U_IniReadBoolCached(file, content, key.Text, false), 0});
        box->SetEntries(entries);
    } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
        std::string content = ContentSection(section, name);
        grid->setRowCount(U_IniReadIntCached(file, content, "RowCount", grid->rowCount()));
        grid->setColumnCount(U_IniReadIntCached(file, content, "ColCount", grid->columnCount()));
        U_IniReadIntCached(file, content, "FixedRows", 0);
        U_IniReadIntCached(file, content, "FixedCols", 0);
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c) {
                QTableWidgetItem* it = grid->item(r, c);
                std::string current = it ? S(it->text()) : std::string();
                std::string text =
                    U_IniReadStrCached(file, content, U_Format("Cell.%d.%d", c, r), current);
                if (text == current)
                    continue;
                if (!it) {
                    it = new QTableWidgetItem();
                    grid->setItem(r, c, it);
                }
                it->setText(Q(text));
            }
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) {
            THistoryBox h = HistoryOf(combo, name);
            if (U_IniLoadHistoryControl(file, section, h))
                ApplyHistory(combo, h);
        } else {
            std::string text = U_IniReadText(file, section, name, S(combo->currentText()));
            combo->setCurrentIndex(
                combo->findText(Q(text), Qt::MatchFixedString | Qt::MatchCaseSensitive));
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(Q(U_IniReadStrCached(file, section, name, S(edit->text()))));
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        spin->setValue(U_IniReadIntCached(file, section, name, spin->value()));
    } else if (auto* group = qobject_cast<TRadioGroup*>(w)) {
        group->SetItemIndex(U_IniReadIntCached(file, section, name, group->ItemIndex()));
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        slider->setValue(U_IniReadIntCached(file, section, name, slider->value()));
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setChecked(U_IniReadBoolCached(file, section, name, check->isChecked()));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        TStringList lines;
        U_IniReadList(file, ContentSection(section, name), lines, false);
        memo->setPlainText(JoinLines(lines));
    }
}

// The child widgets that the walk visits: direct children in child order, other windows
// (dialogs, menus) left out.
std::vector<QWidget*> ChildWidgets(QWidget* w) {
    std::vector<QWidget*> out;
    if (IsLeafKind(w))
        return out;
    for (QObject* child : w->children())
        if (auto* cw = qobject_cast<QWidget*>(child); cw && !cw->isWindow())
            out.push_back(cw);
    return out;
}

std::string PaneKey(const QSplitter* splitter, const std::string& pane) {
    return pane + (splitter->orientation() == Qt::Vertical ? ".Height" : ".Width");
}

} // namespace

void U_IniSaveControls(TIniFile& file, const std::string& section, QWidget* control) {
    if (!control)
        return;
    std::string s = section;
    std::string name = NameOf(control);
    if (control->isWindow()) {
        s = section + " " + name;
        U_IniSaveGeometry(file, s, control);
    }
    if (!name.empty())
        SaveValue(file, s, control, name);
    for (QWidget* child : ChildWidgets(control)) {
        if (auto* splitter = qobject_cast<QSplitter*>(child))
            U_IniSaveSplitter(file, s, splitter);
        U_IniSaveControls(file, s, child);
    }
}

void U_IniLoadControls(const TIniFile& file, const std::string& section, QWidget* control) {
    if (!control)
        return;
    std::string s = section;
    std::string name = NameOf(control);
    if (control->isWindow()) {
        s = section + " " + name;
        U_IniLoadGeometry(file, s, control);
    }
    if (!name.empty())
        LoadValue(file, s, control, name);
    for (QWidget* child : ChildWidgets(control))
        U_IniLoadControls(file, s, child);
    // Pane sizes are the splitter's to give.
    if (auto* splitter = qobject_cast<QSplitter*>(control))
        U_IniLoadSplitter(file, s, splitter);
}

void U_IniSaveCheckList(TIniFile& file, const std::string& section, const TCheckListBox* box) {
    U_IniSaveCheckList(file, section, box->Entries());
}

void U_IniLoadCheckList(const TIniFile& file, const std::string& section, TCheckListBox* box) {
    TCheckList entries;
    U_IniLoadCheckList(file, section, entries);
    box->SetEntries(entries);
}

void U_IniLoadActions(const TIniFile& file, const std::string& section,
                      const QList<QAction*>& actions) {
    for (QAction* action : actions) {
        std::string name = NameOf(action);
        if (name.empty() || action->menu() != nullptr || action->isSeparator())
            continue;
        action->setChecked(U_IniReadBoolCached(file, section, name, false));
    }
}

void U_SetCentredPlacement(QWidget* window, bool centred) {
    window->setProperty(kCentredProperty, centred);
}

// A write that fails is reported by the settings layer; anything else goes up to the caller.
void U_IniSaveGeometry(TIniFile& file, const std::string& section, QWidget* window) {
    std::string name = NameOf(window);
    std::string s = section.empty() ? name : section;
    U_IniWriteInt(file, s, name + ".Top", window->y());
    U_IniWriteInt(file, s, name + ".Left", window->x());
    U_IniWriteInt(file, s, name + ".Width", window->width());
    U_IniWriteInt(file, s, name + ".Height", window->height());
}

void U_IniLoadGeometry(const TIniFile& file, const std::string& section, QWidget* window) {
    if (window->property(kCentredProperty).toBool())
        return;
    std::string name = NameOf(window);
    std::string s = section.empty() ? name : section;
    int width = U_IniReadInt(file, s, name + ".Width", 0);
    int height = U_IniReadInt(file, s, name + ".Height", 0);
    int left = U_IniReadInt(file, s, name + ".Left", 0);
    int top = U_IniReadInt(file, s, name + ".Top", 0);
    // A size that is not positive would make no window at all.
    if (width > 0)
        window->resize(width, window->height());
    if (height > 0)
        window->resize(window->width(), height);
    if (left != 0)
        window->move(left, window->y());
    if (top != 0)
        window->move(window->x(), top);
}

void U_IniSaveSplitter(TIniFile& file, const std::string& section, QSplitter* splitter) {
    for (int i = 0; i < splitter->count(); ++i) {
        std::string name = NameOf(splitter->widget(i));
        if (name.empty())
            continue;
        // The splitter's own account: the pane may not have been laid out yet.
        U_IniWriteInt(file, section, PaneKey(splitter, name), splitter->sizes().value(i));
    }
}

void U_IniLoadSplitter(const TIniFile& file, const std::string& section, QSplitter* splitter) {
    QList<int> sizes = splitter->sizes();
    bool changed = false;
    for (int i = 0; i < splitter->count() && i < sizes.size(); ++i) {
        std::string name = NameOf(splitter->widget(i));
        if (name.empty())
            continue;
        int size = U_IniReadIntCached(file, section, PaneKey(splitter, name), sizes[i]);
        if (size >= 0 && size != sizes[i]) {
            sizes[i] = size;
            changed = true;
        }
    }
    if (changed)
        splitter->setSizes(sizes);
}

} // namespace trovalen
