#include "platform/folder_cleaner.h"

#include "platform/descriptor.h"
#include "platform/ownership.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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
    Cleaner(dev_t device, MountFacts mount) : m_device(device), m_mount(mount) {}

    void emptyDirectory(Descriptor folder, int depth)
    {
        const FolderListing dir = listFolder(std::move(folder));
        if (!dir)
            return;
        for (const std::string &name : entryNames(dir.get())) {
            if (depth == 0 && isDesktopEntry(name))
                continue;
            removeEntry(::dirfd(dir.get()), name, depth);
        }
    }

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

    void removeEntry(int dirFd, const std::string &name, int depth)
    {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !ownedByUs(st))
            return;
        if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
            ::unlinkat(dirFd, name.c_str(), 0);
            return;
        }
        if (S_ISDIR(st.st_mode) && st.st_dev == m_device && depth + 1 < kMaxDepth)
            removeDirectory(dirFd, name, st, depth);
    }

    // Opened without following a link, and checked to be the folder that was
    // looked at, so a folder swapped for a link meanwhile is not entered.
    void removeDirectory(int dirFd, const std::string &name, const struct stat &seen, int depth)
    {
        Descriptor fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened {};
        if (!fd || ::fstat(fd.get(), &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino
            || isMountPoint(fd.get()))
            return;
        emptyDirectory(std::move(fd), depth + 1);
        // Fails, as it should, when something that is not ours is left inside.
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }

    // A bind mount keeps the device number of what it shows; the mount id
    // and the mount-root mark tell it apart.
    bool isMountPoint(int fd) const
    {
        const MountFacts facts = mountFactsOf(fd);
        return facts.isRoot || (facts.known && m_mount.known && facts.id != m_mount.id);
    }

    dev_t m_device;
    MountFacts m_mount;
};

bool isUsableAbsolute(const std::string &path)
{
    return !path.empty() && path[0] == '/' && path.find_first_not_of('/') != std::string::npos;
}

} // namespace

bool isDesktopEntry(const std::string &name)
{
    return (startsWith(name, ".") && endsWith(name, "-unix")) || isServerLock(name)
           || startsWith(name, "systemd-private-") || startsWith(name, "runtime-");
}

std::string plainFolderPath(const std::string &folder)
{
    if (folder.empty() || folder[0] != '/')
        return {};
    std::vector<std::string> names;
    for (size_t start = 0; start < folder.size();) {
        const size_t end = std::min(folder.find('/', start), folder.size());
        const std::string name = folder.substr(start, end - start);
        if (!name.empty() && name != ".")
            names.push_back(name);
        start = end + 1;
    }
    if (names.empty())
        return "/";
    // What ".." leads to is never a link itself.
    const bool upwards = names.back() == "..";
    std::string holder;
    for (size_t i = 0; i + (upwards ? 0 : 1) < names.size(); ++i)
        holder += '/' + names[i];
    char resolved[PATH_MAX];
    if (!::realpath(holder.empty() ? "/" : holder.c_str(), resolved))
        return {};
    std::string path = resolved;
    if (!upwards)
        path += (path == "/" ? "" : "/") + names.back();
    return path;
}

Emptied emptyFolder(const std::string &folder)
{
    if (folder.empty() || folder[0] != '/')
        return Emptied::Relative;
    const std::string path = plainFolderPath(folder);
    Descriptor fd(path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        const bool missing = errno == ENOENT;
        struct stat st {};
        if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return Emptied::Link;
        return missing ? Emptied::Missing : Emptied::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || isProtected(st))
        return Emptied::Protected;
    const MountFacts mount = mountFactsOf(fd.get());
    Cleaner(st.st_dev, mount).emptyDirectory(std::move(fd), 0);
    return Emptied::Done;
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
