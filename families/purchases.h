#pragma once
// Purchase documents replicated as themselves, while the purchase invoice
// mode of the phase asks for it ("FACTURA"): purchase invoices (21) and
// supplier delivery notes (22) in both phases, purchase returns (24) in the
// upload phase only. Otherwise they travel as inventory movements
// (families/movements.h).
//
// Each is a row of the header/detail copy. The deviations: a copied invoice
// or delivery note line starts with nothing returned (the returned quantity,
// position 18, is 0); a downloaded invoice whose lines fail is annulled
// and then deleted; and a return's DVCO_FACTID is translated into the destination's id of the
// invoice named by DVCO_FACTURA.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The rows of types 21 (one per phase), 22 and 24, in code order.
const std::vector<DocumentFamily>& purchaseDocuments();
// The row that handles type in phase with the mode on; throws
// std::out_of_range when there is none (a downloaded return).
const DocumentFamily& purchaseDocument(int type, Phase phase);

// DVCO_FACTURA split into the invoice's prefix (all but the last 6
// characters) and number (the last 6); a text of 6 characters or fewer is
// all number. Sales invoices carry numbers of 8 characters: numberLength 8.
std::pair<std::string, std::string> splitInvoiceText(const std::string& invoice,
                                                     std::size_t numberLength = 6);

// The form conditions.
bool invoiceInDownload(Phase phase, const RunOptions& options);
bool invoiceInUpload(Phase phase, const RunOptions& options);
bool purchaseAsDocument(Phase, const RunOptions& options);
bool returnAsDocument(Phase phase, const RunOptions& options);

}  // namespace replica::families
