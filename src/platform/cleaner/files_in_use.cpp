#include "platform/cleaner/files_in_use.h"

#include "platform/cleaner/descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quenby::cleanup {

namespace {

// The text of a file of /proc, read in one go: its size is known only once read.
std::string readText(int at, const char *name)
{
    std::string text;
    const Descriptor fd(::openat(at, name, O_RDONLY | O_CLOEXEC));
    if (!fd)
        return text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(buffer, size_t(got));
    }
}

// Each line of `text`, its end excluded.
template<typename Handle>
void forEachLine(const std::string &text, Handle handle)
{
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        handle(text.c_str() + start, text.c_str() + end);
        start = end + 1;
    }
}

const char *skipFields(const char *p, const char *end, int fields)
{
    for (; fields > 0 && p < end; --fields) {
        while (p < end && *p != ' ')
            ++p;
        while (p < end && *p == ' ')
            ++p;
    }
    return p;
}

// "08:01" as /proc/PID/maps and /proc/locks write a device (in hex); `p`
// moves past it.
bool readHexDevice(const char *&p, unsigned &major, unsigned &minor)
{
    char *after = nullptr;
    major = unsigned(std::strtoul(p, &after, 16));
    if (after == p || *after != ':')
        return false;
    p = after + 1;
    minor = unsigned(std::strtoul(p, &after, 16));
    if (after == p)
        return false;
    p = after;
    return true;
}

bool isProcessNumber(const char *name)
{
    if (*name == '\0')
        return false;
    for (const char *c = name; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

// The device number that the maps and the lock table give the file system of
// mount `mountId`: the one /proc/self/mountinfo names it by. It differs from
// the one stat gives where a file system shows parts of itself as devices of
// their own (btrfs subvolumes).
dev_t kernelDeviceOf(std::uint64_t mountId, dev_t fallback)
{
    dev_t device = fallback;
    forEachLine(readText(AT_FDCWD, "/proc/self/mountinfo"), [&](const char *p, const char *) {
        char *after = nullptr;
        const unsigned long long id = std::strtoull(p, &after, 10);
        unsigned major = 0;
        unsigned minor = 0;
        if (id == mountId && std::sscanf(after, " %*u %u:%u", &major, &minor) == 2)
            device = ::makedev(major, minor);
    });
    return device;
}

} // namespace

std::optional<FilesInUse> FilesInUse::scan(dev_t device, std::optional<std::uint64_t> mountId)
{
    const FolderListing proc = listFolder(Descriptor(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    struct statfs fs {};
    if (!proc || ::fstatfs(::dirfd(proc.get()), &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC)
        return std::nullopt;
    FilesInUse inUse;
    inUse.m_device = device;
    inUse.m_kernelDevice = mountId ? kernelDeviceOf(*mountId, device) : device;
    const std::string self = std::to_string(::getpid());
    while (const dirent *entry = ::readdir(proc.get())) {
        if (!isProcessNumber(entry->d_name) || self == entry->d_name)
            continue;
        // A process that ends meanwhile leaves an empty folder behind, or none.
        const Descriptor process(::openat(::dirfd(proc.get()), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!process)
            continue;
        inUse.addOpenFiles(process.get());
        inUse.addFolder(process.get(), "cwd");
        inUse.addFolder(process.get(), "root");
        inUse.addMapped(process.get());
    }
    inUse.addLocked();
    std::sort(inUse.m_inodes.begin(), inUse.m_inodes.end());
    inUse.m_inodes.erase(std::unique(inUse.m_inodes.begin(), inUse.m_inodes.end()), inUse.m_inodes.end());
    return inUse;
}

bool FilesInUse::holds(const struct stat &st) const
{
    return st.st_dev == m_device && std::binary_search(m_inodes.begin(), m_inodes.end(), st.st_ino);
}

void FilesInUse::addIfOurs(dev_t device, ino_t inode)
{
    if (device == m_device)
        m_inodes.push_back(inode);
}

void FilesInUse::addByKernelNumber(unsigned major, unsigned minor, ino_t inode)
{
    if (::makedev(major, minor) == m_kernelDevice)
        m_inodes.push_back(inode);
}

// Each entry of /proc/PID/fd leads to what the descriptor is open on; only a
// process we may inspect lets us follow it.
void FilesInUse::addOpenFiles(int processFolder)
{
    const FolderListing fds = listFolder(Descriptor(::openat(processFolder, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    if (!fds)
        return;
    while (const dirent *entry = ::readdir(fds.get())) {
        struct stat st {};
        if (entry->d_name[0] != '.' && ::fstatat(::dirfd(fds.get()), entry->d_name, &st, 0) == 0)
            addIfOurs(st.st_dev, st.st_ino);
    }
}

void FilesInUse::addFolder(int processFolder, const char *link)
{
    struct stat st {};
    if (::fstatat(processFolder, link, &st, 0) == 0)
        addIfOurs(st.st_dev, st.st_ino);
}

// "start-end perms offset major:minor inode path": a file stays mapped after
// its descriptor is closed (a program, a library, a database, a shared
// memory file).
void FilesInUse::addMapped(int processFolder)
{
    forEachLine(readText(processFolder, "maps"), [this](const char *p, const char *end) {
        p = skipFields(p, end, 3);
        unsigned major = 0;
        unsigned minor = 0;
        if (!readHexDevice(p, major, minor))
            return;
        const ino_t inode = std::strtoull(p, nullptr, 10);
        if (inode != 0)
            addByKernelNumber(major, minor, inode);
    });
}

// "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF", and "1: -> FLOCK …" for
// one waiting for it: every process's locks, whoever it belongs to.
void FilesInUse::addLocked()
{
    forEachLine(readText(AT_FDCWD, "/proc/locks"), [this](const char *p, const char *end) {
        p = skipFields(p, end, 1);
        if (end - p > 2 && p[0] == '-' && p[1] == '>')
            p = skipFields(p, end, 1);
        p = skipFields(p, end, 4);
        unsigned major = 0;
        unsigned minor = 0;
        if (!readHexDevice(p, major, minor) || *p != ':')
            return;
        addByKernelNumber(major, minor, std::strtoull(p + 1, nullptr, 10));
    });
}

} // namespace quenby::cleanup
