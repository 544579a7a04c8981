#include "form2_harness.h"
#include "scratch.h"

using namespace quenby;
using namespace quenby::test;

// What the settings window hands to the store: whole values, in one go.
class Form2SaveTest final : public QObject
{
    Q_OBJECT

private slots:
    // Thirteen separate file replacements let a kill in between leave a
    // ticked slot with its old command. One apply is one replacement, its
    // writes in their usual order; a refused slot still keeps the slots
    // before it, in one replacement too.
    void anApplyReachesTheFileInOneReplacement()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        tick(w->Check[1]);
        w->Text[1]->setText(u"/bin/one"_qs);
        w->Text[6]->setText(u"5"_qs);
        h.clearRecords();
        h.platform.store.replacements.clear();
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QCOMPARE(h.platform.store.replacements.size(), 1);
        QCOMPARE(h.platform.store.replacements.first(), h.platform.store.writes);
        QCOMPARE(h.platform.store.writes.size(), 13);

        h.platform.store.replacements.clear();
        tick(w->Check[2]);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QCOMPARE(h.platform.store.replacements.size(), 1);
        QCOMPARE(h.platform.store.replacements.first().size(), 2);
    }

    // A kill between the two halves of a window's position left a window
    // placed by one new and one old number. Closing the settings window
    // writes its position, and the main window's store, one replacement each.
    void aPositionReachesTheFileInOneReplacement()
    {
        SettingsHarness h;
        Form2 *w = h.open();
        h.platform.store.replacements.clear();
        QTest::mouseClick(w->Cancel2, Qt::LeftButton);
        QVERIFY(!h.platform.store.replacements.isEmpty());
        QCOMPARE(h.platform.store.replacements.first().size(), 2);
        QVERIFY(h.platform.store.replacements.first().first().startsWith(u"Form2Top="_qs));
    }

    // The path box used to stop at 32 767 characters, so a longer stored path
    // came back cut short with the next OK.
    void aPathOfAnyLengthComesBackWhole()
    {
        const QString longPath = u"/opt/"_qs + QString(40'000, u'p');
        SettingsHarness h;
        h.platform.store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, longPath}};
        Form2 *w = h.open();
        QCOMPARE(w->Text[1]->text().size(), longPath.size());
        w->Text[6]->setText(u"1"_qs);
        QTest::mouseClick(w->Save, Qt::LeftButton);
        QCOMPARE(h.platform.store.values.value(u"kidou1"_qs), longPath);
        QCOMPARE(RunConfig.kidou[1], longPath);
    }
};

QUENBY_TEST_MAIN(Form2SaveTest)
#include "form2_save_test.moc"
