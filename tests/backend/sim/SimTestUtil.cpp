#include "SimTestUtil.h"

#include <filesystem>
#include <unistd.h>

#include "backend/sim/SimLoader.h"
#include "util/Platform.h"

namespace trovalen::simtest {

namespace fs = std::filesystem;

TempMount::TempMount() {
    std::string tmpl = (fs::temp_directory_path() / "trovalen-sim-XXXXXX").string();
    root_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
    setenv("TROVALEN_MOUNT", root_.c_str(), 1);
}

TempMount::~TempMount() {
    std::error_code ec;
    fs::remove_all(root_, ec);
    unsetenv("TROVALEN_MOUNT");
}

std::shared_ptr<TSimClient> ClientFromText(const std::string& json) {
    std::string error;
    auto world = sim::LoadTreeText(json, "test.json", error);
    EXPECT_TRUE(world) << error;
    if (!world)
        return nullptr;
    // As MakeSimClient does: the client itself leaves the process's code page alone.
    U_SetOemCodePage(world->OemCodePage);
    return std::make_shared<TSimClient>(world);
}

std::vector<std::string> ListNames(TNWClient& c, NWHandle ctx, const std::string& container,
                                   bool containersOnly, int* calls) {
    std::vector<std::string> out;
    NWHandle buf = 0;
    EXPECT_EQ(c.AllocBuf(DEFAULT_MESSAGE_LEN, buf), 0);
    int32_t iteration = -1;
    int n = 0;
    do {
        NWCCODE code = containersOnly ? c.ListContainers(ctx, container, iteration, buf)
                                      : c.ListSubordinates(ctx, container, iteration, buf);
        if (code != 0) {
            ADD_FAILURE() << "list failed: " << code;
            break;
        }
        ++n;
        uint32_t count = 0;
        c.ObjectCount(ctx, buf, count);
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            uint32_t attrs = 0;
            TObjectSummary s;
            EXPECT_EQ(c.NextObject(ctx, buf, name, attrs, s), 0);
            out.push_back(name);
        }
    } while (iteration != -1 && n < 100000);
    c.FreeBuf(buf);
    if (calls)
        *calls = n;
    return out;
}

NWCCODE ReadValues(TNWClient& c, NWHandle ctx, const std::string& object, const std::string& attr,
                   std::vector<TAttrValue>& values) {
    NWHandle req = 0, res = 0;
    c.AllocBuf(DEFAULT_MESSAGE_LEN, req);
    c.InitBuf(ctx, DSV_READ, req);
    c.PutAttrName(ctx, req, attr);
    c.AllocBuf(MAX_MESSAGE_LEN, res);
    int32_t iteration = -1;
    NWCCODE code = 0;
    do {
        code = c.ReadAttributes(ctx, object, 1, false, req, iteration, res);
        if (code != 0)
            break;
        uint32_t count = 0;
        c.AttrCount(ctx, res, count);
        // A step that fails (an injected failure) ends the read with its code.
        for (uint32_t i = 0; code == 0 && i < count; ++i) {
            std::string name;
            uint32_t valueCount = 0, syntax = 0;
            code = c.NextAttr(ctx, res, name, valueCount, syntax);
            for (uint32_t k = 0; code == 0 && k < valueCount; ++k) {
                TAttrValue v;
                uint32_t size = 0;
                EXPECT_EQ(c.AttrValueSize(ctx, res, syntax, size), 0);
                code = c.NextAttrValue(ctx, res, syntax, v);
                if (code == 0)
                    values.push_back(v);
            }
        }
    } while (code == 0 && iteration != -1);
    c.FreeBuf(req);
    c.FreeBuf(res);
    return code;
}

NWCCODE Search(TNWClient& c, NWHandle ctx, const std::string& base, int scope,
               const std::vector<std::pair<uint32_t, TAttrValue>>& tokens,
               std::vector<std::string>& names, int* calls) {
    NWHandle fbuf = 0, res = 0, filter = 0;
    c.AllocBuf(DEFAULT_MESSAGE_LEN, fbuf);
    c.InitBuf(ctx, DSV_SEARCH_FILTER, fbuf);
    c.AllocBuf(MAX_MESSAGE_LEN, res);
    c.NewFilter(ctx, filter);
    for (const auto& [tok, value] : tokens) {
        bool hasValue = tok == FTOK_AVAL || tok == FTOK_ANAME;
        c.AddFilterToken(filter, tok, hasValue ? &value : nullptr, value.Syntax);
    }
    c.AddFilterToken(filter, FTOK_END, nullptr, 0);
    NWCCODE code = c.PutFilter(ctx, fbuf, filter);
    int32_t iteration = -1;
    int n = 0;
    while (code == 0) {
        uint32_t count = 0;
        code = c.SearchObjects(ctx, base, scope, fbuf, true, iteration, 50, count, res);
        if (code != 0)
            break;
        ++n;
        uint32_t inBuf = 0;
        c.ObjectCount(ctx, res, inBuf);
        EXPECT_LE(inBuf, 50u);
        for (uint32_t i = 0; i < inBuf; ++i) {
            std::string name;
            uint32_t attrs;
            TObjectSummary s;
            c.NextObject(ctx, res, name, attrs, s);
            names.push_back(name);
        }
        if (iteration == -1)
            break;
    }
    c.FreeBuf(fbuf);
    c.FreeBuf(res);
    if (calls)
        *calls = n;
    return code;
}

TAttrValue Text(const std::string& s, uint32_t syntax) {
    return TAttrValue{syntax, TValString{s}};
}

std::vector<std::pair<uint32_t, TAttrValue>> EqualsDN(const std::string& attr,
                                                      const std::string& name) {
    return {{FTOK_LPAREN, {}},
            {FTOK_ANAME, Text(attr, SYN_DIST_NAME)},
            {FTOK_EQ, {}},
            {FTOK_AVAL, Text(name, SYN_DIST_NAME)},
            {FTOK_RPAREN, {}}};
}

NWHandle NewCtx(TNWClient& c, const std::string& nameContext) {
    NWHandle ctx = 0;
    EXPECT_EQ(c.NewContext(ctx), 0);
    c.SetContextValue(ctx, DCK_FLAGS, DCV_TYPELESS_NAMES | DCV_CANONICALIZE_NAMES);
    c.SetContextValue(ctx, DCK_NAME_CONTEXT, nameContext);
    return ctx;
}

} // namespace trovalen::simtest
