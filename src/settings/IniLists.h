// List formats of the settings file that need no widget: a list of entries with check marks
// (order and check marks kept), and the history of an editable drop-down list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "util/StringList.h"

namespace trovalen {

// --- Check lists ------------------------------------------------------------------------------

struct TCheckListEntry {
    std::string Text;
    bool Checked = false;
    uint32_t Data = 0; // the number of the entry's key after a load
    bool operator==(const TCheckListEntry&) const = default;
};
using TCheckList = std::vector<TCheckListEntry>;

// Section L holds the entries under the keys "0", "1", ... in list order; section L followed by
// " Checked" holds one key per checked entry with the value "1": its text without "[" and "]"
// when that can be a key, else the text in an escaped form that starts with "]" (see
// IniLists.cpp). Both sections are replaced.
void U_IniSaveCheckList(TIniFile& file, const std::string& section, const TCheckList& list);
// Replaces the list by the entries of section L in file order (none when the section is absent),
// each checked when its key in the " Checked" section reads "1".
void U_IniLoadCheckList(const TIniFile& file, const std::string& section, TCheckList& list);

// --- Histories of editable drop-down lists ----------------------------------------------------

struct THistoryBox {
    std::string Name; // the control's name
    std::string Text;
    TStringList Items; // newest first
    bool Editable = true;
    int ItemIndex = -1;
};

// The limit the control-state operations use: at most 31 entries, newest first.
constexpr int HistoryLimit = 30;
// The most entries a history can store or load.
constexpr int HistoryMaxCount = 255;

// Puts a non-empty text that is not yet an entry (ignoring case) first; with a positive limit the
// entry at index limit goes first.
void U_AddToHistory(THistoryBox& box, int limit);
// "History " followed by the control's name.
std::string U_HistorySection(const THistoryBox& box);
// Adds the text to the history, then replaces the history's section: "Current" (the text),
// "Count" and the entries under "0", "1", ..., texts in double quotes so surrounding blanks
// survive. Returns false, with a message, when there are more than 255 entries (nothing is
// written then).
bool U_IniSaveHistory(TIniFile& file, THistoryBox& box);
// Appends the stored entries 0 .. Count (default 30) that are not yet entries, at most 255 in all;
// then selects the first entry (list that cannot be edited) or sets the text to "Current".
// Returns false, with a message, when the stored count lies outside 0 .. 255 (nothing changes).
bool U_IniLoadHistory(const TIniFile& file, THistoryBox& box);
// The restore of an editable drop-down list among a window's controls: the text stored under the
// control's name in section S serves when the history leaves the text empty; then the text is
// added to the history.
bool U_IniLoadHistoryControl(const TIniFile& file, const std::string& section, THistoryBox& box);

} // namespace trovalen
