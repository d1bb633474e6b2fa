// A tree file with a million objects either loads or is refused with one message that names the
// file and the reason; it never takes the program down or exhausts memory without a word.
#include "backend/sim/SimLoader.h"
#include "convert/TreeGenerate.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace trovalen;

namespace {

// A million objects load within the file-size bound; their load time and memory are measured by
// sim_bench. The tests here load a tenth of that, which runs in a test's time.
constexpr uint32_t kObjects = 100000;

// The outcome of one load: a world, or a message that names the file.
void ExpectLoadedOrRefused(const std::string& text, const std::string& name,
                           bool mustLoad = false) {
    auto start = std::chrono::steady_clock::now();
    std::string error;
    auto world = sim::LoadTreeText(text, name, error);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (mustLoad) {
        EXPECT_TRUE(world) << error;
    }
    if (world) {
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_GT(world->Trees.at(0).Objects.size(), kObjects) << name;
    } else {
        ASSERT_FALSE(error.empty());
        EXPECT_EQ(error.rfind(name + ":", 0), 0u) << error;
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s: %zu bytes, %s in %.1f s, peak resident %ld MB%s%s\n", name.c_str(),
                text.size(), world ? "loaded" : "refused", seconds, usage.ru_maxrss / 1024,
                world ? "" : ": ", error.c_str());
}

TEST(MillionObjects, GeneratedTreeLoadsOrIsRefusedWithAMessage) {
    convert::TGenerateOptions options;
    options.Users = kObjects;
    options.Groups = 100;
    options.Dirs = 10;
    std::string text = convert::GenerateTreeJson(options);
    ExpectLoadedOrRefused(text, "generated.json", true);

    // The same as a file, as the programs open it.
    std::string file = "/tmp/trovalen-million-" + std::to_string(getpid()) + ".json";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
    std::string error;
    auto world = sim::LoadTreeFile(file, error);
    std::remove(file.c_str());
    ASSERT_TRUE(world) << error;
    EXPECT_GT(world->Trees.at(0).Objects.size(), kObjects);
}

// The smallest form of many objects, well within the file-size bound: the loader takes them on.
TEST(MillionObjects, CompactTreeLoads) {
    std::string text = R"({"format": 1, "trees": [{"name": "T", "objects": [)"
                       R"({"name": "O", "class": "Organization"})";
    for (uint32_t i = 0; i < kObjects - 1; ++i)
        text += ",{\"name\":\"u" + std::to_string(i) + ".O\",\"class\":\"User\"}";
    text += "]}]}";
    ASSERT_LT(text.size(), sim::kMaxTreeFileBytes);
    ExpectLoadedOrRefused(text, "compact.json", true);
}

} // namespace
