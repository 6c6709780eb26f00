#pragma once
// The catalogue with every family's handlers: the one explicit list of the
// families the agent knows.

#include "engine/catalogue.h"

namespace replica::families {

Catalogue catalogue();

}  // namespace replica::families
