#include "fakes/fake_power.h"

namespace quenby::test {

PowerOutcome FakePower::request(RunAction action)
{
    const char *name = action == RunAction::ShutDown ? "PowerOff" : action == RunAction::Restart ? "Reboot" : "Suspend";
    requests << QString::fromLatin1(name);
    m_log << QStringLiteral("power:") + QString::fromLatin1(name);
    if (onRequest)
        onRequest(QString::fromLatin1(name));
    if (refusal.isEmpty())
        return {};
    return {refusalKind, refusal};
}

} // namespace quenby::test
