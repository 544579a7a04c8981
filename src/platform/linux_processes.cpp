#include "platform/linux_processes.h"

#include "platform/linux_folders.h"
#include "platform/process_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace quenby {

namespace {

const QString kCommandPrefix = QStringLiteral("command.com /c ");
const QString kDeltreePrefix = QStringLiteral("deltree /Y ");

int errorNumberFor(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return error_number::FileNotFound;
    case E2BIG:
    case ENAMETOOLONG:
    case EINVAL:
        return error_number::BadArgument;
    case EACCES:
    case EPERM:
        return error_number::AccessDenied;
    case ENOMEM:
    case EAGAIN:
        return error_number::OutOfMemory;
    default:
        return error_number::Internal;
    }
}

// Spawn attributes of a hidden process: a session of its own (no controlling
// terminal, and a quit of ours or a hang-up of our terminal does not reach
// it), default signal handling and an empty signal mask whatever ours are.
class HiddenSpawn
{
public:
    HiddenSpawn()
    {
        posix_spawnattr_init(&m_attr);
        posix_spawn_file_actions_init(&m_actions);
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attr, &none);
        posix_spawnattr_setsigdefault(&m_attr, &all);
        posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        // Nothing to read, and output that nobody reads cannot fill a pipe.
        posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&m_actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&m_actions, 2, "/dev/null", O_WRONLY, 0);
        // Our own descriptors (the instance lock, the display) stay ours.
        posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
    }
    ~HiddenSpawn()
    {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attr);
    }
    HiddenSpawn(const HiddenSpawn &) = delete;
    HiddenSpawn &operator=(const HiddenSpawn &) = delete;

    ShellResult start(const QByteArray &program, const QList<QByteArray> &arguments)
    {
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.constData()));
        for (const QByteArray &a : arguments)
            argv.push_back(const_cast<char *>(a.constData()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int err = ::posix_spawn(&pid, program.constData(), &m_actions, &m_attr, argv.data(), environ);
        if (err != 0)
            return {0, errorNumberFor(err)};
        return {pid, 0};
    }

private:
    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
};

QByteArray quotedForShell(QByteArray word)
{
    word.replace('\'', QByteArrayLiteral("'\\''"));
    return '\'' + word + '\'';
}

// The full path of an existing file runs that file, even when the path holds
// blanks, quotes or '$' that the shell would split or expand (browsing fills
// in such paths, e.g. a folder named "My Scripts"). Anything else is a command
// line for the shell, exactly as typed.
QByteArray shellCommandFor(const QString &text)
{
    const QFileInfo file(text);
    if (file.isAbsolute() && file.isFile())
        return quotedForShell(QFile::encodeName(text));
    return text.toLocal8Bit();
}

} // namespace

LinuxProcesses::LinuxProcesses(QString interpreter, QStringList helperFolders)
    : m_interpreter(std::move(interpreter))
    , m_helperFolders(std::move(helperFolders))
{
}

LinuxProcesses::~LinuxProcesses() = default;

QStringList LinuxProcesses::defaultHelperFolders()
{
    const QString own = QCoreApplication::applicationDirPath();
    const QString libexec = QStringLiteral(QUENBY_LIBEXECDIR);
    const QString installed = QDir::isAbsolutePath(libexec) ? libexec : own + QStringLiteral("/../") + libexec;
    return {own, QDir::cleanPath(installed + QStringLiteral("/quenby"))};
}

ShellResult LinuxProcesses::shell(const QString &commandLine)
{
    // A NUL would cut the text short without anyone noticing.
    if (commandLine.contains(QChar(0)) || !commandLine.startsWith(kCommandPrefix))
        return {0, error_number::BadArgument};
    const QString text = commandLine.mid(kCommandPrefix.size());
    if (text.startsWith(kDeltreePrefix))
        return deltree(text.mid(kDeltreePrefix.size()));
    return runThroughShell(text);
}

ShellResult LinuxProcesses::runThroughShell(const QString &text)
{
    return HiddenSpawn().start(QFile::encodeName(m_interpreter), {QByteArrayLiteral("-c"), shellCommandFor(text)});
}

// The home folder stands in for the Windows folder. Without one, or for any
// other target, nothing is deleted and nothing is started.
ShellResult LinuxProcesses::deltree(const QString &target)
{
    const QString windows = linux_folders::windowsFolder();
    if (windows.isEmpty())
        return {0, 0};
    if (target == windows + QStringLiteral("\\temp\\*.*")) {
        const QString temp = linux_folders::tempFolder();
        if (temp.isEmpty())
            return {0, 0};
        return startHelper({QStringLiteral("--empty"), temp});
    }
    if (target == windows + QStringLiteral("\\recent\\*.*")) {
        const QString list = linux_folders::recentlyUsedFile();
        const QString folder = linux_folders::recentDocumentsFolder();
        if (list.isEmpty() || folder.isEmpty())
            return {0, 0};
        return startHelper({QStringLiteral("--remove"), list, QStringLiteral("--empty"), folder});
    }
    return {0, 0};
}

ShellResult LinuxProcesses::startHelper(const QStringList &arguments)
{
    const QString helper = findHelper();
    if (helper.isEmpty())
        return {0, error_number::FileNotFound};
    QList<QByteArray> encoded;
    for (const QString &a : arguments)
        encoded << QFile::encodeName(a);
    const ShellResult started = HiddenSpawn().start(QFile::encodeName(helper), encoded);
    if (started.error == 0)
        reapInBackground(started.pid);
    return started;
}

QString LinuxProcesses::findHelper() const
{
    for (const QString &folder : m_helperFolders) {
        const QFileInfo candidate(folder + u'/' + helperName());
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return QString();
}

// The run does not wait for a clean-up, but its end must still be collected.
void LinuxProcesses::reapInBackground(qint64 pid)
{
    std::unique_ptr<ProcessWatch> w = watch(pid);
    if (!w)
        return;
    ProcessWatch *raw = w.get();
    QObject::connect(raw, &ProcessWatch::ended, raw, [this, raw] {
        for (auto &held : m_helpers) {
            if (held.get() == raw)
                held.release()->deleteLater();
        }
        std::erase(m_helpers, nullptr);
    });
    m_helpers.push_back(std::move(w));
}

std::unique_ptr<ProcessWatch> LinuxProcesses::watch(qint64 pid)
{
    return ChildWatch::open(pid);
}

} // namespace quenby
