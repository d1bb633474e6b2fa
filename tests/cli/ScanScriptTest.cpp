// trovalen-scan as scripts use it: exit statuses, the JSON document, failed writes, the
// spreadsheet, the progress line; and trovalen-tree's per-command help.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <pty.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "backend/sim/SimLoader.h"
#include "cli/CliRun.h"
#include "model/RightsModel.h"
#include "util/Util.h"

namespace fs = std::filesystem;
using json = nlohmann::json;
using trovalen::testing::ReadAll;
using trovalen::testing::RunCli;
using trovalen::testing::ShellQuoted;
using trovalen::testing::TCliRun;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

class ScanScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("trovalen-script-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "mnt");
        fs::create_directories(dir / "out");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Env() const {
        return "TROVALEN_MOUNT=" + ShellQuoted((dir / "mnt").string()) + " TROVALEN_TREE=";
    }
    TCliRun Scan(const std::vector<std::string>& args, const std::string& prelude = "",
                 const std::string& stdoutTo = "") {
        return RunCli(TROVALEN_SCAN_EXE, args, dir, prelude + " " + Env(), stdoutTo);
    }
    static std::string Data(const std::string& name) {
        return std::string(TROVALEN_TEST_DATA) + "/" + name;
    }
    static std::string SampleTree() {
        return std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";
    }

    // Validates the files against the schema in docs/; the validator's messages on failure.
    static std::string SchemaErrors(const std::vector<fs::path>& files) {
        std::vector<std::string> args{"schema", std::string(TROVALEN_SOURCE_DIR) +
                                                    "/docs/scan-result.schema.json"};
        for (const auto& f : files)
            args.push_back(f.string());
        fs::path scratch = fs::temp_directory_path();
        TCliRun run = RunCli(std::string(TROVALEN_SOURCE_DIR) + "/tests/cli/check_output.py", args,
                             scratch, std::string(), std::string());
        return run.Status == 0 ? std::string()
                               : "status " + std::to_string(run.Status) + "\n" + run.Out + run.Err;
    }

    fs::path dir;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The summary's trustee lines, one list per entry; an entry starts at a line with the prefix.
std::vector<std::vector<std::string>> TrusteeLinesPerEntry(const std::string& summary,
                                                           const std::string& entryPrefix) {
    std::vector<std::vector<std::string>> entries;
    for (const auto& line : Lines(summary)) {
        if (trovalen::U_StartsWith(line, entryPrefix))
            entries.emplace_back();
        else if (trovalen::U_StartsWith(line, "Effective Trustee:") && !entries.empty())
            entries.back().push_back(line);
    }
    return entries;
}

// A trustee of the JSON document as the summary writes its line.
std::string SummaryLine(const json& t, bool edir) {
    std::string line = "Effective Trustee:\t" + t.at("class").get<std::string>() + "\t[" +
                       t.at("rights").get<std::string>() + "]\t" + t.at("name").get<std::string>();
    if (edir)
        line += "\t" + t.at("attribute").get<std::string>();
    return line;
}

trovalen::TRightsType Family(const std::string& name) {
    if (name == "entry")
        return trovalen::rtEntry;
    return name == "attribute" ? trovalen::rtAttribute : trovalen::rtFileSystem;
}

} // namespace

TEST_F(ScanScript, ExitStatusSaysWhetherEveryEntryWasAnalysed) {
    std::ofstream(dir / "startup.json")
        << R"({"format": 1, "clientStartup": 34817, "trees": [], "servers": []})";
    struct TCase {
        const char* Name;
        std::vector<std::string> Args;
        int Status;
    };
    const std::string fs = Data("rights-fs.json"), edir = Data("rights-edir.json");
    const std::vector<TCase> cases = {
        {"every path found", {"--tree", fs, "\\\\FS1\\SYS\\APPS\\DATA", "FS1/SYS:APPS"}, kExitOk},
        {"one path missing",
         {"--tree", fs, "\\\\FS1\\SYS\\APPS\\DATA", "FS1/SYS:GONE"},
         kExitFailed},
        {"server missing", {"--tree", fs, "\\\\NOSUCH\\SYS"}, kExitFailed},
        {"missing path in json", {"--tree", fs, "--format", "json", "FS1/SYS:GONE"}, kExitFailed},
        {"every object found", {"--tree", edir, "--edir", ".Printer1.SALES.ACME"}, kExitOk},
        {"object missing",
         {"--tree", edir, "--edir", ".Printer1.SALES.ACME", ".Nobody.ACME"},
         kExitFailed},
        {"unknown tree",
         {"--tree", edir, "--edir", "--tree-name", "NO_TREE", ".Admin.ACME"},
         kExitUsage},
        {"client cannot start",
         {"--tree", (dir / "startup.json").string(), "\\\\FS1\\SYS"},
         kExitUsage},
        {"xlsx without a file", {"--tree", fs, "--format", "xlsx", "\\\\FS1\\SYS"}, kExitUsage},
        {"unknown format", {"--format", "pdf", "\\\\FS1\\SYS"}, kExitUsage},
    };
    for (const auto& c : cases) {
        TCliRun run = Scan(c.Args);
        EXPECT_EQ(run.Status, c.Status) << c.Name << "\n" << run.Err;
        if (c.Status == kExitUsage)
            EXPECT_EQ(trovalen::U_CountOf(run.Err, "trovalen-scan: "), 1) << c.Name << run.Err;
        else if (c.Status == kExitFailed)
            EXPECT_EQ(trovalen::U_CountOf(run.Err, ": not found\n"), 1) << c.Name << run.Err;
        else
            EXPECT_EQ(run.Err, "") << c.Name;
    }

    // A missing entry does not cut the report short.
    TCliRun run = Scan({"--tree", fs, "FS1/SYS:GONE", "\\\\FS1\\SYS\\APPS\\DATA"});
    EXPECT_EQ(run.Status, kExitFailed);
    EXPECT_NE(run.Out.find("(not found)"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("Effective Trustee:\tUser\t[RWCEAFMS]\t.Admin.ACME"), std::string::npos)
        << run.Out;

    TCliRun help = Scan({"--help"});
    EXPECT_EQ(help.Status, kExitOk);
    EXPECT_NE(help.Out.find("Exit status:"), std::string::npos);
    EXPECT_NE(help.Out.find("json"), std::string::npos);
}

// Every directory and every object of the sample tree: the JSON document lists exactly the
// trustees of the text summary, entry by entry, and is valid by the schema.
TEST_F(ScanScript, JsonListsTheSummarysTrusteesForEveryEntryOfTheSampleTree) {
    std::string error;
    auto world = trovalen::sim::LoadTreeFile(SampleTree(), error);
    ASSERT_TRUE(world) << error;
    std::vector<std::string> paths;
    std::map<std::string, std::vector<std::string>> objects; // per tree
    for (const auto& server : world->Servers)
        for (const auto& volume : server.Volumes)
            for (const auto& d : volume.Dirs)
                paths.push_back("\\\\" + server.Name + "\\" + volume.Name +
                                (d.Path.empty() ? "" : "\\" + d.Path));
    for (const auto& tree : world->Trees)
        for (size_t i = 1; i < tree.Objects.size(); ++i)
            objects[tree.Name].push_back("." + tree.Objects[i].FullName);
    ASSERT_GT(paths.size(), 5u);
    ASSERT_GE(objects.size(), 2u);

    struct TVariant {
        std::string Name;
        bool Edir;
        std::vector<std::string> Options;
        std::vector<std::string> Entries;
    };
    std::vector<TVariant> variants = {
        {"fs", false, {}, paths},
        {"fs-filtered", false, {"--exclude", "admin", "--resolve-containers"}, paths},
    };
    for (const auto& [tree, names] : objects) {
        variants.push_back({"edir-" + tree, true, {"--edir", "--tree-name", tree}, names});
        variants.push_back({"edir-filtered-" + tree,
                            true,
                            {"--edir", "--tree-name", tree, "--only-users", "--include", "a",
                             "--resolve-containers"},
                            names});
    }
    std::vector<fs::path> documents;
    for (const auto& v : variants) {
        std::vector<std::string> args = v.Options;
        for (const auto& e : v.Entries)
            args.push_back(e);
        TCliRun text = Scan(args);
        args.insert(args.begin(), {"--format", "json"});
        TCliRun doc = Scan(args);
        EXPECT_EQ(doc.Status, text.Status) << v.Name << doc.Err;
        EXPECT_EQ(doc.Err, text.Err) << v.Name;
        documents.push_back(dir / "out" / (v.Name + ".json"));
        std::ofstream(documents.back()) << doc.Out;

        json result = json::parse(doc.Out);
        const json& entries = result.at("entries");
        // The sample tree's own faults: an ACL and an effective-rights answer that cannot be
        // read with the connection's identity. Every entry they touch is incomplete, is said on
        // standard error, and makes the exit status 1; every other entry is whole.
        std::set<std::string> incomplete;
        for (const auto& e : entries)
            if (!e.at("complete").get<bool>()) {
                incomplete.insert(e.at(v.Edir ? "object" : "path").get<std::string>());
                EXPECT_NE(text.Err.find(e.at(v.Edir ? "object" : "path").get<std::string>() +
                                        ": incomplete: "),
                          std::string::npos)
                    << v.Name << text.Err;
            }
        EXPECT_EQ(text.Status, incomplete.empty() ? kExitOk : kExitFailed) << v.Name << text.Err;
        EXPECT_EQ(trovalen::U_CountOf(text.Err, "trovalen-scan: "), incomplete.size()) << text.Err;
        if (v.Edir && v.Name.find("CORVALE") != std::string::npos) {
            EXPECT_EQ(incomplete, (std::set<std::string>{".Archive.Finance.Corvale",
                                                         ".Ghost.Archive.Finance.Corvale",
                                                         ".Quill.Finance.Corvale"}))
                << v.Name;
        }
        EXPECT_EQ(result.at("complete").get<bool>(), incomplete.empty()) << v.Name;
        auto summary = TrusteeLinesPerEntry(text.Out, v.Edir ? "Object: " : "Path: ");
        ASSERT_EQ(entries.size(), v.Entries.size()) << v.Name;
        ASSERT_EQ(summary.size(), entries.size()) << v.Name;
        size_t trustees = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            const json& e = entries[i];
            EXPECT_EQ(e.at("status"), "analysed") << v.Name << " " << e.dump();
            EXPECT_EQ(e.at(v.Edir ? "object" : "path"), v.Entries[i]);
            EXPECT_FALSE(e.at("tree").get<std::string>().empty());
            std::vector<std::string> fromJson;
            for (const auto& t : e.at("trustees")) {
                fromJson.push_back(SummaryLine(t, v.Edir));
                EXPECT_FALSE(t.at("reasons").empty()) << t.dump();
                // The letters and the number say the same.
                const std::string family = t.at("family");
                EXPECT_EQ("[" + t.at("rights").get<std::string>() + "]",
                          trovalen::U_RightsToStr(t.at("mask").get<uint32_t>(), Family(family)))
                    << t.dump();
            }
            EXPECT_EQ(fromJson, summary[i]) << v.Name << " entry " << i;
            trustees += fromJson.size();
        }
        EXPECT_GT(trustees, v.Options.size() > 3 ? 0 : entries.size())
            << v.Name << ": the comparison saw trustees";
        if (!v.Edir) {
            EXPECT_EQ(entries[0].at("server"), world->Servers[0].Name);
            EXPECT_EQ(entries[0].at("volume"), world->Servers[0].Volumes[0].Name);
        }
    }
    EXPECT_EQ(SchemaErrors(documents), "");

    // The schema check does catch a document that breaks it.
    json broken = json::parse(ReadAll(documents[0]));
    broken["entries"][0]["trustees"][0]["mask"] = "511";
    broken["entries"][1].erase("status");
    std::ofstream(dir / "out" / "broken.json") << broken.dump();
    std::string errors = SchemaErrors({dir / "out" / "broken.json"});
    EXPECT_NE(errors.find("mask"), std::string::npos) << errors;
    EXPECT_NE(errors.find("status"), std::string::npos) << errors;
}

TEST_F(ScanScript, JsonOfEntriesThatWereNotAnalysed) {
    TCliRun run =
        Scan({"--tree", Data("rights-edir.json"), "--edir", "--format", "json", ".Nobody.ACME"});
    EXPECT_EQ(run.Status, kExitFailed);
    // The result says where its data came from: the tree file named.
    EXPECT_EQ(json::parse(run.Out).at("source"), Data("rights-edir.json"));
    json e = json::parse(run.Out).at("entries").at(0);
    EXPECT_EQ(e.at("object"), ".Nobody.ACME");
    EXPECT_EQ(e.at("status"), "not-found");
    EXPECT_TRUE(e.at("trustees").empty());
    ASSERT_EQ(e.at("errors").size(), 1u);
    EXPECT_NE(e.at("errors")[0].get<std::string>().find("Invalid Object"), std::string::npos);
    std::ofstream(dir / "out" / "missing.json") << run.Out;
    EXPECT_EQ(SchemaErrors({dir / "out" / "missing.json"}), "");
}

TEST_F(ScanScript, FailedWritesAreFailures) {
    const std::string tree = Data("rights-fs.json");
    // A full standard output.
    TCliRun full = Scan({"--tree", tree, "\\\\FS1\\SYS"}, "", "/dev/full");
    EXPECT_EQ(full.Status, kExitFailed);
    EXPECT_NE(full.Err.find("trovalen-scan: cannot write to standard output"), std::string::npos)
        << full.Err;
    TCliRun fullHelp = Scan({"--help"}, "", "/dev/full");
    EXPECT_EQ(fullHelp.Status, kExitFailed);
    // Details that fill the output's buffer many times over, written line by line.
    std::vector<std::string> details{"--tree", tree, "--details"};
    for (int i = 0; i < 20; ++i)
        details.push_back("\\\\FS1\\SYS\\APPS\\DATA");
    TCliRun fullDetails = Scan(details, "", "/dev/full");
    EXPECT_EQ(fullDetails.Status, kExitFailed);
    EXPECT_NE(fullDetails.Err.find("trovalen-scan: cannot write to standard output"),
              std::string::npos)
        << fullDetails.Err;
    EXPECT_GT(Scan(details).Out.size(), 4u * BUFSIZ);

    // A file that cannot take the whole report keeps its old content, and nothing is left
    // beside it.
    fs::path report = dir / "out" / "report.txt";
    std::ofstream(report) << "old report\n";
    std::vector<std::string> big{"--tree", tree, "--details", "-o", report.string()};
    for (int i = 0; i < 20; ++i)
        big.push_back("\\\\FS1\\SYS\\APPS\\DATA");
    TCliRun limited = Scan(big, "ulimit -f 2; trap '' XFSZ;");
    EXPECT_EQ(limited.Status, kExitFailed) << limited.Err;
    EXPECT_NE(limited.Err.find(report.string()), std::string::npos) << limited.Err;
    EXPECT_EQ(ReadAll(report), "old report\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
    // Without the limit the same report replaces the file.
    TCliRun written = Scan(big);
    EXPECT_EQ(written.Status, kExitOk) << written.Err;
    EXPECT_GT(ReadAll(report).size(), 1024u * 2);

    // A report file that is a device is written into, never replaced by a regular file.
    fs::path device = dir / "out" / "full";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "no device node can be made here: " << std::strerror(errno);
    }
    for (const char* format : {"txt", "json", "xlsx"}) {
        TCliRun run =
            Scan({"--tree", tree, "--format", format, "-o", device.string(), "\\\\FS1\\SYS"});
        EXPECT_EQ(run.Status, kExitFailed) << format;
        EXPECT_NE(run.Err.find("No space left on device"), std::string::npos) << run.Err;
        EXPECT_TRUE(fs::is_character_file(device)) << format;
    }
}

TEST_F(ScanScript, SpreadsheetIsTheSummaryAsTheWindowWritesIt) {
    fs::path book = dir / "out" / "trustees.xlsx";
    TCliRun run = Scan({"--tree", Data("rights-fs.json"), "--format", "xlsx", "-o", book.string(),
                        "\\\\FS1\\SYS\\APPS\\DATA"});
    ASSERT_EQ(run.Status, kExitOk) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(ReadAll(book).substr(0, 4), std::string("PK\x03\x04", 4));
    TCliRun strings = RunCli(std::string(TROVALEN_SOURCE_DIR) + "/tests/cli/check_output.py",
                             {"xlsx-strings", book.string()}, dir);
    ASSERT_EQ(strings.Status, 0) << strings.Err;
    // One text per field: the trustee line is split at its tabs as the window's export does.
    auto texts = Lines(strings.Out);
    EXPECT_NE(std::find(texts.begin(), texts.end(), ".Admin.ACME"), texts.end()) << strings.Out;
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Effective Trustee:"), texts.end());

    TCliRun unwritable = Scan({"--tree", Data("rights-fs.json"), "--format", "xlsx", "-o",
                               (dir / "none" / "x.xlsx").string(), "\\\\FS1\\SYS"});
    EXPECT_EQ(unwritable.Status, kExitFailed);
    EXPECT_FALSE(fs::exists(dir / "none"));
}

// The progress line shows on a terminal and nowhere else.
TEST_F(ScanScript, ProgressLineOnlyOnATerminal) {
    const std::vector<std::string> args{"--tree", Data("rights-fs.json"),
                                        "\\\\FS1\\SYS\\APPS\\DATA", "\\\\FS1\\SYS\\APPS"};
    TCliRun piped = Scan(args);
    ASSERT_EQ(piped.Status, kExitOk);
    EXPECT_EQ(piped.Err, "");

    fs::path out = dir / "out" / "stdout";
    std::string mount = (dir / "mnt").string();
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
        // Standard error stays the terminal; the report goes to a file.
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        setenv("TROVALEN_MOUNT", mount.c_str(), 1);
        unsetenv("TROVALEN_TREE");
        std::vector<char*> argv{const_cast<char*>(TROVALEN_SCAN_EXE)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TROVALEN_SCAN_EXE, argv.data());
        _exit(127);
    }
    std::string terminal;
    char buf[1024];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            terminal.append(buf, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EIO once the child has closed the terminal
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitOk) << terminal;
    EXPECT_NE(terminal.find("1/2 \\\\FS1\\SYS\\APPS\\DATA"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("2/2 \\\\FS1\\SYS\\APPS"), std::string::npos) << terminal;
    // The line is cleared at the end, and none of it reaches the report.
    EXPECT_EQ(terminal.back(), '\r');
    std::string report = ReadAll(out);
    EXPECT_NE(report.find("Effective Trustee:"), std::string::npos);
    EXPECT_EQ(report.find("1/2"), std::string::npos);
}

TEST(TreeCli, EveryCommandHasItsHelp) {
    const fs::path scratch = fs::temp_directory_path();
    struct TCase {
        std::vector<std::string> Args;
        const char* Usage;
    };
    for (const auto& c : std::vector<TCase>{
             {{"--help"}, "usage: trovalen-tree check"},
             {{"check", "--help"}, "usage: trovalen-tree check [--summary] FILE\n"},
             {{"check", "x.json", "-h"}, "usage: trovalen-tree check [--summary] FILE\n"},
             {{"generate", "--help"}, "usage: trovalen-tree generate [--users N]"},
             {{"generate", "--users", "5", "-h"}, "usage: trovalen-tree generate [--users N]"},
         }) {
        TCliRun run = RunCli(TROVALEN_TREE_EXE, c.Args, scratch);
        EXPECT_EQ(run.Status, 0) << c.Args.back() << run.Err;
        EXPECT_EQ(run.Out.rfind(c.Usage, 0), 0u) << run.Out;
        EXPECT_EQ(run.Err, "");
    }
    TCliRun bad = RunCli(TROVALEN_TREE_EXE, {"generate", "--users"}, scratch);
    EXPECT_EQ(bad.Status, 2);
}
