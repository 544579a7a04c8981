#include "scratch.h"

#include "platform/linux/logind_power.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quenby;
using namespace std::chrono_literals;

namespace {

// A "system bus" that takes every connection and never says a word: the
// kernel queues the connections and nobody ever reads them.
struct SilentBus
{
    SilentBus()
    {
        char name[] = "/tmp/quenby-silent-XXXXXX";
        folder = ::mkdtemp(name) ? QByteArray(name) : QByteArray();
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, (folder + "/bus").constData(), sizeof address.sun_path);
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        listening = !folder.isEmpty() && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                    && ::listen(fd, 16) == 0;
    }
    ~SilentBus()
    {
        ::close(fd);
        ::unlink((folder + "/bus").constData());
        ::rmdir(folder.constData());
    }
    QByteArray folder;
    int fd = -1;
    bool listening = false;
};

} // namespace

// The system bus is set before anything in this process opens it; no real
// bus is ever reached.
class SilentBusTest final : public QObject
{
    Q_OBJECT

private slots:
    // A bus that accepts the connection and never answers must not freeze the
    // program: the request fails after the connection bound, as a refusal
    // does, and the event loop keeps running meanwhile.
    void aSilentBusIsGivenUpOnAndTheWindowsKeepWorking()
    {
        QVERIFY(qgetenv("DBUS_SYSTEM_BUS_ADDRESS").startsWith("unix:path=/tmp/quenby-silent-"));
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(100);
        QElapsedTimer clock;
        clock.start();
        const PowerOutcome outcome = LogindPower(1500ms, 3000ms).request(RunAction::ShutDown);
        QCOMPARE(outcome.refusal, PowerRefusal::NoAnswer);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= 5, "the event loop stood still while the bus was silent");
    }
};

int main(int argc, char *argv[])
{
    quenby::test::requireScratchEnvironment();
    std::optional<SilentBus> bus;
    bus.emplace();
    if (!bus->listening) {
        std::fprintf(stderr, "could not make the silent bus\n");
        return 1;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + bus->folder + "/bus");
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        SilentBusTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    // The thread still waiting for the silent bus is left behind, as the
    // program leaves it: end without waiting for it.
    bus.reset();
    std::_Exit(result);
}

#include "silent_bus_test.moc"
