#pragma once
// The catalogue with every family's forms: the one explicit list of the
// families the agent knows.

#include <vector>

#include "engine/catalogue.h"
#include "engine/documentcopy.h"
#include "engine/keyedcopy.h"

namespace replica::families {

// Every family row the agent knows, in catalogue order: the header/detail
// and mapped documents, then the master records. The catalogue registers a
// form of each; a code's forms apply in this order.
std::vector<const DocumentFamily*> documentFamilies();
std::vector<const KeyedFamily*> keyedFamilies();

// The event catalogue with the forms of every row above and the settings
// the families read.
Catalogue catalogue();

// Listed codes deliberately left without a form for now: their events stay
// pending with "Tipo de evento sin manejador". Every other listed code has a
// form.
const std::vector<int>& pendingCodes();

}  // namespace replica::families
