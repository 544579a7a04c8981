#include "fakes/fake_platform.h"
#include "scratch.h"

#include "main_window/form1.h"
#include "main_window/main_window_view.h"
#include "run/pause.h"
#include "settings/form2.h"
#include "settings/run_config.h"

#include <QDateTime>
#include <QLabel>
#include <QRegularExpression>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace quenby;
using namespace quenby::test;

namespace {

const QString kSlotCheck53 = QStringLiteral("設定画面の №2 の欄を確認\r\n"
                                            "ディレクトリ 又は、ファイル名が違うか ファイルが存在しません。\r\n"
                                            "実行させたいファイルのフルパスを確認してください。");
const QString kSlotCheck5 = QStringLiteral("設定画面の №2 の欄を確認\r\n"
                                           "実行させたいファイルのフルパスを確認してください。");

QString command(const QString &path)
{
    return QStringLiteral("command.com /c ") + path;
}

QString slot(int n, const QString &text)
{
    return QStringLiteral("slot%1:").arg(n) + text;
}

// A clock whose every other sleep returns before the second has changed, as a
// timer may wake a little early.
class EarlyWakingClock : public Clock
{
public:
    qint64 nowSeconds() override { return now; }
    void sleepUntilNextSecond() override
    {
        ++sleeps;
        if (sleeps % 2 == 0)
            ++now;
    }
    qint64 now = 500;
    int sleeps = 0;
};

} // namespace

class RunSequenceTest final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Form1> m_form;

    FakePlatform &fake() { return *m_platform; }
    RunSequence &run() { return m_form->run(); }
    QString status() const { return m_form->window() ? m_form->window()->Label1->text() : QString(); }

    void enableSlot(int n, const QString &path, qint32 check = 1)
    {
        RunConfig.check[n] = check;
        // The clean-ups (6 and 7) have a check state only; kidou ends at slot 5.
        if (n <= 5)
            RunConfig.kidou[n] = path;
    }
    int logIndex(const QString &entry) const { return m_platform->log.indexOf(entry); }

private slots:
    void init()
    {
        m_platform = std::make_unique<FakePlatform>();
        m_form = std::make_unique<Form1>(m_platform->services());
        m_form->Form_Load();
        // The run reads only the in-memory configuration.
        RunConfig = {};
    }
    void cleanup()
    {
        m_form.reset();
        m_platform.reset();
    }

    void nothingEnabledShutsDownAfterAtMostOneSecond()
    {
        QTest::mouseClick(m_form->window()->ok1, Qt::LeftButton);

        QCOMPARE(fake().clock.sleeps, 1);
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("PowerOff")});
        QCOMPARE(status(), QStringLiteral("Windowsを終了します"));
        QVERIFY(fake().desktop.ended);
        QVERIFY(fake().processes.started.isEmpty());
        // The position is stored at the start, before anything else happens.
        QVERIFY(logIndex(QStringLiteral("save:Form1Top=0")) < logIndex(QStringLiteral("sleep")));
        QVERIFY(logIndex(QStringLiteral("sleep")) < logIndex(QStringLiteral("power:PowerOff")));
        QVERIFY(logIndex(QStringLiteral("power:PowerOff")) < logIndex(QStringLiteral("end")));
        QCOMPARE(fake().desktop.beeps, 0);
    }

    void slotsRunInOrderEachWaitedForAndOnlyCheckOneCounts_data()
    {
        QTest::addColumn<qint32>("slot2Check");
        QTest::newRow("unticked") << 0;
        QTest::newRow("grayed") << 2;
        QTest::newRow("negative") << -1;
        QTest::newRow("257 (1 in its low byte)") << 257;
    }
    void slotsRunInOrderEachWaitedForAndOnlyCheckOneCounts()
    {
        QFETCH(qint32, slot2Check);
        enableSlot(1, QStringLiteral("/opt/a b.sh"));
        enableSlot(2, QStringLiteral("/opt/two.sh"), slot2Check);
        enableSlot(3, QStringLiteral("/opt/three.sh"));
        enableSlot(6, QString(), slot2Check);
        enableSlot(7, QString(), slot2Check);

        run().ok1_Click();

        QCOMPARE(fake().processes.started,
                 QStringList({slot(1, QStringLiteral("/opt/a b.sh")), slot(3, QStringLiteral("/opt/three.sh"))}));
        // Slot 3 starts only once slot 1's process has ended.
        QVERIFY(logIndex(QStringLiteral("ended:1001"))
                < logIndex(QStringLiteral("start:") + slot(3, QStringLiteral("/opt/three.sh"))));
        QCOMPARE(run().currentSlot, 3);
        QCOMPARE(run().programPath, QStringLiteral("/opt/three.sh"));
        QCOMPARE(run().commandLine, command(QStringLiteral("/opt/three.sh")));
        QCOMPARE(run().taskId, 1002);
    }

    void cleanUpsStartWithTheirExactTextsUnwaitedBeforeThePause()
    {
        fake().processes.endAtOnce = false; // a wait would never end
        enableSlot(6, QString());
        enableSlot(7, QString());
        RunConfig.byou = 2;

        run().ok1_Click();

        const QString temp = QStringLiteral("command.com /c deltree /Y /home/tester\\temp\\*.*");
        const QString recent = QStringLiteral("command.com /c deltree /Y /home/tester\\recent\\*.*");
        QCOMPARE(fake().processes.started,
                 QStringList({QStringLiteral("emptyTempFolder"), QStringLiteral("clearRecentDocuments")}));
        QVERIFY(fake().log.filter(QStringLiteral("watch:")).isEmpty());
        QVERIFY(logIndex(QStringLiteral("start:clearRecentDocuments")) < logIndex(QStringLiteral("sleep")));
        // The recorded texts are the commands', in order.
        QVERIFY(fake().journal.lines.indexOf(QStringLiteral("clean-up 6: ") + temp)
                < fake().journal.lines.indexOf(QStringLiteral("clean-up 7: ") + recent));
        QCOMPARE(run().commandLine, recent);
        QCOMPARE(run().taskId, 1002);
        QCOMPARE(fake().power.requests.size(), 1);
    }

    // A failed backup used to leave no trace anywhere: every step of a run is
    // recorded in order, a program's own failure and the refusal included.
    void everyStepOfARunIsRecordedInOrder()
    {
        fake().processes.endAtOnce = false;
        enableSlot(1, QStringLiteral("/opt/backup.sh --full"));
        enableSlot(2, QStringLiteral("/opt/sync.sh"));
        enableSlot(6, QString());
        enableSlot(7, QString());
        RunConfig.byou = 2;
        fake().power.refusal = QStringLiteral("Access denied");
        fake().processes.onStart = [&](qint64 pid, const QString &request) {
            if (!request.startsWith(QStringLiteral("slot")))
                return;
            const ProcessEnd how = pid == 1001 ? ProcessEnd{true, false, 3} : ProcessEnd{true, true, 9};
            QTimer::singleShot(0, m_form.get(), [&, pid, how] { fake().processes.end(pid, how); });
        };

        run().reboot_Click();

        QStringList lines = fake().journal.lines;
        lines.replaceInStrings(QRegularExpression(QStringLiteral(" after \\d+\\.\\d s$")), QStringLiteral(" after N s"));
        const QStringList expected{
            QStringLiteral("run started by 再起動 (restart)"),
            QStringLiteral("slot 1: command.com /c /opt/backup.sh --full"),
            QStringLiteral("slot 1: started as process 1001"),
            QStringLiteral("slot 1: ended with exit status 3 after N s"),
            QStringLiteral("slot 2: command.com /c /opt/sync.sh"),
            QStringLiteral("slot 2: started as process 1002"),
            QStringLiteral("slot 2: ended by signal 9 after N s"),
            QStringLiteral("clean-up 6: command.com /c deltree /Y /home/tester\\temp\\*.*"),
            QStringLiteral("clean-up 6: started as process 1003"),
            QStringLiteral("clean-up 7: command.com /c deltree /Y /home/tester\\recent\\*.*"),
            QStringLiteral("clean-up 7: started as process 1004"),
            QStringLiteral("pause of 2 s"),
            QStringLiteral("power request Reboot"),
            QStringLiteral("power request Reboot refused: Access denied"),
        };
        QCOMPARE(lines, expected);
        QCOMPARE(fake().journal.warnings.size(), 3);
        // Each line is written as its step happens, not gathered at the end.
        QVERIFY(logIndex(QStringLiteral("journal:pause of 2 s")) < logIndex(QStringLiteral("sleep")));
        QVERIFY(logIndex(QStringLiteral("journal:power request Reboot")) < logIndex(QStringLiteral("power:Reboot")));
    }

    void slotThatIsNotFoundStopsTheRunAtItsSettings()
    {
        enableSlot(1, QStringLiteral("/a"));
        enableSlot(2, QStringLiteral("/missing"));
        enableSlot(3, QStringLiteral("/c"));
        enableSlot(6, QString());
        fake().processes.failures[slot(2, QStringLiteral("/missing"))] = 53;

        run().reboot_Click();

        QCOMPARE(fake().desktop.beeps, 1);
        QCOMPARE(fake().desktop.messages, QStringList{kSlotCheck53});
        QVERIFY(logIndex(QStringLiteral("beep")) < logIndex(QStringLiteral("msg:") + kSlotCheck53));
        QVERIFY(m_form->settingsWindow());
        QVERIFY(m_form->settingsWindow()->focusWidget());
        QCOMPARE(m_form->settingsWindow()->focusWidget()->objectName(), QStringLiteral("Text2"));
        QCOMPARE(fake().processes.started, QStringList{slot(1, QStringLiteral("/a"))});
        QCOMPARE(fake().clock.sleeps, 0);
        QVERIFY(fake().power.requests.isEmpty());
        QVERIFY(!fake().desktop.ended);
        QCOMPARE(run().runMode, 1);
        QCOMPARE(run().commandLine, command(QStringLiteral("/missing")));
        QCOMPARE(run().taskId, 1001); // the failed start leaves it alone
        QVERIFY(!run().isRunning());
        QVERIFY(fake().journal.warnings.contains(QStringLiteral("slot 2: cannot be started (error 53): failed")));
        QCOMPARE(fake().journal.lines.last(), QStringLiteral("run stopped at slot 2"));
    }

    // A blank slot stopped every run, opening the settings window each time,
    // though it starts nothing. A text the settings file could not give (not
    // UTF-8) reads as empty too, but it is no blank: the run stops there.
    void aBlankSlotStartsNothingAndTheRunGoesOn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blanks, an ideographic space among them") << QStringLiteral(" \t\u3000 ") << false;
        QTest::newRow("not UTF-8") << QString() << true;
    }
    void aBlankSlotStartsNothingAndTheRunGoesOn()
    {
        QFETCH(QString, text);
        QFETCH(bool, unreadable);
        enableSlot(2, text);
        enableSlot(3, QStringLiteral("/opt/three.sh"));
        RunConfig.kidouUnreadable[2] = unreadable;
        run().ok1_Click();
        const QStringList started{slot(3, QStringLiteral("/opt/three.sh"))};
        QCOMPARE(fake().processes.started, unreadable ? QStringList() : started);
        QCOMPARE(fake().desktop.messages, unreadable ? QStringList{kSlotCheck53} : QStringList());
        QCOMPARE(fake().power.requests.size(), unreadable ? 0 : 1);
        QVERIFY(fake().journal.lines.contains(
            QStringLiteral("slot 2: ") + (unreadable ? QStringLiteral("cannot be started (error 53): its stored text is not UTF-8")
                                                     : QStringLiteral("no program text: nothing is started"))));
    }

    // A script saved with Windows line endings cannot be started; the message
    // says why after the slot's own lines.
    void scriptWithWindowsLineEndingsSaysSo()
    {
        enableSlot(2, QStringLiteral("/missing"));
        fake().processes.failures[slot(2, QStringLiteral("/missing"))] = 53;
        fake().processes.hints[slot(2, QStringLiteral("/missing"))] = StartHint::WindowsLineEndings;
        run().ok1_Click();
        QCOMPARE(fake().desktop.messages,
                 QStringList{kSlotCheck53 + QStringLiteral("\r\nファイルの改行が Windows 形式 (CRLF) になっています。"
                                                           "改行を LF にして保存し直してください。")});
        QVERIFY(fake().power.requests.isEmpty());
    }

    void slotWithABadArgumentIsReportedAndTheRunGoesOn()
    {
        enableSlot(2, QStringLiteral("/bad"));
        enableSlot(3, QStringLiteral("/c"));
        enableSlot(7, QString());
        fake().processes.failures[slot(2, QStringLiteral("/bad"))] = 5;

        run().reboot_Click();

        QCOMPARE(fake().desktop.messages, QStringList{kSlotCheck5});
        QCOMPARE(m_form->settingsWindow()->focusWidget()->objectName(), QStringLiteral("Text2"));
        QCOMPARE(fake().processes.started.size(), 2); // slot 3 and the clean-up
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("Reboot")});
        QVERIFY(fake().desktop.ended);
    }

    // A slot that could not start for want of memory or room for a process
    // used to be passed over with a beep alone, and the machine went off. It
    // is said now, while the main window keeps working so that Cancel stops
    // the run; the run still goes on.
    void otherStartFailuresAreToldAndTheRunGoesOn()
    {
        enableSlot(1, QStringLiteral("/denied"));
        enableSlot(2, QStringLiteral("/b"));
        fake().processes.failures[slot(1, QStringLiteral("/denied"))] = 75;

        run().ok1_Click();

        QCOMPARE(fake().desktop.beeps, 1);
        QCOMPARE(fake().desktop.messages,
                 QStringList{u"設定画面の №1 のプログラムを起動できませんでした (エラー 75)。\r\n"
                             "処理はこのまま続きます。中止するときは Cancel を押してください。"_qs});
        QCOMPARE(fake().desktop.messageWaits, QList{Desktop::MessageWait::KeepingWindowsWorking});
        QVERIFY(!m_form->settingsWindow());
        QCOMPARE(fake().processes.started, QStringList{slot(2, QStringLiteral("/b"))});
        QCOMPARE(fake().power.requests.size(), 1);
    }

    // A clean-up that cannot start used to be reported as the last slot run
    // (or №0), sending the user to a path box that was not at fault.
    void aCleanUpThatCannotStartNamesItself()
    {
        enableSlot(2, QStringLiteral("/b"));
        enableSlot(6, QString());
        enableSlot(7, QString());
        fake().processes.failures[QStringLiteral("emptyTempFolder")] = 5;

        run().ok1_Click();

        QCOMPARE(fake().desktop.messages,
                 QStringList{u"設定画面の №6 の後片付けを開始できませんでした。\r\n後片付けの補助プログラム "
                             "quenby-clean を実行できません。Quenby をインストールし直してください。"_qs});
        QVERIFY(m_form->settingsWindow());
        // Error 5: the recent-documents clean-up and the power action still follow.
        QCOMPARE(fake().processes.started.size(), 2);
        QCOMPARE(fake().power.requests.size(), 1);
    }

    void pauseOutOfSixteenBitsIsSkippedWithABeep_data()
    {
        QTest::addColumn<qint32>("byou");
        QTest::newRow("40000") << 40000;
        QTest::newRow("32768") << 32768;
        QTest::newRow("-32769") << -32769;
    }
    void pauseOutOfSixteenBitsIsSkippedWithABeep()
    {
        QFETCH(qint32, byou);
        RunConfig.byou = byou;
        run().ok1_Click();
        QCOMPARE(fake().desktop.beeps, 1);
        QVERIFY(fake().desktop.messages.isEmpty());
        QVERIFY(!m_form->settingsWindow());
        QCOMPARE(fake().clock.sleeps, 0);
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("PowerOff")});
        QCOMPARE(fake().journal.warnings.first(),
                 QStringLiteral("pause skipped: %1 s is outside -32768..32767").arg(byou));
    }

    void pauseLastsMoreThanNAndAtMostNPlusOneSeconds_data()
    {
        QTest::addColumn<qint32>("byou");
        QTest::addColumn<int>("seconds");
        QTest::newRow("negative ends at once") << -5 << 0;
        QTest::newRow("-32768") << -32768 << 0;
        QTest::newRow("0 ends at the next second") << 0 << 1;
        QTest::newRow("3") << 3 << 4;
        QTest::newRow("32767") << 32767 << 32768;
    }
    void pauseLastsMoreThanNAndAtMostNPlusOneSeconds()
    {
        QFETCH(qint32, byou);
        QFETCH(int, seconds);
        FakeClock &clock = fake().clock;
        const qint64 start = clock.now;
        QCOMPARE(PauseSeconds(byou, clock), 0);
        QCOMPARE(clock.now - start, seconds);

        EarlyWakingClock early;
        QCOMPARE(PauseSeconds(byou, early), 0);
        QCOMPARE(early.now - 500, seconds);
    }

    void clicksDuringThePauseStartNoSecondRun()
    {
        RunConfig.byou = 2;
        enableSlot(1, QStringLiteral("/a"));
        fake().clock.onSleep = [this] {
            run().test_Click();
            run().reboot_Click();
            QVERIFY(run().isRunning());
        };
        run().ok1_Click();
        QCOMPARE(fake().processes.started.size(), 1);
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("PowerOff")});
        QCOMPARE(run().runOnly, 0);
    }

    // The status line keeps its texts; the step under way shows beside it (its
    // tooltip, what a screen reader says) and on the taskbar entry, with the
    // pause's seconds left counting down.
    void progressShowsEachSlotAndThePauseCountingDown()
    {
        enableSlot(1, QStringLiteral("/a"));
        enableSlot(3, QStringLiteral("/c"));
        RunConfig.byou = 2;
        QStringList steps;
        fake().processes.onStart = [&](qint64, const QString &) { steps << m_form->window()->Label1->toolTip(); };
        fake().clock.onSleep = [&] {
            QCOMPARE(m_form->window()->Label1->accessibleDescription(), m_form->window()->Label1->toolTip());
            steps << m_form->window()->Label1->toolTip();
        };
        run().reboot_Click();
        QCOMPARE(steps, QStringList({u"№1 を実行中"_qs, u"№3 を実行中"_qs, u"あと 2 秒で再起動"_qs, u"あと 1 秒で再起動"_qs,
                                     u"あと 1 秒で再起動"_qs}));
        QCOMPARE(fake().progress.shown,
                 QStringList({u"0%"_qs, u"33%"_qs, u"67% 2"_qs, u"78% 1"_qs, u"89% 1"_qs, u"clear"_qs}));
    }

    void thePauseCountsDownInTheWindowAndOnTheDesktop_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("word");   // in the window
        QTest::addColumn<QString>("action"); // on the desktop; empty for no notification
        QTest::newRow("終了") << int(RunAction::ShutDown) << u"終了"_qs << u"シャットダウン"_qs;
        QTest::newRow("再起動") << int(RunAction::Restart) << u"再起動"_qs << u"再起動"_qs;
        QTest::newRow("サスペンド") << int(RunAction::Suspend) << u"サスペンド"_qs << u"サスペンド"_qs;
        QTest::newRow("実行のみ") << int(RunAction::RunOnly) << u"完了"_qs << QString();
    }
    // Catches seconds left that only a tooltip shows, a notification for a
    // run that powers nothing off or one still up when the request goes, and
    // a notification that does not say when.
    void thePauseCountsDownInTheWindowAndOnTheDesktop()
    {
        QFETCH(int, button);
        QFETCH(QString, word);
        QFETCH(QString, action);
        RunConfig.byou = 2;
        QStringList shown;
        fake().clock.onSleep = [&] {
            const QLabel *label = m_form->window()->lblCountdown;
            shown << (label->isVisible() ? label->text() : QString());
        };
        const qint64 start = fake().clock.now;
        run().press(RunAction(button), run().pressBegins());

        const QString left = u"あと %1 秒で\n"_qs + word + u"します"_qs;
        QCOMPARE(shown, QStringList({left.arg(2), left.arg(1), left.arg(1)}));
        QVERIFY(!m_form->window() || m_form->window()->lblCountdown->isHidden());
        if (action.isEmpty()) {
            QVERIFY(fake().notifications.shown.empty());
            return;
        }
        QCOMPARE(fake().notifications.shown.size(), size_t(1));
        const Notice &notice = fake().notifications.shown[1].notice;
        const QString when = QDateTime::fromSecsSinceEpoch(start + 3).toString(u"H:mm:ss"_qs);
        QCOMPARE(notice.summary, when + u" にコンピュータを"_qs + action + u"します"_qs);
        QCOMPARE(notice.actionLabel, u"取り消す"_qs);
        QVERIFY(logIndex(u"withdraw:1"_qs) < fake().log.indexOf(QRegularExpression(u"power:.*"_qs)));
    }

    void answeringTheNoticeIsCancelButNotOnceThePauseIsOver_data()
    {
        QTest::addColumn<bool>("duringThePause");
        QTest::newRow("during the pause") << true;
        QTest::newRow("with the request outstanding") << false;
    }
    void answeringTheNoticeIsCancelButNotOnceThePauseIsOver()
    {
        QFETCH(bool, duringThePause);
        RunConfig.byou = 3;
        m_form->window()->move(30, 45);
        if (duringThePause)
            fake().clock.onSleep = [this] { fake().notifications.answer(1); };
        else
            fake().power.onRequest = [this](const QString &) { fake().notifications.answer(1); };
        run().ok1_Click();

        QVERIFY(fake().desktop.ended);
        QCOMPARE(fake().power.requests.isEmpty(), duringThePause);
        QCOMPARE(fake().journal.lines.contains(u"cancelled during the pause: the program ends without a power request"_qs),
                 duringThePause);
        if (!duringThePause)
            return;
        // Cancel's own steps: the position stored, then the notice withdrawn
        // and given its moment before the end.
        QCOMPARE(fake().clock.sleeps, 1);
        QVERIFY(logIndex(u"answer:1"_qs) < fake().log.lastIndexOf(u"save:Form1Top=675"_qs));
        QVERIFY(fake().log.lastIndexOf(u"save:Form1Top=675"_qs) < logIndex(u"withdraw:1"_qs));
        QVERIFY(logIndex(u"withdraw:1"_qs) < logIndex(u"settle"_qs));
        QVERIFY(logIndex(u"settle"_qs) < logIndex(u"end"_qs));
    }

    void runOnlyStaysOpenAndKeepsTheModeForTheNextClick()
    {
        QSignalSpy finished(m_form.get(), &Form1::lastWindowClosed);
        enableSlot(1, QStringLiteral("/a"));
        run().runMode = 1; // run only leaves the mode alone

        QTest::mouseClick(m_form->window()->test, Qt::LeftButton);

        QCOMPARE(status(), QStringLiteral("設定された処理は終了しました"));
        QCOMPARE(run().runOnly, 0);
        QCOMPARE(run().runMode, 1);
        QVERIFY(fake().power.requests.isEmpty());
        QVERIFY(!fake().desktop.ended);
        QVERIFY(m_form->isLoaded());
        QCOMPARE(finished.count(), 0);

        QTest::mouseClick(m_form->window()->ok1, Qt::LeftButton);
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("Reboot")});
    }

    void suspendUnloadsTheWindowThenRequestsAndEnds()
    {
        m_form->window()->move(30, 45);
        run().Suspend_Click();
        QCOMPARE(fake().store.writes.filter(QStringLiteral("Form1Top=")),
                 QStringList({QStringLiteral("Form1Top=675"), QStringLiteral("Form1Top=675")}));
        QVERIFY(!m_form->isLoaded());
        const int secondSave = fake().log.lastIndexOf(QStringLiteral("save:Form1Left=450"));
        QVERIFY(secondSave > logIndex(QStringLiteral("sleep")));
        QVERIFY(secondSave < logIndex(QStringLiteral("power:Suspend")));
        QVERIFY(logIndex(QStringLiteral("power:Suspend")) < logIndex(QStringLiteral("end")));
    }

    void refusedPowerRequestIsShownBeforeTheEnd_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("text");
        QTest::newRow("shut down") << 0 << "PowerOff" << "コンピュータをシャットダウンできませんでした。";
        QTest::newRow("restart") << 1 << "Reboot" << "再起動できませんでした。";
        QTest::newRow("suspend") << 2 << "Suspend" << "サスペンドできませんでした。";
    }
    void refusedPowerRequestIsShownBeforeTheEnd()
    {
        QFETCH(int, mode);
        QFETCH(QString, method);
        QFETCH(QString, text);
        fake().power.refusal = QStringLiteral("Access denied");
        run().runMode = mode;
        run().ok1_Click();
        const QString message = text + QStringLiteral("\r\nこの操作は許可されませんでした。権限がないか、認証が取り消されました。");
        QCOMPARE(fake().desktop.messages, QStringList{message});
        QVERIFY(logIndex(QStringLiteral("power:") + method) < logIndex(QStringLiteral("beep")));
        QVERIFY(logIndex(QStringLiteral("msg:") + message) < logIndex(QStringLiteral("end")));
        QVERIFY(fake().desktop.ended);
    }

    // Pressing "run only" again while a slot ran used to start the slots a
    // second time, and the inner run's end reset runOnly so that the outer run
    // powered the machine off. Every action button pressed inside a wait is
    // now dropped with a beep; the run keeps its mode, and the next press
    // after the run is taken again.
    void pressesDuringAWaitAreDroppedAndTheRunKeepsItsMode()
    {
        fake().processes.endAtOnce = false;
        enableSlot(1, QStringLiteral("/one"));
        enableSlot(2, QStringLiteral("/two"));
        fake().processes.onStart = [&](qint64 pid, const QString &) {
            QTimer::singleShot(0, m_form.get(), [&, pid] {
                if (pid == 1001) {
                    for (QPushButton *b : {m_form->window()->test, m_form->window()->ok1, m_form->window()->reboot,
                                           m_form->window()->Suspend})
                        QTest::mouseClick(b, Qt::LeftButton);
                }
                fake().processes.end(pid);
            });
        };

        QTest::mouseClick(m_form->window()->test, Qt::LeftButton);

        QCOMPARE(fake().processes.started, QStringList({slot(1, QStringLiteral("/one")), slot(2, QStringLiteral("/two"))}));
        QCOMPARE(fake().desktop.beeps, 4);
        QCOMPARE(fake().journal.lines.filter(QStringLiteral("during the run was dropped")).size(), 4);
        QCOMPARE(run().runMode, 0);
        QVERIFY(fake().power.requests.isEmpty());
        QCOMPARE(status(), QStringLiteral("設定された処理は終了しました"));
        QVERIFY(!run().isRunning());

        fake().processes.onStart = nullptr;
        fake().processes.endAtOnce = true;
        QTest::mouseClick(m_form->window()->ok1, Qt::LeftButton);
        QCOMPARE(fake().power.requests, QStringList{QStringLiteral("PowerOff")});
    }

    // The settings window, opened and closed while a slot runs, loads the main
    // window anew; the run keeps its mode, and the window it unloaded (whose
    // button started the run) lives until the run is over.
    void lookingAtTheSettingsDuringARunKeepsItsMode()
    {
        fake().processes.endAtOnce = false;
        enableSlot(1, QStringLiteral("/one"));
        QPointer<MainWindowView> first = m_form->window();
        bool keptDuringRun = false;
        fake().processes.onStart = [&](qint64 pid, const QString &) {
            QTimer::singleShot(0, m_form.get(), [&] {
                m_form->setting_Click();
                m_form->settingsWindow()->close();
            });
            // Back in the wait's own event loop, where a deferred delete would run.
            QTimer::singleShot(20, m_form.get(), [&, pid] {
                keptDuringRun = !first.isNull();
                fake().processes.end(pid);
            });
        };
        QTest::mouseClick(m_form->window()->test, Qt::LeftButton);
        QVERIFY(keptDuringRun);
        QVERIFY(fake().power.requests.isEmpty());
        QVERIFY(!fake().desktop.ended);
        QCOMPARE(status(), QStringLiteral("設定された処理は終了しました"));
        QTRY_VERIFY(first.isNull());
    }

    // Closing the window is asking the program to end, during a run too: it
    // ends at once, and the run that was waiting asks for nothing after.
    void closingTheWindowDuringARunEndsTheProgramAtOnce()
    {
        fake().processes.endAtOnce = false;
        enableSlot(1, QStringLiteral("/one"));
        enableSlot(2, QStringLiteral("/two"));
        fake().processes.onStart = [&](qint64 pid, const QString &) {
            QTimer::singleShot(0, m_form.get(), [&, pid] {
                m_form->window()->close();
                QVERIFY(fake().desktop.ended);
                fake().processes.end(pid);
            });
        };
        run().ok1_Click();
        QCOMPARE(fake().processes.started.size(), 1);
        QVERIFY(fake().power.requests.isEmpty());
        QVERIFY(fake().store.writes.contains(QStringLiteral("Form1Top=0")));
    }
};

QUENBY_TEST_MAIN(RunSequenceTest)
#include "run_sequence_test.moc"
