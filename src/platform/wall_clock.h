#pragma once

#include "platform/clock.h"

namespace quenby {

class WallClock : public Clock
{
public:
    qint64 nowSeconds() override;
    void sleepUntilNextSecond() override;
};

} // namespace quenby
