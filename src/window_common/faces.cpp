#include "window_common/faces.h"

#include <QApplication>
#include <QFontDatabase>

namespace quenby {

namespace {

// Fontconfig names a face in English and in Japanese, and the font database
// of a Japanese session lists the Japanese name only; hasFamily() knows both
// once the database is filled, and a font may ask for either name. Faces are
// asked for only when installed: a list with missing faces in it makes every
// text lookup search for fallbacks.
QString firstInstalled(std::initializer_list<QString> candidates)
{
    QFontDatabase::families(); // fills the database, which hasFamily() does not
    for (const QString &family : candidates) {
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return {};
}

QString serifFamily()
{
    const QString mincho = firstInstalled({QString::fromUtf16(u"ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"),
                                           QStringLiteral("IPAexMincho")});
    return mincho.isEmpty() ? QStringLiteral("serif") : mincho;
}

} // namespace

QFont captionFont()
{
    static const QString family = firstInstalled({QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic")});
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamilies({family});
    return font;
}

// Unhinted: at this size the serif glyphs look as good, and drawing them does
// not run each glyph's hinting program at start-up.
QFont creditFont()
{
    static const QString family = serifFamily();
    QFont font(family);
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace quenby
