#pragma once

#include <QtGlobal>

#include <functional>

namespace quenby {

class Clock;

// Waits until the clock, read in whole seconds, has passed the start second
// plus `seconds` (strictly): more than `seconds` and at most `seconds` + 1
// seconds; 0 ends at the next change of the second, a negative value at once.
// Sleeps to each second boundary instead of reading the clock in a loop.
// Returns 6 (overflow) without pausing when `seconds` does not fit 16 bits,
// else 0. Windows take input while it sleeps. Before each sleep `tick` is told
// how many whole seconds remain until the pause ends at the latest; the pause
// ends early when it answers false (the user ended the program meanwhile).
int PauseSeconds(qint32 seconds, Clock &clock, const std::function<bool(qint64 remaining)> &tick = {});

} // namespace quenby
