#include "convert/TreeGenerate.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "convert/TreeFileWriter.h"
#include "model/RightsModel.h"

namespace trovalen::convert {

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

// The rights of the generated directories' trustees, drawn at random.
const char* const kDirRights[] = {"R    F  ", "RWCE  F ", "RWCEAFM ", "RW   F  "};
constexpr uint32_t kDirRightsKinds = 4;

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

TTreeJson Assignment(const std::string& subject, const char* attribute, const char* rights) {
    return TTreeJson{{"subject", subject}, {"attribute", attribute}, {"rights", rights}};
}

TTreeJson NamedObject(const std::string& name, const char* cls) {
    return TTreeJson{{"name", name}, {"class", cls}};
}

// The scenario's objects.
void WriteScenarioObjects(const TGenerateOptions& o, TTreeFileWriter& out) {
    out.Object(NamedObject("Everyone.Gen", "Group"));
    out.Object(NamedObject("Members.Gen", "Organizational Unit"));
    out.Object(NamedObject("Residents.Gen", "Organizational Unit"));
    TTreeJson target = NamedObject("Target.Gen", "Group");
    TTreeJson acl = TTreeJson::array();
    acl.push_back(Assignment(".Everyone.Gen", "[Entry Rights]", "BC   I"));
    acl.push_back(Assignment(".Everyone.Gen", "[All Attributes Rights]", "CR   I"));
    acl.push_back(Assignment(".Residents.Gen", "[Entry Rights]", "B    I"));
    auto own = [&](const std::string& name, uint32_t n) {
        acl.push_back(
            Assignment("." + name, "[Entry Rights]", kOwnEntryRights[n % kOwnRightsKinds]));
    };
    if (o.AssignEach) {
        for (uint32_t i = 0; i < o.Members; ++i)
            own(MemberName(AssignmentOrder(i, o.Members)), i);
        for (uint32_t i = 0; i < o.Residents; ++i)
            own(ResidentName(AssignmentOrder(i, o.Residents)), i);
    }
    target["acl"] = std::move(acl);
    out.Object(target);
    for (uint32_t i = 0; i < o.Members; ++i) {
        TTreeJson member = NamedObject(MemberName(ObjectOrder(i, o.Members)), "User");
        member["attributes"] = {{"Security Equals", TTreeJson::array({".Everyone.Gen"})}};
        out.Object(member);
    }
    for (uint32_t i = 0; i < o.Residents; ++i)
        out.Object(NamedObject(ResidentName(ObjectOrder(i, o.Residents)), "User"));
}

// The directory SYS:PROJ of the scenario.
TTreeJson ScenarioDir(const TGenerateOptions& o) {
    TTreeJson trustees = {{".Everyone.Gen", "RWCE  F "}, {".Residents.Gen", "R    F  "}};
    auto own = [&](const std::string& name, uint32_t n) {
        trustees["." + name] = kOwnFileRights[n % kOwnRightsKinds];
    };
    if (o.AssignEach) {
        for (uint32_t i = 0; i < o.Members; ++i)
            own(MemberName(AssignmentOrder(i, o.Members)), i);
        for (uint32_t i = 0; i < o.Residents; ++i)
            own(ResidentName(AssignmentOrder(i, o.Residents)), i);
    }
    return TTreeJson{{"trustees", std::move(trustees)}, {"dirs", TTreeJson::object()}};
}

} // namespace

std::string GenerateTreeJson(const TGenerateOptions& o) {
    TRandom rnd(o.Seed);
    TTreeFileWriter out(TTreeLayout::Spaced);
    out.Tree("GEN_TREE");
    TTreeJson root = NamedObject(std::string(kRoot), "Tree Root");
    root["acl"] = TTreeJson::array({Assignment(".Admin.Gen", "[Entry Rights]", "BCDRAI"),
                                    Assignment("[Public]", "[Entry Rights]", "B    I")});
    out.Object(root);
    out.Object(NamedObject("Gen", "Organization"));
    out.Object(NamedObject("Admin.Gen", "User"));
    out.Object(NamedObject("GEN-FS1.Gen", "NCP Server"));
    out.Object(NamedObject("GEN-FS1_SYS.Gen", "Volume"));

    const uint32_t groups = std::max<uint32_t>(o.Groups, 1);
    for (uint32_t g = 0; g < groups; ++g)
        out.Object(NamedObject(Num("Group", g) + ".Gen", "Group"));
    if (WithScenario(o))
        WriteScenarioObjects(o, out);

    // Units level by level; each records its full name.
    std::vector<std::string> units{"Gen"};
    std::vector<std::string> level{"Gen"};
    uint32_t unitNo = 0;
    for (uint32_t d = 0; d < o.Depth && o.Fanout > 0; ++d) {
        std::vector<std::string> next;
        for (const auto& parent : level)
            for (uint32_t f = 0; f < o.Fanout; ++f) {
                std::string name = Num("Unit", unitNo++) + "." + parent;
                TTreeJson unit = NamedObject(name, "Organizational Unit");
                TTreeJson acl = TTreeJson::array();
                acl.push_back(Assignment("." + Num("Group", rnd.Next(groups)) + ".Gen",
                                         "[Entry Rights]", "BC   I"));
                if (unitNo % 3 == 0)
                    acl.push_back(
                        Assignment("[Inheritance Mask]", "[All Attributes Rights]", "CR   I"));
                acl.push_back(Assignment("." + Num("Group", rnd.Next(groups)) + ".Gen",
                                         "[All Attributes Rights]", "CRW  I"));
                unit["acl"] = std::move(acl);
                out.Object(unit);
                next.push_back(name);
                units.push_back(name);
            }
        level = std::move(next);
    }

    for (uint32_t u = 0; u < o.Users; ++u) {
        const std::string& unit = units[u % units.size()];
        TTreeJson equals = TTreeJson::array({"." + Num("Group", u % groups) + ".Gen"});
        if (u % 4 == 0)
            equals.push_back("." + Num("Group", (u / 4 + 7) % groups) + ".Gen");
        TTreeJson user = NamedObject(Num("User", u) + "." + unit, "User");
        if (u % 100 < o.EqualShare)
            user["attributes"] = {{"Security Equals", std::move(equals)}};
        out.Object(user);
    }

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
    // Each directory with its trustees drawn before those of the directories below it, so that
    // a seed always gives the same trustees to the same directory.
    auto dirJson = [&](auto& self, uint32_t dir) -> TTreeJson {
        TTreeJson d = TTreeJson::object();
        if (dir % 5 == 0)
            d["irm"] = "R    F  ";
        TTreeJson trustees = TTreeJson::object();
        for (uint32_t t = 0; t < o.Trustees; ++t) {
            std::string name = trusteeName(t);
            if (trustees.contains(name))
                continue;
            trustees[name] = kDirRights[rnd.Next(kDirRightsKinds)];
        }
        d["trustees"] = std::move(trustees);
        TTreeJson below = TTreeJson::object();
        for (uint32_t child : dirs[dir].Children)
            below[dirs[child].Name] = self(self, child);
        d["dirs"] = std::move(below);
        return d;
    };
    TTreeJson volumeDirs = TTreeJson::object();
    if (WithScenario(o))
        volumeDirs["PROJ"] = ScenarioDir(o);
    for (uint32_t child : dirs[0].Children)
        volumeDirs[dirs[child].Name] = dirJson(dirJson, child);
    TTreeJson volume = {{"name", "SYS"},
                        {"object", ".GEN-FS1_SYS.Gen"},
                        {"trustees", {{".Admin.Gen", "RWCEAFMS"}}},
                        {"dirs", std::move(volumeDirs)}};
    TTreeJson server = {{"name", "GEN-FS1"},
                        {"tree", "GEN_TREE"},
                        {"object", ".GEN-FS1.Gen"},
                        {"volumes", TTreeJson::array({std::move(volume)})}};
    out.Servers(TTreeJson::array({std::move(server)}));
    TTreeJson connection = {{"server", "GEN-FS1"}, {"user", ".Admin.Gen"}, {"primary", true}};
    out.Connections(TTreeJson::array({std::move(connection)}));
    return out.Take();
}

} // namespace trovalen::convert
