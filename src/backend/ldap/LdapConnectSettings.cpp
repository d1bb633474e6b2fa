#include "backend/ldap/LdapConnectSettings.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#include "backend/ldap/LdapNames.h"
#include "settings/Ini.h"
#include "util/Util.h"

namespace trovalen {

namespace {

namespace fs = std::filesystem;

// The keys of the settings section; the password has none.
constexpr char kKeyUri[] = "Uri";
constexpr char kKeyBindDn[] = "BindDn";
constexpr char kKeyStartTls[] = "StartTls";
constexpr char kKeyCaFile[] = "CaFile";
constexpr char kKeyBase[] = "Base";
constexpr char kKeyTreeName[] = "TreeName";
constexpr char kKeyTimeout[] = "Timeout";

bool HasControlChar(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

// "ldap://", "ldaps://" or "ldapi://" at the start, in any case.
bool HasLdapScheme(std::string_view uri) {
    for (std::string_view scheme : {"ldap://", "ldaps://", "ldapi://"})
        if (uri.size() >= scheme.size() && U_SameText(uri.substr(0, scheme.size()), scheme))
            return true;
    return false;
}

// Writes the text so that it reads back exactly: in its quoted form when the file would
// otherwise drop enclosing quotes.
void WriteText(TIniFile& file, const char* key, const std::string& value) {
    U_IniWriteStr(file, kLdapSettingsSection, key,
                  U_IniValueFromStored(value) == value ? value : U_Quoted(value));
}

} // namespace

int LdapTimeoutSeconds(const std::string& text) {
    std::string t = U_TrimBlank(text);
    if (t.empty() || t.size() > 9)
        return 0;
    int seconds = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return 0;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds >= 1 && seconds <= kLdapMaxTimeout ? seconds : 0;
}

std::vector<TLdapFieldError> TLdapConnectSettings::Validate() const {
    std::vector<TLdapFieldError> errors;
    auto bad = [&errors](TLdapField field, std::string message) {
        errors.push_back({field, std::move(message)});
    };
    // The fields that the settings file keeps must fit in one of its lines.
    auto storable = [&bad](TLdapField field, const char* name, const std::string& value) {
        if (HasControlChar(value)) {
            bad(field, U_Format("The %s holds a line break or another control character.", name));
            return false;
        }
        if (value.size() > IniMaxValueLength) {
            bad(field, U_Format("The %s is longer than %d characters.", name,
                                static_cast<int>(IniMaxValueLength)));
            return false;
        }
        return true;
    };

    std::string uri = U_TrimBlank(Uri);
    bool ldaps = false;
    if (uri.empty()) {
        bad(TLdapField::Uri, "Enter the server's address, for example ldap://server.example.com.");
    } else if (storable(TLdapField::Uri, "server address", uri)) {
        for (const std::string& one : ldap::LdapAddresses(uri)) {
            if (!HasLdapScheme(one)) {
                bad(TLdapField::Uri, "The server address \"" + one +
                                         "\" does not start with ldap://, ldaps:// or ldapi://.");
                break;
            }
            ldaps = ldaps || U_SameText(one.substr(0, 8), "ldaps://");
        }
    }

    // An empty password makes an unauthenticated bind, which some servers take as anonymous.
    if (storable(TLdapField::BindDn, "bind DN", U_TrimBlank(BindDn)) &&
        !U_TrimBlank(BindDn).empty() && Password.empty())
        bad(TLdapField::Password, "Enter the password of the bind DN, or leave the bind DN empty "
                                  "to read anonymously.");

    if (StartTls && ldaps)
        bad(TLdapField::StartTls,
            "StartTLS is for ldap:// addresses; an ldaps:// address is encrypted already.");

    std::string caFile = U_TrimBlank(CaFile);
    if (!caFile.empty() && storable(TLdapField::CaFile, "CA file", caFile)) {
        std::error_code ec;
        fs::file_status status = fs::status(caFile, ec);
        if (!fs::exists(status))
            bad(TLdapField::CaFile, "The CA file " + caFile + " does not exist.");
        else if (!fs::is_regular_file(status))
            bad(TLdapField::CaFile, "The CA file " + caFile + " is not a file.");
        else if (!std::ifstream(caFile).is_open())
            bad(TLdapField::CaFile, "The CA file " + caFile + " cannot be read.");
    }

    std::string base = U_TrimBlank(Base);
    if (!base.empty() && storable(TLdapField::Base, "base DN", base)) {
        // Names below the base are read the same way, so a base that cannot be read as a DN
        // would give a tree without names.
        std::vector<ldap::TRdn> rdns;
        std::string error;
        if (!ldap::ParseDn(base, rdns, error))
            bad(TLdapField::Base, "The base DN \"" + base + "\" cannot be read: " + error);
    }

    std::string tree = U_TrimBlank(TreeName);
    if (storable(TLdapField::TreeName, "tree name", tree) && tree.size() > kLdapTreeNameMax)
        bad(TLdapField::TreeName, U_Format("The tree name is longer than %d characters.",
                                           static_cast<int>(kLdapTreeNameMax)));

    if (LdapTimeoutSeconds(Timeout) == 0)
        bad(TLdapField::Timeout,
            U_Format("The timeout must be a whole number of seconds from 1 to %d.",
                     kLdapMaxTimeout));
    return errors;
}

void TLdapConnectSettings::Load(const TIniFile& file) {
    TLdapConnectSettings defaults;
    auto text = [&file](const char* key, const std::string& def) {
        return file.ReadString(kLdapSettingsSection, key, def);
    };
    Uri = text(kKeyUri, defaults.Uri);
    BindDn = text(kKeyBindDn, defaults.BindDn);
    Password.clear();
    StartTls = file.ReadBool(kLdapSettingsSection, kKeyStartTls, defaults.StartTls);
    CaFile = text(kKeyCaFile, defaults.CaFile);
    Base = text(kKeyBase, defaults.Base);
    TreeName = text(kKeyTreeName, defaults.TreeName);
    Timeout = text(kKeyTimeout, defaults.Timeout);
    if (U_TrimBlank(Timeout).empty())
        Timeout = defaults.Timeout;
}

void TLdapConnectSettings::Save(TIniFile& file) const {
    WriteText(file, kKeyUri, U_TrimBlank(Uri));
    WriteText(file, kKeyBindDn, U_TrimBlank(BindDn));
    U_IniWriteBool(file, kLdapSettingsSection, kKeyStartTls, StartTls);
    WriteText(file, kKeyCaFile, U_TrimBlank(CaFile));
    WriteText(file, kKeyBase, U_TrimBlank(Base));
    WriteText(file, kKeyTreeName, U_TrimBlank(TreeName));
    WriteText(file, kKeyTimeout, U_TrimBlank(Timeout));
}

TLdapClientOptions TLdapConnectSettings::Options() const {
    TLdapClientOptions options;
    options.Connection.Uri = U_TrimBlank(Uri);
    options.Connection.BindDn = U_TrimBlank(BindDn);
    options.Connection.Password = Password;
    options.Connection.StartTls = StartTls;
    options.Connection.CaFile = U_TrimBlank(CaFile);
    int seconds = LdapTimeoutSeconds(Timeout);
    options.Connection.TimeoutSeconds = seconds > 0 ? seconds : kLdapDefaultTimeout;
    options.Base = U_TrimBlank(Base);
    options.TreeName = U_TrimBlank(TreeName);
    return options;
}

std::shared_ptr<TLdapClient> ConnectLdapClient(const TLdapClientOptions& options,
                                               std::string& error) {
    auto client = std::make_shared<TLdapClient>(options);
    if (!client->Connect(error))
        return nullptr;
    return client;
}

} // namespace trovalen
