#pragma once

#include "platform/cleaner/descriptor.h"
#include "platform/interfaces/processes.h"

#include <memory>

class QSocketNotifier;
class QTimer;

namespace quenby {

// Watches a child process of ours and collects its end. The kernel tells
// through a process descriptor when the child has ended; where there is none,
// a slow timer asks instead. Either way the wait itself costs no processor time.
class ChildWatch : public ProcessWatch
{
    Q_OBJECT

public:
    // nullptr when `pid` is not a child of ours, or was collected before.
    // A child that has already ended is collected now, and its watch says so.
    static std::unique_ptr<ChildWatch> open(qint64 pid);
    ~ChildWatch() override;

    bool hasEnded() const override { return m_ended; }
    ProcessEnd end() const override { return m_end; }

private:
    explicit ChildWatch(qint64 pid);
    void watchDescriptor(Descriptor pidfd);
    void watchWithTimer();
    void collect();
    void markEnded(ProcessEnd end);

    qint64 m_pid;
    Descriptor m_pidfd;
    bool m_ended = false;
    ProcessEnd m_end;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace quenby
