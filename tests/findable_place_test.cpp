#include "scratch.h"

#include "main_window/findable_place.h"
#include "main_window/twips.h"

#include <limits>

using namespace quenby;

Q_DECLARE_METATYPE(quenby::ScreenArea)

namespace {

// A 1024 x 768 laptop screen with a 30-pixel panel at the top and, to its
// right, a 1920 x 1080 monitor without panels.
const ScreenArea kLaptop{{0, 0, 1024, 768}, {0, 30, 1024, 738}};
const ScreenArea kMonitor{{1024, 0, 1920, 1080}, {1024, 0, 1920, 1080}};
const QSize kMainWindow(372, 146);
const QSize kSettingsWindow(500, 436);
const QRect kButtonRow(216, 408, 274, 21);

} // namespace

class FindablePlaceTest final : public QObject
{
    Q_OBJECT

private slots:
    void mainWindowMovesOnlyWhenNothingOfItShows_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QPoint>("shown");
        const QList<ScreenArea> one{kLaptop};
        const QList<ScreenArea> two{kLaptop, kMonitor};
        QTest::newRow("on screen") << QPoint(192, 96) << one << QPoint(192, 96);
        QTest::newRow("10 px off the left edge stays") << QPoint(-10, 0) << one << QPoint(-10, 0);
        QTest::newRow("mostly off the bottom, a strip to grab stays") << QPoint(500, 740) << one << QPoint(500, 740);
        QTest::newRow("a 5-pixel sliver is not enough") << QPoint(1019, 200) << one << QPoint(0, 30);
        QTest::newRow("below the screen: to the free corner") << QPoint(2000, 0) << one << QPoint(0, 30);
        QTest::newRow("on the second monitor stays") << QPoint(2000, 500) << two << QPoint(2000, 500);
        QTest::newRow("monitor unplugged: nearest screen") << QPoint(2000, 500) << one << QPoint(0, 30);
        QTest::newRow("beyond the monitor: its corner") << QPoint(5000, 500) << two << QPoint(1024, 0);
        QTest::newRow("far left and up: laptop") << QPoint(-16777216, -16777216) << two << QPoint(0, 30);
        QTest::newRow("no screen at all: left alone") << QPoint(5000, 5000) << QList<ScreenArea>{} << QPoint(5000, 5000);
    }
    // Catches a window that ends up where nobody can see it, and a window
    // pulled away from a place the user chose on purpose.
    void mainWindowMovesOnlyWhenNothingOfItShows()
    {
        QFETCH(QPoint, stored);
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QPoint, shown);
        QCOMPARE(findablePlace(QRect(stored, kMainWindow), screens), shown);
    }

    void settingsWindowKeepsItsButtonRowOnScreen_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QPoint>("shown");
        const QList<ScreenArea> one{kLaptop};
        // A 1920 x 1080 screen at scale 2 is 960 x 540 to the program.
        const QList<ScreenArea> scaled{{{0, 0, 960, 540}, {0, 0, 960, 540}}};
        QTest::newRow("on screen") << QPoint(40, 20) << one << QPoint(40, 20);
        QTest::newRow("10 px off the left edge stays") << QPoint(-10, 40) << one << QPoint(-10, 40);
        QTest::newRow("row below the bottom: lifted just enough")
            << QPoint(100, 400) << one << QPoint(100, 768 - 429 - 32);
        QTest::newRow("row past the right edge: moved in just enough")
            << QPoint(900, 40) << one << QPoint(1024 - 490 - 8, 40);
        QTest::newRow("scaled screen, stored low") << QPoint(0, 200) << scaled << QPoint(0, 540 - 429 - 32);
        QTest::newRow("nowhere: free corner of the nearest screen") << QPoint(3000, 3000) << one << QPoint(0, 30);
        QTest::newRow("taller than the screen: the row wins over the title bar")
            << QPoint(0, 0) << QList<ScreenArea>{{{0, 0, 800, 400}, {0, 0, 800, 400}}}
            << QPoint(0, 400 - 429 - 32);
    }
    // Catches a settings window whose OK / Cancel / apply buttons cannot be reached.
    void settingsWindowKeepsItsButtonRowOnScreen()
    {
        QFETCH(QPoint, stored);
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QPoint, shown);
        const QPoint placed = findablePlace(QRect(stored, kSettingsWindow), kButtonRow, screens);
        QCOMPARE(placed, shown);
    }

    // Catches an undefined float-to-int conversion of a hand-edited position:
    // whatever the store holds, the pixels stay in a range windows can be moved to.
    void positionsFarOutsideTheIntRangeConvertSafely()
    {
        const double far[] = {1e30, -1e30, double(std::numeric_limits<float>::max()), 4e9,
                              std::numeric_limits<double>::quiet_NaN()};
        for (double twips : far) {
            const int pixels = twipsToPixels(twips);
            QVERIFY2(qAbs(qint64(pixels)) <= (1 << 24), qPrintable(QString::number(twips)));
            QVERIFY(!QRect(QPoint(pixels, pixels), kSettingsWindow).isEmpty());
        }
        QCOMPARE(twipsToPixels(-150), -10);
        QCOMPARE(twipsToPixels(37.5), 2);
    }

    // Catches a store rewritten because a window was moved back on screen,
    // and a user's own move that is then not remembered.
    void savingKeepsTheStoredPlaceUntilTheUserMovesTheWindow()
    {
        const StoredPlace movedBack(450000.0f, 1e30f, QPoint(1 << 24, 30000), QPoint(0, 30));
        QCOMPARE(movedBack.topToSave(QPoint(0, 30)), 450000.0f);
        QCOMPARE(movedBack.leftToSave(QPoint(0, 30)), 1e30f);
        QCOMPARE(movedBack.topToSave(QPoint(20, 30)), 450.0f);
        QCOMPARE(movedBack.leftToSave(QPoint(20, 30)), 300.0f);

        const StoredPlace asStored(22.5f, 37.5f, QPoint(2, 2), QPoint(2, 2));
        QCOMPARE(asStored.topToSave(QPoint(2, 2)), 30.0f);
    }
};

QUENBY_TEST_MAIN(FindablePlaceTest)
#include "findable_place_test.moc"
