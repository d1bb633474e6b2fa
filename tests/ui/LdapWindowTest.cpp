// The window's start on a live tree: its command line, and the window over a private slapd, or
// without a client when the directory cannot be opened.
#include <QComboBox>
#include <QListWidget>

#include <gtest/gtest.h>

#include "UiFixture.h"
#include "backend/ldap/LdapServer.h"
#include "ui/Program.h"
#include "ui/Widgets.h"

namespace trovalen::test {
namespace {

std::string SampleTree() {
    return std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
}

TEST(ProgramArgs, LdapOptionsGoWithTheEdirWindowOnly) {
    const TStartConfig edir{1, false, true}, files{4, true, false};
    struct TCase {
        std::vector<std::string> Args;
        bool Edir;
        std::string Error; // a part of the message; empty when the arguments are good
    };
    const TCase cases[] = {
        {{"--ldap", "ldap://h", "--base=o=Corvale", "DEBUG"}, true, ""},
        {{"--tree=x.json", "--debug"}, false, ""},
        {{"--ldap", "ldap://h"}, false, "--ldap goes with trovalen-edir"},
        {{"--ldap", "ldap://h", "--tree", "x.json"}, true, "two directories"},
        {{"--tree-name", "CORVALE_TREE"}, true, "--tree-name goes with --ldap"},
        {{"--bind-dn", "cn=admin,o=Corvale"}, true, "--bind-dn goes with --ldap"},
        {{"--ldap", "ldap://h", "--password", "secret"}, true, "there is no --password option"},
        {{"--ldap", "ftp://h"}, true, "is no LDAP address"},
        {{"--tree"}, false, "--tree needs a file name"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + (c.Args.size() > 1 ? c.Args[1] : ""));
        TProgramArgs args;
        std::string error;
        int code = ParseProgramArgs(c.Args, c.Edir ? edir : files, args, error);
        EXPECT_EQ(code, c.Error.empty() ? 0 : 2) << error;
        EXPECT_NE(error.find(c.Error), std::string::npos) << error;
        EXPECT_EQ(error.find("secret"), std::string::npos) << error;
    }
    TProgramArgs args;
    std::string error;
    ASSERT_EQ(
        ParseProgramArgs({"--ldap", "ldap://h", "--base=o=Corvale", "--debug"}, edir, args, error),
        0);
    EXPECT_EQ(args.Directory.Ldap.Uri, "ldap://h");
    EXPECT_EQ(args.Directory.Ldap.Base, "o=Corvale");
    EXPECT_EQ(args.Parameters, std::vector<std::string>{"DEBUG"});
}

class LdapWindowTest : public TUiFixture {
protected:
};

TEST_F(LdapWindowTest, OpensOnALiveTree) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree CORVALE_TREE");
    TProgramArgs args;
    std::string error;
    ASSERT_EQ(ParseProgramArgs({"--ldap", server.Uri()}, EdirConfig(), args, error), 0) << error;
    TStartConfig start = EdirConfig();
    std::shared_ptr<TNWClient> client = OpenDirectory(args, start);
    ASSERT_NE(client, nullptr) << start.ClientError;
    {
        TMainForm form(start, client.get());
        EXPECT_TRUE(Messages.empty()) << Messages[0];
        auto* trees = Child<QComboBox>(form, "ComboBoxTrees");
        ASSERT_EQ(trees->count(), 1);
        EXPECT_EQ(S(trees->currentText()), "CORVALE_TREE");
        auto* containers = Child<QListWidget>(form, "ListBoxEdirContainers");
        ASSERT_EQ(containers->count(), 1);
        EXPECT_EQ(S(containers->item(0)->text()), "Corvale");
        form.close();
    }
}

TEST_F(LdapWindowTest, ADirectoryThatCannotBeOpenedIsSaidInTheLists) {
    ldaptest::TLdapServer server;
    TROVALEN_START_LDAP(server, SampleTree(), "--tree CORVALE_TREE");
    TProgramArgs args;
    std::string error;
    ASSERT_EQ(ParseProgramArgs({"--ldap", server.Uri(), "--base", "o=Nowhere"}, EdirConfig(), args,
                               error),
              0)
        << error;
    TStartConfig start = EdirConfig();
    ASSERT_EQ(OpenDirectory(args, start), nullptr);
    EXPECT_NE(start.ClientError.find("the base \"o=Nowhere\" does not exist"), std::string::npos)
        << start.ClientError;
    {
        TMainForm form(start, nullptr);
        auto* objects = Child<TListBox>(form, "ListBoxEdirObjects");
        EXPECT_EQ(objects->count(), 0);
        EXPECT_EQ(S(objects->Hint()),
                  "No directory could be opened over LDAP: " + start.ClientError);
        form.close();
    }
}

} // namespace
} // namespace trovalen::test
