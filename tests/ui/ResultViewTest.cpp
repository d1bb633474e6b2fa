// The table view on its own: columns sized to their contents and to the view, widths changed
// from the keyboard, full texts in tool tips, Rights sorted by the rights held, the rights
// filter and the row count, rows of incomplete entries marked, and the rows shown saved in every
// format (read back and compared with the view). Also where a window is placed on the screens
// there are, and the help that explains a result.
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "common/TableReaders.h"
#include "rights/ScanRun.h"
#include "settings/Ini.h"
#include "settings/IniFile.h"
#include "ui/FormHelp.h"
#include "ui/ResultTableView.h"
#include "ui/ScanBanner.h"
#include "ui/Widgets.h"
#include "ui/WindowPlacement.h"
#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

namespace trovalen::test {
namespace {

const char* const kLines[] = {
    "Path: \"\\\\GEN-FS1\\SYS\\APPS\\OFFICE\\TEMPLATES\"",
    "Effective Trustee:\tOrganizational Role\t[R    F  ]\t.Backup Operator.Corvale",
    "Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.Corvale",
    "Effective Trustee:\tGroup\t[ W      ]\t.Crew.ACME",
    "Effective Trustee:\tn/a\t[RWCE F  ]\t[Public]",
    "Path: \"\\\\GEN-FS1\\SYS\\HOME\"",
    "Effective Trustee:\tUser\t[       S]\t.Boss.ACME",
};

class ResultViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = (std::filesystem::temp_directory_path() /
               ("trovalen-resultview-" + std::to_string(getpid())))
                  .string();
        std::filesystem::create_directories(dir);
        TStringList summary;
        for (const char* line : kLines)
            summary.Add(line);
        table.AddLines(summary.Items, {});
        view = std::make_unique<TResultTableView>(table);
        view->resize(1400, 600);
        view->show();
        view->Reset();
        view->RowsAdded();
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            messages.push_back(text);
        };
        previous = U_SetUiHooks(hooks);
    }
    void TearDown() override {
        U_SetUiHooks(previous);
        view.reset();
        std::filesystem::remove_all(dir);
    }

    // The texts of a column in the view's order.
    std::vector<std::string> Column(TResultColumn c) const {
        std::vector<std::string> out;
        QAbstractItemModel* m = view->View()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out.push_back(S(m->index(r, c).data().toString()));
        return out;
    }

    std::string dir;
    TResultTable table{false};
    std::unique_ptr<TResultTableView> view;
    std::vector<std::string> messages;
    TUiHooks previous;
};

TEST_F(ResultViewTest, ColumnsFitTheirContentsAndTheViewAndResizeFromTheKeyboard) {
    // A long path that still fits at 1,400 pixels, but not beside the others in a narrow view.
    TStringList more;
    more.Add("Path: \"\\\\GEN-FS1\\SYS\\" + std::string(70, 'D') + "\"");
    more.Add("Effective Trustee:\tUser\t[R    F  ]\t.Joe.ACME");
    table.AddLines(more.Items, {});
    view->RowsAdded();
    QTableView* v = view->View();
    QHeaderView* header = v->horizontalHeader();
    const QFontMetrics fm = v->fontMetrics();
    // Wide enough: no text is cut, and the columns are not all one width.
    std::set<int> widths;
    for (TResultColumn c : {rcEntry, rcClass, rcRights, rcTrustee}) {
        int widest = 0;
        for (const auto& text : Column(c))
            widest = std::max(widest, fm.horizontalAdvance(Q(text)));
        EXPECT_GE(header->sectionSize(c), widest) << TResultTable::Title(c);
        widths.insert(header->sectionSize(c));
    }
    EXPECT_GT(widths.size(), 2u);
    EXPECT_TRUE(v->isColumnHidden(rcAttribute));
    EXPECT_TRUE(v->isColumnHidden(rcIncomplete)) << "no row has a reason";

    // Narrow: the columns share the width, the widest giving up room first.
    const int entryWide = header->sectionSize(rcEntry);
    const int rightsWide = header->sectionSize(rcRights);
    view->resize(520, 400);
    QApplication::processEvents();
    int total = 0;
    for (TResultColumn c : view->ShownColumns())
        total += header->sectionSize(c);
    EXPECT_LE(total, v->viewport()->width() + 1);
    EXPECT_EQ(header->sectionSize(rcRights), rightsWide) << "a narrow column keeps its width";
    EXPECT_LT(header->sectionSize(rcEntry), entryWide)
        << header->sectionSize(rcClass) << " " << header->sectionSize(rcRights) << " "
        << header->sectionSize(rcTrustee) << " vp " << v->viewport()->width();

    // Full texts in tool tips.
    QModelIndex entry = v->model()->index(0, rcEntry);
    EXPECT_EQ(S(entry.data(Qt::ToolTipRole).toString()),
              "\\\\GEN-FS1\\SYS\\APPS\\OFFICE\\TEMPLATES");

    // From the keyboard: the current column grows and shrinks by a step, and keeps its width
    // when the view changes size afterwards.
    v->setFocus();
    v->setCurrentIndex(v->model()->index(0, rcClass));
    const int before = header->sectionSize(rcClass);
    view->window()->activateWindow();
    QTest::keyClick(v, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    if (header->sectionSize(rcClass) == before) // no shortcut without an active window
        view->findChild<QAction*>("ActionWidenColumn")->trigger();
    const int wider = header->sectionSize(rcClass);
    EXPECT_GT(wider, before);
    view->findChild<QAction*>("ActionNarrowColumn")->trigger();
    EXPECT_EQ(header->sectionSize(rcClass), before);
    view->resize(900, 400);
    QApplication::processEvents();
    EXPECT_EQ(header->sectionSize(rcClass), before) << "a width set by hand stays";
    EXPECT_EQ(view->findChild<QAction*>("ActionWidenColumn")->shortcut(),
              QKeySequence("Ctrl+Shift+Right"));
    view->findChild<QAction*>("ActionFitColumns")->trigger();
    EXPECT_GE(header->sectionSize(rcEntry), fm.averageCharWidth() * 6);
}

TEST_F(ResultViewTest, RightsSortByTheRightsHeldAndTheRightsFilterCountsWhatItShows) {
    QTableView* v = view->View();
    EXPECT_EQ(S(view->CountLabel()->text()), "5 of 5");
    v->sortByColumn(rcRights, Qt::AscendingOrder);
    EXPECT_EQ(Column(rcRights), (std::vector<std::string>{"[ W      ]", "[R    F  ]", "[RWCE F  ]",
                                                          "[       S]", "[RWCEAFMS]"}));
    v->sortByColumn(rcRights, Qt::DescendingOrder);
    EXPECT_EQ(Column(rcTrustee).front(), ".Admin.Corvale");

    // The file system's letters; tick Supervisor.
    for (char letter : std::string("RWCEAFMS"))
        EXPECT_NE(view->RightsBox(letter), nullptr) << letter;
    EXPECT_EQ(view->RightsBox('B'), nullptr);
    view->RightsBox('S')->setChecked(true);
    EXPECT_EQ(Column(rcTrustee), (std::vector<std::string>{".Admin.Corvale", ".Boss.ACME"}));
    EXPECT_EQ(S(view->CountLabel()->text()), "2 of 5");
    view->RightsBox('W')->setChecked(true);
    EXPECT_EQ(S(view->CountLabel()->text()), "1 of 5");
    view->FilterEdit()->setText("boss");
    EXPECT_EQ(S(view->CountLabel()->text()), "0 of 5");
    EXPECT_FALSE(view->findChild<QPushButton*>("ButtonSaveShownRows")->isEnabled());
    view->RightsBox('W')->setChecked(false);
    EXPECT_EQ(Column(rcTrustee), (std::vector<std::string>{".Boss.ACME"}));

    // A new scan of the other type offers the directory's letters, none ticked.
    table.Clear(true);
    view->Reset();
    EXPECT_NE(view->RightsBox('B'), nullptr);
    EXPECT_NE(view->RightsBox('I'), nullptr);
    EXPECT_FALSE(view->RightsBox('A')->isChecked());
    EXPECT_FALSE(v->isColumnHidden(rcAttribute));
}

TEST_F(ResultViewTest, RowsOfIncompleteEntriesAreMarkedWithTheirReason) {
    std::vector<TScanEntry> entries(3);
    entries[0].Name = "\\\\GEN-FS1\\SYS\\APPS\\OFFICE\\TEMPLATES";
    entries[0].Status = TEntryStatus::Analysed;
    entries[0].Incomplete = {"the trustees of SYS:APPS could not be read (no access)"};
    entries[1].Name = "\\\\GEN-FS1\\SYS\\HOME";
    entries[1].Status = TEntryStatus::Analysed;
    entries[2].Name = "\\\\GEN-FS1\\SYS\\GONE";
    entries[2].Status = TEntryStatus::NotFound;
    ASSERT_TRUE(table.MarkEntries(entries));
    view->EntriesMarked();
    QTableView* v = view->View();
    EXPECT_FALSE(v->isColumnHidden(rcIncomplete));
    EXPECT_EQ(S(view->CountLabel()->text()), "6 of 6");
    QAbstractItemModel* m = v->model();
    const std::string reason = "incomplete: the trustees of SYS:APPS could not be read (no access)";
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(S(m->index(r, rcIncomplete).data().toString()), reason);
        EXPECT_TRUE(m->index(r, rcTrustee).data(Qt::BackgroundRole).isValid());
        EXPECT_NE(S(m->index(r, rcTrustee).data(Qt::ToolTipRole).toString()).find(reason),
                  std::string::npos);
    }
    EXPECT_FALSE(m->index(0, rcEntry).data(Qt::DecorationRole).isNull());
    EXPECT_FALSE(m->index(4, rcTrustee).data(Qt::BackgroundRole).isValid()) << "a whole entry";
    EXPECT_TRUE(m->index(4, rcEntry).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(S(m->index(5, rcEntry).data().toString()), "\\\\GEN-FS1\\SYS\\GONE");
    EXPECT_EQ(S(m->index(5, rcIncomplete).data().toString()), "not found");
    v->setCurrentIndex(m->index(5, 0));
    EXPECT_EQ(S(view->ReasonsPane()->toPlainText()), "\\\\GEN-FS1\\SYS\\GONE: not found");
}

TEST_F(ResultViewTest, SavesTheRowsShownInTheOrderShownInEveryFormat) {
    TIniFile settings(dir + "/settings.ini");
    view->SetSettings(&settings, "Settings");
    // The first time the dialog starts in the documents folder (or the home folder).
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(view->SaveFolder(), QDir(documents).exists() ? S(documents) : S(QDir::homePath()));

    view->FilterEdit()->setText(".");
    view->RightsBox('F')->setChecked(true);
    view->View()->sortByColumn(rcTrustee, Qt::DescendingOrder);
    // Sorted by trustee, descending: .Backup before .Admin.
    const TTextRows expected = {
        {"Entry", "Class", "Rights", "Trustee"},
        {"\\\\GEN-FS1\\SYS\\APPS\\OFFICE\\TEMPLATES", "Organizational Role", "[R    F  ]",
         ".Backup Operator.Corvale"},
        {"\\\\GEN-FS1\\SYS\\APPS\\OFFICE\\TEMPLATES", "User", "[RWCEAFMS]", ".Admin.Corvale"}};
    ASSERT_EQ(S(view->CountLabel()->text()), "2 of 5");

    std::vector<std::string> offered;
    std::vector<TShellCommand> launched;
    auto launcher = U_SetShellLauncher([&](const TShellCommand& c) {
        launched.push_back(c);
        return TShellResult{ShellNoAssociation, "xdg-open: no method available"};
    });
    QSignalSpy status(view.get(), &TResultTableView::StatusText);
    for (TTableFormat format : {TTableFormat::Text, TTableFormat::Csv, TTableFormat::Html,
                                TTableFormat::Xml, TTableFormat::Json, TTableFormat::Xlsx}) {
        const std::string folder = dir + "/out-" + U_TableFormatExtension(format);
        std::filesystem::create_directories(folder);
        const std::string file = folder + "/shown." + U_TableFormatExtension(format);
        SCOPED_TRACE(file);
        std::string startedIn;
        view->SaveDialog = [&](const std::string& start, const std::string&) {
            startedIn = start;
            return std::optional<TResultTableView::TSaveChoice>({file, format});
        };
        view->OfferOpen = [&](const std::string& name) {
            offered.push_back(name);
            return true;
        };
        view->findChild<QPushButton*>("ButtonSaveShownRows")->click();
        TTextRows back = ReadTableFile(file, format, dir);
        if (format == TTableFormat::Xlsx && !HavePython())
            continue;
        EXPECT_EQ(back, expected);
        // Each save starts where the one before went.
        EXPECT_EQ(U_IniReadText(settings, "Settings", TResultTableView::kSaveFolderKey, ""),
                  folder);
        EXPECT_EQ(view->SaveFolder(), folder);
    }
    // Only the spreadsheet is offered to open; no viewer is no error, and the file is named.
    EXPECT_EQ(offered, (std::vector<std::string>{dir + "/out-xlsx/shown.xlsx"}));
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].File, dir + "/out-xlsx/shown.xlsx");
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(status.count(), 6);
    EXPECT_EQ(S(status.last().at(0).toString()),
              "Saved 2 rows to " + dir + "/out-xlsx/shown.xlsx (no program to open it was found)");
    U_SetShellLauncher(launcher);

    // A new view over the same settings starts in the last folder; a failed write says why.
    TResultTableView again(table);
    again.SetSettings(&settings, "Settings");
    EXPECT_EQ(again.SaveFolder(), dir + "/out-xlsx");
    again.SaveDialog = [&](const std::string&, const std::string&) {
        return std::optional<TResultTableView::TSaveChoice>(
            {dir + "/no/such/folder/x.csv", TTableFormat::Text});
    };
    again.Reset();
    again.SaveShownRowsInteractive();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(U_StartsWith(messages[0], "Could not save to " + dir + "/no/such/folder/x.csv"));
    EXPECT_EQ(again.SaveFolder(), dir + "/out-xlsx");
}

TEST_F(ResultViewTest, TheBannerNamesWhatIsMissingAndListsItOnRequest) {
    TScanResult result;
    result.Entries.resize(3);
    result.Entries[0].Name = ".Archive.Finance.Corvale";
    result.Entries[0].Status = TEntryStatus::Analysed;
    result.Entries[0].Incomplete = {
        "the ACL of .Archive.Finance.Corvale could not be read (no access)"};
    result.Entries[1].Name = ".Admin.Corvale";
    result.Entries[1].Status = TEntryStatus::Analysed;
    result.Entries[2].Name = ".Nobody.Corvale";
    result.Entries[2].Status = TEntryStatus::NotFound;
    QWidget window;
    auto* banner = new TScanBanner(&window);
    window.show();
    EXPECT_FALSE(banner->isVisible());
    banner->SetResult(result);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->Text(), U_ScanBannerText(result));
    EXPECT_TRUE(U_StartsWith(banner->Text(),
                             "2 of 3 entries incomplete: .Archive.Finance.Corvale (incomplete: "));
    EXPECT_NE(S(banner->Label()->text()).find(">(show)</a>"), std::string::npos);
    QSignalSpy asked(banner, &TScanBanner::ShowRequested);
    emit banner->Label()->linkActivated("show");
    EXPECT_EQ(asked.count(), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              ".Archive.Finance.Corvale: incomplete: the ACL of .Archive.Finance.Corvale could not "
              "be read (no access)\n.Nobody.Corvale: not found");
    // A whole run hides it.
    result.Entries.resize(2);
    result.Entries[0].Incomplete.clear();
    banner->SetResult(result);
    EXPECT_FALSE(banner->isVisible());
}

TEST(WindowPlacement, SavedPositionsComeBackOntoTheNearestScreen) {
    const std::vector<QRect> one = {QRect(0, 0, 1920, 1040)};
    // On the screen: left as it is.
    EXPECT_EQ(U_PlaceOnScreen(QRect(100, 80, 1200, 800), one), QRect(100, 80, 1200, 800));
    // Off every screen, on each side: moved just inside.
    EXPECT_EQ(U_PlaceOnScreen(QRect(5000, 3000, 800, 600), one), QRect(1120, 440, 800, 600));
    EXPECT_EQ(U_PlaceOnScreen(QRect(-3000, -50, 800, 600), one), QRect(0, 0, 800, 600));
    // Only a corner visible: moved in.
    EXPECT_EQ(U_PlaceOnScreen(QRect(1800, 1000, 800, 600), one), QRect(1120, 440, 800, 600));
    // Larger than the screen: shrunk to it.
    EXPECT_EQ(U_PlaceOnScreen(QRect(-10, -10, 4000, 3000), one), QRect(0, 0, 1920, 1040));

    // Two screens: the one it overlaps most keeps it; a screen that is gone gives way to the
    // nearest one there is.
    const std::vector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_EQ(U_PlaceOnScreen(QRect(1800, 100, 1000, 700), two), QRect(1920, 100, 1000, 700));
    EXPECT_EQ(U_PlaceOnScreen(QRect(1000, 100, 1000, 700), two), QRect(920, 100, 1000, 700));
    EXPECT_EQ(U_PlaceOnScreen(QRect(3400, 200, 1500, 900), two), QRect(1920, 124, 1280, 900));
    EXPECT_EQ(U_PlaceOnScreen(QRect(100, 100, 10, 10), {}), QRect(100, 100, 10, 10));
}

TEST(WindowPlacement, TheFirstSizeFitsTheScreenAtAnyScale) {
    const QSize preferred(1400, 900), minimum(640, 480);
    // A scale of 2 halves the logical screen: 1920x1080 pixels are 960x540.
    for (QRect available : {QRect(0, 0, 1920, 1040), QRect(0, 0, 960, 520), QRect(0, 0, 800, 600),
                            QRect(1920, 0, 683, 384)}) {
        SCOPED_TRACE(available.width());
        const QRect r = U_FirstWindowGeometry(preferred, minimum, available);
        EXPECT_TRUE(available.contains(r))
            << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        EXPECT_LE(r.width(), preferred.width());
        EXPECT_GE(r.width(), std::min(minimum.width(), available.width()));
    }
    EXPECT_EQ(U_FirstWindowSize(preferred, minimum, QRect(0, 0, 3840, 2100)), preferred);
    EXPECT_EQ(U_FirstWindowSize(preferred, minimum, QRect(0, 0, 960, 520)), QSize(816, 480));
}

TEST(FormHelpGuide, ExplainsAResultWithExamplesAndOpensOnce) {
    const std::string guide = TFormHelp::ResultGuide().Text("\n");
    for (const char* topic :
         {"[Public]", "[Root]", "[This]", "R Read", "B Browse", "C Compare", "IRM", "SecEqu",
          "The letter I", "[BCDRAI]", "SecEqu to \".Staff.ACME\"", "IRM [R    F  ]"})
        EXPECT_NE(guide.find(topic), std::string::npos) << topic;

    QMainWindow owner;
    TFormHelp* help = TFormHelp::Open(&owner, "Trovalen Help");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(S(help->windowTitle()), "Trovalen Help");
    EXPECT_NE(help->Text().find("READING A RESULT"), std::string::npos);
    EXPECT_EQ(TFormHelp::Open(&owner, "Trovalen Help"), help) << "one help window";
    EXPECT_EQ(owner.findChildren<TFormHelp*>().size(), 1);
}

} // namespace
} // namespace trovalen::test
