#include "form2_harness.h"
#include "scratch.h"

#include "main_window/main_window_view.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>

using namespace quenby;
using namespace quenby::test;

namespace {

QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// What a screen reader would hear of each control of the window, by object name.
QMap<QString, QString> namesOf(QWidget *window)
{
    QMap<QString, QString> names;
    for (QWidget *control : window->findChildren<QWidget *>())
        names[control->objectName()] = accessibleName(control);
    return names;
}

} // namespace

class AccessibleNamesTest final : public QObject
{
    Q_OBJECT

private slots:
    // Catches a control a screen reader can only call "button" or "text", slot
    // controls that all sound alike, and descriptions not tied to their box.
    void everyControlOfBothWindowsHasAName()
    {
        SettingsHarness h;
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        const QMap<QString, QString> main = namesOf(h.form1->window());
        Form2 *settings = h.open();
        const QMap<QString, QString> second = namesOf(settings);

        for (const auto *names : {&main, &second}) {
            for (auto it = names->begin(); it != names->end(); ++it) {
                if (!it.key().isEmpty())
                    QVERIFY2(!it.value().trimmed().isEmpty(), qPrintable(it.key()));
            }
        }
        QCOMPARE(main.value(u"ok1"_qs), u"終了"_qs);
        QCOMPARE(main.value(u"Label1"_qs), u"状態"_qs);
        QCOMPARE(second.value(u"Text2"_qs), u"№2 実行するファイル"_qs);
        QCOMPARE(second.value(u"sansyou2"_qs), u"№2 参照"_qs);
        QCOMPARE(second.value(u"Check3"_qs), u"№3 実行する"_qs);
        QCOMPARE(second.value(u"Check7"_qs), u"№7 最近使ったファイルを削除する。"_qs);
        QCOMPARE(second.value(u"Frame8"_qs), u"待ち時間"_qs);
        QCOMPARE(second.value(u"Save"_qs), u"適用"_qs);
        QCOMPARE(QSet<QString>(second.begin(), second.end()).size(), second.size());

        // The texts beside a box are its labels.
        const auto labelOf = [](QWidget *box) {
            const auto relations = QAccessible::queryAccessibleInterface(box)->relations(QAccessible::Label);
            QStringList labels;
            for (const auto &[label, relation] : relations)
                labels << label->object()->objectName();
            return labels;
        };
        QCOMPARE(labelOf(settings->Check[6]), QStringList{u"Label4"_qs});
        QCOMPARE(labelOf(settings->Text[6]).size(), 2);
    }

    // Catches a status line that keeps saying what it said before: its name is
    // what a screen reader announces when it changes.
    void theStatusLineIsNamedByItsText()
    {
        SettingsHarness h;
        h.form1 = std::make_unique<Form1>(h.services);
        h.form1->Form_Load();
        QLabel *status = h.form1->window()->Label1;
        h.form1->setStatus(u"設定内容を処理中"_qs);
        QCOMPARE(accessibleName(status), u"設定内容を処理中"_qs);
        h.form1->setStatus(QString());
        QCOMPARE(accessibleName(status), u"状態"_qs);
    }
};

QUENBY_TEST_MAIN(AccessibleNamesTest)
#include "accessible_names_test.moc"
