#pragma once
// Payroll records exchanged between companies: concepts (96, download phase
// only), overtime (192), receivables (94) and novelties (193).
//
// Concepts and overtime are rows of the keyed record copy; receivables and
// novelties are documents of the header/detail copy. Receivables keep their
// id in every company; overtime and novelties are numbered by each company
// and found by their natural key, read from the source record the event
// names: employee, year and period; employee, novelty type and date.

#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"
#include "engine/keyedcopy.h"

namespace replica::families {

// Concepts (96) and overtime (192).
const std::vector<KeyedFamily>& payrollRecords();
// Receivables (94) and novelties (193).
const std::vector<DocumentFamily>& payrollDocuments();

}  // namespace replica::families
