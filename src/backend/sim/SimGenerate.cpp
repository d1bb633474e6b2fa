#include "backend/sim/SimGenerate.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace trovalen::sim {

namespace {

// A small deterministic generator, so that a seed always gives the same file.
class TRandom {
public:
    explicit TRandom(uint32_t seed) : FState(seed * 2654435761u + 1) {}
    uint32_t Next(uint32_t bound) {
        FState = FState * 6364136223846793005ull + 1442695040888963407ull;
        return bound == 0 ? 0 : static_cast<uint32_t>((FState >> 33) % bound);
    }

private:
    uint64_t FState;
};

std::string Num(const char* prefix, uint32_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%05u", prefix, n);
    return buf;
}

// The rights the large-trustee scenario's own assignments cycle through.
const char* const kOwnEntryRights[] = {"B     ", "BC    ", "B   R ", "B    I"};
const char* const kOwnFileRights[] = {"R    F  ", "RW   F  ", "RWCE  F ", "       S"};
constexpr uint32_t kOwnRightsKinds = 4;

bool WithScenario(const TGenerateOptions& o) {
    return o.Members > 0 || o.Residents > 0;
}

std::string MemberName(uint32_t n) {
    return Num("M", n) + ".Members.Gen";
}

std::string ResidentName(uint32_t n) {
    return Num("R", n) + ".Residents.Gen";
}

// The scenario's users are written out of the order of their names, so that what the analysis
// sorts arrives unsorted: objects with the even numbers rising, then the odd ones falling;
// assignments of their own from the highest number down.
uint32_t ObjectOrder(uint32_t i, uint32_t count) {
    const uint32_t evens = (count + 1) / 2;
    if (i < evens)
        return 2 * i;
    const uint32_t odds = count / 2;
    return 2 * (odds - 1 - (i - evens)) + 1;
}

uint32_t AssignmentOrder(uint32_t i, uint32_t count) {
    return count - 1 - i;
}

// The scenario's objects, each line ending in ",\n".
void AppendScenarioObjects(const TGenerateOptions& o, std::string& out) {
    out += "  {\"name\": \"Everyone.Gen\", \"class\": \"Group\"},\n";
    out += "  {\"name\": \"Members.Gen\", \"class\": \"Organizational Unit\"},\n";
    out += "  {\"name\": \"Residents.Gen\", \"class\": \"Organizational Unit\"},\n";
    out += "  {\"name\": \"Target.Gen\", \"class\": \"Group\", \"acl\": ["
           "{\"subject\": \".Everyone.Gen\", \"attribute\": \"[Entry Rights]\", "
           "\"rights\": \"BC   I\"}, "
           "{\"subject\": \".Everyone.Gen\", \"attribute\": \"[All Attributes Rights]\", "
           "\"rights\": \"CR   I\"}, "
           "{\"subject\": \".Residents.Gen\", \"attribute\": \"[Entry Rights]\", "
           "\"rights\": \"B    I\"}";
    auto own = [&](const std::string& name, uint32_t n) {
        out += ", {\"subject\": \"." + name +
               "\", \"attribute\": \"[Entry Rights]\", \"rights\": \"" +
               kOwnEntryRights[n % kOwnRightsKinds] + "\"}";
    };
    if (o.AssignEach) {
        for (uint32_t i = 0; i < o.Members; ++i)
            own(MemberName(AssignmentOrder(i, o.Members)), i);
        for (uint32_t i = 0; i < o.Residents; ++i)
            own(ResidentName(AssignmentOrder(i, o.Residents)), i);
    }
    out += "]},\n";
    for (uint32_t i = 0; i < o.Members; ++i)
        out += "  {\"name\": \"" + MemberName(ObjectOrder(i, o.Members)) +
               "\", \"class\": \"User\", \"attributes\": {\"Security Equals\": "
               "[\".Everyone.Gen\"]}},\n";
    for (uint32_t i = 0; i < o.Residents; ++i)
        out += "  {\"name\": \"" + ResidentName(ObjectOrder(i, o.Residents)) +
               "\", \"class\": \"User\"},\n";
}

// The directory SYS:PROJ of the scenario, as an entry of the volume's "dirs".
void AppendScenarioDir(const TGenerateOptions& o, std::string& out) {
    out += "\"PROJ\": {\"trustees\": {\".Everyone.Gen\": \"RWCE  F \", \".Residents.Gen\": "
           "\"R    F  \"";
    auto own = [&](const std::string& name, uint32_t n) {
        out += ", \"." + name + "\": \"" + kOwnFileRights[n % kOwnRightsKinds] + "\"";
    };
    if (o.AssignEach) {
        for (uint32_t i = 0; i < o.Members; ++i)
            own(MemberName(AssignmentOrder(i, o.Members)), i);
        for (uint32_t i = 0; i < o.Residents; ++i)
            own(ResidentName(AssignmentOrder(i, o.Residents)), i);
    }
    out += "}, \"dirs\": {}}";
}

} // namespace

std::string GenerateTreeJson(const TGenerateOptions& o) {
    TRandom rnd(o.Seed);
    std::string out;
    constexpr size_t kBytesPerUser = 110, kBytesPerDir = 90, kBytesPerScenarioUser = 220;
    out.reserve(static_cast<size_t>(o.Users) * kBytesPerUser +
                static_cast<size_t>(o.Dirs) * kBytesPerDir +
                (static_cast<size_t>(o.Members) + o.Residents) * kBytesPerScenarioUser + 4096);
    out += "{\"format\": 1,\n \"trees\": [{\"name\": \"GEN_TREE\", \"objects\": [\n";
    out +=
        "  {\"name\": \"[Root]\", \"class\": \"Tree Root\", \"acl\": [{\"subject\": "
        "\".Admin.Gen\", "
        "\"attribute\": \"[Entry Rights]\", \"rights\": \"BCDRAI\"}, {\"subject\": \"[Public]\", "
        "\"attribute\": \"[Entry Rights]\", \"rights\": \"B    I\"}]},\n";
    out += "  {\"name\": \"Gen\", \"class\": \"Organization\"},\n";
    out += "  {\"name\": \"Admin.Gen\", \"class\": \"User\"},\n";
    out += "  {\"name\": \"GEN-FS1.Gen\", \"class\": \"NCP Server\"},\n";
    out += "  {\"name\": \"GEN-FS1_SYS.Gen\", \"class\": \"Volume\"},\n";

    const uint32_t groups = std::max<uint32_t>(o.Groups, 1);
    for (uint32_t g = 0; g < groups; ++g)
        out += "  {\"name\": \"" + Num("Group", g) + ".Gen\", \"class\": \"Group\"},\n";
    if (WithScenario(o))
        AppendScenarioObjects(o, out);

    // Units level by level; each records its full name.
    std::vector<std::string> units{"Gen"};
    std::vector<std::string> level{"Gen"};
    uint32_t unitNo = 0;
    for (uint32_t d = 0; d < o.Depth && o.Fanout > 0; ++d) {
        std::vector<std::string> next;
        for (const auto& parent : level)
            for (uint32_t f = 0; f < o.Fanout; ++f) {
                std::string name = Num("Unit", unitNo++) + "." + parent;
                out +=
                    "  {\"name\": \"" + name + "\", \"class\": \"Organizational Unit\", \"acl\": [";
                out += "{\"subject\": \"." + Num("Group", rnd.Next(groups)) +
                       ".Gen\", \"attribute\": \"[Entry Rights]\", \"rights\": \"BC   I\"}";
                if (unitNo % 3 == 0)
                    out += ", {\"subject\": \"[Inheritance Mask]\", \"attribute\": "
                           "\"[All Attributes Rights]\", \"rights\": \"CR   I\"}";
                out += ", {\"subject\": \"" + std::string(".") + Num("Group", rnd.Next(groups)) +
                       ".Gen\", \"attribute\": \"[All Attributes Rights]\", \"rights\": \"CRW  "
                       "I\"}]},\n";
                next.push_back(name);
                units.push_back(name);
            }
        level = std::move(next);
    }

    for (uint32_t u = 0; u < o.Users; ++u) {
        const std::string& unit = units[u % units.size()];
        out += "  {\"name\": \"" + Num("User", u) + "." + unit +
               "\", \"class\": \"User\", \"attributes\": {\"Security Equals\": [\"." +
               Num("Group", u % groups) + ".Gen\"";
        if (u % 4 == 0)
            out += ", \"." + Num("Group", (u / 4 + 7) % groups) + ".Gen\"";
        out += "]}},\n";
    }
    out.erase(out.size() - 2);
    out += "\n ]}],\n";

    // Directories: breadth first, ten below each.
    struct TDir {
        std::string Name;
        std::vector<uint32_t> Children;
    };
    std::vector<TDir> dirs(1);
    for (uint32_t i = 0; i < o.Dirs; ++i) {
        uint32_t parent = i / 10;
        dirs.push_back({Num("D", i), {}});
        dirs[parent].Children.push_back(i + 1);
    }
    auto trusteeName = [&](uint32_t k) {
        if (k % 2 == 0 || o.Users == 0)
            return "." + Num("Group", rnd.Next(groups)) + ".Gen";
        uint32_t u = rnd.Next(o.Users);
        return "." + Num("User", u) + "." + units[u % units.size()];
    };
    static const char* kRights[] = {"R    F  ", "RWCE  F ", "RWCEAFM ", "RW   F  "};
    std::vector<std::string> stack;
    // Written depth first with an explicit stack of (dir, child position).
    std::vector<std::pair<uint32_t, size_t>> walk{{0, 0}};
    out += " \"servers\": [{\"name\": \"GEN-FS1\", \"tree\": \"GEN_TREE\", \"object\": "
           "\".GEN-FS1.Gen\", "
           "\"volumes\": [{\"name\": \"SYS\", \"object\": \".GEN-FS1_SYS.Gen\", "
           "\"trustees\": {\".Admin.Gen\": \"RWCEAFMS\"}, \"dirs\": {";
    if (WithScenario(o))
        AppendScenarioDir(o, out);
    while (!walk.empty()) {
        auto& [dir, pos] = walk.back();
        if (pos < dirs[dir].Children.size()) {
            uint32_t child = dirs[dir].Children[pos];
            const bool first = pos == 0 && !(dir == 0 && WithScenario(o));
            out += (first ? "\"" : ", \"") + dirs[child].Name + "\": {";
            ++pos;
            if (child % 5 == 0)
                out += "\"irm\": \"R    F  \", ";
            out += "\"trustees\": {";
            std::vector<std::string> used;
            for (uint32_t t = 0; t < o.Trustees; ++t) {
                std::string name = trusteeName(t);
                if (std::find(used.begin(), used.end(), name) != used.end())
                    continue;
                used.push_back(name);
                out += std::string(used.size() > 1 ? ", \"" : "\"") + name + "\": \"" +
                       kRights[rnd.Next(4)] + "\"";
            }
            out += "}, \"dirs\": {";
            walk.push_back({child, 0});
        } else {
            walk.pop_back();
            out += walk.empty() ? "}" : "}}";
        }
    }
    out += "}]}],\n \"connections\": [{\"server\": \"GEN-FS1\", \"user\": \".Admin.Gen\", "
           "\"primary\": true}]}\n";
    return out;
}

} // namespace trovalen::sim
