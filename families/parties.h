#pragma once
// Third parties: the person or company (102), its customer (103) and
// supplier (104) roles, debt collectors (105), salespeople (106) and the
// customers' branches (152).
//
// Each is one row of the keyed record copy, named by RPEV_CODIGO (the tax id,
// or the collector's or salesperson's number). None has a delete form: every
// letter copies, and a record gone from the source writes nothing.

#include <vector>

#include "engine/catalogue.h"
#include "engine/keyedcopy.h"

namespace replica::families {

// The rows of the third-party families, in catalogue order.
const std::vector<KeyedFamily>& partyFamilies();

}  // namespace replica::families
