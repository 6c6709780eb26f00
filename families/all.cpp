#include "families/all.h"

#include "families/inventory.h"

namespace replica::families {

Catalogue catalogue() {
    Catalogue c = Catalogue::listed();
    // Each family group adds its handlers here, in catalogue order.
    addInventory(c);  // 11 to 18
    return c;
}

}  // namespace replica::families
