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

class Power
{
public:
    virtual ~Power() = default;

    // Asks the system for the action and waits for its answer. Returns an empty
    // text when the request was accepted, else why it was refused or failed.
    virtual QString request(PowerAction action) = 0;
};

} // namespace quenby
