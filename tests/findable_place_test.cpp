#include "scratch.h"

#include "window_common/findable_place.h"
#include "window_common/twips.h"

#include <limits>

using namespace quenby;

Q_DECLARE_METATYPE(quenby::ScreenArea)

namespace {

// A 1024 x 768 laptop screen with a 30-pixel panel at the top and, to its
// right, a 1920 x 1080 monitor.
const ScreenArea kLaptop{{0, 0, 1024, 768}, {0, 30, 1024, 738}};
const ScreenArea kMonitor{{1024, 0, 1920, 1080}, {1024, 0, 1920, 1080}};

} // namespace

class FindablePlaceTest final : public QObject
{
    Q_OBJECT

private slots:
    void placement_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<bool>("settings");
        QTest::addColumn<QPoint>("shown");
        const QList<ScreenArea> one{kLaptop};
        const QList<ScreenArea> two{kLaptop, kMonitor};
        QTest::newRow("10 px off the left edge stays") << QPoint(-10, 0) << one << false << QPoint(-10, 0);
        QTest::newRow("a strip to grab stays") << QPoint(500, 740) << one << false << QPoint(500, 740);
        QTest::newRow("a 5-pixel sliver is not enough") << QPoint(1019, 200) << one << false << QPoint(0, 30);
        QTest::newRow("on the second monitor stays") << QPoint(2000, 500) << two << false << QPoint(2000, 500);
        QTest::newRow("monitor unplugged") << QPoint(2000, 500) << one << false << QPoint(0, 30);
        QTest::newRow("beyond the monitor: its corner") << QPoint(5000, 500) << two << false << QPoint(1024, 0);
        QTest::newRow("no screen: left alone") << QPoint(5000, 5000) << QList<ScreenArea>{} << false
                                               << QPoint(5000, 5000);
        // The settings window's button row stands 408..428 px down, 216..489 across,
        // below a title bar of up to 32 px and beside a border of up to 8.
        QTest::newRow("settings: row below the bottom, lifted just enough")
            << QPoint(100, 400) << one << true << QPoint(100, 767 - 428 - 32);
        QTest::newRow("settings: row past the right edge")
            << QPoint(900, 40) << one << true << QPoint(1023 - 489 - 8, 40);
        QTest::newRow("settings: taller than the screen, the row wins")
            << QPoint(0, 0) << QList<ScreenArea>{{{0, 0, 800, 400}, {0, 0, 800, 400}}} << true
            << QPoint(0, 399 - 428 - 32);
    }
    // Catches a window that ends up where nobody can see it or whose buttons
    // cannot be reached, and a window pulled away from a place chosen on purpose.
    void placement()
    {
        QFETCH(QPoint, stored);
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(bool, settings);
        QFETCH(QPoint, shown);
        const QRect settingsRow(216, 408, 274, 21);
        const QPoint placed = settings ? findablePlace(QRect(stored, QSize(500, 436)), settingsRow, screens)
                                       : findablePlace(QRect(stored, QSize(372, 146)), screens);
        QCOMPARE(placed, shown);
    }

    // Catches an undefined float-to-int conversion of a hand-edited position.
    void positionsFarOutsideTheIntRangeConvertSafely()
    {
        for (double twips : {1e30, -1e30, double(std::numeric_limits<float>::max()), 4e9,
                             std::numeric_limits<double>::quiet_NaN()}) {
            const int pixels = twipsToPixels(twips);
            QVERIFY2(qAbs(qint64(pixels)) <= (1 << 24), qPrintable(QString::number(twips)));
        }
        QCOMPARE(twipsToPixels(-150), -10);
    }
};

QUENBY_TEST_MAIN(FindablePlaceTest)
#include "findable_place_test.moc"
