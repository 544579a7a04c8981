#include "scratch.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// What the JPEG headers say about the picture.
struct JpegFacts
{
    bool jfif = false;
    int densityUnits = 0; // 1 = dots per inch
    int xDensity = 0;
    int yDensity = 0;
    int frameMarker = 0; // 0xC0 baseline, 0xC2 progressive, ...
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
};

int word(const QByteArray &bytes, qsizetype at)
{
    return (quint8(bytes[at]) << 8) | quint8(bytes[at + 1]);
}

bool isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<JpegFacts> readJpegFacts(const QByteArray &bytes)
{
    if (bytes.size() < 4 || quint8(bytes[0]) != 0xFF || quint8(bytes[1]) != 0xD8)
        return std::nullopt;
    JpegFacts facts;
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && quint8(bytes[at]) == 0xFF) {
        const int marker = quint8(bytes[at + 1]);
        const int length = word(bytes, at + 2);
        const qsizetype body = at + 4;
        if (body + length - 2 > bytes.size())
            return std::nullopt;
        if (marker == 0xE0 && bytes.mid(body, 5) == QByteArray("JFIF", 5)) {
            facts.jfif = true;
            facts.densityUnits = quint8(bytes[body + 7]);
            facts.xDensity = word(bytes, body + 8);
            facts.yDensity = word(bytes, body + 10);
        } else if (isFrameMarker(marker)) {
            facts.frameMarker = marker;
            facts.precision = quint8(bytes[body]);
            facts.height = word(bytes, body + 1);
            facts.width = word(bytes, body + 3);
            facts.components = quint8(bytes[body + 5]);
            return facts;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The banner and the icons are drawn by a script; these catch a regenerated
// picture that no longer fits the window or the icon theme.
class ArtworkTest final : public QObject
{
    Q_OBJECT

private slots:
    // The banner for screens of twice the density is the same picture drawn at
    // twice the size; it is shown in the same 289 x 145 place.
    void bannersAreBaselineJfifsOfTheirSize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("scale");
        QTest::newRow("1x") << QStringLiteral(":/banner.jpg") << 1;
        QTest::newRow("2x") << QStringLiteral(":/banner@2x.jpg") << 2;
    }

    void bannersAreBaselineJfifsOfTheirSize()
    {
        QFETCH(QString, path);
        QFETCH(int, scale);
        const std::optional<JpegFacts> facts = readJpegFacts(readAll(path));
        QVERIFY(facts);
        QVERIFY(facts->jfif);
        QCOMPARE(facts->frameMarker, 0xC0);
        QCOMPARE(facts->precision, 8);
        QCOMPARE(facts->components, 3);
        QCOMPARE(facts->width, 289 * scale);
        QCOMPARE(facts->height, 145 * scale);
        QCOMPARE(facts->densityUnits, 1);
        QCOMPARE(facts->xDensity, 96 * scale);
        QCOMPARE(facts->yDensity, 96 * scale);
    }

    // The status line is pure green, the version and credit lines dark red
    // (192, 0, 0): the ground under each must leave them readable, in both banners.
    void textAreasOfTheBannerKeepTheirTextReadable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<bool>("forGreenText");
        for (int scale : {1, 2}) {
            const QString path = scale == 1 ? QStringLiteral(":/banner.jpg") : QStringLiteral(":/banner@2x.jpg");
            QTest::addRow("status line %dx", scale) << path << scale << QRect(32, 8, 233, 17) << true;
            QTest::addRow("version line %dx", scale) << path << scale << QRect(144, 96, 60, 13) << false;
            QTest::addRow("credit line %dx", scale) << path << scale << QRect(32, 112, 233, 28) << false;
        }
    }

    void textAreasOfTheBannerKeepTheirTextReadable()
    {
        QFETCH(QString, path);
        QFETCH(int, scale);
        QFETCH(QRect, area);
        QFETCH(bool, forGreenText);
        const QImage banner(path);
        QVERIFY(!banner.isNull());
        const QRect pixels(area.topLeft() * scale, area.size() * scale);
        const double text = forGreenText ? luminance(QColor(0, 255, 0)) : luminance(QColor(192, 0, 0));
        for (int y = pixels.top(); y <= pixels.bottom(); y += 2) {
            for (int x = pixels.left(); x <= pixels.right(); x += 2) {
                const double ground = luminance(banner.pixelColor(x, y));
                const double contrast = (std::max(text, ground) + 0.05) / (std::min(text, ground) + 0.05);
                if (contrast < 4.0)
                    QFAIL(qPrintable(QStringLiteral("contrast %1 at (%2, %3)").arg(contrast).arg(x).arg(y)));
            }
        }
    }

    void windowIconIs32By32WithTransparentCorners()
    {
        const QImage icon(QStringLiteral(":/icon.png"));
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(icon.pixelColor(16, 16).alpha(), 255);
    }

    void themeIconsHaveTheSizeOfTheirFolder_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {32, 48, 64, 128})
            QTest::addRow("%d", size) << size;
    }

    void themeIconsHaveTheSizeOfTheirFolder()
    {
        QFETCH(int, size);
        const QString path = QFINDTESTDATA(
            QStringLiteral("../data/icons/hicolor/%1x%1/apps/jp.tarven.Quenby.png").arg(size));
        QVERIFY(!path.isEmpty());
        QCOMPARE(QImage(path).size(), QSize(size, size));
    }

    void windowIconsAreTheThemeIcons_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<int>("size");
        QTest::newRow("1x") << QStringLiteral(":/icon.png") << 32;
        QTest::newRow("2x") << QStringLiteral(":/icon@2x.png") << 64;
    }

    void windowIconsAreTheThemeIcons()
    {
        QFETCH(QString, resource);
        QFETCH(int, size);
        const QString path =
            QFINDTESTDATA(QStringLiteral("../data/icons/hicolor/%1x%1/apps/jp.tarven.Quenby.png").arg(size));
        QCOMPARE(readAll(resource), readAll(path));
    }

private:
    static double channel(double c)
    {
        c /= 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }

    static double luminance(const QColor &colour)
    {
        return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) + 0.0722 * channel(colour.blue());
    }
};

QUENBY_TEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
