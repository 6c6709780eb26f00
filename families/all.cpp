#include "families/all.h"

namespace replica::families {

Catalogue catalogue() {
    Catalogue c = Catalogue::listed();
    // Each family group adds its handlers here, in catalogue order.
    return c;
}

}  // namespace replica::families
