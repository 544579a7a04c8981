#pragma once

namespace quenby {

// How far a run has come, shown outside the window: on the program's entry in
// the taskbar or dock, where the desktop offers that.
class RunProgress
{
public:
    virtual ~RunProgress() = default;

    // `fraction` of the run done, 0 to 1; `count` a number to show beside it
    // (the seconds left of the pause), or -1 for none.
    virtual void show(double fraction, int count) = 0;
    // The run is over: nothing is shown any more.
    virtual void clear() = 0;
};

} // namespace quenby
