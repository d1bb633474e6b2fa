#include "rights/AnalysisResult.h"

#include "directory/DSNames.h"
#include "util/Util.h"

namespace trovalen {

std::string U_TrusteeRights(const TEffectiveTrustee& trustee) {
    return U_RightsToStr(trustee.Mask, trustee.Family);
}

std::string U_TrusteeDisplayName(const TEffectiveTrustee& trustee) {
    if (U_StartsWith(trustee.Subject, "["))
        return trustee.Subject;
    return U_DSDotName(trustee.Subject);
}

std::string U_TrusteeListText(const TEffectiveTrustee& trustee, bool edir) {
    if (!edir)
        return trustee.Subject;
    return U_JoinACL(U_TrusteeRights(trustee), trustee.Subject, trustee.Attribute);
}

std::string U_EffectiveLine(const TEffectiveTrustee& trustee, bool edir) {
    std::string line = "  Effective: " + U_TrusteeRights(trustee) + " -> [" + trustee.ClassName +
                       "] " + trustee.Subject;
    if (edir)
        line += " / " + trustee.Attribute;
    return line;
}

std::string U_ReasonText(const TTrusteeReason& reason) {
    return U_RightsToStr(reason.Mask, reason.Family) + " " + reason.Why.Text();
}

} // namespace trovalen
