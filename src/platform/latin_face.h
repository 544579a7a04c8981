#pragma once

#include <QString>

namespace quenby {

// The installed face that draws Latin text for a family name (a generic name
// like "Sans Serif" included), chosen as it is without a Japanese session
// language, and named in English. Empty when that face also covers Japanese:
// it would then draw the Japanese text as well.
QString latinOnlyFaceOf(const QString &family);

} // namespace quenby
