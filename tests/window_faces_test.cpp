#include "form2_harness.h"
#include "scratch.h"

#include "main_window/main_window_view.h"

#include <QCheckBox>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>

#include <cstdio>

using namespace quenby;
using namespace quenby::test;

// Fontconfig and Qt take the session's language when the application object
// is made, so each language is looked at by a process of its own: this test
// starts itself with --report under each environment, and the report lists,
// for every caption and label of both windows, the faces that draw its text
// and what does not fit.
namespace {

const char kReportSwitch[] = "--report";

// Texts the main window's status line shows during a run.
const char16_t *const kStatusTexts[] = {u"設定内容を処理中", u"設定された処理は終了しました", u"Windowsを再起動します",
                                        u"Windowsを終了します"};

// A face's PostScript name (name record 6, ASCII in either encoding), which
// unlike the family name it is listed under is the same in every language.
QString faceName(const QRawFont &face)
{
    const QByteArray table = face.fontTable("name");
    const auto word = [&table](qsizetype at) {
        return at + 2 <= table.size() ? (quint8(table[at]) << 8) | quint8(table[at + 1]) : 0;
    };
    for (int i = 0; i < word(2); ++i) {
        const qsizetype record = 6 + 12 * i;
        if (word(record + 6) == 6)
            return QString::fromLatin1(table.mid(word(4) + word(record + 10), word(record + 8)).replace('\0', ""));
    }
    return face.familyName();
}

// A face draws Latin letters of one width when 'i' is as wide as 'M'.
bool isFixedWidth(const QRawFont &face)
{
    const QList<QPointF> advances = face.advancesForGlyphIndexes(face.glyphIndexesForString(QStringLiteral("iM")));
    return advances.size() == 2 && qFuzzyCompare(advances[0].x(), advances[1].x());
}

// Draws the text unclipped, as the control draws it, in the middle of a
// picture with room all around the box, and returns the ink that lies outside
// the box (in the box's pixels; null when there is none).
QRect inkOutsideBox(const QWidget *control, const QString &text, QSize room, int flags)
{
    const int margin = 100;
    const qreal ratio = control->devicePixelRatioF();
    QImage picture((room + QSize(2 * margin, 2 * margin)) * ratio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    const QRect box(QPoint(margin, margin), room);
    QPainter painter(&picture);
    painter.setFont(control->font());
    painter.setPen(Qt::black);
    painter.drawText(box, flags | Qt::TextDontClip, text);
    painter.end();
    QRect outside;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QPoint at(qFloor(x / ratio), qFloor(y / ratio));
            if (qAlpha(picture.pixel(x, y)) >= 96 && !box.contains(at))
                outside |= QRect(at - box.topLeft(), QSize(1, 1));
        }
    }
    return outside;
}

struct Report
{
    QMap<QString, QString> faces; // control -> faces that draw its text, sorted
    QMap<QString, QString> pictures; // picture -> place, then the pixmap's pixels and ratio
    QStringList faults;

    void look(const QString &name, const QWidget *control, const QString &caption, QSize room, int textFlags);
};

void Report::look(const QString &name, const QWidget *control, const QString &caption, QSize room, int textFlags)
{
    QString plain = caption;
    plain.remove(u'&');
    QTextLayout layout(plain, control->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList used;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont face = run.rawFont();
        if (!used.contains(faceName(face)))
            used << faceName(face);
        if (isFixedWidth(face))
            faults << QStringLiteral("%1: fixed-width face %2").arg(name, faceName(face));
    }
    used.sort();
    faces[name] = used.join(u'+');

    const QRect ink = inkOutsideBox(control, caption, room, textFlags);
    if (!ink.isNull())
        faults << QStringLiteral("%1: \"%2\" draws outside its %3x%4 box, at %5,%6 %7x%8")
                      .arg(name, QString(caption).replace(u'\n', u' '))
                      .arg(room.width())
                      .arg(room.height())
                      .arg(ink.x())
                      .arg(ink.y())
                      .arg(ink.width())
                      .arg(ink.height());
}

void lookAtLabel(Report &report, const QString &name, const QLabel *label)
{
    const int wrap = label->wordWrap() ? int(Qt::TextWordWrap) : 0;
    report.look(name, label, label->text(), label->contentsRect().size(), int(label->alignment()) | wrap);
}

void lookAtButton(Report &report, const QString &name, const QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool check = qobject_cast<const QCheckBox *>(button);
    const QRect room = button->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                                       &option, button);
    report.look(name, button, button->text(), room.size(), Qt::TextShowMnemonic);
}

void lookAtWindow(Report &report, const QString &window, const QWidget *top)
{
    for (const QLabel *label : top->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            lookAtLabel(report, window + u'.' + label->objectName(), label);
    }
    for (const QAbstractButton *button : top->findChildren<QAbstractButton *>())
        lookAtButton(report, window + u'.' + button->objectName(), button);
}

// Builds both windows as the program does and prints one line per control
// ("faces<TAB>control=faces") and one per fault ("fault<TAB>text").
int printReport()
{
    SettingsHarness harness;
    harness.form1 = std::make_unique<Form1>(harness.services);
    harness.form1->Form_Load();
    Report report;
    MainWindowView *main = harness.form1->window();
    lookAtWindow(report, QStringLiteral("Form1"), main);
    for (const QLabel *label : {main->banner, main->Image3}) {
        const QRect place = label->geometry();
        const QPixmap pixmap = label->pixmap();
        std::printf("picture\t%s=%d,%d %dx%d %dx%d@%g\n", qPrintable(label->objectName()), place.x(), place.y(),
                    place.width(), place.height(), pixmap.width(), pixmap.height(), pixmap.devicePixelRatio());
    }
    for (const char16_t *status : kStatusTexts) {
        main->Label1->setText(QString::fromUtf16(status));
        lookAtLabel(report, QStringLiteral("Form1.Label1 ") + main->Label1->text(), main->Label1);
    }
    lookAtWindow(report, QStringLiteral("Form2"), harness.open());
    for (auto it = report.faces.cbegin(); it != report.faces.cend(); ++it)
        std::printf("faces\t%s=%s\n", qPrintable(it.key()), qPrintable(it.value()));
    for (const QString &fault : std::as_const(report.faults))
        std::printf("fault\t%s\n", qPrintable(fault));
    return 0;
}

struct Session
{
    QString language; // LANG, or empty for none
    QString scale = QStringLiteral("1");
    bool localeFiles = true;
};

Report reportUnder(const Session &session)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE", "LANG", "LOCPATH", "FC_LANG"})
        environment.remove(QString::fromLatin1(name));
    if (!session.language.isEmpty())
        environment.insert(QStringLiteral("LANG"), session.language);
    // A machine where the language's locale was never generated.
    if (!session.localeFiles)
        environment.insert(QStringLiteral("LOCPATH"), scratchFolder() + QStringLiteral("/no-locales"));
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), session.scale);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kReportSwitch)});
    Report report;
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        report.faults << QStringLiteral("report failed: ") + QString::fromLocal8Bit(child.readAllStandardError());
        return report;
    }
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString body = line.section(u'\t', 1);
        if (line.startsWith(QLatin1String("faces\t")))
            report.faces[body.section(u'=', 0, 0)] = body.section(u'=', 1);
        else if (line.startsWith(QLatin1String("picture\t")))
            report.pictures[body.section(u'=', 0, 0)] = body.section(u'=', 1);
        else
            report.faults << body;
    }
    return report;
}

} // namespace

Q_DECLARE_METATYPE(Session)

// Both windows must draw alike in every session language: the same faces,
// proportional ones, and every text whole in its box, at 1x and at 2x.
class WindowFacesTest final : public QObject
{
    Q_OBJECT

private:
    Report m_reference;

private slots:
    void initTestCase()
    {
        QDir().mkpath(scratchFolder() + QStringLiteral("/no-locales"));
        m_reference = reportUnder({QStringLiteral("C.UTF-8")});
        QVERIFY2(m_reference.faces.size() > 30, qPrintable(m_reference.faults.join(u'\n')));
    }

    void sameProportionalFacesAndWholeTexts_data()
    {
        QTest::addColumn<Session>("session");
        QTest::newRow("C.UTF-8") << Session{QStringLiteral("C.UTF-8")};
        QTest::newRow("ja_JP.UTF-8") << Session{QStringLiteral("ja_JP.UTF-8")};
        QTest::newRow("ja_JP.UTF-8, locale not generated")
            << Session{QStringLiteral("ja_JP.UTF-8"), QStringLiteral("1"), false};
        QTest::newRow("en_US.UTF-8") << Session{QStringLiteral("en_US.UTF-8")};
        QTest::newRow("LANG unset") << Session{};
        QTest::newRow("C.UTF-8 at 200 %") << Session{QStringLiteral("C.UTF-8"), QStringLiteral("2")};
        QTest::newRow("ja_JP.UTF-8 at 200 %") << Session{QStringLiteral("ja_JP.UTF-8"), QStringLiteral("2")};
    }

    // Catches a face looked up by a name that only one language knows (the
    // lookup then falls back to a fixed-width face), a fixed-width Japanese
    // face put first, and captions that outgrow their box.
    void sameProportionalFacesAndWholeTexts()
    {
        QFETCH(Session, session);
        const Report report = reportUnder(session);
        QStringList differences;
        for (auto it = m_reference.faces.cbegin(); it != m_reference.faces.cend(); ++it) {
            if (report.faces.value(it.key()) != it.value())
                differences << QStringLiteral("%1: %2 under C.UTF-8, %3 here")
                                   .arg(it.key(), it.value(), report.faces.value(it.key()));
        }
        QVERIFY2(report.faults.isEmpty(), qPrintable(report.faults.join(u'\n')));
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n')));
    }

    // At twice the density the banner and the icon come from pictures of twice
    // the size, shown in the same places; a blurred enlargement would be 1x.
    void picturesHaveTheScreensDensity_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("icon");
        QTest::newRow("1x") << QStringLiteral("1") << QStringLiteral("0,0 289x145 289x145@1")
                            << QStringLiteral("128,64 32x32 32x32@1");
        QTest::newRow("2x") << QStringLiteral("2") << QStringLiteral("0,0 289x145 578x290@2")
                            << QStringLiteral("128,64 32x32 64x64@2");
    }

    void picturesHaveTheScreensDensity()
    {
        QFETCH(QString, scale);
        QFETCH(QString, banner);
        QFETCH(QString, icon);
        const Report report = reportUnder({QStringLiteral("ja_JP.UTF-8"), scale});
        QCOMPARE(report.pictures.value(QStringLiteral("banner")), banner);
        QCOMPARE(report.pictures.value(QStringLiteral("Image3")), icon);
    }

    // The faces themselves: the Japanese text in a proportional gothic, the
    // credit lines in a proportional mincho.
    void japaneseTextHasTheIpaProportionalFaces()
    {
        QVERIFY2(m_reference.faces.value(QStringLiteral("Form1.ok1")).contains(u"IPAPGothic"_qs),
                 qPrintable(m_reference.faces.value(QStringLiteral("Form1.ok1"))));
        QVERIFY(m_reference.faces.value(QStringLiteral("Form2.Label1")).contains(u"IPAPGothic"_qs));
        QCOMPARE(m_reference.faces.value(QStringLiteral("Form1.Label5")), u"IPAPMincho"_qs);
        QCOMPARE(m_reference.faces.value(QStringLiteral("Form1.lblVersion")), u"IPAPMincho"_qs);
    }
};

int main(int argc, char *argv[])
{
    requireScratchEnvironment();
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kReportSwitch) == 0)
        return printReport();
    WindowFacesTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "window_faces_test.moc"
