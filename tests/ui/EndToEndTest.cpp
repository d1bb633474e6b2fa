// One session as a user has it: start, choose a server, double-click a folder, scan, compare the
// panes with what the headless command prints, save, close, start again.
#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "UiFixture.h"
#include "ui/FolderTree.h"
#include "ui/Widgets.h"

namespace trovalen::test {
namespace {

// The headless command's lines for the same entry and settings.
std::vector<std::string> Headless(const std::string& tree, const QStringList& options) {
#ifdef TROVALEN_SCAN_EXE
    QProcess process;
    process.start(TROVALEN_SCAN_EXE, QStringList{"--tree", Q(tree)} + options);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << S(QString::fromUtf8(process.readAllStandardError()));
    std::vector<std::string> lines;
    std::istringstream in(process.readAllStandardOutput().toStdString());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
#else
    (void)tree;
    (void)options;
    return {};
#endif
}

// The pane's lines without the one that holds the time of the scan.
std::vector<std::string> WithoutStamp(std::vector<std::string> lines) {
    if (lines.size() >= 2 && lines[1].rfind("Date:", 0) == 0)
        lines.erase(lines.begin() + 1);
    return lines;
}

class EndToEndTest : public TUiFixture {};

TEST_F(EndToEndTest, StartSelectScanSaveCloseRestart) {
#ifndef TROVALEN_SCAN_EXE
    GTEST_SKIP() << "the headless command is not built";
#endif
    UseTree(kSmallTree);
    auto form = Start(FileConfig());
    form->show();
    auto* pages = Child<QTabWidget>(*form, "PageControl1");
    pages->setCurrentWidget(Child<QWidget>(*form, "TabSheetSettings"));
    QTest::keyClicks(Child<QLineEdit>(*form, "EditFilterExcl"), "nobody");
    Child<QCheckBox>(*form, "CheckBoxSettingsResolveContainers")->click();

    pages->setCurrentWidget(Child<QWidget>(*form, "TabSheetSelectPath"));
    auto* servers = Child<TRadioGroup>(*form, "RadioGroupServers");
    servers->Click(1);
    servers->Click(0);
    EXPECT_EQ(form->Session().ServerName(), "FS1");
    auto* tree = Child<TFolderTree>(*form, "ShellTreeViewFiles");
    ASSERT_TRUE(tree->SelectPath("\\\\FS1\\SYS\\APPS\\TOOLS"));
    QCoreApplication::processEvents(); // the page and the expanded folders get laid out
    const QPoint folder = tree->visualRect(tree->currentIndex()).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, folder);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, folder);
    auto* list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), "\\\\FS1\\SYS\\APPS\\TOOLS");

    pages->setCurrentWidget(Child<QWidget>(*form, "TabSheetAction"));
    auto* scan = Child<QPushButton>(*form, "BitBtnScan");
    ASSERT_TRUE(scan->isEnabled());
    QTest::mouseClick(scan, Qt::LeftButton);

    std::vector<std::string> summary = form->SummaryLines().Strings();
    std::vector<std::string> details = form->DetailsLines().Strings();
    ASSERT_GT(summary.size(), 8u);
    EXPECT_EQ(summary[0], "Version:   Trovalen.file v1.6 (2009-09) ");
    const QStringList options{"--resolve-containers", "--exclude", "nobody",
                              "\\\\FS1\\SYS\\APPS\\TOOLS"};
    EXPECT_EQ(WithoutStamp(summary), WithoutStamp(Headless(Dir + "/tree.json", options)));
    EXPECT_EQ(WithoutStamp(details),
              WithoutStamp(Headless(Dir + "/tree.json", QStringList{"--details"} + options)));

    std::string saved = Dir + "/Trustees.txt";
    form->Save().SaveFileDialog = [&](const std::string& proposed) {
        EXPECT_EQ(proposed, "Trustees.txt");
        return std::optional<std::string>(saved);
    };
    form->Save().ActionSaveAsExecute();
    form->Save().ActionSaveAsTxtClick();
    std::ifstream in(saved, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), form->SummaryLines().Text("\r\n"));
    Close(form);

    form = Start(FileConfig());
    list = Child<TCheckListBox>(*form, "CheckListBoxPaths");
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Text(0), "\\\\FS1\\SYS\\APPS\\TOOLS");
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(Child<QLineEdit>(*form, "EditFilterExcl")->text(), "nobody");
    EXPECT_TRUE(Child<QCheckBox>(*form, "CheckBoxSettingsResolveContainers")->isChecked());
    EXPECT_TRUE(Child<QPushButton>(*form, "BitBtnScan")->isEnabled());
}

} // namespace
} // namespace trovalen::test
