#pragma once

#include "platform/cleaner/descriptor.h"
#include "platform/interfaces/journal.h"

#include <unistd.h>

namespace quenby {

// The run's record in the user's journal, under the identifier "quenby".
// Nothing is opened before the first line: the program starts and idles
// without touching the journal. Where no journal runs, the lines go to
// `fallback` (standard error), one "quenby: ..." line each.
class LinuxJournal : public Journal
{
public:
    explicit LinuxJournal(int fallback = STDERR_FILENO);

    void record(const QString &line, Level level = Level::Info) override;

    // A descriptor that a started program may write to: each line it writes
    // reaches the journal under `identifier` at `level`. None where no
    // journal runs.
    Descriptor openStream(const QString &identifier, Level level);

    // Where the lines go when there is no journal.
    int fallback() const { return m_fallback; }

private:
    void writeFallback(const QByteArray &text);

    int m_fallback;
};

} // namespace quenby
