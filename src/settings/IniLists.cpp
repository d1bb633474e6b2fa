#include "settings/IniLists.h"

#include "settings/Ini.h"
#include "util/Platform.h"
#include "util/Util.h"

#include <map>

namespace trovalen {

namespace {

std::string CheckedSection(const std::string& section) {
    return section + " Checked";
}

// Check mark keys come in two forms.
//
// - Plain: the entry's text without "[" and "]", blanks trimmed ("\\FS1\SYS\[Data]" is
//   "\\FS1\SYS\Data"). Every text that gives a storable key this way uses it, as all settings
//   files have always held; texts that differ only in brackets or case share one mark.
// - Escaped: any other text (one holding "=" or a line break, or one of brackets and blanks
//   alone) is stored as "]" followed by the text, in which each "]", "=", control character and
//   trailing blank is written as "]" and the byte's two upper-case hex digits:
//   "Dir=Name" is "]Dir]3DName", "a]=b " is "]a]5D]3Db]20".
//
// A plain key never holds "]", so the two forms cannot meet, and no file written before the
// escaped form existed holds one that any entry looks up: a key with "]" was never read.
constexpr char CheckKeyEscape = ']';
constexpr char HexDigits[] = "0123456789ABCDEF";

// The plain key of the text; empty when the text cannot have one.
std::string PlainCheckKey(const std::string& text) {
    std::string key = U_TrimBlank(U_IniCleanName(text));
    return TIniFile::IsValidKey(key) ? key : std::string();
}

std::string EscapedCheckKey(const std::string& text) {
    size_t end = text.find_last_not_of(" \t");
    size_t trailing = end == std::string::npos ? 0 : end + 1;
    std::string key(1, CheckKeyEscape);
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte == CheckKeyEscape || byte == '=' || byte < 0x20 || byte == 0x7F || i >= trailing) {
            key.push_back(CheckKeyEscape);
            key.push_back(HexDigits[byte >> 4]);
            key.push_back(HexDigits[byte & 0x0F]);
        } else {
            key.push_back(static_cast<char>(byte));
        }
    }
    return key;
}

} // namespace

// --- Check lists ------------------------------------------------------------------------------

void U_IniSaveCheckList(TIniFile& file, const std::string& section, const TCheckList& list) {
    TStringList entries;
    for (const auto& entry : list)
        entries.Add(entry.Text);
    U_IniWriteList(file, section, entries, false);

    // The check marks go in one write; a text that reads back as the same key is stored once.
    std::vector<std::pair<std::string, std::string>> checked;
    TStringList keys;
    for (const auto& entry : list) {
        if (!entry.Checked)
            continue;
        std::string key = PlainCheckKey(entry.Text);
        if (key.empty())
            key = EscapedCheckKey(entry.Text);
        if (keys.IndexOf(key) >= 0)
            continue;
        if (!TIniFile::IsValidKey(key)) {
            U_MessageBox(TMsgKind::Error, U_Format("Unable to write to %s: invalid key \"%s\"",
                                                   file.FileName().c_str(), key.c_str()));
            continue;
        }
        keys.Add(key);
        checked.emplace_back(key, "1");
    }
    try {
        file.WriteSection(U_IniCleanName(CheckedSection(section)), checked);
    } catch (const EIniError& e) {
        U_MessageBox(TMsgKind::Error, e.what());
    }
}

void U_IniLoadCheckList(const TIniFile& file, const std::string& section, TCheckList& list) {
    TStringList entries;
    U_IniReadList(file, section, entries, true);
    list.clear();
    for (const auto& item : entries) {
        TCheckListEntry entry;
        entry.Text = item.Text;
        entry.Data = item.Value;
        // A plain key is read as it always was; an escaped one as stored, brackets and all.
        if (!PlainCheckKey(item.Text).empty())
            entry.Checked = U_IniReadBoolCached(file, CheckedSection(section), item.Text, false);
        else
            entry.Checked =
                file.ReadString(CheckedSection(section), EscapedCheckKey(item.Text), "") == "1";
        list.push_back(std::move(entry));
    }
}

// --- Histories --------------------------------------------------------------------------------

void U_AddToHistory(THistoryBox& box, int limit) {
    if (box.Text.empty() || box.Items.IndexOf(box.Text) >= 0)
        return;
    if (limit > 0 && limit < box.Items.Count())
        box.Items.Delete(limit);
    box.Items.Insert(0, box.Text);
}

std::string U_HistorySection(const THistoryBox& box) {
    return "History " + box.Name;
}

bool U_IniSaveHistory(TIniFile& file, THistoryBox& box) {
    U_AddToHistory(box, HistoryLimit);
    std::string section = U_HistorySection(box);
    if (box.Items.Count() > HistoryMaxCount) {
        U_MessageBox(TMsgKind::Error,
                     U_Format("%s: %d entries, at most %d can be stored", section.c_str(),
                              box.Items.Count(), HistoryMaxCount));
        return false;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    entries.emplace_back("Current", U_Quoted(box.Text));
    entries.emplace_back("Count", std::to_string(box.Items.Count()));
    for (int i = 0; i < box.Items.Count(); ++i)
        entries.emplace_back(std::to_string(i), U_Quoted(box.Items[i]));
    try {
        file.WriteSection(U_IniCleanName(section), entries);
    } catch (const EIniError& e) {
        U_MessageBox(TMsgKind::Error, e.what());
    }
    return true;
}

bool U_IniLoadHistory(const TIniFile& file, THistoryBox& box) {
    std::string section = U_HistorySection(box);
    int32_t count = file.ReadInteger(section, "Count", HistoryLimit);
    if (count < 0 || count > HistoryMaxCount) {
        U_MessageBox(TMsgKind::Error, U_Format("%s: the count %d lies outside 0 to %d",
                                               section.c_str(), count, HistoryMaxCount));
        return false;
    }
    // One read of the section instead of one per key.
    TStringList lines;
    file.ReadSectionValues(section, lines);
    std::map<std::string, std::string> values;
    for (const auto& item : lines) {
        const std::string& line = item.Text;
        size_t eq = line.find('=');
        values.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    for (int i = 0; i <= count && box.Items.Count() < HistoryMaxCount; ++i) {
        auto it = values.find(std::to_string(i));
        if (it != values.end() && !it->second.empty() && box.Items.IndexOf(it->second) < 0)
            box.Items.Add(it->second);
    }
    if (!box.Editable) {
        box.ItemIndex = box.Items.Empty() ? -1 : 0;
        if (!box.Items.Empty())
            box.Text = box.Items[0];
    } else {
        box.Text = file.ReadString(section, "Current", std::string());
    }
    return true;
}

bool U_IniLoadHistoryControl(const TIniFile& file, const std::string& section, THistoryBox& box) {
    std::string stored = file.ReadString(section, U_IniCleanName(box.Name), box.Text);
    bool ok = U_IniLoadHistory(file, box);
    if (box.Text.empty())
        box.Text = stored;
    U_AddToHistory(box, HistoryLimit);
    return ok;
}

} // namespace trovalen
