#include "engine/db/recordset.h"

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>

#include "engine/db/fb.h"
#include "engine/db/params.h"
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
        return fb::rtrim(*a.text()) == fb::rtrim(*b.text());
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

void RecordSet::openEmpty(const std::string& select) {
    close();
    m_conn->trace(select);
    describeSelect(*m_conn, select, m_columns);
    m_table = tableAfterFrom(select);
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

bool RecordSet::runAfterRow(std::string sql) {
    requireOpen();
    if (m_mode != Mode::Browse || eof() ||
        m_meta[static_cast<std::size_t>(m_cursor)].state == State::Unchanged) {
        return false;
    }
    m_meta[static_cast<std::size_t>(m_cursor)].after.push_back(std::move(sql));
    return true;
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

// One statement of an apply: its text, the values bound to its marks and
// what the database must answer.
struct Statement {
    std::string sql;
    std::vector<fb::Param> params;
    bool mustTouchRow = false;  // UPDATE, DELETE: touching none means the row is gone or changed
    bool returnsRow = false;    // INSERT, UPDATE with a RETURNING clause
    std::shared_ptr<const Value> count;  // a block's number of rows, bound to its first mark
    const std::vector<std::string>* after = nullptr;  // run once the row is written
    std::shared_ptr<std::vector<Value>> texts;        // a block's statements after its rows
};

// A statement after a row travels in the row's block as a text the block
// runs (EXECUTE STATEMENT, in the block's own transaction) when it fits
// this many characters; a longer one is sent on its own after the row.
constexpr int kAfterChars = 2000;

bool joinsBlock(const Statement& row) {
    return !row.after || row.after->empty() ||
           (row.after->size() == 1 && row.after->front().size() <= kAfterChars);
}

bool carriesAfter(const Statement& row) {
    return row.after && !row.after->empty();
}

// The output layout of a prepared statement, read once per text.
const fb::MessageLayout& outputLayout(Connection& conn, fb::IStatement* stmt,
                                      const std::string& sql) {
    auto& outputs = conn.impl().outputs;
    auto found = outputs.find(sql);
    if (found == outputs.end()) {
        fb::Status st;
        fb::Ref<fb::IMessageMetadata> meta(stmt->getOutputMetadata(&st));
        found = outputs.emplace(sql, fb::layoutOf(meta.get())).first;
    }
    return found->second;
}

// Executes one statement; returns the number of rows it touched. When it has
// a RETURNING clause and touched a row, the values returned are decoded into
// stored (returning[i] describes value i). Throws Firebird::FbException, or
// Error for a statement that cannot be prepared or a value that cannot be sent.
unsigned long long execute(Connection& conn, fb::ITransaction* tra, const Statement& statement,
                           const std::vector<const Column*>& returning, Row& stored) {
    fb::Status st;
    fb::IStatement* stmt = conn.impl().prepared(statement.sql, tra);
    fb::InputMessage in = fb::encodeParams(conn, tra, statement.params);
    // An INSERT that the database took wrote its one row: only an UPDATE or
    // DELETE needs asking how many it touched, an exchange of its own with
    // a server.
    if (!statement.returnsRow) {
        stmt->execute(&st, tra, in.meta, in.buffer.data(), nullptr, nullptr);
        return statement.mustTouchRow ? stmt->getAffectedRecords(&st) : 1;
    }
    const fb::MessageLayout& out = outputLayout(conn, stmt, statement.sql);
    std::vector<unsigned char> buffer(out.length);
    stmt->execute(&st, tra, in.meta, in.buffer.data(), out.meta.get(), buffer.data());
    const unsigned long long touched = statement.mustTouchRow ? stmt->getAffectedRecords(&st) : 1;
    if (touched > 0) {
        stored = fb::decodeRow(conn, tra, out, buffer.data(), returning);
    }
    return touched;
}

// Traces and executes one statement; returns why its row failed, if it did:
// refused by the database, never reaching the table (a statement that cannot
// be prepared, a value that cannot be sent), or no row found to change. A
// lost connection is thrown: it says nothing about the row.
std::optional<Error> send(Connection& conn, fb::ITransaction* tra, const Statement& statement,
                          const std::vector<const Column*>& returning, Row& stored) {
    conn.trace(statement.sql);
    try {
        if (execute(conn, tra, statement, returning, stored) == 0 && statement.mustTouchRow) {
            return Error("Record not found or changed by another user", ErrorKind::NotFound, 0, 0,
                         statement.sql);
        }
    } catch (const Firebird::FbException& e) {
        Error error = fb::toError(conn, e, statement.sql);
        if (classify(error) != Failure::Refused) {
            // No answer about the row: the database is gone, not refusing.
            throw error;
        }
        return error;
    } catch (const PostError&) {
        throw;
    } catch (const Error& e) {
        if (classify(e) != Failure::Refused) {
            throw;
        }
        return e;
    }
    return std::nullopt;
}

// Traces and runs a statement after a row in tra; returns why the database
// refused it, if it did (a lost connection is thrown, as by send).
std::optional<Error> sendAfter(Connection& conn, fb::ITransaction* tra, const std::string& sql) {
    conn.trace(sql);
    try {
        if (!fb::executeLifted(conn, tra, sql)) {
            fb::Status st;
            conn.impl().att->execute(&st, tra, 0, sql.c_str(), 3, nullptr, nullptr, nullptr,
                                     nullptr);
        }
    } catch (const Firebird::FbException& e) {
        Error error = fb::toError(conn, e, sql);
        if (classify(error) != Failure::Refused) {
            throw error;
        }
        return error;
    }
    return std::nullopt;
}

// Rows sent together: the parameters' message and the block's text stay well
// within what a server takes in one statement (64 KB each), and the number
// of rows is rounded up to one of a few sizes so that a handful of prepared
// blocks serve every document (the unused rows are skipped by count).
constexpr std::size_t kTogetherSizes[] = {1, 4, 16, 64};
constexpr std::size_t kTogetherBytes = std::size_t{48} * 1024;

std::size_t messageBytes(const Statement& statement) {
    std::size_t bytes = 0;
    for (const fb::Param& p : statement.params) {
        const bool text =
            p.column->type == ColumnType::Char || p.column->type == ColumnType::VarChar;
        bytes += 10 + (text ? static_cast<std::size_t>(std::max(p.column->length, 16)) * 4 : 8);
    }
    return bytes;
}

std::string quotedColumn(const Column& c) {
    return quoteIdent(c.field.empty() ? c.name : c.field);
}

// How many of rows (INSERTs of one text) one block carries, and the size of
// block that carries them.
std::pair<std::size_t, std::size_t> blockShape(const std::vector<Statement>& rows) {
    std::size_t afterBytes = 0;
    for (const Statement& row : rows) {
        if (carriesAfter(row)) {
            afterBytes = std::max<std::size_t>(afterBytes, 74 + row.after->front().size());
        }
    }
    const std::size_t perRow = std::max<std::size_t>(
        {messageBytes(rows.front()) + afterBytes, rows.front().sql.size() * 2, 1});
    const std::size_t fit = std::max<std::size_t>(kTogetherBytes / perRow, 1);
    for (const std::size_t size : kTogetherSizes) {
        if (rows.size() <= size && size <= fit) {
            return {rows.size(), size};
        }
    }
    const std::size_t size = std::min(fit, kTogetherSizes[std::size(kTogetherSizes) - 1]);
    return {std::min(rows.size(), size), size};
}

// One EXECUTE BLOCK running the INSERTs of rows in their order: its
// parameters are typed as the table's own columns, so every value is
// converted exactly as the INSERT alone converts it.
Statement togetherBlock(const std::string& table, const std::vector<Statement>& rows,
                        std::size_t count, std::size_t size) {
    static const Column kCountColumn = [] {
        Column c;
        c.name = "N";
        c.type = ColumnType::Integer;
        return c;
    }();
    static const Column kAfterColumn = [] {
        Column c;
        c.name = "A";
        c.type = ColumnType::VarChar;
        c.length = 16;  // a NULL travels in a few bytes; a text takes what it needs
        return c;
    }();
    static const Value kNull;
    const bool after = std::any_of(rows.begin(), rows.end(), carriesAfter);
    std::vector<Value> afterTexts;
    afterTexts.reserve(after ? size : 0);
    const Statement& first = rows.front();
    const std::size_t marks = first.params.size();
    const std::string head = first.sql.substr(0, first.sql.rfind(" VALUES ("));
    Statement block;
    std::string declared = "N INTEGER = ?";
    block.count = std::make_shared<const Value>(static_cast<std::int64_t>(count));
    block.params.push_back({block.count.get(), &kCountColumn});
    std::string body;
    for (std::size_t r = 0; r < size; ++r) {
        std::string values;
        for (std::size_t i = 0; i < marks; ++i) {
            const std::string name = "P" + std::to_string(r) + "_" + std::to_string(i);
            const Column& c = *first.params[i].column;
            declared += ", " + name + " TYPE OF COLUMN " + table + "." + quotedColumn(c) + " = ?";
            values += (i == 0 ? ":" : ", :") + name;
            block.params.push_back({r < count ? rows[r].params[i].value : &kNull, &c});
        }
        std::string insert = (marks == 0 ? first.sql : head + " VALUES (" + values + ")") + ";";
        if (after) {
            const std::string name = "A" + std::to_string(r);
            declared += ", " + name + " VARCHAR(" + std::to_string(kAfterChars) +
                        ") CHARACTER SET UTF8 = ?";
            insert = "BEGIN " + insert + " IF (" + name +
                     " IS NOT NULL) THEN EXECUTE STATEMENT :" + name + "; END";
            const bool has = r < count && carriesAfter(rows[r]);
            afterTexts.push_back(has ? Value(rows[r].after->front()) : Value());
        }
        body += r == 0 ? "" : "IF (N > " + std::to_string(r) + ") THEN ";
        body += insert + "\n";
    }
    block.sql = "EXECUTE BLOCK (" + declared + ") AS BEGIN\n" + body + "END";
    if (after) {
        // The texts live with the block; each row's marks are followed by
        // its statement's.
        block.texts = std::make_shared<std::vector<Value>>(std::move(afterTexts));
        std::vector<fb::Param> params;
        params.push_back(block.params.front());
        for (std::size_t r = 0; r < size; ++r) {
            for (std::size_t i = 0; i < marks; ++i) {
                params.push_back(block.params[1 + r * marks + i]);
            }
            params.push_back({&(*block.texts)[r], &kAfterColumn});
        }
        block.params = std::move(params);
    }
    return block;
}

// Sends the first rows of rows that one block carries; how many it wrote (0:
// the database refused the block, which then wrote nothing).
std::size_t sendBlock(Connection& conn, fb::ITransaction* tra, const std::string& table,
                      const std::vector<Statement>& rows) {
    const auto [count, size] = blockShape(rows);
    if (count < 2 && !carriesAfter(rows.front())) {
        return 0;  // one row alone is its own INSERT
    }
    Row unused;
    return send(conn, tra, togetherBlock(table, rows, count, size), {}, unused) ? 0 : count;
}

std::atomic<bool> g_togetherLocally{false};

}  // namespace

void RecordSet::writeTogetherLocally(bool on) {
    g_togetherLocally = on;
}

// Writes the columns of the set's table under the table's own names, so an
// aliased column is written to the column it was read from.
class RecordSet::StatementWriter {
  public:
    explicit StatementWriter(const RecordSet& set);

    // The statement that writes change; none when an edit changed no column.
    std::optional<Statement> forChange(const Change& change) const;
    // The INSERTs of changes from `from` on that one block can carry:
    // consecutive, under one text, not read back (fewer than two: none).
    std::vector<Statement> together(const std::vector<Change>& changes, std::size_t from) const;
    // The INSERT of one change with the statement to run after it, as one
    // block; none for any other change.
    std::vector<Statement> withItsStatement(const Change& change) const;
    // The columns INSERT and UPDATE read back, in the order of the set.
    const std::vector<const Column*>& returning() const { return m_returning; }
    const std::string& table() const { return m_table; }  // quoted

  private:
    Statement insert(const Row& row, const std::vector<bool>& assigned) const;
    std::optional<Statement> update(const Row& row, const Row& original) const;
    Statement remove(const Row& original) const;
    void appendWhere(const Row& original, Statement& statement) const;
    void appendReturning(Statement& statement) const;

    const RecordSet& m_set;
    std::string m_table;               // quoted
    std::vector<std::string> m_names;  // quoted names of the table's columns
    std::vector<bool> m_writable;      // columns of the table
    std::vector<const Column*> m_returning;
    std::string m_returningList;
};

RecordSet::StatementWriter::StatementWriter(const RecordSet& set)
    : m_set(set), m_table(quoteIdent(set.m_table)) {
    const std::vector<Column>& columns = set.m_columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        m_names.push_back(quoteIdent(c.field.empty() ? c.name : c.field));
        m_writable.push_back(set.writable(static_cast<int>(i)));
        // Every column of the table comes back from INSERT and UPDATE, so that
        // the row in memory holds what the database stored (defaults,
        // triggers, rounding to the column's scale).
        if (m_writable.back() && set.m_readBack) {
            m_returningList += (m_returningList.empty() ? "" : ", ") + m_names.back();
            m_returning.push_back(&c);
        }
    }
}

std::optional<Statement> RecordSet::StatementWriter::forChange(const Change& change) const {
    std::optional<Statement> statement;
    switch (change.kind) {
        case ChangeKind::Insert:
            statement = insert(m_set.m_rows[change.at], m_set.m_meta[change.at].assigned);
            break;
        case ChangeKind::Update:
            statement = update(m_set.m_rows[change.at], m_set.m_meta[change.at].original);
            break;
        case ChangeKind::Delete:
            return remove(m_set.m_deleted[change.at].original);
    }
    if (statement) {
        statement->after = &m_set.m_meta[change.at].after;
    }
    return statement;
}

std::vector<Statement> RecordSet::StatementWriter::withItsStatement(const Change& change) const {
    if (change.kind != ChangeKind::Insert) {
        return {};
    }
    std::optional<Statement> row = forChange(change);
    if (!row || row->returnsRow || !carriesAfter(*row) || !joinsBlock(*row)) {
        return {};
    }
    return {std::move(*row)};
}

std::vector<Statement> RecordSet::StatementWriter::together(const std::vector<Change>& changes,
                                                            std::size_t from) const {
    std::vector<Statement> rows;
    for (std::size_t c = from; c < changes.size() && changes[c].kind == ChangeKind::Insert; ++c) {
        std::optional<Statement> row = forChange(changes[c]);
        if (!row || row->returnsRow || !joinsBlock(*row) ||
            (!rows.empty() && row->sql != rows.front().sql)) {
            break;
        }
        rows.push_back(std::move(*row));
    }
    if (rows.size() < 2) {
        rows.clear();
    }
    return rows;
}

Statement RecordSet::StatementWriter::insert(const Row& row,
                                             const std::vector<bool>& assigned) const {
    Statement statement;
    std::string cols;
    std::string marks;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (!assigned[i] || !m_writable[i]) {
            continue;
        }
        cols += (cols.empty() ? "" : ", ") + m_names[i];
        marks += marks.empty() ? "?" : ", ?";
        statement.params.push_back({&row[i], &m_set.m_columns[i]});
    }
    statement.sql = cols.empty()
                        ? "INSERT INTO " + m_table + " DEFAULT VALUES"
                        : "INSERT INTO " + m_table + " (" + cols + ") VALUES (" + marks + ")";
    appendReturning(statement);
    return statement;
}

std::optional<Statement> RecordSet::StatementWriter::update(const Row& row,
                                                            const Row& original) const {
    Statement statement;
    std::string sets;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (!m_writable[i] || row[i] == original[i]) {
            continue;
        }
        sets += (sets.empty() ? "" : ", ") + m_names[i] + " = ?";
        statement.params.push_back({&row[i], &m_set.m_columns[i]});
    }
    if (sets.empty()) {
        return std::nullopt;
    }
    statement.sql = "UPDATE " + m_table + " SET " + sets;
    appendWhere(original, statement);
    appendReturning(statement);
    return statement;
}

Statement RecordSet::StatementWriter::remove(const Row& original) const {
    Statement statement;
    statement.sql = "DELETE FROM " + m_table;
    appendWhere(original, statement);
    return statement;
}

// Finds the row by every non-BLOB value as read; ROWS 1 keeps a table without
// a key from changing every twin of the row.
void RecordSet::StatementWriter::appendWhere(const Row& original, Statement& statement) const {
    std::string where;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (!m_writable[i] || m_set.m_columns[i].isBlob()) {
            continue;
        }
        where += where.empty() ? " WHERE " : " AND ";
        if (original[i].isNull()) {
            where += m_names[i] + " IS NULL";
        } else {
            where += m_names[i] + " = ?";
            statement.params.push_back({&original[i], &m_set.m_columns[i]});
        }
    }
    statement.sql += where + " ROWS 1";
    statement.mustTouchRow = true;
}

void RecordSet::StatementWriter::appendReturning(Statement& statement) const {
    if (!m_returning.empty()) {
        statement.sql += " RETURNING " + m_returningList;
        statement.returnsRow = true;
    }
}

int RecordSet::apply(int maxErrors, const ErrorCallback& onError) {
    requireOpen();
    if (m_mode != Mode::Browse) {
        post();
    }
    return applyWritten(maxErrors, onError);
}

int RecordSet::applyWritten(int maxErrors, const ErrorCallback& onError) {
    requireOpen();
    const std::vector<Change> changes = pendingChanges();
    if (changes.empty()) {
        return 0;
    }
    if (!m_conn->isOpen()) {
        m_conn->open();
    }
    Outcome outcome = writeChanges(changes, maxErrors, onError);
    if (!outcome.stopped) {  // a stopped apply rolled back: nothing was written
        mergeWritten(changes, outcome.written);
    }
    return outcome.failed;
}

std::vector<RecordSet::Change> RecordSet::pendingChanges() const {
    std::vector<Change> changes;
    for (std::size_t r = 0; r < m_meta.size(); ++r) {
        const Meta& meta = m_meta[r];
        if (meta.state != State::Unchanged) {
            const ChangeKind kind =
                meta.state == State::Inserted ? ChangeKind::Insert : ChangeKind::Update;
            changes.push_back({kind, r, meta.seq});
        }
    }
    for (std::size_t d = 0; d < m_deleted.size(); ++d) {
        changes.push_back({ChangeKind::Delete, d, m_deleted[d].seq});
    }
    std::sort(changes.begin(), changes.end(),
              [](const Change& a, const Change& b) { return a.seq < b.seq; });
    return changes;
}

RecordSet::Outcome RecordSet::writeChanges(const std::vector<Change>& changes, int maxErrors,
                                           const ErrorCallback& onError) {
    const StatementWriter writer(*this);
    Outcome outcome;
    outcome.written.resize(changes.size());
    fb::CallLimit limit(*m_conn);
    try {
        // Joins the connection's unit of work when one is open: the work
        // then decides for every row it holds, this apply's included.
        fb::StatementTransaction tra(*m_conn,
                                     changes.size() == 1 ? fb::Use::OneWrite : fb::Use::Writes);
        // A row with a statement after it costs one exchange too: both go
        // as one block, unless a block of it was refused.
        bool blocks = throughServer(m_conn->path()) || g_togetherLocally;
        bool together = m_writeTogether && blocks;
        for (std::size_t c = 0; c < changes.size(); ++c) {
            std::vector<Statement> rows =
                together ? writer.together(changes, c) : std::vector<Statement>{};
            if (rows.empty() && blocks) {
                rows = writer.withItsStatement(changes[c]);
            }
            if (!rows.empty()) {
                const std::size_t n = sendBlock(*m_conn, tra.get(), writer.table(), rows);
                // A refused block took nothing: its rows go one by one from
                // here, so the one refused says why on its own.
                together = together && n > 0;
                blocks = n > 0;
                for (std::size_t k = c; k < c + n; ++k) {
                    outcome.written[k].done = true;
                }
                if (n > 0) {
                    c += n - 1;
                    continue;
                }
            }
            const std::optional<Statement> statement = writer.forChange(changes[c]);
            Written& written = outcome.written[c];
            std::optional<Error> error =
                statement ? send(*m_conn, tra.get(), *statement, writer.returning(), written.stored)
                          : std::nullopt;
            static const std::vector<std::string> kNone;
            const std::vector<std::string>& after =
                changes[c].kind == ChangeKind::Delete ? kNone : m_meta[changes[c].at].after;
            written.done = !error;
            // A refused statement after the row fails the row's change, the
            // row itself stays written (and the ones after it are not run).
            for (std::size_t a = 0; a < after.size() && !error; ++a) {
                error = sendAfter(*m_conn, tra.get(), after[a]);
            }
            if (error) {
                if (onError) {
                    onError(*error);
                }
                if (++outcome.failed > maxErrors && maxErrors >= 0) {
                    outcome.stopped = true;
                    tra.rollback();
                    return outcome;
                }
            }
        }
        tra.commit();
    } catch (const Firebird::FbException& e) {
        // Starting or committing the transaction failed: nothing was written.
        throw fb::toError(*m_conn, e, "COMMIT");
    }
    return outcome;
}

// The rows written are now as the database holds them and no longer
// pending; the deletes that failed stay pending.
void RecordSet::mergeWritten(const std::vector<Change>& changes, std::vector<Written>& written) {
    std::vector<Deleted> remaining;
    for (std::size_t c = 0; c < changes.size(); ++c) {
        const Change& change = changes[c];
        if (change.kind == ChangeKind::Delete) {
            if (!written[c].done) {
                remaining.push_back(m_deleted[change.at]);
            }
            continue;
        }
        if (!written[c].done) {
            continue;
        }
        Row& row = m_rows[change.at];
        Row& stored = written[c].stored;
        for (std::size_t i = 0, k = 0; i < row.size() && k < stored.size(); ++i) {
            if (writable(static_cast<int>(i))) {
                row[i] = std::move(stored[k++]);
            }
        }
        m_meta[change.at] = Meta{};
    }
    m_deleted = std::move(remaining);
}

}  // namespace replica::db
