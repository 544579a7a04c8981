#include "platform/linux/logind_power.h"

#include "platform/linux/bus_link.h"

#include <optional>

#include <systemd/sd-bus.h>

namespace quenby {

namespace {

constexpr const char *kService = "org.freedesktop.login1";
constexpr const char *kPath = "/org/freedesktop/login1";
constexpr const char *kManager = "org.freedesktop.login1.Manager";

// The reply's error as the run's record keeps it: logind's own words and the
// error's name.
QString errorText(const BusLink::Answer &answer)
{
    if (answer.errorText.isEmpty())
        return answer.errorName;
    if (answer.errorName.isEmpty())
        return answer.errorText;
    return answer.errorText + QStringLiteral(" (") + answer.errorName + u')';
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

PowerOutcome LogindPower::outcomeOf(const BusLink::Answer &answer)
{
    if (answer.ok())
        return {};
    const QString error = errorText(answer);
    return {refusalOf(answer.errorName, answer.errorText),
            error.isEmpty() ? QStringLiteral("logind refused the request without a reason") : error};
}

// A connection of its own to the system bus, made for this request: neither
// a session bus that has stopped answering nor a connection of ours that is
// stuck can hold it up. Windows keep repainting and the buttons keep working
// while logind (or its password prompt) decides, so "Cancel" still quits.
PowerOutcome LogindPower::request(RunAction action)
{
    BusLink bus(BusLink::Bus::System, m_connectTimeout);
    BusMessage call = bus.methodCall(kService, kPath, kManager, powerActionName(action).toLatin1().constData());
    if (!call || sd_bus_message_append(call.get(), "b", 1) < 0) // interactive
        return {PowerRefusal::NoAnswer, bus.why().isEmpty() ? QStringLiteral("cannot make the request") : bus.why()};
    std::optional<PowerOutcome> outcome;
    // The bus's own bound comes after ours, so that ours says what happened.
    bus.call(std::move(call), m_requestTimeout + m_connectTimeout + std::chrono::seconds(1),
             [&outcome](const BusLink::Answer &answer) { outcome = outcomeOf(answer); });
    if (!bus.waitUntil([&bus] { return bus.ready() || !bus.available(); }, m_connectTimeout + std::chrono::seconds(1))
        || !bus.ready())
        return {PowerRefusal::NoAnswer, bus.why()};
    if (!bus.waitUntil([&outcome] { return outcome.has_value(); }, m_requestTimeout))
        return {PowerRefusal::NoAnswer, QStringLiteral("logind did not answer within %1 s").arg(seconds(m_requestTimeout))};
    return *outcome;
}

} // namespace quenby
