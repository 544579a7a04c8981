#pragma once

#include <QString>

#include <optional>

namespace quenby {

// The store keeps numbers as text. These are the only conversions between the
// two, so that whatever apply accepts, start-up reads back the same.

// A whole decimal number in the 32-bit signed range, optionally signed and
// surrounded by blanks; nothing else converts.
std::optional<qint32> textToLong(const QString &text);

// A window position in twips: a decimal number; nothing else converts.
std::optional<float> textToSingle(const QString &text);
// The decimal text of a position, up to seven significant digits, no blank.
QString singleToText(float value);

} // namespace quenby
