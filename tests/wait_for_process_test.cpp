#include "fakes/fake_platform.h"
#include "scratch.h"

#include "run/wait_for_process.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace quenby;
using namespace quenby::test;

class WaitForProcessTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> m_platform;
    FakeProcesses &processes() { return m_platform->processes; }

    qint64 startRunning()
    {
        return processes().runSlot(1, QStringLiteral("x")).pid;
    }

private slots:
    void init()
    {
        m_platform = std::make_unique<FakePlatform>();
        processes().endAtOnce = false;
    }

    void processAlreadyGoneReturnsAfterOneRoundOfEvents()
    {
        bool handled = false;
        QTimer::singleShot(0, this, [&] { handled = true; });
        WaitForProcess(4242, processes());
        QVERIFY(handled);

        const qint64 pid = startRunning();
        processes().end(pid);
        handled = false;
        QTimer::singleShot(0, this, [&] { handled = true; });
        WaitForProcess(pid, processes());
        QVERIFY(handled);
    }

    void handlesEventsUntilTheProcessEnds()
    {
        const qint64 pid = startRunning();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(5);
        QTimer::singleShot(60, this, [&] { processes().end(pid); });
        QElapsedTimer clock;
        clock.start();

        WaitForProcess(pid, processes());

        QVERIFY(!processes().isRunning(pid));
        QVERIFY(clock.elapsed() >= 55);
        QVERIFY(ticks >= 3);
    }

    // The outer process ends first, yet the outer wait goes on only after the
    // inner one has returned; each keeps its own watch.
    void nestedWaitEndsBeforeTheOuterOneGoesOn()
    {
        const qint64 outer = startRunning();
        const qint64 inner = startRunning();
        QStringList order;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(5, this, [&] { processes().end(outer); });
            QTimer::singleShot(40, this, [&] { processes().end(inner); });
            WaitForProcess(inner, processes());
            order << QStringLiteral("inner");
        });

        WaitForProcess(outer, processes());
        order << QStringLiteral("outer");

        QCOMPARE(order, QStringList({QStringLiteral("inner"), QStringLiteral("outer")}));
    }
};

QUENBY_TEST_MAIN(WaitForProcessTest)
#include "wait_for_process_test.moc"
