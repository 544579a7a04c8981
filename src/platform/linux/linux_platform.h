#pragma once

#include "platform/interfaces/services.h"
#include "platform/linux/bus_link.h"
#include "platform/linux/desktop_notifications.h"
#include "platform/linux/launcher_entry.h"
#include "platform/linux/linux_desktop.h"
#include "platform/linux/linux_folders.h"
#include "platform/linux/linux_journal.h"
#include "platform/linux/linux_processes.h"
#include "platform/linux/logind_power.h"
#include "platform/linux/wall_clock.h"
#include "platform/settings_file/ini_store.h"

#include <QGuiApplication>

#include <csignal>

namespace quenby {

// The Linux services of the program, owned in one place.
class LinuxPlatform
{
public:
    LinuxPlatform()
        : m_store(linux_folders::settingsFile())
        , m_processes(m_journal)
        , m_sessionBus(BusLink::Bus::Session, kSessionBusBound)
        , m_progress(m_sessionBus, QGuiApplication::desktopFileName())
        , m_notifications(m_sessionBus, QStringLiteral("Quenby"), QGuiApplication::desktopFileName())
    {
        ignoreBrokenPipes();
    }

    Services services()
    {
        return {m_store, m_desktop, m_processes, m_power, m_clock, m_journal, m_progress, m_notifications};
    }

private:
    // The session bus is opened when a run first shows its progress, and
    // given up when it has not let us in by then; nothing waits for it.
    static constexpr std::chrono::milliseconds kSessionBusBound{3'000};

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
    BusLink m_sessionBus;
    LauncherEntry m_progress;
    DesktopNotifications m_notifications;
};

} // namespace quenby
