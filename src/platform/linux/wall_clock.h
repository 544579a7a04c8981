#pragma once

#include "platform/interfaces/clock.h"

namespace quenby {

class WallClock : public Clock
{
public:
    qint64 nowSeconds() override;
    void sleepUntilNextSecond() override;
};

} // namespace quenby
