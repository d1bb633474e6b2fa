#include "rights/EffectiveTrustees.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "attrinfo/AttrRead.h"
#include "directory/DSContext.h"
#include "directory/DSFilter.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "model/RightsModel.h"
#include "rights/CancelCheck.h"
#include "rights/NameQueues.h"
#include "rights/SecEquCache.h"
#include "rights/TrusteeIndex.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

// A chain of containers deeper than this is taken to be a loop in the directory's answers.
constexpr int kMaxChainDepth = 512;
// The inherited rights mask of a volume's root: it filters nothing.
constexpr uint32_t kVolumeRootIrm = 0xFFFFFFFFu;
// The letters of each eDirectory family. A mask of the analysis keeps only these and the
// inheritance bit: the directory's ACL values carry no other rights.
constexpr uint32_t kEntryLetterBits =
    DS_ENTRY_BROWSE | DS_ENTRY_ADD | DS_ENTRY_DELETE | DS_ENTRY_RENAME | DS_ENTRY_SUPERVISOR;
constexpr uint32_t kAttrLetterBits = DS_ATTR_ALL_RIGHTS;
constexpr char kIndirectPrefix[] = "  Indirect Trustee: ";
constexpr char kSecEquInfix[] = "\t(SecEqu to \"";
// The kind of U_DSListTree that lists leaves only.
constexpr int kListLeaves = 2;

uint32_t DirectoryMask(uint32_t mask, TRightsType family) {
    uint32_t letters = family == rtEntry ? kEntryLetterBits : kAttrLetterBits;
    return mask & (letters | DS_INHERIT_CTL);
}

// One volume level of a scanned path, from the path up to the volume root.
struct TVolumeLevel {
    std::string VolPath; // "SYS:APPS\DATA", in the file server's code page
    uint32_t Irm = 0;
};

// A trustee while the analysis runs: its record, and the reason list it shares with every trustee
// of the same subject (and attribute). Those share their reasons even when one of them was dropped
// on the way and another came later: the reasons tell the whole way down.
struct TWorkTrustee : TEffectiveTrustee {
    uint32_t Key = 0;
};

constexpr uint32_t kNone = TTrusteeIndex::kNone;

// A reason as it waits for its trustee's final record, a link of its key's list. The texts it
// is ordered by are made only when a list holds more than one.
struct TPendingReason {
    uint32_t Next = kNone;
    uint32_t Source = 0;      // index of the step's text
    uint32_t Mask = 0;        // the rights the step gave or left
    uint32_t TrusteeMask = 0; // eDirectory: the trustee's rights when the reason came
    TRightsType Family = rtFileSystem;
    TRightsType TrusteeFamily = rtFileSystem;
};

struct TCaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return U_CompareText(a, b) < 0;
    }
};

// Sort keys of the trustees, made once per merge and kept one after another in one buffer.
struct TSortKeys {
    std::string Bytes;
    std::vector<size_t> Ends{0}; // key i is Bytes[Ends[i], Ends[i + 1])
    std::string_view operator[](size_t i) const {
        return std::string_view(Bytes).substr(Ends[i], Ends[i + 1] - Ends[i]);
    }
};

class TAnalysis {
public:
    // client may be null (the adapter over no installed client): every read then fails. Every
    // directory and file-server read of the analysis goes to this client.
    TAnalysis(TNWClient* client, NWHandle ctx, const std::string& target, int threshold,
              TStatusPanel* statusBar, TStringList* log, uint32_t flags,
              const std::atomic<bool>* cancel = nullptr)
        : FClient(client), FContext(ctx), FTarget(target), FThreshold(threshold),
          FStatus(statusBar), FLog(log), FFlags(flags), FEdir((flags & ET_EDIRECTORY) != 0),
          FCancel(cancel) {}

    TAnalysisResult Run() {
        bool cancelled = false;
        try {
            Start();
            DirectoryPass();
            if (!FEdir)
                FileSystemPass();
            IndirectTrustees();
            FinalList();
        } catch (const EAnalysisCancelled&) {
            // Only the trustees whose lines the log holds stay: the rest were not finished.
            cancelled = true;
            FTrustees.resize(std::min(FTrustees.size(), FListed));
            Incomplete(kAnalysisCancelled);
        }
        End();
        for (const auto& [code, failed] : FRightsFailures)
            Incomplete(U_Format(
                "the directory's effective rights of %s%s could not be read (%s)",
                failed.first.c_str(),
                failed.second == 0 ? "" : U_Format(" and %d more trustees", failed.second).c_str(),
                Why(code).c_str()));
        TAnalysisResult result;
        result.Edir = FEdir;
        result.Incomplete = std::move(FIncomplete);
        result.RightsNotComputed = FSaidNotComputed;
        result.Cancelled = cancelled;
        result.Trustees.reserve(FTrustees.size());
        for (auto& t : FTrustees)
            result.Trustees.push_back(std::move(static_cast<TEffectiveTrustee&>(t)));
        return result;
    }

private:
    // --- Log, sources, reasons, trustees ------------------------------------------------------

    // Whether a line of the level is written: lines that are not need not be made.
    bool Logs(uint32_t level) const {
        return FLog != nullptr && FThreshold >= static_cast<int>(level);
    }

    void LogLine(const std::string& text, uint32_t level) {
        if (!Logs(level))
            return;
        FLog->Add(text, level);
    }

    // Writes the line that names an equivalent of a trustee unless the log holds it already.
    // The lines of this analysis are told apart by their two names; lines of the same form
    // that the log held before the analysis by their text.
    void LogEquivalentOnce(const std::string& equivalent, const std::string& trustee) {
        if (!Logs(LVL_SECURITY_EQUIVALENT))
            return;
        auto line = [&] {
            return U_Format("%s%s%s%s\")", kIndirectPrefix, equivalent.c_str(), kSecEquInfix,
                            trustee.c_str());
        };
        if (!FOnceIndexed) {
            for (const auto& logged : *FLog)
                if (U_StartsWith(logged.Text, kIndirectPrefix) &&
                    logged.Text.find(kSecEquInfix) != std::string::npos)
                    FLogged.insert(logged.Text);
            FOnceIndexed = true;
        }
        if (!FLogged.empty()) {
            std::string text = line();
            if (FLogged.insert(text).second)
                FLog->Add(text, LVL_SECURITY_EQUIVALENT);
            return;
        }
        const uint64_t pair =
            (static_cast<uint64_t>(FIndex.Subject(equivalent)) << 32) | FIndex.Subject(trustee);
        if (FLoggedPairs.insert(pair).second)
            FLog->Add(line(), LVL_SECURITY_EQUIVALENT);
    }

    void LogError(const std::string& text, NWCCODE code) {
        if (code == 0)
            return;
        LogLine(U_Format("%s: %s", text.c_str(), U_NWErrorText(FClient, code).c_str()), LVL_ERROR);
    }

    // --- What kept the result from being whole ------------------------------------------------

    // A reason why the result is not whole, listed once.
    void Incomplete(std::string reason) {
        if (std::find(FIncomplete.begin(), FIncomplete.end(), reason) == FIncomplete.end())
            FIncomplete.push_back(std::move(reason));
    }

    // The client's words for a code, as they continue a sentence.
    std::string Why(NWCCODE code) const {
        std::string text = FClient != nullptr ? FClient->ErrorText(code) : "no client";
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
            (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }

    // The answers a read may give that tell something about the directory rather than that the
    // read failed: no such attribute or value, the end of a list.
    static bool Answers(NWCCODE code) {
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
    // A read about a trustee may also find that no object bears its name: a pseudo trustee, a
    // bare ID, an object deleted since it was assigned.
    static bool AnswersAboutTrustee(NWCCODE code) {
        return Answers(code) || code == ERR_NO_SUCH_ENTRY || code == ERR_NOT_FOUND ||
               code == ERR_INVALID_OBJECT_NAME;
    }

    // A read that failed makes the result incomplete: what could not be read, and why.
    void ReadFailed(NWCCODE code, const std::string& what) {
        if (!Answers(code))
            Incomplete(U_Format("%s could not be read (%s)", what.c_str(), Why(code).c_str()));
    }

    // The step that the following reasons name. Texts that differ only in letter case are one
    // step, spelt as it came first.
    void UseSource(const std::string& text) {
        auto [it, added] = FSources.try_emplace(text, static_cast<uint32_t>(FSourceTexts.size()));
        if (added)
            FSourceTexts.push_back(text);
        FSource = it->second;
    }

    // The texts a reason is ordered by: the trustee's rights when it came (eDirectory), and
    // "[rights] why" as the log shows it.
    std::string ReasonTrusteeRights(const TPendingReason& r) const {
        return FEdir ? U_RightsToStr(r.TrusteeMask, r.TrusteeFamily) : std::string();
    }
    std::string ReasonLine(const TPendingReason& r) const {
        return U_ReasonText({r.Mask, r.Family, FSourceTexts[r.Source]});
    }

    // Reasons of one trustee come in the order of their rights when they came (eDirectory), then
    // of their text; letter case is ignored, and a reason already listed is not added again.
    void AddReason(const TWorkTrustee& t, uint32_t mask, TRightsType family) {
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

    void AddTrustee(TEffectiveTrustee t, uint32_t reasonMask, TRightsType reasonFamily) {
        TWorkTrustee& w = FTrustees.emplace_back();
        static_cast<TEffectiveTrustee&>(w) = std::move(t);
        w.Key = FIndex.Key(w.Subject, w.Attribute);
        AddReason(w, reasonMask, reasonFamily);
    }

    void SetTrusteeRights(TWorkTrustee& t, uint32_t mask, TRightsType reasonFamily) {
        t.Mask = FEdir ? DirectoryMask(mask, t.Family) : mask;
        AddReason(t, mask, reasonFamily);
    }

    void Status(const std::string& text) {
        if (FStatus != nullptr)
            FStatus->SetStatusText(text);
    }

    // The status text of the parts given, made only when a status bar shows it.
    void Status(std::initializer_list<std::string_view> parts) {
        if (FStatus == nullptr)
            return;
        std::string text;
        for (std::string_view p : parts)
            text += p;
        FStatus->SetStatusText(text);
    }

    // --- The chain of containers above the target ---------------------------------------------

    void Start() {
        FCache = std::make_unique<TSecEquCache>();
        std::string chainStart;
        if (FEdir) {
            LogLine("", LVL_START);
            LogLine(U_Format("Object: \"%s\" on tree \"%s\"", FTarget.c_str(),
                             U_DSGetTreeName(FClient, FContext).c_str()),
                    LVL_HEADER);
            chainStart = FTarget;
        } else {
            NWCCODE code = U_PathToNWPath(FClient, FTarget, FPath);
            LogError(U_Format("U_PathToNWPath (%s)", FTarget.c_str()), code);
            ReadFailed(code, U_Format("the path %s", FTarget.c_str()));
            uint32_t volumeNumber = 0;
            std::string volumeDN, serverDN;
            if (FClient != nullptr && FClient->FileServer() != nullptr &&
                FClient->FileServer()->VolumeNumber(FPath.ConnHandle, FPath.Volume, volumeNumber) ==
                    0)
                U_NWGetVolumeDN(FClient, FContext, FPath.ConnHandle, volumeNumber, volumeDN);
            NWCCODE serverCode = U_DSGetServerDN(FClient, FPath.ConnHandle, FContext, serverDN);
            LogLine(U_Format("Tree/Volume/Server: %s / %s / %s",
                             U_DSGetTreeName(FClient, FContext).c_str(), volumeDN.c_str(),
                             serverDN.c_str()),
                    LVL_HEADER);
            LogError(U_Format("U_DSGetServerDN (%s)", FTarget.c_str()), serverCode);
            ReadFailed(serverCode, U_Format("the file server's object of %s", FTarget.c_str()));
            // The way to a file server's volumes leads through the server's object.
            chainStart = serverDN;
        }
        if (FEdir) {
            TNDSObj target;
            NWCCODE code = U_DSReadObject(FClient, FContext, FTarget, target);
            ReadFailed(code, U_Format("the object %s", FTarget.c_str()));
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
                ReadFailed(code, U_Format("the container above %s", name.c_str()));
            if (parent.empty() || parent == name ||
                std::find(FChain.begin(), FChain.end(), parent) != FChain.end())
                break;
            FChain.push_back(parent);
            name = parent;
        }
    }

    // --- Assignments and inherited rights masks from the top of the tree down -----------------

    void DirectoryPass() {
        for (int level = static_cast<int>(FChain.size()) - 1; level >= 0; --level) {
            const std::string name = FChain[level];
            LogLine("", LVL_OUTER_OFFSET + LVL_LEVEL_NAME);
            LogLine("DN: " + name, LVL_OUTER_OFFSET + LVL_LEVEL_NAME);
            TStringList acls;
            FLastCode = U_DSGetAttribute(FClient, FContext, name, "ACL", acls);
            LogError(U_Format("U_DSGetAttribute (%s:ACL)", name.c_str()), FLastCode);
            ReadFailed(FLastCode, U_Format("the ACL of %s", name.c_str()));
            if (FLastCode != 0)
                acls.Clear();
            // A value the directory could not hand out as an ACL is shown as it stood and
            // takes no part in the analysis; the result says that it is missing.
            int unreadable = 0;
            std::string firstUnreadable;
            for (int i = 0; i < acls.Count();) {
                FCancel();
                if (U_IsACLText(acls[i])) {
                    ++i;
                    continue;
                }
                LogLine("  Unreadable ACL value: " + acls[i], LVL_ERROR);
                if (unreadable++ == 0)
                    firstUnreadable = acls[i];
                acls.Delete(i);
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

            for (const auto& acl : acls) {
                if (acl.Text.find(kInheritanceMask) != std::string::npos)
                    ApplyContainerIRM(U_ParseACL(acl.Text), acl.Text);
            }

            const TTrusteeSources source =
                FEdir ? (level == 0 ? TS_ASSIGNED : TS_INHERITED) : TS_SERVER_SUPERVISOR;
            for (const auto& acl : acls) {
                FCancel();
                const std::string& text = acl.Text;
                if (text.find(kInheritanceMask) != std::string::npos)
                    continue;
                if (FEdir) {
                    TACL v = U_ParseACL(text);
                    TEffectiveTrustee t;
                    t.Subject = U_DSDotName(v.Subject);
                    t.Attribute = v.AttrName;
                    t.Family = v.RightsType;
                    t.Mask =
                        DirectoryMask(U_AddImpliedRights(v.Privileges, v.RightsType), t.Family);
                    t.Sources = source;
                    LogLine("  Direct Trustee: " + U_TrusteeListText(t, true),
                            LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE);
                    AddTrustee(std::move(t), v.Privileges, v.RightsType);
                } else {
                    // On the way to a server only Supervisor entry rights count: they give
                    // every right of the file system.
                    std::string letters = U_ACLRightsText(text);
                    if (text.find(kEntryRights) == std::string::npos ||
                        (letters.find('S') == std::string::npos &&
                         letters.find('A') == std::string::npos))
                        continue;
                    TEffectiveTrustee t;
                    t.Subject = U_ACLSubject(text);
                    t.Family = rtFileSystem;
                    t.Mask = FS_ALL_RIGHTS;
                    t.Sources = source;
                    AddTrustee(std::move(t), FS_ALL_RIGHTS, rtFileSystem);
                    LogLine("  Direct Trustee: " + text, LVL_OUTER_OFFSET + LVL_DIRECT_TRUSTEE);
                }
            }
        }
        MergeTrustees();
    }

    void ApplyContainerIRM(const TACL& irm, const std::string& text) {
        if (FEdir) {
            LogLine(U_Format("IRM: [%s] on \"%s\"", irm.Rights.c_str(), irm.AttrName.c_str()),
                    LVL_OUTER_OFFSET + LVL_IRM);
            // The mask keeps the rights the IRM names; the inheritance bit stays as it was.
            const uint32_t keep = irm.Privileges | DS_INHERIT_CTL;
            TACL probe;
            std::erase_if(FTrustees, [&](TEffectiveTrustee& t) {
                FCancel();
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

    // --- Merging values of one trustee, raising by the directory's effective rights -----------

    void MergeTrustees() {
        if (FEdir) {
            // By name from the top of the tree down, then by attribute.
            // The order of U_CompareDottedNames over the upper-case names, from keys made once.
            const TSortKeys keys = SubjectKeys(U_AppendDottedKey);
            SortTrustees([&](size_t a, size_t b) {
                FCancel();
                int c = U_CompareDottedKeys(keys[a], keys[b]);
                return c != 0 ? c < 0 : FTrustees[a].Attribute < FTrustees[b].Attribute;
            });
            // Neighbours with the same subject and attribute, spelt alike, become the first.
            size_t kept = 0;
            for (size_t i = 0; i < FTrustees.size(); ++i) {
                FCancel();
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
                FCancel();
                return keys[a] < keys[b];
            });
            // Every trustee with a subject spelt alike becomes the first of them. Those spelt
            // alike are neighbours in a run of names equal but for letter case.
            size_t kept = 0;
            size_t run = 0; // where the run of the kept ones starts
            for (size_t i = 0; i < FTrustees.size(); ++i) {
                FCancel();
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
    template <class TAppendKey> TSortKeys SubjectKeys(TAppendKey appendKey) {
        TSortKeys keys;
        keys.Ends.reserve(FTrustees.size() + 1);
        for (const auto& t : FTrustees) {
            FCancel();
            appendKey(t.Subject, keys.Bytes);
            keys.Ends.push_back(keys.Bytes.size());
        }
        return keys;
    }

    // A stable sort of the trustees by their positions, so that the comparison can use keys
    // worked out once per trustee.
    template <class TLess> void SortTrustees(TLess less) {
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

    // The directory's own effective rights of subject on the target. A directory that computes
    // none (a plain LDAP server) says so once per analysis instead of once per trustee; its
    // answer "[n/a]" then raises nothing and is compared with nothing.
    NWCCODE DirectoryRights(const std::string& subject, const std::string& attr,
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
    void RaiseByEffectiveRights() {
        bool remembered = false;
        std::string subject;
        uint32_t allAttrs = 0, entry = 0;
        std::string allAttrsText, entryText;
        const uint32_t allAttrsNumber = FIndex.Attribute(kAllAttributesRights);
        const uint32_t entryNumber = FIndex.Attribute(kEntryRights);
        for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
            FCancel();
            TWorkTrustee& t = FTrustees[i];
            if (t.Subject == kThis || t.Attribute == kEntryRights ||
                t.Attribute == kInheritanceMask)
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

    // The directory's effective rights on the target of a subject for an attribute. The answer
    // cannot change within one analysis, so each subject and attribute is asked once.
    TRightsAnswer EntryRights(uint32_t subject, uint32_t attribute) {
        if (const TRightsAnswer* known = FIndex.FindAnswer(subject, attribute))
            return *known;
        TRightsAnswer& a = FIndex.AddAnswer(subject, attribute);
        a.Code = DirectoryRights(std::string(FIndex.SubjectText(subject)),
                                 FIndex.AttributeText(attribute), a.Letters, a.Rights);
        return a;
    }

    // --- The volume's directories from the root down to the scanned one ----------------------

    // The scanned directory and those above it that the volume holds, nearest first.
    std::vector<TVolumeLevel> VolumeLevels() {
        std::vector<TVolumeLevel> levels;
        std::string path = U_WithoutTrailingSlash(U_PathToUNC(FClient, FTarget));
        while (!path.empty() && U_DirExists(U_OemToText(path))) {
            TNWPath level;
            if (U_PathToNWPath(FClient, path, level) == 0 && FClient != nullptr) {
                std::string volPath =
                    U_Format("%s:%s", level.Volume.c_str(), level.DirPath.c_str());
                TDirEntryInfo info;
                NWCCODE code =
                    FClient->FileServer()->DirEntryInfo(level.ConnHandle, 0, volPath, info);
                if (code == 0)
                    levels.push_back(
                        {volPath, level.DirPath.empty() ? kVolumeRootIrm : info.RightsMask});
                else
                    ReadFailed(code, U_Format("the inherited rights mask of %s",
                                              U_OemToText(volPath).c_str()));
            }
            size_t cut = path.find_last_of('\\');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
        return levels;
    }

    void FileSystemPass() {
        const std::vector<TVolumeLevel> levels = VolumeLevels();
        if (levels.empty())
            LogError(U_Format("Invalid Path (%s)", FTarget.c_str()), -1);

        for (int k = static_cast<int>(levels.size()) - 1; k >= 0; --k) {
            const bool scanned = k == 0;
            const uint32_t offset = scanned ? 0 : LVL_OUTER_OFFSET;
            U_ProcessMessages();
            const std::string volPath = U_OemToText(levels[k].VolPath);
            const uint32_t irm = levels[k].Irm;
            const std::string irmText = U_RightsToStr(irm, rtFileSystem);
            UseSource(U_Format("IRM filter %s on path: %s  ", irmText.c_str(), volPath.c_str()));
            LogLine("", LVL_DETAIL);
            LogLine(U_Format("Path: \"%s\" - IRM %s", volPath.c_str(), irmText.c_str()),
                    offset + LVL_LEVEL_PATH);

            // Supervisor is never filtered by a directory's IRM.
            for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
                FCancel();
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

            TStringList direct;
            NWCCODE code =
                U_NWGetTrustees(FClient, FContext, FPath.ConnHandle, levels[k].VolPath, direct);
            LogError(U_Format("U_NWGetTrustees (%s)", volPath.c_str()), code);
            ReadFailed(code, U_Format("the trustees of %s", volPath.c_str()));
            UseSource(U_Format("for direct Trustee assignment on \"%s\"", volPath.c_str()));
            // The trustees by name, ignoring case, in list order; an assignment on this directory
            // replaces the first of them that is still there.
            // The names are viewed where they are kept, the list having room for every
            // assignment beforehand.
            FTrustees.reserve(FTrustees.size() + direct.Items.size());
            TNameQueues byName(FTrustees.size() + direct.Items.size());
            for (size_t i = 0; i < FTrustees.size(); ++i)
                byName.Push(FTrustees[i].Subject, i);
            std::vector<bool> replaced(FTrustees.size(), false);
            for (const auto& d : direct) {
                FCancel();
                const size_t first = byName.Pop(d.Text);
                if (first != TNameQueues::kNoPosition)
                    replaced[first] = true;
                LogLine(U_Format("  Direct Trustee: %s %s", d.Text.c_str(),
                                 U_RightsToStr(d.Value, rtFileSystem).c_str()),
                        offset + LVL_DIRECT_TRUSTEE);
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

    // --- Trustees through others: security equivalence, residence; only users ---------------

    // Tells the client that every trustee's object is about to be read and searched for.
    void PrefetchTrustees() {
        if (FClient == nullptr)
            return;
        std::vector<std::string> subjects;
        subjects.reserve(FTrustees.size());
        for (const auto& t : FTrustees)
            if (subjects.empty() || subjects.back() != t.Subject)
                subjects.push_back(t.Subject);
        FClient->PrefetchObjects(FContext, subjects);
    }

    void IndirectTrustees() {
        LogLine("", LVL_DETAIL);
        PrefetchTrustees();
        for (int i = static_cast<int>(FTrustees.size()) - 1; i >= 0; --i) {
            FCancel();
            // A copy: the trustees found are appended to the list.
            const TEffectiveTrustee current = FTrustees[i];
            SecurityEquivalents(current);
            if (FFlags & ET_RESOLVE_CONTAINERS)
                Residents(current);
            Status({"Check indirect trustees: ", current.Subject});
        }
        U_ProcessMessages();
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
    void SecurityEquivalents(const TEffectiveTrustee& current) {
        const std::string& trustee = current.Subject;
        U_ProcessMessages();

        std::string key = TSecEquCache::KeyOf(trustee);
        const std::vector<std::string>* found = FCache->FindKey(key);
        if (found == nullptr) {
            // The equality search hands the name to the client as it is, so no character of
            // it can break the filter.
            TStringList list;
            FLastCode = U_DSSearchEqual(FClient, FContext, std::string(kRoot), "Security Equals",
                                        trustee, list, DS_SEARCH_SUBTREE);
            LogError(U_Format("U_DSFilteredSearch (%s)", trustee.c_str()), FLastCode);
            ReadFailed(FLastCode,
                       U_Format("the objects security equivalent to %s", trustee.c_str()));
            if (FLastCode != 0)
                return;
            found = FCache->StoreKey(key, list);
        }
        if (found->empty())
            return;

        UseSource(U_Format("for SecEqu to \"%s\"", trustee.c_str()));
        for (const auto& name : *found) {
            FCancel();
            TEffectiveTrustee t = Through(current, U_DSDotName(name), TS_SECURITY_EQUIVALENT);
            LogEquivalentOnce(t.Subject, trustee);
            AddTrustee(std::move(t), current.Mask, current.Family);
        }
    }

    // The objects below a container that is a trustee hold its rights.
    void Residents(const TEffectiveTrustee& current) {
        const std::string& trustee = current.Subject;
        if (!IsContainer(trustee))
            return;
        U_ProcessMessages();
        TStringList scratch;
        NWCCODE code =
            U_DSListTree(FClient, FContext, trustee, scratch, true, false, "", kListLeaves);
        ReadFailed(code, U_Format("the objects residing in %s", trustee.c_str()));
        if (scratch.Empty())
            return;
        UseSource(U_Format("for residence in \"%s\"", trustee.c_str()));
        for (const auto& item : scratch) {
            FCancel();
            if (item.Text.empty())
                continue;
            AddTrustee(Through(current, U_DSDotName(item.Text), TS_RESIDENT), current.Mask,
                       current.Family);
            LogLine(U_Format("%s%s\t(Resides in \"%s\")", kIndirectPrefix, item.Text.c_str(),
                             trustee.c_str()),
                    LVL_RESIDENT);
        }
    }

    // A trustee that holds what another holds, for the same attribute.
    static TEffectiveTrustee Through(const TEffectiveTrustee& other, std::string subject,
                                     TTrusteeSources source) {
        TEffectiveTrustee t;
        t.Subject = std::move(subject);
        t.Attribute = other.Attribute;
        t.Family = other.Family;
        t.Mask = other.Mask;
        t.Sources = source;
        return t;
    }

    // Whether the trustee is a container. The trustees come sorted by name, so the answer for
    // the one before serves its other attributes.
    bool IsContainer(const std::string& subject) {
        if (!FContainerKnown || subject != FContainerSubject) {
            FContainerSubject = subject;
            FContainer = U_DSIsContainer(FClient, FContext, subject);
            FContainerKnown = true;
        }
        return FContainer;
    }

    void OnlyUsers() {
        PrefetchTrustees();
        std::erase_if(FTrustees, [&](const TEffectiveTrustee& t) {
            FCancel();
            if (U_IsSpecialName(t.Subject))
                return false;
            if ((FFlags & ET_RESOLVE_CONTAINERS) && IsContainer(t.Subject))
                return false;
            TStringList classes;
            NWCCODE code = U_DSGetAttribute(FClient, FContext, t.Subject, "Object Class", classes);
            if (!AnswersAboutTrustee(code))
                Incomplete(U_Format("the classes of %s could not be read (%s)", t.Subject.c_str(),
                                    Why(code).c_str()));
            return code != 0 || classes.IndexOf("ndsLoginProperties") < 0;
        });
    }

    // --- The result: classes, the directory's own answer, reasons -----------------------------

    void FinalList() {
        std::string lastSubject, lastClass;
        bool known = false;
        for (auto& t : FTrustees) {
            FCancel();
            // The trustees of one subject are neighbours: their class is read once.
            if (known && t.Subject == lastSubject) {
                t.ClassName = lastClass;
            } else {
                NWCCODE code = FBaseClass.Read(t.Subject, t.ClassName);
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
            LogLine(U_EffectiveLine(t, FEdir), LVL_EFFECTIVE);
            if (FEdir)
                CheckWithDirectory(t);
            for (uint32_t r = FIndex.ReasonHead(t.Key); r != kNone; r = FReasons[r].Next) {
                const TPendingReason& pending = FReasons[r];
                t.Reasons.push_back({pending.Mask, pending.Family, FSourceTexts[pending.Source]});
                LogLine("     * " + U_ReasonText(t.Reasons.back()), LVL_DETAIL);
            }
            ++FListed;
        }
    }

    // The directory computes effective rights itself; a different answer is logged.
    void CheckWithDirectory(const TWorkTrustee& t) {
        std::string calculated = U_TrusteeRights(t);
        const std::string reported =
            EntryRights(FIndex.SubjectOf(t.Key), FIndex.AttributeOf(t.Key)).Letters;
        if (reported != "[n/a]" && !U_SameRightsLetters(reported, calculated))
            LogLine(U_Format("  Check 2:     Calc s: %s - Eff: %s", calculated.c_str(),
                             reported.c_str()),
                    LVL_EFFECTIVE);
    }

    void End() {
        Status("");
        U_ProcessMessages();
        if (FCache)
            FCache->EraseAll();
        U_ProcessMessages();
    }

    TNWClient* FClient;
    NWHandle FContext;
    std::string FTarget;
    int FThreshold;
    TStatusPanel* FStatus;
    TStringList* FLog;
    uint32_t FFlags;
    bool FEdir;

    TNWPath FPath;
    std::vector<std::string> FChain; // the target (or the file server) and its containers
    std::vector<TWorkTrustee> FTrustees;
    // The steps the reasons name, by text ignoring case; the first is the empty one.
    std::map<std::string, uint32_t, TCaseInsensitiveLess> FSources;
    std::vector<std::string> FSourceTexts{std::string()};
    uint32_t FSource = 0;
    // The subjects and attributes met; per subject and attribute a reason list, each a chain
    // through FReasons; the directory's effective rights on the target, asked once per analysis.
    TTrusteeIndex FIndex;
    std::vector<TPendingReason> FReasons;
    std::unordered_set<std::string> FLogged;
    std::unordered_set<uint64_t> FLoggedPairs;
    bool FOnceIndexed = false;
    bool FSaidNotComputed = false;
    std::vector<std::string> FIncomplete;
    // Failed answers of the directory's effective rights: by code, the first subject and how
    // many more.
    std::map<NWCCODE, std::pair<std::string, int>> FRightsFailures;
    NWCCODE FLastCode = 0;
    bool FLeaf = false;
    std::string FContainerSubject;
    bool FContainer = false;
    bool FContainerKnown = false;
    std::unique_ptr<TSecEquCache> FCache;
    // The base classes of the trustees, read through one context copy and buffer.
    TDSItemReader FBaseClass{FClient, FContext, DSI_BASE_CLASS};
    TCancelCheck FCancel;
    size_t FListed = 0; // trustees whose lines the final list has written
};

} // namespace

const char kAnalysisCancelled[] = "the scan was stopped while the entry was analysed";

TAnalysisResult U_AnalyseEffectiveTrustees(TNWClient& client, NWHandle ctx,
                                           const std::string& target, uint32_t flags, int threshold,
                                           TStringList* log, TStatusPanel* statusBar,
                                           const std::atomic<bool>* cancel) {
    return TAnalysis(&client, ctx, target, threshold, statusBar, log, flags, cancel).Run();
}

void U_EffectiveTrustees(TNWClient* client, NWHandle ctx, const std::string& target, int threshold,
                         TStatusPanel* statusBar, TStringList& trustees, TStringList* log,
                         uint32_t flags) {
    TAnalysisResult result = TAnalysis(client, ctx, target, threshold, statusBar, log, flags).Run();
    trustees.Clear();
    for (const auto& t : result.Trustees)
        trustees.Add(U_TrusteeListText(t, result.Edir), t.Mask);
}

} // namespace trovalen
