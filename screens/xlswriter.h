#pragma once
// The workbook of the .xls export (toXls in export.h): BIFF8 records, the
// format of Excel 97-2003, in an OLE2 compound file.
//
// The workbook stream holds the globals (code page, window, fonts, cell
// formats, the one sheet's entry, the shared string table) and then the
// sheet (its dimensions, column widths, window and one LABELSST record per
// cell, every text in the shared string table once).

#include <string>

namespace replica::exporting {

// An OLE2 compound file holding one stream under the root storage. Streams
// shorter than 4096 bytes are padded with zeros to that size, so that the
// file needs no mini stream.
std::string compoundFile(const std::string& streamName, std::string stream);

}  // namespace replica::exporting
