#include "platform/cleaner/files_in_use.h"

#include "platform/cleaner/descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/kcmp.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
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

// Whether a process that may not be looked into is one of the user's own
// ("Uid:" of its status, which anyone may read, gives the real and the
// effective user).
bool isOwnProcess(int processFolder)
{
    const std::string status = readText(processFolder, "status");
    const size_t at = status.find("\nUid:");
    unsigned long real = 0;
    unsigned long effective = 0;
    if (at == std::string::npos || std::sscanf(status.c_str() + at + 5, "%lu %lu", &real, &effective) != 2)
        return false;
    return real == ::geteuid() || effective == ::geteuid();
}

// Whether two threads have descriptor tables (KCMP_FILES), or working and
// root folders (KCMP_FS), of their own. Where kcmp is refused they are taken
// as one: reading every thread of a large program again would cost more
// than the rare thread with a table of its own is worth.
bool differ(pid_t one, pid_t other, int table)
{
    return ::syscall(SYS_kcmp, one, other, table, 0, 0) > 0;
}

// A process namespace of its own (a container's, a sandbox's) shows only
// its own processes in /proc. The first one has a number of its own that
// the kernel never changes.
bool isInNestedProcessNamespace()
{
    constexpr ino_t kInitialProcessNamespace = 0xEFFFFFFCU;
    struct stat st {};
    return ::stat("/proc/self/ns/pid", &st) != 0 || st.st_ino != kInitialProcessNamespace;
}

} // namespace

std::optional<FilesInUse> FilesInUse::scan(dev_t device, dev_t kernelDevice)
{
    const FolderListing proc = listFolder(Descriptor(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    struct statfs fs {};
    if (!proc || ::fstatfs(::dirfd(proc.get()), &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC)
        return std::nullopt;
    FilesInUse inUse;
    inUse.m_device = device;
    inUse.m_kernelDevice = kernelDevice;
    inUse.m_partialView = isInNestedProcessNamespace();
    const std::string self = std::to_string(::getpid());
    while (const dirent *entry = ::readdir(proc.get())) {
        if (!isProcessNumber(entry->d_name) || self == entry->d_name)
            continue;
        // A process that ends meanwhile leaves an empty folder behind, or none.
        const Descriptor process(::openat(::dirfd(proc.get()), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (process)
            inUse.addProcess(process.get(), entry->d_name);
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

// A process whose main thread ended is shown as root's, as one made
// non-dumpable is; only the first has threads that can still be read.
void FilesInUse::addProcess(int processFolder, const char *pid)
{
    const int files = addOpenFiles(processFolder);
    const bool denied = files < 0 && errno == EACCES;
    Known known;
    known.files = files > 0;
    known.folders = files >= 0 && addFolders(processFolder);
    known.maps = files >= 0 && addMapped(processFolder);
    if (!addThreads(processFolder, pid, known) && denied && isOwnProcess(processFolder))
        ++m_hidden;
}

// Each entry of /proc/PID/fd leads to what the descriptor is open on; only a
// process we may inspect lets us follow it. How many entries there are; -1,
// with errno saying why, when the listing cannot be opened.
int FilesInUse::addOpenFiles(int processFolder)
{
    Descriptor folder(::openat(processFolder, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return -1;
    int entries = 0;
    const FolderListing fds = listFolder(std::move(folder));
    while (const dirent *entry = fds ? ::readdir(fds.get()) : nullptr) {
        struct stat st {};
        if (entry->d_name[0] == '.')
            continue;
        ++entries;
        if (::fstatat(::dirfd(fds.get()), entry->d_name, &st, 0) == 0)
            addIfOurs(st.st_dev, st.st_ino);
    }
    return entries;
}

// False when the working folder cannot be looked at (a main thread that ended has none).
bool FilesInUse::addFolders(int processFolder)
{
    bool known = false;
    for (const char *link : {"cwd", "root"}) {
        struct stat st {};
        if (::fstatat(processFolder, link, &st, 0) == 0) {
            addIfOurs(st.st_dev, st.st_ino);
            known = true;
        }
    }
    return known;
}

// "start-end perms offset major:minor inode path": a file stays mapped after
// its descriptor is closed (a program, a library, a database, a shared
// memory file). False when there is no map: a main thread that ended has
// none of its own, the memory of the others is read instead.
bool FilesInUse::addMapped(int processFolder)
{
    const std::string maps = readText(processFolder, "maps");
    forEachLine(maps, [this](const char *p, const char *end) {
        p = skipFields(p, end, 3);
        unsigned major = 0;
        unsigned minor = 0;
        if (!readHexDevice(p, major, minor))
            return;
        const ino_t inode = std::strtoull(p, nullptr, 10);
        if (inode != 0)
            addByKernelNumber(major, minor, inode);
    });
    return !maps.empty();
}

// A thread may have a descriptor table or folders of its own (unshare), and
// a main thread that ended leaves the process's own entries empty while the
// others run on: a thread is read where what it uses differs from what was
// read, or nothing could be. The task folder's link count is two more than
// its threads, so a process of one thread costs one call. True when a
// thread's descriptors were read.
bool FilesInUse::addThreads(int processFolder, const char *pid, Known known)
{
    struct stat st {};
    if (::fstatat(processFolder, "task", &st, 0) != 0 || st.st_nlink == 3)
        return false;
    const FolderListing tasks = listFolder(Descriptor(::openat(processFolder, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    pid_t filesOf = pid_t(std::atol(pid));
    pid_t foldersOf = filesOf;
    bool read = false;
    while (const dirent *entry = tasks ? ::readdir(tasks.get()) : nullptr) {
        if (!isProcessNumber(entry->d_name) || std::strcmp(entry->d_name, pid) == 0)
            continue;
        const pid_t thread = pid_t(std::atol(entry->d_name));
        const bool readFiles = !known.files || differ(filesOf, thread, KCMP_FILES);
        const bool readFolders = !known.folders || differ(foldersOf, thread, KCMP_FS);
        if (!readFiles && !readFolders && known.maps)
            continue;
        const Descriptor task(::openat(::dirfd(tasks.get()), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (task && readFiles && addOpenFiles(task.get()) > 0) {
            filesOf = thread;
            known.files = read = true;
        }
        if (task && readFolders && addFolders(task.get())) {
            foldersOf = thread;
            known.folders = true;
        }
        if (task && !known.maps)
            known.maps = addMapped(task.get());
    }
    return read;
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

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the
// id, the parent's, the device, …, and the type after the lone "-".
std::optional<MountEntry> mountEntryOf(std::uint64_t mountId)
{
    std::optional<MountEntry> found;
    forEachLine(readText(AT_FDCWD, "/proc/self/mountinfo"), [&](const char *p, const char *end) {
        char *after = nullptr;
        unsigned major = 0;
        unsigned minor = 0;
        if (found || std::strtoull(p, &after, 10) != mountId || std::sscanf(after, " %*u %u:%u", &major, &minor) != 2)
            return;
        const std::string line(p, end);
        const size_t type = line.find(" - ");
        found = MountEntry{::makedev(major, minor),
                           type == std::string::npos ? std::string() : line.substr(type + 3, line.find(' ', type + 3) - type - 3)};
    });
    return found;
}

} // namespace quenby::cleanup
