#pragma once

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_journal.h"
#include "fakes/fake_notifications.h"
#include "fakes/fake_power.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_run_progress.h"
#include "fakes/fake_store.h"
#include "platform/interfaces/services.h"

namespace quenby::test {

// A recording fake of every service, one per interface, sharing one log.
class FakePlatform
{
public:
    FakePlatform();

    Services services() { return {store, desktop, processes, power, clock, journal, progress, notifications}; }

    CallLog log;
    FakeStore store;
    FakeDesktop desktop;
    FakeProcesses processes;
    FakePower power;
    FakeClock clock;
    FakeJournal journal;
    FakeProgress progress;
    FakeNotifications notifications;
};

} // namespace quenby::test
