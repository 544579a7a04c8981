#include "scratch.h"

#include "platform/display_choice.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace quenby;

class DisplayChoiceTest final : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QByteArray>("chosen");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<QByteArray>("problem");
        // ":0" and "wayland-0" answer; ":7" does not.
        QTest::newRow("Wayland desktop with XWayland") << QByteArray() << QByteArray(":0") << QByteArray("wayland-0")
                                                       << QByteArray("xcb;wayland") << QByteArray();
        QTest::newRow("X display gone, Wayland there") << QByteArray() << QByteArray(":7") << QByteArray("wayland-0")
                                                       << QByteArray("wayland") << QByteArray();
        QTest::newRow("the user's choice stands") << QByteArray("wayland") << QByteArray(":0")
                                                  << QByteArray("wayland-0") << QByteArray() << QByteArray();
        QTest::newRow("offscreen needs no display") << QByteArray("offscreen") << QByteArray() << QByteArray()
                                                    << QByteArray() << QByteArray();
        QTest::newRow("X display that does not answer")
            << QByteArray() << QByteArray(":7") << QByteArray() << QByteArray()
            << QByteArray("quenby: no display to show the window on: the X display \":7\" cannot be opened");
        QTest::newRow("chosen xcb without DISPLAY")
            << QByteArray("xcb") << QByteArray() << QByteArray("wayland-0") << QByteArray()
            << QByteArray("quenby: no display to show the window on: DISPLAY is not set");
    }
    // Catches a Wayland-native start that loses placement and keep-above, a
    // user's own choice overridden, and a start without display that aborts.
    void choice()
    {
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, platform);
        QFETCH(QByteArray, problem);
        const auto answers = [](const QByteArray &name) { return name == ":0" || name == "wayland-0"; };
        const DisplayChoice choice = chooseDisplay({chosen, display, wayland, answers, answers});
        QCOMPARE(choice.platform, platform);
        QCOMPARE(choice.problem, problem);
    }

    // Catches an abort with a core dump, a second line of noise, or a file
    // written before the program found out it cannot show anything.
    void withoutADisplayTheProgramSaysSoAndEndsWithStatusOne()
    {
        QTemporaryDir home(QDir(test::scratchFolder()).filePath(u"home-XXXXXX"_qs));
        QProcessEnvironment env;
        env.insert(u"HOME"_qs, home.path());
        env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
        env.insert(u"XDG_RUNTIME_DIR"_qs, home.filePath(u"runtime"_qs));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("QUENBY_BINARY"), {});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(program.readAllStandardError(),
                 "quenby: no display to show the window on: DISPLAY and WAYLAND_DISPLAY are not set\n");
        QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
};

QUENBY_TEST_MAIN(DisplayChoiceTest)
#include "display_choice_test.moc"
