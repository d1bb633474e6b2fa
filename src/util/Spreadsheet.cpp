#include "util/Spreadsheet.h"

#include "util/Export.h"
#include "util/FileIO.h"
#include "util/Platform.h"
#include "util/Shell.h"
#include "util/Util.h"

#include <algorithm>
#include <cstdio>
#include <xlsxwriter.h>

namespace trovalen {

TTextRows U_ParseSeparatedText(const std::string& text, char separator) {
    TTextRows rows;
    std::vector<std::string> row;
    std::string field;
    size_t i = 0;
    bool rowOpen = false;
    while (i < text.size()) {
        rowOpen = true;
        if (field.empty() && text[i] == '"') {
            // A quoted field: up to the closing quote; a doubled quote stands for one.
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(text[i++]);
            }
            // Text after the closing quote belongs to the same field.
            while (i < text.size() && text[i] != separator && text[i] != '\r' && text[i] != '\n')
                field.push_back(text[i++]);
            continue;
        }
        char c = text[i];
        if (c == separator) {
            row.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            rowOpen = false;
        } else {
            field.push_back(c);
            ++i;
        }
    }
    if (rowOpen) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

namespace {

size_t CharacterCount(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

// The longest line of a field, in characters.
size_t WidestLine(const std::string& field) {
    size_t widest = 0, start = 0;
    while (start <= field.size()) {
        size_t end = field.find('\n', start);
        if (end == std::string::npos)
            end = field.size();
        widest =
            std::max(widest, CharacterCount(std::string_view(field).substr(start, end - start)));
        start = end + 1;
    }
    return widest;
}

} // namespace

bool U_WriteXlsx(const std::string& fileName, const TTextRows& rows, std::string& error) {
    error.clear();
    if (rows.size() > LXW_ROW_MAX) {
        error = U_Format("%zu rows, a sheet holds at most %d", rows.size(), LXW_ROW_MAX);
        return false;
    }
    std::string tempError;
    std::string tempDir = U_PrivateTempDir(tempError);
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = tempDir.empty() ? nullptr : tempDir.data();
    lxw_workbook* workbook = workbook_new_opt(fileName.c_str(), &options);
    if (workbook == nullptr) {
        error = "the workbook could not be created";
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    lxw_format* wrap = workbook_add_format(workbook);
    format_set_text_wrap(wrap);
    std::vector<size_t> widths;
    lxw_error failure = LXW_NO_ERROR;
    for (size_t r = 0; r < rows.size() && failure == LXW_NO_ERROR; ++r) {
        if (rows[r].size() > LXW_COL_MAX) {
            error = U_Format("row %zu has %zu fields, a sheet holds at most %d columns", r + 1,
                             rows[r].size(), LXW_COL_MAX);
            break;
        }
        if (widths.size() < rows[r].size())
            widths.resize(rows[r].size(), 0);
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string& field = rows[r][c];
            if (field.empty())
                continue;
            // Every field is text: nothing the table holds is taken for a number or a formula.
            std::string valid = U_ValidUtf8(field);
            bool multiLine = valid.find('\n') != std::string::npos;
            failure =
                worksheet_write_string(sheet, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
                                       valid.c_str(), multiLine ? wrap : nullptr);
            if (failure != LXW_NO_ERROR) {
                error = U_Format("row %zu, column %zu: %s", r + 1, c + 1, lxw_strerror(failure));
                break;
            }
            widths[c] = std::max(widths[c], WidestLine(valid));
        }
    }
    for (size_t c = 0; c < widths.size() && error.empty(); ++c) {
        double width = std::clamp(static_cast<double>(widths[c]) * 1.1 + 1.0, 8.43, 255.0);
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                             nullptr);
    }
    lxw_error closed = workbook_close(workbook);
    if (error.empty() && closed != LXW_NO_ERROR)
        error = lxw_strerror(closed);
    return error.empty();
}

bool U_SaveXlsx(const std::string& fileName, const TTextRows& rows, std::string& error) {
    // The workbook is built in a private file first: the library writes its file piece by piece.
    std::string temp = U_CreatePrivateTempFile("Trovalen-", ".xlsx", error);
    if (temp.empty())
        return false;
    TScopeExit removeTemp([&temp] { std::remove(temp.c_str()); });
    std::string content;
    if (!U_WriteXlsx(temp, rows, error) || !U_ReadFile(temp, content, error))
        return false;
    return U_WriteFileAtomic(fileName, content, error);
}

namespace {

bool ExportClipboardToSpreadsheet(const char* programName) {
    std::string error;
    TTextRows rows = U_ParseSeparatedText(U_ClipboardGetText());
    std::string fileName = U_CreatePrivateTempFile("Trovalen-", ".xlsx", error);
    if (!fileName.empty() && U_WriteXlsx(fileName, rows, error)) {
        TShellCommand command;
        command.File = fileName;
        TShellResult result = U_ShellExecute(command);
        if (result.Code > 32)
            return true;
        // The workbook is written: a desktop without a program for it is no failure of the
        // export, and the person needs to know where the file is.
        std::string why = result.Error.empty() ? U_Format("error %d", result.Code) : result.Error;
        U_MessageBox(TMsgKind::Information,
                     U_Format("Saved to %s; no program to open it was found (%s). Results are "
                              "also in the clipboard",
                              fileName.c_str(), why.c_str()));
        return true;
    }
    U_MessageBox(TMsgKind::Warning, U_Format("Error saving to %s (%s) - Results are in clipboard",
                                             programName, error.c_str()));
    return false;
}

} // namespace

bool U_ExportToExcel() {
    return ExportClipboardToSpreadsheet("Excel");
}

bool U_ExportToQuattroPro() {
    return ExportClipboardToSpreadsheet("QP");
}

} // namespace trovalen
