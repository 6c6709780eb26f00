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

Catalogue catalogue() {
    Catalogue c = Catalogue::listed();
    declareSettings(c);
    // Each family group adds its forms here, in catalogue order.
    addAccounts(c);    // 1, 41 to 45, 51 to 55
    addInventory(c);   // 11 to 18
    addMovements(c);   // 13, 21, 22, 24 as inventory movements
    addPurchases(c);   // 21, 22, 24 as themselves
    addSales(c);       // 31 to 35, 81, 235
    addTreasury(c);    // 61 to 66, 71 to 77
    addItems(c);       // 101, 124 to 129, 201 to 205, 1291
    addPayroll(c);     // 94, 96, 192, 193
    addAccounting(c);  // 100, 111 to 117, 142
    addParties(c);     // 102 to 106, 152
    return c;
}

const std::vector<int>& pendingCodes() {
    static const std::vector<int> kPending = {};
    return kPending;
}

}  // namespace replica::families
