#pragma once

namespace quenby {

// What became of a start's request: a run asked for on the command line, in
// this copy or handed to the copy that runs, or a plain start that asked for
// the running copy's window.
enum class RequestOutcome {
    Shown,                 // the running copy brought its window forward
    PowerAccepted,         // the system took the power request
    RunFinished,           // a run-only run went through to its end
    DroppedDuringRun,      // a run was going on
    DroppedSettingsOpen,   // the settings window was open: no button to press
    DroppedMessageOpen,    // a message (one of start-up, say) waited for an answer
    StoppedAtStartFailure, // a slot's program or a clean-up could not be found
    Cancelled,             // the user ended the program (Cancel, the close box)
    PowerRefused,          // the system refused the power request or did not answer
    Unreachable,           // a copy runs, but it could not be reached
    CopyEnded,             // the copy that took the request ended without an answer
    LockUnusable,          // no lock file of ours to tell by whether a copy runs: no run starts
};

// The exit status that tells the caller of `quenby --shutdown` (a timer, a
// script) what became of its request. 1 and 2 are taken: no display, wrong use.
constexpr int exitStatusFor(RequestOutcome outcome)
{
    switch (outcome) {
    case RequestOutcome::Shown:
    case RequestOutcome::PowerAccepted:
    case RequestOutcome::RunFinished:
        return 0;
    case RequestOutcome::DroppedDuringRun:
    case RequestOutcome::DroppedSettingsOpen:
    case RequestOutcome::DroppedMessageOpen:
        return 3;
    case RequestOutcome::StoppedAtStartFailure:
        return 4;
    case RequestOutcome::Cancelled:
        return 5;
    case RequestOutcome::PowerRefused:
        return 6;
    case RequestOutcome::Unreachable:
    case RequestOutcome::LockUnusable:
        return 7;
    case RequestOutcome::CopyEnded:
        return 8;
    }
    return 8;
}

} // namespace quenby
