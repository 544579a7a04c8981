#pragma once

#include <QByteArray>

#include <functional>

namespace quenby {

// What the program knows about the displays before it opens one.
struct DisplayFacts
{
    QByteArray chosenPlatform;  // QT_QPA_PLATFORM, or the value of -platform; empty when nobody chose
    QByteArray display;         // DISPLAY, or the value of -display
    QByteArray waylandDisplay;  // WAYLAND_DISPLAY
    std::function<bool(const QByteArray &display)> canOpenX;
    std::function<bool(const QByteArray &waylandDisplay)> canOpenWayland;
    // Whether Qt's platform plugin "xcb" or "wayland" is installed; unset: both are.
    std::function<bool(const QByteArray &plugin)> hasPlugin;
    // The X display was named with -display: the user asked for X11.
    bool displayNamed = false;
};

struct DisplayChoice
{
    // What to ask the window system layer for; empty leaves the choice as it is.
    QByteArray platform;
    // One line saying why no display can be used; empty when one can.
    QByteArray problem;
};

// The window is placed and kept above others through X11, which a Wayland
// desktop offers through XWayland: unless the user chose otherwise, X11 comes
// first and Wayland is the fallback.
DisplayChoice chooseDisplay(const DisplayFacts &facts);

// Whether a server answers on the display. A local X display must let us in,
// as it would let Qt; one on another host is taken on trust, as trying it could
// take long.
bool xDisplayAnswers(const QByteArray &display);
bool waylandDisplayAnswers(const QByteArray &waylandDisplay);

// Whether Qt would find its platform plugin of that name ("xcb", "wayland").
bool platformPluginInstalled(const QByteArray &plugin);

// Makes that choice for this start, before the application object exists; an
// empty XAUTHORITY is taken as unset.
// Returns the one line saying why, when no display can be reached at all;
// empty when one can.
QByteArray chooseDisplayForThisStart(int argc, char **argv);

// Stands guard while the application object opens the display. Should Qt
// still fail to open one (a display that takes the connection and then turns
// it down, a plugin that does not load), Qt would print its lines and abort
// with a core dump; instead the program prints the one line and ends with
// status 1. Qt's messages meanwhile are held back and passed on once the
// display is open.
// Qt also asks for the runtime folder meanwhile; without XDG_RUNTIME_DIR (a
// start from cron, through su) it would warn and make one under the
// temporary folder. Where the system keeps one for the user (/run/user/UID,
// ours, mode 0700) the guard names it for that while; the programs a run
// starts get the environment as it was.
class DisplayStartGuard
{
public:
    DisplayStartGuard();
    ~DisplayStartGuard();
    DisplayStartGuard(const DisplayStartGuard &) = delete;
    DisplayStartGuard &operator=(const DisplayStartGuard &) = delete;

private:
    bool m_runtimeFolderNamed = false;
};

} // namespace quenby
