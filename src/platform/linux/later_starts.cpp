#include "platform/linux/later_starts.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quenby {

namespace {

// One short word a request, and one an outcome.
template<typename Value>
struct Word
{
    Value value;
    const char *word;
};
constexpr Word<std::optional<RunAction>> kRequestWords[] = {
    {std::nullopt, "show"},
    {RunAction::ShutDown, "run shutdown"},
    {RunAction::Restart, "run restart"},
    {RunAction::Suspend, "run suspend"},
    {RunAction::RunOnly, "run run-only"},
};
// Every outcome has its word, though the last three are never sent.
constexpr Word<RequestOutcome> kOutcomeWords[] = {
    {RequestOutcome::CopyEnded, "ended"},
    {RequestOutcome::Shown, "shown"},
    {RequestOutcome::PowerAccepted, "power accepted"},
    {RequestOutcome::RunFinished, "run finished"},
    {RequestOutcome::DroppedDuringRun, "dropped: run"},
    {RequestOutcome::DroppedSettingsOpen, "dropped: settings"},
    {RequestOutcome::DroppedMessageOpen, "dropped: message"},
    {RequestOutcome::StoppedAtStartFailure, "stopped"},
    {RequestOutcome::Cancelled, "cancelled"},
    {RequestOutcome::PowerRefused, "power refused"},
    {RequestOutcome::Unreachable, "unreachable"},
    {RequestOutcome::LockUnusable, "no lock"},
};

const QByteArray kTaken = QByteArrayLiteral("taken");
constexpr size_t kLongestMessage = 32;
constexpr int kBacklog = 16;

// The word of a value; the table's first word for one it lacks.
template<typename Value, size_t N>
const char *wordFor(const Word<Value> (&table)[N], Value value)
{
    for (const Word<Value> &w : table) {
        if (w.value == value)
            return w.word;
    }
    return table[0].word;
}

template<typename Value, size_t N>
std::optional<Value> valueFor(const Word<Value> (&table)[N], const QByteArray &message)
{
    for (const Word<Value> &w : table) {
        if (message == w.word)
            return w.value;
    }
    return std::nullopt;
}

// An abstract name: a NUL first, then the name, with no NUL at its end.
bool abstractAddress(const QByteArray &name, sockaddr_un &address, socklen_t &length)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() + 1 > qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    return true;
}

// The other end is a process of our own user. Nobody else can learn the
// name, but anybody can bind a name once it is free again, or connect to one.
bool peerIsOurs(int fd)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

QByteArray randomName()
{
    unsigned char bytes[16];
    if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes))
        return {};
    return "jp.tarven.Quenby/" + QByteArray::number(::geteuid()) + '/'
        + QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex();
}

bool sendWord(int fd, const QByteArray &word)
{
    return ::send(fd, word.constData(), size_t(word.size()), MSG_DONTWAIT | MSG_NOSIGNAL) == word.size();
}

// One message, waited for up to `timeoutMs` (-1: as long as it takes).
// Nothing when the time ran out; an empty message when the other end went.
std::optional<QByteArray> receiveWord(int fd, int timeoutMs)
{
    pollfd watched{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return std::nullopt;
    char message[kLongestMessage];
    ssize_t length;
    do {
        length = ::recv(fd, message, sizeof message, MSG_DONTWAIT);
    } while (length < 0 && errno == EINTR);
    return length > 0 ? QByteArray(message, length) : QByteArray();
}

// A caller that has gone while its request waited is not carried out: nobody
// waits for that run any more.
bool callerHasGone(int fd)
{
    pollfd watched{fd, POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
}

} // namespace

LaterStarts::Listener LaterStarts::listenUnderNewName()
{
    // A name is free unless somebody guessed 128 random bits; one more try
    // costs nothing.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QByteArray name = randomName();
        sockaddr_un address{};
        socklen_t length = 0;
        if (!abstractAddress(name, address, length))
            return {};
        Descriptor socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!socket)
            return {};
        if (::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), length) == 0
            && ::listen(socket.get(), kBacklog) == 0)
            return {name, std::move(socket)};
    }
    return {};
}

LaterStarts::LaterStarts(Descriptor listener, std::function<void(std::optional<RunAction>, RequestAnswer)> handle,
                         QObject *parent)
    : QObject(parent)
    , m_handle(std::move(handle))
    , m_listener(std::move(listener))
{
    auto *incoming = new QSocketNotifier(m_listener.get(), QSocketNotifier::Read, this);
    connect(incoming, &QSocketNotifier::activated, this, &LaterStarts::acceptCallers);
}

LaterStarts::~LaterStarts() = default;

void LaterStarts::acceptCallers()
{
    for (;;) {
        Descriptor caller(::accept4(m_listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!caller) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        if (!peerIsOurs(caller.get()))
            continue;
        auto *readable = new QSocketNotifier(caller.get(), QSocketNotifier::Read, this);
        connect(readable, &QSocketNotifier::activated, this, [this, readable] { readRequest(readable); });
        m_callers.emplace(readable, std::move(caller));
    }
}

// The caller is told at once that its request was taken; the outcome follows
// through the answer, which holds the connection until it is given.
void LaterStarts::readRequest(QSocketNotifier *notifier)
{
    const auto found = m_callers.find(notifier);
    if (found == m_callers.end())
        return;
    const std::optional<QByteArray> message = receiveWord(found->second.get(), 0);
    if (!message)
        return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    auto connection = std::make_shared<Descriptor>(std::move(found->second));
    m_callers.erase(found);
    const std::optional<std::optional<RunAction>> request = valueFor(kRequestWords, *message);
    if (!request || callerHasGone(connection->get()) || !sendWord(connection->get(), kTaken))
        return;
    m_handle(*request, [connection](RequestOutcome outcome) {
        sendWord(connection->get(), wordFor(kOutcomeWords, outcome));
        connection->reset();
    });
}

std::optional<RequestOutcome> LaterStarts::handOver(const QByteArray &name, std::optional<RunAction> request, int takeWithinMs)
{
    sockaddr_un address{};
    socklen_t length = 0;
    if (!abstractAddress(name, address, length))
        return std::nullopt;
    // Without waiting: a copy whose queue of callers is full does not listen
    // just now.
    const Descriptor socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket || ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), length) != 0
        || !peerIsOurs(socket.get()) || !sendWord(socket.get(), wordFor(kRequestWords, request)))
        return std::nullopt;
    const std::optional<QByteArray> taken = receiveWord(socket.get(), takeWithinMs);
    if (!taken)
        return RequestOutcome::Unreachable;
    if (*taken != kTaken)
        return RequestOutcome::CopyEnded;
    const std::optional<QByteArray> answer = receiveWord(socket.get(), -1);
    return valueFor(kOutcomeWords, answer.value_or(QByteArray())).value_or(RequestOutcome::CopyEnded);
}

} // namespace quenby
