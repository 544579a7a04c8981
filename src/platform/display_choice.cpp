#include "platform/display_choice.h"

#include <QList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quenby {

namespace {

// A platform name from a list entry such as "xcb" or "wayland:option".
QByteArray pluginName(const QByteArray &entry)
{
    return entry.split(':').constFirst().trimmed();
}

bool isX(const QByteArray &name)
{
    return name == "xcb";
}

bool isWayland(const QByteArray &name)
{
    return name.startsWith("wayland");
}

bool xReachable(const DisplayFacts &facts)
{
    return !facts.display.isEmpty() && facts.canOpenX(facts.display);
}

bool waylandReachable(const DisplayFacts &facts)
{
    return !facts.waylandDisplay.isEmpty() && facts.canOpenWayland(facts.waylandDisplay);
}

QByteArray whatIsWrong(const QByteArray &variable, const QByteArray &kind, const QByteArray &value)
{
    if (value.isEmpty())
        return variable + " is not set";
    return "the " + kind + " display \"" + value + "\" cannot be opened";
}

// Names the variables that are missing, or the displays that did not answer,
// among those the program would have used.
QByteArray noDisplayLine(const DisplayFacts &facts, bool x, bool wayland)
{
    QByteArray why;
    if (x && wayland && facts.display.isEmpty() && facts.waylandDisplay.isEmpty())
        why = "DISPLAY and WAYLAND_DISPLAY are not set";
    else {
        QList<QByteArray> parts;
        if (x && (!facts.display.isEmpty() || !facts.chosenPlatform.isEmpty()))
            parts << whatIsWrong("DISPLAY", "X", facts.display);
        if (wayland && (!facts.waylandDisplay.isEmpty() || !facts.chosenPlatform.isEmpty()))
            parts << whatIsWrong("WAYLAND_DISPLAY", "Wayland", facts.waylandDisplay);
        why = parts.join("; ");
    }
    return "quenby: no display to show the window on: " + why;
}

// A user's own choice stands. It is checked only when it names nothing but X11
// and Wayland, whose displays can be tried here; anything else is Qt's business.
DisplayChoice checkChosen(const DisplayFacts &facts)
{
    bool x = false;
    bool wayland = false;
    for (const QByteArray &entry : facts.chosenPlatform.split(';')) {
        const QByteArray name = pluginName(entry);
        x = x || isX(name);
        wayland = wayland || isWayland(name);
        if (!isX(name) && !isWayland(name))
            return {};
    }
    if ((x && xReachable(facts)) || (wayland && waylandReachable(facts)))
        return {};
    return {{}, noDisplayLine(facts, x, wayland)};
}

// Whether a server accepts a connection on the socket; an abstract one has its
// name in the abstract namespace. A local X server listens on both kinds.
bool connectsTo(const QByteArray &path, bool abstract)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int offset = abstract ? 1 : 0;
    if (path.size() + offset >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path + offset, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    ::close(fd);
    return connected;
}

} // namespace

bool xDisplayAnswers(const QByteArray &display)
{
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0)
        return false;
    const QByteArray host = display.left(colon);
    if (!host.isEmpty() && host != "unix")
        return true;
    const QByteArray number = display.mid(colon + 1).split('.').constFirst();
    const QByteArray socket = "/tmp/.X11-unix/X" + number;
    return connectsTo(socket, true) || connectsTo(socket, false);
}

bool waylandDisplayAnswers(const QByteArray &waylandDisplay)
{
    if (waylandDisplay.startsWith('/'))
        return connectsTo(waylandDisplay, false);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && connectsTo(runtime + '/' + waylandDisplay, false);
}

namespace {

QByteArray platformArgument(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    return {};
}

} // namespace

DisplayChoice chooseDisplay(const DisplayFacts &facts)
{
    if (!facts.chosenPlatform.isEmpty())
        return checkChosen(facts);
    if (xReachable(facts))
        return {"xcb;wayland", {}};
    if (waylandReachable(facts))
        return {"wayland", {}};
    return {{}, noDisplayLine(facts, true, true)};
}

bool chooseDisplayForThisStart(int argc, char **argv)
{
    QByteArray chosen = platformArgument(argc, argv);
    if (chosen.isEmpty())
        chosen = qgetenv("QT_QPA_PLATFORM");
    const DisplayChoice choice =
        chooseDisplay({chosen, qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), xDisplayAnswers, waylandDisplayAnswers});
    if (!choice.problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", choice.problem.constData());
        return false;
    }
    if (!choice.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platform);
    return true;
}

} // namespace quenby
