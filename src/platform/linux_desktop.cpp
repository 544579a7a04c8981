#include "platform/linux_desktop.h"

#include "platform/linux_folders.h"
#include "platform/ownership.h"
#include "platform/private_file.h"
#include "platform/show_requests.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenby {

LinuxDesktop::LinuxDesktop() = default;

LinuxDesktop::~LinuxDesktop() = default;

namespace {

const QString kLockName = QStringLiteral("/TARVEN Inc.Quenby.lock");

// A lock file is trusted only when it is a regular file of our own, reached
// without a link: a folder, a FIFO or a link put in its place would either
// refuse the lock to every copy or hand it to every copy.
Descriptor openTrustedLockFile(const QString &folder)
{
    if (folder.isEmpty() || !private_file::makeFolders(folder))
        return {};
    const QByteArray path = QFile::encodeName(folder + kLockName);
    Descriptor fd(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !isOwnRegularFile(st))
        return {};
    return fd;
}

} // namespace

// In the user's runtime folder when the session has one; otherwise in the
// configuration folder, never in a stand-in under the temporary folder, which
// the temp clean-up empties.
QStringList LinuxDesktop::instanceLockFolders()
{
    QStringList folders;
    for (const QString &folder : {linux_folders::runtimeFolder(), linux_folders::configFolder()}) {
        if (!folder.isEmpty() && !folders.contains(folder))
            folders << folder;
    }
    return folders;
}

QString LinuxDesktop::instanceLockPath()
{
    const QStringList folders = instanceLockFolders();
    return folders.isEmpty() ? QString() : folders.first() + kLockName;
}

// An advisory lock on a file in the user's runtime folder, or in the
// configuration folder when the runtime one cannot be trusted. The kernel
// drops it when the holder dies in any way, so a killed copy never keeps the
// next one out, and of two copies started together exactly one gets it. The
// descriptor is close-on-exec: programs we start do not inherit the lock.
LinuxDesktop::LockState LinuxDesktop::takeInstanceLock()
{
    for (const QString &folder : instanceLockFolders()) {
        Descriptor fd = openTrustedLockFile(folder);
        if (!fd)
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            m_lock = std::move(fd);
            return LockState::Taken;
        }
        if (errno == EWOULDBLOCK)
            return LockState::HeldByAnother;
    }
    return LockState::Unavailable;
}

bool LinuxDesktop::anotherInstanceRunning(StartRequest request)
{
    if (m_lockTaken)
        return false;
    // Without any lock we cannot tell; let the user work.
    if (takeInstanceLock() == LockState::HeldByAnother) {
        ShowRequests::askRunningCopy(request);
        return true;
    }
    m_lockTaken = true;
    return false;
}

// Only the copy holding the lock listens. The socket is made once the event
// loop runs, after the window has been shown.
void LinuxDesktop::whenStartedAgain(std::function<void(StartRequest)> handle)
{
    if (!m_lockTaken || m_showRequests)
        return;
    QTimer::singleShot(0, [this, handle = std::move(handle)] {
        if (!m_showRequests)
            m_showRequests = std::make_unique<ShowRequests>(handle);
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

void LinuxDesktop::messageBox(const QString &prompt, MessageWait wait)
{
    QString shown = prompt;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("TARVEN Inc.QUENBY"), shown, QMessageBox::Ok);
    // The main window stays on top of everything; its messages must not hide behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (wait == MessageWait::BlockingWindows) {
        box.exec();
        return;
    }
    box.setWindowModality(Qt::NonModal);
    QEventLoop answered;
    QObject::connect(&box, &QMessageBox::finished, &answered, &QEventLoop::quit);
    box.show();
    answered.exec();
}

void LinuxDesktop::endProgram()
{
    std::fflush(nullptr);
    ::_exit(0);
}

} // namespace quenby
