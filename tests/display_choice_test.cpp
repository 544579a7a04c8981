#include "scratch.h"

#include "platform/linux/display_choice.h"

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
        QTest::addColumn<QByteArray>("installed"); // Qt's platform plugins; empty: all
        // ":0" and "wayland-0" answer; ":7" does not.
        QTest::newRow("Wayland desktop with XWayland") << QByteArray() << QByteArray(":0") << QByteArray("wayland-0")
                                                       << QByteArray("xcb;wayland") << QByteArray() << QByteArray();
        QTest::newRow("X display gone, Wayland there") << QByteArray() << QByteArray(":7") << QByteArray("wayland-0")
                                                       << QByteArray("wayland") << QByteArray() << QByteArray();
        QTest::newRow("the user's choice stands") << QByteArray("wayland") << QByteArray(":0")
                                                  << QByteArray("wayland-0") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("offscreen needs no display") << QByteArray("offscreen") << QByteArray() << QByteArray()
                                                    << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("X display that does not answer")
            << QByteArray() << QByteArray(":7") << QByteArray() << QByteArray()
            << QByteArray("quenby: no display to show the window on: the X display \":7\" cannot be opened") << QByteArray();
        QTest::newRow("chosen xcb without DISPLAY")
            << QByteArray("xcb") << QByteArray() << QByteArray("wayland-0") << QByteArray()
            << QByteArray("quenby: no display to show the window on: DISPLAY is not set") << QByteArray();
        QTest::newRow("Wayland only, its plugin missing")
            << QByteArray() << QByteArray() << QByteArray("wayland-0") << QByteArray()
            << QByteArray("quenby: no display to show the window on: Qt's Wayland plugin (package qt6-wayland) is not installed")
            << QByteArray("xcb");
        QTest::newRow("xcb plugin missing, Wayland there") << QByteArray() << QByteArray(":0") << QByteArray("wayland-0")
                                                           << QByteArray("wayland") << QByteArray() << QByteArray("wayland");
    }
    // Catches a Wayland-native start that loses placement and keep-above, a
    // user's own choice overridden, and a start without display, or without
    // the plugin for the only display, that aborts.
    void choice()
    {
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, platform);
        QFETCH(QByteArray, problem);
        QFETCH(QByteArray, installed);
        const auto answers = [](const QByteArray &name) { return name == ":0" || name == "wayland-0"; };
        const auto there = [&installed](const QByteArray &plugin) { return installed.isEmpty() || installed == plugin; };
        const DisplayChoice choice = chooseDisplay({chosen, display, wayland, answers, answers, there});
        QCOMPARE(choice.platform, platform);
        QCOMPARE(choice.problem, problem);
    }

    // A timer made with "systemd-run -E XAUTHORITY" from a session without
    // one hands over an empty value, with which the display turns us away.
    void anEmptyXAuthorityCountsAsUnset()
    {
        qputenv("XAUTHORITY", "");
        char name[] = "quenby";
        char *argv[] = {name, nullptr};
        QVERIFY(chooseDisplayForThisStart(1, argv).isEmpty());
        QVERIFY(!qEnvironmentVariableIsSet("XAUTHORITY"));
    }

    void withoutADisplayTheProgramSaysSoAndEndsWithStatusOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QByteArray>("line"); // the whole line, or how it begins
        const QByteArray line = "quenby: no display to show the window on: ";
        QTest::newRow("nothing set") << QStringList() << QString() << line + "DISPLAY and WAYLAND_DISPLAY are not set\n";
        QTest::newRow("-display") << QStringList{u"-display"_qs, u":987"_qs} << QString()
                                  << line + "the X display \":987\" cannot be opened\n";
        QTest::newRow("-platform") << QStringList{u"-platform"_qs, u"xcb"_qs} << QString()
                                   << line + "DISPLAY is not set\n";
        // Taken on trust, then refused by Qt itself, which would abort.
        QTest::newRow("a remote display nobody serves") << QStringList() << u"127.0.0.1:987"_qs
                                                        << line;
    }
    // Catches an abort with a core dump, a second line of noise, or a file
    // written before the program found out it cannot show anything.
    void withoutADisplayTheProgramSaysSoAndEndsWithStatusOne()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(QByteArray, line);
        QTemporaryDir home(QDir(test::scratchFolder()).filePath(u"home-XXXXXX"_qs));
        QProcessEnvironment env;
        env.insert(u"HOME"_qs, home.path());
        env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
        env.insert(u"XDG_RUNTIME_DIR"_qs, home.filePath(u"runtime"_qs));
        if (!display.isEmpty())
            env.insert(u"DISPLAY"_qs, display);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("QUENBY_BINARY"), arguments);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QByteArray said = program.readAllStandardError();
        QVERIFY2(said.startsWith(line) && said.count('\n') == 1 && said.endsWith('\n'), said.constData());
        QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
};

QUENBY_TEST_MAIN(DisplayChoiceTest)
#include "display_choice_test.moc"
