#pragma once

#include "platform/ini_store.h"
#include "platform/launcher_entry.h"
#include "platform/linux_desktop.h"
#include "platform/linux_journal.h"
#include "platform/linux_processes.h"
#include "platform/logind_power.h"
#include "platform/services.h"
#include "platform/wall_clock.h"

#include <QGuiApplication>

#include <csignal>

namespace quenby {

// The Linux services of the program, owned in one place.
class LinuxPlatform
{
public:
    LinuxPlatform()
        : m_store(IniStore::defaultFilePath())
        , m_processes(m_journal)
        , m_progress(QGuiApplication::desktopFileName())
    {
        ignoreBrokenPipes();
    }

    Services services() { return {m_store, m_desktop, m_processes, m_power, m_clock, m_journal, m_progress}; }

private:
    // Started from a launcher or a terminal that has since gone, our standard
    // error may be a pipe nobody reads: a record written there is dropped,
    // never the end of the program. The programs we start get the default
    // handling back.
    static void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

    LinuxDesktop m_desktop;
    IniStore m_store;
    LinuxJournal m_journal;
    LinuxProcesses m_processes;
    LogindPower m_power;
    WallClock m_clock;
    LauncherEntry m_progress;
};

} // namespace quenby
