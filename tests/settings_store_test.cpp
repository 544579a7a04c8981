#include "fakes/fake_platform.h"
#include "scratch.h"

#include "platform/linux/linux_folders.h"
#include "platform/settings_file/ini_store.h"
#include "settings/number_text.h"
#include "settings/run_config.h"
#include "window_common/store_messages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

using namespace quenby;
using namespace quenby::test;

// The real INI store in a scratch configuration folder.
class SettingsStoreTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_fakes; // only its desktop: beeps and messages

    QString iniPath() const { return m_dir->filePath(u"TARVEN Inc.Quenby.ini"_qs); }
    IniStore newStore() { return newStore(iniPath()); }
    IniStore newStore(const QString &path)
    {
        return IniStore(path, [this](const StoreProblem &problem) { tellStoreProblem(m_fakes->desktop, problem); });
    }
    void writeFile(const QByteArray &text)
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(m_dir->path().startsWith(scratchFolder()));
        m_fakes = std::make_unique<FakePlatform>();
        RunConfig = {};
    }

    void theFileLivesInTheUsersConfigurationFolder()
    {
        QCOMPARE(linux_folders::settingsFile(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + u"/TARVEN Inc.Quenby.ini"_qs);
    }

    void valuesRoundTripExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("one blank") << u" "_qs;
        QTest::newRow("leading and trailing blanks") << u"  /opt/tool run  "_qs;
        QTest::newRow("commas") << u"/bin/a,b, c ,"_qs;
        QTest::newRow("quotes") << u"\"/opt/my tool\" --say \"hi\""_qs;
        QTest::newRow("backslashes") << u"C:\\TOOLS\\CLEAN.BAT \\\\n"_qs;
        QTest::newRow("equals, semicolon, hash") << u"a=b;c #d ;e"_qs;
        QTest::newRow("at sign first") << u"@Variant(bogus)"_qs;
        QTest::newRow("at sign alone") << u"@"_qs;
        QTest::newRow("japanese") << u"/home/利用者/終了前の処理.sh"_qs;
        QTest::newRow("ideographic space and numero") << u"№1　実行"_qs;
        QTest::newRow("line break and tab") << u"a\tb\nc"_qs;
        QTest::newRow("1000 characters") << QString(1000, u'x').replace(500, 3, u"/ ,"_qs);
        QTest::newRow("negative position") << u"-150"_qs;
    }
    void valuesRoundTripExactly()
    {
        QFETCH(QString, value);
        newStore().SaveSetting(u"kidou1"_qs, value);
        // Read back through a store that has never seen the value.
        QCOMPARE(newStore().GetSetting(u"kidou1"_qs, u"default"_qs), value);
    }

    void missingKeyReadsAsItsDefault()
    {
        IniStore store = newStore();
        QCOMPARE(store.GetSetting(u"byou"_qs, u"0"_qs), u"0"_qs);
        QVERIFY(!QFile::exists(iniPath())); // reading never creates the file
    }

    void keysLiveInSectionSetSpelledAsGiven()
    {
        IniStore store = newStore();
        store.SaveSetting(u"Form1Top"_qs, u"1440"_qs);
        store.SaveSetting(u"kidou2"_qs, u"/usr/bin/true"_qs);
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY2(text.startsWith("[set]"), text.constData());
        QVERIFY(text.contains("Form1Top=1440"));
        QVERIFY(text.contains("kidou2=/usr/bin/true"));
    }

    void everyWriteReachesTheFileBeforeReturning()
    {
        IniStore store = newStore();
        store.SaveSetting(u"Check3"_qs, u"1"_qs);
        // A second reader (another program, or the next start) sees it at once.
        QSettings reader(iniPath(), QSettings::IniFormat);
        QCOMPARE(reader.value(u"set/Check3"_qs).toString(), u"1"_qs);
    }

    void fileIsReadableByItsOwnerOnly()
    {
        writeFile("[set]\nbyou=5\n");
        QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        // The copy of a save killed before its rename goes once a minute old;
        // a fresh one may belong to a save under way. Files of the user's
        // that merely look alike stay, however old.
        const auto leftover = [this](const QString &name, int age) {
            QFile file(m_dir->filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
        };
        const QStringList kept = {u".TARVEN Inc.Quenby.ini.~quenby-saving~d4E5f6"_qs,
                                  u".TARVEN Inc.Quenby.ini.backup"_qs, u".TARVEN Inc.Quenby.ini.a1B2c3"_qs,
                                  u".TARVEN Inc.Quenby.ini.~quenby-saving~a1.b2c"_qs};
        leftover(u".TARVEN Inc.Quenby.ini.~quenby-saving~a1B2c3"_qs, 120);
        leftover(kept[0], 0);
        for (const QString &name : kept.mid(1))
            leftover(name, 3600);
        IniStore store = newStore();
        store.SaveSetting(u"byou"_qs, u"6"_qs);
        store.SaveSetting(u"Check1"_qs, u"1"_qs);
        const QFileDevice::Permissions userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(QFileInfo(iniPath()).permissions() & ~userBits, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // The atomic rewrite leaves no temporary file behind.
        QStringList expected = kept + QStringList{u"TARVEN Inc.Quenby.ini"_qs};
        expected.sort();
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    void newFileIsCreatedPrivate()
    {
        const QString nested = m_dir->filePath(u"fresh/config/TARVEN Inc.Quenby.ini"_qs);
        newStore(nested).SaveSetting(u"Form2Top"_qs, u"0"_qs);
        QCOMPARE(QFileInfo(nested).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    }

    void aLinkedSettingsFileStaysALink()
    {
        // Settings kept elsewhere and linked in: writes go to the file behind the link.
        const QString real = m_dir->filePath(u"kept/quenby.ini"_qs);
        QDir().mkpath(QFileInfo(real).absolutePath());
        QVERIFY(QFile::link(real, iniPath()));
        newStore().SaveSetting(u"byou"_qs, u"30"_qs);
        QVERIFY(QFileInfo(iniPath()).isSymLink());
        QCOMPARE(newStore(real).GetSetting(u"byou"_qs, u"0"_qs), u"30"_qs);
    }

    void aStoreThatCannotBeWrittenSaysSoOnceAndGoesOn()
    {
        // A plain file where the folder should be: no user, root included, can write there.
        writeFile("not a folder");
        IniStore store = newStore(iniPath() + u"/TARVEN Inc.Quenby.ini"_qs);
        for (int n = 1; n <= 5; ++n)
            store.SaveSetting(checkKey(n), u"1"_qs);
        QCOMPARE(m_fakes->desktop.beeps, 1);
        QCOMPARE(m_fakes->desktop.messages.size(), 1);
        QVERIFY(m_fakes->desktop.messages.first().contains(u"設定を保存できませんでした"_qs));
        QCOMPARE(store.GetSetting(u"Check1"_qs, u"0"_qs), u"0"_qs);

        // The next action that fails (an apply after the window opened) says so again.
        QCoreApplication::processEvents();
        store.SaveSetting(u"byou"_qs, u"5"_qs);
        QCOMPARE(m_fakes->desktop.messages.size(), 2);
    }

    void handEditedValuesReadAsDefaults()
    {
        writeFile("[set]\nCheck1=abc\nCheck2=2\nCheck3= 1 \nCheck4=1.5\nCheck5=0x1\n"
                  "kidou1=/opt/x\nbyou=99999999999\nCheck6=-0\nCheck7=2147483647\n");
        IniStore store = newStore();
        loadRunConfig(store);
        QCOMPARE(RunConfig.check[1], 0);
        QCOMPARE(RunConfig.check[2], 2);
        QCOMPARE(RunConfig.check[3], 1);
        QCOMPARE(RunConfig.check[4], 0);
        QCOMPARE(RunConfig.check[5], 0);
        QCOMPARE(RunConfig.check[6], 0);
        QCOMPARE(RunConfig.check[7], 2147483647);
        QCOMPARE(RunConfig.kidou[1], u"/opt/x"_qs);
        QCOMPARE(RunConfig.byou, 0);
    }

    void wholeNumbersConvertAndNothingElse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << u"15"_qs << true << 15;
        QTest::newRow("blanks around") << u" 15 "_qs << true << 15;
        QTest::newRow("signed") << u"-32768"_qs << true << -32768;
        QTest::newRow("plus") << u"+7"_qs << true << 7;
        QTest::newRow("lowest") << u"-2147483648"_qs << true << int(-2147483648LL);
        QTest::newRow("highest") << u"2147483647"_qs << true << 2147483647;
        QTest::newRow("too high") << u"2147483648"_qs << false << 0;
        QTest::newRow("far too high") << u"99999999999"_qs << false << 0;
        QTest::newRow("fraction") << u"1.5"_qs << false << 0;
        QTest::newRow("letters") << u"abc"_qs << false << 0;
        QTest::newRow("hex") << u"&H10"_qs << false << 0;
        QTest::newRow("exponent") << u"1e3"_qs << false << 0;
        QTest::newRow("full-width digits") << u"１５"_qs << false << 0;
        QTest::newRow("sign alone") << u"-"_qs << false << 0;
        QTest::newRow("empty") << QString() << false << 0;
    }
    void wholeNumbersConvertAndNothingElse()
    {
        QFETCH(QString, text);
        QFETCH(bool, converts);
        QFETCH(int, value);
        const std::optional<qint32> result = textToLong(text);
        QCOMPARE(result.has_value(), converts);
        if (converts)
            QCOMPARE(*result, value);
    }

    void positionsWriteAsPlainDecimalText()
    {
        QCOMPARE(singleToText(1440), u"1440"_qs);
        QCOMPARE(singleToText(0), u"0"_qs);
        QCOMPARE(singleToText(-120), u"-120"_qs);
        QCOMPARE(singleToText(-45), u"-45"_qs);
        QCOMPARE(textToSingle(singleToText(28800)).value_or(-1), 28800.0f);
        QVERIFY(!textToSingle(u"1e400"_qs));
        QVERIFY(!textToSingle(u"left"_qs));
    }
};

QUENBY_TEST_MAIN(SettingsStoreTest)
#include "settings_store_test.moc"
