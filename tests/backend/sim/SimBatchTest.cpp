// Batches that cross buffer and call limits, and injected failures.
#include <set>

#include "SimTestUtil.h"

using namespace trovalen;
using namespace trovalen::simtest;

namespace {

// Org with OU=Big holding users User000.. (long names), sub-OUs Sub000.., a group every user is
// security-equal to, and a server whose directory has many trustees.
std::string BigTree(int users, int subs, int trustees, const std::string& extra = "") {
    std::string objects = R"({"name": "Org", "class": "Organization"},
        {"name": "Big.Org", "class": "Organizational Unit"},
        {"name": "Crew.Org", "class": "Group"},
        {"name": "FS.Org", "class": "NCP Server"})";
    std::string members;
    for (int i = 0; i < users; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "User%03d-with-a-rather-long-name", i);
        objects +=
            std::string(R"(, {"name": ")") + name +
            R"(.Big.Org", "class": "User", "attributes": {"Security Equals": [".Crew.Org"]}})";
        members += std::string(members.empty() ? "" : ", ") + "\"." + name + ".Big.Org\"";
    }
    for (int i = 0; i < subs; ++i)
        objects += R"(, {"name": "Sub)" + std::to_string(1000 + i) +
                   R"(.Big.Org", "class": "Organizational Unit"})";
    objects += R"(, {"name": "Roster.Org", "class": "Group", "attributes": {"Member": [)" +
               members + "]}}";
    std::string trusteeMap;
    for (int i = 0; i < trustees; ++i)
        trusteeMap +=
            std::string(i ? ", " : "") + "\"#" + std::to_string(10000000 + i) + "\": \"RF\"";
    return R"({"format": 1, )" + extra + R"("trees": [{"name": "T", "objects": [)" + objects +
           R"(]}], "servers": [{"name": "FS", "tree": "T", "object": ".FS.Org", "volumes": [
           {"name": "SYS", "dirs": {"CROWD": {"trustees": {)" +
           trusteeMap + R"(}}}}]}],
           "connections": [{"server": "FS", "user": ".User000-with-a-rather-long-name.Big.Org"}]})";
}

NWHandle PathConn(TNWClient& c) {
    std::string server, volume, dir;
    NWHandle conn = 0;
    EXPECT_EQ(c.FileServer()->ParsePath("FS/SYS:CROWD", server, conn, volume, dir), 0);
    return conn;
}

} // namespace

TEST(Batches, ListsCrossTheBufferAndKeepTheirKind) {
    TempMount mount;
    auto client = ClientFromText(BigTree(150, 120, 0));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    int calls = 0;
    auto all = ListNames(*client, ctx, ".Big.Org", false, &calls);
    EXPECT_EQ(all.size(), 270u);
    EXPECT_GT(calls, 2) << "one 4096-byte buffer does not hold 270 objects";
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size()) << "no repeats";
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    auto containers = ListNames(*client, ctx, ".Big.Org", true, &calls);
    ASSERT_EQ(containers.size(), 120u);
    EXPECT_GT(calls, 1);
    for (const auto& n : containers)
        EXPECT_EQ(n.rfind("Sub", 0), 0u) << n;
}

TEST(Batches, TreeFileLimitsLowerTheBatchSizes) {
    TempMount mount;
    auto client = ClientFromText(
        BigTree(30, 0, 9, R"("limits": {"listBatch": 4, "searchBatch": 7, "trusteeBatch": 2},)"));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    int calls = 0;
    EXPECT_EQ(ListNames(*client, ctx, ".Big.Org", false, &calls).size(), 30u);
    EXPECT_EQ(calls, 8);
    std::vector<std::string> names;
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     EqualsDN("Security Equals", ".Crew.Org"), names, &calls),
              0);
    EXPECT_EQ(names.size(), 30u);
    EXPECT_EQ(calls, 5);
    NWHandle conn = PathConn(*client);
    uint32_t iteration = 0;
    std::vector<TTrusteeEntry> entries;
    int got = 0;
    while (client->PathTrustees(conn, 0, "SYS:CROWD", iteration, entries) == 0) {
        EXPECT_LE(entries.size(), 2u);
        got += static_cast<int>(entries.size());
    }
    EXPECT_EQ(got, 9);
}

TEST(Batches, SearchesAnswerAtMostFiftyPerCall) {
    TempMount mount;
    auto client = ClientFromText(BigTree(120, 0, 0));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    std::vector<std::string> names;
    int calls = 0;
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     EqualsDN("Security Equals", "Crew.Org"), names, &calls),
              0);
    EXPECT_EQ(names.size(), 120u);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(names.front(), "User000-with-a-rather-long-name.Big.Org");
    // The same search without the index (an OR defeats it) finds the same objects.
    std::vector<std::string> slow;
    auto tokens = EqualsDN("Security Equals", ".Crew.Org");
    tokens.push_back({FTOK_OR, {}});
    tokens.push_back({FTOK_RDN, {}});
    tokens.push_back({FTOK_ANAME, Text("nobody")});
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE, tokens, slow), 0);
    EXPECT_EQ(slow, names);
}

TEST(Batches, TrusteeListsComeTwentyAtATime) {
    TempMount mount;
    auto client = ClientFromText(BigTree(1, 0, 45));
    ASSERT_TRUE(client);
    NWHandle conn = PathConn(*client);
    uint32_t iteration = 0;
    std::vector<TTrusteeEntry> entries;
    std::vector<size_t> sizes;
    std::set<uint32_t> ids;
    NWCCODE code;
    while ((code = client->PathTrustees(conn, 0, "SYS:CROWD", iteration, entries)) == 0) {
        sizes.push_back(entries.size());
        for (const auto& e : entries)
            ids.insert(e.ObjectID);
    }
    EXPECT_EQ(code, ERR_NO_MORE_TRUSTEES);
    EXPECT_EQ(sizes, (std::vector<size_t>{20, 20, 5}));
    EXPECT_EQ(ids.size(), 45u);
}

TEST(Batches, LongAttributesAreReadOverSeveralBuffers) {
    TempMount mount;
    auto client = ClientFromText(BigTree(900, 0, 0));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    NWHandle req = 0, res = 0;
    client->AllocBuf(DEFAULT_MESSAGE_LEN, req);
    client->InitBuf(ctx, DSV_READ, req);
    client->PutAttrName(ctx, req, "Member");
    client->AllocBuf(MAX_MESSAGE_LEN, res);
    int32_t iteration = -1;
    int calls = 0;
    std::set<std::string> members;
    do {
        ASSERT_EQ(client->ReadAttributes(ctx, ".Roster.Org", 1, false, req, iteration, res), 0);
        ++calls;
        uint32_t count = 0;
        client->AttrCount(ctx, res, count);
        ASSERT_EQ(count, 1u);
        std::string name;
        uint32_t values = 0, syntax = 0;
        client->NextAttr(ctx, res, name, values, syntax);
        EXPECT_EQ(name, "Member");
        for (uint32_t i = 0; i < values; ++i) {
            TAttrValue v;
            ASSERT_EQ(client->NextAttrValue(ctx, res, syntax, v), 0);
            members.insert(std::get<TValString>(v.Data).Text);
        }
    } while (iteration != -1);
    EXPECT_EQ(members.size(), 900u);
    EXPECT_GT(calls, 1);
}

TEST(Failures, InjectedCodesReachTheCaller) {
    TempMount mount;
    auto client = ClientFromText(BigTree(3, 0, 3, R"("failures": [
        {"operation": "ReadAttributes", "object": ".Crew.Org", "attribute": "ACL", "code": -672},
        {"operation": "PathTrustees", "path": "SYS:CROWD", "code": "0x8998"},
        {"operation": "MapIDToName", "id": 123, "code": -601},
        {"operation": "EntryEffectiveRights", "object": "Big.Org", "code": "0xFD63"},
        {"operation": "SearchObjects", "object": ".Big.Org", "code": -1}],)"));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    std::vector<TAttrValue> values;
    EXPECT_EQ(ReadValues(*client, ctx, ".Crew.Org", "ACL", values), -672);
    EXPECT_EQ(ReadValues(*client, ctx, ".Crew.Org", "Object Class", values), 0)
        << "other attributes read as usual";
    EXPECT_EQ(ReadValues(*client, ctx, ".Roster.Org", "acl", values), ERR_NO_SUCH_ATTRIBUTE);
    NWHandle conn = PathConn(*client);
    uint32_t iteration = 0;
    std::vector<TTrusteeEntry> entries;
    EXPECT_EQ(client->PathTrustees(conn, 0, "SYS:\\crowd", iteration, entries), 0x8998);
    std::string name;
    EXPECT_EQ(client->MapIDToName(ctx, conn, 123, name), -601);
    uint32_t rights = 0;
    EXPECT_EQ(client->EntryEffectiveRights(ctx, ".Crew.Org", ".Big.Org", "[Entry Rights]", rights),
              static_cast<NWCCODE>(0xFD63));
    EXPECT_EQ(client->EntryEffectiveRights(ctx, ".Crew.Org", ".Org", "[Entry Rights]", rights), 0);
    std::vector<std::string> names;
    EXPECT_EQ(Search(*client, ctx, ".Big.Org", DS_SEARCH_SUBTREE,
                     EqualsDN("Security Equals", ".Crew.Org"), names),
              -1);
    EXPECT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     EqualsDN("Security Equals", ".Crew.Org"), names),
              0);
}

TEST(Failures, StartUpCanFailAndStreamsCanFailToRead) {
    TempMount mount;
    auto client = ClientFromText(R"({"format": 1, "clientStartup": "0xFFFF", "trees": [
        {"name": "T", "objects": [{"name": "O", "class": "Organization",
          "attributes": {"Login Script": ["WRITE"]}}]}],
        "failures": [{"operation": "ReadStream", "object": "O", "attribute": "Login Script",
                      "code": 30}]})");
    ASSERT_TRUE(client);
    EXPECT_EQ(client->ClientStartup(), 0xFFFF);
    NWHandle ctx = NewCtx(*client), file = 0;
    ASSERT_EQ(client->OpenAttrStream(ctx, ".O", "Login Script", 1, file), 0);
    std::string data;
    EXPECT_EQ(client->ReadStream(file, 100, data), 30);
    uint32_t it = 0, ref = 0;
    EXPECT_NE(client->EnumConnRefs(it, ref), 0) << "no connections in this file";
}

TEST(Failures, TheNthCallOfABatchedOperationCanFail) {
    // Big.Org lists over several calls; the second call fails, and the iteration ends with it.
    TempMount mount;
    auto client = ClientFromText(BigTree(150, 0, 0, R"("failures": [
        {"operation": "ListSubordinates", "object": ".Big.Org", "call": 2, "code": -672}],)"));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    NWHandle buf = 0;
    ASSERT_EQ(client->AllocBuf(DEFAULT_MESSAGE_LEN, buf), 0);
    int32_t iteration = -1;
    EXPECT_EQ(client->ListSubordinates(ctx, ".Big.Org", iteration, buf), 0);
    ASSERT_NE(iteration, -1) << "the list needs more than one call";
    EXPECT_EQ(client->ListSubordinates(ctx, ".Big.Org", iteration, buf), -672);
    EXPECT_EQ(iteration, -1);
    // Only the second matching call: a new list goes through whole.
    EXPECT_EQ(ListNames(*client, ctx, ".Big.Org", false).size(), 150u);
    client->FreeBuf(buf);
}

TEST(Failures, StepsThroughABufferCanFail) {
    // The steps that read a filled buffer, and filter building, answer injected codes too.
    TempMount mount;
    auto client = ClientFromText(BigTree(3, 0, 0, R"("failures": [
        {"operation": "NextObject", "call": 2, "code": -307},
        {"operation": "NextAttrValue", "attribute": "Member", "call": 2, "code": -602},
        {"operation": "AddFilterToken", "call": 3, "code": -326},
        {"operation": "InitBuf", "call": 1, "code": -308}],)"));
    ASSERT_TRUE(client);
    NWHandle ctx = NewCtx(*client);
    NWHandle buf = 0;
    ASSERT_EQ(client->AllocBuf(DEFAULT_MESSAGE_LEN, buf), 0);
    EXPECT_EQ(client->InitBuf(ctx, DSV_READ, buf), ERR_BAD_VERB) << "the first InitBuf";
    EXPECT_EQ(client->InitBuf(ctx, DSV_READ, buf), 0);

    int32_t iteration = -1;
    ASSERT_EQ(client->ListSubordinates(ctx, ".Big.Org", iteration, buf), 0);
    std::string name;
    uint32_t attrs = 0;
    TObjectSummary s;
    EXPECT_EQ(client->NextObject(ctx, buf, name, attrs, s), 0);
    EXPECT_EQ(client->NextObject(ctx, buf, name, attrs, s), ERR_BUFFER_EMPTY);
    EXPECT_EQ(client->NextObject(ctx, buf, name, attrs, s), 0) << "only the second call";
    client->FreeBuf(buf);

    std::vector<TAttrValue> values;
    EXPECT_EQ(ReadValues(*client, ctx, ".Roster.Org", "Member", values), ERR_NO_SUCH_VALUE);

    NWHandle filter = 0;
    ASSERT_EQ(client->NewFilter(ctx, filter), 0);
    EXPECT_EQ(client->AddFilterToken(filter, FTOK_LPAREN, nullptr, 0), 0);
    EXPECT_EQ(client->AddFilterToken(filter, FTOK_RPAREN, nullptr, 0), 0);
    EXPECT_EQ(client->AddFilterToken(filter, FTOK_END, nullptr, 0), ERR_INVALID_FILTER);
    client->FreeFilter(filter);
}
