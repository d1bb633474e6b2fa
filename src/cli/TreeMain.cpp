// trovalen-tree: checks a tree file exactly as the simulated client loads it, or writes a
// synthetic one.
//
//   trovalen-tree check [--summary] FILE
//   trovalen-tree generate [--users N] [--groups N] [--depth N] [--fanout N] [--dirs N]
//                          [--trustees N] [--seed N] [--members N] [--residents N]
//                          [--assign-each] [--equal-share N] [-o FILE]
//   trovalen-tree export-ldif [--tree NAME] FILE [-o LDIF]
//   trovalen-tree import-ldif [--tree-name NAME] [--schema FILE] LDIF [-o FILE]
//
// Exit status 0 on success, 2 for a usage error or a file that cannot be loaded (one line on
// standard error); import-ldif answers 1 when the LDIF cannot be read, the tree file cannot be
// written, or the tree file lacks part of the LDIF.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "convert/LdifExport.h"
#include "convert/LdifImport.h"
#include "convert/TreeDescribe.h"
#include "convert/TreeGenerate.h"
#include "model/RightsModel.h"
#include "util/FileIO.h"

using namespace trovalen;
using namespace trovalen::sim;
using namespace trovalen::convert;

namespace {

const char* const kUsage =
    "usage: trovalen-tree check [--summary] FILE\n"
    "       trovalen-tree generate [--users N] [--groups N] [--depth N] [--fanout N]\n"
    "                              [--dirs N] [--trustees N] [--seed N] [--members N]\n"
    "                              [--residents N] [--assign-each] [--equal-share N]\n"
    "                              [-o FILE]\n"
    "       trovalen-tree export-ldif [--tree NAME] FILE [-o LDIF]\n"
    "       trovalen-tree import-ldif [--tree-name NAME] [--schema FILE] LDIF [-o FILE]\n"
    "  --members N    a group Everyone.Gen with N security-equal users in Members.Gen\n"
    "  --residents N  a unit Residents.Gen with N users; both are trustees of SYS:PROJ\n"
    "                 and of Target.Gen\n"
    "  --assign-each  each of those users also a trustee of SYS:PROJ and Target.Gen\n"
    "  export-ldif    writes LDIF.schema and LDIF.rootdse beside LDIF; without -o the\n"
    "                 entries go to standard output and nothing else is written\n"
    "  import-ldif    a tree file from an LDIF export of a tree (trovalen-tree import-ldif\n"
    "                 --help)\n";

const char* const kImportUsage =
    "usage: trovalen-tree import-ldif [--tree-name NAME] [--schema FILE] LDIF [-o FILE]\n"
    "Makes a tree file from an LDIF export of a directory tree, as\n"
    "  ldapsearch -H ldap://SERVER -b BASE -D USER -W -o ldif-wrap=no \\\n"
    "      '(objectClass=*)' ACL objectClass securityEquals groupMembership member '*'\n"
    "writes it, so that the tree can be analysed offline (trovalen-scan --tree FILE --edir).\n"
    "What a tree file cannot hold is named on standard error, one line each.\n"
    "\n"
    "  --tree-name NAME  the tree's name (default: directoryTreeName of a root DSE entry in\n"
    "                    the LDIF, else the name of the top container)\n"
    "  --schema FILE     attribute and class definitions with the directory's names\n"
    "                    (X-NDS_NAME): a slapd schema file, or an LDIF of the subschema entry\n"
    "  -o FILE           write the tree file to FILE (replaced in one step) instead of\n"
    "                    standard output; LDIF may be - for standard input\n"
    "  -h, --help        show this help\n"
    "\n"
    "Exit status: 0 when the tree file was written with every entry of the LDIF; 1 when\n"
    "the LDIF cannot be read (nothing is written), when the file cannot be written, or when\n"
    "the tree file lacks part of the LDIF (it is written with what was read): an entry given\n"
    "twice (the first is kept), a text that ends inside a line or before ldapsearch's\n"
    "closing lines, a \"# numEntries:\" count that does not match, a search that ended\n"
    "early; 2 for a usage error.\n";

const char* const kExportUsage =
    "usage: trovalen-tree export-ldif [--tree NAME] FILE [-o LDIF]\n"
    "Writes the directory part of a tree file as a live directory shows it over LDAP.\n"
    "\n"
    "  --tree NAME  the tree to export; needed when the file holds more than one\n"
    "  -o LDIF      write the entries to LDIF, and beside it LDIF.schema (a slapd schema),\n"
    "               LDIF.rootdse (the tree's name and the ACL values of [Root]) and\n"
    "               LDIF.suffixes (the DNs right below [Root]); without it the entries go\n"
    "               to standard output and nothing else is written\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 when the files were written, 2 for a usage error, a tree file that\n"
    "cannot be loaded or a failed write.\n";

const char* const kCheckUsage =
    "usage: trovalen-tree check [--summary] FILE\n"
    "Loads the tree file exactly as the simulated client does and prints what it holds: the\n"
    "schema it adds, the trees with their objects, the servers with their volumes and\n"
    "directories, and the connections; or the one message that says why it cannot be loaded.\n"
    "\n"
    "  --summary   counts only: no objects, no directories\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when the file loads, 2 for a usage error or a file that cannot be loaded.\n";

const char* const kGenerateUsage =
    "usage: trovalen-tree generate [--users N] [--groups N] [--depth N] [--fanout N]\n"
    "                              [--dirs N] [--trustees N] [--seed N] [--members N]\n"
    "                              [--residents N] [--assign-each] [--equal-share N]\n"
    "                              [-o FILE]\n"
    "Writes a synthetic tree file of the requested size, for benchmarks and scale tests.\n"
    "\n"
    "  --users N     user objects (0 to 2000000, default 1000)\n"
    "  --groups N    groups, each user security-equal to one or two (0 to 2000000,\n"
    "                default 20)\n"
    "  --equal-share N  the share of the users, in percent, that are security-equal to\n"
    "                groups (0 to 100, default 100): fewer members per group\n"
    "  --depth N     levels of organizational units (0 to 8, default 3)\n"
    "  --fanout N    organizational units in each container (0 to 50, default 4)\n"
    "  --dirs N      directories on the volume SYS of GEN-FS1 (0 to 65000, default 100)\n"
    "  --trustees N  trustees per directory (0 to 1000, default 3)\n"
    "  --seed N      seed of the random choices (0 to 999999999, default 1); the same\n"
    "                options give the same file\n"
    "  --members N   a group Everyone.Gen with N security-equal users in Members.Gen\n"
    "  --residents N a unit Residents.Gen with N users; both are trustees of SYS:PROJ\n"
    "                and of Target.Gen\n"
    "  --assign-each each of those users also a trustee of SYS:PROJ and Target.Gen\n"
    "  -o FILE       write to FILE instead of standard output\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 when the file was written, 2 for a usage error or a failed write.\n";

bool IsHelp(const std::string& arg) {
    return arg == "-h" || arg == "--help";
}

int Usage(const std::string& message) {
    std::cerr << "trovalen-tree: " << message << " (trovalen-tree --help)\n";
    return 2;
}

bool Number(const std::string& text, uint32_t max, uint32_t& out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long v = std::stoul(text);
    if (v > max)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

int Check(const std::vector<std::string>& args) {
    bool summary = false;
    std::string file;
    for (const auto& a : args) {
        if (IsHelp(a)) {
            std::cout << kCheckUsage;
            return 0;
        }
        if (a == "--summary")
            summary = true;
        else if (!a.empty() && a[0] == '-' && a != "-")
            return Usage("unknown option " + a);
        else if (!file.empty())
            return Usage("check takes one file");
        else
            file = a;
    }
    if (file.empty())
        return Usage("check needs a file");
    std::string error;
    auto world = U_LoadTreeFile(file, error);
    if (!world) {
        std::cerr << error << "\n";
        return 2;
    }
    U_DescribeTree(*world, summary, std::cout);
    return 0;
}

int Generate(const std::vector<std::string>& args) {
    TGenerateOptions o;
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            std::cout << kGenerateUsage;
            return 0;
        }
        if (a == "--assign-each") {
            o.AssignEach = true;
            continue;
        }
        if (i + 1 >= args.size())
            return Usage(a.rfind("-", 0) == 0 ? a + " needs a value" : "unexpected " + a);
        const std::string& v = args[++i];
        uint32_t* target = nullptr;
        uint32_t max = 2000000;
        if (a == "--users")
            target = &o.Users;
        else if (a == "--groups")
            target = &o.Groups;
        else if (a == "--depth")
            target = &o.Depth, max = 8;
        else if (a == "--fanout")
            target = &o.Fanout, max = 50;
        else if (a == "--dirs")
            target = &o.Dirs, max = 65000;
        else if (a == "--trustees")
            target = &o.Trustees, max = 1000;
        else if (a == "--seed")
            target = &o.Seed, max = 999999999;
        else if (a == "--members")
            target = &o.Members;
        else if (a == "--residents")
            target = &o.Residents;
        else if (a == "--equal-share")
            target = &o.EqualShare, max = 100;
        else if (a == "-o")
            out = v;
        else
            return Usage("unknown option " + a);
        if (target != nullptr && !Number(v, max, *target))
            return Usage("the value of " + a + " must be a number from 0 to " +
                         std::to_string(max));
    }
    std::string json = GenerateTreeJson(o);
    if (out.empty() || out == "-") {
        std::cout << json;
        return std::cout.good() ? 0 : 2;
    }
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f << json;
    f.close();
    if (!f) {
        std::cerr << "trovalen-tree: cannot write " << out << " (" << std::strerror(errno) << ")\n";
        return 2;
    }
    return 0;
}

bool WriteFile(const std::string& name, const std::string& text) {
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    if (!f)
        std::cerr << "trovalen-tree: cannot write " << name << " (" << std::strerror(errno)
                  << ")\n";
    return static_cast<bool>(f);
}

int ExportLdifCommand(const std::vector<std::string>& args) {
    std::string file, out, treeName;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            std::cout << kExportUsage;
            return 0;
        }
        if (a == "-o" || a == "--tree") {
            if (i + 1 >= args.size())
                return Usage(a + " needs a value");
            (a == "-o" ? out : treeName) = args[++i];
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage("unknown option " + a);
        } else if (!file.empty()) {
            return Usage("export-ldif takes one file");
        } else {
            file = a;
        }
    }
    if (file.empty())
        return Usage("export-ldif needs a tree file");
    std::string error;
    auto world = U_LoadTreeFile(file, error);
    if (!world) {
        std::cerr << error << "\n";
        return 2;
    }
    size_t tree = 0;
    if (!treeName.empty()) {
        int32_t t = world->FindTree(treeName);
        if (t < 0) {
            std::cerr << "trovalen-tree: " << file << " holds no tree " << treeName << "\n";
            return 2;
        }
        tree = static_cast<size_t>(t);
    } else if (world->Trees.size() != 1) {
        std::cerr << "trovalen-tree: " << file << " holds " << world->Trees.size()
                  << " trees; name one with --tree\n";
        return 2;
    }
    TLdifExport ldif;
    if (!ExportLdif(*world, tree, ldif, error)) {
        std::cerr << "trovalen-tree: " << error << "\n";
        return 2;
    }
    std::cerr << ldif.Skipped;
    if (out.empty() || out == "-") {
        std::cout << ldif.Ldif;
        return std::cout.good() ? 0 : 2;
    }
    bool ok = WriteFile(out, ldif.Ldif) && WriteFile(out + ".schema", ldif.Schema) &&
              WriteFile(out + ".rootdse", ldif.RootDse) &&
              WriteFile(out + ".suffixes", ldif.Suffixes);
    return ok ? 0 : 2;
}

// The whole of a file, or of standard input for "-", up to the tree-file limit.
bool ReadBounded(const std::string& name, std::string& text, std::string& error) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (name != "-") {
        // A file too large is refused before a byte of it is read.
        std::error_code ec;
        auto size = std::filesystem::file_size(name, ec);
        if (!ec && size > kMaxTreeFileBytes) {
            error = name + " is larger than " + std::to_string(kMaxTreeFileBytes / (1024 * 1024)) +
                    " MiB";
            return false;
        }
        file.open(name, std::ios::binary);
        if (!file) {
            error = "cannot read " + name + " (" + std::strerror(errno) + ")";
            return false;
        }
        in = &file;
    }
    text.clear();
    char buf[65536];
    while (in->read(buf, sizeof buf) || in->gcount() > 0) {
        text.append(buf, static_cast<size_t>(in->gcount()));
        if (text.size() > kMaxTreeFileBytes) {
            error = name + " is larger than " + std::to_string(kMaxTreeFileBytes / (1024 * 1024)) +
                    " MiB";
            return false;
        }
    }
    if (in->bad()) {
        error = "cannot read " + name + " (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

int ImportLdifCommand(const std::vector<std::string>& args) {
    constexpr int kUnreadable = 1;
    std::string file, out, schemaFile;
    TLdifImportOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            std::cout << kImportUsage;
            return 0;
        }
        if (a == "-o" || a == "--tree-name" || a == "--schema") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return Usage(a + " needs a value");
            (a == "-o" ? out : a == "--schema" ? schemaFile : options.TreeName) = args[++i];
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage("unknown option " + a);
        } else if (!file.empty()) {
            return Usage("import-ldif takes one LDIF file");
        } else {
            file = a;
        }
    }
    if (file.empty())
        return Usage("import-ldif needs an LDIF file");
    std::string ldif, error;
    if (!schemaFile.empty() && !ReadBounded(schemaFile, options.SchemaText, error)) {
        std::cerr << "trovalen-tree: " << error << "\n";
        return kUnreadable;
    }
    if (!ReadBounded(file, ldif, error)) {
        std::cerr << "trovalen-tree: " << error << "\n";
        return kUnreadable;
    }
    // export-ldif writes the tree's name and the ACL of [Root] beside the LDIF: a round trip
    // keeps them.
    const std::string beside = file + ".rootdse";
    std::error_code ec;
    if (file != "-" && std::filesystem::exists(beside, ec)) {
        if (!ReadBounded(beside, options.RootDseText, error)) {
            std::cerr << "trovalen-tree: " << error << "\n";
            return kUnreadable;
        }
    }
    TLdifImport result;
    bool imported = ImportLdif(ldif, options, result, error);
    for (const std::string& m : result.Messages)
        std::cerr << file << ": " << m << "\n";
    if (!imported) {
        std::cerr << file << ": " << error << "\n";
        return kUnreadable;
    }
    // The file is loaded once as the client will load it, so that a fault shows here.
    if (!U_TreeTextLoads(result.Json, out.empty() ? "the tree file" : out, error)) {
        std::cerr << "trovalen-tree: the tree file made from " << file
                  << " does not load: " << error << "\n";
        return kUnreadable;
    }
    // What the tree file lacks of the LDIF comes last, where it is seen.
    for (const std::string& m : result.Losses)
        std::cerr << file << ": " << m << "\n";
    std::cerr << "trovalen-tree: tree " << result.TreeName << ": " << result.Objects << " objects, "
              << result.AclValues << " ACL values\n";
    // A tree file that lacks part of the LDIF is still written, for a look at what was read,
    // but the exit status says it is no whole snapshot.
    const int status = result.Losses.empty() ? 0 : kUnreadable;
    if (status != 0)
        std::cerr << "trovalen-tree: the tree file lacks part of " << file << " ("
                  << result.Losses.size() << (result.Losses.size() == 1 ? " line" : " lines")
                  << " above)\n";
    if (out.empty() || out == "-") {
        std::cout << result.Json;
        return std::cout.flush().good() ? status : kUnreadable;
    }
    if (!U_WriteFileAtomic(out, result.Json, error)) {
        std::cerr << "trovalen-tree: cannot write " << out << ": " << error << "\n";
        return kUnreadable;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage("no command");
    if (IsHelp(args[0])) {
        std::cout << kUsage;
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "trovalen-tree " << TROVALEN_VERSION << "\n";
        return 0;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "check")
        return Check(rest);
    if (args[0] == "generate")
        return Generate(rest);
    if (args[0] == "export-ldif")
        return ExportLdifCommand(rest);
    if (args[0] == "import-ldif")
        return ImportLdifCommand(rest);
    return Usage("unknown command " + args[0]);
}
