#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/desktop.h"

#include <QStringList>
#include <QList>

#include <functional>

namespace quenby::test {

class FakeDesktop : public Desktop
{
public:
    explicit FakeDesktop(CallLog &log) : m_log(log) {}

    std::optional<RequestOutcome> handToRunningCopy(std::optional<RunAction> request) override;
    std::optional<RequestOutcome> askRunningCopy(std::optional<RunAction> r) override { return handToRunningCopy(r); }
    void whenStartedAgain(std::function<void(std::optional<RunAction>, RequestAnswer)> handle) override
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
    void startAgain(std::optional<RunAction> request);

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
    std::function<void(std::optional<RunAction>, RequestAnswer)> startedAgain;
    QList<RequestOutcome> answers;
    QList<std::optional<RunAction>> handedOn; // requests handed to the copy that runs
    // Runs while a message box would be open (the box is modal).
    std::function<void(const QString &)> onMessageBox;

private:
    CallLog &m_log;
};

} // namespace quenby::test
