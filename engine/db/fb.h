#pragma once
// Private to the database layer: the only header that includes the Firebird
// OO API. Owning wrappers for its interfaces and the conversion of its
// exceptions into our Error.

#include <firebird/Interface.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/db/connection.h"
#include "engine/db/error.h"
#include "engine/db/rowset.h"
#include "engine/db/text.h"

namespace replica::db::fb {

using Firebird::IAttachment;
using Firebird::IMessageMetadata;
using Firebird::IStatement;
using Firebird::ITransaction;
using Firebird::ThrowStatusWrapper;

Firebird::IMaster* master();
Firebird::IUtil* util();

// A status wrapper that throws Firebird::FbException and is disposed with
// its scope.
class Status {
  public:
    Status() : m_wrapper(master()->getStatus()) {}
    ~Status() { m_wrapper.dispose(); }
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    ThrowStatusWrapper* operator&() { return &m_wrapper; }
    ThrowStatusWrapper* get() { return &m_wrapper; }

  private:
    ThrowStatusWrapper m_wrapper;
};

// Converts a Firebird failure into our Error, with the SQL that caused it.
Error toError(const Firebird::FbException& e, const std::string& sql);
// The same for a failure of a call on conn: a call the watchdog gave up
// becomes the timeout message, and a lost connection marks conn lost().
Error toError(Connection& conn, const Firebird::FbException& e, const std::string& sql);

// Owns one reference of a Firebird interface; releases it unless dismissed.
template <class T>
class Ref {
  public:
    Ref() = default;
    explicit Ref(T* p) : m_p(p) {}
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            m_p = o.m_p;
            o.m_p = nullptr;
        }
        return *this;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // After a successful commit/close/free/detach the interface is already
    // released by Firebird; forget it without releasing again.
    void dismiss() { m_p = nullptr; }
    void reset(T* p = nullptr) {
        if (m_p) {
            m_p->release();
        }
        m_p = p;
    }

  private:
    T* m_p = nullptr;
};

// A read-committed, record-version, wait transaction that rolls back unless
// committed.
class Transaction {
  public:
    Transaction(IAttachment* att, bool readOnly);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ITransaction* get() const { return m_tra.get(); }
    void commit();
    void rollback() noexcept;

  private:
    Ref<ITransaction> m_tra;
};

// Read-only, read-committed, record-version, wait.
extern const unsigned char kTpbRead[5];

// The transaction one statement runs in: the connection's unit of work while
// one is open (joined: neither committed nor rolled back here); otherwise,
// for a read-only statement, the connection's shared readers' transaction;
// for one statement that writes, the connection's autocommit transaction
// (the statement commits as it succeeds, with no exchange of its own; a
// refused one is undone alone); for several statements that must commit
// together, a transaction of its own, committed by commit() and rolled back
// otherwise.
enum class Use { Read, OneWrite, Writes };
class StatementTransaction {
  public:
    StatementTransaction(Connection& conn, Use use);
    ITransaction* get() const { return m_own ? m_own->get() : m_work; }
    void commit();
    void rollback() noexcept;

  private:
    std::optional<Transaction> m_own;
    ITransaction* m_work = nullptr;
};

// Keeps a call on conn's attachment within conn's time limit for as long as
// it lives: when the limit passes before it is destroyed, a watchdog thread
// aborts the attachment (fb_cancel_abort), which makes the blocked call
// return with a network error. Nested limits restart the clock. Without a
// limit, or without an attachment, it does nothing.
class CallLimit {
  public:
    explicit CallLimit(Connection& conn);
    ~CallLimit();
    CallLimit(const CallLimit&) = delete;
    CallLimit& operator=(const CallLimit&) = delete;

  private:
    Connection::Impl* m_impl = nullptr;
    IAttachment* m_held = nullptr;  // a reference while armed
};

// A message layout read once from its metadata: the client calls that give
// each field's place cost more than filling the message itself.
struct MessageLayout {
    struct Field {
        unsigned type, charSet, length, offset, nullOffset;
    };
    Ref<IMessageMetadata> meta;
    std::vector<Field> fields;
    unsigned length = 0;
};
MessageLayout layoutOf(IMessageMetadata* meta);  // takes a reference of its own

// One value of an output message, as the engine keeps it.
Value decode(Connection& conn, ITransaction* tra, const Column& col, unsigned sqlType,
             unsigned charSet, unsigned length, const unsigned char* p);
// One output message as a row: value i is field i of layout, decoded as
// columns[i] describes it (BLOBs are read in tra).
Row decodeRow(Connection& conn, ITransaction* tra, const MessageLayout& layout,
              const unsigned char* buffer, const std::vector<const Column*>& columns);

struct InputMessage;

// The columns a statement returns, as its output metadata describes them.
void describe(Connection& conn, IMessageMetadata* meta, std::vector<Column>& columns);
// Runs a prepared SELECT (with its input message, if any) and hands every
// row, decoded, to take as it is fetched.
void fetchAll(Connection& conn, ITransaction* tra, IStatement* stmt, const InputMessage* input,
              IMessageMetadata* meta, const std::vector<Column>& columns,
              const std::function<void(Row&)>& take);

// Characters of a text column's declared length, by character set.
inline int bytesPerChar(unsigned charSet) {
    switch (charSet & 0xFF) {
        case 4:  // UTF8
            return 4;
        case 3:  // UNICODE_FSS
            return 3;
        default:
            return 1;
    }
}

// Number of UTF-8 code points in s.
inline std::size_t utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

// CHAR values and the names the system tables report come padded.
using db::rtrim;

}  // namespace replica::db::fb

namespace replica::db {

struct Connection::Impl {
    Connection* owner = nullptr;
    fb::Ref<fb::IAttachment> att;
    // The call limit (CallLimit): nesting depth of the calls in progress, and
    // whether the watchdog aborted the attachment (set by its thread).
    int callDepth = 0;
    std::atomic<bool> abandoned{false};
    bool lost = false;
    // Statements prepared for the record sets, by SQL text.
    std::unordered_map<std::string, fb::Ref<fb::IStatement>> statements;
    std::map<std::string, TableInfo> tables;
    // Output layouts of the prepared statements (RETURNING), by SQL text.
    std::unordered_map<std::string, fb::MessageLayout> outputs;
    // Parameter message layouts, by their types.
    std::unordered_map<std::string, fb::MessageLayout> messages;

    // SELECTs prepared once, by text (with their compared values lifted out
    // as parameters): the statement, its parameter and output descriptions
    // and the columns it returns. An entry without a statement is a lifted
    // text the database would not prepare: the values stay written in.
    struct Select {
        fb::Ref<fb::IStatement> stmt;
        fb::Ref<fb::IMessageMetadata> input;
        fb::Ref<fb::IMessageMetadata> output;
        std::vector<Column> columns;
    };
    std::unordered_map<std::string, Select> selects;
    // Parameter descriptions of the prepared statements, by SQL text.
    std::unordered_map<std::string, fb::Ref<fb::IMessageMetadata>> inputs;
    // The unit of work every statement joins while it is open.
    fb::Ref<fb::ITransaction> work;
    // A unit of work ends retaining its transaction (committed or rolled
    // back, under a new transaction number, so nothing is held back), and
    // the next one of the same locks takes it up: a server is then spared
    // one exchange, the start, per unit of work.
    fb::Ref<fb::ITransaction> retained;
    bool retainedNoWait = false;
    // The read-only, read-committed transaction the SELECTs share outside a
    // unit of work: such a transaction sees every commit as it happens and
    // holds back no garbage collection, so one serves the connection's life
    // and spares a start and a commit per query.
    fb::Ref<fb::ITransaction> reader;

    // Prepares sql once per connection; throws Error.
    fb::IStatement* prepared(const std::string& sql, fb::ITransaction* tra);
    // Drops every prepared statement (their metadata locks go with them) and
    // ends the readers' transaction.
    void forgetStatements();
    // The readers' transaction, started when first needed.
    fb::ITransaction* readerTransaction();
    // The autocommit transaction of single writes: each statement commits
    // as it succeeds. Started when first needed, ended with the statements.
    fb::Ref<fb::ITransaction> autocommit;
    fb::ITransaction* autocommitTransaction();
};

}  // namespace replica::db
