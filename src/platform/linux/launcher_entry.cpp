#include "platform/linux/launcher_entry.h"

#include "platform/linux/bus_link.h"

#include <QtGlobal>

#include <systemd/sd-bus.h>

namespace quenby {

namespace {

constexpr const char *kPath = "/jp/tarven/Quenby/LauncherEntry";
constexpr const char *kInterface = "com.canonical.Unity.LauncherEntry";

} // namespace

LauncherEntry::LauncherEntry(BusLink &sessionBus, QString desktopFileName)
    : m_bus(sessionBus)
    , m_appUri(QStringLiteral("application://") + desktopFileName + QStringLiteral(".desktop"))
{
}

void LauncherEntry::show(double fraction, int count)
{
    m_shown = true;
    send(true, fraction, count);
}

void LauncherEntry::clear()
{
    if (std::exchange(m_shown, false))
        send(false, 0.0, -1);
}

void LauncherEntry::send(bool visible, double fraction, int count)
{
    BusMessage update = m_bus.signal(kPath, kInterface, "Update");
    if (!update)
        return;
    const QByteArray uri = m_appUri.toUtf8();
    if (sd_bus_message_append(update.get(), "sa{sv}", uri.constData(), 4, "progress-visible", "b", int(visible),
                              "progress", "d", qBound(0.0, fraction, 1.0), "count-visible", "b",
                              int(visible && count >= 0), "count", "x", int64_t(qMax(count, 0)))
        < 0)
        return;
    m_bus.send(std::move(update));
}

} // namespace quenby
