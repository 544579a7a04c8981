#pragma once

#include <QString>
#include <QStringList>

#include "platform/interfaces/desktop.h"
#include "platform/interfaces/services.h"

#include <optional>

namespace quenby {

// What the command line asks for before any window exists: the texts to print
// and the exit status, or no exit status when the program should start, with
// the run it was asked to start, if any.
struct CommandLineReply
{
    std::optional<int> exitStatus;
    QString out;
    QString err;
    std::optional<RunAction> request = std::nullopt; // none: the window only
};

// Exit status of a command line the program does not understand.
inline constexpr int kUsageExitStatus = 2;

// Reads the arguments (the program's name first). --help and --version are
// answered here; Qt's own start-up options (-platform, -style, -session, …)
// are left for the application object; anything else is wrong use.
CommandLineReply replyToCommandLine(const QStringList &arguments, bool japanese);

// Whether messages should be Japanese, by the usual order of the locale
// variables: LC_ALL, then LC_MESSAGES, then LANG.
bool messagesInJapanese();

// The line a start prints on standard error when the copy that runs could not
// carry out its request, or could not be reached; empty when it did (status 0).
QString handOverLine(RequestOutcome outcome, bool japanese);
// Prints that line, in the session's language.
void sayHandOverOutcome(RequestOutcome outcome);

// Another copy took this start's request: this one says what became of it,
// when that is no success, and ends with its exit status. A run that did not
// happen is told on the desktop too, a moment at most.
void endAfterHandOver(const Services &services, std::optional<RunAction> request, RequestOutcome outcome);

// A start that has no display to show the window on hands its request to the
// copy that runs, like any later start, and ends with the outcome. Returns
// only when no copy runs: this start would need a display then.
void handOverWithoutWindow(const Services &services, std::optional<RunAction> request);

// Answers the command line on standard output and standard error. The reply
// holds the exit status when the program should end without opening a window.
// Touches neither the settings nor the single-instance lock, and needs no
// display.
CommandLineReply answerCommandLine(int argc, char *argv[]);

} // namespace quenby
