#include "main_window/form1.h"

#include "main_window/command_line.h"
#include "main_window/main_window_names.h"
#include "main_window/main_window_view.h"
#include "settings/form2.h"
#include "settings/run_config.h"
#include "window_common/faces.h"
#include "window_common/store_messages.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace quenby {

Form1::Form1(const Services &services, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_run(*this, services)
    , m_gate(m_run)
    , m_place(services.store, QStringLiteral("Form1Top"), QStringLiteral("Form1Left"))
{
    // Messages speak in the windows' face: the desktop's first Japanese face
    // may be a fixed-width one.
    QApplication::setFont(captionFont(), "QMessageBox");
    // The main window lives as long as the program: it speaks for the store,
    // whichever window's action ran into the problem.
    m_services.store.whenProblem([this](const StoreProblem &problem) {
        m_toldAtLoad = m_toldAtLoad || m_loading;
        tellStoreProblem(m_services.desktop, problem);
    });
}

Form1::~Form1()
{
    delete m_window;
    delete m_settings;
    for (MainWindowView *w : std::as_const(m_unloadedDuringRun))
        delete w;
}

Form2 *Form1::settingsWindow() const
{
    return m_settings;
}

void Form1::Form_Load()
{
    if (isLoaded())
        return;
    if (const std::optional<RequestOutcome> handed = m_services.desktop.handToRunningCopy(m_startRequest)) {
        endAfterHandOver(m_services, m_startRequest, *handed);
        return;
    }
    listenForLaterStarts();
    m_loading = true;
    m_toldAtLoad = false;
    resetRunMode();
    createWindow();
    m_place.restore(*m_window);
    m_window->show();
    tellUnusablePause(loadRunConfig(m_services.store));
    m_window->ok1->setFocus();
    writeVersion();
    readWindowsDir();
    m_loading = false;
    // A message at start-up (a pause the run cannot honour, a value that
    // cannot be read) was shown before this start's own run could begin: the
    // run is dropped like one asked for while the message was open, not
    // carried out once somebody answered it.
    const auto obstacle = m_toldAtLoad ? RunSequence::Obstacle::Message : RunSequence::Obstacle::None;
    if (const std::optional<RunAction> request = std::exchange(m_startRequest, std::nullopt))
        QTimer::singleShot(0, this, [this, request, obstacle, started = m_run.pressBegins()] {
            onStartRequest(request, started, RunSequence::From::CommandLine, obstacle, nullptr);
        });
}

void Form1::listenForLaterStarts()
{
    if (m_listening)
        return;
    m_listening = true;
    m_services.desktop.whenStartedAgain(
        [this](std::optional<RunAction> request, RequestAnswer answer) { takeLaterStart(request, std::move(answer)); });
}

// Requests that arrive together are all stamped as they arrive, before the
// first of them can start a run: the others then arrive during that run and
// are dropped, never carried out after it. A message open on arrival is
// noted then too.
void Form1::takeLaterStart(std::optional<RunAction> request, RequestAnswer answer)
{
    const auto obstacle = messageOpen() ? RunSequence::Obstacle::Message : RunSequence::Obstacle::None;
    QTimer::singleShot(0, this, [this, request, obstacle, answer = std::move(answer), started = m_run.pressBegins()] {
        onStartRequest(request, started, RunSequence::From::LaterStart, obstacle, answer);
    });
}

// Events run during a load only while one of its messages is open; outside a
// run, a message box waiting for its answer is the one that is modal.
bool Form1::messageOpen() const
{
    return m_loading || qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
}

// A run asked for on a command line (a timer of the desktop, say) enters
// where a press of its button enters, so the same rule judges it: during a
// run it is dropped. With the settings window open there is no button to
// press, and with a message open nobody has read it: the request is dropped
// too. Either way the run answers it.
void Form1::onStartRequest(std::optional<RunAction> request, RunSequence::PressStart started, RunSequence::From from,
                           RunSequence::Obstacle obstacle, RequestAnswer answer)
{
    bringCurrentWindowForward();
    if (!request) {
        if (answer)
            answer(RequestOutcome::Shown);
        return;
    }
    if (!m_window && obstacle == RunSequence::Obstacle::None)
        obstacle = RunSequence::Obstacle::SettingsWindow;
    m_run.requestFromOutside({from, *request, std::move(answer)}, started, obstacle);
}

// A later start of the program asks for this copy's window: the message or
// dialog that waits for an answer, else the settings window while it is open,
// else the main window. Between two windows there is nothing to show.
void Form1::bringCurrentWindowForward()
{
    QWidget *current = QApplication::activeModalWidget();
    if (!current)
        current = m_settings && m_settings->isVisible() ? static_cast<QWidget *>(m_settings) : m_window.data();
    if (!current)
        return;
    current->setWindowState(current->windowState() & ~Qt::WindowMinimized);
    current->show();
    current->raise();
    current->activateWindow();
}

// Every load starts with a shut-down run mode. A load while a run is still
// waiting for a program (the settings window closed meanwhile) leaves that
// run's mode alone: a run-only run must not end in a shut-down because the
// settings were looked at.
void Form1::resetRunMode()
{
    if (m_run.isRunning())
        return;
    m_run.runMode = 0;
    m_run.runOnly = 0;
}

void Form1::createWindow()
{
    m_window = new MainWindowView;
    nameMainWindowControls(*m_window);
    connectButtons();
}

void Form1::connectButtons()
{
    MainWindowView *w = m_window;
    connectRunButton(w->ok1, RunAction::ShutDown);
    connectRunButton(w->reboot, RunAction::Restart);
    connectRunButton(w->Suspend, RunAction::Suspend);
    connectRunButton(w->test, RunAction::RunOnly);
    m_gate.watchQuit(w->Cancel1);
    connect(w->setting, &QPushButton::clicked, this, &Form1::setting_Click);
    connect(w->Cancel1, &QPushButton::clicked, this, &Form1::Cancel1_Click);
    connect(w, &MainWindowView::frameClosed, this, &Form1::onFrameClosed);
}

// The run judges each click by when its press began. A window already closed
// (its press still held when it went) presses nothing.
void Form1::connectRunButton(QPushButton *button, RunAction which)
{
    m_gate.watch(button, which);
    connect(button, &QPushButton::clicked, this, [this, button, which] {
        const RunSequence::PressStart started = m_gate.takeStart(button);
        if (button->window() == m_window)
            m_run.press(which, started);
    });
}

// A pause the run cannot honour (only a hand-edited file holds one) is said at
// start-up, once per value, like any other stored value that cannot be used:
// the run would skip the pause with nothing but a beep, or pause for no time
// at all where the text is no number (a typo, full-width digits).
void Form1::tellUnusablePause(const std::optional<QString> &pause)
{
    if (!pause || m_pauseTold == pause) {
        m_pauseTold = pause;
        return;
    }
    m_pauseTold = pause;
    m_toldAtLoad = true;
    m_services.desktop.beep();
    m_services.desktop.messageBox(
        QStringLiteral("設定ファイルの byou の値 %1 は %2 から %3 までの整数ではないため、"
                       "実行時の待ち時間は使われません。\r\n設定画面で待ち時間を入力し直してください。")
            .arg(pause->trimmed())
            .arg(PauseRange::shortest)
            .arg(PauseRange::longest));
}

void Form1::writeVersion()
{
    const AppVersion v = m_services.desktop.version();
    m_window->setVersionText(QStringLiteral("Ver %1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision));
}

void Form1::readWindowsDir()
{
    m_windowsDir = m_services.desktop.windowsDirectory();
}

void Form1::SavePosition()
{
    if (m_window)
        m_place.save(*m_window);
}

void Form1::Form_Unload()
{
    SavePosition();
}

void Form1::unloadMainWindow()
{
    if (!m_window)
        return;
    Form_Unload();
    releaseWindow();
}


// Closing the window is asking the program to end: during a run too, and
// then at once, so that no power request follows.
void Form1::onFrameClosed()
{
    Form_Unload();
    releaseWindow();
    if (m_run.isRunning())
        m_run.endOnUserRequest(QStringLiteral("window closed"));
    endIfNoWindowLeft();
}

// The button whose click started a run stays on the stack until the run
// returns, and a wait's event loop would delete a window at once: windows
// unloaded during a run are deleted when the run is over.
void Form1::releaseWindow()
{
    MainWindowView *w = m_window;
    m_window = nullptr;
    w->hide();
    if (m_run.isRunning())
        m_unloadedDuringRun.append(w);
    else
        w->deleteLater();
}

void Form1::deleteUnloadedWindows()
{
    for (MainWindowView *w : std::as_const(m_unloadedDuringRun)) {
        if (w)
            w->deleteLater();
    }
    m_unloadedDuringRun.clear();
}

void Form1::endIfNoWindowLeft()
{
    if (!m_window && !m_settings && !m_run.isRunning())
        emit lastWindowClosed();
}

void Form1::runFinished()
{
    deleteUnloadedWindows();
    endIfNoWindowLeft();
}

// Quitting ends the program at once, in the middle of a run too; the end does
// not pass through Form_Unload, so the position is written once.
void Form1::Cancel1_Click()
{
    SavePosition();
    m_run.endOnUserRequest(QStringLiteral("cancelled"));
}

void Form1::setting_Click()
{
    if (m_run.allowsSettings())
        showSettingsWindow();
}

Form2 *Form1::showSettingsWindow()
{
    // A closed settings window lingers, hidden, until the event loop deletes it;
    // a press in the meantime opens a new one.
    if (!m_settings || !m_settings->isVisible())
        m_settings = new Form2(*this, m_services);
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
    return m_settings;
}

void Form1::ShowSlotSettings()
{
    Form2 *settings = showSettingsWindow();
    if (m_run.currentSlot >= 1 && m_run.currentSlot <= 5)
        settings->focusPathBox(m_run.currentSlot);
}

void Form1::setStep(const QString &text)
{
    if (!m_window)
        return;
    m_window->Label1->setToolTip(text);
    m_window->Label1->setAccessibleDescription(text);
}

void Form1::setCountdown(const QString &text)
{
    if (m_window)
        m_window->showCountdown(text);
}

void Form1::setStatus(const QString &text)
{
    if (!m_window)
        return;
    showStatus(m_window->Label1, text);
    m_window->Label1->repaint();
}

} // namespace quenby
