// The control walk over Qt widgets: every kind round-trips through the settings file, windows
// and splitters use their own keys, geometry skips what it must not apply.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "UiFixture.h"
#include "settings/Ini.h"
#include "ui/ControlState.h"
#include "ui/Widgets.h"

namespace trovalen::test {
namespace {

class ControlStateTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        File = std::make_unique<TIniFile>(Dir + "/state.ini");
    }
    void TearDown() override {
        File.reset();
        TUiFixture::TearDown();
    }
    std::vector<std::string> Keys(const std::string& section) const {
        TStringList keys;
        File->ReadSection(section, keys);
        return keys.Strings();
    }
    std::unique_ptr<TIniFile> File;
};

// A panel with one control of every kind; the values given are the ones before a load.
struct TPanel {
    explicit TPanel(bool filled) {
        // A panel inside a window, as the window's panels are.
        panel->setObjectName("Panel");
        auto* layout = new QVBoxLayout(panel);
        edit->setObjectName("EditA");
        check->setObjectName("CheckA");
        spin->setObjectName("SpinA");
        spin->setRange(0, 100);
        fixed->setObjectName("ComboFixed");
        fixed->addItems({"x", "y", "z"});
        history->setObjectName("ComboHist");
        history->setEditable(true);
        radio->setObjectName("RadioA");
        radio->Add("one", 1);
        radio->Add("two", 2);
        slider->setObjectName("SliderA");
        slider->setRange(0, 10);
        list->setObjectName("CheckListA");
        memo->setObjectName("MemoEdit");
        readOnly->setObjectName("MemoRO");
        readOnly->setReadOnly(true);
        grid->setObjectName("GridA");
        grid->setRowCount(2);
        grid->setColumnCount(2);
        // An unnamed container: stores nothing itself, its children still count.
        auto* unnamed = new QWidget(panel);
        auto* inner = new QVBoxLayout(unnamed);
        nested->setObjectName("EditNested");
        inner->addWidget(nested);
        for (QWidget* w : std::initializer_list<QWidget*>{edit, check, spin, fixed, history, radio,
                                                          slider, list, memo, readOnly, grid})
            layout->addWidget(w);
        layout->addWidget(unnamed);
        if (filled) {
            edit->setText(" spaced ");
            check->setChecked(true);
            spin->setValue(42);
            fixed->setCurrentIndex(1);
            history->setEditText("typed");
            radio->SetItemIndex(1);
            slider->setValue(7);
            list->SetEntries({{"alpha", true, 0}, {"beta", false, 0}});
            memo->setPlainText("line one\n  line two");
            readOnly->setPlainText("not stored");
            grid->setItem(0, 0, new QTableWidgetItem("a0"));
            grid->setItem(1, 1, new QTableWidgetItem("b1"));
            nested->setText("inner");
        } else {
            readOnly->setPlainText("old");
            grid->setItem(1, 0, new QTableWidgetItem("keep"));
            list->SetEntries({{"stale", true, 0}});
        }
    }
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    QWidget* panel = new QWidget(host.get());
    QLineEdit* edit = new QLineEdit(panel);
    QCheckBox* check = new QCheckBox(panel);
    QSpinBox* spin = new QSpinBox(panel);
    QComboBox* fixed = new QComboBox(panel);
    QComboBox* history = new QComboBox(panel);
    TRadioGroup* radio = new TRadioGroup("Radio", panel);
    QSlider* slider = new QSlider(panel);
    TCheckListBox* list = new TCheckListBox(panel);
    QPlainTextEdit* memo = new QPlainTextEdit(panel);
    QPlainTextEdit* readOnly = new QPlainTextEdit(panel);
    QTableWidget* grid = new QTableWidget(panel);
    QLineEdit* nested = new QLineEdit();
};

TEST_F(ControlStateTest, EveryKindRoundTripsAndUsesItsKeys) {
    TPanel saved(true);
    U_IniSaveControls(*File, "Settings", saved.panel);

    EXPECT_EQ(File->ReadString("Settings", "CheckA", ""), "1");
    EXPECT_EQ(File->ReadString("Settings", "SpinA", ""), "42");
    EXPECT_EQ(File->ReadString("Settings", "ComboFixed", ""), "y");
    EXPECT_EQ(File->ReadString("Settings", "RadioA", ""), "1");
    EXPECT_EQ(File->ReadString("Settings", "EditNested", ""), "inner");
    EXPECT_EQ(File->ReadString("Settings CheckListA", "alpha", ""), "1");
    EXPECT_EQ(File->ReadString("Settings CheckListA", "beta", ""), "0");
    EXPECT_EQ(File->ReadString("History ComboHist", "Current", ""), "typed");
    EXPECT_FALSE(File->SectionExists("Settings MemoRO")) << "a read-only pane is not stored";
    EXPECT_EQ(File->ReadString("Settings GridA", "Cell.0.0", ""), "a0");
    EXPECT_FALSE(File->ValueExists("Settings GridA", "Cell.0.1")) << "an empty cell is not stored";

    TPanel loaded(false);
    U_IniLoadControls(*File, "Settings", loaded.panel);
    EXPECT_EQ(loaded.edit->text(), " spaced ") << "surrounding blanks survive";
    EXPECT_TRUE(loaded.check->isChecked());
    EXPECT_EQ(loaded.spin->value(), 42);
    EXPECT_EQ(loaded.fixed->currentText(), "y");
    EXPECT_EQ(loaded.history->currentText(), "typed");
    EXPECT_EQ(loaded.history->findText("typed"), 0);
    EXPECT_EQ(loaded.radio->ItemIndex(), 1);
    EXPECT_EQ(loaded.slider->value(), 7);
    EXPECT_EQ(loaded.list->Entries(), (TCheckList{{"alpha", true, 0}, {"beta", false, 0}}));
    EXPECT_EQ(loaded.memo->toPlainText(), "line one\n  line two");
    EXPECT_EQ(loaded.readOnly->toPlainText(), "") << "an absent section empties the pane";
    EXPECT_EQ(loaded.grid->item(0, 0)->text(), "a0");
    EXPECT_EQ(loaded.grid->item(1, 1)->text(), "b1");
    ASSERT_NE(loaded.grid->item(1, 0), nullptr);
    EXPECT_EQ(loaded.grid->item(1, 0)->text(), "keep") << "an unstored cell keeps its text";
    EXPECT_EQ(loaded.nested->text(), "inner");
}

TEST_F(ControlStateTest, CheckListKeepsOrderAndMarks) {
    TCheckListBox box;
    box.SetEntries({{"a", true, 0}, {"b", false, 0}, {"[x] y", true, 0}});
    U_IniSaveCheckList(*File, "L", &box);
    EXPECT_EQ(Keys("L"), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(File->ReadString("L", "0", ""), "a");
    EXPECT_EQ(File->ReadString("L", "1", ""), "b");
    EXPECT_EQ(Keys("L Checked"), (std::vector<std::string>{"a", "x y"}));

    TCheckListBox loaded;
    loaded.SetEntries({{"old", true, 0}});
    U_IniLoadCheckList(*File, "L", &loaded);
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.Text(0), "a");
    EXPECT_TRUE(loaded.Checked(0));
    EXPECT_EQ(loaded.Text(1), "b");
    EXPECT_FALSE(loaded.Checked(1));
    EXPECT_EQ(loaded.Text(2), "[x] y");
    EXPECT_TRUE(loaded.Checked(2)) << "brackets leave the key on save and load alike";

    U_IniLoadCheckList(*File, "Absent", &loaded);
    EXPECT_EQ(loaded.Count(), 0);
}

TEST_F(ControlStateTest, WindowsSplittersAndGeometry) {
    QWidget window;
    window.setObjectName("Dlg");
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    edit->setObjectName("EditX");
    edit->setText("v");
    auto* splitter = new QSplitter(Qt::Vertical, &window);
    auto* top = new QWidget();
    top->setObjectName("PaneTop");
    auto* bottom = new QWidget();
    bottom->setObjectName("PaneBottom");
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    layout->addWidget(edit);
    layout->addWidget(splitter);
    window.resize(400, 400);
    window.show();
    splitter->setSizes({90, 210});
    window.move(30, 40);

    U_IniSaveControls(*File, "S", &window);
    EXPECT_EQ(File->ReadString("S Dlg", "EditX", ""), "v") << "a window adds its name";
    const QList<int> sizes = splitter->sizes();
    EXPECT_EQ(File->ReadInteger("S Dlg", "PaneTop.Height", -1), sizes[0]);
    EXPECT_EQ(File->ReadInteger("S Dlg", "PaneBottom.Height", -1), sizes[1]);
    EXPECT_EQ(Keys("S Dlg").at(0), "Dlg.Top") << "geometry comes first, top edge first";
    EXPECT_EQ(File->ReadInteger("S Dlg", "Dlg.Width", 0), 400);

    splitter->setSizes({sizes[1], sizes[0]});
    edit->clear();
    U_IniLoadControls(*File, "S", &window);
    EXPECT_EQ(edit->text(), "v");
    EXPECT_EQ(splitter->sizes(), sizes);

    // A stored 0 is no position; a centred window keeps its place whatever is stored.
    QWidget win;
    win.setObjectName("Win");
    win.resize(300, 200);
    win.move(11, 12);
    File->WriteInteger("G", "Win.Left", 0);
    File->WriteInteger("G", "Win.Top", 77);
    File->WriteInteger("G", "Win.Width", 0);
    File->WriteInteger("G", "Win.Height", 333);
    U_IniLoadGeometry(*File, "G", &win);
    EXPECT_EQ(win.x(), 11);
    EXPECT_EQ(win.y(), 77);
    EXPECT_EQ(win.width(), 300);
    EXPECT_EQ(win.height(), 333);

    QWidget centred;
    centred.setObjectName("Win");
    centred.resize(120, 80);
    U_SetCentredPlacement(&centred, true);
    U_IniLoadGeometry(*File, "G", &centred);
    EXPECT_EQ(centred.height(), 80);
    EXPECT_NE(centred.y(), 77);
}

TEST_F(ControlStateTest, ActionsTakeTheirStoredMarkOrFalse) {
    QAction stored, absent, unnamed;
    stored.setObjectName("ActionOne");
    absent.setObjectName("ActionTwo");
    for (QAction* a : {&stored, &absent, &unnamed}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    File->WriteString("Settings", "ActionOne", "1");
    U_IniLoadActions(*File, "Settings", {&stored, &absent, &unnamed});
    EXPECT_TRUE(stored.isChecked());
    EXPECT_FALSE(absent.isChecked());
    EXPECT_TRUE(unnamed.isChecked()) << "a command without a name has no key";
}

} // namespace
} // namespace trovalen::test
