#pragma once

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/journal.h"
#include "platform/notifications.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/run_progress.h"
#include "platform/store.h"

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
