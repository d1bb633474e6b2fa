#include "rights/ScanRun.h"

#include <algorithm>
#include <ctime>
#include <exception>

#include "directory/DSContext.h"
#include "directory/DSNames.h"
#include "directory/DSRead.h"
#include "model/RightsModel.h"
#include "rights/SubtreeWalk.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {
const std::string kNothingSearched = "Nothing was searched: ";
}

namespace {

// The moment as ISO 8601 in UTC, which compares and sorts alike in every time zone.
std::string NowIsoUtc() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The details pane shows every line up to the reasons; of the analysis log the summary takes
// only the header lines and the line that says the analysis started (its error lines are the
// scan run's own).
constexpr int kThreshold = LVL_DETAIL;
constexpr int kSummaryThreshold = LVL_START;
constexpr auto& kSeparator = kEntrySeparator;

// Appends the lines of from to a list that is not sorted, moving them.
void MoveLines(TStringList& to, TStringList&& from) {
    if (to.Sorted) {
        to.Append(from);
        return;
    }
    // Room grows by half at least: a pane that takes an entry's lines thousands of times must
    // not be copied whole each time.
    const size_t needed = to.Items.size() + from.Items.size();
    if (needed > to.Items.capacity())
        to.Items.reserve(std::max(needed, to.Items.capacity() + to.Items.capacity() / 2));
    for (auto& item : from.Items)
        to.Items.push_back(std::move(item));
}
} // namespace

const char kRightsNotComputedNote[] =
    "the directory computes no effective rights of its own: the raise by its answer and the "
    "cross-check with it were skipped, so rights may differ from what the directory enforces";

std::string U_CancelledLine(int done, int total) {
    return U_Format("Scan cancelled by the user after %d of %d entries", done, total);
}

std::string U_EntryShortProblem(const TScanEntry& entry) {
    switch (entry.Status) {
    case TEntryStatus::NotFound:
        return "not found";
    case TEntryStatus::Cancelled:
        return entry.Incomplete.empty() ? "not scanned" : "cancelled";
    case TEntryStatus::Failed:
        return "failed";
    case TEntryStatus::Analysed:
        break;
    }
    if (entry.Incomplete.empty())
        return std::string();
    std::string text = "incomplete: " + entry.Incomplete.front();
    if (entry.Incomplete.size() > 1)
        text += U_Format(" and %d more", static_cast<int>(entry.Incomplete.size()) - 1);
    return text;
}

std::string U_ScanBannerText(const TScanResult& result) {
    // A run that could not start found nothing: it says why, so that empty panes do not read as
    // an empty result.
    if (!result.Failure.empty())
        return kNothingSearched + result.Failure;
    std::vector<std::string> lines;
    if (!result.Broken.empty())
        lines.push_back(U_Format("Scan ended after %d of %d entries: %s", result.EntriesDone,
                                 result.EntriesTotal, result.Broken.c_str()));
    const int incomplete = U_IncompleteEntries(result);
    if (incomplete > 0) {
        std::string line = U_Format("%d of %d entr%s incomplete: ", incomplete,
                                    static_cast<int>(result.Entries.size()),
                                    result.Entries.size() == 1 ? "y" : "ies");
        int named = 0;
        for (const auto& e : result.Entries) {
            if (U_EntryComplete(e))
                continue;
            if (named == kBannerNames) {
                line += U_Format(" and %d more", incomplete - named);
                break;
            }
            line += (named > 0 ? ", " : "") + e.Name + " (" + U_EntryShortProblem(e) + ")";
            ++named;
        }
        lines.push_back(line);
    }
    if (result.RightsNotComputed) {
        std::string note = kRightsNotComputedNote;
        note[0] = static_cast<char>(note[0] - 'a' + 'A');
        lines.push_back(note);
    }
    std::string text;
    for (const auto& l : lines)
        text += (text.empty() ? "" : "\n") + l;
    return text;
}

std::vector<std::string> U_IncompleteEntryLines(const TScanResult& result) {
    std::vector<std::string> lines;
    for (const auto& e : result.Entries)
        if (!U_EntryComplete(e))
            lines.push_back(e.Name + ": " + U_EntryProblem(e));
    return lines;
}

std::string U_ScanStatusLine(const TScanResult& result, double seconds) {
    if (!result.Failure.empty())
        return kNothingSearched + result.Failure;
    size_t trustees = 0;
    for (const auto& e : result.Entries)
        trustees += e.Trustees.size();
    // Tenths of a second by hand: the C library would write the locale's decimal comma.
    const long tenths = seconds > 0 ? static_cast<long>(seconds * 10 + 0.5) : 0;
    const size_t entries = result.Entries.size();
    return U_Format("Scanned %zu entr%s: %zu trustee%s, %d incomplete, in %ld.%ld seconds", entries,
                    entries == 1 ? "y" : "ies", trustees, trustees == 1 ? "" : "s",
                    U_IncompleteEntries(result), tenths / 10, tenths % 10);
}

bool U_EntryComplete(const TScanEntry& entry) {
    return entry.Status == TEntryStatus::Analysed && entry.Incomplete.empty();
}

std::string U_EntryProblem(const TScanEntry& entry) {
    auto joined = [](const std::vector<std::string>& parts) {
        std::string text;
        for (const auto& p : parts)
            text += (text.empty() ? "" : "; ") + p;
        return text;
    };
    switch (entry.Status) {
    case TEntryStatus::NotFound:
        return "not found";
    case TEntryStatus::Cancelled:
        return entry.Incomplete.empty() ? "not scanned: the run ended before it"
                                        : "cancelled: " + joined(entry.Incomplete);
    case TEntryStatus::Failed: {
        std::vector<std::string> why = entry.Errors;
        why.insert(why.end(), entry.Incomplete.begin(), entry.Incomplete.end());
        return why.empty() ? "failed" : "failed: " + joined(why);
    }
    case TEntryStatus::Analysed:
        break;
    }
    return entry.Incomplete.empty() ? std::string() : "incomplete: " + joined(entry.Incomplete);
}

TScanRun::TScanRun(const TScanRequest& request, TScanHost& host) : FRequest(request), FHost(host) {}

int TScanRun::Threshold() const {
    return FRequest.KeepDetails ? kThreshold : kSummaryThreshold;
}

void TScanRun::AddResultLine(const std::string& text, uint32_t level) {
    FLog.Add(text, level);
}

void TScanRun::AddResultError(const std::string& text, NWCCODE code) {
    std::string line =
        U_Format("%s: %s", text.c_str(), U_NWErrorText(FRequest.Client, code).c_str());
    if (FRequest.DebugMode)
        FHost.DebugLine(line);
    if (code != 0)
        AddResultLine(line, LVL_RESULT_ERROR);
}

void TScanRun::AddDebugLine(const std::string& text) {
    if (FRequest.DebugMode)
        FHost.DebugLine(text);
    U_ProcessMessages();
}

void TScanRun::AddDebugError(const std::string& text, NWCCODE code) {
    if (FRequest.DebugMode && code != 0)
        AddDebugLine(text + " - " + U_NWErrorText(FRequest.Client, code));
}

void TScanRun::Output(TScanResult& result, TEntryStatus status) {
    TReportSettings report;
    report.Edir = FRequest.Edir;
    report.FilterExcl = FRequest.FilterExcl;
    report.FilterIncl = FRequest.FilterIncl;
    report.AttrColumns = FRequest.AttrColumns;
    report.Attributes = FRequest.Attributes;
    report.Cache = FRequest.Cache;
    report.Client = FRequest.Client;
    report.Context = FRequest.Edir ? FRequest.BrowseContext : FRequest.ScanContext;
    MoveLines(result.Summary, BuildReport(FLog, FAnalysis, report));

    TScanEntry& entry = result.Entries.back();
    entry.Incomplete = std::move(FAnalysis.Incomplete);
    FAnalysis.Incomplete.clear();
    if (FRequest.Client != nullptr)
        for (auto& problem : FRequest.Client->TakeProblems())
            if (std::find(entry.Incomplete.begin(), entry.Incomplete.end(), problem) ==
                entry.Incomplete.end())
                entry.Incomplete.push_back(std::move(problem));
    result.RightsNotComputed = result.RightsNotComputed || FAnalysis.RightsNotComputed;
    bool analysed = false;
    for (const auto& line : FLog) {
        analysed = analysed || line.Value == LVL_START;
        if (line.Value == LVL_RESULT_ERROR)
            entry.Errors.push_back(line.Text);
    }
    entry.Status = status == TEntryStatus::Analysed && !analysed ? TEntryStatus::Failed : status;
    if (FAnalysis.Cancelled)
        entry.Status = TEntryStatus::Cancelled;
    // The entry takes the records and the log's lines: neither is read again. A walk that lists
    // only changes compares them with those of the entry above before it lets them go.
    // The entry's list takes the room it needs, no more: a subtree audit keeps thousands.
    if (FRequest.KeepRecords || (FRequest.Recursive && FRequest.ChangesOnly)) {
        entry.Trustees.reserve(entry.Trustees.size() + FAnalysis.Trustees.size());
        for (auto& trustee : FAnalysis.Trustees)
            if (U_ReportListsTrustee(trustee, report))
                entry.Trustees.push_back(std::move(trustee));
    }
    FAnalysis.Trustees.clear();
    if (FRequest.KeepDetails)
        MoveLines(result.Details, std::move(FLog));
    FLog.Clear();
    if (FRequest.ShowDetails)
        FHost.DetailsAvailable(!result.Details.Empty());
}

void TScanRun::ReportNewLines(const TScanResult& result) {
    // The lines past those reported; a list that shrank (it never should) reports nothing.
    auto added = [](const TStringList& lines, int reported) {
        std::span<const TStringItem> all = lines.Items;
        return all.subspan(std::min(all.size(), static_cast<size_t>(std::max(0, reported))));
    };
    const auto summary = added(result.Summary, FSummaryReported);
    const auto details = added(result.Details, FDetailsReported);
    FSummaryReported = result.Summary.Count();
    FDetailsReported = result.Details.Count();
    if (!summary.empty() || !details.empty())
        FHost.LinesAdded(summary, details);
}

NWHandle TScanRun::FileSystemContext(const std::string& entry) {
    TNWPath path;
    path.ConnHandle = FRequest.ConnHandle;
    const std::string shortPath = U_ConvertPath(entry, PATH_SHORT_FORM);
    U_PathToNWPath(FRequest.Client, shortPath, path);
    TNWPath oem = path;
    if (U_PathToNWPath(FRequest.Client, U_ConvertOem(shortPath, true), oem) == 0)
        path = oem;
    FContexts.emplace_back(FRequest.Client, FRequest.ScanContext);
    NWHandle context = FContexts.back().Held ? FContexts.back().Handle : 0;
    U_DSChangeCurrentTreeAndContext(FRequest.Client, context,
                                    U_GetTreeOfConn(FRequest.Client, path.ConnHandle),
                                    std::string(kRoot), 0);
    return context;
}

void TScanRun::FileSystemEntry(const std::string& entry, TScanResult& result,
                               TWalkedEntry* walked) {
    FAnalysis = {};
    FLog.Clear();
    AddResultLine(kSeparator, LVL_DETAIL);
    AddResultLine("", LVL_DETAIL);
    std::string shortPath = U_ConvertPath(entry, PATH_SHORT_FORM);
    // A walk lists its directories in their long form already.
    std::string displayPath = walked != nullptr ? entry : U_ConvertPath(entry, PATH_LONG_FORM);
    bool notFound = !U_DirExists(shortPath);
    TScanEntry& record = result.Entries.emplace_back();
    record.Name = displayPath;
    AddDebugLine(kSeparator);
    AddDebugLine(U_Format("TV: Check Path \"%s\" (%s)", shortPath.c_str(), displayPath.c_str()));
    AddResultLine(U_Format("Path: \"%s\"%s", displayPath.c_str(), notFound ? " (not found)" : ""),
                  LVL_HEADER);
    if (notFound) {
        AddResultError(U_Format("Invalid Path (%s)", shortPath.c_str()), ERR_NOT_FOUND);
    } else {
        TNWPath path;
        path.ConnHandle = FRequest.ConnHandle;
        NWHandle context = 0;
        if (walked == nullptr) {
            FContexts.emplace_back(FRequest.Client, FRequest.ScanContext);
            context = FContexts.back().Held ? FContexts.back().Handle : 0;
        }
        U_PathToNWPath(FRequest.Client, shortPath, path);
        record.Server = path.Server;
        record.Volume = path.Volume;
        // The file server knows its names in its own code page.
        TNWPath oem = path;
        NWCCODE code = U_PathToNWPath(FRequest.Client, U_ConvertOem(shortPath, true), oem);
        if (code == 0)
            path = oem;
        AddDebugError(U_Format("TV: U_PathToNWPath (%s)", shortPath.c_str()), code);
        record.Tree = U_GetTreeOfConn(FRequest.Client, path.ConnHandle);
        if (walked != nullptr) {
            // A walk analysed the directory already, as the analysis below would.
            FAnalysis = std::move(walked->Analysis);
            MoveLines(FLog, std::move(walked->Log));
        } else if (TNWClient* client = FRequest.Client) {
            // Without a client there is no file server to ask.
            U_DSChangeCurrentTreeAndContext(client, context, record.Tree, std::string(kRoot), 0);
            FAnalysis =
                U_AnalyseEffectiveTrustees(*client, context,
                                           U_Format("%s/%s:%s", path.Server.c_str(),
                                                    path.Volume.c_str(), path.DirPath.c_str()),
                                           FFlags, Threshold(), &FLog, &FHost, FRequest.Cancel);
        } else {
            U_DSChangeCurrentTreeAndContext(FRequest.Client, context, record.Tree,
                                            std::string(kRoot), 0);
        }
    }
    result.LastStatus = shortPath;
    Output(result, notFound ? TEntryStatus::NotFound : TEntryStatus::Analysed);
    AddDebugLine("");
}

void TScanRun::EdirEntry(const std::string& entry, TScanResult& result, TWalkedEntry* walked) {
    FAnalysis = {};
    FLog.Clear();
    AddResultLine(kSeparator, LVL_DETAIL);
    AddResultLine("", LVL_DETAIL);
    TNDSObj obj;
    // A walk found the object where it lists it.
    bool notFound =
        walked == nullptr && !U_DSObjectExists(FRequest.Client, FRequest.UserContext, entry, obj);
    TScanEntry& record = result.Entries.emplace_back();
    record.Name = entry;
    record.Tree = FRequest.CurrentTree;
    AddDebugLine(kSeparator);
    AddDebugLine(
        U_Format("TV: Check Object \"%s\" (%s)", entry.c_str(), FRequest.CurrentTree.c_str()));
    TNWClient* client = FRequest.Client;
    if (notFound || client == nullptr) {
        // The summary names the entry it could not analyse, as it does a start path.
        AddResultLine(U_Format("Object: \"%s\" on tree \"%s\" (not found)", entry.c_str(),
                               FRequest.CurrentTree.c_str()),
                      LVL_HEADER);
        AddResultError(U_Format("Invalid Object (%s)", entry.c_str()), ERR_NOT_FOUND);
    } else if (walked != nullptr) {
        FAnalysis = std::move(walked->Analysis);
        MoveLines(FLog, std::move(walked->Log));
    } else {
        FAnalysis = U_AnalyseEffectiveTrustees(*client, FRequest.UserContext, entry, FFlags,
                                               Threshold(), &FLog, &FHost, FRequest.Cancel);
    }
    result.LastStatus = entry;
    Output(result, notFound ? TEntryStatus::NotFound : TEntryStatus::Analysed);
    AddDebugLine("");
}

void TScanRun::Run(TScanResult& result) {
    FHost.BeginRun();
    TScopeExit endRun([this] { FHost.EndRun(); });
    TBusyCursor busy;
    result.Summary.Clear();
    result.Details.Clear();
    result.EntriesDone = 0;
    result.Cancelled = false;
    result.Broken.clear();
    result.RightsNotComputed = false;
    result.Notes =
        FRequest.Client != nullptr ? FRequest.Client->Notes() : std::vector<std::string>();
    FSummaryReported = 0;
    FDetailsReported = 0;
    result.Entries.clear();
    FFlags = 0;
    if (FRequest.OnlyUsers)
        FFlags = ET_ONLY_USERS;
    if (FRequest.ResolveContainers)
        FFlags |= ET_RESOLVE_CONTAINERS;

    const bool walks = FRequest.Recursive || !FRequest.Trustee.empty();
    TStringList entries = FRequest.Entries;
    if (FRequest.ScanSubDirs && !walks) {
        // Start paths gain their subdirectories; object names have none. Either list is then
        // analysed in sorted order.
        if (!FRequest.Edir) {
            TStringList below;
            for (const auto& entry : FRequest.Entries)
                U_NWListDirEntries(FRequest.Client, entry.Text, SA_SUBDIR_ALL, "*", below,
                                   LDE_FULL_TEXTS, PATH_LONG_FORM);
            entries.Append(below);
        }
        entries.Sort();
    }

    TScanHeader& header = result.Header;
    header = {};
    header.Variant = FRequest.VariantName;
    header.ProgramVersion = U_TrimBlank(kProgramVersion);
    header.Date = U_NowStamp();
    header.Time = NowIsoUtc();
    header.Source = FRequest.Source;
    header.Edir = FRequest.Edir;
    header.ResolveContainers = FRequest.ResolveContainers || !FRequest.Trustee.empty();
    header.ScanSubDirs = !FRequest.Edir && FRequest.ScanSubDirs && !walks;
    header.OnlyUsers = FRequest.OnlyUsers;
    header.Recursive = FRequest.Recursive && FRequest.Trustee.empty();
    header.ChangesOnly = header.Recursive && FRequest.ChangesOnly;
    header.FilterExcl = FRequest.FilterExcl;
    header.FilterIncl = FRequest.FilterIncl;

    FLog.Clear();
    AddResultLine(U_Format("Version:   %s %s", FRequest.VariantName.c_str(), kProgramVersion),
                  LVL_DETAIL);
    AddResultLine("Date:      " + header.Date, LVL_DETAIL);
    // A reverse query follows the containers its trustee resides in: it always resolves them.
    const bool reach = !FRequest.Trustee.empty();
    AddResultLine("Settings:  Resolve Containers=" + U_BoolStr(FRequest.ResolveContainers || reach),
                  LVL_DETAIL);
    if (FRequest.Edir) {
        AddResultLine("Settings:  Scan type=eDirectory", LVL_DETAIL);
    } else {
        AddResultLine("Settings:  Scan type=File system", LVL_DETAIL);
        if (!walks)
            AddResultLine("Settings:  Scan Subdirs=" + U_BoolStr(FRequest.ScanSubDirs), LVL_DETAIL);
    }
    if (header.Recursive)
        AddResultLine("Settings:  Recursive=TRUE", LVL_DETAIL);
    if (header.ChangesOnly)
        AddResultLine("Settings:  Changes only=TRUE", LVL_DETAIL);
    std::string failure;
    if (reach && ResolveTrustee(entries, failure))
        header.Trustee = FFilter->Trustee;
    if (reach)
        AddResultLine("Settings:  Trustee=" +
                          (header.Trustee.empty() ? FRequest.Trustee : header.Trustee),
                      LVL_DETAIL);
    // Parts of the directory no scan can read are said before any result.
    for (const auto& note : result.Notes)
        AddResultLine("Note:      " + note, LVL_DETAIL);
    AddResultLine("", LVL_DETAIL);
    result.Details.Append(FLog);
    result.Summary.Append(FLog);
    FLog.Clear();
    result.EntriesTotal = entries.Count();
    ReportNewLines(result);

    if (FRequest.Edir)
        FFlags |= ET_EDIRECTORY;
    if (!failure.empty()) {
        // Nothing can be reached by a trustee that is not there.
        result.Failure = failure;
        result.Details.Add(failure, LVL_RESULT_ERROR);
        result.Summary.Add(failure);
        ReportNewLines(result);
        FContexts.clear();
        return;
    }
    if (walks) {
        RunWalks(entries, result);
        CheckBroken(result);
        FContexts.clear();
        FHost.SetStatusText(result.LastStatus);
        return;
    }
    for (int index = 0; index < entries.Count(); ++index) {
        const TStringItem& entry = entries.Items[static_cast<size_t>(index)];
        if (CheckBroken(result)) {
            RecordNotScanned(entries, index, result);
            break;
        }
        if (FRequest.Cancel != nullptr && FRequest.Cancel->load()) {
            StopRun(entries, index, result);
            break;
        }
        FHost.EntryStarted(result.EntriesDone, result.EntriesTotal, entry.Text);
        // What the client met before (browsing, the entry before) belongs to no entry.
        if (FRequest.Client != nullptr)
            FRequest.Client->TakeProblems();
        // One entry failing must not end the run; it leaves one error line in both panes.
        std::string failure;
        const size_t recorded = result.Entries.size();
        try {
            if (FRequest.Edir)
                EdirEntry(entry.Text, result);
            else
                FileSystemEntry(entry.Text, result);
        } catch (const std::exception& e) {
            failure = U_Format("Error while scanning \"%s\": %s", entry.Text.c_str(), e.what());
        } catch (...) {
            failure = U_Format("Error while scanning \"%s\"", entry.Text.c_str());
        }
        if (!failure.empty()) {
            if (result.Entries.size() == recorded)
                result.Entries.emplace_back().Name = entry.Text;
            result.Entries.back().Status = TEntryStatus::Failed;
            result.Entries.back().Errors.push_back(failure);
            result.Details.Add(failure, LVL_RESULT_ERROR);
            result.Summary.Add(failure);
            result.Summary.Add("");
            AddDebugLine(failure);
        }
        // An entry stopped while it was analysed ends the run; it is not counted as done.
        if (result.Entries.size() > recorded &&
            result.Entries.back().Status == TEntryStatus::Cancelled) {
            ReportNewLines(result);
            StopRun(entries, index + 1, result);
            break;
        }
        ++result.EntriesDone;
        ReportNewLines(result);
    }
    CheckBroken(result);

    FContexts.clear();
    FHost.SetStatusText(result.LastStatus);
}

bool TScanRun::CheckBroken(TScanResult& result) {
    if (!result.Broken.empty())
        return true;
    if (FRequest.Client == nullptr)
        return false;
    std::string reason = FRequest.Client->BrokenReason();
    if (reason.empty())
        return false;
    result.Broken = reason;
    // The entry being analysed when it broke cannot be whole, whatever its reads said.
    if (result.EntriesDone > 0 && !result.Entries.empty()) {
        auto& why = result.Entries.back().Incomplete;
        if (std::find(why.begin(), why.end(), reason) == why.end())
            why.push_back(reason);
    }
    std::string line = U_Format("Scan ended after %d of %d entries: %s", result.EntriesDone,
                                result.EntriesTotal, reason.c_str());
    result.Details.Add(line, LVL_RESULT_ERROR);
    result.Summary.Add(line);
    AddDebugLine(line);
    ReportNewLines(result);
    return true;
}

void TScanRun::StopRun(const TStringList& entries, int index, TScanResult& result) {
    result.Cancelled = true;
    std::string line = U_CancelledLine(result.EntriesDone, result.EntriesTotal);
    result.Details.Add(line, LVL_RESULT_ERROR);
    result.Summary.Add(line);
    AddDebugLine(line);
    ReportNewLines(result);
    RecordNotScanned(entries, index, result);
}

void TScanRun::RecordNotScanned(const TStringList& entries, int index, TScanResult& result) {
    for (int i = index; i < entries.Count(); ++i) {
        TScanEntry& record = result.Entries.emplace_back();
        record.Name = entries[i];
        record.Status = TEntryStatus::Cancelled;
    }
}

bool U_ScanComplete(const TScanResult& result) {
    return !result.Cancelled && result.Broken.empty() && result.Failure.empty() &&
           std::all_of(result.Entries.begin(), result.Entries.end(), U_EntryComplete);
}

int U_IncompleteEntries(const TScanResult& result) {
    return static_cast<int>(std::count_if(result.Entries.begin(), result.Entries.end(),
                                          [](const TScanEntry& e) { return !U_EntryComplete(e); }));
}

} // namespace trovalen
