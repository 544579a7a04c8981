#pragma once

#include "platform/interfaces/processes.h"

namespace quenby {

// Returns once the process has ended, with how it ended. Window events are
// handled meanwhile, so any handler may run inside the wait. The wait sleeps in
// the event loop until the process is reported gone. A process that is already
// gone, or cannot be watched, costs one round of event processing.
ProcessEnd WaitForProcess(qint64 pid, Processes &processes);

} // namespace quenby
