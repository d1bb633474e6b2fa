// The objects of a tree: their names, classes, IDs and places in the tree, then their ACLs and
// attribute values once every name is known.
#include "backend/sim/SimLoadInternal.h"
#include "model/RightsModel.h"
#include "util/Util.h"

#include <algorithm>

namespace trovalen::sim::load {

namespace {

// The name of an object as the tree file writes it: absolute, typeless, dotted; one leading dot
// allowed.
std::string ObjectName(const std::string& raw, const std::string& ptr,
                       std::vector<std::string>& parts) {
    std::string name = raw;
    if (!name.empty() && name[0] == '.')
        name = name.substr(1);
    if (name == kRoot) {
        parts = {name};
        return name;
    }
    if (!SplitName(name, parts))
        Fail(ptr, "\"" + raw + "\" is no object name (empty part between dots)");
    if (CodePoints(name) > kMaxNameChars)
        Fail(ptr, "the name \"" + raw.substr(0, 40) + "...\" is longer than " +
                      std::to_string(kMaxNameChars) + " characters");
    for (const auto& p : parts) {
        if (p[0] == '[' || p.find('=') != std::string::npos || p.find('\\') != std::string::npos)
            Fail(ptr, "\"" + raw + "\" holds the part \"" + p +
                          "\", which is no name (no \"[\" at the start, no \"=\" or \"\\\")");
        for (unsigned char c : p)
            if (c < 0x20 || c == 0x7F)
                Fail(ptr, "\"" + raw + "\" holds a control character");
    }
    return name;
}

// The pointer of the entry that lists an object (for messages about it).
template <class TElement>
std::string ObjectPointer(const json& objs, const std::string& ptr, const std::string& fullName,
                          TElement&& element) {
    json scratch;
    for (size_t k = 0; k < objs.size(); ++k) {
        std::string n = element(k, scratch)["name"].template get<std::string>();
        if (!n.empty() && n[0] == '.')
            n = n.substr(1);
        if (U_LowerCase(n) == U_LowerCase(fullName))
            return Join(ptr, k) + "/name";
    }
    return ptr;
}

} // namespace

const json& TLoader::Element(const json& objs, size_t i, const std::string& ptr, json& scratch) {
    const json& v = objs[i];
    if (!FDeferred || !v.is_discarded())
        return v;
    auto it = FDeferred->Spans.find(&objs);
    if (it == FDeferred->Spans.end() || i >= it->second.size())
        Fail(ptr, "the object was not kept while reading the file");
    auto [begin, end] = it->second[i];
    std::string error;
    if (end > FDeferred->Size || begin > end ||
        !ParseBounded(FDeferred->Text + begin, FDeferred->Text + end, scratch, error))
        Fail(ptr, "the object cannot be read again (" + error + ")");
    if (FDeferred->Consumed)
        FDeferred->Consumed(end);
    return scratch;
}

void TLoader::RestartText() {
    if (FDeferred && FDeferred->Restart)
        FDeferred->Restart();
}

void TLoader::LoadTreeObjects(TSimTree& t, const json& objs, const std::string& ptr) {
    Expect(objs, json::value_t::array, ptr, "an array of objects");
    RestartText();
    auto element = [&](size_t k, json& scratch) -> const json& {
        return Element(objs, k, Join(ptr, k), scratch);
    };
    TSimObject root;
    root.Rdn = root.FullName = std::string(kRoot);
    root.Class = FWorld.Schema.FindClass("Tree Root");
    root.Container = true;
    t.Objects.push_back(std::move(root));
    std::vector<std::string> parts;
    t.Objects[0].Created = t.Objects[0].Modified = 1420070400;
    t.Objects.reserve(objs.size() + 1);
    t.ReserveIndexes(objs.size() + 1);
    t.IndexName(0);
    const int32_t treeRoot = FWorld.Schema.FindClass("Tree Root");
    bool rootListed = false;

    for (size_t i = 0; i < objs.size(); ++i) {
        std::string p = Join(ptr, i);
        json scratch;
        const json& o = Element(objs, i, p, scratch);
        CheckKeys(o, p,
                  {"name", "class", "id", "auxiliary", "created", "modified", "acl", "attributes"});
        std::string name =
            ObjectName(Str(Req(o, "name", p), p + "/name", 1024), p + "/name", parts);
        int32_t index;
        if (name == kRoot) {
            if (rootListed)
                Fail(p + "/name", "\"[Root]\" is listed twice");
            rootListed = true;
            index = 0;
        } else {
            if (t.Find(name) >= 0)
                Fail(p + "/name",
                     "the object \"" + name + "\" is listed twice (names ignore case)");
            index = static_cast<int32_t>(t.Objects.size());
            t.Objects.emplace_back();
            t.Objects.back().FullName = name;
            t.Objects.back().Rdn = parts[0];
            t.IndexName(index);
        }
        TSimObject& obj = t.Objects[index];
        std::string cls = Str(Req(o, "class", p), p + "/class", 128);
        obj.Class = FWorld.Schema.FindClass(cls);
        if (obj.Class < 0)
            Fail(p + "/class", "the class \"" + cls + "\" is not defined");
        if (FWorld.Schema.Classes[obj.Class].Auxiliary)
            Fail(p + "/class", "\"" + cls + "\" is an auxiliary class; name it in \"auxiliary\"");
        if (index == 0 && !FWorld.Schema.IsA(obj.Class, treeRoot))
            Fail(p + "/class", "\"[Root]\" is of the class Tree Root");
        if (index != 0 && FWorld.Schema.IsA(obj.Class, treeRoot))
            Fail(p + "/class", "only \"[Root]\" is of the class Tree Root");
        obj.Container = FWorld.Schema.Classes[obj.Class].Container;
        if (const json* aux = Opt(o, "auxiliary")) {
            Expect(*aux, json::value_t::array, p + "/auxiliary", "an array of class names");
            for (size_t k = 0; k < aux->size(); ++k) {
                std::string ap = Join(p + "/auxiliary", k);
                std::string n = Str((*aux)[k], ap, 128);
                int32_t a = FWorld.Schema.FindClass(n);
                if (a < 0)
                    Fail(ap, "the class \"" + n + "\" is not defined");
                if (!FWorld.Schema.Classes[a].Auxiliary)
                    Fail(ap, "\"" + n + "\" is no auxiliary class");
                obj.Aux.push_back(a);
            }
        }
        obj.Created = Opt(o, "created") ? Time(o["created"], p + "/created") : 1420070400;
        obj.Modified = Opt(o, "modified") ? Time(o["modified"], p + "/modified") : obj.Created;
        if (const json* id = Opt(o, "id")) {
            int64_t v = IntOrHex(*id, p + "/id", 1, 0xFFFFFFFE);
            int32_t holder = t.FindId(static_cast<uint32_t>(v));
            if (holder >= 0)
                Fail(p + "/id", "the ID " + id->dump() + " is given to \"" +
                                    t.Objects[holder].FullName + "\" already");
            obj.Id = static_cast<uint32_t>(v);
            t.IndexId(index);
        }
    }
    // IDs the file does not give are handed out in file order, skipping those it gives.
    for (auto& obj : t.Objects) {
        if (obj.Id != 0)
            continue;
        while (t.FindId(FNextId) >= 0)
            ++FNextId;
        obj.Id = FNextId++;
        t.IndexId(static_cast<int32_t>(&obj - t.Objects.data()));
    }
    // Parents: every object's container must be listed and be a container.
    for (size_t i = 1; i < t.Objects.size(); ++i) {
        TSimObject& obj = t.Objects[i];
        size_t dot = obj.FullName.find('.');
        int32_t parent = dot == std::string::npos ? 0 : t.Find(obj.FullName.substr(dot + 1));
        if (parent < 0 || !t.Objects[parent].Container) {
            std::string ep = ObjectPointer(objs, ptr, obj.FullName, element);
            if (parent < 0)
                Fail(ep, "the container \"" + obj.FullName.substr(dot + 1) + "\" of \"" +
                             obj.FullName + "\" is not listed");
            Fail(ep, "\"" + t.Objects[parent].FullName + "\", the container of \"" + obj.FullName +
                         "\", is a " + FWorld.Schema.Classes[t.Objects[parent].Class].Name +
                         ", which holds no objects");
        }
        if (parent == 0 && !obj.Container)
            Fail(ObjectPointer(objs, ptr, obj.FullName, element),
                 "\"" + obj.FullName +
                     "\" stands directly below [Root], where only containers "
                     "(Organization, Country, ...) stand");
        obj.Parent = parent;
        t.Objects[parent].Children.push_back(static_cast<int32_t>(i));
    }
    // Children in name order, and every object's position in a walk from the top.
    uint32_t order = 0;
    std::vector<int32_t> stack{0};
    while (!stack.empty()) {
        int32_t cur = stack.back();
        stack.pop_back();
        TSimObject& o = t.Objects[cur];
        o.Order = order++;
        std::sort(o.Children.begin(), o.Children.end(), [&t](int32_t a, int32_t b) {
            return U_LowerCase(t.Objects[a].Rdn) < U_LowerCase(t.Objects[b].Rdn);
        });
        for (auto it = o.Children.rbegin(); it != o.Children.rend(); ++it)
            stack.push_back(*it);
    }
}

int32_t TLoader::ObjectRef(const TSimTree& t, const json& v, const std::string& ptr,
                           const char* what) {
    std::string raw = Str(v, ptr, 1024);
    std::string name = raw;
    if (!name.empty() && name[0] == '.')
        name = name.substr(1);
    int32_t idx = t.Find(name);
    if (idx < 0)
        Fail(ptr, std::string("the ") + what + " \"" + raw + "\" does not exist in the tree \"" +
                      t.Name + "\"");
    return idx;
}

int32_t TLoader::ObjectRefOfClass(const TSimTree& t, const json& v, const std::string& ptr,
                                  const char* what, const char* cls) {
    int32_t idx = ObjectRef(t, v, ptr, what);
    if (!FWorld.Schema.IsA(t.Objects[idx].Class, cls))
        Fail(ptr, "\"" + t.Objects[idx].FullName + "\" is no " + cls);
    return idx;
}

void TLoader::LoadTreeValues(TSimTree& t, const json& objs, const std::string& ptr) {
    RestartText();
    int32_t secEq = FWorld.Schema.FindAttr("Security Equals");
    int32_t aclAttr = FWorld.Schema.FindAttr("ACL");
    int32_t aliasAttr = FWorld.Schema.FindAttr("Aliased Object Name");
    int32_t objectClass = FWorld.Schema.FindAttr("Object Class");
    const int32_t aliasClass = FWorld.Schema.FindClass("Alias");
    for (size_t i = 0; i < objs.size(); ++i) {
        std::string p = Join(ptr, i);
        json scratch;
        const json& o = Element(objs, i, p, scratch);
        std::string n = o["name"].get<std::string>();
        int32_t index = t.Find(n[0] == '.' ? n.substr(1) : n);
        TSimObject& obj = t.Objects[index];
        auto addAcl = [&](const json& list, const std::string& lp) {
            Expect(list, json::value_t::array, lp, "an array of ACL values");
            TSimAttr* attr = nullptr;
            for (auto& a : obj.Attrs)
                if (a.Attr == aclAttr)
                    attr = &a;
            if (attr == nullptr) {
                obj.Attrs.push_back({aclAttr, {}, {}});
                attr = &obj.Attrs.back();
            }
            for (size_t k = 0; k < list.size(); ++k) {
                TAttrValue value;
                TSimAcl acl;
                ParseAcl(t, list[k], Join(lp, k), value, acl);
                attr->Values.push_back(std::move(value));
                obj.Acl.push_back(acl);
            }
        };
        if (const json* acl = Opt(o, "acl"))
            addAcl(*acl, p + "/acl");
        if (const json* attrs = Opt(o, "attributes")) {
            std::string ap = p + "/attributes";
            Expect(*attrs, json::value_t::object, ap, "an object of attribute names and values");
            for (const auto& [name, val] : attrs->items()) {
                std::string vp = Join(ap, name);
                int32_t a = FWorld.Schema.FindAttr(name);
                const json* values = &val;
                std::string valuesPtr = vp;
                if (val.is_object()) {
                    CheckKeys(val, vp, {"syntax", "values"});
                    const json& syn = Req(val, "syntax", vp);
                    int32_t s = syn.is_string()
                                    ? SyntaxByName(syn.get<std::string>())
                                    : static_cast<int32_t>(Int(syn, vp + "/syntax", 0, 255));
                    if (s < 0)
                        Fail(vp + "/syntax", "\"" + Str(syn, vp + "/syntax") + "\" is no syntax");
                    if (a >= 0 && FWorld.Schema.Attrs[a].Syntax != static_cast<uint32_t>(s))
                        Fail(vp + "/syntax",
                             "\"" + name + "\" is a " +
                                 std::string(SyntaxName(FWorld.Schema.Attrs[a].Syntax)) +
                                 " attribute already");
                    if (a < 0) {
                        if (name.empty() || name.size() > 128 || name[0] == '[')
                            Fail(vp, "\"" + name + "\" is no attribute name");
                        a = FWorld.Schema.AddAttr({name, static_cast<uint32_t>(s), false});
                    }
                    values = &Req(val, "values", vp);
                    valuesPtr = vp + "/values";
                } else if (a < 0) {
                    Fail(vp, "the attribute \"" + name +
                                 "\" is not defined; define it in \"schema\" or write "
                                 "{\"syntax\": ..., \"values\": [...]}");
                }
                if (a == objectClass)
                    Fail(vp, "\"Object Class\" follows from \"class\" and \"auxiliary\"");
                if (a == aclAttr) {
                    addAcl(*values, valuesPtr);
                    continue;
                }
                Expect(*values, json::value_t::array, valuesPtr, "an array of values");
                if (values->empty())
                    Fail(valuesPtr, "an attribute has at least one value");
                uint32_t syntax = FWorld.Schema.Attrs[a].Syntax;
                if (syntax == SYN_STREAM && values->size() != 1)
                    Fail(valuesPtr, "a stream attribute has exactly one value");
                for (const auto& existing : obj.Attrs)
                    if (existing.Attr == a)
                        Fail(vp, "the attribute \"" + name + "\" is given twice");
                TSimAttr attr;
                attr.Attr = a;
                for (size_t k = 0; k < values->size(); ++k) {
                    TAttrValue value;
                    ParseValue(t, syntax, (*values)[k], Join(valuesPtr, k), value, &attr.Stream);
                    if (syntax == SYN_DIST_NAME) {
                        const std::string& target = std::get<TValString>(value.Data).Text;
                        int32_t ti = t.Find(target);
                        if (a == secEq)
                            obj.SecurityEquals.push_back(ti);
                        if (a == aliasAttr)
                            obj.AliasTarget = ti;
                        t.DnIndex[TSimTree::DnKey(a, U_LowerCase(target))].push_back(index);
                    }
                    attr.Values.push_back(std::move(value));
                }
                obj.Attrs.push_back(std::move(attr));
            }
        }
        if (FWorld.Schema.IsA(obj.Class, aliasClass)) {
            const TSimAttr* target = t.FindAttr(index, aliasAttr);
            if (target == nullptr || target->Values.size() != 1)
                Fail(p, "an Alias has exactly one \"Aliased Object Name\"");
            if (obj.AliasTarget == index)
                Fail(p, "an Alias cannot stand for itself");
        }
    }
    // Index lists in tree order, so that searches answer in the order of a walk.
    for (auto& [key, list] : t.DnIndex) {
        (void)key;
        std::sort(list.begin(), list.end(),
                  [&t](int32_t a, int32_t b) { return t.Objects[a].Order < t.Objects[b].Order; });
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    // ACL values by subject, for the effective-rights look-ups.
    for (auto& o : t.Objects)
        SortAcl(o.Acl);
    // Aliases must end at a real object.
    for (size_t i = 0; i < t.Objects.size(); ++i) {
        int32_t cur = static_cast<int32_t>(i);
        for (int hops = 0; t.Objects[cur].AliasTarget >= 0; ++hops) {
            cur = t.Objects[cur].AliasTarget;
            if (hops > 16)
                Fail(ptr, "the alias \"" + t.Objects[i].FullName + "\" runs in a circle");
        }
    }
}

} // namespace trovalen::sim::load
