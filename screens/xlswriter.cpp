#include "screens/xlswriter.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <vector>

#include "screens/export.h"
#include "screens/exporttext.h"

namespace replica::exporting {

namespace {

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

// ---------------------------------------------------------------------------
// BIFF8 workbook stream

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
            m_buckets.emplace_back(m_payloads.size() - 1, m_payloads.back().size());
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

// Every text of the sheet once, in order of first use, and which of them
// each cell shows.
struct SharedStrings {
    std::vector<std::string> unique;
    std::vector<std::vector<std::uint32_t>> cellIndex;  // by row, then column
    std::vector<std::size_t> widest;                    // characters, by column
    std::uint32_t total = 0;                            // the cells
};

SharedStrings sharedStrings(const std::vector<std::vector<std::string>>& rows, std::size_t cols) {
    SharedStrings strings;
    strings.cellIndex.resize(rows.size());
    strings.widest.assign(cols, 0);
    std::map<std::string, std::uint32_t> index;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            std::string text = normalizeBreaks(cell(rows[r], c));
            strings.widest[c] = std::max(strings.widest[c], codePoints(text).size());
            auto [it, added] =
                index.emplace(text, static_cast<std::uint32_t>(strings.unique.size()));
            if (added) {
                strings.unique.push_back(text);
            }
            strings.cellIndex[r].push_back(it->second);
            ++strings.total;
        }
    }
    return strings;
}

// The globals before the sheet's entry: code page, window, fonts, cell
// formats and the style.
void writeSettings(std::string& s) {
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
}

// The sheet's entry; returns where the position of the sheet's BOF goes,
// known only once the globals are written.
std::size_t writeSheetEntry(std::string& s) {
    const std::size_t sheetPosAt = s.size() + 4;
    std::string d;
    put32(d, 0);  // position of the sheet's BOF
    put8(d, 0);   // visible
    put8(d, 0);   // worksheet
    const std::string name = "Hoja1";
    put8(d, static_cast<unsigned>(name.size()));
    put8(d, 0);
    d += name;
    record(s, kBoundSheet, d);
    return sheetPosAt;
}

void writeSharedStrings(std::string& s, const SharedStrings& strings) {
    const std::size_t bucket = std::max<std::size_t>(8, strings.unique.size() / 128 + 1);
    SstWriter sst(strings.total, static_cast<std::uint32_t>(strings.unique.size()), bucket);
    for (const std::string& text : strings.unique) {
        auto chars = utf16(text);
        if (chars.size() > kMaxCellChars) {
            chars.resize(kMaxCellChars);
        }
        sst.add(chars);
    }
    sst.write(s);
}

// Its dimensions, the width of each column and the sheet's window.
void writeSheetSettings(std::string& s, std::size_t rows, const SharedStrings& strings) {
    const std::size_t cols = strings.widest.size();
    {
        std::string d;
        put32(d, 0);
        put32(d, static_cast<std::uint32_t>(rows));
        put16(d, 0);
        put16(d, static_cast<unsigned>(cols));
        put16(d, 0);
        record(s, kDimensions, d);
    }
    for (std::size_t c = 0; c < cols; ++c) {
        std::string d;
        put16(d, static_cast<unsigned>(c));
        put16(d, static_cast<unsigned>(c));
        put16(d,
              static_cast<unsigned>((std::clamp<std::size_t>(strings.widest[c], 4, 60) + 2) * 256));
        put16(d, kXfNormal);
        put16(d, 0);
        put16(d, 0);
        record(s, kColInfo, d);
    }
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

// The titles in bold; a cell with a line break wraps.
void writeCells(std::string& s, const SharedStrings& strings) {
    for (std::size_t r = 0; r < strings.cellIndex.size(); ++r) {
        for (std::size_t c = 0; c < strings.cellIndex[r].size(); ++c) {
            const std::uint32_t i = strings.cellIndex[r][c];
            unsigned format = r == 0 ? kXfHeader : kXfNormal;
            if (r > 0 && strings.unique[i].find('\n') != std::string::npos) {
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
}

// ---------------------------------------------------------------------------
// OLE2 compound file

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kSector = 512;
constexpr std::size_t kPerSector = kSector / 4;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kMiniStreamCutoff = 4096;

// The sectors of the file after its header: the stream's, then the FAT,
// then the DIFAT (the FAT sectors beyond the 109 the header lists), then
// the one directory sector.
struct Sectors {
    std::size_t data = 0;
    std::size_t fat = 1;
    std::size_t difat = 0;
    std::size_t firstFat() const { return data; }
    std::size_t firstDifat() const { return firstFat() + fat; }
    std::size_t directory() const { return firstDifat() + difat; }
    std::size_t count() const { return directory() + 1; }
};

// The FAT lists every sector, its own included, and past 109 of them the
// DIFAT sectors too: both counts grow until they cover themselves.
Sectors sectorsFor(std::size_t streamSize) {
    Sectors s;
    s.data = streamSize / kSector;
    for (;;) {
        const std::size_t needFat = (s.data + 1 + s.fat + s.difat + kPerSector - 1) / kPerSector;
        const std::size_t needDifat =
            needFat > kHeaderDifat ? (needFat - kHeaderDifat + kPerSector - 2) / (kPerSector - 1)
                                   : 0;
        if (needFat == s.fat && needDifat == s.difat) {
            return s;
        }
        s.fat = needFat;
        s.difat = needDifat;
    }
}

std::vector<std::uint32_t> fatOf(const Sectors& s) {
    std::vector<std::uint32_t> table(s.fat * kPerSector, kFree);
    for (std::size_t i = 0; i < s.data; ++i) {
        table[i] = i + 1 < s.data ? static_cast<std::uint32_t>(i + 1) : kEndOfChain;
    }
    for (std::size_t i = 0; i < s.fat; ++i) {
        table[s.firstFat() + i] = kFatSect;
    }
    for (std::size_t i = 0; i < s.difat; ++i) {
        table[s.firstDifat() + i] = kDifSect;
    }
    table[s.directory()] = kEndOfChain;
    return table;
}

void writeHeader(std::string& out, const Sectors& s) {
    out += std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    out.append(16, '\0');  // class id
    put16(out, 0x003E);
    put16(out, 0x0003);  // version 3: 512-byte sectors
    put16(out, 0xFFFE);  // little-endian
    put16(out, 9);       // sector size 2^9
    put16(out, 6);       // mini sector size 2^6
    out.append(6, '\0');
    put32(out, 0);  // directory sectors (always 0 in version 3)
    put32(out, static_cast<std::uint32_t>(s.fat));
    put32(out, static_cast<std::uint32_t>(s.directory()));
    put32(out, 0);
    put32(out, kMiniStreamCutoff);
    put32(out, kEndOfChain);
    put32(out, 0);
    put32(out, s.difat ? static_cast<std::uint32_t>(s.firstDifat()) : kEndOfChain);
    put32(out, static_cast<std::uint32_t>(s.difat));
    for (std::size_t i = 0; i < kHeaderDifat; ++i) {
        put32(out, i < s.fat ? static_cast<std::uint32_t>(s.firstFat() + i) : kFree);
    }
}

// Each DIFAT sector lists the FAT sectors after those of the header and ends
// with the next DIFAT sector.
void writeDifat(std::string& out, const Sectors& s) {
    for (std::size_t d = 0; d < s.difat; ++d) {
        for (std::size_t k = 0; k < kPerSector - 1; ++k) {
            const std::size_t f = kHeaderDifat + d * (kPerSector - 1) + k;
            put32(out, f < s.fat ? static_cast<std::uint32_t>(s.firstFat() + f) : kFree);
        }
        put32(out,
              d + 1 < s.difat ? static_cast<std::uint32_t>(s.firstDifat() + d + 1) : kEndOfChain);
    }
}

// One entry of the directory; an empty name is an unused entry.
void writeEntry(std::string& out, const std::string& name, unsigned type, std::uint32_t child,
                std::uint32_t start, std::uint32_t length) {
    const auto units = utf16(name);
    for (std::size_t i = 0; i < 32; ++i) {
        put16(out, i < units.size() && i < 31 ? units[i] : 0);
    }
    put16(out, name.empty()
                   ? 0
                   : static_cast<unsigned>((std::min<std::size_t>(units.size(), 31) + 1) * 2));
    put8(out, type);
    put8(out, name.empty() ? 0 : 1);  // black
    put32(out, kNoStream);
    put32(out, kNoStream);
    put32(out, child);
    out.append(16, '\0');  // class id
    put32(out, 0);         // state
    out.append(16, '\0');  // creation and modification times
    put32(out, start);
    put32(out, length);
    put32(out, 0);
}

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
    const SharedStrings strings = sharedStrings(rows, cols);

    std::string s;
    writeSettings(s);
    const std::size_t sheetPosAt = writeSheetEntry(s);
    writeSharedStrings(s, strings);
    record(s, kEof, {});

    set32(s, sheetPosAt, static_cast<std::uint32_t>(s.size()));
    record(s, kBof, bof(0x0010));
    writeSheetSettings(s, rows.size(), strings);
    writeCells(s, strings);
    record(s, kEof, {});
    return compoundFile("Workbook", std::move(s));
}

std::string compoundFile(const std::string& streamName, std::string stream) {
    // At least the mini-stream cutoff, and whole sectors.
    std::size_t size = std::max<std::size_t>(stream.size(), kMiniStreamCutoff);
    size = (size + kSector - 1) / kSector * kSector;
    stream.resize(size, '\0');
    const Sectors sectors = sectorsFor(size);

    std::string out;
    out.reserve((sectors.count() + 1) * kSector);
    writeHeader(out, sectors);
    out += stream;
    for (std::uint32_t v : fatOf(sectors)) {
        put32(out, v);
    }
    writeDifat(out, sectors);
    // Directory: root storage, the stream, two unused entries.
    writeEntry(out, "Root Entry", 5, 1, kEndOfChain, 0);
    writeEntry(out, streamName, 2, kNoStream, 0, static_cast<std::uint32_t>(size));
    writeEntry(out, "", 0, kNoStream, 0, 0);
    writeEntry(out, "", 0, kNoStream, 0, 0);
    return out;
}

}  // namespace replica::exporting
