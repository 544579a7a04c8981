#include "scratch.h"

#include "platform/linux/session_bus_gate.h"

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

// A socket standing where a session bus would: one that answers through the
// Hello call, one that refuses us (an answer too), one that accepts our first
// line and then says nothing, one that takes connections and never says a
// word, or one bound but not listening, as after a crash. A name starting
// with "@" is an abstract one.
class BusStandIn
{
public:
    enum Kind { Answering, Refusing, QuietAfterAuth, Silent, Stale };

    BusStandIn(Kind kind, const QByteArray &name) : m_path(name.startsWith('@') ? QByteArray() : name)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
        if (m_path.isEmpty())
            address.sun_path[0] = '\0';
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), socklen_t(offsetof(sockaddr_un, sun_path) + name.size()));
        if (kind != Stale)
            ::listen(m_fd, 8);
        if (kind != Stale && kind != Silent)
            m_answering = std::thread([fd = m_fd, kind] { answerOnce(fd, kind); });
    }
    ~BusStandIn()
    {
        ::shutdown(m_fd, SHUT_RDWR); // ends the wait of a stand-in nobody greeted
        if (m_answering.joinable())
            m_answering.join();
        ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

private:
    static void answerOnce(int fd, Kind kind)
    {
        static const QByteArray words[] = {"OK 0123456789abcdef0123456789abcdef\r\nl\2\1\1"_qba,
                                           "REJECTED EXTERNAL\r\n"_qba, "OK 0123456789abcdef0123456789abcdef\r\n"_qba};
        const int peer = ::accept(fd, nullptr, nullptr);
        char greeting[512];
        if (peer >= 0 && ::read(peer, greeting, sizeof greeting) > 0)
            ::send(peer, words[kind].constData(), size_t(words[kind].size()), MSG_NOSIGNAL);
        while (peer >= 0 && ::read(peer, greeting, sizeof greeting) > 0) {
        }
        ::close(peer);
    }

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

    QByteArray path(const QByteArray &name) const
    {
        return name.startsWith('@') ? name + QByteArray::number(::getpid()) : QFile::encodeName(m_folder.path()) + '/' + name;
    }

private slots:
    void eachAddressIsJudgedAsTheBusLibraryWouldUseIt_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("address"); // %1 is the stand-in's name
        QTest::addColumn<Verdict>("verdict");
        const int answering = BusStandIn::Answering, silent = BusStandIn::Silent;
        QTest::newRow("answers") << answering << "bus"_qba << "unix:path=%1,guid=0123"_qba << Verdict::Answers;
        QTest::newRow("escaped path") << answering << "bus 1"_qba << "unix:path=%1"_qba << Verdict::Answers;
        QTest::newRow("refuses") << int(BusStandIn::Refusing) << "bus"_qba << "unix:path=%1"_qba << Verdict::Answers;
        QTest::newRow("quiet after its first line")
            << int(BusStandIn::QuietAfterAuth) << "bus"_qba << "unix:path=%1"_qba << Verdict::Silent;
        QTest::newRow("silent") << silent << "bus"_qba << "unix:path=%1"_qba << Verdict::Silent;
        QTest::newRow("silent, abstract") << silent << "@gate"_qba << "unix:abstract=%1"_qba << Verdict::Silent;
        QTest::newRow("stale socket") << int(BusStandIn::Stale) << "bus"_qba << "unix:path=%1"_qba << Verdict::Missing;
        QTest::newRow("missing first, silent next")
            << silent << "bus"_qba << "unix:path=%1-gone;unix:path=%1"_qba << Verdict::Silent;
        QTest::newRow("missing first, then a launcher")
            << silent << "bus"_qba << "unix:path=%1-gone;autolaunch:"_qba << Verdict::Launching;
        QTest::newRow("tcp is not probed") << silent << "bus"_qba << "tcp:host=127.0.0.1,port=1"_qba << Verdict::Unjudged;
        QTest::newRow("nonsense") << silent << "bus"_qba << "no bus here"_qba << Verdict::Missing;
    }
    // Catches a silent bus taken for a healthy one (start-up would hang), a
    // healthy one given up (no screen reader, no notifications), and a list
    // not tried in the library's order.
    void eachAddressIsJudgedAsTheBusLibraryWouldUseIt()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, address);
        QFETCH(Verdict, verdict);
        const BusStandIn bus(BusStandIn::Kind(kind), path(name));
        const QByteArray spelled = path(name).mid(name.startsWith('@') ? 1 : 0).replace(' ', "%20");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(judge(address.replace("%1", spelled).toStdString(), 300ms), verdict);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // Without the variable the library takes the runtime folder's socket,
    // when it is one of ours, and else launches a bus.
    void theAddressInUseIsTheVariableElseTheRuntimeFoldersSocket()
    {
        QCOMPARE(addressInUse("unix:path=/x", "/nowhere").value(), std::string("unix:path=/x"));
        QVERIFY(!addressInUse(nullptr, nullptr));
        QFile notASocket(QString::fromLocal8Bit(path("bus")));
        QVERIFY(notASocket.open(QIODevice::WriteOnly));
        QVERIFY(!addressInUse("", m_folder.path().toLocal8Bit().constData()));
        notASocket.remove();
        const BusStandIn bus(BusStandIn::Answering, path("bus"));
        QCOMPARE(addressInUse("", m_folder.path().toLocal8Bit().constData()).value(), "unix:path=" + path("bus").toStdString());
    }

    // Catches the programs of a run losing the user's own session bus, and a
    // start without the variable (from cron) that finds the bus in the
    // runtime folder but leaves the notices' library without it.
    void theBusHereIsTheOneThatAnswersButTheRunsProgramsGetTheOriginal()
    {
        for (const bool silent : {true, false}) {
            const BusStandIn bus(silent ? BusStandIn::Silent : BusStandIn::Answering, path("bus"));
            const QByteArray address = "unix:path=" + path("bus");
            const QByteArray original = silent ? "DBUS_SESSION_BUS_ADDRESS=" + address : QByteArray();
            silent ? qputenv("DBUS_SESSION_BUS_ADDRESS", address) : qunsetenv("DBUS_SESSION_BUS_ADDRESS");
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()));
            QCOMPARE(keepOutOfTheWay(300ms), silent ? Verdict::Silent : Verdict::Answers);
            QCOMPARE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), silent ? "disabled:"_qba : address);
            ChildEnvironment environment;
            QByteArrayList buses;
            for (char **entry = environment.get(); *entry; ++entry) {
                if (QByteArray(*entry).startsWith("DBUS_SESSION_BUS_ADDRESS="))
                    buses << *entry;
            }
            QCOMPARE(buses, silent ? QByteArrayList{original} : QByteArrayList{});
        }
    }
};

QUENBY_TEST_GUILESS_MAIN(SessionBusGateTest)
#include "session_bus_gate_test.moc"
