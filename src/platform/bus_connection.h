#pragma once

#include <QDBusConnection>
#include <QString>

#include <chrono>

namespace quenby {

// Opens a private connection to the bus named `name` in this program. Opening
// a bus blocks until the bus has let us in, and a bus that takes the
// connection but never answers would block for ever: the connection is made on
// a thread of its own while the windows keep working, and given up after
// `timeout`. A thread that is still stuck then is left to itself. On failure
// the connection is not connected and `why` says why, for the run's record.
QDBusConnection connectBounded(QDBusConnection::BusType bus, const QString &name, std::chrono::milliseconds timeout,
                               QString &why);

} // namespace quenby
