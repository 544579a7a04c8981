#include "scratch.h"

#include "platform/session_bus_gate.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quenby;
using namespace quenby::session_bus_gate;
using namespace std::chrono_literals;

namespace {

// A socket standing where a session bus would: one that answers the greeting
// (with a refusal, which is an answer too), one that takes connections and
// never says a word, or one bound but not listening, as after a crash.
class BusStandIn
{
public:
    enum Kind { Answering, Silent, Stale };

    BusStandIn(Kind kind, const QByteArray &name, bool abstract = false)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path + (abstract ? 1 : 0), name.constData(), sizeof address.sun_path - 1);
        const socklen_t length = abstract ? socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())
                                          : socklen_t(sizeof address);
        if (!abstract)
            m_path = name;
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length);
        if (kind != Stale)
            ::listen(m_fd, 8);
        if (kind == Answering)
            m_answering = std::thread([fd = m_fd] {
                const int peer = ::accept(fd, nullptr, nullptr);
                char greeting[64];
                if (peer >= 0 && ::read(peer, greeting, sizeof greeting) > 0)
                    ::write(peer, "REJECTED EXTERNAL\r\n", 19);
                ::close(peer);
            });
    }
    ~BusStandIn()
    {
        // Lets a stand-in that nobody greeted end its wait.
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_answering.joinable())
            m_answering.join();
        ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

private:
    QByteArray m_path;
    int m_fd = -1;
    std::thread m_answering;
};

} // namespace

class SessionBusGateTest final : public QObject
{
    Q_OBJECT

private:
    // Sockets need a short path; the scratch folder may sit deep.
    QTemporaryDir m_folder{QStringLiteral("/tmp/quenby-gate-XXXXXX")};

    QByteArray path(const char *name) const { return QFile::encodeName(m_folder.filePath(QString::fromLatin1(name))); }

private slots:
    void eachAddressIsJudgedAsTheBusLibraryWouldUseIt_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("address"); // %1 is the stand-in's path
        QTest::addColumn<bool>("abstract");
        QTest::addColumn<Verdict>("verdict");
        QTest::newRow("answers") << int(BusStandIn::Answering) << QByteArray("unix:path=%1,guid=0123") << false
                                 << Verdict::Answers;
        QTest::newRow("silent") << int(BusStandIn::Silent) << QByteArray("unix:path=%1") << false << Verdict::Silent;
        QTest::newRow("silent, abstract") << int(BusStandIn::Silent) << QByteArray("unix:abstract=%1") << true
                                          << Verdict::Silent;
        QTest::newRow("stale socket") << int(BusStandIn::Stale) << QByteArray("unix:path=%1") << false
                                      << Verdict::Missing;
        QTest::newRow("missing first, silent next")
            << int(BusStandIn::Silent) << QByteArray("unix:path=%1-gone;unix:path=%1") << false << Verdict::Silent;
        QTest::newRow("escaped path") << int(BusStandIn::Answering) << QByteArray("unix:path=%1") << false
                                      << Verdict::Answers;
        QTest::newRow("tcp is not probed") << int(BusStandIn::Silent) << QByteArray("tcp:host=127.0.0.1,port=1")
                                           << false << Verdict::Unjudged;
        QTest::newRow("nonsense") << int(BusStandIn::Silent) << QByteArray("no bus here") << false << Verdict::Missing;
    }
    // Catches a silent bus taken for a healthy one (start-up would hang), a
    // healthy one given up (no screen reader, no notifications), and a list
    // not tried in the library's order.
    void eachAddressIsJudgedAsTheBusLibraryWouldUseIt()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, address);
        QFETCH(bool, abstract);
        QFETCH(Verdict, verdict);
        const bool escaped = QByteArray(QTest::currentDataTag()) == "escaped path";
        const QByteArray name = abstract ? QByteArray("quenby-gate-") + QByteArray::number(::getpid())
                                         : path(escaped ? "bus 1" : "bus");
        const BusStandIn bus(BusStandIn::Kind(kind), name, abstract);
        QByteArray spelled = name;
        if (escaped)
            spelled.replace(' ', "%20");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(judge(address.replace("%1", spelled).toStdString(), 300ms), verdict);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // Without the variable the library takes the runtime folder's socket,
    // when it is one, and else launches a bus.
    void theAddressInUseIsTheVariableElseTheRuntimeFoldersSocket()
    {
        QCOMPARE(addressInUse("unix:path=/x", "/nowhere").value(), std::string("unix:path=/x"));
        QVERIFY(!addressInUse("", m_folder.path().toLocal8Bit().constData()));
        QVERIFY(!addressInUse(nullptr, nullptr));
        QFile notASocket(m_folder.filePath(QStringLiteral("bus")));
        QVERIFY(notASocket.open(QIODevice::WriteOnly));
        QVERIFY(!addressInUse(nullptr, m_folder.path().toLocal8Bit().constData()));
        notASocket.remove();
        const BusStandIn bus(BusStandIn::Answering, path("bus"));
        QCOMPARE(addressInUse(nullptr, m_folder.path().toLocal8Bit().constData()).value(),
                 "unix:path=" + path("bus").toStdString());
    }

    // Catches the programs of a run losing the user's own session bus.
    void aSilentBusLooksAbsentHereButTheRunsProgramsGetTheOriginal()
    {
        const BusStandIn bus(BusStandIn::Silent, path("bus"));
        const QByteArray original = "unix:path=" + path("bus");
        qputenv("DBUS_SESSION_BUS_ADDRESS", original);
        QCOMPARE(keepOutOfTheWay(300ms), Verdict::Silent);
        QCOMPARE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), QByteArray("disabled:"));
        ChildEnvironment environment;
        QStringList buses;
        for (char **entry = environment.get(); *entry; ++entry) {
            if (QByteArray(*entry).startsWith("DBUS_SESSION_BUS_ADDRESS="))
                buses << QString::fromLocal8Bit(*entry);
        }
        QCOMPARE(buses, QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + QString::fromLocal8Bit(original)});
        QVERIFY(qEnvironmentVariableIsSet("HOME") && environment.get() != environ);
    }
};

QUENBY_TEST_GUILESS_MAIN(SessionBusGateTest)
#include "session_bus_gate_test.moc"
