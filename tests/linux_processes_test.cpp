#include "processor_time.h"
#include "scratch.h"

#include "platform/linux/linux_folders.h"
#include "platform/linux/linux_journal.h"
#include "platform/linux/linux_processes.h"
#include "run/wait_for_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>

#include <unistd.h>

using namespace quenby;
using namespace quenby::test;

namespace {

bool journalRuns()
{
    return QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList descriptorsOf(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
}

qint64 sessionOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // pid (comm) state ppid pgrp session ...
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(3).toLongLong();
}

void writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

constexpr QFileDevice::Permissions kExecutable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kPlain = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void writeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

} // namespace

class LinuxProcessesTest final : public QObject
{
    Q_OBJECT

private:
    QString m_helperFolder;
    QString m_temp;
    QString m_reportPath; // where the run's lines go without a journal
    std::unique_ptr<LinuxJournal> m_journal;

    LinuxProcesses processes() { return LinuxProcesses(*m_journal, QStringLiteral("/bin/sh"), {m_helperFolder}); }

private slots:
    void initTestCase()
    {
        m_helperFolder = QFileInfo(qEnvironmentVariable("QUENBY_BINARY")).absolutePath();
        QVERIFY(QFileInfo(m_helperFolder + QStringLiteral("/quenby-clean")).isExecutable());
        // The clean-ups below delete for real: every folder they reach must be ours.
        const QString scratch = scratchFolder() + u'/';
        for (const QString &folder : {linux_folders::windowsFolder(), linux_folders::tempFolder(),
                                      linux_folders::recentDocumentsFolder(), linux_folders::recentlyUsedFile()}) {
            if (!folder.startsWith(scratch))
                qFatal("clean-up folder outside the scratch folder: %s", qPrintable(folder));
        }
        m_temp = linux_folders::tempFolder();
        m_reportPath = scratchFolder() + QStringLiteral("/report.txt");
        const int report = ::open(QFile::encodeName(m_reportPath).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        QVERIFY(report >= 0);
        m_journal = std::make_unique<LinuxJournal>(report);
    }

    // A typo or a moved script used to end quietly inside the hidden shell,
    // and the machine went off as if the backup had run. The program a slot
    // names is found first: 53 when it is not there, 5 when it cannot be run.
    // A "#!" line is read as the kernel reads it: a script saved with Windows
    // line endings names an interpreter ending in a carriage return, which is
    // not there (53, with a hint for the message). A text of blanks reaches
    // the shell, which starts nothing.
    // A script without the execute permission runs all the same, a text that
    // the shell would expand is not judged, and a program's own exit status
    // is never taken for a failed start. Nor is a file the kernel will not run
    // (no program at all, one for another machine): the shell's 126 is its
    // exit status.
    void aSlotsProgramIsFoundBeforeTheShellRuns_data()
    {
        QTest::addColumn<QString>("text"); // %P stands for the programs' folder
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("ran");  // what the program wrote; empty: nothing ran
        QTest::newRow("empty text") << "" << 0 << "";
        QTest::newRow("blanks only") << " \t " << 0 << "";
        QTest::newRow("CRLF script") << "%P/crlf.sh" << 53 << "";
        QTest::newRow("CRLF script, no execute permission") << "%P/crlf-plain x" << 53 << "";
        QTest::newRow("CRLF after an env argument") << "%P/crlf-env.sh" << 53 << "";
        QTest::newRow("CRLF script without #!, byte order mark first") << "%P/crlf-notepad.sh" << 53 << "";
        QTest::newRow("interpreter not runnable") << "%P/odd-interpreter" << 5 << "";
        QTest::newRow("missing file") << "%P/nothere.sh" << 53 << "";
        QTest::newRow("missing file with arguments") << "%P/nothere.sh --full /srv" << 53 << "";
        QTest::newRow("missing bare name") << "quenby-no-such-program --x" << 53 << "";
        QTest::newRow("dangling link") << "%P/dangling" << 53 << "";
        QTest::newRow("folder") << "%P/folder" << 5 << "";
        QTest::newRow("folder with arguments") << "%P/folder x" << 5 << "";
        QTest::newRow("folder with blanks in its path") << "%P/My Scripts" << 5 << "";
        QTest::newRow("plain file, no execute permission") << "%P/data.txt" << 5 << "";
        QTest::newRow("interpreter not there") << "%P/lost-interpreter" << 53 << "";
        QTest::newRow("kernel refuses: not a program at all") << "%P/garbage" << 0 << "";
        QTest::newRow("kernel refuses: program for another machine") << "%P/foreign" << 0 << "";
        QTest::newRow("executable script") << "%P/exec.sh a b" << 0 << "exec.sh a b";
        QTest::newRow(".sh without permission") << "%P/noexec.sh a b" << 0 << "noexec.sh a b";
        QTest::newRow("#! without permission") << "%P/job x" << 0 << "job -e x";
        QTest::newRow("browsed .sh path with blanks") << "%P/My Scripts/end of day.sh" << 0 << "blank";
        QTest::newRow("exit status 127 of its own") << "%P/fails.sh" << 0 << "fails";
        QTest::newRow("bare name on PATH") << "sh %P/exec.sh z" << 0 << "exec.sh z";
        QTest::newRow("expanded word, not judged") << "$QUENBY_NOTHING/nothere.sh" << 0 << "";
        QTest::newRow("builtin, not judged") << "cd /nonexistent-folder" << 0 << "";
        QTest::newRow("assignment, not judged") << "X=1 quenby-no-such-program" << 0 << "";
    }
    void aSlotsProgramIsFoundBeforeTheShellRuns()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        QFETCH(QString, ran);
        // A slot's first word ends at the first blank: the programs sit in a
        // blank-free folder of their own, wherever the tree was cloned.
        const QTemporaryDir programs(QStringLiteral("/tmp/quenby-programs-XXXXXX"));
        QVERIFY(programs.isValid());
        const QString folder = programs.path();
        const QByteArray marker = QFile::encodeName(folder + QStringLiteral("/ran"));
        const QByteArray report = "echo \"$0 $*\" | sed 's|.*/||' > '" + marker + "'\n";
        writeFile(folder + QStringLiteral("/exec.sh"), "#!/bin/sh\n" + report, kExecutable);
        writeFile(folder + QStringLiteral("/noexec.sh"), report, kPlain);
        // The "#!" line's argument reaches the interpreter: -e shows in $-.
        writeFile(folder + QStringLiteral("/job"),
                  "#!/bin/sh -e\ncase $- in *e*) e=-e;; esac\necho \"job $e $*\" > '" + marker + "'\n", kPlain);
        writeFile(folder + QStringLiteral("/My Scripts/end of day.sh"), "echo blank > '" + marker + "'\n", kPlain);
        writeFile(folder + QStringLiteral("/fails.sh"), "#!/bin/sh\necho fails > '" + marker + "'\nexit 127\n", kExecutable);
        writeFile(folder + QStringLiteral("/data.txt"), "hello\n", kPlain);
        writeFile(folder + QStringLiteral("/lost-interpreter"), "#!/nonexistent/python3\n", kExecutable);
        writeFile(folder + QStringLiteral("/crlf.sh"), "#!/bin/sh\r\n" + report, kExecutable);
        writeFile(folder + QStringLiteral("/crlf-plain"), "#! /bin/sh -e\r\n" + report, kPlain);
        writeFile(folder + QStringLiteral("/crlf-env.sh"), "#!/usr/bin/env sh\r\n" + report, kExecutable);
        writeFile(folder + QStringLiteral("/crlf-notepad.sh"), "\xef\xbb\xbf" "echo x\r\n" + report, kPlain);
        writeFile(folder + QStringLiteral("/odd-interpreter"), "#!" + QFile::encodeName(folder) + "/data.txt\n", kExecutable);
        writeFile(folder + QStringLiteral("/garbage"), QByteArray("\x01\x02\0\0binary", 10), kExecutable);
        // An ELF header for an IBM mainframe (machine 22).
        writeFile(folder + QStringLiteral("/foreign"), QByteArray("\x7f" "ELF\2\1\1", 7) + QByteArray(9, '\0')
                  + QByteArray("\2\0\x16\0", 4) + QByteArray(44, '\0'), kExecutable);
        QDir().mkpath(folder + QStringLiteral("/folder"));
        QFile::link(folder + QStringLiteral("/gone"), folder + QStringLiteral("/dangling"));
        QFile::remove(QFile::decodeName(marker));

        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, text.replace(QStringLiteral("%P"), folder));
        QVERIFY2(started.error == error, qPrintable(QStringLiteral("%1: %2").arg(started.error).arg(started.detail)));
        QCOMPARE(started.hint == StartHint::WindowsLineEndings, QByteArray(QTest::currentDataTag()).startsWith("CRLF"));
        if (error != 0) {
            QCOMPARE(started.pid, 0);
            QVERIFY(!started.detail.isEmpty());
            return;
        }
        const ProcessEnd end = WaitForProcess(started.pid, p);
        QCOMPARE(QString::fromUtf8(readAll(QFile::decodeName(marker))).trimmed(), ran);
        if (QByteArray(QTest::currentDataTag()).startsWith("kernel refuses"))
            QCOMPARE(end.code, 126);
    }

    // The run records how each program ended; one that had ended before its
    // watch was opened used to be collected without its status.
    void theEndOfAProgramIsCollectedWithItsStatus_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("signalled");
        QTest::addColumn<int>("code");
        QTest::newRow("success") << "true" << false << 0;
        QTest::newRow("exit status") << "exit 3" << false << 3;
        QTest::newRow("killed") << "kill -KILL $$" << true << 9;
    }
    void theEndOfAProgramIsCollectedWithItsStatus()
    {
        QFETCH(QString, text);
        QFETCH(bool, signalled);
        QFETCH(int, code);
        for (const bool endedBeforeTheWatch : {false, true}) {
            LinuxProcesses p = processes();
            const ShellResult started = p.runSlot(1, text);
            QCOMPARE(started.error, 0);
            if (endedBeforeTheWatch)
                QTRY_VERIFY(readAll(QStringLiteral("/proc/%1/stat").arg(started.pid)).contains(") Z "));
            const ProcessEnd end = WaitForProcess(started.pid, p);
            QVERIFY(end.known);
            QCOMPARE(end.signalled, signalled);
            QCOMPARE(end.code, code);
        }
    }

    void sleepingCommandIsWaitedForWithoutUsingTheProcessor()
    {
        LinuxProcesses p = processes();
        QElapsedTimer clock;
        clock.start();
        const double before = processorSeconds();
        const ShellResult started = p.runSlot(1, QStringLiteral("sleep 2"));
        QCOMPARE(started.error, 0);
        WaitForProcess(started.pid, p);
        const double used = processorSeconds() - before;
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(used < 0.1, qPrintable(QString::number(used)));
    }

    // With no descriptor left for watching the child, the wait must still last
    // until the program has ended, not take it for gone.
    void aWaitWithoutAFreeDescriptorStillLastsUntilTheEnd()
    {
        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, QStringLiteral("sleep 1"));
        QCOMPARE(started.error, 0);
        rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = 256;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        std::vector<int> filler;
        for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
            filler.push_back(fd);
        QElapsedTimer clock;
        clock.start();
        WaitForProcess(started.pid, p);
        const qint64 waited = clock.elapsed();
        for (int fd : filler)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QVERIFY2(waited >= 800, qPrintable(QString::number(waited)));
    }

    void floodingOutputDoesNotHangTheRun_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("pipe inside the command") << "yes | head -c 100000000";
        QTest::newRow("standard output") << "head -c 100000000 /dev/zero";
        QTest::newRow("standard error") << "head -c 100000000 /dev/zero >&2";
        QTest::newRow("reads its input") << "cat";
    }
    void floodingOutputDoesNotHangTheRun()
    {
        QFETCH(QString, text);
        // Where a journal runs, the output lands there: far more than any pipe
        // holds, without flooding it.
        if (journalRuns())
            text.replace(QStringLiteral("100000000"), QStringLiteral("2000000"));
        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, text);
        QCOMPARE(started.error, 0);
        QElapsedTimer clock;
        clock.start();
        // A pipe that nobody reads would block the command here for good.
        WaitForProcess(started.pid, p);
        QVERIFY(clock.elapsed() < 60000);
    }

    void processIsHiddenInASessionOfItsOwn()
    {
        int leak[2];
        QCOMPARE(::pipe(leak), 0); // not close-on-exec
        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, QStringLiteral("sleep 5"));
        QCOMPARE(started.error, 0);
        // The loader holds a library open for a moment while the command starts;
        // a leaked descriptor stays.
        const QStringList expected{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")};
        QTRY_COMPARE_WITH_TIMEOUT(descriptorsOf(started.pid), expected, 3000);
        const QStringList fds = descriptorsOf(started.pid);
        const qint64 session = sessionOf(started.pid);
        QStringList targets;
        for (const QString &fd : fds)
            targets << QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(started.pid).arg(fd));
        ::kill(pid_t(started.pid), SIGKILL);
        WaitForProcess(started.pid, p);
        ::close(leak[0]);
        ::close(leak[1]);

        QCOMPARE(fds, expected);
        QCOMPARE(targets.first(), QStringLiteral("/dev/null"));
        // Output and errors go to the journal where one runs, else nowhere.
        for (const QString &target : targets.mid(1)) {
            if (journalRuns())
                QVERIFY2(target.contains(QStringLiteral("socket:")), qPrintable(target));
            else
                QCOMPARE(target, QStringLiteral("/dev/null"));
        }
        QCOMPARE(session, started.pid);
    }

    void textReachesTheShellExactlyAsStored()
    {
        const QString out = m_temp + QStringLiteral("/exact.txt");
        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, QStringLiteral("printf '%s|' a\\ \\ b \"c  d\" >'") + out + u'\'');
        QCOMPARE(started.error, 0);
        WaitForProcess(started.pid, p);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("a  b|c  d|"));
        file.remove();
    }

    void aFullPathRunsThatFileWhateverItHolds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "My Scripts/end of day.sh";
        QTest::newRow("quote, dollar, ampersand") << "it's $HOME & more.sh";
        QTest::newRow("semicolon") << "a;b.sh";
        QTest::newRow("Japanese, ideographic space") << "終了\u3000前/片付け.sh";
    }
    void aFullPathRunsThatFileWhateverItHolds()
    {
        QFETCH(QString, name);
        const QString folder = scratchFolder() + QStringLiteral("/paths");
        const QString script = folder + u'/' + name;
        const QString out = folder + QStringLiteral("/ran.txt");
        QFile::remove(out);
        QDir().mkpath(QFileInfo(script).absolutePath());
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\necho \"$0\" >> '" + QFile::encodeName(out) + "'\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, script);
        QCOMPARE(started.error, 0);
        WaitForProcess(started.pid, p);
        QFile ran(out);
        QVERIFY2(ran.open(QIODevice::ReadOnly), "the file at the full path did not run");
        QCOMPARE(QString::fromUtf8(ran.readAll()), script + u'\n');
    }

    void startFailuresCarryTheirNumbers_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("error");
        const QString sh = QStringLiteral("/bin/sh");
        QTest::newRow("interpreter not found") << "/nonexistent/sh" << QStringLiteral("true") << 53;
        QTest::newRow("NUL in the path") << sh << (QStringLiteral("true") + QChar(0) + QStringLiteral("rm x")) << 5;
        QTest::newRow("path too long") << sh << QString(200000, u'a') << 5;
        QTest::newRow("interpreter not executable") << (scratchFolder() + QStringLiteral("/plain-file"))
                                                    << QStringLiteral("true") << 75;
    }
    void startFailuresCarryTheirNumbers()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, commandLine);
        QFETCH(int, error);
        QFile plain(scratchFolder() + QStringLiteral("/plain-file"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        plain.close();
        LinuxProcesses p(*m_journal, interpreter, {m_helperFolder});
        const ShellResult started = p.runSlot(1, commandLine);
        QCOMPARE(started.error, error);
        QCOMPARE(started.pid, 0);
    }

    void onlyRunningChildrenCanBeWatched()
    {
        LinuxProcesses p = processes();
        QVERIFY(!p.watch(0));
        QVERIFY(!p.watch(-1));
        QVERIFY(!p.watch(::getpid()));
        const ShellResult started = p.runSlot(1, QStringLiteral("true"));
        WaitForProcess(started.pid, p);
        QVERIFY(!p.watch(started.pid));
    }

    void cleanUpsGoThroughTheHelperAndKeepTheirFolders()
    {
        const QString windows = linux_folders::windowsFolder();
        writeFile(m_temp + QStringLiteral("/old/file.tmp"));
        writeFile(linux_folders::recentlyUsedFile());
        writeFile(linux_folders::recentDocumentsFolder() + QStringLiteral("/doc.desktop"));
        LinuxProcesses p = processes();

        const ShellResult temp = p.emptyTempFolder();
        const ShellResult recent = p.clearRecentDocuments();

        QCOMPARE(temp.error, 0);
        QCOMPARE(recent.error, 0);
        QVERIFY(temp.pid > 0 && recent.pid > 0);
        QTRY_VERIFY(!QFileInfo::exists(m_temp + QStringLiteral("/old")));
        QTRY_VERIFY(!QFileInfo::exists(linux_folders::recentlyUsedFile()));
        QTRY_VERIFY(!QFileInfo::exists(linux_folders::recentDocumentsFolder() + QStringLiteral("/doc.desktop")));
        QVERIFY(QFileInfo(m_temp).isDir());
        QVERIFY(QFileInfo(linux_folders::recentDocumentsFolder()).isDir());
        // Both helpers are collected, no zombie is left.
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(temp.pid)));
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(recent.pid)));
        // What the helper removed is on record (here: standard error's stand-in).
        if (!journalRuns()) {
            const QByteArray report = readAll(m_reportPath);
            QVERIFY2(report.contains("quenby-clean: " + QFile::encodeName(m_temp) + ": 2 removed, 0 kept\n"), report);
            QVERIFY2(report.contains(QFile::encodeName(linux_folders::recentlyUsedFile()) + ": removed\n"), report);
        }
        QCOMPARE(temp.detail, QStringLiteral("empties ") + m_temp);
    }

    // A slot text beginning "deltree /Y" used to be taken for a clean-up: it is
    // a shell command like any other (here one that does not exist).
    void aSlotTextBeginningWithDeltreeIsJustACommand_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("another folder") << "/elsewhere\\temp\\*.*";
        QTest::newRow("no folder") << "\\temp\\*.*";
        QTest::newRow("the home folder itself") << (linux_folders::windowsFolder() + QStringLiteral("\\*.*"));
        QTest::newRow("lower case") << (linux_folders::windowsFolder() + QStringLiteral("\\TEMP\\*.*"));
        QTest::newRow("the temp clean-up's own text") << (linux_folders::windowsFolder() + QStringLiteral("\\temp\\*.*"));
    }
    void aSlotTextBeginningWithDeltreeIsJustACommand()
    {
        QFETCH(QString, target);
        const QString kept = m_temp + QStringLiteral("/kept.tmp");
        writeFile(kept);
        LinuxProcesses p = processes();
        const ShellResult started = p.runSlot(1, QStringLiteral("deltree /Y ") + target);
        QCOMPARE(started.error, 53);
        QCOMPARE(started.pid, 0);
        QTest::qWait(100);
        QVERIFY(QFileInfo::exists(kept));
    }

    void withoutAHomeFolderNoCleanUpRuns()
    {
        const QByteArray home = qgetenv("HOME");
        writeFile(m_temp + QStringLiteral("/kept.tmp"));
        qputenv("HOME", "/");
        LinuxProcesses p = processes();
        const ShellResult started = p.emptyTempFolder();
        qputenv("HOME", home);
        QCOMPARE(started.pid, 0);
        QCOMPARE(started.error, 0);
        QTest::qWait(100);
        QVERIFY(QFileInfo::exists(m_temp + QStringLiteral("/kept.tmp")));
    }

    void aTempFolderThatHoldsTheSessionsRuntimeFolderIsNeverEmptied_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::newRow("the runtime folder itself") << qEnvironmentVariable("XDG_RUNTIME_DIR");
        QTest::newRow("the folder above it") << QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).absolutePath();
    }
    void aTempFolderThatHoldsTheSessionsRuntimeFolderIsNeverEmptied()
    {
        QFETCH(QString, tmpdir);
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmpdir));
        const QString temp = linux_folders::tempFolder();
        qputenv("TMPDIR", saved);
        QVERIFY2(temp.isEmpty(), qPrintable(temp));
        QCOMPARE(linux_folders::tempFolder(), m_temp);
    }

    void helperIsLookedForBesideTheProgramThenInItsLibexecFolder()
    {
        const QString own = QCoreApplication::applicationDirPath();
        QCOMPARE(LinuxProcesses::defaultHelperFolders(),
                 QStringList({own, QDir::cleanPath(own + QStringLiteral("/../libexec/quenby"))}));
    }

    void missingHelperIsFileNotFound()
    {
        LinuxProcesses p(*m_journal, QStringLiteral("/bin/sh"), {QStringLiteral("/nonexistent")});
        QCOMPARE(p.emptyTempFolder().error, 53);
    }
};

QUENBY_TEST_MAIN(LinuxProcessesTest)
#include "linux_processes_test.moc"
