#pragma once
// Statement parameters, laid out as a Firebird input message. Private to the
// database layer, like fb.h.
//
// A parameter is a value and the column it is written to or compared with.
// Its message type follows the value, not the column, so that no digit is
// lost on the way (Firebird converts to the column's own type): integers,
// decimals and currencies travel as scaled BIGINTs, doubles as DOUBLE
// PRECISION, dates and times as themselves, texts and bytes as VARCHARs, and
// any value of a BLOB column as a BLOB written before the statement runs. A
// text longer than a VARCHAR parameter can carry is refused, as the database
// refuses a text longer than its column; it is never cut. Message layouts
// are built once per list of types and kept by the connection.

#include <vector>

#include "engine/db/fb.h"

namespace replica::db::fb {

// One value bound to a "?" of a statement. Neither pointer is owned; both
// must outlive the message built from them.
struct Param {
    const Value* value;
    const Column* column;  // its length sizes texts; a BLOB column gets a BLOB
};

// The input message of one execution.
struct InputMessage {
    // Owned by the connection's layout cache: valid until the next
    // encodeParams or close on that connection.
    IMessageMetadata* meta = nullptr;
    std::vector<unsigned char> buffer;
};

// Lays params out as an input message; the values of BLOB columns are first
// written into new BLOBs of tra. Throws Error (kind Constraint, the
// database's own truncation wording) for a text or bytes longer than a
// parameter can carry, and Firebird::FbException when the client refuses a
// BLOB or the layout.
InputMessage encodeParams(Connection& conn, ITransaction* tra, const std::vector<Param>& params);

}  // namespace replica::db::fb
