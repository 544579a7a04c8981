#include "scratch.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

// Real copies of the program, each with the same scratch configuration
// folder, under the offscreen platform; the system bus they get leads nowhere.
class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_copies;

    QString lockPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.lock"_qs); }
    QString iniPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.ini"_qs); }

    // An X display that takes each connection and closes it unanswered, as one
    // that turns the client away; in the abstract namespace, which X clients try first.
    struct TurningAwayDisplay
    {
        const QString name = u":"_qs + QString::number(5000 + ::getpid() % 4000);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        std::thread closer;
        TurningAwayDisplay()
        {
            const QByteArray path = "/tmp/.X11-unix/X" + name.mid(1).toLatin1();
            sockaddr_un address{AF_UNIX, {}};
            std::memcpy(address.sun_path + 1, path.constData(), size_t(path.size()));
            if (::bind(fd, reinterpret_cast<sockaddr *>(&address), socklen_t(sizeof(sa_family_t) + 1 + path.size())) == 0
                && ::listen(fd, 8) == 0)
                closer = std::thread([this] { for (int c; (c = ::accept(fd, nullptr, nullptr)) >= 0;) ::close(c); });
        }
        ~TurningAwayDisplay() { ::shutdown(fd, SHUT_RDWR); if (closer.joinable()) closer.join(); ::close(fd); }
    };

    // `runtime`: the copy's XDG_RUNTIME_DIR, none when empty; `xDisplay`: its
    // DISPLAY when it has none that works.
    QProcess *start(const QString &runtime = u"runtime"_qs, const QStringList &args = {}, bool display = true,
                    const QString &xDisplay = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir->filePath(runtime));
        if (runtime.isEmpty())
            env.remove(u"XDG_RUNTIME_DIR"_qs);
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir->filePath(u"config"_qs));
        env.insert(u"QT_QPA_PLATFORM"_qs, display ? u"offscreen"_qs : u"xcb"_qs);
        env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_qs, u"unix:path=/nonexistent"_qs);
        if (!display)
            env.insert(u"DISPLAY"_qs, xDisplay);
        process->setProcessEnvironment(env);
        process->setProgram(qEnvironmentVariable("QUENBY_BINARY"));
        process->setArguments(args);
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

    // A copy that is still starting has not ended either.
    static bool stillRunning(QProcess *p) { return p->state() != QProcess::NotRunning; }

private slots:
    void init()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("QUENBY_BINARY"));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->path().startsWith(quenby::test::scratchFolder()));
        for (const QString &runtime : {u"runtime"_qs, u"other-runtime"_qs, u"shared-runtime"_qs}) {
            QDir().mkpath(m_dir->filePath(runtime));
            QFile::setPermissions(m_dir->filePath(runtime), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                  | (runtime.startsWith(u's') ? QFileDevice::ReadOther | QFileDevice::ExeOther : QFileDevice::Permissions()));
        }
    }
    void cleanup()
    {
        for (auto &p : m_copies) {
            p->kill();
            p->waitForFinished(5000);
        }
        m_copies.clear();
    }

    // The lock and the way to the running copy used to be in the session's
    // runtime folder: a start from cron or su (none, or another one) or one
    // that found it unsafe (0755) ran beside the first copy on the same
    // settings file. A lock holder that does not listen is said in one line.
    void secondCopyEndsSilentlyAndLeavesTheStoreAlone_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<int>("status");
        QTest::newRow("same runtime folder") << u"runtime"_qs << 0;
        QTest::newRow("no runtime folder") << QString() << 0;
        QTest::newRow("another runtime folder") << u"other-runtime"_qs << 0;
        QTest::newRow("runtime folder of mode 0755") << u"shared-runtime"_qs << 0;
        QTest::newRow("a lock holder that does not listen") << u"runtime"_qs << 7;
    }
    void secondCopyEndsSilentlyAndLeavesTheStoreAlone()
    {
        QFETCH(QString, runtime);
        QFETCH(int, status);
        QDir().mkpath(QFileInfo(iniPath()).absolutePath());
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[set]\nForm1Top=1440\n");
        ini.close();
        QVERIFY(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        QProcess *first = status == 0 ? start() : nullptr;
        const int deaf = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(first || ::flock(deaf, LOCK_EX) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(lockIsHeld(), 10000);
        const QDateTime before = QFileInfo(iniPath()).lastModified();

        QProcess *second = start(runtime);
        QVERIFY(second->waitForFinished(10000));
        ::close(deaf);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), status);
        QCOMPARE(second->readAllStandardError().count("quenby: "), status == 0 ? 0 : 1);
        QVERIFY(!first || stillRunning(first));
        QCOMPARE(QFileInfo(iniPath()).lastModified(), before);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), QByteArray("[set]\nForm1Top=1440\n"));
    }

    // A start without a display, or with one that turns it away, ended with
    // status 1 beside a copy that could take its request; one that could not
    // tell whether a copy runs ran anyway.
    void aStartThatCannotShowOrTellStartsNoRunOfItsOwn_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("display");
        QTest::addColumn<QStringList>("option");
        QTest::addColumn<int>("status");
        QTest::newRow("no display, a copy runs") << u"held"_qs << false << QStringList() << 0;
        QTest::newRow("a display that turns it away, a copy runs") << u"held, turned away"_qs << false << QStringList() << 0;
        QTest::newRow("no display, no copy runs") << QString() << false << QStringList{u"--shutdown"_qs} << 1;
        QTest::newRow("lock file a folder") << u"folder"_qs << true << QStringList{u"--shutdown"_qs} << 7;
        QTest::newRow("lock file a link, no display") << u"link"_qs << false << QStringList{u"--run-only"_qs} << 7;
    }
    void aStartThatCannotShowOrTellStartsNoRunOfItsOwn()
    {
        QFETCH(QString, lock);
        QFETCH(bool, display);
        QFETCH(QStringList, option);
        QFETCH(int, status);
        QVERIFY(QDir().mkpath(lock == u"folder" ? lockPath() : QFileInfo(lockPath()).path()));
        QVERIFY(lock != u"link" || QFile::link(iniPath(), lockPath()));
        QProcess *first = lock.startsWith(u"held") ? start() : nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(!first || lockIsHeld(), 10000);
        const std::unique_ptr<TurningAwayDisplay> x(lock.endsWith(u"turned away") ? new TurningAwayDisplay : nullptr);
        QProcess *later = start(u"runtime"_qs, option, display, x ? x->name : QString());
        QVERIFY(later->waitForFinished(10000));
        QCOMPARE(later->exitCode(), status);
        QCOMPARE(later->readAllStandardError().count("quenby: "), status == 0 ? 0 : 1);
        QVERIFY(!lock.isEmpty() || !QFile::exists(lockPath()));
        QVERIFY(!first || stillRunning(first));
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
