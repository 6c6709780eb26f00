#pragma once
// Documents that reach another company as plain inventory movements: a
// transfer (13) as an entry of the company that owns its destination
// warehouse, a purchase invoice (21) and a supplier delivery note (22) as
// entries, a purchase return (24) as an exit.
//
// Each is one row of the mapped copy. The movement keeps its origin in
// *_TIPOREF (the event type), *_IDREF (the origin's id where it was made)
// and *_REFER (the origin's prefix and number), and later events find it by
// that reference. Which form an event takes is decided by the run options:
// the transfer option for 13, the purchase invoice mode for 21 and 22, and
// for 24 the mode in the upload phase only (a downloaded return is always an
// exit).

#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The rows of types 13, 21, 22 and 24 as movements, in code order.
const std::vector<DocumentFamily>& movementDocuments();
// The movement row of one event type; throws std::out_of_range otherwise.
const DocumentFamily& movementDocument(int type);

// The form conditions.
bool transferAsEntry(Phase, const RunOptions& options);
bool purchaseAsEntry(Phase, const RunOptions& options);
bool returnAsExit(Phase phase, const RunOptions& options);

}  // namespace replica::families
