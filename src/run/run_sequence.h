#pragma once

#include <QString>

#include "platform/journal.h"
#include "platform/power.h"
#include "platform/services.h"

namespace quenby {

class RunHost;
struct ProcessEnd;
struct ShellResult;

// The end-of-session run behind the four action buttons. It is a part of the
// main window object, so its run state outlives the on-screen window. One run
// at a time: a press of an action button while a run goes on is dropped.
class RunSequence
{
public:
    RunSequence(RunHost &host, const Services &services);

    // Run state. runMode and runOnly are reset by every load of the main window.
    qint32 runMode = 0;     // 0 shut down, 1 restart, 2 suspend
    qint32 runOnly = 0;     // 1: no power action at the end
    qint32 currentSlot = 0; // slot most recently started; never reset
    QString programPath;
    QString commandLine;    // the command text of the last step started, as recorded
    qint32 taskId = 0;

    void ok1_Click();
    void reboot_Click();
    void Suspend_Click();
    void test_Click();

    // True while a run is under way.
    bool isRunning() const { return m_running; }

private:
    // What the run does after a failed step.
    enum class Next { GoOn, Stop };
    enum class Button { ShutDown, Restart, Suspend, RunOnly };

    bool acceptsPress(Button button);
    void run(Button button);
    void runSteps();
    bool runProgramSlots();
    int RunProgram();
    void recordEnd(const ProcessEnd &end, qint64 elapsedMs);
    bool runCleanUps();
    int startCleanUp(int n);
    int recordCleanUpStart(const QString &tag, const ShellResult &started);
    void pause();
    void powerAction();
    void requestPower(PowerAction action, const QString &failureText);
    void endProgram();
    Next handleError(int error);
    QString slotMessage(int error) const;
    void note(const QString &line, Journal::Level level = Journal::Level::Info);
    QString slotTag() const;

    RunHost &m_host;
    Services m_services;
    bool m_running = false;
    // From the start of the pause to the end of the run or of the program.
    bool m_exclusive = false;
    // The program has been told to end; a test double returns from that call.
    bool m_programEnded = false;
};

} // namespace quenby
