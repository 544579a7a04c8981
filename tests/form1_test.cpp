#include "fakes/fake_platform.h"
#include "scratch.h"

#include "main_window/form1.h"
#include "main_window/main_window_view.h"
#include "settings/form2.h"
#include "settings/run_config.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using namespace quenby;
using namespace quenby::test;

class Form1Test final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Form1> m_form;

    Form1 &loadedForm()
    {
        m_form->Form_Load();
        return *m_form;
    }
    MainWindowView &view() { return *m_form->window(); }
    QStringList positionWrites() const
    {
        return m_platform->store.writes.filter(QRegularExpression(QStringLiteral("^Form1(Top|Left)=")));
    }

private slots:
    void init()
    {
        RunConfig = {};
        m_platform = std::make_unique<FakePlatform>();
        m_form = std::make_unique<Form1>(m_platform->services());
    }
    void cleanup()
    {
        m_form.reset();
        m_platform.reset();
    }

    void everyControlStandsAtItsDesignPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("Label1") << "Label1" << QRect(32, 8, 233, 17);
        QTest::newRow("ok1") << "ok1" << QRect(290, 0, 81, 24);
        QTest::newRow("reboot") << "reboot" << QRect(290, 24, 81, 24);
        QTest::newRow("Suspend") << "Suspend" << QRect(290, 48, 81, 24);
        QTest::newRow("test") << "test" << QRect(290, 72, 81, 24);
        QTest::newRow("setting") << "setting" << QRect(290, 96, 81, 24);
        QTest::newRow("Cancel1 is 25 high") << "Cancel1" << QRect(290, 120, 81, 25);
        QTest::newRow("Label5") << "Label5" << QRect(32, 112, 233, 28);
        QTest::newRow("Image3") << "Image3" << QRect(128, 64, 32, 32);
        QTest::newRow("banner") << "banner" << QRect(0, 0, 289, 145);
    }
    void everyControlStandsAtItsDesignPlace()
    {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        loadedForm();
        auto *control = view().findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), pixels);
    }

    void windowIsFixedTopMostAndWithoutMinMax()
    {
        loadedForm();
        QCOMPARE(view().size(), QSize(372, 146));
        QCOMPARE(view().minimumSize(), view().maximumSize());
        const Qt::WindowFlags flags = view().windowFlags();
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(view().testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(view().windowTitle(), QStringLiteral("TARVEN Inc. Quenby"));
    }

    void captionsColoursAndPictures()
    {
        loadedForm();
        const QStringList captions{view().ok1->text(), view().reboot->text(), view().Suspend->text(),
                                   view().test->text(), view().setting->text(), view().Cancel1->text()};
        QCOMPARE(captions, (QStringList{u"終了(&Q)"_qs, u"再起動(&R)"_qs, u"サスペンド(&P)"_qs,
                                        u"実行のみ(&T)"_qs, u"設定(&S)"_qs, u"Cancel(&C)"_qs}));
        QVERIFY(view().Label1->text().isEmpty());
        QCOMPARE(view().Label1->palette().color(QPalette::WindowText), QColor(0, 255, 0));
        QCOMPARE(view().Label5->palette().color(QPalette::WindowText), QColor(192, 0, 0));
        QCOMPARE(view().lblVersion->palette().color(QPalette::WindowText), QColor(192, 0, 0));
        QCOMPARE(view().Label5->font().pointSizeF(), 9.75);
        // A proportional Japanese serif face, not whatever the fallback would be.
        const QString face = QFontInfo(view().Label5->font()).family();
        QVERIFY2(face.contains(u"Mincho"_qs) || face.contains(u"明朝"_qs) || face.contains(u"Serif"_qs), qPrintable(face));
        QCOMPARE(QFontInfo(view().lblVersion->font()).family(), face);
        QCOMPARE(view().banner->pixmap().size(), QSize(289, 145));
        QCOMPARE(view().Image3->pixmap().size(), QSize(32, 32));
        // Only text is painted over the banner.
        for (QLabel *label : {view().Label1, view().Label5, view().lblVersion})
            QVERIFY(!label->autoFillBackground());
    }

    void versionLabelGrowsFromItsCorner()
    {
        loadedForm();
        QCOMPARE(view().lblVersion->text(), QStringLiteral("Ver 1.0.9"));
        QCOMPARE(view().lblVersion->pos(), QPoint(144, 96));
        QVERIFY(view().lblVersion->width() > 4);
        QCOMPARE(view().Image3->geometry().bottom() + 1, view().lblVersion->y());

        m_platform->desktop.appVersion = {2, 10, 0};
        m_form->unloadMainWindow();
        m_form->Form_Load();
        QCOMPARE(view().lblVersion->text(), QStringLiteral("Ver 2.10.0"));
    }

    void tabWalksTheButtonsInOrder()
    {
        loadedForm();
        view().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view()));
        QCOMPARE(QApplication::focusWidget(), view().ok1);
        const QList<QPushButton *> order{view().reboot, view().Suspend, view().test,
                                         view().setting, view().Cancel1, view().ok1};
        for (QPushButton *expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void accessKeysPressTheirButtons_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("Alt+Q") << int(Qt::Key_Q) << "ok1";
        QTest::newRow("Alt+R") << int(Qt::Key_R) << "reboot";
        QTest::newRow("Alt+P") << int(Qt::Key_P) << "Suspend";
        QTest::newRow("Alt+T") << int(Qt::Key_T) << "test";
        QTest::newRow("Alt+S") << int(Qt::Key_S) << "setting";
        QTest::newRow("Alt+C") << int(Qt::Key_C) << "Cancel1";
    }
    void accessKeysPressTheirButtons()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        loadedForm();
        view().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view()));
        auto *target = view().findChild<QPushButton *>(button);
        // Watch the click without running the handler's effects on the test.
        target->disconnect(m_form.get());
        QSignalSpy clicked(target, &QPushButton::clicked);
        QTest::keyClick(&view(), Qt::Key(key), Qt::AltModifier);
        // A mnemonic animates the press before it clicks.
        QTRY_COMPARE(clicked.count(), 1);
    }

    void enterPressesOnlyTheFocusedButtonAndEscNothing()
    {
        loadedForm();
        view().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view()));
        for (QPushButton *b : view().findChildren<QPushButton *>())
            b->disconnect(m_form.get());
        QSignalSpy reboot(view().reboot, &QPushButton::clicked);
        QSignalSpy ok(view().ok1, &QPushButton::clicked);
        view().reboot->setFocus();
        QTest::keyClick(view().reboot, Qt::Key_Return);
        QTest::keyClick(view().reboot, Qt::Key_Escape);
        QTest::qWait(150);
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(ok.count(), 0);
        QVERIFY(view().isVisible());
    }

    void storedPositionPlacesTheWindow_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QPoint>("pixels");
        QTest::newRow("empty store: corner") << QString() << QString() << QPoint(0, 0);
        QTest::newRow("1440/2880") << "1440" << "2880" << QPoint(192, 96);
        QTest::newRow("off the left edge, not clamped") << "0" << "-150" << QPoint(-10, 0);
        QTest::newRow("halves go to even") << "22.5" << "37.5" << QPoint(2, 2);
        QTest::newRow("not a number reads as 0") << "abc" << "1e400" << QPoint(0, 0);
        QTest::newRow("off every screen: the corner") << "0" << "30000" << QPoint(0, 0);
        QTest::newRow("far beyond the int range: the corner") << "1e30" << "-1e30" << QPoint(0, 0);
        QTest::newRow("partly off the right edge stays") << "1500" << "10500" << QPoint(700, 100);
    }
    void storedPositionPlacesTheWindow()
    {
        QFETCH(QString, top);
        QFETCH(QString, left);
        QFETCH(QPoint, pixels);
        if (!top.isNull())
            m_platform->store.values[u"Form1Top"_qs] = top;
        if (!left.isNull())
            m_platform->store.values[u"Form1Left"_qs] = left;
        loadedForm();
        QCOMPARE(view().pos(), pixels);
        QVERIFY(view().isVisible());
    }

    void loadReadsTheStoreInItsFixedOrder()
    {
        m_platform->store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/opt/a b"_qs},
                                    {u"Check3"_qs, u"2"_qs}, {u"Check7"_qs, u"x"_qs},
                                    {u"byou"_qs, u"-15"_qs}};
        loadedForm();
        const QStringList expected{u"Form1Top"_qs, u"Form1Left"_qs, u"Check1"_qs, u"kidou1"_qs, u"Check2"_qs,
                                   u"kidou2"_qs, u"Check3"_qs, u"kidou3"_qs, u"Check4"_qs, u"kidou4"_qs,
                                   u"Check5"_qs, u"kidou5"_qs, u"Check6"_qs, u"Check7"_qs, u"byou"_qs};
        QCOMPARE(m_platform->store.reads, expected);
        QCOMPARE(RunConfig.check[1], 1);
        QCOMPARE(RunConfig.kidou[1], u"/opt/a b"_qs);
        QCOMPARE(RunConfig.check[3], 2); // kept as read; only 1 counts as on
        QCOMPARE(RunConfig.check[7], 0); // not a number: the default
        QCOMPARE(RunConfig.byou, -15);
        QVERIFY(m_platform->store.writes.isEmpty());
    }

    void emptyStoreGivesDefaults()
    {
        RunConfig.check[2] = 1;
        RunConfig.kidou[4] = u"left over"_qs;
        RunConfig.byou = 9;
        loadedForm();
        for (int n = 1; n <= 7; ++n)
            QCOMPARE(RunConfig.check[n], 0);
        for (int n = 1; n <= 5; ++n)
            QVERIFY(RunConfig.kidou[n].isEmpty());
        QCOMPARE(RunConfig.byou, 0);
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget() : view().focusWidget(), view().ok1);
    }

    // A stored pause the run cannot honour used to be noticed only as a beep
    // and an instant power request. It is said at start-up, once per value.
    void aPauseTheRunCannotHonourIsToldOnce_data()
    {
        QTest::addColumn<QString>("byou");
        QTest::addColumn<bool>("told");
        QTest::newRow("largest") << "32767" << false;
        QTest::newRow("smallest") << "-32768" << false;
        QTest::newRow("one over") << "32768" << true;
        QTest::newRow("one under") << "-32769" << true;
        QTest::newRow("past 32 bits") << "99999999999" << true;
        QTest::newRow("full-width digits") << "３０" << true;
        QTest::newRow("empty, as saved for 0") << "" << false;
    }
    void aPauseTheRunCannotHonourIsToldOnce()
    {
        QFETCH(QString, byou);
        QFETCH(bool, told);
        m_platform->store.values[u"byou"_qs] = byou;
        loadedForm();
        m_form->unloadMainWindow();
        m_form->Form_Load();
        QCOMPARE(m_platform->desktop.messages.size(), told ? 1 : 0);
        if (told)
            QVERIFY(m_platform->desktop.messages.first().contains(u"byou の値 "_qs + byou));
    }

    void loadResetsTheRunModeButKeepsTheLastSlot()
    {
        loadedForm();
        m_form->run().runMode = 2;
        m_form->run().runOnly = 1;
        m_form->run().currentSlot = 4;
        QPointer<MainWindowView> first = m_form->window();
        m_form->unloadMainWindow();
        m_form->Form_Load();
        QCOMPARE(m_form->run().runMode, 0);
        QCOMPARE(m_form->run().runOnly, 0);
        QCOMPARE(m_form->run().currentSlot, 4);
        QVERIFY(m_form->window() != first.data());
        QVERIFY(view().Label1->text().isEmpty());
    }

    void windowsDirIsTheDesktopsAnswerAsItStands()
    {
        m_platform->desktop.windowsDir = u"/home/user"_qs;
        loadedForm();
        QCOMPARE(m_form->windowsDir(), u"/home/user"_qs);
    }

    void secondInstanceEndsWithoutWindowOrStore()
    {
        m_platform->desktop.runningCopy = RequestOutcome::Shown;
        m_form->Form_Load();
        QVERIFY(m_platform->desktop.ended);
        QVERIFY(!m_form->isLoaded());
        QVERIFY(!m_platform->desktop.startedAgain);
        QVERIFY(m_platform->store.reads.isEmpty());
        QVERIFY(m_platform->store.writes.isEmpty());
        QCOMPARE(m_platform->log, (QStringList{u"instance?"_qs, u"end"_qs}));
    }

    // Catches a later start that shows nothing, shows a window hidden behind the
    // settings window, or wakes a window that was unloaded.
    void aLaterStartBringsTheCurrentWindowForward()
    {
        loadedForm();
        QVERIFY(m_platform->desktop.startedAgain);
        view().showMinimized();
        m_platform->desktop.startAgain(std::nullopt);
        QVERIFY(QTest::qWaitForWindowActive(&view()));
        QVERIFY(!view().isMinimized());

        QTest::mouseClick(view().setting, Qt::LeftButton);
        Form2 *settings = m_form->settingsWindow();
        settings->showMinimized();
        m_platform->desktop.startAgain(std::nullopt);
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QVERIFY(!settings->isMinimized());
        QVERIFY(!m_form->isLoaded());
    }

    // A run asked for on a command line (a timer of the desktop) goes where a
    // press of its button goes: the first copy starts it once its window is
    // up, a second copy hands it on and ends, and the copy that runs drops it
    // (and records it) while a run goes on or the settings window is open.
    // Requests read together used to be carried out one after the other: a
    // run only, then a shut-down nobody was there to stop.
    void runsAskedForOnTheCommandLineEnterAsPresses()
    {
        m_platform->store.values[u"byou"_qs] = u"-1"_qs;
        m_form->setStartRequest(RunAction::Restart);
        loadedForm();
        QVERIFY(m_platform->power.requests.isEmpty()); // not before the window is up
        QTRY_COMPARE(m_platform->power.requests, QStringList{u"Reboot"_qs});

        FakePlatform other;
        other.desktop.runningCopy = RequestOutcome::PowerAccepted;
        Form1 second(other.services());
        second.setStartRequest(RunAction::Suspend);
        second.Form_Load();
        QCOMPARE(other.desktop.handedOn, QList<std::optional<RunAction>>{RunAction::Suspend});
        QVERIFY(other.desktop.ended && other.power.requests.isEmpty());

        FakePlatform p;
        Form1 third(p.services());
        third.Form_Load();
        p.desktop.startAgain(RunAction::RunOnly);
        p.desktop.startAgain(RunAction::ShutDown);
        QTRY_COMPARE(p.journal.lines.filter(u"a later start asked for 終了"_qs).size(), 1);
        p.clock.onSleep = [&] {
            p.desktop.startAgain(RunAction::ShutDown);
            QTest::qWait(1); // the pause takes input
        };
        RunConfig.byou = 0;
        third.run().test_Click();
        p.clock.onSleep = nullptr;
        QTest::mouseClick(third.window()->setting, Qt::LeftButton);
        p.desktop.startAgain(RunAction::ShutDown);
        QTRY_COMPARE(p.journal.lines.filter(u"a later start asked for 終了"_qs).size(), 3);
        QVERIFY(p.power.requests.isEmpty());
        QCOMPARE(p.journal.lines.filter(u"run started by"_qs).size(), 2);
        QCOMPARE(p.journal.lines.filter(u"dropped"_qs).size(), 3);
    }

    void quitWritesThePositionOnceAndEnds()
    {
        m_platform->store.values = {{u"Form1Top"_qs, u"1440"_qs}, {u"Form1Left"_qs, u"-150"_qs}};
        loadedForm();
        m_platform->store.replacements.clear();
        QTest::mouseClick(view().Cancel1, Qt::LeftButton);
        QCOMPARE(positionWrites(), (QStringList{u"Form1Top=1440"_qs, u"Form1Left=-150"_qs}));
        QCOMPARE(m_platform->store.replacements.size(), 1);
        QVERIFY(m_platform->desktop.ended);
    }

    // Catches a store that forgets the user's place because a monitor was
    // missing at one start, and one written merely by starting.
    void aWindowMovedOnScreenKeepsItsStoredPlaceUntilMoved()
    {
        m_platform->store.values = {{u"Form1Top"_qs, u"450000"_qs}, {u"Form1Left"_qs, u"1e30"_qs}};
        loadedForm();
        QCOMPARE(view().pos(), QPoint(0, 0));
        QVERIFY(m_platform->store.writes.isEmpty());
        m_form->SavePosition();
        QCOMPARE(positionWrites(), (QStringList{u"Form1Top=450000"_qs, u"Form1Left=1e+30"_qs}));
        view().move(30, 40);
        m_form->SavePosition();
        QCOMPARE(positionWrites().mid(2), (QStringList{u"Form1Top=600"_qs, u"Form1Left=450"_qs}));
    }

    void closingTheFrameWritesOnceAndEndsTheProgram()
    {
        loadedForm();
        QSignalSpy lastClosed(m_form.get(), &Form1::lastWindowClosed);
        view().move(30, 40);
        view().close();
        QCOMPARE(positionWrites(), (QStringList{u"Form1Top=600"_qs, u"Form1Left=450"_qs}));
        QVERIFY(!m_form->isLoaded());
        QCOMPARE(lastClosed.count(), 1);
        QVERIFY(!m_platform->desktop.ended);
    }

    // Return held on 設定 opened the settings window with its first press, and
    // the first repeat pressed OK there: the window closed and the file was
    // saved again. No repeat of Enter, Space or Esc may press, toggle or close
    // anything there, whether the display marks it or it comes as a release
    // and a press at one moment.
    void aHeldKeyPressesNothingInTheSettingsWindow_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        for (const QString &focus : {u"ok2"_qs, u"Save"_qs, u"Cancel2"_qs, u"sansyou1"_qs, u"Check1"_qs, u"Check6"_qs,
                                     u"Text1"_qs}) {
            for (const int key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape})
                QTest::addRow("%s %d", qPrintable(focus), key) << focus << key;
        }
    }
    void aHeldKeyPressesNothingInTheSettingsWindow()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        m_platform->store.values = {{u"Check1"_qs, u"1"_qs}, {u"kidou1"_qs, u"/x"_qs}};
        loadedForm().window()->setting->setFocus();
        QTest::keyPress(view().setting, Qt::Key_Return);
        Form2 *settings = m_form->settingsWindow();
        settings->Save->setEnabled(true);
        const QStringList writes = m_platform->store.writes;
        auto *target = settings->findChild<QWidget *>(focus);
        target->setFocus();
        // A dialog that opens all the same is closed, so that the test ends.
        QTimer::singleShot(500, [] { QApplication::activeModalWidget() && QApplication::activeModalWidget()->close(); });
        for (quint64 at = 1000; at < 1100; at += 30) {
            for (const auto &[type, repeat] : {std::pair{QEvent::KeyPress, true}, {QEvent::KeyRelease, false},
                                               {QEvent::KeyPress, false}}) {
                QKeyEvent event(type, key, Qt::NoModifier, key == Qt::Key_Space ? u" "_qs : QString(), repeat);
                event.setTimestamp(at);
                QApplication::sendEvent(target, &event);
            }
        }
        QVERIFY(settings->isVisible() && !m_form->isLoaded() && !settings->browseDialog());
        QCOMPARE(m_platform->store.writes, writes);
        QCOMPARE(checkValue(settings->Check[1]) * 10 + checkValue(settings->Check[6]), 10);
    }

    void openingTheSettingsWindowUnloadsTheMainWindowOnce()
    {
        loadedForm();
        QTest::mouseClick(view().setting, Qt::LeftButton);
        QCOMPARE(positionWrites().size(), 2);
        QVERIFY(!m_form->isLoaded());
        QVERIFY(m_form->settingsWindow());
    }
};

QUENBY_TEST_MAIN(Form1Test)
#include "form1_test.moc"
