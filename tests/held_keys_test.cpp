#include "fake_platform.h"
#include "scratch.h"

#include "main_window/form1.h"
#include "main_window/main_window_view.h"
#include "settings/form2.h"
#include "settings/run_config.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

using namespace quenby;
using namespace quenby::test;

namespace {

// As the display delivers a key: with its time, on its way through the
// application's filters.
void send(QWidget *target, QEvent::Type type, int key, const QString &text, bool repeat, quint64 at)
{
    QKeyEvent event(type, key, Qt::NoModifier, text, repeat);
    event.setTimestamp(at);
    QApplication::sendEvent(target, &event);
}

} // namespace

class HeldKeysTest final : public QObject
{
    Q_OBJECT

private slots:
    // Return held on 設定 opened the settings window with its first press,
    // and the first repeat pressed OK there: the window closed and the file
    // was saved again. No repeat of Enter, Space or Esc may press, toggle or
    // close anything in the settings window, whatever has the focus, whether
    // the display marks the repeat or not (a release and a press at one moment).
    void aHeldKeyPressesNothingInTheSettingsWindow_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("marked");
        const int keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Escape};
        for (const char *focus : {"ok2", "Save", "Cancel2", "sansyou1", "Check1", "Check6", "Text1", "Text6"}) {
            for (const int key : keys) {
                for (const bool marked : {true, false})
                    QTest::addRow("%s %s %s", focus, qPrintable(QKeySequence(key).toString()),
                                  marked ? "repeat" : "unmarked") << QString::fromLatin1(focus) << key << marked;
            }
        }
    }
    void aHeldKeyPressesNothingInTheSettingsWindow()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, marked);
        FakePlatform p;
        p.store.values = {{QStringLiteral("Check1"), QStringLiteral("1")}, {QStringLiteral("kidou1"), QStringLiteral("/x")}};
        Form1 form(p.services());
        form.Form_Load();
        form.window()->setting->setFocus();
        QTest::keyPress(form.window()->setting, Qt::Key_Return);
        Form2 *settings = form.settingsWindow();
        QVERIFY(settings && settings->isVisible());
        settings->Save->setEnabled(true);
        const QStringList writes = p.store.writes;
        auto *target = settings->findChild<QWidget *>(focus);
        target->setFocus();
        const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
        // A dialog that opens anyway is closed again, so that the test ends.
        QTimer::singleShot(500, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        for (int i = 0; i < 3; ++i) {
            if (!marked)
                send(target, QEvent::KeyRelease, key, text, false, 1000 + i * 30);
            send(target, QEvent::KeyPress, key, text, marked, 1000 + i * 30);
        }
        QVERIFY(settings->isVisible());
        QVERIFY(!form.isLoaded());
        QCOMPARE(p.store.writes, writes);
        QCOMPARE(settings->browseDialog(), nullptr);
        QCOMPARE(checkValue(settings->Check[1]), 1);
        QCOMPARE(checkValue(settings->Check[6]), 0);
    }
};

QUENBY_TEST_MAIN(HeldKeysTest)
#include "held_keys_test.moc"
