#pragma once
// Accounting setup every company shares: ledger accounts (100), document
// prefixes (142) and the seven accounting interfaces (111 to 117: which
// accounts a bank, cash, receivable, purchase, payable, inventory or sales
// operation posts to).
//
// Each is one row of the keyed record copy, the same texts in both phases.
// None has a delete form: every letter copies, and a record gone from the
// source writes nothing.

#include <vector>

#include "engine/catalogue.h"
#include "engine/keyedcopy.h"

namespace replica::families {

// The rows of the accounting setup families, in catalogue order.
const std::vector<KeyedFamily>& accountingFamilies();

// The columns a prefix event writes into PREFIJOS; the others (numbering
// range, resolution) are each company's own.
const std::vector<NamedColumn>& prefixColumns();

}  // namespace replica::families
