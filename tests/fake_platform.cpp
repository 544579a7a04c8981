#include "fake_platform.h"

#include <QTimer>

#include <utility>

namespace quenby::test {

QString FakeStore::GetSetting(const QString &key, const QString &defaultValue)
{
    reads << key;
    m_log << QStringLiteral("get:") + key;
    if (!unreadable.contains(key))
        return values.value(key, defaultValue);
    if (m_tell)
        m_tell({StoreProblem::Kind::ValueNotUtf8, StoreFailure::Failed, QStringLiteral("/fake/settings.ini"), key, 0, 0});
    return defaultValue;
}

void FakeStore::SaveSetting(const QString &key, const QString &value)
{
    values[key] = value;
    m_pendingFailed = m_pendingFailed || failing;
    writes << key + u'=' + value;
    m_log << QStringLiteral("save:") + key + u'=' + value;
    m_pending << key + u'=' + value;
    if (m_depth == 0)
        endBatch();
}

bool FakeStore::endBatch()
{
    if (m_depth > 0)
        --m_depth;
    if (m_depth > 0 || m_pending.isEmpty())
        return true;
    replacements << m_pending;
    m_pending.clear();
    if (!std::exchange(m_pendingFailed, false))
        return true;
    if (m_tell)
        m_tell({StoreProblem::Kind::NotSaved, StoreFailure::Failed, QStringLiteral("/fake/settings.ini"), {}, 0, 0});
    return false;
}

std::optional<RequestOutcome> FakeDesktop::handToRunningCopy(StartRequest request)
{
    m_log << QStringLiteral("instance?");
    if (runningCopy)
        handedOn << request;
    return runningCopy;
}

void FakeDesktop::startAgain(StartRequest request)
{
    startedAgain(request, [this](RequestOutcome outcome) { answers << outcome; });
}

void FakeDesktop::beep()
{
    ++beeps;
    m_log << QStringLiteral("beep");
}

void FakeDesktop::messageBox(const QString &prompt, MessageWait wait)
{
    messages << prompt;
    messageWaits << wait;
    m_log << QStringLiteral("msg:") + prompt;
    if (onMessageBox)
        onMessageBox(prompt);
}

void FakeDesktop::endProgram(int status)
{
    ended = true;
    exitStatus = status;
    m_log << QStringLiteral("end");
}

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

PowerOutcome FakePower::request(PowerAction action)
{
    const char *name = action == PowerAction::PowerOff ? "PowerOff" : action == PowerAction::Reboot ? "Reboot" : "Suspend";
    requests << QString::fromLatin1(name);
    m_log << QStringLiteral("power:") + QString::fromLatin1(name);
    if (onRequest)
        onRequest(QString::fromLatin1(name));
    if (refusal.isEmpty())
        return {};
    return {refusalKind, refusal};
}

qint64 FakeClock::nowSeconds()
{
    ++reads;
    return now;
}

void FakeClock::sleepUntilNextSecond()
{
    ++sleeps;
    ++now;
    m_log << QStringLiteral("sleep");
    if (onSleep)
        onSleep();
}

void FakeJournal::record(const QString &line, Level level)
{
    lines << line;
    if (level == Level::Warning)
        warnings << line;
    m_log << QStringLiteral("journal:") + line;
    if (onRecord)
        onRecord(line);
}

void FakeProgress::show(double fraction, int count)
{
    const QString percent = QString::number(qRound(fraction * 100)) + u'%';
    shown << (count < 0 ? percent : percent + u' ' + QString::number(count));
}

int FakeNotifications::show(Notice notice)
{
    const int number = int(shown.size()) + 1;
    m_log << QStringLiteral("notify:") + notice.summary;
    shown[number] = {std::move(notice), false};
    return number;
}

void FakeNotifications::withdraw(int notice)
{
    m_log << QStringLiteral("withdraw:") + QString::number(notice);
    shown[notice].withdrawn = true;
}

void FakeNotifications::answer(int notice)
{
    m_log << QStringLiteral("answer:") + QString::number(notice);
    if (const auto action = shown[notice].notice.onAction)
        action();
}

FakePlatform::FakePlatform()
    : store(log)
    , desktop(log)
    , processes(log)
    , power(log)
    , clock(log)
    , journal(log)
    , notifications(log)
{
}

} // namespace quenby::test
