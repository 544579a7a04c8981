#include "platform/settings_file/private_file.h"

#include "platform/cleaner/descriptor.h"
#include "platform/cleaner/ownership.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenby::private_file {

namespace {

// More links than this in a row is a loop.
constexpr int kMaxLinks = 16;

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray readLink(const QByteArray &path)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size())
        return {};
    target.truncate(length);
    if (target.startsWith('/'))
        return target;
    return folderOf(path) + '/' + target;
}

// Follows the links on the way to the file. `path` ends as the file itself,
// which may not exist yet.
Outcome resolve(QByteArray &path)
{
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0)
            return errno == ENOENT ? Outcome::Missing : Outcome::Failed;
        if (!ownedByUs(st))
            return Outcome::NotOurs;
        if (S_ISREG(st.st_mode))
            return Outcome::Done;
        if (!S_ISLNK(st.st_mode))
            return Outcome::NotRegular;
        path = readLink(path);
        if (path.isEmpty())
            return Outcome::Failed;
    }
    return Outcome::Failed;
}

// Stops one byte past the limit: a file that grew after it was measured is
// not read to its end either.
Outcome readAll(int fd, QByteArray &bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Outcome::Failed;
        if (got == 0)
            return Outcome::Done;
        bytes.append(buffer, got);
        if (bytes.size() > kMaxSize) {
            bytes.clear();
            return Outcome::TooLarge;
        }
    }
}

// A file size limit (ulimit -f) would end the program with SIGXFSZ halfway
// through; ignored, the write fails with EFBIG like on a full disk.
class FileSizeSignalIgnored
{
public:
    FileSizeSignalIgnored()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_saved);
    }
    ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &m_saved, nullptr); }

private:
    struct sigaction m_saved {};
};

bool writeDurably(int fd, const QByteArray &bytes)
{
    const FileSizeSignalIgnored ignored;
    return ::fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
}

void syncFolder(const QByteArray &folder)
{
    const Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd)
        ::fsync(fd.get());
}

// The mark of our temporary files, after ".<name of the file>": what
// mkostemp adds to it is six letters or digits.
const QByteArray kTemporaryMark = QByteArrayLiteral(".~quenby-saving~");
constexpr qsizetype kRandomLength = 6;

QByteArray temporaryPrefix(const QByteArray &target)
{
    return '.' + target.mid(target.lastIndexOf('/') + 1) + kTemporaryMark;
}

bool isTemporaryName(const QByteArray &name, const QByteArray &prefix)
{
    if (!name.startsWith(prefix) || name.size() != prefix.size() + kRandomLength)
        return false;
    for (const char c : name.sliced(prefix.size())) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

void removeOldTemporaries(const QByteArray &folder, const QByteArray &prefix)
{
    constexpr time_t kAge = 60;
    const FolderListing dir = listFolder(Descriptor(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir.get());
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (!isTemporaryName(name, prefix))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && isOwnRegularFile(st)
            && st.st_mtime + kAge < now)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
}

} // namespace

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

Contents read(const QString &path)
{
    QByteArray target = QFile::encodeName(path);
    if (target.isEmpty())
        return {Outcome::Failed, {}};
    const Outcome found = resolve(target);
    if (found != Outcome::Done)
        return {found, {}};
    // Not blocking: should the file be swapped for a FIFO meanwhile, the open
    // returns at once and the check below turns it away.
    const Descriptor fd(::open(target.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return {Outcome::Failed, {}};
    Contents contents;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        contents.outcome = Outcome::Failed;
    else if (!S_ISREG(st.st_mode))
        contents.outcome = Outcome::NotRegular;
    else if (!ownedByUs(st))
        contents.outcome = Outcome::NotOurs;
    else if ((contents.size = st.st_size) > kMaxSize)
        contents.outcome = Outcome::TooLarge;
    else
        contents.outcome = readAll(fd.get(), contents.bytes);
    // Grown past the limit while it was read: the message gives its size now.
    if (contents.outcome == Outcome::TooLarge && ::fstat(fd.get(), &st) == 0)
        contents.size = std::max(qint64(st.st_size), kMaxSize + 1);
    return contents;
}

Outcome replace(const QString &path, const QByteArray &bytes)
{
    QByteArray target = QFile::encodeName(path);
    if (target.isEmpty())
        return Outcome::Failed;
    const Outcome found = resolve(target);
    if (found != Outcome::Done && found != Outcome::Missing)
        return found;
    if (found == Outcome::Done) {
        struct stat st {};
        if (::stat(target.constData(), &st) == 0 && st.st_size > kMaxSize)
            return Outcome::TooLarge;
    }
    if (bytes.size() > kMaxSize)
        return Outcome::NewTooLarge;
    const QByteArray folder = folderOf(target);
    if (!makeFolders(QFile::decodeName(folder)))
        return Outcome::Failed;
    const QByteArray prefix = temporaryPrefix(target);
    removeOldTemporaries(folder, prefix);
    QByteArray temporary = folder + '/' + prefix + "XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return Outcome::Failed;
    const bool written = writeDurably(fd.get(), bytes);
    const bool closed = fd.close();
    if (!written || !closed || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return Outcome::Failed;
    }
    syncFolder(folder);
    return Outcome::Done;
}

bool makeFolders(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (!path.startsWith('/'))
        return false;
    for (qsizetype end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path.at(end) != '/')
            continue;
        const QByteArray part = path.left(end);
        if (::mkdir(part.constData(), 0700) == 0)
            ::chmod(part.constData(), 0700);
        else if (errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace quenby::private_file
