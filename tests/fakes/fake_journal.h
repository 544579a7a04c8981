#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/journal.h"

#include <QStringList>

#include <functional>

namespace quenby::test {

class FakeJournal : public Journal
{
public:
    explicit FakeJournal(CallLog &log) : m_log(log) {}
    void record(const QString &line, Level level) override;

    QStringList lines;
    QStringList warnings;
    std::function<void(const QString &line)> onRecord;

private:
    CallLog &m_log;
};

} // namespace quenby::test
