#include "main_window/press_gate.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace quenby {

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

void PressGate::watch(QPushButton *button, RunAction which)
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
    if (m_heldKeys.eats(watched, event)) {
        if (m_buttons.contains(watched))
            dropRepeat(watched);
        return true;
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        m_repeatNoted = m_repeatNoted && m_heldKeys.keyRepeats();
        return false;
    case QEvent::KeyPress:
        m_repeatNoted = m_repeatNoted && m_heldKeys.keyRepeats();
        if (m_buttons.contains(watched) && pressesFocusedButton(static_cast<QKeyEvent *>(event)->key()))
            pressBegins(watched);
        return false;
    case QEvent::Shortcut:
        return onShortcut(watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (m_buttons.contains(watched))
            pressBegins(watched);
        return false;
    default:
        return false;
    }
}

bool PressGate::onShortcut(QObject *watched)
{
    if (m_quit && watched == m_quit) {
        m_quit->click();
        return true;
    }
    if (m_buttons.contains(watched))
        pressBegins(watched);
    return false;
}

void PressGate::pressBegins(QObject *watched)
{
    m_starts.insert(watched, m_run.pressBegins());
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
