// The changes since a saved result as a table: each kind marked and filtered by its box, the text
// filter, the count, the reasons of the chosen change, and saving exactly the changes shown in
// every format.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "UiFixture.h"
#include "ui/FormCompare.h"
#include "util/Spreadsheet.h"

namespace trovalen::test {
namespace {

TSavedTrustee Trustee(const std::string& name, const std::string& rights, uint32_t mask,
                      const std::string& why) {
    TSavedTrustee t;
    t.Class = "User";
    t.Name = name;
    t.Attribute = "[Entry Rights]";
    t.Family = "entry";
    t.Rights = rights;
    t.Mask = mask;
    t.Reasons = {{rights, mask, "entry", why}};
    return t;
}

TSavedEntry Entry(const std::string& name, std::vector<TSavedTrustee> trustees) {
    TSavedEntry e;
    e.Name = name;
    e.Status = "analysed";
    e.Complete = true;
    e.Trustees = std::move(trustees);
    return e;
}

// Before: Ann and Bob on SALES. After: Bob with more rights, Kim new, Ann gone, DEV new.
TComparison Sample() {
    TSavedResult before, after;
    before.Edir = after.Edir = true;
    before.Entries = {Entry(".SALES.ACME", {Trustee(".Ann.SALES.ACME", "B     ", 1, "for Ann"),
                                            Trustee(".Bob.SALES.ACME", "B     ", 1, "for Bob")})};
    after.Entries = {Entry(".SALES.ACME", {Trustee(".Bob.SALES.ACME", "BC    ", 3, "Bob now more"),
                                           Trustee(".Kim.SALES.ACME", " C    ", 2, "Kim came")}),
                     Entry(".DEV.ACME", {Trustee(".Eve.DEV.ACME", "B     ", 1, "Eve in DEV")})};
    after.Settings.OnlyUsers = true;
    TComparison c;
    std::string error;
    EXPECT_TRUE(U_CompareResults(before, after, "q1.json", "this scan", c, error)) << error;
    return c;
}

std::vector<std::string> Column(QTableView* view, int col) {
    std::vector<std::string> out;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        out.push_back(S(view->model()->index(row, col).data().toString()));
    return out;
}

class CompareWindowTest : public TUiFixture {};

} // namespace

TEST_F(CompareWindowTest, KindsAreMarkedFilteredAndCounted) {
    TFormCompare form(Sample());
    QTableView* view = form.View();
    // Changed Bob, added Kim, removed Ann, DEV appeared with Eve added.
    EXPECT_EQ(Column(view, 1),
              (std::vector<std::string>{"changed", "added", "removed", "appeared", "added"}));
    EXPECT_EQ(form.CountText(), "5 of 5 changes");
    EXPECT_EQ(S(form.CountLabel()->text()), "5 of 5 changes");
    EXPECT_TRUE(form.NotesLabel()->isVisibleTo(&form));
    EXPECT_NE(S(form.NotesLabel()->text()).find("only users: off before, on after"),
              std::string::npos);

    // Each kind has a mark of its own, so a change is told at a glance.
    auto colour = [&](int row) {
        return view->model()->index(row, 0).data(Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_NE(colour(0), colour(1));
    EXPECT_NE(colour(1), colour(2));
    EXPECT_NE(colour(2), colour(3));
    EXPECT_EQ(colour(1), colour(4));
    EXPECT_EQ(view->model()->index(0, 5).data().toString(), "[B     ]");
    EXPECT_EQ(view->model()->index(0, 6).data().toString(), "[BC    ]");

    form.KindBox(cfAdded)->setChecked(false);
    EXPECT_EQ(Column(view, 1), (std::vector<std::string>{"changed", "removed", "appeared"}));
    EXPECT_EQ(form.CountText(), "3 of 5 changes");
    form.KindBox(cfAdded)->setChecked(true);
    form.KindBox(cfEntries)->setChecked(false);
    form.FilterEdit()->setText("sales");
    EXPECT_EQ(Column(view, 2),
              (std::vector<std::string>{".Bob.SALES.ACME", ".Kim.SALES.ACME", ".Ann.SALES.ACME"}));

    // The chosen change's reasons show beneath: the newer result's for what came or changed.
    view->setCurrentIndex(view->model()->index(0, 0));
    EXPECT_EQ(S(form.ReasonsPane()->toPlainText()),
              ".SALES.ACME: changed .Bob.SALES.ACME / [Entry Rights], [B     ] -> [BC    ]\n"
              "[BC    ] Bob now more");
}

TEST_F(CompareWindowTest, SavingWritesTheChangesShownInEveryFormat) {
    TFormCompare form(Sample());
    form.KindBox(cfRemoved)->setChecked(false);
    form.KindBox(cfEntries)->setChecked(false);
    ASSERT_EQ(form.ShownChanges().size(), 3u); // Bob changed, Kim added, Eve added
    namespace fs = std::filesystem;
    const fs::path out = fs::path(Dir) / "saved";
    fs::create_directories(out);
    auto read = [](const fs::path& file) {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    for (TTableFormat format : {TTableFormat::Text, TTableFormat::Csv, TTableFormat::Html,
                                TTableFormat::Xml, TTableFormat::Json, TTableFormat::Xlsx}) {
        const fs::path file = out / (std::string("changes.") + U_TableFormatExtension(format));
        form.SaveDialog = [&](const std::string& folder, const std::string&) {
            EXPECT_FALSE(folder.empty());
            return std::optional<TSaveChoice>(TSaveChoice{file.string(), format});
        };
        form.OfferOpen = [](const std::string&) { return false; };
        form.SaveShownInteractive();
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(form.SaveFolder, out.string());
        const std::string text = read(file);
        if (format == TTableFormat::Json) {
            auto doc = nlohmann::json::parse(text);
            ASSERT_EQ(doc["changes"].size(), 3u);
            EXPECT_EQ(doc["changes"][0]["trustee"], ".Bob.SALES.ACME");
            EXPECT_EQ(doc["changes"][2]["trustee"], ".Eve.DEV.ACME");
        } else if (format == TTableFormat::Xlsx) {
            EXPECT_EQ(text.substr(0, 2), "PK");
        } else {
            EXPECT_NE(text.find(".Kim.SALES.ACME"), std::string::npos) << text;
            EXPECT_EQ(text.find(".Ann.SALES.ACME"), std::string::npos) << text;
        }
        if (format == TTableFormat::Csv) {
            TTextRows rows = U_ParseSeparatedText(text, ',');
            ASSERT_EQ(rows.size(), 5u); // heading, the note, three changes
            EXPECT_EQ(rows[2][2], ".Bob.SALES.ACME");
            EXPECT_EQ(rows[2][5], "[B     ]");
            EXPECT_EQ(rows[2][6], "[BC    ]");
        }
    }
}

} // namespace trovalen::test
