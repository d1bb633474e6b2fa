// The options that open a live directory over LDAP, the same in every front end: what they are
// called, how their values are checked, where the password comes from, and the client they make.
// UI-free: the window and the headless command both parse their command lines with it.
//
// The password never comes from the command line (a command line is visible to every user of the
// machine): it is read from a file, from TROVALEN_LDAP_PASSWORD, or asked for on the terminal
// without echo. It is never printed, logged or written anywhere.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backend/ldap/LdapClient.h"
#include "backend/ldap/LdapConnectSettings.h"

namespace trovalen::ldap {

constexpr char kPasswordVariable[] = "TROVALEN_LDAP_PASSWORD";
constexpr size_t kMaxUriBytes = 2048;
constexpr size_t kMaxPasswordBytes = 4096;

// The help lines of the options, for a front end's --help.
extern const char kLdapOptionsHelp[];

struct TLdapArgs {
    std::string Uri;                          // --ldap
    std::string BindDn;                       // --bind-dn
    std::string PasswordFile;                 // --password-file
    std::string CaFile;                       // --ca-file
    bool StartTls = false;                    // --starttls
    std::string Base;                         // --base
    std::string TreeName;                     // --tree-name (a front end may use it without --ldap)
    int TimeoutSeconds = kLdapDefaultTimeout; // --timeout
    bool TimeoutGiven = false;                // --timeout also limits each request
    // The first option given that means nothing without --ldap; empty when none was.
    std::string FirstLdapOnly;

    bool Ldap() const { return !Uri.empty(); }
};

enum class TArgTake {
    NotMine, // not one of these options: the front end looks at it
    Taken,   // taken (with its value); i points at the last argument used
    Error,   // one of these options, but wrong: error says why
};

// Looks at args[i]: `--opt VALUE` and `--opt=VALUE` are both read. A value is checked as it is
// taken (the addresses' schemes, a DN, a whole number of seconds, a file that can be read); the
// limits are the connect dialog's (LdapConnectSettings.h).
TArgTake TakeArg(const std::vector<std::string>& args, size_t& i, TLdapArgs& out,
                 std::string& error);

// Checks the options together once all are taken: options that need --ldap without it, a
// password file without a bind DN, --starttls on an address that is TLS already.
bool CheckArgs(const TLdapArgs& args, std::string& error);

// Where a password can come from; tests replace each part.
struct TPasswordSource {
    std::function<std::string(const char* name)> Env; // "" when unset
    std::function<bool()> Terminal;                   // whether standard input is a terminal
    std::function<bool(const std::string& prompt, std::string& password, std::string& error)>
        Prompt;

    // The process's environment, standard input and the terminal (echo off while typing).
    static TPasswordSource System();
};

// The password to bind with: the first line of --password-file, else TROVALEN_LDAP_PASSWORD,
// else (with a bind DN and a terminal on standard input) asked for without echo. Without a bind
// DN the bind is anonymous and the password empty. false with one message in error when a bind
// DN has no way to get its password, or the file cannot be read.
bool ResolvePassword(const TLdapArgs& args, const TPasswordSource& source, std::string& password,
                     std::string& error);

// The client's options from the arguments, the password resolved.
bool ClientOptions(const TLdapArgs& args, const TPasswordSource& source, TLdapClientOptions& out,
                   std::string& error);

// Resolves the password, builds the client and connects it; null with one message in error.
std::shared_ptr<TLdapClient> ConnectClient(const TLdapArgs& args, const TPasswordSource& source,
                                           std::string& error);

} // namespace trovalen::ldap
