#pragma once
// Account documents: accounting vouchers (1); customer debit and credit
// notes (41, 42), payment applications (43) and advances (45); supplier debit
// and credit notes (51, 52), payment applications (53) and advances (55).
//
// Each is one row of the header/detail copy, the same row in both phases.
// The voucher deviates the most: it is found by voucher type, prefix and
// number, an existing copy is deleted with its lines and inserted again
// under a fresh id, its link to the document that generated it is
// translated to the destination's id of that document, its international
// books lines travel only in the download phase, and in the upload phase a
// voucher dated before the destination's lock date is not sent.

#include <optional>
#include <string_view>
#include <vector>

#include "engine/catalogue.h"
#include "engine/db/value.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The rows of types 1, 41 to 45 and 51 to 55, in code order.
const std::vector<DocumentFamily>& accountDocuments();
// The row of one of those types; throws std::out_of_range otherwise.
const DocumentFamily& accountDocument(int type);

}  // namespace replica::families
