// Scan results as text that two runs can be compared by: each record with its sources and
// reasons, a pane's lines after the run's header, and each trustee's rights by name.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "rights/ScanRun.h"
#include "util/Util.h"

namespace trovalen::test {

inline std::string Render(const TEffectiveTrustee& t) {
    std::string text = U_EffectiveLine(t, true) + U_Format(" {%u}", t.Sources) + "\n";
    for (const auto& r : t.Reasons)
        text += "     * " + U_ReasonText(r) + "\n";
    return text;
}

inline std::string Render(const std::vector<TEffectiveTrustee>& trustees) {
    std::string text;
    for (const auto& t : trustees)
        text += Render(t);
    return text;
}

inline std::string Render(const TScanEntry& e) {
    std::ostringstream out;
    out << e.Name << " | " << e.Tree << " | " << e.Server << " | " << e.Volume << " | "
        << static_cast<int>(e.Status) << "\n";
    for (const auto& x : e.Errors)
        out << "error: " << x << "\n";
    for (const auto& x : e.Incomplete)
        out << "incomplete: " << x << "\n";
    out << Render(e.Trustees);
    return out.str();
}

// The pane's lines after the run's header (which ends with its first blank line).
inline std::string Body(const TStringList& pane) {
    std::string text;
    bool header = true;
    for (const auto& l : pane) {
        if (header) {
            header = !l.Text.empty();
            continue;
        }
        text += std::to_string(l.Value) + "\t" + l.Text + "\n";
    }
    return text;
}

// The rights each trustee of an entry holds, by name and attribute, without the inheritance
// letter (which is no right).
inline std::map<std::string, uint32_t>
RightsByTrustee(const std::vector<TEffectiveTrustee>& trustees) {
    std::map<std::string, uint32_t> rights;
    for (const auto& t : trustees) {
        uint32_t mask = t.Family == rtFileSystem ? t.Mask : t.Mask & ~DS_INHERIT_CTL;
        rights[U_UpperCase(U_TrusteeDisplayName(t) + "\n" + t.Attribute)] |= mask;
    }
    std::erase_if(rights, [](const auto& r) { return r.second == 0; });
    return rights;
}

} // namespace trovalen::test
