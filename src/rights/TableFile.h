// A table of text (a header row and rows of fields) written as a file a person or a program
// reads: tab-separated text, CSV, HTML, XML, JSON or a spreadsheet (.xlsx). The table view saves
// the rows it shows through these; every writer keeps the rows and fields as given, in order.
//
// Line ends: LF, except CSV, whose format (RFC 4180) ends every record with CR LF.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/Spreadsheet.h"

namespace trovalen {

enum class TTableFormat { Text, Csv, Html, Xml, Json, Xlsx };

struct TTextTable {
    std::vector<std::string> Header; // one title per column
    TTextRows Rows;                  // each row has at most as many fields as the header
};

// The format a file name's extension names (any case: .txt .csv .htm .html .xml .json .xlsx);
// none for any other.
std::optional<TTableFormat> U_TableFormatOfFile(const std::string& fileName);
// The extension without the dot ("txt", ...), and the name filters a file dialog offers,
// one per format in the order of the enumeration ("Text, tab-separated (*.txt)", ...).
const char* U_TableFormatExtension(TTableFormat format);
std::vector<std::string> U_TableFormatFilters();
// The format of a filter U_TableFormatFilters gave; none for another text.
std::optional<TTableFormat> U_TableFormatOfFilter(const std::string& filter);

// The file's content in a text format. Text: the header and each row as fields joined by tabs; a
// field that holds a tab, a line break or starts with a double quote is quoted as in CSV, so
// that U_ParseSeparatedText reads every field back. Csv: RFC 4180 (commas, CR LF, fields with a
// comma, quote, line break or leading or trailing blank quoted). Html: a document with one
// table, the header as its head. Xml: <table><columns><column>…</column></columns>
// <row><field>…</field></row></table>, UTF-8 declared. Json: {"columns":[…],"rows":[{title:
// field, …}]}. Text that is not valid UTF-8 is written with U+FFFD in its place.
std::string U_TableText(const TTextTable& table, TTableFormat format);

// Writes the table to the file in the format, replacing the file in one step; false with the
// reason in error.
bool U_SaveTable(const std::string& fileName, const TTextTable& table, TTableFormat format,
                 std::string& error);

} // namespace trovalen
