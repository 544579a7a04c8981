#pragma once

#include "platform/power.h"

namespace quenby {

// Power requests to systemd-logind on the system bus. The bus is opened only
// when a request is made.
class LogindPower : public Power
{
public:
    QString request(PowerAction action) override;
};

} // namespace quenby
