// Turns the clipboard's tab-separated text into a spreadsheet: the text is written as a real
// spreadsheet file (.xlsx) in the user's private temporary folder, which is then handed to the
// desktop's default application (through the shell launcher, see Shell.h). The file stays for
// the application to read. On failure a message says why; the clipboard keeps the text either
// way, so the user can paste it by hand.
#pragma once

#include <string>
#include <vector>

namespace trovalen {

using TTextRows = std::vector<std::vector<std::string>>;

// Splits tab-separated text into rows of fields. Rows end at CR LF or LF; a field that starts
// with a double quote runs to the matching closing quote and may hold line breaks (a doubled
// quote inside stands for one); a final line break adds no empty row.
TTextRows U_ParseSeparatedText(const std::string& text, char separator = '\t');

// Writes the rows as a workbook with one sheet, every field as text, column widths fitted to
// the longest line; multi-line fields wrap. Returns false with the reason in error.
bool U_WriteXlsx(const std::string& fileName, const TTextRows& rows, std::string& error);

// Writes the same workbook to fileName and replaces the file in one step (U_WriteFileAtomic):
// a failure leaves no half-written file behind. Returns false with the reason in error.
bool U_SaveXlsx(const std::string& fileName, const TTextRows& rows, std::string& error);

// Both return whether the spreadsheet was written; when it cannot be written they show
// "Error saving to Excel (%s) - Results are in clipboard" or the same with "QP". A file written
// that no program could open is no failure: a message says where it is.
bool U_ExportToExcel();
bool U_ExportToQuattroPro();

} // namespace trovalen
