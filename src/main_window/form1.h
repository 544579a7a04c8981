#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "main_window/main_window_view.h"
#include "main_window/press_gate.h"
#include "platform/interfaces/services.h"
#include "run/run_host.h"
#include "run/run_sequence.h"
#include "settings/window_place.h"
#include "window_common/hand_over.h"

namespace quenby {

class Form2;

// The main window object. It lives for the whole program; its on-screen window
// is made anew by every load and destroyed by every unload, while the run
// state and windowsDir stay with this object.
class Form1 : public QObject, public RunHost, public WindowHandOver
{
    Q_OBJECT

public:
    explicit Form1(const Services &services, QObject *parent = nullptr);
    ~Form1() override;

    void Form_Load();
    // What this start of the program was asked for on its command line; set
    // before the first load. A run starts once the window has come up.
    void setStartRequest(std::optional<RunAction> request) { m_startRequest = request; }
    bool isLoaded() const { return m_window != nullptr; }

    MainWindowView *window() const { return m_window; }
    Form2 *settingsWindow() const;
    RunSequence &run() { return m_run; }

    void Cancel1_Click() override;
    void setting_Click();

    // RunHost
    void setStatus(const QString &text) override;
    void setStep(const QString &text) override;
    void setCountdown(const QString &text) override;
    void SavePosition() override;
    // Unloads the window from code (the settings window opening, a suspend):
    // Form_Unload runs, then the on-screen window goes.
    void unloadMainWindow() override;
    void ShowSlotSettings() override;
    void openSettingsWindow() override { showSettingsWindow(); }
    QString windowsDir() const override { return m_windowsDir; }
    void runFinished() override;

    // WindowHandOver
    void settingsWindowOpening() override { unloadMainWindow(); }
    void settingsWindowClosed() override { Form_Load(); }

signals:
    // No window is left and no run is under way: the program should end.
    void lastWindowClosed();

private:
    void Form_Unload();
    void resetRunMode();
    void createWindow();
    void writeVersion();
    void tellUnusablePause(const std::optional<QString> &pause);
    void readWindowsDir();
    void connectButtons();
    void connectRunButton(QPushButton *button, RunAction which);
    void listenForLaterStarts();
    void bringCurrentWindowForward();
    void takeLaterStart(std::optional<RunAction> request, RequestAnswer answer);
    void onStartRequest(std::optional<RunAction> request, RunSequence::PressStart started, RunSequence::From from,
                        RunSequence::Obstacle obstacle, RequestAnswer answer);
    bool messageOpen() const;
    void onFrameClosed();
    void releaseWindow();
    void deleteUnloadedWindows();
    void endIfNoWindowLeft();
    Form2 *showSettingsWindow();

    Services m_services;
    RunSequence m_run;
    PressGate m_gate;
    QString m_windowsDir;
    WindowPlace m_place;
    bool m_listening = false;
    // Form_Load is under way, and whether it has shown a message: the only
    // way events run before it returns.
    bool m_loading = false;
    bool m_toldAtLoad = false;
    std::optional<RunAction> m_startRequest = std::nullopt;
    std::optional<QString> m_pauseTold;
    QPointer<MainWindowView> m_window;
    QPointer<Form2> m_settings;
    QList<QPointer<MainWindowView>> m_unloadedDuringRun;
};

} // namespace quenby
