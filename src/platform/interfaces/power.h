#pragma once

#include "platform/interfaces/run_action.h"

#include <QString>

namespace quenby {

// The name logind gives the power action that ends a run of `action`, which
// the run's record uses too. A run-only run asks for none.
inline QString powerActionName(RunAction action)
{
    switch (action) {
    case RunAction::Restart:
        return QStringLiteral("Reboot");
    case RunAction::Suspend:
        return QStringLiteral("Suspend");
    case RunAction::ShutDown:
        return QStringLiteral("PowerOff");
    case RunAction::RunOnly:
        break;
    }
    return QString();
}

// Why the system did not take a power request, sorted into the cases a user
// can act on; anything else is `Other`.
enum class PowerRefusal {
    None,                   // accepted
    AuthenticationRequired, // a password was wanted and nobody could be asked for it
    AccessDenied,           // the system's policy, or the user at the prompt, said no
    Inhibited,              // another program holds a lock that blocks the action
    NoAnswer,               // the bus or logind did not answer in time, or is not there
    Other,
};

struct PowerOutcome
{
    PowerRefusal refusal = PowerRefusal::None;
    // What the system said, as it said it, for the run's record; empty when accepted.
    QString reason;

    bool accepted() const { return refusal == PowerRefusal::None; }
};

class Power
{
public:
    virtual ~Power() = default;

    // Asks the system for the power action that ends a run of `action`
    // (never a run-only one) and waits for its answer.
    virtual PowerOutcome request(RunAction action) = 0;
};

} // namespace quenby
