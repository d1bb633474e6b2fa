// Byte-for-byte snapshots of whole scan runs: every object of each scenario tree in the
// eDirectory scan type and every directory of its volumes in the file-system scan type, under
// each combination of the resolve and only-users switches. The summary pane, the details pane,
// the full analysis log (every level) and the trustee list that U_EffectiveTrustees hands back
// are compared with tests/data/golden/. Set TROVALEN_UPDATE_GOLDEN=1 to write the files anew
// (and review the difference before committing it).
#include "AnalysisFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

using namespace trovalen;
using trovalen::testing::AnalysisTest;

namespace {

struct TSnapshotCase {
    const char* TreeFile; // below tests/data
    const char* Golden;   // below tests/data/golden
    bool Whole;           // details pane and analyses too; else the summary pane only
    // The entries to scan: when empty, every object and every directory of the tree.
    std::vector<std::string> Objects = {};
    std::vector<std::string> Directories = {};
};

const TSnapshotCase kSnapshots[] = {
    {"rights-edir.json", "scan-rights-edir.txt", true},
    {"rights-fs.json", "scan-rights-fs.txt", true},
    {"rights-names.json", "scan-rights-names.txt", true},
    // The bundled sample tree is larger: its summaries only.
    {"../../data/sample-tree.json", "scan-sample-tree.txt", false},
    // Generated trees with many trustees (trovalen-tree generate --users 0 --groups 1 --depth 0
    // --dirs 3 --trustees 1 and the options below): where many trustees meet, through security
    // equivalence, residence and assignments of their own, and where the merge and the sort
    // leave equal names.
    // --members 60 --residents 40 --assign-each
    {"rights-many-own.json",
     "scan-rights-many-own.txt",
     true,
     {".Target.Gen", ".M00007.Members.Gen", ".Members.Gen"},
     {"\\\\GEN-FS1\\SYS\\PROJ", "\\\\GEN-FS1\\SYS\\D00001"}},
    // --members 100 --residents 60
    {"rights-many-equal.json",
     "scan-rights-many-equal.txt",
     true,
     {".Target.Gen", ".R00003.Residents.Gen"},
     {"\\\\GEN-FS1\\SYS\\PROJ"}},
};

constexpr uint32_t kFlagSets[] = {0, ET_RESOLVE_CONTAINERS, ET_ONLY_USERS,
                                  ET_RESOLVE_CONTAINERS | ET_ONLY_USERS};
constexpr int kFullLog = 41;

class ScanSnapshotTest : public AnalysisTest, public ::testing::WithParamInterface<TSnapshotCase> {
protected:
    static void Write(std::ostringstream& out, const TStringList& lines) {
        for (const auto& l : lines)
            if (l.Text.rfind("Date:      ", 0) != 0) // the time of the run
                out << l.Value << '\t' << l.Text << '\n';
    }

    void ScanRuns(std::ostringstream& out, bool edir, const std::vector<std::string>& entries) {
        for (uint32_t flags : kFlagSets) {
            TScanRequest request = ScanRequest(edir);
            request.ResolveContainers = (flags & ET_RESOLVE_CONTAINERS) != 0;
            request.OnlyUsers = (flags & ET_ONLY_USERS) != 0;
            for (const auto& e : entries)
                request.Entries.Add(e);
            TScanHost host;
            TScanResult result;
            TScanRun(request, host).Run(result);
            out << "=== scan run, " << (edir ? "eDirectory" : "file system") << ", flags " << flags
                << "\n--- summary\n";
            Write(out, result.Summary);
            if (!GetParam().Whole)
                continue;
            out << "--- details\n";
            Write(out, result.Details);
        }
    }

    void Analyses(std::ostringstream& out, bool edir, const std::vector<std::string>& targets) {
        for (uint32_t flags : kFlagSets) {
            for (const auto& target : targets) {
                Analyse(target, flags | (edir ? ET_EDIRECTORY : 0), kFullLog);
                out << "=== analysis of " << target << ", flags " << flags << "\n--- log\n";
                Write(out, log);
                out << "--- trustees\n";
                Write(out, trustees);
            }
        }
    }
};

TEST_P(ScanSnapshotTest, ScanRunsAndAnalysesMatchTheSnapshot) {
    ASSERT_NO_FATAL_FAILURE(Load(GetParam().TreeFile));
    std::ostringstream out;
    std::vector<std::string> objects = GetParam().Objects.empty() ? Objects() : GetParam().Objects;
    std::vector<std::string> dirs =
        GetParam().Directories.empty() ? Directories() : GetParam().Directories;
    ScanRuns(out, true, objects);
    ScanRuns(out, false, dirs);
    if (GetParam().Whole) {
        Analyses(out, true, objects);
        // The analysis names a directory as server/volume:path.
        std::vector<std::string> nwPaths;
        for (const auto& d : dirs) {
            TNWPath p;
            if (U_PathToNWPath(client.get(), d, p) == 0)
                nwPaths.push_back(p.Server + "/" + p.Volume + ":" + p.DirPath);
        }
        Analyses(out, false, nwPaths);
    }

    std::string path = std::string(TROVALEN_TEST_DATA) + "/golden/" + GetParam().Golden;
    const char* update = getenv("TROVALEN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << out.str();
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no snapshot " << path;
    std::string expected((std::istreambuf_iterator<char>(in)), {});
    std::string actual = out.str();
    if (actual == expected)
        return;
    // Name the first line that differs rather than printing megabytes.
    std::istringstream a(actual), e(expected);
    std::string la, le;
    for (int line = 1;; ++line) {
        bool more = static_cast<bool>(std::getline(a, la));
        bool moreExpected = static_cast<bool>(std::getline(e, le));
        if (!more && !moreExpected)
            break;
        if (!more || !moreExpected || la != le) {
            ADD_FAILURE() << path << ":" << line << "\n expected: " << le << "\n actual:   " << la;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ScenarioTrees, ScanSnapshotTest, ::testing::ValuesIn(kSnapshots),
                         [](const auto& info) {
                             std::string name = info.param.Golden;
                             name = name.substr(0, name.find('.'));
                             return U_ReplaceStr(name, "-", "_", true, true);
                         });

} // namespace
