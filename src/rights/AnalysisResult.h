// The typed result of the effective-trustee analysis: one record per effective trustee, in the
// order the analysis leaves them, each with its rights mask and the reasons it holds them. The
// analysis log's trustee and reason lines and the summary's trustee lines are written from these
// records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/RightsModel.h"

namespace trovalen {

// How a trustee came to hold rights; a merged trustee carries every way it came.
using TTrusteeSources = uint32_t;
// Assigned on the target itself (the object, or the scanned directory).
constexpr TTrusteeSources TS_ASSIGNED = 0x01;
// Assigned on a container or directory above the target and inherited down to it.
constexpr TTrusteeSources TS_INHERITED = 0x02;
// Supervisor entry rights over the file server's object (file-system scans): every right.
constexpr TTrusteeSources TS_SERVER_SUPERVISOR = 0x04;
// Security equivalent to a trustee ("Security Equals" names it).
constexpr TTrusteeSources TS_SECURITY_EQUIVALENT = 0x08;
// Resides in a container that is a trustee (with the resolve-containers flag).
constexpr TTrusteeSources TS_RESIDENT = 0x10;

// The text of a step, shared by every reason that names it: an entry's thousands of reasons come
// from a handful of steps, and a copy is not a new string.
class TReasonText {
public:
    TReasonText() = default;
    TReasonText(std::string text) : FText(std::make_shared<const std::string>(std::move(text))) {}
    TReasonText(const char* text) : TReasonText(std::string(text)) {}

    const std::string& Text() const { return FText ? *FText : Empty(); }
    operator const std::string&() const { return Text(); }
    bool operator==(const TReasonText& other) const { return Text() == other.Text(); }

private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }
    std::shared_ptr<const std::string> FText;
};

// One reason line: the rights a step gave or left, and the step.
struct TTrusteeReason {
    uint32_t Mask = 0;
    TRightsType Family = rtFileSystem;
    TReasonText Why; // "for direct Trustee assignment on \"...\"", "IRM filter ..."

    bool operator==(const TTrusteeReason&) const = default;
};

struct TEffectiveTrustee {
    std::string Subject;   // the trustee as the analysis names it (".Joe.ACME", "[Public]")
    std::string Attribute; // eDirectory: the protected attribute; file system: empty
    TRightsType Family = rtFileSystem;
    uint32_t Mask = 0;
    std::string ClassName; // base class as the summary shows it ("n/a" for none in eDirectory)
    TTrusteeSources Sources = 0;
    std::vector<TTrusteeReason> Reasons; // in the order the log lists them

    bool operator==(const TEffectiveTrustee&) const = default;
};

struct TAnalysisResult {
    bool Edir = false;
    std::vector<TEffectiveTrustee> Trustees;
    // Why the result is not whole, in words, each once: a read that failed, values that could
    // not be read, names the client could not represent. Empty when everything was read.
    std::vector<std::string> Incomplete;
    // The directory computes no effective rights of its own: the raise by the directory's
    // answer and the cross-check with it were skipped.
    bool RightsNotComputed = false;
    // The analysis was stopped before its end: Trustees holds those listed until then, and
    // Incomplete says so (kAnalysisCancelled).
    bool Cancelled = false;
};

// The rights as the log and the summary show them: "[BC R I]".
std::string U_TrusteeRights(const TEffectiveTrustee& trustee);
// The name the summary shows and filters on: with a leading dot unless it is bracketed.
std::string U_TrusteeDisplayName(const TEffectiveTrustee& trustee);
// The entry of the trustee list U_EffectiveTrustees fills: eDirectory "[rights] subject / attr",
// file system the subject.
std::string U_TrusteeListText(const TEffectiveTrustee& trustee, bool edir);
// "  Effective: [rights] -> [class] subject[ / attribute]"
std::string U_EffectiveLine(const TEffectiveTrustee& trustee, bool edir);
// "[rights] why", the text of a reason line after its bullet.
std::string U_ReasonText(const TTrusteeReason& reason);

} // namespace trovalen
