// The tree file's batch limits, schema extensions and injected failures.
#include "backend/sim/SimLoadInternal.h"
#include "util/Util.h"

#include <algorithm>
#include <optional>

namespace trovalen::sim::load {

void TLoader::LoadLimits(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"searchBatch", "trusteeBatch", "listBatch", "readBatch", "classBatch"});
    if (const json* x = Opt(v, "searchBatch"))
        FWorld.Limits.SearchBatch = static_cast<uint32_t>(Int(*x, ptr + "/searchBatch", 1, 50));
    if (const json* x = Opt(v, "trusteeBatch"))
        FWorld.Limits.TrusteeBatch = static_cast<uint32_t>(Int(*x, ptr + "/trusteeBatch", 1, 20));
    if (const json* x = Opt(v, "listBatch"))
        FWorld.Limits.ListBatch = static_cast<uint32_t>(Int(*x, ptr + "/listBatch", 1, 100000));
    if (const json* x = Opt(v, "readBatch"))
        FWorld.Limits.ReadBatch = static_cast<uint32_t>(Int(*x, ptr + "/readBatch", 1, 100000));
    if (const json* x = Opt(v, "classBatch"))
        FWorld.Limits.ClassBatch = static_cast<uint32_t>(Int(*x, ptr + "/classBatch", 1, 100000));
}

void TLoader::LoadSchema(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"classes", "attributes"});
    if (const json* attrs = Opt(v, "attributes")) {
        std::string ap = ptr + "/attributes";
        Expect(*attrs, json::value_t::object, ap, "an object of attribute names and syntaxes");
        for (const auto& [name, syn] : attrs->items()) {
            std::string p = Join(ap, name);
            if (name.empty() || name.size() > 128 || name[0] == '[')
                Fail(p, "\"" + name + "\" is no attribute name");
            if (FWorld.Schema.FindAttr(name) >= 0)
                Fail(p, "the attribute \"" + name + "\" is already defined");
            int32_t s = syn.is_string() ? SyntaxByName(syn.get<std::string>())
                                        : static_cast<int32_t>(Int(syn, p, 0, 255));
            if (s < 0)
                Fail(p, "\"" + Str(syn, p) + "\" is no syntax");
            FWorld.Schema.AddAttr({name, static_cast<uint32_t>(s), false});
        }
    }
    if (const json* classes = Opt(v, "classes")) {
        std::string cp = ptr + "/classes";
        Expect(*classes, json::value_t::object, cp, "an object of class definitions");
        std::vector<int32_t> added;
        for (const auto& [name, def] : classes->items()) {
            std::string p = Join(cp, name);
            CheckKeys(def, p, {"super", "container", "auxiliary", "auxClasses"});
            if (name.empty() || name.size() > 128 || name[0] == '[')
                Fail(p, "\"" + name + "\" is no class name");
            if (FWorld.Schema.FindClass(name) >= 0)
                Fail(p, "the class \"" + name + "\" is already defined");
            TSimClass c;
            c.Name = name;
            c.BuiltIn = false;
            if (const json* x = Opt(def, "container"))
                c.Container = Bool(*x, p + "/container");
            if (const json* x = Opt(def, "auxiliary"))
                c.Auxiliary = Bool(*x, p + "/auxiliary");
            added.push_back(FWorld.Schema.AddClass(std::move(c)));
        }
        // Super classes may be defined in any order within the file.
        size_t k = 0;
        for (const auto& item : classes->items()) {
            // Plain references: the lambda below captures them.
            const std::string& name = item.key();
            const json& def = item.value();
            std::string p = Join(cp, name);
            TSimClass& c = FWorld.Schema.Classes[added[k++]];
            auto refs = [&](const char* key, std::vector<int32_t>& out, bool wantAux) {
                const json* x = Opt(def, key);
                if (x == nullptr)
                    return;
                std::string kp = p + "/" + key;
                Expect(*x, json::value_t::array, kp, "an array of class names");
                for (size_t i = 0; i < x->size(); ++i) {
                    std::string n = Str((*x)[i], Join(kp, i), 128);
                    int32_t idx = FWorld.Schema.FindClass(n);
                    if (idx < 0)
                        Fail(Join(kp, i), "the class \"" + n + "\" is not defined");
                    if (FWorld.Schema.Classes[idx].Auxiliary != wantAux)
                        Fail(Join(kp, i),
                             "\"" + n + "\" is " +
                                 (wantAux ? "no auxiliary class" : "an auxiliary class"));
                    out.push_back(idx);
                }
            };
            refs("super", c.Super, false);
            refs("auxClasses", c.AuxClasses, true);
            if (c.Super.empty() && U_LowerCase(c.Name) != "top")
                c.Super.push_back(FWorld.Schema.FindClass("Top"));
        }
        // A class may not be its own super class, however far up.
        for (int32_t idx : added) {
            std::vector<int32_t> queue = FWorld.Schema.Classes[idx].Super;
            for (size_t i = 0; i < queue.size(); ++i) {
                if (queue[i] == idx || i > 4096)
                    Fail(Join(cp, FWorld.Schema.Classes[idx].Name),
                         "the class \"" + FWorld.Schema.Classes[idx].Name +
                             "\" is its own super class");
                for (int32_t s : FWorld.Schema.Classes[queue[i]].Super)
                    queue.push_back(s);
            }
        }
    }
}

void TLoader::LoadFailures(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::array, ptr, "an array of failures");
    for (size_t i = 0; i < v.size(); ++i) {
        std::string p = Join(ptr, i);
        CheckKeys(
            v[i], p,
            {"operation", "object", "attribute", "server", "path", "tree", "id", "call", "code"});
        TSimFailure f;
        std::string operation = Str(Req(v[i], "operation", p), p + "/operation", 64);
        std::optional<TSimOp> op = SimOpByName(operation);
        if (!op)
            Fail(p + "/operation",
                 "\"" + operation + "\" is no operation (known: " + SimOpNames() + ")");
        f.Operation = *op;
        f.Code = Code(Req(v[i], "code", p), p + "/code");
        if (f.Code == 0)
            Fail(p + "/code", "an injected failure answers a code other than 0");
        int32_t tree = -1;
        if (const json* t = Opt(v[i], "tree")) {
            std::string name = Str(*t, p + "/tree", 64);
            tree = FWorld.FindTree(name);
            if (tree < 0)
                Fail(p + "/tree", "the tree \"" + name + "\" is not listed in \"trees\"");
            f.Tree = U_LowerCase(FWorld.Trees[tree].Name);
        }
        if (const json* o = Opt(v[i], "object")) {
            std::string name = Str(*o, p + "/object", 1024);
            std::string bare = !name.empty() && name[0] == '.' ? name.substr(1) : name;
            bool found = false;
            for (size_t k = 0; k < FWorld.Trees.size(); ++k)
                if ((tree < 0 || tree == static_cast<int32_t>(k)) &&
                    FWorld.Trees[k].Find(bare) >= 0)
                    found = true;
            if (!found)
                Fail(p + "/object", "the object \"" + name + "\" does not exist");
            f.Object = U_LowerCase(bare);
        }
        if (const json* a = Opt(v[i], "attribute"))
            f.Attribute = U_LowerCase(Str(*a, p + "/attribute", 128));
        if (const json* s = Opt(v[i], "server")) {
            std::string name = Str(*s, p + "/server", 64);
            if (FWorld.FindServer(name) < 0)
                Fail(p + "/server", "the server \"" + name + "\" is not listed in \"servers\"");
            f.Server = U_LowerCase(name);
        }
        if (const json* pa = Opt(v[i], "path")) {
            std::string path = Str(*pa, p + "/path", 1024);
            std::replace(path.begin(), path.end(), '/', '\\');
            size_t colon = path.find(':');
            if (colon == std::string::npos)
                Fail(p + "/path", "\"" + path + "\" is no volume path (VOLUME:PATH)");
            std::string rest = path.substr(colon + 1);
            while (!rest.empty() && rest.front() == '\\')
                rest.erase(0, 1);
            while (!rest.empty() && rest.back() == '\\')
                rest.pop_back();
            f.Path = U_LowerCase(path.substr(0, colon) + ":" + rest);
        }
        if (const json* id = Opt(v[i], "id")) {
            f.HasId = true;
            f.Id = static_cast<uint32_t>(IntOrHex(*id, p + "/id", 0, UINT32_MAX));
        }
        if (const json* n = Opt(v[i], "call"))
            f.Call = static_cast<uint32_t>(IntOrHex(*n, p + "/call", 1, UINT32_MAX));
        f.Text = operation;
        for (const char* key : {"object", "attribute", "server", "path", "tree", "id", "call"})
            if (const json* x = Opt(v[i], key))
                f.Text += std::string(" ") + key + " " +
                          (x->is_string() ? x->get<std::string>() : x->dump());
        FWorld.Failures.push_back(std::move(f));
    }
}

} // namespace trovalen::sim::load
