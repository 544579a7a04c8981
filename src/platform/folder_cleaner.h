#pragma once

// Plain C++ without Qt: the clean-up helper executable is built from this too,
// so that it starts fast.

#include <string>
#include <vector>

namespace quenby::cleanup {

// What emptying a folder came to.
enum class Emptied {
    Done,
    Missing,    // nothing there: nothing to clear
    Relative,   // not a full path
    Link,       // the folder named is a symbolic link
    Protected,  // see isProtectedFolder
    Unreadable, // not a folder, or it cannot be opened
};

// The path `folder` names, spelled plainly: doubled slashes, "." and a
// trailing slash are dropped and ".." is resolved as the kernel resolves it,
// but the last name is not followed, so that "DIR/link/" and "DIR/link/."
// name the link itself. Empty when `folder` is not a full path or the folder
// holding it cannot be resolved.
std::string plainFolderPath(const std::string &folder);

// Deletes what is ours (see ownership.h) inside `folder`, depth first, and
// keeps the folder.
// Entries of anyone else stay, and so do the folders that hold them. Symbolic
// links are removed, never followed; sockets, FIFOs and devices stay; no mount
// point inside the folder is entered, whatever is mounted there (another file
// system, a bind mount of a folder elsewhere). At the top level the desktop's
// own entries stay: the X11/ICE socket folders and their kind, the X server
// lock files, and the private temporary folders of system services. An empty
// or relative path, a folder that is itself a symbolic link, or a protected
// folder (see below) does nothing at all, however it is spelled.
Emptied emptyFolder(const std::string &folder);

// The folders whose contents no clean-up may ever empty as a whole: the home
// folder ($HOME and the one the user database names) and the session's
// runtime folder ($XDG_RUNTIME_DIR).
std::vector<std::string> protectedFolders();

// True when `folder` is the root, one of the protected folders, or a folder
// above one of them, however it is spelled ("/.", "//", "/tmp/..", a link):
// folders are compared by what they are (device and inode), not by name.
// Also true when `folder` cannot be looked at.
bool isProtectedFolder(const std::string &folder);

// Deletes one file (or symbolic link) when it is ours.
void removeFile(const std::string &path);

// True for a top-level name of a temporary folder that the running desktop
// depends on (X11 and ICE sockets, server locks, services' private folders,
// a per-user runtime folder made where no XDG_RUNTIME_DIR is set).
bool isDesktopEntry(const std::string &name);

} // namespace quenby::cleanup
