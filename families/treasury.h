#pragma once
// Treasury documents replicated as themselves: the cash documents (61 cash
// receipts, 62 disbursements, 63 document exchanges, 64 card deposits, 65
// provisional receipts, 66 cash transfers) and the bank documents (71
// deposits, 72 cheques, 73 withdrawals, 74 bank debit notes, 75 bank credit
// notes, 76 bank transfers, 77 returned cheques).
//
// Each is one row of the header/detail copy, the same row in both phases.
// Cash documents have one or more line tables, copied, cleared and undone
// in the row's order. The lines of receipts and disbursements that settle
// another document get that document's destination id, and the advance a
// receipt or disbursement consumes is linked to the destination's copy.
// Bank documents are found by account, bank prefix and number; the account
// comes from RPEV_CODIGO and must be a whole number, or the event stays
// pending with nothing sent.

#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The rows of types 61 to 66 and 71 to 77, in code order.
const std::vector<DocumentFamily>& treasuryDocuments();
// The row of one treasury event type; throws std::out_of_range otherwise.
const DocumentFamily& treasuryDocument(int type);

}  // namespace replica::families
