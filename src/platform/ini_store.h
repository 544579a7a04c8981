#pragma once

#include "platform/store.h"

#include <QObject>
#include <QString>

#include <memory>

class QSettings;

namespace quenby {

class Desktop;

// The settings store as an INI file readable only by its owner, section "set".
// The file is opened on first use, so a copy that ends at once never touches it.
class IniStore : public Store
{
public:
    IniStore(Desktop &desktop, QString filePath);
    ~IniStore() override;

    // "<configuration folder>/TARVEN Inc.Quenby.ini"
    static QString defaultFilePath();

    QString GetSetting(const QString &key, const QString &defaultValue) override;
    void SaveSetting(const QString &key, const QString &value) override;
    int failedWrites() const override { return m_failedWrites; }

private:
    QSettings &settings();
    bool prepareFile();
    void reportFailure();

    Desktop &m_desktop;
    QString m_filePath;
    std::unique_ptr<QSettings> m_settings;
    bool m_failing = false;
    int m_failedWrites = 0;
    // Ends the silence after a reported failure once the current action is over.
    QObject m_actionScope;
};

} // namespace quenby
