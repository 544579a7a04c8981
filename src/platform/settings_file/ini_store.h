#pragma once

#include "platform/interfaces/store.h"
#include "platform/settings_file/ini_document.h"
#include "platform/settings_file/private_file.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

#include <optional>
#include <utility>
#include <vector>

namespace quenby {

// The settings store as an INI file readable only by its owner, section "set".
// The file is read on first use, so a copy that ends at once never touches it.
// A save replaces the whole file or leaves it as it was and says so; what the
// program does not write itself (comments, other lines, other sections) is
// kept byte for byte, and a new text that would read differently anywhere
// but in the saved values never replaces the old one. A file larger than
// private_file::kMaxSize is neither read nor replaced: the defaults are used.
class IniStore : public Store
{
public:
    // `tell` hears of the file's problems (see Store::whenProblem).
    explicit IniStore(QString filePath, std::function<void(const StoreProblem &)> tell = {});
    ~IniStore() override;

    QString GetSetting(const QString &key, const QString &defaultValue) override;
    bool holdsUnreadable(const QString &key) override;
    void SaveSetting(const QString &key, const QString &value) override;
    void beginBatch() override;
    bool endBatch() override;
    void whenProblem(std::function<void(const StoreProblem &)> tell) override { m_tell = std::move(tell); }

private:
    const IniDocument &document(bool tellFailure);
    bool commit();
    void reportReadFailure(private_file::Outcome outcome);
    void reportWriteFailure(StoreFailure why, qint64 size);
    void reportUnreadableValue(const QString &key);
    void reportSwallowedLines();
    void tell(StoreProblem::Kind kind, StoreFailure why, const QString &key = {}, qint64 size = 0);

    QString m_filePath;
    std::function<void(const StoreProblem &)> m_tell;
    std::optional<IniDocument> m_document;
    std::vector<std::pair<QString, QString>> m_pending;
    int m_batchDepth = 0;
    bool m_failing = false;
    qint64 m_fileSize = 0; // as last found on the disk, for a message about its size
    bool m_readFailureTold = false;
    QSet<QString> m_unreadableTold;
    // Ends the silence after a reported failure once the current action is over.
    QObject m_actionScope;
};

} // namespace quenby
