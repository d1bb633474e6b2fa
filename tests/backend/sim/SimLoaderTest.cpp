// The tree-file loader refuses malformed and hostile files with one clear message.
#include <filesystem>
#include <fstream>

#include "SimTestUtil.h"
#include "backend/sim/SimLoader.h"

using namespace trovalen;
using namespace trovalen::sim;

namespace {

std::string Error(const std::string& json) {
    std::string error;
    auto world = LoadTreeText(json, "t.json", error);
    EXPECT_FALSE(world) << "loaded: " << json;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    EXPECT_EQ(error.rfind("t.json: ", 0), 0u) << "names the file: " << error;
    return error;
}

// A one-tree file with the given objects.
std::string Objects(const std::string& objects, const std::string& rest = "") {
    return R"({"format": 1, "trees": [{"name": "T", "objects": [
        {"name": "O", "class": "Organization"})" +
           (objects.empty() ? "" : ", " + objects) + "]}]" + rest + "}";
}

std::string Data(const std::string& name) {
    std::ifstream f(std::string(TROVALEN_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(Loader, MalformedFilesNameThePlaceAndTheFault) {
    struct Case {
        const char* File;
        const char* Place;
        const char* What;
    };
    const Case cases[] = {
        {"sim-bad-json.json", "line 3", "syntax error"},
        {"sim-wrong-type.json", "/trees/0/objects/1/attributes/Login Grace Limit/0",
         "expected a whole number, found a string"},
        {"sim-missing-parent.json", "/trees/0/objects/1/name",
         "\"Sales.O\" of \"U.Sales.O\" is not listed"},
        {"sim-duplicate-name.json", "/trees/0/objects/2/name", "listed twice"},
        {"sim-unknown-class.json", "/trees/0/objects/1/class", "\"Spaceship\" is not defined"},
        {"sim-bad-rights.json", "/trees/0/objects/0/acl/0/rights", "\"W\", which is none of"},
        {"sim-missing-reference.json", "/trees/0/objects/1/attributes/Security Equals/0",
         "\".Ghosts.O\" does not exist"},
        {"sim-duplicate-key.json", "/connections", "appears twice"},
    };
    for (const auto& c : cases) {
        std::string error = Error(Data(c.File));
        EXPECT_NE(error.find(c.Place), std::string::npos) << c.File << ": " << error;
        EXPECT_NE(error.find(c.What), std::string::npos) << c.File << ": " << error;
    }
}

TEST(Loader, RefusesWhatTheFormatDoesNotAllow) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "syntax error"},
        {"[]", "expected an object"},
        {R"({"format": 2, "trees": []})", "format 2 is not known"},
        {R"({"format": 1})", "\"trees\" is missing"},
        {R"({"format": 1, "trees": [], "tress": []})", "unknown key \"tress\""},
        {R"({"format": 1, "oemCodePage": "NO-SUCH-CP", "trees": []})", "not known"},
        {R"({"format": 1, "trees": [{"name": "T_", "objects": []}]})", "may not end in \"_\""},
        {Objects(R"({"name": "U.O", "class": "User", "attributes": {"Shoe Size": [44]}})"),
         "\"Shoe Size\" is not defined"},
        {Objects(R"({"name": "U.O", "class": "ndsLoginProperties"})"), "auxiliary class"},
        {Objects(R"({"name": "U", "class": "User"})"), "directly below [Root]"},
        {Objects(R"({"name": "U.O", "class": "User"}, {"name": "X.U.O", "class": "User"})"),
         "which holds no objects"},
        {Objects(R"({"name": "A..O", "class": "User"})"), "empty part"},
        {Objects(R"({"name": "CN=A.O", "class": "User"})"), "no name"},
        {Objects(
             R"({"name": "U.O", "class": "User", "id": 5}, {"name": "V.O", "class": "User", "id": "#5"})"),
         "is given to \"U.O\" already"},
        {Objects(
             R"({"name": "A.O", "class": "Alias", "attributes": {"Aliased Object Name": [".A.O"]}})"),
         "cannot stand for itself"},
        {Objects(
             R"({"name": "A.O", "class": "Alias", "attributes": {"Aliased Object Name": [".B.O"]}},
                    {"name": "B.O", "class": "Alias", "attributes": {"Aliased Object Name": [".A.O"]}})"),
         "runs in a circle"},
        {Objects(
             R"({"name": "U.O", "class": "User", "acl": [{"subject": "[Nobody]", "attribute": "[Entry Rights]", "rights": "B"}]})"),
         "\"[Nobody]\" does not exist"},
        {Objects(
             R"({"name": "U.O", "class": "User", "acl": [{"subject": "[Public]", "attribute": "Colour", "rights": "R"}]})"),
         "\"Colour\" is no attribute"},
        {Objects(
             R"({"name": "U.O", "class": "User", "acl": [{"subject": "[Public]", "attribute": "Title", "rights": "r"}]})"),
         "\"r\", which is none of the letters CRWSAI"},
        {Objects(R"({"name": "U.O", "class": "User", "attributes": {"Login Script": ["a", "b"]}})"),
         "exactly one value"},
        {Objects(
             R"({"name": "U.O", "class": "User", "attributes": {"Login Grace Limit": [4294967296]}})"),
         "out of range"},
        {Objects(R"({"name": "U.O", "class": "User", "attributes": {"Login Grace Limit": [1.5]}})"),
         "found a fraction"},
        {Objects(R"({"name": "U.O", "class": "User", "attributes": {"GUID": ["0A1"]}})"),
         "odd count"},
        {Objects(
             R"({"name": "U.O", "class": "User", "attributes": {"GUID": [{"layout": [{"at": 70000, "u8": 1}]}]}})"),
         "out of range"},
        {Objects(
             R"({"name": "U.O", "class": "User", "attributes": {"Last Login Time": ["yesterday"]}})"),
         "is no time"},
        {Objects(
             R"({"name": "U.O", "class": "User", "attributes": {"Postal Address": [["1","2","3","4","5","6","7"]]}})"),
         "at most six lines"},
        {Objects("", R"(, "schema": {"classes": {"A": {"super": ["B"]}, "B": {"super": ["A"]}}})"),
         "its own super class"},
        {Objects("", R"(, "failures": [{"operation": "Explode", "code": 1}])"), "no operation"},
        {Objects("", R"(, "failures": [{"operation": "ReadAttributes", "code": 0}])"),
         "other than 0"},
        {Objects("", R"(, "connections": [{"server": "NOPE"}])"), "not listed in \"servers\""},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "dirs": {"A": {}, "a": {}}}]}])"),
         "listed twice (names ignore case)"},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "dirs": {"..": {}}}]}])"),
         "no directory name"},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "dirs": {"日本": {}}}]}])"),
         "cannot be written in the code page CP850"},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "trustees": {".Nobody.O": "RF"}}]}])"),
         "the trustee \".Nobody.O\" does not exist"},
        {Objects(
             R"({"name": "FS.O", "class": "NCP Server"}, {"name": "U.O", "class": "User", "id": 7})",
             R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "trustees": {".U.O": "RF", ".FS.O": "R", "#7": "W"}}]}])"),
         "the trustee \".U.O\" is named twice"},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".FS.O", "volumes": [
                    {"name": "SYS", "dirs": {"A": {"irm": "RWX"}}}]}])"),
         "\"X\", which is none of the letters RWCEAFMS"},
        {Objects(R"({"name": "FS.O", "class": "NCP Server"})",
                 R"(, "servers": [{"name": "FS", "tree": "T", "object": ".O", "volumes": []}])"),
         "\"O\" is no Server"},
    };
    for (const auto& [json, what] : cases) {
        std::string error = Error(json);
        EXPECT_NE(error.find(what), std::string::npos) << "want \"" << what << "\" in: " << error;
    }
}

TEST(Loader, DeepNestingIsRefusedWithoutRecursion) {
    std::string deep(100000, '[');
    deep += std::string(100000, ']');
    EXPECT_NE(Error(deep).find("nested more than 64 levels"), std::string::npos);
    std::string objects = "{\"format\": 1, \"trees\": [], \"x\": ";
    for (int i = 0; i < 100000; ++i)
        objects += "{\"a\": ";
    EXPECT_NE(Error(objects).find("nested more than 64 levels"), std::string::npos)
        << "refused before the end of the text";
}

TEST(Loader, HugeAndSpecialFilesAreRefused) {
    simtest::TempMount mount;
    std::string big = mount.Root() + "/big.json";
    {
        std::ofstream f(big, std::ios::binary);
        std::string line =
            "{\"format\": 1, \"trees\": [], \"comment\": \"" + std::string(1000, 'x');
        f << line;
        for (int i = 0; i < 50000; ++i)
            f << std::string(1000, 'y');
        f << "\"}";
    }
    // One byte over the bound (the rest of the file is a hole, never written).
    std::filesystem::resize_file(big, kMaxTreeFileBytes + 1);
    std::string error;
    EXPECT_FALSE(LoadTreeFile(big, error));
    EXPECT_NE(error.find("larger than 512 MiB"), std::string::npos) << error;
    EXPECT_FALSE(LoadTreeText(std::string(kMaxTreeFileBytes + 1, ' '), "t.json", error));
    EXPECT_NE(error.find("larger than 512 MiB"), std::string::npos) << error;

    EXPECT_FALSE(LoadTreeFile(mount.Root(), error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(LoadTreeFile("/dev/zero", error)) << "never reads an endless device";
    EXPECT_FALSE(LoadTreeFile(mount.Root() + "/missing.json", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(Loader, AServerWithoutVolumesIsAServer) {
    // A directory server serves no volumes; its entry needs none.
    std::string error;
    auto world =
        LoadTreeText(Objects(R"({"name": "DS.O", "class": "NCP Server"})",
                             R"(, "servers": [{"name": "DS", "tree": "T", "object": ".DS.O"}])"),
                     "t.json", error);
    ASSERT_TRUE(world) << error;
    ASSERT_EQ(world->Servers.size(), 1u);
    EXPECT_TRUE(world->Servers[0].Volumes.empty());
}

TEST(Loader, ValidFilesLoadWithTheirDetails) {
    std::string error;
    auto world = LoadTreeText(SampleTreeText(), "sample", error);
    ASSERT_TRUE(world) << error;
    EXPECT_EQ(world->Trees.size(), 2u);
    // IDs are stable: the same file gives the same IDs.
    auto again = LoadTreeText(SampleTreeText(), "sample", error);
    const TSimTree& a = world->Trees[0];
    const TSimTree& b = again->Trees[0];
    for (size_t i = 0; i < a.Objects.size(); ++i)
        EXPECT_EQ(a.Objects[i].Id, b.Objects[i].Id);
    EXPECT_EQ(a.Objects[a.Find("Admin.Corvale")].Id, 0x01000011u);

    // Comments, hex codes, typed rights numbers and the schema extension.
    world = LoadTreeText(Objects(R"({"name": "U.O", "class": "User", "comment": "ok",
        "acl": [{"subject": "[This]", "attribute": "[Entry Rights]", "rights": 31},
                {"subject": "[Public]", "attribute": "Title", "rights": "[CR   I]"}],
        "attributes": {"Shoe Size": {"syntax": "Integer", "values": [44]}}})",
                                 R"(, "clientStartup": "0x8801")"),
                         "t.json", error);
    ASSERT_TRUE(world) << error;
    EXPECT_EQ(world->StartupCode, 0x8801);
    const TSimObject& u = world->Trees[0].Objects[world->Trees[0].Find("U.O")];
    ASSERT_EQ(u.Acl.size(), 2u);
    EXPECT_EQ(u.Acl[0].Privileges, 31u);
    EXPECT_EQ(u.Acl[1].Privileges, 0x43u);
    EXPECT_GE(world->Schema.FindAttr("shoe size"), 0);
}
