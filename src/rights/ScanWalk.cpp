// The scan run's walks: a subtree audit (each entry and everything below it, optionally only
// where rights change) and a reverse query (what one trustee can reach below each scope). Both
// list their scopes first, so that progress knows the whole count, then walk each once.
#include <algorithm>
#include <unordered_map>

#include "attrinfo/AttrRead.h"
#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "rights/NameQueues.h"
#include "rights/ScanRun.h"
#include "rights/SubtreeWalk.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

// The rights a change compares: the inheritance letter I is no right.
uint32_t ComparedRights(uint32_t mask, TRightsType family) {
    return family == rtFileSystem ? mask : mask & ~DS_INHERIT_CTL;
}

// A trustee's key in a comparison: its name and attribute, ignoring letter case.
struct TChangeKey {
    std::string_view Subject;
    std::string_view Attribute;
    bool operator==(const TChangeKey& other) const {
        return U_SameText(Subject, other.Subject) && U_SameText(Attribute, other.Attribute);
    }
};
struct TChangeKeyHash {
    size_t operator()(const TChangeKey& k) const {
        return U_CaseInsensitiveHash(k.Subject) * 31 + U_CaseInsensitiveHash(k.Attribute);
    }
};

TChangeKey ChangeKey(const TEffectiveTrustee& t) {
    return {t.Subject, t.Attribute};
}

// One walk of the run: its scope as listed and the walk that analyses it.
struct TListedScope {
    std::string Entry;
    std::unique_ptr<TSubtreeWalk> Walk;
    TWalkScope Scope;
};

// The names of a run's entries in the order it reaches them: those of each walk, or the scope
// itself when it was not found.
std::vector<std::string> EntryNames(const std::vector<TListedScope>& scopes) {
    std::vector<std::string> names;
    for (const auto& s : scopes) {
        if (!s.Scope.Found)
            names.push_back(s.Entry);
        for (const auto& node : s.Scope.Nodes)
            names.push_back(node.Name);
    }
    return names;
}

} // namespace

const char* U_TrusteeChangeKind(const TTrusteeChange& change) {
    if (ComparedRights(change.Before, change.Family) == 0)
        return "gained";
    if (ComparedRights(change.After, change.Family) == 0)
        return "lost";
    return "changed";
}

std::string U_TrusteeChangeLine(const TTrusteeChange& change, bool edir) {
    const std::string kind = U_TrusteeChangeKind(change);
    std::string rights;
    if (kind == "gained")
        rights = U_RightsToStr(change.After, change.Family);
    else if (kind == "lost")
        rights = U_RightsToStr(change.Before, change.Family);
    else
        rights = U_RightsToStr(change.Before, change.Family) + " -> " +
                 U_RightsToStr(change.After, change.Family);
    std::string line = U_Format("Changed Trustee:\t%s\t%s\t%s\t%s", kind.c_str(),
                                change.ClassName.c_str(), rights.c_str(), change.Name.c_str());
    if (edir)
        line += "\t" + change.Attribute;
    return line;
}

std::vector<TTrusteeChange> U_TrusteeChanges(const std::vector<TEffectiveTrustee>& above,
                                             const std::vector<TEffectiveTrustee>& here) {
    // Most entries list the trustees of the entry above in the same order with the same rights:
    // told at once.
    if (above.size() == here.size() &&
        std::equal(above.begin(), above.end(), here.begin(),
                   [](const TEffectiveTrustee& a, const TEffectiveTrustee& b) {
                       return a.Family == b.Family &&
                              ComparedRights(a.Mask, a.Family) ==
                                  ComparedRights(b.Mask, b.Family) &&
                              a.Subject == b.Subject && a.Attribute == b.Attribute;
                   }))
        return {};
    // The rights of each trustee on either side (records of one name spelt differently count
    // as one), and the order each side names them in.
    struct TSide {
        std::unordered_map<TChangeKey, size_t, TChangeKeyHash> At;
        std::vector<const TEffectiveTrustee*> First;
        std::vector<uint32_t> Rights;
    };
    auto sideOf = [](const std::vector<TEffectiveTrustee>& trustees) {
        TSide side;
        for (const auto& t : trustees) {
            auto [it, added] = side.At.try_emplace(ChangeKey(t), side.First.size());
            if (added) {
                side.First.push_back(&t);
                side.Rights.push_back(0);
            }
            side.Rights[it->second] |= t.Mask;
        }
        return side;
    };
    const TSide before = sideOf(above);
    const TSide after = sideOf(here);
    auto change = [](const TEffectiveTrustee& t, uint32_t was, uint32_t is) {
        TTrusteeChange c;
        c.Name = U_TrusteeDisplayName(t);
        c.Attribute = t.Attribute;
        c.ClassName = t.ClassName;
        c.Family = t.Family;
        c.Before = was;
        c.After = is;
        return c;
    };
    std::vector<TTrusteeChange> changes;
    for (size_t i = 0; i < after.First.size(); ++i) {
        const TEffectiveTrustee& t = *after.First[i];
        auto it = before.At.find(ChangeKey(t));
        const uint32_t was = it == before.At.end() ? 0 : before.Rights[it->second];
        if (ComparedRights(was, t.Family) != ComparedRights(after.Rights[i], t.Family))
            changes.push_back(change(t, was, after.Rights[i]));
    }
    for (size_t i = 0; i < before.First.size(); ++i) {
        const TEffectiveTrustee& t = *before.First[i];
        if (!after.At.contains(ChangeKey(t)) && ComparedRights(before.Rights[i], t.Family) != 0)
            changes.push_back(change(t, before.Rights[i], 0));
    }
    return changes;
}

// --- The trustee of a reverse query ----------------------------------------------------------

bool TScanRun::ResolveTrustee(const TStringList& scopes, std::string& failure) {
    TNWClient* client = FRequest.Client;
    FReachContext = FRequest.Edir    ? FRequest.UserContext
                    : scopes.Empty() ? FRequest.ScanContext
                                     : FileSystemContext(scopes[0]);
    const NWHandle ctx = FReachContext;
    auto filter = std::make_shared<analysis::TTrusteeFilter>();
    FTrusteeProblems.clear();
    const std::string& name = FRequest.Trustee;
    if (U_IsSpecialName(name)) {
        // [Public], [Root]: no object, only its own assignments.
        filter->Trustee = name;
        filter->Through.insert(U_UpperCase(name));
        FFilter = filter;
        return true;
    }
    std::string full;
    NWCCODE code = client == nullptr ? ERR_CLIENT_NOT_STARTED : U_DSGetDN(client, ctx, name, full);
    TNDSObj object;
    if (code == NW_OK && !full.empty())
        code = U_DSReadObject(client, ctx, full, object);
    if (code != NW_OK || full.empty()) {
        if (code == NW_OK || code == ERR_NO_SUCH_ENTRY || code == ERR_NOT_FOUND ||
            code == ERR_INVALID_OBJECT_NAME)
            failure = U_Format("the trustee %s does not exist", name.c_str());
        else
            failure = U_Format("the trustee %s could not be read (%s)", name.c_str(),
                               U_NWErrorText(client, code).c_str());
        return false;
    }
    filter->Trustee = full;
    filter->Through.insert(U_UpperCase(full));
    // Whom it is security equal to: group memberships, roles, other objects.
    TStringList equals;
    code = U_DSGetAttribute(client, ctx, full, "Security Equals", equals);
    if (!analysis::Answers(code))
        FTrusteeProblems.push_back(
            U_Format("the security equivalences of %s could not be read (%s)", full.c_str(),
                     U_NWErrorText(client, code).c_str()));
    for (const auto& e : equals)
        filter->Through.insert(U_UpperCase(U_DSDotName(e.Text)));
    // A leaf resides in every container above it.
    if ((object.Summary.Flags & DS_CONTAINER_ENTRY) == 0) {
        filter->Through.insert(U_UpperCase(std::string(kRoot)));
        std::string current = full;
        for (int depth = 0; depth < 512; ++depth) {
            std::string parent;
            code = U_DSGetParentDN(client, ctx, current, parent);
            if (code != NW_OK && current != kRoot)
                FTrusteeProblems.push_back(U_Format("the container above %s could not be read (%s)",
                                                    current.c_str(),
                                                    U_NWErrorText(client, code).c_str()));
            if (parent.empty() || parent == current || U_SameText(parent, full))
                break;
            filter->Through.insert(U_UpperCase(parent));
            current = parent;
        }
    }
    FFilter = filter;
    return true;
}

// --- The walks ---------------------------------------------------------------------------------

bool TScanRun::WalkGoesOn(const std::vector<std::string>& names, size_t next, TScanResult& result,
                          bool stopped) {
    if (CheckBroken(result)) {
        RecordNotReached(names, next, result);
        return false;
    }
    if (stopped || (FRequest.Cancel != nullptr && FRequest.Cancel->load())) {
        result.Cancelled = true;
        std::string line = U_CancelledLine(result.EntriesDone, result.EntriesTotal);
        result.Details.Add(line, LVL_RESULT_ERROR);
        result.Summary.Add(line);
        AddDebugLine(line);
        ReportNewLines(result);
        RecordNotReached(names, next, result);
        return false;
    }
    return true;
}

void TScanRun::RecordNotReached(const std::vector<std::string>& names, size_t next,
                                TScanResult& result) {
    for (size_t i = next; i < names.size(); ++i) {
        TScanEntry& record = result.Entries.emplace_back();
        record.Name = names[i];
        record.Status = TEntryStatus::Cancelled;
    }
}

void TScanRun::RunWalks(const TStringList& entries, TScanResult& result) {
    const bool reach = FFilter != nullptr;
    TWalkOptions options;
    options.Edir = FRequest.Edir;
    options.Flags = FFlags & ~ET_EDIRECTORY;
    options.Threshold = Threshold();
    options.EffectiveLines = FRequest.KeepDetails;
    if (reach) {
        // What the trustee reaches through a container it resides in counts.
        options.Flags |= ET_RESOLVE_CONTAINERS;
        options.Logs = false;
        options.Filter = FFilter.get();
    }
    // Every scope is listed first: the run knows how many entries it has.
    std::vector<TListedScope> scopes;
    for (const auto& entry : entries) {
        TListedScope& s = scopes.emplace_back();
        s.Entry = entry.Text;
        const NWHandle ctx = FRequest.Edir ? FRequest.UserContext : FileSystemContext(entry.Text);
        s.Walk =
            std::make_unique<TSubtreeWalk>(FRequest.Client, ctx, options, &FHost, FRequest.Cancel);
        bool cancelled = false;
        s.Scope = s.Walk->List(entry.Text, cancelled);
        // What the client met while listing belongs to the scope's start.
        if (FRequest.Client != nullptr && !s.Scope.Nodes.empty())
            for (auto& problem : FRequest.Client->TakeProblems())
                s.Scope.Nodes.front().Problems.push_back(std::move(problem));
        if (cancelled)
            break;
    }
    const std::vector<std::string> names = EntryNames(scopes);
    result.EntriesTotal = static_cast<int>(names.size());
    if (!WalkGoesOn(names, 0, result))
        return;

    // The trustees each entry lists, kept for the entries below it (ChangesOnly).
    std::vector<std::vector<TEffectiveTrustee>> listedAbove;
    size_t next = 0;
    for (auto& s : scopes) {
        if (!s.Scope.Found) {
            FHost.EntryStarted(result.EntriesDone, result.EntriesTotal, s.Entry);
            // The scan of a missing entry says so as the forward scan does.
            if (FRequest.Edir)
                EdirEntry(s.Entry, result);
            else
                FileSystemEntry(s.Entry, result);
            ++result.EntriesDone;
            ReportNewLines(result);
            if (!WalkGoesOn(names, ++next, result))
                return;
            continue;
        }
        bool goesOn = true;
        s.Walk->Analyse(s.Scope, [&](TWalkedEntry& walked) {
            FHost.EntryStarted(result.EntriesDone, result.EntriesTotal, walked.Node->Name);
            // An entry stopped while it was analysed is recorded and ends the run; it is not
            // counted as done.
            const bool stopped = walked.Analysis.Cancelled;
            if (reach)
                ReachEntry(walked, result);
            else
                AuditEntry(walked, result, listedAbove);
            ++next;
            if (!stopped)
                ++result.EntriesDone;
            ReportNewLines(result);
            goesOn = WalkGoesOn(names, next, result, stopped);
            return goesOn;
        });
        if (!goesOn)
            return;
    }
}

void TScanRun::AuditEntry(TWalkedEntry& walked, TScanResult& result,
                          std::vector<std::vector<TEffectiveTrustee>>& listedAbove) {
    const size_t summaryBefore = result.Summary.Items.size();
    const size_t detailsBefore = result.Details.Items.size();
    const std::string name = walked.Node->Name;
    if (FRequest.Edir)
        EdirEntry(name, result, &walked);
    else
        FileSystemEntry(name, result, &walked);
    if (!FRequest.ChangesOnly)
        return;
    TScanEntry& record = result.Entries.back();
    const size_t depth = static_cast<size_t>(walked.Node->Depth);
    if (listedAbove.size() > depth)
        listedAbove.erase(listedAbove.begin() + static_cast<long>(depth), listedAbove.end());
    if (depth > 0 && depth <= listedAbove.size())
        record.Changes = U_TrusteeChanges(listedAbove[depth - 1], record.Trustees);
    if (walked.HasBelow)
        listedAbove.push_back(record.Trustees);
    if (!FRequest.KeepRecords) {
        record.Trustees.clear();
        record.Trustees.shrink_to_fit();
    }
    if (depth > 0 && record.Changes.empty() && U_EntryComplete(record)) {
        // The same rights as the entry above: not listed.
        result.Entries.pop_back();
        result.Summary.Items.resize(summaryBefore);
        result.Details.Items.resize(detailsBefore);
        return;
    }
    // What changed follows the entry's trustees, before the blank lines that end it.
    std::vector<TStringItem> lines;
    for (const auto& c : record.Changes)
        lines.push_back({U_TrusteeChangeLine(c, FRequest.Edir), 0});
    auto& summary = result.Summary.Items;
    const size_t at = summary.size() >= summaryBefore + 2 ? summary.size() - 2 : summary.size();
    summary.insert(summary.begin() + static_cast<long>(at), lines.begin(), lines.end());
    if (FRequest.KeepDetails)
        for (auto& line : lines)
            result.Details.Add(line.Text, LVL_EFFECTIVE);
}

void TScanRun::ReachEntry(TWalkedEntry& walked, TScanResult& result) {
    const std::string& name = walked.Node->Name;
    TScanEntry record;
    std::string header;
    if (FRequest.Edir) {
        record.Name = name;
        record.Tree = FRequest.CurrentTree;
        header = U_Format("Object: \"%s\" on tree \"%s\"", name.c_str(), record.Tree.c_str());
    } else {
        record.Name = name; // the walk lists the long form
        TNWPath path;
        if (U_PathToNWPath(FRequest.Client, U_ConvertPath(name, PATH_SHORT_FORM), path) == NW_OK) {
            record.Server = path.Server;
            record.Volume = path.Volume;
            record.Tree = U_GetTreeOfConn(FRequest.Client, path.ConnHandle);
        }
        header = U_Format("Path: \"%s\"", record.Name.c_str());
    }
    TAnalysisResult& analysis = walked.Analysis;
    record.Status = analysis.Cancelled ? TEntryStatus::Cancelled : TEntryStatus::Analysed;
    record.Incomplete = std::move(analysis.Incomplete);
    auto incomplete = [&](std::string reason) {
        if (std::find(record.Incomplete.begin(), record.Incomplete.end(), reason) ==
            record.Incomplete.end())
            record.Incomplete.push_back(std::move(reason));
    };
    for (const auto& problem : FTrusteeProblems)
        incomplete(problem);
    if (FRequest.Client != nullptr)
        for (auto& problem : FRequest.Client->TakeProblems())
            incomplete(std::move(problem));
    result.RightsNotComputed = result.RightsNotComputed || analysis.RightsNotComputed;
    TReportSettings report;
    report.Edir = FRequest.Edir;
    report.FilterExcl = FRequest.FilterExcl;
    report.FilterIncl = FRequest.FilterIncl;
    for (auto& t : analysis.Trustees)
        if (U_ReportListsTrustee(t, report))
            record.Trustees.push_back(std::move(t));
    result.LastStatus = name;
    // Only where the trustee holds rights, or where it could not be told.
    if (record.Trustees.empty() && U_EntryComplete(record))
        return;

    TStringList& summary = result.Summary;
    TStringList scratch;
    TStringList& details = FRequest.KeepDetails ? result.Details : scratch;
    details.Add(kEntrySeparator, LVL_DETAIL);
    details.Add("", LVL_DETAIL);
    details.Add(header, LVL_HEADER);
    for (const auto& t : record.Trustees) {
        std::string line = "Effective Rights:\t" + U_TrusteeRights(t) + "\t" + record.Name;
        if (FRequest.Edir)
            line += "\t" + t.Attribute;
        summary.Add(line);
        details.Add(U_EffectiveLine(t, FRequest.Edir), LVL_EFFECTIVE);
        for (const auto& r : t.Reasons)
            details.Add("     * " + U_ReasonText(r), LVL_DETAIL);
    }
    if (!U_EntryComplete(record)) {
        summary.Add("Incomplete:\t" + record.Name + "\t" + U_EntryProblem(record));
        for (const auto& reason : record.Incomplete)
            details.Add("Incomplete: " + reason, LVL_RESULT_ERROR);
    }
    details.Add("", LVL_DETAIL);
    if (FRequest.ShowDetails)
        FHost.DetailsAvailable(true);
    result.Entries.push_back(std::move(record));
}

} // namespace trovalen
