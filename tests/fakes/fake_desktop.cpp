#include "fakes/fake_desktop.h"

namespace quenby::test {

std::optional<RequestOutcome> FakeDesktop::handToRunningCopy(std::optional<RunAction> request)
{
    m_log << QStringLiteral("instance?");
    if (runningCopy)
        handedOn << request;
    return runningCopy;
}

void FakeDesktop::startAgain(std::optional<RunAction> request)
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

} // namespace quenby::test
