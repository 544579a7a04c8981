#include "main_window/command_line.h"

#include "run/missed_run_notice.h"
#include "run/outcome_words.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

namespace quenby {

namespace {

const QString kProgramName = QStringLiteral("quenby");

// How long a start that could not hand its run over waits for the desktop to
// hear why the machine stays on.
constexpr std::chrono::milliseconds kHandOverNoticeBound{1'000};

QString versionText()
{
    return QStringLiteral("%1 %2.%3.%4\n")
        .arg(kProgramName)
        .arg(QUENBY_VERSION_MAJOR)
        .arg(QUENBY_VERSION_MINOR)
        .arg(QUENBY_VERSION_PATCH);
}

QString helpText(bool japanese)
{
    if (japanese) {
        return QStringLiteral(
            "使い方: quenby [オプション]\n"
            "\n"
            "登録したプログラムと後片付けを実行してから、コンピューターを\n"
            "終了・再起動・サスペンドします。引数なしで起動するとメイン画面を開きます。\n"
            "\n"
            "オプション:\n"
            "  --shutdown     メイン画面を開き、「終了」を押したときと同じ処理を始めます\n"
            "  --restart      同じく「再起動」の処理を始めます\n"
            "  --suspend      同じく「サスペンド」の処理を始めます\n"
            "  --run-only     同じく「実行のみ」の処理を始めます\n"
            "  -h, --help     この説明を表示して終了します\n"
            "  -v, --version  バージョンを表示して終了します\n"
            "\n"
            "すでに起動しているときは、その画面に処理を頼み、結果を待って終了します。\n"
            "\n"
            "終了ステータス:\n"
            "  0  電源の要求が受け付けられた、「実行のみ」の処理が終わった、\n"
            "     または起動中の画面を表示した\n"
            "  1  画面を表示するディスプレイがない\n"
            "  2  オプションの誤り\n"
            "  3  処理中、設定画面やメッセージの表示中のため、依頼を実行しなかった\n"
            "  4  起動できないプログラムがあり、処理が途中で止まった\n"
            "  5  利用者が処理を取り消した\n"
            "  6  システムが電源の要求を受け付けなかった\n"
            "  7  起動中の quenby に接続できなかった、またはロックファイルが使えず\n"
            "     起動中か分からなかった\n"
            "  8  起動中の quenby が結果を知らせずに終了した\n"
            "\n"
            "詳しくは man quenby を参照してください。\n");
    }
    return QStringLiteral(
        "Usage: quenby [option]\n"
        "\n"
        "Runs your end-of-session programs and clean-ups, then shuts down, restarts\n"
        "or suspends the machine. Without an option it opens its main window.\n"
        "\n"
        "Options:\n"
        "  --shutdown     open the main window and start the run of 終了 (shut down)\n"
        "  --restart      the same with 再起動 (restart)\n"
        "  --suspend      the same with サスペンド (suspend)\n"
        "  --run-only     the same with 実行のみ (run only)\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "\n"
        "When a copy runs already, the run is asked of that copy, and this one\n"
        "waits for its outcome.\n"
        "\n"
        "Exit status:\n"
        "  0  the power request was accepted, the run-only run finished,\n"
        "     or the running copy's window was shown\n"
        "  1  no display to show the window on\n"
        "  2  wrong use of the command line\n"
        "  3  the request was dropped: a run was going on, or the settings\n"
        "     window or a message was open\n"
        "  4  the run stopped at a program that could not be started\n"
        "  5  the user cancelled the run\n"
        "  6  the system refused the power request\n"
        "  7  a copy runs but could not be reached, or whether one runs cannot\n"
        "     be told (the lock file is unusable)\n"
        "  8  the running copy ended without telling the outcome\n"
        "\n"
        "See man quenby for the settings file and the power requests.\n");
}

// Qt's application object reads these itself; they are accepted here so that
// a start with them behaves as before (a session manager restores a program
// with -session, for one).
void addQtStartupOptions(QCommandLineParser &parser)
{
    const char *const withValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                     "qwindowgeometry", "qwindowicon", "qwindowtitle", "style",
                                     "stylesheet", "session", "display", "geometry", "title", "name"};
    const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

struct RunOption
{
    const char *name;
    RunAction run;
};

const RunOption kRunOptions[] = {
    {"shutdown", RunAction::ShutDown},
    {"restart", RunAction::Restart},
    {"suspend", RunAction::Suspend},
    {"run-only", RunAction::RunOnly},
};

QString usageError(const QCommandLineParser &parser, bool japanese)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        return japanese ? QStringLiteral("quenby: 不明なオプションです: %1 (quenby --help を参照)\n").arg(unknown.first())
                        : QStringLiteral("quenby: unknown option: %1 (see quenby --help)\n").arg(unknown.first());
    }
    if (!parser.positionalArguments().isEmpty()) {
        const QString first = parser.positionalArguments().first();
        return japanese ? QStringLiteral("quenby: 引数は使えません: %1 (quenby --help を参照)\n").arg(first)
                        : QStringLiteral("quenby: unexpected argument: %1 (see quenby --help)\n").arg(first);
    }
    // A known option without its value, for instance.
    return QStringLiteral("quenby: %1\n").arg(parser.errorText());
}

QString oneRunOnly(bool japanese)
{
    return japanese ? QStringLiteral("quenby: 処理を指定するオプションは一つだけです (quenby --help を参照)\n")
                    : QStringLiteral("quenby: give one run option at most (see quenby --help)\n");
}

} // namespace

CommandLineReply replyToCommandLine(const QStringList &arguments, bool japanese)
{
    QCommandLineParser parser;
    // Qt's own options are written with one dash (-platform xcb).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const RunOption &run : kRunOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(run.name)));
    addQtStartupOptions(parser);

    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty())
        return {kUsageExitStatus, {}, usageError(parser, japanese)};
    if (parser.isSet(help))
        return {0, helpText(japanese), {}};
    if (parser.isSet(version))
        return {0, versionText(), {}};
    CommandLineReply reply;
    for (const RunOption &run : kRunOptions) {
        if (!parser.isSet(QString::fromLatin1(run.name)))
            continue;
        // One run a start: two would leave it to chance which one powers off.
        if (reply.request && reply.request != run.run)
            return {kUsageExitStatus, {}, oneRunOnly(japanese)};
        reply.request = run.run;
    }
    return reply;
}

QString handOverLine(RequestOutcome outcome, bool japanese)
{
    const QString words = outcomeWords(outcome, japanese);
    return words.isEmpty() ? QString() : QStringLiteral("quenby: ") + words + u'\n';
}

void sayHandOverOutcome(RequestOutcome outcome)
{
    std::fputs(handOverLine(outcome, messagesInJapanese()).toLocal8Bit().constData(), stderr);
}

void endAfterHandOver(const Services &services, std::optional<RunAction> request, RequestOutcome outcome)
{
    sayHandOverOutcome(outcome);
    if (request) {
        if (const std::optional<Notice> notice = missedRunNotice(*request, outcome)) {
            services.notifications.show(*notice);
            services.notifications.settle(kHandOverNoticeBound);
        }
    }
    services.desktop.endProgram(exitStatusFor(outcome));
}

void handOverWithoutWindow(const Services &services, std::optional<RunAction> request)
{
    if (const std::optional<RequestOutcome> outcome = services.desktop.askRunningCopy(request))
        endAfterHandOver(services, request, *outcome);
}

bool messagesInJapanese()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value.startsWith(QLatin1String("ja"));
    }
    return false;
}

CommandLineReply answerCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineReply reply = replyToCommandLine(arguments, messagesInJapanese());
    std::fputs(reply.out.toLocal8Bit().constData(), stdout);
    std::fputs(reply.err.toLocal8Bit().constData(), stderr);
    return reply;
}

} // namespace quenby
