#include "main_window/press_gate.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace quenby {

namespace {

// A message box answered by a key's repeats would go unread: the key was
// held down before the message came up.
bool answersAMessage(QObject *watched)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    return widget && qobject_cast<QMessageBox *>(widget->window());
}

bool pressesButton(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
    case Qt::Key_Space:
    case Qt::Key_Select:
        return true;
    default:
        return false;
    }
}

} // namespace

// The shortcut of a button comes as an event of its own, after the key event
// that carries the repeat flag has been offered to the focus widget: only a
// filter on the whole application sees both.
PressGate::PressGate(RunSequence &run, QObject *parent)
    : QObject(parent)
    , m_run(run)
{
    QCoreApplication::instance()->installEventFilter(this);
}

PressGate::~PressGate()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void PressGate::watch(QPushButton *button, RunSequence::Button which)
{
    m_buttons.insert(button, which);
    connect(button, &QObject::destroyed, this, [this, button] {
        m_buttons.remove(button);
        m_starts.remove(button);
    });
}

void PressGate::watchQuit(QPushButton *button)
{
    m_quit = button;
}

RunSequence::PressStart PressGate::takeStart(QPushButton *button)
{
    const auto found = m_starts.constFind(button);
    const RunSequence::PressStart start = found == m_starts.cend() ? m_run.pressBegins() : *found;
    m_starts.remove(button);
    return start;
}

bool PressGate::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        return onKey(watched, event);
    case QEvent::KeyRelease:
        m_releasedKey = static_cast<QKeyEvent *>(event)->key();
        m_releasedAt = static_cast<QKeyEvent *>(event)->timestamp();
        return false;
    case QEvent::Shortcut:
        return onShortcut(watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (m_buttons.contains(watched))
            m_starts.insert(watched, m_run.pressBegins());
        return false;
    default:
        return false;
    }
}

bool PressGate::onKey(QObject *watched, QEvent *event)
{
    const auto *key = static_cast<QKeyEvent *>(event);
    m_keyRepeats = repeats(key);
    if (!m_keyRepeats)
        m_repeatNoted = false;
    if (event->type() == QEvent::KeyPress && m_keyRepeats && pressesButton(key) && answersAMessage(watched))
        return true;
    if (event->type() != QEvent::KeyPress || !m_buttons.contains(watched) || !pressesButton(key))
        return false;
    return keyPressBegins(watched);
}

// A key's press of a watched button: noted as it begins, eaten when it is a
// held key's repeat.
bool PressGate::keyPressBegins(QObject *watched)
{
    if (m_keyRepeats) {
        dropRepeat(watched);
        return true;
    }
    m_starts.insert(watched, m_run.pressBegins());
    return false;
}

// The display marks a held key's repeats, but the mark can be missed when a
// window has just taken the focus: a release and a press of the same key at
// one moment are a repeat too, as no hand is that quick.
bool PressGate::repeats(const QKeyEvent *key) const
{
    if (key->isAutoRepeat())
        return true;
    return m_releasedAt != 0 && key->key() == m_releasedKey && key->timestamp() >= m_releasedAt
           && key->timestamp() - m_releasedAt <= 2;
}

bool PressGate::onShortcut(QObject *watched)
{
    if (m_quit && watched == m_quit) {
        m_quit->click();
        return true;
    }
    return m_buttons.contains(watched) && keyPressBegins(watched);
}

// One line in the record for one held key, however often it repeats.
void PressGate::dropRepeat(QObject *watched)
{
    if (m_repeatNoted)
        return;
    m_repeatNoted = true;
    m_run.dropRepeatedKey(m_buttons.value(watched));
}

} // namespace quenby
