#include "settings/run_config.h"

#include "platform/interfaces/store.h"
#include "settings/number_text.h"

namespace quenby {

RunConfigRecord RunConfig;

namespace {

qint32 readLong(Store &store, const QString &key)
{
    return textToLong(store.GetSetting(key, QStringLiteral("0"))).value_or(0);
}

} // namespace

std::optional<QString> loadRunConfig(Store &store)
{
    for (int n = 1; n <= 5; ++n) {
        RunConfig.check[n] = readLong(store, checkKey(n));
        RunConfig.kidou[n] = store.GetSetting(kidouKey(n), QString());
        RunConfig.kidouUnreadable[n] = store.holdsUnreadable(kidouKey(n));
    }
    RunConfig.check[6] = readLong(store, checkKey(6));
    RunConfig.check[7] = readLong(store, checkKey(7));
    const QString pause = store.GetSetting(QStringLiteral("byou"), QStringLiteral("0"));
    const std::optional<qint32> seconds = textToLong(pause);
    RunConfig.byou = seconds.value_or(0);
    // An empty value is the settings window's 0.
    if (pause.trimmed().isEmpty() || (seconds && PauseRange::holds(*seconds)))
        return std::nullopt;
    return pause;
}

} // namespace quenby
