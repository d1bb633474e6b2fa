// The walk of a whole subtree: a volume's directories below a start path, or the objects below a
// container, listed first, then analysed top down in one pass. The state of each level (what the
// chain from the top down to it gives) is worked out once and copied for each entry below it, so
// that each ACL and each trustee list is read once, and what the analysis asks about a trustee
// (equivalents, residents, classes) is asked once for the whole walk. Each entry's result is the
// one the forward analysis gives for it. Used by the scan run.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/NWClient.h"
#include "rights/AnalysisResult.h"
#include "rights/AnalysisSteps.h"
#include "rights/EffectiveTrustees.h"
#include "util/StringList.h"

namespace trovalen {

// One entry of a walk, in the walk's order: each entry before those below it, the entries below a
// place in the order of their names.
struct TWalkNode {
    std::string Name; // file system: the UNC path (long form); eDirectory: the full object name
    int Parent = -1;  // the entry above it; -1 for the start
    int Depth = 0;
    bool Leaf = false; // eDirectory: nothing can lie below the object
    // What could not be read of the entry's place in the walk (the entries below it could not be
    // listed); its result says it too.
    std::vector<std::string> Problems;
};

// The entries of one start path or container.
struct TWalkScope {
    std::string Start;            // as the front end gave it
    bool Found = false;           // the start exists
    NWCCODE Code = NW_OK;         // why it was not found
    std::vector<TWalkNode> Nodes; // the start first; empty when not found
};

// An entry as the walk analysed it.
struct TWalkedEntry {
    int Index = 0;
    const TWalkNode* Node = nullptr;
    bool HasBelow = false; // entries below it follow
    TAnalysisResult Analysis;
    TStringList Log; // the analysis log's lines (the threshold and switches as the walk was told)
};

struct TWalkOptions {
    bool Edir = false;
    uint32_t Flags = 0; // ET_* (ET_EDIRECTORY is set from Edir)
    int Threshold = LVL_DETAIL;
    bool Logs = true; // whether the analysis log is made at all
    // Whether it takes the "Effective:" and check lines, which only the details pane shows.
    bool EffectiveLines = true;
    // A reverse query: only the trustees the filter follows (null: every trustee).
    const analysis::TTrusteeFilter* Filter = nullptr;
};

class TSubtreeWalk {
public:
    // ctx: the analysis context (eDirectory: at the tree's top; file system: at the top of the
    // volume's tree); conn: the file server's connection (file system).
    TSubtreeWalk(TNWClient* client, NWHandle ctx, const TWalkOptions& options, TStatusPanel* status,
                 const std::atomic<bool>* cancel);
    TSubtreeWalk(const TSubtreeWalk&) = delete;
    TSubtreeWalk& operator=(const TSubtreeWalk&) = delete;
    ~TSubtreeWalk();

    // Lists the start and everything below it. cancelled is set when the stop flag ended the
    // listing (the scope then holds what was listed).
    TWalkScope List(const std::string& start, bool& cancelled);
    // Analyses every entry of the scope in order and hands each to sink, which answers whether
    // the walk goes on. An entry stopped while it was analysed is handed on, marked Cancelled,
    // and ends the walk.
    void Analyse(const TWalkScope& scope, const std::function<bool(TWalkedEntry&)>& sink);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace trovalen
