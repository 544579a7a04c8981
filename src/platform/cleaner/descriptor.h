#pragma once

// Plain C++ without Qt: the clean-up helper holds its descriptors in it too.

#include <memory>
#include <utility>

#include <dirent.h>
#include <unistd.h>

namespace quenby {

// A file descriptor of ours, closed when its holder goes, on every way out.
// Holds nothing (-1) when the call that opened it failed.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) noexcept : m_fd(fd < 0 ? -1 : fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor &&other) noexcept : m_fd(other.release()) {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }

    // Hands the descriptor on; the caller closes it.
    int release() noexcept { return std::exchange(m_fd, -1); }

    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd < 0 ? -1 : fd;
    }

    // Closes now and says whether the system took it: some file systems
    // report a failed write only here.
    bool close() noexcept { return m_fd >= 0 && ::close(release()) == 0; }

private:
    int m_fd = -1;
};

struct FolderListingCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using FolderListing = std::unique_ptr<DIR, FolderListingCloser>;

// Reads the entries of an open folder; the listing takes the descriptor over
// and closes it. Null when the listing cannot be made (the descriptor is then
// closed with `folder`).
inline FolderListing listFolder(Descriptor folder)
{
    FolderListing listing(::fdopendir(folder.get()));
    if (listing)
        folder.release();
    return listing;
}

} // namespace quenby
