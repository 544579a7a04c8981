#include "form2_harness.h"
#include "scratch.h"
#include "settings/program_browse_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>

#include <functional>

using namespace quenby;
using namespace quenby::test;

namespace {

// What a test saw in the dialog while it was open.
struct DialogFacts
{
    QString title;
    QStringList filters;
    QString selectedFilter;
    QString folder;
    QString fileNameField;
    bool ownDialog = false;
    bool existingFileOnly = false;
};

DialogFacts factsOf(QFileDialog *dialog)
{
    DialogFacts facts;
    facts.title = dialog->windowTitle();
    facts.filters = dialog->nameFilters();
    facts.selectedFilter = dialog->selectedNameFilter();
    facts.folder = dialog->directory().absolutePath();
    if (auto *field = dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs))
        facts.fileNameField = field->text();
    facts.ownDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
    facts.existingFileOnly = dialog->fileMode() == QFileDialog::ExistingFile;
    return facts;
}

// Runs `act` once the file dialog is up and modal. `act` must close it.
void whenDialogOpens(std::function<void(QFileDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(dialog);
        // A test that went wrong must not leave the program waiting for ever.
        if (dialog->isVisible()) {
            qWarning("the file dialog was left open");
            dialog->reject();
        }
    });
    poll->start();
}

// Browses with `slot`'s button: notes what the dialog shows, then picks
// `choice` (a full path), or cancels when it is empty.
DialogFacts browse(Form2 *w, int slot, const QString &choice = {})
{
    DialogFacts facts;
    whenDialogOpens([&facts, choice](QFileDialog *dialog) {
        facts = factsOf(dialog);
        if (choice.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed into the file-name field, then Open.
        dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs)->setText(choice);
        static_cast<QDialog *>(dialog)->accept();
    });
    QTest::mouseClick(w->sansyou[slot], Qt::LeftButton);
    return facts;
}

const QStringList kEntries{u"実行形式(*.exe)"_qs, u"ショートカット(*.lnk)"_qs, u"バッチファイル(*.bat)"_qs,
                           u"すべてのファイル(*.*)"_qs};

} // namespace

// The browse buttons and their file dialog.
class Form2BrowseTest final : public QObject
{
    Q_OBJECT

private:
    QString m_programs;

    QString program(const QString &name) const { return m_programs + u'/' + name; }

    void openWith(SettingsHarness &h, std::initializer_list<int> tickedSlots)
    {
        h.platform.desktop.programDir = m_programs;
        for (int slot : tickedSlots) {
            h.platform.store.values[checkKey(slot)] = u"1"_qs;
            h.platform.store.values[kidouKey(slot)] = u"/was/"_qs + QString::number(slot);
        }
        h.open();
        h.clearRecords();
    }

private slots:
    void initTestCase()
    {
        m_programs = scratchFolder() + u"/programs"_qs;
        QDir().mkpath(m_programs + u"/sub"_qs);
        for (const char *name : {"a.exe", "b.bat", "c.sh", "d.lnk", "readme.txt", "noext", "tool"}) {
            QFile file(program(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QFile::setPermissions(program(u"tool"_qs), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // One browse, cancelled: what the dialog offers, and a path box left as it
    // was, though the browse counts as an edit. The dialog is made only now.
    void cancelledBrowse()
    {
        SettingsHarness h;
        openWith(h, {2});
        Form2 *w = h.form1->settingsWindow();
        QVERIFY(!w->browseDialog());
        QVERIFY(!w->Save->isEnabled());
        const DialogFacts facts = browse(w, 2);
        QCOMPARE(facts.title, u"TARVEN Inc.参照"_qs);
        QCOMPARE(facts.filters, kEntries);
        QCOMPARE(facts.selectedFilter, kEntries.first());
        QCOMPARE(facts.folder, m_programs);
        QCOMPARE(facts.fileNameField, QString());
        QVERIFY(facts.ownDialog);
        QVERIFY(facts.existingFileOnly);
        QCOMPARE(w->Text[2]->text(), u"/was/2"_qs);
        QVERIFY(w->Save->isEnabled());
        QVERIFY(h.platform.store.writes.isEmpty());
        QVERIFY(w->browseDialog());
    }

    // The chosen full path lands in the slot's box, nothing is stored, and the
    // next browse of this opening offers it again, whichever slot it is for.
    void choiceFillsTheSlotAndCarriesOver()
    {
        SettingsHarness h;
        openWith(h, {1, 3});
        Form2 *w = h.form1->settingsWindow();
        browse(w, 1, program(u"a.exe"_qs));
        ProgramBrowseDialog *dialog = w->browseDialog();
        QCOMPARE(w->Text[1]->text(), program(u"a.exe"_qs));
        QVERIFY(w->Save->isEnabled());
        QVERIFY(h.platform.store.writes.isEmpty());

        const DialogFacts next = browse(w, 3);
        QCOMPARE(next.fileNameField, u"a.exe"_qs);
        QCOMPARE(next.folder, m_programs);
        QCOMPARE(next.selectedFilter, kEntries.first());
        QCOMPARE(w->Text[3]->text(), u"/was/3"_qs);
        QCOMPARE(w->browseDialog(), dialog);
    }

    // Fault: the remembered file surviving the window.
    void newOpeningForgetsTheFile()
    {
        SettingsHarness h;
        openWith(h, {1});
        Form2 *w = h.form1->settingsWindow();
        browse(w, 1, program(u"tool"_qs));
        QTest::mouseClick(w->Cancel2, Qt::LeftButton);
        QVERIFY(h.settingsGone());

        Form2 *again = h.open();
        QVERIFY(!again->browseDialog());
        const DialogFacts facts = browse(again, 1);
        QCOMPARE(facts.fileNameField, QString());
        QCOMPARE(facts.folder, m_programs);
    }

    // The dialog's own list follows the entry the user picks, with folders
    // always shown.
    void dialogListsWhatTheEntryMatches()
    {
        SettingsHarness h;
        openWith(h, {1});
        Form2 *w = h.form1->settingsWindow();
        const QList<QStringList> expected{
            {u"a.exe"_qs, u"sub"_qs, u"tool"_qs},
            {u"d.lnk"_qs, u"sub"_qs},
            {u"b.bat"_qs, u"c.sh"_qs, u"sub"_qs},
            {u"a.exe"_qs, u"b.bat"_qs, u"c.sh"_qs, u"d.lnk"_qs, u"noext"_qs, u"readme.txt"_qs, u"sub"_qs, u"tool"_qs},
        };
        QList<QStringList> listed;
        whenDialogOpens([this, &listed, &expected](QFileDialog *dialog) {
            auto *filter = static_cast<ProgramBrowseDialog *>(dialog)->fileFilter();
            auto *files = static_cast<QFileSystemModel *>(filter->sourceModel());
            auto *types = dialog->findChild<QComboBox *>(u"fileTypeCombo"_qs);
            const auto names = [&] {
                QStringList shown;
                const QModelIndex root = filter->mapFromSource(files->index(m_programs));
                for (int row = 0; row < filter->rowCount(root); ++row)
                    shown << filter->index(row, 0, root).data().toString();
                shown.sort();
                return shown;
            };
            for (qsizetype entry = 0; types && entry < expected.size(); ++entry) {
                if (entry > 0)
                    QTest::keyClick(types, Qt::Key_Down);
                // A list that never matches shows in the comparison below.
                (void)QTest::qWaitFor([&] { return names() == expected[entry]; }, 2000);
                listed << names();
            }
            dialog->reject();
        });
        QTest::mouseClick(w->sansyou[1], Qt::LeftButton);
        QCOMPARE(listed, expected);
    }
};

QUENBY_TEST_MAIN(Form2BrowseTest)
#include "form2_browse_test.moc"
