#include "families/all.h"

#include "families/inventory.h"
#include "families/items.h"

namespace replica::families {

Catalogue catalogue() {
    Catalogue c = Catalogue::listed();
    // Each family group adds its forms here, in catalogue order.
    addInventory(c);  // 11 to 18
    addItems(c);      // 101, 124 to 129, 201 to 205, 1291
    return c;
}

const std::vector<int>& pendingCodes() {
    static const std::vector<int> kPending = {
        1,                                            // accounting vouchers
        21,  22,  24,                                 // purchase documents
        31,  32,  33,  34,  35,                       // sales documents
        41,  42,  43,  45,  51,  52,  53,  55,        // notes, applications, advances
        61,  62,  63,  64,  65,  66,                  // cash documents
        71,  72,  73,  74,  75,  76,  77,             // bank documents
        81,  235,                                     // loyalty points
        94,  96,  192, 193,                           // payroll
        100, 142, 111, 112, 113, 114, 115, 116, 117,  // accounting setup
        102, 103, 104, 105, 106, 152,                 // third parties
    };
    return kPending;
}

}  // namespace replica::families
