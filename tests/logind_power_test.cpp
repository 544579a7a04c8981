#include "scratch.h"

#include "platform/cleaner/descriptor.h"
#include "platform/linux/bus_link.h"
#include "platform/linux/logind_power.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

using namespace quenby;
using namespace quenby::test;

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
// python3-dbusmock is importable only by the system's own interpreter.
const QString kPython = QStringLiteral("/usr/bin/python3");

QString busConfig(const QString &socketPath)
{
    return QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                          "<busconfig>\n"
                          "  <type>system</type>\n"
                          "  <listen>unix:path=%1</listen>\n"
                          "  <auth>EXTERNAL</auth>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n")
        .arg(socketPath);
}

} // namespace

// LogindPower against a mock logind on a private bus that this test starts.
// The real system bus is never reached: nothing runs unless
// DBUS_SYSTEM_BUS_ADDRESS names the private bus.
class LogindPowerTest final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_busFolder{QStringLiteral("/tmp/quenby-bus-XXXXXX")};
    QProcess m_bus;
    QProcess m_mock;
    QString m_address;
    QString m_mockLog;

    QDBusConnection probe() const { return QDBusConnection(QStringLiteral("probe")); }

    bool logindPresent() const { return probe().interface()->isServiceRegistered(kLogind); }

    QStringList loggedCalls() const
    {
        QFile log(m_mockLog);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList calls;
        for (const QByteArray &line : log.readAll().split('\n')) {
            const int blank = line.indexOf(' ');
            if (blank > 0)
                calls << QString::fromUtf8(line.mid(blank + 1));
        }
        return calls;
    }

    // Replaces what the mock's method does (Python code run inside the mock).
    void setMethodCode(const QString &method, const QString &code)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogind, kLogindPath, QStringLiteral("org.freedesktop.DBus.Mock"),
                                                           QStringLiteral("AddMethod"));
        call << kManager << method << QStringLiteral("b") << QString() << code;
        const QDBusMessage reply = probe().call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

    void startBus()
    {
        // D-Bus refuses socket paths longer than 99 bytes and the scratch folder
        // sits wherever the tree was cloned, so the bus gets a short folder of its own.
        QVERIFY2(m_busFolder.isValid(), qPrintable(m_busFolder.errorString()));
        const QString config = m_busFolder.filePath(QStringLiteral("private-system-bus.conf"));
        const QString socket = m_busFolder.filePath(QStringLiteral("system_bus_socket"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(busConfig(socket).toUtf8());
        file.close();
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QVERIFY2(m_bus.waitForStarted(), "the private bus did not start");
        while (!m_bus.canReadLine())
            QVERIFY2(m_bus.waitForReadyRead(10000), "the private bus did not tell its address");
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY2(m_address.contains(socket), qPrintable(m_address));
    }

    void startMock()
    {
        m_mockLog = scratchFolder() + QStringLiteral("/logind-mock.log");
        QFile::remove(m_mockLog);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_mock.setProcessEnvironment(env);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(kPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                               QStringLiteral("--template"), QStringLiteral("logind"), QStringLiteral("-l"), m_mockLog});
        QVERIFY2(m_mock.waitForStarted(), "the mock logind did not start");
        QTRY_VERIFY2_WITH_TIMEOUT(logindPresent(), "the mock logind did not appear on the private bus", 15000);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0)
            QSKIP("python3-dbusmock is not installed for /usr/bin/python3");
        startBus();
        // From here on the program's "system bus" is the private one; it is set
        // before anything in this process has opened the system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
        QVERIFY(QDBusConnection::connectToBus(m_address, QStringLiteral("probe")).isConnected());
        startMock();
    }

    void init()
    {
        // Refuse loudly rather than ever ask the real logind.
        if (m_address.isEmpty() || qgetenv("DBUS_SYSTEM_BUS_ADDRESS") != m_address.toUtf8())
            qFatal("the private system bus is not in place");
        QCOMPARE(QDBusConnection::systemBus().interface()->serviceOwner(kLogind).value(),
                 probe().interface()->serviceOwner(kLogind).value());
    }

    void cleanupTestCase()
    {
        for (QProcess *p : {&m_mock, &m_bus}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(5000))
                    p->kill();
            }
        }
    }

    void eachActionIsOneInteractiveCall_data()
    {
        QTest::addColumn<RunAction>("action");
        QTest::addColumn<QString>("call");
        QTest::newRow("shut down") << RunAction::ShutDown << "PowerOff True";
        QTest::newRow("restart") << RunAction::Restart << "Reboot True";
        QTest::newRow("suspend") << RunAction::Suspend << "Suspend True";
    }
    void eachActionIsOneInteractiveCall()
    {
        QFETCH(RunAction, action);
        QFETCH(QString, call);
        const qsizetype before = loggedCalls().size();
        LogindPower power;
        QVERIFY(power.request(action).accepted());
        QTRY_COMPARE(loggedCalls().size(), before + 1);
        QCOMPARE(loggedCalls().last(), call);
    }

    void refusalsAreSortedAndKeepLogindsWords_data()
    {
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("message");
        QTest::addColumn<PowerRefusal>("refusal");
        QTest::newRow("no agent to ask for the password")
            << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" << "Interactive authentication required."
            << PowerRefusal::AuthenticationRequired;
        QTest::newRow("policy says no") << "org.freedesktop.DBus.Error.AccessDenied" << "Access denied"
                                        << PowerRefusal::AccessDenied;
        QTest::newRow("inhibitor lock") << "org.freedesktop.login1.BlockedByInhibitorLock"
                                        << "Operation denied due to active block inhibitor" << PowerRefusal::Inhibited;
        QTest::newRow("inhibitor, older logind") << "org.freedesktop.login1.OperationInProgress"
                                                 << "Operation denied due to active block inhibitor"
                                                 << PowerRefusal::Inhibited;
        QTest::newRow("no reply") << "org.freedesktop.DBus.Error.NoReply" << "Did not receive a reply"
                                  << PowerRefusal::NoAnswer;
        QTest::newRow("anything else") << "org.freedesktop.login1.SleepVerbNotSupported" << "Sleep verb not supported"
                                       << PowerRefusal::Other;
    }
    // Catches a refusal taken for an acceptance, a refusal sorted into the
    // wrong sentence for the user, and logind's own words lost to the record.
    void refusalsAreSortedAndKeepLogindsWords()
    {
        QFETCH(QString, errorName);
        QFETCH(QString, message);
        QFETCH(PowerRefusal, refusal);
        setMethodCode(QStringLiteral("PowerOff"),
                      QStringLiteral("raise dbus.exceptions.DBusException('%1', name='%2')").arg(message, errorName));
        const PowerOutcome outcome = LogindPower().request(RunAction::ShutDown);
        setMethodCode(QStringLiteral("PowerOff"), QString());
        QCOMPARE(outcome.refusal, refusal);
        QVERIFY2(outcome.reason.contains(message), qPrintable(outcome.reason));
    }

    // A logind that never answers must not hold the program for ever: past
    // the request's bound the request counts as refused.
    void anUnansweredRequestIsGivenUpOn()
    {
        using namespace std::chrono_literals;
        setMethodCode(QStringLiteral("Suspend"), QStringLiteral("import time; time.sleep(6)"));
        QElapsedTimer clock;
        clock.start();
        const PowerOutcome outcome = LogindPower(5000ms, 2000ms).request(RunAction::Suspend);
        const qint64 elapsed = clock.elapsed();
        setMethodCode(QStringLiteral("Suspend"), QString());
        QCOMPARE(outcome.refusal, PowerRefusal::NoAnswer);
        QVERIFY2(elapsed < 4500, qPrintable(QString::number(elapsed)));
    }

    // An answer inside the request's bound counts, however slow it is: a
    // password prompt may take a while, and D-Bus's usual 25 seconds must not
    // end the wait. The row past those 25 seconds takes half a minute, so it
    // runs in CI (CI=true) or when QUENBY_SLOW_TESTS is set.
    void slowAnswerWithinTheBoundIsWaitedFor_data()
    {
        QTest::addColumn<int>("bound"); // ms; 0 for the program's own
        QTest::addColumn<int>("answerAfter"); // s
        QTest::newRow("2 s within a bound of 4 s") << 4000 << 2;
        QTest::newRow("27 s within the program's bound") << 0 << 27;
    }
    void slowAnswerWithinTheBoundIsWaitedFor()
    {
        using namespace std::chrono_literals;
        QFETCH(int, bound);
        QFETCH(int, answerAfter);
        if (answerAfter > 25 && qgetenv("CI") != "true" && qEnvironmentVariableIsEmpty("QUENBY_SLOW_TESTS"))
            QSKIP("takes half a minute: runs with CI=true or QUENBY_SLOW_TESTS=1");
        setMethodCode(QStringLiteral("Reboot"), QStringLiteral("import time; time.sleep(%1)").arg(answerAfter));
        QElapsedTimer clock;
        clock.start();
        const PowerOutcome outcome = bound
                                         ? LogindPower(5000ms, std::chrono::milliseconds(bound)).request(RunAction::Restart)
                                         : LogindPower().request(RunAction::Restart);
        setMethodCode(QStringLiteral("Reboot"), QString());
        QVERIFY2(outcome.accepted(), qPrintable(outcome.reason));
        QVERIFY(clock.elapsed() >= answerAfter * 1000 - 1000);
    }

    // A session bus that had stopped answering (its daemon stopped) held up
    // every bus connection of the program, the power request's too: logind
    // never heard of it. Here Qt's own connections are stuck on such a bus,
    // as the accessibility bridge would be, and so is the session link of ours.
    void aStuckSessionBusHoldsUpNoPowerRequest()
    {
        using namespace std::chrono_literals;
        const QString socket = m_busFolder.filePath(QStringLiteral("silent"));
        Descriptor silent(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); // listens, never accepts
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        qstrncpy(where.sun_path, QFile::encodeName(socket).constData(), sizeof where.sun_path);
        QVERIFY(::bind(silent.get(), reinterpret_cast<sockaddr *>(&where), sizeof where) == 0);
        QVERIFY(::listen(silent.get(), 8) == 0);
        const QString address = QStringLiteral("unix:path=") + socket;
        std::thread qtConnection([address] { QDBusConnection::connectToBus(address, QStringLiteral("stuck")); });
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        BusLink session(BusLink::Bus::Session, 30s);
        session.send(session.signal("/jp/tarven/Quenby", "jp.tarven.Quenby", "Stuck"));
        QTest::qWait(300);

        QElapsedTimer clock;
        clock.start();
        const PowerOutcome outcome = LogindPower().request(RunAction::ShutDown);
        const qint64 elapsed = clock.elapsed();
        silent.reset(); // lets the stuck connections fail
        qtConnection.join();
        QVERIFY2(outcome.accepted(), qPrintable(outcome.reason));
        QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
        QVERIFY(!session.ready());
    }

    void withoutLogindTheRequestFails()
    {
        m_mock.terminate();
        QVERIFY(m_mock.waitForFinished(10000));
        QTRY_VERIFY(!logindPresent());
        LogindPower power;
        QCOMPARE(power.request(RunAction::ShutDown).refusal, PowerRefusal::NoAnswer);
    }
};

QUENBY_TEST_MAIN(LogindPowerTest)
#include "logind_power_test.moc"
