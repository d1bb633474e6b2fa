// The effective-trustee analysis: for one directory of a volume or one object of the tree, every
// trustee that holds effective rights there, the rights it holds and the reasons why. Each step
// is written as a line of the analysis log, tagged with its detail level.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "model/NWClient.h"
#include "rights/AnalysisResult.h"
#include "util/StringList.h"

namespace trovalen {

// Flags of U_EffectiveTrustees.
constexpr uint32_t ET_RESOLVE_CONTAINERS = 0x1;
constexpr uint32_t ET_EDIRECTORY = 0x2;
constexpr uint32_t ET_ONLY_USERS = 0x4;

// Detail levels of the analysis log that other parts read.
constexpr uint32_t LVL_EFFECTIVE = 5;     // "  Effective:" and the check lines
constexpr uint32_t LVL_HEADER = 13;       // the entry's header lines
constexpr uint32_t LVL_START = 14;        // the analysis of the entry starts
constexpr uint32_t LVL_RESULT_ERROR = 21; // an error that the summary shows
constexpr uint32_t LVL_ERROR = 22;        // an error of a read
constexpr uint32_t LVL_DETAIL = 31;       // reasons, separators, blank lines between parts

// Detail levels of the lines about one level of the chain (a container, a directory). Lines
// about any level but the scanned directory itself add LVL_OUTER_OFFSET: every level in the
// eDirectory scan type and on the way to the file server, the directories above the scanned one.
constexpr uint32_t LVL_OUTER_OFFSET = 10;
constexpr uint32_t LVL_LEVEL_NAME = 12;        // "DN:" and the blank line before it
constexpr uint32_t LVL_LEVEL_PATH = LVL_START; // "Path: ... - IRM": the scanned one starts it
constexpr uint32_t LVL_DIRECT_TRUSTEE = 15;
constexpr uint32_t LVL_IRM = 18;
// Trustees found through others.
constexpr uint32_t LVL_RESIDENT = 16;
constexpr uint32_t LVL_SECURITY_EQUIVALENT = 17;
// The file-system calculation step by step: filters and the Supervisor recalculation.
constexpr uint32_t LVL_CALCULATION = 41;

// Panel 1 of a status bar: receives progress texts.
class TStatusPanel {
public:
    virtual ~TStatusPanel() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // False when the texts go nowhere: an analysis then does not make one per trustee.
    virtual bool ShowsStatusText() const { return true; }
};

// What an analysis stopped before its end says of its result.
extern const char kAnalysisCancelled[];

// The analysis over the given client. target: eDirectory mode the object's full name;
// file-system mode "server/volume:path". threshold: the highest detail level written to the
// log. log and statusBar may be null. The records come in the order of the log's
// "  Effective:" lines. cancel (may be null) is looked at in every long loop (TCancelCheck);
// once it is set the analysis ends with the trustees listed so far, marked Cancelled.
TAnalysisResult U_AnalyseEffectiveTrustees(TNWClient& client, NWHandle ctx,
                                           const std::string& target, uint32_t flags, int threshold,
                                           TStringList* log, TStatusPanel* statusBar,
                                           const std::atomic<bool>* cancel = nullptr);

// The same analysis, its trustees as text: trustees receives one entry per record
// (U_TrusteeListText, the mask as its value) in place of what it held.
void U_EffectiveTrustees(TNWClient* client, NWHandle ctx, const std::string& target, int threshold,
                         TStatusPanel* statusBar, TStringList& trustees, TStringList* log,
                         uint32_t flags);

} // namespace trovalen
