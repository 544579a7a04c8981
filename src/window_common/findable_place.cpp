#include "window_common/findable_place.h"

#include "window_common/twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace quenby {

namespace {

// A patch of a window this big can be grabbed with the mouse (or the window
// dragged with Alt held down).
constexpr int kGrip = 16;

// The title bar and border a window manager puts around the client area, at
// most. Positions are those of the frame, so a part of the client area stands
// this much lower and further right on the screen than the window's own
// coordinates say.
constexpr QPoint kFrameOffset(8, 32);

bool showsAPatch(const QRect &window, const ScreenArea &screen)
{
    const QRect seen = window.intersected(screen.full);
    return seen.width() >= std::min(kGrip, window.width()) && seen.height() >= std::min(kGrip, window.height());
}

qint64 distanceSquared(const QRect &from, const QRect &to)
{
    const QPoint c = from.center();
    const qint64 dx = std::max({qint64(to.left()) - c.x(), qint64(0), qint64(c.x()) - to.right()});
    const qint64 dy = std::max({qint64(to.top()) - c.y(), qint64(0), qint64(c.y()) - to.bottom()});
    return dx * dx + dy * dy;
}

// The screen the rectangle overlaps most, or else the one closest to its centre.
const ScreenArea &nearestScreen(const QRect &rect, const QList<ScreenArea> &screens)
{
    const auto overlap = [&rect](const ScreenArea &s) {
        const QRect common = rect.intersected(s.full);
        return qint64(common.width()) * common.height();
    };
    const auto closer = [&](const ScreenArea &a, const ScreenArea &b) {
        if (overlap(a) != overlap(b))
            return overlap(a) > overlap(b);
        return distanceSquared(rect, a.full) < distanceSquared(rect, b.full);
    };
    return *std::min_element(screens.begin(), screens.end(), closer);
}

// The window's left (or top) edge that keeps [rowStart, rowEnd] of the window
// inside [areaStart, areaEnd], moving the least; the window's own edge stays
// inside the area too when there is room for both.
int keepInside(int edge, int rowStart, int rowEnd, int areaStart, int areaEnd)
{
    const int highest = areaEnd - rowEnd;
    const int lowest = std::max(areaStart, areaStart - rowStart);
    if (lowest > highest)
        return highest;
    return std::clamp(edge, lowest, highest);
}

} // namespace

QList<ScreenArea> screenAreas()
{
    QList<ScreenArea> areas;
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        areas.append({primary->geometry(), primary->availableGeometry()});
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            areas.append({screen->geometry(), screen->availableGeometry()});
    }
    return areas;
}

QPoint findablePlace(const QRect &window, const QList<ScreenArea> &screens)
{
    if (screens.isEmpty())
        return window.topLeft();
    for (const ScreenArea &screen : screens) {
        if (showsAPatch(window, screen))
            return window.topLeft();
    }
    return nearestScreen(window, screens).work.topLeft();
}

QPoint findablePlace(const QRect &window, const QRect &row, const QList<ScreenArea> &screens)
{
    const QPoint placed = findablePlace(window, screens);
    if (screens.isEmpty())
        return placed;
    const QRect rowInFrame = row.translated(kFrameOffset);
    const QRect rowOnScreen = rowInFrame.translated(placed);
    for (const ScreenArea &screen : screens) {
        if (screen.work.contains(rowOnScreen))
            return placed;
    }
    const QRect area = nearestScreen(rowOnScreen, screens).work;
    return {keepInside(placed.x(), rowInFrame.left(), rowInFrame.right(), area.left(), area.right()),
            keepInside(placed.y(), rowInFrame.top(), rowInFrame.bottom(), area.top(), area.bottom())};
}

StoredPlace::StoredPlace(float topTwips, float leftTwips, QPoint stored, QPoint shownAt)
    : m_top(topTwips)
    , m_left(leftTwips)
{
    if (shownAt != stored)
        m_movedTo = shownAt;
}

float StoredPlace::topToSave(QPoint now) const
{
    return keepsStored(now) ? m_top : float(pixelsToTwips(now.y()));
}

float StoredPlace::leftToSave(QPoint now) const
{
    return keepsStored(now) ? m_left : float(pixelsToTwips(now.x()));
}

} // namespace quenby
