#include "scratch.h"

#include "platform/show_requests.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quenby;

// The socket through which a later start reaches the running copy, in this
// test's scratch runtime folder.
class ShowRequestsTest final : public QObject
{
    Q_OBJECT

private:
    QByteArray m_runtime;

    void useRuntimeFolder(const QByteArray &folder, QFile::Permissions permissions)
    {
        QDir().mkpath(QString::fromUtf8(folder));
        QFile::setPermissions(QString::fromUtf8(folder), permissions);
        qputenv("XDG_RUNTIME_DIR", folder);
    }
    static constexpr QFile::Permissions kPrivate = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

private slots:
    void initTestCase() { m_runtime = qgetenv("XDG_RUNTIME_DIR"); }
    void cleanup() { qputenv("XDG_RUNTIME_DIR", m_runtime); }

    // Catches a request that never arrives, one that arrives twice, and a
    // socket other accounts could write to.
    void aRequestReachesTheListenerOnce()
    {
        int shown = 0;
        ShowRequests listener([&shown] { ++shown; });
        QVERIFY(listener.isListening());
        struct stat info{};
        QCOMPARE(::stat(ShowRequests::socketPath().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        ShowRequests::askRunningCopy();
        QTRY_COMPARE(shown, 1);
        QTest::qWait(50);
        QCOMPARE(shown, 1);
    }

    // Catches a second start that hangs on a copy busy in a pause, and a busy
    // copy that crashes or shows its window again and again afterwards.
    void aBusyListenerHoldsNobodyUp()
    {
        int shown = 0;
        ShowRequests listener([&shown] { ++shown; });
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 500; ++i)
            ShowRequests::askRunningCopy();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY(shown >= 1);
        QTest::qWait(50);
        QVERIFY(shown <= 2);
    }

    // Catches a socket that a killed copy left behind keeping the next copy
    // deaf, and an asker that fails when nobody listens.
    void aStaleSocketIsReplacedAndNobodyListeningIsFine()
    {
        {
            ShowRequests killed([] {});
        }
        QVERIFY(QFile::exists(QString::fromUtf8(ShowRequests::socketPath())));
        ShowRequests::askRunningCopy();
        int shown = 0;
        ShowRequests next([&shown] { ++shown; });
        QVERIFY(next.isListening());
        ShowRequests::askRunningCopy();
        QTRY_COMPARE(shown, 1);
    }

    // Catches a socket put where other accounts may reach it, and a runtime
    // folder too deep for a socket address that silently disables the request.
    void onlyAPrivateRuntimeFolderIsUsed()
    {
        useRuntimeFolder(m_runtime + "/shared", kPrivate | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        QVERIFY(ShowRequests::socketPath().isEmpty());
        ShowRequests shared([] {});
        QVERIFY(!shared.isListening());
        ShowRequests::askRunningCopy();

        const QByteArray deep = m_runtime + '/' + QByteArray(60, 'd') + '/' + QByteArray(60, 'e');
        useRuntimeFolder(deep, kPrivate);
        QVERIFY(ShowRequests::socketPath().size() > qsizetype(sizeof(sockaddr_un::sun_path)));
        int shown = 0;
        ShowRequests listener([&shown] { ++shown; });
        QVERIFY(listener.isListening());
        ShowRequests::askRunningCopy();
        QTRY_COMPARE(shown, 1);
    }
};

QUENBY_TEST_MAIN(ShowRequestsTest)
#include "show_requests_test.moc"
