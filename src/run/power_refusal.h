#pragma once

#include "platform/interfaces/power.h"

#include <QString>

namespace quenby {

// The line under "再起動できませんでした。" and its kin: why, in words a user
// can act on. The system's own words go to the run's record instead.
QString powerRefusalText(PowerRefusal refusal);

} // namespace quenby
