#include "platform/logind_power.h"

#include "platform/bus_connection.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace quenby {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// The reply's error as the run's record keeps it: logind's own words and the
// error's name.
QString errorText(const QDBusMessage &reply)
{
    if (reply.errorMessage().isEmpty())
        return reply.errorName();
    if (reply.errorName().isEmpty())
        return reply.errorMessage();
    return reply.errorMessage() + QStringLiteral(" (") + reply.errorName() + u')';
}

struct ErrorKind
{
    const char *name;
    PowerRefusal refusal;
};

// The errors logind, polkit and the bus answer a power request with.
const ErrorKind kErrorKinds[] = {
    {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", PowerRefusal::AuthenticationRequired},
    {"org.freedesktop.DBus.Error.AccessDenied", PowerRefusal::AccessDenied},
    {"org.freedesktop.DBus.Error.AuthFailed", PowerRefusal::AccessDenied},
    {"org.freedesktop.PolicyKit1.Error.NotAuthorized", PowerRefusal::AccessDenied},
    {"org.freedesktop.PolicyKit1.Error.Cancelled", PowerRefusal::AccessDenied},
    {"org.freedesktop.login1.BlockedByInhibitorLock", PowerRefusal::Inhibited},
    {"org.freedesktop.DBus.Error.NoReply", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.Timeout", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.TimedOut", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.ServiceUnknown", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.NoServer", PowerRefusal::NoAnswer},
    {"org.freedesktop.DBus.Error.Disconnected", PowerRefusal::NoAnswer},
};

QString seconds(std::chrono::milliseconds time)
{
    return QString::number((time.count() + 999) / 1000);
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

// Older logind versions say "block inhibitor" under a general error name.
PowerRefusal LogindPower::refusalOf(const QString &errorName, const QString &errorMessage)
{
    for (const ErrorKind &kind : kErrorKinds) {
        if (errorName == QLatin1String(kind.name))
            return kind.refusal;
    }
    if (errorMessage.contains(QLatin1String("inhibitor"), Qt::CaseInsensitive))
        return PowerRefusal::Inhibited;
    return PowerRefusal::Other;
}

PowerOutcome LogindPower::request(PowerAction action)
{
    static std::atomic<int> serial{0};
    QString why;
    const QString name = QStringLiteral("quenby-power-") + QString::number(++serial);
    QDBusConnection bus = connectBounded(QDBusConnection::SystemBus, name, m_connectTimeout, why);
    if (!bus.isConnected())
        return {PowerRefusal::NoAnswer, why};
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, powerActionName(action));
    call << true; // interactive
    bool timedOut = false;
    const int timeout = int(m_requestTimeout.count());
    const QDBusMessage reply = waitForReply(bus.asyncCall(call, timeout), m_requestTimeout, timedOut);
    if (timedOut)
        return {PowerRefusal::NoAnswer, QStringLiteral("logind did not answer within %1 s").arg(seconds(m_requestTimeout))};
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString error = errorText(reply);
        return {refusalOf(reply.errorName(), reply.errorMessage()),
                error.isEmpty() ? QStringLiteral("logind refused the request without a reason") : error};
    }
    return {};
}

} // namespace quenby
