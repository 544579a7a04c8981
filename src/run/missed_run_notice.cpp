#include "run/missed_run_notice.h"

#include "run/run_action_texts.h"

namespace quenby {

namespace {

std::optional<QString> why(RequestOutcome outcome)
{
    switch (outcome) {
    case RequestOutcome::DroppedDuringRun:
        return QStringLiteral("Quenby が別の処理を実行中でした。");
    case RequestOutcome::DroppedSettingsOpen:
        return QStringLiteral("Quenby の設定画面が開いていました。");
    case RequestOutcome::DroppedMessageOpen:
        return QStringLiteral("Quenby のメッセージが応答を待っていました。");
    case RequestOutcome::PowerRefused:
        return QStringLiteral("システムが要求を受け付けませんでした。");
    case RequestOutcome::Unreachable:
        return QStringLiteral("動作中の Quenby に要求を届けられませんでした。");
    case RequestOutcome::CopyEnded:
        return QStringLiteral("要求を受け取った Quenby が応答しないまま終了しました。");
    case RequestOutcome::Shown:
    case RequestOutcome::PowerAccepted:
    case RequestOutcome::RunFinished:
    case RequestOutcome::StoppedAtStartFailure:
    case RequestOutcome::Cancelled:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<Notice> missedRunNotice(RunAction action, RequestOutcome outcome)
{
    const std::optional<QString> reason = why(outcome);
    if (!reason)
        return std::nullopt;
    Notice notice;
    notice.summary = textsOf(action).notDone;
    notice.body = *reason + QStringLiteral("コンピュータはこのまま動いています。");
    return notice;
}

} // namespace quenby
