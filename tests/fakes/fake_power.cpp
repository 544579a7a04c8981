#include "fakes/fake_power.h"

namespace quenby::test {

PowerOutcome FakePower::request(PowerAction action)
{
    const char *name = action == PowerAction::PowerOff ? "PowerOff" : action == PowerAction::Reboot ? "Reboot" : "Suspend";
    requests << QString::fromLatin1(name);
    m_log << QStringLiteral("power:") + QString::fromLatin1(name);
    if (onRequest)
        onRequest(QString::fromLatin1(name));
    if (refusal.isEmpty())
        return {};
    return {refusalKind, refusal};
}

} // namespace quenby::test
