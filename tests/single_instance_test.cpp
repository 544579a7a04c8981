#include "scratch.h"

#include "platform/linux_desktop.h"

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

    QProcess *start(const QStringList &wrapper = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir->filePath(u"runtime"_qs));
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir->filePath(u"config"_qs));
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        process->setProcessEnvironment(env);
        if (wrapper.isEmpty()) {
            process->setProgram(qEnvironmentVariable("QUENBY_BINARY"));
        } else {
            process->setProgram(wrapper.first());
            process->setArguments(wrapper.mid(1) << qEnvironmentVariable("QUENBY_BINARY"));
        }
        process->start();
        m_copies.push_back(std::move(process));
        return m_copies.back().get();
    }

    // Whether some process holds the instance lock right now.
    bool lockIsHeld() const { return lockIsHeldAt(lockPath()); }
    static bool lockIsHeldAt(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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

    // A lock file that is not a regular file of our own, or a runtime folder
    // we cannot write, must not switch the rule off: the lock moves to the
    // configuration folder and still keeps a second copy out.
    void theRuleHoldsWhenTheRuntimeLockCannotBeTrusted_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << u"folder"_qs;
        QTest::newRow("link") << u"link"_qs;
        QTest::newRow("fifo") << u"fifo"_qs;
        QTest::newRow("read-only runtime folder") << u"read-only"_qs;
    }
    void theRuleHoldsWhenTheRuntimeLockCannotBeTrusted()
    {
        QFETCH(QString, kind);
        QStringList wrapper;
        if (kind == u"folder"_qs) {
            QVERIFY(QDir().mkpath(lockPath()));
        } else if (kind == u"link"_qs) {
            QFile elsewhere(m_dir->filePath(u"elsewhere.lock"_qs));
            QVERIFY(elsewhere.open(QIODevice::WriteOnly));
            QVERIFY(QFile::link(elsewhere.fileName(), lockPath()));
        } else if (kind == u"fifo"_qs) {
            QCOMPARE(::mkfifo(QFile::encodeName(lockPath()).constData(), 0600), 0);
        } else {
            // Root writes anywhere: the folder is made read-only by a mount
            // of its own, in a mount namespace that ends with the copy.
            const QString runtime = m_dir->filePath(u"runtime"_qs);
            wrapper = QStringList{u"unshare"_qs, u"--mount"_qs, u"sh"_qs, u"-c"_qs,
                                  u"mount --make-rprivate / && mount --bind \"$1\" \"$1\" && "
                                  u"mount -o remount,bind,ro \"$1\" \"$1\" || exit 77; exec \"$2\""_qs,
                                  u"sh"_qs, runtime};
            if (QProcess::execute(wrapper.first(), wrapper.mid(1) << u"/bin/true"_qs) != 0)
                QSKIP("mounting is not permitted here");
        }
        const QString fallback = m_dir->filePath(u"config/TARVEN Inc.Quenby.lock"_qs);
        QProcess *first = start(wrapper);
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeldAt(fallback), 10000);
        QProcess *second = start(wrapper);
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(stillRunning(first));
    }
};

QUENBY_TEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
