#include "platform/show_requests.h"

#include "platform/linux_folders.h"
#include "platform/ownership.h"

#include <QFile>
#include <QSocketNotifier>

#include <cstring>
#include <vector>
#include <optional>
#include <utility>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quenby {

namespace {

// One short word a datagram: what the later start asks for.
struct RequestWord
{
    StartRequest request;
    const char *word;
};
constexpr RequestWord kWords[] = {
    {StartRequest::Show, "show"},
    {StartRequest::ShutDown, "run shutdown"},
    {StartRequest::Restart, "run restart"},
    {StartRequest::Suspend, "run suspend"},
    {StartRequest::RunOnly, "run run-only"},
};
constexpr size_t kLongestWord = 16;

const char *wordFor(StartRequest request)
{
    for (const RequestWord &w : kWords) {
        if (w.request == request)
            return w.word;
    }
    return kWords[0].word;
}

std::optional<StartRequest> requestFor(const char *message, size_t length)
{
    for (const RequestWord &w : kWords) {
        if (std::strlen(w.word) == length && std::memcmp(w.word, message, length) == 0)
            return w.request;
    }
    return std::nullopt;
}

bool isPrivateFolder(const QByteArray &folder)
{
    struct stat info{};
    return ::stat(folder.constData(), &info) == 0 && S_ISDIR(info.st_mode) && ownedByUs(info)
        && (info.st_mode & 077) == 0;
}

// A socket address for the path. A path too long for an address (a runtime
// folder deep down a test tree) is reached through an open descriptor of its
// folder, which `folder` then holds while the address is in use.
bool addressFor(const QByteArray &path, sockaddr_un &address, Descriptor &folder)
{
    address = {};
    address.sun_family = AF_UNIX;
    QByteArray name = path;
    if (name.size() >= qsizetype(sizeof(address.sun_path))) {
        const qsizetype slash = path.lastIndexOf('/');
        folder.reset(::open(path.left(slash).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder)
            return false;
        name = "/proc/self/fd/" + QByteArray::number(folder.get()) + path.mid(slash);
    }
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

// A socket left by a copy that was killed stands in the way; only the copy
// holding the instance lock listens, so whatever socket is there is stale.
void removeStaleSocket(const char *path)
{
    struct stat info{};
    if (::lstat(path, &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path);
}

} // namespace

ShowRequests::ShowRequests(std::function<void(StartRequest)> handle, QObject *parent)
    : QObject(parent)
    , m_handle(std::move(handle))
{
    listen();
}

ShowRequests::~ShowRequests() = default;

QByteArray ShowRequests::socketPath()
{
    const QByteArray folder = QFile::encodeName(linux_folders::runtimeFolder());
    if (folder.isEmpty() || !isPrivateFolder(folder))
        return {};
    return folder + "/TARVEN Inc.Quenby.show";
}

void ShowRequests::listen()
{
    const QByteArray path = socketPath();
    sockaddr_un address{};
    Descriptor folder;
    if (path.isEmpty() || !addressFor(path, address, folder))
        return;
    removeStaleSocket(path.constData());
    Descriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket || ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return;
    m_fd = std::move(socket);
    ::chmod(path.constData(), 0600);
    m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShowRequests::readRequests);
}

// Requests to show the window that piled up while the program was busy bring
// it forward once; every request of a run is handed on, in order, so that each
// is judged (and, during a run, dropped and recorded) on its own.
void ShowRequests::readRequests()
{
    std::vector<StartRequest> requests;
    bool showAsked = false;
    char message[kLongestWord];
    ssize_t length;
    while ((length = ::recv(m_fd.get(), message, sizeof message, 0)) >= 0) {
        const std::optional<StartRequest> request = requestFor(message, size_t(length));
        if (!request || (*request == StartRequest::Show && std::exchange(showAsked, true)))
            continue;
        requests.push_back(*request);
    }
    for (StartRequest request : requests)
        m_handle(request);
}

void ShowRequests::askRunningCopy(StartRequest request)
{
    const QByteArray path = socketPath();
    sockaddr_un address{};
    Descriptor folder;
    if (path.isEmpty() || !addressFor(path, address, folder))
        return;
    const Descriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket)
        return;
    const char *word = wordFor(request);
    ::sendto(socket.get(), word, std::strlen(word), MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr *>(&address), sizeof address);
}

} // namespace quenby
