#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/notifications.h"

#include <map>

namespace quenby::test {

// Keeps every notice shown, numbered from 1; withdrawing one marks it. A test
// answers a notice with answer(), as a click on its button would: from inside
// a wait, where the real one comes from the event loop.
class FakeNotifications : public Notifications
{
public:
    explicit FakeNotifications(CallLog &log) : m_log(log) {}
    int show(Notice notice) override;
    void withdraw(int notice) override;
    void settle(std::chrono::milliseconds) override { m_log << QStringLiteral("settle"); }

    void answer(int notice);

    struct Shown
    {
        Notice notice;
        bool withdrawn = false;
    };
    std::map<int, Shown> shown;

private:
    CallLog &m_log;
};

} // namespace quenby::test
