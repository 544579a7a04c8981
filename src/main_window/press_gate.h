#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include "run/run_sequence.h"
#include "window_common/held_keys.h"

class QPushButton;

namespace quenby {

// Sees every press of the action buttons begin, so that the run can judge a
// click by when its press began, and keeps a held key from pressing anything
// in any window of the program (see HeldKeys): it lives as long as the
// program and filters all of its events. A held key's repeats on an action
// button during a run are noted in the run's record.
class PressGate : public QObject
{
    Q_OBJECT

public:
    PressGate(RunSequence &run, QObject *parent = nullptr);
    ~PressGate() override;

    // Watches the action buttons of a newly loaded main window.
    void watch(QPushButton *button, RunAction which);
    // Alt with the quit button's letter quits at once, not after the press
    // has been shown: the pause may end in that moment.
    void watchQuit(QPushButton *button);
    // When the press that clicks `button` now began; the click itself when no
    // press was seen (a click from code).
    RunSequence::PressStart takeStart(QPushButton *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool onShortcut(QObject *watched);
    void pressBegins(QObject *watched);
    void dropRepeat(QObject *watched);

    RunSequence &m_run;
    HeldKeys m_heldKeys;
    QHash<QObject *, RunAction> m_buttons;
    QHash<QObject *, RunSequence::PressStart> m_starts;
    QPointer<QPushButton> m_quit;
    bool m_repeatNoted = false;
};

} // namespace quenby
