#pragma once
// Rows held in memory with a cursor, shared by `Query` and `RecordSet`.
//
// A row set holds the column descriptions of a SELECT and every row it
// returned (the engine always works on a snapshot). Columns are addressed by
// position from 0 or by name (case-insensitive). Reading a column of a row
// set that is empty or past its end throws std::out_of_range: the engine must
// test eof()/isEmpty() first, as its loops do.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/db/value.h"

namespace replica::db {

enum class ColumnType {
    SmallInt,
    Integer,
    BigInt,
    Float,
    Double,
    Char,
    VarChar,
    Date,
    Time,
    Timestamp,
    Blob,
    Boolean,
    Other,
};

struct Column {
    std::string name;      // column name or alias, as Firebird reports it
    std::string relation;  // table it comes from; empty for expressions
    std::string field;     // the table's own name for the column (not the alias)
    ColumnType type = ColumnType::Other;
    int scale = 0;          // negative for NUMERIC/DECIMAL
    int length = 0;         // characters for CHAR/VARCHAR, bytes otherwise
    int subType = 0;        // BLOB sub-type: 1 text, 0 binary
    bool required = false;  // NOT NULL
    bool inKey = false;     // part of the table's primary key

    // NUMERIC/DECIMAL: Firebird stores them as integers with a negative scale.
    bool isFixedPoint() const {
        return scale < 0 && (type == ColumnType::SmallInt || type == ColumnType::Integer ||
                             type == ColumnType::BigInt);
    }
    bool isBlob() const { return type == ColumnType::Blob; }
};

using Row = std::vector<Value>;

// Position of a column among columns by name, case-insensitive; -1 when
// absent.
int columnIndex(const std::vector<Column>& columns, const std::string& name);
// As columnIndex, but throws std::out_of_range naming the column when absent.
int requireColumn(const std::vector<Column>& columns, const std::string& name);

class RowSet {
  public:
    virtual ~RowSet() = default;

    bool isOpen() const { return m_open; }
    bool isEmpty() const { return m_rows.empty(); }
    bool eof() const { return m_cursor >= static_cast<int>(m_rows.size()); }
    void first() { m_cursor = 0; }
    void next() {
        if (!eof()) {
            ++m_cursor;
        }
    }
    void last() { m_cursor = m_rows.empty() ? 0 : static_cast<int>(m_rows.size()) - 1; }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int position() const { return m_cursor; }

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const Column& column(int index) const;
    const std::vector<Column>& columns() const { return m_columns; }
    // Position of a column by name, case-insensitive; -1 when absent.
    int indexOf(const std::string& name) const { return columnIndex(m_columns, name); }
    // As indexOf, but throws std::out_of_range naming the column when absent.
    int requireIndex(const std::string& name) const { return requireColumn(m_columns, name); }

    const Value& value(int column) const;
    const Value& value(const std::string& name) const { return value(requireIndex(name)); }
    bool isNull(int column) const { return value(column).isNull(); }
    std::string asText(int column) const { return value(column).asText(); }
    std::string asText(const std::string& name) const { return value(name).asText(); }
    std::int64_t asInt(int column) const { return value(column).asInt(); }
    std::int64_t asInt(const std::string& name) const { return value(name).asInt(); }
    Currency asCurrency(int column) const { return value(column).asCurrency(); }

  protected:
    const Row& currentRow() const;
    Row& currentRowMutable();

    bool m_open = false;
    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    int m_cursor = 0;
};

}  // namespace replica::db
