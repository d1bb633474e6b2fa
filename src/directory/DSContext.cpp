#include "directory/DSContext.h"

#include <cstring>

#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr NWHandle kNotStarted = 0xFFFF;
NWHandle primaryConn = kNotStarted;

// Tree names come back padded with "_" to 32 characters.
std::string CleanTreeName(const std::string& raw) {
    return U_TrimRightChars(raw.substr(0, 32), "_");
}

void SetCode(NWCCODE* out, NWCCODE code) {
    if (out != nullptr)
        *out = code;
}

// Reads a text key of a context; empty on failure, and the first "CN=" removed.
std::string ContextText(NWHandle ctx, uint32_t key) {
    TNWClient* client = NWClient();
    std::string value;
    if (client == nullptr || client->GetContextValue(ctx, key, value) != NW_OK)
        return std::string();
    U_Replace(value, "CN=", "", true, false);
    return value;
}

} // namespace

NWCCODE InitNetWare() {
    if (primaryConn != kNotStarted)
        return NW_OK;
    TNWClient* client = NWClient();
    NWCCODE code = ERR_CLIENT_NOT_STARTED;
    if (client != nullptr) {
        code = client->ClientStartup();
        if (code == NW_OK) {
            uint32_t iterator = 0;
            uint32_t ref = 0;
            code = client->EnumConnRefs(iterator, ref);
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
        U_NWShowError(code, code == 0xFFFF ? "Could not initialize NetWare Client. InitNetWare"
                                           : "Could not find server/tree connection. InitNetWare");
    return code;
}

void U_ResetNetWare() {
    primaryConn = kNotStarted;
}

NWHandle U_PrimaryConnHandle() {
    return primaryConn;
}

// Both lists walk the connection references; a tree is listed once, with the reference of its
// first connection.
static NWCCODE ListConnections(TStringList& list, bool trees) {
    TNWClient* client = NWClient();
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
        std::string name = trees ? U_GetTreeOfConnRef(ref) : U_GetServerOfConnRef(ref);
        if (name.empty() || (trees && list.IndexOf(name) >= 0))
            continue;
        list.Add(name, ref);
    } while (code == NW_OK);
    return NW_OK;
}

NWCCODE U_ListServers(TStringList& list) {
    return ListConnections(list, false);
}

NWCCODE U_ListTrees(TStringList& list) {
    return ListConnections(list, true);
}

namespace {
// One text item of a connection reference (ref) or an open connection (!ref); empty on failure.
template <typename TConn> std::string ConnText(TConn conn, uint32_t item, bool ref, NWCCODE* code) {
    TNWClient* client = NWClient();
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

std::string U_GetTreeOfConnRef(uint32_t ref, NWCCODE* code) {
    return CleanTreeName(ConnText(ref, NWCC_INFO_TREE_NAME, true, code));
}

std::string U_GetTreeOfConn(NWHandle conn, NWCCODE* code) {
    return CleanTreeName(ConnText(conn, NWCC_INFO_TREE_NAME, false, code));
}

std::string U_GetServerOfConnRef(uint32_t ref, NWCCODE* code) {
    return ConnText(ref, NWCC_INFO_SERVER_NAME, true, code);
}

std::string U_GetPrimaryTree() {
    TNWClient* client = NWClient();
    uint32_t ref = 0;
    if (client == nullptr || client->PrimaryConnRef(ref) != NW_OK)
        return std::string();
    return U_GetTreeOfConnRef(ref);
}

bool U_IsDSConnection(NWHandle conn) {
    TNWClient* client = NWClient();
    uint32_t value = 0;
    return client != nullptr && client->ConnInfo(conn, NWCC_INFO_DS_NAMES, value) == NW_OK &&
           value != 0;
}

NWCCODE U_GetConnRefByHandle(NWHandle conn, uint32_t& ref) {
    TNWClient* client = NWClient();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    return client->ConnInfo(conn, NWCC_INFO_CONN_REF, ref);
}

std::string U_DSGetTreeName(NWHandle ctx) {
    return ContextText(ctx, DCK_TREE_NAME);
}

std::string U_DSGetNameContext(NWHandle ctx) {
    return ContextText(ctx, DCK_NAME_CONTEXT);
}

NWCCODE U_DSSetContextFlags(NWHandle ctx, char op, uint32_t bits) {
    TNWClient* client = NWClient();
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

NWCCODE U_DSChangeCurrentTreeAndContext(NWHandle ctx, const std::string& tree,
                                        const std::string& nameContext, int /*reserved*/) {
    TNWClient* client = NWClient();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    if (!tree.empty() && !U_SameText(tree, U_DSGetTreeName(ctx))) {
        NWCCODE code = client->SetContextValue(ctx, DCK_TREE_NAME, tree);
        if (code != NW_OK)
            return code;
    }
    std::string context = nameContext.empty() ? U_DSDefaultContext(ctx) : nameContext;
    return client->SetContextValue(ctx, DCK_NAME_CONTEXT, U_DSUndotName(context));
}

NWCCODE U_DSChangeCurrentContext(NWHandle ctx, const std::string& nameContext) {
    return U_DSChangeCurrentTreeAndContext(ctx, std::string(), nameContext);
}

NWCCODE U_DSChangeCurrentTree(NWHandle ctx, const std::string& tree, int reserved) {
    return U_DSChangeCurrentTreeAndContext(ctx, tree, std::string(), reserved);
}

NWCCODE U_DSSetTreeOfConn(NWHandle ctx, NWHandle conn) {
    NWCCODE code = NW_OK;
    std::string tree = U_GetTreeOfConn(conn, &code);
    if (code != NW_OK)
        return code;
    return U_DSChangeCurrentTreeAndContext(ctx, tree, "[Root]");
}

std::string U_NWErrorText(NWCCODE code) {
    std::string text = U_Format("0x%.4X", static_cast<uint32_t>(code));
    std::string message = "Unknown error";
    if (TNWClient* client = NWClient()) {
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

void U_NWShowError(NWCCODE code, const std::string& what) {
    if (code == NW_OK)
        return;
    U_MessageBox(TMsgKind::Error,
                 U_Format("%s returned error %s", what.c_str(), U_NWErrorText(code).c_str()));
}

} // namespace trovalen
