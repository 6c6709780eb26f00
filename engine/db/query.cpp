#include "engine/db/query.h"

#include <strings.h>
#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/db/fb.h"
#include "engine/db/params.h"

namespace replica::db {

namespace fb {

namespace {

ColumnType columnType(unsigned sqlType) {
    switch (sqlType) {
        case SQL_SHORT:
            return ColumnType::SmallInt;
        case SQL_LONG:
            return ColumnType::Integer;
        case SQL_INT64:
            return ColumnType::BigInt;
        case SQL_FLOAT:
            return ColumnType::Float;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return ColumnType::Double;
        case SQL_TEXT:
            return ColumnType::Char;
        case SQL_VARYING:
            return ColumnType::VarChar;
        case SQL_TYPE_DATE:
            return ColumnType::Date;
        case SQL_TYPE_TIME:
            return ColumnType::Time;
        case SQL_TIMESTAMP:
            return ColumnType::Timestamp;
        case SQL_BLOB:
            return ColumnType::Blob;
        case SQL_BOOLEAN:
            return ColumnType::Boolean;
        default:
            return ColumnType::Other;
    }
}

std::string readBlob(Connection& conn, ITransaction* tra, ISC_QUAD* id) {
    Status st;
    Ref<Firebird::IBlob> blob(conn.impl().att->openBlob(&st, tra, id, 0, nullptr));
    std::string out;
    char buf[16384];
    for (;;) {
        unsigned len = 0;
        int rc = blob->getSegment(&st, sizeof buf, buf, &len);
        if (rc == Firebird::IStatus::RESULT_OK || rc == Firebird::IStatus::RESULT_SEGMENT) {
            out.append(buf, len);
        } else {
            break;
        }
    }
    blob->close(&st);
    blob.dismiss();
    return out;
}

}  // namespace

namespace {

// A field of an output message, as the client lays it out.
template <class T>
T fieldAt(const unsigned char* p) {
    T v{};
    std::memcpy(&v, p, sizeof v);
    return v;
}

// An exact number, as the column's scale says: whole or with decimals.
Value exact(std::int64_t v, const Column& col) {
    return col.scale < 0 ? Value(Decimal{v, col.scale}) : Value(v);
}

Value fixedText(const unsigned char* p, unsigned charSet, unsigned length) {
    std::string s(reinterpret_cast<const char*>(p), length);
    // A UTF8 CHAR(n) arrives padded to its byte length; keep the n
    // characters the column holds, blanks included.
    if (bytesPerChar(charSet) > 1) {
        const std::size_t chars = length / static_cast<unsigned>(bytesPerChar(charSet));
        while (utf8Length(s) > chars && !s.empty() && s.back() == ' ') {
            s.pop_back();
        }
    }
    return Value(std::move(s));
}

Date dateOf(ISC_DATE d) {
    unsigned y = 0;
    unsigned m = 0;
    unsigned dd = 0;
    util()->decodeDate(d, &y, &m, &dd);
    return Date{static_cast<int>(y), static_cast<int>(m), static_cast<int>(dd)};
}

Time timeOf(ISC_TIME t) {
    unsigned h = 0;
    unsigned mi = 0;
    unsigned s = 0;
    unsigned f = 0;
    util()->decodeTime(t, &h, &mi, &s, &f);
    return Time{static_cast<int>(h), static_cast<int>(mi), static_cast<int>(s),
                static_cast<int>(f)};
}

}  // namespace

Value decode(Connection& conn, ITransaction* tra, const Column& col, unsigned sqlType,
             unsigned charSet, unsigned length, const unsigned char* p) {
    switch (sqlType) {
        case SQL_SHORT:
            return exact(fieldAt<std::int16_t>(p), col);
        case SQL_LONG:
            return exact(fieldAt<std::int32_t>(p), col);
        case SQL_INT64:
            return exact(fieldAt<std::int64_t>(p), col);
        case SQL_FLOAT:
            return Value(static_cast<double>(fieldAt<float>(p)));
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return Value(fieldAt<double>(p));
        case SQL_BOOLEAN:
            return Value(std::int64_t{*p ? 1 : 0});
        case SQL_TEXT:
            return fixedText(p, charSet, length);
        case SQL_VARYING:
            return Value(
                std::string(reinterpret_cast<const char*>(p) + 2, fieldAt<std::uint16_t>(p)));
        case SQL_TYPE_DATE:
            return Value(dateOf(fieldAt<ISC_DATE>(p)));
        case SQL_TYPE_TIME:
            return Value(timeOf(fieldAt<ISC_TIME>(p)));
        case SQL_TIMESTAMP: {
            const auto ts = fieldAt<ISC_TIMESTAMP>(p);
            return Value(Timestamp{dateOf(ts.timestamp_date), timeOf(ts.timestamp_time)});
        }
        case SQL_BLOB: {
            auto id = fieldAt<ISC_QUAD>(p);
            std::string data = readBlob(conn, tra, &id);
            if (col.subType == 1) {
                return Value(std::move(data));
            }
            return Value(Bytes{std::vector<unsigned char>(data.begin(), data.end())});
        }
        default:
            return Value();
    }
}

MessageLayout layoutOf(IMessageMetadata* meta) {
    Status st;
    MessageLayout layout;
    meta->addRef();
    layout.meta.reset(meta);
    const unsigned n = meta->getCount(&st);
    layout.fields.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        layout.fields.push_back({meta->getType(&st, i), meta->getCharSet(&st, i),
                                 meta->getLength(&st, i), meta->getOffset(&st, i),
                                 meta->getNullOffset(&st, i)});
    }
    layout.length = meta->getMessageLength(&st);
    return layout;
}

void describe(Connection& conn, IMessageMetadata* meta, std::vector<Column>& columns) {
    Status st;
    const unsigned n = meta->getCount(&st);
    columns.clear();
    columns.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        Column c;
        c.name = meta->getAlias(&st, i);
        c.relation = meta->getRelation(&st, i);
        c.field = fb::rtrim(meta->getField(&st, i));
        const unsigned type = meta->getType(&st, i);
        c.type = columnType(type);
        c.scale = meta->getScale(&st, i);
        c.subType = meta->getSubType(&st, i);
        const unsigned len = meta->getLength(&st, i);
        c.length = (type == SQL_TEXT || type == SQL_VARYING)
                       ? static_cast<int>(len) / bytesPerChar(meta->getCharSet(&st, i))
                       : static_cast<int>(len);
        c.required = !meta->isNullable(&st, i);
        if (!c.relation.empty() && c.relation.rfind("RDB$", 0) != 0 &&
            c.relation.rfind("MON$", 0) != 0) {
            const TableInfo& info = conn.tableInfo(c.relation);
            const std::string field = fb::rtrim(meta->getField(&st, i));
            for (const std::string& k : info.primaryKey) {
                if (strcasecmp(k.c_str(), field.c_str()) == 0) {
                    c.inKey = true;
                }
            }
        }
        columns.push_back(std::move(c));
    }
}

Row decodeRow(Connection& conn, ITransaction* tra, const MessageLayout& layout,
              const unsigned char* buffer, const std::vector<const Column*>& columns) {
    Row row;
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const MessageLayout::Field& f = layout.fields[i];
        std::int16_t isNull;
        std::memcpy(&isNull, buffer + f.nullOffset, sizeof isNull);
        if (isNull) {
            row.emplace_back();
        } else {
            row.push_back(
                decode(conn, tra, *columns[i], f.type, f.charSet, f.length, buffer + f.offset));
        }
    }
    return row;
}

void fetchAll(Connection& conn, ITransaction* tra, IStatement* stmt, const InputMessage* input,
              IMessageMetadata* meta, const std::vector<Column>& columns,
              const std::function<void(Row&)>& take) {
    Status st;
    const MessageLayout layout = layoutOf(meta);
    std::vector<const Column*> described;
    described.reserve(columns.size());
    for (const Column& c : columns) {
        described.push_back(&c);
    }
    std::vector<unsigned char> buffer(layout.length);
    Ref<Firebird::IResultSet> rs(stmt->openCursor(
        &st, tra, input ? input->meta : nullptr,
        input ? const_cast<unsigned char*>(input->buffer.data()) : nullptr, meta, 0));
    while (rs->fetchNext(&st, buffer.data()) == Firebird::IStatus::RESULT_OK) {
        Row row = decodeRow(conn, tra, layout, buffer.data(), described);
        take(row);
    }
    rs->close(&st);
    rs.dismiss();
}

}  // namespace fb

void runSelect(Connection& conn, const std::string& sql, std::vector<Column>& columns,
               std::vector<Row>& rows, bool traced) {
    rows.clear();
    try {
        runSelectEach(
            conn, sql, columns, [&rows](Row& row) { rows.push_back(std::move(row)); }, traced);
    } catch (...) {
        rows.clear();
        throw;
    }
}

namespace {

// The one way a SELECT's text reaches the database: in its prepared form
// when the values it spells can travel as parameters (then `prepared` gets
// the statement and those values), as written otherwise (`written` gets the
// statement prepared for this once, columns already described). The caller
// says whether the read transaction ends with a commit (a fetch) or is
// dropped (a description).
template <typename Prepared, typename Written>
void overSelect(Connection& conn, const std::string& sql, std::vector<Column>& columns, bool traced,
                bool commit, Prepared prepared, Written written) {
    columns.clear();
    if (!conn.isOpen()) {
        conn.open();
    }
    if (traced) {
        conn.trace(sql);
    }
    fb::CallLimit limit(conn);
    try {
        fb::Status st;
        fb::StatementTransaction tra(conn, fb::Use::Read);
        std::vector<Value> values;
        if (const auto* select = fb::preparedSelect(conn, tra.get(), sql, values)) {
            columns = select->columns;
            prepared(tra.get(), *select, values);
        } else {
            fb::Ref<fb::IStatement> stmt(conn.impl().att->prepare(
                &st, tra.get(), 0, sql.c_str(), 3, fb::IStatement::PREPARE_PREFETCH_METADATA));
            fb::Ref<fb::IMessageMetadata> meta(stmt->getOutputMetadata(&st));
            fb::describe(conn, meta.get(), columns);
            written(tra.get(), stmt.get(), meta.get());
            stmt->free(&st);
            stmt.dismiss();
        }
        if (commit) {
            tra.commit();
        }
    } catch (const Firebird::FbException& e) {
        columns.clear();
        throw fb::toError(conn, e, sql);
    }
}

}  // namespace

void runSelectEach(Connection& conn, const std::string& sql, std::vector<Column>& columns,
                   const std::function<void(Row&)>& take, bool traced) {
    overSelect(
        conn, sql, columns, traced, true,
        [&](fb::ITransaction* tra, const auto& select, const std::vector<Value>& values) {
            std::optional<fb::InputMessage> input;
            if (!values.empty()) {
                input = fb::encodeLiterals(conn, tra, values, select.input.get());
            }
            fb::fetchAll(conn, tra, select.stmt.get(), input ? &*input : nullptr,
                         select.output.get(), columns, take);
        },
        [&](fb::ITransaction* tra, fb::IStatement* stmt, fb::IMessageMetadata* meta) {
            fb::fetchAll(conn, tra, stmt, nullptr, meta, columns, take);
        });
}

void describeSelect(Connection& conn, const std::string& sql, std::vector<Column>& columns) {
    overSelect(
        conn, sql, columns, false, false, [](fb::ITransaction*, const auto&, const auto&) {},
        [](fb::ITransaction*, fb::IStatement*, fb::IMessageMetadata*) {});
}

void Query::open(const std::string& sql) {
    close();
    m_sql = sql;
    runSelect(*m_conn, sql, m_columns, m_rows);
    m_open = true;
    m_cursor = 0;
}

void Query::close() {
    m_open = false;
    m_columns.clear();
    m_rows.clear();
    m_cursor = 0;
}

}  // namespace replica::db
