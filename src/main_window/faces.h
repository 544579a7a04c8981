#pragma once

#include <QFont>

namespace quenby {

// The faces of both windows. They are chosen once per program, by names that
// mean the same face whatever the session's language, so a Japanese desktop
// and a C one draw the same windows.

// Captions and labels: the desktop's own Latin face at the desktop's size,
// with a proportional Japanese gothic for the Japanese text. A fixed-width
// Japanese face would outgrow the boxes the design gives the captions.
QFont captionFont();

// The maker's credit and the version line: a proportional Japanese serif face
// at 9.75 points, drawn unhinted.
QFont creditFont();

} // namespace quenby
