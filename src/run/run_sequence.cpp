#include "run/run_sequence.h"

#include "run/missed_run_notice.h"
#include "run/pause.h"
#include "run/power_refusal.h"
#include "run/run_action_texts.h"
#include "run/run_host.h"
#include "run/wait_for_process.h"
#include "settings/run_config.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <utility>

namespace quenby {

namespace {

const QString kCommandPrefix = QStringLiteral("command.com /c ");
const QString kDeltreePrefix = QStringLiteral("command.com /c deltree /Y ");

constexpr int kTempCleanUp = 6;
constexpr int kRecentCleanUp = 7;
// How long the end of the program may wait for the desktop to hear that the
// pause's notification is to go.
constexpr std::chrono::milliseconds kNoticeSettleBound{1'000};

// Puts a run in its first step for as long as it lives, and back to idle after.
class PhaseGuard
{
public:
    PhaseGuard(RunSequence::Phase &phase, RunSequence::Phase first) : m_phase(phase) { m_phase = first; }
    ~PhaseGuard() { m_phase = RunSequence::Phase::Idle; }
    PhaseGuard(const PhaseGuard &) = delete;
    PhaseGuard &operator=(const PhaseGuard &) = delete;

private:
    RunSequence::Phase &m_phase;
};

const QString kWindowsLineEndings = QStringLiteral("ファイルの改行が Windows 形式 (CRLF) になっています。"
                                                   "改行を LF にして保存し直してください。");

QString buttonName(RunAction button)
{
    return textsOf(button).record;
}

QString fromName(RunSequence::From from)
{
    return from == RunSequence::From::CommandLine ? QStringLiteral("the command line")
         : from == RunSequence::From::LaterStart  ? QStringLiteral("a later start")
                                                  : QStringLiteral("a press");
}

QString outcomeText(RequestOutcome outcome)
{
    switch (outcome) {
    case RequestOutcome::PowerAccepted:
        return QStringLiteral("the power request was accepted");
    case RequestOutcome::RunFinished:
        return QStringLiteral("the run finished");
    case RequestOutcome::DroppedDuringRun:
        return QStringLiteral("dropped: a run is going on");
    case RequestOutcome::DroppedSettingsOpen:
        return QStringLiteral("dropped: the settings window is open");
    case RequestOutcome::DroppedMessageOpen:
        return QStringLiteral("dropped: a message waits for an answer");
    case RequestOutcome::StoppedAtStartFailure:
        return QStringLiteral("the run stopped at a start that failed");
    case RequestOutcome::Cancelled:
        return QStringLiteral("cancelled by the user");
    case RequestOutcome::PowerRefused:
        return QStringLiteral("the power request was refused");
    default:
        return QStringLiteral("no answer");
    }
}

// "text: detail", or the text alone when there is no detail.
QString withDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

} // namespace

RunSequence::RunSequence(RunHost &host, const Services &services)
    : m_host(host)
    , m_services(services)
{
}

// Pressing a button again while a run goes on would start the slots a second
// time, next to the copy still running, or turn a run-only run into a
// shut-down: the press is dropped with a beep, and recorded.
bool RunSequence::acceptsPress(RunAction button)
{
    if (m_programEnded)
        return false;
    if (!isRunning())
        return true;
    m_services.desktop.beep();
    note(QStringLiteral("a press of ") + buttonName(button) + QStringLiteral(" during the run was dropped (")
         + phaseName() + u')');
    return false;
}

void RunSequence::ok1_Click()
{
    if (acceptsPress(RunAction::ShutDown))
        run(RunAction::ShutDown);
}

void RunSequence::reboot_Click()
{
    if (!acceptsPress(RunAction::Restart))
        return;
    runMode = 1;
    run(RunAction::Restart);
}

void RunSequence::Suspend_Click()
{
    if (!acceptsPress(RunAction::Suspend))
        return;
    runMode = 2;
    run(RunAction::Suspend);
}

void RunSequence::test_Click()
{
    if (!acceptsPress(RunAction::RunOnly))
        return;
    runOnly = 1;
    run(RunAction::RunOnly);
}

// A mouse button held down over a run's end, or a key accelerator whose press
// is animated before it clicks, would otherwise click once the run is over.
void RunSequence::press(RunAction button, PressStart started)
{
    if (!isRunning() && (started.busy || started.runs != m_runsStarted)) {
        note(QStringLiteral("a press of ") + buttonName(button)
             + QStringLiteral(" begun during a run was dropped when the run had ended"));
        return;
    }
    click(button);
}

void RunSequence::click(RunAction button)
{
    switch (button) {
    case RunAction::ShutDown:
        ok1_Click();
        break;
    case RunAction::Restart:
        reboot_Click();
        break;
    case RunAction::Suspend:
        Suspend_Click();
        break;
    case RunAction::RunOnly:
        test_Click();
        break;
    }
}

// A request that finds the program busy is dropped and answered at once,
// never kept to be carried out later: whoever asked (a timer, most likely)
// learns that the machine stays on.
void RunSequence::requestFromOutside(Request request, PressStart started, Obstacle obstacle)
{
    note(fromName(request.from) + QStringLiteral(" asked for ") + buttonName(request.button));
    if (const std::optional<RequestOutcome> dropped = whyDropped(started, obstacle)) {
        m_services.desktop.beep();
        answer(request, *dropped);
        return;
    }
    const RunAction button = request.button;
    m_nextRequest = std::move(request);
    click(button);
    if (std::optional<Request> untaken = std::exchange(m_nextRequest, std::nullopt))
        answer(*untaken, RequestOutcome::DroppedDuringRun);
}

// A request stamped during a run is dropped even when the run has ended
// since, as a press begun then would be.
std::optional<RequestOutcome> RunSequence::whyDropped(PressStart started, Obstacle obstacle) const
{
    if (isRunning() || m_programEnded || started.busy || started.runs != m_runsStarted)
        return RequestOutcome::DroppedDuringRun;
    if (obstacle == Obstacle::Message)
        return RequestOutcome::DroppedMessageOpen;
    if (obstacle == Obstacle::SettingsWindow)
        return RequestOutcome::DroppedSettingsOpen;
    return std::nullopt;
}

// The run's request learns its outcome once, the first time it is known.
void RunSequence::settle(RequestOutcome outcome)
{
    if (std::optional<Request> request = std::exchange(m_request, std::nullopt))
        answer(*request, outcome);
}

// The one place where the outcome of every run's request is known: a request
// from outside is recorded with its outcome and a later start hears it, and
// the desktop shows one that did not happen; the command line's outcome, and a
// refused power request, become the program's exit status.
void RunSequence::answer(Request &request, RequestOutcome outcome)
{
    if (request.from == From::CommandLine || outcome == RequestOutcome::PowerRefused)
        m_exitStatus = exitStatusFor(outcome);
    if (request.from != From::Press)
        note(fromName(request.from) + QStringLiteral("'s request for ") + buttonName(request.button)
                 + QStringLiteral(": ") + outcomeText(outcome),
             exitStatusFor(outcome) == 0 ? Journal::Level::Info : Journal::Level::Warning);
    if (request.from != From::Press) {
        if (const std::optional<Notice> notice = missedRunNotice(request.button, outcome))
            m_services.notifications.show(*notice);
    }
    if (const RequestAnswer reply = std::exchange(request.answer, nullptr))
        reply(outcome);
}

void RunSequence::dropRepeatedKey(RunAction button)
{
    if (isRunning())
        note(QStringLiteral("a repeated key on ") + buttonName(button) + QStringLiteral(" was dropped"));
}

bool RunSequence::allowsSettings()
{
    if (m_phase != Phase::Pause && m_phase != Phase::Power)
        return true;
    m_services.desktop.beep();
    note(QStringLiteral("a press of 設定 (settings) during the run was dropped (") + phaseName() + u')');
    return false;
}

void RunSequence::endOnUserRequest(const QString &how)
{
    if (isRunning()) {
        note(how + QStringLiteral(" during the ") + phaseName() + QStringLiteral(": the program ends")
                 + (m_phase == Phase::Power ? QString() : QStringLiteral(" without a power request")),
             Journal::Level::Warning);
        settle(RequestOutcome::Cancelled);
    }
    endProgram();
}

void RunSequence::run(RunAction button)
{
    ++m_runsStarted;
    m_request = std::exchange(m_nextRequest, std::nullopt);
    if (!m_request)
        m_request = Request{From::Press, button, nullptr};
    {
        PhaseGuard guard(m_phase, Phase::Slots);
        m_host.setStatus(QStringLiteral("設定内容を処理中"));
        m_host.SavePosition();
        note(QStringLiteral("run started by ") + buttonName(button));
        m_steps = 1 + int(std::count(RunConfig.check.begin() + 1, RunConfig.check.begin() + 6, 1));
        m_stepsDone = 0;
        runSteps();
    }
    // Every way out of the steps has settled the request; one that has not
    // would keep its caller waiting for the next run.
    m_request.reset();
    m_host.setStep(QString());
    m_services.progress.clear();
    m_host.runFinished();
}

// Each step may have handed the user a chance to end the program (a wait, a
// message); nothing follows once they did.
void RunSequence::runSteps()
{
    if (!runProgramSlots() || m_programEnded)
        return;
    m_phase = Phase::CleanUps;
    if (!runCleanUps() || m_programEnded)
        return;
    m_phase = Phase::Pause;
    pause();
    if (m_programEnded)
        return;
    m_phase = Phase::Power;
    powerAction();
}

// Returns false when the run has to stop.
bool RunSequence::runProgramSlots()
{
    for (int n = 1; n <= 5; ++n) {
        if (RunConfig.check[n] != 1)
            continue;
        currentSlot = n;
        programPath = RunConfig.kidou[n];
        showStep(QStringLiteral("№%1 を実行中").arg(n), m_stepsDone++);
        const int error = RunProgram();
        if (m_programEnded)
            return false;
        if (error != 0 && (handleError(error, n) == Next::Stop || m_programEnded)) {
            note(QStringLiteral("run stopped at slot ") + QString::number(n), Journal::Level::Warning);
            return false;
        }
    }
    return true;
}

// Starts the slot's text hidden and waits for it. Returns the error number of
// a failed start (taskId then keeps its earlier value), else 0.
int RunSequence::RunProgram()
{
    commandLine = kCommandPrefix + programPath;
    note(slotTag() + commandLine);
    m_lastHint = StartHint::None;
    if (RunConfig.kidouUnreadable[currentSlot]) {
        note(slotTag() + QStringLiteral("cannot be started (error 53): its stored text is not UTF-8"),
             Journal::Level::Warning);
        return error_number::FileNotFound;
    }
    // An interpreter given nothing to run ends at once: blanks start nothing
    // and the run goes on.
    if (programPath.trimmed().isEmpty()) {
        note(slotTag() + QStringLiteral("no program text: nothing is started"));
        return 0;
    }
    const ShellResult started = m_services.processes.runSlot(currentSlot, programPath);
    m_lastHint = started.hint;
    if (started.error != 0) {
        note(withDetail(slotTag() + QStringLiteral("cannot be started (error %1)").arg(started.error), started.detail),
             Journal::Level::Warning);
        return started.error;
    }
    taskId = qint32(started.pid);
    note(withDetail(slotTag() + QStringLiteral("started as process %1").arg(started.pid), started.detail));
    QElapsedTimer clock;
    clock.start();
    const ProcessEnd end = WaitForProcess(taskId, m_services.processes);
    recordEnd(end, clock.elapsed());
    return 0;
}

// A program's own failure is its business: it is recorded, the run goes on.
void RunSequence::recordEnd(const ProcessEnd &end, qint64 elapsedMs)
{
    QString how = QStringLiteral("ended");
    if (end.known && end.signalled)
        how += QStringLiteral(" by signal %1").arg(end.code);
    else if (end.known)
        how += QStringLiteral(" with exit status %1").arg(end.code);
    const bool clean = end.known && !end.signalled && end.code == 0;
    note(slotTag() + how + QStringLiteral(" after ") + seconds(elapsedMs),
         clean ? Journal::Level::Info : Journal::Level::Warning);
}

bool RunSequence::runCleanUps()
{
    for (int n : {kTempCleanUp, kRecentCleanUp}) {
        if (RunConfig.check[n] != 1)
            continue;
        showStep(QStringLiteral("後片付けを開始中"), m_stepsDone);
        const int error = startCleanUp(n);
        if (error != 0 && (handleError(error, n) == Next::Stop || m_programEnded))
            return false;
    }
    return true;
}

// Started hidden and not waited for; the helper reports what it removed.
int RunSequence::startCleanUp(int n)
{
    const bool temp = n == kTempCleanUp;
    commandLine = kDeltreePrefix + m_host.windowsDir()
                  + (temp ? QStringLiteral("\\temp\\*.*") : QStringLiteral("\\recent\\*.*"));
    const QString tag = QStringLiteral("clean-up %1: ").arg(n);
    note(tag + commandLine);
    const ShellResult started = temp ? m_services.processes.emptyTempFolder()
                                     : m_services.processes.clearRecentDocuments();
    m_lastHint = started.hint;
    return recordCleanUpStart(tag, started);
}

int RunSequence::recordCleanUpStart(const QString &tag, const ShellResult &started)
{
    if (started.error != 0) {
        note(tag + QStringLiteral("cannot be started (error %1)").arg(started.error), Journal::Level::Warning);
        return started.error;
    }
    taskId = qint32(started.pid);
    if (started.pid == 0)
        note(tag + started.detail, Journal::Level::Warning);
    else
        note(withDetail(tag + QStringLiteral("started as process %1").arg(started.pid), started.detail));
    return 0;
}

// A pause that does not fit 16 bits is error 6: the handler beeps and the run
// goes on with the power action. The windows take input during the pause, so
// Cancel and the close box still end the program before any power request.
void RunSequence::pause()
{
    note(QStringLiteral("pause of %1 s").arg(RunConfig.byou));
    const int error = PauseSeconds(RunConfig.byou, m_services.clock,
                                   [this](qint64 remaining) { return showPauseLeft(remaining); });
    endCountdown();
    if (error == 0)
        return;
    note(QStringLiteral("pause skipped: %1 s is outside %2..%3")
             .arg(RunConfig.byou)
             .arg(PauseRange::shortest)
             .arg(PauseRange::longest),
         Journal::Level::Warning);
    handleError(error, 0);
}

void RunSequence::powerAction()
{
    const RunAction action = actionOfRunState();
    if (action == RunAction::RunOnly) {
        runOnly = 0;
        m_host.setStatus(textsOf(action).status);
        note(QStringLiteral("run finished; run only, the machine stays on"));
        settle(RequestOutcome::RunFinished);
        return;
    }
    // A suspend says nothing: the main window goes before it.
    if (action == RunAction::Suspend)
        m_host.unloadMainWindow();
    else
        m_host.setStatus(textsOf(action).status);
    requestPower(action);
}

// runOnly first, then runMode, where anything but 1 and 2 shuts down.
RunAction RunSequence::actionOfRunState() const
{
    if (runOnly == 1)
        return RunAction::RunOnly;
    if (runMode == 1)
        return RunAction::Restart;
    if (runMode == 2)
        return RunAction::Suspend;
    return RunAction::ShutDown;
}

// Every store write has already reached the disk (the store writes through),
// so the program may end right after the request. A refusal is shown before
// the end rather than passed over as if the machine were going down.
void RunSequence::requestPower(RunAction action)
{
    note(QStringLiteral("power request ") + powerActionName(action));
    const PowerOutcome outcome = m_services.power.request(action);
    if (outcome.accepted()) {
        note(QStringLiteral("power request ") + powerActionName(action) + QStringLiteral(" accepted"));
        settle(RequestOutcome::PowerAccepted);
    } else {
        note(QStringLiteral("power request ") + powerActionName(action) + QStringLiteral(" refused: ") + outcome.reason,
             Journal::Level::Warning);
        settle(RequestOutcome::PowerRefused);
        m_services.desktop.beep();
        m_services.desktop.messageBox(textsOf(action).failure + QStringLiteral("\r\n") + powerRefusalText(outcome.refusal),
                                      Desktop::MessageWait::KeepingWindowsWorking);
    }
    endProgram();
}

// The pause's notification goes with the program; the desktop is given a
// moment to hear it, never more.
void RunSequence::endProgram()
{
    m_programEnded = true;
    endCountdown();
    m_services.notifications.settle(kNoticeSettleBound);
    m_services.desktop.endProgram(m_exitStatus);
}

// The one error handler of a run: 5 and 53 explain themselves and open the
// settings window at the slot; after 53 the run stops, after anything else it
// goes on with the next step. Any other failed start (no memory, no room for
// another process) is said too, naming the step: a slot or a clean-up must
// never be passed over unseen before the machine goes off. The pause that
// cannot be honoured (step 0) only beeps; start-up has said why. Messages
// leave the main window working, so that Cancel can still end the program.
RunSequence::Next RunSequence::handleError(int error, int step)
{
    m_services.desktop.beep();
    const auto wait = Desktop::MessageWait::KeepingWindowsWorking;
    if (error != error_number::BadArgument && error != error_number::FileNotFound) {
        if (step != 0)
            m_services.desktop.messageBox(otherFailureMessage(error, step), wait);
        return Next::GoOn;
    }
    const Next next = error == error_number::FileNotFound ? Next::Stop : Next::GoOn;
    // Whoever waits for the run hears of the stop now, not once somebody
    // has answered the message.
    if (next == Next::Stop)
        settle(RequestOutcome::StoppedAtStartFailure);
    if (step > 5) {
        // A clean-up names itself: blaming the last slot would send the user
        // to a path box that is not at fault.
        m_services.desktop.messageBox(cleanUpMessage(error, step), wait);
        m_host.openSettingsWindow();
    } else {
        m_services.desktop.messageBox(slotMessage(error), wait);
        m_host.ShowSlotSettings();
    }
    return next;
}

QString RunSequence::cleanUpMessage(int error, int step)
{
    QString text = QStringLiteral("設定画面の №%1 の後片付けを開始できませんでした。\r\n").arg(step);
    if (error == error_number::FileNotFound)
        return text + QStringLiteral("後片付けの補助プログラム quenby-clean が見つかりません。"
                                     "Quenby をインストールし直してください。");
    return text + QStringLiteral("後片付けの補助プログラム quenby-clean を実行できません。"
                                 "Quenby をインストールし直してください。");
}

QString RunSequence::otherFailureMessage(int error, int step)
{
    const QString what = step <= 5 ? QStringLiteral("設定画面の №%1 のプログラム").arg(step)
                                   : QStringLiteral("設定画面の №%1 の後片付け").arg(step);
    return what + QStringLiteral("を起動できませんでした (エラー %1)。\r\n").arg(error)
        + QStringLiteral("処理はこのまま続きます。中止するときは Cancel を押してください。");
}

QString RunSequence::slotMessage(int error) const
{
    QString text = QStringLiteral("設定画面の №") + QString::number(currentSlot) + QStringLiteral(" の欄を確認\r\n");
    if (error == error_number::FileNotFound)
        text += QStringLiteral("ディレクトリ 又は、ファイル名が違うか ファイルが存在しません。\r\n");
    text += QStringLiteral("実行させたいファイルのフルパスを確認してください。");
    if (m_lastHint == StartHint::WindowsLineEndings)
        text += QStringLiteral("\r\n") + kWindowsLineEndings;
    return text;
}

void RunSequence::note(const QString &line, Journal::Level level)
{
    m_services.journal.record(line, level);
}

void RunSequence::showStep(const QString &text, double stepsDone, int count)
{
    m_host.setStep(text);
    m_services.progress.show(stepsDone / m_steps, count);
}

// The pause counts down in whole seconds. It ends within the last second it
// shows, so that second reads 1, not 0.
bool RunSequence::showPauseLeft(qint64 remaining)
{
    if (m_programEnded)
        return false;
    const qint64 length = qint64(RunConfig.byou) + 1;
    const int shown = int(qMax<qint64>(remaining - 1, 1));
    const QString word = textsOf(actionOfRunState()).countdown;
    showStep(QStringLiteral("あと %1 秒で").arg(shown) + word, m_stepsDone + double(length - remaining) / length, shown);
    m_host.setCountdown(QStringLiteral("あと %1 秒で\n%2します").arg(shown).arg(word));
    if (m_countdownNotice == 0 && actionOfRunState() != RunAction::RunOnly && RunConfig.byou > 0)
        announceCountdown(remaining);
    return true;
}

// Said once, with the time of day the action comes at: the text never goes
// stale, and the desktop does not pop it up anew every second. It offers the
// way out that Cancel is.
void RunSequence::announceCountdown(qint64 remaining)
{
    const QString action = textsOf(actionOfRunState()).machine;
    const QString when = QDateTime::fromSecsSinceEpoch(m_services.clock.nowSeconds() + remaining)
                             .toString(QStringLiteral("H:mm:ss"));
    Notice notice;
    notice.summary = QStringLiteral("%1 にコンピュータを%2します").arg(when, action);
    notice.body = QStringLiteral("Quenby の待ち時間が終わると、コンピュータを%1します。"
                                 "やめるときは「取り消す」を押してください。")
                      .arg(action);
    notice.actionLabel = QStringLiteral("取り消す");
    notice.onAction = [this] { cancelFromNotice(); };
    notice.urgent = true;
    // Should the program die, the notice goes by itself where the desktop allows.
    notice.expiresAfter = std::chrono::seconds(remaining + 5);
    m_countdownNotice = m_services.notifications.show(std::move(notice));
}

// Exactly what Cancel does, while the notice stands for the pause: an answer
// that comes once the pause is over finds nothing to cancel.
void RunSequence::cancelFromNotice()
{
    if (m_countdownNotice == 0)
        return;
    note(QStringLiteral("取り消す (cancel) chosen on the desktop notification"));
    m_host.Cancel1_Click();
}

void RunSequence::endCountdown()
{
    m_host.setCountdown(QString());
    if (m_countdownNotice != 0)
        m_services.notifications.withdraw(std::exchange(m_countdownNotice, 0));
}

QString RunSequence::phaseName() const
{
    switch (m_phase) {
    case Phase::Slots:
        return QStringLiteral("slots");
    case Phase::CleanUps:
        return QStringLiteral("clean-ups");
    case Phase::Pause:
        return QStringLiteral("pause");
    case Phase::Power:
        return QStringLiteral("power request");
    case Phase::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QString RunSequence::slotTag() const
{
    return QStringLiteral("slot %1: ").arg(currentSlot);
}

} // namespace quenby
