#include "fakes/fake_clock.h"

namespace quenby::test {

qint64 FakeClock::nowSeconds()
{
    ++reads;
    return now;
}

void FakeClock::sleepUntilNextSecond()
{
    ++sleeps;
    ++now;
    m_log << QStringLiteral("sleep");
    if (onSleep)
        onSleep();
}

} // namespace quenby::test
