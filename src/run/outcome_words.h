#pragma once

#include "platform/interfaces/request_outcome.h"

#include <QString>

namespace quenby {

// Why a run asked for from outside did not power the machine off, in one
// sentence for the user: the line a start that handed its request on prints,
// and what the desktop's notice of it says. Empty for an outcome that needs
// no words (accepted, finished, the window shown).
QString outcomeWords(RequestOutcome outcome, bool japanese);

} // namespace quenby
