#include "run/wait_for_process.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace quenby {

ProcessEnd WaitForProcess(qint64 pid, Processes &processes)
{
    const std::unique_ptr<ProcessWatch> watch = processes.watch(pid);
    if (!watch || watch->hasEnded()) {
        QCoreApplication::processEvents();
        return watch ? watch->end() : ProcessEnd{};
    }
    // Each wait has its own loop and watch.
    QEventLoop loop;
    QObject::connect(watch.get(), &ProcessWatch::ended, &loop, &QEventLoop::quit);
    loop.exec();
    return watch->end();
}

} // namespace quenby
