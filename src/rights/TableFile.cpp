#include "rights/TableFile.h"

#include <nlohmann/json.hpp>

#include "util/Export.h"
#include "util/FileIO.h"
#include "util/Util.h"

namespace trovalen {

namespace {

struct TFormatInfo {
    TTableFormat Format;
    const char* Extension;
    const char* Filter;
};

constexpr TFormatInfo kFormats[] = {
    {TTableFormat::Text, "txt", "Text, tab-separated (*.txt)"},
    {TTableFormat::Csv, "csv", "CSV, comma-separated (*.csv)"},
    {TTableFormat::Html, "html", "Web page (*.html *.htm)"},
    {TTableFormat::Xml, "xml", "XML (*.xml)"},
    {TTableFormat::Json, "json", "JSON (*.json)"},
    {TTableFormat::Xlsx, "xlsx", "Spreadsheet (*.xlsx)"},
};

// The header and the rows, each row as long as the header (missing fields empty).
template <class TVisit> void ForEachRow(const TTextTable& table, TVisit visit) {
    visit(table.Header);
    std::vector<std::string> padded;
    for (const auto& row : table.Rows) {
        if (row.size() >= table.Header.size()) {
            visit(row);
            continue;
        }
        padded = row;
        padded.resize(table.Header.size());
        visit(padded);
    }
}

std::string Quoted(const std::string& field) {
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string SeparatedText(const TTextTable& table, char separator, const char* lineEnd) {
    std::string out;
    ForEachRow(table, [&](const std::vector<std::string>& row) {
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string field = U_ValidUtf8(row[i]);
            const bool quote =
                field.find_first_of(std::string(1, separator) + "\r\n") != std::string::npos ||
                (!field.empty() && field.front() == '"') ||
                (separator == ',' &&
                 (field.find('"') != std::string::npos ||
                  (!field.empty() && (field.front() == ' ' || field.back() == ' '))));
            out += (i > 0 ? std::string(1, separator) : std::string()) +
                   (quote ? Quoted(field) : field);
        }
        out += lineEnd;
    });
    return out;
}

std::string HtmlText(const TTextTable& table) {
    std::string out = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                      "<title>Effective trustees</title>\n</head>\n<body>\n<table border=\"1\">\n";
    bool head = true;
    ForEachRow(table, [&](const std::vector<std::string>& row) {
        const char* cell = head ? "th" : "td";
        out += head ? "<thead>\n<tr>" : "<tr>";
        for (const auto& field : row)
            out += U_Format("<%s>%s</%s>", cell, U_XMLEscape(field).c_str(), cell);
        out += head ? "</tr>\n</thead>\n<tbody>\n" : "</tr>\n";
        head = false;
    });
    return out + "</tbody>\n</table>\n</body>\n</html>\n";
}

std::string XmlText(const TTextTable& table) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<table>\n<columns>";
    bool head = true;
    ForEachRow(table, [&](const std::vector<std::string>& row) {
        if (!head)
            out += "<row>";
        for (const auto& field : row)
            out += U_XMLTag(head ? "column" : "field", U_XMLEscape(field));
        out += head ? "</columns>\n" : "</row>\n";
        head = false;
    });
    return out + "</table>\n";
}

std::string JsonText(const TTextTable& table) {
    nlohmann::ordered_json doc;
    doc["columns"] = nlohmann::ordered_json::array();
    for (const auto& title : table.Header)
        doc["columns"].push_back(U_ValidUtf8(title));
    doc["rows"] = nlohmann::ordered_json::array();
    for (const auto& row : table.Rows) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (size_t i = 0; i < table.Header.size(); ++i)
            object[U_ValidUtf8(table.Header[i])] = i < row.size() ? U_ValidUtf8(row[i]) : "";
        doc["rows"].push_back(std::move(object));
    }
    return doc.dump(2) + "\n";
}

} // namespace

std::optional<TTableFormat> U_TableFormatOfFile(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    size_t slash = fileName.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    std::string ext = U_LowerCase(fileName.substr(dot + 1));
    if (ext == "htm")
        return TTableFormat::Html;
    for (const auto& f : kFormats)
        if (ext == f.Extension)
            return f.Format;
    return std::nullopt;
}

const char* U_TableFormatExtension(TTableFormat format) {
    for (const auto& f : kFormats)
        if (f.Format == format)
            return f.Extension;
    return "txt";
}

std::vector<std::string> U_TableFormatFilters() {
    std::vector<std::string> out;
    for (const auto& f : kFormats)
        out.emplace_back(f.Filter);
    return out;
}

std::optional<TTableFormat> U_TableFormatOfFilter(const std::string& filter) {
    for (const auto& f : kFormats)
        if (filter == f.Filter)
            return f.Format;
    return std::nullopt;
}

std::string U_TableText(const TTextTable& table, TTableFormat format) {
    switch (format) {
    case TTableFormat::Text:
        return SeparatedText(table, '\t', "\n");
    case TTableFormat::Csv:
        return SeparatedText(table, ',', "\r\n");
    case TTableFormat::Html:
        return HtmlText(table);
    case TTableFormat::Xml:
        return XmlText(table);
    case TTableFormat::Json:
    case TTableFormat::Xlsx:
        break;
    }
    return JsonText(table);
}

bool U_SaveTable(const std::string& fileName, const TTextTable& table, TTableFormat format,
                 std::string& error) {
    if (format == TTableFormat::Xlsx) {
        TTextRows rows;
        rows.reserve(table.Rows.size() + 1);
        ForEachRow(table, [&](const std::vector<std::string>& row) { rows.push_back(row); });
        return U_SaveXlsx(fileName, rows, error);
    }
    return U_WriteFileAtomic(fileName, U_TableText(table, format), error);
}

} // namespace trovalen
