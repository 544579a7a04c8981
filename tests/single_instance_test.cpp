#include "scratch.h"

#include "platform/descriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

// Real copies of the program, each with the same scratch configuration
// folder, under the offscreen platform. Only run-only runs and plain starts:
// and the system bus they are given leads nowhere.
class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_copies;

    QString lockPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.lock"_qs); }
    QString iniPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.ini"_qs); }

    // `runtime`: the copy's XDG_RUNTIME_DIR; empty leaves it unset.
    QProcess *start(const QStringList &arguments = {}, const QString &runtime = u"runtime"_qs)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"XDG_RUNTIME_DIR"_qs);
        if (!runtime.isEmpty())
            env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir->filePath(runtime));
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir->filePath(u"config"_qs));
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_qs, u"unix:path="_qs + m_dir->filePath(u"no-system-bus"_qs));
        process->setProcessEnvironment(env);
        process->setProgram(qEnvironmentVariable("QUENBY_BINARY"));
        process->setArguments(arguments);
        process->start();
        m_copies.push_back(std::move(process));
        return m_copies.back().get();
    }

    void writeIni(const QByteArray &text)
    {
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(text);
        ini.close();
        QVERIFY(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    // Whether some process holds the instance lock right now.
    bool lockIsHeld() const
    {
        const int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    // A copy that is still starting has not ended either.
    static bool stillRunning(QProcess *p) { return p->state() != QProcess::NotRunning; }

private slots:
    void init()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("QUENBY_BINARY"));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->path().startsWith(quenby::test::scratchFolder()));
        for (const char *folder : {"runtime", "other-runtime", "shared-runtime", "config"})
            QVERIFY(QDir().mkpath(m_dir->filePath(QString::fromLatin1(folder))));
        const auto privateFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QFile::setPermissions(m_dir->filePath(u"runtime"_qs), privateFolder);
        QFile::setPermissions(m_dir->filePath(u"other-runtime"_qs), privateFolder);
        QFile::setPermissions(m_dir->filePath(u"shared-runtime"_qs),
                              privateFolder | QFileDevice::ReadOther | QFileDevice::ExeOther);
    }
    void cleanup()
    {
        for (auto &p : m_copies) {
            p->kill();
            p->waitForFinished(5000);
        }
        m_copies.clear();
    }

    // The lock and the way to the running copy used to live in the session's
    // runtime folder: a start from cron or su (none, or another one) or one
    // that found it unsafe (0755) ran beside the first copy on the same
    // settings file. They are found from the settings file now.
    void secondCopyEndsSilentlyAndLeavesTheStoreAlone_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::newRow("same runtime folder") << u"runtime"_qs;
        QTest::newRow("no runtime folder") << QString();
        QTest::newRow("another runtime folder") << u"other-runtime"_qs;
        QTest::newRow("runtime folder of mode 0755") << u"shared-runtime"_qs;
    }
    void secondCopyEndsSilentlyAndLeavesTheStoreAlone()
    {
        QFETCH(QString, runtime);
        writeIni("[set]\nForm1Top=1440\n");
        QProcess *first = start();
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        const QDateTime before = QFileInfo(iniPath()).lastModified();

        QProcess *second = start({}, runtime);
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(stillRunning(first));
        QCOMPARE(QFileInfo(iniPath()).lastModified(), before);
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), QByteArray("[set]\nForm1Top=1440\n"));
    }

    void aKilledCopyDoesNotKeepTheNextOneOut()
    {
        QProcess *first = start();
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        first->kill(); // SIGKILL: no chance to clean up
        QVERIFY(first->waitForFinished(5000));
        QVERIFY(QFile::exists(lockPath()));

        QProcess *next = start();
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        QTest::qWait(500);
        QVERIFY(stillRunning(next));
    }

    void ofTwoStartedTogetherExactlyOneSurvives()
    {
        for (int round = 0; round < 3; ++round) {
            QProcess *a = start();
            QProcess *b = start();
            QTRY_VERIFY_WITH_TIMEOUT(!stillRunning(a) || !stillRunning(b), 10000);
            QTest::qWait(300);
            QCOMPARE(int(stillRunning(a)) + int(stillRunning(b)), 1);
            cleanup();
        }
    }

    // A later start used to end at once with 0 whatever became of its
    // request. It waits now: for a run-only run to finish, and no longer
    // than it takes to see that the running copy is gone or never answers.
    void aLaterStartWaitsForTheOutcome_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("status");
        QTest::newRow("the run finishes") << QString() << 0;
        QTest::newRow("the running copy is killed") << u"kill"_qs << 8;
        QTest::newRow("the lock holder does not listen") << u"deaf"_qs << 7;
    }
    void aLaterStartWaitsForTheOutcome()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, status);
        const QByteArray started = QFile::encodeName(m_dir->filePath(u"started"_qs));
        const QString ran = m_dir->filePath(u"ran"_qs);
        writeIni("[set]\nCheck1=1\nkidou1=\"touch '" + started + "'; sleep 2; touch '" + QFile::encodeName(ran)
                 + "'\"\nbyou=0\n");
        QProcess *first = nullptr;
        quenby::Descriptor deaf;
        if (meanwhile == u"deaf"_qs) {
            deaf.reset(::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            QCOMPARE(::flock(deaf.get(), LOCK_EX | LOCK_NB), 0);
        } else {
            first = start();
            QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        }
        QProcess *second = start({u"--run-only"_qs}, QString());
        if (meanwhile == u"kill"_qs) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QFile::decodeName(started)), 10000);
            first->kill();
        }
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), status);
        QCOMPARE(QFile::exists(ran), status == 0);
        QCOMPARE(second->readAllStandardError().contains("quenby: "), status != 0);
    }
};

QUENBY_TEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
