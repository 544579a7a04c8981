#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <list>
#include <memory>

#include <systemd/sd-bus.h>

class QSocketNotifier;
class QTimer;

namespace quenby {

struct BusMessageUnref
{
    void operator()(sd_bus_message *message) const;
};
using BusMessage = std::unique_ptr<sd_bus_message, BusMessageUnref>;

// A connection of our own to the system bus or the session bus, through
// libsystemd's sd-bus, driven by the window thread's event loop: nothing here
// ever blocks, every connection is its own (a stuck one holds up no other,
// unlike the bus connections of Qt, which share one thread), and none is ever
// launched. The connection is opened when first used; a bus that does not let
// us in within `connectBound` is given up for the life of this link.
class BusLink : public QObject
{
    Q_OBJECT

public:
    enum class Bus { System, Session };

    // The answer to a call: `reply` (valid only while the handler runs) or,
    // when the call failed, timed out or the link went, the error's name and text.
    struct Answer
    {
        sd_bus_message *reply = nullptr;
        QString errorName;
        QString errorText;
        bool ok() const { return reply && errorName.isEmpty(); }
    };
    using AnswerHandler = std::function<void(const Answer &)>;
    using SignalHandler = std::function<void(sd_bus_message *)>;

    BusLink(Bus bus, std::chrono::milliseconds connectBound);
    ~BusLink() override;

    // Opens the connection the first time; false once the bus cannot be had.
    bool available();
    // The bus has let us in: calls go out at once.
    bool ready() const { return m_ready; }
    // Why the bus could not be had, for the run's record.
    QString why() const { return m_why; }

    // A message to fill with sd_bus_message_append(); null when not available.
    BusMessage methodCall(const char *service, const char *path, const char *interface, const char *member);
    BusMessage signal(const char *path, const char *interface, const char *member);

    // Sends `call` and hands its answer to `onAnswer`, from the event loop,
    // within `timeout` at the latest. A call made before the bus has let us
    // in waits for that.
    void call(BusMessage call, std::chrono::milliseconds timeout, AnswerHandler onAnswer);
    void send(BusMessage message);
    // Runs `onSignal` for every signal of that name the bus brings.
    void listen(const char *path, const char *interface, const char *member, SignalHandler onSignal);

    // Nothing waits to be written and no call waits for its answer.
    bool settled() const;
    // Lets the event loop run until `done()` holds, the link fails, or `bound`
    // has passed; says whether `done()` holds.
    bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds bound);

signals:
    // Something came from the bus, or the link went.
    void changed();

private:
    struct Pending;

    bool open();
    void process();
    void watchDescriptor();
    void rearm();
    void fail(const QString &why);
    void answer(Pending *pending, const Answer &answer);
    static int onReply(sd_bus_message *reply, void *userdata, sd_bus_error *error);
    static int onSignalMessage(sd_bus_message *message, void *userdata, sd_bus_error *error);
    QString busName() const;

    Bus m_bus;
    std::chrono::milliseconds m_connectBound;
    sd_bus *m_connection = nullptr;
    bool m_tried = false;
    bool m_ready = false;
    bool m_processing = false;
    QString m_why;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
    QTimer *m_tick = nullptr;
    QTimer *m_connectTimer = nullptr;
    std::list<std::unique_ptr<Pending>> m_pending;
    struct Listener;
    std::list<std::unique_ptr<Listener>> m_listeners;
};

} // namespace quenby
