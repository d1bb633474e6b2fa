#include "backend/Backends.h"

#include <cstdlib>

#include "backend/LiveConnect.h"
#include "backend/sim/SimClient.h"
#ifdef TROVALEN_HAVE_LDAP
#include "backend/ldap/LdapArgs.h"
#endif

namespace trovalen {

// The live directory's options: the LDAP client's, when it is built in.
struct TLiveDirectoryArgs {
#ifdef TROVALEN_HAVE_LDAP
    ldap::TLdapArgs Ldap;
#endif
};

struct TDirectoryArgsAccess {
    static TLiveDirectoryArgs& Live(TDirectoryArgs& args) { return *args.FLive; }
    static const TLiveDirectoryArgs& Live(const TDirectoryArgs& args) { return *args.FLive; }
};

TDirectoryArgs::TDirectoryArgs() : FLive(std::make_unique<TLiveDirectoryArgs>()) {}
TDirectoryArgs::~TDirectoryArgs() = default;
TDirectoryArgs::TDirectoryArgs(const TDirectoryArgs& other)
    : TreeFile(other.TreeFile), FLive(std::make_unique<TLiveDirectoryArgs>(*other.FLive)) {}
TDirectoryArgs& TDirectoryArgs::operator=(const TDirectoryArgs& other) {
    if (this != &other) {
        TreeFile = other.TreeFile;
        *FLive = *other.FLive;
    }
    return *this;
}

bool TDirectoryArgs::Live() const {
#ifdef TROVALEN_HAVE_LDAP
    return FLive->Ldap.Ldap();
#else
    return false;
#endif
}

std::string TDirectoryArgs::TreeName() const {
#ifdef TROVALEN_HAVE_LDAP
    return FLive->Ldap.TreeName;
#else
    return std::string();
#endif
}

const char kTreeOptionHelpWindow[] =
    "  --tree FILE   tree file to serve (default: $TROVALEN_TREE, else the\n"
    "                bundled sample tree)\n";
const char kTreeOptionHelpScan[] =
    "  --tree FILE            tree file to serve (default: $TROVALEN_TREE, else the bundled\n"
    "                         sample tree)\n";

namespace {

constexpr char kSampleTreeSource[] = "sample tree (simulated)";

// The tree file the arguments name: --tree, else TROVALEN_TREE; empty for the sample tree.
std::string TreeFileNamed(const TDirectoryArgs& args) {
    if (!args.TreeFile.empty())
        return args.TreeFile;
    if (const char* env = std::getenv("TROVALEN_TREE"); env != nullptr && *env != '\0')
        return env;
    return std::string();
}

#ifdef TROVALEN_HAVE_LDAP
// The server and the identity bound, as a result records where its data came from.
std::string LiveSource(const std::string& uri, const std::string& bindDn) {
    return bindDn.empty() ? uri + " (anonymous)" : uri + " as " + bindDn;
}
#endif

} // namespace

TDirectoryArgTake U_TakeDirectoryArg(const std::vector<std::string>& args, size_t& i,
                                     const TDirectoryFrontEnd& frontEnd, TDirectoryArgs& out,
                                     std::string& error) {
#ifdef TROVALEN_HAVE_LDAP
    switch (ldap::TakeArg(args, i, TDirectoryArgsAccess::Live(out).Ldap, error)) {
    case ldap::TArgTake::Error:
        return TDirectoryArgTake::Error;
    case ldap::TArgTake::Taken:
        return TDirectoryArgTake::Taken;
    case ldap::TArgTake::NotMine:
        break;
    }
#endif
    const std::string& a = args[i];
    if (a == "--tree") {
        if (i + 1 >= args.size()) {
            error = "--tree needs a file name";
            return TDirectoryArgTake::Error;
        }
        out.TreeFile = args[++i];
        return TDirectoryArgTake::Taken;
    }
    if (frontEnd.TreeWithEquals && a.rfind("--tree=", 0) == 0) {
        out.TreeFile = a.substr(7);
        return TDirectoryArgTake::Taken;
    }
    return TDirectoryArgTake::NotMine;
}

bool U_CheckDirectoryArgs(const TDirectoryArgs& args, const TDirectoryFrontEnd& frontEnd,
                          bool edirScan, std::string& error) {
#ifdef TROVALEN_HAVE_LDAP
    const ldap::TLdapArgs& ldapArgs = TDirectoryArgsAccess::Live(args).Ldap;
    if (!ldap::CheckArgs(ldapArgs, error))
        return false;
    if (frontEnd.TreeNameNeedsLive && !ldapArgs.TreeName.empty() && !ldapArgs.Ldap())
        error = "--tree-name goes with --ldap URI";
    else if (ldapArgs.Ldap() && !args.TreeFile.empty())
        error = "--ldap and --tree name two directories: give one of them";
    else if (ldapArgs.Ldap() && !edirScan)
        error = "--ldap goes with " + frontEnd.EdirHow +
                ": a file-system scan needs a file server, which LDAP does not reach";
    return error.empty();
#else
    (void)args;
    (void)frontEnd;
    (void)edirScan;
    (void)error;
    return true;
#endif
}

bool U_HaveLiveDirectory() {
#ifdef TROVALEN_HAVE_LDAP
    return true;
#else
    return false;
#endif
}

std::string U_LiveDirectoryHelp() {
#ifdef TROVALEN_HAVE_LDAP
    return ldap::kLdapOptionsHelp;
#else
    return std::string();
#endif
}

TOpenedDirectory U_OpenDirectory(const TDirectoryArgs& args) {
    TOpenedDirectory out;
#ifdef TROVALEN_HAVE_LDAP
    const ldap::TLdapArgs& ldapArgs = TDirectoryArgsAccess::Live(args).Ldap;
    if (ldapArgs.Ldap()) {
        std::shared_ptr<TLdapClient> client =
            ldap::ConnectClient(ldapArgs, ldap::TPasswordSource::System(), out.Error);
        out.NoClientHint = "No directory could be opened over LDAP";
        if (client) {
            out.TreeName = client->TreeName();
            out.Source = LiveSource(ldapArgs.Uri, ldapArgs.BindDn);
        }
        out.Client = std::move(client);
        return out;
    }
#endif
    std::string file = TreeFileNamed(args);
    out.Client = MakeSimClient(file, out.Error);
    if (out.Client)
        out.Source = file.empty() ? std::string(kSampleTreeSource) : file;
    return out;
}

// The connect dialog's fields.

std::vector<TLdapFieldError> U_CheckConnectFields(const TLdapConnectSettings& fields) {
#ifdef TROVALEN_HAVE_LDAP
    return fields.Validate();
#else
    (void)fields;
    return {{TLdapField::Uri, "no live-directory back end is built in"}};
#endif
}

void U_LoadConnectFields(TLdapConnectSettings& fields, const TIniFile& file) {
#ifdef TROVALEN_HAVE_LDAP
    fields.Load(file);
#else
    (void)fields;
    (void)file;
#endif
}

void U_SaveConnectFields(const TLdapConnectSettings& fields, TIniFile& file) {
#ifdef TROVALEN_HAVE_LDAP
    fields.Save(file);
#else
    (void)fields;
    (void)file;
#endif
}

TLdapClientOptions U_ConnectOptions(const TLdapConnectSettings& fields) {
#ifdef TROVALEN_HAVE_LDAP
    return fields.Options();
#else
    (void)fields;
    return TLdapClientOptions{};
#endif
}

TOpenedDirectory U_ConnectLiveDirectory(const TLdapClientOptions& options) {
    TOpenedDirectory out;
#ifdef TROVALEN_HAVE_LDAP
    std::shared_ptr<TLdapClient> client = ConnectLdapClient(options, out.Error);
    if (client) {
        out.TreeName = client->TreeName();
        out.Source = LiveSource(options.Connection.Uri, options.Connection.BindDn);
    }
    out.Client = std::move(client);
#else
    (void)options;
    out.Error = "no live-directory back end is built in";
#endif
    out.NoClientHint = "No directory could be opened over LDAP";
    return out;
}

} // namespace trovalen
