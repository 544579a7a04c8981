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
    if (temp.isEmpty() || isRootOrAbove(temp, windowsFolder()))
        return QString();
    return temp;
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
