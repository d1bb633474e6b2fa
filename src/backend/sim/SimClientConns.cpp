// Connections: the tree file's connections and trees as the shared mechanics hand them out, and
// what an injected failure of a file-server call on a connection is matched against.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"

namespace trovalen {

using namespace sim;

// --- Connections --------------------------------------------------------------------------------

std::vector<backend::TConnection> TSimClient::MakeConnections(const TSimWorld& world) {
    std::vector<backend::TConnection> out;
    out.reserve(world.Conns.size());
    for (const TSimConn& sc : world.Conns) {
        backend::TConnection& c = out.emplace_back();
        c.Ref = sc.Ref;
        c.Tree = sc.Tree;
        c.Server = sc.Server;
        c.ServerName = world.Servers[sc.Server].Name;
        c.UserId = sc.User >= 0 ? world.Trees[sc.Tree].Objects[sc.User].Id : 0;
        c.Primary = sc.Primary;
    }
    return out;
}

std::string TSimClient::TreeName(int32_t tree) const {
    return FWorld->Trees[tree].Name;
}

void TSimClient::ConnClosed(NWHandle conn) {
    for (auto& p : FPathConns)
        if (p == conn)
            p = 0;
}

TSimClient::TSel TSimClient::ConnSel(const backend::TConnection& c) {
    TSel sel{c.Tree};
    sel.Server = c.Server;
    return sel;
}

} // namespace trovalen
