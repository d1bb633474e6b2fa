#include <algorithm>

#include "attrinfo/AttrRead.h"
#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "model/RightsModel.h"
#include "rights/AnalysisSteps.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen::analysis {

namespace {

// The kind of U_DSListTree that lists leaves only.
constexpr int kListLeaves = 2;

// A trustee that holds what another holds, for the same attribute.
TEffectiveTrustee Through(const TEffectiveTrustee& other, std::string subject,
                          TTrusteeSources source) {
    TEffectiveTrustee t;
    t.Subject = std::move(subject);
    t.Attribute = other.Attribute;
    t.Family = other.Family;
    t.Mask = other.Mask;
    t.Sources = source;
    return t;
}

} // namespace

// --- Facts about trustees --------------------------------------------------------------------

TTrusteeFacts::TTrusteeFacts(TNWClient* client, NWHandle ctx)
    : FClient(client), FContext(ctx), FBaseClass(client, ctx, DSI_BASE_CLASS),
      FReadsAhead(client != nullptr && client->ReadsAhead()) {}

const std::vector<std::string>* TTrusteeFacts::Equivalents(const std::string& trustee,
                                                           NWCCODE& code) {
    code = NW_OK;
    std::string key = TSecEquCache::KeyOf(trustee);
    if (const std::vector<std::string>* found = FEquivalents.FindKey(key))
        return found;
    // The equality search hands the name to the client as it is, so no character of it can
    // break the filter.
    TStringList list;
    code = U_DSSearchEqual(FClient, FContext, std::string(kRoot), "Security Equals", trustee, list,
                           DS_SEARCH_SUBTREE);
    if (code != 0)
        return nullptr;
    return FEquivalents.StoreKey(key, list);
}

const TStringList& TTrusteeFacts::Residents(const std::string& container, NWCCODE& code) {
    if (auto it = FResidents.find(container); it != FResidents.end()) {
        code = NW_OK;
        return it->second;
    }
    FScratch.Clear();
    code = U_DSListTree(FClient, FContext, container, FScratch, true, false, "", kListLeaves);
    if (!Answers(code))
        return FScratch;
    return FResidents.emplace(container, std::move(FScratch)).first->second;
}

bool TTrusteeFacts::IsContainer(const std::string& subject) {
    auto it = FContainers.find(subject);
    if (it == FContainers.end())
        it = FContainers.emplace(subject, U_DSIsContainer(FClient, FContext, subject)).first;
    return it->second;
}

NWCCODE TTrusteeFacts::BaseClass(const std::string& subject, std::string& className) {
    if (auto it = FClasses.find(subject); it != FClasses.end()) {
        className = it->second.Class;
        return it->second.Code;
    }
    NWCCODE code = FBaseClass.Read(subject, className);
    if (AnswersAboutTrustee(code))
        FClasses.emplace(subject, TClassAnswer{code, className});
    return code;
}

void TTrusteeFacts::HintObjects(std::vector<std::string> names) {
    if (FClient != nullptr)
        FClient->PrefetchObjects(FContext, names);
}

NWCCODE TTrusteeFacts::CanLogIn(const std::string& subject, bool& canLogIn) {
    if (auto it = FLogins.find(subject); it != FLogins.end()) {
        canLogIn = it->second.CanLogIn;
        return it->second.Code;
    }
    TStringList classes;
    NWCCODE code = U_DSGetAttribute(FClient, FContext, subject, "Object Class", classes);
    canLogIn = code == 0 && classes.IndexOf("ndsLoginProperties") >= 0;
    if (AnswersAboutTrustee(code))
        FLogins.emplace(subject, TLoginAnswer{code, canLogIn});
    return code;
}

// --- The entry's end -------------------------------------------------------------------------

void TAnalysis::FinishEntry(const std::string& target, bool leaf, const TStringList* linesBefore) {
    FTarget = target;
    FLeaf = leaf;
    FLinesBefore = linesBefore;
    if (FEdir)
        MergeTrustees();
    else
        Recalculate();
    // A client that reads over the network may ask for the trustees in few requests.
    FServices->Facts.Hint(FTrustees);
    IndirectTrustees();
    FServices->Facts.Hint(FTrustees);
    FinalList();
}

// --- Trustees through others: security equivalence, residence; only users -----------------

void TAnalysis::IndirectTrustees() {
    LogLine("", LVL_DETAIL);
    for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
        FServices->Cancel();
        // A copy: the trustees found are appended to the list.
        const TEffectiveTrustee current = FTrustees[i];
        SecurityEquivalents(current);
        if (FFlags & ET_RESOLVE_CONTAINERS)
            Residents(current);
        Status({"Check indirect trustees: ", current.Subject});
    }
    U_ProcessMessages();
    // A reverse query lists the queried trustee only: those it holds rights through have
    // given what they give.
    if (FFilter != nullptr)
        std::erase_if(FTrustees,
                      [&](const TEffectiveTrustee& t) { return !FFilter->IsTrustee(t.Subject); });
    if (FEdir && FLeaf) {
        // Nothing lies below a leaf: inheritable attribute rights lose the letter I there.
        for (auto& t : FTrustees)
            if (t.Family == rtAttribute)
                t.Mask &= ~DS_INHERIT_CTL;
    }
    MergeTrustees();
    if (FFlags & ET_ONLY_USERS)
        OnlyUsers();
    LogLine("", LVL_DETAIL);
}

// Those who name the trustee in their "Security Equals" hold its rights.
void TAnalysis::SecurityEquivalents(const TEffectiveTrustee& current) {
    const std::string& trustee = current.Subject;
    U_ProcessMessages();
    NWCCODE code = NW_OK;
    const std::vector<std::string>* found = FServices->Facts.Equivalents(trustee, code);
    if (found == nullptr) {
        LogError(U_Format("U_DSFilteredSearch (%s)", trustee.c_str()), code);
        ReadFailed(code, U_Format("the objects security equivalent to %s", trustee.c_str()));
        return;
    }
    if (found->empty())
        return;

    UseSource(U_Format("for SecEqu to \"%s\"", trustee.c_str()));
    for (const auto& name : *found) {
        FServices->Cancel();
        TEffectiveTrustee t = Through(current, U_DSDotName(name), TS_SECURITY_EQUIVALENT);
        if (FFilter != nullptr && !FFilter->IsTrustee(t.Subject))
            continue;
        LogEquivalentOnce(t.Subject, trustee);
        AddTrustee(std::move(t), current.Mask, current.Family);
    }
}

// The objects below a container that is a trustee hold its rights.
void TAnalysis::Residents(const TEffectiveTrustee& current) {
    const std::string& trustee = current.Subject;
    if (!FServices->Facts.IsContainer(trustee))
        return;
    U_ProcessMessages();
    NWCCODE code = NW_OK;
    const TStringList& residents = FServices->Facts.Residents(trustee, code);
    ReadFailed(code, U_Format("the objects residing in %s", trustee.c_str()));
    if (residents.Empty())
        return;
    UseSource(U_Format("for residence in \"%s\"", trustee.c_str()));
    for (const auto& item : residents) {
        FServices->Cancel();
        if (item.Text.empty())
            continue;
        std::string subject = U_DSDotName(item.Text);
        if (FFilter != nullptr && !FFilter->IsTrustee(subject))
            continue;
        AddTrustee(Through(current, std::move(subject), TS_RESIDENT), current.Mask, current.Family);
        if (Logs(LVL_RESIDENT))
            LogLine(U_Format("%s%s\t(Resides in \"%s\")", kIndirectPrefix, item.Text.c_str(),
                             trustee.c_str()),
                    LVL_RESIDENT);
    }
}

void TAnalysis::OnlyUsers() {
    std::erase_if(FTrustees, [&](const TEffectiveTrustee& t) {
        FServices->Cancel();
        if (U_IsSpecialName(t.Subject))
            return false;
        if ((FFlags & ET_RESOLVE_CONTAINERS) && FServices->Facts.IsContainer(t.Subject))
            return false;
        bool canLogIn = false;
        NWCCODE code = FServices->Facts.CanLogIn(t.Subject, canLogIn);
        if (!AnswersAboutTrustee(code))
            Incomplete(U_Format("the classes of %s could not be read (%s)", t.Subject.c_str(),
                                Why(code).c_str()));
        return !canLogIn;
    });
}

// --- The result: classes, the directory's own answer, reasons ------------------------------

void TAnalysis::FinalList() {
    std::string lastSubject, lastClass;
    bool known = false;
    for (auto& t : FTrustees) {
        FServices->Cancel();
        // The trustees of one subject are neighbours: their class is read once.
        if (known && t.Subject == lastSubject) {
            t.ClassName = lastClass;
        } else {
            NWCCODE code = FServices->Facts.BaseClass(t.Subject, t.ClassName);
            if (!AnswersAboutTrustee(code) && !U_IsSpecialName(t.Subject))
                Incomplete(U_Format("the class of %s could not be read (%s)", t.Subject.c_str(),
                                    Why(code).c_str()));
            lastSubject = t.Subject;
            lastClass = t.ClassName;
            known = true;
        }
        if (FEdir) {
            if (t.ClassName.empty())
                t.ClassName = "n/a";
            Status({"Get effective rights: ", t.Subject, " / ", t.Attribute});
        } else {
            Status({"Get effective rights: [", t.ClassName, "] ", t.Subject});
        }
        if (Logs(LVL_EFFECTIVE))
            LogLine(U_EffectiveLine(t, FEdir), LVL_EFFECTIVE);
        if (FEdir)
            CheckWithDirectory(t);
        size_t reasons = 0;
        for (uint32_t r = FIndex.ReasonHead(t.Key); r != kNone; r = FReasons[r].Next)
            ++reasons;
        t.Reasons.reserve(reasons);
        for (uint32_t r = FIndex.ReasonHead(t.Key); r != kNone; r = FReasons[r].Next) {
            const TPendingReason& pending = FReasons[r];
            t.Reasons.push_back({pending.Mask, pending.Family, FSourceTexts[pending.Source]});
            if (Logs(LVL_DETAIL))
                LogLine("     * " + U_ReasonText(t.Reasons.back()), LVL_DETAIL);
        }
        ++FListed;
    }
}

// The directory computes effective rights itself; a different answer is logged.
void TAnalysis::CheckWithDirectory(const TWorkTrustee& t) {
    // Asked also when the line is not logged: an answer that could not be read is a note.
    const TRightsAnswer answer = EntryRights(FIndex.SubjectOf(t.Key), FIndex.AttributeOf(t.Key));
    if (!Logs(LVL_EFFECTIVE))
        return;
    const std::string& reported = answer.Letters;
    const std::string calculated = U_TrusteeRights(t);
    if (reported != "[n/a]" && !U_SameRightsLetters(reported, calculated))
        LogLine(
            U_Format("  Check 2:     Calc s: %s - Eff: %s", calculated.c_str(), reported.c_str()),
            LVL_EFFECTIVE);
}

TAnalysisResult TAnalysis::TakeResult(bool cancelled, TStringList* log) {
    if (cancelled) {
        // Only the trustees whose lines the log holds stay: the rest were not finished.
        FTrustees.resize(std::min(FTrustees.size(), FListed));
        Incomplete(kAnalysisCancelled);
    }
    Status("");
    U_ProcessMessages();
    for (const auto& [code, failed] : FRightsFailures)
        Incomplete(U_Format(
            "the directory's effective rights of %s%s could not be read (%s)", failed.first.c_str(),
            failed.second == 0 ? "" : U_Format(" and %d more trustees", failed.second).c_str(),
            Why(code).c_str()));

    TAnalysisResult result;
    result.Edir = FEdir;
    // In the order they came: the head, the way to the file server, the masks of the volume's
    // directories nearest first, then the rest; each once.
    auto add = [&](std::string& reason) {
        if (std::find(result.Incomplete.begin(), result.Incomplete.end(), reason) ==
            result.Incomplete.end())
            result.Incomplete.push_back(std::move(reason));
    };
    const size_t chainEnd = std::min(FChainEnd, FIncomplete.size());
    for (auto& r : FHeadIncomplete)
        add(r);
    for (size_t i = 0; i < chainEnd; ++i)
        add(FIncomplete[i]);
    for (auto r = FMaskFailures.rbegin(); r != FMaskFailures.rend(); ++r)
        add(*r);
    for (size_t i = chainEnd; i < FIncomplete.size(); ++i)
        add(FIncomplete[i]);
    result.RightsNotComputed = FSaidNotComputed;
    result.Cancelled = cancelled;
    result.Trustees.reserve(FTrustees.size());
    for (auto& t : FTrustees)
        result.Trustees.push_back(std::move(static_cast<TEffectiveTrustee&>(t)));
    FTrustees.clear();
    if (log != nullptr) {
        for (TStringList* part : {&FHead, &FLines}) {
            if (log->Sorted) {
                for (const auto& line : part->Items)
                    log->Add(line.Text, line.Value);
            } else {
                for (auto& line : part->Items)
                    log->Items.push_back(std::move(line));
            }
            part->Clear();
        }
    }
    return result;
}

} // namespace trovalen::analysis
