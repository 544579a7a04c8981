// quenby-clean: the clean-ups of the end-of-session run, started hidden and
// not waited for.
//
//   quenby-clean [--empty FOLDER | --remove FILE]...
//
// Only what the user running it owns is deleted; links are removed, never
// followed, and no mount point is entered. A FOLDER that is relative, a link,
// the root, the home folder, the session's runtime folder or a folder above
// one of them is refused whatever its spelling ("/.", "/tmp/..", a link,
// "link/", "link/."): the helper checks that itself. See folder_cleaner.h.
//
// One line per argument on standard error says what was removed, for the run's
// record (the program hands the helper a journal stream there).

#include "platform/folder_cleaner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <ftw.h>
#include <sys/stat.h>

namespace {

using quenby::cleanup::Emptied;

long g_entries = 0;

int countEntry(const char *, const struct stat *, int, struct FTW *)
{
    ++g_entries;
    return 0;
}

// Everything below `folder` on its own file system, links not followed; -1
// when it cannot be read.
long entriesBelow(const char *folder)
{
    g_entries = 0;
    if (::nftw(folder, countEntry, 16, FTW_PHYS | FTW_MOUNT) != 0)
        return -1;
    return g_entries - 1;
}

const char *refusal(Emptied outcome)
{
    switch (outcome) {
    case Emptied::Relative: return "refused: not a full path";
    case Emptied::Link: return "refused: a symbolic link";
    case Emptied::Protected: return "refused: the root, a home or runtime folder, or a folder above one";
    default: return nullptr;
    }
}

// Counted on the path the folder was emptied through, whatever its spelling.
void emptyAndReport(const char *folder)
{
    const std::string path = quenby::cleanup::plainFolderPath(folder);
    const long before = path.empty() ? -1 : entriesBelow(path.c_str());
    const Emptied outcome = quenby::cleanup::emptyFolder(folder);
    const long after = outcome == Emptied::Done ? entriesBelow(path.c_str()) : -1;
    if (outcome == Emptied::Missing)
        std::fprintf(stderr, "quenby-clean: %s: nothing to clear\n", folder);
    else if (const char *why = refusal(outcome))
        std::fprintf(stderr, "quenby-clean: %s: %s\n", folder, why);
    else if (outcome != Emptied::Done)
        std::fprintf(stderr, "quenby-clean: %s cannot be read: nothing removed\n", folder);
    else if (before < 0 || after < 0)
        std::fprintf(stderr, "quenby-clean: %s: emptied, what is left cannot be counted\n", folder);
    else
        std::fprintf(stderr, "quenby-clean: %s: %ld removed, %ld kept\n", folder, std::max(before - after, 0L), after);
}

void removeAndReport(const char *file)
{
    struct stat st {};
    const bool there = ::lstat(file, &st) == 0;
    quenby::cleanup::removeFile(file);
    const bool left = ::lstat(file, &st) == 0;
    std::fprintf(stderr, "quenby-clean: %s: %s\n", file, !there ? "nothing to clear" : left ? "kept" : "removed");
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--empty") == 0) {
            emptyAndReport(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--remove") == 0) {
            removeAndReport(argv[i + 1]);
        } else {
            std::fprintf(stderr, "quenby-clean: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    return 0;
}
