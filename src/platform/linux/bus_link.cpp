#include "platform/linux/bus_link.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cstring>

#include <poll.h>
#include <systemd/sd-bus.h>
#include <time.h>

namespace quenby {

namespace {

// The error an answer carries when the link itself went: the same one the bus
// gives a call whose connection closed.
const QString kDisconnected = QStringLiteral("org.freedesktop.DBus.Error.Disconnected");

QString seconds(std::chrono::milliseconds time)
{
    return QString::number((time.count() + 999) / 1000);
}

std::chrono::milliseconds untilMonotonic(uint64_t usec)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUsec = uint64_t(now.tv_sec) * 1'000'000 + uint64_t(now.tv_nsec) / 1000;
    return std::chrono::milliseconds(usec <= nowUsec ? 0 : (usec - nowUsec + 999) / 1000);
}

} // namespace

void BusMessageUnref::operator()(sd_bus_message *message) const
{
    sd_bus_message_unref(message);
}

struct BusLink::Pending
{
    BusLink *link = nullptr;
    AnswerHandler handler;
    sd_bus_slot *slot = nullptr;
};

struct BusLink::Listener
{
    SignalHandler handler;
    sd_bus_slot *slot = nullptr;
};

BusLink::BusLink(Bus bus, std::chrono::milliseconds connectBound)
    : m_bus(bus)
    , m_connectBound(connectBound)
{
}

BusLink::~BusLink()
{
    for (auto &pending : m_pending)
        sd_bus_slot_unref(pending->slot);
    for (auto &listener : m_listeners)
        sd_bus_slot_unref(listener->slot);
    delete m_readable;
    delete m_writable;
    if (m_connection)
        sd_bus_close_unref(m_connection);
}

QString BusLink::busName() const
{
    return m_bus == Bus::System ? QStringLiteral("system bus") : QStringLiteral("session bus");
}

bool BusLink::available()
{
    if (!m_tried)
        return open();
    return m_connection != nullptr;
}

// Tried once: a session without a bus, or a bus that does not let us in,
// costs nothing more for the rest of this link's life.
bool BusLink::open()
{
    m_tried = true;
    sd_bus *connection = nullptr;
    const int r = m_bus == Bus::System ? sd_bus_open_system_with_description(&connection, "quenby")
                                       : sd_bus_open_user_with_description(&connection, "quenby");
    if (r < 0) {
        m_why = QStringLiteral("cannot connect to the %1: %2").arg(busName(), QString::fromLocal8Bit(std::strerror(-r)));
        return false;
    }
    m_connection = connection;
    m_tick = new QTimer(this);
    m_tick->setSingleShot(true);
    connect(m_tick, &QTimer::timeout, this, &BusLink::process);
    m_connectTimer = new QTimer(this);
    m_connectTimer->setSingleShot(true);
    connect(m_connectTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("the %1 did not let us in within %2 s").arg(busName(), seconds(m_connectBound)));
    });
    m_connectTimer->start(m_connectBound);
    watchDescriptor();
    process();
    return m_connection != nullptr;
}

void BusLink::watchDescriptor()
{
    const int fd = sd_bus_get_fd(m_connection);
    if (fd < 0) {
        fail(QStringLiteral("cannot watch the %1").arg(busName()));
        return;
    }
    m_readable = new QSocketNotifier(fd, QSocketNotifier::Read);
    m_writable = new QSocketNotifier(fd, QSocketNotifier::Write);
    connect(m_readable, &QSocketNotifier::activated, this, &BusLink::process);
    connect(m_writable, &QSocketNotifier::activated, this, &BusLink::process);
}

// Does all the bus has for us now, then waits for the descriptor or the next
// time-out sd-bus names (a call's bound, say).
void BusLink::process()
{
    if (m_processing || !m_connection)
        return;
    m_processing = true;
    int r = 0;
    do {
        r = sd_bus_process(m_connection, nullptr);
    } while (r > 0);
    m_processing = false;
    if (r < 0) {
        fail(QStringLiteral("the %1 closed the connection: %2").arg(busName(), QString::fromLocal8Bit(std::strerror(-r))));
        return;
    }
    if (!m_ready && sd_bus_is_ready(m_connection) > 0) {
        m_ready = true;
        m_connectTimer->stop();
    }
    rearm();
    emit changed();
}

void BusLink::rearm()
{
    const int events = sd_bus_get_events(m_connection);
    if (events < 0) {
        fail(QStringLiteral("the %1 closed the connection").arg(busName()));
        return;
    }
    m_writable->setEnabled(events & POLLOUT);
    uint64_t usec = 0;
    if (sd_bus_get_timeout(m_connection, &usec) > 0 && usec != UINT64_MAX)
        m_tick->start(untilMonotonic(usec));
    else
        m_tick->stop();
}

// The link is given up: whoever waits for an answer gets one now.
void BusLink::fail(const QString &why)
{
    if (!m_connection)
        return;
    m_why = why;
    m_ready = false;
    delete m_readable;
    delete m_writable;
    m_readable = m_writable = nullptr;
    m_tick->stop();
    m_connectTimer->stop();
    for (auto &listener : m_listeners)
        listener->slot = sd_bus_slot_unref(listener->slot);
    std::list<std::unique_ptr<Pending>> pending;
    pending.swap(m_pending);
    for (auto &p : pending)
        p->slot = sd_bus_slot_unref(p->slot);
    m_connection = sd_bus_close_unref(m_connection);
    for (auto &p : pending)
        p->handler({nullptr, kDisconnected, why});
    emit changed();
}

BusMessage BusLink::methodCall(const char *service, const char *path, const char *interface, const char *member)
{
    sd_bus_message *message = nullptr;
    if (!available() || sd_bus_message_new_method_call(m_connection, &message, service, path, interface, member) < 0)
        return {};
    return BusMessage(message);
}

BusMessage BusLink::signal(const char *path, const char *interface, const char *member)
{
    sd_bus_message *message = nullptr;
    if (!available() || sd_bus_message_new_signal(m_connection, &message, path, interface, member) < 0)
        return {};
    return BusMessage(message);
}

void BusLink::call(BusMessage call, std::chrono::milliseconds timeout, AnswerHandler onAnswer)
{
    auto pending = std::make_unique<Pending>();
    pending->link = this;
    pending->handler = std::move(onAnswer);
    const uint64_t usec = uint64_t(timeout.count()) * 1000;
    if (!call || !m_connection
        || sd_bus_call_async(m_connection, &pending->slot, call.get(), &BusLink::onReply, pending.get(), usec) < 0) {
        // Answered from the event loop all the same, never from inside this call.
        QTimer::singleShot(0, this, [handler = std::move(pending->handler), why = m_why] {
            handler({nullptr, kDisconnected, why.isEmpty() ? QStringLiteral("the call could not be sent") : why});
        });
        return;
    }
    m_pending.push_back(std::move(pending));
    rearm();
}

void BusLink::send(BusMessage message)
{
    if (!message || !m_connection)
        return;
    sd_bus_send(m_connection, message.get(), nullptr);
    rearm();
}

void BusLink::listen(const char *path, const char *interface, const char *member, SignalHandler onSignal)
{
    if (!available())
        return;
    auto listener = std::make_unique<Listener>();
    listener->handler = std::move(onSignal);
    if (sd_bus_match_signal_async(m_connection, &listener->slot, nullptr, path, interface, member,
                                  &BusLink::onSignalMessage, nullptr, listener.get())
        < 0)
        return;
    m_listeners.push_back(std::move(listener));
    rearm();
}

int BusLink::onReply(sd_bus_message *reply, void *userdata, sd_bus_error *)
{
    auto *pending = static_cast<Pending *>(userdata);
    Answer answer{reply, {}, {}};
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        const sd_bus_error *error = sd_bus_message_get_error(reply);
        answer.errorName = QString::fromUtf8(error && error->name ? error->name : "");
        answer.errorText = QString::fromUtf8(error && error->message ? error->message : "");
    }
    pending->link->answer(pending, answer);
    return 1;
}

void BusLink::answer(Pending *pending, const Answer &answer)
{
    AnswerHandler handler = std::move(pending->handler);
    sd_bus_slot_unref(pending->slot);
    m_pending.remove_if([pending](const std::unique_ptr<Pending> &p) { return p.get() == pending; });
    handler(answer);
}

int BusLink::onSignalMessage(sd_bus_message *message, void *userdata, sd_bus_error *)
{
    static_cast<Listener *>(userdata)->handler(message);
    return 0;
}

bool BusLink::settled() const
{
    if (!m_connection)
        return true;
    return m_pending.empty() && m_ready && !(sd_bus_get_events(m_connection) & POLLOUT);
}

bool BusLink::waitUntil(const std::function<bool()> &done, std::chrono::milliseconds bound)
{
    if (done() || (m_tried && !m_connection))
        return done();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &BusLink::changed, &loop, [&] {
        if (done() || !m_connection)
            loop.quit();
    });
    timer.start(bound);
    loop.exec();
    return done();
}

} // namespace quenby
