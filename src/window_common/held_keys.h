#pragma once

#include <QtGlobal>

class QEvent;
class QKeyEvent;
class QObject;

namespace quenby {

// Enter, Return, Space and Select press the push button that has the focus.
bool pressesFocusedButton(int key);

// Tells a key held down from a key pressed, for every window of the program:
// a held key's repeats never press a button, toggle a check box, answer a
// message or reach a window's own Enter and Esc. A key held on 設定 opens the
// settings window with its first press; its repeats must not press OK there.
//
// It judges the events an application-wide filter sees: the shortcut of a
// button comes as an event of its own, after the key event that carries the
// repeat flag has been offered to the focus widget, so only such a filter
// sees both.
class HeldKeys
{
public:
    // Reads an event on its way to `watched`. True when it is a held key's
    // repeat that would press something: the filter eats it.
    bool eats(QObject *watched, QEvent *event);
    // Whether the key now being delivered, and the shortcut it makes, repeats
    // a key held down.
    bool keyRepeats() const { return m_keyRepeats; }

private:
    bool repeats(const QKeyEvent *key) const;

    bool m_keyRepeats = false;
    // The last key let go, and when: a repeat comes as a release and a press
    // at one moment.
    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
};

} // namespace quenby
