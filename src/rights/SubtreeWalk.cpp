#include "rights/SubtreeWalk.h"

#include <algorithm>

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

using analysis::TAnalysis;
using analysis::TAnalysisServices;
using analysis::TContainerRead;
using analysis::TDirectoryRead;
using analysis::TTrusteeFacts;

namespace {

// A chain of containers deeper than this is taken to be a loop in the directory's answers.
constexpr int kMaxChainDepth = 512;
// Deeper than this the walk lists nothing more: a directory that answers so is in a loop.
constexpr int kMaxWalkDepth = 512;
// The inherited rights mask of a volume's root: it filters nothing.
constexpr uint32_t kVolumeRootIrm = 0xFFFFFFFFu;

// A read of the chain above the start that failed: said by every entry below it.
struct TChainFailure {
    NWCCODE Code = 0;
    std::string Name;
};

// An entry waiting to be listed.
struct TPending {
    std::string Name;
    int Parent = -1;
    int Depth = 0;
    bool Container = false;
    bool Alias = false;
};

} // namespace

struct TSubtreeWalk::TImpl {
    TImpl(TNWClient* client, NWHandle ctx, const TWalkOptions& options, TStatusPanel* status,
          const std::atomic<bool>* cancel)
        : Client(client), Context(ctx), Options(options), Facts(client, ctx),
          Services(client, ctx, Facts, status, cancel),
          Flags(options.Flags | (options.Edir ? ET_EDIRECTORY : 0)) {}

    TNWClient* Client;
    NWHandle Context;
    TWalkOptions Options;
    TTrusteeFacts Facts;
    TAnalysisServices Services;
    uint32_t Flags;

    // The state of the levels above the start, and what every entry's head says.
    std::vector<TChainFailure> ChainFailures;
    std::string TreeName;
    // File system: the volume's header line and the file server's object.
    std::string VolumeDN, ServerDN;
    NWCCODE ServerCode = 0;
    NWHandle Conn = NO_CONNECTION;

    TAnalysis NewState() {
        TAnalysis state(Services, Flags, Options.Threshold, Options.Logs);
        state.SetFilter(Options.Filter);
        state.SetEffectiveLines(Options.EffectiveLines);
        return state;
    }

    // The names of the chain from name up to the top of the tree, nearest first; the reads that
    // failed on the way are kept for every entry's head.
    std::vector<std::string> ChainAbove(const std::string& name) {
        std::vector<std::string> chain{name};
        std::string current = name;
        for (int depth = 0; depth < kMaxChainDepth; ++depth) {
            std::string parent;
            NWCCODE code = U_DSGetParentDN(Client, Context, current, parent);
            if (code != NW_OK && current != kRoot)
                ChainFailures.push_back({code, current});
            if (parent.empty() || parent == current ||
                std::find(chain.begin(), chain.end(), parent) != chain.end())
                break;
            chain.push_back(parent);
            current = parent;
        }
        return chain;
    }

    void ChainHead(TAnalysis& state) {
        for (const auto& f : ChainFailures)
            state.HeadReadFailed(f.Code, U_Format("the container above %s", f.Name.c_str()));
    }

    // --- eDirectory --------------------------------------------------------------------------

    void ListObjects(const std::string& start, TWalkScope& scope, bool& cancelled) {
        std::string full = start;
        NWCCODE code = start == kRoot ? NW_OK : U_DSGetDN(Client, Context, start, full);
        TNDSObj obj;
        if (code == NW_OK && !full.empty())
            code = U_DSReadObject(Client, Context, full, obj);
        if (code != NW_OK || full.empty()) {
            scope.Code = code != NW_OK ? code : ERR_NO_SUCH_ENTRY;
            return;
        }
        scope.Found = true;
        // A directory that reads a subtree in a few requests answers the lists below from it.
        if (Client != nullptr)
            Client->PrefetchSubtree(Context, full);
        ListDepthFirst(
            {full, -1, 0, (obj.Summary.Flags & DS_CONTAINER_ENTRY) != 0,
             (obj.Summary.Flags & DS_ALIAS_ENTRY) != 0},
            scope, cancelled, [&](const TPending& p, int index, std::vector<TPending>& below) {
                // An alias is listed, never followed: it may point back up the tree.
                if (!p.Container || p.Alias)
                    return std::string();
                TNDSObj list;
                NWCCODE listed = U_DSListFirst(Client, Context, p.Name, false, list);
                while (listed == NW_OK && list.Count > 0) {
                    if (!list.Name.empty())
                        below.push_back({U_DSCombineName(p.Name, list.Name), index, p.Depth + 1,
                                         (list.Summary.Flags & DS_CONTAINER_ENTRY) != 0,
                                         (list.Summary.Flags & DS_ALIAS_ENTRY) != 0});
                    listed = U_DSListNext(list);
                }
                if (listed == NW_OK || listed == ERR_END_OF_LIST)
                    return std::string();
                return U_Format("the objects below %s could not be listed (%s)", p.Name.c_str(),
                                U_NWErrorText(Client, listed).c_str());
            });
    }

    // Lists the first place and everything below it, each place before those below it and the
    // places below one in the order of their names. listBelow appends the places below one
    // (given its index) and answers what kept them from being listed, in words (empty: nothing).
    template <class TListBelow>
    void ListDepthFirst(TPending first, TWalkScope& scope, bool& cancelled, TListBelow listBelow) {
        std::vector<TPending> todo;
        todo.push_back(std::move(first));
        while (!todo.empty()) {
            if (Services.Cancel.Requested()) {
                cancelled = true;
                return;
            }
            TPending p = std::move(todo.back());
            todo.pop_back();
            const int index = static_cast<int>(scope.Nodes.size());
            TWalkNode& node = scope.Nodes.emplace_back();
            node.Name = p.Name;
            node.Parent = p.Parent;
            node.Depth = p.Depth;
            node.Leaf = !p.Container;
            if (p.Depth >= kMaxWalkDepth)
                continue;
            std::vector<TPending> below;
            std::string problem = listBelow(p, index, below);
            if (!problem.empty())
                scope.Nodes[static_cast<size_t>(index)].Problems.push_back(std::move(problem));
            Push(below, todo);
        }
    }

    // The entries below a place go on the stack so that they come off in the order of their
    // names.
    static void Push(std::vector<TPending>& below, std::vector<TPending>& todo) {
        std::stable_sort(below.begin(), below.end(), [](const TPending& a, const TPending& b) {
            return U_CompareText(a.Name, b.Name) < 0;
        });
        for (auto it = below.rbegin(); it != below.rend(); ++it)
            todo.push_back(std::move(*it));
    }

    void ObjectHead(TAnalysis& state, const std::string& name) {
        state.HeadLine("", LVL_START);
        state.HeadLine(U_Format("Object: \"%s\" on tree \"%s\"", name.c_str(), TreeName.c_str()),
                       LVL_HEADER);
        ChainHead(state);
    }

    // --- File system -------------------------------------------------------------------------

    // The name the analysis takes for a start path, server/volume:path in the file server's
    // code page, as the scan run makes it.
    std::string FileSystemTarget(const std::string& unc) {
        std::string shortPath = U_ConvertPath(unc, PATH_SHORT_FORM);
        TNWPath path;
        U_PathToNWPath(Client, shortPath, path);
        TNWPath oem = path;
        if (U_PathToNWPath(Client, U_ConvertOem(shortPath, true), oem) == NW_OK)
            path = oem;
        return U_Format("%s/%s:%s", path.Server.c_str(), path.Volume.c_str(), path.DirPath.c_str());
    }

    // Reads a directory the way the forward analysis reads each level: path is a UNC path
    // without a trailing separator.
    TDirectoryRead ReadDirectory(const std::string& path) {
        TDirectoryRead read;
        TNWPath level;
        if (U_PathToNWPath(Client, path, level) != NW_OK || Client == nullptr) {
            read.Exists = false;
            return read;
        }
        read.VolPath = U_Format("%s:%s", level.Volume.c_str(), level.DirPath.c_str());
        TDirEntryInfo info;
        read.IrmCode = Client->FileServer()->DirEntryInfo(level.ConnHandle, 0, read.VolPath, info);
        read.Irm = level.DirPath.empty() ? kVolumeRootIrm : info.RightsMask;
        if (read.IrmCode == NW_OK)
            read.TrusteesCode = U_NWGetTrustees(Client, Context, Conn, read.VolPath, read.Trustees);
        return read;
    }

    TDirectoryRead ReadTarget(const std::string& target) {
        return ReadDirectory(U_WithoutTrailingSlash(U_PathToUNC(Client, target)));
    }

    void ListDirectories(const std::string& start, TWalkScope& scope, bool& cancelled) {
        std::string unc = U_WithoutTrailingSlash(U_PathToUNC(Client, start));
        TNWPath parsed;
        NWCCODE code = U_PathToNWPath(Client, U_ConvertPath(unc, PATH_SHORT_FORM), parsed);
        if (code == NW_OK && !U_DirExists(U_ConvertPath(unc, PATH_SHORT_FORM)))
            code = ERR_NOT_FOUND;
        if (code != NW_OK) {
            scope.Code = code;
            return;
        }
        scope.Found = true;
        ListDepthFirst({U_ConvertPath(unc, PATH_LONG_FORM), -1, 0, true, false}, scope, cancelled,
                       [&](const TPending& p, int index, std::vector<TPending>& below) {
                           // The names below, each made long as the long form of a path makes its
                           // last part (the place's own path is long already): one look at the disk
                           // per directory.
                           TStringList list;
                           NWCCODE listed =
                               U_NWListDirEntries(Client, p.Name, SA_SUBDIR_ALL, "*", list,
                                                  LDE_RELATIVE_NAMES, PATH_SHORT_FORM);
                           for (const auto& item : list.Items) {
                               std::string path = U_JoinPath(p.Name, item.Text);
                               if (auto display = U_DisplayName(path))
                                   path = U_JoinPath(p.Name, *display);
                               below.push_back({std::move(path), index, p.Depth + 1, true, false});
                           }
                           if (listed == NW_OK)
                               return std::string();
                           return U_Format("the directories below %s could not be listed (%s)",
                                           p.Name.c_str(), U_NWErrorText(Client, listed).c_str());
                       });
    }

    // The volume's part of every entry's head, and the state of the way to the file server and
    // the directories above the start.
    TAnalysis VolumeBase(const std::string& startTarget) {
        TNWPath path;
        U_PathToNWPath(Client, startTarget, path);
        Conn = path.ConnHandle;
        uint32_t volumeNumber = 0;
        VolumeDN.clear();
        ServerDN.clear();
        if (Client != nullptr && Client->FileServer() != nullptr &&
            Client->FileServer()->VolumeNumber(Conn, path.Volume, volumeNumber) == 0)
            U_NWGetVolumeDN(Client, Context, Conn, volumeNumber, VolumeDN);
        ServerCode = U_DSGetServerDN(Client, Conn, Context, ServerDN);
        TAnalysis base = NewState();
        if (!ServerDN.empty()) {
            std::vector<std::string> chain = ChainAbove(ServerDN);
            for (auto level = chain.rbegin(); level != chain.rend(); ++level)
                base.ContainerLevel(analysis::U_ReadContainer(Client, Context, *level),
                                    level + 1 == chain.rend());
        }
        base.EndServerChain();
        // The directories above the start, from the volume's root down.
        std::vector<std::string> above;
        std::string upper = U_WithoutTrailingSlash(U_PathToUNC(Client, startTarget));
        while (true) {
            size_t cut = upper.find_last_of('\\');
            upper = cut == std::string::npos ? std::string() : upper.substr(0, cut);
            if (upper.empty() || !U_DirExists(U_OemToText(upper)))
                break;
            above.push_back(upper);
        }
        for (auto level = above.rbegin(); level != above.rend(); ++level)
            base.DirectoryLevel(ReadDirectory(*level), false);
        return base;
    }

    void DirectoryHead(TAnalysis& state, const std::string& target) {
        TNWPath path;
        NWCCODE code = U_PathToNWPath(Client, target, path);
        state.HeadError(U_Format("U_PathToNWPath (%s)", target.c_str()), code);
        state.HeadReadFailed(code, U_Format("the path %s", target.c_str()));
        state.HeadLine(U_Format("Tree/Volume/Server: %s / %s / %s", TreeName.c_str(),
                                VolumeDN.c_str(), ServerDN.c_str()),
                       LVL_HEADER);
        state.HeadError(U_Format("U_DSGetServerDN (%s)", target.c_str()), ServerCode);
        state.HeadReadFailed(ServerCode,
                             U_Format("the file server's object of %s", target.c_str()));
        ChainHead(state);
    }

    // --- The walk ----------------------------------------------------------------------------

    void Analyse(const TWalkScope& scope, const std::function<bool(TWalkedEntry&)>& sink) {
        if (scope.Nodes.empty())
            return;
        ChainFailures.clear();
        TreeName = U_DSGetTreeName(Client, Context);
        const bool edir = Options.Edir;
        const std::string& start = scope.Nodes.front().Name;
        std::string startTarget = edir ? start : FileSystemTarget(start);
        // The levels above the start, as every entry below it has them.
        TAnalysis base = NewState();
        try {
            if (edir) {
                if (Client != nullptr)
                    Client->PrefetchSubtree(Context, start);
                std::vector<std::string> chain = ChainAbove(start);
                for (size_t level = chain.size(); level-- > 1;)
                    base.ContainerLevel(analysis::U_ReadContainer(Client, Context, chain[level]),
                                        false);
            } else {
                base = VolumeBase(startTarget);
            }
        } catch (const EAnalysisCancelled&) {
            TWalkedEntry entry;
            entry.Node = &scope.Nodes.front();
            entry.Analysis = base.TakeResult(true, nullptr);
            entry.Analysis.Edir = edir;
            sink(entry);
            return;
        }

        // outer[d]: the state that the entries below the entry at depth d start from.
        std::vector<TAnalysis> outer;
        for (size_t i = 0; i < scope.Nodes.size(); ++i) {
            const TWalkNode& node = scope.Nodes[i];
            const size_t depth = static_cast<size_t>(node.Depth);
            if (outer.size() > depth)
                outer.erase(outer.begin() + static_cast<long>(depth), outer.end());
            const TAnalysis& above = depth == 0 ? base : outer[depth - 1];
            const std::string target = edir ? node.Name : FileSystemTarget(node.Name);
            TContainerRead object;
            TDirectoryRead directory;
            TWalkedEntry entry;
            entry.Index = static_cast<int>(i);
            entry.Node = &node;
            TAnalysis state = above;
            bool cancelled = false;
            try {
                if (edir) {
                    object = analysis::U_ReadContainer(Client, Context, node.Name);
                    ObjectHead(state, node.Name);
                    state.ContainerLevel(object, true);
                } else {
                    directory = ReadTarget(target);
                    DirectoryHead(state, target);
                    state.DirectoryLevel(directory, true);
                }
                state.FinishEntry(target, node.Leaf, nullptr);
            } catch (const EAnalysisCancelled&) {
                cancelled = true;
            }
            entry.Analysis = state.TakeResult(cancelled, Options.Logs ? &entry.Log : nullptr);
            for (const auto& problem : node.Problems)
                entry.Analysis.Incomplete.push_back(problem);
            entry.HasBelow =
                i + 1 < scope.Nodes.size() && scope.Nodes[i + 1].Parent == static_cast<int>(i);
            if (!sink(entry) || cancelled)
                return;
            // The entries below this one start from its level as a level above them.
            if (!entry.HasBelow)
                continue;
            try {
                TAnalysis next = above;
                if (edir)
                    next.ContainerLevel(object, false);
                else
                    next.DirectoryLevel(directory, false);
                outer.push_back(std::move(next));
            } catch (const EAnalysisCancelled&) {
                return;
            }
        }
    }
};

TSubtreeWalk::TSubtreeWalk(TNWClient* client, NWHandle ctx, const TWalkOptions& options,
                           TStatusPanel* status, const std::atomic<bool>* cancel)
    : FImpl(std::make_unique<TImpl>(client, ctx, options, status, cancel)) {}

TSubtreeWalk::~TSubtreeWalk() = default;

TWalkScope TSubtreeWalk::List(const std::string& start, bool& cancelled) {
    TWalkScope scope;
    scope.Start = start;
    cancelled = false;
    if (FImpl->Options.Edir)
        FImpl->ListObjects(start, scope, cancelled);
    else
        FImpl->ListDirectories(start, scope, cancelled);
    return scope;
}

void TSubtreeWalk::Analyse(const TWalkScope& scope,
                           const std::function<bool(TWalkedEntry&)>& sink) {
    FImpl->Analyse(scope, sink);
}

} // namespace trovalen
