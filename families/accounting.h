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

// An interface kind: a header keyed by its id (first column) and account
// rows in the header's table with "_CTAS" appended, keyed by the header id
// and their item number (second column).
struct InterfaceKind {
    int type;
    const char* header;  // e.g. "INTERFAZ_BANCOS"
    const char* id;      // the header's id column, e.g. "INBA_ID"
    const char* item;    // the account table's item column, e.g. "INBC_ITEM"
};

// The seven kinds, in catalogue order. The account tables' item columns do
// not follow the headers' prefixes (INBC_, INJC_, INCD_...): each is spelled
// here once, next to its header.
const std::vector<InterfaceKind>& interfaceKinds();

// The rows of the accounting setup families, in catalogue order.
const std::vector<KeyedFamily>& accountingFamilies();
// The row of one of those types; throws std::out_of_range otherwise.
const KeyedFamily& accountingFamily(int type);

// The columns a prefix event writes into PREFIJOS; the others (numbering
// range, resolution) are each company's own.
const std::vector<NamedColumn>& prefixColumns();

// Gives the catalogue the forms of these types.
void addAccounting(Catalogue& catalogue);

}  // namespace replica::families
