#pragma once
// Writers of the grid exports: rows of texts in, file bytes out.
//
// The event monitors export the grid's selected rows with its visible
// columns in one of five formats, and copy the selection to the clipboard
// as tab-separated text. Everything here is a pure function of the column
// titles and the cell texts (UTF-8), with no widget behind it, so each
// format can be checked byte for byte.
//
// Promises, per format:
//   - plain text: one line per row (titles first), columns padded to a
//     common width; a line break inside a cell becomes a blank, so a row
//     always stays one line;
//   - CSV: a UTF-8 byte order mark, then RFC 4180 records (comma, CR LF,
//     quotes only where needed, inner quotes doubled, line breaks kept
//     inside the quotes);
//   - HTML: a UTF-8 document with one table, every text escaped;
//   - RTF: a table whose non-ASCII characters are written as \u escapes;
//   - XLS: a genuine Excel 97-2003 workbook (BIFF8 records in an OLE2
//     compound file) with one sheet whose cells hold the texts unchanged
//     (CR LF inside a cell becomes LF, as the spreadsheet keeps it).
// The titles are the first row of every file; the clipboard text has no
// titles. A workbook holds at most 65536 rows: a longer table is refused
// with std::length_error rather than cut.

#include <array>
#include <string>
#include <vector>

namespace replica::exporting {

enum class Format { Text, Csv, Html, Rtf, Xls };

struct Table {
    std::string title;                           // the HTML title
    std::vector<std::string> headers;            // visible column titles, in order
    std::vector<std::vector<std::string>> rows;  // one text per visible column
};

// The save dialog's file types, in the order it offers them.
struct FileType {
    Format format;
    const char* extension;  // without the dot
    const char* filter;     // the dialog's caption and pattern
};
inline constexpr std::array<FileType, 5> kFileTypes = {{
    {Format::Text, "txt", "Text files (*.txt)"},
    {Format::Csv, "csv", "Comma separated values (*.csv)"},
    {Format::Html, "htm", "HTML file (*.htm)"},
    {Format::Rtf, "rtf", "Rich Text Format (*.rtf)"},
    {Format::Xls, "xls", "Microsoft Excel Workbook (*.xls)"},
}};

const FileType& fileType(Format format);

// The name the file is written under: the chosen name when its last three
// characters equal the format's extension without regard to case, otherwise
// the name + "." + the extension.
std::string exportFileName(const std::string& chosen, Format format);

std::string toText(const Table& table);
std::string toCsv(const Table& table);
std::string toHtml(const Table& table);
// An RTF table on an A4 landscape page, no wider than kRtfTableWidth twips
// (what a Letter landscape page leaves inside half-inch margins).
inline constexpr int kRtfTableWidth = 14400;
std::string toRtf(const Table& table);
std::string toXls(const Table& table);  // xlswriter.cpp
std::string exportBytes(const Table& table, Format format);

// The clipboard form of rows: cells separated by tabs, rows by line breaks;
// a cell holding a tab, a line break or a quote is quoted, with its inner
// quotes doubled, as spreadsheets read pasted text.
std::string toClipboardText(const std::vector<std::vector<std::string>>& rows);

}  // namespace replica::exporting
