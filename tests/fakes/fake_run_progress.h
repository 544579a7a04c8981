#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/run_progress.h"

#include <QStringList>

namespace quenby::test {

// Keeps every progress shown, "<percent>%" or "<percent>% <count>", and
// "clear".
class FakeProgress : public RunProgress
{
public:
    void show(double fraction, int count) override;
    void clear() override { shown << QStringLiteral("clear"); }

    QStringList shown;
};

} // namespace quenby::test
