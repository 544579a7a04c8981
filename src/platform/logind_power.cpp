#include "platform/logind_power.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>

namespace quenby {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

QString errorText(const QDBusMessage &reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

QString seconds(std::chrono::milliseconds time)
{
    return QString::number((time.count() + 999) / 1000);
}

// What the connecting thread found, read by the window thread once it is done.
struct Attempt
{
    std::mutex mutex;
    bool done = false;
    bool connected = false;
    QString error;
};

// Opening the bus blocks until the bus has let us in, and a bus that takes
// the connection but never answers would block for ever: the connection is
// made on a thread of its own while the windows keep working, and given up
// after `timeout`. A thread that is still stuck then is left to itself.
QDBusConnection connectToSystemBus(std::chrono::milliseconds timeout, QString &why)
{
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("quenby-power-") + QString::number(++serial);
    auto attempt = std::make_shared<Attempt>();
    QThread *thread = QThread::create([attempt, name] {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        attempt->done = true;
        attempt->connected = bus.isConnected();
        attempt->error = bus.lastError().message();
    });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();

    const std::lock_guard<std::mutex> lock(attempt->mutex);
    if (!attempt->done) {
        why = QStringLiteral("システム バスが %1 秒以内に応答しませんでした。").arg(seconds(timeout));
        return QDBusConnection(QString());
    }
    if (!attempt->connected) {
        why = attempt->error.isEmpty() ? QStringLiteral("システム バスに接続できません。") : attempt->error;
        return QDBusConnection(QString());
    }
    return QDBusConnection(name);
}

// Windows keep repainting and the buttons keep working while logind (or its
// password prompt) decides, so "Cancel" still quits; the run itself takes no
// second click meanwhile.
QDBusMessage waitForReply(const QDBusPendingCall &pending, std::chrono::milliseconds timeout, bool &timedOut)
{
    QDBusPendingCallWatcher watcher(pending);
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    timedOut = !watcher.isFinished();
    return watcher.reply();
}

} // namespace

LogindPower::LogindPower(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds requestTimeout)
    : m_connectTimeout(connectTimeout)
    , m_requestTimeout(requestTimeout)
{
}

QString LogindPower::request(PowerAction action)
{
    QString why;
    QDBusConnection bus = connectToSystemBus(m_connectTimeout, why);
    if (!bus.isConnected())
        return why;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, powerActionName(action));
    call << true; // interactive
    bool timedOut = false;
    const int timeout = int(m_requestTimeout.count());
    const QDBusMessage reply = waitForReply(bus.asyncCall(call, timeout), m_requestTimeout, timedOut);
    if (timedOut || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return QStringLiteral("logind が %1 秒以内に応答しませんでした。").arg(seconds(m_requestTimeout));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString error = errorText(reply);
        return error.isEmpty() ? QStringLiteral("logind が要求を拒否しました。") : error;
    }
    return QString();
}

} // namespace quenby
