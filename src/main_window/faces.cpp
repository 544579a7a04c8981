#include "main_window/faces.h"

#include "platform/latin_face.h"

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

QStringList captionFamilies()
{
    QStringList families;
    const QString latin = latinOnlyFaceOf(QApplication::font().family());
    if (!latin.isEmpty())
        families << latin;
    const QString gothic = firstInstalled({QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic")});
    if (!gothic.isEmpty())
        families << gothic;
    return families.isEmpty() ? QApplication::font().families() : families;
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
    static const QStringList families = captionFamilies();
    QFont font = QApplication::font();
    font.setFamilies(families);
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
