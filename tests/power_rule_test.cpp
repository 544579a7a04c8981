#include "fakes/fake_platform.h"
#include "scratch.h"

#include "main_window/form1.h"
#include "main_window/main_window_view.h"
#include "settings/form2.h"
#include "settings/run_config.h"

#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

using namespace quenby;
using namespace quenby::test;

namespace {

struct RunButton
{
    QPushButton *MainWindowView::*member;
    Qt::Key letter;
    QString recordName; // as "run started by ..." names it
    QString method;     // the power request it may end in; none for run only
};

const RunButton kRunButtons[] = {
    {&MainWindowView::ok1, Qt::Key_Q, QStringLiteral("終了 (shut down)"), QStringLiteral("PowerOff")},
    {&MainWindowView::reboot, Qt::Key_R, QStringLiteral("再起動 (restart)"), QStringLiteral("Reboot")},
    {&MainWindowView::Suspend, Qt::Key_P, QStringLiteral("サスペンド (suspend)"), QStringLiteral("Suspend")},
    {&MainWindowView::test, Qt::Key_T, QStringLiteral("実行のみ (run only)"), QString()},
};

// A press as the user made it: which button, how many runs had started, and
// whether one was going on.
struct Press
{
    int button;
    int runs;
    bool busy;
};

// One life of the program on the fake platform: a random configuration, and
// a seeded stream of a user's presses, keys and closes at every moment where
// the run lets input in (a slot's wait, the pause, a message, the outstanding
// power request). Whatever breaks the power rule lands in `faults`.
class Life
{
public:
    explicit Life(quint32 seed) : m_random(seed), m_form(m_platform.services())
    {
        configure();
        hookMoments();
        QObject::connect(&m_form, &Form1::lastWindowClosed, [this] { m_quit = true; });
        m_form.Form_Load();
    }

    QStringList live()
    {
        for (int step = 0; step < 10 && !ended(); ++step) {
            act();
            if (std::exchange(m_animating, false))
                QTest::qWait(120);
        }
        // A later start waits for its answer: every request gets one.
        QTest::qWait(1);
        if (m_platform.desktop.answers.size() != m_handedOver)
            fault(QStringLiteral("%1 later starts, %2 answers").arg(m_handedOver).arg(m_platform.desktop.answers.size()));
        if (!m_faults.isEmpty())
            m_faults << QStringLiteral("\nwhat happened: ") + m_platform.log.join(QStringLiteral(" | "));
        return m_faults;
    }

private:
    bool ended() const { return m_platform.desktop.ended || m_quit; }
    bool chance(int percent) { return int(m_random.bounded(100)) < percent; }
    MainWindowView *window() const { return m_form.window(); }
    void fault(const QString &what) { m_faults << what; }

    void configure()
    {
        RunConfig = {};
        for (int n = 1; n <= 7; ++n)
            RunConfig.check[n] = chance(50) ? 1 : 0;
        for (int n = 1; n <= 5; ++n) {
            RunConfig.kidou[n] = QStringLiteral("/s%1").arg(n);
            if (chance(15))
                m_platform.processes.failures[slotRequest(n)] = chance(50) ? 5 : 53;
        }
        RunConfig.byou = qint32(m_random.bounded(4)) - 1;
        if (chance(30))
            m_platform.power.refusal = QStringLiteral("denied");
        m_platform.processes.endAtOnce = false;
    }

    static QString slotRequest(int n) { return QStringLiteral("slot%1:/s%1").arg(n); }

    void hookMoments()
    {
        FakePlatform &p = m_platform;
        p.processes.onStart = [this](qint64 pid, const QString &request) {
            if (request.startsWith(QStringLiteral("slot")))
                onSlotStarted(pid);
            // Inside the wait's own event loop, then the program ends.
            QTimer::singleShot(0, &m_form, [this, pid] {
                actSometimes();
                m_platform.processes.end(pid);
            });
        };
        p.clock.onSleep = [this] { actSometimes(); };
        p.desktop.onMessageBox = [this](const QString &) { actSometimes(); };
        p.power.onRequest = [this](const QString &method) {
            onPowerRequest(method);
            actSometimes();
        };
        p.journal.onRecord = [this](const QString &line) {
            if (line.startsWith(QStringLiteral("run started by ")))
                onRunStarted(line.mid(15));
        };
    }

    void onSlotStarted(qint64 pid)
    {
        for (qint64 other : std::as_const(m_slotPids)) {
            if (m_platform.processes.isRunning(other))
                fault(QStringLiteral("a slot started while another still ran"));
        }
        m_slotPids << pid;
    }

    // A run starts only from a press of its button begun while no run went
    // on, and since the last run started.
    void onRunStarted(const QString &name)
    {
        int button = 0;
        while (button < 4 && kRunButtons[button].recordName != name)
            ++button;
        const bool pressed = std::any_of(m_presses.cbegin(), m_presses.cend(), [&](const Press &p) {
            return p.button == button && !p.busy && p.runs == m_runs;
        });
        if (!pressed)
            fault(QStringLiteral("a run of %1 started without a press of it begun while idle").arg(name));
        ++m_runs;
        m_runButton = button;
        m_runStartedAt = m_platform.processes.started.size();
        m_messagesAt = m_platform.desktop.messages.size();
    }

    void onPowerRequest(const QString &method)
    {
        if (++m_powerRequests > 1)
            fault(QStringLiteral("a second power request"));
        if (m_userEnded)
            fault(QStringLiteral("a power request after the user asked to end"));
        for (const auto &[number, shown] : m_platform.notifications.shown) {
            if (isCountdown(shown) && !shown.withdrawn)
                fault(QStringLiteral("the pause's notice still up at the power request"));
        }
        if (m_runButton < 0 || kRunButtons[m_runButton].method != method)
            fault(QStringLiteral("%1 requested by a run of another button").arg(method));
        for (int n = 1; n <= 5; ++n) {
            if (RunConfig.check[n] == 1 && !slotStartedOrTold(n))
                fault(QStringLiteral("slot %1 neither started nor reported before %2").arg(n).arg(method));
        }
    }

    bool slotStartedOrTold(int n) const
    {
        const QStringList &started = m_platform.processes.started;
        if (started.indexOf(slotRequest(n), m_runStartedAt) >= 0)
            return true;
        const QStringList told = m_platform.desktop.messages.mid(m_messagesAt);
        return std::any_of(told.cbegin(), told.cend(), [](const QString &m) { return m.contains(u'№'); });
    }

    void actSometimes()
    {
        for (int i = int(m_random.bounded(3)); i > 0 && !ended(); --i)
            act();
    }

    // A user's act: 0-4 press a run button (click, Alt key, held key's
    // repeats, a later start, a mouse press to be let go later), then let go
    // of that press, Cancel, the close box, 設定, close the settings window,
    // 取り消す on the pause's notification.
    void act()
    {
        const int button = int(m_random.bounded(4));
        const int what = int(m_random.bounded(11));
        m_platform.log << QStringLiteral("user:%1/%2").arg(what).arg(button);
        if (what <= 4)
            return pressRunButton(button, what);
        if (what == 5 && m_held)
            QTest::mouseRelease(m_held, Qt::LeftButton);
        else if (what == 6)
            cancel();
        else if (what == 7)
            closeBox();
        else if (what == 8 && window())
            QTest::mouseClick(window()->setting, Qt::LeftButton);
        else if (what == 9)
            closeSettings();
        else if (what == 10)
            answerNotice();
    }

    // Keys reach the active window only; events run while it waits, so the
    // window may go meanwhile.
    bool activeWindow()
    {
        const QPointer<MainWindowView> shown = window();
        if (!shown)
            return false;
        shown->activateWindow();
        for (int waited = 0; shown && !shown->isActiveWindow() && waited < 500; waited += 5)
            QTest::qWait(5);
        return shown && shown->isActiveWindow() && shown == window();
    }

    void pressRunButton(int button, int how)
    {
        static const std::optional<RunAction> requests[] = {RunAction::ShutDown, RunAction::Restart, RunAction::Suspend,
                                                 RunAction::RunOnly};
        if (how == 3 && m_platform.desktop.startedAgain) {
            m_presses << Press{button, m_runs, m_form.run().isRunning()};
            ++m_handedOver;
            return m_platform.desktop.startAgain(requests[button]);
        }
        const bool keys = how == 1 || how == 2;
        QPushButton *b = (!keys || activeWindow()) && window() ? window()->*kRunButtons[button].member : nullptr;
        if (!b || how == 3)
            return;
        m_animating = keys; // a key accelerator clicks a moment after the key
        if (how == 2) {
            // Only a held key's repeats, as when it went down in the settings
            // window before this one loaded: none may press anything.
            b->setFocus();
            QTest::simulateEvent(b, true, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
            return QTest::simulateEvent(b, true, kRunButtons[button].letter, Qt::AltModifier, QString(), true);
        }
        m_presses << Press{button, m_runs, m_form.run().isRunning()};
        if (how == 0)
            QTest::mouseClick(b, Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(window(), kRunButtons[button].letter, Qt::AltModifier);
        else
            QTest::mousePress(m_held = b, Qt::LeftButton);
    }

    void cancel()
    {
        if (!window())
            return;
        const bool byKey = chance(50) && activeWindow();
        if (ended() || !window())
            return;
        m_userEnded = true;
        if (byKey)
            QTest::keyClick(window(), Qt::Key_C, Qt::AltModifier);
        else
            QTest::mouseClick(window()->Cancel1, Qt::LeftButton);
        if (!ended())
            fault(QStringLiteral("Cancel did not end the program at once"));
    }

    void closeBox()
    {
        if (!window())
            return;
        m_userEnded = true;
        window()->close();
        if (m_form.run().isRunning() && !ended())
            fault(QStringLiteral("closing the window during a run did not end the program"));
    }

    // The pause's notice is the one with a button; a run asked for from
    // outside that did not happen is told in one without.
    static bool isCountdown(const FakeNotifications::Shown &shown) { return !shown.notice.actionLabel.isEmpty(); }

    // 取り消す on the pause's notification: Cancel while the notice is up,
    // nothing at all once it has been withdrawn.
    void answerNotice()
    {
        const auto &shown = m_platform.notifications.shown;
        const auto last = std::find_if(shown.rbegin(), shown.rend(), [](const auto &n) { return isCountdown(n.second); });
        if (last == shown.rend() || ended())
            return;
        const auto &[number, notice] = *last;
        m_userEnded = m_userEnded || !notice.withdrawn;
        m_platform.notifications.answer(number);
        if (ended() == notice.withdrawn)
            fault(notice.withdrawn ? QStringLiteral("a withdrawn notice's 取り消す ended the program")
                                   : QStringLiteral("取り消す on the notice did not end the program at once"));
    }

    void closeSettings()
    {
        Form2 *settings = m_form.settingsWindow();
        if (!settings || !settings->isVisible())
            return;
        if (chance(50))
            settings->close();
        else
            QTest::mouseClick(chance(50) ? settings->Cancel2 : settings->ok2, Qt::LeftButton);
    }

    QRandomGenerator m_random;
    FakePlatform m_platform;
    Form1 m_form;
    QStringList m_faults;
    QList<Press> m_presses;
    QList<qint64> m_slotPids;
    QPointer<QPushButton> m_held;
    int m_runs = 0;
    int m_runButton = -1;
    qsizetype m_runStartedAt = 0;
    qsizetype m_messagesAt = 0;
    int m_powerRequests = 0;
    bool m_userEnded = false;
    bool m_animating = false;
    bool m_quit = false; // no window left: the program's event loop ends
    int m_handedOver = 0;
};

} // namespace

class PowerRuleTest final : public QObject
{
    Q_OBJECT

private slots:
    // A press held back during the pause used to start a shut-down once a
    // run-only run was over, and nothing stopped the pause. Over many lives
    // of the program: at most one power request, only for the button whose
    // press started the run, only once every ticked slot was started or
    // reported, never after Cancel or the close box; no slot started while
    // another runs; no press carried out after the run it began in.
    void randomUseNeverPowersOffUnasked()
    {
        const quint32 first = quint32(qEnvironmentVariableIntValue("QUENBY_SEED"));
        const quint32 lives = first ? 1 : 150;
        for (quint32 seed = first ? first : 1; seed < (first ? first : 1) + lives; ++seed) {
            const QStringList faults = Life(seed).live();
            QVERIFY2(faults.isEmpty(),
                     qPrintable(QStringLiteral("seed %1 (QUENBY_SEED=%1 repeats it): %2").arg(seed).arg(faults.join(QStringLiteral("; ")))));
        }
    }
};

QUENBY_TEST_MAIN(PowerRuleTest)
#include "power_rule_test.moc"
