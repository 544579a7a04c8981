#pragma once

#include <QString>

namespace quenby {

// What the run needs from the main window it was started from. The main
// window may be unloaded while a run goes on; these calls then do what an
// unloaded window can (a status text goes nowhere).
class RunHost
{
public:
    virtual ~RunHost() = default;

    virtual void setStatus(const QString &text) = 0; // Label1
    // The step under way, beside the status line's own text (its tooltip and
    // what a screen reader says of it); empty once the run is over.
    virtual void setStep(const QString &text) = 0;
    // The pause's seconds left, shown in the window itself; empty once the
    // pause is over.
    virtual void setCountdown(const QString &text) = 0;
    virtual void SavePosition() = 0;
    virtual void unloadMainWindow() = 0;              // runs Form_Unload when loaded
    virtual void ShowSlotSettings() = 0;              // settings window at currentSlot
    virtual void openSettingsWindow() = 0;            // the same, the focus left alone
    virtual QString windowsDir() const = 0;
    virtual void runFinished() = 0;                   // the outermost run has returned
    virtual void Cancel1_Click() = 0;                 // the quit button's own action
};

} // namespace quenby
