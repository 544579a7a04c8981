#include "platform/ini_store.h"

#include "platform/desktop.h"
#include "platform/linux_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenby {

namespace {

const QString kSection = QStringLiteral("set/");

} // namespace

IniStore::IniStore(Desktop &desktop, QString filePath)
    : m_desktop(desktop)
    , m_filePath(std::move(filePath))
{
}

IniStore::~IniStore() = default;

QString IniStore::defaultFilePath()
{
    return linux_folders::configFolder() + QStringLiteral("/TARVEN Inc.Quenby.ini");
}

QSettings &IniStore::settings()
{
    if (!m_settings)
        m_settings = std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
    return *m_settings;
}

QString IniStore::GetSetting(const QString &key, const QString &defaultValue)
{
    const QVariant value = settings().value(kSection + key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited value with bare commas comes back as a list; keep its text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void IniStore::SaveSetting(const QString &key, const QString &value)
{
    bool written = prepareFile();
    if (written) {
        QSettings &s = settings();
        s.setValue(kSection + key, value);
        // The program may end a moment later in a power action: write through now.
        s.sync();
        written = s.status() == QSettings::NoError;
        // A failed QSettings keeps its error; the next write starts from the file.
        if (!written)
            m_settings.reset();
    }
    if (written) {
        m_failing = false;
        return;
    }
    ++m_failedWrites;
    // One message per action: an apply writes thirteen keys, and all of them
    // fail alike. The next action that fails says so again.
    if (m_failing)
        return;
    m_failing = true;
    reportFailure();
    QTimer::singleShot(0, &m_actionScope, [this] { m_failing = false; });
}

// Whoever can write this file decides what runs at the end of the session, so it
// is made readable and writable by its owner only before anything goes into it.
// The atomic rewrite keeps the permissions of the file it replaces.
bool IniStore::prepareFile()
{
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    const QByteArray path = QFile::encodeName(m_filePath);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
                    && ((st.st_mode & 0077) == 0 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    return ok;
}

void IniStore::reportFailure()
{
    m_desktop.beep();
    m_desktop.messageBox(QStringLiteral("設定を保存できませんでした。\r\n") + m_filePath
                         + QStringLiteral("\r\nフォルダの書き込み権限と空き容量を確認してください。"));
}

} // namespace quenby
