#pragma once

#include "platform/run_progress.h"

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace quenby {

// The run's progress on the program's taskbar entry, through the launcher-entry
// signal that docks and task managers listen for on the session bus
// (com.canonical.Unity.LauncherEntry, naming the desktop file). The bus is
// opened when a run first shows progress, never at start-up, and only when the
// session has one: asking for a bus the session lacks would start one.
class LauncherEntry : public RunProgress
{
public:
    explicit LauncherEntry(QString desktopFileName);
    ~LauncherEntry() override;

    void show(double fraction, int count) override;
    void clear() override;

private:
    bool connected();
    void send(bool visible, double fraction, int count);

    QString m_appUri;
    std::optional<QDBusConnection> m_bus;
};

} // namespace quenby
