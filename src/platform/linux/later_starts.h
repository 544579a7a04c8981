#pragma once

#include <QByteArray>
#include <QObject>

#include "platform/cleaner/descriptor.h"
#include "platform/interfaces/desktop.h"

#include <functional>
#include <map>
#include <optional>

class QSocketNotifier;

namespace quenby {

// How a later start of the program reaches the copy that runs, and hears
// back what became of its request: a sequenced-packet socket in the abstract
// namespace, so that it depends on no folder of the session. Its name is
// random, new for every copy, and kept in that copy's lock file (mode 0600):
// only our own account learns it, and no other account can take it before
// us. Both ends check that the other one is a process of our own user.
//
// The exchange is short and bounded in size: the later start sends its
// request in one word; the running copy answers "taken" as soon as it has
// read it, then one outcome once it knows what became of the request: at once
// for a request it drops, at the run's end for one it carries out.
class LaterStarts : public QObject
{
public:
    // A socket listening under a fresh name; an empty name when none could be made.
    struct Listener
    {
        QByteArray name;
        Descriptor socket;
    };
    static Listener listenUnderNewName();

    // Takes the listening socket over; `handle` runs in the event loop for
    // every request read, with the way to answer it.
    LaterStarts(Descriptor listener, std::function<void(std::optional<RunAction>, RequestAnswer)> handle,
                QObject *parent = nullptr);
    ~LaterStarts() override;

    // The later start's side: hands `request` to the copy listening under
    // `name` and waits, without a time limit, for what became of it.
    // Nothing when no copy of ours listens there (yet). Unreachable when the
    // copy does not take the request within `takeWithinMs`; CopyEnded when
    // it ends without an answer.
    static std::optional<RequestOutcome> handOver(const QByteArray &name, std::optional<RunAction> request,
                                                  int takeWithinMs = 10000);

private:
    void acceptCallers();
    void readRequest(QSocketNotifier *notifier);

    std::function<void(std::optional<RunAction>, RequestAnswer)> m_handle;
    Descriptor m_listener;
    // Callers whose request has not been read yet.
    std::map<QSocketNotifier *, Descriptor> m_callers;
};

} // namespace quenby
