#pragma once

// Plain C++ without Qt: the clean-up helper executable is built from this too,
// so that it starts fast.

#include <string>

#include <sys/types.h>

namespace quenby::cleanup {

// Deletes what `owner` owns inside `folder`, depth first, and keeps the folder.
// Entries of anyone else stay, and so do the folders that hold them. Symbolic
// links are removed, never followed; sockets, FIFOs and devices stay; folders on
// another file system (a mount inside the folder) are not entered. At the top
// level the desktop's own entries stay: the X11/ICE socket folders and their
// kind, the X server lock files, and the private temporary folders of system
// services. An empty or relative path, the root, or a folder that is itself a
// symbolic link does nothing at all.
void emptyFolder(const std::string &folder, uid_t owner);

// Deletes one file (or symbolic link) when it belongs to `owner`.
void removeFile(const std::string &path, uid_t owner);

// True for a top-level name of a temporary folder that the running desktop
// depends on (X11 and ICE sockets, server locks, services' private folders,
// a per-user runtime folder made where no XDG_RUNTIME_DIR is set).
bool isDesktopEntry(const std::string &name);

} // namespace quenby::cleanup
