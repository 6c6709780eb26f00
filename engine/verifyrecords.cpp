// The comparison of master records: each compared family's table read once
// per database, the rows matched by key.

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string_view>

#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/sql.h"
#include "engine/verify.h"
#include "erp/documents.h"

namespace replica {

namespace {

using RecordKey = std::vector<std::string>;
using Rows = std::map<RecordKey, std::vector<std::string>>;

std::string field(const db::Query& q, int column) {
    return q.isNull(column) ? std::string() : db::rtrim(q.asText(column));
}

bool readsEvent(const Key& k) {
    if (k.from == Key::From::CodePart) {
        return true;
    }
    return k.from == Key::From::Event &&
           (k.field == EventField::Code || k.field == EventField::IdDoc ||
            k.field == EventField::Data || k.field == EventField::Pref);
}

// Takes word (letter case aside) from the front of s.
bool take(std::string_view& s, std::string_view word) {
    if (s.size() < word.size() || strncasecmp(s.data(), word.data(), word.size()) != 0) {
        return false;
    }
    s.remove_prefix(word.size());
    return true;
}

// Takes a name (letters, digits, "_") from the front of s, upper-cased.
bool takeName(std::string_view& s, std::string& name) {
    std::size_t n = 0;
    while (n < s.size() && (std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == '_')) {
        ++n;
    }
    name = db::upperCase(std::string(s.substr(0, n)));
    s.remove_prefix(n);
    return n > 0;
}

// The table and key of a text "select * from T where A = <key> [and B =
// <key>]...", or nullopt for any other text.
std::optional<ComparedRecord> parseRecordText(const KeyedText& text) {
    const std::vector<KeyedText::Piece>& pieces = text.pieces();
    if (pieces.size() < 2 || pieces.size() % 2 != 0) {
        return std::nullopt;
    }
    ComparedRecord r;
    for (std::size_t i = 0; i < pieces.size(); i += 2) {
        std::string_view fixed = pieces[i].text;
        const std::optional<Key>& value = pieces[i + 1].key;
        std::string column;
        const bool head = i == 0 ? take(fixed, "select * from ") && takeName(fixed, r.table) &&
                                       take(fixed, " where ")
                                 : take(fixed, " and ");
        if (pieces[i].key || !value || !readsEvent(*value) || !head || !takeName(fixed, column) ||
            !take(fixed, " = ") || !fixed.empty()) {
            return std::nullopt;
        }
        r.key.push_back({column, *value});
    }
    return r;
}

bool sameKey(const ComparedRecord& a, const ComparedRecord& b) {
    if (a.table != b.table || a.key.size() != b.key.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.key.size(); ++i) {
        const Key& x = a.key[i].value;
        const Key& y = b.key[i].value;
        if (a.key[i].column != b.key[i].column || x.from != y.from || x.field != y.field ||
            x.part != y.part) {
            return false;
        }
    }
    return true;
}

std::optional<ComparedRecord> comparedRecord(const KeyedFamily& row) {
    if (row.when || row.tables.empty()) {
        return std::nullopt;
    }
    const KeyedTable& table = row.tables.front();
    if (table.rowSet || table.leaveExisting) {
        return std::nullopt;
    }
    std::optional<ComparedRecord> r = parseRecordText(table.source.in(Phase::Download));
    const std::optional<ComparedRecord> upload = parseRecordText(table.source.in(Phase::Upload));
    if (!r || !upload || !sameKey(*r, *upload)) {
        return std::nullopt;
    }
    r->type = row.type;
    const erp::Document* document = erp::document(row.type);
    r->record = document ? document->record : nullptr;
    for (const NamedColumn& c : table.columns) {
        r->columns.push_back(db::upperCase(c.name));
        if (c.mode == ColumnMode::Currency) {
            r->nullAsZero.push_back(r->columns.back());
        }
    }
    for (const Phase phase : {Phase::Download, Phase::Upload}) {
        const std::vector<Col>& kept = table.keepOnUpdate.in(phase);
        r->kept.insert(r->kept.end(), kept.begin(), kept.end());
    }
    r->joinedCode = row.joinedCode;
    r->deleteLetters =
        row.deleteForm.kind == DeleteKind::None ? Letters{} : row.deleteForm.deleteLetters;
    return r;
}

// The value an event gives key column k ("" when it has none).
std::string eventValue(const SentEvent& e, const ComparedRecord& r, const Key& k) {
    if (k.from == Key::From::CodePart) {
        const auto parts = splitJoinedCode(e.code, r.joinedCode);
        return parts && k.part >= 1 && static_cast<std::size_t>(k.part) <= parts->size()
                   ? db::rtrim((*parts)[static_cast<std::size_t>(k.part - 1)])
                   : std::string();
    }
    switch (k.field) {
        case EventField::Code:
            return e.code;
        case EventField::IdDoc:
            return e.iddoc;
        case EventField::Data:
            return e.data;
        default:
            return e.prefix;
    }
}

// The last letter each key was sent with, of r's events.
std::map<RecordKey, std::string> lastLetters(const SentRecords& events, const ComparedRecord& r) {
    std::map<RecordKey, std::string> letters;
    for (const SentEvent& e : events) {
        if (e.type != r.type) {
            continue;
        }
        RecordKey key;
        for (const ComparedRecord::KeyColumn& k : r.key) {
            key.push_back(eventValue(e, r, k.value));
        }
        letters[key] = e.letter;
    }
    return letters;
}

struct Column {
    std::string name;
    bool fixedPoint = false;
    bool nullAsZero = false;
};

// The columns compared besides the key: the copy's written ones (or every
// one), but blobs and those an update keeps.
std::vector<Column> comparedColumns(db::Connection& conn, const ComparedRecord& r) {
    std::vector<Column> all;
    db::Query q(conn);
    q.open(recordColumnsSql(r.table));
    for (q.first(); !q.eof(); q.next()) {
        const bool blob = !q.isNull(2) && q.asInt(2) == 261;
        all.push_back({blob ? std::string() : field(q, 0), !q.isNull(1) && q.asInt(1) < 0});
    }
    std::vector<Column> compared;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& name = all[i].name;
        const auto isKey = [&](const ComparedRecord::KeyColumn& k) { return k.column == name; };
        const auto isKept = [&](const Col& c) {
            return c.name ? db::upperCase(c.name) == name : c.position == static_cast<int>(i);
        };
        const bool written = r.columns.empty() ||
                             std::find(r.columns.begin(), r.columns.end(), name) != r.columns.end();
        if (!name.empty() && written && std::none_of(r.key.begin(), r.key.end(), isKey) &&
            std::none_of(r.kept.begin(), r.kept.end(), isKept)) {
            compared.push_back(all[i]);
            compared.back().nullAsZero =
                std::find(r.nullAsZero.begin(), r.nullAsZero.end(), name) != r.nullAsZero.end();
        }
    }
    return compared;
}

std::string recordListSql(const ComparedRecord& r, const std::vector<Column>& columns) {
    std::string sql = "select ";
    for (const ComparedRecord::KeyColumn& k : r.key) {
        sql += k.column + ", ";
    }
    for (const Column& c : columns) {
        const std::string value = c.nullAsZero ? "coalesce(" + c.name + ", 0)" : c.name;
        sql +=
            c.fixedPoint || c.nullAsZero ? "cast(" + value + " as numeric(18,4)), " : value + ", ";
    }
    sql.resize(sql.size() - 2);
    return sql + " from " + r.table;
}

Rows readRecords(db::Connection& conn, const std::string& sql, std::size_t keyWidth) {
    Rows rows;
    db::Query q(conn);
    q.open(sql);
    for (q.first(); !q.eof(); q.next()) {
        RecordKey key;
        std::vector<std::string> values;
        for (int c = 0; c < q.columnCount(); ++c) {
            (static_cast<std::size_t>(c) < keyWidth ? key : values).push_back(field(q, c));
        }
        rows.emplace(std::move(key), std::move(values));
    }
    return rows;
}

std::string keyText(const ComparedRecord& r, const RecordKey& key) {
    std::string text;
    for (std::size_t i = 0; i < key.size(); ++i) {
        text += (i ? ", " : "") + r.key[i].column + "=" + key[i];
    }
    return text;
}

// A finding about the record of key, with the event fields that name it.
Discrepancy recordDiscrepancy(const ComparedRecord& r, Finding finding, Side at,
                              const RecordKey& key) {
    Discrepancy d;
    d.type = r.type;
    d.finding = finding;
    d.at = at;
    d.key = keyText(r, key);
    std::vector<std::string> parts(static_cast<std::size_t>(std::max(r.joinedCode, 0)));
    for (std::size_t i = 0; i < key.size(); ++i) {
        const Key& k = r.key[i].value;
        if (k.from == Key::From::CodePart && k.part >= 1 &&
            static_cast<std::size_t>(k.part) <= parts.size()) {
            parts[static_cast<std::size_t>(k.part - 1)] = key[i];
        } else if (k.field == EventField::Code) {
            d.code = key[i];
        } else if (k.field == EventField::IdDoc) {
            d.id = db::allDigits(key[i]) && !key[i].empty() ? std::stoll(key[i]) : 0;
        } else if (k.field == EventField::Data) {
            d.data = key[i];
        } else {
            d.prefix = key[i];
        }
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        d.code += (i ? "|" : "") + parts[i];
    }
    return d;
}

std::string valueDifferences(const std::vector<Column>& columns, const std::vector<std::string>& a,
                             const std::vector<std::string>& b) {
    std::string what;
    for (std::size_t c = 0; c < columns.size() && c < a.size() && c < b.size(); ++c) {
        if (a[c] != b[c]) {
            what += (what.empty() ? "" : "; ") + columns[c].name + ": " + a[c] + " / " + b[c];
        }
    }
    return what;
}

// What each side sent the other of one family.
struct SentKeys {
    std::map<RecordKey, std::string> bySource{}, byDestination{};
    bool filtered = false, sendsBack = false;
    Letters deleteLetters{};

    bool kept(const std::map<RecordKey, std::string>& m, const RecordKey& k) const {
        const auto found = m.find(k);
        return found != m.end() && !among(deleteLetters, found->second);
    }
    bool deleted(const std::map<RecordKey, std::string>& m, const RecordKey& k) const {
        const auto found = m.find(k);
        return found != m.end() && among(deleteLetters, found->second);
    }
    bool fromSource(const RecordKey& k) const { return !filtered || kept(bySource, k); }
    bool fromDestination(const RecordKey& k) const {
        return sendsBack && (!filtered || kept(byDestination, k));
    }
};

struct Merge {
    const ComparedRecord& record;
    const std::vector<Column>& columns;
    const SentKeys& sent;
    PairReport& report;
    FamilyTally& tally;

    void add(Finding finding, Side at, const RecordKey& key, std::string what = {}) {
        Discrepancy d = recordDiscrepancy(record, finding, at, key);
        d.what = std::move(what);
        report.discrepancies.push_back(std::move(d));
        ++(finding == Finding::Missing ? tally.missing
           : finding == Finding::Extra ? tally.extra
                                       : tally.different);
    }
    void sourceOnly(const RecordKey& key) {
        if (sent.fromSource(key)) {
            add(Finding::Missing, Side::Destination, key);
        } else if (sent.sendsBack && sent.deleted(sent.byDestination, key)) {
            add(Finding::Extra, Side::Source, key);
        }
    }
    void destinationOnly(const RecordKey& key) {
        if (sent.fromDestination(key)) {
            add(Finding::Missing, Side::Source, key);
        } else if (sent.deleted(sent.bySource, key) || (!sent.filtered && !sent.sendsBack)) {
            add(Finding::Extra, Side::Destination, key);
        }
    }
    void both(const RecordKey& key, const std::vector<std::string>& s,
              const std::vector<std::string>& d) {
        const bool bySource = sent.fromSource(key);
        if (!bySource && !sent.fromDestination(key)) {
            return;  // each company's own record under one key
        }
        std::string what = valueDifferences(columns, s, d);
        if (what.empty()) {
            ++tally.equal;
        } else {
            add(Finding::Different, bySource ? Side::Destination : Side::Source, key,
                std::move(what));
        }
    }
};

void compareRecord(db::Connection& source, db::Connection& destination, const ComparedRecord& r,
                   const SentKeys& sent, PairReport& report, FamilyTally& tally) {
    const std::vector<Column> columns = comparedColumns(source, r);
    const std::string sql = recordListSql(r, columns);
    const Rows inSource = readRecords(source, sql, r.key.size());
    const Rows inDestination = readRecords(destination, sql, r.key.size());
    Merge merge{r, columns, sent, report, tally};
    auto s = inSource.begin();
    auto d = inDestination.begin();
    while (s != inSource.end() || d != inDestination.end()) {
        if (d == inDestination.end() || (s != inSource.end() && s->first < d->first)) {
            merge.sourceOnly((s++)->first);
        } else if (s == inSource.end() || d->first < s->first) {
            merge.destinationOnly((d++)->first);
        } else {
            merge.both(s->first, s->second, d->second);
            ++s;
            ++d;
        }
    }
}

}  // namespace

std::vector<ComparedRecord> comparedRecords(const std::vector<const KeyedFamily*>& rows) {
    std::vector<ComparedRecord> records;
    for (const KeyedFamily* row : rows) {
        const auto seen = [&](const ComparedRecord& r) { return r.type == row->type; };
        std::optional<ComparedRecord> r = comparedRecord(*row);
        if (r && std::none_of(records.begin(), records.end(), seen)) {
            records.push_back(std::move(*r));
        }
    }
    return records;
}

std::string recordColumnsSql(const std::string& table) {
    return "select trim(rf.RDB$FIELD_NAME), f.RDB$FIELD_SCALE, f.RDB$FIELD_TYPE from "
           "RDB$RELATION_FIELDS rf join RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
           "where rf.RDB$RELATION_NAME = " +
           Q(table) + " order by rf.RDB$FIELD_POSITION";
}

std::string sentRecordsSql(const std::string& destination,
                           const std::vector<ComparedRecord>& records) {
    std::string types;
    for (const ComparedRecord& r : records) {
        types += (types.empty() ? "" : ", ") + sqlInt(r.type);
    }
    return "select RPEV_TIPO, RPEV_CODIGO, RPEV_IDDOC, RPEV_DATOS, RPEV_PREF, RPEV_OPER from "
           "REPLICA_EVENTOS where RPEV_COMPANIA = " +
           Q(destination) + " and RPEV_TIPO in (" + (types.empty() ? "0" : types) +
           ") order by RPEV_ID";
}

SentRecords sentRecords(db::Connection& source, const std::string& destination,
                        const std::vector<ComparedRecord>& records) {
    SentRecords sent;
    db::Query q(source);
    q.open(sentRecordsSql(destination, records));
    for (q.first(); !q.eof(); q.next()) {
        sent.push_back({.type = static_cast<int>(q.asInt(0)),
                        .code = field(q, 1),
                        .iddoc = field(q, 2),
                        .data = field(q, 3),
                        .prefix = field(q, 4),
                        .letter = field(q, 5)});
    }
    return sent;
}

void compareRecords(db::Connection& source, db::Connection& destination,
                    const std::vector<ComparedRecord>& records, PairReport& report,
                    const Progress& progress, const SentRecords* sent,
                    const SentRecords* sentBack) {
    std::int64_t compared = 0;
    for (const ComparedRecord& r : records) {
        SentKeys keys{.filtered = sent != nullptr,
                      .sendsBack = report.destinationSendsBack,
                      .deleteLetters = r.deleteLetters};
        if (sent) {
            keys.bySource = lastLetters(*sent, r);
        }
        if (sentBack) {
            keys.byDestination = lastLetters(*sentBack, r);
        }
        FamilyTally tally{.type = r.type, .record = r.record};
        compareRecord(source, destination, r, keys, report, tally);
        compared += tally.equal + tally.missing + tally.extra + tally.different;
        report.families.push_back(tally);
        if (progress) {
            progress(tally, compared);
        }
    }
}

}  // namespace replica
