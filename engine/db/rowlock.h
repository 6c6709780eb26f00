#pragma once
// Rows held locked for a while: a SELECT ... WITH LOCK run in a write
// transaction that stays open until release().
//
// The transaction does not wait (NO WAIT): a row that another transaction
// holds makes acquire() answer Busy at once, and nothing is held then. The
// locked rows are never changed, so the transaction is rolled back at the
// end. The locks go with the transaction, and the transaction with its
// attachment: however the holding process ends (a kill included), the
// database releases them. Readers are not held up by the lock (they read
// the last committed version); a writer of a locked row waits for the
// release (or fails at once when it does not wait). The connection is used
// for nothing else while the rows are held.
//
// Errors: acquire() throws Error for any failure but a held row (the
// database cannot be opened, the SELECT is refused); release() never throws.

#include <memory>
#include <string>

#include "engine/db/connection.h"

namespace replica::db {

class RowLock {
  public:
    enum class Result {
        Held,  // every row of the SELECT is locked until release()
        Busy,  // another transaction holds one of them; nothing is held
    };

    // conn: a connection of the lock's own (opened by acquire() if closed).
    explicit RowLock(Connection& conn);
    ~RowLock();
    RowLock(const RowLock&) = delete;
    RowLock& operator=(const RowLock&) = delete;

    // Releases what is held, then locks every row sql (a SELECT ... WITH
    // LOCK) returns.
    Result acquire(const std::string& sql);
    void release() noexcept;
    bool held() const;
    // Rows locked by the last acquire() that answered Held.
    int rows() const { return m_rows; }

  private:
    struct State;
    Connection& m_conn;
    std::unique_ptr<State> m_state;
    int m_rows = 0;
};

}  // namespace replica::db
