#include "engine/db/error.h"

#include <utility>

namespace replica::db {

Error::Error(std::string message, ErrorKind kind, int sqlCode, long gdsCode, std::string sql)
    : std::runtime_error(message),
      m_message(std::move(message)),
      m_kind(kind),
      m_sqlCode(sqlCode),
      m_gdsCode(gdsCode),
      m_sql(std::move(sql)) {}

std::string messageOf(const std::exception& e) {
    if (const auto* db = dynamic_cast<const Error*>(&e)) {
        return db->message();
    }
    return e.what();
}

namespace {

// Codes from Firebird's iberror.h, written out so that this file needs no
// Firebird header: the one table of the codes the agent tells apart.
struct Code {
    long code = 0;
    ErrorKind kind = ErrorKind::Other;
    bool outage = false;  // the database out of reach (Failure::Outage)
};
constexpr Code kCodes[] = {
    {335544375L, ErrorKind::Connection, true},  // isc_unavailable
    {335544421L, ErrorKind::Connection, true},  // isc_connect_reject (also a handshake given up)
    {335544472L, ErrorKind::Connection, true},  // isc_login
    {335544721L, ErrorKind::Connection, true},  // isc_network_error
    {335544726L, ErrorKind::Connection, true},  // isc_net_read_err (also a call given up)
    {335544727L, ErrorKind::Connection, true},  // isc_net_write_err
    {335544741L, ErrorKind::Connection, true},  // isc_lost_db_connection
    // A database its administrator shut down: before the attachment
    // (isc_shutdown) or under it (isc_att_shutdown).
    {335544528L, ErrorKind::Connection, true},  // isc_shutdown
    {335544856L, ErrorKind::Connection, true},  // isc_att_shutdown
    {335544324L, ErrorKind::Connection},        // isc_bad_db_handle
    // isc_io_error (335544344) and the system call that failed with it
    // (isc_io_open_err 335544734, isc_io_write_err 335544737 and so on)
    // are not here: on an attached database they are the database's own
    // answer (a full disk, a file it cannot extend), to be kept on the
    // event, not a server out of reach. Opening a database classes its own
    // failures (Connection::open).
    {335544349L, ErrorKind::Constraint},  // isc_no_dup
    {335544665L, ErrorKind::Constraint},  // isc_unique_key_violation
    {335544466L, ErrorKind::Constraint},  // isc_foreign_key
    {335544558L, ErrorKind::Constraint},  // isc_check_constraint
    {335544347L, ErrorKind::Constraint},  // isc_not_valid
    {335544517L, ErrorKind::Constraint},  // isc_except (user exception in a trigger)
    {335544336L, ErrorKind::Lock},        // isc_deadlock
    {335544345L, ErrorKind::Lock},        // isc_lock_conflict
    {335544878L, ErrorKind::Lock},        // isc_concurrent_transaction
    {335544451L, ErrorKind::Lock},        // isc_update_conflict
    {335544569L, ErrorKind::Syntax},      // isc_dsql_error
    {335544580L, ErrorKind::Syntax},      // isc_dsql_relation_err
    {335544578L, ErrorKind::Syntax},      // isc_dsql_field_err
    {335544634L, ErrorKind::Syntax},      // isc_dsql_token_unk_err
};

const Code* codeRow(long gdsCode) {
    for (const Code& c : kCodes) {
        if (c.code == gdsCode) {
            return &c;
        }
    }
    return nullptr;
}

}  // namespace

ErrorKind errorKindForGds(long gdsCode) {
    const Code* c = codeRow(gdsCode);
    return c ? c->kind : ErrorKind::Other;
}

Failure classify(const Error& e) {
    if (e.kind() != ErrorKind::Connection) {
        return Failure::Refused;
    }
    const Code* c = codeRow(e.gdsCode());
    return c && c->outage ? Failure::Outage : Failure::Unusable;
}

}  // namespace replica::db
