#pragma once

#include "platform/interfaces/notifications.h"
#include "platform/interfaces/request_outcome.h"
#include "platform/interfaces/run_action.h"

#include <optional>

namespace quenby {

// What the desktop is told when a run asked for from outside (a timer, a
// script) does not happen: nobody may be at the window to see why the
// machine stayed on. Nothing for a run that went ahead, or one the user
// stopped or was shown a message about.
std::optional<Notice> missedRunNotice(RunAction action, RequestOutcome outcome);

} // namespace quenby
