#include "run/pause.h"

#include "platform/clock.h"
#include "platform/processes.h"

#include <limits>

namespace quenby {

namespace {

bool fitsSixteenBits(qint32 seconds)
{
    return seconds >= std::numeric_limits<qint16>::min() && seconds <= std::numeric_limits<qint16>::max();
}

} // namespace

int PauseSeconds(qint32 seconds, Clock &clock, const std::function<bool()> &stopped)
{
    const qint64 start = clock.nowSeconds();
    if (!fitsSixteenBits(seconds))
        return error_number::Overflow;
    while (!(start + seconds < clock.nowSeconds())) {
        clock.sleepUntilNextSecond();
        if (stopped && stopped())
            break;
    }
    return 0;
}

} // namespace quenby
