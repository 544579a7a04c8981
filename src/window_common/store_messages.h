#pragma once

#include <QString>

namespace quenby {

class Desktop;
struct StoreProblem;

// What the user reads about a problem of the settings file: what happened,
// the file, and what to do about it, one line each.
QString storeProblemText(const StoreProblem &problem);

// Beeps and shows that text in a message box.
void tellStoreProblem(Desktop &desktop, const StoreProblem &problem);

} // namespace quenby
