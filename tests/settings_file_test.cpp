#include "fakes/fake_platform.h"
#include "scratch.h"

#include "platform/linux/linux_desktop.h"
#include "platform/linux/linux_folders.h"
#include "platform/settings_file/ini_document.h"
#include "platform/settings_file/ini_store.h"
#include "platform/settings_file/private_file.h"
#include "window_common/store_messages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>


#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quenby;
using namespace quenby::test;

namespace {

constexpr uid_t kOtherUser = 65534;

const QStringList kKeys = {u"Check1"_qs, u"kidou1"_qs, u"kidou2"_qs, u"byou"_qs, u"Form1Top"_qs};

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// What the program read through Qt's settings class before it had a store of
// its own: lists joined by ", ", a missing value as the default.
QString readThroughQt(const QString &path, const QString &key)
{
    const QVariant value = QSettings(path, QSettings::IniFormat).value(u"set/"_qs + key);
    if (!value.isValid())
        return u"<default>"_qs;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_qs);
    return value.toString();
}

// Texts made of what the format treats specially, mixed with plain ones.
QString awkwardText(QRandomGenerator &random)
{
    static const QStringList pieces = QString::fromUtf8(";|,|=|\"|\\|@| |\t|\n|\r|0|7|f|x|#|[|]|%|終了|　|😀|"
                                                        "/opt/my tool|\x01|\x7f|'|\\x4").split(u'|') << QString(QChar(0));
    QString text;
    const int length = random.bounded(0, 12);
    for (int i = 0; i < length; ++i)
        text += pieces.at(random.bounded(pieces.size()));
    return text;
}

// Lines as people write them by hand: spacing, comments, other sections, and
// values whose quote or backslash is left open, at the end of the file too.
QByteArray handWrittenLines(QRandomGenerator &random)
{
    static const QList<QByteArray> pieces = {"\"", "\\", " ", "\t", "a b", ",", ";", "=", "\\x4", "caf\xc3\xa9", "\r"};
    static const QList<QByteArray> starts = {"[set]", "[other]", "; a note", "kidou1 = ", "Form1Top=", "note="};
    QByteArray text = random.bounded(2) ? "[set]\n" : "";
    for (int line = random.bounded(1, 6); line > 0; --line) {
        text += starts.at(random.bounded(starts.size()));
        for (int piece = random.bounded(4); piece > 0; --piece)
            text += pieces.at(random.bounded(pieces.size()));
        text += random.bounded(4) ? "\n" : "";
    }
    return text;
}

} // namespace

// The settings file itself: it reads every file the program ever wrote as it
// always did, and a save replaces it whole or leaves it as it was.
class SettingsFileTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_fakes;

    QString iniPath() const { return m_dir->filePath(u"TARVEN Inc.Quenby.ini"_qs); }
    IniStore newStore() { return newStore(iniPath()); }
    IniStore newStore(const QString &path)
    {
        return IniStore(path, [this](const StoreProblem &problem) { tellStoreProblem(m_fakes->desktop, problem); });
    }
    QString readThroughStore(const QString &key) { return newStore().GetSetting(key, u"<default>"_qs); }
    const QStringList &messages() const { return m_fakes->desktop.messages; }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->path().startsWith(scratchFolder()));
        m_fakes = std::make_unique<FakePlatform>();
    }

    // A reader of its own must not change what a stored or hand-edited file means.
    void readsEveryFileAsBefore_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("plain") << QByteArray("[set]\nCheck1=1\nkidou1=/usr/bin/true\nbyou=15\n");
        QTest::newRow("comments and stray lines")
            << QByteArray("; made by hand\n[set]\ngarbage line\n# hash\nkidou1=/opt/a ; trailing note\nCheck1 = 1 \n");
        QTest::newRow("semicolon unquoted") << QByteArray("[set]\nkidou1=cd /srv/app; ./backup.sh --all\n");
        QTest::newRow("semicolon quoted") << QByteArray("[set]\nkidou1=\"cd /srv/app; ./backup.sh --all\"\n");
        QTest::newRow("bare commas") << QByteArray("[set]\nkidou1=a,b , c,\nkidou2=\"x, y\", z\n");
        QTest::newRow("escapes") << QByteArray("[set]\nkidou1=\\x41\\101\\0\\q\\\"\\\\ \\t end\nkidou2=\\x4g\n");
        QTest::newRow("quotes inside") << QByteArray("[set]\nkidou1=--say \"hi there\" now\nkidou2=\"a\"b\"c\n");
        QTest::newRow("continued line") << QByteArray("[set]\nkidou1=abc\\\ndef\nkidou2=\"one\ntwo\"\nbyou=3\n");
        QTest::newRow("repeated key and section")
            << QByteArray("[set]\nkidou1=first\n[other]\nkidou1=elsewhere\n[set]\nkidou1=second\n");
        QTest::newRow("escaped names") << QByteArray("[%73et]\nkidou%31=x\n[General]\nset\\kidou2=y\n");
        QTest::newRow("byte order mark, CR LF") << QByteArray("\xef\xbb\xbf[set]\r\nCheck1=1\r\nkidou1=a b\r\n");
        QTest::newRow("marks") << QByteArray("[set]\nkidou1=@@x\nkidou2=@Invalid()\nbyou=@String(5)\nCheck1=@ByteArray(1)\n");
        QTest::newRow("other case") << QByteArray("[SET]\ncheck1=1\nKIDOU1=x\n");
        QTest::newRow("header without bracket") << QByteArray("[set\nkidou1=x\n");
        QTest::newRow("blanks around") << QByteArray("[set]\n   kidou1   =   a b   \n\tbyou=\t7\t\n");
    }
    void readsEveryFileAsBefore()
    {
        QFETCH(QByteArray, file);
        writeBytes(iniPath(), file);
        for (const QString &key : kKeys)
            QCOMPARE(readThroughStore(key), readThroughQt(iniPath(), key));
    }

    // A quote or a backslash left open by hand swallows the keys after it, as
    // every reader of the format reads it; the user used to hear nothing, and
    // the next save wrote the swallowed keys anew over what was meant.
    void aValueLeftOpenByHandIsToldOnce_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("told"); // the key named, or empty
        QTest::newRow("open quote") << QByteArray("[set]\nkidou3=\"/opt/x y\nbyou=3\nCheck6=1\n") << "kidou3";
        QTest::newRow("trailing backslash") << QByteArray("[set]\nkidou3=/opt/x\\\nbyou=3\n") << "kidou3";
        QTest::newRow("another section") << QByteArray("[notes]\na=\"x\n[set]\nbyou=3\n") << "notes/a";
        QTest::newRow("closed") << QByteArray("[set]\nkidou3=\"/opt/x y\"\nbyou=3\n") << "";
    }
    void aValueLeftOpenByHandIsToldOnce()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, told);
        writeBytes(iniPath(), file);
        IniStore store = newStore();
        for (const QString &key : kKeys)
            store.GetSetting(key, QString());
        QCOMPARE(messages().size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty())
            QVERIFY2(messages().first().startsWith(u"設定ファイルの "_qs + told + u" の値は閉じていない"_qs),
                     qPrintable(messages().first()));
    }

    // The examples the README gives for writing values by hand.
    void handWrittenValuesReadAsTheReadmeSays()
    {
        writeBytes(iniPath(), "[set]\n"
                              "kidou1=\"cd /srv/app; ./backup.sh --all \\\"$HOME\\\"\"\n"
                              "kidou2=C:\\\\TOOLS\\\\CLEAN.BAT\n"
                              "kidou3=cd /srv/app; ./backup.sh\n"
                              "kidou4=a,b\n"
                              "kidou5=\\x41\\101\\q.\\tz\n");
        QCOMPARE(readThroughStore(u"kidou1"_qs), u"cd /srv/app; ./backup.sh --all \"$HOME\""_qs);
        QCOMPARE(readThroughStore(u"kidou2"_qs), u"C:\\TOOLS\\CLEAN.BAT"_qs);
        QCOMPARE(readThroughStore(u"kidou3"_qs), u"cd /srv/app"_qs);
        QCOMPARE(readThroughStore(u"kidou4"_qs), u"a, b"_qs);
        QCOMPARE(readThroughStore(u"kidou5"_qs), u"AA.\tz"_qs);
    }

    // Values of every kind, both ways: what the old program wrote reads the
    // same, and what the store writes, Qt's reader (and a downgrade) reads the
    // same. Saved onto hand-written lines, a save changes the saved keys and
    // nothing else.
    void valuesCrossBothWays()
    {
        QRandomGenerator random(8);
        for (int round = 0; round < 400; ++round) {
            const QString value = awkwardText(random);
            // A fresh name each time: Qt's reader caches files by name and time stamp.
            const QString written = m_dir->filePath(u"qt-%1.ini"_qs.arg(round));
            QSettings(written, QSettings::IniFormat).setValue(u"set/kidou1"_qs, value);
            QCOMPARE(newStore(written).GetSetting(u"kidou1"_qs, QString()), value);

            const QString ours = m_dir->filePath(u"ours-%1.ini"_qs.arg(round));
            const QByteArray hand = round % 2 ? handWrittenLines(random) : QByteArray();
            writeBytes(ours, hand);
            auto meant = IniDocument(hand).values();
            meant.insert(u"set/kidou2"_qs, IniDocument::Value{value});
            meant.insert(u"set/Form1Top"_qs, IniDocument::Value{QString::number(round)});
            {
                IniStore store = newStore(ours);
                StoreBatch batch(store);
                store.SaveSetting(u"kidou2"_qs, value);
                store.SaveSetting(u"Form1Top"_qs, QString::number(round));
            }
            QVERIFY2(IniDocument(contentsOf(ours)).values() == meant, hand + "\n---\n" + contentsOf(ours));
            if (hand.isEmpty())
                QCOMPARE(readThroughQt(ours, u"kidou2"_qs), value);
        }
        // A line left open at the end is closed keeping its value: no save is refused.
        QVERIFY(messages().filter(u"保存できませんでした"_qs).isEmpty());
    }

    // A huge file (here a sparse one of 2 GiB) is not read into memory: the
    // defaults are used, the user hears why, and the file is never replaced.
    void aFileOverTheSizeLimitIsNeitherReadNorReplaced()
    {
        writeBytes(iniPath(), "[set]\nkidou1=/bin/true\n");
        QVERIFY(QFile::resize(iniPath(), qint64(2) << 30));
        QElapsedTimer clock;
        clock.start();
        IniStore store = newStore();
        QCOMPARE(store.GetSetting(u"kidou1"_qs, u"none"_qs), u"none"_qs);
        store.SaveSetting(u"Form1Top"_qs, u"1500"_qs);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(messages().size(), 2); // not read (naming its size and the limit), not written
        QVERIFY(messages().first().contains(u"2147483648 バイトが上限の 1048576 バイト"_qs));
        QCOMPARE(QFileInfo(iniPath()).size(), qint64(2) << 30);
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(23), QByteArray("[set]\nkidou1=/bin/true\n"));
    }

    // A file at the limit is read; a save that would take it past the limit
    // names the size the new text would have, and the file stays as it is.
    void aSaveThatWouldPassTheLimitSaysSoAndKeepsTheFile()
    {
        QByteArray text = "[set]\nkidou1=/bin/true\n";
        text += "; " + QByteArray(private_file::kMaxSize - text.size() - 3, 'x') + '\n';
        writeBytes(iniPath(), text);
        IniStore store = newStore();
        QCOMPARE(store.GetSetting(u"kidou1"_qs, u"none"_qs), u"/bin/true"_qs);
        store.SaveSetting(u"Form1Top"_qs, u"1500"_qs);
        QCOMPARE(contentsOf(iniPath()), text);
        QCOMPARE(messages().size(), 1);
        const QString grown = u"設定ファイルが %1 バイトになり、上限の %2 バイト"_qs.arg(private_file::kMaxSize + 14)
                                  .arg(private_file::kMaxSize);
        QVERIFY2(messages().first().contains(grown), qPrintable(messages().first()));
    }

    // Lines added to a file end as its own lines do: CR LF stays CR LF
    // throughout, and a new file gets plain line feeds.
    void addedLinesEndLikeTheFilesOwn_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("CR LF, into its section")
            << QByteArray("[set]\r\nCheck1=1\r\n") << QByteArray("[set]\r\nCheck1=1\r\nkidou1=x\r\n");
        QTest::newRow("CR LF, a new section")
            << QByteArray("[other]\r\na=1\r\n") << QByteArray("[other]\r\na=1\r\n\r\n[set]\r\nkidou1=x\r\n");
        QTest::newRow("CR LF, no break at the end")
            << QByteArray("; note\r\n[set]\r\nCheck1=1") << QByteArray("; note\r\n[set]\r\nCheck1=1\r\nkidou1=x\r\n");
        QTest::newRow("CR LF, a value left open at the end")
            << QByteArray("[set]\r\nkidou2=a \\") << QByteArray("[set]\r\nkidou2=\"a \"\r\nkidou1=x\r\n");
        QTest::newRow("LF") << QByteArray("[set]\nCheck1=1\n") << QByteArray("[set]\nCheck1=1\nkidou1=x\n");
        QTest::newRow("new file") << QByteArray() << QByteArray("[set]\nkidou1=x\n");
    }
    void addedLinesEndLikeTheFilesOwn()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        IniDocument document(before);
        QVERIFY(document.setValue(u"set/kidou1"_qs, u"x"_qs));
        QCOMPARE(document.text(), after);
    }

    // A disk that takes only part of the file (full, a quota, a size limit):
    // the old file stays whole, the user is told, and the limit's signal
    // does not end the program.
    void aShortWriteLeavesTheOldFileAndSaysSo()
    {
        writeBytes(iniPath(), "[set]\nkidou1=tar czf /backup.tgz --exclude=/home/me/secret /home\n");
        const QByteArray before = contentsOf(iniPath());
        rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 8132;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        IniStore store = newStore();
        store.SaveSetting(u"kidou2"_qs, QString(100'000, u'x'));
        ::setrlimit(RLIMIT_FSIZE, &saved);

        QCOMPARE(contentsOf(iniPath()), before);
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().first().contains(u"設定を保存できませんでした"_qs));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        // What is read afterwards is what the file holds.
        QCOMPARE(store.GetSetting(u"kidou2"_qs, u"none"_qs), u"none"_qs);
    }

    // Killed in the middle of an apply, the file holds either every value of
    // it or none: the batch reaches the disk in one replacement.
    void aBatchIsOneReplacement()
    {
        writeBytes(iniPath(), "[set]\nCheck1=0\nkidou1=old\n");
        const QByteArray before = contentsOf(iniPath());
        IniStore store = newStore();
        {
            StoreBatch batch(store);
            store.SaveSetting(u"Check1"_qs, u"1"_qs);
            store.SaveSetting(u"kidou1"_qs, u"/opt/new"_qs);
            store.SaveSetting(u"byou"_qs, u"9"_qs);
            QCOMPARE(contentsOf(iniPath()), before);
            QCOMPARE(store.GetSetting(u"kidou1"_qs, QString()), u"/opt/new"_qs);
        }
        QCOMPARE(readThroughQt(iniPath(), u"Check1"_qs), u"1"_qs);
        QCOMPARE(readThroughQt(iniPath(), u"kidou1"_qs), u"/opt/new"_qs);
        QCOMPARE(readThroughQt(iniPath(), u"byou"_qs), u"9"_qs);
    }

    // Comments, lines without '=', other sections and bytes that are not
    // UTF-8 are not the program's to drop, and a save that works says nothing.
    void whatTheProgramDoesNotWriteIsKept()
    {
        const QByteArray kept[] = {"; my notes\n", "not a setting\n", "[other]\nname=\"a, b\" ; why\n",
                                   "kidou3=caf\xe9\n"};
        writeBytes(iniPath(), QByteArray("[set]\nkidou1 = /bin/a   ; why\n") + kept[3] + kept[0] + kept[1] + kept[2]);
        IniStore store = newStore();
        store.SaveSetting(u"kidou1"_qs, u"/bin/b"_qs);
        store.SaveSetting(u"byou"_qs, u"4"_qs);
        const QByteArray after = contentsOf(iniPath());
        for (const QByteArray &line : kept)
            QVERIFY2(after.contains(line), after.constData());
        QVERIFY2(after.contains("kidou1 = /bin/b   ; why\n"), after.constData()); // its spacing too
        QVERIFY(messages().isEmpty());
        QCOMPARE(readThroughQt(iniPath(), u"byou"_qs), u"4"_qs);
        QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(u"other/name"_qs).toString(), u"a, b"_qs);
    }

    // Replacement marks would run as a different command: the value is not
    // used, the user is told once, and the bytes stay until a value replaces them.
    void aValueThatIsNotUtf8IsNotUsedAndSaidSo()
    {
        writeBytes(iniPath(), "[set]\nkidou1=/opt/caf\xe9/run\n");
        IniStore store = newStore();
        QCOMPARE(store.GetSetting(u"kidou1"_qs, QString()), QString());
        QCOMPARE(store.GetSetting(u"kidou1"_qs, QString()), QString());
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().first().contains(u"kidou1"_qs));
        QVERIFY(store.holdsUnreadable(u"kidou1"_qs) && !store.holdsUnreadable(u"kidou2"_qs));
        store.SaveSetting(u"Check1"_qs, u"1"_qs);
        QVERIFY(contentsOf(iniPath()).contains("kidou1=/opt/caf\xe9/run\n"));
    }

    // A FIFO or a device would block or be written through; a file or link of
    // another user is not ours to change. None is opened, and saving says so.
    void onlyOurOwnRegularFileIsOpened_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << u"fifo"_qs;
        QTest::newRow("folder") << u"folder"_qs;
        QTest::newRow("link to a device") << u"device"_qs;
        QTest::newRow("another user's file") << u"theirs"_qs;
        QTest::newRow("link to another user's file") << u"link to theirs"_qs;
    }
    void onlyOurOwnRegularFileIsOpened()
    {
        QFETCH(QString, kind);
        const QString theirs = m_dir->filePath(u"theirs.ini"_qs);
        const QByteArray theirText = "[set]\nkidou1=theirs\n";
        if (kind.contains(u"theirs"_qs)) {
            if (::geteuid() != 0)
                QSKIP("needs root to give a file to another user");
            writeBytes(theirs, theirText);
            QCOMPARE(::chown(QFile::encodeName(theirs).constData(), kOtherUser, kOtherUser), 0);
        }
        const bool made = kind == u"fifo"_qs ? ::mkfifo(QFile::encodeName(iniPath()).constData(), 0600) == 0
                          : kind == u"folder"_qs ? QDir().mkpath(iniPath())
                          : kind == u"device"_qs ? QFile::link(u"/dev/null"_qs, iniPath())
                          : kind == u"theirs"_qs ? QFile::rename(theirs, iniPath())
                                                 : QFile::link(theirs, iniPath());
        QVERIFY(made);
        QElapsedTimer clock;
        clock.start();
        IniStore store = newStore();
        QCOMPARE(store.GetSetting(u"kidou1"_qs, u"none"_qs), u"none"_qs);
        QCoreApplication::processEvents();
        store.SaveSetting(u"kidou1"_qs, u"mine"_qs);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(messages().size(), 2); // not read, not written
        QVERIFY(messages().last().contains(u"設定を保存できませんでした"_qs));
        if (kind.contains(u"theirs"_qs)) {
            const QString file = kind == u"theirs"_qs ? iniPath() : theirs;
            QCOMPARE(contentsOf(file), theirText);
            QCOMPARE(QFileInfo(file).ownerId(), kOtherUser);
        }
    }

    // The lock file of Qt's settings class, left behind by an older copy,
    // means nothing to the store: a save does not wait for it.
    void aLeftoverLockFileDoesNotSlowASave()
    {
        writeBytes(iniPath() + u".lock"_qs, "12345\nquenby\nhost\n");
        QElapsedTimer clock;
        clock.start();
        newStore().SaveSetting(u"byou"_qs, u"1"_qs);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(readThroughQt(iniPath(), u"byou"_qs), u"1"_qs);
    }

    // Whatever the umask, a folder made for the settings is its owner's alone.
    void newFoldersArePrivateWhateverTheUmask()
    {
        const QString nested = m_dir->filePath(u"a/b/TARVEN Inc.Quenby.ini"_qs);
        const mode_t saved = ::umask(0);
        newStore(nested).SaveSetting(u"byou"_qs, u"0"_qs);
        ::umask(saved);
        for (const QString &folder : {m_dir->filePath(u"a"_qs), m_dir->filePath(u"a/b"_qs)}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0700));
        }
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(nested).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
    }

    // A relative XDG variable is ignored, as the XDG rules say, rather than
    // giving "/TARVEN Inc.Quenby.ini" and the lock beside it at "/".
    void aRelativeConfigFolderIsIgnored()
    {
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CONFIG_HOME", "relative/config");
        qunsetenv("XDG_RUNTIME_DIR");
        const QString path = linux_folders::settingsFile();
        const QString lock = LinuxDesktop::instanceLockPath();
        qputenv("XDG_CONFIG_HOME", config);
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(path, qEnvironmentVariable("HOME") + u"/.config/TARVEN Inc.Quenby.ini"_qs);
        QCOMPARE(lock, qEnvironmentVariable("HOME") + u"/.config/TARVEN Inc.Quenby.lock"_qs);
    }
};

QUENBY_TEST_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
