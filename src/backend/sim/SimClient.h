// The simulated NetWare client: serves the trees, servers, volumes and connections of a tree file
// through the client interface, as a real client would answer them. It only reads.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backend/common/ClientBase.h"
#include "backend/sim/SimModel.h"
#include "model/NWClient.h"

namespace trovalen {

namespace sim {
struct TRightsMemo;
}

class TSimClient : public backend::TClientBase, public TNWFileServer {
public:
    explicit TSimClient(std::shared_ptr<const sim::TSimWorld> world);
    ~TSimClient() override;

    const sim::TSimWorld& World() const { return *FWorld; }
    // Why the volumes could not all be created under the mount root at start-up (empty when
    // they were).
    const std::string& MountError() const { return FMountError; }
    // The effective rights of subject on object for attr, as EntryEffectiveRights answers them,
    // by object index in a tree (for tests and benchmarks).
    uint32_t EffectiveRights(int32_t tree, int32_t subject, int32_t object,
                             const std::string& attr) const;

    NWCCODE ClientStartup() override;
    std::string ErrorText(NWCCODE code) override;

    NWCCODE CurrentUserDN(NWHandle ctx, std::string& name) override;
    NWCCODE AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) override;
    NWCCODE MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) override;
    NWCCODE ServerDN(NWHandle ctx, NWHandle conn, std::string& name) override;

    NWCCODE ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                              TObjectSummary& summary) override;

    NWCCODE AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) override;

    NWCCODE EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                 const std::string& object, const std::string& attr,
                                 uint32_t& rights) override;

    // The file servers of the tree file.
    TNWFileServer* FileServer() override { return this; }
    NWCCODE ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                      std::string& volume, std::string& dirPath) override;
    NWCCODE VolumeNumber(NWHandle conn, const std::string& volume, uint32_t& number) override;
    NWCCODE VolumeInfo(NWHandle conn, uint32_t number, TVolumeInfo& info) override;
    NWCCODE BinderyObjectName(NWHandle conn, uint32_t id, std::string& name,
                              uint16_t& type) override;
    NWCCODE PathTrustees(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                         uint32_t& iteration, std::vector<TTrusteeEntry>& entries) override;
    NWCCODE DirEntryInfo(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                         TDirEntryInfo& info) override;
    NWCCODE StartDirSearch(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                           uint8_t& searchDir, uint16_t& dirNumber) override;
    NWCCODE NextDirEntry(NWHandle conn, uint8_t searchDir, uint16_t dirNumber, uint16_t sequence,
                         uint32_t attrMask, const std::string& pattern, TDirEntry& entry) override;

protected:
    // What the shared mechanics ask of the simulated directory.
    bool Planted(backend::TStep step, const backend::TStepOn& on, NWCCODE& code) override;
    bool PlantedAgain(const TIter& it, NWCCODE& code) override;
    NWCCODE ItemValues(const TCtx& c, const std::string& name, backend::TItemValues& out) override;
    NWCCODE StartRead(const TCtx& c, const std::string& object, uint32_t infoType, bool allAttrs,
                      NWHandle request, TIter& it) override;
    NWCCODE StartList(const TCtx& c, const std::string& container, bool containersOnly,
                      TIter& it) override;
    NWCCODE StartClasses(const TCtx& c, bool allClasses, NWHandle request, TIter& it) override;
    NWCCODE StartSearch(const TCtx& c, const std::string& base, int scope, const TBuf& filterBuf,
                        TIter& it) override;
    backend::TBatchLimits Limits(backend::TBatchOp op, const TBuf& out,
                                 uint32_t maxPerCall) const override;
    TObjOut RefOut(const TCtx& c, const TIter& it, int32_t ref, bool fullName) const override;
    NWCCODE CompileFilter(const TCtx& c, std::vector<TFilterToken>& tokens,
                          std::unique_ptr<backend::TBufFilter>& out) override;
    NWCCODE StreamData(const TCtx& c, const std::string& object, const std::string& attr,
                       uint32_t flags, TStream& s) override;
    // The workstation: the tree file's connections and trees (SimClientConns.cpp).
    const std::vector<backend::TConnection>& Connections() const override { return FConnections; }
    size_t TreeCount() const override { return FWorld->Trees.size(); }
    std::string TreeName(int32_t tree) const override;
    void ConnClosed(NWHandle conn) override;

private:
    // What an injected failure is matched against.
    struct TSel {
        TSel() = default;
        explicit TSel(int32_t tree, int32_t object = -1) : Tree(tree), Object(object) {}
        int32_t Tree = -1;
        int32_t Object = -1;
        const std::string* Attr = nullptr;
        int32_t Server = -1;
        std::string Path; // "VOLUME:PATH", UTF-8
        bool HasId = false;
        uint32_t Id = 0;
    };
    struct TVolRef {
        int32_t Server = -1;
        int32_t Volume = -1;
        int32_t Dir = -1;
    };

    std::shared_ptr<const sim::TSimWorld> FWorld;
    // How often each injected failure's selectors have matched, for its "call" selector.
    mutable std::vector<uint32_t> FFailureCalls;
    struct TFound {
        int32_t Tree = -1;
        std::string Name;
        int32_t Object = -1;
    };
    mutable std::array<TFound, 4> FFound;
    mutable size_t FFoundNext = 0;
    // Names resolved before, by tree, name context, the flag that makes names canonical and the
    // name as given: an analysis of a whole tree resolves the same names again and again. The
    // tree never changes, so an answer stays right.
    mutable std::unordered_map<std::string, int32_t> FResolved;
    mutable std::string FResolveKey;
    // The two names resolved last, the older first to go: an analysis asks for its target and
    // one trustee after the other.
    struct TRecentName {
        int32_t Tree = -1;
        bool Canonical = false;
        std::string Context, Name;
        int32_t Object = -1;
    };
    mutable std::array<TRecentName, 2> FRecent;
    mutable size_t FRecentOlder = 0;
    // What the effective-rights calculation keeps about the object it was last asked about.
    std::unique_ptr<sim::TRightsMemo> FRightsMemo;
    std::string FMountError;
    bool FStarted = false;

    std::vector<backend::TConnection> FConnections; // the tree file's, in its order
    std::vector<NWHandle> FPathConns; // per connection: the handle ParsePath hands out

    // Life (SimClient.cpp)
    bool Injected(sim::TSimOp op, const TSel& sel, NWCCODE& code) const;
    bool Injected(sim::TSimOp op, NWCCODE& code) const;

    // Contexts and names (SimClientNames.cpp)
    NWCCODE Resolve(const TCtx& c, const std::string& name, int32_t& object) const;
    std::string Render(const TCtx& c, int32_t tree, int32_t object) const;
    // The name as the context writes it, with or without the canonical flag's partial names.
    std::string RenderAs(const TCtx& c, int32_t tree, int32_t object, bool canonical) const;
    // The object of a full name in a tree (-1: none). The last few names are remembered: a call
    // often names what the call before it did (the target of every effective-rights call, the
    // object whose name was just abbreviated).
    int32_t FindObject(int32_t tree, std::string_view fullName) const;
    std::string RenderName(const TCtx& c, int32_t tree, const std::string& fullName) const;
    std::string RenderRdn(const TCtx& c, int32_t tree, int32_t object) const;
    TObjectSummary Summary(int32_t tree, int32_t object) const;
    int32_t Deref(const TCtx& c, int32_t object) const;
    TAttrValue RenderValue(const TCtx& c, int32_t tree, const TAttrValue& v) const;

    // Connections (SimClientConns.cpp)
    // What an injected failure is matched against for an operation on the connection c.
    static TSel ConnSel(const backend::TConnection& c);
    // The tree file's connections as the shared mechanics hand them out.
    static std::vector<backend::TConnection> MakeConnections(const sim::TSimWorld& world);

    // File system (SimClientFiles.cpp)
    NWCCODE VolPath(NWHandle conn, const std::string& volPath, TVolRef& ref, TSel& sel) const;
    // The opening of the operations on a volume path: the connection must be open; an injected
    // failure of op comes before the answer for a path that does not exist (ERR_INVALID_PATH).
    NWCCODE VolPathCall(sim::TSimOp op, NWHandle conn, const std::string& volPath,
                        TVolRef& ref) const;
    int32_t ChildDir(const sim::TSimVolume& vol, int32_t dir, const std::string& name) const;
    NWHandle PathConn(int32_t connIndex);
    void Mount();
};

// The client for a program: the tree file named by treeFile, else by TROVALEN_TREE, else the
// sample tree built into the program. Null with one message in error when the file cannot be
// loaded.
std::shared_ptr<TSimClient> MakeSimClient(const std::string& treeFile, std::string& error);
// The bundled sample tree, as compiled into the program.
std::string SampleTreeText();

} // namespace trovalen
