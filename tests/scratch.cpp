#include "scratch.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace quenby::test {

namespace {

const char *const kScratchVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                         "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

[[noreturn]] void refuse(const char *why)
{
    std::fprintf(stderr, "refusing to run outside a scratch folder: %s\n", why);
    std::abort();
}

} // namespace

QString scratchFolder()
{
    return QDir::cleanPath(qEnvironmentVariable("QUENBY_SCRATCH"));
}

void requireScratchEnvironment()
{
    const QString scratch = scratchFolder();
    if (qEnvironmentVariableIsEmpty("QUENBY_SCRATCH") || !QDir::isAbsolutePath(scratch) || scratch == QLatin1String("/"))
        refuse("QUENBY_SCRATCH is not set to an absolute folder");
    for (const char *name : kScratchVariables) {
        const QString value = QDir::cleanPath(qEnvironmentVariable(name));
        if (!value.startsWith(scratch + u'/'))
            refuse(name);
        QDir().mkpath(value);
    }
    QFile::setPermissions(qEnvironmentVariable("XDG_RUNTIME_DIR"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace quenby::test
