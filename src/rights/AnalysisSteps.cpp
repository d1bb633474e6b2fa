#include "rights/AnalysisSteps.h"

#include <algorithm>

#include "attrinfo/AttrRead.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "model/RightsModel.h"
#include "rights/NameQueues.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen::analysis {

namespace {

// The letters of each eDirectory family. A mask of the analysis keeps only these and the
// inheritance bit: the directory's ACL values carry no other rights.
constexpr uint32_t kEntryLetterBits =
    DS_ENTRY_BROWSE | DS_ENTRY_ADD | DS_ENTRY_DELETE | DS_ENTRY_RENAME | DS_ENTRY_SUPERVISOR;
constexpr uint32_t kAttrLetterBits = DS_ATTR_ALL_RIGHTS;
constexpr char kSecEquInfix[] = "\t(SecEqu to \"";

uint32_t DirectoryMask(uint32_t mask, TRightsType family) {
    uint32_t letters = family == rtEntry ? kEntryLetterBits : kAttrLetterBits;
    return mask & (letters | DS_INHERIT_CTL);
}

} // namespace

// Sort keys of the trustees, made once per merge and kept one after another in one buffer.
struct TAnalysis::TSortKeys {
    std::string Bytes;
    std::vector<size_t> Ends{0}; // key i is Bytes[Ends[i], Ends[i + 1])
    std::string_view operator[](size_t i) const {
        return std::string_view(Bytes).substr(Ends[i], Ends[i + 1] - Ends[i]);
    }
};

bool Answers(NWCCODE code) {
    switch (code) {
    case NW_OK:
    case ERR_NO_SUCH_ATTRIBUTE:
    case ERR_NO_SUCH_VALUE:
    case ERR_END_OF_LIST:
        return true;
    default:
        return false;
    }
}

bool AnswersAboutTrustee(NWCCODE code) {
    return Answers(code) || code == ERR_NO_SUCH_ENTRY || code == ERR_NOT_FOUND ||
           code == ERR_INVALID_OBJECT_NAME;
}

TContainerRead U_ReadContainer(TNWClient* client, NWHandle ctx, const std::string& name) {
    TContainerRead read;
    read.Name = name;
    read.Code = U_DSGetAttribute(client, ctx, name, "ACL", read.Acl);
    if (read.Code != 0)
        read.Acl.Clear();
    return read;
}

bool TTrusteeFilter::Follows(const std::string& subject) const {
    return Through.contains(U_UpperCase(subject));
}

bool TTrusteeFilter::IsTrustee(const std::string& subject) const {
    return U_SameText(subject, Trustee);
}

bool TAnalysis::TCaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return U_CompareText(a, b) < 0;
}

TAnalysis::TAnalysis(TAnalysisServices& services, uint32_t flags, int threshold, bool logs)
    : FServices(&services), FClient(services.Client), FContext(services.Context), FFlags(flags),
      FThreshold(threshold), FLogs(logs), FEdir((flags & ET_EDIRECTORY) != 0) {}

// --- Log, sources, reasons, trustees ----------------------------------------------------------

void TAnalysis::LogLine(const std::string& text, uint32_t level) {
    if (!Logs(level))
        return;
    FLines.Add(text, level);
}

void TAnalysis::HeadLine(const std::string& text, uint32_t level) {
    if (Logs(level))
        FHead.Add(text, level);
}

void TAnalysis::HeadError(const std::string& text, NWCCODE code) {
    if (code != 0)
        HeadLine(U_Format("%s: %s", text.c_str(), U_NWErrorText(FClient, code).c_str()), LVL_ERROR);
}

void TAnalysis::HeadReadFailed(NWCCODE code, const std::string& what) {
    if (Answers(code))
        return;
    std::string reason = U_Format("%s could not be read (%s)", what.c_str(), Why(code).c_str());
    if (std::find(FHeadIncomplete.begin(), FHeadIncomplete.end(), reason) == FHeadIncomplete.end())
        FHeadIncomplete.push_back(std::move(reason));
}

// Writes the line that names an equivalent of a trustee unless the log holds it already. The
// lines of this analysis are told apart by their two names; lines of the same form that the log
// held before they were first looked for, by their text.
void TAnalysis::LogEquivalentOnce(const std::string& equivalent, const std::string& trustee) {
    if (!Logs(LVL_SECURITY_EQUIVALENT))
        return;
    auto line = [&] {
        return U_Format("%s%s%s%s\")", kIndirectPrefix, equivalent.c_str(), kSecEquInfix,
                        trustee.c_str());
    };
    if (!FOnceIndexed) {
        for (const TStringList* part : {FLinesBefore, static_cast<const TStringList*>(&FHead),
                                        static_cast<const TStringList*>(&FLines)})
            if (part != nullptr)
                for (const auto& logged : *part)
                    if (U_StartsWith(logged.Text, kIndirectPrefix) &&
                        logged.Text.find(kSecEquInfix) != std::string::npos)
                        FLogged.insert(logged.Text);
        FOnceIndexed = true;
    }
    if (!FLogged.empty()) {
        std::string text = line();
        if (FLogged.insert(text).second)
            FLines.Add(text, LVL_SECURITY_EQUIVALENT);
        return;
    }
    const uint64_t pair =
        (static_cast<uint64_t>(FIndex.Subject(equivalent)) << 32) | FIndex.Subject(trustee);
    if (FLoggedPairs.insert(pair).second)
        FLines.Add(line(), LVL_SECURITY_EQUIVALENT);
}

void TAnalysis::LogError(const std::string& text, NWCCODE code) {
    if (code == 0)
        return;
    LogLine(U_Format("%s: %s", text.c_str(), U_NWErrorText(FClient, code).c_str()), LVL_ERROR);
}

// A reason why the result is not whole, listed once.
void TAnalysis::Incomplete(std::string reason) {
    if (std::find(FIncomplete.begin(), FIncomplete.end(), reason) == FIncomplete.end())
        FIncomplete.push_back(std::move(reason));
}

// The client's words for a code, as they continue a sentence.
std::string TAnalysis::Why(NWCCODE code) const {
    std::string text = FClient != nullptr ? FClient->ErrorText(code) : "no client";
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
        (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

// A read that failed makes the result incomplete: what could not be read, and why.
void TAnalysis::ReadFailed(NWCCODE code, const std::string& what) {
    if (!Answers(code))
        Incomplete(U_Format("%s could not be read (%s)", what.c_str(), Why(code).c_str()));
}

// The step that the following reasons name. Texts that differ only in letter case are one step,
// spelt as it came first.
void TAnalysis::UseSource(const std::string& text) {
    auto [it, added] = FSources.try_emplace(text, static_cast<uint32_t>(FSourceTexts.size()));
    if (added)
        FSourceTexts.push_back(text);
    FSource = it->second;
}

// The texts a reason is ordered by: the trustee's rights when it came (eDirectory), and
// "[rights] why" as the log shows it.
std::string TAnalysis::ReasonTrusteeRights(const TPendingReason& r) const {
    return FEdir ? U_RightsToStr(r.TrusteeMask, r.TrusteeFamily) : std::string();
}

std::string TAnalysis::ReasonLine(const TPendingReason& r) const {
    return U_ReasonText({r.Mask, r.Family, FSourceTexts[r.Source]});
}

// Reasons of one trustee come in the order of their rights when they came (eDirectory), then of
// their text; letter case is ignored, and a reason already listed is not added again. A trustee
// shares its reasons with every trustee of the same subject (and attribute), also with one that
// was dropped on the way: the reasons tell the whole way down.
void TAnalysis::AddReason(const TWorkTrustee& t, uint32_t mask, TRightsType family) {
    TPendingReason r;
    r.Source = FSource;
    r.Mask = mask;
    r.Family = family;
    r.TrusteeMask = t.Mask;
    r.TrusteeFamily = t.Family;
    uint32_t* link = &FIndex.ReasonHead(t.Key);
    if (*link != kNone) {
        const std::string rights = ReasonTrusteeRights(r);
        const std::string line = ReasonLine(r);
        while (*link != kNone) {
            const TPendingReason& listed = FReasons[*link];
            int c = U_CompareText(ReasonTrusteeRights(listed), rights);
            if (c == 0)
                c = U_CompareText(ReasonLine(listed), line);
            if (c == 0)
                return;
            if (c > 0)
                break;
            link = &FReasons[*link].Next;
        }
    }
    r.Next = *link;
    *link = static_cast<uint32_t>(FReasons.size());
    FReasons.push_back(r);
}

void TAnalysis::AddTrustee(TEffectiveTrustee t, uint32_t reasonMask, TRightsType reasonFamily) {
    TWorkTrustee& w = FTrustees.emplace_back();
    static_cast<TEffectiveTrustee&>(w) = std::move(t);
    w.Key = FIndex.Key(w.Subject, w.Attribute);
    AddReason(w, reasonMask, reasonFamily);
}

void TAnalysis::SetTrusteeRights(TWorkTrustee& t, uint32_t mask, TRightsType reasonFamily) {
    t.Mask = FEdir ? DirectoryMask(mask, t.Family) : mask;
    AddReason(t, mask, reasonFamily);
}

void TAnalysis::Status(const std::string& text) {
    if (FServices->Status != nullptr)
        FServices->Status->SetStatusText(text);
}

// The status text of the parts given, made only when a status bar shows it.
void TAnalysis::Status(std::initializer_list<std::string_view> parts) {
    if (FServices->Status == nullptr)
        return;
    std::string text;
    for (std::string_view p : parts)
        text += p;
    FServices->Status->SetStatusText(text);
}

// Whether a trustee of this name takes part: every one, but in a reverse query only those the
// query follows.
bool TAnalysis::Kept(const std::string& subject) const {
    return FFilter == nullptr || FFilter->Follows(subject);
}

// --- Assignments and inherited rights masks from the top of the tree down -------------------

void TAnalysis::ContainerLevel(const TContainerRead& read, bool target) {
    TCancelCheck& cancel = FServices->Cancel;
    const std::string& name = read.Name;
    LogLine("", LVL_OUTER_OFFSET + LVL_LEVEL_NAME);
    if (Logs(LVL_OUTER_OFFSET + LVL_LEVEL_NAME))
        LogLine("DN: " + name, LVL_OUTER_OFFSET + LVL_LEVEL_NAME);
    if (read.Code != 0)
        LogError(U_Format("U_DSGetAttribute (%s:ACL)", name.c_str()), read.Code);
    ReadFailed(read.Code, U_Format("the ACL of %s", name.c_str()));
    // A value the directory could not hand out as an ACL is shown as it stood and takes no part
    // in the analysis; the result says that it is missing.
    std::vector<const std::string*> acls;
    acls.reserve(read.Acl.Items.size());
    int unreadable = 0;
    std::string firstUnreadable;
    for (const auto& value : read.Acl) {
        cancel();
        if (U_IsACLText(value.Text)) {
            acls.push_back(&value.Text);
            continue;
        }
        LogLine("  Unreadable ACL value: " + value.Text, LVL_ERROR);
        if (unreadable++ == 0)
            firstUnreadable = value.Text;
    }
    if (unreadable > 0)
        Incomplete(U_Format("%d ACL value%s of %s could not be read (\"%s\"%s)", unreadable,
                            unreadable == 1 ? "" : "s", name.c_str(),
                            U_ShownText(firstUnreadable, 200).c_str(),
                            unreadable == 1 ? "" : " and others"));
    // Directory names are text already; only names of the file server come as OEM.
    UseSource(U_Format("for direct Trustee assignment on \"%s\"", name.c_str()));

    if (FEdir) {
        // Rights assigned above without the inheritable flag end at their own level.
        std::erase_if(FTrustees, [](const TEffectiveTrustee& t) {
            return !U_IsInheritable(t.Mask, t.Family);
        });
    }

    for (const std::string* acl : acls) {
        if (acl->find(kInheritanceMask) != std::string::npos)
            ApplyContainerIRM(U_ParseACL(*acl), *acl);
    }

    const TTrusteeSources source =
        FEdir ? (target ? TS_ASSIGNED : TS_INHERITED) : TS_SERVER_SUPERVISOR;
    for (const std::string* acl : acls) {
        cancel();
        const std::string& text = *acl;
        if (text.find(kInheritanceMask) != std::string::npos)
            continue;
        if (FEdir) {
            TACL v = U_ParseACL(text);
            TEffectiveTrustee t;
            t.Subject = U_DSDotName(v.Subject);
            t.Attribute = v.AttrName;
            t.Family = v.RightsType;
            t.Mask = DirectoryMask(U_AddImpliedRights(v.Privileges, v.RightsType), t.Family);
            t.Sources = source;
            if (Logs(LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE))
                LogLine("  Direct Trustee: " + U_TrusteeListText(t, true),
                        LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE);
            if (Kept(t.Subject))
                AddTrustee(std::move(t), v.Privileges, v.RightsType);
        } else {
            // On the way to a server only Supervisor entry rights count: they give every right of
            // the file system.
            std::string letters = U_ACLRightsText(text);
            if (text.find(kEntryRights) == std::string::npos ||
                (letters.find('S') == std::string::npos && letters.find('A') == std::string::npos))
                continue;
            TEffectiveTrustee t;
            t.Subject = U_ACLSubject(text);
            t.Family = rtFileSystem;
            t.Mask = FS_ALL_RIGHTS;
            t.Sources = source;
            if (Kept(t.Subject))
                AddTrustee(std::move(t), FS_ALL_RIGHTS, rtFileSystem);
            if (Logs(LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE))
                LogLine("  Direct Trustee: " + text, LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE);
        }
    }
}

void TAnalysis::EndServerChain() {
    MergeTrustees();
    FChainEnd = FIncomplete.size();
}

void TAnalysis::ApplyContainerIRM(const TACL& irm, const std::string& text) {
    if (FEdir) {
        LogLine(U_Format("IRM: [%s] on \"%s\"", irm.Rights.c_str(), irm.AttrName.c_str()),
                LVL_OUTER_OFFSET + LVL_IRM);
        // The mask keeps the rights the IRM names; the inheritance bit stays as it was.
        const uint32_t keep = irm.Privileges | DS_INHERIT_CTL;
        TACL probe;
        std::erase_if(FTrustees, [&](TEffectiveTrustee& t) {
            FServices->Cancel();
            probe.AttrName = t.Attribute;
            if (!U_IRMCovers(irm, probe))
                return false;
            t.Mask &= keep;
            return (t.Mask & ~DS_INHERIT_CTL) == 0;
        });
    } else {
        LogLine("IRM: " + U_HeadOf(text, "]", false), LVL_OUTER_OFFSET + LVL_IRM);
        // An entry-rights IRM that stops Supervisor blocks what came from above.
        if (irm.AttrName == kEntryRights && irm.Rights.find('S') == std::string::npos &&
            irm.Rights.find('A') == std::string::npos)
            FTrustees.clear();
    }
}

// --- Merging values of one trustee, raising by the directory's effective rights -------------

void TAnalysis::MergeTrustees() {
    TCancelCheck& cancel = FServices->Cancel;
    if (FEdir) {
        // By name from the top of the tree down, then by attribute.
        // The order of U_CompareDottedNames over the upper-case names, from keys made once.
        const TSortKeys keys = SubjectKeys(U_AppendDottedKey);
        SortTrustees([&](size_t a, size_t b) {
            cancel();
            int c = U_CompareDottedKeys(keys[a], keys[b]);
            return c != 0 ? c < 0 : FTrustees[a].Attribute < FTrustees[b].Attribute;
        });
        // Neighbours with the same subject and attribute, spelt alike, become the first.
        size_t kept = 0;
        for (size_t i = 0; i < FTrustees.size(); ++i) {
            cancel();
            if (kept > 0 && FTrustees[i].Subject == FTrustees[kept - 1].Subject &&
                FTrustees[i].Attribute == FTrustees[kept - 1].Attribute) {
                FTrustees[kept - 1].Mask |= FTrustees[i].Mask;
                FTrustees[kept - 1].Sources |= FTrustees[i].Sources;
                continue;
            }
            if (kept != i)
                FTrustees[kept] = std::move(FTrustees[i]);
            ++kept;
        }
        FTrustees.resize(kept);
        RaiseByEffectiveRights();
    } else {
        // The order of U_CompareText, from upper-case copies of the names made once: they
        // compare as unsigned bytes, the shorter of two equal beginnings first.
        const TSortKeys keys = SubjectKeys([](std::string_view subject, std::string& out) {
            for (char c : subject)
                out += U_UpCaseChar(c);
        });
        SortTrustees([&](size_t a, size_t b) {
            cancel();
            return keys[a] < keys[b];
        });
        // Every trustee with a subject spelt alike becomes the first of them. Those spelt alike
        // are neighbours in a run of names equal but for letter case.
        size_t kept = 0;
        size_t run = 0; // where the run of the kept ones starts
        for (size_t i = 0; i < FTrustees.size(); ++i) {
            cancel();
            if (kept == 0 || !U_SameText(FTrustees[run].Subject, FTrustees[i].Subject))
                run = kept;
            size_t same = run;
            while (same < kept && FTrustees[same].Subject != FTrustees[i].Subject)
                ++same;
            if (same < kept) {
                FTrustees[same].Mask |= FTrustees[i].Mask;
                FTrustees[same].Sources |= FTrustees[i].Sources;
                continue;
            }
            if (kept != i)
                FTrustees[kept] = std::move(FTrustees[i]);
            ++kept;
        }
        FTrustees.resize(kept);
    }
}

// A key of each trustee's subject, as appendKey(subject, keys) appends it.
template <class TAppendKey> TAnalysis::TSortKeys TAnalysis::SubjectKeys(TAppendKey appendKey) {
    TSortKeys keys;
    keys.Ends.reserve(FTrustees.size() + 1);
    for (const auto& t : FTrustees) {
        FServices->Cancel();
        appendKey(t.Subject, keys.Bytes);
        keys.Ends.push_back(keys.Bytes.size());
    }
    return keys;
}

// A stable sort of the trustees by their positions, so that the comparison can use keys worked
// out once per trustee.
template <class TLess> void TAnalysis::SortTrustees(TLess less) {
    std::vector<size_t> order(FTrustees.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), less);
    std::vector<TWorkTrustee> sorted;
    sorted.reserve(FTrustees.size());
    for (size_t i : order)
        sorted.push_back(std::move(FTrustees[i]));
    FTrustees = std::move(sorted);
}

// The directory's own effective rights of subject on the target. A directory that computes none
// (a plain LDAP server) says so once per analysis instead of once per trustee; its answer "[n/a]"
// then raises nothing and is compared with nothing.
NWCCODE TAnalysis::DirectoryRights(const std::string& subject, const std::string& attr,
                                   std::string& letters, uint32_t& mask) {
    NWCCODE code = U_DSEntryRights(FClient, FContext, subject, FTarget, attr, letters, mask);
    if (code == ERR_RIGHTS_NOT_COMPUTED && !FSaidNotComputed) {
        FSaidNotComputed = true;
        LogError(U_Format("U_DSEntryRights (%s)", FTarget.c_str()), code);
    } else if (code != ERR_RIGHTS_NOT_COMPUTED && !AnswersAboutTrustee(code)) {
        // Said once per answer, with the first subject it came for and how many more.
        auto [it, added] = FRightsFailures.try_emplace(code, subject, 0);
        it->second.second += added ? 0 : 1;
    }
    return code;
}

// Supervisor over the entry, or rights over all attributes, raise each single attribute.
void TAnalysis::RaiseByEffectiveRights() {
    bool remembered = false;
    std::string subject;
    uint32_t allAttrs = 0, entry = 0;
    std::string allAttrsText, entryText;
    const uint32_t allAttrsNumber = FIndex.Attribute(kAllAttributesRights);
    const uint32_t entryNumber = FIndex.Attribute(kEntryRights);
    for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
        FServices->Cancel();
        TWorkTrustee& t = FTrustees[i];
        if (t.Subject == kThis || t.Attribute == kEntryRights || t.Attribute == kInheritanceMask)
            continue;
        if (!remembered || t.Subject != subject) {
            const uint32_t number = FIndex.SubjectOf(t.Key);
            TRightsAnswer all = EntryRights(number, allAttrsNumber);
            allAttrsText = std::move(all.Letters);
            allAttrs = all.Rights;
            TRightsAnswer onEntry = EntryRights(number, entryNumber);
            entryText = std::move(onEntry.Letters);
            entry = (onEntry.Rights & DS_ENTRY_SUPERVISOR) ? DS_ATTR_ALL_RIGHTS : 0;
            subject = t.Subject;
            remembered = true;
        }
        if (entry == 0 && allAttrs == 0)
            continue;
        if (entry != 0) {
            uint32_t raised = (t.Mask | entry) & ~DS_INHERIT_CTL;
            if (raised != t.Mask) {
                UseSource(U_Format("Effective %s rights on %s  ", entryText.c_str(),
                                   std::string(kEntryRights).c_str()));
                SetTrusteeRights(t, raised, rtAttribute);
                continue;
            }
        }
        if (allAttrs != 0) {
            uint32_t raised = (t.Mask | allAttrs) & ~DS_INHERIT_CTL;
            if (raised != t.Mask) {
                UseSource(U_Format("Effective %s rights on %s  ", allAttrsText.c_str(),
                                   std::string(kAllAttributesRights).c_str()));
                SetTrusteeRights(t, raised, rtAttribute);
            }
        }
    }
}

// The directory's effective rights on the target of a subject for an attribute. The answer cannot
// change within one entry, so each subject and attribute is asked once.
TRightsAnswer TAnalysis::EntryRights(uint32_t subject, uint32_t attribute) {
    if (const TRightsAnswer* known = FIndex.FindAnswer(subject, attribute))
        return *known;
    TRightsAnswer& a = FIndex.AddAnswer(subject, attribute);
    a.Code = DirectoryRights(std::string(FIndex.SubjectText(subject)),
                             FIndex.AttributeText(attribute), a.Letters, a.Rights);
    return a;
}

// --- The volume's directories from the root down to the scanned one ------------------------

void TAnalysis::DirectoryLevel(const TDirectoryRead& read, bool scanned) {
    TCancelCheck& cancel = FServices->Cancel;
    if (!read.Exists)
        return;
    const std::string volPath = U_OemToText(read.VolPath);
    if (read.IrmCode != 0) {
        // A directory whose mask could not be read takes no part; the reason is said with
        // those of the other masks, nearest first.
        if (!Answers(read.IrmCode))
            FMaskFailures.push_back(
                U_Format("the inherited rights mask of %s could not be read (%s)", volPath.c_str(),
                         Why(read.IrmCode).c_str()));
        return;
    }
    const uint32_t offset = scanned ? 0 : LVL_OUTER_OFFSET;
    U_ProcessMessages();
    const uint32_t irm = read.Irm;
    const std::string irmText = U_RightsToStr(irm, rtFileSystem);
    UseSource(U_Format("IRM filter %s on path: %s  ", irmText.c_str(), volPath.c_str()));
    LogLine("", LVL_DETAIL);
    if (Logs(offset + LVL_LEVEL_PATH))
        LogLine(U_Format("Path: \"%s\" - IRM %s", volPath.c_str(), irmText.c_str()),
                offset + LVL_LEVEL_PATH);

    // Supervisor is never filtered by a directory's IRM.
    for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
        cancel();
        TWorkTrustee& t = FTrustees[i];
        if (t.Mask & FS_SUPERVISOR)
            continue;
        uint32_t filtered = t.Mask & (irm | FS_SUPERVISOR);
        if (filtered != t.Mask) {
            if (Logs(LVL_CALCULATION))
                LogLine(U_Format("  Apply Filter: %s -> %s", t.Subject.c_str(),
                                 U_RightsToStr(filtered, rtFileSystem).c_str()),
                        LVL_CALCULATION);
            SetTrusteeRights(t, filtered, rtFileSystem);
        }
    }
    // Those the filter left without a right go; Supervisor holders keep theirs.
    std::erase_if(FTrustees, [](const TEffectiveTrustee& t) { return t.Mask == 0; });
    MergeTrustees();

    const TStringList& direct = read.Trustees;
    if (read.TrusteesCode != 0)
        LogError(U_Format("U_NWGetTrustees (%s)", volPath.c_str()), read.TrusteesCode);
    ReadFailed(read.TrusteesCode, U_Format("the trustees of %s", volPath.c_str()));
    UseSource(U_Format("for direct Trustee assignment on \"%s\"", volPath.c_str()));
    // The trustees by name, ignoring case, in list order; an assignment on this directory
    // replaces the first of them that is still there. The names are viewed where they are kept,
    // the list having room for every assignment beforehand.
    FTrustees.reserve(FTrustees.size() + direct.Items.size());
    TNameQueues byName(FTrustees.size() + direct.Items.size());
    for (size_t i = 0; i < FTrustees.size(); ++i)
        byName.Push(FTrustees[i].Subject, i);
    std::vector<bool> replaced(FTrustees.size(), false);
    for (const auto& d : direct) {
        cancel();
        if (Logs(offset + LVL_DIRECT_TRUSTEE))
            LogLine(U_Format("  Direct Trustee: %s %s", d.Text.c_str(),
                             U_RightsToStr(d.Value, rtFileSystem).c_str()),
                    offset + LVL_DIRECT_TRUSTEE);
        if (!Kept(d.Text))
            continue;
        const size_t first = byName.Pop(d.Text);
        if (first != TNameQueues::kNoPosition)
            replaced[first] = true;
        TEffectiveTrustee t;
        t.Subject = d.Text;
        t.Family = rtFileSystem;
        t.Mask = d.Value;
        t.Sources = scanned ? TS_ASSIGNED : TS_INHERITED;
        byName.Push(d.Text, FTrustees.size());
        replaced.push_back(false);
        AddTrustee(std::move(t), d.Value, rtFileSystem);
    }
    size_t at = 0;
    std::erase_if(FTrustees, [&](const TEffectiveTrustee&) { return replaced[at++]; });
}

void TAnalysis::Recalculate() {
    LogLine("", LVL_CALCULATION);
    for (auto& t : FTrustees) {
        if (t.Mask & FS_SUPERVISOR)
            t.Mask = FS_ALL_RIGHTS;
        if (Logs(LVL_CALCULATION))
            LogLine(U_Format("  Recalc: %s: %s", t.Subject.c_str(),
                             U_RightsToStr(t.Mask, rtFileSystem).c_str()),
                    LVL_CALCULATION);
    }
}

} // namespace trovalen::analysis
