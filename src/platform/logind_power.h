#pragma once

#include "platform/power.h"

namespace quenby {

// Power requests to systemd-logind on the system bus (the one named by
// DBUS_SYSTEM_BUS_ADDRESS, when set). The bus is opened only when a request is
// made. Requests are interactive: where the system's policy wants a password,
// the desktop's own prompt asks for it, and the request waits for as long as
// that takes.
class LogindPower : public Power
{
public:
    QString request(PowerAction action) override;
};

} // namespace quenby
