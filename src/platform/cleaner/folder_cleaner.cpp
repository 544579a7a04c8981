#include "platform/cleaner/folder_cleaner.h"

#include "platform/cleaner/descriptor.h"
#include "platform/cleaner/files_in_use.h"
#include "platform/cleaner/ownership.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace quenby::cleanup {

namespace {

// Each level holds one descriptor; a tree deeper than this is left as it is.
constexpr int kMaxDepth = 256;

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// ".X0-lock", ".X12-lock"
bool isServerLock(const std::string &name)
{
    if (!startsWith(name, ".X") || !endsWith(name, "-lock") || name.size() <= 7)
        return false;
    for (size_t i = 2; i < name.size() - 5; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

// ".~lock.NAME#" (office suites) and ".#NAME" (editors) tell other programs
// that NAME is being edited, without being held open themselves: they stay
// while NAME is in use. Empty for any other name.
std::string documentOfLockFile(const std::string &name)
{
    if (startsWith(name, ".~lock.") && endsWith(name, "#") && name.size() > 8)
        return name.substr(7, name.size() - 8);
    if (startsWith(name, ".#") && name.size() > 2)
        return name.substr(2);
    return {};
}

struct Identity
{
    dev_t device;
    ino_t inode;
    bool operator==(const Identity &) const = default;
};

Identity identityOf(const struct stat &st)
{
    return {st.st_dev, st.st_ino};
}

// The folder and every folder above it, up to the root.
void addWithFoldersAbove(const std::string &folder, std::vector<Identity> &identities)
{
    char resolved[PATH_MAX];
    if (folder.empty() || folder[0] != '/' || !::realpath(folder.c_str(), resolved))
        return;
    std::string path = resolved;
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            identities.push_back(identityOf(st));
        const size_t slash = path.find_last_of('/');
        if (path == "/" || slash == std::string::npos)
            return;
        path = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
}

std::vector<Identity> protectedIdentities()
{
    std::vector<Identity> identities;
    addWithFoldersAbove("/", identities);
    for (const std::string &folder : protectedFolders())
        addWithFoldersAbove(folder, identities);
    return identities;
}

bool isProtected(const struct stat &st)
{
    const std::vector<Identity> identities = protectedIdentities();
    for (const Identity &identity : identities) {
        if (identity == identityOf(st))
            return true;
    }
    return false;
}

// The mount a folder belongs to, and whether it is the root of one. Without
// statx (an old kernel) only the device number tells mounts apart.
struct MountFacts
{
    bool known = false;
    uint64_t id = 0;
    bool isRoot = false;
};

MountFacts mountFactsOf(int fd)
{
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &stx) != 0)
        return {};
    MountFacts facts;
    facts.known = (stx.stx_mask & STATX_MNT_ID) != 0;
    facts.id = stx.stx_mnt_id;
    facts.isRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return facts;
}

class Cleaner
{
public:
    Cleaner(dev_t device, MountFacts mount, FilesInUse inUse)
        : m_device(device)
        , m_mount(mount)
        , m_inUse(std::move(inUse))
    {
    }

    // False when the folder cannot be listed.
    bool emptyTop(Descriptor folder)
    {
        const FolderListing dir = listFolder(std::move(folder));
        if (!dir)
            return false;
        emptyListing(dir.get(), 0);
        return true;
    }

    const Tally &tally() const { return m_tally; }

private:
    static std::vector<std::string> entryNames(DIR *dir)
    {
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        return names;
    }

    // True when nothing is left inside.
    bool emptyListing(DIR *dir, int depth)
    {
        bool emptied = true;
        for (const std::string &name : entryNames(dir)) {
            if (depth == 0 && isDesktopEntry(name))
                emptied = keep(Kept::Desktop);
            else if (isInUse(::dirfd(dir), documentOfLockFile(name)))
                emptied = keep(Kept::InUse);
            else
                emptied = removeEntry(::dirfd(dir), name, depth) && emptied;
        }
        return emptied;
    }

    bool isInUse(int dirFd, const std::string &name) const
    {
        struct stat st {};
        return !name.empty() && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && m_inUse.holds(st);
    }

    // True when the entry is gone: removed now, or by someone else meanwhile.
    bool removeEntry(int dirFd, const std::string &name, int depth)
    {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || fail();
        if (!ownedByUs(st))
            return keep(Kept::NotOurs);
        if (m_inUse.holds(st))
            return keep(Kept::InUse);
        if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
            return removeName(dirFd, name, 0);
        if (!S_ISDIR(st.st_mode))
            return keep(Kept::Special);
        if (st.st_dev != m_device)
            return keep(Kept::Mount);
        if (depth + 1 >= kMaxDepth)
            return keep(Kept::TooDeep);
        return removeDirectory(dirFd, name, st, depth);
    }

    // Opened without following a link, and checked to be the folder that was
    // looked at, so a folder swapped for a link meanwhile is not entered.
    bool removeDirectory(int dirFd, const std::string &name, const struct stat &seen, int depth)
    {
        Descriptor fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd)
            return errno == ENOENT || fail();
        struct stat opened {};
        if (::fstat(fd.get(), &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)
            return false; // something else stands there now: neither removed nor kept
        if (isMountPoint(fd.get()))
            return keep(Kept::Mount);
        const FolderListing dir = listFolder(std::move(fd));
        if (!dir)
            return fail();
        if (!emptyListing(dir.get(), depth + 1))
            return keep(Kept::Holder);
        return removeName(dirFd, name, AT_REMOVEDIR);
    }

    bool removeName(int dirFd, const std::string &name, int flags)
    {
        if (::unlinkat(dirFd, name.c_str(), flags) == 0) {
            ++m_tally.removed;
            return true;
        }
        if (errno == ENOENT)
            return true;
        // A program put something new in it meanwhile.
        if (errno == ENOTEMPTY || errno == EEXIST)
            return keep(Kept::Holder);
        return fail();
    }

    // A bind mount keeps the device number of what it shows; the mount id
    // and the mount-root mark tell it apart.
    bool isMountPoint(int fd) const
    {
        const MountFacts facts = mountFactsOf(fd);
        return facts.isRoot || (facts.known && m_mount.known && facts.id != m_mount.id);
    }

    bool keep(Kept why)
    {
        ++m_tally.kept[int(why)];
        return false;
    }

    bool fail()
    {
        ++m_tally.failed;
        return false;
    }

    dev_t m_device;
    MountFacts m_mount;
    FilesInUse m_inUse;
    Tally m_tally;
};

// Resolves `path` one name at a time from the root, following no link on
// the way: ".." is the folder above the one reached, as the kernel takes it,
// so "DIR/link/sub/.." stops at the link instead of going through it. Null
// when no folder is reached, with `error` saying why (ELOOP: a link on the
// way). Folders on the way are opened as paths only, which needs no right to
// read them, as a lookup by the kernel would not.
Descriptor openWithoutLinks(const std::string &path, int &error)
{
    Descriptor at(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t start = 0; at && start < path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        Descriptor next(::openat(at.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!next || ::fstat(next.get(), &st) != 0) {
            error = errno;
            return {};
        }
        if (!S_ISDIR(st.st_mode)) {
            error = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
            return {};
        }
        at = std::move(next);
    }
    Descriptor folder(at ? ::openat(at.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    error = folder ? 0 : errno;
    return folder;
}

// File systems that show the kernel's state as files: none of it is a
// temporary file, and some of it (firmware variables) must never go.
bool isKernelFileSystem(int fd)
{
    static const long kKinds[] = {PROC_SUPER_MAGIC,  SYSFS_MAGIC,     CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC,
                                  DEVPTS_SUPER_MAGIC, DEBUGFS_MAGIC,   TRACEFS_MAGIC,      SECURITYFS_MAGIC,
                                  BPF_FS_MAGIC,       PSTOREFS_MAGIC,  EFIVARFS_MAGIC,     SELINUX_MAGIC,
                                  SMACK_MAGIC,        BINFMTFS_MAGIC,  NSFS_MAGIC};
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return true;
    return std::find(std::begin(kKinds), std::end(kKinds), long(fs.f_type)) != std::end(kKinds);
}

bool isUsableAbsolute(const std::string &path)
{
    return !path.empty() && path[0] == '/' && path.find_first_not_of('/') != std::string::npos;
}

Emptied refusalOf(int openError)
{
    switch (openError) {
    case ENOENT: return Emptied::Missing;
    case ELOOP: return Emptied::Link;
    default: return Emptied::Unreadable;
    }
}

} // namespace

bool isDesktopEntry(const std::string &name)
{
    return (startsWith(name, ".") && endsWith(name, "-unix")) || isServerLock(name)
           || startsWith(name, "systemd-private-") || startsWith(name, "runtime-");
}

long Tally::keptInAll() const
{
    long all = 0;
    for (const long count : kept)
        all += count;
    return all;
}

Emptying emptyFolder(const std::string &folder)
{
    if (folder.empty() || folder[0] != '/')
        return {Emptied::Relative, {}};
    int error = 0;
    Descriptor fd = openWithoutLinks(folder, error);
    if (!fd)
        return {refusalOf(error), {}};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || isProtected(st))
        return {Emptied::Protected, {}};
    if (isKernelFileSystem(fd.get()))
        return {Emptied::Kernel, {}};
    const MountFacts mount = mountFactsOf(fd.get());
    std::optional<FilesInUse> inUse = FilesInUse::scan(st.st_dev, mount.known ? std::optional(mount.id) : std::nullopt);
    if (!inUse)
        return {Emptied::UseUnknown, {}};
    Cleaner cleaner(st.st_dev, mount, std::move(*inUse));
    if (!cleaner.emptyTop(std::move(fd)))
        return {Emptied::Unreadable, {}};
    return {Emptied::Done, cleaner.tally()};
}

std::vector<std::string> protectedFolders()
{
    std::vector<std::string> folders;
    for (const char *name : {"HOME", "XDG_RUNTIME_DIR"}) {
        if (const char *value = std::getenv(name))
            folders.emplace_back(value);
    }
    if (const passwd *user = ::getpwuid(::getuid()); user && user->pw_dir)
        folders.emplace_back(user->pw_dir);
    return folders;
}

bool isProtectedFolder(const std::string &folder)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) != 0 || isProtected(st);
}

void removeFile(const std::string &path)
{
    if (!isUsableAbsolute(path))
        return;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !ownedByUs(st))
        return;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        ::unlink(path.c_str());
}

} // namespace quenby::cleanup
