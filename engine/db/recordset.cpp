#include "engine/db/recordset.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/db/fb.h"
#include "engine/db/query.h"

namespace replica::db {

namespace {

bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

std::string quoteIdent(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

bool isNumber(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Int:
        case Value::Kind::Decimal:
        case Value::Kind::Currency:
        case Value::Kind::Double:
            return true;
        default:
            return false;
    }
}

Value asDecimal(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Int:
            return Value(Decimal{v.asInt(), 0});
        case Value::Kind::Currency:
            return Value(v.asCurrency().toDecimal());
        default:
            return v;
    }
}

std::string rtrimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// Key values as the database compares them: numbers by value whatever their
// kind, texts without trailing blanks (CHAR pads them).
bool sameKeyValue(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) {
        return a.isNull() && b.isNull();
    }
    if (isNumber(a) && isNumber(b)) {
        if (a.kind() == Value::Kind::Double || b.kind() == Value::Kind::Double) {
            return a.asDouble() == b.asDouble();
        }
        return asDecimal(a) == asDecimal(b);
    }
    if (a.text() && b.text()) {
        return rtrimmed(*a.text()) == rtrimmed(*b.text());
    }
    return a == b;
}

}  // namespace

std::string tableAfterFrom(const std::string& select) {
    // Find the keyword FROM outside quotes.
    const std::size_t n = select.size();
    char quote = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = select[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (i + 4 <= n && strncasecmp(select.c_str() + i, "from", 4) == 0 &&
            (i == 0 || !isIdentChar(select[i - 1])) &&
            (i + 4 == n || !isIdentChar(select[i + 4]))) {
            std::size_t j = i + 4;
            while (j < n && std::isspace(static_cast<unsigned char>(select[j]))) {
                ++j;
            }
            if (j < n && select[j] == '"') {
                const std::size_t end = select.find('"', j + 1);
                return select.substr(j + 1,
                                     end == std::string::npos ? std::string::npos : end - j - 1);
            }
            std::string name;
            while (j < n && isIdentChar(select[j])) {
                name += static_cast<char>(std::toupper(static_cast<unsigned char>(select[j])));
                ++j;
            }
            return name;
        }
    }
    return {};
}

void RecordSet::requireOpen() const {
    if (!m_open) {
        throw PostError("Dataset not open");
    }
}

void RecordSet::open(const std::string& select) {
    close();
    runSelect(*m_conn, select, m_columns, m_rows);
    m_table = tableAfterFrom(select);
    m_meta.assign(m_rows.size(), Meta{});
    m_open = true;
    m_cursor = 0;
}

void RecordSet::close() {
    m_open = false;
    m_columns.clear();
    m_rows.clear();
    m_meta.clear();
    m_deleted.clear();
    m_mode = Mode::Browse;
    m_buffer.clear();
    m_bufferAssigned.clear();
    m_cursor = 0;
    m_table.clear();
}

bool RecordSet::writable(int column) const {
    const Column& c = m_columns[static_cast<std::size_t>(column)];
    return strcasecmp(c.relation.c_str(), m_table.c_str()) == 0;
}

void RecordSet::append() {
    requireOpen();
    if (m_mode != Mode::Browse) {
        post();
    }
    m_mode = Mode::Insert;
    m_buffer.assign(m_columns.size(), Value());
    m_bufferAssigned.assign(m_columns.size(), false);
    m_cursor = static_cast<int>(m_rows.size());
}

void RecordSet::edit() {
    requireOpen();
    if (m_mode != Mode::Browse) {
        return;
    }
    if (eof()) {
        throw PostError("Cannot perform this operation on an empty dataset");
    }
    m_mode = Mode::Edit;
    m_buffer = m_rows[static_cast<std::size_t>(m_cursor)];
    m_bufferAssigned.assign(m_columns.size(), false);
}

void RecordSet::set(int column, Value value) {
    requireOpen();
    if (column < 0 || column >= columnCount()) {
        throw std::out_of_range("column index " + std::to_string(column) + " out of range");
    }
    if (m_mode == Mode::Browse) {
        edit();
    }
    m_buffer[static_cast<std::size_t>(column)] = std::move(value);
    m_bufferAssigned[static_cast<std::size_t>(column)] = true;
}

void RecordSet::post() {
    requireOpen();
    if (m_mode == Mode::Browse) {
        return;
    }
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].required && m_buffer[i].isNull() && writable(static_cast<int>(i))) {
            throw PostError("Field '" + m_columns[i].name + "' must have a value");
        }
    }
    std::vector<std::size_t> key;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].inKey) {
            key.push_back(i);
        }
    }
    if (!key.empty()) {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            if (m_mode == Mode::Edit && static_cast<int>(r) == m_cursor) {
                continue;
            }
            bool same = true;
            for (std::size_t k : key) {
                if (!sameKeyValue(m_rows[r][k], m_buffer[k])) {
                    same = false;
                    break;
                }
            }
            if (same) {
                throw PostError("Key violation.");
            }
        }
    }
    if (m_mode == Mode::Insert) {
        m_rows.push_back(m_buffer);
        Meta meta;
        meta.state = State::Inserted;
        meta.assigned = m_bufferAssigned;
        meta.seq = ++m_seq;
        m_meta.push_back(std::move(meta));
        m_cursor = static_cast<int>(m_rows.size()) - 1;
    } else {
        const std::size_t r = static_cast<std::size_t>(m_cursor);
        Meta& meta = m_meta[r];
        if (meta.state == State::Unchanged) {
            meta.state = State::Modified;
            meta.original = m_rows[r];
            meta.seq = ++m_seq;
        } else if (meta.state == State::Inserted) {
            for (std::size_t i = 0; i < m_bufferAssigned.size(); ++i) {
                if (m_bufferAssigned[i]) {
                    meta.assigned[i] = true;
                }
            }
        }
        m_rows[r] = m_buffer;
    }
    m_mode = Mode::Browse;
    m_buffer.clear();
    m_bufferAssigned.clear();
}

void RecordSet::cancel() {
    if (m_mode == Mode::Insert && m_cursor >= static_cast<int>(m_rows.size())) {
        m_cursor = m_rows.empty() ? 0 : static_cast<int>(m_rows.size()) - 1;
    }
    m_mode = Mode::Browse;
    m_buffer.clear();
    m_bufferAssigned.clear();
}

void RecordSet::remove() {
    requireOpen();
    if (m_mode == Mode::Insert) {
        cancel();
        return;
    }
    m_mode = Mode::Browse;
    if (eof()) {
        throw PostError("Cannot perform this operation on an empty dataset");
    }
    const std::size_t r = static_cast<std::size_t>(m_cursor);
    Meta& meta = m_meta[r];
    if (meta.state != State::Inserted) {
        m_deleted.push_back(
            Deleted{meta.state == State::Modified ? meta.original : m_rows[r], ++m_seq});
    }
    m_rows.erase(m_rows.begin() + static_cast<long>(r));
    m_meta.erase(m_meta.begin() + static_cast<long>(r));
}

int RecordSet::changeCount() const {
    int n = static_cast<int>(m_deleted.size());
    for (const Meta& m : m_meta) {
        if (m.state != State::Unchanged) {
            ++n;
        }
    }
    return n;
}

// ---------------------------------------------------------------------------
// apply

namespace {

struct Param {
    const Value* value;
    const Column* column;
};

// The message type a parameter is sent as: chosen from the value, so that
// no digit is lost on the way (Firebird converts to the column's own type).
struct ParamType {
    unsigned type;
    int scale;
    unsigned length;
    unsigned charSet;
    int subType;
};

// The longest text a VARCHAR parameter can carry. Longer texts are refused
// as the database refuses a text longer than its column, never cut.
constexpr std::size_t kMaxTextBytes = 32765;

void checkLength(std::size_t bytes, const Column& c) {
    if (bytes > kMaxTextBytes) {
        throw Error(
            "arithmetic exception, numeric overflow, or string truncation\n-string right "
            "truncation\n-column " +
                c.name + ": " + std::to_string(bytes) + " bytes do not fit",
            ErrorKind::Constraint);
    }
}

ParamType paramType(const Param& p) {
    const Column& c = *p.column;
    const unsigned textBytes = static_cast<unsigned>(std::max(c.length, 1)) * 4;
    if (c.isBlob()) {
        return {SQL_BLOB, 0, 8, c.subType == 1 ? 4u : 0u, c.subType};
    }
    switch (p.value->kind()) {
        case Value::Kind::Null:
            return {SQL_VARYING, 0, 4, 4, 0};
        case Value::Kind::Int:
            return {SQL_INT64, 0, 8, 0, 0};
        case Value::Kind::Decimal:
            return {SQL_INT64, p.value->decimal()->scale, 8, 0, 0};
        case Value::Kind::Currency:
            return {SQL_INT64, -4, 8, 0, 0};
        case Value::Kind::Double:
            return {SQL_DOUBLE, 0, 8, 0, 0};
        case Value::Kind::Date:
            return {SQL_TYPE_DATE, 0, 4, 0, 0};
        case Value::Kind::Time:
            return {SQL_TYPE_TIME, 0, 4, 0, 0};
        case Value::Kind::Timestamp:
            return {SQL_TIMESTAMP, 0, 8, 0, 0};
        case Value::Kind::Text: {
            const std::size_t len = p.value->text()->size();
            checkLength(len, c);
            return {SQL_VARYING, 0,
                    std::min<unsigned>(std::max({textBytes, static_cast<unsigned>(len), 64u}),
                                       kMaxTextBytes),
                    4, 0};
        }
        case Value::Kind::Bytes: {
            const std::size_t len = p.value->bytes()->data.size();
            checkLength(len, c);
            return {SQL_VARYING, 0,
                    std::min<unsigned>(std::max({textBytes, static_cast<unsigned>(len), 1u}),
                                       kMaxTextBytes),
                    1, 0};
        }
    }
    return {SQL_VARYING, 0, 4, 4, 0};
}

void putValue(Connection& conn, fb::ITransaction* tra, const Param& p, const ParamType& t,
              unsigned char* at) {
    const Value& v = *p.value;
    switch (t.type) {
        case SQL_BLOB: {
            std::string data = v.asText();
            fb::Status st;
            ISC_QUAD id;
            fb::Ref<Firebird::IBlob> blob(conn.impl().att->createBlob(&st, tra, &id, 0, nullptr));
            for (std::size_t off = 0; off < data.size(); off += 32768) {
                const unsigned len =
                    static_cast<unsigned>(std::min<std::size_t>(32768, data.size() - off));
                blob->putSegment(&st, len, data.data() + off);
            }
            blob->close(&st);
            blob.dismiss();
            std::memcpy(at, &id, sizeof id);
            return;
        }
        case SQL_INT64: {
            std::int64_t raw = 0;
            if (v.kind() == Value::Kind::Int) {
                raw = v.asInt();
            } else if (v.kind() == Value::Kind::Decimal) {
                raw = v.decimal()->mantissa;
            } else {
                raw = v.asCurrency().raw();
            }
            std::memcpy(at, &raw, sizeof raw);
            return;
        }
        case SQL_DOUBLE: {
            const double d = v.asDouble();
            std::memcpy(at, &d, sizeof d);
            return;
        }
        case SQL_TYPE_DATE: {
            const Date& d = *v.date();
            const ISC_DATE x = fb::util()->encodeDate(static_cast<unsigned>(d.year),
                                                      static_cast<unsigned>(d.month),
                                                      static_cast<unsigned>(d.day));
            std::memcpy(at, &x, sizeof x);
            return;
        }
        case SQL_TYPE_TIME: {
            const Time& tm = *v.time();
            const ISC_TIME x = fb::util()->encodeTime(
                static_cast<unsigned>(tm.hour), static_cast<unsigned>(tm.minute),
                static_cast<unsigned>(tm.second), static_cast<unsigned>(tm.fraction));
            std::memcpy(at, &x, sizeof x);
            return;
        }
        case SQL_TIMESTAMP: {
            const Timestamp& ts = *v.timestamp();
            ISC_TIMESTAMP x;
            x.timestamp_date = fb::util()->encodeDate(static_cast<unsigned>(ts.date.year),
                                                      static_cast<unsigned>(ts.date.month),
                                                      static_cast<unsigned>(ts.date.day));
            x.timestamp_time = fb::util()->encodeTime(
                static_cast<unsigned>(ts.time.hour), static_cast<unsigned>(ts.time.minute),
                static_cast<unsigned>(ts.time.second), static_cast<unsigned>(ts.time.fraction));
            std::memcpy(at, &x, sizeof x);
            return;
        }
        case SQL_VARYING: {
            std::string data = v.asText();
            const std::uint16_t len = static_cast<std::uint16_t>(data.size());
            std::memcpy(at, &len, sizeof len);
            std::memcpy(at + 2, data.data(), len);
            return;
        }
        default:
            return;
    }
}

// Executes one prepared statement with the given parameters; returns the
// number of rows it touched. When the statement has a RETURNING clause, the
// values returned are decoded into *returned (columns[i] describes value i).
// Throws Firebird::FbException, or Error for a value that cannot be sent.
unsigned long long executeWith(Connection& conn, fb::ITransaction* tra, const std::string& sql,
                               const std::vector<Param>& params,
                               const std::vector<const Column*>& returning, Row* returned) {
    fb::Status st;
    fb::IStatement* stmt = conn.impl().prepared(sql, tra);
    std::vector<ParamType> types;
    types.reserve(params.size());
    for (const Param& p : params) {
        types.push_back(paramType(p));
    }
    // Message layouts are cached by their types: building one costs a dozen
    // client calls per parameter, and a copy sends the same layout row after row.
    std::string signature;
    for (const ParamType& t : types) {
        signature += std::to_string(t.type) + ':' + std::to_string(t.subType) + ':' +
                     std::to_string(t.length) + ':' + std::to_string(t.scale) + ':' +
                     std::to_string(t.charSet) + ';';
    }
    auto& cache = conn.impl().messages;
    auto found = cache.find(signature);
    if (found == cache.end()) {
        if (cache.size() >= 512) {
            cache.clear();
        }
        fb::Ref<Firebird::IMetadataBuilder> builder(
            fb::master()->getMetadataBuilder(&st, static_cast<unsigned>(params.size())));
        for (unsigned i = 0; i < params.size(); ++i) {
            const ParamType& t = types[i];
            builder->setType(&st, i, t.type | 1);  // nullable
            builder->setSubType(&st, i, t.subType);
            builder->setLength(&st, i, t.length);
            builder->setScale(&st, i, t.scale);
            builder->setCharSet(&st, i, t.charSet);
        }
        fb::Ref<fb::IMessageMetadata> built(builder->getMetadata(&st));
        found = cache.emplace(signature, fb::layoutOf(built.get())).first;
    }
    const fb::MessageLayout& in = found->second;
    std::vector<unsigned char> buffer(in.length);
    for (unsigned i = 0; i < params.size(); ++i) {
        std::int16_t isNull = params[i].value->isNull() ? -1 : 0;
        std::memcpy(buffer.data() + in.fields[i].nullOffset, &isNull, sizeof isNull);
        if (!isNull) {
            putValue(conn, tra, params[i], types[i], buffer.data() + in.fields[i].offset);
        }
    }
    if (returning.empty() || !returned) {
        stmt->execute(&st, tra, in.meta.get(), buffer.data(), nullptr, nullptr);
        return stmt->getAffectedRecords(&st);
    }
    auto& outputs = conn.impl().outputs;
    auto outFound = outputs.find(sql);
    if (outFound == outputs.end()) {
        fb::Ref<fb::IMessageMetadata> meta(stmt->getOutputMetadata(&st));
        outFound = outputs.emplace(sql, fb::layoutOf(meta.get())).first;
    }
    const fb::MessageLayout& out = outFound->second;
    std::vector<unsigned char> outBuffer(out.length);
    stmt->execute(&st, tra, in.meta.get(), buffer.data(), out.meta.get(), outBuffer.data());
    const unsigned long long n = stmt->getAffectedRecords(&st);
    if (n > 0) {
        returned->clear();
        returned->reserve(returning.size());
        for (unsigned i = 0; i < returning.size(); ++i) {
            const fb::MessageLayout::Field& f = out.fields[i];
            std::int16_t isNull;
            std::memcpy(&isNull, outBuffer.data() + f.nullOffset, sizeof isNull);
            if (isNull) {
                returned->emplace_back();
            } else {
                returned->push_back(fb::decode(conn, tra, *returning[i], f.type, f.charSet,
                                               f.length, outBuffer.data() + f.offset));
            }
        }
    }
    return n;
}

}  // namespace

int RecordSet::apply(int maxErrors, const ErrorCallback& onError) {
    requireOpen();
    if (m_mode != Mode::Browse) {
        post();
    }
    struct Change {
        long seq;
        int row;      // index in m_rows, or -1 for a deleted row
        int deleted;  // index in m_deleted
    };
    std::vector<Change> changes;
    for (std::size_t r = 0; r < m_meta.size(); ++r) {
        if (m_meta[r].state != State::Unchanged) {
            changes.push_back({m_meta[r].seq, static_cast<int>(r), -1});
        }
    }
    for (std::size_t d = 0; d < m_deleted.size(); ++d) {
        changes.push_back({m_deleted[d].seq, -1, static_cast<int>(d)});
    }
    if (changes.empty()) {
        return 0;
    }
    std::sort(changes.begin(), changes.end(),
              [](const Change& a, const Change& b) { return a.seq < b.seq; });
    if (!m_conn->isOpen()) {
        m_conn->open();
    }

    const std::string table = quoteIdent(m_table);
    auto column = [&](std::size_t i) {
        const Column& c = m_columns[i];
        return quoteIdent(c.field.empty() ? c.name : c.field);
    };
    // Every column of the table comes back from INSERT and UPDATE, so that
    // the row in memory holds what the database stored (defaults, triggers,
    // rounding to the column's scale).
    std::string returningList;
    std::vector<const Column*> returning;
    std::vector<std::size_t> returningAt;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (writable(static_cast<int>(i))) {
            returningList += (returningList.empty() ? "" : ", ") + column(i);
            returning.push_back(&m_columns[i]);
            returningAt.push_back(i);
        }
    }
    const std::string returningClause =
        returningList.empty() ? std::string() : " RETURNING " + returningList;
    // WHERE clause identifying a row by every non-BLOB value as read; ROWS 1
    // keeps a table without a key from changing every twin of the row.
    auto whereFor = [&](const Row& original, std::string& sql, std::vector<Param>& params) {
        std::string where;
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (!writable(static_cast<int>(i)) || m_columns[i].isBlob()) {
                continue;
            }
            where += where.empty() ? " WHERE " : " AND ";
            if (original[i].isNull()) {
                where += column(i) + " IS NULL";
            } else {
                where += column(i) + " = ?";
                params.push_back({&original[i], &m_columns[i]});
            }
        }
        sql += where + " ROWS 1";
    };

    int failed = 0;
    std::vector<bool> done(changes.size(), false);
    std::vector<Row> returned(changes.size());
    const std::vector<const Column*> noReturning;
    auto fail = [&](const Error& e) {
        if (onError) {
            onError(e);
        }
        ++failed;
        return maxErrors >= 0 && failed > maxErrors;
    };
    try {
        fb::Transaction tra(m_conn->impl().att.get(), false);
        for (std::size_t c = 0; c < changes.size(); ++c) {
            const Change& ch = changes[c];
            std::string sql;
            std::vector<Param> params;
            bool expectRow = true;
            bool returns = false;
            if (ch.row < 0) {
                sql = "DELETE FROM " + table;
                whereFor(m_deleted[static_cast<std::size_t>(ch.deleted)].original, sql, params);
            } else {
                const Row& row = m_rows[static_cast<std::size_t>(ch.row)];
                const Meta& meta = m_meta[static_cast<std::size_t>(ch.row)];
                if (meta.state == State::Inserted) {
                    std::string cols, marks;
                    for (std::size_t i = 0; i < m_columns.size(); ++i) {
                        if (!meta.assigned[i] || !writable(static_cast<int>(i))) {
                            continue;
                        }
                        cols += (cols.empty() ? "" : ", ") + column(i);
                        marks += marks.empty() ? "?" : ", ?";
                        params.push_back({&row[i], &m_columns[i]});
                    }
                    sql = cols.empty()
                              ? "INSERT INTO " + table + " DEFAULT VALUES"
                              : "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")";
                    sql += returningClause;
                    expectRow = false;
                    returns = true;
                } else {
                    std::string sets;
                    for (std::size_t i = 0; i < m_columns.size(); ++i) {
                        if (!writable(static_cast<int>(i)) || row[i] == meta.original[i]) {
                            continue;
                        }
                        sets += (sets.empty() ? "" : ", ") + column(i) + " = ?";
                        params.push_back({&row[i], &m_columns[i]});
                    }
                    if (sets.empty()) {
                        done[c] = true;
                        continue;
                    }
                    sql = "UPDATE " + table + " SET " + sets;
                    whereFor(meta.original, sql, params);
                    sql += returningClause;
                    returns = true;
                }
            }
            m_conn->trace(sql);
            bool ok = true;
            try {
                const unsigned long long n =
                    executeWith(*m_conn, tra.get(), sql, params, returns ? returning : noReturning,
                                returns ? &returned[c] : nullptr);
                if (expectRow && n == 0) {
                    ok = false;
                    if (fail(Error("Record not found or changed by another user",
                                   ErrorKind::NotFound, 0, 0, sql))) {
                        return failed;  // the transaction rolls back
                    }
                }
            } catch (const Firebird::FbException& e) {
                ok = false;
                if (fail(fb::toError(e, sql))) {
                    return failed;
                }
            } catch (const PostError&) {
                throw;
            } catch (const Error& e) {
                // Refused before reaching the table (a statement that cannot
                // be prepared, a value that cannot be sent): this row failed.
                ok = false;
                if (fail(e)) {
                    return failed;
                }
            }
            done[c] = ok;
        }
        tra.commit();
    } catch (const Firebird::FbException& e) {
        // Starting or committing the transaction failed: nothing was written.
        throw fb::toError(e, "COMMIT");
    }

    // Merge what was written: those rows are now as the database holds them.
    std::vector<Deleted> remaining;
    for (std::size_t c = 0; c < changes.size(); ++c) {
        const Change& ch = changes[c];
        if (!done[c]) {
            if (ch.row < 0) {
                remaining.push_back(m_deleted[static_cast<std::size_t>(ch.deleted)]);
            }
            continue;
        }
        if (ch.row >= 0) {
            Row& row = m_rows[static_cast<std::size_t>(ch.row)];
            if (!returned[c].empty()) {
                for (std::size_t k = 0; k < returningAt.size(); ++k) {
                    row[returningAt[k]] = std::move(returned[c][k]);
                }
            }
            m_meta[static_cast<std::size_t>(ch.row)] = Meta{};
        }
    }
    m_deleted = std::move(remaining);
    return failed;
}

}  // namespace replica::db
