#pragma once

#include <QByteArray>
#include <QObject>

#include "platform/descriptor.h"
#include "platform/desktop.h"

#include <functional>

class QSocketNotifier;

namespace quenby {

// How a second start of the program reaches the copy that runs already: a
// datagram socket in the user's runtime folder, which no other account can
// enter. The second copy drops a request there and ends without waiting; the
// running copy reads it whenever its event loop runs, so a copy that is busy
// (a pause, a power request) takes the request later or never, and no sender
// is ever held up.
class ShowRequests : public QObject
{
public:
    // Starts listening; `handle` runs for every request that arrives.
    explicit ShowRequests(std::function<void(StartRequest)> handle, QObject *parent = nullptr);
    ~ShowRequests() override;

    bool isListening() const { return bool(m_fd); }

    // The second copy's side: hands the running copy its request (its window,
    // or a run). Returns at once whether or not anybody listens.
    static void askRunningCopy(StartRequest request = StartRequest::Show);

    // Where the socket lives; empty when the session has no runtime folder of
    // this user's alone (mode 0700, owned by the user).
    static QByteArray socketPath();

private:
    void listen();
    void readRequests();

    std::function<void(StartRequest)> m_handle;
    Descriptor m_fd;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace quenby
