#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace quenby {

// Error numbers of a run. A start that fails carries one of the first five.
namespace error_number {
inline constexpr int BadArgument = 5;   // an argument is not acceptable
inline constexpr int Overflow = 6;      // a number does not fit (the pause)
inline constexpr int OutOfMemory = 7;
inline constexpr int Internal = 51;
inline constexpr int FileNotFound = 53; // the file to start is not there
inline constexpr int AccessDenied = 75;
} // namespace error_number

// What a refused start says beyond its error number, so that the message can
// tell the user how to mend the file.
enum class StartHint {
    None,
    WindowsLineEndings, // a script whose first line ends in a carriage return
};

// The outcome of a start. `error` is 0 on success, 53 when the program to
// start is not there, 5 when it is there but cannot be run, another number for
// any other failure. `pid` is 0 when nothing was started (a failure, or a
// clean-up that had nothing it may touch). `detail` says in a few words what
// was started or why not, for the run's record.
struct ShellResult
{
    qint64 pid = 0;
    int error = 0;
    QString detail;
    StartHint hint = StartHint::None;
};

// How a process ended: its exit status, or the signal that ended it.
struct ProcessEnd
{
    bool known = false; // false when the end could not be collected
    bool signalled = false;
    int code = 0;       // exit status, or signal number when signalled
};

// Tells when one started process has ended. It never polls: `ended` is emitted
// from the event loop once, when the process is gone.
class ProcessWatch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    virtual bool hasEnded() const = 0;
    // Meaningful once the process has ended.
    virtual ProcessEnd end() const = 0;

signals:
    void ended();
};

// Starts the run's processes, all hidden. The requests are typed: the run says
// what it wants done, never a command text for the platform to take apart.
class Processes
{
public:
    virtual ~Processes() = default;

    // Runs the text of program slot `slot` (1..5) through the shell, exactly as
    // typed; returns at once. The program the text names is looked for first:
    // error 53 when it is not there, 5 when it cannot be run.
    virtual ShellResult runSlot(int slot, const QString &text) = 0;
    // Empties the user's temporary-files folder; not waited for.
    virtual ShellResult emptyTempFolder() = 0;
    // Clears the user's recently-used documents; not waited for.
    virtual ShellResult clearRecentDocuments() = 0;
    // A watch on a process started here; nullptr when it is not a process of
    // ours. A process that has already ended gives a watch that says so.
    virtual std::unique_ptr<ProcessWatch> watch(qint64 pid) = 0;
};

} // namespace quenby
