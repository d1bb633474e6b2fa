#include <filesystem>

#include "SimTestUtil.h"

using namespace trovalen;
using namespace trovalen::simtest;

namespace {

class SampleTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        client = MakeSimClient("", error);
        ASSERT_TRUE(client) << error;
        ASSERT_EQ(client->ClientStartup(), 0);
        ctx = NewCtx(*client);
    }
    TempMount mount;
    std::shared_ptr<TSimClient> client;
    NWHandle ctx = 0;

    std::string Item(const std::string& name, uint32_t item, NWCCODE* code = nullptr) {
        NWHandle copy = 0, buf = 0;
        client->CopyContext(ctx, copy);
        client->SetContextValue(copy, DCK_DSI_FLAGS, item);
        client->AllocBuf(DEFAULT_MESSAGE_LEN, buf);
        TObjectItem out;
        NWCCODE c = client->ReadObjectItems(copy, name, DEFAULT_MESSAGE_LEN, buf);
        if (c == 0)
            c = client->ObjectItem(copy, buf, 8192, item, out);
        client->FreeBuf(buf);
        client->FreeContext(copy);
        if (code)
            *code = c;
        return out.Text.empty() && item <= DSI_CREATION_TIME ? std::to_string(out.Number)
                                                             : out.Text;
    }
};

std::string TextOf(const TAttrValue& v) {
    if (auto s = std::get_if<TValString>(&v.Data))
        return s->Text;
    return "?";
}

} // namespace

TEST_F(SampleTree, NamesFollowTheContext) {
    std::string dn;
    TObjectSummary s;
    // Absolute, relative to the name context, and relative with a trailing dot.
    ASSERT_EQ(client->ReadObjectSummary(ctx, ".Mara.Sales.Corvale", dn, s), 0);
    EXPECT_EQ(dn, "Mara.Sales.Corvale");
    EXPECT_EQ(s.ClassName, "User");
    EXPECT_EQ(s.Flags & DS_CONTAINER_ENTRY, 0u);
    client->SetContextValue(ctx, DCK_NAME_CONTEXT, "Sales.Corvale");
    // With the canonical flag names come back partial, relative to the name context, and every
    // name handed out is read back as the same object.
    ASSERT_EQ(client->ReadObjectSummary(ctx, "mara", dn, s), 0);
    EXPECT_EQ(dn, "Mara");
    ASSERT_EQ(client->ReadObjectSummary(ctx, "Finance.", dn, s), 0);
    EXPECT_EQ(dn, "Finance.");
    EXPECT_EQ(s.Flags & DS_CONTAINER_ENTRY, DS_CONTAINER_ENTRY);
    ASSERT_EQ(client->ReadObjectSummary(ctx, ".Corvale", dn, s), 0);
    EXPECT_EQ(dn, ".Corvale");
    for (const char* name : {"Mara", "Finance.", ".Corvale", "Irene.Finance."}) {
        std::string again;
        ASSERT_EQ(client->ReadObjectSummary(ctx, name, dn, s), 0) << name;
        ASSERT_EQ(client->ReadObjectSummary(ctx, dn, again, s), 0) << dn;
        EXPECT_EQ(again, dn);
    }
    EXPECT_EQ(client->ReadObjectSummary(ctx, "Nobody", dn, s), ERR_NO_SUCH_ENTRY);

    // An abbreviation is relative to the name context with or without the canonical flag.
    std::string out;
    EXPECT_EQ(client->AbbreviateName(ctx, ".Mara.Sales.Corvale", out), 0);
    EXPECT_EQ(out, "Mara");
    EXPECT_EQ(client->AbbreviateName(ctx, ".Irene.Finance.Corvale", out), 0);
    EXPECT_EQ(out, "Irene.Finance.");
    EXPECT_EQ(client->AbbreviateName(ctx, ".Nobody.Elsewhere", out), 0);
    EXPECT_EQ(out, ".Nobody.Elsewhere");
    // Without the canonical flag the client leaves names alone: they go in and come out
    // complete.
    client->SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES);
    EXPECT_EQ(client->AbbreviateName(ctx, ".Mara.Sales.Corvale", out), 0);
    EXPECT_EQ(out, "Mara");
    ASSERT_EQ(client->ReadObjectSummary(ctx, "Mara.Sales.Corvale", dn, s), 0);
    EXPECT_EQ(dn, "Mara.Sales.Corvale");
    EXPECT_EQ(client->ReadObjectSummary(ctx, "Mara", dn, s), ERR_NO_SUCH_ENTRY);
    // Typed names when the typeless flag is clear; typed input is understood either way.
    client->SetContextValue(ctx, DCK_FLAGS, DCV_CANONICALIZE_NAMES);
    ASSERT_EQ(client->ReadObjectSummary(ctx, ".CN=Mara.OU=Sales.O=Corvale", dn, s), 0);
    EXPECT_EQ(dn, "CN=Mara");
    client->SetContextValue(ctx, DCK_NAME_CONTEXT, "[Root]");
    ASSERT_EQ(client->ReadObjectSummary(ctx, ".CN=Mara.OU=Sales.O=Corvale", dn, s), 0);
    EXPECT_EQ(dn, "CN=Mara.OU=Sales.O=Corvale");
}

TEST_F(SampleTree, ObjectItemsAndClasses) {
    EXPECT_EQ(Item(".Mara.Sales.Corvale", DSI_PARENT_DN), "Sales.Corvale");
    EXPECT_EQ(Item(".Corvale", DSI_PARENT_DN), "[Root]");
    EXPECT_EQ(Item("[Root]", DSI_PARENT_DN), "");
    EXPECT_EQ(Item(".Mara.Sales.Corvale", DSI_RDN), "Mara");
    EXPECT_EQ(Item(".Mara.Sales.Corvale", DSI_BASE_CLASS), "User");
    EXPECT_EQ(Item(".Corvale", DSI_CREATION_TIME), "1300093200");

    std::vector<TAttrValue> values;
    ASSERT_EQ(ReadValues(*client, ctx, ".Mara.Sales.Corvale", "Object Class", values), 0);
    std::vector<std::string> classes;
    for (const auto& v : values)
        classes.push_back(TextOf(v));
    EXPECT_EQ(classes, (std::vector<std::string>{"User", "Organizational Person", "Person",
                                                 "ndsLoginProperties", "Top"}));
    values.clear();
    ASSERT_EQ(ReadValues(*client, ctx, ".Staff.Corvale", "object class", values), 0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(TextOf(values[0]), "Group");
    values.clear();
    EXPECT_EQ(ReadValues(*client, ctx, ".Staff.Corvale", "Title", values), ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(SampleTree, ValuesNameObjectsAsTheContextAsks) {
    std::vector<TAttrValue> values;
    ASSERT_EQ(ReadValues(*client, ctx, ".Irene.Finance.Corvale", "Security Equals", values), 0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(TextOf(values[0]), "Auditors.Finance.Corvale");
    values.clear();
    ASSERT_EQ(ReadValues(*client, ctx, ".Corvale", "ACL", values), 0);
    auto acl = std::get<TValObjectACL>(values.at(0).Data);
    EXPECT_EQ(acl.SubjectName, "Staff.Corvale");
    EXPECT_EQ(acl.ProtectedAttrName, "Login Script");
    EXPECT_EQ(acl.Privileges, 0x43u);
}

TEST_F(SampleTree, AliasesAreFollowedUnlessTheFlagIsCleared) {
    std::vector<TAttrValue> values;
    NWHandle c = 0;
    client->NewContext(c);
    client->SetContextValue(c, DCK_FLAGS,
                            DCV_DEREF_ALIASES | DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
    ASSERT_EQ(ReadValues(*client, c, ".Boss.Corvale", "Full Name", values), 0);
    EXPECT_EQ(TextOf(values.at(0)), "Directory Administrator");
    values.clear();
    EXPECT_EQ(ReadValues(*client, c, ".Boss.Corvale", "Aliased Object Name", values),
              ERR_NO_SUCH_ATTRIBUTE);
    client->SetContextValue(c, DCK_FLAGS, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
    ASSERT_EQ(ReadValues(*client, c, ".Boss.Corvale", "Aliased Object Name", values), 0);
    EXPECT_EQ(TextOf(values.at(0)), "Admin.Corvale");
}

TEST_F(SampleTree, TheDereferenceFlagHoldsForEveryOperation) {
    // .Boss.Corvale is an alias of .Admin.Corvale. With the flag, summaries, items and effective
    // rights all answer for the object, as the attribute reads do; without it, for the alias.
    NWHandle c = 0;
    client->NewContext(c);
    auto ask = [&](uint32_t flags, std::string& dn, std::string& cls, uint32_t& rights) {
        client->SetContextValue(c, DCK_FLAGS, flags | DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
        TObjectSummary summary;
        EXPECT_EQ(client->ReadObjectSummary(c, ".Boss.Corvale", dn, summary), 0);
        cls = summary.ClassName;
        EXPECT_EQ(client->EntryEffectiveRights(c, ".Admin.Corvale", ".Boss.Corvale",
                                               "[Entry Rights]", rights),
                  0);
    };
    std::string dn, cls;
    uint32_t rights = 0, adminOnItself = 0;
    ASSERT_EQ(client->EntryEffectiveRights(ctx, ".Admin.Corvale", ".Admin.Corvale",
                                           "[Entry Rights]", adminOnItself),
              0);
    ask(DCV_DEREF_ALIASES, dn, cls, rights);
    EXPECT_EQ(dn, "Admin.Corvale");
    EXPECT_EQ(cls, "User");
    EXPECT_EQ(rights, adminOnItself) << "the rights on the object the alias stands for";
    ask(0, dn, cls, rights);
    EXPECT_EQ(dn, "Boss.Corvale");
    EXPECT_EQ(cls, "Alias");
}

TEST_F(SampleTree, StreamsReadAndCannotBeOpenedForWriting) {
    NWHandle file = 0;
    ASSERT_EQ(client->OpenAttrStream(ctx, ".Mara.Sales.Corvale", "Login Script", 1, file), 0);
    std::string a, b;
    ASSERT_EQ(client->ReadStream(file, 8, a), 0);
    ASSERT_EQ(client->ReadStream(file, 64512, b), 0);
    EXPECT_EQ(a + b, "MAP H:=CV-FS1/SYS:HOME\\MARA\n");
    EXPECT_EQ(client->CloseStream(file), 0);
    EXPECT_EQ(client->OpenAttrStream(ctx, ".Mara.Sales.Corvale", "Login Script", 2, file),
              ERR_NO_ACCESS);
    EXPECT_EQ(client->OpenAttrStream(ctx, ".Tobin.Sales.Corvale", "Login Script", 1, file),
              ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(SampleTree, ListsGiveRelativeNamesInOrder) {
    auto names = ListNames(*client, ctx, ".Sales.Corvale", false);
    EXPECT_EQ(names, (std::vector<std::string>{"Dana (Contractor)", "Laser-2", "Laser-3", "LaserQ",
                                               "Mara", "Pell", "Sven", "Tobin"}));
    EXPECT_EQ(ListNames(*client, ctx, ".Research.Corvale", true), std::vector<std::string>{"Labs"});
    EXPECT_TRUE(ListNames(*client, ctx, ".Mara.Sales.Corvale", false).empty());
    EXPECT_EQ(ListNames(*client, ctx, "[Root]", false), std::vector<std::string>{"Corvale"});
}

TEST_F(SampleTree, SecurityEqualsSearchFindsNamesWithFilterCharacters) {
    std::vector<std::string> names;
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     EqualsDN("Security Equals", ".R&D Team.Research.Corvale"), names),
              0);
    // In the order of a walk of the tree.
    EXPECT_EQ(names, (std::vector<std::string>{"Hal.Research.Corvale", "Ezra.Labs.Research.Corvale",
                                               "Nadia.Research.Corvale"}));
    names.clear();
    ASSERT_EQ(Search(*client, ctx, ".Research.Corvale", DS_SEARCH_SUBORDINATES,
                     EqualsDN("Security Equals", ".R&D Team.Research.Corvale"), names),
              0);
    EXPECT_EQ(names.size(), 2u) << "scope 1 leaves out the nested container";
    // A relative name in the value is taken against the context, whatever syntax the caller
    // gave the value token.
    names.clear();
    client->SetContextValue(ctx, DCK_NAME_CONTEXT, "Research.Corvale");
    auto tokens = EqualsDN("Security Equals", "R&D Team");
    tokens[3].second.Syntax = SYN_UNKNOWN;
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE, tokens, names), 0);
    EXPECT_EQ(names.size(), 3u);
}

TEST_F(SampleTree, FilterPrecedenceIsNotThenAndThenOr) {
    // Title present OR Login Disabled present AND NOT base class User: AND binds tighter, so
    // the OR keeps every object with a Title.
    std::vector<std::pair<uint32_t, TAttrValue>> tokens = {
        {FTOK_PRESENT, {}},
        {FTOK_ANAME, Text("Title")},
        {FTOK_OR, {}},
        {FTOK_PRESENT, {}},
        {FTOK_ANAME, Text("Login Disabled")},
        {FTOK_AND, {}},
        {FTOK_NOT, {}},
        {FTOK_BASECLS, {}},
        {FTOK_ANAME, Text("User", SYN_CLASS_NAME)}};
    std::vector<std::string> names, titled;
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE, tokens, names), 0);
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     {{FTOK_PRESENT, {}}, {FTOK_ANAME, Text("Title")}}, titled),
              0);
    EXPECT_GT(titled.size(), 5u);
    EXPECT_EQ(names, titled) << "every disabled login belongs to a User";
    // Parentheses regroup: (Title OR Login Disabled) AND NOT User finds nothing.
    tokens.insert(tokens.begin(), {FTOK_LPAREN, {}});
    tokens.insert(tokens.begin() + 6, {FTOK_RPAREN, {}});
    names.clear();
    ASSERT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE, tokens, names), 0);
    EXPECT_TRUE(names.empty());
    // A token stream that is no expression is refused.
    names.clear();
    EXPECT_EQ(Search(*client, ctx, "[Root]", DS_SEARCH_SUBTREE,
                     {{FTOK_LPAREN, {}}, {FTOK_ANAME, Text("Title")}}, names),
              ERR_INVALID_FILTER);
}

TEST_F(SampleTree, EntryEffectiveRightsAnswersThroughTheInterface) {
    uint32_t rights = 0;
    ASSERT_EQ(client->EntryEffectiveRights(ctx, ".Admin.Corvale", ".Mara.Sales.Corvale",
                                           "[Entry Rights]", rights),
              0);
    EXPECT_EQ(rights, 0x1Fu);
    ASSERT_EQ(
        client->EntryEffectiveRights(ctx, ".Admin.Corvale", ".Mara.Sales.Corvale", "Title", rights),
        0);
    EXPECT_EQ(rights, 0x2Fu) << "entry Supervisor gives every attribute right";
    EXPECT_EQ(client->EntryEffectiveRights(ctx, ".Nobody", ".Corvale", "[Entry Rights]", rights),
              ERR_NO_SUCH_ENTRY);
    EXPECT_EQ(client->EntryEffectiveRights(ctx, ".Admin.Corvale", ".Corvale", "No Such", rights),
              ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(SampleTree, ConnectionsReportTreesServersAndUsers) {
    uint32_t it = 0, ref = 0;
    std::vector<std::string> trees, servers;
    while (client->EnumConnRefs(it, ref) == 0) {
        std::string t, s;
        client->ConnRefInfo(ref, NWCC_INFO_TREE_NAME, t);
        client->ConnRefInfo(ref, NWCC_INFO_SERVER_NAME, s);
        trees.push_back(t);
        servers.push_back(s);
    }
    ASSERT_EQ(trees.size(), 3u);
    EXPECT_EQ(trees[0], "CORVALE_TREE____________________");
    EXPECT_EQ(trees[0].size(), 32u);
    EXPECT_EQ(servers, (std::vector<std::string>{"CV-FS1", "HB-FS2", "CV-BAK"}));

    uint32_t primary = 0;
    ASSERT_EQ(client->PrimaryConnRef(primary), 0);
    NWHandle conn = 0;
    ASSERT_EQ(client->OpenConnByRef(primary, 1, 0, conn), 0);
    EXPECT_NE(conn, NO_CONNECTION);
    uint32_t id = 0, ds = 0, back = 0;
    ASSERT_EQ(client->ConnInfo(conn, NWCC_INFO_USER_ID, id), 0);
    EXPECT_EQ(id, 0x01000011u);
    client->ConnInfo(conn, NWCC_INFO_DS_NAMES, ds);
    EXPECT_EQ(ds, 1u);
    client->ConnInfo(conn, NWCC_INFO_CONN_REF, back);
    EXPECT_EQ(back, primary);
    std::string name;
    ASSERT_EQ(client->MapIDToName(ctx, conn, id, name), 0);
    EXPECT_EQ(name, "Admin.Corvale");
    EXPECT_EQ(client->MapIDToName(ctx, conn, 0x0BADF00D, name), ERR_NO_SUCH_ENTRY);
    ASSERT_EQ(client->CurrentUserDN(ctx, name), 0);
    EXPECT_EQ(name, "Admin.Corvale");
    ASSERT_EQ(client->ServerDN(ctx, conn, name), 0);
    EXPECT_EQ(name, "CV-FS1.Corvale");

    // The third connection is not authenticated.
    it = 2;
    ASSERT_EQ(client->EnumConnRefs(it, ref), 0);
    NWHandle anon = 0;
    ASSERT_EQ(client->OpenConnByRef(ref, 1, 0, anon), 0);
    ASSERT_EQ(client->ConnInfo(anon, NWCC_INFO_USER_ID, id), 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(client->CloseConn(anon), 0);
    EXPECT_EQ(client->ConnInfo(anon, NWCC_INFO_USER_ID, id), ERR_INVALID_CONNECTION);
}

TEST_F(SampleTree, ContextsSwitchTrees) {
    std::string tree;
    client->GetContextValue(ctx, DCK_TREE_NAME, tree);
    EXPECT_EQ(tree, "CORVALE_TREE");
    EXPECT_EQ(client->SetContextValue(ctx, DCK_TREE_NAME, "harbor_tree_____"), 0);
    client->GetContextValue(ctx, DCK_TREE_NAME, tree);
    EXPECT_EQ(tree, "HARBOR_TREE");
    std::string dn, user;
    TObjectSummary s;
    EXPECT_EQ(client->ReadObjectSummary(ctx, ".Kit.Ops.Harbor", dn, s), 0);
    EXPECT_EQ(client->ReadObjectSummary(ctx, ".Mara.Sales.Corvale", dn, s), ERR_NO_SUCH_ENTRY);
    ASSERT_EQ(client->CurrentUserDN(ctx, user), 0);
    EXPECT_EQ(user, "Kit.Ops.Harbor");
    EXPECT_EQ(client->SetContextValue(ctx, DCK_TREE_NAME, "NO_SUCH_TREE"), ERR_NO_CONNECTION);
    uint32_t flags = 0;
    NWHandle copy = 0;
    ASSERT_EQ(client->CopyContext(ctx, copy), 0);
    client->GetContextValue(copy, DCK_FLAGS, flags);
    EXPECT_EQ(flags, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
    EXPECT_EQ(client->FreeContext(copy), 0);
    EXPECT_EQ(client->FreeContext(copy), ERR_INVALID_HANDLE);
}

TEST_F(SampleTree, VolumesAreMountedAndPathsParse) {
    namespace fs = std::filesystem;
    EXPECT_TRUE(client->MountError().empty()) << client->MountError();
    EXPECT_TRUE(fs::is_directory(mount.Root() + "/CV-FS1/SYS/APPS/TOOLS"));
    EXPECT_TRUE(fs::is_directory(mount.Root() + "/CV-FS1/DATA/FINANCE/Büro"));
    EXPECT_TRUE(fs::is_directory(mount.Root() + "/HB-FS2/VOL1/DOCKS"));

    std::string server, volume, dir;
    NWHandle conn = 0;
    ASSERT_EQ(client->ParsePath("\\\\cv-fs1\\sys\\apps\\tools", server, conn, volume, dir), 0);
    EXPECT_EQ(server, "CV-FS1");
    EXPECT_EQ(volume, "SYS");
    EXPECT_EQ(dir, "APPS\\TOOLS");
    ASSERT_EQ(
        client->ParsePath(mount.Root() + "/CV-FS1/DATA/FINANCE/Büro", server, conn, volume, dir),
        0);
    EXPECT_EQ(dir, "FINANCE\\B\x81ro") << "file-server names travel in the OEM code page";
    ASSERT_EQ(client->ParsePath("CV-FS1/DATA:FINANCE\\REPORTS", server, conn, volume, dir), 0);
    EXPECT_EQ(dir, "FINANCE\\REPORTS");
    ASSERT_EQ(client->ParsePath("SYS:", server, conn, volume, dir), 0);
    EXPECT_EQ(server, "CV-FS1");
    EXPECT_EQ(dir, "");
    EXPECT_NE(client->ParsePath("/etc/passwd", server, conn, volume, dir), 0);
    EXPECT_NE(client->ParsePath("C:\\WINDOWS", server, conn, volume, dir), 0);
    EXPECT_EQ(client->ParsePath("\\\\NOPE\\SYS", server, conn, volume, dir), ERR_NO_CONNECTION);
    EXPECT_EQ(client->ParsePath("\\\\CV-FS1\\NOPE", server, conn, volume, dir),
              ERR_VOLUME_NOT_FOUND);
}

TEST_F(SampleTree, DirectoryTrusteesMasksAndEntries) {
    std::string server, volume, dir;
    NWHandle conn = 0;
    ASSERT_EQ(client->ParsePath("\\\\CV-FS1\\DATA\\SHARED", server, conn, volume, dir), 0);
    uint32_t iteration = 0;
    std::vector<TTrusteeEntry> entries;
    ASSERT_EQ(client->PathTrustees(conn, 0, "DATA:SHARED", iteration, entries), 0);
    ASSERT_EQ(entries.size(), 2u);
    bool bareId = false;
    for (const auto& e : entries)
        bareId = bareId || (e.ObjectID == 0x0BADF00D && e.Rights == 0x41);
    EXPECT_TRUE(bareId) << "a trustee ID that no object has";
    EXPECT_EQ(client->PathTrustees(conn, 0, "DATA:SHARED", iteration, entries),
              ERR_NO_MORE_TRUSTEES);
    iteration = 0;
    EXPECT_EQ(client->PathTrustees(conn, 0, "DATA:LOGIN", iteration, entries),
              ERR_NO_MORE_TRUSTEES);

    TDirEntryInfo info;
    ASSERT_EQ(client->DirEntryInfo(conn, 0, "SYS:APPS", info), 0);
    EXPECT_EQ(info.RightsMask, 0x41);
    ASSERT_EQ(client->DirEntryInfo(conn, 0, "SYS:", info), 0);
    EXPECT_EQ(info.RightsMask, 0xFF);
    ASSERT_EQ(client->DirEntryInfo(conn, 0, "SYS:SYSTEM", info), 0);
    EXPECT_EQ(info.RightsMask, 0);
    EXPECT_EQ(client->DirEntryInfo(conn, 0, "SYS:NOPE", info), ERR_INVALID_PATH);

    uint8_t searchDir = 0;
    uint16_t dirNumber = 0;
    ASSERT_EQ(client->StartDirSearch(conn, 0, "DATA:FINANCE", searchDir, dirNumber), 0);
    std::vector<std::string> names;
    uint16_t seq = 0xFFFF;
    TDirEntry e;
    while (client->NextDirEntry(conn, searchDir, dirNumber, seq, SA_SUBDIR_ALL, "*", e) == 0) {
        names.push_back(e.Name);
        seq = e.Sequence;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"B\x81ro", "REPORTS"}));

    uint32_t number = 0;
    ASSERT_EQ(client->VolumeNumber(conn, "data", number), 0);
    TVolumeInfo vi;
    ASSERT_EQ(client->VolumeInfo(conn, number, vi), 0);
    std::string volumeDN;
    ASSERT_EQ(client->MapIDToName(ctx, conn, vi.VolumeObjectID, volumeDN), 0);
    EXPECT_EQ(volumeDN, "CV-FS1_DATA.Corvale");
}

TEST_F(SampleTree, ErrorTextsKnowEveryCodeTheClientReturns) {
    EXPECT_EQ(client->ErrorText(ERR_NO_SUCH_ENTRY), "No such entry");
    EXPECT_EQ(client->ErrorText(0xFDA7), "No such entry") << "low 16 bits";
    EXPECT_EQ(client->ErrorText(0x899C), "Invalid path, or no more trustees");
    EXPECT_EQ(client->ErrorText(0x1234), "Unknown error");
}
