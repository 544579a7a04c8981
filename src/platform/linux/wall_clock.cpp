#include "platform/linux/wall_clock.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

namespace quenby {

// Epoch seconds rather than the local broken-down time: a change to or from
// daylight saving cannot stretch a pause by an hour. Setting the clock still
// lengthens or shortens it, as it should for a wall clock.
qint64 WallClock::nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Sleeps in an event loop: windows repaint, the window manager sees us alive,
// and a click or a key is handled when it comes, never held back for later.
void WallClock::sleepUntilNextSecond()
{
    const qint64 intoSecond = QDateTime::currentMSecsSinceEpoch() % 1000;
    // One millisecond past the boundary, so the next reading is the new second.
    const int untilNext = int(1000 - intoSecond) + 1;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(untilNext);
    loop.exec();
}

} // namespace quenby
