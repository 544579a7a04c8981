#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <optional>

namespace quenby {

// One screen as a window sees it: its whole area, and the part that panels
// and docks leave free.
struct ScreenArea
{
    QRect full;
    QRect work;
};

// Every screen of the desktop, the primary one first.
QList<ScreenArea> screenAreas();

// Where a window whose frame would stand at `window` goes. It stays where it
// was put while a patch of it big enough to grab shows on some screen, however
// much of it hangs over an edge; a window that shows nowhere (a monitor that
// has been unplugged, a hand-edited position) goes to the top-left corner of
// the nearest screen's free area. With no screen at all nothing moves.
QPoint findablePlace(const QRect &window, const QList<ScreenArea> &screens);

// The same, and then the window moves the least that brings `row` (a part of
// it, in the window's own coordinates, such as its button row) wholly into a
// screen's free area. The title bar stays on that screen too where the window
// is short enough for both.
QPoint findablePlace(const QRect &window, const QRect &row, const QList<ScreenArea> &screens);

// A window's stored position, in twips, and where it was actually put. While a
// window that had to be moved on screen stays where it was moved to, saving it
// writes back the stored position: the store keeps what the user chose, and
// the window returns there when that place can be seen again.
class StoredPlace
{
public:
    StoredPlace() = default;
    StoredPlace(float topTwips, float leftTwips, QPoint stored, QPoint shownAt);

    float topToSave(QPoint now) const;
    float leftToSave(QPoint now) const;

private:
    bool keepsStored(QPoint now) const { return m_movedTo && *m_movedTo == now; }

    float m_top = 0;
    float m_left = 0;
    std::optional<QPoint> m_movedTo;
};

} // namespace quenby
