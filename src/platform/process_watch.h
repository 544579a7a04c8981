#pragma once

#include "platform/processes.h"

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
    // nullptr when `pid` is not a running child of ours (already ended and
    // collected now, or never ours).
    static std::unique_ptr<ChildWatch> open(qint64 pid);
    ~ChildWatch() override;

    bool hasEnded() const override { return m_ended; }

private:
    explicit ChildWatch(qint64 pid);
    void watchDescriptor(int pidfd);
    void watchWithTimer();
    void collect();

    qint64 m_pid;
    int m_pidfd = -1;
    bool m_ended = false;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace quenby
