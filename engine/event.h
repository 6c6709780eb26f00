#pragma once
// One replication event and the working state a handler sees.
//
// An `Event` is a snapshot of one REPLICA_EVENTOS row. A `Handler` receives
// a `HandlerContext` (the event, the phase's source and destination
// connections, the run options, the per-event state and the error capture)
// and reports failure only through `state.failed`: handlers never throw a
// failure of a row at their caller. Anything a handler cannot handle (a
// query refused, a lost connection) is thrown and ends the run.

#include <cstdint>
#include <functional>
#include <string>

#include "engine/db/connection.h"
#include "engine/db/recordset.h"

namespace replica {

enum class Phase { None, Download, Upload };

struct Event {
    std::int64_t id = 0;          // RPEV_ID
    std::string company;          // RPEV_COMPANIA
    int type = 0;                 // RPEV_TIPO
    std::int64_t documentId = 0;  // RPEV_IDDOC (0 when null)
    std::string iddocText;        // RPEV_IDDOC as text, as it goes into SQL
    std::string prefix;           // RPEV_PREF
    std::string number;           // RPEV_NUMERO
    std::string code;             // RPEV_CODIGO
    std::string operation;        // RPEV_OPER, compared exactly
    std::string prefixDest;       // RPEV_PREFDEST
    std::string data;             // RPEV_DATOS
    std::string error;            // RPEV_ERROR
};

// Options read once per phase (purchase and sales invoice modes, transfer
// as entry, lock date).
struct RunOptions {
    bool purchaseInvoiceMode = false;
    bool salesInvoiceMode = false;
    bool transferAsEntry = false;
    std::string lockDate;
};

// Reset for every event.
struct EventState {
    bool failed = false;
    bool headerWritten = false;
    std::int32_t documentId = 0;
};

class ErrorCapture;

struct HandlerContext {
    Phase phase;
    const Event& event;
    db::Connection& source;
    db::Connection& destination;
    const RunOptions& options;
    EventState& state;
    ErrorCapture& errors;
    // Settings lookup on the server connection of the phase (the main
    // screen's `configuracion`).
    std::function<std::string(const std::string& module, const std::string& category,
                              const std::string& property)>
        configuracion;

    // Applies rs with no tolerated error; a refused row is captured on the
    // event and sets state.failed. Returns true when every row was written.
    bool apply(db::RecordSet& rs);
    // Posts the row being edited; a refusal in memory is captured and
    // thrown as RunStopped (the run ends silently).
    void post(db::RecordSet& rs);
    // Edit and delete of the current row, refusals handled as for post.
    void edit(db::RecordSet& rs);
    void remove(db::RecordSet& rs);
    // Completion with the note "Registro ya encontrado." (loyalty points).
    bool noteFound = false;
};

using Handler = std::function<void(HandlerContext&)>;

// Thrown after a failure that the capture already recorded and that must end
// the run without a further message (a refused post in memory).
struct RunStopped {};

}  // namespace replica
