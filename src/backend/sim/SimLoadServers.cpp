// File servers with their volumes, directories and trustees, and the connections to them.
#include "backend/sim/SimLoadInternal.h"
#include "util/Util.h"

#include <cstring>
#include <unordered_set>

namespace trovalen::sim::load {

namespace {

constexpr size_t kMaxServerName = 47;
constexpr size_t kMaxVolumeName = 15;

// The "name" of a server or volume (what): 2 to maxLen letters, digits, "-" or "_".
std::string ServerName(const json& v, const std::string& ptr, size_t maxLen, const char* what) {
    std::string name = Str(Req(v, "name", ptr), ptr + "/name", 64);
    bool valid = name.size() >= 2 && name.size() <= maxLen;
    for (unsigned char c : name)
        valid = valid && c > 0x20 && c < 0x7F && std::strchr("\\/:*?\"<>|,.;=[]", c) == nullptr;
    if (!valid)
        Fail(ptr + "/name", "\"" + name + "\" is no " + what + " name (2 to " +
                                std::to_string(maxLen) + " letters, digits, \"-\" or \"_\")");
    return name;
}

} // namespace

void TLoader::LoadServer(const json& v, const std::string& ptr) {
    CheckKeys(v, ptr, {"name", "tree", "object", "volumes"});
    TSimServer srv;
    srv.Name = ServerName(v, ptr, kMaxServerName, "server");
    if (FWorld.FindServer(srv.Name) >= 0)
        Fail(ptr + "/name", "the server \"" + srv.Name + "\" is listed twice");
    if (const json* tree = Opt(v, "tree")) {
        std::string name = Str(*tree, ptr + "/tree", 64);
        srv.Tree = FWorld.FindTree(name);
        if (srv.Tree < 0)
            Fail(ptr + "/tree", "the tree \"" + name + "\" is not listed in \"trees\"");
    }
    if (const json* obj = Opt(v, "object")) {
        if (srv.Tree < 0)
            Fail(ptr + "/object", "a server without \"tree\" has no object");
        srv.Object = ObjectRefOfClass(FWorld.Trees[srv.Tree], *obj, ptr + "/object",
                                      "server object", "Server");
    } else if (srv.Tree >= 0) {
        Fail(ptr, "a server in a tree names its \"object\"");
    }
    FWorld.Servers.push_back(std::move(srv));
    TSimServer& s = FWorld.Servers.back();
    // A server without volumes (a directory server) is a server all the same.
    static const json kNoVolumes = json::array();
    const json* volsGiven = Opt(v, "volumes");
    const json& vols = volsGiven != nullptr ? *volsGiven : kNoVolumes;
    Expect(vols, json::value_t::array, ptr + "/volumes", "an array of volumes");
    if (vols.size() > 255)
        Fail(ptr + "/volumes", "a server has at most 255 volumes");
    for (size_t i = 0; i < vols.size(); ++i) {
        std::string vp = Join(ptr + "/volumes", i);
        const json& vj = vols[i];
        CheckKeys(vj, vp, {"name", "object", "trustees", "dirs", "files", "owner"});
        TSimVolume vol;
        vol.Name = ServerName(vj, vp, kMaxVolumeName, "volume");
        for (const auto& other : s.Volumes)
            if (U_LowerCase(other.Name) == U_LowerCase(vol.Name))
                Fail(vp + "/name", "the volume \"" + vol.Name + "\" is listed twice");
        vol.NameOem = vol.Name;
        if (const json* obj = Opt(vj, "object")) {
            if (s.Tree < 0)
                Fail(vp + "/object", "a volume of a server without a tree has no object");
            vol.Object = ObjectRefOfClass(FWorld.Trees[s.Tree], *obj, vp + "/object",
                                          "volume object", "Volume");
        }
        vol.Dirs.emplace_back();
        s.Volumes.push_back(std::move(vol));
        LoadDir(s, s.Volumes.back(), 0, vj, vp);
    }
}

void TLoader::LoadDir(TSimServer& srv, TSimVolume& vol, int32_t index, const json& v,
                      const std::string& ptr) {
    if (index != 0)
        CheckKeys(v, ptr, {"irm", "trustees", "dirs", "files", "owner", "modified"});
    {
        TSimDir& dir = vol.Dirs[index];
        if (const json* irm = Opt(v, "irm")) {
            if (index == 0)
                Fail(ptr + "/irm", "a volume root has no inherited rights mask");
            uint32_t mask = 0;
            std::string error;
            if (irm->is_string()) {
                if (!ParseRightsText(irm->get<std::string>(), FAMILY_FS, mask, error))
                    Fail(ptr + "/irm", error);
            } else {
                mask = static_cast<uint32_t>(Int(*irm, ptr + "/irm", 0, 0x1FF));
            }
            // The mask of a directory is one byte; Supervisor is never masked.
            dir.Irm = static_cast<uint8_t>(mask & 0xFF);
        }
        if (const json* t = Opt(v, "trustees"))
            LoadTrustees(srv, dir, *t, ptr + "/trustees");
        if (const json* o = Opt(v, "owner")) {
            if (srv.Tree < 0)
                Fail(ptr + "/owner", "a server without a tree has no owners");
            dir.Owner = FWorld.Trees[srv.Tree]
                            .Objects[ObjectRef(FWorld.Trees[srv.Tree], *o, ptr + "/owner", "owner")]
                            .Id;
        } else if (index != 0) {
            dir.Owner = vol.Dirs[dir.Parent].Owner;
        }
        dir.Modified = Opt(v, "modified") ? Time(v["modified"], ptr + "/modified") : 1420070400;
        if (const json* f = Opt(v, "files")) {
            Expect(*f, json::value_t::array, ptr + "/files", "an array of file names");
            for (size_t i = 0; i < f->size(); ++i) {
                std::string name = Str((*f)[i], Join(ptr + "/files", i), 255);
                std::string oem;
                if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
                    !ToCodePage(name, FWorld.OemCodePage, oem))
                    Fail(Join(ptr + "/files", i), "\"" + name + "\" is no file name");
                dir.Files.push_back(name);
            }
        }
    }
    const json* dirs = Opt(v, "dirs");
    if (dirs == nullptr)
        return;
    std::string dp = ptr + "/dirs";
    Expect(*dirs, json::value_t::object, dp, "an object of directory names");
    for (const auto& [name, sub] : dirs->items()) {
        std::string sp = Join(dp, name);
        std::string oem;
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("\\/:*?\"<>|") != std::string::npos)
            Fail(sp, "\"" + name + "\" is no directory name");
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F)
                Fail(sp, "a directory name holds a control character");
        if (!ToCodePage(name, FWorld.OemCodePage, oem))
            Fail(sp, "\"" + name + "\" cannot be written in the code page " + FWorld.OemCodePage);
        for (int32_t sib : vol.Dirs[index].Children)
            if (U_LowerCase(vol.Dirs[sib].Name) == U_LowerCase(name))
                Fail(sp, "the directory \"" + name + "\" is listed twice (names ignore case)");
        if (vol.Dirs.size() >= kMaxDirsPerVolume + 1)
            Fail(sp, "a volume has at most " + std::to_string(kMaxDirsPerVolume) + " directories");
        TSimDir d;
        d.Name = name;
        d.NameOem = oem;
        d.Parent = index;
        const TSimDir& parent = vol.Dirs[index];
        d.Path = parent.Path.empty() ? name : parent.Path + "\\" + name;
        d.PathOem = parent.PathOem.empty() ? oem : parent.PathOem + "\\" + oem;
        if (d.PathOem.size() > kMaxPathBytes)
            Fail(sp, "the path \"" + d.Path.substr(0, 60) + "...\" is longer than " +
                         std::to_string(kMaxPathBytes) + " bytes");
        auto child = static_cast<int32_t>(vol.Dirs.size());
        vol.Dirs.push_back(std::move(d));
        vol.Dirs[index].Children.push_back(child);
        LoadDir(srv, vol, child, sub, sp);
    }
}

void TLoader::LoadTrustees(const TSimServer& srv, TSimDir& dir, const json& v,
                           const std::string& ptr) {
    Expect(v, json::value_t::object, ptr, "an object of trustees and their rights");
    std::unordered_set<uint32_t> named;
    for (const auto& other : dir.Trustees)
        named.insert(other.ObjectID);
    for (const auto& [key, rights] : v.items()) {
        std::string p = Join(ptr, key);
        TTrusteeEntry e;
        if (!key.empty() && key[0] == '#') {
            e.ObjectID = static_cast<uint32_t>(IntOrHex(json(key), p, 1, 0xFFFFFFFE));
        } else {
            if (srv.Tree < 0)
                Fail(p, "a server without a tree names trustees by ID (\"#0000ABCD\")");
            const TSimTree& t = FWorld.Trees[srv.Tree];
            e.ObjectID = t.Objects[ObjectRef(t, json(key), p, "trustee")].Id;
        }
        uint32_t mask = 0;
        if (rights.is_string()) {
            std::string error;
            if (!ParseRightsText(rights.get<std::string>(), FAMILY_FS, mask, error))
                Fail(p, error);
        } else {
            mask = static_cast<uint32_t>(Int(rights, p, 0, 0xFFFF));
        }
        if (!named.insert(e.ObjectID).second)
            Fail(p, "the trustee \"" + key + "\" is named twice");
        e.Rights = static_cast<uint16_t>(mask);
        dir.Trustees.push_back(e);
    }
}

void TLoader::LoadConnections(const json& v, const std::string& ptr) {
    Expect(v, json::value_t::array, ptr, "an array of connections");
    if (v.size() > 250)
        Fail(ptr, "at most 250 connections");
    int primaries = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        std::string p = Join(ptr, i);
        CheckKeys(v[i], p, {"server", "user", "primary", "authenticated", "tree"});
        TSimConn c;
        std::string server = Str(Req(v[i], "server", p), p + "/server", 64);
        c.Server = FWorld.FindServer(server);
        if (c.Server < 0)
            Fail(p + "/server", "the server \"" + server + "\" is not listed in \"servers\"");
        c.Tree = FWorld.Servers[c.Server].Tree;
        if (const json* t = Opt(v[i], "tree")) {
            std::string tree = Str(*t, p + "/tree", 64);
            c.Tree = FWorld.FindTree(tree);
            if (c.Tree < 0)
                Fail(p + "/tree", "the tree \"" + tree + "\" is not listed in \"trees\"");
        }
        bool authenticated =
            Opt(v[i], "authenticated") ? Bool(v[i]["authenticated"], p + "/authenticated") : true;
        if (const json* u = Opt(v[i], "user")) {
            if (!authenticated)
                Fail(p + "/user", "an unauthenticated connection has no user");
            if (c.Tree < 0)
                Fail(p + "/user", "a connection without a tree has no directory user");
            c.User = ObjectRef(FWorld.Trees[c.Tree], *u, p + "/user", "user");
        } else if (authenticated) {
            Fail(p, "an authenticated connection names its \"user\" (or write "
                    "\"authenticated\": false)");
        }
        if (const json* pr = Opt(v[i], "primary"))
            c.Primary = Bool(*pr, p + "/primary");
        primaries += c.Primary ? 1 : 0;
        if (primaries > 1)
            Fail(p + "/primary", "only one connection is the primary one");
        c.Ref = 0x00C0FF01u + static_cast<uint32_t>(i) * 0x10;
        FWorld.Conns.push_back(c);
    }
    if (primaries == 0 && !FWorld.Conns.empty())
        FWorld.Conns.front().Primary = true;
}

} // namespace trovalen::sim::load
