// The file system: volumes mounted under the mount root, parsed paths, directory entries and
// trustees.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"
#include "util/Platform.h"
#include "util/Util.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace trovalen {

using namespace sim;

namespace {

std::vector<std::string> SplitPath(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == '\\' || c == '/') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

} // namespace

// --- Mounted volumes ----------------------------------------------------------------------------

void TSimClient::Mount() {
    namespace fs = std::filesystem;
    const std::string root = U_MountRoot();
    for (const TSimServer& srv : FWorld->Servers)
        for (const TSimVolume& vol : srv.Volumes)
            for (const TSimDir& dir : vol.Dirs) {
                std::string path = root + "/" + srv.Name + "/" + vol.Name;
                if (!dir.Path.empty()) {
                    std::string rel = dir.Path;
                    std::replace(rel.begin(), rel.end(), '\\', '/');
                    path += "/" + rel;
                }
                std::error_code ec;
                fs::create_directories(path, ec);
                if ((ec || !fs::is_directory(path, ec)) && FMountError.empty())
                    FMountError = "cannot create " + path + (ec ? " (" + ec.message() + ")" : "");
            }
}

// --- File system --------------------------------------------------------------------------------

NWHandle TSimClient::PathConn(int32_t connIndex) {
    NWHandle& h = FPathConns[connIndex];
    if (h == 0 || !FConns.Has(h)) {
        h = NewHandle();
        FConns.Add(h, std::make_unique<int32_t>(connIndex));
    }
    return h;
}

int32_t TSimClient::ChildDir(const TSimVolume& vol, int32_t dir, const std::string& name) const {
    // Names come in the OEM code page from the file server side, in UTF-8 from the user.
    std::string l = U_LowerCase(name);
    for (int32_t child : vol.Dirs[dir].Children)
        if (U_LowerCase(vol.Dirs[child].NameOem) == l)
            return child;
    for (int32_t child : vol.Dirs[dir].Children)
        if (U_LowerCase(vol.Dirs[child].Name) == l)
            return child;
    return -1;
}

NWCCODE TSimClient::ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                              std::string& volume, std::string& dirPath) {
    std::vector<std::string> parts;
    std::string serverName, volumeName;
    const std::string root = U_MountRoot() + "/";
    if (U_IsUncPath(path)) {
        parts = SplitPath(path);
    } else if (path.compare(0, root.size(), root) == 0) {
        parts = SplitPath(path.substr(root.size()));
    } else if (size_t colon = path.find(':'); colon != std::string::npos && colon > 1) {
        // SERVER/VOLUME:PATH, or VOLUME:PATH on the primary connection's server.
        std::string head = path.substr(0, colon);
        size_t slash = head.find_first_of("/\\");
        if (slash != std::string::npos) {
            parts.push_back(head.substr(0, slash));
            parts.push_back(head.substr(slash + 1));
        } else {
            for (const TSimConn& c : FWorld->Conns)
                if (c.Primary)
                    parts.push_back(FWorld->Servers[c.Server].Name);
            parts.push_back(head);
        }
        for (auto& p : SplitPath(path.substr(colon + 1)))
            parts.push_back(p);
    } else {
        return ERR_INVALID_PATH;
    }
    if (parts.size() < 2)
        return ERR_INVALID_PATH;
    int32_t srv = FWorld->FindServer(parts[0]);
    TSel sel;
    sel.Server = srv;
    int32_t connIndex = -1;
    for (size_t i = 0; srv >= 0 && i < FWorld->Conns.size(); ++i)
        if (FWorld->Conns[i].Server == srv && (connIndex < 0 || FWorld->Conns[i].Primary))
            connIndex = static_cast<int32_t>(i);
    if (srv < 0 || connIndex < 0)
        return ERR_NO_CONNECTION;
    sel.Tree = FWorld->Conns[connIndex].Tree;
    const TSimServer& s = FWorld->Servers[srv];
    int32_t vol = -1;
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (U_LowerCase(s.Volumes[i].Name) == U_LowerCase(parts[1]))
            vol = static_cast<int32_t>(i);
    if (vol < 0)
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[vol];
    std::string dirOem, dirUtf8;
    int32_t dir = 0;
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..")
            return ERR_INVALID_PATH;
        int32_t child = dir >= 0 ? ChildDir(v, dir, parts[i]) : -1;
        std::string oem = child >= 0 ? v.Dirs[child].NameOem : parts[i];
        std::string utf8 = child >= 0 ? v.Dirs[child].Name : parts[i];
        dirOem += (dirOem.empty() ? "" : "\\") + oem;
        dirUtf8 += (dirUtf8.empty() ? "" : "\\") + utf8;
        dir = child;
    }
    sel.Path = v.Name + ":" + dirUtf8;
    NWCCODE code;
    if (Injected(TSimOp::ParsePath, sel, code))
        return code;
    server = s.Name;
    volume = v.NameOem;
    dirPath = dirOem;
    conn = PathConn(connIndex);
    return NW_OK;
}

NWCCODE TSimClient::VolPath(NWHandle conn, const std::string& volPath, TVolRef& ref,
                            TSel& sel) const {
    const backend::TConnection* c = nullptr;
    if (NWCCODE code = OpenConn(conn, c); code != NW_OK)
        return code;
    ref.Server = c->Server;
    sel = ConnSel(*c);
    size_t colon = volPath.find(':');
    if (colon == std::string::npos)
        return ERR_INVALID_PATH;
    const TSimServer& s = FWorld->Servers[ref.Server];
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (U_LowerCase(s.Volumes[i].NameOem) == U_LowerCase(volPath.substr(0, colon)))
            ref.Volume = static_cast<int32_t>(i);
    if (ref.Volume < 0)
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[ref.Volume];
    int32_t dir = 0;
    for (const auto& part : SplitPath(volPath.substr(colon + 1))) {
        dir = ChildDir(v, dir, part);
        if (dir < 0)
            return ERR_INVALID_PATH;
    }
    ref.Dir = dir;
    sel.Path = v.Name + ":" + v.Dirs[dir].Path;
    return NW_OK;
}

NWCCODE TSimClient::VolPathCall(TSimOp op, NWHandle conn, const std::string& volPath,
                                TVolRef& ref) const {
    TSel sel;
    NWCCODE code = VolPath(conn, volPath, ref, sel);
    if (code == ERR_INVALID_CONNECTION || Injected(op, sel, code))
        return code;
    return code == NW_OK ? NW_OK : ERR_INVALID_PATH;
}

NWCCODE TSimClient::VolumeNumber(NWHandle conn, const std::string& volume, uint32_t& number) {
    const backend::TConnection* c = nullptr;
    NWCCODE code = OpenConn(conn, c);
    if (code != NW_OK || Injected(TSimOp::VolumeNumber, ConnSel(*c), code))
        return code;
    const TSimServer& s = FWorld->Servers[c->Server];
    for (size_t i = 0; i < s.Volumes.size(); ++i)
        if (U_LowerCase(s.Volumes[i].NameOem) == U_LowerCase(volume) ||
            U_LowerCase(s.Volumes[i].Name) == U_LowerCase(volume)) {
            number = static_cast<uint32_t>(i);
            return NW_OK;
        }
    return ERR_VOLUME_NOT_FOUND;
}

NWCCODE TSimClient::VolumeInfo(NWHandle conn, uint32_t number, TVolumeInfo& info) {
    const backend::TConnection* c = nullptr;
    NWCCODE code = OpenConn(conn, c);
    if (code != NW_OK || Injected(TSimOp::VolumeInfo, ConnSel(*c), code))
        return code;
    const TSimServer& s = FWorld->Servers[c->Server];
    if (number >= s.Volumes.size())
        return ERR_VOLUME_NOT_FOUND;
    const TSimVolume& v = s.Volumes[number];
    info.Name = v.NameOem;
    info.VolumeObjectID = v.Object >= 0 ? FWorld->Trees[s.Tree].Objects[v.Object].Id : 0;
    return NW_OK;
}

NWCCODE TSimClient::BinderyObjectName(NWHandle conn, uint32_t id, std::string& name,
                                      uint16_t& type) {
    const backend::TConnection* c = nullptr;
    if (NWCCODE code = OpenConn(conn, c); code != NW_OK)
        return code;
    const int32_t tree = FWorld->Servers[c->Server].Tree;
    TSel sel{tree};
    sel.Server = c->Server;
    sel.HasId = true;
    sel.Id = id;
    NWCCODE code;
    if (Injected(TSimOp::BinderyObjectName, sel, code))
        return code;
    if (tree < 0)
        return ERR_NO_SUCH_OBJECT;
    const TSimTree& t = FWorld->Trees[tree];
    int32_t object = t.FindId(id);
    if (object < 0)
        return ERR_NO_SUCH_OBJECT;
    const TSimObject& o = t.Objects[object];
    // The bindery knows users, groups, queues and servers, by upper-case names.
    if (FWorld->Schema.IsA(o.Class, "User"))
        type = 1;
    else if (FWorld->Schema.IsA(o.Class, "Group"))
        type = 2;
    else if (FWorld->Schema.IsA(o.Class, "Queue"))
        type = 3;
    else if (FWorld->Schema.IsA(o.Class, "NCP Server"))
        type = 4;
    else
        return ERR_NO_SUCH_OBJECT;
    name = U_UpperCase(o.Rdn);
    return NW_OK;
}

NWCCODE TSimClient::PathTrustees(NWHandle conn, uint8_t, const std::string& volPath,
                                 uint32_t& iteration, std::vector<TTrusteeEntry>& entries) {
    TVolRef ref;
    entries.clear();
    if (NWCCODE code = VolPathCall(TSimOp::PathTrustees, conn, volPath, ref); code != NW_OK)
        return code;
    const TSimDir& d = FWorld->Servers[ref.Server].Volumes[ref.Volume].Dirs[ref.Dir];
    // The iteration counts the calls: each hands out the next batch of the directory's list.
    const uint32_t batch = FWorld->Limits.TrusteeBatch;
    const uint64_t start = static_cast<uint64_t>(iteration) * batch;
    if (start >= d.Trustees.size())
        return ERR_NO_MORE_TRUSTEES;
    size_t pos = static_cast<size_t>(start);
    auto make = [&d](size_t i) { return d.Trustees[i]; };
    auto bytes = [](const TTrusteeEntry&) { return 0u; }; // no buffer bounds a trustee list
    NextBatch(pos, d.Trustees.size(), {batch}, entries, make, bytes);
    ++iteration;
    return NW_OK;
}

NWCCODE TSimClient::DirEntryInfo(NWHandle conn, uint8_t, const std::string& volPath,
                                 TDirEntryInfo& info) {
    TVolRef ref;
    if (NWCCODE code = VolPathCall(TSimOp::DirEntryInfo, conn, volPath, ref); code != NW_OK)
        return code;
    const TSimVolume& v = FWorld->Servers[ref.Server].Volumes[ref.Volume];
    const TSimDir& d = v.Dirs[ref.Dir];
    info.Name = (ref.Dir == 0 ? v.NameOem : d.NameOem).substr(0, 15);
    info.DateTime = d.Modified / 86400.0 + 25569.0;
    info.OwnerID = d.Owner;
    info.RightsMask = ref.Dir == 0 ? 0xFF : d.Irm;
    return NW_OK;
}

NWCCODE TSimClient::StartDirSearch(NWHandle conn, uint8_t, const std::string& volPath,
                                   uint8_t& searchDir, uint16_t& dirNumber) {
    TVolRef ref;
    if (NWCCODE code = VolPathCall(TSimOp::StartDirSearch, conn, volPath, ref); code != NW_OK)
        return code;
    searchDir = static_cast<uint8_t>(ref.Volume);
    dirNumber = static_cast<uint16_t>(ref.Dir);
    return NW_OK;
}

NWCCODE TSimClient::NextDirEntry(NWHandle conn, uint8_t searchDir, uint16_t dirNumber,
                                 uint16_t sequence, uint32_t attrMask, const std::string& pattern,
                                 TDirEntry& entry) {
    const backend::TConnection* c = nullptr;
    if (NWCCODE code = OpenConn(conn, c); code != NW_OK)
        return code;
    const TSimServer& s = FWorld->Servers[c->Server];
    if (searchDir >= s.Volumes.size() || dirNumber >= s.Volumes[searchDir].Dirs.size())
        return ERR_INVALID_PATH;
    const TSimVolume& v = s.Volumes[searchDir];
    const TSimDir& d = v.Dirs[dirNumber];
    TSel sel = ConnSel(*c);
    sel.Path = v.Name + ":" + d.Path;
    NWCCODE code;
    if (Injected(TSimOp::NextDirEntry, sel, code))
        return code;
    bool dirs = (attrMask & 0x10) != 0;
    size_t count = dirs ? d.Children.size() : d.Files.size();
    size_t start = sequence == 0xFFFF ? 0 : sequence;
    for (size_t i = start; i < count && i < 0xFFFE; ++i) {
        std::string name = dirs ? v.Dirs[d.Children[i]].NameOem : U_ConvertOem(d.Files[i], true);
        if (!pattern.empty() && !WildMatch(pattern, name, TWildStyle::FileName))
            continue;
        entry.Sequence = static_cast<uint16_t>(i + 1);
        entry.Name = name;
        entry.Attributes = dirs ? 0x10 : 0x20;
        return NW_OK;
    }
    return ERR_NO_MORE_ENTRIES;
}

} // namespace trovalen
