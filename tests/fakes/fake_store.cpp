#include "fakes/fake_store.h"

#include <utility>

namespace quenby::test {

QString FakeStore::GetSetting(const QString &key, const QString &defaultValue)
{
    reads << key;
    m_log << QStringLiteral("get:") + key;
    if (!unreadable.contains(key))
        return values.value(key, defaultValue);
    if (m_tell)
        m_tell({StoreProblem::Kind::ValueNotUtf8, StoreFailure::Failed, QStringLiteral("/fake/settings.ini"), key, 0, 0});
    return defaultValue;
}

void FakeStore::SaveSetting(const QString &key, const QString &value)
{
    values[key] = value;
    m_pendingFailed = m_pendingFailed || failing;
    writes << key + u'=' + value;
    m_log << QStringLiteral("save:") + key + u'=' + value;
    m_pending << key + u'=' + value;
    if (m_depth == 0)
        endBatch();
}

bool FakeStore::endBatch()
{
    if (m_depth > 0)
        --m_depth;
    if (m_depth > 0 || m_pending.isEmpty())
        return true;
    replacements << m_pending;
    m_pending.clear();
    if (!std::exchange(m_pendingFailed, false))
        return true;
    if (m_tell)
        m_tell({StoreProblem::Kind::NotSaved, StoreFailure::Failed, QStringLiteral("/fake/settings.ini"), {}, 0, 0});
    return false;
}

} // namespace quenby::test
