#include "scratch.h"

#include "platform/display_choice.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
        // The displays ":0" and "wayland-0" answer; ":7" and "wayland-7" do not.
        QTest::newRow("Wayland desktop with XWayland: X11 first")
            << QByteArray() << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("xcb;wayland") << QByteArray();
        QTest::newRow("X11 desktop") << QByteArray() << QByteArray(":0") << QByteArray() << QByteArray("xcb;wayland")
                                     << QByteArray();
        QTest::newRow("Wayland without XWayland") << QByteArray() << QByteArray() << QByteArray("wayland-0")
                                                  << QByteArray("wayland") << QByteArray();
        QTest::newRow("X display gone, Wayland there") << QByteArray() << QByteArray(":7") << QByteArray("wayland-0")
                                                       << QByteArray("wayland") << QByteArray();
        QTest::newRow("the user's choice stands") << QByteArray("wayland") << QByteArray(":0")
                                                  << QByteArray("wayland-0") << QByteArray() << QByteArray();
        QTest::newRow("offscreen needs no display") << QByteArray("offscreen") << QByteArray() << QByteArray()
                                                    << QByteArray() << QByteArray();
        QTest::newRow("nothing set")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray()
            << QByteArray("quenby: no display to show the window on: DISPLAY and WAYLAND_DISPLAY are not set");
        QTest::newRow("X display that does not answer")
            << QByteArray() << QByteArray(":7") << QByteArray() << QByteArray()
            << QByteArray("quenby: no display to show the window on: the X display \":7\" cannot be opened");
        QTest::newRow("neither answers")
            << QByteArray() << QByteArray(":7") << QByteArray("wayland-7") << QByteArray()
            << QByteArray("quenby: no display to show the window on: the X display \":7\" cannot be opened; "
                          "the Wayland display \"wayland-7\" cannot be opened");
        QTest::newRow("chosen xcb without a display")
            << QByteArray("xcb") << QByteArray() << QByteArray("wayland-0") << QByteArray()
            << QByteArray("quenby: no display to show the window on: DISPLAY is not set");
        QTest::newRow("chosen list, one answers") << QByteArray("wayland;xcb") << QByteArray(":0") << QByteArray()
                                                  << QByteArray() << QByteArray();
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

    // Catches a display name read wrongly (":0.0", "unix:0"), which would
    // turn a working display into "cannot be opened".
    void aDisplayAnswersWhenItsServerListens()
    {
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const char name[] = "/tmp/.X11-unix/X7391";
        std::memcpy(address.sun_path + 1, name, sizeof name - 1);
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + sizeof name - 1);
        QCOMPARE(::bind(server, reinterpret_cast<sockaddr *>(&address), length), 0);
        QCOMPARE(::listen(server, 8), 0);
        for (const char *display : {":7391", ":7391.0", "unix:7391"})
            QVERIFY2(xDisplayAnswers(display), display);
        QVERIFY(xDisplayAnswers("far.example:0"));
        QVERIFY(!xDisplayAnswers(":7392"));
        QVERIFY(!xDisplayAnswers("7391"));
        ::close(server);

        const QString wayland = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(u"wayland-test"_qs);
        QVERIFY(!waylandDisplayAnswers("wayland-test"));
        const int compositor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un path{};
        path.sun_family = AF_UNIX;
        std::strncpy(path.sun_path, QFile::encodeName(wayland).constData(), sizeof path.sun_path - 1);
        QCOMPARE(::bind(compositor, reinterpret_cast<sockaddr *>(&path), sizeof path), 0);
        QCOMPARE(::listen(compositor, 8), 0);
        QVERIFY(waylandDisplayAnswers("wayland-test"));
        QVERIFY(waylandDisplayAnswers(QFile::encodeName(wayland)));
        ::close(compositor);
        QFile::remove(wayland);
    }

    void withoutADisplayTheProgramSaysSoAndEndsWithStatusOne_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("line");
        QTest::newRow("nothing set")
            << QString() << u"quenby: no display to show the window on: DISPLAY and WAYLAND_DISPLAY are not set\n"_qs;
        QTest::newRow("a display nobody serves") << u":1999"_qs << u"quenby: no display to show the window on: the X display \":1999\" cannot be opened\n"_qs;
    }
    // Catches an abort with a core dump, a second line of noise, or a file
    // written before the program found out it cannot show anything.
    void withoutADisplayTheProgramSaysSoAndEndsWithStatusOne()
    {
        QFETCH(QString, display);
        QFETCH(QString, line);
        QTemporaryDir home(QDir(test::scratchFolder()).filePath(u"home-XXXXXX"_qs));
        QProcessEnvironment env;
        env.insert(u"PATH"_qs, qEnvironmentVariable("PATH"));
        env.insert(u"HOME"_qs, home.path());
        env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
        env.insert(u"XDG_RUNTIME_DIR"_qs, home.filePath(u"runtime"_qs));
        if (!display.isEmpty())
            env.insert(u"DISPLAY"_qs, display);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("QUENBY_BINARY"), {});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), line);
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
};

QUENBY_TEST_MAIN(DisplayChoiceTest)
#include "display_choice_test.moc"
