#include "engine/db/rowlock.h"

#include <ibase.h>

#include <vector>

#include "engine/db/fb.h"

namespace replica::db {

namespace {

// Read committed, so that rows committed by anyone are seen as they are
// now; NO WAIT, so that a row held elsewhere is an answer, not a wait.
const unsigned char kTpbNoWait[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                    isc_tpb_rec_version, isc_tpb_nowait};

}  // namespace

struct RowLock::State {
    fb::Ref<fb::ITransaction> tra;
};

RowLock::RowLock(Connection& conn) : m_conn(conn), m_state(std::make_unique<State>()) {}

RowLock::~RowLock() {
    release();
}

bool RowLock::held() const {
    return static_cast<bool>(m_state->tra);
}

RowLock::Result RowLock::acquire(const std::string& sql) {
    release();
    m_rows = 0;
    if (!m_conn.isOpen()) {
        m_conn.open();
    }
    m_conn.trace(sql);
    fb::CallLimit limit(m_conn);
    fb::Ref<fb::ITransaction> tra;
    try {
        fb::Status st;
        fb::IAttachment* att = m_conn.impl().att.get();
        tra.reset(att->startTransaction(&st, sizeof kTpbNoWait, kTpbNoWait));
        fb::Ref<Firebird::IResultSet> rows(att->openCursor(&st, tra.get(), 0, sql.c_str(), 3,
                                                           nullptr, nullptr, nullptr, nullptr, 0));
        fb::Ref<fb::IMessageMetadata> meta(rows->getMetadata(&st));
        std::vector<unsigned char> buffer(meta->getMessageLength(&st));
        // Each row is locked as it is fetched.
        int count = 0;
        while (rows->fetchNext(&st, buffer.data()) == Firebird::IStatus::RESULT_OK) {
            ++count;
        }
        rows->close(&st);
        rows.dismiss();
        m_state->tra = std::move(tra);
        m_rows = count;
        return Result::Held;
    } catch (const Firebird::FbException& e) {
        Error error = fb::toError(m_conn, e, sql);
        if (tra) {
            try {
                fb::Status st;
                tra->rollback(&st);
                tra.dismiss();
            } catch (const Firebird::FbException&) {
                tra.reset();  // dies with its attachment
            }
        }
        if (error.kind() == ErrorKind::Lock) {
            return Result::Busy;
        }
        throw error;
    }
}

void RowLock::release() noexcept {
    if (!m_state->tra) {
        return;
    }
    fb::CallLimit limit(m_conn);
    try {
        fb::Status st;
        m_state->tra->rollback(&st);
        m_state->tra.dismiss();
    } catch (const Firebird::FbException&) {
        // The connection is gone, and the locks with it.
        m_state->tra.reset();
    }
}

}  // namespace replica::db
