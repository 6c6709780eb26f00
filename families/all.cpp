#include "families/all.h"

#include "families/accounting.h"
#include "families/accounts.h"
#include "families/inventory.h"
#include "families/items.h"
#include "families/movements.h"
#include "families/parties.h"
#include "families/payroll.h"
#include "families/purchases.h"
#include "families/sales.h"
#include "families/settings.h"
#include "families/treasury.h"

namespace replica::families {

namespace {

template <class Row>
void append(std::vector<const Row*>& to, const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        to.push_back(&r);
    }
}

}  // namespace

std::vector<const DocumentFamily*> documentFamilies() {
    std::vector<const DocumentFamily*> rows;
    append(rows, accountDocuments());     // 1, 41 to 45, 51 to 55
    append(rows, inventoryDocuments());   // 11 to 18
    append(rows, movementDocuments());    // 13, 21, 22, 24 as inventory movements
    append(rows, purchaseDocuments());    // 21, 22, 24 as themselves
    append(rows, salesDocuments());       // 31 to 35, 81, 235
    rows.push_back(&salesInvoiceExit());  // 31 as an inventory exit
    append(rows, treasuryDocuments());    // 61 to 66, 71 to 77
    append(rows, payrollDocuments());     // 94, 193
    return rows;
}

std::vector<const KeyedFamily*> keyedFamilies() {
    std::vector<const KeyedFamily*> rows;
    append(rows, itemFamilies());        // 101, 124 to 129, 201 to 205, 1291
    append(rows, payrollRecords());      // 96, 192
    append(rows, accountingFamilies());  // 100, 111 to 117, 142
    append(rows, partyFamilies());       // 102 to 106, 152
    return rows;
}

Catalogue catalogue() {
    Catalogue c = Catalogue::listed();
    declareSettings(c);
    for (const DocumentFamily* d : documentFamilies()) {
        c.add(d->type, documentForm(*d));
    }
    for (const KeyedFamily* k : keyedFamilies()) {
        c.add(k->type, keyedForm(*k));
    }
    return c;
}

const std::vector<int>& pendingCodes() {
    static const std::vector<int> kPending = {};
    return kPending;
}

}  // namespace replica::families
