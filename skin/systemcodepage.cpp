// Which code page this system writes text for the host in.
#include "skin/codepage.h"

#ifdef Q_OS_WIN
#include <string>

#include <windows.h>
#endif

namespace velloran {

#ifdef Q_OS_WIN

namespace {

// A code page that has no table here (the multi-byte ones of East Asian
// systems, UTF-8), through Windows' own conversions: a text is taken only
// when it converts without a stand-in character and reads back the same.
class AnsiCodePage final : public CodePage
{
public:
    explicit AnsiCodePage(UINT number)
        : m_number(number)
    {
    }

    QString name() const override
    {
        return m_number == CP_UTF8 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-%1").arg(m_number);
    }

    std::optional<QByteArray> encode(const QString &text) const override
    {
        if (text.isEmpty())
            return QByteArray();
        const std::wstring wide = text.toStdWString();
        const bool utf8 = m_number == CP_UTF8;
        const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
        BOOL usedDefault = FALSE;
        const int size = WideCharToMultiByte(m_number, flags, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                                             utf8 ? nullptr : &usedDefault);
        if (size <= 0 || usedDefault)
            return std::nullopt;
        QByteArray bytes(size, Qt::Uninitialized);
        if (WideCharToMultiByte(m_number, flags, wide.data(), int(wide.size()), bytes.data(), size, nullptr,
                                utf8 ? nullptr : &usedDefault)
                != size
            || usedDefault)
            return std::nullopt;
        const int back = MultiByteToWideChar(m_number, MB_ERR_INVALID_CHARS, bytes.constData(), size, nullptr, 0);
        if (back <= 0)
            return std::nullopt;
        std::wstring again(size_t(back), L'\0');
        MultiByteToWideChar(m_number, MB_ERR_INVALID_CHARS, bytes.constData(), size, again.data(), back);
        if (again != wide)
            return std::nullopt;
        return bytes;
    }

private:
    UINT m_number;
};

} // namespace

const CodePage &CodePage::system()
{
    static const CodePage *const page = []() -> const CodePage * {
        const UINT ansi = GetACP();
        if (const CodePage *table = windows(int(ansi)))
            return table;
        static const AnsiCodePage other(ansi);
        return &other;
    }();
    return *page;
}

#else

const CodePage &CodePage::system()
{
    // What most of the host's users have.
    return *windows(1252);
}

#endif

} // namespace velloran
