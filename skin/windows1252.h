#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velloran {

// Text for the host program is 8-bit in the Windows-1252 code page, the
// Western code page of Windows. Returns nothing when a character has no
// code in it (for example CJK letters or emoji), so a caller can refuse the
// text instead of writing a name the host would read differently.
std::optional<QByteArray> toWindows1252(const QString &text);

} // namespace velloran
