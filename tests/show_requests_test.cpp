#include "scratch.h"

#include "platform/show_requests.h"

#include <QDir>
#include <QElapsedTimer>

#include <sys/stat.h>

using namespace quenby;

// The socket through which a later start reaches the running copy, in this
// test's scratch runtime folder (mode 0700).
class ShowRequestsTest final : public QObject
{
    Q_OBJECT

private slots:
    // Catches a request that never arrives or arrives twice, a socket others
    // could write to, a socket left by a killed copy keeping the next one deaf,
    // and a second start held up by a copy too busy to read (a pause).
    void aLaterStartReachesTheListenerWithoutWaiting()
    {
        {
            ShowRequests killed([](StartRequest) {});
        }
        int shown = 0;
        QList<StartRequest> runs;
        ShowRequests listener([&](StartRequest request) {
            if (request == StartRequest::Show)
                ++shown;
            else
                runs << request;
        });
        QVERIFY(listener.isListening());
        struct stat info{};
        QCOMPARE(::stat(ShowRequests::socketPath().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 1000; ++i)
            ShowRequests::askRunningCopy();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(shown, 1);
        ShowRequests::askRunningCopy();
        QTRY_COMPARE(shown, 2);

        // Every run asked for is handed on, in order, each on its own.
        const QList<StartRequest> asked{StartRequest::RunOnly, StartRequest::ShutDown, StartRequest::RunOnly,
                                        StartRequest::Restart, StartRequest::Suspend};
        for (StartRequest request : asked)
            ShowRequests::askRunningCopy(request);
        QTRY_COMPARE(runs, asked);
    }

    // Catches a socket put where other accounts may reach it.
    void onlyAPrivateRuntimeFolderIsUsed()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        QDir().mkpath(QString::fromUtf8(runtime + "/shared"));
        qputenv("XDG_RUNTIME_DIR", runtime + "/shared");
        const bool listening = ShowRequests([](StartRequest) {}).isListening();
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY(!listening);
    }
};

QUENBY_TEST_MAIN(ShowRequestsTest)
#include "show_requests_test.moc"
