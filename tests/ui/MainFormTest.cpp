// The main window of the File-system variant: start-up, the DEBUG switch, the count and the scan
// button, the details switch, what a close writes, the start-path page and the save commands.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "UiFixture.h"
#include "ui/FolderTree.h"
#include "ui/FormAbout.h"
#include "ui/FormHelp.h"
#include "ui/Widgets.h"
#include "util/Export.h"
#include "util/Platform.h"

namespace trovalen::test {
namespace {

namespace fs = std::filesystem;

bool TabShown(TMainForm& form, const char* page) {
    auto* tabs = Child<QTabWidget>(form, "PageControl1");
    return tabs->isTabVisible(tabs->indexOf(Child<QWidget>(form, page)));
}

std::string FileText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The lines of a section as the file holds them, header included.
std::string SectionText(const std::string& text, const std::string& section) {
    size_t start = text.find("[" + section + "]");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find("\n[", start + 1);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TStringList Lines(std::initializer_list<std::string> lines) {
    return TStringList(lines);
}

class MainFormTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        UseTree(kSmallTree);
    }
};

TEST_F(MainFormTest, DebugSwitchFormsShowTheTroubleshootingPage) {
    struct TCase {
        std::vector<std::string> args;
        bool shown;
    };
    for (const TCase& c :
         {TCase{{"/debug"}, true}, TCase{{"DEBUG"}, true}, TCase{{"other", "\\Debug"}, true},
          TCase{{"/DEB"}, false}, TCase{{"/DEBUGX"}, false}, TCase{{}, false}}) {
        auto form = Start(FileConfig(), c.args);
        EXPECT_EQ(TabShown(*form, "TabSheetDebug"), c.shown)
            << (c.args.empty() ? std::string("(none)") : c.args.back());
        EXPECT_EQ(form->DebugMode(), c.shown);
        Close(form);
    }
}

TEST_F(MainFormTest, StartUpShowsTheFileSystemPagesAndTheFirstServer) {
    std::ofstream(Dir + "/bin/trovalen.txt") << "Help line one\nHelp line two\n";
    auto form = Start(FileConfig());
    form->show();

    EXPECT_EQ(form->windowTitle(), "Effective Rights Analysis");
    auto* tabs = Child<QTabWidget>(*form, "PageControl1");
    EXPECT_EQ(tabs->currentWidget(), Child<QWidget>(*form, "TabSheetInfo"));
    EXPECT_TRUE(TabShown(*form, "TabSheetSettings"));
    EXPECT_TRUE(TabShown(*form, "TabSheetSelectPath"));
    EXPECT_FALSE(TabShown(*form, "TabSheetSelectEdir"));
    EXPECT_TRUE(TabShown(*form, "TabSheetAction"));
    EXPECT_EQ(Child<QPlainTextEdit>(*form, "Memo1")->toPlainText(), "Help line one\nHelp line two");
    EXPECT_TRUE(Child<QWidget>(*form, "PanelSettingsWdr")->isHidden());
    EXPECT_FALSE(Child<QPushButton>(*form, "BitBtnScan")->isEnabled());
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 0");
    EXPECT_EQ(form->StatusText(0), "#Start Paths Selected: 0");
    EXPECT_FALSE(Child<QAction>(*form, "ActionSaveAsTxt")->isEnabled());

    auto* servers = Child<TRadioGroup>(*form, "RadioGroupServers");
    ASSERT_EQ(servers->Count(), 2);
    EXPECT_EQ(servers->Text(0), "FS1");
    EXPECT_EQ(servers->Text(1), "FS2");
    EXPECT_EQ(servers->ItemIndex(), 0);
    EXPECT_NE(form->Session().ConnHandle(), NO_CONNECTION);
    auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
    EXPECT_TRUE(tree->isEnabled());
    EXPECT_EQ(tree->Root(), "\\\\FS1\\");
    EXPECT_EQ(tree->model()->rowCount(), 1) << "the volume SYS";

    servers->Click(1);
    EXPECT_EQ(form->Session().ServerName(), "FS2");
    EXPECT_EQ(tree->Root(), "\\\\FS2\\");

    TFormAbout* about = form->FormAbout();
    EXPECT_EQ(about->Application(), "Trovalen.file");
    EXPECT_EQ(about->Version(), "v1.6 (2009-09) ");
    EXPECT_EQ(about->windowTitle(), "About Trovalen.file");
    EXPECT_EQ(about->Address(), "file://" + Dir + "/bin/trovalen.txt");
    Launched.clear();
    form->StatusBarClick();
    ASSERT_EQ(Launched.size(), 1u);
    EXPECT_NE(Launched[0].File.find("trovalen.txt"), std::string::npos);
}

TEST_F(MainFormTest, UnauthenticatedServerDisablesTheFolderTree) {
    UseTree(std::string()); // the sample tree: one of its connections is not logged in
    auto form = Start(FileConfig());
    auto* servers = Child<TRadioGroup>(*form, "RadioGroupServers");
    auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
    int unauthenticated = -1;
    for (int i = 0; i < servers->Count(); ++i)
        if (servers->Text(i) == "CV-BAK")
            unauthenticated = i;
    ASSERT_GE(unauthenticated, 0);
    std::string root = tree->Root();
    servers->Click(unauthenticated);
    EXPECT_EQ(form->ConnUserName(), "<not authenticated>");
    EXPECT_FALSE(tree->isEnabled());
    EXPECT_EQ(tree->model()->rowCount(), 0) << "none of the previous server's volumes stay";
    EXPECT_EQ(S(tree->Hint()), "Not logged in to CV-BAK");
    servers->Click(0);
    EXPECT_TRUE(tree->isEnabled());
    EXPECT_EQ(tree->Root(), root);
}

TEST_F(MainFormTest, AboutBoxLinkShowsTheHelpTextInItsOwnWindow) {
    const std::string help = "Help\n\n  trovalen        analyses directories\n"
                             "  trovalen-edir   analyses objects";
    std::ofstream(Dir + "/bin/trovalen.txt") << help << "\n";
    auto form = Start(FileConfig());
    form->show();
    EXPECT_EQ(form->FormHelp(), nullptr);
    Launched.clear();
    // The About box runs modally; its link is clicked once it shows.
    bool clicked = false;
    QTimer::singleShot(0, form.get(), [&] {
        TFormAbout* about = form->FormAbout();
        clicked = about->isVisible();
        auto* link = about->findChild<QLabel*>("LabelWeb");
        ASSERT_NE(link, nullptr);
        QTest::mouseClick(link, Qt::LeftButton);
    });
    Child<QAction>(*form, "ActionAbout")->trigger();
    ASSERT_TRUE(clicked);
    EXPECT_FALSE(form->FormAbout()->isVisible()) << "the About box makes way for the help";
    EXPECT_TRUE(Launched.empty()) << "no file URL handed to the desktop";

    TFormHelp* window = form->FormHelp();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowTitle(), "Trovalen.file Help");
    // The program's help text, then how to read a result.
    EXPECT_EQ(window->Text().substr(0, help.size()), help);
    EXPECT_NE(window->Text().find("\nREADING A RESULT\n"), std::string::npos);
    auto* memo = window->findChild<QPlainTextEdit*>("MemoHelp");
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_TRUE(window->FixedPitch()) << "the text is laid out in columns";

    // Opened again after the file changed: one window, the text read afresh.
    window->close();
    std::ofstream(Dir + "/bin/trovalen.txt") << "Plain prose. Nothing in columns.\n";
    form->ShowHelpText();
    EXPECT_EQ(form->FormHelp(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Text().rfind("Plain prose. Nothing in columns.\n", 0), 0u);
    EXPECT_TRUE(window->FixedPitch()) << "the guide to a result is laid out in columns";
    EXPECT_EQ(form->findChildren<TFormHelp*>().size(), 1);
}

TEST_F(MainFormTest, HelpTextColumnsAreFoundByTheirGaps) {
    auto lines = [](std::initializer_list<std::string> l) { return TStringList(l); };
    EXPECT_TRUE(TFormHelp::LaidOutInColumns(lines({"prose", "  name        what it does"})));
    EXPECT_TRUE(TFormHelp::LaidOutInColumns(lines({"Name\tValue"})));
    EXPECT_FALSE(TFormHelp::LaidOutInColumns(lines({"    indented only", "", "   "})));
    EXPECT_FALSE(TFormHelp::LaidOutInColumns(lines({"One sentence.  Another one?  Yes:  no."})));
    EXPECT_FALSE(TFormHelp::LaidOutInColumns(lines({"trailing blanks   ", "\ttab first"})));
    EXPECT_FALSE(TFormHelp::LaidOutInColumns(lines({})));
}

TEST_F(MainFormTest, MissingHelpTextSaysWhereItWasLookedFor) {
    auto form = Start(FileConfig());
    std::string text = S(Child<QPlainTextEdit>(*form, "Memo1")->toPlainText());
    EXPECT_EQ(text.rfind("Could not find ", 0), 0u) << text;
    EXPECT_NE(text.find("trovalen.txt"), std::string::npos);
}

TEST_F(MainFormTest, CountAndScanButtonFollowTheCheckedEntries) {
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n1=\\\\FS1\\SYS\\HOME\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n");
    auto form = Start(FileConfig());
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    auto* scan = Child<QPushButton>(*form, "BitBtnScan");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(form->StatusText(0), "#Start Paths Selected: 1") << "unchecked entries do not count";
    EXPECT_TRUE(scan->isEnabled());
    EXPECT_FALSE(form->ListsChanged());

    list->SetChecked(0, false);
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 0");
    EXPECT_FALSE(scan->isEnabled()) << "unchecking the last checked entry disables the scan";
    EXPECT_TRUE(form->ListsChanged());

    list->SetChecked(1, true);
    EXPECT_TRUE(scan->isEnabled());
    // A double click removes the selected entry, checked or not.
    list->setCurrentRow(1);
    form->CheckListBoxDblClick(list);
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), "\\\\FS1\\SYS\\APPS");
    EXPECT_FALSE(scan->isEnabled()) << "removing the last checked entry disables the scan";
}

TEST_F(MainFormTest, DetailsSwitchFallsBackOffWithoutDetails) {
    WriteSettings("[Settings]\nCheckBoxDebug=1\nActionSettingsShowDetails=1\n");
    auto form = Start(FileConfig());
    auto* check = Child<QCheckBox>(*form, "CheckBoxDebug");
    auto* action = Child<QAction>(*form, "ActionSettingsShowDetails");
    auto* page = Child<QWidget>(*form, "TabSheetAction");
    auto* summary = Child<QPlainTextEdit>(*form, "MemoStandard");
    auto* details = Child<QPlainTextEdit>(*form, "MemoDebug");
    EXPECT_FALSE(check->isChecked()) << "the stored mark does not survive an empty pane";
    EXPECT_FALSE(action->isChecked());
    EXPECT_TRUE(summary->isVisibleTo(page));
    EXPECT_FALSE(details->isVisibleTo(page));

    action->trigger();
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(action->isChecked());
    EXPECT_TRUE(summary->isVisibleTo(page));
    EXPECT_EQ(form->Save().CurrentMemo(), summary);

    form->SetPanes(Lines({"sum"}), Lines({"detail 1", "detail 2"}));
    action->trigger();
    EXPECT_TRUE(check->isChecked());
    EXPECT_TRUE(details->isVisibleTo(page));
    EXPECT_FALSE(summary->isVisibleTo(page));
    EXPECT_EQ(form->Save().CurrentMemo(), details);
    check->click();
    EXPECT_FALSE(action->isChecked()) << "the check box and the menu entry are one command";
    EXPECT_TRUE(summary->isVisibleTo(page));
}

TEST_F(MainFormTest, CloseWritesSettingsButLeavesUnchangedListsAlone) {
    // A list section as another version might have written it: spacing and an extra key.
    const std::string list = "[CheckListBoxPaths]\n0 = \\\\FS1\\SYS\\APPS\n7=\\\\FS1\\SYS\\HOME\n";
    const std::string checked = "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS = 1\n";
    WriteSettings(list + checked);
    auto form = Start(FileConfig());
    Child<QLineEdit>(*form, "EditFilterExcl")->setText("guest");
    Child<QCheckBox>(*form, "CheckBoxSettingsResolveContainers")->setChecked(true);
    form->show();
    Close(form);

    std::string text = SettingsText();
    EXPECT_EQ(SectionText(text, "CheckListBoxPaths") + "\n", list);
    EXPECT_EQ(SectionText(text, "CheckListBoxPaths Checked") + "\n", checked);
    auto ini = Settings();
    EXPECT_EQ(ini->ReadString("Settings", "EditFilterExcl", ""), "guest");
    EXPECT_EQ(ini->ReadString("Settings", "CheckBoxSettingsResolveContainers", ""), "1");
    EXPECT_EQ(ini->ReadString("Settings", "CheckBoxDebug", ""), "0");
    EXPECT_GT(ini->ReadInteger("Settings", "MainForm.Width", 0), 0);
    EXPECT_TRUE(ini->ValueExists("Settings", "MainForm.Top"));

    // After a change the list is written in its own format.
    form = Start(FileConfig());
    auto* paths = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    ASSERT_EQ(paths->Count(), 2);
    paths->SetChecked(1, true);
    Close(form);
    ini = Settings();
    EXPECT_EQ(ini->ReadString("CheckListBoxPaths", "1", ""), "\\\\FS1\\SYS\\HOME");
    EXPECT_EQ(ini->ReadString("CheckListBoxPaths Checked", "\\\\FS1\\SYS\\HOME", ""), "1");
}

TEST_F(MainFormTest, StoredGeometryAppliesOnlyNonZeroValues) {
    WriteSettings("[Settings]\nMainForm.Left=0\nMainForm.Top=55\nMainForm.Width=700\n"
                  "MainForm.Height=0\n");
    auto form = Start(FileConfig());
    form->move(40, 30);
    int height = form->height();
    form->show();
    EXPECT_EQ(form->x(), 40) << "a stored 0 keeps the designed left edge";
    EXPECT_EQ(form->y(), 55);
    EXPECT_EQ(form->width(), 700);
    EXPECT_EQ(form->height(), height);
}

TEST_F(MainFormTest, FolderClicksAndDoubleClicks) {
    auto form = Start(FileConfig());
    form->show();
    Child<QTabWidget>(*form, "PageControl1")
        ->setCurrentWidget(Child<QWidget>(*form, "TabSheetSelectPath"));
    auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    list->SetEntries({{"\\\\fs1\\sys\\apps\\data", false, 0}});

    // A click shows the folder and empties both panes.
    form->SetPanes(Lines({"old summary"}), Lines({"old details"}));
    ASSERT_TRUE(tree->SelectPath("\\\\FS1\\SYS\\APPS"));
    QRect rect = tree->visualRect(tree->currentIndex());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(form->Session().SelectedPath(), "\\\\FS1\\SYS\\APPS");
    EXPECT_EQ(form->StatusText(1), "\\\\FS1\\SYS\\APPS");
    EXPECT_TRUE(form->SummaryLines().Empty());
    EXPECT_TRUE(form->DetailsLines().Empty());
    EXPECT_TRUE(Child<QPlainTextEdit>(*form, "MemoStandard")->toPlainText().isEmpty());

    // A double click adds the folder, selected and checked.
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Text(1), "\\\\FS1\\SYS\\APPS");
    EXPECT_TRUE(list->Checked(1));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(form->ListsChanged());
    EXPECT_EQ(form->StatusText(0), "#Start Paths Selected: 1");

    // A folder already in the list, in another letter case: selected and checked again.
    ASSERT_TRUE(tree->SelectPath("\\\\FS1\\SYS\\APPS\\DATA"));
    form->ShellTreeViewFilesDblClick();
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(form->StatusText(0), "#Start Paths Selected: 2");

    // Clicking an entry that is already a start path still empties the panes.
    form->SetPanes(Lines({"again"}), TStringList());
    form->ShellTreeViewFilesClick();
    EXPECT_TRUE(form->SummaryLines().Empty());
}

TEST_F(MainFormTest, SaveCommandsActOnTheShownPane) {
    auto form = Start(FileConfig());
    auto* txt = Child<QAction>(*form, "ActionSaveAsTxt");
    auto* clip = Child<QAction>(*form, "ActionSaveAsClipboard");
    auto* excel = Child<QAction>(*form, "ActionSaveAsExcel");
    form->Save().ActionSaveAsExecute();
    EXPECT_FALSE(txt->isEnabled() || clip->isEnabled() || excel->isEnabled());

    form->SetPanes(Lines({"Summary A", "Summary\tB"}), TStringList());
    form->Save().ActionSaveAsExecute();
    EXPECT_TRUE(txt->isEnabled() && clip->isEnabled() && excel->isEnabled());

    std::vector<std::string> proposed;
    std::string target = Dir + "/out.txt";
    form->Save().SaveFileDialog = [&](const std::string& name) {
        proposed.push_back(name);
        return std::optional<std::string>(target);
    };
    txt->trigger();
    EXPECT_EQ(FileText(target), "Summary A\r\nSummary\tB\r\n");

    // With the details switch on but no details, the commands act on the summary.
    Child<QCheckBox>(*form, "CheckBoxDebug")->click();
    form->Save().ActionSaveAsExecute();
    EXPECT_TRUE(txt->isEnabled());
    txt->trigger();

    form->SetPanes(Lines({"S"}), Lines({"Detail 1", "Detail 2"}));
    Child<QAction>(*form, "ActionSettingsShowDetails")->trigger();
    form->Save().ActionSaveAsExecute();
    txt->trigger();
    EXPECT_EQ(FileText(target), "Detail 1\r\nDetail 2\r\n");
    EXPECT_EQ(proposed,
              (std::vector<std::string>{"Trustees.txt", "Trustees.txt", "Trustees_Details.txt"}));

    clip->trigger();
    EXPECT_EQ(S(QGuiApplication::clipboard()->text()).find("Detail 1"), 0u);
    Launched.clear();
    excel->trigger();
    ASSERT_EQ(Launched.size(), 1u) << "the spreadsheet goes to the desktop's application";

    // A cancelled dialog writes nothing.
    fs::remove(target);
    form->Save().SaveFileDialog = [](const std::string&) { return std::optional<std::string>(); };
    txt->trigger();
    EXPECT_FALSE(fs::exists(target));

    // The pane that is empty after a folder click disables the commands again.
    form->SetPanes(TStringList(), TStringList());
    form->CheckBoxDebugClick();
    form->Save().ActionSaveAsExecute();
    EXPECT_FALSE(txt->isEnabled());
}

TEST_F(MainFormTest, CheckMarksOfNamesWithEqualsSignsSurviveARestart) {
    // Written as earlier versions wrote it: the plain entries keep their marks as before.
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n1=\\\\FS1\\SYS\\[Old]\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n\\\\FS1\\SYS\\Old=1\n");
    auto form = Start(FileConfig());
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_TRUE(list->Checked(0));
    EXPECT_TRUE(list->Checked(1));
    for (const char* name : {"\\\\FS1\\SYS\\A=B", "\\\\FS1\\SYS\\[x]=]y", "\\\\FS1\\SYS\\;c=d"})
        list->SetChecked(list->Add(name), true);
    list->SetChecked(list->Add("\\\\FS1\\SYS\\off=on"), false);
    Messages.clear();
    Close(form);
    EXPECT_TRUE(Messages.empty()) << Messages.front();

    form = Start(FileConfig());
    list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    std::vector<std::string> restored;
    for (int i = 0; i < list->Count(); ++i)
        restored.push_back(list->Text(i) + (list->Checked(i) ? "+" : "-"));
    EXPECT_EQ(restored, (std::vector<std::string>{"\\\\FS1\\SYS\\APPS+", "\\\\FS1\\SYS\\[Old]+",
                                                  "\\\\FS1\\SYS\\A=B+", "\\\\FS1\\SYS\\[x]=]y+",
                                                  "\\\\FS1\\SYS\\;c=d+", "\\\\FS1\\SYS\\off=on-"}));
    EXPECT_EQ(Child<QLabel>(*form, "LabelDirSelected")->text(), "#Start Paths Selected: 5");
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST_F(MainFormTest, FailedClientStartKeepsTheRestoredList) {
    UseTree(std::string(kSmallTree).replace(1, 0, "\"clientStartup\": -328,"));
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n");
    auto form = Start(FileConfig());
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), "Error FEB8: InitNetWare");
    EXPECT_EQ(Child<TRadioGroup>(*form, "RadioGroupServers")->Count(), 0);
    EXPECT_EQ(Child<TCheckListBox>(*form, "CheckListBoxPaths")->Count(), 1);
    EXPECT_TRUE(Child<QPushButton>(*form, "BitBtnScan")->isEnabled());
}

} // namespace
} // namespace trovalen::test
