#include "platform/linux/slot_command.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <unistd.h>

namespace quenby {

namespace {

// The kernel reads at most this much of a "#!" line.
constexpr qint64 kHeaderSize = 256;

// Words the shell never looks up as a program: its keywords and builtins.
const QSet<QString> &shellWords()
{
    static const QSet<QString> words = [] {
        const QStringList list = QStringLiteral(
            "if then else elif fi case esac for while until do done in function select time coproc "
            ". : alias bg break cd command continue echo eval exec exit export false fc fg getopts hash "
            "jobs kill local newgrp printf pwd read readonly return set shift source test times trap "
            "true type ulimit umask unalias unset wait").split(u' ');
        return QSet<QString>(list.begin(), list.end());
    }();
    return words;
}

// Characters that make the shell quote, expand, redirect or split a word.
bool isPlainWord(const QString &word)
{
    static const QString special = QStringLiteral("'\"\\$`*?[]{}~#=;&|<>()!\r");
    if (word.isEmpty() || shellWords().contains(word))
        return false;
    for (const QChar c : word) {
        if (special.contains(c) || c.unicode() == 0)
            return false;
    }
    return true;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

QByteArray quotedForShell(QByteArray word)
{
    word.replace('\'', QByteArrayLiteral("'\\''"));
    return '\'' + word + '\'';
}

bool isExecutable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

bool isRunnableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && isExecutable(path);
}

// As the shell searches: the first executable regular file on the path wins;
// failing that, a regular file that is there but not executable.
QString lookUp(const QString &word, const QString &searchPath)
{
    if (word.contains(u'/'))
        return QFileInfo::exists(word) ? word : QString();
    QString notExecutable;
    for (const QString &entry : searchPath.split(u':')) {
        const QString candidate = (entry.isEmpty() ? QStringLiteral(".") : entry) + u'/' + word;
        if (isRunnableFile(candidate))
            return candidate;
        if (notExecutable.isEmpty() && QFileInfo(candidate).isFile())
            notExecutable = candidate;
    }
    return notExecutable;
}

QByteArray readHeader(const QString &path, bool *readable)
{
    QFile file(path);
    *readable = file.open(QIODevice::ReadOnly);
    return *readable ? file.read(kHeaderSize) : QByteArray();
}

struct Shebang
{
    QByteArray interpreter;
    QByteArray argument;
    bool windowsLineEnding = false;
};

bool isSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Spaces and tabs only: the kernel trims nothing else.
QByteArray trimSpacesAndTabs(const QByteArray &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isSpaceOrTab(text[first]))
        ++first;
    while (last > first && isSpaceOrTab(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// "#!interpreter [one argument]", the way the kernel splits it: the name ends
// at a space, a tab or a NUL, and a carriage return stays part of the line.
Shebang parseShebang(const QByteArray &header)
{
    QByteArray line = header.mid(2);
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    line = trimSpacesAndTabs(line);
    qsizetype blank = 0;
    while (blank < line.size() && !isSpaceOrTab(line[blank]) && line[blank] != '\0')
        ++blank;
    return {line.left(blank), trimSpacesAndTabs(line.mid(blank + 1)), line.endsWith('\r')};
}

struct Refusal
{
    int error = 0; // 0: nothing stands in the way
    QString why;
    StartHint hint = StartHint::None;
};

// Why the kernel would not start the interpreter of a "#!" line, if it would not.
Refusal interpreterProblem(const Shebang &shebang)
{
    const QString path = QFile::decodeName(shebang.interpreter);
    if (shebang.windowsLineEnding)
        return {error_number::FileNotFound, QStringLiteral("its first line ends in a carriage return (Windows line endings)"),
                StartHint::WindowsLineEndings};
    if (isRunnableFile(path))
        return {};
    if (!QFileInfo::exists(path))
        return {error_number::FileNotFound, QStringLiteral("its interpreter \"") + path + QStringLiteral("\" is not there")};
    return {error_number::BadArgument, QStringLiteral("its interpreter \"") + path + QStringLiteral("\" cannot be run")};
}

// Only a "#!" line is judged before the start. Any other file goes to the
// kernel as it is: should the kernel not run it (a program for another
// machine, no program at all), the shell ends with status 126, recorded like
// any program's own exit status.
Refusal whyKernelCannotRun(const QByteArray &header)
{
    if (header.startsWith("#!"))
        return interpreterProblem(parseShebang(header));
    return {};
}

// A text whose first line ends in a carriage return was saved with Windows
// line endings: with a "#!" line the kernel finds no interpreter, and without
// one (or behind the byte order mark an editor may put first) the shell reads
// every command with a stray carriage return on its end. A program's own
// bytes are not text: a NUL in the first line, or the ELF mark, says so.
Refusal windowsLineEndings(const QByteArray &header)
{
    const qsizetype end = header.indexOf('\n');
    const QByteArray firstLine = header.left(end);
    if (end <= 0 || !firstLine.endsWith('\r') || firstLine.contains('\0') || header.startsWith("\x7f" "ELF"))
        return {};
    return {error_number::FileNotFound, QStringLiteral("its first line ends in a carriage return (Windows line endings)"),
            StartHint::WindowsLineEndings};
}

SlotCommand refused(int error, const QString &program, const QString &why)
{
    return {error, {}, program + QStringLiteral(": ") + why};
}

SlotCommand refused(const QString &program, const Refusal &refusal)
{
    return {refusal.error, {}, program + QStringLiteral(": ") + refusal.why, refusal.hint};
}

// A readable file without the execute permission runs when it says how: the
// interpreter of its "#!" line, or `shell` for a name ending in .sh. The
// interpreter is handed the file itself: a bare name would be looked for in
// the current folder, not on the path.
SlotCommand commandForScript(const QString &program, const QByteArray &header, const QByteArray &rest,
                             const QString &shell)
{
    const QByteArray file = quotedForShell(QFile::encodeName(program));
    const QString how = program + QStringLiteral(" (no execute permission: run with ");
    if (header.startsWith("#!")) {
        const Shebang shebang = parseShebang(header);
        const Refusal problem = interpreterProblem(shebang);
        if (problem.error != 0)
            return refused(program, problem);
        QByteArray text = quotedForShell(shebang.interpreter) + ' ';
        if (!shebang.argument.isEmpty())
            text += quotedForShell(shebang.argument) + ' ';
        return {0, text + file + rest, how + QFile::decodeName(shebang.interpreter) + u')'};
    }
    if (program.endsWith(QStringLiteral(".sh")))
        return {0, quotedForShell(QFile::encodeName(shell)) + ' ' + file + rest, how + shell + u')'};
    return refused(error_number::BadArgument, program, QStringLiteral("is not executable"));
}

// `typed` is how the program stands in the shell text, `rest` what follows it.
SlotCommand commandForProgram(const QString &program, const QByteArray &typed, const QByteArray &rest,
                              const QString &shell)
{
    const QFileInfo info(program);
    if (info.isDir())
        return refused(error_number::BadArgument, program, QStringLiteral("is a folder"));
    if (!info.isFile())
        return refused(error_number::BadArgument, program, QStringLiteral("is not a regular file"));
    bool readable = false;
    const QByteArray header = readHeader(program, &readable);
    if (const Refusal crlf = windowsLineEndings(header); crlf.error != 0)
        return refused(program, crlf);
    if (isExecutable(program)) {
        const Refusal why = readable ? whyKernelCannotRun(header) : Refusal{};
        if (why.error != 0)
            return refused(program, why);
        return {0, typed + rest, program};
    }
    if (!readable)
        return refused(error_number::BadArgument, program, QStringLiteral("can be neither run nor read"));
    return commandForScript(program, header, rest, shell);
}

} // namespace

SlotCommand slotCommandFor(const QString &text, const QString &searchPath, const QString &shell)
{
    // A folder named whole is reported as one, whatever blanks its path holds.
    const QFileInfo whole(text);
    if (whole.isAbsolute() && (whole.isFile() || whole.isDir()))
        return commandForProgram(text, quotedForShell(QFile::encodeName(text)), {}, shell);
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    qsizetype end = start;
    while (end < text.size() && !isBlank(text[end]))
        ++end;
    const QString word = text.mid(start, end - start);
    if (!isPlainWord(word))
        return {0, text.toLocal8Bit(), QString()};
    const QString program = lookUp(word, searchPath);
    if (program.isEmpty())
        return refused(error_number::FileNotFound, word, QStringLiteral("not found"));
    return commandForProgram(program, text.left(end).toLocal8Bit(), text.mid(end).toLocal8Bit(), shell);
}

} // namespace quenby
