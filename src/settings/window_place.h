#pragma once

#include <QRect>
#include <QString>

#include "window_common/findable_place.h"

class QWidget;

namespace quenby {

class Store;

// Where a window was left, kept in two keys of the store as twips (top first,
// then left), and put back where it can be found. A value that is not a
// number reads as 0, like a missing key.
class WindowPlace
{
public:
    WindowPlace(Store &store, QString topKey, QString leftKey);

    // Moves `window` to its stored place, or where it can be seen when that
    // place shows on no screen; `row` (in the window's own coordinates), when
    // given, is kept wholly on a screen too.
    void restore(QWidget &window, const QRect &row = {});
    // Writes where `window` stands; both keys reach the file in one replacement.
    void save(const QWidget &window);

private:
    Store &m_store;
    QString m_topKey;
    QString m_leftKey;
    StoredPlace m_place;
};

} // namespace quenby
