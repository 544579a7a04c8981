#include "fakes/fake_notifications.h"

#include <utility>

namespace quenby::test {

int FakeNotifications::show(Notice notice)
{
    const int number = int(shown.size()) + 1;
    m_log << QStringLiteral("notify:") + notice.summary;
    shown[number] = {std::move(notice), false};
    return number;
}

void FakeNotifications::withdraw(int notice)
{
    m_log << QStringLiteral("withdraw:") + QString::number(notice);
    shown[notice].withdrawn = true;
}

void FakeNotifications::answer(int notice)
{
    m_log << QStringLiteral("answer:") + QString::number(notice);
    if (const auto action = shown[notice].notice.onAction)
        action();
}

} // namespace quenby::test
