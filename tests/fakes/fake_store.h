#pragma once

#include "fakes/call_log.h"
#include "platform/interfaces/store.h"

#include <QMap>
#include <QStringList>
#include <QList>

#include <functional>

namespace quenby::test {

class FakeStore : public Store
{
public:
    explicit FakeStore(CallLog &log) : m_log(log) {}

    QString GetSetting(const QString &key, const QString &defaultValue) override;
    bool holdsUnreadable(const QString &key) override { return unreadable.contains(key); }
    void SaveSetting(const QString &key, const QString &value) override;
    void beginBatch() override { ++m_depth; }
    bool endBatch() override;
    void whenProblem(std::function<void(const StoreProblem &)> tell) override { m_tell = std::move(tell); }

    QMap<QString, QString> values;
    QStringList unreadable; // keys whose values are not UTF-8: they read as their defaults
    bool failing = false; // writes are recorded but do not reach the disk, and say so
    QStringList reads;  // keys in the order they were read
    QStringList writes; // "key=value" in the order they were written
    // The writes grouped as they would reach the disk: one entry per save
    // outside a batch, one per outermost batch.
    QList<QStringList> replacements;

private:
    CallLog &m_log;
    std::function<void(const StoreProblem &)> m_tell;
    bool m_pendingFailed = false;
    int m_depth = 0;
    QStringList m_pending;
};

} // namespace quenby::test
