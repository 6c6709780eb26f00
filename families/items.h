#pragma once
// Items and the small master tables around them: the item with its photos
// and attached documents (101), its units (124), bar codes (125), prices
// (126), accounting setup (127) and product components (128); the inventory
// classification (families 201, groups 202, subgroups 203), brands (204) and
// sub-brands (205); price discount plans (129) and their item lines (1291).
//
// Each is one row of the keyed record copy; the same row serves both phases,
// with the upload texts given where that phase sends other ones.

#include <vector>

#include "engine/catalogue.h"
#include "engine/keyedcopy.h"

namespace replica::families {

// The rows of the item, classification, brand and discount families, in
// catalogue order.
const std::vector<KeyedFamily>& itemFamilies();
// The row of one of those types; throws std::out_of_range otherwise.
const KeyedFamily& itemFamily(int type);

// The columns an item event writes into ARTICULO, and a price event into
// PRECIOS_ARTICULO; the others are each company's own.
const std::vector<NamedColumn>& itemColumns();
const std::vector<NamedColumn>& priceColumns();

}  // namespace replica::families
