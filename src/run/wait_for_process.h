#pragma once

#include <QtGlobal>

namespace quenby {

class Processes;

// Returns once the process has ended. Window events are handled meanwhile, so
// any handler (a second run included) may run inside the wait; a wait started
// inside another one ends first. The wait sleeps in the event loop until the
// process is reported gone. A process that is already gone, or cannot be
// watched, costs one round of event processing.
void WaitForProcess(qint64 pid, Processes &processes);

} // namespace quenby
