#include "platform/linux/linux_processes.h"

#include "platform/cleaner/descriptor.h"
#include "platform/linux/linux_folders.h"
#include "platform/linux/linux_journal.h"
#include "platform/linux/process_watch.h"
#include "platform/linux/session_bus_gate.h"
#include "platform/linux/slot_command.h"

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

namespace quenby {

namespace {

// The shell's own search path where none is set.
const QString kDefaultSearchPath = QStringLiteral("/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
// The kernel takes no single argument longer than this.
constexpr qsizetype kLongestArgument = 128 * 1024;

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
// Output and errors go to the descriptors given, or to /dev/null for -1.
class HiddenSpawn
{
public:
    HiddenSpawn(int output, int errors)
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
        // Nothing to read; output goes where nothing can fill up.
        posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0);
        direct(1, output);
        direct(2, errors);
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
        session_bus_gate::ChildEnvironment environment;
        const int err = ::posix_spawn(&pid, program.constData(), &m_actions, &m_attr, argv.data(), environment.get());
        if (err != 0)
            return {0, errorNumberFor(err), {}};
        return {pid, 0, {}};
    }

private:
    void direct(int target, int source)
    {
        if (source < 0)
            posix_spawn_file_actions_addopen(&m_actions, target, "/dev/null", O_WRONLY, 0);
        else
            posix_spawn_file_actions_adddup2(&m_actions, source, target);
    }

    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
};

QString searchPath()
{
    return qEnvironmentVariableIsSet("PATH") ? qEnvironmentVariable("PATH") : kDefaultSearchPath;
}

} // namespace

LinuxProcesses::LinuxProcesses(LinuxJournal &journal, QString interpreter, QStringList helperFolders)
    : m_journal(journal)
    , m_interpreter(std::move(interpreter))
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

ShellResult LinuxProcesses::runSlot(int slot, const QString &text)
{
    // A NUL would cut the text short without anyone noticing.
    if (text.contains(QChar(0)))
        return {0, error_number::BadArgument, QStringLiteral("the text holds a NUL character")};
    if (text.toLocal8Bit().size() >= kLongestArgument)
        return {0, error_number::BadArgument, QStringLiteral("the text is too long")};
    const SlotCommand command = slotCommandFor(text, searchPath(), m_interpreter);
    if (command.error != 0)
        return {0, command.error, command.detail, command.hint};
    const QString identifier = QStringLiteral("quenby-slot") + QString::number(slot);
    // Ours are closed once the child has its own copies.
    const Descriptor output = m_journal.openStream(identifier, Journal::Level::Info);
    const Descriptor errors = m_journal.openStream(identifier, Journal::Level::Warning);
    ShellResult started = HiddenSpawn(output.get(), errors.get())
                              .start(QFile::encodeName(m_interpreter), {QByteArrayLiteral("-c"), command.shellText});
    started.detail = command.detail;
    return started;
}

// The home folder stands in for the Windows folder the clean-ups are named
// after: without one, nothing is deleted and nothing is started.
ShellResult LinuxProcesses::emptyTempFolder()
{
    const QString temp = linux_folders::windowsFolder().isEmpty() ? QString() : linux_folders::tempFolder();
    if (temp.isEmpty())
        return {0, 0, QStringLiteral("refused: no temporary-files folder that may be emptied")};
    ShellResult started = startHelper({QStringLiteral("--empty"), temp});
    started.detail = QStringLiteral("empties ") + temp;
    return started;
}

ShellResult LinuxProcesses::clearRecentDocuments()
{
    const QString list = linux_folders::recentlyUsedFile();
    const QString folder = linux_folders::recentDocumentsFolder();
    if (linux_folders::windowsFolder().isEmpty() || list.isEmpty() || folder.isEmpty())
        return {0, 0, QStringLiteral("refused: no home or data folder")};
    ShellResult started = startHelper({QStringLiteral("--remove"), list, QStringLiteral("--empty"), folder});
    started.detail = QStringLiteral("removes ") + list + QStringLiteral(" and empties ") + folder;
    return started;
}

ShellResult LinuxProcesses::startHelper(const QStringList &arguments)
{
    const QString helper = findHelper();
    if (helper.isEmpty())
        return {0, error_number::FileNotFound, {}};
    QList<QByteArray> encoded;
    for (const QString &a : arguments)
        encoded << QFile::encodeName(a);
    // The helper reports what it removed on its standard error.
    const Descriptor report = m_journal.openStream(QStringLiteral("quenby"), Journal::Level::Info);
    const int errors = report ? report.get() : m_journal.fallback();
    const ShellResult started = HiddenSpawn(-1, errors).start(QFile::encodeName(helper), encoded);
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
    if (!w || w->hasEnded())
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
