#include "run/power_refusal.h"

namespace quenby {

QString powerRefusalText(PowerRefusal refusal)
{
    switch (refusal) {
    case PowerRefusal::None:
        return {};
    case PowerRefusal::AuthenticationRequired:
        return QStringLiteral("この操作には認証が必要ですが、パスワードを尋ねる画面（認証エージェント）が動いていません。");
    case PowerRefusal::AccessDenied:
        return QStringLiteral("この操作は許可されませんでした。権限がないか、認証が取り消されました。");
    case PowerRefusal::Inhibited:
        return QStringLiteral("ほかのプログラムがこの操作を止めています。そのプログラムを終えてから、もう一度お試しください。");
    case PowerRefusal::NoAnswer:
        return QStringLiteral("システム（logind）から応答がありませんでした。");
    case PowerRefusal::Other:
        break;
    }
    return QStringLiteral("システムが要求を受け付けませんでした。詳しい理由は実行記録（ジャーナル）にあります。");
}

} // namespace quenby
