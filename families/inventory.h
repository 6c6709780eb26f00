#pragma once
// Inventory documents replicated as themselves: entries (11), exits (12),
// transfers (13), adjustments (14), kit assemblies (15), kit breakdowns (16),
// reservations (17) and inventory orders (18).
//
// Each is one row of the header/detail copy with its family's tables and
// texts; the same row serves both phases. Two deviate: the adjustment is
// found by its concept text and stored under the receiving company's prefix,
// and the transfer is copied as a transfer only while the run does not ask
// for transfers as entries (then the movement form of type 13 applies).

#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The rows of types 11 to 18, in code order.
const std::vector<DocumentFamily>& inventoryDocuments();
// The row of one inventory event type; throws std::out_of_range otherwise.
const DocumentFamily& inventoryDocument(int type);

// The transfer form's condition: copied as a transfer unless the run asks
// for transfers as entries.
bool transferAsTransfer(Phase, const RunOptions& options);

}  // namespace replica::families
