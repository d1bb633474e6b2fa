// Connections: references, open connections and their information items.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"

#include <memory>

namespace trovalen {

using namespace sim;

// --- Connections --------------------------------------------------------------------------------

namespace {

std::string PaddedTree(const std::string& name) {
    std::string out = name;
    if (out.size() < 32)
        out.append(32 - out.size(), '_');
    return out;
}

} // namespace

NWCCODE TSimClient::Conn(NWHandle conn, const TSimConn*& c) const {
    int32_t* index = nullptr;
    NWCCODE code = FConns.Lookup(conn, index);
    c = code == NW_OK ? &FWorld->Conns[*index] : nullptr;
    return code;
}

TSimClient::TSel TSimClient::ConnSel(const TSimConn& c) {
    TSel sel{c.Tree};
    sel.Server = c.Server;
    return sel;
}

NWCCODE TSimClient::ConnText(TSimOp op, const TSimConn& c, uint32_t item, std::string& text) const {
    NWCCODE code;
    if (Injected(op, ConnSel(c), code))
        return code;
    if (item == NWCC_INFO_TREE_NAME) {
        text = c.Tree >= 0 ? PaddedTree(FWorld->Trees[c.Tree].Name) : std::string();
        return NW_OK;
    }
    if (item == NWCC_INFO_SERVER_NAME) {
        text = FWorld->Servers[c.Server].Name;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

NWCCODE TSimClient::EnumConnRefs(uint32_t& iterator, uint32_t& ref) {
    NWCCODE code;
    if (Injected(TSimOp::EnumConnRefs, code))
        return code;
    if (iterator >= FWorld->Conns.size())
        return ERR_NO_MORE_ENTRIES;
    ref = FWorld->Conns[iterator++].Ref;
    return NW_OK;
}

NWCCODE TSimClient::PrimaryConnRef(uint32_t& ref) {
    NWCCODE code;
    if (Injected(TSimOp::PrimaryConnRef, code))
        return code;
    for (const TSimConn& c : FWorld->Conns)
        if (c.Primary) {
            ref = c.Ref;
            return NW_OK;
        }
    return ERR_NO_CONNECTION;
}

NWCCODE TSimClient::OpenConnByRef(uint32_t ref, uint32_t, uint32_t, NWHandle& conn) {
    for (size_t i = 0; i < FWorld->Conns.size(); ++i) {
        if (FWorld->Conns[i].Ref != ref)
            continue;
        NWCCODE code;
        if (Injected(TSimOp::OpenConnByRef, ConnSel(FWorld->Conns[i]), code))
            return code;
        if (FConns.Full())
            return ERR_NO_CONNECTION;
        conn = NewHandle();
        FConns.Add(conn, std::make_unique<int32_t>(static_cast<int32_t>(i)));
        return NW_OK;
    }
    return ERR_INVALID_CONNECTION;
}

NWCCODE TSimClient::CloseConn(NWHandle conn) {
    NWCCODE code = FConns.Free(conn);
    if (code == NW_OK)
        for (auto& p : FPathConns)
            if (p == conn)
                p = 0;
    return code;
}

NWCCODE TSimClient::ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) {
    for (const TSimConn& c : FWorld->Conns)
        if (c.Ref == ref)
            return ConnText(TSimOp::ConnRefInfo, c, item, text);
    return ERR_INVALID_CONNECTION;
}

NWCCODE TSimClient::ConnInfo(NWHandle conn, uint32_t item, std::string& text) {
    const TSimConn* c = nullptr;
    if (NWCCODE code = Conn(conn, c); code != NW_OK)
        return code;
    return ConnText(TSimOp::ConnInfo, *c, item, text);
}

NWCCODE TSimClient::ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) {
    const TSimConn* c = nullptr;
    NWCCODE code = Conn(conn, c);
    if (code != NW_OK || Injected(TSimOp::ConnInfo, ConnSel(*c), code))
        return code;
    switch (item) {
    case NWCC_INFO_CONN_REF:
        value = c->Ref;
        return NW_OK;
    case NWCC_INFO_USER_ID:
        value = c->User >= 0 ? FWorld->Trees[c->Tree].Objects[c->User].Id : 0;
        return NW_OK;
    case NWCC_INFO_DS_NAMES:
        value = c->Tree >= 0 ? 1 : 0;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

} // namespace trovalen
