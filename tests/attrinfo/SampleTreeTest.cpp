// Every value of every attribute of every object in the bundled sample tree, read through the
// client and formatted: none may fail, throw or come out empty-handed.
#include "attrinfo/AttrInfo.h"
#include "attrinfo/AttrRead.h"
#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "common/SimFixture.h"
#include <map>
#include <set>
#include <unistd.h>
#include <vector>

using namespace trovalen;
namespace fs = std::filesystem;

namespace {

class SampleTree : public trovalen::testing::SimTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Serve()); }
};

struct TValueCount {
    int Values = 0;
    int Lines = 0;
    std::set<uint32_t> Syntaxes;
};

// Reads every attribute of one object and formats each value.
void FormatObject(TNWClient& client, NWHandle ctx, const std::string& object, TValueCount& count) {
    NWHandle result = 0;
    ASSERT_EQ(client.AllocBuf(MAX_MESSAGE_LEN, result), 0);
    ASSERT_EQ(client.InitBuf(ctx, DSV_READ, result), 0);
    int32_t iteration = -1;
    do {
        NWCCODE code = client.ReadAttributes(ctx, object, 1, true, 0, iteration, result);
        ASSERT_EQ(code, 0) << object;
        uint32_t attrs = 0;
        ASSERT_EQ(client.AttrCount(ctx, result, attrs), 0);
        for (uint32_t a = 0; a < attrs; ++a) {
            std::string name;
            uint32_t values = 0;
            uint32_t syntax = 0;
            ASSERT_EQ(client.NextAttr(ctx, result, name, values, syntax), 0);
            count.Syntaxes.insert(syntax);
            for (uint32_t i = 1; i <= values; ++i) {
                uint32_t size = 0;
                ASSERT_EQ(client.AttrValueSize(ctx, result, syntax, size), 0);
                TAttrValue value;
                ASSERT_EQ(client.NextAttrValue(ctx, result, syntax, value), 0);
                TStringList lines;
                NWCCODE rc = 1;
                EXPECT_NO_THROW(
                    rc = U_FormatAttrValue(&client, ctx, object, name, lines, value, size, i))
                    << object << " / " << name;
                EXPECT_EQ(rc, 0) << object << " / " << name;
                EXPECT_FALSE(lines.Empty()) << object << " / " << name;
                for (const std::string& line : lines.Strings())
                    EXPECT_EQ(line.find("AOT record string"), std::string::npos) << line;
                ++count.Values;
                count.Lines += lines.Count();
            }
        }
    } while (iteration != -1);
    client.FreeBuf(result);
}

} // namespace

TEST_F(SampleTree, EveryValueFormats) {
    TNWClient& client = *this->client;
    TStringList trees;
    U_ListTrees(&client, trees);
    ASSERT_FALSE(trees.Empty());
    TValueCount count;
    for (const std::string& tree : trees.Strings()) {
        NWHandle ctx = 0;
        ASSERT_EQ(client.NewContext(ctx), 0);
        U_DSSetContextFlags(&client, ctx, '+', DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(&client, ctx, tree, "[Root]"), 0);
        TStringList objects;
        ASSERT_EQ(U_DSListTree(&client, ctx, "[Root]", objects, true, false, "", 0), 0);
        objects.Add("[Root]");
        for (const std::string& object : objects.Strings())
            FormatObject(client, ctx, U_DSDotName(object), count);
        client.FreeContext(ctx);
    }
    // The sample tree shows off most syntaxes; a reader that found nothing tests nothing.
    EXPECT_GT(count.Values, 50);
    EXPECT_GE(count.Syntaxes.size(), 15u);
}

// Names handed out under a name context are names taken back: a chain through names ("Member|
// Full Name") reads the same lines under every name context, and each name read completes to
// the same object.
TEST_F(SampleTree, ChainsThroughNamesReadAlikeUnderEveryNameContext) {
    TNWClient& client = *this->client;
    const std::string tree = U_GetPrimaryTree(&client);
    std::map<std::string, std::vector<std::string>> first;
    for (const char* nameContext :
         {"[Root]", "Corvale", "Sales.Corvale", "Labs.Research.Corvale"}) {
        SCOPED_TRACE(nameContext);
        NWHandle ctx = 0;
        ASSERT_EQ(client.NewContext(ctx), 0);
        U_DSSetContextFlags(&client, ctx, '+', DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
        ASSERT_EQ(U_DSChangeCurrentTreeAndContext(&client, ctx, tree, nameContext), 0);
        for (const char* attrPath : {"Member|Full Name", "Member", "Member|Object Class", "CONTEXT",
                                     "RDN", "CLASS", "Member|CONTEXT"}) {
            TStringList lines;
            EXPECT_EQ(U_DSGetAttributeEx(&client, ctx, ".Staff.Corvale", attrPath, lines), 0)
                << attrPath;
            std::vector<std::string> got = lines.Strings();
            // A name value comes back as the context writes it; completed, it is the same.
            if (std::string(attrPath) == "Member")
                for (std::string& name : got)
                    name = U_DSCompleteName(nameContext, name);
            EXPECT_FALSE(got.empty()) << attrPath;
            auto [known, fresh] = first.emplace(attrPath, got);
            if (!fresh) {
                EXPECT_EQ(got, known->second) << attrPath;
            }
        }
        client.FreeContext(ctx);
    }
}
