#include "platform/slot_command.h"

#include "platform/processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <elf.h>
#include <unistd.h>

namespace quenby {

namespace {

// The kernel reads at most this much of a "#!" line.
constexpr qint64 kHeaderSize = 256;

// Words the shell never looks up as a program.
const QSet<QString> &shellWords()
{
    static const QSet<QString> words{
        // keywords
        QStringLiteral("if"), QStringLiteral("then"), QStringLiteral("else"), QStringLiteral("elif"), QStringLiteral("fi"), QStringLiteral("case"), QStringLiteral("esac"), QStringLiteral("for"), QStringLiteral("while"),
        QStringLiteral("until"), QStringLiteral("do"), QStringLiteral("done"), QStringLiteral("in"), QStringLiteral("function"), QStringLiteral("select"), QStringLiteral("time"), QStringLiteral("coproc"),
        // builtins
        QStringLiteral("."), QStringLiteral(":"), QStringLiteral("alias"), QStringLiteral("bg"), QStringLiteral("break"), QStringLiteral("cd"), QStringLiteral("command"), QStringLiteral("continue"),
        QStringLiteral("echo"), QStringLiteral("eval"), QStringLiteral("exec"), QStringLiteral("exit"), QStringLiteral("export"), QStringLiteral("false"), QStringLiteral("fc"), QStringLiteral("fg"),
        QStringLiteral("getopts"), QStringLiteral("hash"), QStringLiteral("jobs"), QStringLiteral("kill"), QStringLiteral("local"), QStringLiteral("printf"), QStringLiteral("pwd"), QStringLiteral("read"),
        QStringLiteral("readonly"), QStringLiteral("return"), QStringLiteral("set"), QStringLiteral("shift"), QStringLiteral("test"), QStringLiteral("times"), QStringLiteral("trap"), QStringLiteral("true"),
        QStringLiteral("type"), QStringLiteral("ulimit"), QStringLiteral("umask"), QStringLiteral("unalias"), QStringLiteral("unset"), QStringLiteral("wait"), QStringLiteral("newgrp"),
        QStringLiteral("source")};
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
};

// "#!interpreter [one argument]", the way the kernel splits it.
Shebang parseShebang(const QByteArray &header)
{
    QByteArray line = header.mid(2);
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    line = line.trimmed();
    const qsizetype blank = line.indexOf(' ') >= 0 ? line.indexOf(' ') : line.indexOf('\t');
    if (blank < 0)
        return {line, {}};
    return {line.left(blank), line.mid(blank + 1).trimmed()};
}

// Formats the kernel may run besides ours (emulators, interpreters) are
// registered here; with any of them, a foreign file is not judged.
bool kernelKnowsOtherFormats()
{
    const QStringList entries = QDir(QStringLiteral("/proc/sys/fs/binfmt_misc")).entryList(QDir::Files);
    for (const QString &e : entries) {
        if (e != QStringLiteral("register") && e != QStringLiteral("status"))
            return true;
    }
    return false;
}

bool isOwnMachine(const QByteArray &header)
{
    static const QByteArray own = [] {
        QFile self(QStringLiteral("/proc/self/exe"));
        return self.open(QIODevice::ReadOnly) ? self.read(EI_NIDENT + 4) : QByteArray();
    }();
    if (own.size() < EI_NIDENT + 4 || header.size() < EI_NIDENT + 4)
        return true;
    const quint16 ownMachine = quint8(own[18]) | quint8(own[19]) << 8;
    const quint16 machine = quint8(header[18]) | quint8(header[19]) << 8;
    if (machine == ownMachine && header[EI_DATA] == own[EI_DATA])
        return true;
    // 32-bit programs of the same family run where the kernel allows them.
    return (ownMachine == EM_X86_64 && machine == EM_386) || (ownMachine == EM_AARCH64 && machine == EM_ARM);
}

// Empty when the kernel can start the file, else what stands in its way.
QString whyKernelCannotRun(const QByteArray &header)
{
    if (header.startsWith("#!")) {
        const QString interpreter = QFile::decodeName(parseShebang(header).interpreter);
        if (!isRunnableFile(interpreter))
            return QStringLiteral("its interpreter \"") + interpreter + QStringLiteral("\" is not there or cannot be run");
        return QString();
    }
    const bool elf = header.startsWith(ELFMAG);
    const bool binary = !elf && header.left(80).split('\n').first().contains('\0');
    if ((elf && !isOwnMachine(header)) || binary) {
        if (!kernelKnowsOtherFormats())
            return elf ? QStringLiteral("it is a program for another kind of machine") : QStringLiteral("it is not a program");
    }
    return QString();
}

SlotCommand refused(int error, const QString &program, const QString &why)
{
    return {error, {}, program + QStringLiteral(": ") + why};
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
    if (isExecutable(program)) {
        const QString why = readable ? whyKernelCannotRun(header) : QString();
        if (!why.isEmpty())
            return refused(error_number::BadArgument, program, why);
        return {0, typed + rest, program};
    }
    if (!readable)
        return refused(error_number::BadArgument, program, QStringLiteral("can be neither run nor read"));
    // The interpreter is handed the file itself: a bare name would be looked
    // for in the current folder, not on the path.
    const QByteArray file = quotedForShell(QFile::encodeName(program));
    if (header.startsWith("#!")) {
        const Shebang shebang = parseShebang(header);
        const QString interpreter = QFile::decodeName(shebang.interpreter);
        if (!isRunnableFile(interpreter))
            return refused(error_number::BadArgument, program, QStringLiteral("its interpreter \"") + interpreter + QStringLiteral("\" is not there or cannot be run"));
        QByteArray text = quotedForShell(shebang.interpreter) + ' ';
        if (!shebang.argument.isEmpty())
            text += quotedForShell(shebang.argument) + ' ';
        return {0, text + file + rest, program + QStringLiteral(" (no execute permission: run with ") + interpreter + u')'};
    }
    if (program.endsWith(QStringLiteral(".sh")))
        return {0, quotedForShell(QFile::encodeName(shell)) + ' ' + file + rest,
                program + QStringLiteral(" (no execute permission: run with ") + shell + u')'};
    return refused(error_number::BadArgument, program, QStringLiteral("is not executable"));
}

} // namespace

SlotCommand slotCommandFor(const QString &text, const QString &searchPath, const QString &shell)
{
    const QFileInfo whole(text);
    if (whole.isAbsolute() && whole.isFile())
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
