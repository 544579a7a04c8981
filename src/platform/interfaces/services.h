#pragma once

#include "platform/interfaces/clock.h"
#include "platform/interfaces/desktop.h"
#include "platform/interfaces/journal.h"
#include "platform/interfaces/notifications.h"
#include "platform/interfaces/power.h"
#include "platform/interfaces/processes.h"
#include "platform/interfaces/run_progress.h"
#include "platform/interfaces/store.h"

namespace quenby {

// Every operating-system service the program uses, handed to the windows and
// the run through their constructors. The product wires the Linux ones; tests
// wire recording fakes.
struct Services
{
    Store &store;
    Desktop &desktop;
    Processes &processes;
    Power &power;
    Clock &clock;
    Journal &journal;
    RunProgress &progress;
    Notifications &notifications;
};

} // namespace quenby
