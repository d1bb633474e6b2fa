#include "util/StringList.h"

#include "util/Util.h"

#include <algorithm>

namespace trovalen {

TStringList::TStringList(std::initializer_list<std::string> items) {
    for (const auto& s : items)
        Add(s);
}

int TStringList::Add(const std::string& text, uint32_t value) {
    if (!Sorted) {
        Items.push_back({text, value});
        return Count() - 1;
    }
    auto pos = std::lower_bound(Items.begin(), Items.end(), text,
                                [](const TStringItem& item, const std::string& t) {
                                    return U_CompareText(item.Text, t) < 0;
                                });
    if (Duplicates == TDuplicates::Ignore && pos != Items.end() && U_SameText(pos->Text, text))
        return static_cast<int>(pos - Items.begin());
    // Equal texts keep their order of arrival.
    while (pos != Items.end() && U_CompareText(pos->Text, text) == 0)
        ++pos;
    pos = Items.insert(pos, {text, value});
    return static_cast<int>(pos - Items.begin());
}

void TStringList::Insert(int index, const std::string& text, uint32_t value) {
    index = std::clamp(index, 0, Count());
    Items.insert(Items.begin() + index, {text, value});
}

void TStringList::Delete(int index) {
    if (index >= 0 && index < Count())
        Items.erase(Items.begin() + index);
}

void TStringList::Append(const TStringList& other) {
    for (const auto& item : other.Items)
        Add(item.Text, item.Value);
}

int TStringList::IndexOf(const std::string& text) const {
    for (int i = 0; i < Count(); ++i)
        if (U_SameText(Items[i].Text, text))
            return i;
    return -1;
}

int TStringList::IndexOfExact(const std::string& text) const {
    for (int i = 0; i < Count(); ++i)
        if (Items[i].Text == text)
            return i;
    return -1;
}

void TStringList::Sort() {
    std::stable_sort(Items.begin(), Items.end(), [](const TStringItem& a, const TStringItem& b) {
        return U_CompareText(a.Text, b.Text) < 0;
    });
}

void TStringList::Sort(const std::function<int(const TStringItem&, const TStringItem&)>& compare) {
    std::stable_sort(Items.begin(), Items.end(),
                     [&](const TStringItem& a, const TStringItem& b) { return compare(a, b) < 0; });
}

std::string TStringList::Text(const std::string& separator) const {
    std::string out;
    for (const auto& item : Items) {
        out += item.Text;
        out += separator;
    }
    return out;
}

std::vector<std::string> TStringList::Strings() const {
    std::vector<std::string> out;
    out.reserve(Items.size());
    for (const auto& item : Items)
        out.push_back(item.Text);
    return out;
}

} // namespace trovalen
