#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include "run/run_sequence.h"

class QKeyEvent;
class QPushButton;

namespace quenby {

// Sees every press of the action buttons begin, so that the run can judge a
// click by when its press began, and keeps a held key from pressing them or
// answering a message: a key's auto-repeat (Enter, Space, or Alt with the
// button's letter) is eaten.
// A key held down while the settings window closed reaches the main window
// only as repeats, so it never presses 終了 there either.
class PressGate : public QObject
{
    Q_OBJECT

public:
    PressGate(RunSequence &run, QObject *parent = nullptr);
    ~PressGate() override;

    // Watches the action buttons of a newly loaded main window.
    void watch(QPushButton *button, RunSequence::Button which);
    // Alt with the quit button's letter quits at once, not after the press
    // has been shown: the pause may end in that moment.
    void watchQuit(QPushButton *button);
    // When the press that clicks `button` now began; the click itself when no
    // press was seen (a click from code).
    RunSequence::PressStart takeStart(QPushButton *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool onKey(QObject *watched, QEvent *event);
    bool repeats(const QKeyEvent *key) const;
    bool onShortcut(QObject *watched);
    bool keyPressBegins(QObject *watched);
    void dropRepeat(QObject *watched);

    RunSequence &m_run;
    QHash<QObject *, RunSequence::Button> m_buttons;
    QHash<QObject *, RunSequence::PressStart> m_starts;
    QPointer<QPushButton> m_quit;
    // Whether the key behind the shortcut now being delivered is a repeat.
    bool m_keyRepeats = false;
    // The last key let go, and when: a repeat comes as a release and a press
    // at one moment.
    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
    bool m_repeatNoted = false;
};

} // namespace quenby
