// The effective-trustee analysis as steps over a state. The state is what the chain from the top
// of the tree down to one level gives: the trustees with their rights, the reasons they hold them,
// the lines of the log and what could not be read. A level (a container of the tree, a directory
// of a volume) works on the state of the level above it, from what was read of the level; the
// steps that finish an entry (the directory's own answers, trustees through others, the final
// list) work on the state of the entry's level. The forward analysis (EffectiveTrustees.cpp) runs
// the steps for one target, reading as it goes; the subtree walk copies the state of a level for
// each entry below it, so that every level is read and worked out once. Used inside rights only.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "directory/DSRead.h"
#include "model/NWClient.h"
#include "rights/AnalysisResult.h"
#include "rights/CancelCheck.h"
#include "rights/EffectiveTrustees.h"
#include "rights/SecEquCache.h"
#include "rights/TrusteeIndex.h"
#include "util/StringList.h"

namespace trovalen::analysis {

// The start of a log line of a trustee that holds rights through another.
inline constexpr char kIndirectPrefix[] = "  Indirect Trustee: ";
inline constexpr uint32_t kNone = TTrusteeIndex::kNone;

// The answers a read may give that tell something about the directory rather than that the read
// failed: no such attribute or value, the end of a list.
bool Answers(NWCCODE code);
// A read about a trustee may also find that no object bears its name: a pseudo trustee, a bare
// ID, an object deleted since it was assigned.
bool AnswersAboutTrustee(NWCCODE code);

// What the analysis asks the directory about a trustee, whatever the entry: who names it in
// "Security Equals", the leaves below it, whether it is a container, its base class, whether it
// can log in. An answer is kept for as long as the facts live (one analysis, or one walk of many
// entries); a read that failed is not kept, so that it is read again, and its failure said again,
// wherever it is needed.
class TTrusteeFacts {
public:
    TTrusteeFacts(TNWClient* client, NWHandle ctx);

    TNWClient* Client() const { return FClient; }
    NWHandle Context() const { return FContext; }

    // The objects that name the trustee in "Security Equals"; null when the search failed
    // (code says why).
    const std::vector<std::string>* Equivalents(const std::string& trustee, NWCCODE& code);
    // The leaves at any depth below a container; a list cut short by a failure is handed out
    // as far as it came, with the code.
    const TStringList& Residents(const std::string& container, NWCCODE& code);
    bool IsContainer(const std::string& subject);
    NWCCODE BaseClass(const std::string& subject, std::string& className);
    // Whether the trustee's object classes hold ndsLoginProperties (false when they could not be
    // read).
    NWCCODE CanLogIn(const std::string& subject, bool& canLogIn);
    // Tells the client which trustees are about to be asked about (classes, equivalents): those
    // of the names it was not told of before. Objects only: bracketed names and bare IDs are
    // left out.
    template <class TNames> void Hint(const TNames& subjects);

private:
    void HintObjects(std::vector<std::string> names);

    struct TLoginAnswer {
        NWCCODE Code = 0;
        bool CanLogIn = false;
    };
    struct TClassAnswer {
        NWCCODE Code = 0;
        std::string Class;
    };

    TNWClient* FClient;
    NWHandle FContext;
    TSecEquCache FEquivalents;
    std::unordered_map<std::string, TStringList> FResidents;
    TStringList FScratch; // residents read but not kept
    std::unordered_map<std::string, bool> FContainers;
    std::unordered_map<std::string, TClassAnswer> FClasses;
    std::unordered_map<std::string, TLoginAnswer> FLogins;
    // The base classes, read through one context copy and buffer.
    TDSItemReader FBaseClass;
    std::unordered_set<std::string> FHinted;
    bool FReadsAhead;
};

template <class TNames> void TTrusteeFacts::Hint(const TNames& subjects) {
    if (!FReadsAhead)
        return;
    std::vector<std::string> names;
    for (const auto& t : subjects)
        if (!t.Subject.empty() && t.Subject[0] == '.' && FHinted.insert(t.Subject).second)
            names.push_back(t.Subject);
    if (!names.empty())
        HintObjects(std::move(names));
}

// What the steps share while they run: the client, the facts about trustees, the status bar and
// the stop flag.
struct TAnalysisServices {
    TAnalysisServices(TNWClient* client, NWHandle ctx, TTrusteeFacts& facts,
                      TStatusPanel* statusBar, const std::atomic<bool>* cancel)
        : Client(client), Context(ctx), Facts(facts),
          Status(statusBar != nullptr && statusBar->ShowsStatusText() ? statusBar : nullptr),
          Cancel(cancel) {}
    TNWClient* Client;
    NWHandle Context;
    TTrusteeFacts& Facts;
    TStatusPanel* Status; // null when nothing shows the texts: they are not made
    TCancelCheck Cancel;
};

// One container as the analysis reads it: its ACL values.
struct TContainerRead {
    std::string Name;
    NWCCODE Code = 0; // of the ACL read
    TStringList Acl;
};

// Reads the container's ACL.
TContainerRead U_ReadContainer(TNWClient* client, NWHandle ctx, const std::string& name);

// One directory of a volume as the analysis reads it: its inherited rights mask and trustees.
struct TDirectoryRead {
    bool Exists = true;  // a path that names no directory of a volume takes no part
    std::string VolPath; // "SYS:APPS\DATA", in the file server's code page
    NWCCODE IrmCode = 0; // a directory whose mask could not be read takes no part
    uint32_t Irm = 0;
    NWCCODE TrusteesCode = 0;
    TStringList Trustees; // names with their rights
};

// The trustees a reverse query follows: the queried trustee and those it holds rights through
// (the objects its "Security Equals" names, the containers it resides in), by their names in
// upper case. Every other trustee is left out from the start.
struct TTrusteeFilter {
    std::string Trustee; // the queried trustee's full name
    std::unordered_set<std::string> Through;
    bool Follows(const std::string& subject) const;
    bool IsTrustee(const std::string& subject) const;
};

class TAnalysis {
public:
    // flags: ET_*; threshold: the highest detail level logged; logs: whether lines are made at
    // all. services outlives the analysis and every copy of it.
    TAnalysis(TAnalysisServices& services, uint32_t flags, int threshold, bool logs);
    // Whether the log takes the "Effective:" and check lines: only the details pane shows them,
    // so a run that keeps no details leaves them out (the directory is still asked, and what it
    // could not answer still makes the result incomplete).
    void SetEffectiveLines(bool on) { FEffectiveLines = on; }

    // A reverse query: only the trustees the filter follows are kept (null: every trustee). The
    // filter outlives the analysis.
    void SetFilter(const TTrusteeFilter* filter) { FFilter = filter; }

    // --- The head of the entry: its lines and reasons come before every level's ---------------
    void HeadLine(const std::string& text, uint32_t level);
    void HeadError(const std::string& text, NWCCODE code);
    void HeadReadFailed(NWCCODE code, const std::string& what);

    // --- Levels --------------------------------------------------------------------------------
    // An error line among the levels' lines.
    void LevelError(const std::string& text, NWCCODE code) { LogError(text, code); }
    // A container above the object or the object itself (eDirectory), or a container on the
    // way to the file server (file system). target: the analysed object itself.
    void ContainerLevel(const TContainerRead& read, bool target);
    // File system: the way to the file server ends (its trustees are merged).
    void EndServerChain();
    // A directory of the volume, from the root down; scanned: the analysed directory.
    void DirectoryLevel(const TDirectoryRead& read, bool scanned);

    // --- The entry's end -----------------------------------------------------------------------
    // The steps after the levels: the merge and the directory's answers (eDirectory), the
    // Supervisor recalculation (file system), trustees through others, the final list. target:
    // the object's full name (eDirectory); leaf: nothing lies below it. linesBefore: the log's
    // lines before the analysis (may be null). Throws EAnalysisCancelled when stopped.
    void FinishEntry(const std::string& target, bool leaf, const TStringList* linesBefore);
    // The result; the log's lines (head, levels, end) are appended to log (may be null).
    // cancelled: FinishEntry or a level was stopped.
    TAnalysisResult TakeResult(bool cancelled, TStringList* log);

private:
    struct TWorkTrustee : TEffectiveTrustee {
        uint32_t Key = 0;
    };
    // A reason as it waits for its trustee's final record, a link of its key's list.
    struct TPendingReason {
        uint32_t Next = TTrusteeIndex::kNone;
        uint32_t Source = 0;      // index of the step's text
        uint32_t Mask = 0;        // the rights the step gave or left
        uint32_t TrusteeMask = 0; // eDirectory: the trustee's rights when the reason came
        TRightsType Family = rtFileSystem;
        TRightsType TrusteeFamily = rtFileSystem;
    };
    struct TCaseInsensitiveLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    struct TSortKeys;

    // Log, sources, reasons, trustees
    bool Logs(uint32_t level) const {
        return FLogs && FThreshold >= static_cast<int>(level) &&
               (level != LVL_EFFECTIVE || FEffectiveLines);
    }
    void LogLine(const std::string& text, uint32_t level);
    void LogEquivalentOnce(const std::string& equivalent, const std::string& trustee);
    void LogError(const std::string& text, NWCCODE code);
    void Incomplete(std::string reason);
    std::string Why(NWCCODE code) const;
    void ReadFailed(NWCCODE code, const std::string& what);
    void UseSource(const std::string& text);
    std::string ReasonTrusteeRights(const TPendingReason& r) const;
    std::string ReasonLine(const TPendingReason& r) const;
    void AddReason(const TWorkTrustee& t, uint32_t mask, TRightsType family);
    void AddTrustee(TEffectiveTrustee t, uint32_t reasonMask, TRightsType reasonFamily);
    void SetTrusteeRights(TWorkTrustee& t, uint32_t mask, TRightsType reasonFamily);
    void Status(const std::string& text);
    void Status(std::initializer_list<std::string_view> parts);
    bool Kept(const std::string& subject) const;

    // Levels
    void ApplyContainerIRM(const TACL& irm, const std::string& text);
    void MergeTrustees();
    template <class TAppendKey> TSortKeys SubjectKeys(TAppendKey appendKey);
    template <class TLess> void SortTrustees(TLess less);
    NWCCODE DirectoryRights(const std::string& subject, const std::string& attr,
                            std::string& letters, uint32_t& mask);
    void RaiseByEffectiveRights();
    TRightsAnswer EntryRights(uint32_t subject, uint32_t attribute);
    void Recalculate();

    // The entry's end
    void IndirectTrustees();
    void SecurityEquivalents(const TEffectiveTrustee& current);
    void Residents(const TEffectiveTrustee& current);
    void OnlyUsers();
    void FinalList();
    void CheckWithDirectory(const TWorkTrustee& t);

    TAnalysisServices* FServices;
    TNWClient* FClient;
    NWHandle FContext;
    uint32_t FFlags;
    int FThreshold;
    bool FLogs;
    bool FEffectiveLines = true; // see SetEffectiveLines
    bool FEdir;
    const TTrusteeFilter* FFilter = nullptr;

    std::string FTarget; // eDirectory: the object whose rights the directory is asked for
    bool FLeaf = false;
    std::vector<TWorkTrustee> FTrustees;
    // The steps the reasons name, by text ignoring case; the first is the empty one.
    std::map<std::string, uint32_t, TCaseInsensitiveLess> FSources;
    std::vector<TReasonText> FSourceTexts{TReasonText()};
    uint32_t FSource = 0;
    // The subjects and attributes met; per subject and attribute a reason list, each a chain
    // through FReasons; the directory's effective rights on the target, asked once per entry.
    TTrusteeIndex FIndex;
    std::vector<TPendingReason> FReasons;

    // The log: the head's lines, then the levels' and the end's.
    TStringList FHead;
    TStringList FLines;
    const TStringList* FLinesBefore = nullptr;
    std::unordered_set<std::string> FLogged;
    std::unordered_set<uint64_t> FLoggedPairs;
    bool FOnceIndexed = false;

    // Why the result is not whole: the head's reasons; those of the levels and the end; the
    // masks of directories that could not be read (file system), said nearest first after the
    // way to the file server (FChainEnd: how many reasons that way gave).
    std::vector<std::string> FHeadIncomplete;
    std::vector<std::string> FIncomplete;
    std::vector<std::string> FMaskFailures;
    size_t FChainEnd = 0;
    bool FSaidNotComputed = false;
    // Failed answers of the directory's effective rights: by code, the first subject and how
    // many more.
    std::map<NWCCODE, std::pair<std::string, int>> FRightsFailures;
    size_t FListed = 0; // trustees whose lines the final list has written
};

} // namespace trovalen::analysis
