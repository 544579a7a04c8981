#include "form2_harness.h"
#include "scratch.h"

using namespace quenby;
using namespace quenby::test;

namespace {

// Notes, at every store write, which RunConfig fields changed since the last
// one, so a test sees writes and field updates as one sequence.
class RunConfigWatchingStore : public FakeStore
{
public:
    using FakeStore::FakeStore;

    void SaveSetting(const QString &key, const QString &value) override
    {
        noteChangedFields();
        sequence << u"save:"_qs + key;
        FakeStore::SaveSetting(key, value);
    }

    void noteChangedFields()
    {
        for (int n = 1; n <= 7; ++n) {
            if (RunConfig.check[n] != m_seen.check[n])
                sequence << u"field:check"_qs + QString::number(n);
        }
        for (int n = 1; n <= 5; ++n) {
            if (RunConfig.kidou[n] != m_seen.kidou[n])
                sequence << u"field:kidou"_qs + QString::number(n);
        }
        if (RunConfig.byou != m_seen.byou)
            sequence << u"field:byou"_qs;
        m_seen = RunConfig;
    }

    QStringList sequence;

private:
    RunConfigRecord m_seen;
};

} // namespace

// The apply step: its order, what it refuses, and what it leaves behind.
class Form2ApplyTest final : public QObject
{
    Q_OBJECT

private:
    static void fillEverySlot(Form2 *w)
    {
        for (int slot = 1; slot <= 5; ++slot) {
            tick(w->Check[slot]);
            w->Text[slot]->setText(u"/bin/p"_qs + QString::number(slot));
        }
        tick(w->Check[6]);
        tick(w->Check[7]);
        w->Text[6]->setText(u"15"_qs);
    }

private slots:
    // Fault: RunConfig set before its key is written, a path before its check
    // state, or the slots out of order.
    void storeWriteThenFieldCheckBeforePathSlotBySlot()
    {
        CallLog log;
        RunConfigWatchingStore store(log);
        SettingsHarness h(store);
        Form2 *w = h.open();
        fillEverySlot(w);
        store.noteChangedFields();
        store.sequence.clear();
        QTest::mouseClick(w->Save, Qt::LeftButton);
        store.noteChangedFields();

        QStringList expected;
        for (int slot = 1; slot <= 5; ++slot) {
            const QString n = QString::number(slot);
            expected << u"save:Check"_qs + n << u"field:check"_qs + n << u"save:kidou"_qs + n << u"field:kidou"_qs + n;
        }
        expected << u"save:Check6"_qs << u"field:check6"_qs << u"save:Check7"_qs << u"field:check7"_qs
                 << u"save:byou"_qs << u"field:byou"_qs;
        QCOMPARE(store.sequence, expected);
        QCOMPARE(RunConfig.byou, 15);
        QCOMPARE(RunConfig.kidou[3], u"/bin/p3"_qs);
        QCOMPARE(store.values.value(u"byou"_qs), u"15"_qs);
        QVERIFY(!w->Save->isEnabled());
    }

    // Slots before the refused one stay written, in the store and in RunConfig;
    // only the first refused slot is reported.
    void laterSlotRefusedKeepsTheEarlierOnes()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check4"_qs, u"0"_qs}, {u"kidou4"_qs, u"/old/four"_qs}, {u"byou"_qs, u"3"_qs}};
        Form2 *w = h.open();
        h.clearRecords();
        tick(w->Check[1]);
        QTest::keyClicks(w->Text[1], u"/bin/one"_qs);
        tick(w->Check[2]);
        QTest::keyClicks(w->Text[2], u"/bin/two"_qs);
        tick(w->Check[3]);
        tick(w->Check[4]);
        w->Text[4]->clear();
        w->Text[6]->setText(u"8"_qs);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QCOMPARE(h.platform.store.writes,
                 (QStringList{u"Check1=1"_qs, u"kidou1=/bin/one"_qs, u"Check2=1"_qs, u"kidou2=/bin/two"_qs}));
        QCOMPARE(h.platform.desktop.messages, QStringList{u"№3　実行させたいファイルのフルパスを指定してください。"_qs});
        QCOMPARE(RunConfig.kidou[2], u"/bin/two"_qs);
        QCOMPARE(RunConfig.check[3], 0);
        QCOMPARE(RunConfig.kidou[4], u"/old/four"_qs);
        QCOMPARE(RunConfig.byou, 3);
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget() : w->focusWidget(), w->Text[3]);
    }

    // Only the exactly empty path is missing; unticked slots keep their path;
    // an empty pause becomes "0", shown, and Save comes back on.
    void valuesAreStoredAsTyped()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"kidou2"_qs, u"/kept/while/off"_qs}, {u"byou"_qs, u"12"_qs}};
        Form2 *w = h.open();
        tick(w->Check[1]);
        w->Text[1]->setText(u" "_qs);
        w->Text[6]->clear();
        h.clearRecords();
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QVERIFY(h.platform.desktop.messages.isEmpty());
        const QStringList writes = h.platform.store.writes;
        QCOMPARE(writes.size(), 13);
        for (const char *write : {"kidou1= ", "Check2=0", "kidou2=/kept/while/off", "kidou3=", "byou=0"})
            QVERIFY2(writes.contains(QString::fromUtf8(write)), write);
        QCOMPARE(w->Text[6]->text(), u"0"_qs);
        QCOMPARE(RunConfig.byou, 0);
        QVERIFY(w->Save->isEnabled());
    }

    // Whatever apply accepts, start-up reads back as the same number; the rest
    // is refused before anything is written.
    void pauseText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("seconds");
        QTest::newRow("whole number") << u"15"_qs << true << 15;
        QTest::newRow("negative") << u"-5"_qs << true << -5;
        QTest::newRow("longest the run honours") << u"32767"_qs << true << 32767;
        QTest::newRow("most negative the run honours") << u"-32768"_qs << true << -32768;
        // The run skips a pause that does not fit 16 bits and powers off at once.
        QTest::newRow("40000") << u"40000"_qs << false << 0;
        QTest::newRow("just too long") << u"32768"_qs << false << 0;
        QTest::newRow("just too negative") << u"-32769"_qs << false << 0;
        QTest::newRow("largest 32-bit") << u"2147483647"_qs << false << 0;
        QTest::newRow("blanks around") << u" 7 "_qs << true << 7;
        QTest::newRow("letters") << u"abc"_qs << false << 0;
        QTest::newRow("fraction") << u"1.5"_qs << false << 0;
        QTest::newRow("too large") << u"99999999999"_qs << false << 0;
        QTest::newRow("just too small") << u"-2147483649"_qs << false << 0;
        QTest::newRow("exponent") << u"1e3"_qs << false << 0;
        QTest::newRow("a blank only") << u" "_qs << false << 0;
    }

    void pauseText()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(int, seconds);
        SettingsHarness h;
        h.platform.store.values = {{u"byou"_qs, u"4"_qs}};
        Form2 *w = h.open();
        tick(w->Check[1]); // an empty ticked slot: the pause is reported first
        if (accepted)
            w->Text[1]->setText(u"/bin/one"_qs);
        w->Text[6]->setText(typed);
        h.clearRecords();
        QTest::mouseClick(w->Save, Qt::LeftButton);
        if (!accepted) {
            QVERIFY(h.platform.store.writes.isEmpty());
            QCOMPARE(h.platform.desktop.beeps, 1);
            QCOMPARE(h.platform.desktop.messages,
                     QStringList{u"待ち時間\u3000-32768 から 32767 までの整数（秒）を指定してください。"_qs});
            QCOMPARE(w->focusWidget(), w->Text[6]);
            QCOMPARE(w->saveFailed(), 1);
            QCOMPARE(RunConfig.byou, 4);
            return;
        }
        QCOMPARE(h.platform.store.values.value(u"byou"_qs), typed);
        QCOMPARE(RunConfig.byou, seconds);
        loadRunConfig(h.platform.store);
        QCOMPARE(RunConfig.byou, seconds);
    }

    // A refused slot 1 writes nothing at all and keeps the focus on its box;
    // a full apply from Save afterwards leaves the refusal's flag (only OK
    // resets it), and OK then closes.
    void refusedFirstSlotThenMended()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        h.clearRecords();
        tick(w->Check[1]);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QVERIFY(h.platform.store.writes.isEmpty());
        QCOMPARE(h.platform.log, (QStringList{u"beep"_qs, u"msg:№1　実行させたいファイルのフルパスを指定してください。"_qs}));
        QCOMPARE(w->focusWidget(), w->Text[1]);
        QCOMPARE(w->saveFailed(), 1);
        QVERIFY(!w->Save->isEnabled());

        QTest::keyClicks(w->Text[1], u"/bin/one"_qs);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QCOMPARE(h.platform.store.values.value(u"kidou1"_qs), u"/bin/one"_qs);
        QCOMPARE(w->saveFailed(), 1);
        QTest::mouseClick(w->ok2, Qt::LeftButton);
        QVERIFY(h.form1->isLoaded());
    }
};

QUENBY_TEST_MAIN(Form2ApplyTest)
#include "form2_apply_test.moc"
