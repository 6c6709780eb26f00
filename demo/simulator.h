#pragma once
// The ERP activity simulator: writes documents and master records into one
// company database the way the ERP does, each change with its
// REPLICA_EVENTOS row addressed to the companies that REPLICACION_CONFIGURA
// names for its document type and prefix.
//
// Rows are filled from the table's own metadata (types, lengths, keys), so
// the simulator follows the schema as it grows. Runs are deterministic for a
// given seed and database state. Besides inserts ("I") it writes updates
// ("U"), annulments ("A") and deletions ("D") of documents it wrote, and
// updates and deletions of master records it wrote.
//
// Documents are numbered with the id in 6 digits (sales invoices 8), and the
// columns by which a document names another one (a voucher's source document,
// the documents an application, receipt, disbursement or payroll receivable
// settles, the invoice of a return, the receipt or disbursement of an advance)
// name documents this run wrote, or none. The families and the hooks that shape their rows:
// activity.h.

#include <string>
#include <vector>

#include "engine/db/connection.h"

namespace replica::demo {

struct SimulationOptions {
    unsigned seed = 1;
    int documents = 20;  // documents written (spread over the families)
    int masters = 10;    // master records written
    int linesPerDocument = 3;
    int updates = 0;          // of the documents written, how many get a "U" event
    int annulments = 0;       // ... an "A" event (annul flag set)
    int deletions = 0;        // ... a "D" event (deleted)
    int masterUpdates = 0;    // of the master records written, how many get a "U" event
    int masterDeletions = 0;  // ... a "D" event (deleted), after those
    std::vector<int> types;   // only these event types; empty: every family
    bool writeEvents = true;  // false: master data only, no events
};

struct SimulationReport {
    int documents = 0;
    int lines = 0;
    int masters = 0;
    int events = 0;
};

// Types of the document families and master families the simulator knows.
std::vector<int> documentTypes();
std::vector<int> masterTypes();
// The prefix the demo installation uses for a document type; empty for
// families without one (master records too).
std::string prefixFor(int type);
// Every prefix the events of a type may carry, for REPLICACION_CONFIGURA: its
// own, and for vouchers, which are filed under the prefix of the document
// they come from, every document prefix.
std::vector<std::string> prefixesFor(int type);

// Throws db::Error when the database refuses a row.
SimulationReport simulate(db::Connection& company, const SimulationOptions& options);

}  // namespace replica::demo
