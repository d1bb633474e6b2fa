// An ordered list of strings, each carrying one 32-bit companion value (a rights mask, a detail
// level, a connection reference). Lookups by text ignore letter case in the ASCII range.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trovalen {

struct TStringItem {
    std::string Text;
    uint32_t Value = 0;
};

class TStringList {
public:
    enum class TDuplicates { Accept, Ignore };

    TStringList() = default;
    TStringList(std::initializer_list<std::string> items);

    // In sorted mode Add inserts at the position given by case-insensitive order; with
    // Duplicates == Ignore a text already present (ignoring case) is not added again and the
    // index of the present one is returned.
    bool Sorted = false;
    TDuplicates Duplicates = TDuplicates::Accept;

    int Add(const std::string& text, uint32_t value = 0);
    void Insert(int index, const std::string& text, uint32_t value = 0);
    void Delete(int index);
    void Clear() { Items.clear(); }
    void Append(const TStringList& other);

    int Count() const { return static_cast<int>(Items.size()); }
    bool Empty() const { return Items.empty(); }
    const std::string& operator[](int index) const { return Items.at(index).Text; }
    std::string& operator[](int index) { return Items.at(index).Text; }
    uint32_t Value(int index) const { return Items.at(index).Value; }
    void SetValue(int index, uint32_t value) { Items.at(index).Value = value; }

    // Index of the first entry equal to text ignoring case, -1 when none.
    int IndexOf(const std::string& text) const;
    // Index of the first entry exactly equal to text, -1 when none.
    int IndexOfExact(const std::string& text) const;

    // Stable sort by the given order (default: case-insensitive text order).
    void Sort();
    void Sort(const std::function<int(const TStringItem&, const TStringItem&)>& compare);

    // All texts joined by the separator (default CR LF as the panes write them).
    std::string Text(const std::string& separator = "\r\n") const;
    std::vector<std::string> Strings() const;

    std::vector<TStringItem> Items;

    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }
};

} // namespace trovalen
