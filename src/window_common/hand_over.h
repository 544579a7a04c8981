#pragma once

namespace quenby {

// The two windows take each other's place: only one of them is open at a
// time. Opening the settings window unloads the main window (which stores its
// position); closing the settings window, by any route, loads the main window
// anew, so its whole start-up runs again and the settings are read afresh.
class WindowHandOver
{
public:
    virtual ~WindowHandOver() = default;

    virtual void settingsWindowOpening() = 0;
    virtual void settingsWindowClosed() = 0;
};

} // namespace quenby
