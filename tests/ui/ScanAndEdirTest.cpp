// The scan button over the scan run, and the eDirectory page of the eDirectory variant.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include "UiFixture.h"
#include "ui/QtHooks.h"
#include "ui/ScanBanner.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen::test {
namespace {

class ScanTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        UseTree(kSmallTree);
    }
    // Calls observe at every point where the run lets the window process events.
    void Observe(std::function<void()> observe) {
        TUiHooks hooks = U_QtUiHooks();
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            Messages.push_back(text);
        };
        hooks.ProcessEvents = [observe] {
            observe();
            QCoreApplication::processEvents();
        };
        U_SetUiHooks(hooks);
    }
};

TEST_F(ScanTest, ScanFillsThePanesAndLocksTheSelectionWhileItRuns) {
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n1=\\\\FS1\\SYS\\NOPE\n"
                  "2=\\\\FS1\\SYS\\HOME\n[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n"
                  "\\\\FS1\\SYS\\NOPE=1\n");
    auto form = Start(FileConfig(), {"/debug"});
    auto* scan = Child<QPushButton>(*form, "BitBtnScan");
    int calls = 0;
    bool unlocked = false;
    Observe([&] {
        ++calls;
        unlocked |= scan->isEnabled() || QApplication::overrideCursor() == nullptr ||
                    Child<QWidget>(*form, "TabSheetSelectPath")->isEnabled();
        // A change of page recounts, but must not release the button.
        Child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(calls % 3);
    });
    form->BitBtnScanClick();
    EXPECT_GT(calls, 0);
    EXPECT_FALSE(unlocked) << "button, cursor and selection stay locked during the run";
    EXPECT_TRUE(scan->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Child<QWidget>(*form, "TabSheetSelectPath")->isEnabled());
    EXPECT_EQ(form->StatusText(1).rfind("Scanned 2 entries: 2 trustees, 1 incomplete, in ", 0), 0u)
        << form->StatusText(1);
    EXPECT_NE(form->BannerText().find("\\\\FS1\\SYS\\NOPE (not found)"), std::string::npos)
        << "the path that is not found is said above the panes: " << form->BannerText();

    const TStringList& summary = form->SummaryLines();
    ASSERT_GT(summary.Count(), 5);
    EXPECT_EQ(summary[0], "Version:   Trovalen.file v1.6 (2009-09) ");
    EXPECT_TRUE(Contains(summary, "Settings:  Scan Subdirs=FALSE"));
    EXPECT_TRUE(Contains(summary, "Path: \"\\\\FS1\\SYS\\APPS\""));
    EXPECT_TRUE(Contains(summary, "Effective Trustee:"));
    EXPECT_TRUE(Contains(summary, "\\\\FS1\\SYS\\NOPE\" (not found)"));
    EXPECT_TRUE(Contains(summary, "Invalid Path (\\\\FS1\\SYS\\NOPE)"));
    EXPECT_FALSE(Contains(summary, "HOME")) << "unchecked entries are not scanned";
    EXPECT_GT(form->DetailsLines().Count(), summary.Count());
    EXPECT_EQ(S(Child<QPlainTextEdit>(*form, "MemoStandard")->toPlainText()),
              S(JoinLines(summary)));
    EXPECT_TRUE(Contains(TStringList([&] {
                             TStringList log;
                             for (const auto& t : Texts(Child<QListWidget>(*form, "ListBoxLog")))
                                 log.Add(t);
                             return log;
                         }()),
                         "TV: Check Path \"\\\\FS1\\SYS\\APPS\""));

    // Now there are details to show.
    Child<QAction>(*form, "ActionSettingsShowDetails")->trigger();
    EXPECT_TRUE(Child<QCheckBox>(*form, "CheckBoxDebug")->isChecked());
    form->Save().ActionSaveAsExecute();
    EXPECT_EQ(form->Save().CurrentMemo()->objectName(), "MemoDebug");
    EXPECT_TRUE(Child<QAction>(*form, "ActionSaveAsTxt")->isEnabled());
}

TEST_F(ScanTest, WithoutDebugTheLogStaysEmpty) {
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n");
    auto form = Start(FileConfig());
    form->BitBtnScanClick();
    EXPECT_TRUE(Contains(form->SummaryLines(), "Effective Trustee:"));
    EXPECT_EQ(Child<QListWidget>(*form, "ListBoxLog")->count(), 0);
}

TEST_F(ScanTest, CloseDuringTheRunWaitsForItsEnd) {
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n");
    auto form = Start(FileConfig());
    form->show();
    Child<QLineEdit>(*form, "EditFilterExcl")->setText("nobody");
    bool closedEarly = false;
    bool asked = false;
    Observe([&] {
        if (!asked) {
            asked = true;
            form->close();
            closedEarly = !form->isVisible();
        }
    });
    form->BitBtnScanClick();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(closedEarly);
    EXPECT_FALSE(form->isVisible()) << "the window closes once the run has ended";
    EXPECT_TRUE(Contains(form->SummaryLines(), "Path: \"\\\\FS1\\SYS\\APPS\""));
    EXPECT_EQ(Settings()->ReadString("Settings", "EditFilterExcl", ""), "nobody");
}

class EdirTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        UseTree(kSmallTree);
    }
    static void DoubleClick(TMainForm& form, const char* list, const std::string& text) {
        auto* w = Child<QListWidget>(form, list);
        auto found = w->findItems(Q(text), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << text;
        w->setCurrentItem(found.first());
        emit w->itemDoubleClicked(found.first());
    }
    static void ChooseTree(TMainForm& form, const std::string& tree) {
        auto* combo = Child<QComboBox>(form, "ComboBoxTrees");
        combo->setCurrentIndex(combo->findText(Q(tree)));
        emit combo->activated(combo->currentIndex());
    }
};

TEST_F(EdirTest, StartsAtTheRootOfThePrimaryTree) {
    auto form = Start(EdirConfig());
    auto* tabs = Child<QTabWidget>(*form, "PageControl1");
    EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(Child<QWidget>(*form, "TabSheetSelectEdir"))));
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(Child<QWidget>(*form, "TabSheetSelectPath"))));
    EXPECT_TRUE(Child<QMenu>(*form, "MenuSettings")->menuAction()->isVisible())
        << "\"Show only Users\" is reachable in the eDirectory window too";
    EXPECT_EQ(form->VariantName(), "Trovalen.edir");

    auto* combo = Child<QComboBox>(*form, "ComboBoxTrees");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "ACME_TREE");
    EXPECT_EQ(form->Session().CurrentTree(), "ACME_TREE");
    EXPECT_EQ(Child<QLineEdit>(*form, "EditCurrentContainer")->text(), "[Root]");
    EXPECT_FALSE(Child<QLineEdit>(*form, "EditMyName")->text().isEmpty());
    auto containers = Texts(Child<QListWidget>(*form, "ListBoxEdirContainers"));
    EXPECT_EQ(containers, std::vector<std::string>{"ACME"}) << "no [ .. ] at the root";
    auto objects = Texts(Child<QListWidget>(*form, "ListBoxEdirObjects"));
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects[0], "[Root]: [Root]");

    // The root entry selects the tree root itself.
    DoubleClick(*form, "ListBoxEdirObjects", "[Root]: [Root]");
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxEdir");
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), "[Root]");
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(Child<QLabel>(*form, "LabelObjSelected")->text(), "#Objects Selected: 1");
    EXPECT_TRUE(Child<QPushButton>(*form, "BitBtnScan")->isEnabled());

    form->BitBtnScanClick();
    EXPECT_TRUE(Contains(form->SummaryLines(), "Settings:  Scan type=eDirectory"));
    EXPECT_FALSE(Contains(form->SummaryLines(), "Scan Subdirs"));
}

TEST_F(EdirTest, ARunThatIsNotWholeSaysSoInTheStatusBar) {
    auto form = Start(EdirConfig());
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxEdir");
    list->SetEntries({{"[Root]", true}, {".Nobody.ACME", true}});
    form->BitBtnScanClick();
    EXPECT_EQ(form->StatusText(1).rfind("Scanned 2 entries: 0 trustees, 1 incomplete, in ", 0), 0u)
        << form->StatusText(1);
    EXPECT_EQ(form->BannerText(), "1 of 2 entries incomplete: .Nobody.ACME (not found)");
    EXPECT_FALSE(form->ScanBanner()->isHidden());
    // A whole run says so, and the banner goes.
    list->SetEntries({{"[Root]", true}});
    form->BitBtnScanClick();
    EXPECT_EQ(form->StatusText(1).rfind("Scanned 1 entry: 0 trustees, 0 incomplete, in ", 0), 0u);
    EXPECT_EQ(form->BannerText(), "");
    EXPECT_TRUE(form->ScanBanner()->isHidden());
}

TEST_F(EdirTest, AnObjectThatCannotBeResolvedAddsNoEntry) {
    auto form = Start(EdirConfig());
    auto* objects = Child<QListWidget>(*form, "ListBoxEdirObjects");
    // An object that went away after the listing.
    auto* ghost = new QListWidgetItem("User: Ghost", objects);
    ghost->setData(Qt::UserRole + 1, 6);
    Messages.clear();
    DoubleClick(*form, "ListBoxEdirObjects", "User: Ghost");
    EXPECT_EQ(Child<TCheckListBox>(*form, "CheckListBoxEdir")->Count(), 0);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("DSGetDN"), std::string::npos) << Messages[0];
}

TEST_F(EdirTest, BrowsingUpAndDown) {
    auto form = Start(EdirConfig());
    auto* current = Child<QLineEdit>(*form, "EditCurrentContainer");
    DoubleClick(*form, "ListBoxEdirContainers", "ACME");
    EXPECT_EQ(current->text(), ".ACME");
    EXPECT_EQ(form->Session().CurrentContext(), ".ACME");
    auto containers = Texts(Child<QListWidget>(*form, "ListBoxEdirContainers"));
    EXPECT_EQ(containers, (std::vector<std::string>{"[ .. ]", "SALES"}));
    auto objects = Texts(Child<QListWidget>(*form, "ListBoxEdirObjects"));
    EXPECT_NE(std::find(objects.begin(), objects.end(), "User: Admin"), objects.end());
    EXPECT_EQ(std::find(objects.begin(), objects.end(), "[Root]: [Root]"), objects.end());

    DoubleClick(*form, "ListBoxEdirContainers", "SALES");
    EXPECT_EQ(current->text(), ".SALES.ACME");
    DoubleClick(*form, "ListBoxEdirContainers", "[ .. ]");
    DoubleClick(*form, "ListBoxEdirContainers", "[ .. ]");
    EXPECT_EQ(current->text(), "[Root]") << "up from a top-level container is the root";
}

TEST_F(EdirTest, EachTreeKeepsItsContainerAndList) {
    auto form = Start(EdirConfig());
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxEdir");
    DoubleClick(*form, "ListBoxEdirContainers", "ACME");
    DoubleClick(*form, "ListBoxEdirContainers", "SALES");
    list->SetEntries({{".joe.sales.acme", false, 0}});
    DoubleClick(*form, "ListBoxEdirObjects", "User: Joe");
    ASSERT_EQ(list->Count(), 1) << "an object already selected is not added again";
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(list->currentRow(), 0);
    DoubleClick(*form, "ListBoxEdirObjects", "User: Amy");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Text(1), ".Amy.SALES.ACME");
    list->SetChecked(1, false);

    ChooseTree(*form, "OTHER_TREE");
    EXPECT_EQ(form->Session().CurrentTree(), "OTHER_TREE");
    EXPECT_EQ(Child<QLineEdit>(*form, "EditCurrentContainer")->text(), "[Root]");
    EXPECT_EQ(list->Count(), 0) << "a tree never chosen before has an empty list";

    ChooseTree(*form, "ACME_TREE");
    EXPECT_EQ(Child<QLineEdit>(*form, "EditCurrentContainer")->text(), ".SALES.ACME");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Text(0), ".joe.sales.acme");
    EXPECT_TRUE(list->Checked(0));
    EXPECT_FALSE(list->Checked(1));

    // The list of the tree shown at close comes back at the next start.
    Close(form);
    form = Start(EdirConfig());
    list = Child<TCheckListBox>(*form, "CheckListBoxEdir");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(Child<QLineEdit>(*form, "EditCurrentContainer")->text(), ".SALES.ACME");
    EXPECT_EQ(form->StatusText(0), "#Objects Selected: 1");
}

} // namespace
} // namespace trovalen::test

namespace trovalen::test {
namespace {

TEST_F(ScanTest, OnlyUsersItemReachesTheScanAndIsKept) {
    UseTree(R"({"format": 1, "trees": [{"name": "T", "objects": [
        {"name": "O", "class": "Organization"},
        {"name": "Ann.O", "class": "User"},
        {"name": "Crew.O", "class": "Group"},
        {"name": "FS.O", "class": "NCP Server"}]}],
      "servers": [{"name": "FS", "tree": "T", "object": ".FS.O",
        "volumes": [{"name": "SYS", "dirs": {"D": {"trustees": {".Ann.O": "RF", ".Crew.O": "RF"}}}}]}],
      "connections": [{"server": "FS", "user": ".Ann.O", "primary": true}]})");
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS\\SYS\\D\n[CheckListBoxPaths Checked]\n"
                  "\\\\FS\\SYS\\D=1\n[Settings]\nMenuSettingsShowOnlyUsers=1\n");
    {
        auto form = Start(FileConfig(), {});
        auto* onlyUsers = Child<QAction>(*form, "MenuSettingsShowOnlyUsers");
        ASSERT_TRUE(onlyUsers->isChecked());
        form->BitBtnScanClick();
        EXPECT_TRUE(Contains(form->SummaryLines(), "Effective Trustee:\tUser\t[R    F  ]\t.Ann.O"));
        EXPECT_FALSE(Contains(form->SummaryLines(), ".Crew.O")) << "a group cannot log in";
        onlyUsers->setChecked(false);
        form->BitBtnScanClick();
        EXPECT_TRUE(
            Contains(form->SummaryLines(), "Effective Trustee:\tGroup\t[R    F  ]\t.Crew.O"));
        Close(form);
    }
    auto again = Start(FileConfig(), {});
    EXPECT_FALSE(Child<QAction>(*again, "MenuSettingsShowOnlyUsers")->isChecked());
}

} // namespace
} // namespace trovalen::test
