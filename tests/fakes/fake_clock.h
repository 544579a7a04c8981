#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/clock.h"

#include <functional>

namespace quenby::test {

// Starts at an arbitrary second; every sleep moves it on by one second.
class FakeClock : public Clock
{
public:
    explicit FakeClock(CallLog &log) : m_log(log) {}
    qint64 nowSeconds() override;
    void sleepUntilNextSecond() override;

    qint64 now = 1'700'000'000;
    int reads = 0;
    int sleeps = 0;
    std::function<void()> onSleep;

private:
    CallLog &m_log;
};

} // namespace quenby::test
