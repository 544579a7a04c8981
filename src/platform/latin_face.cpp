#include "platform/latin_face.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace quenby {

namespace {

struct PatternDeleter
{
    void operator()(FcPattern *pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

const FcChar8 *bytes(const char *text)
{
    return reinterpret_cast<const FcChar8 *>(text);
}

// Fontconfig takes the session's language when a pattern names none, and
// under a Japanese one it puts a Japanese face first even for Latin text.
// Asking for English text, with English names, gives the same face in
// every session.
Pattern latinRequest(const QString &family)
{
    Pattern pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, bytes(family.toUtf8().constData()));
    FcPatternAddString(pattern.get(), FC_LANG, bytes("en"));
    FcPatternAddString(pattern.get(), FC_FAMILYLANG, bytes("en"));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    return pattern;
}

bool coversJapanese(FcPattern *face)
{
    FcLangSet *languages = nullptr;
    return FcPatternGetLangSet(face, FC_LANG, 0, &languages) == FcResultMatch
        && FcLangSetHasLang(languages, bytes("ja")) == FcLangEqual;
}

} // namespace

QString latinOnlyFaceOf(const QString &family)
{
    const Pattern request = latinRequest(family);
    FcResult result = FcResultNoMatch;
    const Pattern face(FcFontMatch(nullptr, request.get(), &result));
    FcChar8 *name = nullptr;
    if (!face || coversJapanese(face.get()) || FcPatternGetString(face.get(), FC_FAMILY, 0, &name) != FcResultMatch)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char *>(name));
}

} // namespace quenby
