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

// The prepared form of a SELECT: its compared literals lifted out as
// parameters when the database describes each so that the value passes
// unchanged (values then receives them), or the text itself when it has none;
// prepared once per connection. Null when the text must go as written (a
// value the prepared form cannot carry, or a lifted form the database would
// not prepare). Throws Firebird::FbException when the text itself does not
// prepare.
const Connection::Impl::Select* preparedSelect(Connection& conn, ITransaction* tra,
                                               const std::string& sql, std::vector<Value>& values);
// The input message of lifted values for a statement described by input.
InputMessage encodeLiterals(Connection& conn, ITransaction* tra, const std::vector<Value>& values,
                            IMessageMetadata* input);
// Runs an UPDATE or DELETE prepared once with its compared literals bound,
// in tra. False, with nothing done, when the text has no such literals or the
// prepared form cannot carry them: the caller sends it as written.
bool executeLifted(Connection& conn, ITransaction* tra, const std::string& sql);

}  // namespace replica::db::fb
