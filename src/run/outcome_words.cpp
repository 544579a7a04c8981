#include "run/outcome_words.h"

namespace quenby {

QString outcomeWords(RequestOutcome outcome, bool japanese)
{
    struct Line
    {
        RequestOutcome outcome;
        const char16_t *english;
        const char16_t *japanese;
    };
    static const Line lines[] = {
        {RequestOutcome::DroppedDuringRun, u"the running copy dropped the request, as a run is going on there; "
                                           u"the machine stays on",
         u"起動中の quenby は処理の実行中のため、依頼を実行しませんでした。電源はそのままです"},
        {RequestOutcome::DroppedSettingsOpen, u"the running copy dropped the request, as its settings window is "
                                              u"open; the machine stays on",
         u"起動中の quenby は設定画面を開いているため、依頼を実行しませんでした。電源はそのままです"},
        {RequestOutcome::DroppedMessageOpen, u"the running copy dropped the request, as a message of it waits for "
                                             u"an answer; the machine stays on",
         u"起動中の quenby はメッセージを表示しているため、依頼を実行しませんでした。電源はそのままです"},
        {RequestOutcome::StoppedAtStartFailure, u"the run stopped at a program that could not be started; the "
                                                u"machine stays on",
         u"起動できないプログラムがあったため、処理は途中で止まりました。電源はそのままです"},
        {RequestOutcome::Cancelled, u"the run was cancelled; the machine stays on",
         u"処理は取り消されました。電源はそのままです"},
        {RequestOutcome::PowerRefused, u"the system refused the power request; the machine stays on",
         u"システムが電源の要求を受け付けませんでした。電源はそのままです"},
        {RequestOutcome::Unreachable, u"a copy of quenby runs, but it could not be reached",
         u"起動中の quenby に接続できませんでした"},
        {RequestOutcome::CopyEnded, u"the running copy ended without telling what became of the request",
         u"起動中の quenby が結果を知らせずに終了しました"},
        {RequestOutcome::LockUnusable, u"cannot tell whether a copy of quenby runs (the lock file beside the "
                                       u"settings file cannot be made or is not a regular file of yours), so the "
                                       u"run was not started; the machine stays on",
         u"設定ファイルと同じフォルダーのロックファイルを作れないか、自分の通常のファイルでないため、"
         u"quenby が起動中か分かりません。処理は始めませんでした。電源はそのままです"},
    };
    for (const Line &line : lines) {
        if (line.outcome == outcome)
            return QString::fromUtf16(japanese ? line.japanese : line.english);
    }
    return QString();
}

} // namespace quenby
