#include "backend/Backends.h"

#include <cstdlib>

#include "backend/sim/SimClient.h"

namespace trovalen {

namespace {

const char kHintTreeFile[] = "No tree file could be loaded";

// The tree file the options name: --tree, else TROVALEN_TREE; empty for the bundled sample tree.
std::string TreeFileOf(const TDirectoryArgs& args) {
    if (!args.TreeFile.empty())
        return args.TreeFile;
    if (const char* env = std::getenv("TROVALEN_TREE"); env != nullptr && *env != '\0')
        return env;
    return std::string();
}

} // namespace

bool TDirectoryArgs::Live() const {
#if TROVALEN_HAVE_LDAP
    return Ldap.Ldap();
#else
    return false;
#endif
}

TDirectoryArgTake U_TakeDirectoryArg(const std::vector<std::string>& args, size_t& i,
                                     TDirectoryArgs& out, std::string& error) {
#if TROVALEN_HAVE_LDAP
    switch (ldap::TakeArg(args, i, out.Ldap, error)) {
    case ldap::TArgTake::Error:
        return TDirectoryArgTake::Error;
    case ldap::TArgTake::Taken:
        out.TreeName = out.Ldap.TreeName;
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
    if (a.rfind("--tree=", 0) == 0) {
        out.TreeFile = a.substr(7);
        return TDirectoryArgTake::Taken;
    }
    return TDirectoryArgTake::NotMine;
}

bool U_CheckDirectoryArgs(const TDirectoryArgs& args, const TDirectoryUse& use,
                          std::string& error) {
#if TROVALEN_HAVE_LDAP
    if (!ldap::CheckArgs(args.Ldap, error))
        return false;
    if (use.TreeNameNeedsLive && !args.Ldap.TreeName.empty() && !args.Live())
        error = "--tree-name goes with --ldap URI";
    else if (args.Live() && !args.TreeFile.empty())
        error = "--ldap and --tree name two directories: give one of them";
    else if (args.Live() && !use.Edir)
        error = std::string("--ldap goes with ") + use.EdirWord +
                ": a file-system scan needs a file server, which LDAP does not reach";
    return error.empty();
#else
    (void)args;
    (void)use;
    (void)error;
    return true;
#endif
}

std::string U_LiveDirectoryHelp() {
#if TROVALEN_HAVE_LDAP
    return ldap::kLdapOptionsHelp;
#else
    return std::string();
#endif
}

TOpenedDirectory U_OpenDirectory(const TDirectoryArgs& args) {
    TOpenedDirectory out;
#if TROVALEN_HAVE_LDAP
    if (args.Live()) {
        out.Hint = "No directory could be opened over LDAP";
        std::shared_ptr<TLdapClient> client =
            ldap::ConnectClient(args.Ldap, ldap::TPasswordSource::System(), out.Error);
        if (client)
            out.LiveTree = client->TreeName();
        out.Client = std::move(client);
        return out;
    }
#endif
    out.Hint = kHintTreeFile;
    out.Client = MakeSimClient(TreeFileOf(args), out.Error);
    return out;
}

#if TROVALEN_HAVE_LDAP
TOpenedDirectory U_ConnectLiveDirectory(const TLdapClientOptions& options) {
    TOpenedDirectory out;
    out.Hint = "No directory could be opened over LDAP";
    std::shared_ptr<TLdapClient> client = ConnectLdapClient(options, out.Error);
    if (client)
        out.LiveTree = client->TreeName();
    out.Client = std::move(client);
    return out;
}
#endif

} // namespace trovalen
