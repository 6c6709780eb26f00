// Accounts: vouchers, customer and supplier notes, applications and advances,
// payroll receivables.

#include <vector>

#include "demo/activity.h"
#include "engine/catalogue.h"

namespace replica::demo {

namespace {

// The voucher type of the vouchers a document type generates: "CT" and the
// type in two digits ("CT21" for purchase invoices, "CT01" for a voucher
// entered by hand).
std::string voucherType(int type) {
    return (type < 10 ? "CT0" : "CT") + std::to_string(type);
}

// Document types a voucher can name: those the receiving company can find
// again by prefix and number.
const std::vector<int>& voucherSources() {
    static const std::vector<int> k = [] {
        std::vector<int> out;
        for (int type = 2; type < 300; ++type) {
            if (!referenceSql(type, "", "").empty()) {
                out.push_back(type);
            }
        }
        return out;
    }();
    return k;
}

}  // namespace

// A voucher is the ledger side of a document: it carries that document's
// type and id, and is filed under its prefix and number. One voucher per
// document, so the voucher key (type, prefix, number) stays unique; once
// every document has its voucher the rest are entered by hand and name none.
void voucherHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* source = activity.pickWritten(voucherSources(), [&](const Written& doc) {
        for (const Written& w : activity.written()) {
            if (w.type == 1 && w.prefix == doc.prefix && w.number == doc.number) {
                return false;
            }
        }
        return true;
    });
    header.set("TICO_COD", db::Value(voucherType(source ? source->type : 1)));
    header.set("ENCO_TIPODOC", db::Value(source ? source->type : 0));
    header.set("ENCO_IDDOC", db::Value(source ? source->id : 0));
    if (source) {
        header.set("PRCO_PREF", db::Value(source->prefix));
        header.set("ENCO_NUMERO", db::Value(source->number));
    }
}

void applicationLine(Activity& activity, const Written&, const std::string& table, int,
                     db::RecordSet& row) {
    if (table == "APLICACION_CLIENTE_DETALLE") {
        writeReference(row, {"APCD_TIPOREF", "APCD_IDREF", "APCD_PREFREF", "APCD_NUMREF"},
                       activity.pickWritten(kCustomerDocuments));
    } else if (table == "APLICACION_PROVEEDOR_DETALLE") {
        writeReference(row, {"APPD_TIPOREF", "APPD_IDREF", "APPD_PREFREF", "APPD_NUMREF"},
                       activity.pickWritten(kSupplierDocuments));
    }
}

// The cash receipt that took the advance; 0 before any receipt exists.
void customerAdvanceHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* receipt = activity.pickWritten({61});
    header.set("RECA_ID", db::Value(receipt ? receipt->id : 0));
}

// The disbursement that paid the advance, or 0.
void supplierAdvanceHeader(Activity& activity, const Written&, db::RecordSet& header) {
    const Written* disbursement = activity.pickWritten({62});
    header.set("EGRE_ID", db::Value(disbursement ? disbursement->id : 0));
}

// Each line of a payroll receivable is a customer document deducted from pay.
void payrollReceivableLine(Activity& activity, const Written&, const std::string&, int,
                           db::RecordSet& row) {
    writeReference(row, {"NCDE_TIPODOC", "NCDE_IDDOC", "NCDE_PREF", "NCDE_NUMERO"},
                   activity.pickWritten(kCustomerDocuments));
}

}  // namespace replica::demo
