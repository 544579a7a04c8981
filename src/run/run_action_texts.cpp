#include "run/run_action_texts.h"

namespace quenby {

const RunActionTexts &textsOf(RunAction action)
{
    static const RunActionTexts texts[] = {
        {QStringLiteral("終了 (shut down)"), QStringLiteral("Windowsを終了します"), QStringLiteral("終了"),
         QStringLiteral("シャットダウン"), QStringLiteral("コンピュータをシャットダウンできませんでした。"),
         QStringLiteral("シャットダウンは行われませんでした")},
        {QStringLiteral("再起動 (restart)"), QStringLiteral("Windowsを再起動します"), QStringLiteral("再起動"),
         QStringLiteral("再起動"), QStringLiteral("再起動できませんでした。"),
         QStringLiteral("再起動は行われませんでした")},
        {QStringLiteral("サスペンド (suspend)"), QString(), QStringLiteral("サスペンド"), QStringLiteral("サスペンド"),
         QStringLiteral("サスペンドできませんでした。"), QStringLiteral("サスペンドは行われませんでした")},
        {QStringLiteral("実行のみ (run only)"), QStringLiteral("設定された処理は終了しました"), QStringLiteral("完了"),
         QString(), QString(), QStringLiteral("実行のみの処理は行われませんでした")},
    };
    return texts[int(action)];
}

} // namespace quenby
