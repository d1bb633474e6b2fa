// Client start-up, the attached servers and trees, the tree and user behind a connection, the
// switching of a context's tree and name context, and the text of a completion code.
#pragma once

#include <string>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// Starts the client once and opens the primary connection; shows its own error box on failure.
NWCCODE InitNetWare();
// Forgets the primary connection so that the next InitNetWare starts again (tests, a new client).
void U_ResetNetWare();
// The primary connection handle, 0xFFFF while the client is not started.
NWHandle U_PrimaryConnHandle();

NWCCODE U_ListServers(TStringList& list);
NWCCODE U_ListTrees(TStringList& list);
std::string U_GetTreeOfConnRef(uint32_t ref, NWCCODE* code = nullptr);
std::string U_GetTreeOfConn(NWHandle conn, NWCCODE* code = nullptr);
std::string U_GetServerOfConnRef(uint32_t ref, NWCCODE* code = nullptr);
std::string U_GetPrimaryTree();
bool U_IsDSConnection(NWHandle conn);
NWCCODE U_GetConnRefByHandle(NWHandle conn, uint32_t& ref);

std::string U_DSGetTreeName(NWHandle ctx);
std::string U_DSGetNameContext(NWHandle ctx);
NWCCODE U_DSSetContextFlags(NWHandle ctx, char op, uint32_t bits);
NWCCODE U_DSChangeCurrentTreeAndContext(NWHandle ctx, const std::string& tree,
                                        const std::string& nameContext, int reserved = 0);
NWCCODE U_DSChangeCurrentContext(NWHandle ctx, const std::string& nameContext);
NWCCODE U_DSChangeCurrentTree(NWHandle ctx, const std::string& tree, int reserved = 0);
NWCCODE U_DSSetTreeOfConn(NWHandle ctx, NWHandle conn);

// "0x%.4X (text)"; never fails.
std::string U_NWErrorText(NWCCODE code);
// "%s returned error %s" in an error box when code is not 0.
void U_NWShowError(NWCCODE code, const std::string& what);

} // namespace trovalen
