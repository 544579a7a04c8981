#include "platform/ini_store.h"

#include "platform/desktop.h"
#include "platform/linux_folders.h"

#include <QTimer>

#include <algorithm>

namespace quenby {

namespace {

const QString kSection = QStringLiteral("set/");

QString adviceFor(private_file::Outcome outcome, qint64 size)
{
    switch (outcome) {
    case private_file::Outcome::TooLarge:
        return QStringLiteral("ファイルの大きさ %1 バイトが上限の %2 バイト (1 MiB) を超えているため、読み込みも書き換えもしません。")
            .arg(size)
            .arg(private_file::kMaxSize);
    case private_file::Outcome::NotRegular:
        return QStringLiteral("通常のファイルではないため、開きません。");
    case private_file::Outcome::NotOurs:
        return QStringLiteral("別のユーザーのファイルかリンクのため、開きません。");
    default:
        return QStringLiteral("フォルダの書き込み権限と空き容量を確認してください。");
    }
}

// A save that would change what any other line means (a hand-written line
// left open at the end of the file, which would swallow what follows it).
const QString kMeaningAdvice = QStringLiteral(
    "保存すると、ファイルにあるほかの値の意味が変わってしまいます。閉じていない \" や行末の \\ がないか確認してください。");

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

IniStore::IniStore(Desktop &desktop, QString filePath)
    : m_desktop(desktop)
    , m_filePath(std::move(filePath))
{
}

IniStore::~IniStore() = default;

QString IniStore::defaultFilePath()
{
    const QString folder = linux_folders::configFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/TARVEN Inc.Quenby.ini");
}

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

void IniStore::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0 && !m_pending.empty())
        commit();
}

// The pending values go onto the file as it is now on the disk, so a hand
// edit made meanwhile is kept too. The program may end a moment later in a
// power action: the new file has reached the disk before this returns.
void IniStore::commit()
{
    private_file::Contents current = private_file::read(m_filePath);
    private_file::Outcome outcome = current.outcome;
    m_fileSize = current.size;
    QString advice;
    if (outcome == private_file::Outcome::Done || outcome == private_file::Outcome::Missing) {
        const Values before = IniDocument(current.bytes).values();
        IniDocument updated(std::move(current.bytes));
        bool added = true;
        for (const auto &[key, value] : m_pending)
            added = updated.setValue(kSection + key, value) && added;
        if (!added || !meansWhatWasMeant(before, updated, m_pending)) {
            outcome = private_file::Outcome::Failed;
            advice = kMeaningAdvice;
        } else {
            outcome = private_file::replace(m_filePath, updated.text());
            m_fileSize = std::max(m_fileSize, qint64(updated.text().size()));
        }
        if (outcome == private_file::Outcome::Done)
            m_document = std::move(updated);
    }
    m_pending.clear();
    if (outcome == private_file::Outcome::Done) {
        m_failing = false;
        return;
    }
    ++m_failedWrites;
    // What is read from now on is what the file holds.
    m_document.reset();
    reportWriteFailure(advice.isEmpty() ? adviceFor(outcome, m_fileSize) : advice);
}

// One message per action: the window positions are two saves, and both fail
// alike. The next action that fails says so again.
void IniStore::reportWriteFailure(const QString &advice)
{
    if (m_failing)
        return;
    m_failing = true;
    // The user knows now that the file is in trouble; reading it is no news.
    m_readFailureTold = true;
    tell(QStringLiteral("設定を保存できませんでした。設定ファイルは保存前のままです。"), advice);
    QTimer::singleShot(0, &m_actionScope, [this] { m_failing = false; });
}

void IniStore::reportReadFailure(private_file::Outcome outcome)
{
    if (m_readFailureTold)
        return;
    m_readFailureTold = true;
    tell(QStringLiteral("設定ファイルを読み込めませんでした。初期値を使います。"), adviceFor(outcome, m_fileSize));
}

void IniStore::reportUnreadableValue(const QString &key)
{
    if (m_unreadableTold.contains(key))
        return;
    m_unreadableTold.insert(key);
    tell(QStringLiteral("設定ファイルの %1 の値は UTF-8 の文字列ではないため、使いません。").arg(key),
         QStringLiteral("設定画面で保存するまで、ファイルの中の値はそのまま残ります。"));
}

void IniStore::tell(const QString &what, const QString &advice)
{
    m_desktop.beep();
    m_desktop.messageBox(what + QStringLiteral("\r\n") + m_filePath + QStringLiteral("\r\n") + advice);
}

} // namespace quenby
