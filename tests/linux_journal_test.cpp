#include "scratch.h"

#include "platform/linux_journal.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

using namespace quenby;
using namespace quenby::test;

namespace {

bool journalRuns()
{
    return QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

QByteArray drain(int fd)
{
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    return text;
}

} // namespace

class LinuxJournalTest final : public QObject
{
    Q_OBJECT

private slots:
    // Faults: the journal opened at start-up (it belongs to a run), or the
    // run's record lost where no journal runs.
    void withoutAJournalTheRecordGoesToStandardError()
    {
        if (journalRuns())
            QSKIP("a journal runs on this machine"); // the end-to-end suite reads it back there
        int pipe[2];
        QCOMPARE(::pipe2(pipe, O_NONBLOCK | O_CLOEXEC), 0);
        const int before = openDescriptors();
        LinuxJournal journal(pipe[1]);
        QCOMPARE(openDescriptors(), before);

        journal.record(QStringLiteral("slot 1: command.com /c /opt/バックアップ.sh"));
        journal.record(QStringLiteral("slot 1: ended with exit status 3 after 0.2 s"), Journal::Level::Warning);
        QCOMPARE(journal.openStream(QStringLiteral("quenby-slot1"), Journal::Level::Info), -1);

        QCOMPARE(QString::fromUtf8(drain(pipe[0])),
                 QStringLiteral("quenby: slot 1: command.com /c /opt/バックアップ.sh\n"
                                "quenby: slot 1: ended with exit status 3 after 0.2 s\n"));
        ::close(pipe[0]);
        ::close(pipe[1]);
    }
};

QUENBY_TEST_MAIN(LinuxJournalTest)
#include "linux_journal_test.moc"
