#pragma once

#include "platform/desktop.h"

#include <memory>

namespace quenby {

class ShowRequests;

class LinuxDesktop : public Desktop
{
public:
    LinuxDesktop();
    ~LinuxDesktop() override;

    bool anotherInstanceRunning() override;
    void whenStartedAgain(std::function<void()> show) override;
    QString windowsDirectory() override;
    QString programFolder() override;
    AppVersion version() override;
    void beep() override;
    void messageBox(const QString &prompt) override;
    [[noreturn]] void endProgram() override;

    // The per-user lock file that keeps a second copy out.
    static QString instanceLockPath();

private:
    int m_lockFd = -1;
    bool m_lockTaken = false;
    std::unique_ptr<ShowRequests> m_showRequests;
};

} // namespace quenby
