#include "scratch.h"

#include "platform/cleaner/folder_cleaner.h"
#include "platform/linux/linux_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quenby;
using namespace quenby::test;

namespace {

constexpr uid_t kOtherUser = 65534;

void writeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

bool exists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Keeps a bound socket alive at `path` for as long as it lives. Bound by a
// name relative to its folder: socket addresses are short.
class ListeningSocket
{
public:
    explicit ListeningSocket(const QString &path)
    {
        const QFileInfo info(path);
        const QString before = QDir::currentPath();
        QDir::setCurrent(info.absolutePath());
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(info.fileName());
        qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        QDir::setCurrent(before);
    }
    ~ListeningSocket() { ::close(m_fd); }
    bool bound() const { return m_bound; }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// Sets an environment variable for as long as it lives.
class ScopedVariable
{
public:
    ScopedVariable(const char *name, const QByteArray &value) : m_name(name), m_saved(qgetenv(name))
    {
        qputenv(name, value);
    }
    ScopedVariable(const char *name, const QString &value) : ScopedVariable(name, QFile::encodeName(value)) {}
    ~ScopedVariable() { qputenv(m_name, m_saved); }

private:
    const char *m_name;
    QByteArray m_saved;
};

// How a running program uses a file or folder: `None` leaves it alone,
// `EditorLock` makes it an editor's lock naming the test's own process.
enum class Use { Open, Map, WorkIn, Lock, None, EditorLock, WorkInThread };

// A process of its own that opens, maps or works in a path until it is
// ended; a lock is taken by the test itself, whose own descriptors the
// cleaner does not look at, so that only the lock table tells of it.
class UsingProgram
{
public:
    UsingProgram(Use use, const QByteArray &path)
    {
        if (use == Use::Lock || use == Use::None || use == Use::EditorLock) {
            m_lock = use == Use::Lock ? ::open(path.constData(), O_RDONLY | O_CLOEXEC) : -1;
            const QByteArray lock = "tester@" + QSysInfo::machineHostName().toLocal8Bit() + '.' + QByteArray::number(::getpid());
            m_ready = use == Use::None || (use == Use::Lock ? ::flock(m_lock, LOCK_EX) : ::symlink(lock, path)) == 0;
            return;
        }
        int ready[2];
        QVERIFY(::pipe2(ready, O_CLOEXEC) == 0);
        if ((m_pid = ::fork()) == 0) {
            // Only system calls here (and a thread's start): the child of a threaded program.
            if (use == Use::WorkInThread ? inThreadOfItsOwn(path.constData(), ready[1])
                                         : act(use, path.constData()) && ::write(ready[1], "x", 1) == 1) {
                for (;;)
                    ::pause();
            }
            ::_exit(1);
        }
        ::close(ready[1]);
        char byte = 0;
        m_ready = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~UsingProgram()
    {
        if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
            ::waitpid(m_pid, nullptr, 0);
        ::close(m_lock);
    }
    bool ready() const { return m_ready; }

private:
    static bool act(Use use, const char *path)
    {
        if (use == Use::WorkIn)
            return ::chdir(path) == 0;
        const int fd = ::open(path, O_RDONLY);
        if (use == Use::Open || fd < 0)
            return fd >= 0;
        const bool mapped = ::mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) != MAP_FAILED;
        ::close(fd);
        return mapped;
    }

    // A thread with a working folder of its own; the main thread's is elsewhere.
    static bool inThreadOfItsOwn(const char *path, int ready)
    {
        static std::pair<const char *, int> start;
        start = {path, ready};
        pthread_t thread;
        return ::pthread_create(&thread, nullptr, [](void *) -> void * {
            if (::unshare(CLONE_FS) != 0 || ::chdir(start.first) != 0 || ::write(start.second, "x", 1) != 1)
                ::_exit(1);
            for (;;)
                ::pause();
        }, nullptr) == 0;
    }

    pid_t m_pid = -1;
    int m_lock = -1;
    bool m_ready = false;
};

QString helperPath()
{
    return QFileInfo(qEnvironmentVariable("QUENBY_BINARY")).absolutePath() + QStringLiteral("/quenby-clean");
}

} // namespace

class FolderCleanerTest final : public QObject
{
    Q_OBJECT

private:
    QString m_root;   // a fresh folder for each test, inside the scratch folder
    QString m_folder; // the folder being emptied
    QString m_outside;

    QString in(const QString &name) const { return m_folder + u'/' + name; }
    cleanup::Tally empty() { return cleanup::emptyFolder(QFile::encodeName(m_folder).toStdString()).tally; }
    static bool canChangeOwners() { return ::geteuid() == 0; }
    static int inOwnMounts(const QString &commands, const QStringList &arguments)
    {
        const QStringList shell = {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"), commands,
                                   QStringLiteral("sh")};
        return QProcess::execute(QStringLiteral("unshare"), QStringList{QStringLiteral("--ipc")} + shell + arguments);
    }
    static void giveAway(const QString &path)
    {
        QCOMPARE(::lchown(QFile::encodeName(path).constData(), kOtherUser, kOtherUser), 0);
    }

private slots:
    void init()
    {
        m_root = scratchFolder() + QStringLiteral("/cleaner/") + QString::fromLatin1(QTest::currentTestFunction());
        QDir(m_root).removeRecursively();
        m_folder = m_root + QStringLiteral("/temp");
        m_outside = m_root + QStringLiteral("/outside");
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(QDir().mkpath(m_outside));
        writeFile(m_outside + QStringLiteral("/precious"));
    }

    void deletesOwnFilesAndFoldersAndKeepsTheFolder()
    {
        writeFile(in(QStringLiteral("a.tmp")));
        writeFile(in(QStringLiteral(".hidden")));
        writeFile(in(QStringLiteral("deep/er/still/b.tmp")));
        QVERIFY(QDir().mkpath(in(QStringLiteral("empty dir"))));
        empty();
        QVERIFY(QFileInfo(m_folder).isDir());
        QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // What a running program uses stays, with the folders that hold it and
    // the lock file an office suite keeps beside a document; what nobody
    // uses beside it goes, and the count says which is which.
    void whatARunningProgramUsesStays_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("use");
        QTest::addColumn<QString>("used");
        QTest::addColumn<int>("inUse");
        QTest::addColumn<int>("holders");
        QTest::newRow("open file") << QStringList{u"part"_qs} << int(Use::Open) << u"part"_qs << 1 << 0;
        QTest::newRow("mapped file") << QStringList{u"cache.db"_qs} << int(Use::Map) << u"cache.db"_qs << 1 << 0;
        QTest::newRow("working folder") << QStringList{u"build/a.o"_qs} << int(Use::WorkIn) << u"build"_qs << 1 << 0;
        QTest::newRow("locked folder") << QStringList{u"locked/state"_qs} << int(Use::Lock) << u"locked"_qs << 1 << 0;
        QTest::newRow("open file in a child folder")
            << QStringList{u"work/sub/report.docx"_qs} << int(Use::Open) << u"work/sub/report.docx"_qs << 1 << 2;
        QTest::newRow("open document and its lock file") << QStringList{u"report.odt"_qs, u".~lock.report.odt#"_qs}
                                                         << int(Use::Open) << u"report.odt"_qs << 2 << 0;
        QTest::newRow("office lock file beside its document")
            << QStringList{u"report.odt"_qs, u".~lock.report.odt#"_qs} << int(Use::None) << QString() << 2 << 0;
        QTest::newRow("document with an open swap file") << QStringList{u"notes.txt"_qs, u".notes.txt.swp"_qs}
                                                         << int(Use::Open) << u".notes.txt.swp"_qs << 2 << 0;
        QTest::newRow("document locked by a running editor") << QStringList{u"todo.txt"_qs, u"#todo.txt#"_qs}
                                                             << int(Use::EditorLock) << u".#todo.txt"_qs << 3 << 0;
        QTest::newRow("working folder of one thread")
            << QStringList{u"build/a.o"_qs} << int(Use::WorkInThread) << u"build"_qs << 1 << 0;
    }
    void whatARunningProgramUsesStays()
    {
        QFETCH(QStringList, entries);
        QFETCH(int, use);
        QFETCH(QString, used);
        QFETCH(int, inUse);
        QFETCH(int, holders);
        for (const QString &entry : entries)
            writeFile(in(entry));
        for (const QString &unused : {u"unused.tmp"_qs, u"spare/unused.tmp"_qs, u".~lock.gone.odt#"_qs})
            writeFile(in(unused));
        const UsingProgram program(Use(use), QFile::encodeName(in(used)));
        QVERIFY(program.ready());

        const cleanup::Emptying result = cleanup::emptyFolder(QFile::encodeName(m_folder).toStdString());

        QCOMPARE(result.outcome, cleanup::Emptied::Done);
        for (const QString &entry : entries)
            QVERIFY2(exists(in(entry)), qPrintable(entry));
        QCOMPARE(result.tally.removed, 4L);
        QCOMPARE(result.tally.keptFor(cleanup::Kept::InUse), long(inUse));
        QCOMPARE(result.tally.keptFor(cleanup::Kept::Holder), long(holders));
        QCOMPARE(result.tally.keptInAll(), long(inUse + holders));
    }

    void symbolicLinksAreRemovedNeverFollowed()
    {
        QVERIFY(QFile::link(m_outside, in(QStringLiteral("to-folder"))));
        QVERIFY(QFile::link(m_outside + QStringLiteral("/precious"), in(QStringLiteral("to-file"))));
        QVERIFY(QDir().mkpath(in(QStringLiteral("sub"))));
        QVERIFY(QFile::link(m_outside, in(QStringLiteral("sub/nested-link"))));
        empty();
        QVERIFY(!exists(in(QStringLiteral("to-folder"))));
        QVERIFY(!exists(in(QStringLiteral("to-file"))));
        QVERIFY(!exists(in(QStringLiteral("sub"))));
        QVERIFY(QFileInfo::exists(m_outside + QStringLiteral("/precious")));
    }

    void folderThatIsALinkIsLeftAlone()
    {
        const QString link = m_root + QStringLiteral("/linked-temp");
        QVERIFY(QFile::link(m_outside, link));
        cleanup::emptyFolder(QFile::encodeName(link).toStdString());
        QVERIFY(QFileInfo::exists(m_outside + QStringLiteral("/precious")));
    }

    void entriesOfAnotherOwnerStay()
    {
        if (!canChangeOwners())
            QSKIP("needs root to give files to another user");
        writeFile(in(QStringLiteral("theirs.tmp")));
        giveAway(in(QStringLiteral("theirs.tmp")));
        writeFile(in(QStringLiteral("their-dir/inside.tmp")));
        giveAway(in(QStringLiteral("their-dir")));
        writeFile(in(QStringLiteral("mine/theirs.tmp")));
        writeFile(in(QStringLiteral("mine/mine.tmp")));
        giveAway(in(QStringLiteral("mine/theirs.tmp")));
        QVERIFY(QFile::link(m_outside, in(QStringLiteral("their-link"))));
        giveAway(in(QStringLiteral("their-link")));

        empty();

        QVERIFY(exists(in(QStringLiteral("theirs.tmp"))));
        // Their folder is not entered, even though what is inside is ours.
        QVERIFY(exists(in(QStringLiteral("their-dir/inside.tmp"))));
        QVERIFY(exists(in(QStringLiteral("mine/theirs.tmp"))));
        QVERIFY(!exists(in(QStringLiteral("mine/mine.tmp"))));
        QVERIFY(exists(in(QStringLiteral("their-link"))));
    }

    void socketsFifosAndDesktopFoldersStay()
    {
        ListeningSocket socket(in(QStringLiteral("agent.sock")));
        QVERIFY(socket.bound());
        QCOMPARE(::mkfifo(QFile::encodeName(in(QStringLiteral("pipe"))).constData(), 0600), 0);
        writeFile(in(QStringLiteral(".X11-unix/X0")));
        writeFile(in(QStringLiteral(".ICE-unix/1234")));
        writeFile(in(QStringLiteral(".X0-lock")));
        writeFile(in(QStringLiteral("systemd-private-abc-colord.service-x/tmp/f")));
        writeFile(in(QStringLiteral("runtime-tester/TARVEN Inc.Quenby.lock")));
        writeFile(in(QStringLiteral("ssh-agent-dir/other.tmp")));
        ListeningSocket nested(in(QStringLiteral("ssh-agent-dir/agent.1")));
        QVERIFY(nested.bound());
        writeFile(in(QStringLiteral("sub/.X11-unix")));
        writeFile(in(QStringLiteral(".X1-lockless")));
        // The session's credentials, wherever its environment says they are.
        const ScopedVariable tickets("KRB5CCNAME", u"FILE:"_qs + in(QStringLiteral("krb5cc_1000")));
        const ScopedVariable xauthority("XAUTHORITY", in(QStringLiteral("xauth_AbCd")));
        const ScopedVariable iceauthority("ICEAUTHORITY", in(QStringLiteral("session/iceauth")));
        for (const QString &credential : {u"krb5cc_1000"_qs, u"xauth_AbCd"_qs, u"session/iceauth"_qs})
            writeFile(in(credential));

        const cleanup::Tally tally = empty();
        QCOMPARE(tally.keptFor(cleanup::Kept::Special), 3L);
        QCOMPARE(tally.keptFor(cleanup::Kept::Desktop), 8L);
        QCOMPARE(tally.keptFor(cleanup::Kept::Holder), 2L);
        QCOMPARE(tally.removed, 4L);

        QVERIFY(exists(in(QStringLiteral("agent.sock"))));
        QVERIFY(exists(in(QStringLiteral("pipe"))));
        QVERIFY(exists(in(QStringLiteral(".X11-unix/X0"))));
        QVERIFY(exists(in(QStringLiteral(".ICE-unix/1234"))));
        QVERIFY(exists(in(QStringLiteral(".X0-lock"))));
        QVERIFY(exists(in(QStringLiteral("systemd-private-abc-colord.service-x/tmp/f"))));
        // Where a session has no XDG_RUNTIME_DIR, its runtime folder (and our lock) lives here.
        QVERIFY(exists(in(QStringLiteral("runtime-tester/TARVEN Inc.Quenby.lock"))));
        // The folder holding a socket stays with it; the rest of it goes.
        QVERIFY(exists(in(QStringLiteral("ssh-agent-dir/agent.1"))));
        QVERIFY(!exists(in(QStringLiteral("ssh-agent-dir/other.tmp"))));
        // The names are kept only at the top of the folder.
        QVERIFY(!exists(in(QStringLiteral("sub"))));
        QVERIFY(!exists(in(QStringLiteral(".X1-lockless"))));
    }

    void unknownFolderDoesNothingAtAll_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("relative") << QByteArray("temp");
        QTest::newRow("dot") << QByteArray(".");
        QTest::newRow("missing") << QByteArray("/nonexistent/quenby");
    }
    void unknownFolderDoesNothingAtAll()
    {
        QFETCH(QByteArray, folder);
        writeFile(in(QStringLiteral("kept.tmp")));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_folder));
        cleanup::emptyFolder(folder.toStdString());
        QDir::setCurrent(before);
        QVERIFY(exists(in(QStringLiteral("kept.tmp"))));
    }

    void removeFileDeletesOnlyAnOwnRegularFile()
    {
        const ScopedVariable data("XDG_DATA_HOME", m_folder);
        const QString list = in(QStringLiteral("recently-used.xbel"));
        writeFile(list);
        cleanup::removeFile(QFile::encodeName(list).toStdString());
        QVERIFY(!exists(list));

        QVERIFY(QFile::link(m_outside + QStringLiteral("/precious"), list));
        cleanup::removeFile(QFile::encodeName(list).toStdString());
        QVERIFY(exists(list));
        QVERIFY(exists(m_outside + QStringLiteral("/precious")));
        QVERIFY(QFile::remove(list));

        QVERIFY(QDir().mkpath(list));
        cleanup::removeFile(QFile::encodeName(list).toStdString());
        QVERIFY(QFileInfo(list).isDir());

        if (canChangeOwners()) {
            QVERIFY(QDir(list).removeRecursively());
            writeFile(list);
            giveAway(list);
            cleanup::removeFile(QFile::encodeName(list).toStdString());
            QVERIFY(exists(list));
        }
    }

    // The root, the home folder, the runtime folder and every folder above
    // them, compared by what they are: links, dots and doubled slashes do
    // not get a clean-up past the guard.
    void protectedFoldersAreKnownHoweverSpelled_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("isProtected");
        QTest::newRow("root") << QStringLiteral("/") << true;
        for (const char *spelling : {"/.", "//.", "/./", "/..", "//", "/tmp/..", "/usr/../"})
            QTest::newRow(spelling) << QString::fromLatin1(spelling) << true;
        QTest::newRow("home through its link") << QStringLiteral("<link>") << true;
        QTest::newRow("home as spelled") << QStringLiteral("<home>/.") << true;
        QTest::newRow("above home") << QStringLiteral("<home>/..") << true;
        QTest::newRow("runtime through a link") << QStringLiteral("<runtime link>") << true;
        QTest::newRow("a folder inside home") << QStringLiteral("<home>/temp") << false;
    }
    void protectedFoldersAreKnownHoweverSpelled()
    {
        QFETCH(QString, folder);
        QFETCH(bool, isProtected);
        const QString home = m_root + QStringLiteral("/home");
        QVERIFY(QDir().mkpath(home + QStringLiteral("/temp")));
        QVERIFY(QFile::link(home, m_root + QStringLiteral("/homelink")));
        QVERIFY(QFile::link(m_folder, m_root + QStringLiteral("/runlink")));
        const ScopedVariable homeVariable("HOME", m_root + QStringLiteral("/homelink"));
        const ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", m_root + QStringLiteral("/runlink"));
        folder.replace(QStringLiteral("<link>"), m_root + QStringLiteral("/homelink"))
            .replace(QStringLiteral("<home>"), home)
            .replace(QStringLiteral("<runtime link>"), m_folder);
        QCOMPARE(cleanup::isProtectedFolder(QFile::encodeName(folder).toStdString()), isProtected);
    }

    // HOME given through a link and TMPDIR set to the real home: the temp
    // clean-up must find nothing it may empty, and so must the helper itself.
    void theHomeFolderIsNeverEmptiedThroughALink()
    {
        writeFile(in(QStringLiteral(".ssh/id_ed25519")));
        QVERIFY(QFile::link(m_folder, m_root + QStringLiteral("/homelink")));
        const ScopedVariable home("HOME", m_root + QStringLiteral("/homelink"));
        const ScopedVariable temp("TMPDIR", m_folder);
        QCOMPARE(linux_folders::tempFolder(), QString());
        // Into the home folder through a link and out again: the folder above it, not the link's.
        QVERIFY(QFile::link(m_folder, m_outside + QStringLiteral("/intohome")));
        const ScopedVariable through("TMPDIR", m_outside + QStringLiteral("/intohome/.."));
        QCOMPARE(linux_folders::tempFolder(), QString());
        for (const QString &spelling : {m_folder, m_folder + QStringLiteral("/."), m_folder + QStringLiteral("/sub/..")}) {
            QVERIFY(QDir().mkpath(in(QStringLiteral("sub"))));
            QCOMPARE(QProcess::execute(helperPath(), {QStringLiteral("--empty"), spelling}), 1);
            QVERIFY2(exists(in(QStringLiteral(".ssh/id_ed25519"))), qPrintable(spelling));
        }
    }

    // The helper decides on what its argument names, however it is spelled:
    // no link on the way is followed, ".." is the folder above the one
    // reached, and a count is never negative. A command line it does not
    // understand does nothing at all and says so.
    void theHelperJudgesWhatASpellingNames_data()
    {
        QTest::addColumn<QString>("arguments"); // <r> stands for the test's folder, <h> for HOME, <d> for the data folder
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("report");    // after "quenby-clean: "; ':' stands for the last argument
        const QString link = QStringLiteral(": refused: reached through a symbolic link");
        QTest::newRow("link, trailing slash") << "--empty <r>/link/" << 1 << link;
        QTest::newRow("link, slash dot") << "--empty <r>/link/." << 1 << link;
        QTest::newRow("link, doubled slashes") << "--empty <r>//link//" << 1 << link;
        QTest::newRow("link, a folder inside") << "--empty <r>/link/sub" << 1 << link;
        QTest::newRow("link, in and out with ..") << "--empty <r>/link/sub/.." << 1 << link;
        QTest::newRow("link, deeper and out") << "--empty <r>/link/sub/deeper/../.." << 1 << link;
        QTest::newRow("link, out to its own folder") << "--empty <r>/link/sub/../../temp/" << 1 << link;
        QTest::newRow("folder, dots and slashes") << "--empty <r>//./temp/." << 0 << ": 3 removed, 0 kept";
        QTest::newRow("folder, in and out with ..") << "--empty <r>/temp/sub/../" << 0 << ": 3 removed, 0 kept";
        QTest::newRow("kernel file system")
            << "--empty /proc" << 1 << ": refused: a file system of the kernel, which holds no files to clear";
        QTest::newRow("above home") << "--empty <h>/.." << 1
                                    << ": refused: the root, a home or runtime folder, or a folder above one";
        QTest::newRow("missing folder") << "--empty <r>/RecentDocuments" << 0 << ": nothing to clear";
        QTest::newRow("missing list") << "--remove <d>/recently-used.xbel" << 0 << ": nothing to clear";
        QTest::newRow("list through a link") << "--remove <r>/link/recently-used.xbel" << 1 << link;
        QTest::newRow("list, relative") << "--remove recently-used.xbel" << 1 << ": refused: not a full path";
        QTest::newRow("a file but the list")
            << "--remove <r>/temp/sub/a.tmp" << 1 << ": refused: not the recently-used list of your data folder";
        QTest::newRow("nothing to do") << "" << 2 << "nothing to do";
        QTest::newRow("no folder") << "--empty" << 2 << "--empty needs a folder";
        QTest::newRow("stray argument") << "--empty <r>/temp x" << 2 << "unexpected argument x";
        QTest::newRow("unknown option") << "--empty <r>/temp --bogus" << 2 << "unknown option --bogus";
    }
    void theHelperJudgesWhatASpellingNames()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, report);
        writeFile(in(QStringLiteral("sub/a.tmp")));
        QVERIFY(QDir().mkpath(in(QStringLiteral("sub/deeper"))));
        QVERIFY(QFile::link(m_folder, m_root + QStringLiteral("/link")));
        arguments.replace(QStringLiteral("<r>"), m_root)
            .replace(QStringLiteral("<h>"), qEnvironmentVariable("HOME"))
            .replace(QStringLiteral("<d>"), qEnvironmentVariable("XDG_DATA_HOME"));
        const QStringList split = arguments.split(u' ', Qt::SkipEmptyParts);
        QProcess helper;
        helper.start(helperPath(), split);
        QVERIFY(helper.waitForFinished());
        const QString firstLine = QString::fromLocal8Bit(helper.readAllStandardError()).section(u'\n', 0, 0);
        QCOMPARE(firstLine, u"quenby-clean: "_qs + (report.startsWith(u':') ? split.last() + report : report));
        QCOMPARE(helper.exitCode(), status);
        QCOMPARE(exists(in(QStringLiteral("sub/a.tmp"))), !report.contains(u"removed"_qs));
    }

    // A relative or missing TMPDIR is ignored, not read from the working folder.
    void theTempFolderIsAFullPathOfAnExistingFolder()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_folder));
        const QString tmp = QFileInfo(QStringLiteral("/tmp")).canonicalFilePath();
        for (const QString &value : {QStringLiteral("."), QStringLiteral("tmp"), m_root + QStringLiteral("/missing")}) {
            const ScopedVariable temp("TMPDIR", value);
            const QString folder = linux_folders::tempFolder();
            QVERIFY2(folder == tmp || folder.isEmpty(), qPrintable(value + QStringLiteral(" -> ") + folder));
        }
        // A folder whose name is not UTF-8 is no reason to empty another one.
        const QByteArray latin1 = QFile::encodeName(m_root) + "/caf\xe9";
        QVERIFY(::mkdir(latin1.constData(), 0700) == 0 || errno == EEXIST); // Qt cannot name it to remove it
        {
            const ScopedVariable undecodable("TMPDIR", latin1);
            QCOMPARE(linux_folders::tempFolder(), QString());
        }
        {
            const ScopedVariable undecodable("XDG_DATA_HOME", latin1);
            QCOMPARE(linux_folders::recentlyUsedFile(), QString());
        }
        QVERIFY(QFile::link(m_folder, m_root + QStringLiteral("/templink")));
        const ScopedVariable temp("TMPDIR", m_root + QStringLiteral("/templink"));
        const QString folder = linux_folders::tempFolder();
        QDir::setCurrent(before);
        QCOMPARE(folder, QFileInfo(m_folder).canonicalFilePath());
    }

    // Without /proc nobody can tell what is in use: the helper deletes
    // nothing and says so. In a mount namespace of its own, as below.
    void withoutProcNothingIsDeleted()
    {
        writeFile(in(QStringLiteral("a.tmp")));
        const QString script = QStringLiteral("mount --make-rprivate / && mount -t tmpfs none /proc || exit 77; "
                                              "\"$2\" --empty \"$1\"; test $? = 1");
        const int code = inOwnMounts(script, {m_folder, helperPath()});
        if (code == 77)
            QSKIP("mounting is not permitted here");
        QCOMPARE(code, 0);
        QVERIFY(exists(in(QStringLiteral("a.tmp"))));
    }

    // A bind mount shows a folder from elsewhere under the same device
    // number; the helper must not enter it any more than another file system,
    // and a file mounted over is kept like a folder.
    // Runs the helper in a mount namespace of its own, so nothing stays mounted.
    void mountsInsideAreNotEntered()
    {
        writeFile(in(QStringLiteral("a.tmp")));
        writeFile(in(QStringLiteral("bound-file")));
        QVERIFY(QDir().mkpath(in(QStringLiteral("bound"))));
        QVERIFY(QDir().mkpath(in(QStringLiteral("fs"))));
        const QString script = QStringLiteral(
            "mount --make-rprivate / && mount --bind \"$1\" \"$2/bound\" && mount -t tmpfs none \"$2/fs\" "
            "&& mount --bind \"$1/precious\" \"$2/bound-file\" && touch \"$2/fs/x\" || exit 77; "
            "\"$3\" --empty \"$2\" && test -e \"$2/fs/x\" && test -e \"$2/bound-file\"");
        if (inOwnMounts(QStringLiteral("mount --make-rprivate /"), {}) != 0)
            QSKIP("mounting is not permitted here");
        const int code = inOwnMounts(script, {m_outside, m_folder, helperPath()});
        QCOMPARE(code, 0);
        QVERIFY(!exists(in(QStringLiteral("a.tmp"))));
        QVERIFY(exists(m_outside + QStringLiteral("/precious")));
    }

    // In namespaces of its own, so that nothing mounted stays and nothing
    // of the machine is reached: file systems of the kernel and the runtime
    // folder are refused, a file open in a process that /proc does not show
    // stays, and a report nobody reads does not end the helper half done.
    void whatOnlyItsOwnNamespacesShow_data()
    {
        QTest::addColumn<QString>("script"); // $1: the folder, $2: the helper; 77: cannot be set up here
        for (const char *kind : {"mqueue", "hugetlbfs"}) {
            QTest::newRow(kind) << u"mount -t %1 none \"$1\" && touch \"$1/f\" || exit 77; "
                                   "\"$2\" --empty \"$1\"; test $? = 1 && test -e \"$1/f\""_qs.arg(QLatin1String(kind));
        }
        QTest::newRow("runtime folder, its variable unset")
            << u"r=/run/user/$(id -u); mount -t tmpfs none /run && mkdir -p $r && touch $r/f || exit 77; "
               "env -u XDG_RUNTIME_DIR \"$2\" --empty $r; test $? = 1 && test -e $r/f"_qs;
        QTest::newRow("open in a process /proc does not show")
            << u"touch \"$1/held\" \"$1/unused\" && exec 3<\"$1/held\" && unshare -pf --mount-proc true || exit 77; "
               "unshare -pf --mount-proc \"$2\" --empty \"$1\" 3<&-; test -e \"$1/held\" && ! test -e \"$1/unused\""_qs;
        QTest::newRow("report to a pipe nobody reads")
            << u"touch \"$1/f\" && mkfifo \"$1/../pipe\" && exec 5<>\"$1/../pipe\" 6>\"$1/../pipe\" 5<&- || exit 77; "
               "env --default-signal=PIPE \"$2\" --empty \"$1\" 2>&6; test $? = 0 && ! test -e \"$1/f\""_qs;
    }
    void whatOnlyItsOwnNamespacesShow()
    {
        QFETCH(QString, script);
        if (inOwnMounts(QStringLiteral("mount --make-rprivate /"), {}) != 0)
            QSKIP("mounting is not permitted here");
        const int code = inOwnMounts(u"mount --make-rprivate / && "_qs + script, {m_folder, helperPath()});
        if (code == 77)
            QSKIP("cannot be set up here");
        QCOMPARE(code, 0);
    }

    // What a program changes while the walk is under way stays. The walk has
    // begun once the first entry is gone. A file changed between the walk's
    // look at it and its removal goes: a few of them, where all would go if
    // changes were not looked at.
    void whatChangesDuringTheWalkStays()
    {
        constexpr int kFiles = 3000;
        for (int i = 0; i < kFiles; ++i)
            writeFile(in(QString::number(i)));
        const int removals = ::inotify_init1(IN_CLOEXEC);
        QVERIFY(::inotify_add_watch(removals, QFile::encodeName(m_folder).constData(), IN_DELETE) >= 0);
        QProcess helper;
        helper.start(helperPath(), {QStringLiteral("--empty"), m_folder});
        pollfd first {removals, POLLIN, 0};
        QCOMPARE(::poll(&first, 1, 60000), 1);
        int changed = 0;
        for (int i = 0; i < kFiles; ++i)
            changed += ::chmod(QFile::encodeName(in(QString::number(i))).constData(), 0600) == 0;
        QVERIFY(helper.waitForFinished());
        ::close(removals);
        const qsizetype left = QDir(m_folder).entryList(QDir::Files).size();
        QVERIFY2(changed > 0 && left >= changed * 9 / 10, qPrintable(u"%1 changed, %2 left"_qs.arg(changed).arg(left)));
    }
};

QUENBY_TEST_MAIN(FolderCleanerTest)
#include "folder_cleaner_test.moc"
