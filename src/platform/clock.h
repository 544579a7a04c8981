#pragma once

#include <QtGlobal>

namespace quenby {

// The wall clock in whole seconds, and a way to sleep until its second changes.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual qint64 nowSeconds() = 0;
    // Returns soon after the clock's second has changed. Windows may repaint
    // meanwhile, but no click or key is acted on until it returns.
    virtual void sleepUntilNextSecond() = 0;
};

} // namespace quenby
