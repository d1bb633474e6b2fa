// What the window says of itself: where its data comes from, F1 for help, a place on a screen
// that exists, and File > "Compare with saved result..." over the last run.
#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "UiFixture.h"
#include "rights/ScanJson.h"
#include "ui/FormCompare.h"
#include "ui/FormHelp.h"

namespace trovalen::test {
namespace {

class WindowOutcomeTest : public TUiFixture {};

} // namespace

TEST_F(WindowOutcomeTest, TheSourceOfTheDataIsInTheTitleAndTheStatusBar) {
    TStartConfig config = FileConfig();
    config.Source = "/srv/trees/corvale.json";
    auto form = Start(config);
    EXPECT_EQ(S(form->windowTitle()), "Effective Rights Analysis - /srv/trees/corvale.json");
    auto* source = Child<QLabel>(*form, "StatusSource");
    EXPECT_EQ(S(source->text()), "/srv/trees/corvale.json");
    form->SetSource("ldap://127.0.0.1:3890 as cn=admin,o=acme");
    EXPECT_EQ(S(form->windowTitle()),
              "Effective Rights Analysis - ldap://127.0.0.1:3890 as cn=admin,o=acme");
    EXPECT_EQ(S(source->text()), "ldap://127.0.0.1:3890 as cn=admin,o=acme");
}

TEST_F(WindowOutcomeTest, F1OpensTheHelpAndAPlaceOffEveryScreenIsMovedOntoOne) {
    WriteSettings("[Settings]\nMainForm.Left=9000\nMainForm.Top=7000\nMainForm.Width=5000\n"
                  "MainForm.Height=4000\n");
    auto form = Start(FileConfig());
    form->show();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(QRect(form->pos(), form->size())))
        << form->x() << "," << form->y() << " " << form->width() << "x" << form->height();

    ASSERT_EQ(form->FormHelp(), nullptr);
    auto* help = Child<QAction>(*form, "ActionHelp");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(help->shortcutContext(), Qt::ApplicationShortcut);
    help->trigger();
    ASSERT_NE(form->FormHelp(), nullptr);
    EXPECT_TRUE(form->FormHelp()->isVisible());
    EXPECT_NE(form->FormHelp()->Text().find("READING A RESULT"), std::string::npos);
}

TEST_F(WindowOutcomeTest, ComparingWithASavedResultShowsTheChangesOfTheLastRun) {
    UseTree(kSmallTree);
    WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n"
                  "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n");
    auto form = Start(FileConfig());
    form->BitBtnScanClick();
    ASSERT_FALSE(form->LastResult().Entries.empty());
    ASSERT_FALSE(form->LastResult().Entries[0].Trustees.empty());

    // The saved result lacks one trustee the tree has now: that trustee was added since.
    nlohmann::json saved = nlohmann::json::parse(U_ScanResultToJson(form->LastResult()));
    const std::string gone = saved["entries"][0]["trustees"][0]["name"];
    saved["entries"][0]["trustees"].erase(0);
    const std::string file = Dir + "/q1.json";
    std::ofstream(file) << saved.dump();

    std::vector<std::string> asked;
    form->Compare().OpenResultDialog = [&](const std::string& title) -> std::optional<std::string> {
        asked.push_back(title);
        return file;
    };
    Child<QAction>(*form, "ActionCompare")->trigger();
    EXPECT_EQ(asked, std::vector<std::string>{"Compare with saved result"});
    TFormCompare* compare = form->Compare().Form();
    ASSERT_NE(compare, nullptr);
    EXPECT_TRUE(compare->isVisible());
    ASSERT_EQ(compare->Comparison().Changes.size(), 1u);
    QTableView* view = compare->View();
    EXPECT_EQ(S(view->model()->index(0, 1).data().toString()), "added");
    EXPECT_EQ(S(view->model()->index(0, 2).data().toString()), gone);
    EXPECT_EQ(compare->CountText(), "1 of 1 change");

    // A file that is no result says why, and no comparison opens.
    std::ofstream(Dir + "/notes.json") << "{}";
    form->Compare().OpenResultDialog = [&](const std::string&) -> std::optional<std::string> {
        return Dir + "/notes.json";
    };
    Messages.clear();
    Child<QAction>(*form, "ActionCompare")->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("not a scan result"), std::string::npos) << Messages[0];
}

} // namespace trovalen::test

namespace trovalen::test {

TEST_F(WindowOutcomeTest, AnAclThatCannotBeReadIsSaidAboveThePanesAndMarkedInTheTable) {
    UseTree("");
    auto form = Start(EdirConfig());
    Child<TCheckListBox>(*form, "CheckListBoxEdir")
        ->SetEntries({{".Archive.Finance.Corvale", true}, {".Mara.Sales.Corvale", true}});
    form->BitBtnScanClick();
    EXPECT_EQ(form->BannerText(),
              "1 of 2 entries incomplete: .Archive.Finance.Corvale (incomplete: the ACL of "
              ".Archive.Finance.Corvale could not be read (no access))");
    EXPECT_EQ(form->StatusText(1).rfind("Scanned 2 entries: ", 0), 0u);
    EXPECT_NE(form->StatusText(1).find(", 1 incomplete, in "), std::string::npos);
    // Every row of the entry carries the mark, and none of the whole entry's rows does.
    const TResultTable& table = form->ResultTable();
    int marked = 0;
    for (int i = 0; i < table.Count(); ++i) {
        const bool archive = table.Row(i).Entry == ".Archive.Finance.Corvale";
        EXPECT_EQ(!table.Row(i).Problem.empty(), archive) << table.Row(i).Trustee;
        marked += archive ? 1 : 0;
    }
    EXPECT_GT(marked, 0);
    EXPECT_EQ(table.IncompleteRows(), marked);
}

} // namespace trovalen::test
