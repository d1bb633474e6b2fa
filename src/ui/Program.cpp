#include "ui/Program.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"
#ifdef TROVALEN_HAVE_LDAP
#include "backend/ldap/LdapArgs.h"
#endif
#include "directory/DSContext.h"
#include "ui/QtHooks.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen {

namespace {

const char kUsage[] = "Usage: %s [--tree FILE | --ldap URI [LDAP options]] [DEBUG]\n"
                      "Shows who holds which effective rights on NetWare directories and\n"
                      "eDirectory objects, and why.\n"
                      "\n"
                      "  --tree FILE   tree file to serve (default: $TROVALEN_TREE, else the\n"
                      "                bundled sample tree)\n"
                      "  DEBUG         also show the Troubleshooting page (/debug and --debug\n"
                      "                work as well)\n"
                      "  -h, --help    show this help\n"
                      "\n";

// A usage error: one line on standard error, exit status 2.
int Usage(const std::string& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
    return 2;
}

} // namespace

int RunProgram(int argc, char** argv, const TStartConfig& config) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(config.ScanEdir ? "trovalen-edir" : "trovalen");
    QApplication::setApplicationVersion(TROVALEN_VERSION);

    // Qt has taken its own options; what is left is ours.
    QStringList args = QApplication::arguments();
    std::string program = args.isEmpty() ? std::string("trovalen") : S(args.first());
    std::vector<std::string> given;
    for (int i = 1; i < args.size(); ++i)
        given.push_back(S(args[i]));
    std::string treeFile;
    std::vector<std::string> parameters;
#ifdef TROVALEN_HAVE_LDAP
    ldap::TLdapArgs ldapArgs;
#endif
    for (size_t i = 0; i < given.size(); ++i) {
        const std::string& a = given[i];
#ifdef TROVALEN_HAVE_LDAP
        std::string ldapError;
        ldap::TArgTake take = ldap::TakeArg(given, i, ldapArgs, ldapError);
        if (take == ldap::TArgTake::Error)
            return Usage(program, ldapError);
        if (take == ldap::TArgTake::Taken)
            continue;
#endif
        if (a == "-h" || a == "--help") {
            std::printf(kUsage, program.c_str());
#ifdef TROVALEN_HAVE_LDAP
            std::printf("%s", ldap::kLdapOptionsHelp);
#endif
            return 0;
        } else if (a == "--tree") {
            if (i + 1 >= given.size())
                return Usage(program, "--tree needs a file name");
            treeFile = given[++i];
        } else if (a.rfind("--tree=", 0) == 0) {
            treeFile = a.substr(7);
        } else if (a == "--debug") {
            parameters.push_back("DEBUG");
        } else {
            parameters.push_back(a);
        }
    }
    TStartConfig start = config;
#ifdef TROVALEN_HAVE_LDAP
    std::string ldapError;
    if (!ldap::CheckArgs(ldapArgs, ldapError))
        return Usage(program, ldapError);
    if (!ldapArgs.TreeName.empty() && !ldapArgs.Ldap())
        return Usage(program, "--tree-name goes with --ldap URI");
    if (ldapArgs.Ldap() && !treeFile.empty())
        return Usage(program, "--ldap and --tree name two directories: give one of them");
    if (ldapArgs.Ldap() && !config.ScanEdir)
        return Usage(program, "--ldap goes with trovalen-edir: a file-system scan needs a file "
                              "server, which LDAP does not reach");
#endif
    U_SetCommandLine(parameters);
    U_InstallQtHooks();

    // A directory that cannot be opened (a tree file that cannot be loaded, an LDAP server that
    // cannot be reached or refuses the bind) leaves the window without a client: one message says
    // why, and the window's empty lists repeat it.
    std::string error;
    std::shared_ptr<TNWClient> client;
#ifdef TROVALEN_HAVE_LDAP
    if (ldapArgs.Ldap()) {
        client = ldap::ConnectClient(ldapArgs, ldap::TPasswordSource::System(), error);
        start.NoClientHint = "No directory could be opened over LDAP";
    } else
#endif
        client = MakeSimClient(treeFile, error);
    if (!client)
        U_MessageBox(TMsgKind::Error, error);

    if (!client)
        start.ClientError = error;
    int code = 0;
    {
        TMainForm form(start, client.get());
        form.show();
        code = QApplication::exec();
    }
    return code;
}

} // namespace trovalen
