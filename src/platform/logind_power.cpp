#include "platform/logind_power.h"

namespace quenby {

QString LogindPower::request(PowerAction)
{
    return QStringLiteral("not available");
}

} // namespace quenby
