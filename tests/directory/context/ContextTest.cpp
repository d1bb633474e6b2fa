#include "directory/DSContext.h"
#include "util/Platform.h"

#include <cstring>

#include <gtest/gtest.h>

#include "FakeClient.h"

using namespace trovalen;
using trovalen::testing::FakeClient;

namespace {

class ContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        client = std::make_shared<FakeClient>();
        TUiHooks hooks;
        hooks.MessageBox = [this](TMsgKind, const std::string&, const std::string& text) {
            boxes.push_back(text);
        };
        previous = U_SetUiHooks(hooks);
    }
    void TearDown() override { U_SetUiHooks(previous); }
    NWHandle NewContext(const std::string& tree, const std::string& nameContext) {
        NWHandle ctx = 0;
        client->NewContext(ctx);
        client->Contexts[ctx].Tree = tree;
        client->Contexts[ctx].NameContext = nameContext;
        return ctx;
    }
    std::shared_ptr<FakeClient> client;
    NWHandle primary = NO_PRIMARY_CONN;
    std::vector<std::string> boxes;
    TUiHooks previous;
};

std::string Padded(const std::string& tree) {
    return tree + std::string(32 - tree.size(), '_');
}

} // namespace

TEST_F(ContextTest, InitNetWareOpensThePrimaryConnectionOnce) {
    client->Conns = {{"T1", "FS1"}, {"T2", "FS2"}};
    client->PrimaryRef = 2;
    EXPECT_EQ(InitNetWare(client.get(), primary), 0);
    EXPECT_EQ(primary, 102);
    EXPECT_EQ(InitNetWare(client.get(), primary), 0);
    EXPECT_EQ(client->OpenCalls, 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ContextTest, InitNetWareFailuresShowTheirMessage) {
    client->StartupCode = ERR_CLIENT_NOT_STARTED;
    EXPECT_EQ(InitNetWare(client.get(), primary), 0xFFFF);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Could not initialize NetWare Client. InitNetWare returned error "
                             "0xFFFF (",
                             0),
              0u);

    boxes.clear();
    client->StartupCode = NW_OK; // no connection at all
    EXPECT_EQ(InitNetWare(client.get(), primary), ERR_NO_MORE_ENTRIES);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Could not find server/tree connection. InitNetWare returned error "
                            "0x89FF"),
              std::string::npos);
    EXPECT_EQ(primary, 0xFFFF);

    NWHandle none = NO_PRIMARY_CONN;
    EXPECT_EQ(InitNetWare(nullptr, none), 0xFFFF);
}

TEST_F(ContextTest, TreesAreCutUnpaddedAndListedOnce) {
    client->Conns = {{Padded("ACME_TREE"), "FS1"},
                     {Padded("acme_tree"), "FS2"},
                     {"OTHER_", "FS3"},
                     {"", ""},
                     {"LONG" + std::string(40, 'X'), "FS4"}};
    TStringList trees;
    EXPECT_EQ(U_ListTrees(client.get(), trees), 0);
    ASSERT_EQ(trees.Count(), 3);
    EXPECT_EQ(trees[0], "ACME_TREE");
    EXPECT_EQ(trees.Value(0), 1u);
    EXPECT_EQ(trees[1], "OTHER"); // its own "_" goes too
    EXPECT_EQ(trees[2], "LONG" + std::string(28, 'X'));

    TStringList servers;
    U_ListServers(client.get(), servers);
    EXPECT_EQ(servers.Text(","), "FS1,FS2,FS3,FS4,");
    EXPECT_EQ(servers.Value(3), 5u);

    NWCCODE code = 1;
    EXPECT_EQ(U_GetTreeOfConn(client.get(), 101, &code), "ACME_TREE");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(U_GetTreeOfConn(client.get(), 999, &code), "");
    EXPECT_EQ(code, ERR_INVALID_CONNECTION);
    EXPECT_EQ(U_GetPrimaryTree(client.get()), ""); // no primary connection
    client->PrimaryRef = 3;
    EXPECT_EQ(U_GetPrimaryTree(client.get()), "OTHER");
}

TEST_F(ContextTest, ConnectionFacts) {
    client->Conns = {{"T", "FS1", 1}, {"T", "FS2", 0}};
    EXPECT_TRUE(U_IsDSConnection(client.get(), 101));
    EXPECT_FALSE(U_IsDSConnection(client.get(), 102));
    EXPECT_FALSE(U_IsDSConnection(client.get(), 999));
    uint32_t ref = 0;
    EXPECT_EQ(U_GetConnRefByHandle(client.get(), 102, ref), 0);
    EXPECT_EQ(ref, 2u);
}

TEST_F(ContextTest, ContextKeysAndFlags) {
    NWHandle ctx = NewContext("CN=ACME_TREE", "OU=Sales.CN=x");
    EXPECT_EQ(U_DSGetTreeName(client.get(), ctx), "ACME_TREE");
    EXPECT_EQ(U_DSGetNameContext(client.get(), ctx), "OU=Sales.x"); // only the first, exact case
    EXPECT_EQ(U_DSGetTreeName(client.get(), 12345), "");

    client->Contexts[ctx].Flags = 0x01;
    EXPECT_EQ(U_DSSetContextFlags(client.get(), ctx, '+', 0x14), 0);
    EXPECT_EQ(client->Contexts[ctx].Flags, 0x15u);
    EXPECT_EQ(U_DSSetContextFlags(client.get(), ctx, '-', 0x10), 0);
    EXPECT_EQ(client->Contexts[ctx].Flags, 0x05u);
    EXPECT_EQ(U_DSSetContextFlags(client.get(), ctx, '?', 0xFF), 0);
    EXPECT_EQ(client->Contexts[ctx].Flags, 0x05u);
    // Unreadable flags are never overwritten.
    client->ContextWrites.clear();
    EXPECT_NE(U_DSSetContextFlags(client.get(), 4711, '+', 1), 0);
    EXPECT_TRUE(client->ContextWrites.empty());
}

TEST_F(ContextTest, SwitchingTreesAndContexts) {
    NWHandle ctx = NewContext("ACME_TREE", "Sales.ACME");
    // The same tree in another case is not written again; the name context still is.
    EXPECT_EQ(U_DSChangeCurrentTreeAndContext(client.get(), ctx, "acme_tree", ".Dev.ACME"), 0);
    ASSERT_EQ(client->ContextWrites.size(), 1u);
    EXPECT_EQ(client->ContextWrites[0], std::make_pair(DCK_NAME_CONTEXT, std::string("Dev.ACME")));

    client->ContextWrites.clear();
    EXPECT_EQ(U_DSChangeCurrentTreeAndContext(client.get(), ctx, "OTHER", "[Root]"), 0);
    EXPECT_EQ(client->Contexts[ctx].Tree, "OTHER");
    EXPECT_EQ(client->Contexts[ctx].NameContext, "[Root]");
    EXPECT_EQ(client->ContextWrites.size(), 2u);

    EXPECT_EQ(U_DSChangeCurrentContext(client.get(), ctx, ".A.B"), 0);
    EXPECT_EQ(client->Contexts[ctx].NameContext, "A.B");
    EXPECT_EQ(client->Contexts[ctx].Tree, "OTHER");

    EXPECT_EQ(U_DSChangeCurrentTreeAndContext(client.get(), 4711, "X", "Y"), ERR_INVALID_HANDLE);

    // Without a name context the context goes to the user's container; no user, the root.
    EXPECT_EQ(U_DSChangeCurrentTree(client.get(), ctx, "THIRD"), 0);
    EXPECT_EQ(client->Contexts[ctx].Tree, "THIRD");
    EXPECT_EQ(client->Contexts[ctx].NameContext, "[Root]");

    client->Conns = {{Padded("ACME_TREE"), "FS1"}};
    EXPECT_EQ(U_DSSetTreeOfConn(client.get(), ctx, 101), 0);
    EXPECT_EQ(client->Contexts[ctx].Tree, "ACME_TREE");
    EXPECT_EQ(client->Contexts[ctx].NameContext, "[Root]");
    EXPECT_EQ(U_DSSetTreeOfConn(client.get(), ctx, 555), ERR_INVALID_CONNECTION);
}

TEST_F(ContextTest, ErrorTextsAndBoxes) {
    client->ErrorTexts[ERR_INVALID_CONNECTION] = "Invalid connection";
    EXPECT_EQ(U_NWErrorText(client.get(), ERR_INVALID_CONNECTION), "0x8801 (Invalid connection)");
    // A code the client does not know gets the system's text for the number.
    std::string unknown = U_NWErrorText(client.get(), 2);
    EXPECT_EQ(unknown, "0x0002 (" + std::string(std::strerror(2)) + ")");
    // Negative codes show all eight digits.
    EXPECT_EQ(U_NWErrorText(client.get(), ERR_NO_SUCH_ENTRY).rfind("0xFFFFFDA7 (", 0), 0u);
    EXPECT_EQ(U_NWErrorText(nullptr, 0x8801).rfind("0x8801 (", 0), 0u);

    U_NWShowError(client.get(), 0, "Nothing");
    EXPECT_TRUE(boxes.empty());
    U_NWShowError(client.get(), 2, "ReadThing");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "ReadThing returned error " + U_NWErrorText(client.get(), 2));
}
