// Purchases: purchase invoices, supplier delivery notes, purchase returns,
// transfers.

#include "demo/activity.h"

namespace replica::demo {

// The invoice a purchase return gives back: its prefix and number as one
// text (the number is the last 6 characters) and its id; none: "" and 0.
void purchaseReturnHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* invoice = activity.pickWritten({21});
    header.set("DVCO_FACTURA", db::Value(invoice ? invoice->prefix + invoice->number : ""));
    header.set("DVCO_FACTID", db::Value(invoice ? invoice->id : 0));
}

}  // namespace replica::demo
