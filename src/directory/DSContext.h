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
// The same, except that a client which started and holds no connection at all (a tree file made
// from a directory export lists none) counts as started: primaryConn then stays NO_PRIMARY_CONN
// and no box is shown. The calls made to the client are the same.
NWCCODE InitNetWareWithoutConn(TNWClient* client, NWHandle& primaryConn);

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

} // namespace trovalen
