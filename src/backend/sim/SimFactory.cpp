#include <cstdlib>

#include "backend/sim/SimClient.h"
#include "backend/sim/SimLoader.h"
#include "util/Platform.h"

namespace trovalen {

namespace sim {
extern const unsigned char kSampleTree[];
extern const std::size_t kSampleTreeSize;
} // namespace sim

std::string SampleTreeText() {
    return std::string(reinterpret_cast<const char*>(sim::kSampleTree), sim::kSampleTreeSize);
}

std::shared_ptr<TSimClient> MakeSimClient(const std::string& treeFile, std::string& error) {
    std::string file = treeFile;
    if (file.empty())
        if (const char* env = std::getenv("TROVALEN_TREE"); env != nullptr && *env != '\0')
            file = env;
    std::shared_ptr<sim::TSimWorld> world =
        file.empty() ? sim::LoadTreeText(SampleTreeText(), "sample-tree.json (built in)", error)
                     : sim::LoadTreeFile(file, error);
    if (world == nullptr)
        return nullptr;
    // The OEM code page is the process's: the program takes the one of the tree it serves.
    U_SetOemCodePage(world->OemCodePage);
    return std::make_shared<TSimClient>(std::move(world));
}

} // namespace trovalen
