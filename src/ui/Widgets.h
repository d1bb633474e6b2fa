// Small widget kinds that Qt lacks as such: a list box whose entries carry check marks, and a
// group of radio buttons that behaves as one control with an item index.
#pragma once

#include <QGroupBox>
#include <QListWidget>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/IniLists.h"
#include "util/StringList.h"

class QAbstractItemView;
class QButtonGroup;
class QKeyEvent;
class QPaintEvent;
class QVBoxLayout;

namespace trovalen {

// The section of the window's settings file that holds its controls, geometry and choices.
inline constexpr char kSettings[] = "Settings";
// The item data of an object list that holds the length of the object's class prefix.
inline constexpr int kPrefixRole = Qt::UserRole + 1;

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
    return s.toStdString();
}

// The lines as one text, joined by line feeds (no line feed after the last).
QString JoinLines(const TStringList& lines);

// The widest field of each tab-separated column, in characters, over the lines; a column
// counts only where a tab follows its field (the last field of a line sets no stop). widths
// is widened in place, so lines can be added piece by piece; true when it changed.
bool U_WidenTabColumns(std::span<const TStringItem> lines, std::vector<int>& widths);

// Draws a one-line hint (what to do next) into an empty item view.
void U_PaintEmptyHint(QAbstractItemView* view, const QString& hint);

// A list box that says what to do while it is empty, and reports the keys that act on the
// chosen entry: Enter (or Return) and Delete.
class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);
    void SetHint(const QString& hint);
    const QString& Hint() const { return FHint; }

signals:
    void EnterPressed();
    void DeletePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString FHint;
};

// A list whose entries have a check box each. A click on the check box only toggles the mark;
// both a toggle and a change of the selected entry are reported through Clicked.
class TCheckListBox : public TListBox {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget* parent = nullptr);

    int Count() const { return count(); }
    std::string Text(int index) const;
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    // Appends an unchecked entry and returns its index.
    int Add(const std::string& text);
    // Index of the first entry equal to text, ignoring case; -1 when none.
    int IndexOf(const std::string& text) const;
    int CheckedCount() const;
    std::vector<std::string> CheckedTexts() const;

    TCheckList Entries() const;
    void SetEntries(const TCheckList& entries);

signals:
    // A check mark changed (by the user or the program).
    void CheckToggled(int index);

private:
    bool FFilling = false;
};

// A titled group of radio buttons, one per entry; each entry carries a 32-bit value.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(const QString& title, QWidget* parent = nullptr);
    // Untitled (setTitle gives the title), as a form built from a Designer file makes it.
    explicit TRadioGroup(QWidget* parent) : TRadioGroup(QString(), parent) {}

    void Clear();
    void Add(const std::string& text, uint32_t value);
    int Count() const;
    std::string Text(int index) const;
    uint32_t Value(int index) const;
    int ItemIndex() const;
    // Chooses an entry (-1: none) without reporting a click.
    void SetItemIndex(int index);
    // Chooses an entry the way a click does: Clicked follows.
    void Click(int index);

signals:
    void Clicked(int index);

private:
    QButtonGroup* FGroup;
    QVBoxLayout* FLayout;
    std::vector<uint32_t> FValues;
    std::vector<std::string> FTexts;
};

} // namespace trovalen
