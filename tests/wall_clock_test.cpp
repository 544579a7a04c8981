#include "processor_time.h"
#include "scratch.h"

#include "platform/linux/wall_clock.h"
#include "run/pause.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace quenby;
using namespace quenby::test;

// The pause on the real clock: its bounds, its cost, and that timers (window
// repaints, the window manager's pings) are still served during it.
class WallClockTest final : public QObject
{
    Q_OBJECT

private slots:
    void pauseOfOneSecondLastsMoreThanOneAndAtMostTwoAtNoCost()
    {
        WallClock clock;
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(100);
        QElapsedTimer elapsed;
        const qint64 startSecond = clock.nowSeconds();
        elapsed.start();
        const double before = processorSeconds();

        QCOMPARE(PauseSeconds(1, clock), 0);

        const double used = processorSeconds() - before;
        QVERIFY(clock.nowSeconds() > startSecond + 1);
        QVERIFY(elapsed.elapsed() >= 1000);
        QVERIFY2(elapsed.elapsed() <= 2050, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(used < 0.05, qPrintable(QString::number(used)));
        QVERIFY(ticks >= 5);
    }
};

QUENBY_TEST_MAIN(WallClockTest)
#include "wall_clock_test.moc"
