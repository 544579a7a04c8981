#include "scratch.h"

#include "platform/linux_desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <vector>

// Real copies of the program, each with the same scratch runtime and
// configuration folders, under the offscreen platform.
class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_copies;

    QString lockPath() const { return m_dir->filePath(u"runtime/TARVEN Inc.Quenby.lock"_qs); }
    QString iniPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.ini"_qs); }

    QProcess *start()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir->filePath(u"runtime"_qs));
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir->filePath(u"config"_qs));
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        process->setProcessEnvironment(env);
        process->setProgram(qEnvironmentVariable("QUENBY_BINARY"));
        process->start();
        m_copies.push_back(std::move(process));
        return m_copies.back().get();
    }

    // Whether some process holds the instance lock right now.
    bool lockIsHeld() const
    {
        const int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    static bool stillRunning(QProcess *p) { return p->state() == QProcess::Running; }

private slots:
    void init()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("QUENBY_BINARY"));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->path().startsWith(quenby::test::scratchFolder()));
        QDir().mkpath(m_dir->filePath(u"runtime"_qs));
        QFile::setPermissions(m_dir->filePath(u"runtime"_qs), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void cleanup()
    {
        for (auto &p : m_copies) {
            p->kill();
            p->waitForFinished(5000);
        }
        m_copies.clear();
    }

    // Without a session runtime folder the lock goes to the configuration
    // folder, never to a stand-in under the temporary folder that a clean-up empties.
    void theLockLivesInTheRuntimeFolderOrElseTheConfigurationFolder()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        QCOMPARE(quenby::LinuxDesktop::instanceLockPath(), qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/TARVEN Inc.Quenby.lock"_qs);
        qunsetenv("XDG_RUNTIME_DIR");
        const QString fallback = quenby::LinuxDesktop::instanceLockPath();
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(fallback, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/TARVEN Inc.Quenby.lock"_qs);
    }

    void secondCopyEndsSilentlyAndLeavesTheStoreAlone()
    {
        QDir().mkpath(QFileInfo(iniPath()).absolutePath());
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[set]\nForm1Top=1440\n");
        ini.close();
        QVERIFY(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        QProcess *first = start();
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        const QDateTime before = QFileInfo(iniPath()).lastModified();

        QProcess *second = start();
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(stillRunning(first));
        QCOMPARE(QFileInfo(iniPath()).lastModified(), before);
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
};

QUENBY_TEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
