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

// The outcome of starting a command text. `error` is 0 on success, 53 when the
// file to start (the interpreter) is not found, 5 when an argument is not
// acceptable, another number for any other failure.
struct ShellResult
{
    qint64 pid = 0;
    int error = 0;
};

// Tells when one started process has ended. It never polls: `ended` is emitted
// from the event loop once, when the process is gone.
class ProcessWatch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    virtual bool hasEnded() const = 0;

signals:
    void ended();
};

class Processes
{
public:
    virtual ~Processes() = default;

    // Carries out a command text ("command.com /c ..."), hidden; returns at once.
    virtual ShellResult shell(const QString &commandLine) = 0;
    // A watch on a process started by `shell`; nullptr when it cannot be opened
    // (already gone, or not a process of ours).
    virtual std::unique_ptr<ProcessWatch> watch(qint64 pid) = 0;
};

} // namespace quenby
