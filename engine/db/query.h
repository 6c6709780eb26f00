#pragma once
// A SELECT run once and held in memory.
//
// `open(sql)` runs the statement in the connection's readers' transaction
// (read-only, read committed; the unit of work's while one is open), fetches
// every row and keeps them: the engine always works on a snapshot, so later
// writes never move its cursor. Opening an open query
// closes it first. Throws Error with Firebird's message when the database
// refuses the statement; the query is then closed.

#include <functional>
#include <string>

#include "engine/db/connection.h"
#include "engine/db/rowset.h"

namespace replica::db {

class Query : public RowSet {
  public:
    explicit Query(Connection& conn) : m_conn(&conn) {}

    void open(const std::string& sql);
    void close();
    Connection& connection() const { return *m_conn; }
    const std::string& sql() const { return m_sql; }

  private:
    Connection* m_conn;
    std::string m_sql;
};

// Runs sql on conn and fills columns and rows: the shared core of Query and
// RecordSet. Traces the text unless traced is false (the layer's own
// metadata queries, which are not the engine's statements).
void runSelect(Connection& conn, const std::string& sql, std::vector<Column>& columns,
               std::vector<Row>& rows, bool traced = true);
// The columns sql would return, without running it: the statement is
// prepared (once per connection, as runSelect prepares it) and described.
// For a set known to be empty, whose rows would cost an exchange with the
// server for nothing.
void describeSelect(Connection& conn, const std::string& sql, std::vector<Column>& columns);
// As runSelect, but each row goes to take as it is fetched and is not kept:
// for a large result the caller keeps in a smaller form. An exception from
// take ends the fetch and reaches the caller as it was thrown.
void runSelectEach(Connection& conn, const std::string& sql, std::vector<Column>& columns,
                   const std::function<void(Row&)>& take, bool traced = true);

}  // namespace replica::db
