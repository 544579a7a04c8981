#include "platform/wall_clock.h"

#include <QDateTime>

namespace quenby {

qint64 WallClock::nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

void WallClock::sleepUntilNextSecond()
{
}

} // namespace quenby
