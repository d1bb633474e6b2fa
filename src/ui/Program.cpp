#include "ui/Program.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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
        TDirectoryArgTake take = U_TakeDirectoryArg(given, i, out.Directory, error);
        if (take == TDirectoryArgTake::Error)
            return 2;
        if (take == TDirectoryArgTake::Taken)
            continue;
        if (a == "-h" || a == "--help") {
            out.Help = true;
            return 0;
        } else if (a == "--debug") {
            out.Parameters.push_back("DEBUG");
        } else {
            out.Parameters.push_back(a);
        }
    }
    // Only the eDirectory window reads a live tree; --tree-name names the live tree.
    TDirectoryUse use{config.ScanEdir, "trovalen-edir", true};
    if (!U_CheckDirectoryArgs(out.Directory, use, error))
        return 2;
    return 0;
}

std::shared_ptr<TNWClient> OpenDirectory(const TProgramArgs& args, TStartConfig& start) {
    TOpenedDirectory opened = U_OpenDirectory(args.Directory);
    start.NoClientHint = opened.Hint;
    if (!opened.Client)
        start.ClientError = opened.Error;
    return opened.Client;
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
        // Only the eDirectory window reads a live tree.
        if (config.ScanEdir && kHaveLiveDirectory)
            std::printf("Or: %s --ldap URI [LDAP options] [DEBUG]\n\n%s", program.c_str(),
                        U_LiveDirectoryHelp().c_str());
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
