#pragma once
// The destination record set: rows read by one SELECT, changed in memory and
// written back by `apply`.
//
// `open(select)` loads the rows and remembers the table named after FROM;
// only columns of that table are written back, under the table's own names
// (an alias in the SELECT is not a column of the table). Changes are made
// with append/edit + set + post, or remove, and stay in memory until `apply`,
// which writes them in the order they were made, in one transaction, with
// bound parameters (reopening a closed connection first):
//   - an appended row becomes an INSERT naming only the columns given a value,
//     so the table's defaults fill the others (INSERT ... DEFAULT VALUES when
//     none was given one);
//   - an edited row becomes an UPDATE of the columns whose value changed;
//   - a removed row becomes a DELETE;
//   - UPDATE and DELETE find their row by every non-BLOB value as read
//     ("col = ?" or "col IS NULL") and touch at most one (ROWS 1); one that
//     matches no row has failed;
//   - a text longer than a parameter can carry fails its row; it is never cut.
// Each failed row is reported to the error callback with the database's own
// message before it is counted; after maxErrors + 1 failures (maxErrors < 0:
// never) apply stops and rolls back, otherwise it commits. Apply returns the
// number of failed rows; rows written are then unchanged rows of the set,
// holding what the database stored (INSERT and UPDATE read the table's
// columns back: defaults, triggers, rounding to the column's scale). A lost
// connection (or a database that stopped answering) is no failed row: apply
// throws Error of kind Connection and nothing is written.
//
// `post` refuses a row in memory: PostError "Field 'X' must have a value"
// when a required column is null, and "Key violation." when the row repeats
// the primary key of another row of the set.

#include <functional>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "engine/db/error.h"
#include "engine/db/rowset.h"

namespace replica::db {

// A failure of post, edit or delete on the rows in memory (nothing was sent
// to the database).
class PostError : public Error {
  public:
    explicit PostError(std::string message) : Error(std::move(message)) {}
};

class RecordSet : public RowSet {
  public:
    explicit RecordSet(Connection& conn) : m_conn(&conn) {}

    // Closes the set (pending changes are dropped), runs select and loads
    // its rows. Throws Error when the database refuses the text.
    void open(const std::string& select);
    // Opens the set as select would, for a select known to return no row
    // (the lines of a header just given a fresh id): its columns are read
    // from the prepared statement and the select is not run. The trace shows
    // it as open() does.
    void openEmpty(const std::string& select);
    void close();
    Connection& connection() const { return *m_conn; }
    const std::string& tableName() const { return m_table; }

    // Adds an empty row at the end and makes it current, in insert mode.
    void append();
    // Puts the current row in edit mode. Throws PostError on an empty set.
    void edit();
    // Sets a column of the row being inserted or edited (edit mode is
    // entered on the current row if needed).
    void set(int column, Value value);
    void set(const std::string& column, Value value) {
        set(requireIndex(column), std::move(value));
    }
    // Keeps the row being inserted or edited; throws PostError (the row stays
    // in insert/edit mode) when a required column is null or the key repeats.
    void post();
    // Drops the row being inserted or the edits of the current row.
    void cancel();
    // Deletes the current row; the next row becomes current.
    void remove();

    bool editing() const { return m_mode != Mode::Browse; }
    // The value of a column in the row being inserted or edited, or in the
    // current row when browsing (the error capture names the required
    // columns a refused post left null).
    const Value& editValue(int column) const {
        if (m_mode != Mode::Browse && column >= 0 && column < static_cast<int>(m_buffer.size())) {
            return m_buffer[static_cast<std::size_t>(column)];
        }
        return value(column);
    }
    // Number of rows inserted, changed or deleted and not yet applied.
    int changeCount() const;

    using ErrorCallback = std::function<void(const Error&)>;
    int apply(int maxErrors, const ErrorCallback& onError);

    // Whether apply reads each written row back (the default). Off, a row
    // written keeps in memory the values it was given: for rows nobody reads
    // again, which spares the database returning them.
    void setReadBack(bool readBack) { m_readBack = readBack; }

    // Whether apply sends rows appended one after another, under the same
    // columns and not read back, together: one EXECUTE BLOCK carrying many
    // rows' INSERTs, one exchange with a server instead of one per row (off
    // by default). The same statements run in the same order, in the same
    // transaction; a block the database refuses is taken back whole and its
    // rows are then sent one by one, so a refused row is reported exactly as
    // it is without it. Only through a server: a local file has no
    // exchanges to spare, and there the blocks cost more than they save
    // (unless writeTogetherLocally, for the tests of the blocks themselves).
    void setWriteTogether(bool together) { m_writeTogether = together; }
    static void writeTogetherLocally(bool on);

    // A statement the database runs right after the current row (posted,
    // not yet applied) is written, in the same transaction: carried in the
    // row's own exchange with a server (the block of its lines, or a block
    // of its own), and never run when the row is refused. False, with
    // nothing kept, when the current row has nothing pending to write.
    bool runAfterRow(std::string sql);

    // apply without the row being inserted or edited: it stays as it is,
    // in memory (a row refused in memory is refused after the rows written
    // before it, as an apply per row would have them).
    int applyWritten(int maxErrors, const ErrorCallback& onError);

  private:
    enum class Mode { Browse, Insert, Edit };
    enum class State { Unchanged, Inserted, Modified };
    struct Meta {
        State state = State::Unchanged;
        Row original;                    // values as read (Modified rows)
        std::vector<bool> assigned;      // columns given a value (Inserted rows)
        long seq = 0;                    // order of the change
        std::vector<std::string> after;  // runAfterRow, in order
    };
    struct Deleted {
        Row original;
        long seq;
    };

    // apply, step by step: the pending changes in the order they were made,
    // each written by one statement, and what was written merged back.
    enum class ChangeKind { Insert, Update, Delete };
    struct Change {
        ChangeKind kind;
        std::size_t at;  // row in m_rows (Insert, Update) or entry in m_deleted (Delete)
        long seq;
    };
    struct Written {
        bool done = false;  // taken by the database, or nothing to send
        Row stored;         // the table's columns as stored, when they came back
    };
    struct Outcome {
        std::vector<Written> written;  // parallel to the changes
        int failed = 0;
        bool stopped = false;  // more than maxErrors failed: rolled back
    };
    class StatementWriter;  // the INSERT, UPDATE and DELETE texts of m_table

    std::vector<Change> pendingChanges() const;
    Outcome writeChanges(const std::vector<Change>& changes, int maxErrors,
                         const ErrorCallback& onError);
    void mergeWritten(const std::vector<Change>& changes, std::vector<Written>& written);

    bool writable(int column) const;
    void requireOpen() const;

    Connection* m_conn;
    std::string m_table;
    std::vector<Meta> m_meta;  // parallel to m_rows
    std::vector<Deleted> m_deleted;
    Mode m_mode = Mode::Browse;
    Row m_buffer;  // row being inserted or edited
    std::vector<bool> m_bufferAssigned;
    long m_seq = 0;
    bool m_readBack = true;
    bool m_writeTogether = false;
};

// The table named after the first FROM of a SELECT, upper-cased unless it
// was written between double quotes; empty when there is none.
std::string tableAfterFrom(const std::string& select);

}  // namespace replica::db
