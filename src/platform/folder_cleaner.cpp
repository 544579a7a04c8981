#include "platform/folder_cleaner.h"

#include <cctype>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
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

class Cleaner
{
public:
    Cleaner(uid_t owner, dev_t device) : m_owner(owner), m_device(device) {}

    // Takes over `dirFd`.
    void emptyDirectory(int dirFd, int depth)
    {
        DIR *dir = ::fdopendir(dirFd);
        if (!dir) {
            ::close(dirFd);
            return;
        }
        for (const std::string &name : entryNames(dir)) {
            if (depth == 0 && isDesktopEntry(name))
                continue;
            removeEntry(::dirfd(dir), name, depth);
        }
        ::closedir(dir);
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
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != m_owner)
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
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
            ::close(fd);
            return;
        }
        emptyDirectory(fd, depth + 1);
        // Fails, as it should, when something that is not ours is left inside.
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }

    uid_t m_owner;
    dev_t m_device;
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

void emptyFolder(const std::string &folder, uid_t owner)
{
    if (!isUsableAbsolute(folder))
        return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    Cleaner(owner, st.st_dev).emptyDirectory(fd, 0);
}

void removeFile(const std::string &path, uid_t owner)
{
    if (!isUsableAbsolute(path))
        return;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid != owner)
        return;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        ::unlink(path.c_str());
}

} // namespace quenby::cleanup
