#include "platform/linux/desktop_notifications.h"

#include "platform/linux/bus_link.h"

#include <QTimer>

#include <systemd/sd-bus.h>

namespace quenby {

namespace {

constexpr const char *kService = "org.freedesktop.Notifications";
constexpr const char *kPath = "/org/freedesktop/Notifications";
constexpr const char *kInterface = "org.freedesktop.Notifications";
// The key of a notice's one action. Not "default", which some servers give
// to a click anywhere on the notice.
constexpr const char *kActionKey = "quenby-action";
// A server started on demand for the first notice needs a moment.
constexpr std::chrono::milliseconds kCallBound{5'000};

constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;

// The Notify call's arguments: app_name, replaces_id, app_icon, summary,
// body, actions, hints, expire_timeout.
bool fillNotify(sd_bus_message *call, const Notice &notice, const QByteArray &appName, const QByteArray &desktopEntry)
{
    const QByteArray summary = notice.summary.toUtf8();
    const QByteArray body = notice.body.toUtf8();
    const QByteArray label = notice.actionLabel.toUtf8();
    const bool action = !label.isEmpty();
    const unsigned char urgency = notice.urgent ? kUrgencyCritical : kUrgencyNormal;
    return sd_bus_message_append(call, "susss", appName.constData(), 0u, desktopEntry.constData(),
                                 summary.constData(), body.constData())
               >= 0
           && (action ? sd_bus_message_append(call, "as", 2, kActionKey, label.constData())
                      : sd_bus_message_append(call, "as", 0))
                  >= 0
           && sd_bus_message_append(call, "a{sv}", 2, "urgency", "y", urgency, "desktop-entry", "s",
                                    desktopEntry.constData())
                  >= 0
           && sd_bus_message_append(call, "i", int(notice.expiresAfter.count())) >= 0;
}

} // namespace

DesktopNotifications::DesktopNotifications(BusLink &sessionBus, QString appName, QString desktopEntry)
    : m_bus(sessionBus)
    , m_appName(appName.toUtf8())
    , m_desktopEntry(desktopEntry.toUtf8())
{
}

int DesktopNotifications::show(Notice notice)
{
    const int number = ++m_last;
    listenForAnswers();
    BusMessage call = m_bus.methodCall(kService, kPath, kInterface, "Notify");
    if (!call || !fillNotify(call.get(), notice, m_appName, m_desktopEntry))
        return number;
    m_shown[number].onAction = std::move(notice.onAction);
    m_bus.call(std::move(call), kCallBound, [this, number](const BusLink::Answer &answer) {
        quint32 id = 0;
        if (answer.ok() && sd_bus_message_read(answer.reply, "u", &id) > 0)
            shown(number, id, sd_bus_message_get_sender(answer.reply));
        else
            m_shown.erase(number);
    });
    return number;
}

// The server's answers come as signals to everyone; ours are told by number.
void DesktopNotifications::listenForAnswers()
{
    if (std::exchange(m_listening, true))
        return;
    m_bus.listen(kPath, kInterface, "ActionInvoked", [this](sd_bus_message *message) {
        quint32 id = 0;
        const char *key = nullptr;
        if (sd_bus_message_read(message, "us", &id, &key) > 0)
            actionInvoked(id, key, sd_bus_message_get_sender(message));
    });
    m_bus.listen(kPath, kInterface, "NotificationClosed", [this](sd_bus_message *message) {
        quint32 id = 0;
        quint32 reason = 0;
        if (sd_bus_message_read(message, "uu", &id, &reason) > 0)
            closedOnServer(id, sd_bus_message_get_sender(message));
    });
}

void DesktopNotifications::shown(int notice, quint32 id, const char *server)
{
    const auto it = m_shown.find(notice);
    if (it == m_shown.end())
        return;
    if (it->second.withdrawn) {
        closeOnServer(id, server);
        m_shown.erase(it);
        return;
    }
    it->second.id = id;
    it->second.server = server;
}

// A notice withdrawn before the server has numbered it is taken down once it has.
void DesktopNotifications::withdraw(int notice)
{
    const auto it = m_shown.find(notice);
    if (it == m_shown.end())
        return;
    if (it->second.id == 0) {
        it->second.withdrawn = true;
        it->second.onAction = nullptr;
        return;
    }
    closeOnServer(it->second.id, it->second.server);
    m_shown.erase(it);
}

// Asked of the server that numbered the notice, by its unique name: one that
// took the well-known name since numbers its notices afresh, and would take
// down another program's notice of the same number.
void DesktopNotifications::closeOnServer(quint32 id, const QByteArray &server)
{
    if (server.isEmpty())
        return;
    BusMessage call = m_bus.methodCall(server.constData(), kPath, kInterface, "CloseNotification");
    if (call && sd_bus_message_append(call.get(), "u", id) >= 0)
        m_bus.call(std::move(call), kCallBound, [](const BusLink::Answer &) {});
}

// Runs from the event loop, outside the bus's own processing: the action may
// well end the program. Any program on the session bus may send the signal;
// only the server that numbered the notice speaks for it, as its numbers are
// its own and easily guessed.
void DesktopNotifications::actionInvoked(quint32 id, const char *key, const char *sender)
{
    if (!key || qstrcmp(key, kActionKey) != 0 || !sender)
        return;
    for (auto &[number, shown] : m_shown) {
        if (shown.id == id && shown.server == sender && shown.onAction) {
            QTimer::singleShot(0, &m_bus, shown.onAction);
            return;
        }
    }
}

// Forgotten only when the server that numbered the notice says it is closed:
// another program's word would leave its 取り消す without effect.
void DesktopNotifications::closedOnServer(quint32 id, const char *sender)
{
    if (!sender)
        return;
    std::erase_if(m_shown, [id, sender](const auto &entry) {
        return entry.second.id == id && entry.second.server == sender;
    });
}

void DesktopNotifications::settle(std::chrono::milliseconds bound)
{
    m_bus.waitUntil([this] { return m_bus.settled(); }, bound);
}

} // namespace quenby
