#include "fakes/fake_platform.h"
#include "scratch.h"

#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/main_window_view.h"
#include "settings/run_config.h"

#include <QPushButton>

using namespace quenby;
using namespace quenby::test;

namespace {

// One copy of the program on the fake platform, and the request it gets.
struct World
{
    FakePlatform p;
    Form1 form{p.services()};
    std::optional<RunAction> request = std::nullopt;
    bool delivered = false;

    // The request as a later start hands it over, once.
    void deliver()
    {
        if (!std::exchange(delivered, true))
            p.desktop.startAgain(request);
    }
    void click(QPushButton *MainWindowView::*button) { QTest::mouseClick(form.window()->*button, Qt::LeftButton); }
};

QString &setting(World &w, const char *key)
{
    return w.p.store.values[QString::fromLatin1(key)];
}

enum class Via { LaterStart, CommandLine, HandedOver, WithoutDisplay };

struct Case
{
    const char *name;
    Via via;
    std::optional<RunAction> request;
    RequestOutcome outcome;
    int status;
    void (*beforeLoad)(World &);
    void (*afterLoad)(World &);
};

// The exit statuses as the help text, the manual pages and the README give
// them, each reached the way a user reaches it.
const Case kCases[] = {
    {"window shown", Via::LaterStart, std::nullopt, RequestOutcome::Shown, 0, nullptr, nullptr},
    {"power accepted", Via::LaterStart, RunAction::ShutDown, RequestOutcome::PowerAccepted, 0, nullptr, nullptr},
    {"power accepted, own command line", Via::CommandLine, RunAction::Restart, RequestOutcome::PowerAccepted, 0,
     nullptr, nullptr},
    {"run only finished", Via::LaterStart, RunAction::RunOnly, RequestOutcome::RunFinished, 0, nullptr, nullptr},
    {"dropped: a run goes on", Via::LaterStart, RunAction::ShutDown, RequestOutcome::DroppedDuringRun, 3,
     [](World &w) {
         setting(w, "byou") = QStringLiteral("1");
         w.p.clock.onSleep = [&w] { w.deliver(), QTest::qWait(1); };
     },
     [](World &w) { w.click(&MainWindowView::test); }},
    {"dropped: the settings window is open", Via::LaterStart, RunAction::Suspend,
     RequestOutcome::DroppedSettingsOpen, 3, nullptr, [](World &w) { w.click(&MainWindowView::setting); }},
    {"dropped: a start-up message is open", Via::LaterStart, RunAction::ShutDown,
     RequestOutcome::DroppedMessageOpen, 3,
     [](World &w) {
         setting(w, "byou") = QStringLiteral("40000");
         w.p.desktop.onMessageBox = [&w](const QString &) { w.deliver(); };
     },
     nullptr},
    {"dropped: a start-up message, own command line", Via::CommandLine, RunAction::ShutDown,
     RequestOutcome::DroppedMessageOpen, 3, [](World &w) { w.p.store.unreadable << QStringLiteral("kidou1"); }, nullptr},
    {"stopped at a start failure", Via::LaterStart, RunAction::ShutDown, RequestOutcome::StoppedAtStartFailure, 4,
     [](World &w) {
         setting(w, "Check2") = QStringLiteral("1");
         setting(w, "kidou2") = QStringLiteral("/gone");
         w.p.processes.failures[QStringLiteral("slot2:/gone")] = 53;
     },
     nullptr},
    {"cancelled during the pause", Via::LaterStart, RunAction::Restart, RequestOutcome::Cancelled, 5,
     [](World &w) {
         setting(w, "byou") = QStringLiteral("2");
         w.p.clock.onSleep = [&w] { w.click(&MainWindowView::Cancel1); };
     },
     nullptr},
    {"power refused", Via::LaterStart, RunAction::Suspend, RequestOutcome::PowerRefused, 6,
     [](World &w) { w.p.power.refusal = QStringLiteral("denied"); }, nullptr},
    {"power refused, own command line", Via::CommandLine, RunAction::ShutDown, RequestOutcome::PowerRefused, 6,
     [](World &w) { w.p.power.refusal = QStringLiteral("denied"); }, nullptr},
    {"no running copy reached", Via::HandedOver, RunAction::ShutDown, RequestOutcome::Unreachable, 7,
     [](World &w) { w.p.desktop.runningCopy = RequestOutcome::Unreachable; }, nullptr},
    {"the running copy ended without an answer", Via::HandedOver, RunAction::RunOnly, RequestOutcome::CopyEnded,
     8, [](World &w) { w.p.desktop.runningCopy = RequestOutcome::CopyEnded; }, nullptr},
    {"no lock to tell whether a copy runs", Via::HandedOver, RunAction::ShutDown, RequestOutcome::LockUnusable, 7,
     [](World &w) { w.p.desktop.runningCopy = RequestOutcome::LockUnusable; }, nullptr},
    {"dropped, handed over without a display", Via::WithoutDisplay, RunAction::Suspend,
     RequestOutcome::DroppedDuringRun, 3,
     [](World &w) { w.p.desktop.runningCopy = RequestOutcome::DroppedDuringRun; }, nullptr},
};

} // namespace

class ExitStatusTest final : public QObject
{
    Q_OBJECT

private slots:
    // Catches a request that nobody answers, one answered twice or with the
    // wrong outcome, an exit status that calls a machine left on a success
    // (every timer's request used to end with 0), and a run that did not
    // happen with nobody told.
    void everyOutcomeHasItsExitStatus()
    {
        for (const Case &c : kCases) {
            RunConfig = {};
            auto w = std::make_unique<World>();
            w->request = c.request;
            if (c.beforeLoad)
                c.beforeLoad(*w);
            if (c.via == Via::WithoutDisplay)
                handOverWithoutWindow(w->p.services(), c.request);
            else if (c.via != Via::LaterStart)
                w->form.setStartRequest(c.request);
            if (c.via != Via::WithoutDisplay)
                w->form.Form_Load();
            if (c.afterLoad)
                c.afterLoad(*w);
            int status = exitStatusFor(c.outcome);
            if (c.via == Via::LaterStart) {
                w->deliver();
                QTRY_VERIFY2(!w->p.desktop.answers.isEmpty(), c.name);
                QTest::qWait(10);
                QVERIFY2(w->p.desktop.answers == QList<RequestOutcome>{c.outcome}, c.name);
            } else if (c.via == Via::CommandLine) {
                QTRY_VERIFY2(!w->p.journal.lines.filter(QStringLiteral("the command line's request")).isEmpty(), c.name);
                status = w->form.run().exitStatus();
            } else {
                QVERIFY2(w->p.desktop.handedOn == QList<std::optional<RunAction>>{c.request} && w->p.desktop.ended
                             && !w->form.isLoaded(), c.name);
            }
            // A program that ended, ended with its status.
            if (w->p.desktop.ended && c.via != Via::LaterStart)
                status = w->p.desktop.exitStatus;
            QVERIFY2(status == c.status, c.name);
            // Whoever asked from outside may be away: a run that did not
            // happen, and not by the user's own doing, is told on the desktop.
            const bool missed = c.status == 3 || c.status >= 6;
            const bool told = std::any_of(w->p.notifications.shown.cbegin(), w->p.notifications.shown.cend(),
                                          [](const auto &n) { return n.second.notice.summary.endsWith(u"行われませんでした"); });
            QVERIFY2(told == missed, c.name);
        }
    }
};

QUENBY_TEST_MAIN(ExitStatusTest)
#include "exit_status_test.moc"
