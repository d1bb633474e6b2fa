#include "rights/ScanSession.h"

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "model/RightsModel.h"
#include "util/Platform.h"

namespace trovalen {

namespace {

// Contexts of the session give and take names without type prefixes.
void SetTypeless(TNWClient* client, const TNewContext& ctx) {
    if (ctx.Held)
        U_DSSetContextFlags(client, ctx.Handle, '+', DCV_TYPELESS_NAMES);
}

} // namespace

TScanSession::TScanSession(TNWClient* client, TContextMemory* memory)
    : FClient(client), FMemory(memory) {
    // The client's start-up shows its own error box. Without a client there is nothing to
    // start: whoever failed to build it has said why, and a second box would only repeat it
    // with less to tell.
    if (FClient == nullptr)
        return;
    // A client without any connection (a tree file made from a directory export) starts too:
    // its directory is read without a primary connection.
    NWHandle primary = NO_PRIMARY_CONN;
    FStartCode = InitNetWareWithoutConn(FClient, primary);
    if (Started() && primary != NO_PRIMARY_CONN)
        FPrimaryConn = TClientConn(FClient, primary);
}

TScanSession::~TScanSession() = default;

// --- File system --------------------------------------------------------------------------------

NWCCODE TScanSession::OpenScanContext() {
    if (FScanContext.Held)
        return NW_OK;
    FScanContext = TNewContext(FClient);
    SetTypeless(FClient, FScanContext);
    return FScanContext.Code;
}

NWCCODE TScanSession::ListServers(TStringList& servers) {
    NWCCODE code = OpenScanContext();
    if (code != NW_OK)
        return code;
    return U_ListServers(FClient, servers);
}

NWCCODE TScanSession::OpenServer(const std::string& name, uint32_t ref) {
    FConnection.Free();
    FServerChosen = true;
    FFolderConn = NO_CONNECTION;
    FServerName = name;
    FVolumeName.clear();
    FDirPath.clear();
    FConnection = TOpenConn(FClient, ref);
    return FConnection.Code;
}

NWHandle TScanSession::ConnHandle() const {
    if (FFolderConn != NO_CONNECTION)
        return FFolderConn;
    return FServerChosen ? FConnection.Handle : PrimaryConn();
}

std::string TScanSession::ConnUserName() const {
    return U_GetConnUserName(FClient, FServerChosen ? FConnection.Handle : PrimaryConn());
}

std::string TScanSession::MissingFileServers() const {
    if (FClient == nullptr || FClient->FileServer() != nullptr)
        return std::string();
    return "this directory has no file servers: folders and their trustees cannot be scanned";
}

NWCCODE TScanSession::ResolveFolder(const std::string& path) {
    FVolumeName.clear();
    FDirPath.clear();
    FSelectedPath = U_ConvertPath(path, PATH_SHORT_FORM);
    TNWPath nwPath;
    nwPath.ConnHandle = ConnHandle();
    NWCCODE code = U_PathToNWPath(FClient, FSelectedPath, nwPath);
    if (code == NW_OK) {
        // The folder's connection is the client's own: it is used, never closed here.
        FFolderConn = nwPath.ConnHandle;
        FServerName = nwPath.Server;
        FVolumeName = nwPath.Volume;
        FDirPath = nwPath.DirPath;
    }
    return code;
}

// --- eDirectory ---------------------------------------------------------------------------------

NWCCODE TScanSession::ListTrees(TStringList& trees, std::string& primary) {
    // The trees are listed even when a context cannot be made; choosing one then says why.
    OpenTreeContexts();
    NWCCODE code = FClient != nullptr ? U_ListTrees(FClient, trees) : ERR_CLIENT_NOT_STARTED;
    primary = PrimaryTree();
    if (trees.Count() == 0 && !primary.empty())
        trees.Add(primary);
    return code;
}

std::string TScanSession::PrimaryTree() const {
    if (FClient == nullptr)
        return std::string();
    if (!Started() || FPrimaryConn.Held)
        return U_GetPrimaryTree(FClient);
    // Without any connection the tree is the client's default one, the tree a new context
    // starts in (a tree file without connections has one when it holds a single tree).
    TNewContext probe(FClient);
    return probe.Held ? U_DSGetTreeName(FClient, probe.Handle) : std::string();
}

NWCCODE TScanSession::OpenTreeContexts() {
    if (!FBrowseContext.Held)
        FBrowseContext = TNewContext(FClient);
    if (!FUserContext.Held)
        FUserContext = TNewContext(FClient);
    return FBrowseContext.Code != NW_OK ? FBrowseContext.Code : FUserContext.Code;
}

void TScanSession::KeepCurrentContext() {
    if (!FCurrentTree.empty() && FMemory != nullptr)
        FMemory->KeepContext(FCurrentTree, FCurrentContext);
}

NWCCODE TScanSession::ChooseTree(const std::string& tree) {
    KeepCurrentContext();
    if (tree.empty())
        return NW_OK;
    FCurrentTree = tree;
    FCurrentContext =
        FMemory != nullptr ? FMemory->RecallContext(FCurrentTree) : std::string(kRoot);
    NWCCODE code = OpenTreeContexts();
    if (code != NW_OK)
        return code;
    U_DSChangeCurrentTree(FClient, FBrowseContext.Handle, FCurrentTree, 0);
    code = U_DSChangeCurrentTree(FClient, FUserContext.Handle, FCurrentTree, 0);
    U_DSChangeCurrentContext(FClient, FBrowseContext.Handle, FCurrentContext);
    U_DSChangeCurrentContext(FClient, FUserContext.Handle, std::string(kRoot));
    SetTypeless(FClient, FBrowseContext);
    SetTypeless(FClient, FUserContext);
    return code;
}

std::string TScanSession::CurrentUser() const {
    return FUserContext.Held ? U_DSCurrentUser(FClient, FUserContext.Handle) : std::string();
}

NWCCODE TScanSession::ListContainer(std::string& current, TStringList& containers,
                                    TStringList& objects) {
    containers.Clear();
    objects.Clear();
    NWHandle browse = FBrowseContext.Held ? FBrowseContext.Handle : 0;
    current = U_DSDotName(U_DSGetNameContext(FClient, browse));
    FListedContainer = current;
    NWCCODE code =
        U_DSListContainer(FClient, browse, current, &containers, true, std::string(), &objects);
    containers.Sort();
    if (current != kRoot)
        containers.Insert(0, kUpEntry);
    else
        objects.Insert(0, kRootEntry, kRootEntryPrefix);
    FCurrentContext = U_DSDotName(U_DSGetNameContext(FClient, browse));
    return code;
}

NWCCODE TScanSession::OpenContainer(const std::string& entry) {
    if (!FBrowseContext.Held)
        return FBrowseContext.Code;
    return U_DSChangeCurrentContext(FClient, FBrowseContext.Handle,
                                    U_DSCombineName(FListedContainer, entry));
}

NWCCODE TScanSession::ResolveObject(const std::string& entry, int prefix, std::string& full) {
    full.clear();
    if (!FBrowseContext.Held)
        return FBrowseContext.Code;
    size_t start = prefix > 0 ? static_cast<size_t>(prefix) : 0;
    std::string name = start < entry.size() ? entry.substr(start) : std::string();
    NWCCODE code = U_DSGetDN(FClient, FBrowseContext.Handle, name, full);
    // A name that cannot be resolved gives no nameless entry.
    if (full.empty())
        return code != NW_OK ? code : ERR_NOT_FOUND;
    return code;
}

// --- Scan ---------------------------------------------------------------------------------------

void TScanSession::Scan(TScanRequest& request, TScanHost& host, TScanResult& result) {
    if (!request.Edir && Started())
        OpenScanContext();
    request.Client = FClient;
    request.ConnHandle = ConnHandle();
    request.ScanContext = FScanContext.Held ? FScanContext.Handle : 0;
    request.UserContext = FUserContext.Held ? FUserContext.Handle : 0;
    request.BrowseContext = FBrowseContext.Held ? FBrowseContext.Handle : 0;
    request.CurrentTree = FCurrentTree;
    TScanRun(request, host).Run(result);
}

} // namespace trovalen
