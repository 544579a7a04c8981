#include "scratch.h"

#include "platform/cleaner/descriptor.h"

#include <functional>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

using namespace quenby;

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

int openOne()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

// A descriptor left open is a lock never given back; one closed twice closes
// whatever the program opened next under the same number (the instance lock,
// the display's socket).
class DescriptorTest final : public QObject
{
    Q_OBJECT

private slots:
    void everyWayOfLettingGoClosesExactlyOnce()
    {
        const std::pair<const char *, std::function<void(Descriptor &)>> ways[] = {
            {"out of scope", [](Descriptor &) {}},
            {"reset", [](Descriptor &held) { held.reset(); }},
            {"close", [](Descriptor &held) { QVERIFY(held.close()); }},
            {"moved over", [](Descriptor &held) { held = Descriptor(openOne()); }},
            {"moved away", [](Descriptor &held) { const Descriptor taken(std::move(held)); }},
            {"released and closed by its taker", [](Descriptor &held) { QVERIFY(::close(held.release()) == 0); }},
        };
        for (const auto &[name, letGo] : ways) {
            const int fd = openOne();
            int bystander = -1;
            {
                Descriptor held(fd);
                letGo(held);
                // Takes the lowest free number, the one just closed if any.
                bystander = openOne();
            }
            QVERIFY2(isOpen(bystander), name);
            QVERIFY2(bystander == fd || !isOpen(fd), name);
            ::close(bystander);
        }
    }
};

QUENBY_TEST_MAIN(DescriptorTest)
#include "descriptor_test.moc"
