// The scan session: what both front ends hold between scans. It starts the client, keeps the
// primary connection, owns the contexts (scan, browse, user) and the connection of the chosen
// server, answers the selection pages (servers, folders, trees, containers, objects) and runs a
// scan with its own connection, contexts and tree filled into the request. It knows no window:
// where a tree's last container is kept is the front end's business, through TContextMemory.
#pragma once

#include <cstdint>
#include <string>

#include "directory/DSHandles.h"
#include "model/NWClient.h"
#include "rights/ScanRun.h"
#include "util/StringList.h"

namespace trovalen {

// The primary connection as the client's start-up opened it, closed with its holder.
struct TClientConn : THeldHandle {
    TClientConn() = default;
    TClientConn(TNWClient* client, NWHandle conn) : THeldHandle(client, &TNWClient::CloseConn) {
        Handle = conn;
        Hold(NW_OK);
    }
};

// The name context each tree was left in, kept between runs.
class TContextMemory {
public:
    virtual ~TContextMemory() = default;
    // The name context to restore when the tree is chosen ("[Root]" when none is kept).
    virtual std::string RecallContext(const std::string& tree) = 0;
    // The name context the tree is left in.
    virtual void KeepContext(const std::string& tree, const std::string& context) = 0;
};

// Texts of the container and object lists.
constexpr char kUpEntry[] = "[ .. ]";
constexpr char kRootEntry[] = "[Root]: [Root]";
constexpr int kRootEntryPrefix = 8; // "[Root]: "
// The user name of a connection that is not logged in.
constexpr char kNotAuthenticated[] = "<not authenticated>";

class TScanSession {
public:
    // client may be null (no tree file could be loaded): every operation then answers
    // ERR_CLIENT_NOT_STARTED, without a box of its own (the front end that could not build the
    // client says why). The client is started here; on failure it shows its own error box and
    // StartCode says why. memory may be null: every tree then starts at [Root].
    explicit TScanSession(TNWClient* client, TContextMemory* memory = nullptr);
    TScanSession(const TScanSession&) = delete;
    TScanSession& operator=(const TScanSession&) = delete;
    // Releases every context and the connection. The current tree's context is kept only when
    // another tree is chosen, as the settings have always had it.
    ~TScanSession();

    NWCCODE StartCode() const { return FStartCode; }
    bool Started() const { return FStartCode == NW_OK; }
    // The primary connection, opened by the start-up and closed with the session;
    // NO_CONNECTION when the client holds no connection at all.
    NWHandle PrimaryConn() const { return FPrimaryConn.Held ? FPrimaryConn.Handle : NO_CONNECTION; }

    // --- File system ----------------------------------------------------------------------
    // What it means that the client has no file-server part (a directory read over LDAP), in
    // words; empty while it has one. Without one, servers list none and no folder resolves
    // (ERR_NO_FILE_SERVER).
    std::string MissingFileServers() const;
    // Opens the scan context (once) and lists the servers: names with connection references.
    NWCCODE ListServers(TStringList& servers);
    // Closes the connection opened before and opens the server's. The server counts as
    // chosen even when the connection cannot be opened.
    NWCCODE OpenServer(const std::string& name, uint32_t ref);
    const std::string& ServerName() const { return FServerName; }
    // The connection a file-system scan uses: the chosen server's, or the connection of the
    // folder chosen last, or the primary connection while no server was chosen.
    NWHandle ConnHandle() const;
    // The user logged in on the chosen server's connection, kNotAuthenticated when none.
    std::string ConnUserName() const;
    // Resolves a chosen folder (a UNC path) to its server, volume and directory path.
    NWCCODE ResolveFolder(const std::string& path);
    const std::string& SelectedPath() const { return FSelectedPath; }
    const std::string& VolumeName() const { return FVolumeName; }
    const std::string& DirPath() const { return FDirPath; }

    // --- eDirectory -----------------------------------------------------------------------
    // The trees the client is attached to, each once, and the primary connection's tree. A
    // client without any connection lists its default tree, if it has one.
    NWCCODE ListTrees(TStringList& trees, std::string& primary);
    // The primary connection's tree; without any connection, the client's default tree (the one
    // a new context starts in), empty when it has none.
    std::string PrimaryTree() const;
    // Keeps the current tree's context, then points the browse and user contexts at the tree:
    // the browse context at the tree's kept context, the user context at [Root]. Answers the
    // user context's code. An empty name only keeps the current tree's context.
    NWCCODE ChooseTree(const std::string& tree);
    const std::string& CurrentTree() const { return FCurrentTree; }
    const std::string& CurrentContext() const { return FCurrentContext; }
    // The user logged in to the current tree.
    std::string CurrentUser() const;
    // Lists the current container: its containers sorted, with kUpEntry first below the root;
    // its objects as "Class: Name" with the class prefix length as value, with kRootEntry
    // first at the root. current is the container's dotted name.
    NWCCODE ListContainer(std::string& current, TStringList& containers, TStringList& objects);
    // Changes to a container listed by ListContainer (kUpEntry: the one above).
    NWCCODE OpenContainer(const std::string& entry);
    // The full name of an object listed by ListContainer; ERR_NOT_FOUND when it has none.
    NWCCODE ResolveObject(const std::string& entry, int prefix, std::string& full);

    // --- Scan -----------------------------------------------------------------------------
    // Fills the request's connection, contexts and tree, and runs the scan.
    void Scan(TScanRequest& request, TScanHost& host, TScanResult& result);

private:
    NWCCODE OpenScanContext();
    NWCCODE OpenTreeContexts();
    void KeepCurrentContext();

    TNWClient* FClient;
    TContextMemory* FMemory;
    NWCCODE FStartCode = ERR_CLIENT_NOT_STARTED;
    TClientConn FPrimaryConn;

    TNewContext FScanContext;
    TOpenConn FConnection;
    bool FServerChosen = false;
    NWHandle FFolderConn = NO_CONNECTION; // the client's own connection of the last folder
    std::string FServerName;
    std::string FSelectedPath;
    std::string FVolumeName;
    std::string FDirPath;

    TNewContext FBrowseContext;
    TNewContext FUserContext;
    std::string FCurrentTree;
    std::string FCurrentContext;
    std::string FListedContainer;
};

} // namespace trovalen
