#include "platform/linux_desktop.h"

#include "platform/linux_folders.h"
#include "platform/show_requests.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quenby {

LinuxDesktop::LinuxDesktop() = default;

LinuxDesktop::~LinuxDesktop()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

// In the user's runtime folder when the session has one; otherwise in the
// configuration folder, never in a stand-in under the temporary folder, which
// the temp clean-up empties.
QString LinuxDesktop::instanceLockPath()
{
    QString folder = linux_folders::runtimeFolder();
    if (folder.isEmpty())
        folder = linux_folders::configFolder();
    return folder + QStringLiteral("/TARVEN Inc.Quenby.lock");
}

// An advisory lock on a file in the user's runtime folder. The kernel drops it
// when the holder dies in any way, so a killed copy never keeps the next one out,
// and of two copies started together exactly one gets it. The descriptor is
// close-on-exec: programs we start do not inherit the lock.
bool LinuxDesktop::anotherInstanceRunning()
{
    if (m_lockTaken)
        return false;
    const QString path = instanceLockPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_lockFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0) {
        // Without a lock file we cannot tell; let the user work.
        m_lockTaken = true;
        return false;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        ShowRequests::askRunningCopy();
        return true;
    }
    m_lockTaken = true;
    return false;
}

// Only the copy holding the lock listens. The socket is made once the event
// loop runs, after the window has been shown.
void LinuxDesktop::whenStartedAgain(std::function<void()> show)
{
    if (!m_lockTaken || m_showRequests)
        return;
    QTimer::singleShot(0, [this, show = std::move(show)] {
        if (!m_showRequests)
            m_showRequests = std::make_unique<ShowRequests>(show);
    });
}

QString LinuxDesktop::windowsDirectory()
{
    return linux_folders::windowsFolder();
}

QString LinuxDesktop::programFolder()
{
    return QCoreApplication::applicationDirPath();
}

AppVersion LinuxDesktop::version()
{
    return {QUENBY_VERSION_MAJOR, QUENBY_VERSION_MINOR, QUENBY_VERSION_PATCH};
}

void LinuxDesktop::beep()
{
    QApplication::beep();
}

void LinuxDesktop::messageBox(const QString &prompt)
{
    QString shown = prompt;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("TARVEN Inc.QUENBY"), shown, QMessageBox::Ok);
    // The main window stays on top of everything; its messages must not hide behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

void LinuxDesktop::endProgram()
{
    std::fflush(nullptr);
    ::_exit(0);
}

} // namespace quenby
