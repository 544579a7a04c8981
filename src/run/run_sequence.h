#pragma once

#include <QString>

#include <optional>

#include "platform/interfaces/journal.h"
#include "platform/interfaces/power.h"
#include "platform/interfaces/processes.h"
#include "platform/interfaces/services.h"

namespace quenby {

class RunHost;

// The end-of-session run behind the four action buttons. It is a part of the
// main window object, so its run state outlives the on-screen window.
//
// The power rule: the machine is asked to power off, restart or suspend only
// by the run that a press of that button started, only after every ticked
// slot's program was started or the user was told why not, and never once the
// user has asked the program to end. Input that arrives while a run goes on
// (a slot's wait, the pause, a message, the outstanding power request) is acted
// on at once or dropped and recorded: a press is never held back and carried
// out after the run.
class RunSequence
{
public:
    // Where a run stands; Idle between runs.
    enum class Phase { Idle, Slots, CleanUps, Pause, Power };

    // When a press began. A press begun during a run, or before a run that
    // has ended since, is dropped when it clicks.
    struct PressStart
    {
        quint64 runs = 0;
        bool busy = false;
    };

    // Where a run's request came from: a press of its button, this copy's
    // command line, or a later start that waits for the answer.
    enum class From { Press, CommandLine, LaterStart };
    struct Request
    {
        From from = From::Press;
        RunAction button = RunAction::ShutDown;
        RequestAnswer answer; // a later start's; empty for the others
    };
    // What keeps the main window from taking a request from outside now.
    enum class Obstacle { None, SettingsWindow, Message };

    RunSequence(RunHost &host, const Services &services);

    // Run state. runMode and runOnly are reset by every load of the main
    // window, except a load while a run still waits for a program (the
    // settings window was opened and closed meanwhile): that run keeps its
    // mode, so a run-only run never ends in a shut-down.
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

    PressStart pressBegins() const { return {m_runsStarted, isRunning()}; }
    // A user's press of an action button that began at `started`.
    void press(RunAction button, PressStart started);
    // A run asked for from outside the window at `started`, entering as a
    // press of its button would. It is dropped, answered and recorded when a
    // run goes on, or `obstacle` stands in the way; otherwise the run it
    // starts answers it once its outcome is known.
    void requestFromOutside(Request request, PressStart started, Obstacle obstacle);
    // A key held down repeats; a repeat never presses an action button.
    void dropRepeatedKey(RunAction button);
    // Whether the settings button may open the settings window now: not from
    // the pause on, when the run no longer looks at the settings.
    bool allowsSettings();
    // The user asked the program to end (Cancel, the close box): it ends at
    // once, and no power request follows whatever step the run is in.
    void endOnUserRequest(const QString &how);

    bool isRunning() const { return m_phase != Phase::Idle; }
    Phase phase() const { return m_phase; }
    // The program's exit status: what became of the run asked for on its
    // command line, or 6 after a refused power request.
    int exitStatus() const { return m_exitStatus; }

private:
    // What the run does after a failed step.
    enum class Next { GoOn, Stop };

    std::optional<RequestOutcome> whyDropped(PressStart started, Obstacle obstacle) const;
    void settle(RequestOutcome outcome);
    void answer(Request &request, RequestOutcome outcome);
    bool acceptsPress(RunAction button);
    void click(RunAction button);
    void run(RunAction button);
    void runSteps();
    bool runProgramSlots();
    int RunProgram();
    void recordEnd(const ProcessEnd &end, qint64 elapsedMs);
    bool runCleanUps();
    int startCleanUp(int n);
    int recordCleanUpStart(const QString &tag, const ShellResult &started);
    void pause();
    void announceCountdown(qint64 remaining);
    void endCountdown();
    void cancelFromNotice();
    void powerAction();
    RunAction actionOfRunState() const;
    void requestPower(RunAction action);
    void endProgram();
    // `step`: the slot or clean-up (1..7) that failed to start, 0 the pause.
    Next handleError(int error, int step);
    static QString otherFailureMessage(int error, int step);
    static QString cleanUpMessage(int error, int step);
    QString slotMessage(int error) const;
    void note(const QString &line, Journal::Level level = Journal::Level::Info);
    QString slotTag() const;
    QString phaseName() const;
    void showStep(const QString &text, double stepsDone, int count = -1);
    bool showPauseLeft(qint64 remaining);

    RunHost &m_host;
    Services m_services;
    Phase m_phase = Phase::Idle;
    // The request the next run takes over, and the one of the run under way
    // until its outcome is known.
    std::optional<Request> m_nextRequest;
    std::optional<Request> m_request;
    int m_exitStatus = 0;
    quint64 m_runsStarted = 0;
    // The run's steps for its progress: each ticked slot, and the pause.
    int m_steps = 1;
    int m_stepsDone = 0;
    // What the last failed start said beyond its error number.
    StartHint m_lastHint = StartHint::None;
    // The program has been told to end; a test double returns from that call.
    bool m_programEnded = false;
    // The desktop notification of the pause before a power action; 0 for none.
    int m_countdownNotice = 0;
};

} // namespace quenby
