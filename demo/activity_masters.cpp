// Masters: items and their satellite tables, item classification, brands and
// price discounts (101, 124-129, 1291, 201-205), third parties (102-106, 152),
// accounting setup (100, 111-117, 142) and payroll records (96, 192).
//
// Every master family is written by the generic filler and its event names
// the record by its first key column. A family that needs more gives its row
// in simulator.cpp a `.shape` (RowShape) or an `.event` (MasterEventShape)
// hook defined here.

#include "demo/activity.h"

namespace replica::demo {}  // namespace replica::demo
