#pragma once

#include <QString>

namespace quenby {

// The per-user settings store: one application, one section, text values.
// A missing key reads as the default it is asked with.
class Store
{
public:
    virtual ~Store() = default;

    virtual QString GetSetting(const QString &key, const QString &defaultValue) = 0;
    // Returns once the value has reached the disk (or the failure has been
    // reported); inside a batch, once the batch has.
    virtual void SaveSetting(const QString &key, const QString &value) = 0;
    // How many writes have not reached the disk since the store was made. A
    // window that closes after saving compares it before and after, so that
    // edits that were not saved stay on screen.
    virtual int failedWrites() const = 0;

    // The values saved between these two calls reach the disk together, when
    // the outermost batch ends: all of them or none.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;
};

// Groups the saves of one action into one batch for as long as it lives.
class StoreBatch
{
public:
    explicit StoreBatch(Store &store) : m_store(store) { m_store.beginBatch(); }
    ~StoreBatch() { m_store.endBatch(); }
    StoreBatch(const StoreBatch &) = delete;
    StoreBatch &operator=(const StoreBatch &) = delete;

private:
    Store &m_store;
};

} // namespace quenby
