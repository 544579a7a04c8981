#include "fakes/fake_processes.h"

#include <QTimer>

namespace quenby::test {

class FakeProcessWatch : public ProcessWatch
{
public:
    FakeProcessWatch(FakeProcesses &owner, qint64 pid)
        : m_owner(owner)
        , m_pid(pid)
    {
        m_owner.m_watches << this;
    }
    ~FakeProcessWatch() override { m_owner.m_watches.removeAll(this); }

    bool hasEnded() const override { return !m_owner.isRunning(m_pid); }
    ProcessEnd end() const override { return m_owner.endOf(m_pid); }
    qint64 pid() const { return m_pid; }
    void report() { emit ended(); }

private:
    FakeProcesses &m_owner;
    qint64 m_pid;
};

FakeProcesses::~FakeProcesses() = default;

ShellResult FakeProcesses::runSlot(int slot, const QString &text)
{
    return start(QStringLiteral("slot%1:").arg(slot) + text);
}

ShellResult FakeProcesses::emptyTempFolder()
{
    return start(QStringLiteral("emptyTempFolder"));
}

ShellResult FakeProcesses::clearRecentDocuments()
{
    return start(QStringLiteral("clearRecentDocuments"));
}

ShellResult FakeProcesses::start(const QString &request)
{
    m_log << QStringLiteral("start:") + request;
    const auto failure = failures.find(request);
    if (failure != failures.end()) {
        const auto hint = hints.find(request);
        return {0, failure->second, QStringLiteral("failed"), hint == hints.end() ? StartHint::None : hint->second};
    }
    started << request;
    const qint64 pid = ++lastPid;
    m_running[pid] = true;
    if (onStart)
        onStart(pid, request);
    return {pid, 0, QString()};
}

std::unique_ptr<ProcessWatch> FakeProcesses::watch(qint64 pid)
{
    m_log << QStringLiteral("watch:") + QString::number(pid);
    if (!m_running.contains(pid))
        return nullptr;
    auto watch = std::make_unique<FakeProcessWatch>(*this, pid);
    if (endAtOnce)
        QTimer::singleShot(0, watch.get(), [this, pid] { end(pid); });
    return watch;
}

void FakeProcesses::end(qint64 pid, ProcessEnd how)
{
    if (!m_running.value(pid, false))
        return;
    m_running[pid] = false;
    m_ends[pid] = how;
    m_log << QStringLiteral("ended:") + QString::number(pid);
    for (FakeProcessWatch *w : std::as_const(m_watches)) {
        if (w->pid() == pid)
            QTimer::singleShot(0, w, [w] { w->report(); });
    }
}

bool FakeProcesses::isRunning(qint64 pid) const
{
    return m_running.value(pid, false);
}

} // namespace quenby::test
