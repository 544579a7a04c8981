#include "platform/launcher_entry.h"

#include "platform/bus_connection.h"
#include "platform/linux_folders.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

namespace quenby {

namespace {

const QString kConnectionName = QStringLiteral("quenby-progress");
const QString kPath = QStringLiteral("/jp/tarven/Quenby/LauncherEntry");
const QString kInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
constexpr std::chrono::milliseconds kConnectTimeout{1'000};

// A session bus named in the environment, or the one systemd keeps in the
// runtime folder; anything else would make the bus library launch a bus.
bool sessionHasABus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = linux_folders::runtimeFolder();
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

} // namespace

LauncherEntry::LauncherEntry(QString desktopFileName)
    : m_appUri(QStringLiteral("application://") + desktopFileName + QStringLiteral(".desktop"))
{
}

LauncherEntry::~LauncherEntry()
{
    if (m_bus)
        QDBusConnection::disconnectFromBus(kConnectionName);
}

void LauncherEntry::show(double fraction, int count)
{
    send(true, fraction, count);
}

void LauncherEntry::clear()
{
    if (m_bus)
        send(false, 0.0, -1);
}

// Tried once: a session without a bus, or one that does not let us in, shows
// no progress for the rest of the program's life and costs nothing more.
bool LauncherEntry::connected()
{
    if (!m_bus) {
        QString why;
        m_bus = sessionHasABus() ? connectBounded(QDBusConnection::SessionBus, kConnectionName, kConnectTimeout, why)
                                 : QDBusConnection(QString());
    }
    return m_bus->isConnected();
}

void LauncherEntry::send(bool visible, double fraction, int count)
{
    if (!connected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Update"));
    const QVariantMap properties{
        {QStringLiteral("progress-visible"), visible},
        {QStringLiteral("progress"), qBound(0.0, fraction, 1.0)},
        {QStringLiteral("count-visible"), visible && count >= 0},
        {QStringLiteral("count"), qint64(qMax(count, 0))},
    };
    update << m_appUri << properties;
    m_bus->send(update);
}

} // namespace quenby
