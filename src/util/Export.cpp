#include "util/Export.h"

#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/Spreadsheet.h"
#include "util/Util.h"

#include <algorithm>

namespace trovalen {

// --- Grid ---------------------------------------------------------------------------------------

void TGrid::SetSize(int colCount, int rowCount) {
    colCount = std::max(colCount, 1);
    rowCount = std::max(rowCount, 1);
    std::vector<std::string> cells(static_cast<size_t>(colCount) * static_cast<size_t>(rowCount));
    for (int r = 0; r < std::min(rowCount, FRowCount); ++r)
        for (int c = 0; c < std::min(colCount, FColCount); ++c)
            cells[static_cast<size_t>(r) * colCount + c] =
                std::move(FCells[static_cast<size_t>(r) * FColCount + c]);
    FCells = std::move(cells);
    FColCount = colCount;
    FRowCount = rowCount;
}

const std::string& TGrid::Cell(int col, int row) const {
    static const std::string empty;
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount)
        return empty;
    return FCells[static_cast<size_t>(row) * FColCount + col];
}

void TGrid::SetCell(int col, int row, std::string text) {
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount)
        return;
    FCells[static_cast<size_t>(row) * FColCount + col] = std::move(text);
}

namespace {

int FixedRowsOf(const TGrid& grid) {
    return std::clamp(grid.FixedRows, 0, grid.RowCount());
}

int FixedColsOf(const TGrid& grid) {
    return std::clamp(grid.FixedCols, 0, grid.ColCount());
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

// The lines of a cell, split at CR LF, CR or LF.
std::vector<std::string> CellLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
size_t Utf8Length(std::string_view s, size_t i, uint32_t& codePoint) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n;
    if (c < 0x80) {
        codePoint = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        codePoint = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        codePoint = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        codePoint = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (b(i + k) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if ((n == 3 && codePoint < 0x800) || (n == 4 && codePoint < 0x10000) ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0;
    return n;
}

// --- Clipboard ----------------------------------------------------------------------------------

TClipboardHooks& ClipboardHooks() {
    static TClipboardHooks hooks;
    return hooks;
}

std::string& ClipboardText() {
    static std::string text;
    return text;
}

} // namespace

TClipboardHooks U_SetClipboardHooks(const TClipboardHooks& hooks) {
    TClipboardHooks previous = ClipboardHooks();
    ClipboardHooks() = hooks;
    return previous;
}

void U_ClipboardSetText(const std::string& text) {
    if (ClipboardHooks().SetText)
        ClipboardHooks().SetText(text);
    else
        ClipboardText() = text;
}

std::string U_ClipboardGetText() {
    if (ClipboardHooks().GetText)
        return ClipboardHooks().GetText();
    return ClipboardText();
}

// --- XML ----------------------------------------------------------------------------------------

std::string U_XMLTag(std::string_view name, std::string_view content) {
    if (content.empty())
        return U_XMLEmptyTag(name);
    std::string n(name);
    return "<" + n + ">" + std::string(content) + "</" + n + ">";
}

std::string U_XMLEmptyTag(std::string_view name) {
    return "<" + std::string(name) + "/>";
}

std::string U_XMLEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        size_t n = Utf8Length(text, i, cp);
        bool allowed = n > 0 && (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') &&
                       cp != 0xFFFE && cp != 0xFFFF;
        if (!allowed) {
            out += "\xEF\xBF\xBD";
            i += n > 0 ? n : 1;
            continue;
        }
        switch (cp) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\r':
            // A parser would fold CR LF into LF; the reference keeps the CR.
            out += "&#13;";
            break;
        default:
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string U_ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        size_t n = Utf8Length(text, i, cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string U_GridToXML(const TGrid& grid) {
    std::vector<std::string> lines;
    lines.push_back("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");
    lines.push_back("<document>");
    lines.push_back(U_Format(
        "<table rowCount=\"%d\" colCount=\"%d\" fixedRows=\"%d\" fixedCols=\"%d\" date=\"%s\" "
        "time=\"%s\"/>",
        grid.RowCount(), grid.ColCount(), FixedRowsOf(grid), FixedColsOf(grid),
        U_NowFormatted("yyyy-mm-dd").c_str(), U_NowFormatted("hh:nn:ss").c_str()));
    for (int r = 0; r < grid.RowCount(); ++r) {
        lines.push_back(U_Format("<%s %s=\"%d\">", "row", "value", r));
        lines.push_back(U_XMLTag("row", U_XMLEscape(grid.Cell(0, r))));
        if (grid.ColCount() > 1) {
            for (int c = 0; c < grid.ColCount(); ++c) {
                std::string content = U_XMLTag("col", U_XMLEscape(grid.Cell(c, 0)));
                // The cell's lines in case-insensitive order, each text once.
                TStringList values;
                values.Sorted = true;
                values.Duplicates = TStringList::TDuplicates::Ignore;
                for (const auto& line : CellLines(grid.Cell(c, r)))
                    values.Add(line);
                for (int i = 0; i < values.Count(); ++i)
                    content += U_Format("<%s index=\"%d\">%s</%s>", "value", i,
                                        U_XMLEscape(values[i]).c_str(), "value");
                lines.push_back(U_XMLTag("cell", content));
            }
        }
        lines.push_back(U_Format("</%s>", "row"));
    }
    lines.push_back("</document>");
    return JoinLines(lines);
}

// --- HTML ---------------------------------------------------------------------------------------

std::string U_HTMLCell(const TGrid& grid, int col, int row) {
    const std::string& text = grid.Cell(col, row);
    std::string content;
    if (text.empty()) {
        content = "<br>";
    } else {
        content = U_ReplaceStr(text, "&", "&amp;", true, true);
        content = U_ReplaceStr(content, "<", "&lt;", true, true);
        content = U_ReplaceStr(content, ">", "&gt;", true, true);
        content = U_ReplaceStr(content, "'", "&apos;", true, true);
        content = U_ReplaceStr(content, "\"", "&quot;", true, true);
        content = U_ReplaceStr(content, "\r\n", "<br>", true, true);
        if (col < FixedColsOf(grid) || row < FixedRowsOf(grid))
            content = "<b>" + content + "</b>";
    }
    // Joined as strings: a NUL inside the cell must not cut its text and its closing tags short.
    return "<td>" + content + "</td>";
}

std::string U_GridToHTML(const TGrid& grid) {
    std::vector<std::string> lines;
    // The file is UTF-8; without the declaration a browser would guess another code page.
    lines.push_back("<html><head><meta charset=\"utf-8\"></head><body>");
    lines.push_back("<table border=1>");
    for (int r = 0; r < grid.RowCount(); ++r) {
        lines.push_back("<tr>");
        for (int c = 0; c < grid.ColCount(); ++c)
            lines.push_back(U_HTMLCell(grid, c, r));
        lines.push_back("</tr>");
    }
    lines.push_back("</table>");
    lines.push_back("</body></html>");
    return JoinLines(lines);
}

// --- Separated text -----------------------------------------------------------------------------

std::string U_QuoteMultiLine(std::string_view text, std::string_view lineBreak,
                             std::string_view innerLineBreak, std::string_view quote,
                             std::string_view quoteReplacement) {
    std::string s(text);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n'))
        s.pop_back();
    if (!lineBreak.empty())
        s = U_ReplaceStr(s, lineBreak, innerLineBreak, true, true);
    if (innerLineBreak.empty() || s.find(innerLineBreak) == std::string::npos)
        return s;
    if (!quote.empty())
        s = U_ReplaceStr(s, quote, quoteReplacement, true, true);
    return std::string(quote) + s + std::string(quote);
}

std::string U_CellText(std::string_view text) {
    return U_QuoteMultiLine(text, "\r\n", "\n", "\"", "'");
}

std::string U_GridRowText(const TGrid& grid, int row, const std::string& columnSeparator,
                          bool includeFixed) {
    std::string line;
    int first = includeFixed ? 0 : FixedColsOf(grid);
    for (int c = first; c < grid.ColCount(); ++c) {
        std::string cell = U_CellText(grid.Cell(c, row));
        bool quoted = cell.size() >= 2 && cell.front() == '"' && cell.back() == '"' &&
                      cell.find('\n') != std::string::npos;
        // In comma-separated text a comma inside a cell (or a leading quote) would split or
        // swallow fields. Tab-separated text stays as it is: tabs inside a cell are meant to
        // spread a line over columns.
        bool commaLike = !columnSeparator.empty() && columnSeparator != "\t";
        if (!quoted && commaLike &&
            (cell.find(columnSeparator) != std::string::npos || U_StartsWith(cell, "\""))) {
            cell = "\"" + U_ReplaceStr(cell, "\"", "'", true, true) + "\"";
        }
        if (c > first)
            line += columnSeparator;
        line += cell;
    }
    return line;
}

std::string U_GridText(const TGrid& grid, const std::string& columnSeparator,
                       const std::string& rowSeparator, bool includeFixed) {
    std::vector<std::string> lines;
    int first = includeFixed ? 0 : FixedRowsOf(grid);
    for (int r = first; r < grid.RowCount(); ++r) {
        lines.push_back(U_GridRowText(grid, r, columnSeparator, includeFixed));
        if (!rowSeparator.empty())
            lines.push_back(rowSeparator);
    }
    return JoinLines(lines);
}

std::string U_GridTextAll(const TGrid& grid, const std::string& columnSeparator,
                          const std::string& rowSeparator) {
    return U_GridText(grid, columnSeparator, rowSeparator, true);
}

void U_GridToClipboard(const TGrid& grid, const std::string& columnSeparator,
                       const std::string& rowSeparator) {
    U_ClipboardSetText(U_GridTextAll(grid, columnSeparator, rowSeparator));
}

// --- Export -------------------------------------------------------------------------------------

int U_TargetKind(const std::string& targetName) {
    std::string name = U_UpperCase(targetName);
    if (name == "HTML" || name == "HTM")
        return tkHTML;
    if (name == "XML")
        return tkXML;
    if (name == "TXT" || name == "DOC" || name == "ASCII" || name == "CSV")
        return tkText;
    if (name == "QP" || name == "WB3")
        return tkQuattroPro;
    if (name == "XLS" || name == "EXCEL")
        return tkExcel;
    if (name == "CLIPBOARD")
        return tkClipboard;
    return tkNone;
}

namespace {

// The extension with its dot, from the last dot after the last folder delimiter.
std::string FileExtension(const std::string& fileName) {
    size_t delim = fileName.find_last_of("/\\:");
    size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (delim != std::string::npos && dot < delim))
        return std::string();
    return fileName.substr(dot);
}

} // namespace

bool U_ExportGrid(const TGrid* grid, const std::string& targetName, const std::string& fileName,
                  const std::string& rowSeparator, const std::string& columnSeparator) {
    if (grid == nullptr)
        return false;
    std::string target = targetName.empty() ? FileExtension(fileName) : targetName;
    target = U_TrimLeftChars(target, " .");
    int kind = U_TargetKind(target);
    if (kind == tkNone) {
        U_MessageBox(TMsgKind::Error, "Invalid target");
        return false;
    }
    bool toFile = kind == tkHTML || kind == tkXML || kind == tkText;
    if (toFile && fileName.size() < 3) {
        U_MessageBox(TMsgKind::Error, "Invalid target path");
        return false;
    }
    if (!toFile) {
        try {
            U_GridToClipboard(*grid, columnSeparator, rowSeparator);
        } catch (const std::exception& e) {
            throw EExportError(std::string("Unable to fill the clipboard: ") + e.what());
        }
        if (kind == tkClipboard)
            return true;
        return kind == tkExcel ? U_ExportToExcel() : U_ExportToQuattroPro();
    }
    std::string text = kind == tkHTML  ? U_GridToHTML(*grid)
                       : kind == tkXML ? U_GridToXML(*grid)
                                       : U_GridTextAll(*grid, columnSeparator, rowSeparator);
    std::string error;
    if (!U_WriteFileAtomic(fileName, text, error))
        throw EExportError(U_Format("Unable to write to %s (%s)", fileName.c_str(), error.c_str()));
    return true;
}

bool U_ExportGridAuto(const TGrid* grid, const std::string& targetName,
                      const std::string& fileName) {
    std::string separator = U_LowerCase(FileExtension(fileName)) == ".csv" ? "," : "\t";
    return U_ExportGrid(grid, targetName, fileName, std::string(), separator);
}

bool U_ExportStrings(const TStringList& strings, const std::string& targetName,
                     const std::string& fileName) {
    try {
        TGrid grid(1, std::max(strings.Count(), 1));
        for (int i = 0; i < strings.Count(); ++i)
            grid.SetCell(0, i, strings[i]);
        return U_ExportGridAuto(&grid, targetName, fileName);
    } catch (const std::exception& e) {
        // The user must learn that nothing was saved.
        U_MessageBox(TMsgKind::Error, e.what());
        return false;
    }
}

} // namespace trovalen
