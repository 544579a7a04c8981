#pragma once

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cmath>

namespace quenby {

// Windows are designed in twips. The program counts 15 twips to a pixel on every
// screen; a half pixel rounds to the even neighbour.
inline constexpr int kTwipsPerPixel = 15;

// Far beyond every screen, yet small enough that a window's size added to it
// stays a valid int. A stored position is a float and may lie much further out.
inline constexpr double kFarthestPixel = 1 << 24;

inline int twipsToPixels(double twips)
{
    const double pixels = std::nearbyint(twips / kTwipsPerPixel);
    if (std::isnan(pixels))
        return 0;
    return static_cast<int>(std::clamp(pixels, -kFarthestPixel, kFarthestPixel));
}

inline double pixelsToTwips(int pixels)
{
    return static_cast<double>(pixels) * kTwipsPerPixel;
}

// One control's place and size in twips, as the design tables give it.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;

    QRect toPixels() const
    {
        return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
    }
};

} // namespace quenby
