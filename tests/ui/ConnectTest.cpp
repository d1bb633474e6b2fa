// The eDirectory window's "Connect to directory" command: its dialog, the fields the settings
// keep (never the password), the switch to another client, and a private slapd read through it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <unistd.h>

#include "UiFixture.h"
#include "backend/sim/SimLoader.h"
#include "ui/FormConnect.h"
#include "ui/MainConnect.h"
#include "ui/Widgets.h"
#include "util/Util.h"
#ifdef TROVALEN_TREE_EXE
#include "backend/ldap/LdapServer.h"
#include "common/CountingClient.h"
#include "common/FreePort.h"
#endif

namespace trovalen::test {
namespace {

std::vector<std::string> Trees(TMainForm& form) {
    auto* combo = Child<QComboBox>(form, "ComboBoxTrees");
    std::vector<std::string> out;
    for (int i = 0; i < combo->count(); ++i)
        out.push_back(S(combo->itemText(i)));
    return out;
}

std::string SampleTree() {
    return std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
}

// The dialog's fields as a person fills them in.
struct TTyped {
    std::string Uri = {};
    std::string BindDn = {};
    std::string Password = {};
    bool StartTls = false;
    std::string CaFile = {};
    std::string Base = {};
    std::string TreeName = {};
    std::string Timeout = "10";
};

void Type(TFormConnect& dialog, const TTyped& t) {
    Child<QLineEdit>(dialog, "EditUri")->setText(Q(t.Uri));
    Child<QLineEdit>(dialog, "EditBindDn")->setText(Q(t.BindDn));
    Child<QLineEdit>(dialog, "EditPassword")->setText(Q(t.Password));
    Child<QCheckBox>(dialog, "CheckBoxStartTls")->setChecked(t.StartTls);
    Child<QLineEdit>(dialog, "EditCaFile")->setText(Q(t.CaFile));
    Child<QLineEdit>(dialog, "EditBase")->setText(Q(t.Base));
    Child<QLineEdit>(dialog, "EditTreeName")->setText(Q(t.TreeName));
    Child<QLineEdit>(dialog, "EditTimeout")->setText(Q(t.Timeout));
}

class ConnectTest : public TUiFixture {
protected:
    void SetUp() override {
        TUiFixture::SetUp();
        std::string error;
        auto world = sim::LoadTreeText(kSmallTree, "tree.json", error);
        ASSERT_TRUE(world) << error;
        Counting = std::make_shared<TCountingClient>(world);
        Client = Counting;
    }
    void TearDown() override {
        Counting.reset();
        TUiFixture::TearDown();
    }

    // Runs the window's "Connect to directory" command: act works on the open dialog, and
    // answers whether the dialog is to run on (OK pressed and accepted).
    static void RunCommand(TMainForm& form, const std::function<bool(TFormConnect&)>& act) {
        form.ConnectCommand()->Dialog = [&act](TFormConnect& dialog) { return act(dialog); };
        Child<QAction>(form, "ActionConnect")->trigger();
        form.ConnectCommand()->Dialog = nullptr;
    }
    // Types the fields and presses OK; true when the dialog accepted them.
    static bool Connect(TMainForm& form, const TTyped& typed) {
        bool accepted = false;
        RunCommand(form, [&](TFormConnect& dialog) {
            Type(dialog, typed);
            dialog.accept();
            accepted = dialog.result() == QDialog::Accepted;
            return accepted;
        });
        return accepted;
    }
    static void DoubleClick(TMainForm& form, const char* list, const std::string& text) {
        auto* w = Child<QListWidget>(form, list);
        auto found = w->findItems(Q(text), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << text << " in " << list;
        w->setCurrentItem(found.first());
        emit w->itemDoubleClicked(found.first());
    }
    void ExpectOldClientReleased() const {
        EXPECT_TRUE(Counting->Contexts.empty()) << Counting->Contexts.size() << " contexts open";
        EXPECT_TRUE(Counting->Conns.empty()) << Counting->Conns.size() << " connections open";
    }
    std::string Unreachable() const {
        return "ldap://127.0.0.1:" + std::to_string(test::FreePort());
    }

    std::shared_ptr<TCountingClient> Counting;
};

TEST_F(ConnectTest, OnlyTheEdirWindowHasTheCommandAndItWorksFromTheKeyboard) {
    auto form = Start(FileConfig());
    EXPECT_FALSE(Child<QAction>(*form, "ActionConnect")->isVisible());
    Close(form);

    form = Start(EdirConfig());
    auto* action = Child<QAction>(*form, "ActionConnect");
    EXPECT_TRUE(action->isVisible());
    EXPECT_TRUE(action->text().contains('&')) << "a mnemonic in the File menu";
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));

    RunCommand(*form, [](TFormConnect& dialog) {
        // Every caption's access key leads to its field.
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text().contains('&')) {
                EXPECT_NE(label->buddy(), nullptr) << S(label->text());
            }
        }
        EXPECT_EQ(Child<QLineEdit>(dialog, "EditPassword")->echoMode(), QLineEdit::Password);
        // Tab goes through the fields top to bottom.
        std::vector<std::string> order;
        QWidget* w = Child<QWidget>(dialog, "EditUri");
        for (int i = 0; i < 40 && order.size() < 9; ++i, w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() &&
                w->objectName() != "ButtonBox")
                order.push_back(S(w->objectName()));
        EXPECT_EQ(order,
                  (std::vector<std::string>{"EditUri", "EditBindDn", "EditPassword",
                                            "CheckBoxStartTls", "EditCaFile", "ButtonBrowseCa",
                                            "EditBase", "EditTreeName", "EditTimeout"}));
        // The browse button puts the chosen file into the CA file field.
        std::string offered;
        dialog.OpenFileDialog = [&offered](const std::string& current) {
            offered = current;
            return std::optional<std::string>("/etc/ssl/chosen.pem");
        };
        Child<QLineEdit>(dialog, "EditCaFile")->setText("/old/ca.pem");
        Child<QPushButton>(dialog, "ButtonBrowseCa")->click();
        EXPECT_EQ(offered, "/old/ca.pem");
        EXPECT_EQ(Child<QLineEdit>(dialog, "EditCaFile")->text(), "/etc/ssl/chosen.pem");
        dialog.OpenFileDialog = [](const std::string&) { return std::optional<std::string>(); };
        Child<QPushButton>(dialog, "ButtonBrowseCa")->click();
        EXPECT_EQ(Child<QLineEdit>(dialog, "EditCaFile")->text(), "/etc/ssl/chosen.pem")
            << "a cancelled browse keeps the file";
        return false;
    });
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ConnectTest, FieldsRoundTripThroughTheSettingsWithoutThePassword) {
    std::string caFile = Dir + "/ca.pem";
    std::ofstream(caFile) << "-----BEGIN CERTIFICATE-----\n";
    TTyped typed{Unreachable(), "cn=admin,o=Corvale", "Pa55-w0rd!",   true,
                 caFile,        "o=Corvale",          "CORVALE_TREE", "1"};
    auto form = Start(EdirConfig());
    ASSERT_TRUE(Connect(*form, typed));
    ASSERT_EQ(Messages.size(), 1u) << "nothing listens there";
    Close(form);
    std::string text = SettingsText();
    EXPECT_EQ(text.find(typed.Password), std::string::npos) << text;
    EXPECT_EQ(text.find("assword"), std::string::npos) << text;

    // The next window's dialog shows what was typed, but for the password.
    form = Start(EdirConfig());
    TLdapConnectSettings shown;
    RunCommand(*form, [&shown](TFormConnect& dialog) {
        shown = dialog.Fields();
        return false;
    });
    EXPECT_EQ(shown.Uri, typed.Uri);
    EXPECT_EQ(shown.BindDn, typed.BindDn);
    EXPECT_EQ(shown.Password, "");
    EXPECT_TRUE(shown.StartTls);
    EXPECT_EQ(shown.CaFile, typed.CaFile);
    EXPECT_EQ(shown.Base, typed.Base);
    EXPECT_EQ(shown.TreeName, typed.TreeName);
    EXPECT_EQ(shown.Timeout, typed.Timeout);
}

TEST_F(ConnectTest, ABadFieldShowsItsMessageAndTheDialogStaysOpen) {
    struct TCase {
        const char* Editor;
        const char* Bad;
        const char* Fixed;
        const char* Message;
    };
    const TCase cases[] = {
        {"EditUri", "", "ldap://directory", "Enter the server's address"},
        {"EditUri", "https://directory", "ldaps://directory",
         "\"https://directory\" does not start with ldap://"},
        {"EditTimeout", "soon", "30",
         "The timeout must be a whole number of seconds from 1 to 3600"},
        {"EditTimeout", "0", "1", "The timeout must be a whole number of seconds"},
        {"EditTimeout", "-3", "3", "The timeout must be a whole number of seconds"},
        {"EditCaFile", "/nonexistent/ca.pem", "", "The CA file /nonexistent/ca.pem does not exist"},
    };
    auto form = Start(EdirConfig());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Editor + std::string(" = ") + c.Bad);
        RunCommand(*form, [&c](TFormConnect& dialog) {
            Type(dialog, TTyped{"ldap://directory.example.com"});
            auto* bad = Child<QLineEdit>(dialog, c.Editor);
            bad->setText(c.Bad);
            dialog.accept();
            EXPECT_NE(dialog.result(), QDialog::Accepted);
            EXPECT_NE(dialog.ErrorText().find(c.Message), std::string::npos) << dialog.ErrorText();
            EXPECT_FALSE(Child<QLabel>(dialog, "LabelError")->isHidden());
            EXPECT_EQ(dialog.focusWidget(), bad) << "the cursor goes to the bad field";
            // Once the field is right, OK closes the dialog and the message goes.
            bad->setText(c.Fixed);
            dialog.accept();
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.ErrorText();
            EXPECT_EQ(dialog.ErrorText(), "");
            return false; // then cancelled: nothing is kept
        });
    }
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(form->Client(), Counting.get());
    Close(form);
    EXPECT_EQ(SettingsText().find("Directory Connection"), std::string::npos)
        << "a cancelled dialog keeps nothing";
}

TEST_F(ConnectTest, AFailedConnectionKeepsTheClientAndSaysWhy) {
    auto form = Start(EdirConfig());
    DoubleClick(*form, "ListBoxEdirObjects", "[Root]: [Root]");
    std::string uri = Unreachable();
    ASSERT_TRUE(Connect(*form, TTyped{uri, "", "secret", false, "", "", "", "1"}));

    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("Unable to connect to the directory"), std::string::npos);
    EXPECT_NE(Messages[0].find("cannot reach the LDAP server " + uri), std::string::npos)
        << Messages[0];
    EXPECT_EQ(Messages[0].find("secret"), std::string::npos);
    EXPECT_EQ(Child<QTabWidget>(*form, "PageControl1")->currentWidget(),
              Child<QWidget>(*form, "TabSheetInfo"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor went";

    EXPECT_EQ(form->Client(), Counting.get());
    EXPECT_EQ(Trees(*form), (std::vector<std::string>{"ACME_TREE", "OTHER_TREE"}));
    EXPECT_EQ(form->Session().CurrentTree(), "ACME_TREE");
    EXPECT_EQ(Child<TCheckListBox>(*form, "CheckListBoxEdir")->Count(), 1);
    EXPECT_FALSE(Counting->Contexts.empty()) << "the session still works on the client";
    form->BitBtnScanClick();
    EXPECT_TRUE(Contains(form->SummaryLines(), "Settings:  Scan type=eDirectory"));
}

TEST_F(ConnectTest, AWindowStartedWithoutAClientSaysWhyAndTakesOneLater) {
    Counting.reset();
    Client.reset();
    auto form = Start(EdirConfig());
    TLdapConnectSettings fields;
    fields.Uri = Unreachable();
    fields.Timeout = "1";
    EXPECT_FALSE(form->ConnectCommand()->Connect(fields.Options()));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(form->Client(), nullptr);
    auto* objects = Child<TListBox>(*form, "ListBoxEdirObjects");
    EXPECT_EQ(S(objects->Hint()), Messages[0]) << "the empty list says why";

    std::string error;
    std::shared_ptr<TNWClient> sample = MakeSimClient(SampleTree(), error);
    ASSERT_TRUE(sample) << error;
    form->UseClient(std::move(sample));
    EXPECT_EQ(form->Session().CurrentTree(), "CORVALE_TREE");
    EXPECT_EQ(S(objects->Hint()), kHintNoObjects);
    EXPECT_GT(objects->count(), 0);
}

TEST_F(ConnectTest, AnotherClientReplacesTheSessionAndTheWindowHoldsIt) {
    auto form = Start(EdirConfig());
    DoubleClick(*form, "ListBoxEdirObjects", "[Root]: [Root]");
    std::string error;
    std::shared_ptr<TNWClient> sample = MakeSimClient(SampleTree(), error);
    ASSERT_TRUE(sample) << error;
    TNWClient* raw = sample.get();
    form->UseClient(std::move(sample));

    ExpectOldClientReleased();
    EXPECT_EQ(form->Client(), raw);
    EXPECT_EQ(Trees(*form), (std::vector<std::string>{"CORVALE_TREE", "HARBOR_TREE"}));
    EXPECT_EQ(form->Session().CurrentTree(), "CORVALE_TREE");
    EXPECT_EQ(Child<TCheckListBox>(*form, "CheckListBoxEdir")->Count(), 0)
        << "the new tree's own list";
    DoubleClick(*form, "ListBoxEdirContainers", "Corvale");
    DoubleClick(*form, "ListBoxEdirObjects", "User: Admin");
    form->BitBtnScanClick();
    EXPECT_TRUE(Contains(form->SummaryLines(), "Effective Trustee:"));

    // Back to the first client: the list of the tree left there comes back.
    std::shared_ptr<TCountingClient> again = Counting;
    form->UseClient(again);
    EXPECT_EQ(form->Session().CurrentTree(), "ACME_TREE");
    EXPECT_EQ(Texts(Child<QListWidget>(*form, "CheckListBoxEdir")),
              std::vector<std::string>{"[Root]"});
    Close(form);
    ExpectOldClientReleased();
}

#ifdef TROVALEN_TREE_EXE
TEST_F(ConnectTest, ASlapdServesItsTreeToTheWindow) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree CORVALE_TREE");
    auto form = Start(EdirConfig());
    ASSERT_TRUE(Connect(*form, TTyped{server.Uri(), server.AdminDn(), server.Password()}));
    ASSERT_TRUE(Messages.empty()) << Messages[0];
    EXPECT_NE(form->Client(), Counting.get());
    ExpectOldClientReleased();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_NE(form->StatusText(1).find("Connected to " + server.Uri()), std::string::npos);
    EXPECT_EQ(Child<QTabWidget>(*form, "PageControl1")->currentWidget(),
              Child<QWidget>(*form, "TabSheetSelectEdir"));

    EXPECT_EQ(Trees(*form), std::vector<std::string>{"CORVALE_TREE"});
    EXPECT_EQ(form->Session().CurrentTree(), "CORVALE_TREE");
    EXPECT_EQ(Texts(Child<QListWidget>(*form, "ListBoxEdirContainers")),
              std::vector<std::string>{"Corvale"});
    DoubleClick(*form, "ListBoxEdirContainers", "Corvale");
    DoubleClick(*form, "ListBoxEdirObjects", "User: Admin");
    EXPECT_EQ(Texts(Child<QListWidget>(*form, "CheckListBoxEdir")),
              std::vector<std::string>{".Admin.Corvale"});
    form->BitBtnScanClick();
    EXPECT_TRUE(Contains(form->SummaryLines(), "Effective Trustee:"))
        << form->SummaryLines().Text("\n");
    Close(form);
    std::string text = SettingsText();
    EXPECT_NE(text.find("Uri=" + server.Uri()), std::string::npos) << text;
    EXPECT_EQ(text.find(server.Password()), std::string::npos) << "the password is never kept";
}
#endif

} // namespace
} // namespace trovalen::test
