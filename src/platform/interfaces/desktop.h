#pragma once

#include <QString>

#include "platform/interfaces/request_outcome.h"
#include "platform/interfaces/run_action.h"

#include <functional>
#include <optional>

namespace quenby {

// Tells a later start what became of its request; called once.
using RequestAnswer = std::function<void(RequestOutcome)>;

struct AppVersion
{
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// Facts about the running program and the few desktop services every window uses.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // When another copy of the program already runs for this user and this
    // settings file, hands it `request`, waits for what became of it and
    // returns that; nothing when this copy is the one that runs. Asked once
    // per load of the main window; a reload inside the same program answers
    // nothing.
    virtual std::optional<RequestOutcome> handToRunningCopy(std::optional<RunAction> request) = 0;
    // The same for a start that has no display: it hands `request` to the
    // copy that runs and returns what became of it, but never becomes that
    // copy, nor holds its lock even for a moment. Nothing when no copy runs.
    virtual std::optional<RequestOutcome> askRunningCopy(std::optional<RunAction> request) = 0;
    // From now on a later start of the program hands its request to this
    // copy and waits for the answer: `handle` runs here for each such start,
    // in the event loop, with the way to answer it.
    virtual void whenStartedAgain(std::function<void(std::optional<RunAction>, RequestAnswer)> handle) = 0;
    // The folder the two clean-up commands are built on, without a trailing
    // separator; empty when there is none.
    virtual QString windowsDirectory() = 0;
    // The folder that holds the program's own executable.
    virtual QString programFolder() = 0;
    virtual AppVersion version() = 0;

    virtual void beep() = 0;
    // How a message waits for its answer. Every message is answered before
    // the caller goes on; one of a run leaves the main window working
    // meanwhile, so that Cancel and the close box still end the program.
    enum class MessageWait { BlockingWindows, KeepingWindowsWorking };
    // OK button only, no icon, titled with the application title.
    virtual void messageBox(const QString &prompt, MessageWait wait = MessageWait::BlockingWindows) = 0;
    // Ends the program at once with `exitStatus`: no further window events, no
    // unload handlers. The real one does not return; a test double records the
    // call and returns.
    virtual void endProgram(int exitStatus) = 0;
};

} // namespace quenby
