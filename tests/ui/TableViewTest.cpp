// The summary as a table: its rows are the summary's trustee lines, it sorts and filters, it
// shows the chosen trustee's reasons, and saving from it writes the summary's lines.
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "UiFixture.h"
#include "ui/ResultTableView.h"
#include "ui/Widgets.h"
#include "util/Util.h"

namespace trovalen::test {
namespace {

class TableViewTest : public TUiFixture {
protected:
    std::unique_ptr<TMainForm> Scanned() {
        UseTree(kSmallTree);
        WriteSettings("[CheckListBoxPaths]\n0=\\\\FS1\\SYS\\APPS\n1=\\\\FS1\\SYS\\HOME\n"
                      "[CheckListBoxPaths Checked]\n\\\\FS1\\SYS\\APPS=1\n\\\\FS1\\SYS\\HOME=1\n"
                      "[Settings]\nCheckBoxSettingsScanSubDirs=1\n");
        auto form = Start(FileConfig());
        form->show();
        Child<QTabWidget>(*form, "PageControl1")
            ->setCurrentWidget(Child<QWidget>(*form, "TabSheetAction"));
        form->BitBtnScanClick();
        return form;
    }

    // The text of a view row as a summary line.
    static std::string LineOf(QTableView* view, int row) {
        std::string line = "Effective Trustee:";
        for (int c : {rcClass, rcRights, rcTrustee})
            line += "\t" + S(view->model()->index(row, c).data().toString());
        return line;
    }

    // The reasons the details pane lists under the trustee's "  Effective:" line on the entry.
    static std::vector<std::string> DetailsReasons(const TStringList& details,
                                                   const std::string& entry,
                                                   const std::string& trustee) {
        std::vector<std::string> out;
        bool inEntry = false, inTrustee = false;
        for (const auto& l : details) {
            if (U_StartsWith(l.Text, "Path: \"") && l.Text.find(" - IRM") == std::string::npos)
                inEntry = l.Text == "Path: \"" + entry + "\"";
            else if (U_StartsWith(l.Text, "  Effective: "))
                inTrustee =
                    inEntry && l.Text.size() >= trustee.size() &&
                    l.Text.compare(l.Text.size() - trustee.size(), trustee.size(), trustee) == 0;
            else if (inTrustee && U_StartsWith(l.Text, "     * "))
                out.push_back(l.Text.substr(7));
        }
        return out;
    }
};

TEST_F(TableViewTest, RowsAreTheSummaryLinesAndSortFilterAndExplain) {
    auto form = Scanned();
    auto* memo = Child<QPlainTextEdit>(*form, "MemoStandard");
    auto* toggle = Child<QCheckBox>(*form, "CheckBoxTableView");
    auto* view = Child<QTableView>(*form, "TableViewSummary");
    auto* filter = Child<QLineEdit>(*form, "EditTableFilter");
    auto* reasons = Child<QPlainTextEdit>(*form, "MemoReasons");
    EXPECT_TRUE(memo->isVisible());
    EXPECT_FALSE(view->isVisible());
    toggle->click();
    EXPECT_FALSE(memo->isVisible());
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->isColumnHidden(rcAttribute)) << "directories have no attribute";

    std::vector<std::string> expected;
    for (const auto& l : form->SummaryLines())
        if (U_StartsWith(l.Text, "Effective Trustee:\t"))
            expected.push_back(l.Text);
    ASSERT_GT(expected.size(), 4u);
    ASSERT_EQ(view->model()->rowCount(), static_cast<int>(expected.size()));
    for (int r = 0; r < view->model()->rowCount(); ++r)
        EXPECT_EQ(LineOf(view, r), expected[r]);

    // Sorting by trustee, then by entry in descending order.
    view->sortByColumn(rcTrustee, Qt::AscendingOrder);
    for (int r = 1; r < view->model()->rowCount(); ++r)
        EXPECT_LE(
            view->model()
                ->index(r - 1, rcTrustee)
                .data()
                .toString()
                .compare(view->model()->index(r, rcTrustee).data().toString(), Qt::CaseInsensitive),
            0);
    view->sortByColumn(rcEntry, Qt::DescendingOrder);
    for (int r = 1; r < view->model()->rowCount(); ++r)
        EXPECT_GE(
            view->model()
                ->index(r - 1, rcEntry)
                .data()
                .toString()
                .compare(view->model()->index(r, rcEntry).data().toString(), Qt::CaseInsensitive),
            0);

    // Filtering: the rows whose summary line names the text, whatever its case.
    filter->setText("ADMIN");
    int admins = 0;
    for (const auto& line : expected)
        admins += U_PosCI("admin", line) > 0 ? 1 : 0;
    ASSERT_GT(admins, 0);
    ASSERT_LT(admins, static_cast<int>(expected.size()));
    EXPECT_EQ(view->model()->rowCount(), admins);
    filter->setText("no such text");
    EXPECT_EQ(view->model()->rowCount(), 0);
    filter->clear();
    EXPECT_EQ(view->model()->rowCount(), static_cast<int>(expected.size()));

    // The chosen row's reasons are the ones the details give that trustee on that entry.
    int checked = 0;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        view->setCurrentIndex(view->model()->index(r, rcTrustee));
        std::string entry = S(view->model()->index(r, rcEntry).data().toString());
        std::string trustee = S(view->model()->index(r, rcTrustee).data().toString());
        std::vector<std::string> want = DetailsReasons(form->DetailsLines(), entry, trustee);
        ASSERT_FALSE(want.empty()) << entry << " " << trustee;
        std::string text = S(reasons->toPlainText());
        for (const auto& reason : want)
            EXPECT_NE(text.find("* " + reason), std::string::npos) << text;
        EXPECT_NE(text.find(trustee), std::string::npos);
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(expected.size()));

    // Saving from the table writes the summary's lines.
    std::string saved = Dir + "/FromTable.txt";
    form->Save().SaveFileDialog = [&](const std::string&) {
        return std::optional<std::string>(saved);
    };
    form->Save().ActionSaveAsExecute();
    form->Save().ActionSaveAsTxtClick();
    std::ifstream in(saved, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), form->SummaryLines().Text("\r\n"));

    // The details switch wins over the table; the table's switch is kept across a restart.
    Child<QCheckBox>(*form, "CheckBoxDebug")->click();
    EXPECT_TRUE(Child<QPlainTextEdit>(*form, "MemoDebug")->isVisible());
    EXPECT_FALSE(view->isVisible());
    Close(form);
    form = Start(FileConfig());
    EXPECT_TRUE(Child<QCheckBox>(*form, "CheckBoxTableView")->isChecked());
    EXPECT_EQ(Child<QTableView>(*form, "TableViewSummary")->model()->rowCount(), 0);
    Close(form);
}

TEST_F(TableViewTest, ANewScanEmptiesTheTableFirst) {
    auto form = Scanned();
    int rows = form->ResultTable().Count();
    ASSERT_GT(rows, 0);
    form->BitBtnScanClick();
    EXPECT_EQ(form->ResultTable().Count(), rows);
    EXPECT_EQ(Child<QTableView>(*form, "TableViewSummary")->model()->rowCount(), rows);
    Close(form);
}

} // namespace
} // namespace trovalen::test
