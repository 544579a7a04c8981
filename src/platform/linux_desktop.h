#pragma once

#include "platform/descriptor.h"
#include "platform/desktop.h"

#include <QStringList>
#include <memory>

namespace quenby {

class ShowRequests;

class LinuxDesktop : public Desktop
{
public:
    LinuxDesktop();
    ~LinuxDesktop() override;

    bool anotherInstanceRunning(StartRequest request) override;
    void whenStartedAgain(std::function<void(StartRequest)> handle) override;
    QString windowsDirectory() override;
    QString programFolder() override;
    AppVersion version() override;
    void beep() override;
    void messageBox(const QString &prompt, MessageWait wait = MessageWait::BlockingWindows) override;
    [[noreturn]] void endProgram() override;

    // The per-user lock file that keeps a second copy out, in the folder
    // tried first.
    static QString instanceLockPath();
    // Where the lock file is looked for, in order.
    static QStringList instanceLockFolders();

private:
    enum class LockState { Taken, HeldByAnother, Unavailable };
    LockState takeInstanceLock();

    Descriptor m_lock;
    bool m_lockTaken = false;
    std::unique_ptr<ShowRequests> m_showRequests;
};

} // namespace quenby
