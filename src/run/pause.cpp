#include "run/pause.h"

#include "platform/clock.h"

#include <limits>

namespace quenby {

namespace {

constexpr int kErrorOverflow = 6;

bool fitsSixteenBits(qint32 seconds)
{
    return seconds >= std::numeric_limits<qint16>::min() && seconds <= std::numeric_limits<qint16>::max();
}

} // namespace

int PauseSeconds(qint32 seconds, Clock &clock)
{
    const qint64 start = clock.nowSeconds();
    if (!fitsSixteenBits(seconds))
        return kErrorOverflow;
    while (!(start + seconds < clock.nowSeconds()))
        clock.sleepUntilNextSecond();
    return 0;
}

} // namespace quenby
