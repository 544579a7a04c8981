#include "fakes/fake_journal.h"

namespace quenby::test {

void FakeJournal::record(const QString &line, Level level)
{
    lines << line;
    if (level == Level::Warning)
        warnings << line;
    m_log << QStringLiteral("journal:") + line;
    if (onRecord)
        onRecord(line);
}

} // namespace quenby::test
