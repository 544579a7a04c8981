#pragma once

#include "platform/services.h"

#include <QMap>
#include <QStringList>

#include <functional>
#include <map>

namespace quenby::test {

// One log shared by every fake, so a test can assert the order of calls across
// services: "get:Form1Top", "save:Form1Top=0", "beep", "msg:<text>",
// "start:<request>", "watch:<pid>", "power:PowerOff", "sleep", "end",
// "journal:<line>", "notify:<summary>", "withdraw:<number>", "answer:<number>",
// "settle".
using CallLog = QStringList;

class FakeStore : public Store
{
public:
    explicit FakeStore(CallLog &log) : m_log(log) {}

    QString GetSetting(const QString &key, const QString &defaultValue) override;
    bool holdsUnreadable(const QString &key) override { return unreadable.contains(key); }
    void SaveSetting(const QString &key, const QString &value) override;
    void beginBatch() override { ++m_depth; }
    bool endBatch() override;
    void whenProblem(std::function<void(const StoreProblem &)> tell) override { m_tell = std::move(tell); }

    QMap<QString, QString> values;
    QStringList unreadable; // keys whose values are not UTF-8: they read as their defaults
    bool failing = false; // writes are recorded but do not reach the disk, and say so
    QStringList reads;  // keys in the order they were read
    QStringList writes; // "key=value" in the order they were written
    // The writes grouped as they would reach the disk: one entry per save
    // outside a batch, one per outermost batch.
    QList<QStringList> replacements;

private:
    CallLog &m_log;
    std::function<void(const StoreProblem &)> m_tell;
    bool m_pendingFailed = false;
    int m_depth = 0;
    QStringList m_pending;
};

class FakeDesktop : public Desktop
{
public:
    explicit FakeDesktop(CallLog &log) : m_log(log) {}

    std::optional<RequestOutcome> handToRunningCopy(StartRequest request) override;
    void whenStartedAgain(std::function<void(StartRequest, RequestAnswer)> handle) override
    {
        startedAgain = std::move(handle);
    }
    QString windowsDirectory() override { return windowsDir; }
    QString programFolder() override { return programDir; }
    AppVersion version() override { return appVersion; }
    void beep() override;
    void messageBox(const QString &prompt, MessageWait wait = MessageWait::BlockingWindows) override;
    void endProgram(int exitStatus) override;
    // A later start hands this copy `request`; its answers land in `answers`.
    void startAgain(StartRequest request);

    // Another copy runs and answers a hand-over with this.
    std::optional<RequestOutcome> runningCopy;
    QString windowsDir = QStringLiteral("/home/tester");
    QString programDir = QStringLiteral("/opt/quenby/bin");
    AppVersion appVersion{1, 0, 9};
    int beeps = 0;
    QStringList messages;
    QList<MessageWait> messageWaits;
    bool ended = false;
    int exitStatus = -1;
    // What a later start of the program would run in this copy; empty until asked for.
    std::function<void(StartRequest, RequestAnswer)> startedAgain;
    QList<RequestOutcome> answers;
    QList<StartRequest> handedOn; // requests handed to the copy that runs
    // Runs while a message box would be open (the box is modal).
    std::function<void(const QString &)> onMessageBox;

private:
    CallLog &m_log;
};

class FakeProcessWatch;

// Started requests never run; each gets a pid and stays "running" until the
// test ends it (or at once, with `endAtOnce`). Requests are named
// "slot<n>:<text>", "emptyTempFolder" and "clearRecentDocuments".
class FakeProcesses : public Processes
{
public:
    explicit FakeProcesses(CallLog &log) : m_log(log) {}
    ~FakeProcesses() override;

    ShellResult runSlot(int slot, const QString &text) override;
    ShellResult emptyTempFolder() override;
    ShellResult clearRecentDocuments() override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;

    // Ends a started process; its watch reports from the event loop.
    void end(qint64 pid, ProcessEnd how = {true, false, 0});
    bool isRunning(qint64 pid) const;
    ProcessEnd endOf(qint64 pid) const { return m_ends.value(pid); }

    QStringList started;                   // requests in order
    std::map<QString, int> failures;       // request -> error number of its start
    std::map<QString, StartHint> hints;    // request -> what its failed start says besides
    bool endAtOnce = true;                 // processes end as soon as they are watched
    std::function<void(qint64 pid, const QString &request)> onStart;
    qint64 lastPid = 1000;

private:
    ShellResult start(const QString &request);

    CallLog &m_log;
    QMap<qint64, bool> m_running;
    QMap<qint64, ProcessEnd> m_ends;
    QList<FakeProcessWatch *> m_watches;
    friend class FakeProcessWatch;
};

class FakePower : public Power
{
public:
    explicit FakePower(CallLog &log) : m_log(log) {}
    PowerOutcome request(PowerAction action) override;

    QStringList requests;
    QString refusal; // the system's words for every request; empty = accepted
    PowerRefusal refusalKind = PowerRefusal::AccessDenied;
    // Runs while the request is outstanding.
    std::function<void(const QString &method)> onRequest;

private:
    CallLog &m_log;
};

// Starts at an arbitrary second; every sleep moves it on by one second.
class FakeClock : public Clock
{
public:
    explicit FakeClock(CallLog &log) : m_log(log) {}
    qint64 nowSeconds() override;
    void sleepUntilNextSecond() override;

    qint64 now = 1'700'000'000;
    int reads = 0;
    int sleeps = 0;
    std::function<void()> onSleep;

private:
    CallLog &m_log;
};

class FakeJournal : public Journal
{
public:
    explicit FakeJournal(CallLog &log) : m_log(log) {}
    void record(const QString &line, Level level) override;

    QStringList lines;
    QStringList warnings;
    std::function<void(const QString &line)> onRecord;

private:
    CallLog &m_log;
};

// Keeps every progress shown, "<percent>%" or "<percent>% <count>", and
// "clear".
class FakeProgress : public RunProgress
{
public:
    void show(double fraction, int count) override;
    void clear() override { shown << QStringLiteral("clear"); }

    QStringList shown;
};

// Keeps every notice shown, numbered from 1; withdrawing one marks it. A test
// answers a notice with answer(), as a click on its button would: from inside
// a wait, where the real one comes from the event loop.
class FakeNotifications : public Notifications
{
public:
    explicit FakeNotifications(CallLog &log) : m_log(log) {}
    int show(Notice notice) override;
    void withdraw(int notice) override;
    void settle(std::chrono::milliseconds) override { m_log << QStringLiteral("settle"); }

    void answer(int notice);

    struct Shown
    {
        Notice notice;
        bool withdrawn = false;
    };
    std::map<int, Shown> shown;

private:
    CallLog &m_log;
};

class FakePlatform
{
public:
    FakePlatform();

    Services services() { return {store, desktop, processes, power, clock, journal, progress, notifications}; }

    CallLog log;
    FakeStore store;
    FakeDesktop desktop;
    FakeProcesses processes;
    FakePower power;
    FakeClock clock;
    FakeJournal journal;
    FakeProgress progress;
    FakeNotifications notifications;
};

} // namespace quenby::test
