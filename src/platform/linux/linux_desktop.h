#pragma once

#include "platform/cleaner/descriptor.h"
#include "platform/interfaces/desktop.h"

#include <functional>
#include <memory>

namespace quenby {

class LaterStarts;

class LinuxDesktop : public Desktop
{
public:
    LinuxDesktop();
    ~LinuxDesktop() override;

    std::optional<RequestOutcome> handToRunningCopy(std::optional<RunAction> request) override;
    std::optional<RequestOutcome> askRunningCopy(std::optional<RunAction> request) override;
    void whenStartedAgain(std::function<void(std::optional<RunAction>, RequestAnswer)> handle) override;
    QString windowsDirectory() override;
    QString programFolder() override;
    AppVersion version() override;
    void beep() override;
    void messageBox(const QString &prompt, MessageWait wait = MessageWait::BlockingWindows) override;
    [[noreturn]] void endProgram(int exitStatus) override;

    // The lock file that keeps a second copy out: beside the settings file,
    // so that every copy of this user on that file finds it, whatever session
    // it was started from (a timer, cron, su, ssh).
    static QString instanceLockPath();

private:
    enum class LockState { Taken, Free, HeldByAnother, Unavailable };
    LockState takeInstanceLock();
    LockState lookAtInstanceLock();
    void becomeTheRunningCopy();
    std::optional<RequestOutcome> reachRunningCopy(std::optional<RunAction> request,
                                                   const std::function<bool()> &holderGone);

    Descriptor m_lock;
    bool m_lockAsked = false;
    bool m_lockTaken = false;
    Descriptor m_listener;
    std::unique_ptr<LaterStarts> m_laterStarts;
};

} // namespace quenby
