#pragma once

#include <QByteArray>
#include <QString>

#include "platform/interfaces/processes.h"

namespace quenby {

// What the shell is given for the text of a program slot, or why the slot's
// program cannot be started at all.
struct SlotCommand
{
    int error = 0;        // 0, 53 (the program is not there) or 5 (it cannot be run)
    QByteArray shellText; // for "/bin/sh -c"; empty when error is not 0
    QString detail;       // the program found and how it runs, or what is wrong with it
    StartHint hint = StartHint::None;
};

// Finds the program a slot's text names before the text goes to the shell, so
// that a typo or a moved script is reported instead of ending quietly inside
// a hidden shell:
// - the whole text, when it is the full path of an existing file (it may hold
//   blanks, quotes or '$' the shell would take apart: it is quoted);
// - otherwise its first word, when that word is a plain literal, looked up as
//   the shell would: as is when it holds a '/', else on `searchPath` (PATH).
// A regular file without the execute permission that is plainly a script runs
// with the interpreter of its "#!" line, or with `shell` when it ends in .sh.
// A "#!" line is judged as the kernel reads it: a carriage return at its end
// is part of the interpreter's name (a script saved with Windows line
// endings), which makes it error 53 with a hint. A text of nothing but
// blanks goes to the shell as it is: it runs nothing and ends at once.
// A first word that the shell would expand, or that is one of its keywords or
// builtins, cannot be judged: the text then goes to the shell as typed.
SlotCommand slotCommandFor(const QString &text, const QString &searchPath, const QString &shell);

} // namespace quenby
