// trovalen-scan: the headless front end of the scan run. It scans start paths (file-system scan
// type) or objects (eDirectory scan type) and prints what the window's panes would show.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include "backend/Backends.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "model/NWClient.h"
#include "rights/ResultCompare.h"
#include "rights/ResultFile.h"
#include "rights/ScanJson.h"
#include "rights/ScanOptions.h"
#include "rights/ScanSession.h"
#include "util/Export.h"
#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

using namespace trovalen;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: trovalen-scan [options] ENTRY...\n"
    "       trovalen-scan --ldap URI [LDAP options] --edir [options] OBJECT...\n"
    "       trovalen-scan --compare BEFORE.json [options] ENTRY...\n"
    "       trovalen-scan --compare BEFORE.json AFTER.json [--format FORMAT] [-o FILE]\n"
    "       trovalen-scan --trustee NAME [--edir] [options] SCOPE...\n"
    "Shows who holds which effective rights on each ENTRY, and why; with --trustee, where\n"
    "one trustee holds effective rights below each SCOPE, and why.\n"
    "ENTRY is a start path (\\\\SERVER\\VOLUME\\DIR or SERVER/VOLUME:DIR), or with --edir an\n"
    "object name (.Joe.SALES.ACME).\n"
    "\n"
    "Options:\n";

const char kUsageOptions[] =
    "  --edir                 eDirectory scan type: the entries are object names\n"
    "  --tree-name NAME       the tree to scan in (eDirectory; default: the primary\n"
    "                         connection's tree, or a file's only tree when it has no\n"
    "                         connection); with --ldap the tree's name\n"
    "  --resolve-containers   also list the objects that reside in trustee containers\n"
    "  --only-users           keep only trustees that can log in\n"
    "  --subdirs              also scan the directories directly below each start path\n"
    "  --recursive            scan each entry and everything below it at any depth (every\n"
    "                         directory below a start path; with --edir every object\n"
    "                         below a container), reading each level once\n"
    "  --changes-only         with --recursive: list an entry only where some trustee's\n"
    "                         effective rights differ from the entry above it, with a\n"
    "                         \"Changed Trustee:\" line per trustee gained, lost or with\n"
    "                         different letters (the first entry of each walk is always\n"
    "                         listed; the letter I is not compared)\n"
    "  --trustee NAME         what NAME (a user, group, role, container, or [Public]) can\n"
    "                         reach: each SCOPE (a start path, or with --edir a\n"
    "                         container) is searched at any depth, and every directory or\n"
    "                         object where NAME holds effective rights is listed, one line\n"
    "                         per entry (and attribute), with the reasons under --details;\n"
    "                         the rights are those of NAME's line in a scan of that entry\n"
    "                         with --resolve-containers. A NAME that does not exist ends\n"
    "                         with exit status 1\n"
    "  --exclude TEXT         leave out trustees whose name contains TEXT\n"
    "  --include TEXT         keep only trustees whose name contains TEXT\n"
    "  --details              print the detailed analysis instead of the summary\n"
    "  --format FORMAT        txt, csv, html, xml, xlsx (needs -o) or json (default: plain\n"
    "                         lines); json is the whole result as records, with every\n"
    "                         trustee's reasons, whether or not --details is given\n"
    "  -o FILE                write to FILE instead of standard output; FILE is replaced\n"
    "                         only when the whole report was written\n"
    "  --compare FILE         list what changed since a saved result (--format json):\n"
    "                         trustees added and removed, rights changed, entries that\n"
    "                         appeared or disappeared, with the reasons of the newer\n"
    "                         result; scans the entries, or, given one more saved result\n"
    "                         instead of entries, compares the two without a directory.\n"
    "                         Formats: txt, csv, html, xml, xlsx, json\n"
    "  --debug                print the troubleshooting log to standard error\n"
    "  -h, --help             show this help\n"
    "  --version              show the version\n"
    "\n";

const char kUsageEnd[] =
    "\n"
    "Examples:\n"
    "  trovalen-scan --recursive \\\\FS1\\SYS\\APPS\n"
    "      every directory below APPS, with who holds which rights there\n"
    "  trovalen-scan --edir --recursive --changes-only .SALES.ACME\n"
    "      the objects below SALES where rights differ from the container above, and how\n"
    "  trovalen-scan --trustee .Joe.SALES.ACME --details \\\\FS1\\SYS\n"
    "      every directory of the volume SYS that Joe can reach, with the reasons\n"
    "  trovalen-scan --trustee .Joe.SALES.ACME --edir --format json .ACME\n"
    "      every object below ACME that Joe holds rights to, as records\n"
    "\n"
    "A progress line (\"3/40 \\\\SERVER\\VOL\\DIR\") goes to standard error while it is a\n"
    "terminal.\n"
    "\n"
    "Exit status:\n"
    "  0  every entry was analysed completely and the report written\n"
    "  1  an entry was not found, its scan failed or is incomplete (an ACL, a value or a\n"
    "     name that could not be read), with one line on standard error for each (the\n"
    "     report is still written in full), or the report could not be written, or\n"
    "     the trustee of --trustee does not exist (one line, and no report)\n"
    "  2  usage error, a tree file that cannot be loaded, a directory that cannot be\n"
    "     reached, an LDAP server that cannot be reached, refuses the bind, lacks the\n"
    "     base or publishes no ACL values, or a connection lost or a server limit that\n"
    "     stopped the scan; then no report is written and -o FILE keeps its content\n"
    "\n"
    "With --compare, as diff has it:\n"
    "  0  no change\n"
    "  1  changes\n"
    "  2  trouble: a file that is not a result, results of two scan types or of a newer\n"
    "     layout, a result that is not whole (the changes may not be all), or the\n"
    "     reasons of exit status 2 above\n";

std::string UsageText() {
    return std::string(kUsage) + kTreeOptionHelpScan + kUsageOptions + U_LiveDirectoryHelp() +
           kUsageEnd;
}

// The messages of the directory options name --edir as the way to the eDirectory scan type.
TDirectoryFrontEnd ScanFrontEnd() {
    TDirectoryFrontEnd frontEnd;
    frontEnd.EdirHow = "--edir";
    return frontEnd;
}

struct TOptions {
    TDirectoryArgs Directory; // --tree FILE, --ldap URI and its options
    bool Edir = false;
    std::string TreeName;
    bool ResolveContainers = false;
    bool OnlyUsers = false;
    bool SubDirs = false;
    bool Recursive = false;
    bool ChangesOnly = false;
    std::string Trustee;
    std::string Exclude, Include;
    bool Details = false;
    std::string Format;
    std::string Output;
    bool Debug = false;
    std::string Compare; // the saved result to compare with
    std::vector<std::string> Entries;
};

int Usage(const std::string& message) {
    std::cerr << "trovalen-scan: " << message << "\n"
              << "Try 'trovalen-scan --help' for more information." << std::endl;
    return kExitUsage;
}

// The report formats of --format.
const char* const kFormats[] = {"txt", "csv", "html", "xml", "xlsx", "json"};
const char kFormatList[] = "txt, csv, html, xml, xlsx or json";

// Progress goes to standard error, and only when it is a terminal: one line per entry, each
// written over the one before, cleared at the end.
class TCliHost : public TScanHost {
public:
    explicit TCliHost(bool debug) : FDebug(debug), FTerminal(isatty(STDERR_FILENO) != 0) {}
    ~TCliHost() override { ClearStatus(); }

    void EntryStarted(int index, int count, const std::string& entry) override {
        if (!FTerminal)
            return;
        std::string shown = U_Format("%d/%d %s", index + 1, count, entry.c_str()).substr(0, 76);
        std::fprintf(stderr, "\r%-*s\r%s", static_cast<int>(FShown), "", shown.c_str());
        std::fflush(stderr);
        FShown = shown.size();
    }
    // Only the entry shows, never the analysis's own progress.
    bool ShowsStatusText() const override { return false; }
    void DebugLine(const std::string& text) override {
        if (!FDebug)
            return;
        ClearStatus();
        std::cerr << text << "\n";
    }

private:
    void ClearStatus() {
        if (FTerminal && FShown > 0) {
            std::fprintf(stderr, "\r%-*s\r", static_cast<int>(FShown), "");
            std::fflush(stderr);
        }
        FShown = 0;
    }
    bool FDebug;
    bool FTerminal;
    size_t FShown = 0;
};

// Writes the whole text to standard output and closes it, so that a full disk or a closed pipe is
// noticed here and not lost when the program ends. lines: written after text, each ended by a
// line feed, one at a time (a detailed audit of a large tree has millions of them).
bool WriteStandardOutput(const std::string& text, std::string& error,
                         const TStringList* lines = nullptr) {
    bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (lines != nullptr)
        for (const auto& line : *lines) {
            if (!ok)
                break;
            ok = std::fwrite(line.Text.data(), 1, line.Text.size(), stdout) == line.Text.size() &&
                 std::fputc('\n', stdout) != EOF;
        }
    ok = ok && std::fflush(stdout) == 0;
    int saved = errno;
    if (std::fclose(stdout) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok)
        error = std::strerror(saved != 0 ? saved : EIO);
    return ok;
}

// --help and --version: the text, or a message when it cannot be written.
int Print(const std::string& text) {
    std::string error;
    if (WriteStandardOutput(text, error))
        return kExitOk;
    std::cerr << "trovalen-scan: cannot write to standard output: " << error << std::endl;
    return kExitFailed;
}

// The pane as plain lines.
std::string PlainLines(const TStringList& pane) {
    std::string text;
    for (const auto& line : pane)
        text.append(line.Text).push_back('\n');
    return text;
}

// The pane through the table export, one line a row; xlsx takes the tab-separated text the
// window's spreadsheet export reads.
std::string GridExport(const TStringList& pane, const std::string& format) {
    TGrid grid(1, std::max(pane.Count(), 1));
    for (int i = 0; i < pane.Count(); ++i)
        grid.SetCell(0, i, pane[i]);
    if (format == "html")
        return U_GridToHTML(grid);
    if (format == "xml")
        return U_GridToXML(grid);
    return U_GridText(grid, format == "csv" ? "," : "\t", "", true);
}

// A start path given as SERVER/VOLUME:PATH is shown and scanned in its UNC form.
std::string StartPath(TNWClient* client, const std::string& entry) {
    if (U_IsUncPath(entry) || U_StartsWith(entry, "/") || entry.find(':') == std::string::npos)
        return entry;
    return U_PathToUNC(client, entry);
}

// Whether the operands name a second saved result rather than entries to scan: one operand, and
// it is a file (no start path or object name is one).
bool IsSavedResultOperand(const TOptions& opt) {
    struct stat st {};
    return opt.Entries.size() == 1 && stat(opt.Entries[0].c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Writes the comparison as --format and -o ask; the exit status is diff's.
int WriteComparison(const TComparison& comparison, const TOptions& opt) {
    for (const auto& note : comparison.Notes)
        std::cerr << "trovalen-scan: " << note << std::endl;
    std::string error;
    bool written =
        opt.Format == "xlsx" ? U_SaveXlsx(opt.Output, U_ComparisonRows(comparison), error)
        : opt.Output.empty()
            ? WriteStandardOutput(U_ComparisonFormatted(comparison, opt.Format), error)
            : U_WriteFileAtomic(opt.Output, U_ComparisonFormatted(comparison, opt.Format), error);
    if (!written) {
        std::cerr << "trovalen-scan: cannot write "
                  << (opt.Output.empty() ? "to standard output" : opt.Output) << ": " << error
                  << std::endl;
        return kExitUsage;
    }
    if (comparison.Partial)
        return kExitUsage;
    return comparison.Changes.empty() ? kExitOk : kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    U_TuneAllocatorForScans();
    std::vector<std::string> args(argv + 1, argv + argc);
    U_SetCommandLine(args);
    TOptions opt;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string directoryError;
        TDirectoryArgTake take =
            U_TakeDirectoryArg(args, i, ScanFrontEnd(), opt.Directory, directoryError);
        if (take == TDirectoryArgTake::Error)
            return Usage(directoryError);
        if (take == TDirectoryArgTake::Taken)
            continue;
        if (a == "-h" || a == "--help") {
            return Print(UsageText());
        } else if (a == "--version") {
            return Print(std::string("trovalen-scan ") + TROVALEN_VERSION + "\n");
        } else if (a == "--edir") {
            opt.Edir = true;
        } else if (a == "--tree-name") {
            if (!value(opt.TreeName))
                return Usage("--tree-name needs a name");
        } else if (a == "--resolve-containers") {
            opt.ResolveContainers = true;
        } else if (a == "--only-users") {
            opt.OnlyUsers = true;
        } else if (a == "--subdirs") {
            opt.SubDirs = true;
        } else if (a == "--recursive") {
            opt.Recursive = true;
        } else if (a == "--changes-only") {
            opt.ChangesOnly = true;
        } else if (a == "--trustee") {
            if (!value(opt.Trustee) || opt.Trustee.empty())
                return Usage("--trustee needs a trustee's name");
        } else if (a == "--exclude") {
            if (!value(opt.Exclude))
                return Usage("--exclude needs a text");
        } else if (a == "--include") {
            if (!value(opt.Include))
                return Usage("--include needs a text");
        } else if (a == "--details") {
            opt.Details = true;
        } else if (a == "--format") {
            if (!value(opt.Format))
                return Usage(std::string("--format needs ") + kFormatList);
            if (std::find(std::begin(kFormats), std::end(kFormats), opt.Format) ==
                std::end(kFormats))
                return Usage("unknown format '" + opt.Format + "' (" + kFormatList + ")");
        } else if (a == "-o") {
            if (!value(opt.Output))
                return Usage("-o needs a file name");
        } else if (a == "--debug") {
            opt.Debug = true;
        } else if (a == "--compare") {
            if (!value(opt.Compare))
                return Usage("--compare needs the file of a saved result (--format json)");
        } else if (a == "--") {
            opt.Entries.insert(opt.Entries.end(), args.begin() + static_cast<long>(i) + 1,
                               args.end());
            break;
        } else if (U_StartsWith(a, "-") && a.size() > 1) {
            return Usage("unknown option '" + a + "'");
        } else {
            opt.Entries.push_back(a);
        }
    }
    // With a live-directory back end built in, --tree-name is one of its options.
    if (std::string name = opt.Directory.TreeName(); !name.empty())
        opt.TreeName = name;
    if (std::string error; !U_CheckDirectoryArgs(opt.Directory, ScanFrontEnd(), opt.Edir, error))
        return Usage(error);
    if (opt.Entries.empty())
        return Usage(opt.Trustee.empty() ? "no entry to scan" : "no scope to search");
    if (opt.ChangesOnly && (opt.Trustee.empty() ? !opt.Recursive : true))
        return Usage(opt.Trustee.empty()
                         ? "--changes-only goes with --recursive"
                         : "--changes-only does not go with --trustee: it lists what one "
                           "trustee reaches, not what changes");
    if (!opt.TreeName.empty() && !opt.Edir)
        return Usage("--tree-name goes with --edir");
    if (opt.Format == "xlsx" && opt.Output.empty())
        return Usage("--format xlsx needs -o FILE");

    // A saved result to compare with is read, and checked against the scan asked for, before
    // anything is scanned.
    TSavedResult before;
    if (!opt.Compare.empty()) {
        if (opt.Details)
            return Usage("--details does not go with --compare: the changes carry their reasons");
        std::string readError;
        if (IsSavedResultOperand(opt)) {
            TComparison comparison;
            if (!U_CompareFiles(opt.Compare, opt.Entries[0], comparison, readError)) {
                std::cerr << "trovalen-scan: " << readError << std::endl;
                return kExitUsage;
            }
            return WriteComparison(comparison, opt);
        }
        if (!U_ReadScanResultFile(opt.Compare, before, readError)) {
            std::cerr << "trovalen-scan: " << readError << std::endl;
            return kExitUsage;
        }
        if (before.Edir != opt.Edir)
            return Usage(opt.Compare + " holds " +
                         (before.Edir ? "an eDirectory scan: give --edir to compare it"
                                      : "a file-system scan: leave out --edir to compare it"));
    }

    std::string error;
    TOpenedDirectory directory = U_OpenDirectory(opt.Directory);
    std::shared_ptr<TNWClient> client = directory.Client;
    if (!client) {
        std::cerr << "trovalen-scan: " << directory.Error << std::endl;
        return kExitUsage;
    }
    // The session holds the contexts; every return below releases them.
    TScanSession session(client.get());
    if (!session.Started()) {
        std::cerr << "trovalen-scan: the NetWare client could not be started" << std::endl;
        return kExitUsage;
    }

    TScanOptions scan;
    scan.Edir = opt.Edir;
    scan.ResolveContainers = opt.ResolveContainers;
    scan.OnlyUsers = opt.OnlyUsers;
    scan.ScanSubDirs = opt.SubDirs;
    scan.Recursive = opt.Recursive;
    scan.ChangesOnly = opt.ChangesOnly;
    scan.Trustee = opt.Trustee;
    scan.FilterExcl = opt.Exclude;
    scan.FilterIncl = opt.Include;
    scan.VariantName = opt.Edir ? "Trovalen.edir" : "Trovalen.file";
    scan.DebugMode = opt.Debug;
    // The details pane is printed only when asked for; the JSON result and the comparison read
    // the records.
    scan.KeepDetails = opt.Details;
    scan.KeepRecords = opt.Format == "json" || !opt.Compare.empty();
    scan.Source = directory.Source;
    if (opt.Edir) {
        // A live directory serves one tree; a tree file's is the one named, else the primary
        // connection's.
        scan.Tree = !directory.TreeName.empty() ? directory.TreeName
                    : opt.TreeName.empty()      ? session.PrimaryTree()
                                                : opt.TreeName;
        scan.Entries = opt.Entries;
    } else {
        for (const auto& e : opt.Entries)
            scan.Entries.push_back(StartPath(client.get(), e));
    }
    TScanRequest request;
    if (NWCCODE code = U_ScanRequest(scan, session, request); code != NW_OK) {
        std::cerr << "trovalen-scan: cannot use the tree '" << scan.Tree
                  << "': " << U_NWErrorText(client.get(), code) << std::endl;
        return kExitUsage;
    }

    TScanResult result;
    {
        TCliHost host(opt.Debug);
        session.Scan(request, host, result);
    }

    // A reverse query of a trustee that is not there reaches nothing: no report.
    if (!result.Failure.empty()) {
        std::cerr << "trovalen-scan: " << result.Failure << std::endl;
        return kExitFailed;
    }
    // A run the directory broke off is no report: what it would show is less than the tree holds
    // and would replace an earlier, whole one.
    if (!result.Broken.empty()) {
        std::cerr << "trovalen-scan: the scan ended after " << result.EntriesDone << " of "
                  << result.EntriesTotal << " entries: " << result.Broken << std::endl;
        std::cerr << "trovalen-scan: no report written"
                  << (opt.Output.empty() ? std::string() : "; " + opt.Output + " is unchanged")
                  << std::endl;
        return kExitUsage;
    }
    for (const auto& entry : result.Entries)
        if (std::string problem = U_EntryProblem(entry); !problem.empty())
            std::cerr << "trovalen-scan: " << entry.Name << ": " << problem << std::endl;
    for (const auto& note : result.Notes)
        std::cerr << "trovalen-scan: " << note << std::endl;
    if (result.RightsNotComputed)
        std::cerr << "trovalen-scan: " << kRightsNotComputedNote << std::endl;

    if (!opt.Compare.empty()) {
        TComparison comparison;
        if (!U_CompareWithScan(before, opt.Compare, result, comparison, error)) {
            std::cerr << "trovalen-scan: " << error << std::endl;
            return kExitUsage;
        }
        return WriteComparison(comparison, opt);
    }

    const TStringList& pane = opt.Details ? result.Details : result.Summary;
    // Plain lines to standard output go out as they are held, not copied into one text first.
    const bool streamed = opt.Format.empty() && opt.Output.empty();
    std::string text;
    if (opt.Format == "json")
        text = U_ScanResultToJson(result);
    else if (!opt.Format.empty())
        text = GridExport(pane, opt.Format);
    else if (!streamed)
        text = PlainLines(pane);
    bool written = opt.Format == "xlsx" ? U_SaveXlsx(opt.Output, U_ParseSeparatedText(text), error)
                   : opt.Output.empty()
                       ? WriteStandardOutput(text, error, streamed ? &pane : nullptr)
                       : U_WriteFileAtomic(opt.Output, text, error);
    if (!written) {
        std::cerr << "trovalen-scan: cannot write "
                  << (opt.Output.empty() ? "to standard output" : opt.Output) << ": " << error
                  << std::endl;
        return kExitFailed;
    }
    return U_ScanComplete(result) ? kExitOk : kExitFailed;
}
