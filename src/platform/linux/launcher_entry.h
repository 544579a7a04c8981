#pragma once

#include "platform/interfaces/run_progress.h"

#include <QString>

namespace quenby {

class BusLink;

// The run's progress on the program's taskbar entry, through the launcher-entry
// signal that docks and task managers listen for on the session bus
// (com.canonical.Unity.LauncherEntry, naming the desktop file). The bus is
// opened when a run first shows progress, never at start-up.
class LauncherEntry : public RunProgress
{
public:
    LauncherEntry(BusLink &sessionBus, QString desktopFileName);

    void show(double fraction, int count) override;
    void clear() override;

private:
    void send(bool visible, double fraction, int count);

    BusLink &m_bus;
    QString m_appUri;
    bool m_shown = false;
};

} // namespace quenby
