#include "screens/export.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <stdexcept>

namespace replica::exporting {

namespace {

// ---------------------------------------------------------------------------
// UTF-8

// The code points of a UTF-8 text. A byte that does not start a valid
// sequence is taken as the Latin-1 character of that value, so a text that
// is not UTF-8 still exports every byte as some character.
std::vector<char32_t> codePoints(const std::string& s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            out.push_back(c);
            ++i;
            continue;
        }
        bool valid = true;
        for (int k = 1; valid && k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= s.size()) {
                valid = false;
                break;
            }
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(c);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
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

std::vector<std::uint16_t> utf16(const std::string& s) {
    std::vector<std::uint16_t> out;
    for (char32_t cp : codePoints(s)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<std::uint16_t>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    return out;
}

// CR LF and lone CR become LF: one line-break convention inside cells.
std::string normalizeBreaks(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::vector<std::string>> allRows(const Table& t) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(t.rows.size() + 1);
    rows.push_back(t.headers);
    rows.insert(rows.end(), t.rows.begin(), t.rows.end());
    return rows;
}

std::size_t columnCount(const Table& t) {
    std::size_t n = t.headers.size();
    for (const auto& r : t.rows) {
        n = std::max(n, r.size());
    }
    return n;
}

const std::string& cell(const std::vector<std::string>& row, std::size_t c) {
    static const std::string kEmpty;
    return c < row.size() ? row[c] : kEmpty;
}

// ---------------------------------------------------------------------------
// little-endian byte writing

void put8(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
}
void put16(std::string& out, unsigned v) {
    put8(out, v);
    put8(out, v >> 8);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

}  // namespace

const FileType& fileType(Format format) {
    for (const FileType& t : kFileTypes) {
        if (t.format == format) {
            return t;
        }
    }
    throw std::invalid_argument("unknown export format");
}

std::string exportFileName(const std::string& chosen, Format format) {
    const std::string ext = fileType(format).extension;
    if (chosen.size() >= ext.size()) {
        bool same = true;
        const std::size_t from = chosen.size() - ext.size();
        for (std::size_t i = 0; i < ext.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(chosen[from + i])) != ext[i]) {
                same = false;
                break;
            }
        }
        if (same) {
            return chosen;
        }
    }
    return chosen + "." + ext;
}

// ---------------------------------------------------------------------------
// plain text

std::string toText(const Table& table) {
    const auto rows = allRows(table);
    const std::size_t cols = columnCount(table);
    // One line per row: breaks and tabs inside a cell become blanks.
    std::vector<std::vector<std::vector<char32_t>>> cells(rows.size());
    std::vector<std::size_t> width(cols, 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            std::vector<char32_t> cps = codePoints(normalizeBreaks(cell(rows[r], c)));
            for (char32_t& cp : cps) {
                if (cp == '\n' || cp == '\t') {
                    cp = ' ';
                }
            }
            width[c] = std::max(width[c], cps.size());
            cells[r].push_back(std::move(cps));
        }
    }
    std::string out;
    for (const auto& row : cells) {
        std::string line;
        for (std::size_t c = 0; c < cols; ++c) {
            if (c > 0) {
                line += "  ";
            }
            for (char32_t cp : row[c]) {
                appendUtf8(line, cp);
            }
            if (c + 1 < cols) {
                line.append(width[c] - row[c].size(), ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\r\n";
    }
    return out;
}

// ---------------------------------------------------------------------------
// CSV

namespace {

std::string csvField(const std::string& s) {
    const bool quote = s.find_first_of(",\"\r\n") != std::string::npos ||
                       (!s.empty() && (s.front() == ' ' || s.back() == ' '));
    if (!quote) {
        return s;
    }
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

}  // namespace

std::string toCsv(const Table& table) {
    const std::size_t cols = columnCount(table);
    std::string out = "\xEF\xBB\xBF";
    for (const auto& row : allRows(table)) {
        for (std::size_t c = 0; c < cols; ++c) {
            if (c > 0) {
                out += ',';
            }
            out += csvField(cell(row, c));
        }
        out += "\r\n";
    }
    return out;
}

// ---------------------------------------------------------------------------
// HTML

namespace {

std::string htmlText(const std::string& s) {
    std::string out;
    for (char c : normalizeBreaks(s)) {
        switch (c) {
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
                out += "&#39;";
                break;
            case '\n':
                out += "<br>";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string toHtml(const Table& table) {
    const std::size_t cols = columnCount(table);
    std::string out =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
        htmlText(table.title) +
        "</title>\n</head>\n<body>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n";
    out += "<tr>";
    for (std::size_t c = 0; c < cols; ++c) {
        out += "<th>" + htmlText(cell(table.headers, c)) + "</th>";
    }
    out += "</tr>\n";
    for (const auto& row : table.rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < cols; ++c) {
            out += "<td>" + htmlText(cell(row, c)) + "</td>";
        }
        out += "</tr>\n";
    }
    out += "</table>\n</body>\n</html>\n";
    return out;
}

// ---------------------------------------------------------------------------
// RTF

namespace {

std::string rtfText(const std::string& s) {
    std::string out;
    for (std::uint16_t u : utf16(normalizeBreaks(s))) {
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == '\n') {
            out += "\\line ";
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u < 0x20) {
            // other control characters have no place in a cell
        } else if (u < 0x80) {
            out += static_cast<char>(u);
        } else {
            // \uN takes a signed 16-bit number; "?" is the fallback for
            // readers without Unicode.
            out += "\\u" + std::to_string(static_cast<std::int16_t>(u)) + "?";
        }
    }
    return out;
}

}  // namespace

std::string toRtf(const Table& table) {
    const std::size_t cols = columnCount(table);
    const auto rows = allRows(table);
    // Column widths in twips from the longest text, within sensible bounds.
    std::vector<int> right(cols);
    int x = 0;
    for (std::size_t c = 0; c < cols; ++c) {
        std::size_t len = 0;
        for (const auto& row : rows) {
            len = std::max(len, codePoints(cell(row, c)).size());
        }
        x += static_cast<int>(std::clamp<std::size_t>(len, 4, 60)) * 110 + 140;
        right[c] = x;
    }
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\n";
    out += "\\viewkind4\\uc1\\f0\\fs18\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += "\\trowd\\trgaph70\\trleft0";
        for (std::size_t c = 0; c < cols; ++c) {
            out +=
                "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\cellx" +
                std::to_string(right[c]);
        }
        out += "\n\\pard\\intbl";
        for (std::size_t c = 0; c < cols; ++c) {
            const std::string text = rtfText(cell(rows[r], c));
            out += r == 0 ? " {\\b " + text + "}\\cell" : " " + text + "\\cell";
        }
        out += "\\row\n";
    }
    out += "\\pard\\par\n}\n";
    return out;
}

// ---------------------------------------------------------------------------
// XLS: BIFF8 workbook stream

namespace {

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::size_t kMaxRows = 65536;
constexpr std::size_t kMaxCols = 256;
constexpr std::size_t kMaxCellChars = 32767;

constexpr unsigned kBof = 0x0809;
constexpr unsigned kEof = 0x000A;
constexpr unsigned kCodepage = 0x0042;
constexpr unsigned kWindow1 = 0x003D;
constexpr unsigned kFont = 0x0031;
constexpr unsigned kXf = 0x00E0;
constexpr unsigned kStyle = 0x0293;
constexpr unsigned kBoundSheet = 0x0085;
constexpr unsigned kSst = 0x00FC;
constexpr unsigned kContinue = 0x003C;
constexpr unsigned kExtSst = 0x00FF;
constexpr unsigned kDimensions = 0x0200;
constexpr unsigned kColInfo = 0x007D;
constexpr unsigned kWindow2 = 0x023E;
constexpr unsigned kLabelSst = 0x00FD;

// Cell formats written after the 15 style formats.
constexpr unsigned kXfNormal = 15;
constexpr unsigned kXfHeader = 16;
constexpr unsigned kXfWrap = 17;

void record(std::string& out, unsigned type, const std::string& data) {
    put16(out, type);
    put16(out, static_cast<unsigned>(data.size()));
    out += data;
}

std::string bof(unsigned kind) {
    std::string d;
    put16(d, 0x0600);  // BIFF8
    put16(d, kind);    // 0x0005 workbook globals, 0x0010 worksheet
    put16(d, 0x0DBB);  // build
    put16(d, 0x07CC);  // year
    put32(d, 0);       // file history
    put32(d, 0x06);    // lowest version that can read all records
    return d;
}

std::string font(bool bold) {
    std::string d;
    put16(d, 200);     // 10 points, in twips
    put16(d, 0);       // not italic, not struck out
    put16(d, 0x7FFF);  // automatic colour
    put16(d, bold ? 700 : 400);
    put16(d, 0);  // no super/subscript
    put8(d, 0);   // no underline
    put8(d, 0);   // family
    put8(d, 0);   // character set
    put8(d, 0);
    const std::string name = "Arial";
    put8(d, static_cast<unsigned>(name.size()));
    put8(d, 0);  // 8-bit characters
    d += name;
    return d;
}

std::string xf(unsigned fontIndex, bool style, unsigned alignment, unsigned usedAttributes) {
    std::string d;
    put16(d, fontIndex);
    put16(d, 0);                        // General number format
    put16(d, style ? 0xFFF5 : 0x0001);  // locked; style: parent 0xFFF
    put8(d, alignment);                 // bottom-aligned (0x20), + 0x08 to wrap
    put8(d, 0);                         // rotation
    put8(d, 0);                         // indent
    put8(d, usedAttributes);
    put32(d, 0);       // no borders
    put32(d, 0);       // border colours
    put16(d, 0x20C0);  // pattern colours: automatic
    return d;
}

// The shared string table with its CONTINUE records, and the bucket index
// (EXTSST) that points into it.
class SstWriter {
  public:
    explicit SstWriter(std::uint32_t total, std::uint32_t unique, std::size_t bucketSize)
        : m_bucketSize(bucketSize) {
        m_payloads.emplace_back();
        put32(m_payloads.back(), total);
        put32(m_payloads.back(), unique);
    }

    void add(const std::vector<std::uint16_t>& chars) {
        if (m_count % m_bucketSize == 0) {
            // The bucket's string starts where the header goes; place the
            // header first so that it is never split from its record.
            ensureRoom(chars.empty() ? 3 : 5);
            m_buckets.push_back({m_payloads.size() - 1, m_payloads.back().size()});
        } else {
            ensureRoom(chars.empty() ? 3 : 5);
        }
        ++m_count;
        put16(m_payloads.back(), static_cast<unsigned>(chars.size()));
        put8(m_payloads.back(), 0x01);  // 16-bit characters
        std::size_t i = 0;
        while (i < chars.size()) {
            std::size_t room = (kMaxRecordData - m_payloads.back().size()) / 2;
            if (room == 0) {
                // Characters split across records: the continuation repeats
                // the option flags.
                m_payloads.emplace_back();
                put8(m_payloads.back(), 0x01);
                room = (kMaxRecordData - 1) / 2;
            }
            const std::size_t n = std::min(room, chars.size() - i);
            for (std::size_t k = 0; k < n; ++k) {
                put16(m_payloads.back(), chars[i + k]);
            }
            i += n;
        }
    }

    // Appends SST, CONTINUE and EXTSST records to the stream.
    void write(std::string& stream) const {
        std::vector<std::size_t> recordPos;
        for (std::size_t p = 0; p < m_payloads.size(); ++p) {
            recordPos.push_back(stream.size());
            record(stream, p == 0 ? kSst : kContinue, m_payloads[p]);
        }
        std::string ext;
        put16(ext, static_cast<unsigned>(m_bucketSize));
        for (const auto& [payload, offset] : m_buckets) {
            put32(ext, static_cast<std::uint32_t>(recordPos[payload] + 4 + offset));
            put16(ext, static_cast<unsigned>(4 + offset));
            put16(ext, 0);
        }
        record(stream, kExtSst, ext);
    }

  private:
    void ensureRoom(std::size_t bytes) {
        if (m_payloads.back().size() + bytes > kMaxRecordData) {
            m_payloads.emplace_back();
        }
    }

    std::size_t m_bucketSize;
    std::size_t m_count = 0;
    std::vector<std::string> m_payloads;
    std::vector<std::pair<std::size_t, std::size_t>> m_buckets;  // payload, offset
};

}  // namespace

std::string toXls(const Table& table) {
    const auto rows = allRows(table);
    const std::size_t cols = columnCount(table);
    if (rows.size() > kMaxRows) {
        throw std::length_error("Una hoja de Excel admite como máximo 65536 filas");
    }
    if (cols > kMaxCols) {
        throw std::length_error("Una hoja de Excel admite como máximo 256 columnas");
    }

    // Shared strings, in order of first use.
    std::map<std::string, std::uint32_t> index;
    std::vector<std::string> unique;
    std::vector<std::vector<std::uint32_t>> cellIndex(rows.size());
    std::vector<std::size_t> widest(cols, 0);
    std::uint32_t total = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            std::string text = normalizeBreaks(cell(rows[r], c));
            widest[c] = std::max(widest[c], codePoints(text).size());
            auto [it, added] = index.emplace(text, static_cast<std::uint32_t>(unique.size()));
            if (added) {
                unique.push_back(text);
            }
            cellIndex[r].push_back(it->second);
            ++total;
        }
    }

    std::string s;
    record(s, kBof, bof(0x0005));
    {
        std::string d;
        put16(d, 1200);  // strings are UTF-16
        record(s, kCodepage, d);
    }
    {
        std::string d;
        put16(d, 0);  // window position
        put16(d, 0);
        put16(d, 0x4000);  // window size
        put16(d, 0x2000);
        put16(d, 0x0038);  // show scroll bars and sheet tabs
        put16(d, 0);       // active sheet
        put16(d, 0);       // first visible tab
        put16(d, 1);       // selected sheets
        put16(d, 0x0258);  // tab bar width ratio
        record(s, kWindow1, d);
    }
    // Font indexes 0-3 regular; index 4 is never used by BIFF, so the fifth
    // record is index 5, the bold font of the titles.
    for (int i = 0; i < 4; ++i) {
        record(s, kFont, font(false));
    }
    record(s, kFont, font(true));
    record(s, kXf, xf(0, true, 0x20, 0x00));
    for (int i = 1; i < 15; ++i) {
        record(s, kXf, xf(0, true, 0x20, 0xF4));
    }
    record(s, kXf, xf(0, false, 0x20, 0x00));  // 15: cells
    record(s, kXf, xf(5, false, 0x20, 0x08));  // 16: titles, bold
    record(s, kXf, xf(0, false, 0x28, 0x10));  // 17: cells with line breaks
    {
        std::string d;
        put16(d, 0x8000);  // built-in style of XF 0
        put8(d, 0);        // "Normal"
        put8(d, 0xFF);
        record(s, kStyle, d);
    }
    const std::size_t sheetPosAt = s.size() + 4;
    {
        std::string d;
        put32(d, 0);  // position of the sheet's BOF, set below
        put8(d, 0);   // visible
        put8(d, 0);   // worksheet
        const std::string name = "Hoja1";
        put8(d, static_cast<unsigned>(name.size()));
        put8(d, 0);
        d += name;
        record(s, kBoundSheet, d);
    }
    const std::size_t bucket = std::max<std::size_t>(8, unique.size() / 128 + 1);
    SstWriter sst(total, static_cast<std::uint32_t>(unique.size()), bucket);
    for (const std::string& text : unique) {
        auto chars = utf16(text);
        if (chars.size() > kMaxCellChars) {
            chars.resize(kMaxCellChars);
        }
        sst.add(chars);
    }
    sst.write(s);
    record(s, kEof, {});

    set32(s, sheetPosAt, static_cast<std::uint32_t>(s.size()));
    record(s, kBof, bof(0x0010));
    {
        std::string d;
        put32(d, 0);
        put32(d, static_cast<std::uint32_t>(rows.size()));
        put16(d, 0);
        put16(d, static_cast<unsigned>(cols));
        put16(d, 0);
        record(s, kDimensions, d);
    }
    for (std::size_t c = 0; c < cols; ++c) {
        std::string d;
        put16(d, static_cast<unsigned>(c));
        put16(d, static_cast<unsigned>(c));
        put16(d, static_cast<unsigned>((std::clamp<std::size_t>(widest[c], 4, 60) + 2) * 256));
        put16(d, kXfNormal);
        put16(d, 0);
        put16(d, 0);
        record(s, kColInfo, d);
    }
    {
        std::string d;
        put16(d, 0x06B6);  // gridlines, headings, zeros, selected, normal view
        put16(d, 0);       // top row
        put16(d, 0);       // left column
        put32(d, 0x40);    // gridline colour
        put16(d, 0);
        put16(d, 0);
        put32(d, 0);
        record(s, kWindow2, d);
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            const std::uint32_t i = cellIndex[r][c];
            unsigned format = r == 0 ? kXfHeader : kXfNormal;
            if (r > 0 && unique[i].find('\n') != std::string::npos) {
                format = kXfWrap;
            }
            std::string d;
            put16(d, static_cast<unsigned>(r));
            put16(d, static_cast<unsigned>(c));
            put16(d, format);
            put32(d, i);
            record(s, kLabelSst, d);
        }
    }
    record(s, kEof, {});
    return compoundFile("Workbook", std::move(s));
}

// ---------------------------------------------------------------------------
// OLE2 compound file

std::string compoundFile(const std::string& streamName, std::string stream) {
    constexpr std::uint32_t kFree = 0xFFFFFFFF;
    constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
    constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
    constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
    constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
    constexpr std::size_t kSector = 512;
    constexpr std::size_t kPerSector = kSector / 4;
    constexpr std::size_t kHeaderDifat = 109;

    // At least the mini-stream cutoff, and whole sectors.
    std::size_t size = std::max<std::size_t>(stream.size(), 4096);
    size = (size + kSector - 1) / kSector * kSector;
    stream.resize(size, '\0');

    const std::size_t data = size / kSector;
    const std::size_t dir = 1;
    std::size_t fat = 1;
    std::size_t difat = 0;
    for (;;) {
        const std::size_t needFat = (data + dir + fat + difat + kPerSector - 1) / kPerSector;
        const std::size_t needDifat =
            needFat > kHeaderDifat ? (needFat - kHeaderDifat + kPerSector - 2) / (kPerSector - 1)
                                   : 0;
        if (needFat == fat && needDifat == difat) {
            break;
        }
        fat = needFat;
        difat = needDifat;
    }
    const std::size_t firstFat = data;
    const std::size_t firstDifat = firstFat + fat;
    const std::size_t dirSector = firstDifat + difat;
    const std::size_t sectors = dirSector + dir;

    std::vector<std::uint32_t> table(fat * kPerSector, kFree);
    for (std::size_t i = 0; i < data; ++i) {
        table[i] = i + 1 < data ? static_cast<std::uint32_t>(i + 1) : kEndOfChain;
    }
    for (std::size_t i = 0; i < fat; ++i) {
        table[firstFat + i] = kFatSect;
    }
    for (std::size_t i = 0; i < difat; ++i) {
        table[firstDifat + i] = kDifSect;
    }
    table[dirSector] = kEndOfChain;

    std::string out;
    out.reserve((sectors + 1) * kSector);
    // Header.
    out += std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    out.append(16, '\0');  // class id
    put16(out, 0x003E);
    put16(out, 0x0003);  // version 3: 512-byte sectors
    put16(out, 0xFFFE);  // little-endian
    put16(out, 9);       // sector size 2^9
    put16(out, 6);       // mini sector size 2^6
    out.append(6, '\0');
    put32(out, 0);  // directory sectors (always 0 in version 3)
    put32(out, static_cast<std::uint32_t>(fat));
    put32(out, static_cast<std::uint32_t>(dirSector));
    put32(out, 0);
    put32(out, 4096);  // mini stream cutoff
    put32(out, kEndOfChain);
    put32(out, 0);
    put32(out, difat ? static_cast<std::uint32_t>(firstDifat) : kEndOfChain);
    put32(out, static_cast<std::uint32_t>(difat));
    for (std::size_t i = 0; i < kHeaderDifat; ++i) {
        put32(out, i < fat ? static_cast<std::uint32_t>(firstFat + i) : kFree);
    }
    // Stream sectors.
    out += stream;
    // FAT.
    for (std::uint32_t v : table) {
        put32(out, v);
    }
    // DIFAT sectors: the FAT sectors beyond the 109 the header lists.
    for (std::size_t d = 0; d < difat; ++d) {
        for (std::size_t k = 0; k < kPerSector - 1; ++k) {
            const std::size_t f = kHeaderDifat + d * (kPerSector - 1) + k;
            put32(out, f < fat ? static_cast<std::uint32_t>(firstFat + f) : kFree);
        }
        put32(out, d + 1 < difat ? static_cast<std::uint32_t>(firstDifat + d + 1) : kEndOfChain);
    }
    // Directory: root storage, the stream, two unused entries.
    auto entry = [&](const std::string& name, unsigned type, std::uint32_t child,
                     std::uint32_t start, std::uint32_t length) {
        std::string e;
        const auto units = utf16(name);
        for (std::size_t i = 0; i < 32; ++i) {
            put16(e, i < units.size() && i < 31 ? units[i] : 0);
        }
        put16(e, name.empty()
                     ? 0
                     : static_cast<unsigned>((std::min<std::size_t>(units.size(), 31) + 1) * 2));
        put8(e, type);
        put8(e, name.empty() ? 0 : 1);  // black
        put32(e, kNoStream);
        put32(e, kNoStream);
        put32(e, child);
        e.append(16, '\0');  // class id
        put32(e, 0);         // state
        e.append(16, '\0');  // creation and modification times
        put32(e, start);
        put32(e, length);
        put32(e, 0);
        out += e;
    };
    entry("Root Entry", 5, 1, kEndOfChain, 0);
    entry(streamName, 2, kNoStream, 0, static_cast<std::uint32_t>(size));
    entry("", 0, kNoStream, 0, 0);
    entry("", 0, kNoStream, 0, 0);
    return out;
}

std::string exportBytes(const Table& table, Format format) {
    switch (format) {
        case Format::Text:
            return toText(table);
        case Format::Csv:
            return toCsv(table);
        case Format::Html:
            return toHtml(table);
        case Format::Rtf:
            return toRtf(table);
        case Format::Xls:
            return toXls(table);
    }
    throw std::invalid_argument("unknown export format");
}

std::string toClipboardText(const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) {
                out += '\t';
            }
            const std::string& s = row[c];
            if (s.find_first_of("\t\r\n\"") == std::string::npos) {
                out += s;
                continue;
            }
            out += '"';
            for (char ch : s) {
                out += ch;
                if (ch == '"') {
                    out += '"';
                }
            }
            out += '"';
        }
        out += '\n';
    }
    return out;
}

}  // namespace replica::exporting
