#include "platform/linux/linux_journal.h"

#include "platform/settings_file/private_file.h"

#include <QByteArray>


#include <syslog.h>
#include <systemd/sd-journal.h>

namespace quenby {

namespace {

const char kIdentifier[] = "quenby";
// Where the journal listens. Sending there fails silently when it is missing,
// so its absence is looked for first.
const char kJournalSocket[] = "/run/systemd/journal/socket";

int priorityOf(Journal::Level level)
{
    return level == Journal::Level::Warning ? LOG_WARNING : LOG_INFO;
}

} // namespace

LinuxJournal::LinuxJournal(int fallback)
    : m_fallback(fallback)
{
}

void LinuxJournal::record(const QString &line, Level level)
{
    const QByteArray text = line.toUtf8();
    if (::access(kJournalSocket, F_OK) == 0
        && ::sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=%d", priorityOf(level), "SYSLOG_IDENTIFIER=%s",
                             kIdentifier, nullptr)
               >= 0)
        return;
    writeFallback(QByteArray(kIdentifier) + ": " + text + '\n');
}

Descriptor LinuxJournal::openStream(const QString &identifier, Level level)
{
    return Descriptor(::sd_journal_stream_fd(identifier.toUtf8().constData(), priorityOf(level), 0));
}

// One write per line, so lines of the helper sharing the descriptor do not interleave.
void LinuxJournal::writeFallback(const QByteArray &text)
{
    private_file::writeAll(m_fallback, text);
}

} // namespace quenby
