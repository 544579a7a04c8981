#include "scratch.h"

#include "main_window/command_line.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

using quenby::replyToCommandLine;

namespace {

const QString kVersionLine = QStringLiteral("quenby %1.%2.%3\n")
                                 .arg(QUENBY_VERSION_MAJOR)
                                 .arg(QUENBY_VERSION_MINOR)
                                 .arg(QUENBY_VERSION_PATCH);

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class CommandLineTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString iniPath() const { return m_dir->filePath(u"config/TARVEN Inc.Quenby.ini"_qs); }
    QString lockPath() const { return m_dir->filePath(u"runtime/TARVEN Inc.Quenby.lock"_qs); }

    // The built program with no display at all and scratch folders: a reply
    // that came only after the application object would fail to connect.
    Run runProgram(const QStringList &arguments, const QString &lang)
    {
        QProcessEnvironment env;
        env.insert(u"PATH"_qs, u"/usr/bin:/bin"_qs);
        env.insert(u"LANG"_qs, lang);
        env.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
        env.insert(u"HOME"_qs, m_dir->filePath(u"home"_qs));
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir->filePath(u"config"_qs));
        env.insert(u"XDG_DATA_HOME"_qs, m_dir->filePath(u"data"_qs));
        env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir->filePath(u"runtime"_qs));
        env.insert(u"TMPDIR"_qs, m_dir->filePath(u"tmp"_qs));
        env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_qs, u"unix:path="_qs + m_dir->filePath(u"no-bus"_qs));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("QUENBY_BINARY"), arguments);
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>(quenby::test::scratchFolder() + u"/cl-XXXXXX"_qs);
        QVERIFY(m_dir->isValid());
        for (const char *sub : {"home", "config", "data", "tmp"})
            QVERIFY(QDir(m_dir->path()).mkpath(QString::fromLatin1(sub)));
        QVERIFY(QDir(m_dir->path()).mkdir(u"runtime"_qs));
    }

    // Catches: an option answered wrongly, Qt's own start-up options refused
    // (a start with -platform xcb or a restored session would stop working),
    // a stray argument silently ignored, a plain start that no longer starts.
    void reply_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status"); // -1: start as usual
        QTest::addColumn<QString>("out");

        QTest::newRow("no arguments") << QStringList{} << -1 << QString();
        QTest::newRow("--version") << QStringList{u"--version"_qs} << 0 << kVersionLine;
        QTest::newRow("-v") << QStringList{u"-v"_qs} << 0 << kVersionLine;
        QTest::newRow("--help") << QStringList{u"--help"_qs} << 0 << u"Usage: quenby"_qs;
        QTest::newRow("-h") << QStringList{u"-h"_qs} << 0 << u"Usage: quenby"_qs;
        QTest::newRow("Qt platform option") << QStringList{u"-platform"_qs, u"xcb"_qs} << -1 << QString();
        QTest::newRow("restored session") << QStringList{u"-session"_qs, u"1234_5678"_qs} << -1 << QString();
        QTest::newRow("unknown long") << QStringList{u"--frobnicate"_qs} << 2 << QString();
        QTest::newRow("unknown short") << QStringList{u"-x"_qs} << 2 << QString();
        QTest::newRow("positional") << QStringList{u"now"_qs} << 2 << QString();
        QTest::newRow("help with unknown") << QStringList{u"--help"_qs, u"--nope"_qs} << 2 << QString();
        QTest::newRow("value missing") << QStringList{u"-platform"_qs} << 2 << QString();
        QTest::newRow("a run") << QStringList{u"--run-only"_qs} << -1 << QString();
        QTest::newRow("one run twice") << QStringList{u"--restart"_qs, u"--restart"_qs} << -1 << QString();
        QTest::newRow("two runs") << QStringList{u"--shutdown"_qs, u"--suspend"_qs} << 2 << QString();
    }

    void reply()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        const quenby::CommandLineReply reply = replyToCommandLine(QStringList{u"quenby"_qs} + arguments, false);
        QCOMPARE(reply.exitStatus.value_or(-1), status);
        QVERIFY2(reply.out.startsWith(out), qPrintable(reply.out));
        if (status == 2) {
            QVERIFY(reply.out.isEmpty());
            QCOMPARE(reply.err.count(QLatin1Char('\n')), 1);
            QVERIFY2(reply.err.startsWith(u"quenby: "_qs), qPrintable(reply.err));
        } else {
            QVERIFY(reply.err.isEmpty());
        }
    }

    // Catches: help or errors left in English for a Japanese user.
    void japaneseTexts()
    {
        const auto help = replyToCommandLine({u"quenby"_qs, u"--help"_qs}, true);
        QVERIFY2(help.out.startsWith(u"使い方: quenby"_qs), qPrintable(help.out));
        const auto wrong = replyToCommandLine({u"quenby"_qs, u"--nope"_qs}, true);
        QVERIFY2(wrong.err.contains(u"不明なオプション"_qs) && wrong.err.contains(u"nope"_qs), qPrintable(wrong.err));
    }

    // Catches: the locale variables read in the wrong order (LC_ALL must win
    // over LANG, LC_MESSAGES over LANG).
    void languageFromLocale()
    {
        const QByteArray saved[] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
        qputenv("LC_ALL", "");
        qputenv("LC_MESSAGES", "");
        qputenv("LANG", "ja_JP.UTF-8");
        const bool fromLang = quenby::messagesInJapanese();
        qputenv("LC_MESSAGES", "C");
        const bool messagesWin = quenby::messagesInJapanese();
        qputenv("LC_ALL", "ja_JP.UTF-8");
        const bool allWins = quenby::messagesInJapanese();
        qputenv("LC_ALL", saved[0]);
        qputenv("LC_MESSAGES", saved[1]);
        qputenv("LANG", saved[2]);
        QVERIFY(fromLang);
        QVERIFY(!messagesWin);
        QVERIFY(allWins);
    }

    // Catches: --help/--version opening a window (no display here: it would
    // fail), reading or writing the settings, taking the lock or being turned
    // away by another copy's lock, and a wrong exit status.
    void programAnswersWithoutWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{u"--version"_qs} << u"C.UTF-8"_qs << 0 << kVersionLine << QString();
        QTest::newRow("help ja") << QStringList{u"--help"_qs} << u"ja_JP.UTF-8"_qs << 0 << u"使い方: quenby"_qs << QString();
        QTest::newRow("help en") << QStringList{u"-h"_qs} << u"C.UTF-8"_qs << 0 << u"Usage: quenby"_qs << QString();
        QTest::newRow("unknown") << QStringList{u"--bogus"_qs} << u"C.UTF-8"_qs << 2 << QString()
                                 << u"quenby: unknown option: bogus"_qs;
    }

    void programAnswersWithoutWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, lang);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QByteArray settings = "[set]\nCheck1=1\nkidou1=true\n";
        {
            QFile ini(iniPath());
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write(settings);
        }
        const QDateTime written = QFileInfo(iniPath()).lastModified();

        const Run run = runProgram(arguments, lang);

        QCOMPARE(run.status, status);
        QVERIFY2(run.out.startsWith(out), qPrintable(run.out));
        QVERIFY2(run.err.startsWith(err), qPrintable(run.err));
        if (status == 2)
            QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(!QFileInfo::exists(lockPath()));
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), settings);
        QCOMPARE(QFileInfo(iniPath()).lastModified(), written);
        QCOMPARE(QDir(m_dir->filePath(u"config"_qs)).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
};

QUENBY_TEST_MAIN(CommandLineTest)
#include "command_line_test.moc"
