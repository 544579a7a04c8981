#pragma once

#include <QFont>

namespace quenby {

// The faces of both windows. They are chosen once per program, by names that
// mean the same face whatever the session's language, so a Japanese desktop
// and a C one draw the same windows.

// Captions and labels: a proportional Japanese gothic, for the Latin text
// beside the Japanese too, at the desktop's size. A fixed-width Japanese face
// (what a Japanese session's fontconfig puts first) would outgrow the boxes
// the design gives the captions; one face for all of them keeps start-up short.
QFont captionFont();

// The maker's credit and the version line: a proportional Japanese serif face
// at 9.75 points, drawn unhinted.
QFont creditFont();

} // namespace quenby
