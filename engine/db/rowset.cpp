#include "engine/db/rowset.h"

#include <strings.h>
#include <stdexcept>

namespace replica::db {

const Column& RowSet::column(int index) const {
    if (index < 0 || index >= columnCount()) {
        throw std::out_of_range("column index " + std::to_string(index) + " out of range");
    }
    return m_columns[static_cast<std::size_t>(index)];
}

int columnIndex(const std::vector<Column>& columns, const std::string& name) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (strcasecmp(columns[i].name.c_str(), name.c_str()) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int requireColumn(const std::vector<Column>& columns, const std::string& name) {
    const int i = columnIndex(columns, name);
    if (i < 0) {
        throw std::out_of_range("Field '" + name + "' not found");
    }
    return i;
}

const Row& RowSet::currentRow() const {
    if (eof()) {
        throw std::out_of_range("no current row");
    }
    return m_rows[static_cast<std::size_t>(m_cursor)];
}

Row& RowSet::currentRowMutable() {
    if (eof()) {
        throw std::out_of_range("no current row");
    }
    return m_rows[static_cast<std::size_t>(m_cursor)];
}

const Value& RowSet::value(int column) const {
    const Row& row = currentRow();
    if (column < 0 || column >= static_cast<int>(row.size())) {
        throw std::out_of_range("column index " + std::to_string(column) + " out of range");
    }
    return row[static_cast<std::size_t>(column)];
}

}  // namespace replica::db
