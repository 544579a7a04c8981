#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>

namespace quenby {

// Windows are designed in twips. The program counts 15 twips to a pixel on every
// screen; a half pixel rounds to the even neighbour.
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
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
