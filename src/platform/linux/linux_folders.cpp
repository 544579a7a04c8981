#include "platform/linux/linux_folders.h"

#include "platform/cleaner/folder_cleaner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenby::linux_folders {

namespace {

QString cleanAbsolute(const QString &path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QString();
    return QDir::cleanPath(path);
}

// A folder's name as the system holds it, in bytes. One that is not UTF-8
// cannot be carried in a QString and back to the same folder: nothing, then,
// so that no clean-up falls back to another folder (/tmp for $TMPDIR).
std::optional<QString> decodedPath(const QByteArray &bytes)
{
    const QString path = QFile::decodeName(bytes);
    if (QFile::encodeName(path) != bytes)
        return std::nullopt;
    return path;
}

std::optional<QString> environmentPath(const char *variable)
{
    return decodedPath(qgetenv(variable));
}

// $HOME, or the home folder of the user database when it is unset or not an
// absolute path.
QString homeFolder()
{
    const std::optional<QString> set = environmentPath("HOME");
    if (!set)
        return QString();
    const QString home = cleanAbsolute(*set);
    if (!home.isEmpty())
        return home;
    const passwd *user = ::getpwuid(::getuid());
    return user && user->pw_dir ? cleanAbsolute(decodedPath(user->pw_dir).value_or(QString())) : QString();
}

// A base folder of the XDG rules: the variable when it holds an absolute
// path (a relative one is ignored, as the rules say), else its default under
// the home folder.
QString xdgFolder(const char *variable, const QString &defaultUnderHome)
{
    const std::optional<QString> variableSet = environmentPath(variable);
    if (!variableSet)
        return QString();
    const QString set = cleanAbsolute(*variableSet);
    if (!set.isEmpty())
        return set;
    const QString home = homeFolder();
    return home.isEmpty() ? QString() : home + defaultUnderHome;
}

QString dataFolder()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

// $TMPDIR when it names an existing folder by its full path, else /tmp; with
// links resolved, so that the helper is handed the folder itself. ".." is
// resolved as every program that uses $TMPDIR meets it, after the link
// before it ("LINK/.." is the folder above the link's target), never by
// dropping the name before it.
QString resolvedTempFolder()
{
    const std::optional<QString> variableSet = environmentPath("TMPDIR");
    if (!variableSet)
        return QString();
    const QString set = *variableSet;
    const QString temp = QDir::isAbsolutePath(set) && QFileInfo(set).isDir() ? set : QStringLiteral("/tmp");
    return QFileInfo(temp).canonicalFilePath();
}

// The data folder with its links resolved, where it exists: the helper
// refuses a path through a link, and a home folder reached through one
// (a /home that links elsewhere) is still the user's own.
QString resolvedDataFolder()
{
    const QString data = dataFolder();
    const QString resolved = data.isEmpty() ? QString() : QFileInfo(data).canonicalFilePath();
    return resolved.isEmpty() ? data : resolved;
}

} // namespace

QString windowsFolder()
{
    const QString home = homeFolder();
    return home == QLatin1String("/") ? QString() : home;
}

QString tempFolder()
{
    const QString temp = resolvedTempFolder();
    if (temp.isEmpty() || cleanup::isProtectedFolder(QFile::encodeName(temp).toStdString()))
        return QString();
    return temp;
}

QString runtimeFolder()
{
    const QString runtime = cleanAbsolute(environmentPath("XDG_RUNTIME_DIR").value_or(QString()));
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QString();
}

std::string systemRuntimeFolder()
{
    const std::string folder = "/run/user/" + std::to_string(::getuid());
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 07777) != 0700)
        return {};
    return folder;
}

QString recentlyUsedFile()
{
    const QString data = resolvedDataFolder();
    return data.isEmpty() ? QString() : data + u'/' + QLatin1String(cleanup::kRecentlyUsedList);
}

QString recentDocumentsFolder()
{
    const QString data = resolvedDataFolder();
    return data.isEmpty() ? QString() : data + QStringLiteral("/RecentDocuments");
}

QString configFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString settingsFile()
{
    const QString folder = configFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/TARVEN Inc.Quenby.ini");
}

} // namespace quenby::linux_folders
