#include "engine/verify.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/sql.h"

namespace replica {

namespace {

// How a copy finds a document: prefix, number and, for documents numbered
// within a code, the code.
using Key = std::tuple<std::string, std::string, std::string>;

// What the copy keeps of one document.
struct Summary {
    std::int64_t id = 0;
    bool twice = false;  // the number is held by more than one header
    // Per detail table: "lines" and each fixed-point column's sum.
    std::vector<std::vector<std::string>> tables;
};

struct DetailShape {
    std::string table;
    std::string headerColumn;          // the first column: the header id
    std::vector<std::string> columns;  // fixed-point columns, summed
};

std::string field(const db::Query& q, int column) {
    return q.isNull(column) ? std::string() : db::rtrim(q.asText(column));
}

// The first column and the fixed-point columns of a detail table, as the
// database describes them (the same in both companies' schemas; a column
// one of them lacks makes its aggregate fail, which the caller reports).
DetailShape detailShape(db::Connection& conn, const char* table) {
    DetailShape shape;
    shape.table = db::upperCase(table);
    db::Query q(conn);
    q.open(tableColumnsSql(shape.table));
    for (q.first(); !q.eof(); q.next()) {
        const std::string name = field(q, 0);
        if (shape.headerColumn.empty()) {
            shape.headerColumn = name;
        } else if (!q.isNull(1) && q.asInt(1) < 0) {
            shape.columns.push_back(name);
        }
    }
    return shape;
}

std::string dateColumnOf(db::Connection& conn, const char* table) {
    db::Query q(conn);
    q.open(dateColumnSql(db::upperCase(table)));
    return q.isEmpty() ? std::string() : field(q, 0);
}

// Every document of the family in conn, with its lines summed: one read
// of the header table and one aggregate per detail table.
std::map<Key, Summary> readDocuments(db::Connection& conn, const erp::Document& document,
                                     const std::vector<DetailShape>& shapes,
                                     const std::string& dateColumn, const Period& period) {
    std::map<Key, Summary> documents;
    std::map<std::int64_t, Summary*> byId;
    db::Query headers(conn);
    headers.open(headerListSql(document, dateColumn, period));
    for (headers.first(); !headers.eof(); headers.next()) {
        Summary& s = documents[{field(headers, 1), field(headers, 2), field(headers, 3)}];
        s.twice = s.id != 0;
        s.id = headers.asInt(0);
        s.tables.assign(shapes.size(), {});
        byId[s.id] = &s;
    }
    for (std::size_t t = 0; t < shapes.size(); ++t) {
        const DetailShape& shape = shapes[t];
        db::Query lines(conn);
        lines.open(lineSummarySql(shape.table, shape.headerColumn, shape.columns));
        for (lines.first(); !lines.eof(); lines.next()) {
            const auto found = byId.find(lines.asInt(0));
            if (found == byId.end()) {
                continue;  // lines without a header are no document
            }
            std::vector<std::string>& sums = found->second->tables[t];
            for (int c = 1; c < lines.columnCount(); ++c) {
                sums.push_back(field(lines, c));
            }
        }
    }
    return documents;
}

// What differs between two summaries of one document; "" when nothing.
std::string differences(const Summary& a, const Summary& b,
                        const std::vector<DetailShape>& shapes) {
    std::string what;
    for (std::size_t t = 0; t < shapes.size(); ++t) {
        const std::vector<std::string>& x = a.tables[t];
        const std::vector<std::string>& y = b.tables[t];
        const std::size_t width = shapes[t].columns.size() + 1;
        for (std::size_t c = 0; c < width; ++c) {
            // A table with no lines has no row in the aggregate.
            const std::string left = c < x.size() ? x[c] : (c == 0 ? "0" : "");
            const std::string right = c < y.size() ? y[c] : (c == 0 ? "0" : "");
            if (left == right) {
                continue;
            }
            const std::string name = c == 0 ? "líneas" : shapes[t].columns[c - 1];
            what += (what.empty() ? "" : "; ") + shapes[t].table + "." + name + ": " +
                    (left.empty() ? "-" : left) + " / " + (right.empty() ? "-" : right);
        }
    }
    return what;
}

Discrepancy discrepancy(int type, Finding finding, Side at, const Key& key, std::int64_t id) {
    return Discrepancy{.type = type,
                       .finding = finding,
                       .at = at,
                       .prefix = std::get<0>(key),
                       .number = std::get<1>(key),
                       .code = std::get<2>(key),
                       .id = id,
                       .what = {}};
}

// What each side sent the other, as the merge asks it.
class Sent {
  public:
    Sent(const ComparedFamily& family, const SentDocuments* sent, const SentDocuments* back,
         bool sendsBack)
        : m_family(family), m_sent(sent), m_back(back), m_sendsBack(sendsBack) {}

    // Without the events every document is taken as sent by the source.
    bool filtered() const { return m_sent != nullptr; }
    // The source sent it and its last event did not delete it.
    bool bySource(const Key& key) const { return !m_sent || kept(m_sent, key); }
    bool byDestination(const Key& key) const {
        return m_sendsBack && (!m_sent || (m_back && kept(m_back, key)));
    }
    bool deletedBySource(const Key& key) const { return deleted(m_sent, key); }
    bool deletedByDestination(const Key& key) const { return m_sendsBack && deleted(m_back, key); }

  private:
    const std::string* last(const SentDocuments* set, const Key& key) const {
        if (!set) {
            return nullptr;
        }
        const auto found = set->find({m_family.type, std::get<0>(key), std::get<1>(key)});
        return found == set->end() ? nullptr : &found->second;
    }
    bool kept(const SentDocuments* set, const Key& key) const {
        const std::string* letter = last(set, key);
        return letter && !among(m_family.deleteLetters, *letter);
    }
    bool deleted(const SentDocuments* set, const Key& key) const {
        const std::string* letter = last(set, key);
        return letter && among(m_family.deleteLetters, *letter);
    }

    const ComparedFamily& m_family;
    const SentDocuments* m_sent;
    const SentDocuments* m_back;
    bool m_sendsBack;
};

std::vector<DetailShape> comparedShapes(db::Connection& source, const ComparedFamily& family) {
    std::vector<DetailShape> shapes;
    shapes.reserve(family.document->details.size());
    for (const char* table : family.document->details) {
        DetailShape shape = detailShape(source, table);
        if (std::find(family.spared.begin(), family.spared.end(), shape.table) ==
            family.spared.end()) {
            shapes.push_back(std::move(shape));
        }
    }
    return shapes;
}

// A document only `holder` holds: missing in the other side when holder
// sent it, extra when the other side sent it and deleted it since, nothing
// otherwise (the holder's own document, or one it received elsewhere).
void onlyIn(Side holder, bool sentByHolder, bool deletedByOther, bool unfiltered,
            const ComparedFamily& family, const Key& key, const Summary& summary,
            PairReport& report, FamilyTally& tally) {
    const Side other = holder == Side::Source ? Side::Destination : Side::Source;
    const int type = family.type;
    const std::int64_t id = summary.id;
    if (family.sharedTable && summary.twice) {
        return;
    }
    if (sentByHolder) {
        report.discrepancies.push_back(discrepancy(type, Finding::Missing, other, key, id));
        ++tally.missing;
    } else if ((deletedByOther || unfiltered) && !family.sharedTable) {
        report.discrepancies.push_back(discrepancy(type, Finding::Extra, holder, key, id));
        ++tally.extra;
    }
}

void compareFamily(db::Connection& source, db::Connection& destination,
                   const ComparedFamily& family, PairReport& report, FamilyTally& tally,
                   const Sent& sent) {
    const std::vector<DetailShape> shapes = comparedShapes(source, family);
    const std::string dateColumn =
        report.period.open() ? std::string() : dateColumnOf(source, family.document->table);
    const std::map<Key, Summary> inSource =
        readDocuments(source, *family.document, shapes, dateColumn, report.period);
    const std::map<Key, Summary> inDestination =
        readDocuments(destination, *family.document, shapes, dateColumn, report.period);
    const bool unfiltered = !sent.filtered();
    // Both maps are ordered by key: one merge.
    auto s = inSource.begin();
    auto d = inDestination.begin();
    while (s != inSource.end() || d != inDestination.end()) {
        if (d == inDestination.end() || (s != inSource.end() && s->first < d->first)) {
            onlyIn(Side::Source, sent.bySource(s->first), sent.deletedByDestination(s->first),
                   false, family, s->first, s->second, report, tally);
            ++s;
            continue;
        }
        if (s == inSource.end() || d->first < s->first) {
            onlyIn(Side::Destination, sent.byDestination(d->first), sent.deletedBySource(d->first),
                   unfiltered && !report.destinationSendsBack, family, d->first, d->second, report,
                   tally);
            ++d;
            continue;
        }
        const bool fromSource = sent.bySource(s->first);
        // Neither side sent it: two documents of one number written in each
        // company, not a copy.
        const bool ambiguous = family.sharedTable && (s->second.twice || d->second.twice);
        if (!ambiguous && (fromSource || sent.byDestination(s->first))) {
            const std::string what = differences(s->second, d->second, shapes);
            if (what.empty()) {
                ++tally.equal;
            } else {
                Discrepancy different = discrepancy(
                    family.type, Finding::Different, fromSource ? Side::Destination : Side::Source,
                    s->first, fromSource ? s->second.id : d->second.id);
                different.what = what;
                report.discrepancies.push_back(different);
                ++tally.different;
            }
        }
        ++s;
        ++d;
    }
}

// Whether the copy stores the header under the source's prefix and number.
bool comparable(const DocumentFamily& row, const erp::Document* document) {
    return document && document->idColumn && document->prefixColumn && document->numberColumn &&
           !row.header.isMapped() && !row.afterCopy && !row.beforePost;
}

// The detail tables of row the copy does not always write in full: a
// table read in one phase only, or one it asks about per document.
std::vector<std::string> sparedTables(const DocumentFamily& row, const erp::Document& document) {
    std::vector<std::string> spared;
    for (const char* name : document.details) {
        const std::string table = db::upperCase(name);
        for (const DetailTable& detail : row.details) {
            const std::string text = db::upperCase(detail.destination);
            const bool names = text.find(" FROM " + table + " ") != std::string::npos;
            const bool partly = detail.copyWhen || !detail.copied.in(Phase::Download) ||
                                !detail.copied.in(Phase::Upload);
            if (names && partly) {
                spared.push_back(table);
            }
        }
    }
    return spared;
}

// Whether a mapped row writes into one of document's detail tables.
bool receivesMappedCopies(const std::vector<const DocumentFamily*>& rows,
                          const erp::Document& document) {
    for (const DocumentFamily* row : rows) {
        if (!row->header.isMapped()) {
            continue;
        }
        for (const DetailTable& detail : row->details) {
            const std::string text = db::upperCase(detail.destination);
            for (const char* name : document.details) {
                if (text.find(" FROM " + db::upperCase(name) + " ") != std::string::npos) {
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace

std::vector<ComparedFamily> comparedFamilies(const std::vector<const DocumentFamily*>& rows) {
    std::set<int> conditioned;
    for (const DocumentFamily* row : rows) {
        if (row->when) {
            conditioned.insert(row->type);
        }
    }
    std::vector<ComparedFamily> families;
    std::set<int> seen;
    for (const DocumentFamily* row : rows) {
        const erp::Document* document = erp::document(row->type);
        if (seen.contains(row->type) || conditioned.contains(row->type) ||
            !comparable(*row, document)) {
            continue;
        }
        seen.insert(row->type);
        families.push_back({.type = row->type,
                            .document = document,
                            .spared = sparedTables(*row, *document),
                            .deleteLetters = row->deleteLetters,
                            .sharedTable = receivesMappedCopies(rows, *document)});
    }
    return families;
}

const char* findingText(Finding f) {
    switch (f) {
        case Finding::Missing:
            return "falta";
        case Finding::Extra:
            return "sobra";
        case Finding::Different:
            return "distinto";
    }
    return "";
}

bool isIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    return db::allDigits(text.substr(0, 4)) && db::allDigits(text.substr(5, 2)) &&
           db::allDigits(text.substr(8, 2));
}

std::string headerListSql(const erp::Document& document, const std::string& dateColumn,
                          const Period& period) {
    std::string sql = headerListSql(document);
    if (dateColumn.empty() || period.open()) {
        return sql;
    }
    std::string where;
    if (!period.since.empty()) {
        where = dateColumn + " >= " + Q(period.since);
    }
    if (!period.until.empty()) {
        where += (where.empty() ? "" : " and ") + dateColumn + " <= " + Q(period.until);
    }
    return sql + " where " + where;
}

std::string dateColumnSql(const std::string& table) {
    // 12: DATE; 35: TIMESTAMP.
    return "select first 1 trim(rf.RDB$FIELD_NAME) from RDB$RELATION_FIELDS rf join RDB$FIELDS f "
           "on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE where rf.RDB$RELATION_NAME = " +
           Q(table) +
           " and f.RDB$FIELD_TYPE in (12, 35) and rf.RDB$FIELD_NAME containing 'FECHA' order by "
           "rf.RDB$FIELD_POSITION";
}

std::string headerListSql(const erp::Document& document) {
    const std::string code =
        document.codeColumn ? std::string(document.codeColumn) : std::string("''");
    return std::string("select ") + document.idColumn + ", " + document.prefixColumn + ", " +
           document.numberColumn + ", " + code + " from " + document.table;
}

std::string lineSummarySql(const std::string& table, const std::string& headerColumn,
                           const std::vector<std::string>& fixedPointColumns) {
    std::string sql = "select " + headerColumn + ", count(*)";
    for (const std::string& column : fixedPointColumns) {
        sql += ", sum(cast(" + column + " as numeric(18,4)))";
    }
    return sql + " from " + table + " group by " + headerColumn;
}

std::string tableColumnsSql(const std::string& table) {
    return "select trim(rf.RDB$FIELD_NAME), f.RDB$FIELD_SCALE from RDB$RELATION_FIELDS rf join "
           "RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE where rf.RDB$RELATION_NAME = " +
           Q(table) + " order by rf.RDB$FIELD_POSITION";
}

void compare(db::Connection& source, db::Connection& destination,
             const std::vector<ComparedFamily>& families, PairReport& report,
             const Progress& progress, const SentDocuments* sent, const SentDocuments* sentBack) {
    std::int64_t compared = 0;
    for (const ComparedFamily& family : families) {
        FamilyTally tally{.type = family.type, .record = family.document->record};
        compareFamily(source, destination, family, report, tally,
                      Sent(family, sent, sentBack, report.destinationSendsBack));
        compared += tally.equal + tally.missing + tally.extra + tally.different;
        report.families.push_back(tally);
        if (progress) {
            progress(tally, compared);
        }
    }
}

std::string sentDocumentsSql(const std::string& destination) {
    return "select RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_OPER from REPLICA_EVENTOS where "
           "RPEV_COMPANIA = " +
           Q(destination) + " order by RPEV_ID";
}

SentDocuments sentDocuments(db::Connection& source, const std::string& destination) {
    SentDocuments sent;
    db::Query q(source);
    q.open(sentDocumentsSql(destination));
    for (q.first(); !q.eof(); q.next()) {
        sent[{static_cast<int>(q.asInt(0)), field(q, 1), field(q, 2)}] = field(q, 3);
    }
    return sent;
}

std::vector<Requeued> requeueEvents(const PairReport& report) {
    std::vector<Requeued> events;
    for (const Discrepancy& d : report.discrepancies) {
        if (d.finding == Finding::Extra) {
            continue;  // nothing sends it: a copy cannot remove it
        }
        // Written in the database that sent the document, for the other.
        const bool inSource = d.at == Side::Destination;
        events.push_back({.database = inSource ? report.source : report.destination,
                          .company = inSource ? report.destination : report.source,
                          .type = d.type,
                          .operation = d.finding == Finding::Missing ? "I" : "U",
                          .prefix = d.prefix,
                          .number = d.number,
                          .id = d.id,
                          .code = d.key.empty() ? std::string() : d.code,
                          .data = d.data});
    }
    return events;
}

namespace {
std::string orNull(const std::string& text) {
    return text.empty() ? std::string("NULL") : Q(text);
}
}  // namespace

std::string requeueSql(const Requeued& e, std::int64_t eventId) {
    // A master record named by its code alone has no id, as the ERP writes it.
    const std::string iddoc = e.id == 0 && !e.code.empty() ? "NULL" : sqlInt(e.id);
    return "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, "
           "RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_DATOS, RPEV_OPER, RPEV_FECREG, "
           "RPEV_HORAREG) VALUES (" +
           sqlInt(eventId) + ", " + Q(e.company) + ", " + sqlInt(e.type) + ", " + iddoc + ", " +
           Q(e.prefix) + ", " + Q(e.number) + ", " + orNull(e.code) + ", " + orNull(e.data) + ", " +
           Q(e.operation) + ", current_date, current_time)";
}

void requeue(db::Connection& db, const std::vector<Requeued>& events) {
    for (const Requeued& e : events) {
        db::Query id(db);
        id.open("select next value for GEN_REPLICA_EVENTOS from rdb$database");
        db.execute(requeueSql(e, id.asInt(0)));
    }
}

}  // namespace replica
