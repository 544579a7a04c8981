#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quenby::session_bus_gate {

// How long the session bus has to answer our greeting at start-up. A bus that
// is up answers within a millisecond or two, even on a busy machine.
inline constexpr std::chrono::milliseconds kAnswerBound{500};

enum class Verdict {
    Answers,   // a bus answered (or refused us at once): using it cannot hang
    Silent,    // a bus took the connection, or would not, and said nothing in time
    Missing,   // nothing listens where the session bus should be: using it fails at once
    Launching, // no bus is named: the bus library would launch one
    Unjudged,  // an address of a kind not probed here (tcp, say): left as it is
};

// The session bus address the bus library would use: the variable when it is
// set and not empty, else the runtime folder's "bus" when that is a socket of
// ours; nothing when the library would launch a bus instead.
std::optional<std::string> addressInUse(const char *variable, const char *runtimeFolder);

// Connects to the address's entries in turn, as the bus library does, and
// greets the first one that takes the connection as the library would, up to
// the Hello call every connection starts with. Waits at most `bound` for the
// reply. An entry that would launch a bus ("autolaunch:") counts as Launching.
Verdict judge(const std::string &address, std::chrono::milliseconds bound);

// Called first thing, before any library may open the session bus (Qt's
// accessibility bridge does so on the window thread while the first window is
// made, and waits for it without end). A bus that does not answer, or a
// session without one, is made to look absent to this process, so that every
// use of it fails at once, and no bus is launched behind the user's back.
// A bus that answers in the runtime folder (the session's, else the one the
// system keeps for the user) is named in the variable for this process.
Verdict keepOutOfTheWay(std::chrono::milliseconds bound = kAnswerBound);

// The environment for the programs the run starts: ours, with the session
// bus as the user's session has it, whatever keepOutOfTheWay() did to ours.
class ChildEnvironment
{
public:
    ChildEnvironment();
    char **get();

private:
    std::vector<std::string> m_entries;
    std::vector<char *> m_pointers;
};

} // namespace quenby::session_bus_gate
