#include "scratch.h"

#include "platform/linux/later_starts.h"

#include <cstring>
#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quenby;

namespace {

using Outcome = std::optional<RequestOutcome>;

// The later start blocks until its answer comes; the running copy answers
// from its event loop, here the test's own.
Outcome handOver(const QByteArray &name, std::optional<RunAction> request, int takeWithinMs = 10000)
{
    auto sent = std::async(std::launch::async, [=] { return LaterStarts::handOver(name, request, takeWithinMs); });
    while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return sent.get();
}

// A request sent by hand, as any process may send one; whether anything
// came back.
int answeredTo(const QByteArray &name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    const Descriptor fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    char reply[32];
    return ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), length) == 0
        && ::send(fd.get(), "run shutdown", 12, 0) == 12 && ::recv(fd.get(), reply, sizeof reply, 0) > 0;
}

// Runs `work` as the user nobody, in a child; its exit status.
int asNobody(const std::function<int()> &work)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setresuid(65534, 65534, 65534) == 0 ? work() : 99);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0)
        QTest::qWait(5);
    return WEXITSTATUS(status);
}

} // namespace

class LaterStartsTest final : public QObject
{
    Q_OBJECT

private slots:
    // Catches a request or an outcome changed on the way, a later start that
    // waits for ever on a copy that never takes its request or is not told
    // when that copy ends without an answer, and a request of another account
    // taken.
    void everyRequestHearsWhatBecameOfIt()
    {
        LaterStarts::Listener made = LaterStarts::listenUnderNewName();
        const QByteArray name = made.name;
        QVERIFY(!name.isEmpty());
        QList<std::optional<RunAction>> seen;
        Outcome reply;
        LaterStarts listener(std::move(made.socket), [&](std::optional<RunAction> request, const RequestAnswer &answer) {
            seen << request;
            if (reply)
                answer(*reply);
        });
        for (int o = int(RequestOutcome::Shown); o <= int(RequestOutcome::PowerRefused); ++o) {
            for (const std::optional<RunAction> request : {std::optional<RunAction>(), std::optional(RunAction::ShutDown),
                                                           std::optional(RunAction::Restart), std::optional(RunAction::Suspend),
                                                           std::optional(RunAction::RunOnly)}) {
                reply = RequestOutcome(o);
                QCOMPARE(handOver(name, request), reply);
                QCOMPARE(seen.takeLast(), request);
            }
        }
        reply.reset();
        QCOMPARE(handOver(name, RunAction::ShutDown), RequestOutcome::CopyEnded);
        QCOMPARE(LaterStarts::handOver(name + "-nobody", std::nullopt), Outcome());
        QCOMPARE(LaterStarts::handOver(LaterStarts::listenUnderNewName().name, std::nullopt, 200),
                 RequestOutcome::Unreachable);

        if (::geteuid() != 0)
            QSKIP("only root can act as another account here");
        QCOMPARE(asNobody([&] { return answeredTo(name); }), 0);
        QCOMPARE(seen.size(), 1);
    }
};

QUENBY_TEST_MAIN(LaterStartsTest)
#include "later_starts_test.moc"
