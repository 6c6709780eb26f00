#pragma once
// The catalogue with every family's forms: the one explicit list of the
// families the agent knows.

#include <vector>

#include "engine/catalogue.h"

namespace replica::families {

Catalogue catalogue();

// Listed codes deliberately left without a form for now: their events stay
// pending with "Tipo de evento sin manejador". Every other listed code has a
// form.
const std::vector<int>& pendingCodes();

}  // namespace replica::families
