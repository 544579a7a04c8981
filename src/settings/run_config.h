#pragma once

#include <QString>

#include <array>
#include <limits>
#include <optional>

// The code keeps its design's names, Japanese words among them (kidou, the
// program of a slot; byou, the pause in seconds; sansyou, browse): each is
// explained in one line in docs/glossary.md.

namespace quenby {

class Store;

// The in-memory copy of the end-of-session sequence. Entries are numbered from
// 1 as the store's keys are; index 0 is never used.
struct RunConfigRecord
{
    std::array<qint32, 8> check{}; // 1..5 program slots, 6 temp clean-up, 7 recent clean-up
    std::array<QString, 6> kidou;  // 1..5 program paths
    // 1..5: the stored path is not UTF-8 (kidou then holds it as empty).
    std::array<bool, 6> kidouUnreadable{};
    qint32 byou = 0;               // pause in seconds
};

// The pause the run can honour, in whole seconds. The run counts it in 16
// bits: apply refuses any other value, start-up says so of a stored one, and
// the run skips such a pause.
struct PauseRange
{
    static constexpr qint32 shortest = std::numeric_limits<qint16>::min();
    static constexpr qint32 longest = std::numeric_limits<qint16>::max();
    static constexpr bool holds(qint64 seconds) { return seconds >= shortest && seconds <= longest; }
};

// The one program-wide record; it outlives the main window.
extern RunConfigRecord RunConfig;

// Fills RunConfig from the store, key by key in the store's fixed order.
// Returns the stored pause text when it gives no pause the run can honour (not
// a whole number, or outside PauseRange), else nothing; such a text reads
// as 0 when it is no number at all.
std::optional<QString> loadRunConfig(Store &store);

inline QString checkKey(int n) { return QStringLiteral("Check") + QString::number(n); }
inline QString kidouKey(int n) { return QStringLiteral("kidou") + QString::number(n); }

} // namespace quenby
