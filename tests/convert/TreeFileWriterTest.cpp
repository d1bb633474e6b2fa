// The one tree-file writer: both layouts byte for byte, text escaped as JSON escapes it, and
// what it writes loads as a tree file; the generator writes through it the same file for the same
// options, every time.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "backend/sim/SimLoader.h"
#include "convert/TreeFileWriter.h"
#include "convert/TreeGenerate.h"

using namespace trovalen;
using namespace trovalen::convert;

namespace {

std::string ReadFile(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    std::stringstream text;
    text << f.rdbuf();
    return text.str();
}

// A small tree with a server and a connection, given to a writer part by part.
void WriteSmallTree(TTreeFileWriter& w) {
    w.Connections(TTreeJson::array({{{"server", "FS1"}, {"user", ".Joe.O"}, {"primary", true}}}));
    w.Tree("T");
    w.Object({{"name", "O"}, {"class", "Organization"}});
    TTreeJson joe = {{"name", "Joe.O"}, {"class", "User"}};
    joe["acl"] = TTreeJson::array(
        {{{"subject", "[Public]"}, {"attribute", "[Entry Rights]"}, {"rights", 2}}});
    w.Object(joe);
    w.Servers(TTreeJson::array({{{"name", "FS1"},
                                 {"tree", "T"},
                                 {"volumes", TTreeJson::array()},
                                 {"dirs", TTreeJson::object()}}}));
}

TEST(TreeFileWriter, BothLayoutsByteForByte) {
    TTreeFileWriter spaced(TTreeLayout::Spaced);
    WriteSmallTree(spaced);
    EXPECT_EQ(spaced.Objects(), 2u);
    EXPECT_EQ(spaced.Take(),
              "{\"format\": 1,\n"
              " \"trees\": [{\"name\": \"T\", \"objects\": [\n"
              "  {\"name\": \"O\", \"class\": \"Organization\"},\n"
              "  {\"name\": \"Joe.O\", \"class\": \"User\", \"acl\": [{\"subject\": \"[Public]\", "
              "\"attribute\": \"[Entry Rights]\", \"rights\": 2}]}\n"
              " ]}],\n"
              " \"servers\": [{\"name\": \"FS1\", \"tree\": \"T\", \"volumes\": [], \"dirs\": "
              "{}}],\n"
              " \"connections\": [{\"server\": \"FS1\", \"user\": \".Joe.O\", \"primary\": "
              "true}]}\n");

    TTreeFileWriter compact(TTreeLayout::Compact);
    compact.Schema({{"attributes", {{"Badge", 3}}}});
    WriteSmallTree(compact);
    EXPECT_EQ(compact.Take(),
              "{\n"
              "  \"format\": 1,\n"
              "  \"schema\": {\"attributes\":{\"Badge\":3}},\n"
              "  \"trees\": [{\"name\": \"T\", \"objects\": [\n"
              "    {\"name\":\"O\",\"class\":\"Organization\"},\n"
              "    {\"name\":\"Joe.O\",\"class\":\"User\",\"acl\":[{\"subject\":\"[Public]\","
              "\"attribute\":\"[Entry Rights]\",\"rights\":2}]}\n"
              "  ]}],\n"
              "  \"servers\": [{\"name\":\"FS1\",\"tree\":\"T\",\"volumes\":[],\"dirs\":{}}],\n"
              "  \"connections\": [{\"server\":\"FS1\",\"user\":\".Joe.O\",\"primary\":true}]\n"
              "}\n");

    // A tree without objects, and the writer ready for the next file after Take.
    compact.Tree("EMPTY");
    EXPECT_EQ(compact.Take(),
              "{\n  \"format\": 1,\n  \"trees\": [{\"name\": \"EMPTY\", \"objects\": []}]\n}\n");
}

// Whatever a value holds, the compact layout writes what JSON's own serializer writes, and the
// spaced layout differs from it only in the blanks after separators outside strings.
TEST(TreeFileWriter, ValuesAsJsonWritesThem) {
    const std::vector<std::string> texts = {"plain",
                                            "quote \" and \\ backslash",
                                            "tab\tnew line\ncontrol \x01\x1f",
                                            "J\xc3\xb6rg",
                                            "bad \xff byte",
                                            "cut \xe2\x82",
                                            "del \x7f",
                                            "",
                                            "\xf0\x9f\x98\x80 emoji",
                                            "{\"k\": \"v\"}"};
    for (const std::string& t : texts) {
        TTreeJson value = {{t, TTreeJson::array({t, 1, -2, 2147483654u, 0.5, true, nullptr})},
                           {"k", {{"nested", TTreeJson::object()}}}};
        const std::string want = value.dump(-1, ' ', false, TTreeJson::error_handler_t::replace);
        std::string compact;
        TTreeFileWriter(TTreeLayout::Compact).AppendValue(value, compact);
        EXPECT_EQ(compact, want) << t;

        std::string spaced;
        TTreeFileWriter(TTreeLayout::Spaced).AppendValue(value, spaced);
        EXPECT_EQ(TTreeJson::parse(spaced), TTreeJson::parse(want)) << t;
        // A blank after each of the seven commas and three colons.
        EXPECT_EQ(spaced.size(), want.size() + 7 + 3) << spaced;
    }
}

TEST(TreeFileWriter, WhatItWritesLoads) {
    for (TTreeLayout layout : {TTreeLayout::Spaced, TTreeLayout::Compact}) {
        TTreeFileWriter w(layout);
        w.Tree("T");
        w.Object({{"name", "O"}, {"class", "Organization"}});
        TTreeJson joe = {{"name", "J\xc3\xb6rg.O"}, {"class", "User"}};
        joe["attributes"] = {{"Full Name", TTreeJson::array({"J\xc3\xb6rg\tQ"})}};
        w.Object(joe);
        w.Object({{"name", "FS1.O"}, {"class", "NCP Server"}});
        w.Servers(TTreeJson::array(
            {{{"name", "FS1"},
              {"tree", "T"},
              {"object", ".FS1.O"},
              {"volumes", TTreeJson::array({{{"name", "SYS"},
                                             {"trustees", {{".J\xc3\xb6rg.O", "RF"}}},
                                             {"dirs", {{"APPS", TTreeJson::object()}}}}})}}}));
        w.Connections(TTreeJson::array({{{"server", "FS1"}, {"user", ".J\xc3\xb6rg.O"}}}));
        std::string error;
        auto world = sim::LoadTreeText(w.Take(), "written.json", error);
        ASSERT_TRUE(world) << error;
        ASSERT_EQ(world->Trees.size(), 1u);
        EXPECT_GE(world->Trees[0].Objects.size(), 3u);
        EXPECT_GE(world->FindTree("T"), 0);
    }
}

// The generated file is pinned: a tree for a benchmark or a test must not change under it.
TEST(TreeGenerate, TheSameOptionsWriteTheSameFile) {
    TGenerateOptions o;
    o.Users = 12;
    o.Groups = 3;
    o.Depth = 2;
    o.Fanout = 2;
    o.Dirs = 23;
    o.Trustees = 4;
    o.Seed = 5;
    o.Members = 3;
    o.Residents = 2;
    o.AssignEach = true;
    const std::string text = GenerateTreeJson(o);
    EXPECT_EQ(text, ReadFile(std::string(TROVALEN_TEST_DATA) + "/golden/generate-small.json"));

    o.Seed = 6;
    EXPECT_NE(GenerateTreeJson(o), text);

    // Every size from nothing up loads.
    for (uint32_t users : {0u, 1u, 250u}) {
        TGenerateOptions sized;
        sized.Users = users;
        sized.Groups = users == 0 ? 0 : 4;
        sized.Dirs = users;
        sized.Fanout = users == 0 ? 0 : 3;
        std::string error;
        auto world = sim::LoadTreeText(GenerateTreeJson(sized), "generated.json", error);
        ASSERT_TRUE(world) << users << ": " << error;
        EXPECT_GT(world->Trees.at(0).Objects.size(), users);
    }
}

} // namespace
