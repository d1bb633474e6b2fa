#include "rights/ResultCompare.h"

#include <future>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "rights/ScanJson.h"
#include "util/Util.h"

namespace trovalen {

namespace {

// Names compare without regard to case, as the directory compares them.
std::string Folded(const std::string& text) {
    return U_UpperCase(text);
}

std::string TrusteeKey(const TSavedTrustee& t) {
    return Folded(t.Name) + '\n' + Folded(t.Attribute);
}

// Positions by key; a key that occurs more than once (the same path scanned twice) is matched
// occurrence by occurrence, in order.
template <class T, class KeyOf>
std::unordered_map<std::string, std::vector<size_t>> IndexBy(const std::vector<T>& items,
                                                             KeyOf keyOf) {
    std::unordered_map<std::string, std::vector<size_t>> index;
    index.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        index[keyOf(items[i])].push_back(i);
    return index;
}

// Takes the next unmatched position for the key; npos when none is left.
size_t Take(std::unordered_map<std::string, std::vector<size_t>>& index,
            std::unordered_map<std::string, size_t>& used, const std::string& key) {
    auto it = index.find(key);
    if (it == index.end())
        return std::string::npos;
    size_t& next = used[key];
    return next < it->second.size() ? it->second[next++] : std::string::npos;
}

TRightsChange TrusteeChange(TChangeKind kind, const std::string& entry, const TSavedTrustee& t) {
    TRightsChange c;
    c.Kind = kind;
    c.Entry = entry;
    c.Trustee = t.Name;
    c.Class = t.Class;
    c.Attribute = t.Attribute;
    c.Family = t.Family;
    c.Reasons = t.Reasons;
    if (kind == TChangeKind::TrusteeRemoved) {
        c.Before = t.Rights;
        c.BeforeMask = t.Mask;
    } else {
        c.After = t.Rights;
        c.AfterMask = t.Mask;
    }
    return c;
}

void CompareTrustees(const TSavedEntry& before, const TSavedEntry& after,
                     std::vector<TRightsChange>& changes) {
    auto index = IndexBy(before.Trustees, TrusteeKey);
    std::unordered_map<std::string, size_t> used;
    std::vector<bool> matched(before.Trustees.size(), false);
    for (const auto& now : after.Trustees) {
        size_t at = Take(index, used, TrusteeKey(now));
        if (at == std::string::npos) {
            changes.push_back(TrusteeChange(TChangeKind::TrusteeAdded, after.Name, now));
            continue;
        }
        matched[at] = true;
        const TSavedTrustee& then = before.Trustees[at];
        if (then.Mask == now.Mask && then.Family == now.Family)
            continue;
        TRightsChange c = TrusteeChange(TChangeKind::RightsChanged, after.Name, now);
        c.Before = then.Rights;
        c.BeforeMask = then.Mask;
        changes.push_back(std::move(c));
    }
    for (size_t i = 0; i < before.Trustees.size(); ++i)
        if (!matched[i])
            changes.push_back(
                TrusteeChange(TChangeKind::TrusteeRemoved, after.Name, before.Trustees[i]));
}

TRightsChange EntryChange(TChangeKind kind, const TSavedEntry& entry) {
    TRightsChange c;
    c.Kind = kind;
    c.Entry = entry.Name;
    (kind == TChangeKind::EntryDisappeared ? c.Before : c.After) = entry.Status;
    return c;
}

std::string OnOff(bool on) {
    return on ? "on" : "off";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// One line naming every listing option the two results were made with differently.
std::string OptionsNote(const TSavedResult& before, const TSavedResult& after) {
    const TSavedSettings& b = before.Settings;
    const TSavedSettings& a = after.Settings;
    std::vector<std::string> parts;
    auto flag = [&](const char* name, bool was, bool is) {
        if (was != is)
            parts.push_back(std::string(name) + ": " + OnOff(was) + " before, " + OnOff(is) +
                            " after");
    };
    auto text = [&](const char* name, const std::string& was, const std::string& is) {
        if (was != is)
            parts.push_back(std::string(name) + ": " + Quoted(was) + " before, " + Quoted(is) +
                            " after");
    };
    flag("resolve containers", b.ResolveContainers, a.ResolveContainers);
    if (!before.Edir)
        flag("subdirectories", b.ScanSubdirs, a.ScanSubdirs);
    flag("only users", b.OnlyUsers, a.OnlyUsers);
    text("exclude", b.Exclude, a.Exclude);
    text("include", b.Include, a.Include);
    if (parts.empty())
        return {};
    std::string line = "The results were made with different listing options (";
    for (size_t i = 0; i < parts.size(); ++i)
        line += (i ? "; " : "") + parts[i];
    return line + "); a change of option is not a change of rights.";
}

// A result that is not whole compares only as far as it goes; true when it is not.
bool WholeNotes(const TSavedResult& result, const char* side, std::vector<std::string>& notes) {
    size_t before = notes.size();
    std::string the = std::string("The ") + side + " result";
    if (!result.Ended.empty())
        notes.push_back(the + " ended before its last entry: " + result.Ended);
    else if (result.Cancelled)
        notes.push_back(the + " was stopped before its last entry.");
    for (const auto& e : result.Entries) {
        if (e.Status == "analysed" && !e.Complete)
            notes.push_back(the + " of " + e.Name + " is incomplete" +
                            (e.Incomplete.empty() ? std::string() : ": " + e.Incomplete.front()) +
                            "; its changes may not be whole.");
        else if (e.Status == "failed")
            notes.push_back(the + " of " + e.Name + " failed" +
                            (e.Errors.empty() ? std::string() : ": " + e.Errors.front()) + ".");
    }
    return notes.size() != before;
}

TSavedResult HeaderOnly(const TSavedResult& result) {
    TSavedResult out = result;
    out.Entries.clear();
    return out;
}

std::string Bracketed(const std::string& letters) {
    return "[" + letters + "]";
}

std::string TrusteeText(const TRightsChange& c) {
    std::string text = c.Trustee;
    if (!c.Class.empty())
        text += " (" + c.Class + ")";
    if (!c.Attribute.empty())
        text += " " + c.Attribute;
    return text;
}

std::string ResultTitle(const std::string& name, const TSavedResult& header) {
    return header.Date.empty() ? name : name + " (" + header.Date + ")";
}

} // namespace

const char* U_ChangeKindName(TChangeKind kind) {
    switch (kind) {
    case TChangeKind::TrusteeAdded:
        return "added";
    case TChangeKind::TrusteeRemoved:
        return "removed";
    case TChangeKind::RightsChanged:
        return "changed";
    case TChangeKind::EntryAppeared:
        return "appeared";
    case TChangeKind::EntryDisappeared:
        return "disappeared";
    case TChangeKind::StatusChanged:
        break;
    }
    return "status";
}

bool U_CompareResults(const TSavedResult& before, const TSavedResult& after,
                      const std::string& beforeName, const std::string& afterName,
                      TComparison& comparison, std::string& error) {
    comparison = TComparison();
    error.clear();
    if (before.Edir != after.Edir) {
        error = beforeName + " holds " + (before.Edir ? "an eDirectory" : "a file-system") +
                " scan and " + afterName + " " + (after.Edir ? "an eDirectory" : "a file-system") +
                " scan; only results of one scan type can be compared";
        return false;
    }
    comparison.Edir = after.Edir;
    comparison.BeforeName = beforeName;
    comparison.AfterName = afterName;
    comparison.BeforeHeader = HeaderOnly(before);
    comparison.AfterHeader = HeaderOnly(after);
    if (std::string note = OptionsNote(before, after); !note.empty())
        comparison.Notes.push_back(note);
    bool partBefore = WholeNotes(before, "before", comparison.Notes);
    bool partAfter = WholeNotes(after, "after", comparison.Notes);
    comparison.Partial = partBefore || partAfter;

    auto entryKey = [](const TSavedEntry& e) { return Folded(e.Name); };
    auto index = IndexBy(before.Entries, entryKey);
    std::unordered_map<std::string, size_t> used;
    std::vector<bool> matched(before.Entries.size(), false);
    std::vector<TRightsChange>& changes = comparison.Changes;
    for (const auto& now : after.Entries) {
        size_t at = Take(index, used, entryKey(now));
        if (at == std::string::npos) {
            changes.push_back(EntryChange(TChangeKind::EntryAppeared, now));
            for (const auto& t : now.Trustees)
                changes.push_back(TrusteeChange(TChangeKind::TrusteeAdded, now.Name, t));
            continue;
        }
        matched[at] = true;
        ++comparison.EntriesCompared;
        const TSavedEntry& then = before.Entries[at];
        if (then.Status != now.Status) {
            // Trustees of an entry that was not analysed on one side are unknown there, not
            // gone: only the status is a change.
            TRightsChange c = EntryChange(TChangeKind::StatusChanged, now);
            c.Before = then.Status;
            changes.push_back(std::move(c));
            if (then.Status != "analysed" || now.Status != "analysed")
                continue;
        }
        CompareTrustees(then, now, changes);
    }
    for (size_t i = 0; i < before.Entries.size(); ++i)
        if (!matched[i])
            changes.push_back(EntryChange(TChangeKind::EntryDisappeared, before.Entries[i]));
    return true;
}

bool U_CompareWithScan(const TSavedResult& before, const std::string& beforeName,
                       const TScanResult& scan, TComparison& comparison, std::string& error) {
    // The scan goes through the document a saved result is, so both sides read alike.
    TSavedResult after;
    if (!U_ParseScanResult(U_ScanResultToJson(scan), after, error)) {
        error = "this scan's result cannot be compared: " + error;
        return false;
    }
    return U_CompareResults(before, after, beforeName, "this scan", comparison, error);
}

bool U_CompareTexts(std::string_view beforeText, std::string_view afterText,
                    const std::string& beforeName, const std::string& afterName,
                    TComparison& comparison, std::string& error) {
    // Reading is most of the work, and the two documents are independent.
    TSavedResult before, after;
    std::string afterError;
    auto reading = std::async(std::launch::async,
                              [&] { return U_ParseScanResult(afterText, after, afterError); });
    const bool beforeRead = U_ParseScanResult(beforeText, before, error);
    const bool afterRead = reading.get();
    if (!beforeRead) {
        error = beforeName + ": " + error;
        return false;
    }
    if (!afterRead) {
        error = afterName + ": " + afterError;
        return false;
    }
    return U_CompareResults(before, after, beforeName, afterName, comparison, error);
}

bool U_CompareFiles(const std::string& beforeFile, const std::string& afterFile,
                    TComparison& comparison, std::string& error) {
    std::string beforeText, afterText;
    if (!U_ReadScanResultText(beforeFile, beforeText, error) ||
        !U_ReadScanResultText(afterFile, afterText, error))
        return false;
    return U_CompareTexts(beforeText, afterText, beforeFile, afterFile, comparison, error);
}

uint32_t U_ChangeFilterBit(TChangeKind kind) {
    switch (kind) {
    case TChangeKind::TrusteeAdded:
        return cfAdded;
    case TChangeKind::TrusteeRemoved:
        return cfRemoved;
    case TChangeKind::RightsChanged:
        return cfChanged;
    default:
        break;
    }
    return cfEntries;
}

bool U_ChangeShown(const TRightsChange& change, uint32_t kinds, const std::string& text) {
    if ((U_ChangeFilterBit(change.Kind) & kinds) == 0)
        return false;
    if (text.empty())
        return true;
    const std::string wanted = Folded(text);
    for (const std::string* field :
         {&change.Entry, &change.Trustee, &change.Class, &change.Attribute})
        if (Folded(*field).find(wanted) != std::string::npos)
            return true;
    return false;
}

TComparison U_ComparisonOf(const TComparison& comparison, const std::vector<size_t>& changes) {
    TComparison out = comparison;
    out.Changes.clear();
    out.Changes.reserve(changes.size());
    for (size_t i : changes)
        if (i < comparison.Changes.size())
            out.Changes.push_back(comparison.Changes[i]);
    return out;
}

int U_ChangedEntries(const TComparison& comparison) {
    int count = 0;
    const std::string* last = nullptr;
    for (const auto& c : comparison.Changes) {
        if (last == nullptr || Folded(*last) != Folded(c.Entry))
            ++count;
        last = &c.Entry;
    }
    return count;
}

std::string U_ComparisonText(const TComparison& comparison) {
    std::string out = "Before: " + ResultTitle(comparison.BeforeName, comparison.BeforeHeader) +
                      "\nAfter:  " + ResultTitle(comparison.AfterName, comparison.AfterHeader) +
                      "\n";
    for (const auto& note : comparison.Notes)
        out += "Note: " + note + "\n";
    const std::string* entry = nullptr;
    for (const auto& c : comparison.Changes) {
        if (entry == nullptr || *entry != c.Entry) {
            out += "\n" + std::string(comparison.Edir ? "Object: " : "Path: ") + c.Entry + "\n";
            entry = &c.Entry;
        }
        switch (c.Kind) {
        case TChangeKind::EntryAppeared:
            out += "  Appeared (" + c.After + ")\n";
            continue;
        case TChangeKind::EntryDisappeared:
            out += "  Disappeared (was " + c.Before + ")\n";
            continue;
        case TChangeKind::StatusChanged:
            out += "  Status: " + c.Before + " -> " + c.After + "\n";
            continue;
        case TChangeKind::TrusteeAdded:
            out += "  Added:   " + Bracketed(c.After) + " " + TrusteeText(c) + "\n";
            break;
        case TChangeKind::TrusteeRemoved:
            out += "  Removed: " + Bracketed(c.Before) + " " + TrusteeText(c) + "\n";
            break;
        case TChangeKind::RightsChanged:
            out += "  Changed: " + Bracketed(c.Before) + " -> " + Bracketed(c.After) + " " +
                   TrusteeText(c) + "\n";
            break;
        }
        for (const auto& r : c.Reasons)
            out += "           " + Bracketed(r.Rights) + " " + r.Why + "\n";
    }
    size_t count = comparison.Changes.size();
    out += "\n";
    if (count == 0)
        out += "No changes in " + std::to_string(comparison.EntriesCompared) +
               (comparison.EntriesCompared == 1 ? " entry.\n" : " entries.\n");
    else
        out += std::to_string(count) + (count == 1 ? " change in " : " changes in ") +
               std::to_string(U_ChangedEntries(comparison)) +
               (U_ChangedEntries(comparison) == 1 ? " entry.\n" : " entries.\n");
    return out;
}

TGrid U_ComparisonGrid(const TComparison& comparison) {
    std::vector<std::string> heading = {"Entry", "Change", "Trustee", "Class"};
    if (comparison.Edir)
        heading.push_back("Attribute");
    for (const char* h : {"Before", "After", "Reasons"})
        heading.push_back(h);
    const int cols = static_cast<int>(heading.size());
    const int rows = 1 + static_cast<int>(comparison.Notes.size() + comparison.Changes.size());
    TGrid grid(cols, rows);
    grid.FixedRows = 1;
    for (int col = 0; col < cols; ++col)
        grid.SetCell(col, 0, heading[col]);
    int row = 1;
    for (const auto& note : comparison.Notes) {
        grid.SetCell(1, row, "note");
        grid.SetCell(cols - 1, row, note);
        ++row;
    }
    for (const auto& c : comparison.Changes) {
        int col = 0;
        grid.SetCell(col++, row, c.Entry);
        grid.SetCell(col++, row, U_ChangeKindName(c.Kind));
        grid.SetCell(col++, row, c.Trustee);
        grid.SetCell(col++, row, c.Class);
        if (comparison.Edir)
            grid.SetCell(col++, row, c.Attribute);
        bool rights = !c.Trustee.empty();
        grid.SetCell(col++, row, rights && !c.Before.empty() ? Bracketed(c.Before) : c.Before);
        grid.SetCell(col++, row, rights && !c.After.empty() ? Bracketed(c.After) : c.After);
        std::string reasons;
        for (const auto& r : c.Reasons)
            reasons += (reasons.empty() ? "" : "\r\n") + Bracketed(r.Rights) + " " + r.Why;
        grid.SetCell(col, row, reasons);
        ++row;
    }
    return grid;
}

std::string U_ComparisonJson(const TComparison& comparison) {
    using json = nlohmann::ordered_json;
    auto side = [](const std::string& name, const TSavedResult& h) {
        json out;
        out["name"] = name;
        out["date"] = h.Date;
        out["time"] = h.Time;
        out["source"] = h.Source;
        out["complete"] = h.Complete;
        return out;
    };
    json doc;
    doc["format"] = kCompareJsonFormat;
    doc["scanType"] = comparison.Edir ? "eDirectory" : "file-system";
    doc["before"] = side(comparison.BeforeName, comparison.BeforeHeader);
    doc["after"] = side(comparison.AfterName, comparison.AfterHeader);
    doc["notes"] = comparison.Notes;
    doc["entriesCompared"] = comparison.EntriesCompared;
    doc["partial"] = comparison.Partial;
    json changes = json::array();
    for (const auto& c : comparison.Changes) {
        json item;
        item["change"] = U_ChangeKindName(c.Kind);
        item[comparison.Edir ? "object" : "path"] = c.Entry;
        if (!c.Trustee.empty()) {
            item["trustee"] = c.Trustee;
            item["class"] = c.Class;
            if (comparison.Edir)
                item["attribute"] = c.Attribute;
            item["family"] = c.Family;
        }
        if (c.Kind != TChangeKind::TrusteeAdded && c.Kind != TChangeKind::EntryAppeared) {
            item["before"] = c.Before;
            if (!c.Trustee.empty())
                item["beforeMask"] = c.BeforeMask;
        }
        if (c.Kind != TChangeKind::TrusteeRemoved && c.Kind != TChangeKind::EntryDisappeared) {
            item["after"] = c.After;
            if (!c.Trustee.empty())
                item["afterMask"] = c.AfterMask;
        }
        if (!c.Trustee.empty()) {
            json reasons = json::array();
            for (const auto& r : c.Reasons)
                reasons.push_back(
                    {{"rights", r.Rights}, {"mask", r.Mask}, {"family", r.Family}, {"why", r.Why}});
            item["reasons"] = std::move(reasons);
        }
        changes.push_back(std::move(item));
    }
    doc["changes"] = std::move(changes);
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string U_ComparisonFormatted(const TComparison& comparison, const std::string& format) {
    if (format == "json")
        return U_ComparisonJson(comparison);
    if (format == "csv")
        return U_GridText(U_ComparisonGrid(comparison), ",", "", true);
    if (format == "html")
        return U_GridToHTML(U_ComparisonGrid(comparison));
    if (format == "xml")
        return U_GridToXML(U_ComparisonGrid(comparison));
    return U_ComparisonText(comparison);
}

TTextRows U_ComparisonRows(const TComparison& comparison) {
    TGrid grid = U_ComparisonGrid(comparison);
    TTextRows rows(static_cast<size_t>(grid.RowCount()));
    for (int row = 0; row < grid.RowCount(); ++row)
        for (int col = 0; col < grid.ColCount(); ++col)
            rows[static_cast<size_t>(row)].push_back(grid.Cell(col, row));
    return rows;
}

} // namespace trovalen
