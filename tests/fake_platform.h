#pragma once

#include "platform/services.h"

#include <QMap>
#include <QStringList>

#include <functional>
#include <map>

namespace quenby::test {

// One log shared by every fake, so a test can assert the order of calls across
// services: "get:Form1Top", "save:Form1Top=0", "beep", "msg:<text>",
// "shell:<command>", "watch:<pid>", "power:PowerOff", "sleep", "end".
using CallLog = QStringList;

class FakeStore : public Store
{
public:
    explicit FakeStore(CallLog &log) : m_log(log) {}

    QString GetSetting(const QString &key, const QString &defaultValue) override;
    void SaveSetting(const QString &key, const QString &value) override;

    QMap<QString, QString> values;
    QStringList reads;  // keys in the order they were read
    QStringList writes; // "key=value" in the order they were written

private:
    CallLog &m_log;
};

class FakeDesktop : public Desktop
{
public:
    explicit FakeDesktop(CallLog &log) : m_log(log) {}

    bool anotherInstanceRunning() override;
    void whenStartedAgain(std::function<void()> show) override { startedAgain = std::move(show); }
    QString windowsDirectory() override { return windowsDir; }
    QString programFolder() override { return programDir; }
    AppVersion version() override { return appVersion; }
    void beep() override;
    void messageBox(const QString &prompt) override;
    void endProgram() override;

    bool otherInstance = false;
    QString windowsDir = QStringLiteral("/home/tester");
    QString programDir = QStringLiteral("/opt/quenby/bin");
    AppVersion appVersion{1, 0, 9};
    int beeps = 0;
    QStringList messages;
    bool ended = false;
    // What a later start of the program would run in this copy; empty until asked for.
    std::function<void()> startedAgain;
    // Runs while a message box would be open (the box is modal).
    std::function<void(const QString &)> onMessageBox;

private:
    CallLog &m_log;
};

class FakeProcessWatch;

// Started commands never run; each gets a pid and stays "running" until the
// test ends it (or at once, with `endAtOnce`).
class FakeProcesses : public Processes
{
public:
    explicit FakeProcesses(CallLog &log) : m_log(log) {}
    ~FakeProcesses() override;

    ShellResult shell(const QString &commandLine) override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;

    // Ends a started process; its watch reports from the event loop.
    void end(qint64 pid);
    bool isRunning(qint64 pid) const;

    QStringList started;                   // command texts in order
    std::map<QString, int> failures;       // command text -> error number of its start
    bool endAtOnce = true;                 // processes end as soon as they are watched
    std::function<void(qint64 pid, const QString &commandLine)> onStart;
    qint64 lastPid = 1000;

private:
    CallLog &m_log;
    QMap<qint64, bool> m_running;
    QList<FakeProcessWatch *> m_watches;
    friend class FakeProcessWatch;
};

class FakePower : public Power
{
public:
    explicit FakePower(CallLog &log) : m_log(log) {}
    QString request(PowerAction action) override;

    QStringList requests;
    QString refusal; // returned by every request; empty = accepted

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

class FakePlatform
{
public:
    FakePlatform();

    Services services() { return {store, desktop, processes, power, clock}; }

    CallLog log;
    FakeStore store;
    FakeDesktop desktop;
    FakeProcesses processes;
    FakePower power;
    FakeClock clock;
};

} // namespace quenby::test
