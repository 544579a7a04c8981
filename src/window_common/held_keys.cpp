#include "window_common/held_keys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMessageBox>

namespace quenby {

namespace {

bool isButton(QObject *watched)
{
    return qobject_cast<QAbstractButton *>(watched) != nullptr;
}

bool inAMessage(QObject *watched)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    return widget && qobject_cast<QMessageBox *>(widget->window());
}

// Enter and Esc press whatever has the focus, or the window's own OK, apply
// or Cancel; Space presses or toggles a focused button or check box (in a
// text box it is a blank like any other).
bool wouldPress(QObject *watched, const QKeyEvent *key)
{
    if (key->key() == Qt::Key_Space)
        return isButton(watched) || inAMessage(watched);
    return key->key() == Qt::Key_Escape || pressesFocusedButton(key->key());
}

} // namespace

bool pressesFocusedButton(int key)
{
    switch (key) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
    case Qt::Key_Space:
    case Qt::Key_Select:
        return true;
    default:
        return false;
    }
}

bool HeldKeys::eats(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        m_keyRepeats = repeats(key);
        return event->type() == QEvent::KeyPress && m_keyRepeats && wouldPress(watched, key);
    }
    case QEvent::KeyRelease:
        m_releasedKey = static_cast<QKeyEvent *>(event)->key();
        m_releasedAt = static_cast<QKeyEvent *>(event)->timestamp();
        return false;
    case QEvent::Shortcut:
        return m_keyRepeats && isButton(watched);
    default:
        return false;
    }
}

// The display marks a held key's repeats, but the mark can be missed when a
// window has just taken the focus: a release and a press of the same key at
// one moment are a repeat too, as no hand is that quick.
bool HeldKeys::repeats(const QKeyEvent *key) const
{
    if (key->isAutoRepeat())
        return true;
    return m_releasedAt != 0 && key->key() == m_releasedKey && key->timestamp() >= m_releasedAt
           && key->timestamp() - m_releasedAt <= 2;
}

} // namespace quenby
