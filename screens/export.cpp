#include "screens/export.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>

#include "screens/exporttext.h"

namespace replica::exporting {

// ---------------------------------------------------------------------------
// UTF-8

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

namespace {

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

}  // namespace

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

// ---------------------------------------------------------------------------
// the table's cells

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
// file types

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

// The widths (twips) of columns of natural width wanted, within total: a
// column narrower than its share keeps its width, the wider ones share what
// is left (their text wraps in the cell).
std::vector<int> fitWidths(const std::vector<int>& wanted, int total) {
    std::vector<std::size_t> order(wanted.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return wanted[a] < wanted[b]; });
    std::vector<int> widths(wanted.size());
    int left = total;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int share = left / static_cast<int>(order.size() - k);
        widths[order[k]] = std::min(wanted[order[k]], share);
        left -= widths[order[k]];
    }
    return widths;
}

std::string toRtf(const Table& table) {
    const std::size_t cols = columnCount(table);
    const auto rows = allRows(table);
    // Column widths in twips from the longest text, within sensible bounds,
    // and all of them within the printable width of a landscape page.
    std::vector<int> wanted(cols);
    for (std::size_t c = 0; c < cols; ++c) {
        std::size_t len = 0;
        for (const auto& row : rows) {
            len = std::max(len, codePoints(cell(row, c)).size());
        }
        wanted[c] = static_cast<int>(std::clamp<std::size_t>(len, 4, 60)) * 110 + 140;
    }
    const std::vector<int> widths = fitWidths(wanted, kRtfTableWidth);
    std::vector<int> right(cols);
    int x = 0;
    for (std::size_t c = 0; c < cols; ++c) {
        x += widths[c];
        right[c] = x;
    }
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\n";
    // A4 landscape with half-inch margins; the table is no wider than what
    // a Letter landscape page leaves, so either paper prints it whole.
    out += "\\paperw16838\\paperh11906\\landscape\\margl720\\margr720\\margt720\\margb720\n";
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
