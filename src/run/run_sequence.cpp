#include "run/run_sequence.h"

#include "run/run_host.h"

namespace quenby {

RunSequence::RunSequence(RunHost &host, const Services &services)
    : m_host(host)
    , m_services(services)
{
}

void RunSequence::ok1_Click()
{
    m_host.setStatus(QStringLiteral("設定内容を処理中"));
    m_host.SavePosition();
}

void RunSequence::reboot_Click()
{
    runMode = 1;
    ok1_Click();
}

void RunSequence::Suspend_Click()
{
    runMode = 2;
    ok1_Click();
}

void RunSequence::test_Click()
{
    runOnly = 1;
    ok1_Click();
}

} // namespace quenby
