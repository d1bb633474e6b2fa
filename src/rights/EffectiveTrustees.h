// The effective-trustee analysis: for one directory of a volume or one object of the tree, every
// trustee that holds effective rights there, the rights it holds and the reasons why. Each step
// is written as a line of the analysis log, tagged with its detail level.
#pragma once

#include <cstdint>
#include <string>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// Flags of U_EffectiveTrustees.
constexpr uint32_t ET_RESOLVE_CONTAINERS = 0x1;
constexpr uint32_t ET_EDIRECTORY = 0x2;
constexpr uint32_t ET_ONLY_USERS = 0x4;

// Detail levels of the analysis log that other parts read.
constexpr uint32_t LVL_EFFECTIVE = 5;
constexpr uint32_t LVL_HEADER = 13;
constexpr uint32_t LVL_START = 14;
constexpr uint32_t LVL_RESULT_ERROR = 21;
constexpr uint32_t LVL_ERROR = 22;
constexpr uint32_t LVL_DETAIL = 31;

// Panel 1 of a status bar: receives progress texts.
class TStatusPanel {
public:
    virtual ~TStatusPanel() = default;
    virtual void SetStatusText(const std::string& text) = 0;
};

// target: eDirectory mode the object's full name; file-system mode "server/volume:path".
// threshold: the highest detail level written to the log. log may be null.
void U_EffectiveTrustees(NWHandle ctx, const std::string& target, int threshold,
                         TStatusPanel* statusBar, TStringList& trustees, TStringList* log,
                         uint32_t flags);

// Where the security-equivalence cache files of this process are kept (a private folder of the
// user); tests may point it elsewhere. Empty: the default.
void U_SetSecEquCacheFolder(const std::string& folder);

} // namespace trovalen
