#include "platform/bus_connection.h"

#include <QDBusError>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <memory>
#include <mutex>

namespace quenby {

namespace {

// What the connecting thread found, read by the window thread once it is done.
struct Attempt
{
    std::mutex mutex;
    bool done = false;
    bool connected = false;
    QString error;
};

QString busName(QDBusConnection::BusType bus)
{
    return bus == QDBusConnection::SystemBus ? QStringLiteral("system bus") : QStringLiteral("session bus");
}

} // namespace

QDBusConnection connectBounded(QDBusConnection::BusType bus, const QString &name, std::chrono::milliseconds timeout,
                               QString &why)
{
    auto attempt = std::make_shared<Attempt>();
    QThread *thread = QThread::create([attempt, bus, name] {
        QDBusConnection connection = QDBusConnection::connectToBus(bus, name);
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        attempt->done = true;
        attempt->connected = connection.isConnected();
        attempt->error = connection.lastError().message();
    });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();

    const std::lock_guard<std::mutex> lock(attempt->mutex);
    if (!attempt->done) {
        why = QStringLiteral("the %1 did not let us in within %2 s")
                  .arg(busName(bus))
                  .arg((timeout.count() + 999) / 1000);
        return QDBusConnection(QString());
    }
    if (!attempt->connected) {
        why = QStringLiteral("cannot connect to the ") + busName(bus);
        if (!attempt->error.isEmpty())
            why += QStringLiteral(": ") + attempt->error;
        return QDBusConnection(QString());
    }
    return QDBusConnection(name);
}

} // namespace quenby
