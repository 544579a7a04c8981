#include "platform/linux/process_watch.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quenby {

namespace {

// Only where the kernel has no process descriptors.
constexpr int kFallbackIntervalMs = 100;

enum class ChildState { Running, Ended, NotOurs };

struct Collected
{
    ChildState state = ChildState::NotOurs;
    ProcessEnd end;
};

// Collects the child if it has ended, with how it ended.
Collected collectIfEnded(pid_t pid)
{
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == 0)
            return {ChildState::Running, {}};
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return {ChildState::NotOurs, {}};
        if (WIFSIGNALED(status))
            return {ChildState::Ended, {true, true, WTERMSIG(status)}};
        return {ChildState::Ended, {true, false, WEXITSTATUS(status)}};
    }
}

Descriptor openProcessDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return Descriptor(int(::syscall(SYS_pidfd_open, pid, 0)));
#else
    errno = ENOSYS;
    return {};
#endif
}

} // namespace

ChildWatch::ChildWatch(qint64 pid)
    : m_pid(pid)
{
}

ChildWatch::~ChildWatch()
{
    // The notifier goes before the descriptor it watches.
    delete m_notifier;
}

// The child is ours and not yet collected, so its pid cannot be taken by
// another process while we look at it.
std::unique_ptr<ChildWatch> ChildWatch::open(qint64 pid)
{
    if (pid <= 0 || pid != qint64(pid_t(pid)))
        return nullptr;
    const Collected now = collectIfEnded(pid_t(pid));
    if (now.state == ChildState::NotOurs)
        return nullptr;
    std::unique_ptr<ChildWatch> watch(new ChildWatch(pid));
    if (now.state == ChildState::Ended) {
        watch->markEnded(now.end);
        return watch;
    }
    Descriptor pidfd = openProcessDescriptor(pid_t(pid));
    // Process descriptors are close-on-exec from the start. Without one (an old
    // kernel, no descriptor left, a sandbox that forbids the call) the child is
    // still alive and ours: watch it the slow way rather than not at all.
    if (pidfd)
        watch->watchDescriptor(std::move(pidfd));
    else
        watch->watchWithTimer();
    return watch;
}

void ChildWatch::watchDescriptor(Descriptor pidfd)
{
    m_pidfd = std::move(pidfd);
    m_notifier = new QSocketNotifier(m_pidfd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ChildWatch::collect);
}

void ChildWatch::watchWithTimer()
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kFallbackIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ChildWatch::collect);
    m_timer->start();
}

void ChildWatch::collect()
{
    if (m_ended)
        return;
    const Collected now = collectIfEnded(pid_t(m_pid));
    if (now.state == ChildState::Running)
        return;
    markEnded(now.end);
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_timer)
        m_timer->stop();
    emit ended();
}

void ChildWatch::markEnded(ProcessEnd end)
{
    m_ended = true;
    m_end = end;
}

} // namespace quenby
