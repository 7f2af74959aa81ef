#include "skin/windows1252.h"

#include "skin/codepage.h"

namespace velloran {

std::optional<QByteArray> toWindows1252(const QString &text)
{
    return CodePage::windows(1252)->encode(text);
}

} // namespace velloran
