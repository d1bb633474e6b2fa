#include "rights/ScanJson.h"

#include <nlohmann/json.hpp>

#include "model/RightsModel.h"
#include "util/Util.h"

namespace trovalen {

namespace {

using json = nlohmann::ordered_json;

constexpr int kJsonIndent = 2;

const char* StatusName(TEntryStatus status) {
    switch (status) {
    case TEntryStatus::Analysed:
        return "analysed";
    case TEntryStatus::NotFound:
        return "not-found";
    case TEntryStatus::Cancelled:
        return "not-scanned";
    case TEntryStatus::Failed:
        break;
    }
    return "failed";
}

const char* FamilyName(TRightsType family) {
    switch (family) {
    case rtEntry:
        return "entry";
    case rtAttribute:
        return "attribute";
    default:
        break;
    }
    return "file-system";
}

// The letters as the summary shows them between the brackets: one place per right, a blank for
// a right not held.
std::string Letters(uint32_t mask, TRightsType family) {
    std::string text = U_RightsToStr(mask, family);
    return text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
}

json Sources(TTrusteeSources sources) {
    static const std::pair<TTrusteeSources, const char*> kNames[] = {
        {TS_ASSIGNED, "assigned"},
        {TS_INHERITED, "inherited"},
        {TS_SERVER_SUPERVISOR, "server-supervisor"},
        {TS_SECURITY_EQUIVALENT, "security-equivalent"},
        {TS_RESIDENT, "resident"},
    };
    json list = json::array();
    for (const auto& [bit, name] : kNames)
        if (sources & bit)
            list.push_back(name);
    return list;
}

json Trustee(const TEffectiveTrustee& t, bool edir) {
    json out;
    out["class"] = t.ClassName;
    out["name"] = U_TrusteeDisplayName(t);
    if (edir)
        out["attribute"] = t.Attribute;
    out["family"] = FamilyName(t.Family);
    out["rights"] = Letters(t.Mask, t.Family);
    out["mask"] = t.Mask;
    out["sources"] = Sources(t.Sources);
    json reasons = json::array();
    for (const auto& r : t.Reasons)
        reasons.push_back({{"rights", Letters(r.Mask, r.Family)},
                           {"mask", r.Mask},
                           {"family", FamilyName(r.Family)},
                           {"why", U_TrimBlank(r.Why.Text())}});
    out["reasons"] = std::move(reasons);
    return out;
}

json Change(const TTrusteeChange& c, bool edir) {
    json out;
    out["change"] = U_TrusteeChangeKind(c);
    out["class"] = c.ClassName;
    out["name"] = c.Name;
    if (edir)
        out["attribute"] = c.Attribute;
    out["family"] = FamilyName(c.Family);
    out["before"] = Letters(c.Before, c.Family);
    out["after"] = Letters(c.After, c.Family);
    return out;
}

json Entry(const TScanEntry& e, bool edir) {
    json out;
    out[edir ? "object" : "path"] = e.Name;
    out["tree"] = e.Tree;
    if (!edir) {
        out["server"] = e.Server;
        out["volume"] = e.Volume;
    }
    out["status"] = StatusName(e.Status);
    out["complete"] = U_EntryComplete(e);
    out["incomplete"] = e.Incomplete;
    out["errors"] = e.Errors;
    json trustees = json::array();
    for (const auto& t : e.Trustees)
        trustees.push_back(Trustee(t, edir));
    out["trustees"] = std::move(trustees);
    if (!e.Changes.empty()) {
        json changes = json::array();
        for (const auto& c : e.Changes)
            changes.push_back(Change(c, edir));
        out["changes"] = std::move(changes);
    }
    return out;
}

} // namespace

std::string U_ScanResultToJson(const TScanResult& result) {
    const TScanHeader& h = result.Header;
    json doc;
    doc["format"] = kScanJsonFormat;
    doc["variant"] = h.Variant;
    doc["version"] = h.ProgramVersion;
    doc["date"] = h.Date;
    doc["time"] = h.Time;
    if (!h.Source.empty())
        doc["source"] = h.Source;
    doc["scanType"] = h.Edir ? "eDirectory" : "file-system";
    json settings;
    settings["resolveContainers"] = h.ResolveContainers;
    if (!h.Edir)
        settings["scanSubdirs"] = h.ScanSubDirs;
    settings["onlyUsers"] = h.OnlyUsers;
    settings["exclude"] = h.FilterExcl;
    settings["include"] = h.FilterIncl;
    // Said only when set, so that the result of a plain scan reads as it always did.
    if (h.Recursive)
        settings["recursive"] = true;
    if (h.ChangesOnly)
        settings["changesOnly"] = true;
    if (!h.Trustee.empty())
        settings["trustee"] = h.Trustee;
    doc["settings"] = std::move(settings);
    doc["complete"] = U_ScanComplete(result);
    doc["cancelled"] = result.Cancelled;
    if (!result.Broken.empty())
        doc["ended"] = result.Broken;
    json notes = json::array();
    for (const auto& note : result.Notes)
        notes.push_back(note);
    if (result.RightsNotComputed)
        notes.push_back(std::string(kRightsNotComputedNote));
    doc["notes"] = std::move(notes);
    json entries = json::array();
    for (const auto& e : result.Entries)
        entries.push_back(Entry(e, h.Edir));
    doc["entries"] = std::move(entries);
    return doc.dump(kJsonIndent, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace trovalen
