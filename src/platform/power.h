#pragma once

#include <QString>

namespace quenby {

enum class PowerAction { PowerOff, Reboot, Suspend };

class Power
{
public:
    virtual ~Power() = default;

    // Asks the system for the action and waits for its answer. Returns an empty
    // text when the request was accepted, else why it was refused or failed.
    virtual QString request(PowerAction action) = 0;
};

} // namespace quenby
