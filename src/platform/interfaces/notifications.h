#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace quenby {

// A desktop notification: a bubble or banner of the desktop, outside the
// program's windows.
struct Notice
{
    QString summary;
    QString body;
    // The one button offered, and what it does; no button when the label is empty.
    QString actionLabel;
    std::function<void()> onAction;
    // Stays on screen until withdrawn or answered, over "do not disturb" too.
    bool urgent = false;
    // Gone by itself after this long, where the desktop honours it; 0 for the
    // desktop's own choice.
    std::chrono::milliseconds expiresAfter{0};
};

// The desktop's notifications. Nothing here waits for the desktop, except
// settle(), and that within its bound: a desktop without notifications, or
// one that does not answer, shows nothing and holds nothing up.
class Notifications
{
public:
    virtual ~Notifications() = default;

    // Puts the notice up and returns at once; the number names it for
    // withdraw(). The action runs from the event loop, never inside a call here.
    virtual int show(Notice notice) = 0;
    // Takes the notice down, if it is still up (or not up yet).
    virtual void withdraw(int notice) = 0;
    // For a program about to end: waits, at most `bound`, until what was asked
    // of the desktop so far has reached it.
    virtual void settle(std::chrono::milliseconds bound) = 0;
};

} // namespace quenby
