#pragma once

// Plain C++ without Qt: the clean-up helper judges owners with it too.

#include <sys/stat.h>
#include <unistd.h>

namespace quenby {

// Files of ours are those of the effective user: it is the one the kernel
// checks when we open, replace or delete a file, and the one a file we make
// belongs to. Nothing here is set-user-ID (quenby-clean runs as the user who
// starts it), so the real user is the same one; asking one of them everywhere
// keeps the answer the same should that ever change.
inline bool ownedByUs(const struct stat &st)
{
    return st.st_uid == ::geteuid();
}

// A regular file of ours: not a folder, FIFO, socket, device or link.
inline bool isOwnRegularFile(const struct stat &st)
{
    return S_ISREG(st.st_mode) && ownedByUs(st);
}

} // namespace quenby
