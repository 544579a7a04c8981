#include "platform/linux/display_choice.h"

#include "platform/cleaner/descriptor.h"
#include "platform/linux/linux_folders.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <xcb/xcb.h>

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

bool pluginThere(const DisplayFacts &facts, const QByteArray &plugin)
{
    return !facts.hasPlugin || facts.hasPlugin(plugin);
}

bool xReachable(const DisplayFacts &facts)
{
    return !facts.display.isEmpty() && facts.canOpenX(facts.display);
}

bool waylandReachable(const DisplayFacts &facts)
{
    return !facts.waylandDisplay.isEmpty() && facts.canOpenWayland(facts.waylandDisplay);
}

bool xUsable(const DisplayFacts &facts)
{
    return xReachable(facts) && pluginThere(facts, "xcb");
}

bool waylandUsable(const DisplayFacts &facts)
{
    return waylandReachable(facts) && pluginThere(facts, "wayland");
}

QByteArray whatIsWrongWithX(const DisplayFacts &facts)
{
    if (facts.display.isEmpty())
        return "DISPLAY is not set";
    if (!xReachable(facts))
        return "the X display \"" + facts.display + "\" cannot be opened";
    return "Qt's X11 plugin (xcb, package qt6-qpa-plugins) is not installed";
}

QByteArray whatIsWrongWithWayland(const DisplayFacts &facts)
{
    if (facts.waylandDisplay.isEmpty())
        return "WAYLAND_DISPLAY is not set";
    if (!waylandReachable(facts))
        return "the Wayland display \"" + facts.waylandDisplay + "\" cannot be opened";
    return "Qt's Wayland plugin (package qt6-wayland) is not installed";
}

// Names the variables that are missing, the displays that did not answer, or
// the plugin that is missing, among those the program would have used.
QByteArray noDisplayLine(const DisplayFacts &facts, bool x, bool wayland)
{
    QByteArray why;
    if (x && wayland && facts.display.isEmpty() && facts.waylandDisplay.isEmpty())
        why = "DISPLAY and WAYLAND_DISPLAY are not set";
    else {
        const bool chosen = !facts.chosenPlatform.isEmpty() || facts.displayNamed;
        QList<QByteArray> parts;
        if (x && (!facts.display.isEmpty() || chosen))
            parts << whatIsWrongWithX(facts);
        if (wayland && (!facts.waylandDisplay.isEmpty() || chosen))
            parts << whatIsWrongWithWayland(facts);
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
    if ((x && xUsable(facts)) || (wayland && waylandUsable(facts)))
        return {};
    return {{}, noDisplayLine(facts, x, wayland)};
}

// Whether a server accepts a connection on the socket at that path.
bool connectsTo(const QByteArray &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
    return socket && ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), length) == 0;
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
    // The whole greeting, cookie and all: a display that turns us away (from
    // cron without its XAUTHORITY, say) cannot show the window either.
    xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
    const bool accepted = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return accepted;
}

bool waylandDisplayAnswers(const QByteArray &waylandDisplay)
{
    if (waylandDisplay.startsWith('/'))
        return connectsTo(waylandDisplay);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && connectsTo(runtime + '/' + waylandDisplay);
}

bool platformPluginInstalled(const QByteArray &plugin)
{
    const QString file = QStringLiteral("/libq") + QString::fromLatin1(plugin)
        + (plugin == "wayland" ? QStringLiteral("-generic.so") : QStringLiteral(".so"));
    QStringList folders = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    for (const QString &path : qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts))
        folders << path + QStringLiteral("/platforms");
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    for (const QString &folder : std::as_const(folders)) {
        if (QFileInfo::exists(folder + file))
            return true;
    }
    return false;
}

namespace {

// The value of one of Qt's own options ("-platform xcb"), which Qt also
// takes with two dashes.
QByteArray optionValue(int argc, char **argv, const char *option)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const char *name = argv[i];
        if (name[0] == '-' && name[1] == '-')
            ++name;
        if (std::strcmp(name, option) == 0)
            return argv[i + 1];
    }
    return {};
}

} // namespace

DisplayChoice chooseDisplay(const DisplayFacts &facts)
{
    if (!facts.chosenPlatform.isEmpty())
        return checkChosen(facts);
    if (facts.displayNamed) {
        if (xUsable(facts))
            return {"xcb", {}};
        return {{}, noDisplayLine(facts, true, false)};
    }
    if (xUsable(facts))
        return {"xcb;wayland", {}};
    if (waylandUsable(facts))
        return {"wayland", {}};
    return {{}, noDisplayLine(facts, true, true)};
}

QByteArray chooseDisplayForThisStart(int argc, char **argv)
{
    // A timer made with "systemd-run -E XAUTHORITY" in a session that has no
    // such variable passes it on empty: the X libraries then read the cookie
    // from a file named "" and the display turns us away. Unset, they read
    // ~/.Xauthority, as the session itself does.
    if (qEnvironmentVariableIsSet("XAUTHORITY") && qEnvironmentVariableIsEmpty("XAUTHORITY"))
        qunsetenv("XAUTHORITY");
    QByteArray chosen = optionValue(argc, argv, "-platform");
    if (chosen.isEmpty())
        chosen = qgetenv("QT_QPA_PLATFORM");
    const QByteArray named = optionValue(argc, argv, "-display");
    // The display is greeted once: a refusal is written on standard error by
    // the X library itself.
    std::optional<bool> xAnswered;
    const auto xAnswers = [&xAnswered](const QByteArray &display) {
        if (!xAnswered)
            xAnswered = xDisplayAnswers(display);
        return *xAnswered;
    };
    const DisplayFacts facts{chosen,
                             named.isEmpty() ? qgetenv("DISPLAY") : named,
                             qgetenv("WAYLAND_DISPLAY"),
                             xAnswers,
                             waylandDisplayAnswers,
                             platformPluginInstalled,
                             !named.isEmpty()};
    const DisplayChoice choice = chooseDisplay(facts);
    if (!choice.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platform);
    return choice.problem;
}

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler g_passOn = nullptr;
QList<HeldMessage> *g_held = nullptr;

// Qt's first words on the failure ("could not connect to display :5"), else
// its fatal line, shortened to one line.
QString firstReason(const QString &fatal)
{
    for (const HeldMessage &message : std::as_const(*g_held)) {
        if (message.type != QtDebugMsg && message.type != QtInfoMsg)
            return message.text.section(u'\n', 0, 0).trimmed();
    }
    return fatal.section(u'\n', 0, 0).trimmed();
}

void holdOrEnd(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        g_held->append({type, QByteArray(context.category), text});
        return;
    }
    std::fprintf(stderr, "quenby: no display to show the window on: %s\n", qPrintable(firstReason(text)));
    std::fflush(stderr);
    ::_exit(1);
}

// The user's runtime folder as the system makes it at the first login.
bool systemRuntimeFolderNamed()
{
    if (std::getenv("XDG_RUNTIME_DIR"))
        return false;
    const std::string folder = linux_folders::systemRuntimeFolder();
    return !folder.empty() && ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 0) == 0;
}

} // namespace

DisplayStartGuard::DisplayStartGuard()
    : m_runtimeFolderNamed(systemRuntimeFolderNamed())
{
    g_held = new QList<HeldMessage>;
    g_passOn = qInstallMessageHandler(holdOrEnd);
}

DisplayStartGuard::~DisplayStartGuard()
{
    qInstallMessageHandler(g_passOn);
    for (const HeldMessage &message : std::as_const(*g_held)) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        if (g_passOn)
            g_passOn(message.type, context, message.text);
    }
    delete g_held;
    g_held = nullptr;
    if (m_runtimeFolderNamed)
        ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace quenby
