// Export of a table of strings (a grid with optional heading rows and columns) to an HTML file, an
// XML file, a tab- or comma-separated text file, the clipboard, or a spreadsheet file that the
// desktop opens. Files are written in UTF-8 and replace the old file in one step.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "util/StringList.h"

namespace trovalen {

// A grid of text cells addressed by column and row, both 0-based. The first FixedRows rows and
// FixedCols columns are headings. A cell's text may hold CR LF line breaks.
class TGrid {
public:
    TGrid(int colCount = 1, int rowCount = 1) { SetSize(colCount, rowCount); }
    // At least one column and one row; existing cells inside the new size keep their text.
    void SetSize(int colCount, int rowCount);
    int ColCount() const { return FColCount; }
    int RowCount() const { return FRowCount; }
    // Empty outside the grid.
    const std::string& Cell(int col, int row) const;
    // Ignored outside the grid.
    void SetCell(int col, int row, std::string text);
    // Heading rows and columns, kept within the grid by the exports.
    int FixedRows = 0;
    int FixedCols = 0;

private:
    int FColCount = 0;
    int FRowCount = 0;
    std::vector<std::string> FCells;
};

enum TTargetKind {
    tkNone = 0,
    tkHTML = 1,
    tkXML = 2,
    tkText = 3,
    tkQuattroPro = 4,
    tkExcel = 5,
    tkClipboard = 6,
};

// --- Clipboard ----------------------------------------------------------------------------------

// The window fills these in; without them the clipboard is a text kept inside the program.
struct TClipboardHooks {
    std::function<void(const std::string&)> SetText;
    std::function<std::string()> GetText;
};
// Replaces the hooks (a missing function keeps the built-in behaviour) and returns the previous.
TClipboardHooks U_SetClipboardHooks(const TClipboardHooks& hooks);
void U_ClipboardSetText(const std::string& text);
std::string U_ClipboardGetText();

// --- Export -------------------------------------------------------------------------------------

// The kind for a target name, upper-cased and compared exactly.
int U_TargetKind(const std::string& targetName);

// A failure while writing the file or filling the clipboard.
class EExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One row per string (at least one row), one column, no headings; then U_ExportGridAuto. A
// failure is shown as an error message; returns whether the export was done.
bool U_ExportStrings(const TStringList& strings, const std::string& targetName,
                     const std::string& fileName);
// Column separator: a tab, or "," when the file name ends in ".csv" (any case); no row separator.
bool U_ExportGridAuto(const TGrid* grid, const std::string& targetName,
                      const std::string& fileName);
// The target name (when empty: the file name's extension) loses leading blanks and dots and
// selects the kind. "Invalid target" and "Invalid target path" (a file target with a name of
// fewer than three characters) are shown as error messages and return false. Clipboard and
// spreadsheet targets put the separated text on the clipboard; spreadsheets then show their own
// message on failure and return false. Throws EExportError when the file or the clipboard
// cannot be written.
bool U_ExportGrid(const TGrid* grid, const std::string& targetName, const std::string& fileName,
                  const std::string& rowSeparator, const std::string& columnSeparator);

// The formats: lines joined with CR LF, the last line also ended by CR LF.
std::string U_GridToXML(const TGrid& grid);
std::string U_GridToHTML(const TGrid& grid);
std::string U_GridText(const TGrid& grid, const std::string& columnSeparator,
                       const std::string& rowSeparator, bool includeFixed);
std::string U_GridTextAll(const TGrid& grid, const std::string& columnSeparator,
                          const std::string& rowSeparator);
void U_GridToClipboard(const TGrid& grid, const std::string& columnSeparator,
                       const std::string& rowSeparator);
// One row's cells joined by the separator. With a separator other than a tab (a comma), a cell
// that holds the separator or starts with a double quote is quoted like a multi-line cell so that
// it stays one field.
std::string U_GridRowText(const TGrid& grid, int row, const std::string& columnSeparator,
                          bool includeFixed);
// U_QuoteMultiLine(text, CR LF, LF, double quote, single quote).
std::string U_CellText(std::string_view text);
// Trailing CR and LF go, every line break becomes the inner line break; a text that then holds
// an inner line break has every quote replaced and is wrapped in quotes.
std::string U_QuoteMultiLine(std::string_view text, std::string_view lineBreak,
                             std::string_view innerLineBreak, std::string_view quote,
                             std::string_view quoteReplacement);
std::string U_HTMLCell(const TGrid& grid, int col, int row);

// XML helpers. U_XMLTag wraps content that is already markup; U_XMLEscape makes text fit to be
// content or an attribute value (markup characters escaped, invalid UTF-8 and characters that
// XML cannot hold replaced by U+FFFD).
std::string U_XMLTag(std::string_view name, std::string_view content);
std::string U_XMLEmptyTag(std::string_view name);
std::string U_XMLEscape(std::string_view text);
// The text with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string U_ValidUtf8(std::string_view text);

} // namespace trovalen
