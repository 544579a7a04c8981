#pragma once

// Plain C++ without Qt: the clean-up helper reads what is in use with it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace quenby::cleanup {

// The files and folders of one file system that running programs use: open,
// mapped into memory, their working or root folder, or locked (flock or
// fcntl, the convention of tools that clean temporary folders). Read from
// /proc once, for every process and thread the user may inspect, and for
// every lock. Emptying a folder takes that picture and keeps what is in it,
// as a program's file that is open stays where the system locks it.
class FilesInUse
{
public:
    // Reads /proc for the file system of `device` (as stat gives it), which
    // the maps and the lock table name `kernelDevice` (see MountEntry). Our
    // own process is left out: it holds only the folders it walks. Nothing
    // when /proc cannot be read: then nobody can tell what is in use.
    static std::optional<FilesInUse> scan(dev_t device, dev_t kernelDevice);

    // Whether an entry of that file system (as fstatat sees it) is in use.
    bool holds(const struct stat &st) const;

    // How many processes of the user's own could not be looked into: made
    // non-dumpable, as key agents, password managers and sandboxed browser
    // processes make themselves.
    long hiddenProcesses() const { return m_hidden; }

    // Whether every process that may hold the user's files was looked into:
    // none of the user's own was hidden, and our /proc shows every process
    // (not only those of a container or sandbox we run in).
    bool isComplete() const { return m_hidden == 0 && !m_partialView; }

private:
    // What could be read of a process: its descriptors, its folders, its maps.
    struct Known
    {
        bool files = false;
        bool folders = false;
        bool maps = false;
    };

    void addProcess(int processFolder, const char *pid);
    int addOpenFiles(int processFolder);
    bool addFolders(int processFolder);
    bool addMapped(int processFolder);
    bool addThreads(int processFolder, const char *pid, Known known);
    void addLocked();
    void addIfOurs(dev_t device, ino_t inode);
    void addByKernelNumber(unsigned major, unsigned minor, ino_t inode);

    dev_t m_device = 0;       // as stat sees the file system
    dev_t m_kernelDevice = 0; // as the maps and the lock table write it
    std::vector<ino_t> m_inodes; // sorted once the scan is done
    long m_hidden = 0;
    bool m_partialView = false;
};

// A mount as /proc/self/mountinfo describes it.
struct MountEntry
{
    // The device number the maps and the lock table give its file system.
    // It differs from the one stat gives where a file system shows parts of
    // itself as devices of their own (btrfs subvolumes).
    dev_t device = 0;
    std::string type; // "ext4", "tmpfs", "devtmpfs", …
};

// The mount with the id statx gives; nothing when it is not listed.
std::optional<MountEntry> mountEntryOf(std::uint64_t mountId);

} // namespace quenby::cleanup
