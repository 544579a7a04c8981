#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/processes.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace quenby::test {

class FakeProcessWatch;

// Started requests never run; each gets a pid and stays "running" until the
// test ends it (or at once, with `endAtOnce`). Requests are named
// "slot<n>:<text>", "emptyTempFolder" and "clearRecentDocuments".
class FakeProcesses : public Processes
{
public:
    explicit FakeProcesses(CallLog &log) : m_log(log) {}
    ~FakeProcesses() override;

    ShellResult runSlot(int slot, const QString &text) override;
    ShellResult emptyTempFolder() override;
    ShellResult clearRecentDocuments() override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;

    // Ends a started process; its watch reports from the event loop.
    void end(qint64 pid, ProcessEnd how = {true, false, 0});
    bool isRunning(qint64 pid) const;
    ProcessEnd endOf(qint64 pid) const { return m_ends.value(pid); }

    QStringList started;                   // requests in order
    std::map<QString, int> failures;       // request -> error number of its start
    std::map<QString, StartHint> hints;    // request -> what its failed start says besides
    bool endAtOnce = true;                 // processes end as soon as they are watched
    std::function<void(qint64 pid, const QString &request)> onStart;
    qint64 lastPid = 1000;

private:
    ShellResult start(const QString &request);

    CallLog &m_log;
    QMap<qint64, bool> m_running;
    QMap<qint64, ProcessEnd> m_ends;
    QList<FakeProcessWatch *> m_watches;
    friend class FakeProcessWatch;
};

} // namespace quenby::test
