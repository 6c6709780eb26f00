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

ErrorKind errorKindForGds(long gdsCode) {
    // Codes from Firebird's iberror.h, written out so that this file needs no
    // Firebird header.
    struct Row {
        long code;
        ErrorKind kind;
    };
    static constexpr Row kCodes[] = {
        {335544375L, ErrorKind::Connection},  // isc_unavailable
        {335544421L, ErrorKind::Connection},  // isc_connect_reject
        {335544472L, ErrorKind::Connection},  // isc_login
        {335544721L, ErrorKind::Connection},  // isc_network_error
        {335544726L, ErrorKind::Connection},  // isc_net_read_err
        {335544727L, ErrorKind::Connection},  // isc_net_write_err
        {335544741L, ErrorKind::Connection},  // isc_lost_db_connection
        {335544324L, ErrorKind::Connection},  // isc_bad_db_handle
        // A database its administrator shut down: before the attachment
        // (isc_shutdown) or under it (isc_att_shutdown).
        {335544528L, ErrorKind::Connection},  // isc_shutdown
        {335544856L, ErrorKind::Connection},  // isc_att_shutdown
        // isc_io_error (335544344) and the system call that failed with it
        // (isc_io_open_err 335544734, isc_io_write_err 335544737 and so on)
        // are not here: on an attached database they are the database's
        // own answer (a full disk, a file it cannot extend), to be kept on
        // the event, not a server out of reach. Opening a database classes
        // its own failures (Connection::open).
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
    for (const Row& r : kCodes) {
        if (r.code == gdsCode) {
            return r.kind;
        }
    }
    return ErrorKind::Other;
}

bool isOutage(const Error& e) {
    static constexpr long kOutageCodes[] = {
        335544375L,  // isc_unavailable
        335544421L,  // isc_connect_reject (also a handshake given up)
        335544472L,  // isc_login
        335544721L,  // isc_network_error
        335544726L,  // isc_net_read_err (also a call given up)
        335544727L,  // isc_net_write_err
        335544741L,  // isc_lost_db_connection
        335544528L,  // isc_shutdown
        335544856L,  // isc_att_shutdown
    };
    if (e.kind() != ErrorKind::Connection) {
        return false;
    }
    for (long code : kOutageCodes) {
        if (code == e.gdsCode()) {
            return true;
        }
    }
    return false;
}

}  // namespace replica::db
