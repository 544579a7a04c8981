#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/power.h"

#include <QStringList>

#include <functional>

namespace quenby::test {

class FakePower : public Power
{
public:
    explicit FakePower(CallLog &log) : m_log(log) {}
    PowerOutcome request(RunAction action) override;

    QStringList requests;
    QString refusal; // the system's words for every request; empty = accepted
    PowerRefusal refusalKind = PowerRefusal::AccessDenied;
    // Runs while the request is outstanding.
    std::function<void(const QString &method)> onRequest;

private:
    CallLog &m_log;
};

} // namespace quenby::test
