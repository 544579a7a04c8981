#pragma once

#include <QString>

#include <functional>

namespace quenby {

// Why the settings file could not be read or replaced.
enum class StoreFailure {
    Failed,             // no rights, no room, a quota: whatever the system refused
    TooLarge,           // larger than a settings file can be
    NewTooLarge,        // the file as saved would be larger than that
    NotRegular,         // a FIFO, a device or a folder stands in its place
    NotOurs,            // a file, or a link on the way, of another user
    MeaningWouldChange, // the new text would read differently from what was meant
};

// Something about the settings file that the user should hear.
struct StoreProblem
{
    enum class Kind {
        NotRead,      // defaults are used instead
        NotSaved,     // the file is as it was before the save
        ValueNotUtf8, // the key reads as missing; its bytes stay in the file
        ValueSpansLines, // a value left open by hand swallows the lines after it
    };
    Kind kind = Kind::NotRead;
    StoreFailure why = StoreFailure::Failed;
    QString filePath;
    QString key;     // for ValueNotUtf8 and ValueSpansLines
    qint64 size = 0;  // the file's size for TooLarge, the new text's for NewTooLarge
    qint64 limit = 0; // the largest a settings file may be, for TooLarge
};

// The per-user settings store: one application, one section, text values.
// A missing key reads as the default it is asked with.
class Store
{
public:
    virtual ~Store() = default;

    virtual QString GetSetting(const QString &key, const QString &defaultValue) = 0;
    // Whether the key holds a value that cannot be read (not UTF-8), which
    // GetSetting gives as its default.
    virtual bool holdsUnreadable(const QString &key) = 0;
    // Returns once the value has reached the disk (or the failure has been
    // reported); inside a batch, once the batch has.
    virtual void SaveSetting(const QString &key, const QString &value) = 0;

    // The values saved between these two calls reach the disk together, when
    // the outermost batch ends: all of them or none. Ending it answers whether
    // they did (an inner batch, or one with nothing to save, answers true).
    virtual void beginBatch() = 0;
    virtual bool endBatch() = 0;

    // Every problem worth telling reaches `tell`, as often as the user should
    // hear of it: a file that cannot be read once, a failed save once per
    // action, a value that is not UTF-8 once per key. What the user reads is
    // the caller's to say.
    virtual void whenProblem(std::function<void(const StoreProblem &)> tell) = 0;
};

// Groups the saves of one action into one batch for as long as it lives.
class StoreBatch
{
public:
    explicit StoreBatch(Store &store) : m_store(store) { m_store.beginBatch(); }
    ~StoreBatch() { commit(); }
    StoreBatch(const StoreBatch &) = delete;
    StoreBatch &operator=(const StoreBatch &) = delete;

    // Ends the batch now; whether its values reached the disk.
    bool commit()
    {
        if (m_open) {
            m_open = false;
            m_saved = m_store.endBatch();
        }
        return m_saved;
    }

private:
    Store &m_store;
    bool m_open = true;
    bool m_saved = true;
};

} // namespace quenby
