// The LDAP connection options of the front ends: how each value is checked, how the options go
// together, and where the password comes from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "backend/ldap/LdapArgs.h"

namespace trovalen::ldap {
namespace {

namespace fs = std::filesystem;

// Takes every argument and checks them together; "" when all is well, else the one message.
std::string Parse(const std::vector<std::string>& args, TLdapArgs& out) {
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        TArgTake take = TakeArg(args, i, out, error);
        if (take == TArgTake::Error)
            return error.empty() ? "an error without a message" : error;
        if (take == TArgTake::NotMine)
            return "not taken: " + args[i];
    }
    return CheckArgs(out, error) ? std::string() : error;
}

class LdapArgsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trovalen-args-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FDir = pattern;
    }
    void TearDown() override { fs::remove_all(FDir); }

    std::string File(const std::string& name, const std::string& content) {
        std::ofstream(FDir / name, std::ios::binary) << content;
        return (FDir / name).string();
    }
    fs::path FDir;
};

TEST_F(LdapArgsTest, ValuesAreCheckedAsTheyAreTaken) {
    std::string readable = File("ca.pem", "x");
    std::string dir = FDir.string();
    struct TCase {
        std::vector<std::string> Args;
        std::string Error; // a part of the message; empty when the options are good
    };
    const TCase cases[] = {
        {{"--ldap", "ldap://127.0.0.1:389"}, ""},
        {{"--ldap=ldaps://dir.example.org"}, ""},
        {{"--ldap", "LDAPI://%2Frun%2Fslapd%2Fldapi"}, ""},
        {{"--ldap", "ldap://[::1]:636/"}, ""},
        {{"--ldap", "ldap://host:65535"}, ""},
        {{"--ldap"}, "--ldap needs an address"},
        {{"--ldap", ""}, "is no LDAP address"},
        {{"--ldap", "http://host"}, "begins with ldap://, ldaps:// or ldapi://"},
        {{"--ldap", "host:389"}, "begins with ldap://"},
        {{"--ldap", "ldap://host:0"}, "no number from 1 to 65535"},
        {{"--ldap", "ldap://host:65536"}, "no number from 1 to 65535"},
        {{"--ldap", "ldap://host:38a"}, "no number from 1 to 65535"},
        {{"--ldap", "ldap://host:"}, "no number from 1 to 65535"},
        {{"--ldap", "ldap://a  ldaps://b:636 "}, ""},
        {{"--ldap", "ldap://a http://b"}, "begins with ldap://"},
        {{"--ldap", "   "}, "begins with ldap://"},
        {{"--ldap", "ldap://a\nb"}, "control character"},
        {{"--ldap", "ldap://a\tldap://b"}, "control character"},
        {{"--ldap", "ldap://host/o=Corvale"}, "give the top with --base"},
        {{"--ldap", "ldap://" + std::string(3000, 'h')}, "longer than 2048 bytes"},
        {{"--ldap", "ldap://h", "--timeout", "5"}, ""},
        {{"--ldap", "ldap://h", "--timeout=3600"}, ""},
        {{"--ldap", "ldap://h", "--timeout", "0"}, "from 1 to 3600"},
        {{"--ldap", "ldap://h", "--timeout", "3601"}, "from 1 to 3600"},
        {{"--ldap", "ldap://h", "--timeout", "-1"}, "from 1 to 3600"},
        {{"--ldap", "ldap://h", "--timeout", "99999999999999999999"}, "from 1 to 3600"},
        {{"--ldap", "ldap://h", "--timeout", "1.5"}, "from 1 to 3600"},
        {{"--ldap", "ldap://h", "--timeout"}, "--timeout needs a number of seconds"},
        {{"--ldap", "ldap://h", "--bind-dn", "cn=admin,o=Corvale"}, ""},
        {{"--ldap", "ldap://h", "--bind-dn", "admin"}, "--bind-dn 'admin' is no DN"},
        {{"--ldap", "ldap://h", "--bind-dn="}, "is no DN: it is empty"},
        {{"--ldap", "ldap://h", "--base", "o=Corvale"}, ""},
        {{"--ldap", "ldap://h", "--base", "o=Corvale,"}, "--base 'o=Corvale,' is no DN"},
        {{"--ldap", "ldap://h", "--tree-name", "CORVALE_TREE"}, ""},
        {{"--ldap", "ldap://h", "--tree-name", ""}, "--tree-name needs a name"},
        {{"--ldap", "ldap://h", "--tree-name", std::string(32, 'T')}, ""},
        {{"--ldap", "ldap://h", "--tree-name", std::string(33, 'T')}, "longer than 32"},
        {{"--ldap", "ldap://h", "--ca-file", readable}, ""},
        {{"--ldap", "ldap://h", "--ca-file", dir + "/missing.pem"}, "the CA file"},
        {{"--ldap", "ldap://h", "--ca-file", dir}, "is a folder"},
        {{"--ldap", "ldap://h", "--password-file", dir + "/missing"}, "the password file"},
        {{"--ldap", "ldap://h", "--starttls"}, ""},
        {{"--ldap", "ldaps://h", "--starttls"}, "--starttls goes with an ldap:// address"},
        {{"--ldap", "ldap://h ldaps://i", "--starttls"}, "--starttls goes with an ldap://"},
        {{"--ldap", "ldap://h", "--starttls=yes"}, "--starttls takes no value"},
        {{"--ldap", "ldap://h", "--password", "secret"}, "there is no --password option"},
        {{"--ldap", "ldap://h", "--password=secret"}, "use --password-file FILE or"},
        {{"--ldap", "ldap://h", "--password-file", readable}, "goes with --bind-dn"},
        // Options that need an address, without one.
        {{"--bind-dn", "cn=admin,o=Corvale"}, "--bind-dn goes with --ldap URI"},
        {{"--timeout", "5", "--base", "o=X"}, "--timeout goes with --ldap URI"},
        {{"--starttls"}, "--starttls goes with --ldap URI"},
        // The front end decides what --tree-name means without --ldap.
        {{"--tree-name", "T"}, ""},
        {{"--tree", "x.json"}, "not taken: --tree"},
        {{"--ldapx", "ldap://h"}, "not taken: --ldapx"},
    };
    for (const TCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.Args)
            shown += "[" + a.substr(0, 40) + "] ";
        SCOPED_TRACE(shown);
        TLdapArgs args;
        std::string error = Parse(c.Args, args);
        if (c.Error.empty()) {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_NE(error.find(c.Error), std::string::npos) << error;
        }
        EXPECT_EQ(error.find("secret"), std::string::npos) << "a password shown: " << error;
    }
}

TEST_F(LdapArgsTest, BothFormsFillTheClientOptions) {
    std::string ca = File("ca.pem", "x");
    for (bool withEquals : {false, true}) {
        std::vector<std::string> list;
        auto add = [&](const std::string& name, const std::string& value) {
            if (withEquals) {
                list.push_back(name + "=" + value);
            } else {
                list.push_back(name);
                list.push_back(value);
            }
        };
        add("--ldap", " ldap://127.0.0.1:3890 "); // blanks around are dropped
        add("--bind-dn", "cn=admin,o=Corvale");
        add("--ca-file", ca);
        add("--base", "ou=Sales,o=Corvale");
        add("--tree-name", "CORVALE_TREE");
        add("--timeout", "7");
        list.push_back("--starttls");
        TLdapArgs args;
        ASSERT_EQ(Parse(list, args), "");
        TPasswordSource source;
        source.Env = [](const char*) { return std::string("pw"); };
        TLdapClientOptions options;
        std::string error;
        ASSERT_TRUE(ClientOptions(args, source, options, error)) << error;
        EXPECT_EQ(options.Connection.Uri, "ldap://127.0.0.1:3890");
        EXPECT_EQ(options.Connection.BindDn, "cn=admin,o=Corvale");
        EXPECT_EQ(options.Connection.Password, "pw");
        EXPECT_EQ(options.Connection.CaFile, ca);
        EXPECT_TRUE(options.Connection.StartTls);
        EXPECT_EQ(options.Connection.TimeoutSeconds, 7);
        EXPECT_EQ(options.Connection.RequestTimeoutSeconds, 7) << "a limit given limits requests";
        EXPECT_EQ(options.Base, "ou=Sales,o=Corvale");
        EXPECT_EQ(options.TreeName, "CORVALE_TREE");
    }
    TLdapArgs defaults;
    EXPECT_EQ(defaults.TimeoutSeconds, kLdapDefaultTimeout);
    // Without --timeout a request may take much longer than connecting: a large tree on a slow
    // server is read whole.
    defaults.Uri = "ldap://127.0.0.1:3890";
    TLdapClientOptions options;
    std::string error;
    ASSERT_TRUE(ClientOptions(defaults, TPasswordSource{}, options, error)) << error;
    EXPECT_EQ(options.Connection.TimeoutSeconds, kLdapDefaultTimeout);
    EXPECT_EQ(options.Connection.RequestTimeoutSeconds, kLdapDefaultRequestTimeout);
}

TEST_F(LdapArgsTest, PasswordComesFromTheFileTheVariableOrTheTerminal) {
    struct TCase {
        const char* Name;
        std::string BindDn;
        std::string FileContent; // no file when empty
        bool MakeFile;
        std::string Env;
        bool Terminal;
        std::string Typed; // what the prompt answers; it fails when empty
        std::string Password;
        std::string Error; // a part of the message; empty when it succeeds
        bool Prompted;
    };
    const std::string dn = "cn=admin,o=Corvale";
    const std::string longLine(kMaxPasswordBytes + 1, 'p');
    const TCase cases[] = {
        {"anonymous", "", "", false, "from-env", true, "typed", "", "", false},
        {"file first line", dn, "from-file\nsecond\n", true, "from-env", true, "", "from-file", "",
         false},
        {"file with CR LF", dn, "from-file\r\n", true, "", false, "", "from-file", "", false},
        {"file without line end", dn, "from-file", true, "", false, "", "from-file", "", false},
        {"file of the longest", dn, std::string(kMaxPasswordBytes, 'p'), true, "", false, "",
         std::string(kMaxPasswordBytes, 'p'), "", false},
        {"file too long", dn, longLine, true, "", false, "", "", "longer than 4096 bytes", false},
        {"empty file", dn, "", true, "from-env", true, "typed", "", "holds no password", false},
        {"empty first line", dn, "\nsecond\n", true, "", false, "", "", "holds no password", false},
        {"variable", dn, "", false, "from-env", true, "typed", "from-env", "", false},
        {"variable too long", dn, "", false, longLine, false, "", "", "longer than", false},
        {"terminal", dn, "", false, "", true, "typed", "typed", "", true},
        {"terminal, nothing typed", dn, "", false, "", true, "", "", "no password", true},
        {"no terminal", dn, "", false, "", false, "typed", "", "needs a password", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLdapArgs args;
        args.Uri = "ldap://h";
        args.BindDn = c.BindDn;
        if (c.MakeFile)
            args.PasswordFile = File("pw", c.FileContent);
        bool prompted = false;
        std::string promptText;
        TPasswordSource source;
        source.Env = [&](const char* name) {
            return std::string(name) == kPasswordVariable ? c.Env : std::string();
        };
        source.Terminal = [&] { return c.Terminal; };
        source.Prompt = [&](const std::string& prompt, std::string& out, std::string& error) {
            prompted = true;
            promptText = prompt;
            if (c.Typed.empty()) {
                error = "no password was given";
                return false;
            }
            out = c.Typed;
            return true;
        };
        std::string password = "stale", error;
        bool ok = ResolvePassword(args, source, password, error);
        EXPECT_EQ(ok, c.Error.empty()) << error;
        if (ok) {
            EXPECT_EQ(password, c.Password);
        } else {
            EXPECT_NE(error.find(c.Error), std::string::npos) << error;
        }
        EXPECT_EQ(prompted, c.Prompted);
        if (prompted) {
            EXPECT_NE(promptText.find(dn), std::string::npos) << promptText;
        }
        for (const std::string& secret :
             {std::string("from-file"), std::string("from-env"), std::string("typed"), longLine})
            EXPECT_EQ(error.find(secret), std::string::npos) << "a password shown: " << error;
    }
}

TEST_F(LdapArgsTest, AnUnreadablePasswordFileIsRefused) {
    TLdapArgs args;
    args.Uri = "ldap://h";
    args.BindDn = "cn=admin,o=Corvale";
    std::vector<std::string> unreadable = {FDir.string()}; // a folder cannot be read as a file
    if (geteuid() != 0) {
        unreadable.push_back(File("pw", "secret\n"));
        fs::permissions(unreadable.back(), fs::perms::none);
    }
    for (const std::string& file : unreadable) {
        SCOPED_TRACE(file);
        args.PasswordFile = file;
        std::string password, error;
        EXPECT_FALSE(ResolvePassword(args, TPasswordSource{}, password, error));
        EXPECT_NE(error.find("the password file"), std::string::npos) << error;
        std::vector<std::string> list = {"--password-file", file};
        size_t i = 0;
        TLdapArgs taken;
        EXPECT_EQ(TakeArg(list, i, taken, error), TArgTake::Error);
        EXPECT_NE(error.find("the password file"), std::string::npos) << error;
    }
}

} // namespace
} // namespace trovalen::ldap
