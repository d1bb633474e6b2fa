// The walks in the window on the sample tree: the switches of a walk of every level below, the
// changes it shows in the table view, and "What can a trustee reach" against trovalen-scan.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "UiFixture.h"
#include "ui/FormReach.h"
#include "ui/ReachCommand.h"
#include "ui/ResultTableView.h"
#include "ui/ScanBanner.h"
#include "util/Util.h"

namespace trovalen::test {
namespace {

const char kDataChecked[] = "[CheckListBoxPaths]\n0=\\\\CV-FS1\\DATA\n"
                            "[CheckListBoxPaths Checked]\n\\\\CV-FS1\\DATA=1\n";

// trovalen-scan's lines over the bundled sample tree, and its exit status.
std::vector<std::string> Headless(const QStringList& options, int& status) {
    std::vector<std::string> lines;
    status = -1;
#ifdef TROVALEN_SCAN_EXE
    QProcess process;
    process.start(TROVALEN_SCAN_EXE, options);
    EXPECT_TRUE(process.waitForFinished(60000));
    status = process.exitCode();
    std::istringstream in(process.readAllStandardOutput().toStdString());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
#else
    (void)options;
#endif
    return lines;
}

// The lines without the one that holds the time of the run.
std::vector<std::string> WithoutStamp(std::vector<std::string> lines) {
    if (lines.size() >= 2 && lines[1].rfind("Date:", 0) == 0)
        lines.erase(lines.begin() + 1);
    return lines;
}

// Makes the list's item of that text current and presses Enter on it.
void Enter(TListBox* list, const std::string& text) {
    const auto items = list->findItems(Q(text), Qt::MatchExactly);
    std::string shown;
    for (const auto& t : Texts(list))
        shown += t + "; ";
    ASSERT_EQ(items.size(), 1) << text << " in " << shown;
    list->setCurrentItem(items.front());
    QTest::keyClick(list, Qt::Key_Return);
}

int RowOf(const TResultTable& table, const std::string& entry, const std::string& trustee) {
    for (int i = 0; i < table.Count(); ++i)
        if (table.Row(i).Entry == entry && table.Row(i).Trustee == trustee)
            return i;
    return -1;
}

class ReachWindowTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        UseTree(std::string()); // the bundled sample tree, as trovalen-scan serves it
    }
    static TReachCommand& Reach(TMainForm& form) {
        auto* command = form.findChild<TReachCommand*>("ReachCommand");
        EXPECT_NE(command, nullptr);
        return *command;
    }
};

TEST_F(ReachWindowTest, WalkSwitchesAreKeptAndTheChangesShowInTheTable) {
    WriteSettings(kDataChecked);
    auto form = Start(FileConfig());
    auto* recursive = Child<QCheckBox>(*form, "CheckBoxSettingsRecursive");
    auto* changesOnly = Child<QCheckBox>(*form, "CheckBoxSettingsChangesOnly");
    EXPECT_FALSE(changesOnly->isEnabled()) << "changes only needs every level below";
    recursive->click();
    ASSERT_TRUE(changesOnly->isEnabled());
    changesOnly->click();
    Child<QCheckBox>(*form, "CheckBoxTableView")->setChecked(true);
    form->BitBtnScanClick();

    const TStringList& summary = form->SummaryLines();
    EXPECT_TRUE(Contains(summary, "Settings:  Recursive=TRUE"));
    EXPECT_TRUE(Contains(summary, "Settings:  Changes only=TRUE"));
    int changeLines = 0;
    for (const auto& line : summary)
        changeLines += U_StartsWith(line.Text, "Changed Trustee:\t") ? 1 : 0;
    ASSERT_GT(changeLines, 5);
    // Every change is on a row of the table, beside the rights it changed to.
    const TResultTable& table = form->ResultTable();
    EXPECT_EQ(table.ChangeRows(), changeLines);
    const int irene = RowOf(table, "\\\\CV-FS1\\DATA\\FINANCE\\REPORTS", ".Irene.Finance.Corvale");
    ASSERT_GE(irene, 0);
    EXPECT_EQ(table.Row(irene).Rights, "[RWCE FM ]");
    EXPECT_EQ(table.Row(irene).Change, "changed, was [R    F  ]");
    const int gained = RowOf(table, "\\\\CV-FS1\\DATA\\FINANCE", ".Auditors.Finance.Corvale");
    ASSERT_GE(gained, 0);
    EXPECT_EQ(table.Row(gained).Change, "gained");
    TResultTableView* view = form->TableView();
    EXPECT_TRUE(view->isVisible() || !form->isVisible());
    EXPECT_FALSE(view->View()->isColumnHidden(rcChange));
    const auto shown = view->ShownColumns();
    EXPECT_EQ(std::find(shown.begin(), shown.end(), rcChange) - shown.begin(), 3)
        << "the change reads beside the rights";
    for (int r = 0; r < view->View()->model()->rowCount(); ++r)
        if (view->SourceRow(r) == irene)
            view->View()->setCurrentIndex(view->View()->model()->index(r, 0));
    EXPECT_NE(S(view->ReasonsPane()->toPlainText()).find("Since the entry above: changed, was "),
              std::string::npos)
        << S(view->ReasonsPane()->toPlainText());
    Close(form);
    auto settings = Settings();
    EXPECT_EQ(settings->ReadString("Settings", "CheckBoxSettingsRecursive", ""), "1");
    EXPECT_EQ(settings->ReadString("Settings", "CheckBoxSettingsChangesOnly", ""), "1");

    // Restored at the next start; without every level below, neither switch reaches the scan.
    form = Start(FileConfig());
    recursive = Child<QCheckBox>(*form, "CheckBoxSettingsRecursive");
    changesOnly = Child<QCheckBox>(*form, "CheckBoxSettingsChangesOnly");
    EXPECT_TRUE(recursive->isChecked());
    EXPECT_TRUE(changesOnly->isChecked());
    EXPECT_TRUE(changesOnly->isEnabled());
    recursive->click();
    EXPECT_FALSE(changesOnly->isEnabled());
    form->BitBtnScanClick();
    EXPECT_FALSE(Contains(form->SummaryLines(), "Recursive=TRUE"));
    EXPECT_FALSE(Contains(form->SummaryLines(), "Changed Trustee:"));
    EXPECT_TRUE(Contains(form->SummaryLines(), "Path: \"\\\\CV-FS1\\DATA\""));
    EXPECT_FALSE(Contains(form->SummaryLines(), "Path: \"\\\\CV-FS1\\DATA\\FINANCE\""));
    EXPECT_EQ(form->ResultTable().ChangeRows(), 0);
    EXPECT_TRUE(form->TableView()->View()->isColumnHidden(rcChange));
}

TEST_F(ReachWindowTest, WhatATrusteeReachesIsWhatTheHeadlessCommandLists) {
#ifndef TROVALEN_SCAN_EXE
    GTEST_SKIP() << "the headless command is not built";
#endif
    WriteSettings(kDataChecked);
    auto form = Start(FileConfig());
    bool asked = false;
    Reach(*form).Dialog = [&](TFormReach& dialog) {
        asked = true;
        EXPECT_EQ(dialog.Scopes(), (std::vector<std::string>{"\\\\CV-FS1\\DATA"}));
        EXPECT_NE(dialog.ScopeText().find("\\\\CV-FS1\\DATA"), std::string::npos);
        auto* search = Child<QPushButton>(dialog, "ButtonReachSearch");
        EXPECT_FALSE(search->isEnabled()) << "no trustee yet";
        // The trustee is picked from the tree, as on the eDirectory page.
        auto* containers = Child<TListBox>(dialog, "ListBoxReachContainers");
        Enter(containers, "Corvale");
        Enter(containers, "Sales");
        Enter(Child<TListBox>(dialog, "ListBoxReachObjects"), "User: Mara");
        EXPECT_EQ(dialog.Trustee(), ".Mara.Sales.Corvale");
        EXPECT_TRUE(search->isEnabled());
        return true;
    };
    Child<QAction>(*form, "ActionReach")->trigger();
    ASSERT_TRUE(asked);

    const QStringList options{"--trustee", ".Mara.Sales.Corvale", "\\\\CV-FS1\\DATA"};
    int status = 0;
    const auto summary = WithoutStamp(form->SummaryLines().Strings());
    EXPECT_EQ(summary, WithoutStamp(Headless(options, status)));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(WithoutStamp(form->DetailsLines().Strings()),
              WithoutStamp(Headless(QStringList{"--details"} + options, status)));
    EXPECT_TRUE(form->LastResult().Failure.empty());
    EXPECT_EQ(form->BannerText(), "");

    // The table: one row per place reached, the trustee's rights there and the reasons why.
    EXPECT_TRUE(Child<QCheckBox>(*form, "CheckBoxTableView")->isChecked());
    const TResultTable& table = form->ResultTable();
    std::vector<std::string> reached;
    for (const auto& line : summary)
        if (U_StartsWith(line, "Effective Rights:\t"))
            reached.push_back(line);
    ASSERT_EQ(table.Count(), static_cast<int>(reached.size()));
    ASSERT_GT(table.Count(), 1);
    for (int i = 0; i < table.Count(); ++i) {
        const TResultRow& row = table.Row(i);
        EXPECT_EQ("Effective Rights:\t" + row.Rights + "\t" + row.Entry, reached[i]);
        EXPECT_EQ(row.Trustee, ".Mara.Sales.Corvale");
        EXPECT_EQ(row.ClassName, "User");
        EXPECT_FALSE(table.Reasons(i).empty()) << row.Entry;
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    // The trustee is offered again the next time.
    EXPECT_EQ(Settings()->ReadString("Settings", TReachCommand::kTrusteeKey, ""),
              ".Mara.Sales.Corvale");
}

TEST_F(ReachWindowTest, ATrusteeThatIsNotThereIsSaidAndIncompletePlacesAreMarked) {
    WriteSettings("[CheckListBoxEdir - CORVALE_TREE]\n0=.Finance.Corvale\n"
                  "[CheckListBoxEdir - CORVALE_TREE Checked]\n.Finance.Corvale=1\n");
    auto form = Start(EdirConfig());
    std::string trustee = ".Nobody.Corvale";
    Reach(*form).Dialog = [&](TFormReach& dialog) {
        EXPECT_EQ(dialog.Scopes(), (std::vector<std::string>{".Finance.Corvale"}));
        dialog.SetTrustee(trustee);
        return true;
    };
    Child<QAction>(*form, "ActionReach")->trigger();
    const std::string said = "Nothing was searched: the trustee .Nobody.Corvale does not exist";
    EXPECT_EQ(Messages, (std::vector<std::string>{said}));
    EXPECT_EQ(form->BannerText(), said);
    EXPECT_EQ(form->StatusText(1), said);
    EXPECT_EQ(form->ResultTable().Count(), 0);
    EXPECT_EQ(form->SummaryLines().Strings().back(), "the trustee .Nobody.Corvale does not exist");

    // A trustee that is there: the places not read whole are said and marked, as in any scan.
    Messages.clear();
    trustee = ".Mara.Sales.Corvale";
    Child<QAction>(*form, "ActionReach")->trigger();
    EXPECT_TRUE(Messages.empty());
    EXPECT_NE(form->BannerText().find("incomplete"), std::string::npos) << form->BannerText();
    const TResultTable& table = form->ResultTable();
    EXPECT_GT(table.IncompleteRows(), 0);
    const int archive = RowOf(table, ".Archive.Finance.Corvale", ".Mara.Sales.Corvale");
    ASSERT_GE(archive, 0);
    EXPECT_NE(table.Row(archive).Problem.find("could not be read"), std::string::npos);
    EXPECT_FALSE(form->TableView()->View()->isColumnHidden(rcIncomplete));
    int status = 0;
    const auto headless =
        Headless({"--edir", "--trustee", ".Mara.Sales.Corvale", ".Finance.Corvale"}, status);
#ifdef TROVALEN_SCAN_EXE
    EXPECT_EQ(WithoutStamp(form->SummaryLines().Strings()), WithoutStamp(headless));
    EXPECT_EQ(status, 1) << "incomplete entries";
#endif
}

} // namespace
} // namespace trovalen::test
