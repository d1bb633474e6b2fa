// The window as it is used: a scan that shows itself entry by entry and can be stopped, long
// results that keep the window responsive, the keyboard, and starts that cannot succeed.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "UiFixture.h"
#include "ui/FolderTree.h"
#include "ui/QtHooks.h"
#include "ui/Widgets.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen::test {
namespace {

int CountStarting(const TStringList& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& l : lines)
        n += U_StartsWith(l.Text, prefix) ? 1 : 0;
    return n;
}

class WindowUseTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        UseTree(kSmallTree);
    }
    void TearDown() override {
        // An observer may refer to a test's locals: none outlives the test.
        Observe([] {});
        TUiFixture::TearDown();
    }
    // Calls observe at every point where the window processes events.
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
    // Three checked start paths.
    void ThreePaths() {
        WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n1=\\\\FS1\\SYS\\HOME\n"
                      "2=\\\\FS1\\SYS\\APPS\\DATA\n[CheckListBoxPaths Checked]\n"
                      "\\\\FS1\\SYS\\APPS=1\n\\\\FS1\\SYS\\HOME=1\n\\\\FS1\\SYS\\APPS\\DATA=1\n");
    }
    std::string Pane(TMainForm& form, const char* name) {
        return S(Child<QPlainTextEdit>(form, name)->toPlainText());
    }
};

// --- Feedback during a scan ---------------------------------------------------------------------

TEST_F(WindowUseTest, PanesFillEntryByEntryWithTheStatusSayingWhere) {
    ThreePaths();
    auto form = Start(FileConfig());
    std::map<std::string, std::string> paneAtStatus; // status -> summary pane at that moment
    Observe([&] {
        std::string status = form->StatusText(1);
        if (U_StartsWith(status, "Scanning ") && !paneAtStatus.count(status.substr(0, 14)))
            paneAtStatus[status.substr(0, 14)] = Pane(*form, "MemoStandard");
    });
    form->BitBtnScanClick();
    ASSERT_EQ(paneAtStatus.size(), 3u);
    std::string second = paneAtStatus["Scanning 2 of "];
    EXPECT_NE(second.find("Path: \"\\\\FS1\\SYS\\APPS\""), std::string::npos) << second;
    EXPECT_NE(second.find("Effective Trustee:"), std::string::npos);
    EXPECT_EQ(second.find("Path: \"\\\\FS1\\SYS\\HOME\""), std::string::npos)
        << "the second entry is still being analysed";
    EXPECT_EQ(paneAtStatus["Scanning 1 of "].find("Path:"), std::string::npos);
    EXPECT_EQ(Pane(*form, "MemoStandard"), S(JoinLines(form->SummaryLines())));
    EXPECT_EQ(Pane(*form, "MemoDebug"), S(JoinLines(form->DetailsLines())));
    EXPECT_EQ(CountStarting(form->SummaryLines(), "Path: "), 3);
}

TEST_F(WindowUseTest, CancelEscapeAndExitStopWithinTheCurrentEntry) {
    enum class How { Button, Escape, Exit };
    for (How how : {How::Button, How::Escape, How::Exit}) {
        SCOPED_TRACE(static_cast<int>(how));
        ThreePaths();
        auto form = Start(FileConfig());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        auto* tabs = Child<QTabWidget>(*form, "PageControl1");
        tabs->setCurrentWidget(Child<QWidget>(*form, "TabSheetAction"));
        auto* cancel = Child<QPushButton>(*form, "BitBtnCancel");
        EXPECT_FALSE(cancel->isVisible());
        bool pressed = false;
        bool cancelShown = false;
        Observe([&] {
            if (pressed || !U_StartsWith(form->StatusText(1), "Scanning 1 of 3"))
                return;
            pressed = true;
            cancelShown = cancel->isVisible() && cancel->isEnabled();
            if (how == How::Button)
                QTest::mouseClick(cancel, Qt::LeftButton);
            else if (how == How::Escape)
                QTest::keyClick(Child<QWidget>(*form, "MemoStandard"), Qt::Key_Escape);
            else
                Child<QAction>(*form, "MenuExit")->trigger();
        });
        form->BitBtnScanClick();
        EXPECT_TRUE(pressed);
        EXPECT_TRUE(cancelShown);
        const TStringList& summary = form->SummaryLines();
        // The entry being analysed stops inside: it is not counted as done.
        EXPECT_EQ(CountStarting(summary, "Path: "), 1) << summary.Text("\n");
        EXPECT_EQ(summary[summary.Count() - 1], U_CancelledLine(0, 3));
        EXPECT_EQ(CountStarting(form->DetailsLines(), "Scan cancelled"), 1);
        EXPECT_EQ(Pane(*form, "MemoStandard"), S(JoinLines(summary)));
        EXPECT_FALSE(cancel->isVisible());
        EXPECT_TRUE(Child<QPushButton>(*form, "BitBtnScan")->isEnabled());
        EXPECT_EQ(form->isVisible(), how != How::Exit) << "File > Exit closes once stopped";
        Close(form);
        // The observer refers to this round's locals; the next round's start must not call it.
        Observe([] {});
    }
}

TEST_F(WindowUseTest, AHundredThousandLinesGoInInPiecesBetweenEvents) {
    constexpr int kLines = 100000;
    TStringList summary, details;
    for (int i = 0; i < kLines; ++i) {
        summary.Add(U_Format("Effective Trustee:\tUser\t[R F]\t.User%d.STAFF.ACME", i));
        if (i % 2 == 0)
            details.Add(U_Format("  Effective: [R F] -> [User] .User%d.STAFF.ACME", i));
    }
    auto form = Start(FileConfig());
    form->show();
    int events = 0;
    Observe([&] { ++events; });
    QElapsedTimer timer;
    timer.start();
    form->SetPanes(summary, details);
    std::printf("[ figures  ] %d + %d lines into the panes: %lld ms, %d event rounds\n", kLines,
                kLines / 2, static_cast<long long>(timer.elapsed()), events);
    // The window's events are processed at least once per piece of each pane.
    EXPECT_GE(events, kLines / 2000 - 1 + kLines / 2 / 2000 - 1);
    auto* pane = Child<QPlainTextEdit>(*form, "MemoStandard");
    EXPECT_EQ(pane->blockCount(), kLines);
    EXPECT_EQ(Child<QPlainTextEdit>(*form, "MemoDebug")->blockCount(), kLines / 2);
    EXPECT_EQ(S(pane->toPlainText()), S(JoinLines(summary)));
    EXPECT_EQ(form->SummaryLines().Count(), kLines);
}

// --- Readable results --------------------------------------------------------------------------

TEST_F(WindowUseTest, TabColumnsFollowTheWidestField) {
    struct Case {
        std::vector<std::string> lines;
        std::vector<int> before, after;
        bool changed;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}, false},
        {{"no tabs at all"}, {}, {}, false},
        {{"Effective Trustee:\tUser\t[R F]\t.Joe"}, {}, {18, 4, 5}, true},
        {{"a\tOrganizational Role\tx", "abc\tUser"}, {}, {3, 19}, true},
        {{"a\tb"}, {5, 7}, {5, 7}, false},      // narrower fields change nothing
        {{"\t\t"}, {}, {0, 0}, true},           // empty fields still make columns
        {{"K\xc3\xb6ln\tx"}, {3}, {4}, true},   // characters, not bytes
        {{"a\tb\tc\td"}, {1}, {1, 1, 1}, true}, // new columns are added
    };
    for (const auto& c : cases) {
        TStringList lines;
        for (const auto& l : c.lines)
            lines.Add(l);
        std::vector<int> widths = c.before;
        EXPECT_EQ(U_WidenTabColumns(lines.Items, widths), c.changed) << lines.Text("|");
        EXPECT_EQ(widths, c.after) << lines.Text("|");
    }
}

TEST_F(WindowUseTest, PaneTabStopsLineUpTheColumnsOfTheResult) {
    auto form = Start(FileConfig());
    auto* pane = Child<QPlainTextEdit>(*form, "MemoStandard");
    qreal advance = QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char(' '));
    TStringList summary{"Effective Trustee:\tOrganizational Role\t[R F]\t.Boss.ACME",
                        "Effective Trustee:\tUser\t[RWCEMFA]\t.Joe.ACME"};
    form->SetPanes(summary, TStringList());
    QList<qreal> stops = pane->document()->defaultTextOption().tabArray();
    ASSERT_EQ(stops.size(), 3);
    EXPECT_DOUBLE_EQ(stops[0], (18 + 2) * advance);
    EXPECT_DOUBLE_EQ(stops[1], (18 + 2 + 19 + 2) * advance);
    EXPECT_DOUBLE_EQ(stops[2], (18 + 2 + 19 + 2 + 9 + 2) * advance);
    EXPECT_EQ(S(pane->toPlainText()), S(JoinLines(summary))) << "the text keeps its tabs";
    // The rights of both lines start at the same place.
    QTextBlock first = pane->document()->firstBlock();
    QTextBlock second = first.next();
    ASSERT_TRUE(first.layout() && second.layout());
    qreal x1 = first.layout()->lineAt(0).cursorToX(summary[0].find('['));
    qreal x2 = second.layout()->lineAt(0).cursorToX(summary[1].find('['));
    EXPECT_DOUBLE_EQ(x1, x2);
    // A new result starts from its own columns.
    form->SetPanes(TStringList{"a\tb"}, TStringList());
    EXPECT_EQ(pane->document()->defaultTextOption().tabArray().size(), 1);
}

// --- Smaller points ----------------------------------------------------------------------------

TEST_F(WindowUseTest, ChangingTheTreeRecountsItsSelection) {
    WriteSettings("[CheckListBoxEdir - ACME_TREE]\n0=.Admin.ACME\n1=.Joe.SALES.ACME\n"
                  "[CheckListBoxEdir - ACME_TREE Checked]\n.Admin.ACME=1\n.Joe.SALES.ACME=1\n"
                  "[CheckListBoxEdir - OTHER_TREE]\n0=.Bob.O2\n"
                  "[CheckListBoxEdir - OTHER_TREE Checked]\n.Bob.O2=1\n");
    auto form = Start(EdirConfig());
    auto* label = Child<QLabel>(*form, "LabelObjSelected");
    EXPECT_EQ(label->text(), "#Objects Selected: 2");
    auto* combo = Child<QComboBox>(*form, "ComboBoxTrees");
    combo->setCurrentIndex(combo->findText("OTHER_TREE"));
    emit combo->activated(combo->currentIndex());
    EXPECT_EQ(label->text(), "#Objects Selected: 1");
    EXPECT_EQ(form->StatusText(0), "#Objects Selected: 1");
    // The user and the container have labels of their own.
    EXPECT_EQ(Child<QLabel>(*form, "LabelMyName")->buddy(), Child<QWidget>(*form, "EditMyName"));
    EXPECT_EQ(Child<QLabel>(*form, "LabelCurrentContainer")->buddy(),
              Child<QWidget>(*form, "EditCurrentContainer"));
}

TEST_F(WindowUseTest, ActiveFiltersShowAboveThePanes) {
    WriteSettings("[Settings]\nEditFilterExcl=adm\n");
    auto form = Start(EdirConfig());
    auto* label = Child<QLabel>(*form, "LabelActiveFilters");
    EXPECT_EQ(S(label->text()), "Filters: excluding names with \"adm\"");
    EXPECT_FALSE(label->isHidden());
    Child<QLineEdit>(*form, "EditFilterIncl")->setText("SALES");
    Child<QAction>(*form, "MenuSettingsShowOnlyUsers")->setChecked(true);
    EXPECT_EQ(S(label->text()), "Filters: excluding names with \"adm\"; only names with "
                                "\"SALES\"; only users");
    Child<QLineEdit>(*form, "EditFilterExcl")->clear();
    Child<QLineEdit>(*form, "EditFilterIncl")->clear();
    Child<QAction>(*form, "MenuSettingsShowOnlyUsers")->setChecked(false);
    EXPECT_TRUE(label->isHidden()) << "no filter, no line";
}

// --- Starts that cannot succeed -----------------------------------------------------------------

TEST_F(WindowUseTest, NoTreeFileLeavesOneMessageAndNoLocalFolders) {
    Client.reset();
    std::string error;
    ASSERT_EQ(MakeSimClient(Dir + "/missing.json", error), nullptr);
    for (TStartConfig config : {FileConfig(), EdirConfig()}) {
        Messages.clear();
        config.ClientError = error;
        auto form = Start(config);
        EXPECT_TRUE(Messages.empty()) << "the program's start has said why: " << Messages[0];
        auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
        EXPECT_EQ(tree->model()->rowCount(), 0) << "no local folder is offered";
        EXPECT_NE(S(tree->Hint()).find(error), std::string::npos) << S(tree->Hint());
        auto* objects = Child<TListBox>(*form, "ListBoxEdirObjects");
        EXPECT_EQ(objects->count(), 0);
        EXPECT_NE(S(objects->Hint()).find("No tree file could be loaded"), std::string::npos);
        Close(form);
    }
    // A client that fails to start still says so once.
    UseTree(std::string(kSmallTree).replace(1, 0, "\"clientStartup\": -328,"));
    Messages.clear();
    auto form = Start(FileConfig());
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), "Error FEB8: InitNetWare");
    EXPECT_EQ(Child<TFolderTree>(*form, "ShellTreeViewFiles")->model()->rowCount(), 0);
}

// --- Keyboard -----------------------------------------------------------------------------------

TEST_F(WindowUseTest, KeysAddToggleAndRemoveStartPaths) {
    // The folders of the tree file live below the mount root.
    for (const char* d : {"/FS1/SYS/APPS", "/FS1/SYS/HOME"})
        std::filesystem::create_directories(MountDir + d);
    auto form = Start(FileConfig());
    auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    ASSERT_GT(tree->model()->rowCount(), 0);
    tree->setFocus();
    tree->setCurrentIndex(tree->model()->index(0, 0));
    std::string first = tree->SelectedPath();
    EXPECT_EQ(form->StatusText(1).empty(), false);
    // Arrow keys move through the folders and the status bar follows, as with a click.
    QTest::keyClick(tree, Qt::Key_Right); // expand SYS
    QTest::keyClick(tree, Qt::Key_Down);
    std::string second = tree->SelectedPath();
    EXPECT_NE(second, first);
    EXPECT_EQ(second, "\\\\FS1\\SYS\\APPS");
    EXPECT_NE(form->StatusText(1).find("APPS"), std::string::npos) << form->StatusText(1);

    QTest::keyClick(tree, Qt::Key_Return);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), second);
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 1");

    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(list->Checked(0));
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 0");
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(list->Checked(0));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 0");
    EXPECT_TRUE(form->ListsChanged());
}

TEST_F(WindowUseTest, KeysOpenContainersAndAddObjects) {
    auto form = Start(EdirConfig());
    auto* containers = Child<TListBox>(*form, "ListBoxEdirContainers");
    auto* objects = Child<TListBox>(*form, "ListBoxEdirObjects");
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxEdir");
    auto acme = containers->findItems("ACME", Qt::MatchExactly);
    ASSERT_EQ(acme.size(), 1);
    containers->setCurrentItem(acme.first());
    QTest::keyClick(containers, Qt::Key_Return);
    EXPECT_EQ(form->Session().CurrentContext(), ".ACME");
    auto admin = objects->findItems("User: Admin", Qt::MatchExactly);
    ASSERT_EQ(admin.size(), 1);
    objects->setCurrentItem(admin.first());
    QTest::keyClick(objects, Qt::Key_Enter);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), ".Admin.ACME");
    EXPECT_TRUE(list->Checked(0));
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(Child<QLabel>(*form, "LabelObjSelected")->text(), "#Objects Selected: 0");
}

// Every Alt+letter reaches one control or menu on each page of both windows.
TEST_F(WindowUseTest, EachAccessKeyDoesOneThing) {
    for (TStartConfig config : {FileConfig(), EdirConfig(), TStartConfig{0, true, false}}) {
        auto form = Start(config, {"/debug"});
        form->show();
        auto* tabs = Child<QTabWidget>(*form, "PageControl1");
        for (int page = 0; page < tabs->count(); ++page) {
            if (!tabs->isTabVisible(page))
                continue;
            tabs->setCurrentIndex(page);
            std::multimap<QKeySequence, QString> keys;
            auto add = [&](const QString& text) {
                QKeySequence key = QKeySequence::mnemonic(text);
                if (!key.isEmpty())
                    keys.emplace(key, text);
            };
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->isTabVisible(i))
                    add(tabs->tabText(i));
            for (QAction* a : form->menuBar()->actions())
                if (a->isVisible())
                    add(a->text());
            for (QWidget* w : tabs->currentWidget()->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(form.get()))
                    continue;
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    add(b->text());
                else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy())
                    add(l->text());
                else if (auto* g = qobject_cast<QGroupBox*>(w))
                    add(g->title());
            }
            for (auto it = keys.begin(); it != keys.end(); ++it)
                EXPECT_EQ(keys.count(it->first), 1u)
                    << S(tabs->tabText(page)) << ": " << S(it->first.toString()) << " on "
                    << S(it->second);
        }
        Close(form);
    }
}

} // namespace
} // namespace trovalen::test
