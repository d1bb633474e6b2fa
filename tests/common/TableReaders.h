// Reads back what the table writers wrote, with readers of their own (regular expressions for
// HTML and XML, the JSON library, Python's zip and XML modules for the workbook), so that a
// writer's fault cannot hide behind a reader that shares its code.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "rights/TableFile.h"
#include "util/Spreadsheet.h"

namespace trovalen::test {

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string Unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#13;", "\r"}};
    for (const auto& [from, to] : entities)
        for (size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, std::string(from).size(), to);
    for (size_t at = 0; (at = text.find("&amp;", at)) != std::string::npos; ++at)
        text.replace(at, 5, "&");
    return text;
}

// The cells of every element <cell> (or <cell/>) inside each <row>, in order.
inline TTextRows Cells(const std::string& text, const std::string& row, const std::string& cell) {
    // Plain searches: std::regex trips GCC 12's uninitialised-use warning under the sanitizers.
    TTextRows rows;
    const std::string rowOpen = "<" + row + ">", rowClose = "</" + row + ">";
    const std::string empty = "<" + cell + "/>", open = "<" + cell + ">", close = "</" + cell + ">";
    for (size_t at = text.find(rowOpen); at != std::string::npos; at = text.find(rowOpen, at)) {
        const size_t start = at + rowOpen.size();
        const size_t end = text.find(rowClose, start);
        if (end == std::string::npos)
            break;
        const std::string inner = text.substr(start, end - start);
        auto& fields = rows.emplace_back();
        for (size_t c = 0;;) {
            const size_t e = inner.find(empty, c), o = inner.find(open, c);
            if (e == std::string::npos && o == std::string::npos)
                break;
            if (e != std::string::npos && (o == std::string::npos || e < o)) {
                fields.push_back(std::string());
                c = e + empty.size();
                continue;
            }
            const size_t from = o + open.size();
            const size_t to = inner.find(close, from);
            if (to == std::string::npos)
                break;
            fields.push_back(Unescape(inner.substr(from, to - from)));
            c = to + close.size();
        }
        at = end + rowClose.size();
    }
    return rows;
}

inline bool HavePython() {
    return std::system("python3 -c 'import zipfile, xml.dom.minidom' >/dev/null 2>&1") == 0;
}

// The sheet's rows as the workbook holds them, through Python's zip and XML readers.
inline TTextRows ReadXlsx(const std::string& file, const std::string& scratch) {
    const std::string script = scratch + "/read.py";
    std::ofstream(script) << R"(import sys, zipfile, json, re
from xml.dom import minidom
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
shared = []
if 'xl/sharedStrings.xml' in names:
    for si in minidom.parseString(z.read('xl/sharedStrings.xml')).getElementsByTagName('si'):
        shared.append(''.join(t.firstChild.data if t.firstChild else '' for t in si.getElementsByTagName('t')))
rows = []
for row in minidom.parseString(z.read('xl/worksheets/sheet1.xml')).getElementsByTagName('row'):
    r = int(row.getAttribute('r')) - 1
    while len(rows) <= r: rows.append([])
    for c in row.getElementsByTagName('c'):
        ref = c.getAttribute('r'); col = 0
        for ch in re.match('[A-Z]+', ref).group(0): col = col * 26 + ord(ch) - 64
        v = c.getElementsByTagName('v')
        text = shared[int(v[0].firstChild.data)] if v and c.getAttribute('t') == 's' else ''
        while len(rows[r]) < col: rows[r].append('')
        rows[r][col - 1] = text
print(json.dumps(rows))
)";
    const std::string out = scratch + "/sheet.json";
    const std::string cmd = "python3 '" + script + "' '" + file + "' > '" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return nlohmann::json::parse(Slurp(out)).get<TTextRows>();
}

// The header row and the rows of a file the writers wrote in the format; for a workbook, rows
// padded to the header's width (the sheet leaves empty cells out), or nothing without Python.
inline TTextRows ReadTableFile(const std::string& file, TTableFormat format,
                               const std::string& scratch) {
    const std::string text = Slurp(file);
    TTextRows back;
    switch (format) {
    case TTableFormat::Text:
        return U_ParseSeparatedText(text, '\t');
    case TTableFormat::Csv:
        return U_ParseSeparatedText(text, ',');
    case TTableFormat::Html:
        back = Cells(text, "thead", "th");
        if (text.find("<tbody>") != std::string::npos)
            for (auto& r : Cells(text.substr(text.find("<tbody>")), "tr", "td"))
                back.push_back(r);
        return back;
    case TTableFormat::Xml:
        back = Cells(text, "columns", "column");
        for (auto& r : Cells(text, "row", "field"))
            back.push_back(r);
        return back;
    case TTableFormat::Json: {
        auto doc = nlohmann::json::parse(text);
        const auto titles = doc["columns"].get<std::vector<std::string>>();
        back.push_back(titles);
        for (const auto& row : doc["rows"]) {
            auto& fields = back.emplace_back();
            for (const auto& title : titles)
                fields.push_back(row.at(title).get<std::string>());
        }
        return back;
    }
    case TTableFormat::Xlsx:
        if (!HavePython())
            return back;
        back = ReadXlsx(file, scratch);
        if (!back.empty())
            for (auto& r : back)
                r.resize(back.front().size());
        return back;
    }
    return back;
}

} // namespace trovalen::test
