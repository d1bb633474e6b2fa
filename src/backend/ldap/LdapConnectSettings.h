// The fields of a connection to a directory over LDAP as a person fills them in (the window's
// "Connect to directory" dialog): checked field by field with one message each, kept in the
// settings file (every field but the password, which is never stored) and turned into the
// client's options. ConnectLdapClient then builds and connects the client in one call.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "backend/ldap/LdapClient.h"
#include "settings/IniFile.h"

namespace trovalen {

// The fields, in the dialog's order.
enum class TLdapField { Uri, BindDn, Password, StartTls, CaFile, Base, TreeName, Timeout };

struct TLdapFieldError {
    TLdapField Field;
    std::string Message;
};

// The settings section that keeps the fields.
constexpr char kLdapSettingsSection[] = "Directory Connection";
constexpr int kLdapDefaultTimeout = 10;
// The limit of one request once connected when none is given: a search of a large tree on a
// slow server may take minutes.
constexpr int kLdapDefaultRequestTimeout = 300;
// The longest wait for a server that a person can ask for, in seconds.
constexpr int kLdapMaxTimeout = 3600;
// The longest tree name; the client cuts a longer one.
constexpr size_t kLdapTreeNameMax = 32;

struct TLdapConnectSettings {
    std::string Uri;    // ldap://, ldaps:// or ldapi://; several may be given, separated by blanks
    std::string BindDn; // empty: an anonymous bind
    std::string Password; // held for one connection only: never stored, never logged
    bool StartTls = false;
    std::string CaFile;   // empty: the system's certificates
    std::string Base;     // empty: the server's naming contexts
    std::string TreeName; // empty: the server's
    std::string Timeout = std::to_string(kLdapDefaultTimeout); // seconds, as typed

    // Every bad field with its message, in the dialog's order; empty when the fields can be
    // used. Blanks around a field do not count.
    std::vector<TLdapFieldError> Validate() const;

    // Reads every field but the password from the settings file (a missing key gives the
    // field's default); the password is left empty. What was read is not checked here: the
    // dialog shows it as it is and Validate says what is wrong with it.
    void Load(const TIniFile& file);
    // Writes every field but the password. A write the file refuses is said once through the
    // message hook (the settings store's rule); the fields stay as they are.
    void Save(TIniFile& file) const;

    // The client's options from the fields, blanks around them removed. Meant for fields that
    // Validate accepts; a timeout that is no number gives the default.
    TLdapClientOptions Options() const;
};

// The timeout field as seconds: a whole number from 1 to kLdapMaxTimeout, blanks around it
// allowed; 0 when it is anything else.
int LdapTimeoutSeconds(const std::string& text);

// Builds an LDAP client and connects it. Null, with one message in error, when it cannot
// connect (the client's own message: unreachable, refused credentials, TLS, no such base).
std::shared_ptr<TLdapClient> ConnectLdapClient(const TLdapClientOptions& options,
                                               std::string& error);

} // namespace trovalen
