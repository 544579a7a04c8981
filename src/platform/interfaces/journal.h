#pragma once

#include <QString>

namespace quenby {

// The run's record: every step it takes, one line each, in the user's journal.
class Journal
{
public:
    enum class Level { Info, Warning };

    virtual ~Journal() = default;

    virtual void record(const QString &line, Level level = Level::Info) = 0;
};

} // namespace quenby
