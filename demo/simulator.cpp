#include "demo/simulator.h"

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "demo/activity.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/db/text.h"
#include "engine/sql.h"
#include "erp/documents.h"

namespace replica::demo {

namespace {

// What the simulator adds to the ERP's description of a document
// (erp/documents.h): how its numbers, events and rows are shaped.
struct DocumentShape {
    int type = 0;
    int digits = 6;  // numbers are the id with leading zeros to this width
    // RPEV_PREFDEST: the receiving company files the copy under the prefix of
    // this type (a movement of that type); 0: under the document's own prefix.
    int recordedAs = 0;
    // Filed under the prefix and number of the document it was generated from,
    // so its events may carry any document prefix.
    bool sourcePrefix = false;
    HeaderShape shapeHeader = nullptr;
    LineShape shapeLine = nullptr;
    // The letter of the event a deletion writes.
    const char* deleteLetter = "D";
};

// A document family as the ERP writes it: its header and lines as the ERP's
// document table names them (upper-cased), and its shape.
struct DocumentFamily {
    int type = 0;
    std::string header;
    std::string prefix;      // prefix column; empty: the family has none
    std::string number;      // number column; empty: the family has none
    std::string generator;   // id generator view; empty: next id after the largest
    std::string codeColumn;  // RPEV_CODIGO is this header column; empty: none
    std::vector<std::string> details;
    int digits = 6;
    int recordedAs = 0;
    bool sourcePrefix = false;
    HeaderShape shapeHeader = nullptr;
    LineShape shapeLine = nullptr;
    const char* deleteLetter = "D";
};

// A master record family: one table, the event names it by its first key
// column unless its event hook says otherwise.
struct MasterShape {
    int type = 0;
    RowShape shape = nullptr;
    MasterEventShape event = nullptr;
    // The column an update changes; nullptr: the first one outside the key.
    const char* changed = nullptr;
};

struct MasterFamily {
    int type = 0;
    std::string table;  // as the ERP's document table names it, upper-cased
    RowShape shape = nullptr;
    MasterEventShape event = nullptr;
    const char* changed = nullptr;
};

std::string upperName(const char* name) {
    return name ? db::upperCase(name) : std::string();
}

const erp::Document& erpDocument(int type) {
    const erp::Document* d = erp::document(type);
    if (!d) {
        throw std::logic_error("the ERP has no document of type " + std::to_string(type));
    }
    return *d;
}

DocumentFamily documentFamily(const DocumentShape& shape) {
    const erp::Document& d = erpDocument(shape.type);
    DocumentFamily f{.type = shape.type,
                     .header = upperName(d.table),
                     .prefix = upperName(d.prefixColumn),
                     .number = upperName(d.numberColumn),
                     .generator = d.generator ? d.generator : "",
                     .codeColumn = upperName(d.codeColumn),
                     .details = {},
                     .digits = shape.digits,
                     .recordedAs = shape.recordedAs,
                     .sourcePrefix = shape.sourcePrefix,
                     .shapeHeader = shape.shapeHeader,
                     .shapeLine = shape.shapeLine,
                     .deleteLetter = shape.deleteLetter};
    for (const char* table : d.details) {
        f.details.push_back(upperName(table));
    }
    return f;
}

MasterFamily masterFamily(const MasterShape& shape) {
    return MasterFamily{.type = shape.type,
                        .table = upperName(erpDocument(shape.type).table),
                        .shape = shape.shape,
                        .event = shape.event,
                        .changed = shape.changed};
}

// Written in this order, round after round: a family mostly comes after the
// ones it refers to, so that its references find a document from the first
// round on (advances and cash documents refer to each other, and meet from
// the second round); the voucher, which may come from any document, is last.
const std::vector<DocumentFamily>& documentFamilies() {
    static const std::vector<DocumentShape> kShapes = {
        {.type = 11},
        {.type = 12},
        {.type = 13, .recordedAs = 11},
        {.type = 14},
        {.type = 15},
        {.type = 16},
        {.type = 17},
        {.type = 18},
        {.type = 21, .recordedAs = 11},
        {.type = 22, .recordedAs = 11},
        {.type = 24, .recordedAs = 12, .shapeHeader = purchaseReturnHeader},
        // Sales invoices carry 8 digits: a sales return names its invoice by
        // prefix and the last 8 characters.
        {.type = 31, .digits = 8, .recordedAs = 12, .shapeLine = salesInvoiceLine},
        {.type = 32},
        {.type = 33, .shapeHeader = salesReturnHeader},
        {.type = 34},
        {.type = 35},
        {.type = 41},
        {.type = 42},
        {.type = 45, .shapeHeader = customerAdvanceHeader},
        {.type = 43, .shapeLine = applicationLine},
        {.type = 51},
        {.type = 52},
        {.type = 55, .shapeHeader = supplierAdvanceHeader},
        {.type = 53, .shapeLine = applicationLine},
        {.type = 61, .shapeLine = cashReceiptLine},
        {.type = 62, .shapeLine = disbursementLine},
        {.type = 63},
        {.type = 64},
        {.type = 65},
        {.type = 66},
        {.type = 71},
        {.type = 72},
        {.type = 73},
        {.type = 74},
        {.type = 75},
        {.type = 76},
        {.type = 77},
        {.type = 81},
        {.type = 94, .shapeLine = payrollReceivableLine, .deleteLetter = "A"},
        {.type = 193},
        {.type = 1, .sourcePrefix = true, .shapeHeader = voucherHeader}};
    static const std::vector<DocumentFamily> k = [] {
        std::vector<DocumentFamily> families;
        families.reserve(kShapes.size());
        for (const DocumentShape& shape : kShapes) {
            families.push_back(documentFamily(shape));
        }
        return families;
    }();
    return k;
}

const std::vector<MasterFamily>& masterFamilies() {
    static const std::vector<MasterShape> kShapes = {
        {
            .type = 96,
        },
        {
            .type = 100,
        },
        {.type = 101, .shape = itemRow},
        {
            .type = 102,
        },
        {
            .type = 103,
        },
        {
            .type = 104,
        },
        {
            .type = 105,
        },
        {
            .type = 106,
        },
        {.type = 111, .shape = interfaceRow},
        {.type = 112, .shape = interfaceRow},
        {.type = 113, .shape = interfaceRow},
        {.type = 114, .shape = interfaceRow},
        {.type = 115, .shape = interfaceRow},
        {.type = 116, .shape = interfaceRow},
        {.type = 117, .shape = interfaceRow},
        {.type = 124, .shape = itemSatelliteRow, .event = itemDataEvent},
        {.type = 125, .shape = itemSatelliteRow, .event = itemDataEvent},
        {.type = 126, .shape = itemSatelliteRow, .event = itemPriceEvent},
        {.type = 127, .shape = itemSatelliteRow, .event = itemCodeEvent},
        {.type = 128, .shape = itemSatelliteRow},
        {
            .type = 129,
        },
        {.type = 142, .shape = prefixRow, .event = prefixEvent},
        {.type = 152, .shape = branchRow},
        {.type = 192, .shape = overtimeRow, .event = overtimeEvent, .changed = "NOEX_HED"},
        {
            .type = 201,
        },
        {.type = 202, .shape = groupRow, .event = joinedCodeEvent},
        {.type = 203, .shape = subgroupRow, .event = joinedCodeEvent},
        {
            .type = 204,
        },
        {.type = 205, .shape = subBrandRow, .event = joinedCodeEvent},
        {.type = 235, .shape = pointsRecordRow, .event = pointsRecordEvent},
        {.type = 1291, .shape = discountLineRow, .event = discountLineEvent},
    };
    static const std::vector<MasterFamily> k = [] {
        std::vector<MasterFamily> families;
        families.reserve(kShapes.size());
        for (const MasterShape& shape : kShapes) {
            families.push_back(masterFamily(shape));
        }
        return families;
    }();
    return k;
}

const DocumentFamily* documentFamily(int type) {
    for (const DocumentFamily& f : documentFamilies()) {
        if (f.type == type) {
            return &f;
        }
    }
    return nullptr;
}

const char* const kWords[] = {"bodega", "norte", "café",  "azúcar", "tornillo", "cliente",
                              "pago",   "mayo",  "señal", "lote",   "revisión", "caja"};
const char* const kNits[] = {"800100200", "900123456", "860000111", "71234567", "43210987"};
const char* const kItems[] = {"A001", "A002", "B010", "C100", "D200", "E300"};

}  // namespace

db::Value Filler::value(const db::Column& c, int type) {
    const std::string& n = c.name;
    auto ends = [&](const char* s) {
        const std::string t(s);
        return n.size() >= t.size() && n.compare(n.size() - t.size(), t.size(), t) == 0;
    };
    if (ends("_ANULADO")) {
        return db::Value("N");
    }
    if (n == "NUMOK") {
        return db::Value("S");
    }
    if (n == "TERC_NIT") {
        return text(kNits[pick(5)], c.length);
    }
    if (n == "ARTI_COD") {
        return text(kItems[pick(6)], c.length);
    }
    if (n == "TIDO_COD" &&
        (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt)) {
        return db::Value(type);
    }
    if (n == "SUCU_ID") {
        return db::Value(1 + pick(2));
    }
    if (!c.required && pick(10) == 0) {
        return db::Value();
    }
    switch (c.type) {
        case db::ColumnType::SmallInt:
        case db::ColumnType::Integer:
        case db::ColumnType::BigInt:
            if (c.isFixedPoint()) {
                return db::Value(db::Decimal{1000 + pick(9000000), c.scale});
            }
            return db::Value(1 + pick(99));
        case db::ColumnType::Float:
        case db::ColumnType::Double:
            return db::Value(static_cast<double>(pick(100000)) / 100.0);
        case db::ColumnType::Char:
            return text(c.length == 1 ? (pick(2) ? "S" : "N") : word(), c.length);
        case db::ColumnType::VarChar:
            return text(word() + " " + word(), c.length);
        case db::ColumnType::Date:
            return db::Value(db::Date{2026, 1 + pick(12), 1 + pick(28)});
        case db::ColumnType::Time:
            return db::Value(db::Time{8 + pick(10), pick(60), pick(60), 0});
        case db::ColumnType::Timestamp:
            return db::Value(
                db::Timestamp{db::Date{2026, 1 + pick(12), 1 + pick(28)}, db::Time{9, 0, 0, 0}});
        case db::ColumnType::Blob:
            if (c.subType == 1) {
                return db::Value("Nota: " + word() + " " + word());
            }
            return db::Value(
                db::Bytes{{0x89, 'P', 'N', 'G', static_cast<unsigned char>(pick(255))}});
        case db::ColumnType::Boolean:
            return db::Value(pick(2));
        case db::ColumnType::Other:
            return db::Value();
    }
    return db::Value();
}

std::string Filler::word() {
    return kWords[pick(12)];
}

db::Value Filler::text(const std::string& s, int length) {
    // Cut by characters, never inside a UTF-8 sequence.
    std::string out;
    int chars = 0;
    for (const char c : s) {
        const auto ch = static_cast<unsigned char>(c);
        if ((ch & 0xC0) != 0x80) {
            if (chars == length) {
                break;
            }
            ++chars;
        }
        out += c;
    }
    return db::Value(out);
}

namespace {

bool tableExists(db::Connection& conn, const std::string& table) {
    return conn.tableInfo(table).exists;
}

std::int64_t nextId(db::Connection& conn, const char* generator, const std::string& table,
                    const std::string& idColumn) {
    db::Query q(conn);
    if (generator) {
        q.open(std::string("select * from ") + generator);
        if (!q.isEmpty()) {
            return q.asInt(0);
        }
    }
    q.open("select coalesce(max(" + idColumn + "), 0) + 1 from " + table);
    return q.asInt(0);
}

// The id with leading zeros to `digits` (longer ids keep all their digits).
std::string numbered(std::int64_t id, int digits) {
    std::string s = std::to_string(id);
    if (static_cast<int>(s.size()) < digits) {
        s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    }
    return s;
}

std::vector<std::string> destinations(db::Connection& conn, int type, const std::string& prefix) {
    db::Query q(conn);
    q.open("select distinct repc_compania from replicacion_configura where repc_tipo = " +
           sqlInt(type) + " and repc_pref = " + Q(prefix) + " and repc_replica = 'S'");
    std::vector<std::string> out;
    for (; !q.eof(); q.next()) {
        out.push_back(q.asText(0));
    }
    return out;
}

// One REPLICA_EVENTOS row before it is addressed.
struct EventRow {
    int type = 0;
    std::string oper;
    std::int64_t iddoc = 0;  // 0: NULL
    std::string prefix;
    std::string number;
    std::string code;  // empty: NULL
    std::string data;  // empty: NULL
    std::string prefixDest;
};

std::string textOrNull(const std::string& s) {
    return s.empty() ? std::string("NULL") : Q(s);
}

// A master record this simulation wrote: its key as a WHERE clause and what
// its events carry, for its later changes.
struct WrittenMaster {
    const MasterFamily* family;
    std::string where;
    MasterEvent event;
};

class Simulator {
  public:
    Simulator(db::Connection& conn, const SimulationOptions& o)
        : m_conn(conn), m_options(o), m_fill(o.seed), m_activity(conn, m_fill, m_written) {}

    SimulationReport run() {
        std::vector<const DocumentFamily*> docs;
        for (const DocumentFamily& f : documentFamilies()) {
            if (wanted(f.type) && tableExists(m_conn, f.header)) {
                docs.push_back(&f);
            }
        }
        std::vector<const MasterFamily*> masters;
        for (const MasterFamily& f : masterFamilies()) {
            if (wanted(f.type) && tableExists(m_conn, f.table)) {
                masters.push_back(&f);
            }
        }
        for (int i = 0; i < m_options.masters && !masters.empty(); ++i) {
            writeMaster(*masters[static_cast<std::size_t>(i) % masters.size()]);
        }
        for (int i = 0; i < m_options.documents && !docs.empty(); ++i) {
            writeDocument(*docs[static_cast<std::size_t>(i) % docs.size()]);
        }
        int u = m_options.updates;
        int a = m_options.annulments;
        int d = m_options.deletions;
        for (std::size_t i = 0; i < m_written.size() && (u > 0 || a > 0 || d > 0); ++i) {
            const Written& w = m_written[i];
            if (u > 0) {
                update(w);
                --u;
            } else if (a > 0) {
                if (annul(w)) {
                    --a;
                }
            } else if (!w.referenced) {
                // The ERP refuses to delete a document that another one settles
                // or was generated from.
                remove(w);
                --d;
            }
        }
        const std::size_t updated =
            std::min(m_masters.size(), static_cast<std::size_t>(m_options.masterUpdates));
        const std::size_t deleted = std::min(m_masters.size() - updated,
                                             static_cast<std::size_t>(m_options.masterDeletions));
        for (std::size_t i = 0; i < updated + deleted; ++i) {
            if (i < updated) {
                updateMaster(m_masters[i]);
            } else {
                removeMaster(m_masters[i]);
            }
        }
        return m_report;
    }

  private:
    bool wanted(int type) const {
        return m_options.types.empty() || std::find(m_options.types.begin(), m_options.types.end(),
                                                    type) != m_options.types.end();
    }

    // One row per company that REPLICACION_CONFIGURA names for the type and
    // the routing prefix.
    void event(const EventRow& e, const std::string& route) {
        if (!m_options.writeEvents) {
            return;
        }
        for (const std::string& company : destinations(m_conn, e.type, route)) {
            m_conn.execute(
                "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
                "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_PREFDEST, "
                "RPEV_DATOS) VALUES (" +
                Q(company) + ", " + sqlInt(e.type) + ", " +
                (e.iddoc ? sqlInt(e.iddoc) : std::string("NULL")) + ", " + Q(e.prefix) + ", " +
                Q(e.number) + ", " + textOrNull(e.code) + ", " + Q(sqlDate(today())) + ", " +
                Q(sqlTime(now())) + ", " + Q(e.oper) + ", " + Q(e.prefixDest) + ", " +
                textOrNull(e.data) + ")");
            ++m_report.events;
        }
    }

    void documentEvent(const Written& w, const std::string& oper) {
        const DocumentFamily& f = *documentFamily(w.type);
        EventRow e;
        e.type = w.type;
        e.oper = oper;
        e.iddoc = w.id;
        e.prefix = w.prefix;
        e.number = w.number;
        e.code = w.code;
        e.prefixDest = f.recordedAs ? prefixFor(f.recordedAs) : w.prefix;
        event(e, w.prefix);
    }

    void apply(db::RecordSet& rs) {
        std::string failure;
        if (rs.apply(0, [&](const db::Error& e) { failure = e.message(); }) > 0) {
            throw db::Error("the ERP simulator could not write to " + rs.tableName() + ": " +
                            failure);
        }
    }

    static std::string textOf(const db::RecordSet& rs, const std::string& column) {
        const int i = rs.indexOf(column);
        return i < 0 ? std::string() : rs.editValue(i).asText();
    }

    void writeDocument(const DocumentFamily& f) {
        db::RecordSet head(m_conn);
        head.open("SELECT * FROM " + f.header + " WHERE 1 = 0");
        Written doc;
        doc.type = f.type;
        doc.table = f.header;
        doc.idColumn = head.column(0).name;
        doc.id = nextId(m_conn, f.generator.empty() ? nullptr : f.generator.c_str(), f.header,
                        doc.idColumn);
        doc.prefix = !f.prefix.empty() ? prefixFor(f.type) : std::string();
        doc.number = !f.number.empty() ? numbered(doc.id, f.digits) : std::string();
        head.append();
        for (int i = 0; i < head.columnCount(); ++i) {
            head.set(i, m_fill.value(head.column(i), f.type));
        }
        head.set(0, db::Value(doc.id));
        if (!f.prefix.empty()) {
            head.set(f.prefix, db::Value(doc.prefix));
        }
        if (!f.number.empty()) {
            head.set(f.number, db::Value(doc.number));
        }
        if (f.shapeHeader) {
            f.shapeHeader(m_activity, doc, head);
            if (!f.prefix.empty()) {
                doc.prefix = textOf(head, f.prefix);
            }
            if (!f.number.empty()) {
                doc.number = textOf(head, f.number);
            }
        }
        if (!f.codeColumn.empty()) {
            doc.code = textOf(head, f.codeColumn);
        }
        doc.nit = textOf(head, "TERC_NIT");
        head.post();
        apply(head);
        ++m_report.documents;
        for (const std::string& table : f.details) {
            if (!tableExists(m_conn, table)) {
                continue;
            }
            db::RecordSet lines(m_conn);
            lines.open(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
            for (int n = 1; n <= m_options.linesPerDocument; ++n) {
                lines.append();
                for (int i = 0; i < lines.columnCount(); ++i) {
                    const db::Column& c = lines.column(i);
                    if (i > 0 && c.inKey &&
                        (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt)) {
                        lines.set(i, db::Value(n));
                    } else if (i > 0 && c.inKey) {
                        lines.set(i, Filler::text("L" + std::to_string(n), c.length));
                    } else {
                        lines.set(i, m_fill.value(c, f.type));
                    }
                }
                lines.set(0, db::Value(doc.id));
                if (f.shapeLine) {
                    f.shapeLine(m_activity, doc, table, n, lines);
                }
                lines.post();
                apply(lines);
                ++m_report.lines;
            }
        }
        documentEvent(doc, "I");
        m_written.push_back(std::move(doc));
    }

    void update(const Written& w) {
        db::RecordSet head(m_conn);
        head.open("SELECT * FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            if (head.column(i).isFixedPoint()) {
                head.set(i, m_fill.value(head.column(i), w.type));
                break;
            }
        }
        head.post();
        apply(head);
        documentEvent(w, "U");
    }

    bool annul(const Written& w) {
        db::RecordSet head(m_conn);
        head.open("SELECT * FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        for (int i = 1; i < head.columnCount(); ++i) {
            const std::string& n = head.column(i).name;
            if (n.size() > 8 && n.compare(n.size() - 8, 8, "_ANULADO") == 0) {
                head.set(i, db::Value("S"));
                head.post();
                apply(head);
                documentEvent(w, "A");
                return true;
            }
        }
        return false;
    }

    void remove(const Written& w) {
        for (const std::string& table : documentFamily(w.type)->details) {
            if (tableExists(m_conn, table)) {
                db::RecordSet lines(m_conn);
                lines.open(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
                m_conn.execute(std::string("DELETE FROM ") + table + " WHERE " +
                               lines.column(0).name + " = " + sqlInt(w.id));
            }
        }
        m_conn.execute("DELETE FROM " + w.table + " WHERE " + w.idColumn + " = " + sqlInt(w.id));
        documentEvent(w, documentFamily(w.type)->deleteLetter);
    }

    // The value the filler gives key column i of a master's serial-th row.
    static db::Value keyValue(const db::Column& c, int i, int type, int serial) {
        if (c.type == db::ColumnType::Integer || c.type == db::ColumnType::SmallInt ||
            c.type == db::ColumnType::BigInt) {
            return db::Value(serial + 1000 * i);
        }
        const std::string letter(1, static_cast<char>('A' + type % 26));
        std::string text = letter + std::to_string(10000 + serial);
        if (static_cast<int>(text.size()) > c.length) {
            // A short key (a prefix of 4) would lose the serial's last digits
            // and every row would get the same key.
            text = letter + std::to_string(serial);
        }
        return Filler::text(text, c.length);
    }

    // Whether a key value of the serial-th row is already held by a row of
    // rs (after deletions the row count no longer gives a free serial).
    static bool serialTaken(db::RecordSet& rs, int type, int serial) {
        for (rs.first(); !rs.eof(); rs.next()) {
            for (int i = 0; i < rs.columnCount(); ++i) {
                if (rs.column(i).inKey && rs.value(i) == keyValue(rs.column(i), i, type, serial)) {
                    return true;
                }
            }
        }
        return false;
    }

    void writeMaster(const MasterFamily& f) {
        db::RecordSet rs(m_conn);
        rs.open("SELECT * FROM " + f.table);
        int serial = rs.rowCount() + 1;
        while (serialTaken(rs, f.type, serial)) {
            ++serial;
        }
        rs.append();
        for (int i = 0; i < rs.columnCount(); ++i) {
            const db::Column& c = rs.column(i);
            rs.set(i, c.inKey ? keyValue(c, i, f.type, serial) : m_fill.value(c, f.type));
        }
        if (f.shape) {
            f.shape(m_activity, rs);
        }
        rs.post();
        apply(rs);
        ++m_report.masters;
        MasterEvent me;
        std::string where;
        for (int i = 0; i < rs.columnCount(); ++i) {
            if (rs.column(i).inKey) {
                const db::Value& v = rs.value(i);
                if (where.empty()) {
                    me.code = v.asText();
                    if (v.kind() == db::Value::Kind::Int) {
                        me.iddoc = v.asInt();
                    }
                }
                where += (where.empty() ? " WHERE " : " AND ") + rs.column(i).name + " = " +
                         Q(v.asText());
            }
        }
        if (f.event) {
            f.event(m_activity, rs, me);
        }
        masterEvent(f, "I", me);
        if (!where.empty()) {
            m_masters.push_back(WrittenMaster{&f, where, me});
        }
    }

    void masterEvent(const MasterFamily& f, const std::string& oper, const MasterEvent& me) {
        EventRow e;
        e.type = f.type;
        e.oper = oper;
        e.iddoc = me.iddoc;
        e.prefix = me.prefix;
        e.number = me.number;
        e.code = me.code;
        e.data = me.data;
        e.prefixDest = me.prefix;
        // Master records are configured under the empty prefix, whatever the
        // event carries.
        event(e, std::string());
    }

    // A change of the record's first column outside its key (or the family's
    // own column), as an operator editing it would make.
    void updateMaster(const WrittenMaster& m) {
        db::RecordSet rs(m_conn);
        rs.open("SELECT * FROM " + m.family->table + m.where);
        for (int i = 0; i < rs.columnCount() && !rs.isEmpty(); ++i) {
            const bool changed = m.family->changed ? rs.column(i).name == m.family->changed
                                                   : !rs.column(i).inKey && !rs.column(i).isBlob();
            if (changed) {
                rs.set(i, m_fill.value(rs.column(i), m.family->type));
                rs.post();
                apply(rs);
                break;
            }
        }
        masterEvent(*m.family, "U", m.event);
    }

    void removeMaster(const WrittenMaster& m) {
        m_conn.execute("DELETE FROM " + m.family->table + m.where);
        masterEvent(*m.family, "D", m.event);
    }

    db::Connection& m_conn;
    SimulationOptions m_options;
    Filler m_fill;
    std::deque<Written> m_written;
    std::vector<WrittenMaster> m_masters;
    Activity m_activity;
    SimulationReport m_report;
};

}  // namespace

const Written* Activity::pickWritten(const std::vector<int>& types,
                                     const std::function<bool(const Written&)>& accept) {
    std::vector<Written*> candidates;
    for (Written& w : m_written) {
        if (std::find(types.begin(), types.end(), w.type) != types.end() &&
            (!accept || accept(w))) {
            candidates.push_back(&w);
        }
    }
    if (candidates.empty()) {
        return nullptr;
    }
    Written* chosen =
        candidates[static_cast<std::size_t>(pick(static_cast<int>(candidates.size())))];
    chosen->referenced = true;
    return chosen;
}

void writeReference(db::RecordSet& row, const ReferenceColumns& at, const Written* doc) {
    row.set(at.type, db::Value(doc ? doc->type : 0));
    row.set(at.id, db::Value(doc ? doc->id : 0));
    row.set(at.prefix, db::Value(doc ? doc->prefix : std::string()));
    row.set(at.number, db::Value(doc ? doc->number : std::string()));
}

std::vector<int> documentTypes() {
    std::vector<int> out;
    for (const auto& f : documentFamilies()) {
        out.push_back(f.type);
    }
    return out;
}

std::vector<int> masterTypes() {
    std::vector<int> out;
    for (const auto& f : masterFamilies()) {
        out.push_back(f.type);
    }
    return out;
}

std::string prefixFor(int type) {
    const DocumentFamily* f = documentFamily(type);
    if (!f || f->prefix.empty()) {
        return {};
    }
    // Two letters of the table and the type: short, unique, readable ("EN11").
    return f->header.substr(0, 2) + std::to_string(type % 100);
}

std::vector<std::string> prefixesFor(int type) {
    std::vector<std::string> out = {prefixFor(type)};
    const DocumentFamily* f = documentFamily(type);
    if (f && f->sourcePrefix) {
        for (const DocumentFamily& other : documentFamilies()) {
            const std::string p = prefixFor(other.type);
            if (!p.empty() && std::find(out.begin(), out.end(), p) == out.end()) {
                out.push_back(p);
            }
        }
    }
    return out;
}

SimulationReport simulate(db::Connection& company, const SimulationOptions& options) {
    if (!company.isOpen()) {
        company.open();
    }
    return Simulator(company, options).run();
}

}  // namespace replica::demo
