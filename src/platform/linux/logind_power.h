#pragma once

#include "platform/interfaces/power.h"
#include "platform/linux/bus_link.h"

#include <chrono>

namespace quenby {

// Power requests to systemd-logind on the system bus (the one named by
// DBUS_SYSTEM_BUS_ADDRESS, when set), over a connection of their own that is
// opened only when a request is made; the session bus plays no part. Requests are interactive: where the system's policy wants a password,
// the desktop's own prompt asks for it. Neither the connection nor the answer
// is waited for without end: a bus that does not let us in within
// `connectTimeout`, or a logind that does not answer within `requestTimeout`,
// counts as a refusal. Windows keep working meanwhile.
class LogindPower : public Power
{
public:
    static constexpr std::chrono::milliseconds kConnectTimeout{5'000};
    static constexpr std::chrono::milliseconds kRequestTimeout{60'000};

    explicit LogindPower(std::chrono::milliseconds connectTimeout = kConnectTimeout,
                         std::chrono::milliseconds requestTimeout = kRequestTimeout);

    PowerOutcome request(RunAction action) override;

    // Sorts a D-Bus error reply by what the user can do about it.
    static PowerRefusal refusalOf(const QString &errorName, const QString &errorMessage);

private:
    static PowerOutcome outcomeOf(const BusLink::Answer &answer);

    std::chrono::milliseconds m_connectTimeout;
    std::chrono::milliseconds m_requestTimeout;
};

} // namespace quenby
