#include "backend/ldap/LdapArgs.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "backend/ldap/LdapConnectSettings.h"
#include "backend/ldap/LdapNames.h"
#include "util/Util.h"

namespace trovalen::ldap {

const char kLdapOptionsHelp[] =
    "Live directory over LDAP:\n"
    "  --ldap URI             read the tree from an LDAP server instead of a tree file:\n"
    "                         ldap://HOST[:PORT], ldaps://HOST[:PORT] or ldapi://SOCKET\n"
    "  --bind-dn DN           bind as DN (default: an anonymous bind)\n"
    "  --password-file FILE   the password of --bind-dn is the first line of FILE\n"
    "  --starttls             secure an ldap:// connection with StartTLS\n"
    "  --ca-file FILE         trust the certificate authorities in FILE (PEM)\n"
    "  --base DN              the top of the tree (default: the naming contexts)\n"
    "  --tree-name NAME       the tree's name (default: the server's directoryTreeName,\n"
    "                         else the first naming context)\n"
    "  --timeout SECONDS      limit for connecting and each request (default: 10 for\n"
    "                         connecting, 300 for a request, so that a large tree on a\n"
    "                         slow server is read whole)\n"
    "There is no --password option: a command line is visible to every user of the\n"
    "machine. The password comes from --password-file, else $TROVALEN_LDAP_PASSWORD,\n"
    "else it is asked for on the terminal without echo.\n";

namespace {

// A value as a message shows it: control characters replaced, long values cut.
std::string Shown(std::string_view value) {
    constexpr size_t kMaxShown = 200;
    return U_ShownText(value, kMaxShown);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return U_SameText(text.substr(0, prefix.size()), prefix);
}

// One address: a scheme, then a host and a port (or a socket), and nothing after them.
std::string WhyNoAddress(const std::string& uri) {
    bool ldapi = StartsWithNoCase(uri, "ldapi://");
    size_t rest = ldapi                               ? 8
                  : StartsWithNoCase(uri, "ldap://")  ? 7
                  : StartsWithNoCase(uri, "ldaps://") ? 8
                                                      : 0;
    if (rest == 0)
        return "it begins with ldap://, ldaps:// or ldapi://";
    std::string hostPort = uri.substr(rest, uri.find_first_of("/?", rest) - rest);
    std::string after = uri.substr(rest + hostPort.size());
    if (!after.empty() && after != "/")
        return "a DN, attributes or a filter in the address are not used; give the top with "
               "--base";
    size_t colon = hostPort.rfind(':');
    if (!ldapi && colon != std::string::npos && hostPort.find(']', colon) == std::string::npos) {
        std::string port = hostPort.substr(colon + 1);
        bool digits = !port.empty() && port.size() <= 5 &&
                      port.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::stoul(port) == 0 || std::stoul(port) > 65535)
            return "the port '" + port + "' is no number from 1 to 65535";
    }
    return std::string();
}

// The value of --ldap: one address, or several separated by blanks that are tried in turn (as
// the window's connect dialog takes them).
bool CheckUri(const std::string& uri, std::string& error) {
    std::string why;
    if (uri.size() > kMaxUriBytes)
        why = "it is longer than " + std::to_string(kMaxUriBytes) + " bytes";
    for (char c : uri)
        if (why.empty() && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F))
            why = "it holds a control character";
    size_t count = 0;
    for (size_t start = 0; why.empty() && start < uri.size();) {
        size_t end = std::min(uri.find(' ', start), uri.size());
        if (end > start) {
            ++count;
            why = WhyNoAddress(uri.substr(start, end - start));
        }
        start = end + 1;
    }
    if (why.empty() && count == 0)
        why = "it begins with ldap://, ldaps:// or ldapi://";
    if (why.empty())
        return true;
    error = "--ldap '" + Shown(uri) + "' is no LDAP address: " + why;
    return false;
}

// Whether every address of --ldap is ldap:// (StartTLS works on those only).
bool EveryAddressIsPlainLdap(const std::string& uri) {
    for (const std::string& one : LdapAddresses(uri))
        if (!StartsWithNoCase(one, "ldap://"))
            return false;
    return true;
}

bool CheckDn(const char* option, const std::string& dn, std::string& error) {
    std::vector<TRdn> rdns;
    std::string why = "it is empty";
    if (!dn.empty() && ParseDn(dn, rdns, why))
        return true;
    error = std::string(option) + " '" + Shown(dn) + "' is no DN: " + why;
    return false;
}

// A file the program will read: it exists, is no folder, and this user may read it.
bool CheckReadable(const char* what, const std::string& file, std::string& error) {
    struct stat st {};
    if (file.empty())
        error = std::string(what) + " has no name";
    else if (stat(file.c_str(), &st) != 0)
        error =
            std::string(what) + " '" + Shown(file) + "' cannot be read: " + std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        error = std::string(what) + " '" + Shown(file) + "' is a folder";
    else if (access(file.c_str(), R_OK) != 0)
        error =
            std::string(what) + " '" + Shown(file) + "' cannot be read: " + std::strerror(errno);
    else
        return true;
    return false;
}

bool CheckTimeout(const std::string& text, int& seconds, std::string& error) {
    seconds = LdapTimeoutSeconds(text);
    if (seconds == 0)
        error = "--timeout '" + Shown(text) + "' is no whole number of seconds from 1 to " +
                std::to_string(kLdapMaxTimeout);
    return seconds != 0;
}

// A file descriptor closed when the holder goes.
class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0)
            close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// The first line of a password file, without its line end (LF or CR LF). A pipe works too, so
// that a password manager can hand the password over without a file on disk.
bool ReadPasswordFile(const std::string& file, std::string& password, std::string& error) {
    TFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    std::string line;
    bool ended = false;
    if (fd.Get() >= 0) {
        char buf[512];
        while (!ended && line.size() <= kMaxPasswordBytes) {
            ssize_t n = read(fd.Get(), buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = "the password file '" + Shown(file) +
                        "' cannot be read: " + std::strerror(errno);
                return false;
            }
            if (n == 0)
                break;
            const char* end = static_cast<const char*>(std::memchr(buf, '\n', n));
            line.append(buf, end ? static_cast<size_t>(end - buf) : static_cast<size_t>(n));
            ended = end != nullptr;
        }
    } else {
        error = "the password file '" + Shown(file) + "' cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > kMaxPasswordBytes) {
        error = "the first line of the password file '" + Shown(file) + "' is longer than " +
                std::to_string(kMaxPasswordBytes) + " bytes";
        return false;
    }
    if (line.empty()) {
        // An empty password makes an unauthenticated bind, which some servers take as anonymous.
        error = "the password file '" + Shown(file) + "' holds no password on its first line";
        return false;
    }
    password = std::move(line);
    return true;
}

// The terminal's settings while echo is off, put back if a signal ends the program meanwhile.
struct termios GSavedTerminal;
volatile sig_atomic_t GEchoOff = 0;

extern "C" void RestoreTerminalAndReraise(int sig) {
    if (GEchoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSavedTerminal);
    signal(sig, SIG_DFL);
    raise(sig);
}

bool PromptWithoutEcho(const std::string& prompt, std::string& password, std::string& error) {
    constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct termios noEcho {};
    if (tcgetattr(STDIN_FILENO, &GSavedTerminal) != 0) {
        error = std::string("cannot ask for the password: ") + std::strerror(errno);
        return false;
    }
    struct sigaction handler {
    }, old[std::size(kSignals)];
    handler.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&handler.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &handler, &old[i]);
    noEcho = GSavedTerminal;
    noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    noEcho.c_lflag |= ECHONL;
    // Echo goes off before the prompt shows, so nothing typed after it is ever echoed.
    GEchoOff = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
    (void)!write(STDERR_FILENO, prompt.data(), prompt.size());
    std::string line;
    bool ended = false;
    char c = 0;
    while (line.size() <= kMaxPasswordBytes) {
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            ended = true;
            break;
        }
        line += c;
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSavedTerminal);
    GEchoOff = 0;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &old[i], nullptr);
    if (!ended)
        (void)!write(STDERR_FILENO, "\n", 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > kMaxPasswordBytes)
        error = "the password is longer than " + std::to_string(kMaxPasswordBytes) + " bytes";
    else if (line.empty())
        error = "no password was given";
    else {
        password = std::move(line);
        return true;
    }
    return false;
}

} // namespace

TArgTake TakeArg(const std::vector<std::string>& args, size_t& i, TLdapArgs& out,
                 std::string& error) {
    const std::string& arg = args[i];
    size_t eq = arg.find('=');
    std::string name = arg.rfind("--", 0) == 0 && eq != std::string::npos ? arg.substr(0, eq) : arg;
    if (name == "--password") {
        error = "there is no --password option (a command line is visible to every user of the "
                "machine): use --password-file FILE or " +
                std::string(kPasswordVariable);
        return TArgTake::Error;
    }
    struct TOption {
        const char* Name;
        const char* Needs; // what its value is, for the message when it is missing
    };
    static constexpr TOption kOptions[] = {
        {"--ldap", "an address (ldap://, ldaps:// or ldapi://)"},
        {"--bind-dn", "a DN"},
        {"--password-file", "a file name"},
        {"--ca-file", "a file name"},
        {"--base", "a DN"},
        {"--tree-name", "a name"},
        {"--timeout", "a number of seconds"},
    };
    if (name == "--starttls") {
        if (eq != std::string::npos) {
            error = "--starttls takes no value";
            return TArgTake::Error;
        }
        out.StartTls = true;
        if (out.FirstLdapOnly.empty())
            out.FirstLdapOnly = name;
        return TArgTake::Taken;
    }
    const TOption* option = nullptr;
    for (const TOption& o : kOptions)
        if (name == o.Name)
            option = &o;
    if (option == nullptr)
        return TArgTake::NotMine;
    std::string value;
    if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = name + " needs " + option->Needs;
        return TArgTake::Error;
    }
    bool ok = true;
    if (name == "--ldap") {
        // Blanks around the addresses separate nothing; the client is given them without.
        out.Uri = U_TrimBlank(value);
        ok = CheckUri(out.Uri, error);
    } else if (name == "--bind-dn") {
        ok = CheckDn("--bind-dn", value, error);
        out.BindDn = value;
    } else if (name == "--password-file") {
        ok = CheckReadable("the password file", value, error);
        out.PasswordFile = value;
    } else if (name == "--ca-file") {
        ok = CheckReadable("the CA file", value, error);
        out.CaFile = value;
    } else if (name == "--base") {
        ok = CheckDn("--base", value, error);
        out.Base = value;
    } else if (name == "--tree-name") {
        if (value.empty() || Shown(value) != value) {
            error = "--tree-name needs a name without control characters";
            ok = false;
        } else if (value.size() > kLdapTreeNameMax) {
            error = "--tree-name '" + Shown(value) + "' is longer than " +
                    std::to_string(kLdapTreeNameMax) + " characters";
            ok = false;
        }
        out.TreeName = value;
    } else if (name == "--timeout") {
        ok = CheckTimeout(value, out.TimeoutSeconds, error);
        out.TimeoutGiven = ok;
    }
    if (name != "--ldap" && name != "--tree-name" && out.FirstLdapOnly.empty())
        out.FirstLdapOnly = name;
    return ok ? TArgTake::Taken : TArgTake::Error;
}

bool CheckArgs(const TLdapArgs& args, std::string& error) {
    if (!args.Ldap() && !args.FirstLdapOnly.empty())
        error = args.FirstLdapOnly + " goes with --ldap URI";
    else if (!args.PasswordFile.empty() && args.BindDn.empty())
        error = "--password-file goes with --bind-dn (without it the bind is anonymous)";
    else if (args.StartTls && !EveryAddressIsPlainLdap(args.Uri))
        error = "--starttls goes with an ldap:// address (ldaps:// is TLS from the start)";
    else
        return true;
    return false;
}

TPasswordSource TPasswordSource::System() {
    TPasswordSource s;
    s.Env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    s.Terminal = [] { return isatty(STDIN_FILENO) != 0; };
    s.Prompt = PromptWithoutEcho;
    return s;
}

bool ResolvePassword(const TLdapArgs& args, const TPasswordSource& source, std::string& password,
                     std::string& error) {
    password.clear();
    if (args.BindDn.empty())
        return true; // anonymous
    if (!args.PasswordFile.empty())
        return ReadPasswordFile(args.PasswordFile, password, error);
    std::string env = source.Env ? source.Env(kPasswordVariable) : std::string();
    if (!env.empty()) {
        if (env.size() > kMaxPasswordBytes) {
            error = std::string(kPasswordVariable) + " is longer than " +
                    std::to_string(kMaxPasswordBytes) + " bytes";
            return false;
        }
        password = std::move(env);
        return true;
    }
    if (source.Terminal && source.Terminal() && source.Prompt)
        return source.Prompt("Password for " + Shown(args.BindDn) + ": ", password, error);
    error = "--bind-dn " + Shown(args.BindDn) +
            " needs a password: give --password-file FILE or set " + kPasswordVariable +
            " (standard input is no terminal to ask on)";
    return false;
}

bool ClientOptions(const TLdapArgs& args, const TPasswordSource& source, TLdapClientOptions& out,
                   std::string& error) {
    if (!CheckArgs(args, error))
        return false;
    if (!args.Ldap()) {
        error = "no LDAP address (--ldap URI)";
        return false;
    }
    out = TLdapClientOptions{};
    out.Connection.Uri = args.Uri;
    out.Connection.BindDn = args.BindDn;
    out.Connection.CaFile = args.CaFile;
    out.Connection.StartTls = args.StartTls;
    out.Connection.TimeoutSeconds = args.TimeoutSeconds;
    // A limit given limits every request too; without one, searches of a large tree on a slow
    // server get much longer than connecting does.
    out.Connection.RequestTimeoutSeconds =
        args.TimeoutGiven ? args.TimeoutSeconds : kLdapDefaultRequestTimeout;
    out.Base = args.Base;
    out.TreeName = args.TreeName;
    return ResolvePassword(args, source, out.Connection.Password, error);
}

std::shared_ptr<TLdapClient> ConnectClient(const TLdapArgs& args, const TPasswordSource& source,
                                           std::string& error) {
    TLdapClientOptions options;
    if (!ClientOptions(args, source, options, error))
        return nullptr;
    return ConnectLdapClient(options, error);
}

} // namespace trovalen::ldap
