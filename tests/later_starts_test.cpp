#include "scratch.h"

#include "platform/later_starts.h"

#include <QTest>

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
Outcome handOverWhileListening(const QByteArray &name, StartRequest request, int takeWithinMs = 10000)
{
    auto sent = std::async(std::launch::async, [=] { return LaterStarts::handOver(name, request, takeWithinMs); });
    while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return sent.get();
}

Descriptor connectTo(const QByteArray &name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    Descriptor fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), length) != 0)
        return {};
    return fd;
}

// Runs `work` in a child that has become the user nobody; its exit status.
int asAnotherAccount(const std::function<int()> &work)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setresuid(65534, 65534, 65534) == 0 ? work() : 99);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WEXITSTATUS(status);
}

} // namespace

class LaterStartsTest final : public QObject
{
    Q_OBJECT

private slots:
    // Catches a request or an outcome changed on the way, a later start that
    // waits for ever on a copy that never takes its request or is not told
    // when that copy ends without an answer, and a request carried out for a
    // caller that has already gone.
    void everyRequestHearsWhatBecameOfIt()
    {
        LaterStarts::Listener made = LaterStarts::listenUnderNewName();
        QVERIFY(!made.name.isEmpty());
        const QByteArray name = made.name;
        QList<StartRequest> seen;
        Outcome reply;
        LaterStarts listener(std::move(made.socket), [&](StartRequest request, const RequestAnswer &answer) {
            seen << request;
            if (reply)
                answer(*reply);
        });
        const StartRequest requests[] = {StartRequest::Show, StartRequest::ShutDown, StartRequest::Restart,
                                         StartRequest::Suspend, StartRequest::RunOnly};
        for (int o = int(RequestOutcome::Shown); o <= int(RequestOutcome::PowerRefused); ++o) {
            for (StartRequest request : requests) {
                reply = RequestOutcome(o);
                QCOMPARE(handOverWhileListening(name, request), reply);
                QCOMPARE(seen.takeLast(), request);
            }
        }
        reply.reset();
        QCOMPARE(handOverWhileListening(name, StartRequest::ShutDown), RequestOutcome::CopyEnded);

        Descriptor gone = connectTo(name);
        QVERIFY(::send(gone.get(), "run shutdown", 12, 0) == 12);
        gone.reset();
        QTest::qWait(100);
        QCOMPARE(seen.size(), 1);

        QCOMPARE(LaterStarts::handOver(name + "-nobody", StartRequest::Show), Outcome());
        LaterStarts::Listener deaf = LaterStarts::listenUnderNewName();
        QCOMPARE(LaterStarts::handOver(deaf.name, StartRequest::Show, 200), RequestOutcome::Unreachable);
    }

    // Catches another account taking a request, or answering one.
    void anotherAccountNeitherTakesNorAnswers()
    {
        if (::geteuid() != 0)
            QSKIP("only root can act as another account here");
        LaterStarts::Listener made = LaterStarts::listenUnderNewName();
        bool handled = false;
        LaterStarts listener(std::move(made.socket), [&](StartRequest, const RequestAnswer &) { handled = true; });
        const QByteArray name = made.name;
        auto asked = std::async(std::launch::async, [name] {
            return asAnotherAccount([name] {
                const Descriptor fd = connectTo(name);
                char reply[16];
                return fd && ::send(fd.get(), "run shutdown", 12, 0) == 12 && ::recv(fd.get(), reply, 16, 0) > 0;
            });
        });
        while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QTest::qWait(5);
        QCOMPARE(asked.get(), 0);
        QVERIFY(!handled);

        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const QByteArray theirs = "jp.tarven.Quenby/other-account-test";
        auto listening = std::async(std::launch::async, [&] {
            return asAnotherAccount([&] {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::memcpy(address.sun_path + 1, theirs.constData(), size_t(theirs.size()));
                const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
                ::bind(fd, reinterpret_cast<const sockaddr *>(&address),
                       socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(theirs.size())));
                ::listen(fd, 1);
                (void)!::write(ready[1], "x", 1);
                const int caller = ::accept(fd, nullptr, nullptr);
                char request[16];
                return ::recv(caller, request, sizeof request, 0) > 0 ? 1 : 0;
            });
        });
        char x;
        QCOMPARE(::read(ready[0], &x, 1), ssize_t(1));
        QCOMPARE(LaterStarts::handOver(theirs, StartRequest::ShutDown), Outcome());
        QCOMPARE(listening.get(), 0);
        ::close(ready[0]);
        ::close(ready[1]);
    }
};

QUENBY_TEST_MAIN(LaterStartsTest)
#include "later_starts_test.moc"
