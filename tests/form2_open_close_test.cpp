#include "form2_harness.h"

#include "scratch.h"

#include <QAccessible>
#include <QLabel>
#include <QScreen>

using namespace quenby;
using namespace quenby::test;

namespace {

QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// What a screen reader would call each control of the window, by object name.
QMap<QString, QString> accessibleNames(QWidget *window)
{
    QMap<QString, QString> names;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!control->objectName().isEmpty())
            names[control->objectName()] = accessibleName(control);
    }
    return names;
}

} // namespace

// Opening in place of the main window, the enabled states that opening and
// ticking leave, Enter and Esc, and closing by every route.
class Form2OpenCloseTest final : public QObject
{
    Q_OBJECT

private:
    static void expectSlotEnabled(Form2 *w, int slot, bool enabled)
    {
        QCOMPARE(w->Text[slot]->isEnabled(), enabled);
        QCOMPARE(w->sansyou[slot]->isEnabled(), enabled);
    }

private slots:
    // Fault: the window filled from the store instead of RunConfig, or left
    // Save enabled, or a path box enabled for an unticked slot. Opening
    // unloads the main window, which stores its own position first.
    void firstOpeningWithEmptyStore()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        QCOMPARE(h.platform.log, (QStringList{u"save:Form1Top=0"_qs, u"save:Form1Left=0"_qs, u"get:Form2Top"_qs,
                                              u"get:Form2Left"_qs}));
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(w->pos(), QPoint(0, 0));
        for (int n = 1; n <= 7; ++n)
            QCOMPARE(w->Check[n]->checkState(), Qt::Unchecked);
        for (int slot = 1; slot <= 5; ++slot) {
            QCOMPARE(w->Text[slot]->text(), QString());
            expectSlotEnabled(w, slot, false);
        }
        QCOMPARE(w->Text[6]->text(), u"0"_qs);
        QVERIFY(!w->Save->isEnabled());
        QCOMPARE(w->focusWidget(), w->ok2);
        QVERIFY(!h.form1->isLoaded());
    }

    // Fault: the focus left at the first ticked slot, or Save left on by the
    // ticks and texts of opening.
    void openingWithSlotsTwoAndFourTicked()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check2"_qs, u"1"_qs}, {u"kidou2"_qs, u"/bin/two"_qs},
                                   {u"Check4"_qs, u"1"_qs}, {u"kidou4"_qs, u"/bin/four"_qs},
                                   {u"kidou3"_qs, u"/bin/three"_qs}, {u"byou"_qs, u"-5"_qs}};
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        for (int slot = 1; slot <= 5; ++slot)
            expectSlotEnabled(w, slot, slot == 2 || slot == 4);
        QCOMPARE(w->Text[3]->text(), u"/bin/three"_qs);
        QCOMPARE(w->Text[6]->text(), u"-5"_qs);
        QCOMPARE(QApplication::focusWidget(), w->Text[4]);
        QVERIFY(!w->Save->isEnabled());
    }

    // A grayed state counts as on for the enabled states; a value no check box
    // holds shows unticked and disabled.
    void openingWithUnusualCheckStates()
    {
        SettingsHarness h;
        Form2 *w = nullptr;
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        RunConfig.check[1] = 2;
        RunConfig.check[2] = 7;
        h.form1->setting_Click();
        w = h.form1->settingsWindow();
        QCOMPARE(w->Check[1]->checkState(), Qt::PartiallyChecked);
        expectSlotEnabled(w, 1, true);
        QCOMPARE(w->Check[2]->checkState(), Qt::Unchecked);
        expectSlotEnabled(w, 2, false);
        // A click on a grayed box ticks it.
        tick(w->Check[1]);
        QCOMPARE(w->Check[1]->checkState(), Qt::Checked);
        tick(w->Check[1]);
        QCOMPARE(w->Check[1]->checkState(), Qt::Unchecked);
    }

    void tickingAndUntickingSlotThree()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        h.clearRecords();
        tick(w->Check[3]);
        QVERIFY(w->Save->isEnabled());
        expectSlotEnabled(w, 3, true);
        QCOMPARE(QApplication::focusWidget(), w->Text[3]);

        QTest::keyClicks(w->Text[3], u"/bin/x"_qs);
        tick(w->Check[3]);
        expectSlotEnabled(w, 3, false);
        QCOMPARE(w->Text[3]->text(), u"/bin/x"_qs);
        QVERIFY(w->Save->isEnabled());
        QVERIFY(h.platform.store.writes.isEmpty());
    }

    // Check6, Check7 and typing in Text6 only enable Save.
    void otherEditsOnlyEnableSave()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const auto edits = {+[](Form2 *f) { tick(f->Check[6]); }, +[](Form2 *f) { tick(f->Check[7]); },
                            +[](Form2 *f) { QTest::keyClick(f->Text[6], Qt::Key_5); }};
        for (auto edit : edits) {
            w->Save->setEnabled(false);
            edit(w);
            QVERIFY(w->Save->isEnabled());
            for (int slot = 1; slot <= 5; ++slot)
                expectSlotEnabled(w, slot, false);
        }
        QCOMPARE(w->Text[6]->text(), u"05"_qs);
    }

    // Enter presses Save while it is enabled, a focused push button instead,
    // nothing while Save is off; Esc presses Cancel2 from anywhere.
    void enterAndEscape_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Enter in a path box, unedited") << u"Text1"_qs << false << int(Qt::Key_Return) << false << false;
        QTest::newRow("Enter in a path box, edited") << u"Text1"_qs << true << int(Qt::Key_Return) << true << false;
        QTest::newRow("keypad Enter on a check box") << u"Check6"_qs << true << int(Qt::Key_Enter) << true << false;
        QTest::newRow("Enter on Cancel2") << u"Cancel2"_qs << true << int(Qt::Key_Return) << false << true;
        QTest::newRow("Enter on ok2, unedited") << u"ok2"_qs << false << int(Qt::Key_Return) << true << true;
        QTest::newRow("Enter on a browse button does not apply")
            << u"sansyou1"_qs << false << int(Qt::Key_Return) << false << false;
        QTest::newRow("Esc in the pause box") << u"Text6"_qs << true << int(Qt::Key_Escape) << false << true;
        QTest::newRow("Esc on Save") << u"Save"_qs << true << int(Qt::Key_Escape) << false << true;
    }

    void enterAndEscape()
    {
        QFETCH(QString, focus);
        QFETCH(bool, edited);
        QFETCH(int, key);
        QFETCH(bool, applied);
        QFETCH(bool, closed);
        SettingsHarness h;
        h.platform.store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/bin/one"_qs}};
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        if (edited)
            QTest::keyClicks(w->Text[1], u"x"_qs);
        auto *target = w->findChild<QWidget *>(focus);
        QVERIFY(target);
        // A browse would open the dialog: answer it at once.
        if (focus.startsWith(u"sansyou"))
            QTimer::singleShot(0, w, [] {
                if (auto *modal = QApplication::activeModalWidget())
                    modal->close();
            });
        target->setFocus();
        h.clearRecords();
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(h.platform.store.writes.contains(u"byou=0"_qs), applied);
        QCOMPARE(h.form1->isLoaded(), closed);
        QCOMPARE(w->isVisible(), !closed);
    }

    // Fault: OK skipping apply when nothing was edited (Save disabled).
    void okWithNothingEditedRewritesAllThirteenKeys()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check2"_qs, u"1"_qs}, {u"kidou2"_qs, u"/bin/two"_qs}, {u"kidou5"_qs, u"/bin/five"_qs},
                                   {u"Check7"_qs, u"1"_qs}, {u"byou"_qs, u"30"_qs}};
        Form2 *w = h.open();
        h.clearRecords();
        QTest::mouseClick(w->ok2, Qt::LeftButton);
        const QStringList expected{u"Check1=0"_qs, u"kidou1="_qs, u"Check2=1"_qs, u"kidou2=/bin/two"_qs,
                                   u"Check3=0"_qs, u"kidou3="_qs, u"Check4=0"_qs, u"kidou4="_qs,
                                   u"Check5=0"_qs, u"kidou5=/bin/five"_qs, u"Check6=0"_qs, u"Check7=1"_qs,
                                   u"byou=30"_qs, u"Form2Top=0"_qs, u"Form2Left=0"_qs};
        QCOMPARE(h.platform.store.writes, expected);
        QVERIFY(h.form1->isLoaded());
        QVERIFY(h.settingsGone());
    }

    // Fault: OK closing over a save that did not reach the disk, so that the
    // main window reloaded the old settings and the edits were lost.
    void okAfterAFailedSaveStaysOpenWithTheEdits()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        tick(w->Check[1]);
        w->Text[1]->setText(u"/bin/nightly"_qs);
        h.platform.store.failing = true;
        QTest::mouseClick(w->ok2, Qt::LeftButton);
        QVERIFY(w->isVisible());
        QVERIFY(!h.form1->isLoaded());
        QCOMPARE(w->Text[1]->text(), u"/bin/nightly"_qs);

        h.platform.store.failing = false;
        QTest::mouseClick(w->ok2, Qt::LeftButton);
        QVERIFY(h.form1->isLoaded());
        QVERIFY(h.settingsGone());
    }

    // Fault: OK closing after a refused apply, or Cancel undoing what the
    // refused apply had already written.
    void refusedOkStaysOpenAndCancelKeepsWhatWasWritten()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/bin/one"_qs},
                                   {u"Check2"_qs, u"0"_qs}, {u"kidou2"_qs, u"/old/two"_qs}};
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClicks(w->Text[1], u"-new"_qs);
        tick(w->Check[2]);
        w->Text[2]->clear();
        tick(w->Check[3]);
        QTest::mouseClick(w->ok2, Qt::LeftButton);
        QVERIFY(w->isVisible());
        QCOMPARE(w->saveFailed(), 1);
        QCOMPARE(h.platform.desktop.messages, QStringList{u"№2　実行させたいファイルのフルパスを指定してください。"_qs});
        QCOMPARE(QApplication::focusWidget(), w->Text[2]);
        QVERIFY(!w->Save->isEnabled());

        QTest::mouseClick(w->Cancel2, Qt::LeftButton);
        QVERIFY(h.form1->isLoaded());
        QCOMPARE(h.platform.store.values.value(u"kidou1"_qs), u"/bin/one-new"_qs);
        QCOMPARE(h.platform.store.values.value(u"Check2"_qs), u"0"_qs);
        QCOMPARE(RunConfig.kidou[1], u"/bin/one-new"_qs);
        QVERIFY(!h.platform.store.values.contains(u"Check3"_qs));
    }

    void applyThenCancelKeepsTheValues()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        tick(w->Check[5]);
        QTest::keyClicks(w->Text[5], u"/usr/bin/sync"_qs);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QVERIFY(w->isVisible());
        QVERIFY(!w->Save->isEnabled());
        QTest::keyClick(w, Qt::Key_Escape);
        QCOMPARE(h.platform.store.values.value(u"Check5"_qs), u"1"_qs);
        QCOMPARE(h.platform.store.values.value(u"kidou5"_qs), u"/usr/bin/sync"_qs);
        QCOMPARE(RunConfig.check[5], 1);
        QCOMPARE(RunConfig.kidou[5], u"/usr/bin/sync"_qs);

        Form2 *again = h.open();
        QCOMPARE(again->Check[5]->checkState(), Qt::Checked);
        QCOMPARE(again->Text[5]->text(), u"/usr/bin/sync"_qs);
    }

    // Every close route stores the moved position, top first, in twips, and
    // the next opening stands there; the main window comes back afterwards.
    void everyCloseRouteStoresThePosition_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("OK") << u"ok2"_qs;
        QTest::newRow("Cancel") << u"Cancel2"_qs;
        QTest::newRow("Esc") << u"Esc"_qs;
        QTest::newRow("close box") << u"close"_qs;
    }

    void everyCloseRouteStoresThePosition()
    {
        QFETCH(QString, route);
        SettingsHarness h;
        h.platform.store.values = {{u"Form2Top"_qs, u"150"_qs}, {u"Form2Left"_qs, u"-300"_qs}};
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->pos(), QPoint(-20, 10));
        w->move(96, 48);
        h.clearRecords();
        if (route == u"Esc")
            QTest::keyClick(w->Text[6], Qt::Key_Escape);
        else if (route == u"close")
            w->close();
        else
            QTest::mouseClick(w->findChild<QPushButton *>(route), Qt::LeftButton);

        const QStringList positionWrites = h.platform.log.filter(u"save:Form2"_qs);
        QCOMPARE(positionWrites, (QStringList{u"save:Form2Top=720"_qs, u"save:Form2Left=1440"_qs}));
        // The main window loads after the position is stored.
        const qsizetype leftWritten = h.platform.log.indexOf(u"save:Form2Left=1440"_qs);
        QVERIFY(h.platform.log.indexOf(u"get:Form1Top"_qs) > leftWritten);
        QVERIFY(h.form1->isLoaded());
        QVERIFY(h.settingsGone());

        Form2 *again = h.open();
        QCOMPARE(again->pos(), QPoint(96, 48));
        QCOMPARE(h.platform.store.reads, (QStringList{u"Form2Top"_qs, u"Form2Left"_qs}));
    }

    // Fault: a stored position (another monitor, a larger scale) that leaves
    // OK / Cancel / apply out of reach, or that is overwritten merely by opening.
    void theButtonRowIsAlwaysOnScreen()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Form2Top"_qs, u"6000"_qs}, {u"Form2Left"_qs, u"9000"_qs}};
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect screen = w->screen()->availableGeometry();
        for (QPushButton *button : {w->ok2, w->Cancel2, w->Save}) {
            const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
            QVERIFY2(screen.contains(onScreen), qPrintable(button->objectName()));
        }
        QVERIFY(w->pos() != QPoint(600, 400));
        h.clearRecords();
        w->close();
        QCOMPARE(h.platform.log.filter(u"save:Form2"_qs),
                 (QStringList{u"save:Form2Top=6000"_qs, u"save:Form2Left=9000"_qs}));
    }

    // Fault: a control a screen reader can only call "button" or "text", slot
    // controls that all sound alike, a description not tied to its box, or a
    // status line that keeps saying what it said before.
    void everyControlOfBothWindowsHasAName()
    {
        SettingsHarness h;
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        h.form1->setStatus(u"設定内容を処理中"_qs);
        QCOMPARE(accessibleName(h.form1->window()->Label1), u"設定内容を処理中"_qs);
        h.form1->setStatus(QString());
        QMap<QString, QString> names = accessibleNames(h.form1->window());
        QCOMPARE(names.value(u"Label1"_qs), u"状態"_qs);
        Form2 *w = h.open();
        const QMap<QString, QString> settings = accessibleNames(w);
        QCOMPARE(QSet<QString>(settings.begin(), settings.end()).size(), settings.size());
        names.insert(settings);
        for (auto it = names.begin(); it != names.end(); ++it)
            QVERIFY2(!it.value().trimmed().isEmpty(), qPrintable(it.key()));
        QCOMPARE(names.value(u"ok1"_qs), u"終了"_qs);
        QCOMPARE(names.value(u"Text2"_qs), u"№2 実行するファイル"_qs);
        QCOMPARE(names.value(u"sansyou2"_qs), u"№2 参照"_qs);
        QCOMPARE(names.value(u"Check7"_qs), u"№7 最近使ったファイルを削除する。"_qs);
        const auto labels = QAccessible::queryAccessibleInterface(w->Check[6])->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->object(), w->Label4);
    }

    // Fault: the main window keeping the values edited but never applied, or
    // the run mode of before.
    void closingReloadsTheMainWindowFromTheStore()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/bin/one"_qs}, {u"byou"_qs, u"9"_qs}};
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        h.form1->run().runMode = 1;
        h.form1->run().runOnly = 1;
        Form2 *w = h.open();
        QVERIFY(QTest::qWaitForWindowActive(w));
        RunConfig.kidou[1] = u"/edited/elsewhere"_qs;
        tick(w->Check[1]);
        QTest::mouseClick(w->Cancel2, Qt::LeftButton);
        QVERIFY(h.form1->isLoaded());
        QCOMPARE(RunConfig.check[1], 1);
        QCOMPARE(RunConfig.kidou[1], u"/bin/one"_qs);
        QCOMPARE(RunConfig.byou, 9);
        QCOMPARE(h.form1->run().runMode, 0);
        QCOMPARE(h.form1->run().runOnly, 0);
    }

    // A failed run opens the window at its slot.
    void slotSettingsFocusTheSlotsPathBox()
    {
        SettingsHarness h;
        h.platform.store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/bin/one"_qs},
                                   {u"Check3"_qs, u"1"_qs}, {u"kidou3"_qs, u"/bin/three"_qs}};
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        h.form1->run().currentSlot = 1;
        h.form1->ShowSlotSettings();
        Form2 *w = h.form1->settingsWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), w->Text[1]);
        QVERIFY(!w->Save->isEnabled());
    }

    // Fault: a press right after closing, before the closed window is deleted
    // (a close inside a run's wait), showing the closed window again without loading it.
    void reopeningBeforeTheClosedWindowIsGoneLoadsANewOne()
    {
        SettingsHarness h;
        Form2 *closed = h.open();
        QTest::mouseClick(closed->Cancel2, Qt::LeftButton);
        QVERIFY(h.form1->isLoaded());
        QCOMPARE(h.form1->settingsWindow(), closed); // not deleted yet
        h.form1->setting_Click();
        QVERIFY(h.form1->settingsWindow() != closed);
        QVERIFY(!h.form1->isLoaded());
        QVERIFY(h.form1->settingsWindow()->isVisible());
    }
};

QUENBY_TEST_MAIN(Form2OpenCloseTest)
#include "form2_open_close_test.moc"
