#include "platform/linux/session_bus_gate.h"

#include "platform/cleaner/descriptor.h"
#include "platform/linux/linux_folders.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace quenby::session_bus_gate {

namespace {

constexpr const char *kVariable = "DBUS_SESSION_BUS_ADDRESS";
// A transport no bus library knows: every connection attempt fails at once
// with "unknown address type", and none of them launches a bus.
constexpr const char *kNoBus = "disabled:";

// What keepOutOfTheWay() replaced, for the programs we start. Set once, before
// the application object and its threads exist.
struct Replaced
{
    bool done = false;
    std::optional<std::string> original;
};
Replaced g_replaced;

// One entry of an address list: "unix:path=/run/user/1000/bus,guid=…".
struct Entry
{
    std::string transport;
    std::string path;     // unix:path=
    std::string abstract; // unix:abstract=
};

void appendHex(std::string &text, unsigned char byte)
{
    static const char digits[] = "0123456789abcdef";
    text += digits[byte >> 4];
    text += digits[byte & 0xf];
}

// Values are escaped as %XX, bytes of any value.
std::optional<std::string> unescape(const std::string &value)
{
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            plain += value[i];
            continue;
        }
        unsigned byte = 0;
        const char *digits = value.data() + i + 1;
        if (i + 2 >= value.size() || std::from_chars(digits, digits + 2, byte, 16).ptr != digits + 2)
            return std::nullopt;
        plain += char(byte);
        i += 2;
    }
    return plain;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::optional<Entry> parseEntry(const std::string &text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    Entry entry;
    entry.transport = text.substr(0, colon);
    for (const std::string &pair : split(text.substr(colon + 1), ',')) {
        const size_t equals = pair.find('=');
        if (equals == std::string::npos)
            continue;
        const std::optional<std::string> value = unescape(pair.substr(equals + 1));
        if (!value)
            return std::nullopt;
        const std::string key = pair.substr(0, equals);
        if (key == "path")
            entry.path = *value;
        else if (key == "abstract")
            entry.abstract = *value;
    }
    return entry;
}

bool isUnixSocketEntry(const Entry &entry)
{
    return entry.transport == "unix" && (!entry.path.empty() || !entry.abstract.empty());
}

std::optional<sockaddr_un> socketAddress(const Entry &entry, socklen_t &length)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = entry.path.empty();
    const std::string &name = abstract ? entry.abstract : entry.path;
    // An abstract name starts after a NUL byte.
    const size_t offset = abstract ? 1 : 0;
    if (name.size() + offset >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path + offset, name.data(), name.size());
    length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
    return address;
}

enum class Reach { Connected, Refused, Stuck };

// The bus library connects with a blocking call: a socket whose queue of
// connections is full would hold it there, so that counts as stuck.
Reach connectTo(const Descriptor &fd, const Entry &entry)
{
    socklen_t length = 0;
    const std::optional<sockaddr_un> address = socketAddress(entry, length);
    if (!address)
        return Reach::Refused;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&*address), length) == 0)
        return Reach::Connected;
    return errno == EAGAIN || errno == EINPROGRESS ? Reach::Stuck : Reach::Refused;
}

long long millisecondsNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void appendUint32(std::string &text, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        text += char((value >> shift) & 0xff);
}

void padTo(std::string &text, size_t alignment)
{
    text.resize((text.size() + alignment - 1) / alignment * alignment, '\0');
}

// The Hello call every connection starts with, in the wire format: little
// endian, a method call of serial 1 without a body, and its header fields,
// each aligned to 8 bytes from the start of the message.
std::string helloCall()
{
    std::string message{'l', 1, 0, 1};
    appendUint32(message, 0); // the body's length
    appendUint32(message, 1); // the serial
    struct Field
    {
        char code;
        char type;
        const char *value;
    };
    constexpr Field kFields[] = {{1, 'o', "/org/freedesktop/DBus"},
                                 {6, 's', "org.freedesktop.DBus"},
                                 {2, 's', "org.freedesktop.DBus"},
                                 {3, 's', "Hello"}};
    std::string fields;
    for (const Field &field : kFields) {
        padTo(fields, 8);
        fields += {field.code, 1, field.type, '\0'};
        appendUint32(fields, uint32_t(std::strlen(field.value)));
        fields += field.value;
        fields += '\0';
    }
    appendUint32(message, uint32_t(fields.size()));
    message += fields;
    padTo(message, 8);
    return message;
}

// What the bus library says before the bus may keep it waiting, sent at once:
// a NUL byte, AUTH EXTERNAL with our user id in hexadecimal digits of its
// decimal text, BEGIN, and the Hello call. A bus that took the first line and
// then went quiet would hold the library at Hello.
std::string greeting()
{
    std::string text(1, '\0');
    text += "AUTH EXTERNAL ";
    for (char c : std::to_string(::getuid()))
        appendHex(text, (unsigned char)c);
    return text + "\r\nBEGIN\r\n" + helloCall();
}

// Whether what came back so far settles that the bus answers: a refusal of
// the first line, which the library takes at once, or its acceptance and then
// anything more, the reply to Hello.
bool heardEnough(const std::string &heard)
{
    const size_t lineEnd = heard.find("\r\n");
    if (lineEnd == std::string::npos)
        return false;
    return heard.compare(0, 3, "OK ") != 0 || heard.size() > lineEnd + 2;
}

// Waits at most `bound` for the bus to answer; the connection closed counts
// as an answer too, as the library then fails at once.
bool answersWithin(const Descriptor &fd, std::chrono::milliseconds bound)
{
    const std::string hello = greeting();
    if (::send(fd.get(), hello.data(), hello.size(), MSG_NOSIGNAL) != ssize_t(hello.size()))
        return true;
    const long long deadline = millisecondsNow() + bound.count();
    std::string heard;
    for (;;) {
        const long long left = deadline - millisecondsNow();
        if (left <= 0)
            return false;
        pollfd wait{fd.get(), POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(left));
        if (ready < 0 && errno != EINTR)
            return true;
        if (ready <= 0)
            continue;
        char buffer[256];
        const ssize_t length = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (length == 0 || (length < 0 && errno != EINTR && errno != EAGAIN))
            return true;
        if (length > 0)
            heard.append(buffer, size_t(length));
        if (heardEnough(heard))
            return true;
    }
}

std::optional<std::string> variable(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace

std::optional<std::string> addressInUse(const char *variable, const char *runtimeFolder)
{
    if (variable && *variable)
        return std::string(variable);
    if (!runtimeFolder || *runtimeFolder != '/')
        return std::nullopt;
    const std::string bus = std::string(runtimeFolder) + "/bus";
    struct stat st{};
    if (::stat(bus.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt;
    std::string escaped = "unix:path=";
    for (unsigned char c : bus) {
        if (std::isalnum(c) || std::strchr("-_/.\\*", c)) {
            escaped += char(c);
        } else {
            escaped += '%';
            appendHex(escaped, c);
        }
    }
    return escaped;
}

Verdict judge(const std::string &address, std::chrono::milliseconds bound)
{
    for (const std::string &text : split(address, ';')) {
        if (text.empty())
            continue;
        const std::optional<Entry> entry = parseEntry(text);
        if (!entry)
            continue;
        // The library would start a bus of its own there.
        if (entry->transport == "autolaunch")
            return Verdict::Launching;
        if (!isUnixSocketEntry(*entry))
            return Verdict::Unjudged;
        const Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd)
            return Verdict::Unjudged;
        switch (connectTo(fd, *entry)) {
        case Reach::Refused:
            continue;
        case Reach::Stuck:
            return Verdict::Silent;
        case Reach::Connected:
            return answersWithin(fd, bound) ? Verdict::Answers : Verdict::Silent;
        }
    }
    return Verdict::Missing;
}

Verdict keepOutOfTheWay(std::chrono::milliseconds bound)
{
    const std::optional<std::string> original = variable(kVariable);
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string systemRuntime = runtime ? std::string() : linux_folders::systemRuntimeFolder();
    const std::optional<std::string> address
        = addressInUse(original ? original->c_str() : nullptr, runtime ? runtime : systemRuntime.c_str());
    const Verdict verdict = address ? judge(*address, bound) : Verdict::Launching;
    if (verdict == Verdict::Silent || verdict == Verdict::Launching) {
        g_replaced = {true, original};
        ::setenv(kVariable, kNoBus, 1);
    } else if (verdict == Verdict::Answers && (!original || original->empty())) {
        // Found in the runtime folder: named for this process, so that a start
        // from cron, which has neither variable, reaches the desktop too.
        g_replaced = {true, original};
        ::setenv(kVariable, address->c_str(), 1);
    }
    return verdict;
}

ChildEnvironment::ChildEnvironment()
{
    if (!g_replaced.done)
        return;
    const std::string prefix = std::string(kVariable) + '=';
    for (char **entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0)
            m_entries.emplace_back(*entry);
    }
    if (g_replaced.original)
        m_entries.push_back(prefix + *g_replaced.original);
    for (std::string &entry : m_entries)
        m_pointers.push_back(entry.data());
    m_pointers.push_back(nullptr);
}

char **ChildEnvironment::get()
{
    return m_pointers.empty() ? environ : m_pointers.data();
}

} // namespace quenby::session_bus_gate
