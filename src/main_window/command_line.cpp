#include "main_window/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

namespace quenby {

namespace {

const QString kProgramName = QStringLiteral("quenby");

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
            "すでに起動しているときは、その画面に処理の開始を頼んで終了します。\n"
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
        "When a copy runs already, the run is asked of that copy's window.\n"
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
    StartRequest request;
};

const RunOption kRunOptions[] = {
    {"shutdown", StartRequest::ShutDown},
    {"restart", StartRequest::Restart},
    {"suspend", StartRequest::Suspend},
    {"run-only", StartRequest::RunOnly},
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
        if (reply.request != StartRequest::Show && reply.request != run.request)
            return {kUsageExitStatus, {}, oneRunOnly(japanese)};
        reply.request = run.request;
    }
    return reply;
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
