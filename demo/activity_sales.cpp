// Sales: invoices, delivery notes, returns, orders, quotations, loyalty
// points.

#include "demo/activity.h"

namespace replica::demo {

// A sales return names the invoice it gives back (prefix and number as one
// text, the number being the invoice's 8 digits, and its id) and, when the
// money was paid back, the disbursement that did it.
void salesReturnHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* invoice = activity.pickWritten({31});
    header.set("DEVT_FACTURA", db::Value(invoice ? invoice->prefix + invoice->number : ""));
    header.set("DEVT_FACTID", db::Value(invoice ? invoice->id : 0));
    const Written* refund = activity.pick(2) == 0 ? activity.pickWritten({62}) : nullptr;
    header.set("DEVT_IDEGRE", db::Value(refund ? refund->id : 0));
}

}  // namespace replica::demo
