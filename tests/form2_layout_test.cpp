#include "form2_harness.h"
#include "scratch.h"

#include <QGroupBox>
#include <QLabel>

using namespace quenby;
using namespace quenby::test;

// The settings window as drawn: every control's place in pixels (worked out
// by hand from the design's twips, 15 to a pixel, halves to even), captions
// character for character, the frame of the window and the focus order.
class Form2LayoutTest final : public QObject
{
    Q_OBJECT

private:
    SettingsHarness m_harness;
    Form2 *m_window = nullptr;

private slots:
    void initTestCase()
    {
        m_window = m_harness.open();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void geometryOfEveryControl_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("pixels");
        const auto row = [](const char *name, const char *container, QRect pixels) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << pixels;
        };
        row("Label1", "", {8, 8, 305, 17});
        row("ok2", "", {216, 408, 89, 21});
        row("Cancel2", "", {312, 408, 89, 21});
        row("Save", "", {408, 408, 81, 21});
        const int slotTops[] = {24, 80, 136, 192, 248};
        for (int slot = 1; slot <= 5; ++slot) {
            const QByteArray n = QByteArray::number(slot);
            const QByteArray frame = "Frame" + n;
            QTest::newRow(frame.constData()) << QString::fromLatin1(frame) << QString() << QRect(8, slotTops[slot - 1], 481, 49);
            QTest::newRow("Check" + n) << QString::fromLatin1("Check" + n) << QString::fromLatin1(frame)
                                       << QRect(8, 0, 41, slot == 2 || slot == 3 ? 17 : 12);
            QTest::newRow("Text" + n) << QString::fromLatin1("Text" + n) << QString::fromLatin1(frame) << QRect(16, 24, 393, 18);
            QTest::newRow("sansyou" + n) << QString::fromLatin1("sansyou" + n) << QString::fromLatin1(frame)
                                         << QRect(416, 24, 57, 21);
        }
        row("Frame6", "", {8, 304, 481, 41});
        row("Check6", "Frame6", {8, 0, 41, 12});
        row("Label4", "Frame6", {16, 16, 457, 17});
        row("Frame7", "", {8, 352, 193, 41});
        row("Check7", "Frame7", {8, 0, 41, 12});
        row("Label5", "Frame7", {16, 16, 169, 17});
        row("Frame8", "", {208, 352, 281, 49});
        row("Text6", "Frame8", {8, 0, 41, 18});
        row("Label3", "Frame8", {47, 3, 20, 12});
        row("Label2", "Frame8", {8, 19, 265, 26});
    }

    void geometryOfEveryControl()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, pixels);
        auto *control = m_window->findChild<QWidget *>(name);
        QVERIFY(control);
        QWidget *expectedParent = container.isEmpty() ? m_window : m_window->findChild<QWidget *>(container);
        QCOMPARE(control->parentWidget(), expectedParent);
        QCOMPARE(control->geometry(), pixels);
    }

    void windowFrame()
    {
        QCOMPARE(m_window->windowTitle(), u"TARVEN Inc. Quenby  設定"_qs);
        QCOMPARE(m_window->size(), QSize(500, 436));
        QCOMPARE(m_window->minimumSize(), QSize(500, 436));
        QCOMPARE(m_window->maximumSize(), QSize(500, 436));
        const Qt::WindowFlags flags = m_window->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool); // no taskbar entry of its own
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!m_window->parentWidget());
        QVERIFY(!m_window->isModal());
    }

    void captions()
    {
        QCOMPARE(m_window->Label1->text(), u"実行させたいアプリケーション 又は\u3000コマンドを設定します。"_qs);
        QCOMPARE(m_window->Label2->text(),
                 u"Windowsの終了処理に移るまでの待ち時間を設定アプリケーションに合わせて入力してください。"_qs);
        QCOMPARE(m_window->Label3->text(), u"秒"_qs);
        QCOMPARE(m_window->Label4->text(), u"\\Windows\\tempフォルダ内の不要ファイルを削除してハードディスクの空き容量を増やす。"_qs);
        QCOMPARE(m_window->Label5->text(), u"最近使ったファイルを削除する。"_qs);
        for (int n = 1; n <= 7; ++n)
            QCOMPARE(m_window->Check[n]->text(), QString(QChar(0x2116)) + QString::number(n));
        for (int slot = 1; slot <= 5; ++slot)
            QCOMPARE(m_window->sansyou[slot]->text(), u"参照"_qs);
        QCOMPARE(m_window->ok2->text(), u"OK"_qs);
        QCOMPARE(m_window->Cancel2->text(), u"Cancel"_qs);
        QCOMPARE(m_window->Save->text(), u"適用"_qs);
        for (int n = 1; n <= 8; ++n)
            QCOMPARE(m_window->Frame[n]->title(), QString());
    }

    // Labels wrap within their box; "秒" and the seconds stand to the right.
    void alignment()
    {
        for (QLabel *label : {m_window->Label1, m_window->Label2, m_window->Label4, m_window->Label5}) {
            QVERIFY(label->wordWrap());
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        }
        QCOMPARE(m_window->Label3->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(m_window->Text[6]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QVERIFY(m_window->Save->isDefault());
    }

    void focusOrder()
    {
        const QStringList expected{u"ok2"_qs,      u"Cancel2"_qs,  u"Save"_qs,     u"Check1"_qs, u"Text1"_qs,
                                   u"sansyou1"_qs, u"Check2"_qs,   u"Text2"_qs,    u"sansyou2"_qs, u"Check3"_qs,
                                   u"Text3"_qs,    u"sansyou3"_qs, u"Check4"_qs,   u"Text4"_qs,  u"sansyou4"_qs,
                                   u"Check5"_qs,   u"Text5"_qs,    u"sansyou5"_qs, u"Check6"_qs, u"Check7"_qs,
                                   u"Text6"_qs};
        QStringList order;
        for (QWidget *w = m_window->nextInFocusChain(); w != m_window; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
        }
        QCOMPARE(order, expected);
    }
};

QUENBY_TEST_MAIN(Form2LayoutTest)
#include "form2_layout_test.moc"
