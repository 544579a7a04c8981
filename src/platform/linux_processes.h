#pragma once

#include "platform/processes.h"

namespace quenby {

// Carries out the command texts of the run on Linux.
class LinuxProcesses : public Processes
{
public:
    ShellResult shell(const QString &commandLine) override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;
};

} // namespace quenby
