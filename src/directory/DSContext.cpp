#include "directory/DSContext.h"

#include <cstring>

#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "model/RightsModel.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr NWHandle kNotStarted = NO_PRIMARY_CONN;

// Tree names come back padded with "_" to 32 characters.
std::string CleanTreeName(const std::string& raw) {
    return U_TrimRightChars(raw.substr(0, 32), "_");
}

void SetCode(NWCCODE* out, NWCCODE code) {
    if (out != nullptr)
        *out = code;
}

// Reads a text key of a context; empty on failure, and the first "CN=" removed.
std::string ContextText(TNWClient* client, NWHandle ctx, uint32_t key) {
    std::string value;
    if (client == nullptr || client->GetContextValue(ctx, key, value) != NW_OK)
        return std::string();
    U_Replace(value, "CN=", "", true, false);
    return value;
}

} // namespace

namespace {

NWCCODE StartClient(TNWClient* client, NWHandle& primaryConn, bool withoutConn) {
    if (primaryConn != kNotStarted)
        return NW_OK;
    NWCCODE code = ERR_CLIENT_NOT_STARTED;
    if (client != nullptr) {
        code = client->ClientStartup();
        if (code == NW_OK) {
            uint32_t iterator = 0;
            uint32_t ref = 0;
            code = client->EnumConnRefs(iterator, ref);
            if (code == ERR_NO_MORE_ENTRIES && withoutConn)
                return NW_OK; // no connection at all: started, without a primary one
            if (code == NW_OK) {
                uint32_t primary = 0;
                if (client->PrimaryConnRef(primary) == NW_OK)
                    ref = primary;
                NWHandle conn = kNotStarted;
                code = client->OpenConnByRef(ref, 1, 0, conn);
                if (code == NW_OK)
                    primaryConn = conn;
            }
        }
    }
    code &= 0xFFFF;
    if (code != NW_OK)
        U_NWShowError(client, code,
                      code == 0xFFFF ? "Could not initialize NetWare Client. InitNetWare"
                                     : "Could not find server/tree connection. InitNetWare");
    return code;
}

} // namespace

NWCCODE InitNetWare(TNWClient* client, NWHandle& primaryConn) {
    return StartClient(client, primaryConn, false);
}

NWCCODE InitNetWareWithoutConn(TNWClient* client, NWHandle& primaryConn) {
    return StartClient(client, primaryConn, true);
}

// Both lists walk the connection references; a tree is listed once, with the reference of its
// first connection.
static NWCCODE ListConnections(TNWClient* client, TStringList& list, bool trees) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    uint32_t iterator = 0;
    NWCCODE code = NW_OK;
    do {
        uint32_t ref = 0;
        code = client->EnumConnRefs(iterator, ref);
        U_ProcessMessages();
        if (code != NW_OK)
            break;
        std::string name =
            trees ? U_GetTreeOfConnRef(client, ref) : U_GetServerOfConnRef(client, ref);
        if (name.empty() || (trees && list.IndexOf(name) >= 0))
            continue;
        list.Add(name, ref);
    } while (code == NW_OK);
    return NW_OK;
}

NWCCODE U_ListServers(TNWClient* client, TStringList& list) {
    return ListConnections(client, list, false);
}

NWCCODE U_ListTrees(TNWClient* client, TStringList& list) {
    return ListConnections(client, list, true);
}

namespace {
// One text item of a connection reference (ref) or an open connection (!ref); empty on failure.
template <typename TConn>
std::string ConnText(TNWClient* client, TConn conn, uint32_t item, bool ref, NWCCODE* code) {
    std::string text;
    NWCCODE rc = ERR_CLIENT_NOT_STARTED;
    if (client != nullptr)
        rc = ref ? client->ConnRefInfo(static_cast<uint32_t>(conn), item, text)
                 : client->ConnInfo(static_cast<NWHandle>(conn), item, text);
    SetCode(code, rc);
    if (rc != NW_OK)
        text.clear();
    return text;
}
} // namespace

std::string U_GetTreeOfConnRef(TNWClient* client, uint32_t ref, NWCCODE* code) {
    return CleanTreeName(ConnText(client, ref, NWCC_INFO_TREE_NAME, true, code));
}

std::string U_GetTreeOfConn(TNWClient* client, NWHandle conn, NWCCODE* code) {
    return CleanTreeName(ConnText(client, conn, NWCC_INFO_TREE_NAME, false, code));
}

std::string U_GetServerOfConnRef(TNWClient* client, uint32_t ref, NWCCODE* code) {
    return ConnText(client, ref, NWCC_INFO_SERVER_NAME, true, code);
}

std::string U_GetPrimaryTree(TNWClient* client) {
    uint32_t ref = 0;
    if (client == nullptr || client->PrimaryConnRef(ref) != NW_OK)
        return std::string();
    return U_GetTreeOfConnRef(client, ref);
}

bool U_IsDSConnection(TNWClient* client, NWHandle conn) {
    uint32_t value = 0;
    return client != nullptr && client->ConnInfo(conn, NWCC_INFO_DS_NAMES, value) == NW_OK &&
           value != 0;
}

NWCCODE U_GetConnRefByHandle(TNWClient* client, NWHandle conn, uint32_t& ref) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    return client->ConnInfo(conn, NWCC_INFO_CONN_REF, ref);
}

std::string U_DSGetTreeName(TNWClient* client, NWHandle ctx) {
    return ContextText(client, ctx, DCK_TREE_NAME);
}

std::string U_DSGetNameContext(TNWClient* client, NWHandle ctx) {
    return ContextText(client, ctx, DCK_NAME_CONTEXT);
}

NWCCODE U_DSSetContextFlags(TNWClient* client, NWHandle ctx, char op, uint32_t bits) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    uint32_t flags = 0;
    // Without the current flags a write would replace them with a guess.
    NWCCODE code = client->GetContextValue(ctx, DCK_FLAGS, flags);
    if (code != NW_OK)
        return code;
    if (op == '+')
        flags |= bits;
    else if (op == '-')
        flags &= ~bits;
    return client->SetContextValue(ctx, DCK_FLAGS, flags);
}

NWCCODE U_DSChangeCurrentTreeAndContext(TNWClient* client, NWHandle ctx, const std::string& tree,
                                        const std::string& nameContext, int /*reserved*/) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    if (!tree.empty() && !U_SameText(tree, U_DSGetTreeName(client, ctx))) {
        NWCCODE code = client->SetContextValue(ctx, DCK_TREE_NAME, tree);
        if (code != NW_OK)
            return code;
    }
    std::string context = nameContext.empty() ? U_DSDefaultContext(client, ctx) : nameContext;
    return client->SetContextValue(ctx, DCK_NAME_CONTEXT, U_DSUndotName(context));
}

NWCCODE U_DSChangeCurrentContext(TNWClient* client, NWHandle ctx, const std::string& nameContext) {
    return U_DSChangeCurrentTreeAndContext(client, ctx, std::string(), nameContext);
}

NWCCODE U_DSChangeCurrentTree(TNWClient* client, NWHandle ctx, const std::string& tree,
                              int reserved) {
    return U_DSChangeCurrentTreeAndContext(client, ctx, tree, std::string(), reserved);
}

NWCCODE U_DSSetTreeOfConn(TNWClient* client, NWHandle ctx, NWHandle conn) {
    NWCCODE code = NW_OK;
    std::string tree = U_GetTreeOfConn(client, conn, &code);
    if (code != NW_OK)
        return code;
    return U_DSChangeCurrentTreeAndContext(client, ctx, tree, std::string(kRoot));
}

std::string U_NWErrorText(TNWClient* client, NWCCODE code) {
    std::string text = U_Format("0x%.4X", static_cast<uint32_t>(code));
    std::string message = "Unknown error";
    if (client != nullptr) {
        // A client that cannot tell its text leaves the system's text for the code.
        try {
            message = client->ErrorText(code);
        } catch (...) {
            message = "Unknown error";
        }
    }
    if (message == "Unknown error")
        message = std::strerror(static_cast<int>(code));
    return U_Format("%s (%s)", text.c_str(), message.c_str());
}

void U_NWShowError(TNWClient* client, NWCCODE code, const std::string& what) {
    if (code == NW_OK)
        return;
    U_MessageBox(TMsgKind::Error, U_Format("%s returned error %s", what.c_str(),
                                           U_NWErrorText(client, code).c_str()));
}

} // namespace trovalen
