// Connections and trees: the workstation's connections as the back end lists them, the handles of
// those opened, their information items, and which tree a context starts in or is moved to.
#include "backend/common/ClientBase.h"

#include <memory>

#include "util/Util.h"

namespace trovalen::backend {

namespace {

// Tree names come back from the connection calls padded with "_" to this length.
constexpr size_t kTreeNameChars = 32;

std::string PaddedTree(const std::string& name) {
    std::string out = name;
    if (out.size() < kTreeNameChars)
        out.append(kTreeNameChars - out.size(), '_');
    return out;
}

TStepOn On(const TConnection& c) {
    TStepOn on;
    on.Tree = c.Tree;
    on.Server = c.Server;
    return on;
}

} // namespace

void TClientBase::ConnClosed(NWHandle) {}

int32_t TClientBase::DefaultTree() const {
    int32_t tree = -1;
    for (const TConnection& c : Connections())
        if (c.Primary)
            tree = c.Tree;
    // Without a primary connection a context starts in the first tree; with no connection at all
    // there is a default tree only when just one is known, as none of several is more the
    // workstation's than another.
    const size_t trees = TreeCount();
    if (tree < 0 && trees > 0 && (!Connections().empty() || trees == 1))
        tree = 0;
    return tree;
}

NWCCODE TClientBase::FindTree(const std::string& value, int32_t& tree) const {
    auto find = [this](const std::string& lower) {
        for (size_t i = 0; i < TreeCount(); ++i)
            if (U_LowerCase(TreeName(static_cast<int32_t>(i))) == lower)
                return static_cast<int32_t>(i);
        return -1;
    };
    // Either spelling is taken: the name as the connection calls pad it, or without the padding.
    std::string name = U_LowerCase(value.substr(0, kTreeNameChars));
    int32_t found = find(name);
    while (found < 0 && !name.empty() && name.back() == '_') {
        name.pop_back();
        found = find(name);
    }
    tree = found;
    return found < 0 ? ERR_NO_CONNECTION : NW_OK;
}

NWCCODE TClientBase::OpenConn(NWHandle conn, const TConnection*& c) const {
    c = nullptr;
    int32_t* index = nullptr;
    NWCCODE code = FConns.Lookup(conn, index);
    if (code != NW_OK)
        return code;
    const std::vector<TConnection>& conns = Connections();
    // A back end that lost its server lists no connection any more.
    if (*index < 0 || static_cast<size_t>(*index) >= conns.size())
        return ERR_INVALID_CONNECTION;
    c = &conns[*index];
    return NW_OK;
}

const TConnection* TClientBase::ConnByRef(uint32_t ref) const {
    for (const TConnection& c : Connections())
        if (c.Ref == ref)
            return &c;
    return nullptr;
}

NWCCODE TClientBase::ConnText(TStep step, const TConnection& c, uint32_t item, std::string& text) {
    NWCCODE code;
    if (Planted(step, On(c), code))
        return code;
    if (item == NWCC_INFO_TREE_NAME) {
        text = c.Tree >= 0 ? PaddedTree(TreeName(c.Tree)) : std::string();
        return NW_OK;
    }
    if (item == NWCC_INFO_SERVER_NAME) {
        text = c.ServerName;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

NWCCODE TClientBase::EnumConnRefs(uint32_t& iterator, uint32_t& ref) {
    NWCCODE code;
    if (Planted(TStep::EnumConnRefs, {}, code))
        return code;
    const std::vector<TConnection>& conns = Connections();
    if (iterator >= conns.size())
        return ERR_NO_MORE_ENTRIES;
    ref = conns[iterator++].Ref;
    return NW_OK;
}

NWCCODE TClientBase::PrimaryConnRef(uint32_t& ref) {
    NWCCODE code;
    if (Planted(TStep::PrimaryConnRef, {}, code))
        return code;
    for (const TConnection& c : Connections())
        if (c.Primary) {
            ref = c.Ref;
            return NW_OK;
        }
    return ERR_NO_CONNECTION;
}

NWCCODE TClientBase::OpenConnByRef(uint32_t ref, uint32_t, uint32_t, NWHandle& conn) {
    const std::vector<TConnection>& conns = Connections();
    for (size_t i = 0; i < conns.size(); ++i) {
        if (conns[i].Ref != ref)
            continue;
        NWCCODE code;
        if (Planted(TStep::OpenConnByRef, On(conns[i]), code))
            return code;
        if (FConns.Full())
            return ERR_NO_CONNECTION;
        conn = NewHandle();
        FConns.Add(conn, std::make_unique<int32_t>(static_cast<int32_t>(i)));
        return NW_OK;
    }
    return ERR_INVALID_CONNECTION;
}

NWCCODE TClientBase::CloseConn(NWHandle conn) {
    NWCCODE code = FConns.Free(conn);
    if (code == NW_OK)
        ConnClosed(conn);
    return code;
}

NWCCODE TClientBase::ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) {
    const TConnection* c = ConnByRef(ref);
    return c != nullptr ? ConnText(TStep::ConnRefInfo, *c, item, text) : ERR_INVALID_CONNECTION;
}

NWCCODE TClientBase::ConnInfo(NWHandle conn, uint32_t item, std::string& text) {
    const TConnection* c = nullptr;
    if (NWCCODE code = OpenConn(conn, c); code != NW_OK)
        return code;
    return ConnText(TStep::ConnInfo, *c, item, text);
}

NWCCODE TClientBase::ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) {
    const TConnection* c = nullptr;
    NWCCODE code = OpenConn(conn, c);
    if (code != NW_OK || Planted(TStep::ConnInfo, On(*c), code))
        return code;
    switch (item) {
    case NWCC_INFO_CONN_REF:
        value = c->Ref;
        return NW_OK;
    case NWCC_INFO_USER_ID:
        value = c->UserId;
        return NW_OK;
    case NWCC_INFO_DS_NAMES:
        value = c->Tree >= 0 ? 1 : 0;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

} // namespace trovalen::backend
