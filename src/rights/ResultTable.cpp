#include "rights/ResultTable.h"

#include <algorithm>

#include "rights/EffectiveTrustees.h"
#include "rights/Report.h"
#include "rights/ScanRun.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr char kTrusteePrefix[] = "Effective Trustee:\t";
constexpr char kReachPrefix[] = "Effective Rights:\t";
constexpr char kChangePrefix[] = "Changed Trustee:\t";
constexpr char kReachTrusteePrefix[] = "Settings:  Trustee=";
constexpr char kEffectivePrefix[] = "  Effective: ";
constexpr char kReasonPrefix[] = "     * ";
constexpr char kIndent[] = "  ";
constexpr char kPathHeader[] = "Path: \"";
constexpr char kObjectHeader[] = "Object: \"";
constexpr char kTreeTail[] = "\" on tree \"";

const char* const kTitles[rcColumnCount] = {"Entry",     "Class",      "Rights", "Trustee",
                                            "Attribute", "Incomplete", "Change"};

// The letters between a rights text's brackets, blanks kept.
std::string_view Letters(std::string_view rights) {
    if (!rights.empty() && rights.front() == '[')
        rights.remove_prefix(1);
    if (!rights.empty() && rights.back() == ']')
        rights.remove_suffix(1);
    return rights;
}

bool IsHeader(const std::string& text) {
    return U_StartsWith(text, kPathHeader) || U_StartsWith(text, kObjectHeader);
}

// The path or object a header line names: Path: "X" [(not found)], Object: "X" on tree "T".
std::string EntryOfHeader(const std::string& header) {
    bool object = U_StartsWith(header, kObjectHeader);
    size_t start = object ? sizeof(kObjectHeader) - 1 : sizeof(kPathHeader) - 1;
    size_t end = object ? header.rfind(kTreeTail) : header.rfind('"');
    if (end == std::string::npos || end < start)
        return header.substr(start);
    return header.substr(start, end - start);
}

// Splits at tabs.
std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = text.find('\t', start);
        out.push_back(
            text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return out;
        start = tab + 1;
    }
}

std::string Joined(const std::vector<std::string>& fields, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i)
        out += (i > from ? "\t" : "") + fields[i];
    return out;
}

} // namespace

const std::string& TResultRow::Column(TResultColumn column) const {
    switch (column) {
    case rcEntry:
        return Entry;
    case rcClass:
        return ClassName;
    case rcRights:
        return Rights;
    case rcTrustee:
        return Trustee;
    case rcIncomplete:
        return Problem;
    case rcChange:
        return Change;
    case rcAttribute:
    case rcColumnCount:
        break;
    }
    return Attribute;
}

const char* TResultTable::Title(TResultColumn column) {
    return column >= 0 && column < rcColumnCount ? kTitles[column] : "";
}

bool TResultTable::Matches(const TResultRow& row, const std::string& filter,
                           const std::string& rightsLetters) {
    const std::string_view held = Letters(row.Rights);
    for (char letter : rightsLetters)
        if (letter != ' ' && held.find(letter) == std::string_view::npos)
            return false;
    if (filter.empty())
        return true;
    for (int c = 0; c < rcColumnCount; ++c)
        if (U_PosCI(filter, row.Column(static_cast<TResultColumn>(c))) > 0)
            return true;
    return false;
}

int TResultTable::CompareRights(const std::string& a, const std::string& b, bool edir) {
    struct TStrength {
        bool Supervisor = false;
        int Count = 0;
        std::string Absent; // per position: '0' a letter, '1' a blank
    };
    auto strength = [edir](std::string_view text) {
        TStrength s;
        for (char c : Letters(text)) {
            const bool letter = c != ' ';
            s.Absent += letter ? '0' : '1';
            if (!letter || (edir && c == 'I'))
                continue;
            ++s.Count;
            s.Supervisor = s.Supervisor || c == (edir ? 'A' : 'S');
        }
        return s;
    };
    const TStrength x = strength(a), y = strength(b);
    if (x.Supervisor != y.Supervisor)
        return x.Supervisor ? 1 : -1;
    if (x.Count != y.Count)
        return x.Count < y.Count ? -1 : 1;
    // More of the earlier letters is stronger: their absence marks sort first.
    const int c = y.Absent.compare(x.Absent);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string TResultTable::RightsLetters(bool edir) {
    return edir ? "BCDRWSAI" : "RWCEAFMS";
}

bool TResultTable::MarkEntries(std::span<const TScanEntry> entries) {
    bool changed = false;
    // The last entry marked may have become incomplete since (a connection lost after it).
    const size_t from = FMarked > 0 ? FMarked - 1 : 0;
    for (size_t k = from; k < entries.size(); ++k) {
        const TScanEntry& entry = entries[k];
        const std::string problem = U_EntryProblem(entry);
        if (problem.empty())
            continue;
        auto rows = FRowsOfEntry.find(entry.Name);
        if (rows != FRowsOfEntry.end() && !rows->second.empty()) {
            for (int r : rows->second) {
                TResultRow& row = FRows[static_cast<size_t>(r)];
                if (row.Problem == problem)
                    continue;
                FIncompleteRows += row.Problem.empty() ? 1 : 0;
                row.Problem = problem;
                changed = true;
            }
            continue;
        }
        // An entry row, once: the last entry marked may come again.
        if (auto made = FEntryRows.find(k); made != FEntryRows.end()) {
            TResultRow& row = FRows[static_cast<size_t>(made->second)];
            changed = changed || row.Problem != problem;
            row.Problem = problem;
            continue;
        }
        FEntryRows.emplace(k, Count());
        TResultRow row;
        row.Entry = entry.Name;
        row.Problem = problem;
        row.EntryOnly = true;
        row.Line = FSummaryLines;
        FRowHeader.push_back(-1);
        FOccurrence.push_back(0);
        FRows.push_back(std::move(row));
        ++FIncompleteRows;
        changed = true;
    }
    FMarked = std::max(FMarked, entries.size());
    return changed;
}

TTextTable TResultTable::TextTable(const std::vector<int>& rows,
                                   const std::vector<TResultColumn>& columns) const {
    TTextTable table;
    for (TResultColumn c : columns)
        table.Header.emplace_back(Title(c));
    table.Rows.reserve(rows.size());
    for (int r : rows) {
        if (r < 0 || r >= Count())
            continue;
        std::vector<std::string>& fields = table.Rows.emplace_back();
        for (TResultColumn c : columns)
            fields.push_back(FRows[static_cast<size_t>(r)].Column(c));
    }
    return table;
}

std::string TResultTable::Key(const std::string& header, const std::string& line) {
    return header + '\n' + line;
}

void TResultTable::Clear(bool edir) {
    *this = TResultTable(edir);
}

void TResultTable::AddLines(std::span<const TStringItem> summary,
                            std::span<const TStringItem> details) {
    for (const auto& line : details)
        AddDetailsLine(line.Text, line.Value);
    for (const auto& line : summary) {
        AddSummaryLine(line.Text);
        ++FSummaryLines;
    }
}

void TResultTable::AddSummaryLine(const std::string& text) {
    if (IsHeader(text)) {
        FHeaders.push_back(text);
        FSummaryEntry = EntryOfHeader(text);
        FEntryFirstRow = Count();
        return;
    }
    if (U_StartsWith(text, kReachTrusteePrefix)) {
        FReachTrustee = text.substr(sizeof(kReachTrusteePrefix) - 1);
        return;
    }
    if (U_StartsWith(text, kReachPrefix)) {
        AddReachLine(Fields(text));
        return;
    }
    if (U_StartsWith(text, kChangePrefix)) {
        AddChangeLine(Fields(text));
        return;
    }
    if (!U_StartsWith(text, kTrusteePrefix))
        return;
    // Class, rights, trustee (and attribute); a name holding a tab keeps it.
    std::vector<std::string> f = Fields(text);
    const size_t minimum = FEdir ? 5 : 4;
    if (f.size() < minimum)
        return;
    TResultRow row;
    row.Entry = FSummaryEntry;
    row.ClassName = f[1];
    row.Rights = f[2];
    if (FEdir) {
        row.Trustee = Joined(f, 3, f.size() - 1);
        row.Attribute = f.back();
    } else {
        row.Trustee = Joined(f, 3, f.size());
    }
    AddRow(std::move(row), static_cast<int>(FHeaders.size()) - 1, text);
}

void TResultTable::AddRow(TResultRow row, int header, const std::string& line) {
    row.Line = FSummaryLines;
    FRowsOfEntry[row.Entry].push_back(Count());
    FRowHeader.push_back(header);
    FOccurrence.push_back(FSeen[Key(header < 0 ? std::string() : FHeaders[header], line)]++);
    FRows.push_back(std::move(row));
}

void TResultTable::AddReachLine(const std::vector<std::string>& f) {
    // Rights, the place reached (and the attribute).
    if (f.size() < (FEdir ? 4u : 3u))
        return;
    TResultRow row;
    row.Rights = f[1];
    row.Entry = Joined(f, 2, FEdir ? f.size() - 1 : f.size());
    row.Attribute = FEdir ? f.back() : std::string();
    row.Trustee = FReachTrustee;
    // The details named the entry and the trustee's class and name: the reasons are found by
    // them. Without the details, the row has the trustee as the header named it.
    std::string header;
    if (!FReachLines.empty()) {
        const TReachLine& given = FReachLines.front();
        const std::vector<std::string>& d = given.Fields;
        const size_t minimum = FEdir ? 5 : 4;
        if (d.size() >= minimum && d[2] == row.Rights && (!FEdir || d.back() == row.Attribute) &&
            EntryOfHeader(given.Header) == row.Entry) {
            row.ClassName = d[1];
            row.Trustee = Joined(d, 3, FEdir ? d.size() - 1 : d.size());
            header = given.Header;
        }
        FReachLines.pop_front();
    }
    if (header.empty())
        header = (FEdir ? kObjectHeader : kPathHeader) + row.Entry + "\"";
    if (FHeaders.empty() || FHeaders.back() != header) {
        FHeaders.push_back(header);
        FEntryFirstRow = Count();
    }
    FSummaryEntry = row.Entry;
    const std::string line = kTrusteePrefix + row.ClassName + '\t' + row.Rights + '\t' +
                             row.Trustee + (FEdir ? '\t' + row.Attribute : std::string());
    AddRow(std::move(row), static_cast<int>(FHeaders.size()) - 1, line);
}

void TResultTable::AddChangeLine(const std::vector<std::string>& f) {
    // Kind, class, rights ("[before] -> [after]", or the one side held), trustee (and
    // attribute).
    if (f.size() < (FEdir ? 6u : 5u))
        return;
    const std::string& kind = f[1];
    const std::string name = Joined(f, 4, FEdir ? f.size() - 1 : f.size());
    const std::string attribute = FEdir ? f.back() : std::string();
    const std::string before = f[3].substr(0, f[3].find(" -> "));
    const std::string change = kind == "gained" ? kind : kind + ", was " + before;
    ++FChangeRows;
    for (int r = FEntryFirstRow; r < Count(); ++r) {
        TResultRow& row = FRows[static_cast<size_t>(r)];
        if (!row.EntryOnly && row.Change.empty() && !row.Rights.empty() && row.Trustee == name &&
            row.Attribute == attribute) {
            row.Change = change;
            return;
        }
    }
    // A trustee lost here holds nothing on the entry: a row of its own, without rights.
    TResultRow row;
    row.Entry = FSummaryEntry;
    row.ClassName = f[2];
    row.Trustee = name;
    row.Attribute = attribute;
    row.Change = change;
    AddRow(std::move(row), static_cast<int>(FHeaders.size()) - 1, Joined(f, 0, f.size()));
}

void TResultTable::AddDetailsLine(const std::string& text, uint32_t level) {
    if (level == LVL_HEADER && IsHeader(text)) {
        FDetailsHeader = text;
        FOpenKey.clear();
    } else if (level == LVL_EFFECTIVE && U_StartsWith(text, kEffectivePrefix)) {
        const std::string line = U_SummaryTrusteeLine(text, FEdir);
        if (!FReachTrustee.empty())
            FReachLines.push_back({FDetailsHeader, Fields(line)});
        FOpenKey = Key(FDetailsHeader, line);
        auto& occurrences = FReasons[FOpenKey];
        FOpenIndex = occurrences.size();
        occurrences.emplace_back();
    } else if (!FOpenKey.empty() && U_StartsWith(text, kReasonPrefix)) {
        FReasons[FOpenKey][FOpenIndex].push_back(text.substr(sizeof(kReasonPrefix) - 1));
    } else if (!U_StartsWith(text, kIndent)) {
        if (U_StartsWith(text, kReachTrusteePrefix))
            FReachTrustee = text.substr(sizeof(kReachTrusteePrefix) - 1);
        // Indented lines between the reasons ("  Check 2: ...") belong to the trustee's block;
        // a separator or any other line ends it.
        FOpenKey.clear();
    }
}

std::vector<std::string> TResultTable::Reasons(int index) const {
    if (index < 0 || index >= Count() || FRows[static_cast<size_t>(index)].EntryOnly)
        return {};
    int header = FRowHeader[index];
    auto found =
        FReasons.find(Key(header < 0 ? std::string() : FHeaders[header], SummaryLine(index)));
    if (found == FReasons.end())
        return {};
    size_t occurrence = static_cast<size_t>(FOccurrence[index]);
    return occurrence < found->second.size() ? found->second[occurrence]
                                             : std::vector<std::string>();
}

std::string TResultTable::SummaryLine(int index) const {
    const TResultRow& row = FRows.at(index);
    std::string line = kTrusteePrefix + row.ClassName + '\t' + row.Rights + '\t' + row.Trustee;
    if (FEdir)
        line += '\t' + row.Attribute;
    return line;
}

} // namespace trovalen
