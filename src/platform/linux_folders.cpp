#include "platform/linux_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quenby::linux_folders {

namespace {

QString cleanAbsolute(const QString &path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QString();
    return QDir::cleanPath(path);
}

bool isRootOrAbove(const QString &folder, const QString &guarded)
{
    if (folder == QLatin1String("/"))
        return true;
    return !guarded.isEmpty() && (guarded == folder || guarded.startsWith(folder + u'/'));
}

QString dataFolder()
{
    return cleanAbsolute(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

} // namespace

QString windowsFolder()
{
    const QString home = cleanAbsolute(qEnvironmentVariable("HOME"));
    return home == QLatin1String("/") ? QString() : home;
}

QString tempFolder()
{
    const QString temp = cleanAbsolute(QStandardPaths::writableLocation(QStandardPaths::TempLocation));
    if (temp.isEmpty() || isRootOrAbove(temp, windowsFolder()) || isRootOrAbove(temp, runtimeFolder()))
        return QString();
    return temp;
}

QString runtimeFolder()
{
    const QString runtime = cleanAbsolute(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QString();
}

QString recentlyUsedFile()
{
    const QString data = dataFolder();
    return data.isEmpty() ? QString() : data + QStringLiteral("/recently-used.xbel");
}

QString recentDocumentsFolder()
{
    const QString data = dataFolder();
    return data.isEmpty() ? QString() : data + QStringLiteral("/RecentDocuments");
}

QString configFolder()
{
    return cleanAbsolute(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

} // namespace quenby::linux_folders
