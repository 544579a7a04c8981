#include "form2_harness.h"
#include "scratch.h"

#include "main_window/main_window_view.h"
#include "settings/program_browse_dialog.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QGlyphRun>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>
#include <QTreeView>

#include <clocale>
#include <cstdio>

using namespace quenby;
using namespace quenby::test;

// Fontconfig and Qt take the session's language when the application object
// is made, so each language is looked at by a process of its own: the test
// starts itself with --report, which builds both windows and prints, for every
// caption and label, "name=faces" (the faces that draw its text), for the
// banner and the icon "picture name=place pixmap", for each window "window
// name=icon role", and "fault=..." for a fixed-width face, ink outside a
// control's box, a browse dialog text that is not Japanese or a column
// narrower than what it shows.
namespace {

const char kReportSwitch[] = "--report";
const char16_t *const kStatusTexts[] = {u"設定内容を処理中", u"設定された処理は終了しました", u"Windowsを再起動します",
                                        u"Windowsを終了します"};

// A face's PostScript name (name record 6), which unlike the family name a
// face is listed under is the same in every language.
QString faceName(const QRawFont &face)
{
    const QByteArray table = face.fontTable("name");
    const auto word = [&table](qsizetype at) { return at + 2 <= table.size() ? quint8(table[at]) << 8 | quint8(table[at + 1]) : 0; };
    for (int record = 6; record < 6 + 12 * word(2); record += 12) {
        if (word(record + 6) == 6)
            return QString::fromLatin1(table.mid(word(4) + word(record + 10), word(record + 8)).replace('\0', ""));
    }
    return face.familyName();
}

// Latin letters of one width ('i' as wide as 'M') mark a fixed-width face.
bool isFixedWidth(const QRawFont &face)
{
    const QList<QPointF> advances = face.advancesForGlyphIndexes(face.glyphIndexesForString(QStringLiteral("iM")));
    return advances.size() == 2 && qFuzzyCompare(advances[0].x(), advances[1].x());
}

// Draws the text unclipped with the control's font in the middle of a larger
// picture, at the screen's density, and tells whether any ink lies outside the box.
bool inkLeavesBox(const QWidget *control, const QString &text, QSize box, int flags)
{
    const qreal ratio = control->devicePixelRatioF();
    QImage picture((box + QSize(200, 200)) * ratio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setFont(control->font());
    painter.drawText(QRect(QPoint(100, 100), box), flags | Qt::TextDontClip, text);
    painter.end();
    const QRect inside(QPointF(100 * ratio, 100 * ratio).toPoint(), box * ratio);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) >= 96 && !inside.contains(x, y))
                return true;
        }
    }
    return false;
}

void look(const QString &name, const QWidget *control, const QString &text, QSize box, int flags)
{
    QTextLayout layout(QString(text).remove(u'&'), control->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList faces;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        faces << faceName(run.rawFont());
        if (isFixedWidth(run.rawFont()))
            std::printf("fault=%s: fixed-width face %s\n", qPrintable(name), qPrintable(faces.last()));
    }
    faces.sort();
    faces.removeDuplicates();
    std::printf("%s=%s\n", qPrintable(name), qPrintable(faces.join(u'+')));
    if (inkLeavesBox(control, text, box, flags))
        std::printf("fault=%s: \"%s\" does not fit %dx%d\n", qPrintable(name), qPrintable(QString(text).replace(u'\n', u' ')),
                    box.width(), box.height());
}

void lookAtLabel(const QString &name, const QLabel *label)
{
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0)
        | (label->buddy() ? Qt::TextShowMnemonic : 0);
    look(name, label, label->text(), label->contentsRect().size(), flags);
}

void lookAtWindow(const QString &window, const QWidget *top)
{
    for (const QLabel *label : top->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            lookAtLabel(window + label->objectName(), label);
    }
    for (const QAbstractButton *button : top->findChildren<QAbstractButton *>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<const QCheckBox *>(button);
        const QRect box = button->style()->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        const int align = check ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter;
        look(window + button->objectName(), button, button->text(), box.size(), align | Qt::TextShowMnemonic);
    }
}

// Whether the window shows the program's icon, and the role it reports.
void lookAtFrame(const QString &name, QWidget *window, const QWidget *main)
{
    const QImage icon = window->windowIcon().pixmap(32).toImage();
    const bool program = !icon.isNull() && icon == main->windowIcon().pixmap(32).toImage();
    const QAccessible::Role role = QAccessible::queryAccessibleInterface(window)->role();
    std::printf("window %s=%s %s\n", qPrintable(name), program ? "program-icon" : "other-icon",
                QMetaEnum::fromType<QAccessible::Role>().valueToKey(role));
}

bool isJapanese(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3000; });
}

// The browse dialog on a folder with a file and a folder in it: its captions
// as for the windows, every text Japanese, every column as wide as it needs.
void lookAtBrowseDialog(QWidget *parent)
{
    const QString folder = scratchFolder() + QStringLiteral("/browse");
    QDir().mkpath(folder + QStringLiteral("/とても長い名前のフォルダー"));
    QFile file(folder + QStringLiteral("/backup.sh"));
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(52224, 'x'));
    file.close();
    ProgramBrowseDialog dialog(parent);
    auto *files = qobject_cast<QFileSystemModel *>(dialog.fileFilter()->sourceModel());
    dialog.setNameFilter(QStringLiteral("すべてのファイル(*.*)"));
    dialog.setDirectory(folder);
    dialog.show();
    // A proxy's index lasts only until its model next changes, and the folder
    // is read on a thread of its own: the folder is looked up afresh each time.
    const auto listed = [&] {
        return dialog.fileFilter()->rowCount(dialog.fileFilter()->mapFromSource(files->index(folder))) == 2;
    };
    if (!QTest::qWaitFor(listed, 20000))
        std::printf("fault=Browse: the folder was not listed\n");
    QTest::qWait(200);
    lookAtWindow(QStringLiteral("Browse."), &dialog);
    lookAtFrame(QStringLiteral("Browse"), &dialog, parent);
    QStringList texts;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        texts << label->text();
    for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        texts << button->text() << button->toolTip();
    const QAbstractItemView *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    const QModelIndex root = view->rootIndex();
    for (int column = 0; column < view->model()->columnCount(root); ++column) {
        texts << view->model()->headerData(column, Qt::Horizontal).toString();
        const int width = static_cast<const QTreeView *>(view)->columnWidth(column);
        if (view->sizeHintForColumn(column) > width)
            std::printf("fault=Browse column %d: %d wide for %d\n", column, width,
                        view->sizeHintForColumn(column));
    }
    for (int row = 0; row < view->model()->rowCount(root); ++row)
        texts << view->model()->index(row, 2, root).data().toString();
    for (const QString &text : std::as_const(texts)) {
        if (!text.isEmpty() && !isJapanese(text))
            std::printf("fault=Browse: \"%s\" is not Japanese\n", qPrintable(text));
    }
}

int printReport()
{
    SettingsHarness harness;
    harness.form1 = std::make_unique<Form1>(harness.services);
    harness.form1->Form_Load();
    MainWindowView *main = harness.form1->window();
    lookAtWindow(QStringLiteral("Form1."), main);
    for (const char16_t *status : kStatusTexts) {
        main->Label1->setText(QString::fromUtf16(status));
        lookAtLabel(QStringLiteral("Form1.Label1 ") + main->Label1->text(), main->Label1);
    }
    for (const QLabel *picture : {main->banner, main->Image3}) {
        const QRect r = picture->geometry();
        const QPixmap pixmap = picture->pixmap();
        std::printf("picture %s=%d,%d %dx%d %dx%d@%g\n", qPrintable(picture->objectName()), r.x(), r.y(), r.width(),
                    r.height(), pixmap.width(), pixmap.height(), pixmap.devicePixelRatio());
    }
    lookAtFrame(QStringLiteral("Form1"), main, main);
    Form2 *settings = harness.open();
    lookAtWindow(QStringLiteral("Form2."), settings);
    lookAtFrame(QStringLiteral("Form2"), settings, main);
    // Messages take the application's face for their class, not the
    // desktop's first Japanese face, which may be a fixed-width one.
    QMessageBox message(QMessageBox::NoIcon, QStringLiteral("TARVEN Inc.QUENBY"),
                        QStringLiteral("設定画面の №1 の欄を確認"), QMessageBox::Ok);
    message.ensurePolished(); // as when it is shown
    look(QStringLiteral("message"), &message, message.text(), QSize(2000, 200), Qt::AlignLeft);
    lookAtFrame(QStringLiteral("message"), &message, main);
    // The dialog would leave its folder history in a settings file of Qt's.
    const QString qtSettings = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/QtProject.conf");
    QFile::remove(qtSettings);
    lookAtBrowseDialog(settings);
    if (QFile::exists(qtSettings))
        std::printf("fault=Browse: wrote %s\n", qPrintable(qtSettings));
    return 0;
}

struct Session
{
    QString language; // LANG, or empty for none
    QString scale = QStringLiteral("1");
    bool localeFiles = true; // false: as on a machine where the locale was never generated
};

using Report = QMultiMap<QString, QString>;

Report reportUnder(const Session &session)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE", "LANG", "LOCPATH", "FC_LANG"})
        environment.remove(QString::fromLatin1(name));
    if (!session.language.isEmpty())
        environment.insert(QStringLiteral("LANG"), session.language);
    if (!session.localeFiles)
        environment.insert(QStringLiteral("LOCPATH"), scratchFolder());
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), session.scale);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kReportSwitch)});
    Report report;
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        report.insert(QStringLiteral("fault"), QString::fromLocal8Bit(child.readAllStandardError()));
    for (const QString &line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        report.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return report;
}

} // namespace

Q_DECLARE_METATYPE(Session)

// Both windows must draw alike in every session language: the same faces,
// proportional ones, every text whole in its box, at 1x and at 2x.
class WindowFacesTest final : public QObject
{
    Q_OBJECT

private:
    Report m_reference;

private slots:
    void initTestCase()
    {
        // Without the locale, glibc would quietly draw the "Japanese" rows in C.
        const locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", locale_t(nullptr));
        QVERIFY2(japanese, "ja_JP.UTF-8 is not generated on this machine; tools/deps.sh --tests makes it");
        freelocale(japanese);
        m_reference = reportUnder({QStringLiteral("C.UTF-8")});
        QVERIFY2(m_reference.size() > 30, qPrintable(m_reference.values(QStringLiteral("fault")).join(u'\n')));
    }

    void sameProportionalFacesAndWholeTexts_data()
    {
        QTest::addColumn<Session>("session");
        const QString ja = QStringLiteral("ja_JP.UTF-8");
        QTest::newRow("C.UTF-8") << Session{QStringLiteral("C.UTF-8")};
        QTest::newRow("ja_JP.UTF-8") << Session{ja};
        QTest::newRow("ja_JP.UTF-8, locale not generated") << Session{ja, QStringLiteral("1"), false};
        QTest::newRow("en_US.UTF-8") << Session{QStringLiteral("en_US.UTF-8")};
        QTest::newRow("LANG unset") << Session{};
        QTest::newRow("C.UTF-8 at 200 %") << Session{QStringLiteral("C.UTF-8"), QStringLiteral("2")};
        QTest::newRow("ja_JP.UTF-8 at 200 %") << Session{ja, QStringLiteral("2")};
    }

    // Catches a face looked up by a name that only one language knows (the
    // lookup then falls back to a fixed-width face), a fixed-width Japanese
    // face put first, and captions that outgrow their box.
    void sameProportionalFacesAndWholeTexts()
    {
        QFETCH(Session, session);
        const Report report = reportUnder(session);
        QVERIFY2(!report.contains(QStringLiteral("fault")), qPrintable(report.values(QStringLiteral("fault")).join(u'\n')));
        QStringList differences;
        for (auto it = m_reference.cbegin(); it != m_reference.cend(); ++it) {
            if (!it.key().startsWith(QLatin1String("picture")) && report.value(it.key()) != it.value())
                differences << it.key() + QStringLiteral(": ") + it.value() + QStringLiteral(" under C, here ") + report.value(it.key());
        }
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n')));
    }

    // Every caption in a proportional gothic, the credit lines in a
    // proportional mincho; at twice the density the banner and the icon come
    // from pictures of twice the size (a blurred enlargement would be 1x).
    void facesAndPictures()
    {
        QCOMPARE(m_reference.value(QStringLiteral("Form1.ok1")), u"IPAPGothic"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("Form2.Cancel2")), u"IPAPGothic"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("Form1.Label5")), u"IPAPMincho"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("Form1.lblVersion")), u"IPAPMincho"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("picture banner")), u"0,0 289x145 289x145@1"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("picture Image3")), u"128,64 32x32 32x32@1"_qs);
        const Report twice = reportUnder({QStringLiteral("ja_JP.UTF-8"), QStringLiteral("2")});
        QCOMPARE(twice.value(QStringLiteral("picture banner")), u"0,0 289x145 578x290@2"_qs);
        QCOMPARE(twice.value(QStringLiteral("picture Image3")), u"128,64 32x32 64x64@2"_qs);
    }

    // Catches Qt's blank icon on the windows other than the main one, and
    // top-level windows reported as "filler" to assistive technology.
    void everyWindowHasTheIconAndItsRole()
    {
        QCOMPARE(m_reference.value(QStringLiteral("window Form1")), u"program-icon Window"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("window Form2")), u"program-icon Dialog"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("window message")), u"program-icon Dialog"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("window Browse")), u"program-icon Dialog"_qs);
        QCOMPARE(m_reference.value(QStringLiteral("Browse.fileNameLabel")), u"IPAPGothic"_qs);
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
