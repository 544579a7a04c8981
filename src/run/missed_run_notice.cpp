#include "run/missed_run_notice.h"

#include "run/outcome_words.h"
#include "run/run_action_texts.h"

namespace quenby {

namespace {

bool tellsTheDesktop(RequestOutcome outcome)
{
    switch (outcome) {
    case RequestOutcome::DroppedDuringRun:
    case RequestOutcome::DroppedSettingsOpen:
    case RequestOutcome::DroppedMessageOpen:
    case RequestOutcome::PowerRefused:
    case RequestOutcome::Unreachable:
    case RequestOutcome::CopyEnded:
    case RequestOutcome::LockUnusable:
        return true;
    case RequestOutcome::Shown:
    case RequestOutcome::PowerAccepted:
    case RequestOutcome::RunFinished:
    case RequestOutcome::StoppedAtStartFailure:
    case RequestOutcome::Cancelled:
        break;
    }
    return false;
}

} // namespace

std::optional<Notice> missedRunNotice(RunAction action, RequestOutcome outcome)
{
    if (!tellsTheDesktop(outcome))
        return std::nullopt;
    Notice notice;
    notice.summary = textsOf(action).notDone;
    notice.body = outcomeWords(outcome, true) + u'。';
    return notice;
}

} // namespace quenby
