#include "platform/logind_power.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>

#include <climits>

namespace quenby {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// D-Bus reads the largest timeout as "no timeout": a password prompt may stay
// up for as long as the user needs.
constexpr int kNoTimeout = INT_MAX;

QString methodFor(PowerAction action)
{
    switch (action) {
    case PowerAction::Reboot:
        return QStringLiteral("Reboot");
    case PowerAction::Suspend:
        return QStringLiteral("Suspend");
    case PowerAction::PowerOff:
        break;
    }
    return QStringLiteral("PowerOff");
}

QString errorText(const QDBusMessage &reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

// Windows keep repainting while logind (or its password prompt) decides, but
// no click or key is acted on before the answer.
QDBusMessage waitForReply(const QDBusPendingCall &pending)
{
    QDBusPendingCallWatcher watcher(pending);
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return watcher.reply();
}

} // namespace

QString LogindPower::request(PowerAction action)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().message();
        return why.isEmpty() ? QStringLiteral("システム バスに接続できません。") : why;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, methodFor(action));
    call << true; // interactive
    const QDBusMessage reply = waitForReply(bus.asyncCall(call, kNoTimeout));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString why = errorText(reply);
        return why.isEmpty() ? QStringLiteral("logind が要求を拒否しました。") : why;
    }
    return QString();
}

} // namespace quenby
