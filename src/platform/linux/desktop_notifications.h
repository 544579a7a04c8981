#pragma once

#include "platform/interfaces/notifications.h"

#include <QString>

#include <map>

namespace quenby {

class BusLink;

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications on the session bus). The bus is opened when
// the first notice is shown; every call has its bound, and a desktop without
// a server shows nothing.
class DesktopNotifications : public Notifications
{
public:
    // `desktopEntry` names the menu entry (and so the icon) the notices come from.
    DesktopNotifications(BusLink &sessionBus, QString appName, QString desktopEntry);

    int show(Notice notice) override;
    void withdraw(int notice) override;
    void settle(std::chrono::milliseconds bound) override;

private:
    struct Shown
    {
        quint32 id = 0; // the server's number, once it has answered
        QByteArray server; // the unique bus name of the server that numbered it
        bool withdrawn = false;
        std::function<void()> onAction;
    };

    void listenForAnswers();
    void shown(int notice, quint32 id, const char *server);
    void closeOnServer(quint32 id, const QByteArray &server);
    void actionInvoked(quint32 id, const char *key, const char *sender);
    void closedOnServer(quint32 id, const char *sender);

    BusLink &m_bus;
    QByteArray m_appName;
    QByteArray m_desktopEntry;
    int m_last = 0;
    bool m_listening = false;
    std::map<int, Shown> m_shown;
};

} // namespace quenby
