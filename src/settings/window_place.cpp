#include "settings/window_place.h"

#include "platform/interfaces/store.h"
#include "settings/number_text.h"
#include "window_common/twips.h"

#include <QWidget>

namespace quenby {

WindowPlace::WindowPlace(Store &store, QString topKey, QString leftKey)
    : m_store(store)
    , m_topKey(std::move(topKey))
    , m_leftKey(std::move(leftKey))
{
}

void WindowPlace::restore(QWidget &window, const QRect &row)
{
    const float top = textToSingle(m_store.GetSetting(m_topKey, QStringLiteral("0"))).value_or(0);
    const float left = textToSingle(m_store.GetSetting(m_leftKey, QStringLiteral("0"))).value_or(0);
    const QPoint stored(twipsToPixels(left), twipsToPixels(top));
    const QRect frame(stored, window.size());
    const QPoint shown = row.isNull() ? findablePlace(frame, screenAreas()) : findablePlace(frame, row, screenAreas());
    m_place = StoredPlace(top, left, stored, shown);
    window.move(shown);
}

void WindowPlace::save(const QWidget &window)
{
    const StoreBatch batch(m_store);
    m_store.SaveSetting(m_topKey, singleToText(m_place.topToSave(window.pos())));
    m_store.SaveSetting(m_leftKey, singleToText(m_place.leftToSave(window.pos())));
}

} // namespace quenby
