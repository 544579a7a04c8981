#include "window_common/store_messages.h"

#include "platform/interfaces/desktop.h"
#include "platform/interfaces/store.h"

namespace quenby {

namespace {

QString whatHappened(const StoreProblem &problem)
{
    switch (problem.kind) {
    case StoreProblem::Kind::NotSaved:
        return QStringLiteral("設定を保存できませんでした。設定ファイルは保存前のままです。");
    case StoreProblem::Kind::ValueNotUtf8:
        return QStringLiteral("設定ファイルの %1 の値は UTF-8 の文字列ではないため、使いません。").arg(problem.key);
    case StoreProblem::Kind::ValueSpansLines:
        return QStringLiteral("設定ファイルの %1 の値は閉じていない \" か行末の \\ のため、次の行まで続いています。")
            .arg(problem.key);
    case StoreProblem::Kind::NotRead:
        break;
    }
    return QStringLiteral("設定ファイルを読み込めませんでした。初期値を使います。");
}

QString whatToDo(const StoreProblem &problem)
{
    if (problem.kind == StoreProblem::Kind::ValueNotUtf8)
        return QStringLiteral("設定画面で保存するまで、ファイルの中の値はそのまま残ります。");
    if (problem.kind == StoreProblem::Kind::ValueSpansLines)
        return QStringLiteral("後ろの行の値は読まれていません。設定画面で保存する前に、ファイルのその値を直してください。");
    // A file that could not be read at all is most often one we may not read.
    if (problem.kind == StoreProblem::Kind::NotRead && problem.why == StoreFailure::Failed)
        return QStringLiteral("ファイルの読み取り権限を確認してください。");
    switch (problem.why) {
    case StoreFailure::TooLarge:
        return QStringLiteral("ファイルの大きさ %1 バイトが上限の %2 バイト (1 MiB) を超えているため、読み込みも書き換えもしません。")
            .arg(problem.size)
            .arg(problem.limit);
    case StoreFailure::NewTooLarge:
        return QStringLiteral("保存すると設定ファイルが %1 バイトになり、上限の %2 バイト (1 MiB) を超えるため、書き換えません。"
                              "ファイルの使わない行やコメントを減らしてください。")
            .arg(problem.size)
            .arg(problem.limit);
    case StoreFailure::NotRegular:
        return QStringLiteral("通常のファイルではないため、開きません。");
    case StoreFailure::NotOurs:
        return QStringLiteral("別のユーザーのファイルかリンクのため、開きません。");
    case StoreFailure::MeaningWouldChange:
        // A hand-written line left open at the end of the file would swallow what follows it.
        return QStringLiteral("保存すると、ファイルにあるほかの値の意味が変わってしまいます。"
                              "閉じていない \" や行末の \\ がないか確認してください。");
    case StoreFailure::Failed:
        break;
    }
    return QStringLiteral("フォルダの書き込み権限と空き容量を確認してください。");
}

} // namespace

QString storeProblemText(const StoreProblem &problem)
{
    return whatHappened(problem) + QStringLiteral("\r\n") + problem.filePath + QStringLiteral("\r\n") + whatToDo(problem);
}

void tellStoreProblem(Desktop &desktop, const StoreProblem &problem)
{
    desktop.beep();
    desktop.messageBox(storeProblemText(problem));
}

} // namespace quenby
