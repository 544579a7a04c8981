#include "run/run_sequence.h"

#include "run/pause.h"
#include "run/run_host.h"
#include "run/wait_for_process.h"
#include "settings/run_config.h"

namespace quenby {

namespace {

const QString kCommandPrefix = QStringLiteral("command.com /c ");
const QString kDeltreePrefix = QStringLiteral("command.com /c deltree /Y ");


constexpr int kTempCleanUp = 6;
constexpr int kRecentCleanUp = 7;

// Counts the runs under way, nested ones included, for as long as one lives.
class DepthGuard
{
public:
    explicit DepthGuard(int &depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &m_depth;
};

} // namespace

RunSequence::RunSequence(RunHost &host, const Services &services)
    : m_host(host)
    , m_services(services)
{
}

// From the start of the pause to the end of the program no run may start:
// user input waits anyway, but a button's delayed click (a keyboard
// accelerator animates the press first) arrives through a timer.
bool RunSequence::acceptsClick() const
{
    return !m_exclusive && !m_programEnded;
}

void RunSequence::ok1_Click()
{
    if (!acceptsClick())
        return;
    {
        DepthGuard depth(m_depth);
        m_host.setStatus(QStringLiteral("設定内容を処理中"));
        m_host.SavePosition();
        runSteps();
    }
    if (m_depth == 0) {
        m_exclusive = false;
        m_host.runFinished();
    }
}

void RunSequence::reboot_Click()
{
    if (!acceptsClick())
        return;
    runMode = 1;
    ok1_Click();
}

void RunSequence::Suspend_Click()
{
    if (!acceptsClick())
        return;
    runMode = 2;
    ok1_Click();
}

void RunSequence::test_Click()
{
    if (!acceptsClick())
        return;
    runOnly = 1;
    ok1_Click();
}

// A nested run that ended the program leaves nothing for this one to do.
void RunSequence::runSteps()
{
    if (!runProgramSlots() || m_programEnded)
        return;
    if (!runCleanUps() || m_programEnded)
        return;
    m_exclusive = true;
    pause();
    powerAction();
    m_exclusive = false;
}

// Returns false when the run has to stop.
bool RunSequence::runProgramSlots()
{
    for (int n = 1; n <= 5; ++n) {
        if (RunConfig.check[n] != 1)
            continue;
        currentSlot = n;
        programPath = RunConfig.kidou[n];
        const int error = RunProgram();
        if (m_programEnded || (error != 0 && handleError(error) == Next::Stop))
            return false;
    }
    return true;
}

// Starts the slot's command hidden and waits for it. Returns the error number
// of a failed start (taskId then keeps its earlier value), else 0.
int RunSequence::RunProgram()
{
    commandLine = kCommandPrefix + programPath;
    const ShellResult started = m_services.processes.shell(commandLine);
    if (started.error != 0)
        return started.error;
    taskId = qint32(started.pid);
    WaitForProcess(taskId, m_services.processes);
    return 0;
}

bool RunSequence::runCleanUps()
{
    if (RunConfig.check[kTempCleanUp] == 1) {
        const int error = startCleanUp(QStringLiteral("\\temp\\*.*"));
        if (error != 0 && handleError(error) == Next::Stop)
            return false;
    }
    if (RunConfig.check[kRecentCleanUp] == 1) {
        const int error = startCleanUp(QStringLiteral("\\recent\\*.*"));
        if (error != 0 && handleError(error) == Next::Stop)
            return false;
    }
    return true;
}

// Started hidden and not waited for.
int RunSequence::startCleanUp(const QString &folderSuffix)
{
    commandLine = kDeltreePrefix + m_host.windowsDir() + folderSuffix;
    const ShellResult started = m_services.processes.shell(commandLine);
    if (started.error != 0)
        return started.error;
    taskId = qint32(started.pid);
    return 0;
}

// A pause that does not fit 16 bits is error 6: the handler beeps and the run
// goes on with the power action.
void RunSequence::pause()
{
    const int error = PauseSeconds(RunConfig.byou, m_services.clock);
    if (error != 0)
        handleError(error);
}

void RunSequence::powerAction()
{
    if (runOnly == 1) {
        runOnly = 0;
        m_host.setStatus(QStringLiteral("設定された処理は終了しました"));
        return;
    }
    if (runMode == 1) {
        m_host.setStatus(QStringLiteral("Windowsを再起動します"));
        requestPower(PowerAction::Reboot, QStringLiteral("再起動できませんでした。"));
    } else if (runMode == 2) {
        m_host.unloadMainWindow();
        requestPower(PowerAction::Suspend, QStringLiteral("サスペンドできませんでした。"));
    } else {
        m_host.setStatus(QStringLiteral("Windowsを終了します"));
        requestPower(PowerAction::PowerOff, QStringLiteral("コンピュータをシャットダウンできませんでした。"));
    }
}

// Every store write has already reached the disk (the store writes through),
// so the program may end right after the request. A refusal is shown before
// the end rather than passed over as if the machine were going down.
void RunSequence::requestPower(PowerAction action, const QString &failureText)
{
    const QString refusal = m_services.power.request(action);
    if (!refusal.isEmpty()) {
        m_services.desktop.beep();
        m_services.desktop.messageBox(failureText + QStringLiteral("\r\n") + refusal);
    }
    endProgram();
}

void RunSequence::endProgram()
{
    m_programEnded = true;
    m_services.desktop.endProgram();
}

// The one error handler of a run: 5 and 53 explain themselves and open the
// settings window at the slot; after 53 the run stops, after anything else it
// goes on with the next step.
RunSequence::Next RunSequence::handleError(int error)
{
    m_services.desktop.beep();
    if (error != error_number::BadArgument && error != error_number::FileNotFound)
        return Next::GoOn;
    m_services.desktop.messageBox(slotMessage(error));
    m_host.ShowSlotSettings();
    return error == error_number::FileNotFound ? Next::Stop : Next::GoOn;
}

QString RunSequence::slotMessage(int error) const
{
    QString text = QStringLiteral("設定画面の №") + QString::number(currentSlot) + QStringLiteral(" の欄を確認\r\n");
    if (error == error_number::FileNotFound)
        text += QStringLiteral("ディレクトリ 又は、ファイル名が違うか ファイルが存在しません。\r\n");
    return text + QStringLiteral("実行させたいファイルのフルパスを確認してください。");
}

} // namespace quenby
