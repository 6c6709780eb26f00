#pragma once
// Inventory documents replicated as themselves: entries (11), exits (12),
// transfers (13), adjustments (14), kit assemblies (15), kit breakdowns (16),
// reservations (17) and inventory orders (18).
//
// Each is the header/detail copy with its family's tables and texts; the
// same description serves both phases. Two deviate: the adjustment is found
// by its concept text and stored under the receiving company's prefix, and
// the transfer, when the run asks for transfers as entries, belongs to the
// entry form of the movement copy, which is not built yet: such an event is
// left pending with kTransferAsEntryPending, never marked replicated.

#include "engine/catalogue.h"
#include "engine/headerdetail.h"

namespace replica::families {

// The family description of one inventory event type (11 to 18).
DocumentFamily inventoryFamily(int type);

// The handler of one inventory event type, the same in both phases.
Handler inventoryHandler(int type);

// Gives the catalogue the handlers of types 11 to 18.
void addInventory(Catalogue& catalogue);

// Left on a transfer event while the transfer-as-entry form has no handler.
inline constexpr const char* kTransferAsEntryPending =
    "Tipo de evento sin manejador: traslado como entrada";

}  // namespace replica::families
