#include "platform/linux/linux_desktop.h"

#include "platform/cleaner/ownership.h"
#include "platform/linux/later_starts.h"
#include "platform/linux/linux_folders.h"
#include "platform/settings_file/private_file.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenby {

LinuxDesktop::LinuxDesktop() = default;

LinuxDesktop::~LinuxDesktop() = default;

namespace {

const QString kLockName = QStringLiteral("/TARVEN Inc.Quenby.lock");

// How long a later start tries to reach the copy that holds the lock: that
// copy writes its socket's name a moment after taking the lock.
constexpr int kReachWithinMs = 5000;
constexpr int kReachRetryMs = 20;

// A lock file is trusted only when it is a regular file of our own, reached
// without a link: a folder, a FIFO or a link put in its place would either
// refuse the lock to every copy or hand it to every copy.
// A start without a display only looks: it makes neither file nor folder.
Descriptor openTrustedLockFile(const QString &path, bool make)
{
    if (path.isEmpty() || (make && !private_file::makeFolders(QFileInfo(path).path())))
        return {};
    const QByteArray encoded = QFile::encodeName(path);
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (make ? O_CREAT : 0);
    Descriptor fd(::open(encoded.constData(), flags, 0600));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !isOwnRegularFile(st))
        return {};
    return fd;
}

// The lock file holds the name its holder listens under, on one line.
QByteArray listenerNameIn(const Descriptor &lock)
{
    char text[256];
    const ssize_t length = ::pread(lock.get(), text, sizeof text, 0);
    if (length <= 0)
        return {};
    const QByteArray content(text, length);
    const qsizetype end = content.indexOf('\n');
    return end < 0 ? QByteArray() : content.left(end);
}

void writeListenerName(const Descriptor &lock, const QByteArray &name)
{
    const QByteArray line = name + '\n';
    if (::ftruncate(lock.get(), 0) == 0)
        (void)!::pwrite(lock.get(), line.constData(), size_t(line.size()), 0);
}

// Nothing at all where the lock file would be: no copy has run on this
// settings file yet.
bool nothingAt(const QString &path)
{
    struct stat st {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

// Whether another process holds the lock on that file. Asked by trying a
// shared lock and letting it go at once: a start with a display that tries
// the lock in that moment retries a few milliseconds later and takes it, as
// it does when the holder has just ended. The answer does not depend on how
// the file system numbers its files.
bool lockHeldOn(const Descriptor &lock)
{
    int tried;
    do {
        tried = ::flock(lock.get(), LOCK_SH | LOCK_NB);
    } while (tried != 0 && errno == EINTR);
    if (tried != 0)
        return errno == EWOULDBLOCK;
    ::flock(lock.get(), LOCK_UN);
    return false;
}

void sleepMs(int ms)
{
    ::poll(nullptr, 0, ms);
}

} // namespace

// Beside the settings file, in its folder: every copy on the same settings
// file finds the same lock, whatever runtime folder its session has (none
// from cron, another one through su), and test copies with their own
// configuration folders do not see each other. Never in a folder under the
// temporary folder, which the temp clean-up empties.
QString LinuxDesktop::instanceLockPath()
{
    const QString folder = linux_folders::configFolder();
    return folder.isEmpty() ? QString() : folder + kLockName;
}

// An advisory lock on the file. The kernel drops it when the holder dies in
// any way, so a killed copy never keeps the next one out, and of two copies
// started together exactly one gets it. The descriptor is close-on-exec:
// programs we start do not inherit the lock.
LinuxDesktop::LockState LinuxDesktop::takeInstanceLock()
{
    Descriptor fd = openTrustedLockFile(instanceLockPath(), true);
    if (!fd)
        return LockState::Unavailable;
    const int taken = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    const int error = errno;
    m_lock = std::move(fd);
    if (taken == 0)
        return LockState::Taken;
    return error == EWOULDBLOCK ? LockState::HeldByAnother : LockState::Unavailable;
}

// Looks at the lock without keeping it: for a start that could not show a
// window, so must never pass for the copy that runs.
LinuxDesktop::LockState LinuxDesktop::lookAtInstanceLock()
{
    const QString path = instanceLockPath();
    if (nothingAt(path))
        return LockState::Free;
    m_lock = openTrustedLockFile(path, false);
    if (!m_lock)
        return LockState::Unavailable;
    return lockHeldOn(m_lock) ? LockState::HeldByAnother : LockState::Free;
}

std::optional<RequestOutcome> LinuxDesktop::handToRunningCopy(std::optional<RunAction> request)
{
    if (std::exchange(m_lockAsked, true))
        return std::nullopt;
    switch (takeInstanceLock()) {
    case LockState::Taken:
    case LockState::Free:
        becomeTheRunningCopy();
        return std::nullopt;
    case LockState::Unavailable:
        // Without a lock we cannot tell whether a copy runs: a run might
        // power off the machine under the other copy's run, so none starts;
        // a window alone lets the user work.
        if (request)
            return RequestOutcome::LockUnusable;
        std::fprintf(stderr, "quenby: no single-instance lock (%s is not a regular file of yours, or cannot be "
                             "made): another copy may run beside this one\n",
                     instanceLockPath().isEmpty() ? "no home folder, so the lock file" : qPrintable(instanceLockPath()));
        return std::nullopt;
    case LockState::HeldByAnother:
        break;
    }
    const auto takenOver = [this] { return ::flock(m_lock.get(), LOCK_EX | LOCK_NB) == 0; };
    if (const std::optional<RequestOutcome> outcome = reachRunningCopy(request, takenOver))
        return outcome;
    becomeTheRunningCopy();
    return std::nullopt;
}

std::optional<RequestOutcome> LinuxDesktop::askRunningCopy(std::optional<RunAction> request)
{
    switch (lookAtInstanceLock()) {
    case LockState::Taken:
    case LockState::Free:
        return std::nullopt;
    case LockState::Unavailable:
        return request ? std::optional(RequestOutcome::LockUnusable) : std::nullopt;
    case LockState::HeldByAnother:
        break;
    }
    return reachRunningCopy(request, [this] { return !lockHeldOn(m_lock); });
}

// Listens from the start, before the window and its start-up messages: a
// request that comes meanwhile is answered (dropped), never left waiting to
// be carried out later.
void LinuxDesktop::becomeTheRunningCopy()
{
    m_lockTaken = true;
    LaterStarts::Listener listener = LaterStarts::listenUnderNewName();
    if (listener.name.isEmpty())
        return;
    m_listener = std::move(listener.socket);
    writeListenerName(m_lock, listener.name);
}

// Reads the holder's name afresh on every try: a copy that took the lock a
// moment ago may not have written it yet. When the holder has gone (a start
// with a display takes the lock then), there is nothing more to hand over.
// Sleeps between tries.
std::optional<RequestOutcome> LinuxDesktop::reachRunningCopy(std::optional<RunAction> request,
                                                             const std::function<bool()> &holderGone)
{
    const QDeadlineTimer deadline(kReachWithinMs);
    for (;;) {
        const QByteArray name = listenerNameIn(m_lock);
        if (!name.isEmpty()) {
            if (const std::optional<RequestOutcome> outcome = LaterStarts::handOver(name, request))
                return outcome;
        }
        if (holderGone())
            return std::nullopt;
        if (deadline.hasExpired())
            return RequestOutcome::Unreachable;
        sleepMs(kReachRetryMs);
    }
}

// Only the copy holding the lock listens.
void LinuxDesktop::whenStartedAgain(std::function<void(std::optional<RunAction>, RequestAnswer)> handle)
{
    if (!m_lockTaken || !m_listener || m_laterStarts)
        return;
    m_laterStarts = std::make_unique<LaterStarts>(std::move(m_listener), std::move(handle));
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

void LinuxDesktop::endProgram(int exitStatus)
{
    std::fflush(nullptr);
    ::_exit(exitStatus);
}

} // namespace quenby
