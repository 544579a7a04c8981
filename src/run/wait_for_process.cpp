#include "run/wait_for_process.h"

#include "platform/processes.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace quenby {

void WaitForProcess(qint64 pid, Processes &processes)
{
    const std::unique_ptr<ProcessWatch> watch = processes.watch(pid);
    if (!watch || watch->hasEnded()) {
        QCoreApplication::processEvents();
        return;
    }
    // Each wait has its own loop and watch: when an inner wait is under way,
    // this loop's quit takes effect only once the inner loop has returned.
    QEventLoop loop;
    QObject::connect(watch.get(), &ProcessWatch::ended, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace quenby
