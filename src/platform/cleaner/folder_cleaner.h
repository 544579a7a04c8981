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
    Link,       // a symbolic link on the way to the folder, or the folder itself
    Protected,  // see isProtectedFolder
    Kernel,     // a file system of the kernel (/proc, /sys, /dev, …), which holds no files to clear
    UseUnknown, // /proc cannot be read: what running programs use is not known
    Unreadable, // not a folder, or it cannot be opened
};

// Why an entry was kept on purpose.
enum class Kept {
    InUse,     // open, mapped, a working or root folder, or locked (see files_in_use.h);
               // or a document being edited, with the editor's files beside it
    NotOurs,   // another user's
    Special,   // a socket, FIFO or device
    Desktop,   // an entry the running session depends on (see isDesktopEntry), or its credentials
    Mount,     // a mount point, or another file system
    Holder,    // a folder holding something that stays
    TooDeep,   // deeper than the walk goes
    Recent,    // made or changed since the clean-up began
};
inline constexpr int kKeptReasons = 8;

// What emptying a folder did, entry by entry. An entry that vanishes during
// the walk (removed by its own program meanwhile) is neither.
struct Tally
{
    long removed = 0;
    long kept[kKeptReasons] = {};
    long failed = 0; // the system would not let it go (rights, a read-only file system)
    long hiddenProcesses = 0; // the user's own processes that could not be looked into

    long keptInAll() const;
    long keptFor(Kept why) const { return kept[int(why)]; }
};

struct Emptying
{
    Emptied outcome = Emptied::Unreadable;
    Tally tally;
};

// Deletes what is ours (see ownership.h) and no longer in use inside
// `folder`, depth first, and keeps the folder. The caller ignores SIGIO: a
// program that opens a file while the cleaner checks it sends one.
// `folder` is resolved one name at a time from the root without following
// any link, so that no spelling ("DIR/link/", "DIR/link/.",
// "DIR/link/sub/..", doubled slashes) reaches a folder through one.
// What a running program uses stays (see files_in_use.h; /proc is read once
// per call), and so do the folders that hold it. Where some process that may
// hold the user's files could not be looked into, each file is also asked of
// the kernel, which lends a file to one holder only while nobody else has it
// open. What changed since /proc was read stays too, and so do a document
// that an editor's lock or swap file beside it says is being edited (with
// those files) and the session's credentials that the environment names
// (KRB5CCNAME, XAUTHORITY, ICEAUTHORITY). Entries of anyone else stay, and
// so do the folders that hold them. Symbolic links are removed, never
// followed; sockets, FIFOs and devices stay; no mount point inside the folder
// is entered, whatever is mounted there (another file system, a bind mount of
// a folder or a file from elsewhere). At the top level the desktop's own
// entries stay: the X11/ICE socket folders and their kind, the X server lock
// files, and the private temporary folders of system services. An empty or
// relative path, a path through a symbolic link, a protected folder (see
// below) or a folder of a kernel file system does nothing at all.
Emptying emptyFolder(const std::string &folder);

// The folders whose contents no clean-up may ever empty as a whole: the home
// folder ($HOME and the one the user database names) and the session's
// runtime folder ($XDG_RUNTIME_DIR, and /run/user/UID where it is unset).
std::vector<std::string> protectedFolders();

// True when `folder` is the root, one of the protected folders, or a folder
// above one of them, however it is spelled ("/.", "//", "/tmp/..", a link):
// folders are compared by what they are (device and inode), not by name.
// Also true when `folder` cannot be looked at.
bool isProtectedFolder(const std::string &folder);

// The desktop's recently-used list, in the user's data folder.
inline constexpr char kRecentlyUsedList[] = "recently-used.xbel";

// What removing a file came to.
enum class Removed {
    Done,
    Missing,    // nothing there: nothing to clear
    Relative,   // not a full path
    Link,       // a symbolic link on the way to it
    NotTheList, // anything but the recently-used list of the user's data folder
    NotAFile,   // a link, a folder, or anything else but a regular file
    NotOurs,    // another user's
    Failed,     // the system would not let it go
};

// Deletes the recently-used list at `path`, the only file a clean-up removes
// by name: `path` must lead to it in the user's data folder ($XDG_DATA_HOME,
// else ~/.local/share, compared by what it is), with no link on the way, and
// it must be a regular file of ours.
Removed removeFile(const std::string &path);

// True for a top-level name of a temporary folder that the running desktop
// depends on (X11 and ICE sockets, server locks, services' private folders,
// a per-user runtime folder made where no XDG_RUNTIME_DIR is set).
bool isDesktopEntry(const std::string &name);

} // namespace quenby::cleanup
