#include "settings/run_config.h"

#include "platform/store.h"
#include "window_common/number_text.h"

namespace quenby {

RunConfigRecord RunConfig;

namespace {

qint32 readLong(Store &store, const QString &key)
{
    return textToLong(store.GetSetting(key, QStringLiteral("0"))).value_or(0);
}

} // namespace

void loadRunConfig(Store &store)
{
    for (int n = 1; n <= 5; ++n) {
        RunConfig.check[n] = readLong(store, checkKey(n));
        RunConfig.kidou[n] = store.GetSetting(kidouKey(n), QString());
    }
    RunConfig.check[6] = readLong(store, checkKey(6));
    RunConfig.check[7] = readLong(store, checkKey(7));
    RunConfig.byou = readLong(store, QStringLiteral("byou"));
}

} // namespace quenby
