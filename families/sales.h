#pragma once
// Sales documents and loyalty points: sales invoices (31), delivery notes
// (32), returns (33), customer orders (34), quotations (35), points
// redemptions (81) and the per-document points records (235).
//
// Each is one row of a copy mechanism plus small hooks. A sales invoice is
// copied as an invoice in the upload phase, and in the download phase when
// the receiving company's sales invoice mode asks for it ("FACTURA");
// otherwise a downloaded invoice becomes an inventory exit (a row of the
// mapped copy). As an invoice it carries its lines (which start with nothing
// returned; a negative line marks the matching positive lines of the same
// invoice as returned), its cash-payment lines (always downloaded, uploaded
// only when the destination's setting says "SI"), a check that every line
// arrived, and the customer's points call on success.
//
// A sales return points its invoice and its refunding disbursement at the
// destination's own documents, always gets DEVT_IMPLICA "S", keeps the
// destination's accounting state on a replace, tells the operator when it is
// taken back, and accrues points too.
// Delivery notes, orders and quotations are plain copies. A redemption found
// in the destination is replaced in place when downloaded and left alone
// when uploaded; a points record is found by document type, prefix and
// number, and one already there completes its event with a note.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"

namespace replica::families {

// The header/detail rows of types 31 (as an invoice), 32 to 35, 81 and 235,
// in code order.
const std::vector<DocumentFamily>& salesDocuments();
// The header/detail row of one of those types; throws std::out_of_range
// otherwise.
const DocumentFamily& salesDocument(int type);
// The downloaded sales invoice as an inventory exit.
const DocumentFamily& salesInvoiceExit();

// The sales invoice's form conditions: as an invoice in the upload phase and
// under the sales invoice mode; as an exit when downloaded without it.
bool salesAsInvoice(Phase phase, const RunOptions& options);
bool salesAsExit(Phase phase, const RunOptions& options);

// The event message of an invoice whose destination holds fewer lines than
// its source once the copy is done.
std::string incompleteInvoiceMessage(std::int64_t expected, std::int64_t found);

}  // namespace replica::families
