// quenby-clean: the clean-ups of the end-of-session run, started hidden and
// not waited for.
//
//   quenby-clean [--empty FOLDER | --remove FILE]...
//
// Only what the user running it owns and no running program uses is
// deleted; links are removed, never followed, and no mount point is entered.
// A FOLDER that is relative, reached through a link, the root, the home
// folder, the session's runtime folder, a folder above one of them or a
// kernel file system is refused whatever its spelling: the helper checks that
// itself. FILE can only be the recently-used list of the user's data folder.
// See folder_cleaner.h.
//
// One line per argument on standard error says what was removed and what was
// kept and why, for the run's record (the program hands the helper a journal
// stream there). Exit status: 0 when every argument was carried out, 1 when
// one was refused or something could not be removed, 2 for a command line it
// does not understand (nothing is done then).

#include "platform/cleaner/folder_cleaner.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using quenby::cleanup::Emptied;
using quenby::cleanup::Kept;
using quenby::cleanup::Removed;
using quenby::cleanup::Tally;

constexpr int kUsageError = 2;

const char kUsage[] = "usage: quenby-clean [--empty FOLDER | --remove FILE]...\n";

const char kHelp[] = "Empties each FOLDER, keeping the folder, and removes each FILE, in the order given.\n"
                     "Only your own entries that no running program uses are deleted; links are removed,\n"
                     "never followed. A folder reached through a link, the root, the home or runtime\n"
                     "folder or a folder above them is refused; FILE can only be the recently-used list\n"
                     "of your data folder. One line per argument on standard error.\n";

struct Task
{
    bool empty = true; // else remove
    const char *path = nullptr;
};

// Why each kind of entry stayed, in the order the record names them: for one
// entry, and for more.
const char *const kKeptReasons[quenby::cleanup::kKeptReasons][2] = {
    {"in use", "in use"},
    {"of another user", "of other users"},
    {"socket, FIFO or device", "sockets, FIFOs or devices"},
    {"of the desktop", "of the desktop"},
    {"mount point", "mount points"},
    {"folder holding those", "folders holding those"},
    {"too deep to reach", "too deep to reach"},
    {"changed during the clean-up", "changed during the clean-up"},
};

const char kRelative[] = "refused: not a full path";
const char kThroughLink[] = "refused: reached through a symbolic link";

const char *refusal(Emptied outcome)
{
    switch (outcome) {
    case Emptied::Relative: return kRelative;
    case Emptied::Link: return kThroughLink;
    case Emptied::Protected: return "refused: the root, a home or runtime folder, or a folder above one";
    case Emptied::Kernel: return "refused: a file system of the kernel, which holds no files to clear";
    case Emptied::UseUnknown: return "refused: /proc cannot be read, so what running programs use is not known";
    case Emptied::Unreadable: return "not a folder, or it cannot be read: nothing removed";
    default: return nullptr;
    }
}

// "12 removed, 3 kept (2 in use, 1 of another user); 1 could not be removed;
// 1 of your processes could not be looked into"
std::string tallyText(const Tally &tally)
{
    std::string text = std::to_string(tally.removed) + " removed, " + std::to_string(tally.keptInAll()) + " kept";
    const char *separator = " (";
    for (int why = 0; why < quenby::cleanup::kKeptReasons; ++why) {
        if (const long count = tally.keptFor(Kept(why))) {
            text += separator + std::to_string(count) + ' ' + kKeptReasons[why][count == 1 ? 0 : 1];
            separator = ", ";
        }
    }
    if (tally.keptInAll() > 0)
        text += ')';
    if (tally.failed > 0)
        text += "; " + std::to_string(tally.failed) + " could not be removed";
    if (tally.hiddenProcesses > 0)
        text += "; " + std::to_string(tally.hiddenProcesses) + " of your processes could not be looked into";
    return text;
}

// True when the folder was emptied of everything it may lose.
bool emptyAndReport(const char *folder)
{
    const quenby::cleanup::Emptying result = quenby::cleanup::emptyFolder(folder);
    if (result.outcome == Emptied::Missing) {
        std::fprintf(stderr, "quenby-clean: %s: nothing to clear\n", folder);
        return true;
    }
    if (const char *why = refusal(result.outcome)) {
        std::fprintf(stderr, "quenby-clean: %s: %s\n", folder, why);
        return false;
    }
    std::fprintf(stderr, "quenby-clean: %s: %s\n", folder, tallyText(result.tally).c_str());
    return result.tally.failed == 0;
}

const char *removalText(Removed outcome)
{
    switch (outcome) {
    case Removed::Done: return "removed";
    case Removed::Missing: return "nothing to clear";
    case Removed::Relative: return kRelative;
    case Removed::Link: return kThroughLink;
    case Removed::NotTheList: return "refused: not the recently-used list of your data folder";
    case Removed::NotAFile: return "refused: not a regular file";
    case Removed::NotOurs: return "refused: another user's file";
    default: return "could not be removed";
    }
}

bool removeAndReport(const char *file)
{
    const Removed outcome = quenby::cleanup::removeFile(file);
    std::fprintf(stderr, "quenby-clean: %s: %s\n", file, removalText(outcome));
    return outcome == Removed::Done || outcome == Removed::Missing;
}

int usageError(const char *what, const char *argument)
{
    std::fprintf(stderr, "quenby-clean: %s%s\n%s", what, argument, kUsage);
    return kUsageError;
}

} // namespace

int main(int argc, char *argv[])
{
    // Started with every signal at its default: a report that nobody reads
    // any more must not end the clean-up half done, nor must a program that
    // opens a file while it is being checked (see emptyFolder).
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGIO, SIG_IGN);
    // The whole command line is read before anything is deleted.
    std::vector<Task> tasks;
    for (int i = 1; i < argc; ++i) {
        const bool empty = std::strcmp(argv[i], "--empty") == 0;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        }
        if (!empty && std::strcmp(argv[i], "--remove") != 0)
            return usageError(argv[i][0] == '-' ? "unknown option " : "unexpected argument ", argv[i]);
        if (i + 1 == argc)
            return usageError(argv[i], empty ? " needs a folder" : " needs a file");
        tasks.push_back({empty, argv[++i]});
    }
    if (tasks.empty())
        return usageError("nothing to do", "");
    bool allDone = true;
    for (const Task &task : tasks)
        allDone = (task.empty ? emptyAndReport(task.path) : removeAndReport(task.path)) && allDone;
    return allDone ? 0 : 1;
}
