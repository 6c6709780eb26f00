#include "screens/export.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>

#include "tests/support/tempdir.h"

using namespace replica;
using namespace replica::exporting;

namespace {

// Rows with the texts that break naive writers.
Table trickyTable() {
    Table t;
    t.title = "Lista <de> eventos";
    t.headers = {"Tipo doc", "Código", "Mensaje de error"};
    t.rows = {
        {"FV", "Dice \"hola\", adiós", "línea 1\r\nlínea 2"},
        {"", "{a}\\b", "<b>&amp;</b> 'x'"},
        {"ÑANDÚ €", " espacio", "tab\taquí"},
    };
    return t;
}

// ---------------------------------------------------------------------------
// A small reader of compound files and BIFF8 workbooks, written from the
// file format descriptions: it checks the writer against the layout rather
// than against itself.

std::uint32_t u32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(s.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}
std::uint16_t u16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s.at(at)) |
                                      (static_cast<unsigned char>(s.at(at + 1)) << 8));
}

std::string readStream(const std::string& file, const std::string& name) {
    if (file.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") != 0) {
        throw std::runtime_error("no compound file signature");
    }
    const std::size_t sector = std::size_t{1} << u16(file, 30);
    auto at = [&](std::uint32_t s) { return (static_cast<std::size_t>(s) + 1) * sector; };
    // FAT sectors: 109 in the header, the rest along the DIFAT chain.
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = u32(file, 44);
    for (std::size_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) {
        fatSectors.push_back(u32(file, 76 + 4 * i));
    }
    for (std::uint32_t d = u32(file, 68); fatSectors.size() < fatCount && d < 0xFFFFFFFA;) {
        for (std::size_t k = 0; k + 1 < sector / 4 && fatSectors.size() < fatCount; ++k) {
            fatSectors.push_back(u32(file, at(d) + 4 * k));
        }
        d = u32(file, at(d) + sector - 4);
    }
    std::vector<std::uint32_t> fat;
    for (std::uint32_t f : fatSectors) {
        for (std::size_t k = 0; k < sector / 4; ++k) {
            fat.push_back(u32(file, at(f) + 4 * k));
        }
    }
    auto chain = [&](std::uint32_t start) {
        std::string out;
        for (std::uint32_t s = start; s != 0xFFFFFFFE; s = fat.at(s)) {
            out += file.substr(at(s), sector);
        }
        return out;
    };
    const std::string dir = chain(u32(file, 48));
    for (std::size_t e = 0; e + 128 <= dir.size(); e += 128) {
        std::string entry;
        const std::size_t bytes = u16(dir, e + 64);
        for (std::size_t i = 0; i + 2 < bytes; i += 2) {
            entry += static_cast<char>(dir[e + i]);
        }
        if (entry == name && dir[e + 66] == 2) {
            const std::uint32_t size = u32(dir, e + 120);
            if (size < u32(file, 56)) {
                throw std::runtime_error("stream in the mini stream");
            }
            return chain(u32(dir, e + 116)).substr(0, size);
        }
    }
    throw std::runtime_error("no stream " + name);
}

struct Workbook {
    std::map<std::pair<int, int>, std::string> cells;
    int rows = 0;
    int cols = 0;
};

std::string utf8(const std::vector<std::uint16_t>& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

Workbook readWorkbook(const std::string& file) {
    const std::string s = readStream(file, "Workbook");
    struct Rec {
        unsigned type;
        std::string data;
    };
    std::vector<Rec> recs;
    std::size_t sheetAt = 0;
    for (std::size_t p = 0; p + 4 <= s.size();) {
        const unsigned type = u16(s, p);
        const std::size_t len = u16(s, p + 2);
        if (type == 0 && len == 0) {
            break;  // padding after the last record
        }
        if (len > 8224) {
            throw std::runtime_error("record longer than BIFF8 allows");
        }
        recs.push_back({type, s.substr(p + 4, len)});
        if (type == 0x0085) {
            sheetAt = u32(s, p + 4);
        }
        p += 4 + len;
    }
    if (recs.empty() || recs.front().type != 0x0809 || u16(recs.front().data, 0) != 0x0600) {
        throw std::runtime_error("not a BIFF8 workbook");
    }
    if (sheetAt == 0 || u16(s, sheetAt) != 0x0809 || u16(s, sheetAt + 4 + 2) != 0x0010) {
        throw std::runtime_error("the sheet position does not point at a worksheet BOF");
    }
    // Shared strings across SST and CONTINUE.
    std::vector<std::string> sst;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        if (recs[i].type != 0x00FC) {
            continue;
        }
        std::size_t r = i;
        std::size_t p = 8;
        const std::uint32_t unique = u32(recs[i].data, 4);
        for (std::uint32_t k = 0; k < unique; ++k) {
            if (p >= recs[r].data.size()) {
                ++r;
                p = 0;
                if (recs.at(r).type != 0x003C) {
                    throw std::runtime_error("SST continues in something else");
                }
            }
            const std::size_t cch = u16(recs[r].data, p);
            bool wide = recs[r].data.at(p + 2) & 1;
            p += 3;
            std::vector<std::uint16_t> units;
            while (units.size() < cch) {
                if (p >= recs[r].data.size()) {
                    ++r;
                    if (recs.at(r).type != 0x003C) {
                        throw std::runtime_error("string continues in something else");
                    }
                    wide = recs[r].data.at(0) & 1;
                    p = 1;
                }
                if (wide) {
                    units.push_back(u16(recs[r].data, p));
                    p += 2;
                } else {
                    units.push_back(static_cast<unsigned char>(recs[r].data.at(p)));
                    p += 1;
                }
            }
            sst.push_back(utf8(units));
        }
        break;
    }
    Workbook wb;
    for (const Rec& rec : recs) {
        if (rec.type == 0x00FD) {
            const int row = u16(rec.data, 0);
            const int col = u16(rec.data, 2);
            wb.cells[{row, col}] = sst.at(u32(rec.data, 6));
            wb.rows = std::max(wb.rows, row + 1);
            wb.cols = std::max(wb.cols, col + 1);
        }
    }
    return wb;
}

std::string crlfToLf(std::string s) {
    for (std::size_t p; (p = s.find("\r\n")) != std::string::npos;) {
        s.erase(p, 1);
    }
    return s;
}

void expectSameCells(const Table& t, const Workbook& wb) {
    ASSERT_EQ(wb.rows, static_cast<int>(t.rows.size()) + 1);
    ASSERT_EQ(wb.cols, static_cast<int>(t.headers.size()));
    for (std::size_t c = 0; c < t.headers.size(); ++c) {
        EXPECT_EQ(wb.cells.at({0, static_cast<int>(c)}), t.headers[c]);
    }
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        for (std::size_t c = 0; c < t.headers.size(); ++c) {
            ASSERT_EQ(wb.cells.at({static_cast<int>(r) + 1, static_cast<int>(c)}),
                      crlfToLf(t.rows[r][c]))
                << "row " << r << " column " << c;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// file names

struct NameCase {
    const char* chosen;
    Format format;
    const char* written;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << '"' << c.chosen << '"';
}

class ExportFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ExportFileName, AppendsTheExtensionUnlessTheNameEndsInItInAnyCase) {
    EXPECT_EQ(exportFileName(GetParam().chosen, GetParam().format), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExportFileName,
    ::testing::Values(NameCase{"Erroresreplica", Format::Csv, "Erroresreplica.csv"},
                      NameCase{"/tmp/lista.csv", Format::Csv, "/tmp/lista.csv"},
                      NameCase{"LISTA.CSV", Format::Csv, "LISTA.CSV"},
                      NameCase{"lista.cSv", Format::Csv, "lista.cSv"},
                      NameCase{"lista.txt", Format::Csv, "lista.txt.csv"},
                      // only the last three characters are compared
                      NameCase{"listacsv", Format::Csv, "listacsv"},
                      NameCase{"lista.html", Format::Html, "lista.html.htm"},
                      NameCase{"Pendientesreplica.XLS", Format::Xls, "Pendientesreplica.XLS"},
                      NameCase{"libro.xlsx", Format::Xls, "libro.xlsx.xls"},
                      NameCase{"a.Rtf", Format::Rtf, "a.Rtf"}, NameCase{"", Format::Text, ".txt"},
                      NameCase{"tx", Format::Text, "tx.txt"}));

// ---------------------------------------------------------------------------
// formats

TEST(ExportFormats, CsvQuotesOnlyWhatNeedsItAndKeepsLineBreaksInsideQuotes) {
    EXPECT_EQ(toCsv(trickyTable()),
              "\xEF\xBB\xBF"
              "Tipo doc,Código,Mensaje de error\r\n"
              "FV,\"Dice \"\"hola\"\", adiós\",\"línea 1\r\nlínea 2\"\r\n"
              ",{a}\\b,<b>&amp;</b> 'x'\r\n"
              "ÑANDÚ €,\" espacio\",tab\taquí\r\n");
}

TEST(ExportFormats, TextKeepsEveryRowOnOneLineWithAlignedColumns) {
    Table t;
    t.headers = {"A", "Código"};
    t.rows = {{"ñandú", "x\r\ny"}, {"b", ""}};
    // Widths count characters, not bytes: "ñandú" is 5 wide.
    EXPECT_EQ(toText(t),
              "A      Código\r\n"
              "ñandú  x y\r\n"
              "b\r\n");
}

TEST(ExportFormats, HtmlEscapesMarkupAndShowsLineBreaks) {
    const std::string html = toHtml(trickyTable());
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("<title>Lista &lt;de&gt; eventos</title>"), std::string::npos);
    EXPECT_NE(html.find("<tr><th>Tipo doc</th><th>Código</th><th>Mensaje de error</th></tr>"),
              std::string::npos);
    EXPECT_NE(html.find("<td>Dice &quot;hola&quot;, adiós</td><td>línea 1<br>línea 2</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td>&lt;b&gt;&amp;amp;&lt;/b&gt; &#39;x&#39;</td>"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
}

// A long message once made the table 26.6 cm wide, cut by a word processor:
// the columns now fit the page, the short ones keep their width.
TEST(ExportFormats, RtfTablesFitThePrintedPage) {
    Table t;
    t.headers = {"Tipo doc", "Pref", "Número", "Código", "Servidor", "Fecha",
                 "Hora",     "Op",   "Prefd",  "PtVt",   "Origen",   "Mensaje de error"};
    t.rows.push_back({"FACTURA DE VENTA", "FV", "00001234", "CODIGO-LARGO-DE-ARTICULO-123", "002",
                      "2026-05-01", "08:00:00", "I", "", "12", "Descarga", std::string(400, 'm')});
    const std::string rtf = toRtf(t);
    std::vector<int> edges;
    for (std::size_t at = rtf.find("\\cellx"); at != std::string::npos && edges.size() < 12;
         at = rtf.find("\\cellx", at + 1)) {
        edges.push_back(std::stoi(rtf.substr(at + 6)));
    }
    ASSERT_EQ(edges.size(), 12u);
    EXPECT_LE(edges.back(), kRtfTableWidth);
    EXPECT_NE(rtf.find("\\landscape"), std::string::npos);
    // "Op" (one letter, title two) keeps the width of four characters.
    EXPECT_EQ(edges[7] - edges[6], 4 * 110 + 140);
    // The message takes what is left, as much as any other column.
    for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
        EXPECT_GE(edges[11] - edges[10], edges[c] - (c ? edges[c - 1] : 0)) << c;
    }
    EXPECT_EQ(edges.back(), kRtfTableWidth);
}

TEST(ExportFormats, RtfEscapesControlWordsAndWritesNonAsciiAsUnicode) {
    const std::string rtf = toRtf(trickyTable());
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(rtf.back(), '\n');
    // The file is 7-bit: every accent is a \u escape.
    for (const char c : rtf) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
    }
    EXPECT_NE(rtf.find("{\\b C\\u243?digo}\\cell"), std::string::npos);
    EXPECT_NE(rtf.find(" Dice \"hola\", adi\\u243?s\\cell"), std::string::npos);
    EXPECT_NE(rtf.find(" l\\u237?nea 1\\line l\\u237?nea 2\\cell"), std::string::npos);
    EXPECT_NE(rtf.find(" \\{a\\}\\\\b\\cell"), std::string::npos);
    EXPECT_NE(rtf.find("\\u8364?"), std::string::npos);  // the euro sign
    EXPECT_NE(rtf.find(" tab\\tab aqu\\u237?\\cell"), std::string::npos);
    // Braces balance, so a reader finds the end of the document.
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}') {
            --depth;
            ASSERT_GE(depth, 0);
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(ExportFormats, ClipboardTextIsTabSeparatedWithQuotedSpecialCells) {
    EXPECT_EQ(toClipboardText({{"a", "b c"}, {"x\ty", "di \"no\""}, {"1\n2", ""}}),
              "a\tb c\n\"x\ty\"\t\"di \"\"no\"\"\"\n\"1\n2\"\t\n");
}

// ---------------------------------------------------------------------------
// workbook

TEST(ExportWorkbook, HoldsTheSameCellsInAGenuineBiff8CompoundFile) {
    const Table t = trickyTable();
    const std::string xls = toXls(t);
    EXPECT_EQ(xls.size() % 512, 0u);
    expectSameCells(t, readWorkbook(xls));
}

TEST(ExportWorkbook, LongStringsAndManyRowsSpanContinueRecordsAndExtraFatSectors) {
    Table t;
    t.headers = {"Número", "Mensaje de error"};
    // Error texts up to 2048 characters with accents, far more than one
    // 8224-byte record holds, and a stream past 7 MB, which needs FAT
    // sectors beyond the 109 the header lists.
    for (int i = 0; i < 2200; ++i) {
        std::string msg = std::to_string(i) + " ";
        while (msg.size() < static_cast<std::size_t>(1500 + i % 600)) {
            msg += "violación de llave ";
        }
        t.rows.push_back({std::to_string(i), msg});
    }
    t.rows.push_back({"", ""});
    const std::string xls = toXls(t);
    ASSERT_GT(xls.size(), std::size_t{109} * 128 * 512);
    expectSameCells(t, readWorkbook(xls));
}

TEST(ExportWorkbook, RefusesMoreRowsThanASheetHoldsInsteadOfCuttingThem) {
    Table t;
    t.headers = {"A"};
    t.rows.assign(65535, {"x"});
    EXPECT_NO_THROW(toXls(t));
    t.rows.push_back({"y"});
    EXPECT_THROW(toXls(t), std::length_error);
}

TEST(ExportWorkbook, OpensInTheSpreadsheetWithTheSameCells) {
    if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no spreadsheet program installed";
    }
    test::TempDir dir;
    Table t = trickyTable();
    const std::string path = dir.file("lista.xls");
    std::ofstream(path, std::ios::binary) << toXls(t);
    const std::string cmd = "cd " + dir.path() + " && HOME=" + dir.path() +
                            " soffice --headless --convert-to "
                            "'csv:Text - txt - csv (StarCalc):44,34,76' lista.xls >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // The spreadsheet writes its own CSV: same quoting rules, LF inside cells.
    std::string expected =
        "Tipo doc,Código,Mensaje de error\n"
        "FV,\"Dice \"\"hola\"\", adiós\",\"línea 1\nlínea 2\"\n"
        ",{a}\\b,<b>&amp;</b> 'x'\n"
        "ÑANDÚ €, espacio,tab\taquí\n";
    EXPECT_EQ(test::slurp(dir.file("lista.csv")), expected);
}
