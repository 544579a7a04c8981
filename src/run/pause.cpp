#include "run/pause.h"

#include "platform/interfaces/clock.h"
#include "platform/interfaces/processes.h"
#include "settings/run_config.h"

namespace quenby {

int PauseSeconds(qint32 seconds, Clock &clock, const std::function<bool(qint64 remaining)> &tick)
{
    const qint64 start = clock.nowSeconds();
    if (!PauseRange::holds(seconds))
        return error_number::Overflow;
    for (qint64 now = clock.nowSeconds(); !(start + seconds < now); now = clock.nowSeconds()) {
        if (tick && !tick(start + seconds + 1 - now))
            break;
        clock.sleepUntilNextSecond();
    }
    return 0;
}

} // namespace quenby
