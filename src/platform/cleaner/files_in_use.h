#pragma once

// Plain C++ without Qt: the clean-up helper reads what is in use with it.

#include <cstdint>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace quenby::cleanup {

// The files and folders of one file system that running programs use: open,
// mapped into memory, their working or root folder, or locked (flock or
// fcntl, the convention of tools that clean temporary folders). Read from
// /proc once, for every process the user may inspect, and for every lock.
// Emptying a folder takes that picture and keeps what is in it, as a
// program's file that is open stays where the system locks it.
class FilesInUse
{
public:
    // Reads /proc for the file system of `device` (as stat gives it) that is
    // mounted as `mountId` (unknown on kernels without statx mount ids). Our
    // own process is left out: it holds only the folders it walks. Nothing
    // when /proc cannot be read: then nobody can tell what is in use.
    static std::optional<FilesInUse> scan(dev_t device, std::optional<std::uint64_t> mountId);

    // Whether an entry of that file system (as fstatat sees it) is in use.
    bool holds(const struct stat &st) const;

private:
    void addOpenFiles(int processFolder);
    void addFolder(int processFolder, const char *link);
    void addMapped(int processFolder);
    void addLocked();
    void addIfOurs(dev_t device, ino_t inode);
    void addByKernelNumber(unsigned major, unsigned minor, ino_t inode);

    dev_t m_device = 0;       // as stat sees the file system
    dev_t m_kernelDevice = 0; // as the maps and the lock table write it
    std::vector<ino_t> m_inodes; // sorted once the scan is done
};

} // namespace quenby::cleanup
