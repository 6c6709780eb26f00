#pragma once
// What the writers of the exports share (export.cpp, xlswriter.cpp): the
// reading of a cell's UTF-8 text and the cells of a table. Defined in
// export.cpp.

#include <cstdint>
#include <string>
#include <vector>

#include "screens/export.h"

namespace replica::exporting {

// The code points of a UTF-8 text. A byte that does not start a valid
// sequence is taken as the Latin-1 character of that value, so a text that
// is not UTF-8 still exports every byte as some character.
std::vector<char32_t> codePoints(const std::string& s);
// The same text in UTF-16 units (surrogate pairs beyond U+FFFF).
std::vector<std::uint16_t> utf16(const std::string& s);
// CR LF and lone CR become LF: one line-break convention inside cells.
std::string normalizeBreaks(const std::string& s);

// The titles, then the rows.
std::vector<std::vector<std::string>> allRows(const Table& t);
// The widest of the titles and the rows.
std::size_t columnCount(const Table& t);
// The text of column c of row, empty beyond the row's end (rows may be
// shorter than the titles).
const std::string& cell(const std::vector<std::string>& row, std::size_t c);

}  // namespace replica::exporting
