// The fields of the "Connect to directory" dialog without the window: what each check refuses,
// what the settings file keeps (never the password), the options built, and a connection that
// cannot be made.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "backend/ldap/LdapConnectSettings.h"
#include "common/FreePort.h"
#include "common/ScratchEnv.h"
#include "settings/IniFile.h"

namespace trovalen {
namespace {

using test::ScratchTest;

TLdapConnectSettings Good() {
    TLdapConnectSettings s;
    s.Uri = "ldap://127.0.0.1:389";
    s.BindDn = "cn=admin,o=Corvale";
    s.Password = "s3cret!";
    s.Base = "o=Corvale";
    s.TreeName = "CORVALE_TREE";
    return s;
}

class LdapConnectSettingsTest : public ScratchTest {
protected:
    std::string IniName() const { return (root / "settings.ini").string(); }
    std::string FileText() const {
        std::ifstream in(IniName(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

TEST_F(LdapConnectSettingsTest, EachBadFieldHasItsOwnMessage) {
    std::string caFile = (root / "ca.pem").string();
    std::ofstream(caFile) << "-----BEGIN CERTIFICATE-----\n";
    struct TCase {
        const char* Name;
        std::function<void(TLdapConnectSettings&)> Change;
        bool Bad;
        TLdapField Field;
        const char* Message;
    };
    const TCase cases[] = {
        {"good", [](auto&) {}, false, TLdapField::Uri, ""},
        {"no uri", [](auto& s) { s.Uri = ""; }, true, TLdapField::Uri, "Enter the server's"},
        {"blank uri", [](auto& s) { s.Uri = "  "; }, true, TLdapField::Uri, "Enter the server's"},
        {"http", [](auto& s) { s.Uri = "http://x"; }, true, TLdapField::Uri, "\"http://x\" does"},
        {"no scheme", [](auto& s) { s.Uri = "server"; }, true, TLdapField::Uri, "ldapi://"},
        {"second of two", [](auto& s) { s.Uri = "ldap://a ftp://b"; }, true, TLdapField::Uri,
         "\"ftp://b\""},
        {"two good", [](auto& s) { s.Uri = "ldap://a  ldaps://b"; }, false, TLdapField::Uri, ""},
        {"upper case", [](auto& s) { s.Uri = "LDAPS://x:636"; }, false, TLdapField::Uri, ""},
        {"ldapi", [](auto& s) { s.Uri = "ldapi://%2Frun%2Fldapi"; }, false, TLdapField::Uri, ""},
        {"line break", [](auto& s) { s.Uri = "ldap://a\nb"; }, true, TLdapField::Uri, "line break"},
        {"bind dn tab", [](auto& s) { s.BindDn = "cn=a\t,o=b"; }, true, TLdapField::BindDn,
         "bind DN holds"},
        {"bind dn without password", [](auto& s) { s.Password.clear(); }, true,
         TLdapField::Password, "password of the bind DN"},
        {"anonymous",
         [](auto& s) {
             s.BindDn.clear();
             s.Password.clear();
         },
         false, TLdapField::Uri, ""},
        {"starttls ldaps",
         [](auto& s) {
             s.Uri = "ldaps://x";
             s.StartTls = true;
         },
         true, TLdapField::StartTls, "encrypted already"},
        {"starttls ldap", [](auto& s) { s.StartTls = true; }, false, TLdapField::Uri, ""},
        {"ca missing", [](auto& s) { s.CaFile = "/nonexistent/ca.pem"; }, true, TLdapField::CaFile,
         "/nonexistent/ca.pem does not exist"},
        {"ca folder", [&](auto& s) { s.CaFile = root.string(); }, true, TLdapField::CaFile,
         "is not a file"},
        {"ca present", [&](auto& s) { s.CaFile = caFile; }, false, TLdapField::Uri, ""},
        {"base no dn", [](auto& s) { s.Base = "Corvale"; }, true, TLdapField::Base,
         "\"Corvale\" cannot be read"},
        {"base empty", [](auto& s) { s.Base = ""; }, false, TLdapField::Uri, ""},
        {"tree 32", [](auto& s) { s.TreeName = std::string(32, 'T'); }, false, TLdapField::Uri, ""},
        {"tree 33", [](auto& s) { s.TreeName = std::string(33, 'T'); }, true, TLdapField::TreeName,
         "longer than 32"},
        {"uri too long", [](auto& s) { s.Uri = "ldap://" + std::string(2100, 'a'); }, true,
         TLdapField::Uri, "longer than 2047"},
        {"timeout 1", [](auto& s) { s.Timeout = "1"; }, false, TLdapField::Uri, ""},
        {"timeout blanks", [](auto& s) { s.Timeout = " 30 "; }, false, TLdapField::Uri, ""},
        {"timeout max", [](auto& s) { s.Timeout = "3600"; }, false, TLdapField::Uri, ""},
        {"timeout empty", [](auto& s) { s.Timeout = ""; }, true, TLdapField::Timeout,
         "whole number of seconds from 1 to 3600"},
        {"timeout 0", [](auto& s) { s.Timeout = "0"; }, true, TLdapField::Timeout, "from 1"},
        {"timeout negative", [](auto& s) { s.Timeout = "-5"; }, true, TLdapField::Timeout,
         "from 1"},
        {"timeout fraction", [](auto& s) { s.Timeout = "1.5"; }, true, TLdapField::Timeout,
         "from 1"},
        {"timeout words", [](auto& s) { s.Timeout = "ten"; }, true, TLdapField::Timeout, "from 1"},
        {"timeout over", [](auto& s) { s.Timeout = "3601"; }, true, TLdapField::Timeout, "from 1"},
        {"timeout overflow", [](auto& s) { s.Timeout = "99999999999999999999"; }, true,
         TLdapField::Timeout, "from 1"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLdapConnectSettings s = Good();
        c.Change(s);
        std::vector<TLdapFieldError> errors = s.Validate();
        if (!c.Bad) {
            EXPECT_TRUE(errors.empty()) << errors.front().Message;
            continue;
        }
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].Field, c.Field);
        EXPECT_NE(errors[0].Message.find(c.Message), std::string::npos) << errors[0].Message;
    }
}

TEST_F(LdapConnectSettingsTest, EveryBadFieldIsNamedInTheDialogsOrder) {
    TLdapConnectSettings s = Good();
    s.Uri = "";
    s.CaFile = "/nonexistent";
    s.Timeout = "0";
    std::vector<TLdapFieldError> errors = s.Validate();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].Field, TLdapField::Uri);
    EXPECT_EQ(errors[1].Field, TLdapField::CaFile);
    EXPECT_EQ(errors[2].Field, TLdapField::Timeout);
}

TEST_F(LdapConnectSettingsTest, SettingsKeepEveryFieldButThePassword) {
    TLdapConnectSettings s = Good();
    s.StartTls = true;
    s.CaFile = "  /etc/ssl/\"ca\".pem ";
    s.TreeName = "\"QUOTED\""; // enclosing quotes the file would otherwise drop
    s.Timeout = "25";
    {
        TIniFile ini(IniName());
        s.Save(ini);
    }
    EXPECT_EQ(FileText().find(s.Password), std::string::npos) << FileText();
    EXPECT_EQ(FileText().find("assword"), std::string::npos) << FileText();

    TLdapConnectSettings back;
    back.Password = "left from before";
    TIniFile ini(IniName());
    back.Load(ini);
    EXPECT_EQ(back.Uri, s.Uri);
    EXPECT_EQ(back.BindDn, s.BindDn);
    EXPECT_EQ(back.Password, "");
    EXPECT_TRUE(back.StartTls);
    EXPECT_EQ(back.CaFile, "/etc/ssl/\"ca\".pem");
    EXPECT_EQ(back.Base, s.Base);
    EXPECT_EQ(back.TreeName, "\"QUOTED\"");
    EXPECT_EQ(back.Timeout, "25");

    // A second save of the same fields leaves the file alone.
    std::string before = FileText();
    back.Save(ini);
    EXPECT_EQ(FileText(), before);
}

TEST_F(LdapConnectSettingsTest, LoadGivesDefaultsAndShowsWhatWasStoredAsItIs) {
    TLdapConnectSettings fresh;
    TIniFile none(IniName());
    fresh.Load(none);
    EXPECT_EQ(fresh.Uri, "");
    EXPECT_FALSE(fresh.StartTls);
    EXPECT_EQ(fresh.Timeout, "10");

    std::ofstream(IniName()) << "[Directory Connection]\nUri=http://old\nTimeout=soon\n"
                                "Password=stored by hand\nStartTls=yes\n";
    TIniFile ini(IniName());
    TLdapConnectSettings s;
    s.Load(ini);
    EXPECT_EQ(s.Uri, "http://old");
    EXPECT_EQ(s.Timeout, "soon");
    EXPECT_EQ(s.Password, ""); // a password put in the file by hand is never read
    std::vector<TLdapFieldError> errors = s.Validate();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].Field, TLdapField::Uri);
    EXPECT_EQ(errors[1].Field, TLdapField::Timeout);
}

TEST_F(LdapConnectSettingsTest, OptionsCarryTheTrimmedFieldsAndThePassword) {
    TLdapConnectSettings s = Good();
    s.Uri = " ldap://host:1389 ";
    s.BindDn = " cn=admin,o=Corvale";
    s.Password = " keeps its blanks ";
    s.StartTls = true;
    s.Timeout = " 7";
    TLdapClientOptions o = s.Options();
    EXPECT_EQ(o.Connection.Uri, "ldap://host:1389");
    EXPECT_EQ(o.Connection.BindDn, "cn=admin,o=Corvale");
    EXPECT_EQ(o.Connection.Password, " keeps its blanks ");
    EXPECT_TRUE(o.Connection.StartTls);
    EXPECT_EQ(o.Connection.TimeoutSeconds, 7);
    EXPECT_EQ(o.Base, "o=Corvale");
    EXPECT_EQ(o.TreeName, "CORVALE_TREE");
    s.Timeout = "never";
    EXPECT_EQ(s.Options().Connection.TimeoutSeconds, kLdapDefaultTimeout);
}

TEST_F(LdapConnectSettingsTest, AServerThatIsNotThereGivesNoClientAndSaysWhy) {
    int port = test::FreePort();
    ASSERT_GT(port, 0);
    TLdapConnectSettings s = Good();
    s.Uri = "ldap://127.0.0.1:" + std::to_string(port);
    s.Timeout = "1";
    std::string error;
    auto client = ConnectLdapClient(s.Options(), error);
    EXPECT_EQ(client, nullptr);
    EXPECT_NE(error.find("cannot reach"), std::string::npos) << error;
    EXPECT_NE(error.find(s.Uri), std::string::npos) << error;
    EXPECT_EQ(error.find(s.Password), std::string::npos) << error;
}

} // namespace
} // namespace trovalen
