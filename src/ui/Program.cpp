#include "ui/Program.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "ui/QtHooks.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen {

namespace {

const char kUsage[] = "Usage: %s [--tree FILE] [DEBUG]\n"
                      "Shows who holds which effective rights on NetWare directories and\n"
                      "eDirectory objects, and why.\n"
                      "\n"
                      "  --tree FILE   tree file to serve (default: $TROVALEN_TREE, else the\n"
                      "                bundled sample tree)\n"
                      "  DEBUG         also show the Troubleshooting page (/debug and --debug\n"
                      "                work as well)\n"
                      "  -h, --help    show this help\n"
                      "\n";

} // namespace

int ParseProgramArgs(const std::vector<std::string>& given, const TStartConfig& config,
                     TProgramArgs& out, std::string& error) {
    out = TProgramArgs{};
    for (size_t i = 0; i < given.size(); ++i) {
        const std::string& a = given[i];
#ifdef TROVALEN_HAVE_LDAP
        ldap::TArgTake take = ldap::TakeArg(given, i, out.Ldap, error);
        if (take == ldap::TArgTake::Error)
            return 2;
        if (take == ldap::TArgTake::Taken)
            continue;
#endif
        if (a == "-h" || a == "--help") {
            out.Help = true;
            return 0;
        } else if (a == "--tree") {
            if (i + 1 >= given.size()) {
                error = "--tree needs a file name";
                return 2;
            }
            out.TreeFile = given[++i];
        } else if (a.rfind("--tree=", 0) == 0) {
            out.TreeFile = a.substr(7);
        } else if (a == "--debug") {
            out.Parameters.push_back("DEBUG");
        } else {
            out.Parameters.push_back(a);
        }
    }
#ifdef TROVALEN_HAVE_LDAP
    if (!ldap::CheckArgs(out.Ldap, error))
        return 2;
    if (!out.Ldap.TreeName.empty() && !out.Ldap.Ldap())
        error = "--tree-name goes with --ldap URI";
    else if (out.Ldap.Ldap() && !out.TreeFile.empty())
        error = "--ldap and --tree name two directories: give one of them";
    else if (out.Ldap.Ldap() && !config.ScanEdir)
        error = "--ldap goes with trovalen-edir: a file-system scan needs a file server, which "
                "LDAP does not reach";
    if (!error.empty())
        return 2;
#else
    (void)config;
#endif
    return 0;
}

// Where a simulated client's data comes from, as MakeSimClient chooses it.
std::string SimSource(const std::string& treeFile) {
    std::string file = treeFile;
    if (file.empty())
        if (const char* env = std::getenv("TROVALEN_TREE"); env && *env)
            file = env;
    return file.empty() ? std::string("sample tree (simulated)") : file + " (tree file)";
}

std::shared_ptr<TNWClient> OpenDirectory(const TProgramArgs& args, TStartConfig& start) {
    std::string error;
    std::shared_ptr<TNWClient> client;
#ifdef TROVALEN_HAVE_LDAP
    if (args.Ldap.Ldap()) {
        client = ldap::ConnectClient(args.Ldap, ldap::TPasswordSource::System(), error);
        start.Source = args.Ldap.Uri + (args.Ldap.BindDn.empty() ? std::string(" (anonymous)")
                                                                 : " as " + args.Ldap.BindDn);
        start.NoClientHint = "No directory could be opened over LDAP";
    } else
#endif
    {
        client = MakeSimClient(args.TreeFile, error);
        start.Source = SimSource(args.TreeFile);
    }
    if (!client)
        start.ClientError = error;
    return client;
}

int RunProgram(int argc, char** argv, const TStartConfig& config) {
    U_TuneAllocatorForScans();
    QApplication app(argc, argv);
    QApplication::setApplicationName(config.ScanEdir ? "trovalen-edir" : "trovalen");
    QApplication::setApplicationVersion(TROVALEN_VERSION);

    // Qt has taken its own options; what is left is ours.
    QStringList qtArgs = QApplication::arguments();
    std::string program = qtArgs.isEmpty() ? std::string("trovalen") : S(qtArgs.first());
    std::vector<std::string> given;
    for (int i = 1; i < qtArgs.size(); ++i)
        given.push_back(S(qtArgs[i]));
    TProgramArgs args;
    std::string error;
    if (ParseProgramArgs(given, config, args, error) != 0) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 2;
    }
    if (args.Help) {
        std::printf(kUsage, program.c_str());
#ifdef TROVALEN_HAVE_LDAP
        // Only the eDirectory window reads a live tree.
        if (config.ScanEdir)
            std::printf("Or: %s --ldap URI [LDAP options] [DEBUG]\n\n%s", program.c_str(),
                        ldap::kLdapOptionsHelp);
#endif
        return 0;
    }
    U_SetCommandLine(args.Parameters);
    U_InstallQtHooks();

    // A directory that cannot be opened (a tree file that cannot be loaded, an LDAP server that
    // cannot be reached or refuses the bind) leaves the window without a client: one message says
    // why, and the window's empty lists repeat it.
    TStartConfig start = config;
    std::shared_ptr<TNWClient> client = OpenDirectory(args, start);
    if (!client)
        U_MessageBox(TMsgKind::Error, start.ClientError);
    int code = 0;
    {
        TMainForm form(start, client.get());
        form.show();
        code = QApplication::exec();
    }
    return code;
}

} // namespace trovalen
