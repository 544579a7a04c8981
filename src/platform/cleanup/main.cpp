// quenby-clean: the clean-ups of the end-of-session run, started hidden and
// not waited for.
//
//   quenby-clean [--empty FOLDER | --remove FILE]...
//
// Only what the user running it owns is deleted; links are removed, never
// followed, and no mount point is entered. A FOLDER that is relative, a link,
// the root, the home folder, the session's runtime folder or a folder above
// one of them is refused whatever its spelling ("/.", "/tmp/..", a link):
// the helper checks that itself. See folder_cleaner.h.

#include "platform/folder_cleaner.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char *argv[])
{
    const uid_t owner = ::getuid();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--empty") == 0) {
            quenby::cleanup::emptyFolder(argv[i + 1], owner);
        } else if (std::strcmp(argv[i], "--remove") == 0) {
            quenby::cleanup::removeFile(argv[i + 1], owner);
        } else {
            std::fprintf(stderr, "quenby-clean: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    return 0;
}
