#pragma once

#include <QString>

namespace quenby {

enum class PowerAction { PowerOff, Reboot, Suspend };

// The name logind gives the action's method, which the run's record uses too.
inline QString powerActionName(PowerAction action)
{
    switch (action) {
    case PowerAction::Reboot:
        return QStringLiteral("Reboot");
    case PowerAction::Suspend:
        return QStringLiteral("Suspend");
    case PowerAction::PowerOff:
        break;
    }
    return QStringLiteral("PowerOff");
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

    // Asks the system for the action and waits for its answer.
    virtual PowerOutcome request(PowerAction action) = 0;
};

} // namespace quenby
