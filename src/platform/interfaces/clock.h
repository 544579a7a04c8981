#pragma once

#include <QtGlobal>

namespace quenby {

// The wall clock in whole seconds, and a way to sleep until its second changes.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual qint64 nowSeconds() = 0;
    // Returns soon after the clock's second has changed. Window events,
    // clicks and keys included, are handled meanwhile, so any handler may run
    // inside the sleep.
    virtual void sleepUntilNextSecond() = 0;
};

} // namespace quenby
