// Client start-up, the attached servers and trees, the tree and user behind a connection, the
// switching of a context's tree and name context, and the text of a completion code.
#pragma once

#include <string>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// Starts the client and opens the primary connection into primaryConn, unless primaryConn already
// holds one (it starts as NO_PRIMARY_CONN); shows its own error box on failure.
constexpr NWHandle NO_PRIMARY_CONN = 0xFFFF;
NWCCODE InitNetWare(TNWClient* client, NWHandle& primaryConn);
// The same over the process-wide client and its primary connection.
NWCCODE InitNetWare();
// Forgets the primary connection so that the next InitNetWare starts again (tests, a new client).
void U_ResetNetWare();
// The primary connection handle, 0xFFFF while the client is not started.
NWHandle U_PrimaryConnHandle();

NWCCODE U_ListServers(TNWClient* client, TStringList& list);
NWCCODE U_ListTrees(TNWClient* client, TStringList& list);
std::string U_GetTreeOfConnRef(TNWClient* client, uint32_t ref, NWCCODE* code = nullptr);
std::string U_GetTreeOfConn(TNWClient* client, NWHandle conn, NWCCODE* code = nullptr);
std::string U_GetServerOfConnRef(TNWClient* client, uint32_t ref, NWCCODE* code = nullptr);
std::string U_GetPrimaryTree(TNWClient* client);
bool U_IsDSConnection(TNWClient* client, NWHandle conn);
NWCCODE U_GetConnRefByHandle(TNWClient* client, NWHandle conn, uint32_t& ref);

std::string U_DSGetTreeName(TNWClient* client, NWHandle ctx);
std::string U_DSGetNameContext(TNWClient* client, NWHandle ctx);
NWCCODE U_DSSetContextFlags(TNWClient* client, NWHandle ctx, char op, uint32_t bits);
NWCCODE U_DSChangeCurrentTreeAndContext(TNWClient* client, NWHandle ctx, const std::string& tree,
                                        const std::string& nameContext, int reserved = 0);
NWCCODE U_DSChangeCurrentContext(TNWClient* client, NWHandle ctx, const std::string& nameContext);
NWCCODE U_DSChangeCurrentTree(TNWClient* client, NWHandle ctx, const std::string& tree,
                              int reserved = 0);
NWCCODE U_DSSetTreeOfConn(TNWClient* client, NWHandle ctx, NWHandle conn);

// "0x%.4X (text)"; never fails.
std::string U_NWErrorText(TNWClient* client, NWCCODE code);
// "%s returned error %s" in an error box when code is not 0.
void U_NWShowError(TNWClient* client, NWCCODE code, const std::string& what);

// Forwarding forms over the process-wide client, for callers that are not handed a client yet.
#ifndef TROVALEN_NO_CLIENT_SHIMS
inline NWCCODE U_ListServers(TStringList& list) {
    return U_ListServers(NWClient(), list);
}
inline NWCCODE U_ListTrees(TStringList& list) {
    return U_ListTrees(NWClient(), list);
}
inline std::string U_GetTreeOfConnRef(uint32_t ref, NWCCODE* code = nullptr) {
    return U_GetTreeOfConnRef(NWClient(), ref, code);
}
inline std::string U_GetTreeOfConn(NWHandle conn, NWCCODE* code = nullptr) {
    return U_GetTreeOfConn(NWClient(), conn, code);
}
inline std::string U_GetServerOfConnRef(uint32_t ref, NWCCODE* code = nullptr) {
    return U_GetServerOfConnRef(NWClient(), ref, code);
}
inline std::string U_GetPrimaryTree() {
    return U_GetPrimaryTree(NWClient());
}
inline bool U_IsDSConnection(NWHandle conn) {
    return U_IsDSConnection(NWClient(), conn);
}
inline NWCCODE U_GetConnRefByHandle(NWHandle conn, uint32_t& ref) {
    return U_GetConnRefByHandle(NWClient(), conn, ref);
}
inline std::string U_DSGetTreeName(NWHandle ctx) {
    return U_DSGetTreeName(NWClient(), ctx);
}
inline std::string U_DSGetNameContext(NWHandle ctx) {
    return U_DSGetNameContext(NWClient(), ctx);
}
inline NWCCODE U_DSSetContextFlags(NWHandle ctx, char op, uint32_t bits) {
    return U_DSSetContextFlags(NWClient(), ctx, op, bits);
}
inline NWCCODE U_DSChangeCurrentTreeAndContext(NWHandle ctx, const std::string& tree,
                                               const std::string& nameContext, int reserved = 0) {
    return U_DSChangeCurrentTreeAndContext(NWClient(), ctx, tree, nameContext, reserved);
}
inline NWCCODE U_DSChangeCurrentContext(NWHandle ctx, const std::string& nameContext) {
    return U_DSChangeCurrentContext(NWClient(), ctx, nameContext);
}
inline NWCCODE U_DSChangeCurrentTree(NWHandle ctx, const std::string& tree, int reserved = 0) {
    return U_DSChangeCurrentTree(NWClient(), ctx, tree, reserved);
}
inline NWCCODE U_DSSetTreeOfConn(NWHandle ctx, NWHandle conn) {
    return U_DSSetTreeOfConn(NWClient(), ctx, conn);
}
inline std::string U_NWErrorText(NWCCODE code) {
    return U_NWErrorText(NWClient(), code);
}
inline void U_NWShowError(NWCCODE code, const std::string& what) {
    return U_NWShowError(NWClient(), code, what);
}
#endif

} // namespace trovalen
