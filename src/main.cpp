#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "platform/linux/display_choice.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/session_bus_gate.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

// Without a display this start can still hand its request to the copy that
// runs; only when none runs does it need one, and ends with status 1.
int startWithoutDisplay(int argc, char *argv[], std::optional<quenby::RunAction> request, const QByteArray &why)
{
    QCoreApplication app(argc, argv);
    quenby::LinuxPlatform platform;
    quenby::handOverWithoutWindow(platform.services(), request);
    std::fprintf(stderr, "%s\n", why.constData());
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const quenby::CommandLineReply commandLine = quenby::answerCommandLine(argc, argv);
    if (commandLine.exitStatus)
        return *commandLine.exitStatus;
    const QByteArray noDisplay = quenby::chooseDisplayForThisStart(argc, argv);
    quenby::session_bus_gate::keepOutOfTheWay();
    // The desktop finds the menu entry, and with it the icon, by this name:
    // the Wayland app_id and the class of the X11 WM_CLASS.
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.tarven.Quenby"));
    QCoreApplication::setApplicationName(QStringLiteral("jp.tarven.Quenby"));
    if (!noDisplay.isEmpty())
        return startWithoutDisplay(argc, argv, commandLine.request, noDisplay);
    auto guard = std::make_unique<quenby::DisplayStartGuard>();
    QApplication app(argc, argv);
    guard.reset();
    // The main window decides when the program ends: a run may still be going
    // on after the last window has closed.
    QApplication::setQuitOnLastWindowClosed(false);

    quenby::LinuxPlatform platform;
    quenby::Form1 form1(platform.services());
    form1.setStartRequest(commandLine.request);
    // The exit status says what became of a run asked for on the command line.
    QObject::connect(&form1, &quenby::Form1::lastWindowClosed, &app,
                     [&form1] { QCoreApplication::exit(form1.run().exitStatus()); });
    form1.Form_Load();
    return app.exec();
}
