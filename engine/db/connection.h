#pragma once
// One attachment to a Firebird database.
//
// A `Connection` is configured with a database path, `User_Name` and
// `password` and then opened. A plain local path opens the file through the
// embedded engine; "host:/path" goes through a Firebird server. Every
// connection speaks SQL dialect 3 with the UTF8 connection character set.
//
// Queries share one read-only, read-committed transaction for the
// connection's life (it sees every commit as it happens); every statement
// and apply that writes runs in its own read-committed, record-version, wait
// transaction and is committed at once. While a unit of work is open
// (beginWork, UnitOfWork) they all join its one transaction until
// commitWork or rollbackWork (which retain it for the next unit of work:
// one exchange fewer with a server each). The connection owns, for its life, its prepared
// statements (by SQL text) and the per-table metadata (column nullability and
// primary key), read once per table.
//
// A SELECT, UPDATE or DELETE whose comparisons carry literal values (a quoted
// text, a whole number) is sent prepared, with those values bound as
// parameters, when the database describes each parameter so that the value
// reaches it unchanged (a text no longer than the column, a number of a
// numeric column); otherwise the text goes as written. Either way the same
// rows are read or touched, and the trace shows the text as composed.
//
// Waits are bounded: a connection has a time limit (its own, or the process
// default), and a server that does not answer within it is given up. The
// limit bounds the connection handshake (the client's connect timeout) and
// every call made on the open attachment (a watchdog thread aborts the
// attachment, so the blocked call returns with an error). A connection given
// up that way, or whose server went away, is lost(): its calls fail at once
// until it is closed and opened again.
//
// Errors: every failure is thrown as `replica::db::Error` with Firebird's own
// message (a call given up: timeoutMessage()). A connection is not
// thread-safe; the agent has one thread (the watchdog only aborts).

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace replica::db {

struct TableInfo {
    std::vector<std::string> primaryKey;  // column names, in key order
    std::vector<std::string> notNull;     // columns declared NOT NULL
    bool exists = false;
};

class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setPath(std::string path) { m_path = std::move(path); }
    const std::string& path() const { return m_path; }
    void setUserName(std::string user) { m_user = std::move(user); }
    const std::string& userName() const { return m_user; }
    void setPassword(std::string password) { m_password = std::move(password); }
    // Path, user name, password and time limit of other (a second attachment
    // to the same database).
    void configureLike(const Connection& other);

    // How long the database may leave a call unanswered; 0: no limit. A
    // connection without a limit of its own takes the process default,
    // which is 0 until the program sets it. Takes effect at the next call
    // (the handshake: at the next open()).
    void setTimeout(std::chrono::seconds limit) { m_timeout = limit; }
    std::chrono::seconds timeout() const;
    static void setDefaultTimeout(std::chrono::seconds limit);
    // Whether attachments opened from now on ask a server for compressed
    // traffic (a slow link gains; a local file ignores it). Off until the
    // program sets it.
    static void setWireCompression(bool on);
    static bool wireCompression();
    static std::chrono::seconds defaultTimeout();
    // Whether a call failed because the database stopped answering (the
    // limit passed) or the connection to it was lost. Cleared by close().
    bool lost() const;

    // Opens the database at path(); throws Error (kind Connection, or Other)
    // with the client's message when it cannot. Opening an open connection
    // does nothing.
    void open();
    // Creates a new, empty database at path() (UTF8 default character set)
    // and leaves it open. forcedWrites=false trades crash safety for speed:
    // only for tests and benchmarks.
    void create(bool forcedWrites = true);
    // Rolls back a unit of work still open and detaches, all of it within
    // the time limit; never throws. Closing a closed connection does
    // nothing.
    void close() noexcept;
    bool isOpen() const;

    // Runs one INSERT, UPDATE, DELETE, EXECUTE PROCEDURE or DDL statement in
    // its own transaction and commits it (or in the unit of work, which
    // commits it later). Throws Error on refusal (its own transaction is
    // rolled back; a unit of work stays open, the statement undone).
    void execute(const std::string& sql);

    // A unit of work: until commitWork or rollbackWork, every query,
    // statement and apply of this connection joins one transaction, and no
    // single one commits. Throws Error when the transaction cannot start, or
    // when one is already open. With Locks::NoWait a row another
    // transaction holds is refused at once (ErrorKind::Lock) instead of
    // waited for; reads never wait either way.
    enum class Locks { Wait, NoWait };
    void beginWork(Locks locks = Locks::Wait);
    // Commits the unit of work; throws Error (the work is then rolled back).
    void commitWork();
    // Takes back everything the unit of work wrote; never throws.
    void rollbackWork() noexcept;
    bool inWork() const;

    // Primary key and NOT NULL columns of a table, read from the system
    // tables once and cached until close(). Names are compared upper-cased.
    const TableInfo& tableInfo(const std::string& table);

    // Every SQL text sent to any connection is passed to the trace hook,
    // with the connection it was sent on. For tests; empty by default.
    using TraceHook = std::function<void(const Connection&, const std::string&)>;
    static void setTraceHook(TraceHook hook);
    void trace(const std::string& sql) const;

    struct Impl;
    Impl& impl();  // for the database layer's own classes only

  private:
    void endRetained() noexcept;

    std::string m_path;
    std::string m_user;
    std::string m_password;
    std::optional<std::chrono::seconds> m_timeout;
    std::unique_ptr<Impl> m_impl;
};

// A unit of work held for a scope: begun on construction (Connection::
// beginWork), committed by commit(), rolled back by rollback() or at the end
// of the scope if neither was called, however the scope is left. Movable, so
// that a function can hand an open one to its caller.
class UnitOfWork {
  public:
    // Throws Error as beginWork does.
    explicit UnitOfWork(Connection& conn, Connection::Locks locks = Connection::Locks::Wait);
    ~UnitOfWork() { rollback(); }
    UnitOfWork(UnitOfWork&& other) noexcept : m_conn(other.m_conn) { other.m_conn = nullptr; }
    UnitOfWork& operator=(UnitOfWork&&) = delete;
    UnitOfWork(const UnitOfWork&) = delete;
    UnitOfWork& operator=(const UnitOfWork&) = delete;

    // Throws Error as commitWork does (the work is rolled back then).
    void commit();
    void rollback() noexcept;

  private:
    Connection* m_conn;
};

// The message of a call given up after the time limit: what the operator
// reads in errorenvio.txt and on "Ultimo error:".
std::string timeoutMessage(const std::string& path, std::chrono::seconds limit);

// Whether a database path names a server ("host:/path", "host/port:path")
// rather than a local file the embedded engine opens.
inline bool throughServer(const std::string& path) {
    return path.find(':') != std::string::npos;
}

// Why a database in a local directory cannot be opened here, or "" when it
// can: the embedded engine is a plugin of the client, installed apart from
// it (Debian: firebird3.0-server-core), and enabled by the Providers of
// firebird.conf. Without it the client tries the local server instead and
// reports a network error, which reads as an outage. Loads no engine.
std::string embeddedEngineMissing();
// The same judgement of a plugins folder and a Providers setting.
std::string embeddedEngineMissing(const std::string& pluginsDir, const std::string& providers);

// Stops the Firebird client and, in this process, the embedded engine:
// every attachment still open is closed. Call it once before the process
// exits (the engine's own threads must not be left to the exit handlers).
void shutdownClient() noexcept;

}  // namespace replica::db
