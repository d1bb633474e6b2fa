#include "ui/Program.h"

#include <QApplication>

#include <cstdio>
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
                      "  -h, --help    show this help\n";

} // namespace

int RunProgram(int argc, char** argv, const TStartConfig& config) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(config.ScanEdir ? "trovalen-edir" : "trovalen");
    QApplication::setApplicationVersion(TROVALEN_VERSION);

    // Qt has taken its own options; what is left is ours.
    QStringList args = QApplication::arguments();
    std::string program = args.isEmpty() ? std::string("trovalen") : S(args.first());
    std::string treeFile;
    std::vector<std::string> parameters;
    for (int i = 1; i < args.size(); ++i) {
        std::string a = S(args[i]);
        if (a == "-h" || a == "--help") {
            std::printf(kUsage, program.c_str());
            return 0;
        } else if (a == "--tree") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "%s: --tree needs a file name\n", program.c_str());
                return 2;
            }
            treeFile = S(args[++i]);
        } else if (a.rfind("--tree=", 0) == 0) {
            treeFile = a.substr(7);
        } else if (a == "--debug") {
            parameters.push_back("DEBUG");
        } else {
            parameters.push_back(a);
        }
    }
    U_SetCommandLine(parameters);
    U_InstallQtHooks();

    // A tree file that cannot be loaded leaves the window without a client: one message says
    // why (the loader's own text), and the window's empty lists repeat it.
    std::string error;
    std::shared_ptr<TSimClient> client = MakeSimClient(treeFile, error);
    if (!client)
        U_MessageBox(TMsgKind::Error, error);

    TStartConfig start = config;
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
