// compare_bench: two saved results of 100,000 trustee lines each (1,000 entries of 100 trustees,
// every tenth trustee's rights changed, one entry in fifty gone and another come) read from their
// JSON documents and compared, as trovalen-scan --compare does with two files. Prints the time of
// reading both, of the comparison, and the peak memory of the process; the median of five runs.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "rights/ResultCompare.h"
#include "rights/ResultFile.h"
#include "rights/ScanJson.h"

using namespace trovalen;
using json = nlohmann::ordered_json;

namespace {

constexpr int kEntries = 1000;
constexpr int kTrustees = 100;

std::string Document(bool after) {
    json doc;
    doc["format"] = kScanJsonFormat;
    doc["variant"] = "Trovalen.edir";
    doc["version"] = "v1.6 (2009-09)";
    doc["date"] = after ? "2026-06-30 09:00:00" : "2026-03-31 09:00:00";
    doc["scanType"] = "eDirectory";
    doc["settings"] = {
        {"resolveContainers", false}, {"onlyUsers", false}, {"exclude", ""}, {"include", ""}};
    doc["complete"] = true;
    doc["cancelled"] = false;
    doc["notes"] = json::array();
    json entries = json::array();
    for (int e = 0; e < kEntries; ++e) {
        // One entry in fifty is another in the newer result.
        std::string name =
            ".OU" + std::to_string(e) + (after && e % 50 == 0 ? "-new" : "") + ".Corvale";
        json trustees = json::array();
        for (int t = 0; t < kTrustees; ++t) {
            bool changed = after && t % 10 == 0;
            trustees.push_back(
                {{"class", "User"},
                 {"name", ".U" + std::to_string(t) + ".Staff.Corvale"},
                 {"attribute", "[Entry Rights]"},
                 {"family", "entry"},
                 {"rights", changed ? "BCDR I" : "B    I"},
                 {"mask", changed ? 47 : 33},
                 {"sources", {"assigned"}},
                 {"reasons",
                  {{{"rights", changed ? "BCDR I" : "B    I"},
                    {"mask", changed ? 47 : 33},
                    {"family", "entry"},
                    {"why", "for direct Trustee assignment on \"" + name + "\""}}}}});
        }
        entries.push_back({{"object", name},
                           {"tree", "CORVALE_TREE"},
                           {"status", "analysed"},
                           {"complete", true},
                           {"incomplete", json::array()},
                           {"errors", json::array()},
                           {"trustees", std::move(trustees)}});
    }
    doc["entries"] = std::move(entries);
    return doc.dump(2);
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

int main() {
    const std::string before = Document(false);
    const std::string after = Document(true);
    std::printf("two results of %d trustee lines each, %.1f and %.1f MB of JSON\n",
                kEntries * kTrustees, before.size() / 1e6, after.size() / 1e6);
    std::vector<double> reads, compares, cpu;
    size_t changes = 0;
    for (int run = 0; run < 5; ++run) {
        const std::clock_t cpuStart = std::clock();
        auto start = std::chrono::steady_clock::now();
        std::string error;
        TComparison c;
        // What trovalen-scan --compare does with two files once it has read their bytes.
        if (!U_CompareTexts(before, after, "q1.json", "q2.json", c, error)) {
            std::fprintf(stderr, "compare_bench: %s\n", error.c_str());
            return 1;
        }
        reads.push_back(Seconds(start));
        // The comparison alone, on results read once more.
        TSavedResult a, b;
        U_ParseScanResult(before, a, error);
        U_ParseScanResult(after, b, error);
        start = std::chrono::steady_clock::now();
        TComparison again;
        U_CompareResults(a, b, "q1.json", "q2.json", again, error);
        compares.push_back(Seconds(start));
        changes = c.Changes.size();
        cpu.push_back(double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(reads.begin(), reads.end());
    std::sort(compares.begin(), compares.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("changes: %zu\n", changes);
    std::printf("read and compare, as --compare A B (median of 5): %.3f s\n", reads[2]);
    std::printf("of which the comparison alone (median of 5):     %.3f s\n", compares[2]);
    // The processor time does not grow when other programs share the machine.
    std::printf("processor time of one loop (two reads and comparisons; median of 5): %.3f s\n",
                cpu[2]);
    std::printf("peak memory: %.0f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
