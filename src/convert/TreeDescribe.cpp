#include "convert/TreeDescribe.h"

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "model/RightsModel.h"

namespace trovalen::convert {

using namespace trovalen::sim;

namespace {

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

std::string ObjectName(const TSimTree& t, int32_t index) {
    return index == 0 ? std::string(kRoot) : "." + t.Objects[index].FullName;
}

std::string TrusteeName(const TSimWorld& w, const TSimServer& s, uint32_t id) {
    if (s.Tree >= 0) {
        const TSimTree& t = w.Trees[s.Tree];
        int32_t object = t.FindId(id);
        if (object >= 0)
            return ObjectName(t, object);
    }
    return "#" + Hex(id);
}

void DescribeDirs(const TSimWorld& w, const TSimServer& s, const TSimVolume& v, std::ostream& out) {
    for (const TSimDir& d : v.Dirs) {
        out << "    " << v.Name << ":" << d.Path;
        if (&d != &v.Dirs.front() && d.Irm != 0xFF)
            out << "  IRM " << U_RightsToStr(d.Irm, rtFileSystem);
        for (const auto& t : d.Trustees)
            out << "  " << TrusteeName(w, s, t.ObjectID) << " "
                << U_RightsToStr(t.Rights, rtFileSystem);
        out << "\n";
    }
}

} // namespace

std::shared_ptr<TSimWorld> U_LoadTreeFile(const std::string& fileName, std::string& error) {
    return LoadTreeFile(fileName, error);
}

bool U_TreeTextLoads(const std::string& text, const std::string& fileName, std::string& error) {
    return LoadTreeText(text, fileName, error) != nullptr;
}

void U_DescribeTree(const TSimWorld& w, bool summary, std::ostream& out) {
    out << "File: " << w.FileName << "\n";
    out << "OEM code page: " << w.OemCodePage << "\n";
    if (w.StartupCode != 0)
        out << "Client start-up fails with " << Hex(static_cast<uint32_t>(w.StartupCode)) << "\n";
    size_t classes = 0, attrs = 0;
    for (const auto& c : w.Schema.Classes)
        classes += c.BuiltIn ? 0 : 1;
    for (const auto& a : w.Schema.Attrs)
        attrs += a.BuiltIn ? 0 : 1;
    out << "Schema: " << w.Schema.Classes.size() << " classes (" << classes << " added), "
        << w.Schema.Attrs.size() << " attributes (" << attrs << " added)\n";
    for (const auto& c : w.Schema.Classes)
        if (!c.BuiltIn)
            out << "  class " << c.Name << (c.Container ? ", container" : "")
                << (c.Auxiliary ? ", auxiliary" : "") << "\n";
    for (const auto& a : w.Schema.Attrs)
        if (!a.BuiltIn)
            out << "  attribute " << a.Name << ": " << SyntaxName(a.Syntax)
                << (SyntaxName(a.Syntax).empty() ? "syntax " + std::to_string(a.Syntax) : "")
                << "\n";

    for (const TSimTree& t : w.Trees) {
        std::map<std::string, size_t> perClass;
        for (const auto& o : t.Objects)
            ++perClass[w.Schema.Classes[o.Class].Name];
        out << "Tree " << t.Name << ": " << t.Objects.size() << " objects (";
        bool first = true;
        for (const auto& [cls, n] : perClass) {
            out << (first ? "" : ", ") << n << " " << cls;
            first = false;
        }
        out << ")\n";
        if (summary)
            continue;
        // Objects in the order of a walk from the top, indented by depth.
        std::vector<std::pair<int32_t, int>> stack{{0, 0}};
        while (!stack.empty()) {
            auto [index, depth] = stack.back();
            stack.pop_back();
            const TSimObject& o = t.Objects[index];
            out << std::string(2 + 2 * depth, ' ') << (index == 0 ? std::string(kRoot) : o.Rdn)
                << "  (" << w.Schema.Classes[o.Class].Name << ", ID " << Hex(o.Id);
            if (!o.Acl.empty())
                out << ", " << o.Acl.size() << " ACL values";
            if (!o.Attrs.empty())
                out << ", " << o.Attrs.size() << " attributes";
            out << ")\n";
            for (auto it = o.Children.rbegin(); it != o.Children.rend(); ++it)
                stack.push_back({*it, depth + 1});
        }
    }
    for (const TSimServer& s : w.Servers) {
        out << "Server " << s.Name;
        if (s.Tree >= 0)
            out << " (tree " << w.Trees[s.Tree].Name << ", object "
                << ObjectName(w.Trees[s.Tree], s.Object) << ")";
        else
            out << " (no tree)";
        out << "\n";
        for (const TSimVolume& v : s.Volumes) {
            out << "  Volume " << v.Name;
            if (v.Object >= 0)
                out << " (object " << ObjectName(w.Trees[s.Tree], v.Object) << ")";
            out << ": " << v.Dirs.size() - 1 << " directories\n";
            if (!summary)
                DescribeDirs(w, s, v, out);
        }
    }
    for (size_t i = 0; i < w.Conns.size(); ++i) {
        const TSimConn& c = w.Conns[i];
        out << "Connection " << i + 1 << ": " << w.Servers[c.Server].Name;
        if (c.Tree >= 0)
            out << ", tree " << w.Trees[c.Tree].Name;
        if (c.User >= 0)
            out << ", user " << ObjectName(w.Trees[c.Tree], c.User);
        else
            out << ", not authenticated";
        if (c.Primary)
            out << ", primary";
        out << "\n";
    }
    for (const TSimFailure& f : w.Failures)
        out << "Failure: " << f.Text << " -> " << Hex(static_cast<uint32_t>(f.Code)).substr(4)
            << "\n";
}

} // namespace trovalen::convert
