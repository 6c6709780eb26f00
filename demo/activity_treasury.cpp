// Treasury: cash documents and bank documents.

#include "demo/activity.h"

namespace replica::demo {

namespace {

// A line that settles a document pays something: a positive amount (a
// receipt line of an advance with no amount would not consume it).
void positiveAmount(Activity& activity, db::RecordSet& row, const char* column) {
    row.set(column, db::Value(db::Decimal{1000 + activity.pick(9000000), -2}));
}

}  // namespace

// Receipt lines collect customer documents; its cross lines offset supplier
// documents.
void cashReceiptLine(Activity& activity, const Written&, const std::string& table, int,
                     db::RecordSet& row) {
    if (table == "RECIBOS_CAJA_DETALLE") {
        writeReference(row, {"RCDE_TIPODOC", "RCDE_IDDOC", "RCDE_PREFDOC", "RCDE_NUMDOC"},
                       activity.pickWritten(kCustomerDocuments));
        positiveAmount(activity, row, "RCDE_VALOR");
    } else if (table == "RECIBOS_CAJA_CRUCEC") {
        writeReference(row, {"RCCC_TIPODOC", "RCCC_IDDOC", "RCCC_PREFDOC", "RCCC_NUMDOC"},
                       activity.pickWritten(kSupplierDocuments));
    }
}

// Disbursement lines pay supplier documents; its cross lines offset customer
// documents.
void disbursementLine(Activity& activity, const Written&, const std::string& table, int,
                      db::RecordSet& row) {
    if (table == "EGRESOS_DETALLE") {
        writeReference(row, {"EGDE_TIPODOC", "EGDE_IDDOC", "EGDE_PREFDOC", "EGDE_NUMDOC"},
                       activity.pickWritten(kSupplierDocuments));
        positiveAmount(activity, row, "EGDE_VALOR");
    } else if (table == "EGRESOS_CRUCEC") {
        writeReference(row, {"EGCC_TIPODOC", "EGCC_IDDOC", "EGCC_PREFDOC", "EGCC_NUMDOC"},
                       activity.pickWritten(kCustomerDocuments));
    }
}

}  // namespace replica::demo
