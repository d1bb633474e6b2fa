#include "rights/EffectiveTrustees.h"

#include <algorithm>

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/AnalysisSteps.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

using analysis::TAnalysis;
using analysis::TAnalysisServices;
using analysis::TDirectoryRead;
using analysis::TTrusteeFacts;

// A chain of containers deeper than this is taken to be a loop in the directory's answers.
constexpr int kMaxChainDepth = 512;
// The inherited rights mask of a volume's root: it filters nothing.
constexpr uint32_t kVolumeRootIrm = 0xFFFFFFFFu;

// The analysis of one target: reads the chain from the top of the tree (and of the volume) down
// to the target as it goes, and runs the analysis' steps over it.
class TForwardAnalysis {
public:
    // client may be null (the adapter over no installed client): every read then fails. Every
    // directory and file-server read of the analysis goes to this client.
    TForwardAnalysis(TNWClient* client, NWHandle ctx, const std::string& target, int threshold,
                     TStatusPanel* statusBar, TStringList* log, uint32_t flags,
                     const std::atomic<bool>* cancel)
        : FClient(client), FContext(ctx), FTarget(target), FLog(log),
          FEdir((flags & ET_EDIRECTORY) != 0), FFacts(client, ctx),
          FServices(client, ctx, FFacts, statusBar, cancel),
          FSteps(FServices, flags, threshold, log != nullptr) {}

    TAnalysisResult Run() {
        bool cancelled = false;
        try {
            Start();
            // Assignments and inherited rights masks from the top of the tree down.
            for (int level = static_cast<int>(FChain.size()) - 1; level >= 0; --level)
                FSteps.ContainerLevel(analysis::U_ReadContainer(FClient, FContext, FChain[level]),
                                      level == 0);
            if (!FEdir) {
                FSteps.EndServerChain();
                FileSystemPass();
            }
            FSteps.FinishEntry(FTarget, FLeaf, FLog);
        } catch (const EAnalysisCancelled&) {
            cancelled = true;
        }
        return FSteps.TakeResult(cancelled, FLog);
    }

private:
    // --- The chain of containers above the target -------------------------------------------

    void Start() {
        std::string chainStart;
        if (FEdir) {
            FSteps.HeadLine("", LVL_START);
            FSteps.HeadLine(U_Format("Object: \"%s\" on tree \"%s\"", FTarget.c_str(),
                                     U_DSGetTreeName(FClient, FContext).c_str()),
                            LVL_HEADER);
            chainStart = FTarget;
        } else {
            NWCCODE code = U_PathToNWPath(FClient, FTarget, FPath);
            FSteps.HeadError(U_Format("U_PathToNWPath (%s)", FTarget.c_str()), code);
            FSteps.HeadReadFailed(code, U_Format("the path %s", FTarget.c_str()));
            uint32_t volumeNumber = 0;
            std::string volumeDN, serverDN;
            if (FClient != nullptr && FClient->FileServer() != nullptr &&
                FClient->FileServer()->VolumeNumber(FPath.ConnHandle, FPath.Volume, volumeNumber) ==
                    0)
                U_NWGetVolumeDN(FClient, FContext, FPath.ConnHandle, volumeNumber, volumeDN);
            NWCCODE serverCode = U_DSGetServerDN(FClient, FPath.ConnHandle, FContext, serverDN);
            FSteps.HeadLine(U_Format("Tree/Volume/Server: %s / %s / %s",
                                     U_DSGetTreeName(FClient, FContext).c_str(), volumeDN.c_str(),
                                     serverDN.c_str()),
                            LVL_HEADER);
            FSteps.HeadError(U_Format("U_DSGetServerDN (%s)", FTarget.c_str()), serverCode);
            FSteps.HeadReadFailed(serverCode,
                                  U_Format("the file server's object of %s", FTarget.c_str()));
            // The way to a file server's volumes leads through the server's object.
            chainStart = serverDN;
        }
        if (FEdir) {
            TNDSObj target;
            NWCCODE code = U_DSReadObject(FClient, FContext, FTarget, target);
            FSteps.HeadReadFailed(code, U_Format("the object %s", FTarget.c_str()));
            FLeaf = code != NW_OK || (target.Summary.Flags & DS_CONTAINER_ENTRY) == 0;
        }
        if (chainStart.empty())
            return;
        FChain.push_back(chainStart);
        std::string name = chainStart;
        for (int depth = 0; depth < kMaxChainDepth; ++depth) {
            std::string parent;
            NWCCODE code = U_DSGetParentDN(FClient, FContext, name, parent);
            if (code != NW_OK && name != kRoot)
                FSteps.HeadReadFailed(code, U_Format("the container above %s", name.c_str()));
            if (parent.empty() || parent == name ||
                std::find(FChain.begin(), FChain.end(), parent) != FChain.end())
                break;
            FChain.push_back(parent);
            name = parent;
        }
    }

    // --- The volume's directories from the root down to the scanned one ----------------------

    // The scanned directory and those above it that the volume holds, nearest first, with their
    // inherited rights masks.
    std::vector<TDirectoryRead> VolumeLevels() {
        std::vector<TDirectoryRead> levels;
        std::string path = U_WithoutTrailingSlash(U_PathToUNC(FClient, FTarget));
        while (!path.empty() && U_DirExists(U_OemToText(path))) {
            TNWPath level;
            if (U_PathToNWPath(FClient, path, level) == 0 && FClient != nullptr) {
                TDirectoryRead& read = levels.emplace_back();
                read.VolPath = U_Format("%s:%s", level.Volume.c_str(), level.DirPath.c_str());
                TDirEntryInfo info;
                read.IrmCode =
                    FClient->FileServer()->DirEntryInfo(level.ConnHandle, 0, read.VolPath, info);
                read.Irm = level.DirPath.empty() ? kVolumeRootIrm : info.RightsMask;
            }
            size_t cut = path.find_last_of('\\');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
        return levels;
    }

    void FileSystemPass() {
        std::vector<TDirectoryRead> levels = VolumeLevels();
        if (std::none_of(levels.begin(), levels.end(),
                         [](const TDirectoryRead& l) { return l.IrmCode == 0; }))
            FSteps.LevelError(U_Format("Invalid Path (%s)", FTarget.c_str()), -1);
        for (int k = static_cast<int>(levels.size()) - 1; k >= 0; --k) {
            TDirectoryRead& read = levels[static_cast<size_t>(k)];
            if (read.IrmCode == 0)
                read.TrusteesCode = U_NWGetTrustees(FClient, FContext, FPath.ConnHandle,
                                                    read.VolPath, read.Trustees);
            FSteps.DirectoryLevel(read, k == 0);
        }
    }

    TNWClient* FClient;
    NWHandle FContext;
    std::string FTarget;
    TStringList* FLog;
    bool FEdir;
    TTrusteeFacts FFacts;
    TAnalysisServices FServices;
    TAnalysis FSteps;
    TNWPath FPath;
    std::vector<std::string> FChain; // the target (or the file server) and its containers
    bool FLeaf = false;
};

} // namespace

const char kAnalysisCancelled[] = "the scan was stopped while the entry was analysed";

TAnalysisResult U_AnalyseEffectiveTrustees(TNWClient& client, NWHandle ctx,
                                           const std::string& target, uint32_t flags, int threshold,
                                           TStringList* log, TStatusPanel* statusBar,
                                           const std::atomic<bool>* cancel) {
    return TForwardAnalysis(&client, ctx, target, threshold, statusBar, log, flags, cancel).Run();
}

void U_EffectiveTrustees(TNWClient* client, NWHandle ctx, const std::string& target, int threshold,
                         TStatusPanel* statusBar, TStringList& trustees, TStringList* log,
                         uint32_t flags) {
    TAnalysisResult result =
        TForwardAnalysis(client, ctx, target, threshold, statusBar, log, flags, nullptr).Run();
    trustees.Clear();
    for (const auto& t : result.Trustees)
        trustees.Add(U_TrusteeListText(t, result.Edir), t.Mask);
}

} // namespace trovalen
