#include "platform/settings_file/ini_store.h"


#include <QTimer>

namespace quenby {

namespace {

const QString kSection = QStringLiteral("set/");

StoreFailure failureOf(private_file::Outcome outcome)
{
    switch (outcome) {
    case private_file::Outcome::TooLarge:
        return StoreFailure::TooLarge;
    case private_file::Outcome::NewTooLarge:
        return StoreFailure::NewTooLarge;
    case private_file::Outcome::NotRegular:
        return StoreFailure::NotRegular;
    case private_file::Outcome::NotOurs:
        return StoreFailure::NotOurs;
    default:
        return StoreFailure::Failed;
    }
}

using Values = QHash<QString, std::optional<IniDocument::Value>>;

// What the new text reads as must be what was meant: the saved values, and
// every other key of every section as it was read before.
bool meansWhatWasMeant(const Values &before, const IniDocument &after,
                       const std::vector<std::pair<QString, QString>> &saved)
{
    Values meant = before;
    for (const auto &[key, value] : saved)
        meant.insert(kSection + key, IniDocument::Value{value});
    const Values read = after.values();
    if (read.size() != meant.size())
        return false;
    for (auto it = meant.cbegin(); it != meant.cend(); ++it) {
        const auto found = read.constFind(it.key());
        if (found == read.cend() || *found != *it)
            return false;
    }
    return true;
}

} // namespace

IniStore::IniStore(QString filePath, std::function<void(const StoreProblem &)> tell)
    : m_filePath(std::move(filePath))
    , m_tell(std::move(tell))
{
}

IniStore::~IniStore() = default;

// A save that finds the file unreadable reports that itself, once.
const IniDocument &IniStore::document(bool tellFailure)
{
    if (!m_document) {
        private_file::Contents contents = private_file::read(m_filePath);
        m_fileSize = contents.size;
        if (tellFailure && contents.outcome != private_file::Outcome::Done
            && contents.outcome != private_file::Outcome::Missing)
            reportReadFailure(contents.outcome);
        m_document.emplace(std::move(contents.bytes));
        if (tellFailure)
            reportSwallowedLines();
    }
    return *m_document;
}

// A value that is not UTF-8 would come back with replacement marks in it and
// run as a different command: it is not used, and the user hears why.
QString IniStore::GetSetting(const QString &key, const QString &defaultValue)
{
    const std::optional<IniDocument::Value> value = document(true).value(kSection + key);
    if (!value)
        return defaultValue;
    if (!value->validUtf8) {
        reportUnreadableValue(key);
        return defaultValue;
    }
    return value->text;
}

bool IniStore::holdsUnreadable(const QString &key)
{
    const std::optional<IniDocument::Value> value = document(true).value(kSection + key);
    return value && !value->validUtf8;
}

void IniStore::SaveSetting(const QString &key, const QString &value)
{
    document(false);
    m_document->setValue(kSection + key, value);
    m_pending.emplace_back(key, value);
    if (m_batchDepth == 0)
        commit();
}

void IniStore::beginBatch()
{
    ++m_batchDepth;
}

bool IniStore::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0 && !m_pending.empty())
        return commit();
    return true;
}

// The pending values go onto the file as it is now on the disk, so a hand
// edit made meanwhile is kept too. The program may end a moment later in a
// power action: the new file has reached the disk before this returns.
bool IniStore::commit()
{
    private_file::Contents current = private_file::read(m_filePath);
    private_file::Outcome outcome = current.outcome;
    m_fileSize = current.size;
    bool meaningWouldChange = false;
    qint64 newSize = 0;
    if (outcome == private_file::Outcome::Done || outcome == private_file::Outcome::Missing) {
        const Values before = IniDocument(current.bytes).values();
        IniDocument updated(std::move(current.bytes));
        bool added = true;
        for (const auto &[key, value] : m_pending)
            added = updated.setValue(kSection + key, value) && added;
        if (!added || !meansWhatWasMeant(before, updated, m_pending)) {
            outcome = private_file::Outcome::Failed;
            meaningWouldChange = true;
        } else {
            outcome = private_file::replace(m_filePath, updated.text());
            newSize = updated.text().size();
        }
        if (outcome == private_file::Outcome::Done)
            m_document = std::move(updated);
    }
    m_pending.clear();
    if (outcome == private_file::Outcome::Done) {
        m_failing = false;
        return true;
    }
    // What is read from now on is what the file holds.
    m_document.reset();
    const StoreFailure why = meaningWouldChange ? StoreFailure::MeaningWouldChange : failureOf(outcome);
    reportWriteFailure(why, why == StoreFailure::NewTooLarge ? newSize : m_fileSize);
    return false;
}

// One message per action: the window positions are two saves, and both fail
// alike. The next action that fails says so again.
void IniStore::reportWriteFailure(StoreFailure why, qint64 size)
{
    if (m_failing)
        return;
    m_failing = true;
    // The user knows now that the file is in trouble; reading it is no news.
    m_readFailureTold = true;
    tell(StoreProblem::Kind::NotSaved, why, {}, size);
    QTimer::singleShot(0, &m_actionScope, [this] { m_failing = false; });
}

void IniStore::reportReadFailure(private_file::Outcome outcome)
{
    if (m_readFailureTold)
        return;
    m_readFailureTold = true;
    tell(StoreProblem::Kind::NotRead, failureOf(outcome), {}, m_fileSize);
}

// A quote or a backslash left open by hand makes its value go on over the
// lines that follow, whose keys are then not read at all (the way every reader
// of this format reads it). The user hears which value runs on, once.
void IniStore::reportSwallowedLines()
{
    QStringList keys;
    const auto values = m_document->values();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.value() && it.value()->spansLines)
            keys << (it.key().startsWith(kSection) ? it.key().mid(kSection.size()) : it.key());
    }
    keys.sort();
    for (const QString &key : std::as_const(keys)) {
        if (m_unreadableTold.contains(key))
            continue;
        m_unreadableTold.insert(key);
        tell(StoreProblem::Kind::ValueSpansLines, StoreFailure::Failed, key);
    }
}

void IniStore::reportUnreadableValue(const QString &key)
{
    if (m_unreadableTold.contains(key))
        return;
    m_unreadableTold.insert(key);
    tell(StoreProblem::Kind::ValueNotUtf8, StoreFailure::Failed, key);
}

void IniStore::tell(StoreProblem::Kind kind, StoreFailure why, const QString &key, qint64 size)
{
    if (m_tell)
        m_tell({kind, why, m_filePath, key, size, private_file::kMaxSize});
}

} // namespace quenby
