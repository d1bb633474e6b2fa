// Connections: one connection, to the LDAP server, whose tree is the one the root DSE names. No
// file server is reached over LDAP: the client has no file-server part.
#include "backend/ldap/LdapClient.h"

#include <memory>

namespace trovalen {

namespace {

constexpr uint32_t kConnRef = 1;
constexpr size_t kTreeNameChars = 32;

std::string PaddedTree(const std::string& name) {
    std::string out = name;
    if (out.size() < kTreeNameChars)
        out.append(kTreeNameChars - out.size(), '_');
    return out;
}

} // namespace

NWCCODE TLdapClient::EnumConnRefs(uint32_t& iterator, uint32_t& ref) {
    if (!FConnected || iterator >= 1)
        return ERR_NO_MORE_ENTRIES;
    ++iterator;
    ref = kConnRef;
    return NW_OK;
}

NWCCODE TLdapClient::PrimaryConnRef(uint32_t& ref) {
    if (!FConnected)
        return ERR_NO_CONNECTION;
    ref = kConnRef;
    return NW_OK;
}

NWCCODE TLdapClient::OpenConnByRef(uint32_t ref, uint32_t, uint32_t, NWHandle& conn) {
    if (!FConnected || ref != kConnRef)
        return ERR_INVALID_CONNECTION;
    if (FConns.Full())
        return ERR_NO_CONNECTION;
    conn = NewHandle();
    FConns.Add(conn, std::make_unique<int32_t>(0));
    return NW_OK;
}

NWCCODE TLdapClient::CloseConn(NWHandle conn) {
    return FConns.Free(conn);
}

NWCCODE TLdapClient::ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) {
    if (!FConnected || ref != kConnRef)
        return ERR_INVALID_CONNECTION;
    if (item == NWCC_INFO_TREE_NAME) {
        text = PaddedTree(FTreeName);
        return NW_OK;
    }
    if (item == NWCC_INFO_SERVER_NAME) {
        text = FServerName;
        return NW_OK;
    }
    return ERR_BAD_VERB;
}

NWCCODE TLdapClient::ConnInfo(NWHandle conn, uint32_t item, std::string& text) {
    if (!FConns.Has(conn))
        return ERR_INVALID_CONNECTION;
    return ConnRefInfo(kConnRef, item, text);
}

NWCCODE TLdapClient::ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) {
    if (!FConns.Has(conn))
        return ERR_INVALID_CONNECTION;
    switch (item) {
    case NWCC_INFO_CONN_REF:
        value = kConnRef;
        return NW_OK;
    case NWCC_INFO_USER_ID:
        value = 0; // LDAP has no object IDs
        return NW_OK;
    case NWCC_INFO_DS_NAMES:
        value = 1;
        return NW_OK;
    default:
        return ERR_BAD_VERB;
    }
}

} // namespace trovalen
