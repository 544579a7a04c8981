#pragma once

#include <QString>

namespace quenby {

// A caption or name from a window's design table, kept there as a UTF-16
// literal so that the Japanese reads as written.
inline QString designText(const char16_t *utf16)
{
    return QString::fromUtf16(utf16);
}

} // namespace quenby
