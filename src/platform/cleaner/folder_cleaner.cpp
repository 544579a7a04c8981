#include "platform/cleaner/folder_cleaner.h"

#include "platform/cleaner/descriptor.h"
#include "platform/cleaner/files_in_use.h"
#include "platform/cleaner/ownership.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <signal.h>
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

// vim's swap file of NAME: ".NAME.swp", then ".swo", ".swn", … when that
// one is taken.
bool isSwapFileName(const std::string &name)
{
    const size_t n = name.size();
    return n > 5 && name[0] == '.' && name.compare(n - 4, 2, ".s") == 0 && name[n - 2] >= 'a' && name[n - 2] <= 'w'
           && name[n - 1] >= 'a' && name[n - 1] <= 'z';
}

// emacs locks NAME with a link ".#NAME" to "user@host.PID" or
// "user@host.PID:BOOT": live while that process runs. A lock of another host
// cannot be checked from here and is believed, as emacs believes it.
bool isLiveEditorLock(int dirFd, const std::string &name)
{
    char target[256];
    const ssize_t length = ::readlinkat(dirFd, name.c_str(), target, sizeof target);
    if (length <= 0 || size_t(length) == sizeof target)
        return false;
    const std::string lock(target, size_t(length));
    const size_t at = lock.find('@');
    const size_t dot = lock.rfind('.', lock.find(':'));
    if (at == std::string::npos || dot == std::string::npos || dot < at)
        return false;
    char *end = nullptr;
    const long pid = std::strtol(lock.c_str() + dot + 1, &end, 10);
    if (pid <= 0 || end == lock.c_str() + dot + 1 || (*end != '\0' && *end != ':'))
        return false;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || lock.compare(at + 1, dot - at - 1, host) != 0)
        return true;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
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

// The identities of the files at `paths`, and of their link targets.
std::vector<Identity> identitiesOf(const std::vector<std::string> &paths)
{
    std::vector<Identity> identities;
    for (const std::string &path : paths) {
        struct stat st {};
        if (!path.empty() && path[0] == '/' && ::lstat(path.c_str(), &st) == 0)
            identities.push_back(identityOf(st));
        if (!path.empty() && path[0] == '/' && ::stat(path.c_str(), &st) == 0)
            identities.push_back(identityOf(st));
    }
    return identities;
}

// A Kerberos ticket cache: "FILE:PATH" or a plain path for one file,
// "DIR:FOLDER" for a folder of them, "DIR::PATH" for one of the files in
// one (the folder is kept whole). Unset, it is /tmp/krb5cc_UID. Others
// (KCM:, KEYRING:) are no files.
std::string ticketCachePath()
{
    const char *set = std::getenv("KRB5CCNAME");
    const std::string name = set ? set : "FILE:/tmp/krb5cc_" + std::to_string(::getuid());
    if (startsWith(name, "DIR::"))
        return name.substr(5, name.find_last_of('/') - 5);
    for (const char *kind : {"FILE:", "DIR:"}) {
        if (startsWith(name, kind))
            return name.substr(std::char_traits<char>::length(kind));
    }
    return name;
}

// The session's credentials that its environment names: they are wherever
// the session put them, often in the temporary folder, and it needs them
// until it ends.
std::vector<Identity> sessionCredentials()
{
    std::vector<std::string> paths = {ticketCachePath()};
    for (const char *name : {"XAUTHORITY", "ICEAUTHORITY"}) {
        if (const char *value = std::getenv(name))
            paths.emplace_back(value);
    }
    return identitiesOf(paths);
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

bool isBefore(const timespec &one, const timespec &other)
{
    return one.tv_sec < other.tv_sec || (one.tv_sec == other.tv_sec && one.tv_nsec < other.tv_nsec);
}

class Cleaner
{
public:
    Cleaner(dev_t device, MountFacts mount, FilesInUse inUse, timespec since)
        : m_device(device)
        , m_mount(mount)
        , m_inUse(std::move(inUse))
        , m_since(since)
        , m_credentials(sessionCredentials())
        , m_askTheKernel(!m_inUse.isComplete())
    {
        m_tally.hiddenProcesses = m_inUse.hiddenProcesses();
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
        const std::vector<std::string> names = entryNames(dir);
        const std::vector<std::string> edited = beingEdited(::dirfd(dir), names);
        bool emptied = true;
        for (const std::string &name : names) {
            if (depth == 0 && isDesktopEntry(name))
                emptied = keep(Kept::Desktop);
            else if (std::find(edited.begin(), edited.end(), name) != edited.end())
                emptied = keep(Kept::InUse);
            else
                emptied = removeEntry(::dirfd(dir), name, depth) && emptied;
        }
        return emptied;
    }

    // Editors mark a document being edited with a file beside it, and keep
    // its unsaved work in another: vim a swap file that it holds open, emacs
    // a lock naming its process and "#NAME#", office suites ".~lock.NAME#".
    // While a mark is live, the document and those files stay together.
    std::vector<std::string> beingEdited(int dirFd, const std::vector<std::string> &names) const
    {
        std::vector<std::string> edited;
        for (const std::string &name : names) {
            if (startsWith(name, ".~lock.") && endsWith(name, "#") && name.size() > 8) {
                const std::string document = name.substr(7, name.size() - 8);
                if (std::find(names.begin(), names.end(), document) != names.end())
                    edited.insert(edited.end(), {name, document});
            } else if (startsWith(name, ".#") && isLiveEditorLock(dirFd, name)) {
                edited.insert(edited.end(), {name, name.substr(2), '#' + name.substr(2) + '#'});
            } else if (isSwapFileName(name) && isInUse(dirFd, name)) {
                // ".bashrc.swp" is the swap file of "bashrc" or of ".bashrc".
                const std::string document = name.substr(1, name.size() - 5);
                edited.insert(edited.end(), {name, document, '.' + document});
            }
        }
        return edited;
    }

    bool isInUse(int dirFd, const std::string &name) const
    {
        struct stat st {};
        Descriptor lease;
        return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
               && (m_inUse.holds(st) || (S_ISREG(st.st_mode) && isOpenElsewhere(dirFd, name, lease)));
    }

    // The kernel lends a file (a write lease) only while no other open file
    // refers to it, in any process: so a file that a process /proc does not
    // let us look into has open or mapped is found here, and so is one
    // opened since /proc was read. On success `lease` holds the file until
    // its name is gone, and a program opening it meanwhile waits for that.
    // Where no lease can be had (a file system without them, a file we may
    // not read), /proc's picture alone counts. Three calls more per file:
    // asked only where /proc's picture is not complete (see m_askTheKernel).
    static bool isOpenElsewhere(int dirFd, const std::string &name, Descriptor &lease)
    {
        lease.reset(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOATIME | O_CLOEXEC));
        if (!lease)
            return errno == EWOULDBLOCK; // another holder's lease
        if (::fcntl(lease.get(), F_SETLEASE, F_WRLCK) == 0)
            return false;
        const bool open = errno == EAGAIN;
        lease.reset();
        return open;
    }

    bool isCredential(const struct stat &st) const
    {
        return std::find(m_credentials.begin(), m_credentials.end(), identityOf(st)) != m_credentials.end();
    }

    // A program made or changed it while we read /proc or walked: it is at
    // work there now. Folders are left to their entries: our own removals
    // change theirs.
    bool isChangedSinceScan(const struct stat &st) const { return !isBefore(st.st_ctim, m_since); }

    // True when the entry is gone: removed now, or by someone else meanwhile.
    bool removeEntry(int dirFd, const std::string &name, int depth)
    {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || fail();
        if (st.st_uid != m_us)
            return keep(Kept::NotOurs);
        if (m_inUse.holds(st))
            return keep(Kept::InUse);
        if (isCredential(st))
            return keep(Kept::Desktop);
        if (S_ISDIR(st.st_mode))
            return removeFolder(dirFd, name, st, depth);
        // Sockets, FIFOs and device nodes are what programs meet each other by.
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            return keep(Kept::Special);
        if (isChangedSinceScan(st))
            return keep(Kept::Recent);
        Descriptor lease;
        if (S_ISREG(st.st_mode) && m_askTheKernel && isOpenElsewhere(dirFd, name, lease))
            return keep(Kept::InUse);
        return removeName(dirFd, name, 0);
    }

    bool removeFolder(int dirFd, const std::string &name, const struct stat &st, int depth)
    {
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
        // A file mounted over (a bind mount of a single file).
        if (errno == EBUSY)
            return keep(Kept::Mount);
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
    timespec m_since;
    std::vector<Identity> m_credentials;
    // Each file is asked of the kernel before it goes when some process
    // that may hold it could not be looked into.
    bool m_askTheKernel;
    uid_t m_us = ::geteuid(); // see ownership.h: asked once, not per entry
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
// temporary file, and some of it (device nodes, firmware variables) must
// never go. devtmpfs tells statfs it is a tmpfs: its mount's type says what
// it is.
bool isKernelFileSystem(int fd, const std::optional<MountEntry> &mount)
{
    static const long kKinds[] = {PROC_SUPER_MAGIC,  SYSFS_MAGIC,     CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC,
                                  DEVPTS_SUPER_MAGIC, DEBUGFS_MAGIC,   TRACEFS_MAGIC,      SECURITYFS_MAGIC,
                                  BPF_FS_MAGIC,       PSTOREFS_MAGIC,  EFIVARFS_MAGIC,     SELINUX_MAGIC,
                                  SMACK_MAGIC,        BINFMTFS_MAGIC,  NSFS_MAGIC,         HUGETLBFS_MAGIC,
                                  AUTOFS_SUPER_MAGIC};
    static const char *const kTypes[] = {"devtmpfs", "mqueue",  "hugetlbfs", "configfs",   "fusectl",
                                         "autofs",   "bpf",     "tracefs",   "debugfs",    "securityfs",
                                         "pstore",   "efivarfs", "binfmt_misc", "rpc_pipefs", "nfsd"};
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return true;
    if (std::find(std::begin(kKinds), std::end(kKinds), long(fs.f_type)) != std::end(kKinds))
        return true;
    return mount && std::find(std::begin(kTypes), std::end(kTypes), mount->type) != std::end(kTypes);
}

// The home folder: $HOME when it is a full path, else the user database's.
std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    const passwd *user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : std::string();
}

// Whether `fd` is the user's data folder as the program finds it
// ($XDG_DATA_HOME when it is a full path, else ~/.local/share), through
// whatever links lead there.
bool isDataFolder(int fd)
{
    const char *set = std::getenv("XDG_DATA_HOME");
    const std::string home = homeFolder();
    const std::string data = set && set[0] == '/' ? set : home.empty() ? std::string() : home + "/.local/share";
    struct stat expected {};
    struct stat st {};
    return !data.empty() && ::stat(data.c_str(), &expected) == 0 && ::fstat(fd, &st) == 0
           && identityOf(st) == identityOf(expected);
}

// The kernel stamps a change with the clock of its last tick, up to a tick
// behind the moment the scan began: until that clock has reached it, a file
// changed now would look older. On a busy desktop the scan outlasts a tick.
void waitForTheTickAfter(const timespec &moment)
{
    timespec tick {};
    timespec stamps {};
    ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
    while (::clock_gettime(CLOCK_REALTIME_COARSE, &stamps) == 0 && isBefore(stamps, moment))
        ::nanosleep(&tick, nullptr);
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
    const MountFacts mount = mountFactsOf(fd.get());
    const std::optional<MountEntry> entry = mount.known ? mountEntryOf(mount.id) : std::nullopt;
    if (isKernelFileSystem(fd.get(), entry))
        return {Emptied::Kernel, {}};
    timespec since {};
    ::clock_gettime(CLOCK_REALTIME, &since);
    std::optional<FilesInUse> inUse = FilesInUse::scan(st.st_dev, entry ? entry->device : st.st_dev);
    if (!inUse)
        return {Emptied::UseUnknown, {}};
    waitForTheTickAfter(since);
    Cleaner cleaner(st.st_dev, mount, std::move(*inUse), since);
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
    // Where the session's variable is unset (cron, su), its folder is still there.
    folders.push_back("/run/user/" + std::to_string(::getuid()));
    return folders;
}

bool isProtectedFolder(const std::string &folder)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) != 0 || isProtected(st);
}

Removed removeFile(const std::string &path)
{
    if (path.empty() || path[0] != '/')
        return Removed::Relative;
    const size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash + 1);
    if (name != kRecentlyUsedList)
        return Removed::NotTheList;
    int error = 0;
    const Descriptor folder = openWithoutLinks(path.substr(0, slash), error);
    if (!folder)
        return error == ENOENT ? Removed::Missing : error == ELOOP ? Removed::Link : Removed::Failed;
    if (!isDataFolder(folder.get()))
        return Removed::NotTheList;
    struct stat st {};
    if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Removed::Missing : Removed::Failed;
    if (!S_ISREG(st.st_mode))
        return Removed::NotAFile;
    if (!ownedByUs(st))
        return Removed::NotOurs;
    return ::unlinkat(folder.get(), name.c_str(), 0) == 0 || errno == ENOENT ? Removed::Done : Removed::Failed;
}

} // namespace quenby::cleanup
