#pragma once
// The one exception type of the database layer.
//
// Every failure reported by the Firebird client is converted once, at the
// boundary, into an `Error` carrying the message exactly as Firebird words it
// (its status lines joined by line breaks), the SQLCODE and first GDS code,
// the SQL text that was being run (empty for connections) and a coarse kind
// so that callers can tell a lost connection from a refused row.

#include <stdexcept>
#include <string>

namespace replica::db {

enum class ErrorKind {
    Other,
    Connection,  // cannot open, or the connection was lost
    Constraint,  // primary/unique/foreign key, CHECK, NOT NULL refused the row
    Lock,        // update conflict or deadlock
    Syntax,      // the statement itself is wrong (unknown table/column, bad SQL)
    NotFound,    // an UPDATE or DELETE of the record set matched no row
};

class Error : public std::runtime_error {
  public:
    Error(std::string message, ErrorKind kind = ErrorKind::Other, int sqlCode = 0, long gdsCode = 0,
          std::string sql = {});

    const std::string& message() const { return m_message; }
    ErrorKind kind() const { return m_kind; }
    int sqlCode() const { return m_sqlCode; }
    long gdsCode() const { return m_gdsCode; }
    const std::string& sql() const { return m_sql; }

  private:
    std::string m_message;
    ErrorKind m_kind;
    int m_sqlCode;
    long m_gdsCode;
    std::string m_sql;
};

// Firebird's own codes mapped to the kinds above; one table, used for every
// error.
ErrorKind errorKindForGds(long gdsCode);

// What a failure means to a run: the one classifier every caller asks.
enum class Failure {
    // The database answered and said no: a constraint, a trigger, a
    // statement it cannot run, a row it cannot store, a full disk. Only the
    // row or the event at hand fails; the run goes on.
    Refused,
    // The database is out of reach: it cannot be reached, refused the login,
    // was shut down, stopped answering, or the connection went away. Nothing
    // was answered about the row; the phase (or company) ends, an outage.
    Outage,
    // The database cannot be used for a reason that is not an outage (no
    // such file, not a database): as a lost connection for the call, but no
    // outage to wait out.
    Unusable,
};
Failure classify(const Error& e);

// The database's own words for a db::Error (without the SQL text), what()
// for any other exception: the text an operator is shown.
std::string messageOf(const std::exception& e);

// Whether e is an outage (classify's Outage).
inline bool isOutage(const Error& e) {
    return classify(e) == Failure::Outage;
}

}  // namespace replica::db
